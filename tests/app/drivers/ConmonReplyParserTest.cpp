// Bodies of the monitoring channel as the conmon driver reads them, written with the fake
// server's own wire code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConmonReplyParser.h"
#include "FakeConmonWire.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Kind = ConmonReply::Kind;
namespace wire = sim::conmonwire;

ConmonReply parse(const Bytes& body) {
    return ConmonReplyParser::parse(body.data(), body.size());
}

Bytes versionsReply(uint16_t version, const Bytes& product_id) {
    Bytes body;
    wire::putBe16(body, version);
    wire::putBe16(body, 0x00C0);
    wire::padTo(body, 16);
    body.insert(body.end(), product_id.begin(), product_id.end());
    wire::padTo(body, 32);
    wire::putBe32(body, 0x04010002);
    wire::putBe32(body, 0x04000005);
    wire::putBe32(body, 0x40000000);
    wire::padTo(body, 180);
    wire::putField(body, "ZEB-4600", 128);
    wire::putBe32(body, 0x00010003);
    return body;
}

Bytes interfaceReply(uint16_t count, size_t records) {
    Bytes body = {0x07, 0x04, 0x00, 0x11, 0, 0, 0, 0};
    wire::putBe16(body, count);
    wire::putBe16(body, 0);
    for (size_t i = 0; i < records; ++i) {
        const size_t start = body.size();
        wire::padTo(body, start + 6);
        for (uint8_t b : {uint8_t(0x00), uint8_t(0x1d), uint8_t(0xc1), uint8_t(0x12), uint8_t(0x34),
                          uint8_t(0x56 + i)}) {
            body.push_back(b);
        }
        wire::padTo(body, start + 28);
    }
    return body;
}

Bytes text(const std::string& s, bool terminated = true) {
    Bytes body(s.begin(), s.end());
    if (terminated) {
        body.push_back(0);
    }
    return body;
}

TEST(ConmonReplyParser, ProductIdIsTheDecimalBytesRunTogether) {
    struct Case {
        Bytes id;
        const char* text;
    };
    for (const Case& c : {Case{{0, 0, 0, 0, 0, 0, 1, 2}, "00000012"},
                          Case{{1, 2, 16, 0, 255, 0, 0, 7}, "12160255007"},
                          Case{{10, 10, 10, 10, 10, 10, 10, 10}, "1010101010101010"}}) {
        const ConmonReply reply = parse(versionsReply(0x0704, c.id));
        ASSERT_EQ(reply.kind, Kind::ProductId);
        EXPECT_EQ(reply.product_id, QByteArray(c.text));
    }
}

TEST(ConmonReplyParser, VersionsFieldsFollowTheBodyVersion) {
    struct Case {
        uint16_t version;
        const char* model_name;
        uint32_t model_version;
        uint32_t capabilities;
    };
    for (const Case& c : {Case{0x0704, "ZEB-4600", 0x00010003, 0x40000000},
                          Case{0x0700, "", 0, 0x40000000}, Case{0x0605, "", 0, 0}}) {
        SCOPED_TRACE(c.version);
        const ConmonReply reply = parse(versionsReply(c.version, {0, 0, 0, 0, 0, 0, 1, 2}));
        ASSERT_EQ(reply.kind, Kind::ProductId);
        EXPECT_EQ(reply.model_name, QString(c.model_name));
        EXPECT_EQ(reply.model_version, c.model_version);
        EXPECT_EQ(reply.capabilities, c.capabilities);
        EXPECT_EQ(reply.software_version, 0x04010002u);
        EXPECT_EQ(reply.firmware_version, 0x04000005u);
    }
}

TEST(ConmonReplyParser, MacAddressOfTheFirstInterfaceWhenThereIsOne) {
    ConmonReply reply = parse(interfaceReply(2, 2));
    ASSERT_EQ(reply.kind, Kind::MacAddress);
    EXPECT_EQ(reply.mac, QString("00:1d:c1:12:34:56"));
    EXPECT_EQ(parse(interfaceReply(0, 0)).kind, Kind::None);
    EXPECT_EQ(parse(interfaceReply(1, 0)).kind, Kind::None);  // counted, not there
    Bytes cut = interfaceReply(1, 1);
    cut.pop_back();
    EXPECT_EQ(parse(cut).kind, Kind::None);
}

