#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DnsMessage.h"
#include "DnsQuery.h"

namespace {

using vireo_dnssd::Bytes;
using vireo_dnssd::DnsQuestion;
using vireo_dnssd::DnsRecord;
using vireo_dnssd::Labels;
using vireo_dnssd::parseDnsMessage;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes wire(const Labels& name) {
    Bytes out;
    vireo_dnssd::appendWire(out, name);
    return out;
}

const Labels kType = {"_vireo-arc", "_udp", "local"};

DnsQuestion browseQuestion() {
    DnsQuestion question;
    question.name = kType;
    question.type = vireo_dnssd::kTypePtr;
    question.rrclass = vireo_dnssd::kClassIn;
    return question;
}

DnsRecord known(const Labels& name, uint16_t type, uint32_t ttl, Bytes rdata) {
    DnsRecord record;
    record.name = name;
    record.type = type;
    record.rrclass = vireo_dnssd::kClassIn;
    record.ttl = ttl;
    record.rdata = std::move(rdata);
    return record;
}

DnsRecord instancePtr(int number) {
    Labels instance = kType;
    instance.insert(instance.begin(), "Corvanti AMP-" + std::to_string(1000 + number));
    return known(kType, vireo_dnssd::kTypePtr, 4000 + uint32_t(number), wire(instance));
}

TEST(DnsQuery, CompressesKnownAnswersAgainstTheQuestionAndEachOther) {
    DnsQuestion question = browseQuestion();
    question.name = {"_a", "_udp", "local"};
    const Labels instance = {"x", "_a", "_udp", "local"};
    const DnsRecord ptr = known(question.name, 12, 4000, wire(instance));
    const DnsRecord srv =
        known(instance, 33, 120, Bytes{0, 0, 0, 0, 0x11, 0x58} + wire({"amp", "local"}));
    const auto packets = vireo_dnssd::encodeQuery(question, {ptr, srv});
    ASSERT_EQ(packets.size(), 1u);
    const Bytes expected = Bytes{0, 0, 0, 0, 0, 1, 0, 2, 0, 0, 0, 0} + wire(question.name) +
                           Bytes{0, 12, 0, 1} +  // question at 12
                           Bytes{0xc0, 12, 0, 12, 0, 1, 0, 0, 0x0f, 0xa0, 0, 4} +
                           Bytes{1, 'x', 0xc0, 12} +  // "x" at 43
                           Bytes{0xc0, 43, 0, 33, 0, 1, 0, 0, 0, 120, 0, 12} +
                           Bytes{0, 0, 0, 0, 0x11, 0x58, 3, 'a', 'm', 'p', 0xc0, 20};  // "local"
    EXPECT_EQ(packets[0], expected);
}

TEST(DnsQuery, ContinuesKnownAnswersInPacketsFlaggedTruncatedButTheLast) {
    for (const int count : {0, 1, 40, 250}) {
        SCOPED_TRACE(count);
        std::vector<DnsRecord> records;
        for (int i = 0; i < count; ++i) {
            records.push_back(instancePtr(i));
        }
        const auto packets = vireo_dnssd::encodeQuery(browseQuestion(), records);
        ASSERT_FALSE(packets.empty());
        std::vector<DnsRecord> listed;
        size_t bytes = 0;
        for (size_t p = 0; p < packets.size(); ++p) {
            SCOPED_TRACE(p);
            bytes += packets[p].size();
            EXPECT_LE(packets[p].size(), vireo_dnssd::kMaxQuery);
            const auto message = parseDnsMessage(packets[p].data(), packets[p].size());
            ASSERT_TRUE(message);
            EXPECT_EQ(message->flags, p + 1 < packets.size() ? vireo_dnssd::kFlagTruncated : 0);
            EXPECT_EQ(message->questions.size(), p == 0 ? 1u : 0u);
            EXPECT_FALSE(message->answers.empty() && p > 0);
            listed.insert(listed.end(), message->answers.begin(), message->answers.end());
        }
        ASSERT_EQ(listed.size(), records.size());
        for (size_t i = 0; i < listed.size(); ++i) {
            EXPECT_EQ(listed[i].name, records[i].name);
            EXPECT_EQ(listed[i].ttl, records[i].ttl);
            EXPECT_EQ(listed[i].rdata, records[i].rdata);
        }
        // Header and question take 39 bytes, each known answer 32 (its names pointers but
        // for the instance label), and the first of a further packet 21 more beside its header.
        EXPECT_EQ(bytes, 39 + 32 * records.size() + 33 * (packets.size() - 1));
        EXPECT_EQ(packets.size(), std::max<size_t>(1, (records.size() + 43) / 44));  // 44 each
    }
}

TEST(DnsQuery, LeavesOutOnlyARecordThatFitsNoPacket) {
    const Labels name = {"amp", "local"};
    const size_t room = vireo_dnssd::kMaxQuery - 12 - wire(name).size() - 10;
    const std::vector<DnsRecord> records = {
        instancePtr(1),
        known(name, 10, 120, Bytes(room + 1, 'a')),  // one byte too many
        known(name, 10, 120, Bytes(room, 'b')),      // fills a packet of its own
        instancePtr(2),
    };
    const auto packets = vireo_dnssd::encodeQuery(browseQuestion(), records);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[1].size(), vireo_dnssd::kMaxQuery);
    std::vector<Bytes> data;
    for (const Bytes& packet : packets) {
        const auto message = parseDnsMessage(packet.data(), packet.size());
        ASSERT_TRUE(message);
        for (const DnsRecord& record : message->answers) {
            data.push_back(record.rdata);
        }
    }
    EXPECT_EQ(data, (std::vector<Bytes>{records[0].rdata, records[2].rdata, records[3].rdata}));
}

}  // namespace
