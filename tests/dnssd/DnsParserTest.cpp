#include <gtest/gtest.h>

#include "DnsMessage.h"

namespace {

using vireo_dnssd::Bytes;
using vireo_dnssd::Labels;
using vireo_dnssd::parseDnsMessage;

// A response header with the given counts of questions and answers.
Bytes header(uint8_t questions, uint8_t answers) {
    return {0, 0, 0x84, 0, 0, questions, 0, answers, 0, 0, 0, 0};
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kLocal = {5, 'l', 'o', 'c', 'a', 'l', 0};

// Type, class, TTL 120 and the data length.
Bytes fixed(uint16_t type, uint16_t rrclass, uint16_t length) {
    return {
        uint8_t(type >> 8),   uint8_t(type),  uint8_t(rrclass >> 8), uint8_t(rrclass), 0, 0, 0, 120,
        uint8_t(length >> 8), uint8_t(length)};
}

Bytes longName(size_t labels, uint8_t size) {
    Bytes name;
    for (size_t i = 0; i < labels; ++i) {
        name.push_back(size);
        name.insert(name.end(), size, 'a');
    }
    name.push_back(0);
    return name;
}

TEST(DnsParser, ReadsCompressedNamesAndStoresThemPlain) {
    // Question "_a._udp.local" PTR; answer with the name by pointer and data "x" + pointer.
    const Bytes question =
        Bytes{2, '_', 'a', 4, '_', 'u', 'd', 'p'} + kLocal + Bytes{0, 12, 0x80, 1};
    const Bytes answer = Bytes{0xc0, 12} + fixed(12, 0x8001, 4) + Bytes{1, 'x', 0xc0, 12};
    const Bytes message = header(1, 1) + question + answer;
    const auto parsed = parseDnsMessage(message.data(), message.size());
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->questions.size(), 1u);
    EXPECT_TRUE(parsed->questions[0].unicast_response);
    EXPECT_EQ(parsed->questions[0].rrclass, 1);
    ASSERT_EQ(parsed->answers.size(), 1u);
    const auto& record = parsed->answers[0];
    EXPECT_EQ(record.name, (Labels{"_a", "_udp", "local"}));
    EXPECT_TRUE(record.cache_flush);
    EXPECT_EQ(record.rrclass, 1);
    EXPECT_EQ(record.ttl, 120u);
    EXPECT_EQ(record.rdata, (Bytes{1, 'x', 2, '_', 'a', 4, '_', 'u', 'd', 'p'} + kLocal));
    EXPECT_EQ(vireo_dnssd::rdataName(record.rdata), (Labels{"x", "_a", "_udp", "local"}));
}

TEST(DnsParser, ReadsSrvTxtAndA) {
    const Bytes name = Bytes{1, 'i'} + kLocal;
    const Bytes srv = name + fixed(33, 1, 6 + 3) + Bytes{0, 1, 0, 2, 0x11, 0x5c, 1, 'h', 0};
    const Bytes txt = Bytes{0xc0, 12} + fixed(16, 1, 6) + Bytes{3, 'a', '=', '1', 1, 'b'};
    const Bytes a = Bytes{0xc0, 12} + fixed(1, 1, 4) + Bytes{192, 0, 2, 7};
    const Bytes message = header(0, 3) + srv + txt + a;
    const auto parsed = parseDnsMessage(message.data(), message.size());
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->answers.size(), 3u);
    const auto data = vireo_dnssd::rdataSrv(parsed->answers[0].rdata);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->priority, 1);
    EXPECT_EQ(data->weight, 2);
    EXPECT_EQ(data->port, 0x115c);
    EXPECT_EQ(data->target, (Labels{"h"}));
    EXPECT_EQ(parsed->answers[1].rdata, (Bytes{3, 'a', '=', '1', 1, 'b'}));
    EXPECT_EQ(parsed->answers[2].rdata, (Bytes{192, 0, 2, 7}));
}

TEST(DnsParser, ReadsATtlWithTheTopBitSetAsZero) {
    const struct {
        Bytes ttl;
        uint32_t read;
    } cases[] = {
        {{0x7f, 0xff, 0xff, 0xff}, 0x7fffffffu},
        {{0x80, 0, 0, 0}, 0},
        {{0xff, 0xff, 0xff, 0xff}, 0},
    };
    for (const auto& c : cases) {
        const Bytes message =
            header(0, 1) + kLocal + Bytes{0, 1, 0, 1} + c.ttl + Bytes{0, 4, 192, 0, 2, 7};
        const auto parsed = parseDnsMessage(message.data(), message.size());
        ASSERT_TRUE(parsed);
        ASSERT_EQ(parsed->answers.size(), 1u);
        EXPECT_EQ(parsed->answers[0].ttl, c.read);
    }
}

TEST(DnsParser, AcceptsLongestNameAndLabel) {
    // 4 labels of 63 bytes would be 257 bytes; 3 of 63 and one of 61 make exactly 255.
    Bytes name = longName(3, 63);
    name.pop_back();
    name.push_back(61);
    name.insert(name.end(), 61, 'b');
    name.push_back(0);
    ASSERT_EQ(name.size(), 255u);
    const Bytes message = header(1, 0) + name + Bytes{0, 1, 0, 1};
    const auto parsed = parseDnsMessage(message.data(), message.size());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->questions[0].name.size(), 4u);
}

