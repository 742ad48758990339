#include "DnsQuery.h"

#include "DnsWriter.h"

namespace vireo_dnssd {

namespace {

constexpr size_t kHeader = 12;
constexpr size_t kAnswerCountAt = 6;
constexpr size_t kRecordFixed = 10;  // type, class, TTL, data length

DnsWriter startPacket(const DnsQuestion* question) {
    DnsWriter packet;
    packet.u16(0);  // id
    packet.u16(0);  // flags: standard query
    packet.u16(question ? 1 : 0);
    packet.u16(0);
    packet.u16(0);
    packet.u16(0);
    if (question) {
        packet.name(question->name);
        packet.u16(question->type);
        packet.u16(uint16_t(question->rrclass | (question->unicast_response ? 0x8000 : 0)));
    }
    return packet;
}

// Record data with the names of PTR, CNAME, NS and SRV compressed.
void writeRdata(DnsWriter& packet, const DnsRecord& record) {
    if (record.type == kTypePtr || record.type == kTypeCname || record.type == kTypeNs) {
        const auto target = rdataName(record.rdata);
        if (target) {
            packet.name(*target);
            return;
        }
    } else if (record.type == kTypeSrv) {
        const auto srv = rdataSrv(record.rdata);
        if (srv) {
            packet.u16(srv->priority);
            packet.u16(srv->weight);
            packet.u16(srv->port);
            packet.name(srv->target);
            return;
        }
    }
    packet.raw(record.rdata.data(), record.rdata.size());
}

void writeRecord(DnsWriter& packet, const DnsRecord& record) {
    packet.name(record.name);
    packet.u16(record.type);
    packet.u16(record.rrclass);
    packet.u32(record.ttl);
    const size_t length_at = packet.size();
    packet.u16(0);
    writeRdata(packet, record);
    packet.set16(length_at, uint16_t(packet.size() - length_at - 2));
}

void finishPacket(std::vector<Bytes>& packets, DnsWriter& packet, uint16_t answers,
                  bool truncated) {
    packet.set16(2, truncated ? kFlagTruncated : 0);
    packet.set16(kAnswerCountAt, answers);
    packets.push_back(packet.bytes());
}

}  // namespace

std::vector<Bytes> encodeQuery(const DnsQuestion& question, const std::vector<DnsRecord>& known) {
    std::vector<Bytes> packets;
    DnsWriter packet = startPacket(&question);
    uint16_t answers = 0;
    for (const DnsRecord& record : known) {
        // Written plain into an empty packet it would not fit: it never does.
        if (kHeader + wireLength(record.name) + kRecordFixed + record.rdata.size() > kMaxQuery) {
            continue;
        }
        const size_t before = packet.size();
        writeRecord(packet, record);
        if (packet.size() > kMaxQuery) {
            packet.truncate(before);
            finishPacket(packets, packet, answers, true);
            packet = startPacket(nullptr);
            answers = 0;
            writeRecord(packet, record);
        }
        ++answers;
    }
    finishPacket(packets, packet, answers, false);
    return packets;
}

}  // namespace vireo_dnssd
