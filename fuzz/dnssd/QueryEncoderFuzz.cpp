// Encodes a query with a random cache of known answers and reads every packet back with the
// strict parser: each fits the limit, TC is set on all packets but the last, only the first
// asks the question, and the known answers come back whole, in order, leaving out only those
// too large for any packet.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "DnsMessage.h"
#include "DnsQuery.h"

namespace {

using vireo_dnssd::Bytes;
using vireo_dnssd::DnsRecord;
using vireo_dnssd::Labels;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Names share labels from a few choices, so that compression has suffixes to find.
Labels randomName(FuzzedDataProvider& in) {
    static const char* const kLabels[] = {
        "local", "_udp", "_tcp", "_vireo-arc", "_vireo-cmc", "Corvanti AMP-0001", "amp-1", "LOCAL"};
    Labels name;
    const size_t count = in.ConsumeIntegralInRange<size_t>(0, 8);
    for (size_t i = 0; i < count; ++i) {
        std::string label = in.ConsumeBool() ? kLabels[in.ConsumeIntegralInRange<size_t>(0, 7)]
                                             : in.ConsumeRandomLengthString(vireo_dnssd::kMaxLabel);
        if (label.empty()) {
            label = "x";
        }
        name.push_back(label);
        if (!vireo_dnssd::validName(name)) {
            name.pop_back();
            break;
        }
    }
    return name;
}

Bytes randomRdata(FuzzedDataProvider& in, uint16_t type) {
    Bytes rdata;
    switch (type) {
        case vireo_dnssd::kTypeA:
        case vireo_dnssd::kTypeAaaa:
            rdata = in.ConsumeBytes<uint8_t>(type == vireo_dnssd::kTypeA ? 4 : 16);
            rdata.resize(type == vireo_dnssd::kTypeA ? 4 : 16);
            return rdata;
        case vireo_dnssd::kTypePtr:
        case vireo_dnssd::kTypeCname:
        case vireo_dnssd::kTypeNs:
            vireo_dnssd::appendWire(rdata, randomName(in));
            return rdata;
        case vireo_dnssd::kTypeSrv:
            rdata = in.ConsumeBytes<uint8_t>(6);
            rdata.resize(6);
            vireo_dnssd::appendWire(rdata, randomName(in));
            return rdata;
        case vireo_dnssd::kTypeTxt: {
            const size_t strings = in.ConsumeIntegralInRange<size_t>(1, 20);
            for (size_t i = 0; i < strings; ++i) {
                const std::string text = in.ConsumeRandomLengthString(255);
                rdata.push_back(uint8_t(text.size()));
                rdata.insert(rdata.end(), text.begin(), text.end());
            }
            return rdata;
        }
        default:
            return in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 1600));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const uint16_t kTypes[] = {vireo_dnssd::kTypeA,    vireo_dnssd::kTypePtr,
                                      vireo_dnssd::kTypeSrv,  vireo_dnssd::kTypeTxt,
                                      vireo_dnssd::kTypeAaaa, vireo_dnssd::kTypeCname,
                                      vireo_dnssd::kTypeNs,   10};
    FuzzedDataProvider in(data, size);
    vireo_dnssd::DnsQuestion question;
    question.name = randomName(in);
    question.type = in.ConsumeIntegral<uint16_t>();
    question.rrclass = in.ConsumeIntegralInRange<uint16_t>(0, 0x7fff);
    question.unicast_response = in.ConsumeBool();
    std::vector<DnsRecord> cache;
    while (in.remaining_bytes() > 0 && cache.size() < 600) {
        DnsRecord record;
        record.name = in.ConsumeBool() ? question.name : randomName(in);
        record.type = kTypes[in.ConsumeIntegralInRange<size_t>(0, 7)];
        record.rrclass = in.ConsumeBool() ? vireo_dnssd::kClassIn
                                          : in.ConsumeIntegralInRange<uint16_t>(0, 0x7fff);
        record.ttl = in.ConsumeIntegralInRange<uint32_t>(0, 0x7fffffff);
        record.rdata = randomRdata(in, record.type);
        cache.push_back(std::move(record));
    }

    const std::vector<Bytes> packets = vireo_dnssd::encodeQuery(question, cache);
    check(!packets.empty());
    std::vector<DnsRecord> listed;
    for (size_t p = 0; p < packets.size(); ++p) {
        check(packets[p].size() <= vireo_dnssd::kMaxQuery);
        const auto message = vireo_dnssd::parseDnsMessage(packets[p].data(), packets[p].size());
        check(message.has_value());
        check(message->id == 0);
        check(message->flags == (p + 1 < packets.size() ? vireo_dnssd::kFlagTruncated : 0));
        check(message->authorities.empty() && message->additionals.empty());
        if (p == 0) {
            check(message->questions.size() == 1);
            const auto& asked = message->questions[0];
            check(asked.name == question.name && asked.type == question.type &&
                  asked.rrclass == question.rrclass &&
                  asked.unicast_response == question.unicast_response);
        } else {
            check(message->questions.empty() && !message->answers.empty());
        }
        listed.insert(listed.end(), message->answers.begin(), message->answers.end());
    }
    size_t next = 0;
    for (const DnsRecord& record : cache) {
        const size_t plain = 12 + vireo_dnssd::wireLength(record.name) + 10 + record.rdata.size();
        if (plain > vireo_dnssd::kMaxQuery) {
            continue;
        }
        check(next < listed.size());
        const DnsRecord& back = listed[next++];
        check(back.name == record.name && back.type == record.type &&
              back.rrclass == record.rrclass && !back.cache_flush && back.ttl == record.ttl &&
              back.rdata == record.rdata);
    }
    check(next == listed.size());
    return 0;
}