TEST(DnsParser, RefusesMalformedMessages) {
    const Bytes question_tail = {0, 1, 0, 1};
    const Bytes name = Bytes{1, 'i'} + kLocal;
    Bytes too_long = longName(4, 63);
    Bytes datagram_too_big = header(0, 0);
    datagram_too_big.resize(9001);
    const struct {
        const char* what;
        Bytes message;
    } cases[] = {
        {"short header", {0, 0, 0x84, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"question counted but missing", header(1, 0)},
        {"answer counted but missing", header(0, 1)},
        {"question cut in its fixed part", header(1, 0) + kLocal + Bytes{0, 1, 0}},
        {"label past the end", header(1, 0) + Bytes{5, 'l', 'o'}},
        {"name without end", header(1, 0) + Bytes{1, 'a'}},
        {"label of 64 bytes", header(1, 0) + longName(1, 64) + question_tail},
        {"name of 257 bytes", header(1, 0) + too_long + question_tail},
        {"extended label type", header(1, 0) + Bytes{0x41, 'a', 0} + question_tail},
        {"pointer to itself", header(1, 0) + Bytes{0xc0, 12} + question_tail},
        {"pointer forward", header(1, 0) + Bytes{0xc0, 14, 0} + question_tail},
        {"pointer past the end", header(1, 0) + Bytes{0xc0, 0xff} + question_tail},
        {"pointer cut", header(1, 0) + Bytes{0xc0}},
        {"loop through two pointers",
         header(2, 0) + Bytes{1, 'a', 0xc0, 20} + question_tail + Bytes{0xc0, 12} + question_tail},
        {"data longer than the message", header(0, 1) + name + fixed(1, 1, 4) + Bytes{1, 2}},
        {"A record of 5 bytes", header(0, 1) + name + fixed(1, 1, 5) + Bytes{1, 2, 3, 4, 5}},
        {"PTR name shorter than its data",
         header(0, 1) + name + fixed(12, 1, 4) + Bytes{1, 'x', 0, 0}},
        {"PTR name running past its data",
         header(0, 1) + name + fixed(12, 1, 2) + Bytes{1, 'x', 0}},
        {"SRV without target", header(0, 1) + name + fixed(33, 1, 6) + Bytes{0, 0, 0, 0, 0, 1}},
        {"TXT string past its data", header(0, 1) + name + fixed(16, 1, 2) + Bytes{2, 'a', 'b'}},
        {"datagram over 9000 bytes", datagram_too_big},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(parseDnsMessage(c.message.data(), c.message.size())) << c.what;
    }
}

TEST(RecordData, NamesCompareIgnoringCaseOnlyWhenPlainAndTheirKeysAgree) {
    const Bytes amp = Bytes{3, 'A', 'm', 'p'} + kLocal;
    const struct {
        const char* what;
        uint16_t type;
        Bytes a;
        Bytes b;
        bool same;
    } cases[] = {
        {"equal", 12, amp, amp, true},
        {"case", 12, amp, Bytes{3, 'a', 'M', 'P'} + Bytes{5, 'L', 'O', 'C', 'A', 'L', 0}, true},
        {"other name", 12, amp, Bytes{3, 'A', 'm', 'q'} + kLocal, false},
        {"shorter label", 12, amp, Bytes{2, 'A', 'm', 5, 'l', 'o', 'c', 'a', 'l', 0}, false},
        {"pointer", 12, Bytes{0xc0, 0}, Bytes{0xc0, 0}, false},
        {"label of 64", 5, longName(1, 64), longName(1, 64), false},
        {"bytes after the name", 2, amp + Bytes{0}, amp + Bytes{0}, false},
        {"no final zero", 12, Bytes{3, 'A', 'm', 'p'}, Bytes{3, 'A', 'm', 'p'}, false},
        {"empty", 12, Bytes{}, Bytes{}, false},
        {"255 bytes", 12, Bytes{1, 'a'} + longName(4, 62), Bytes{1, 'A'} + longName(4, 62), true},
        {"256 bytes", 12, Bytes{2, 'a', 'b'} + longName(4, 62),
         Bytes{2, 'a', 'b'} + longName(4, 62), false},
        {"TXT keeps case", 16, Bytes{3, 'a', '=', 'B'}, Bytes{3, 'a', '=', 'b'}, false},
        {"TXT equal", 16, Bytes{3, 'a', '=', 'B'}, Bytes{3, 'a', '=', 'B'}, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vireo_dnssd::sameRdata(c.type, c.a, c.b), c.same) << c.what;
        if (c.type != 16) {  // as the reader reads the names
            const auto a = vireo_dnssd::rdataName(c.a);
            const auto b = vireo_dnssd::rdataName(c.b);
            EXPECT_EQ(a && b && vireo_dnssd::sameName(*a, *b), c.same) << c.what;
        }
        std::string a;
        std::string b;
        const bool keyed = vireo_dnssd::appendRdataKey(a, c.type, c.a) &&
                           vireo_dnssd::appendRdataKey(b, c.type, c.b);
        EXPECT_EQ(keyed && a == b, c.same) << c.what;
    }
}

}  // namespace
