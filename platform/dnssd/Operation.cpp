#include "Operation.h"

#include <arpa/inet.h>

#include <string>

namespace vireo_dnssd {

std::vector<uint16_t> Operation::questionTypes() const {
    if (kind == Kind::kResolve) {
        return {kTypeSrv, kTypeTxt};
    }
    return {type};
}

bool Operation::wants(const CacheEntry& entry) const {
    return wants(entry.ifindex, entry.record, entry.leaving);
}

bool Operation::wants(uint32_t record_ifindex, const DnsRecord& record, bool leaving) const {
    return kind != Kind::kResolve && !leaving &&
           recordMatches(record_ifindex, record, ifindex, name, type, rrclass);
}

void Operation::reportRecord(const CacheEntry& entry, bool add) const {
    const DNSServiceFlags flags = add ? kDNSServiceFlagsAdd : 0;
    const uint32_t interface_index = entry.ifindex;
    void* const user = context;
    if (kind == Kind::kBrowse) {
        const auto target = rdataName(entry.record.rdata);
        if (!target || target->size() < 4 || name.size() < 3) {
            return;  // not an instance of a service type
        }
        // Names are case-blind: the type and domain go back as the caller spelled them, not
        // as the responder did.
        const std::string instance = (*target)[0];
        const std::string regtype = escapeLabel(name[0]) + "." + escapeLabel(name[1]) + ".";
        const std::string domain = nameText(name, 2);
        const DNSServiceBrowseReply reply = browse;
        channel->push([=](DNSServiceRef ref, DNSServiceFlags more) {
            reply(ref, flags | more, interface_index, kDNSServiceErr_NoError, instance.c_str(),
                  regtype.c_str(), domain.c_str(), user);
        });
        return;
    }
    const std::string fullname = nameText(entry.record.name);
    const DnsRecord record = entry.record;
    const DNSServiceQueryRecordReply reply = query;
    channel->push([=](DNSServiceRef ref, DNSServiceFlags more) {
        reply(ref, flags | more, interface_index, kDNSServiceErr_NoError, fullname.c_str(),
              record.type, record.rrclass, uint16_t(record.rdata.size()), record.rdata.data(),
              add ? record.ttl : 0, user);
    });
}

void Operation::reportResolved(uint32_t interface_index, const SrvData& srv,
                               const Bytes& txt) const {
    const std::string fullname = nameText(name);
    const std::string host = nameText(srv.target);
    const uint16_t port = htons(srv.port);
    const DNSServiceResolveReply reply = resolve;
    void* const user = context;
    channel->push([=](DNSServiceRef ref, DNSServiceFlags more) {
        reply(ref, more, interface_index, kDNSServiceErr_NoError, fullname.c_str(), host.c_str(),
              port, uint16_t(txt.size()), txt.data(), user);
    });
}

}  // namespace vireo_dnssd
