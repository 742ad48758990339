// Feeds arbitrary datagrams to the DNS message parser; whatever it accepts must survive
// being written again and read back, and its names must survive their text form. The input
// taken as record data must compare with itself, and key, as the reader reads it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "DnsMessage.h"
#include "DnsQuery.h"
#include "vireo_dns_sd.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkName(const vireo_dnssd::Labels& name) {
    check(vireo_dnssd::validName(name));
    const auto again = vireo_dnssd::parseNameText(vireo_dnssd::nameText(name));
    check(name.empty() || (again && *again == name));
}

void checkRdata(const uint8_t* data, size_t size) {
    const vireo_dnssd::Bytes rdata(data, data + size);
    const bool plain = vireo_dnssd::rdataName(rdata).has_value();
    check(vireo_dnssd::sameRdata(vireo_dnssd::kTypePtr, rdata, rdata) == plain);
    std::string key;
    check(vireo_dnssd::appendRdataKey(key, vireo_dnssd::kTypePtr, rdata) == plain);
    check(key.size() == (plain ? size : 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t length = 0;
    TXTRecordGetValuePtr(uint16_t(size), data, "arcp_vers", &length);
    checkRdata(data, size);
    const auto message = vireo_dnssd::parseDnsMessage(data, size);
    if (!message) {
        return 0;
    }
    std::vector<vireo_dnssd::DnsRecord> records = message->answers;
    records.insert(records.end(), message->additionals.begin(), message->additionals.end());
    for (const auto& record : records) {
        checkName(record.name);
        if (record.type == vireo_dnssd::kTypePtr) {
            const auto target = vireo_dnssd::rdataName(record.rdata);
            check(target.has_value());
            checkName(*target);
        }
        if (record.type == vireo_dnssd::kTypeSrv) {
            check(vireo_dnssd::rdataSrv(record.rdata).has_value());
        }
    }
    for (const auto& question : message->questions) {
        checkName(question.name);
        const auto packets = vireo_dnssd::encodeQuery(question, records);
        for (size_t p = 0; p < packets.size(); ++p) {
            const auto again = vireo_dnssd::parseDnsMessage(packets[p].data(), packets[p].size());
            check(again.has_value());
            check(p > 0 ||
                  (again->questions.size() == 1 && again->questions[0].name == question.name));
        }
    }
    return 0;
}
