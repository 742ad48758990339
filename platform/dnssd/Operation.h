#pragma once

#include <memory>

#include "DnsMessage.h"
#include "RecordCache.h"
#include "ResultChannel.h"
#include "vireo_dns_sd.h"

namespace vireo_dnssd {

// One browse, resolve or record query of a reference, and the replies it makes.
struct Operation {
    enum class Kind { kBrowse, kResolve, kQuery };

    Kind kind = Kind::kBrowse;
    uint32_t ifindex = 0;  // 0: every interface
    Labels name;           // browse: type and domain; resolve: the instance's full name
    uint16_t type = kTypePtr;
    uint16_t rrclass = kClassIn;
    std::shared_ptr<ResultChannel> channel;
    DNSServiceBrowseReply browse = nullptr;
    DNSServiceResolveReply resolve = nullptr;
    DNSServiceQueryRecordReply query = nullptr;
    void* context = nullptr;

    // The record types it asks for.
    std::vector<uint16_t> questionTypes() const;
    // Browse and query: the record is one of its answers.
    bool wants(const CacheEntry& entry) const;
    bool wants(uint32_t ifindex, const DnsRecord& record, bool leaving) const;

    // Queue an add (or remove) reply for an answer of a browse or query.
    void reportRecord(const CacheEntry& entry, bool add) const;
    // Queue a resolve reply.
    void reportResolved(uint32_t ifindex, const SrvData& srv, const Bytes& txt) const;
};

}  // namespace vireo_dnssd