TEST(ConmonReplyParser, RepliesWithoutTheirFixedFieldsAreDropped) {
    Bytes info = {0x07, 0x04, 0x00, 0x60};
    wire::padTo(info, 20);
    Bytes info_text = info;
    for (char ch : std::string("Solano 2-A")) {
        info_text.push_back(uint8_t(ch));  // no terminator: ends with the body
    }
    const ConmonReply model = parse(info_text);
    ASSERT_EQ(model.kind, Kind::VireoInfo);
    EXPECT_EQ(model.text, QString("Solano 2-A"));
    EXPECT_EQ(parse(info).kind, Kind::VireoInfo);

    struct Case {
        const char* name;
        Bytes body;
    };
    const Bytes interfaces = interfaceReply(1, 1);
    const Bytes versions = versionsReply(0x0704, Bytes(8, 1));
    for (const Case& c : {Case{"interfaces", Bytes(interfaces.begin(), interfaces.begin() + 9)},
                          Case{"information", Bytes(info.begin(), info.begin() + 19)},
                          Case{"versions", Bytes(versions.begin(), versions.begin() + 39)}}) {
        const ConmonReply reply = parse(c.body);
        EXPECT_EQ(reply.kind, Kind::Dropped) << c.name;
        EXPECT_STRNE(reply.drop_reason, "") << c.name;
    }
}

TEST(ConmonReplyParser, VendorTextsGiveCommandResponsesAndVersions) {
    struct Case {
        std::string text;
        Kind kind;
        bool has_version;
        uint32_t version;
    };
    for (const Case& c : {
             Case{"ACK VERSION=1.5", Kind::CommandResponse, true, 65541},
             Case{"ACK VERSION=1.20", Kind::CommandResponse, true, (1u << 16) | 20},
             Case{"ACK VERSION 1.5", Kind::CommandResponse, true, 65541},
             Case{"ACK VERSION|2.7", Kind::CommandResponse, true, (2u << 16) | 7},
             Case{"ACK VERSION=3", Kind::CommandResponse, true, 3u << 16},
             Case{"ACK VERSION=1.70000", Kind::CommandResponse, true,
                  (1u << 16) | (70000 & 0xFFFF)},
             Case{"ACK VERSION=1.5 ACK VERSION=2.0", Kind::CommandResponse, true, 1u << 16},
             Case{"ACKVERSION=2.1", Kind::CommandResponse, false, 0},
             Case{"ACK LOADPRESET 3", Kind::CommandResponse, false, 0},
             Case{"ACK", Kind::CommandResponse, false, 0},
             Case{"NACK", Kind::CommandResponse, false, 0},
             Case{"NACK VERSION=1.5", Kind::CommandResponse, false, 0},
             Case{"ack VERSION=1.5", Kind::None, false, 0},
             Case{"HELLO", Kind::None, false, 0},
             Case{"", Kind::None, false, 0},
         }) {
        SCOPED_TRACE(c.text);
        const ConmonReply reply = parse(text(c.text));
        EXPECT_EQ(reply.kind, c.kind);
        EXPECT_EQ(reply.has_mcu_version, c.has_version);
        EXPECT_EQ(reply.mcu_version, c.version);
        if (c.kind == Kind::CommandResponse) {
            EXPECT_EQ(reply.text, QString::fromStdString(c.text));
        }
    }
    // The text ends at its first zero byte, or at the body's end.
    Bytes two = text("ACK VERSION=1.5");
    const Bytes more = text("NACK");
    two.insert(two.end(), more.begin(), more.end());
    EXPECT_EQ(parse(two).text, QString("ACK VERSION=1.5"));
    EXPECT_EQ(parse(text("NACK", false)).text, QString("NACK"));
    EXPECT_EQ(parse(text("AC", false)).kind, Kind::None);
}

}  // namespace
