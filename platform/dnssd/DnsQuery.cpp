#include "DnsQuery.h"

namespace vireo_dnssd {

namespace {

void put16(Bytes& out, uint16_t value) {
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

void put32(Bytes& out, uint32_t value) {
    put16(out, uint16_t(value >> 16));
    put16(out, uint16_t(value));
}

}  // namespace

Bytes encodeQuery(const DnsQuestion& question, const std::vector<DnsRecord>& known) {
    Bytes out;
    put16(out, 0);  // id
    put16(out, 0);  // flags: standard query
    put16(out, 1);
    const size_t answer_count_at = out.size();
    put16(out, 0);
    put16(out, 0);
    put16(out, 0);
    appendWire(out, question.name);
    put16(out, question.type);
    put16(out, uint16_t(question.rrclass | (question.unicast_response ? 0x8000 : 0)));
    uint16_t answers = 0;
    for (const DnsRecord& record : known) {
        const size_t size = wireLength(record.name) + 10 + record.rdata.size();
        if (out.size() + size > kMaxQuery || answers == 0xffff) {
            continue;
        }
        appendWire(out, record.name);
        put16(out, record.type);
        put16(out, record.rrclass);
        put32(out, record.ttl);
        put16(out, uint16_t(record.rdata.size()));
        out.insert(out.end(), record.rdata.begin(), record.rdata.end());
        ++answers;
    }
    out[answer_count_at] = uint8_t(answers >> 8);
    out[answer_count_at + 1] = uint8_t(answers);
    return out;
}

}  // namespace vireo_dnssd
