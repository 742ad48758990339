#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "DnsName.h"

namespace vireo_dnssd {

constexpr size_t kMaxDatagram = 9000;
constexpr uint16_t kTypeA = 1;
constexpr uint16_t kTypeNs = 2;
constexpr uint16_t kTypeCname = 5;
constexpr uint16_t kTypePtr = 12;
constexpr uint16_t kTypeTxt = 16;
constexpr uint16_t kTypeAaaa = 28;
constexpr uint16_t kTypeSrv = 33;
constexpr uint16_t kClassIn = 1;

struct DnsQuestion {
    Labels name;
    uint16_t type = 0;
    uint16_t rrclass = 0;
    bool unicast_response = false;
};

// One resource record; names inside the data of NS, CNAME, PTR and SRV are stored
// uncompressed, so that equal records have equal bytes.
struct DnsRecord {
    Labels name;
    uint16_t type = 0;
    uint16_t rrclass = 0;
    bool cache_flush = false;
    uint32_t ttl = 0;  // received with the top bit set: 0
    Bytes rdata;
};

struct DnsMessage {
    uint16_t id = 0;
    uint16_t flags = 0;
    std::vector<DnsQuestion> questions;
    std::vector<DnsRecord> answers;
    std::vector<DnsRecord> authorities;
    std::vector<DnsRecord> additionals;

    bool isResponse() const { return (flags & 0x8000) != 0; }
    unsigned opcode() const { return (flags >> 11) & 0xf; }
    unsigned rcode() const { return flags & 0xf; }
};

// Nothing unless every part of the message lies within its bytes and is well formed.
std::optional<DnsMessage> parseDnsMessage(const uint8_t* data, size_t size);

struct SrvData {
    uint16_t priority = 0;
    uint16_t weight = 0;
    uint16_t port = 0;
    Labels target;
};

// Readers for stored (uncompressed) record data.
std::optional<Labels> rdataName(const Bytes& rdata);
std::optional<SrvData> rdataSrv(const Bytes& rdata);
// Equal data; names in PTR, CNAME and NS data compare without regard to case.
bool sameRdata(uint16_t type, const Bytes& a, const Bytes& b);
// Appends the data as a key, equal for data that sameRdata takes as the same; false (nothing
// appended) for PTR, CNAME or NS data that is not one uncompressed name, which is the same as
// nothing.
bool appendRdataKey(std::string& key, uint16_t type, const Bytes& rdata);

}  // namespace vireo_dnssd
