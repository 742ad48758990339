#include <gtest/gtest.h>

#include "TextReply.h"

namespace {

using Kind = TextReply::Kind;

struct ReplyCase {
    QByteArray bytes;
    Kind kind;
    const char* key;
    bool has_version;
    uint32_t version;
};

void PrintTo(const ReplyCase& c, std::ostream* out) {
    *out << '"' << c.bytes.toHex(' ').toStdString() << '"';
}

class TextReplyTable : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(TextReplyTable, ReadsKindKeyAndVersion) {
    const ReplyCase& c = GetParam();
    const TextReply reply = parseTextReply(c.bytes);
    EXPECT_EQ(reply.kind, c.kind) << c.bytes.toStdString();
    EXPECT_EQ(reply.key, QString::fromLatin1(c.key)) << c.bytes.toStdString();
    EXPECT_EQ(reply.has_version, c.has_version) << c.bytes.toStdString();
    EXPECT_EQ(reply.version, c.version) << c.bytes.toStdString();
    EXPECT_EQ(reply.kind == Kind::Malformed, !reply.fault.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, TextReplyTable,
    ::testing::Values(
        ReplyCase{"ACK VERSION=1.5", Kind::Ack, "VERSION", true, 65541},
        ReplyCase{"ACK VERSION 1.5", Kind::Ack, "VERSION", true, 65541},
        ReplyCase{"ACK VERSION|2.3", Kind::Ack, "VERSION", true, 131075},
        ReplyCase{"ACK VERSION=2", Kind::Ack, "VERSION", true, 131072},
        ReplyCase{"ACK VERSION=1.20", Kind::Ack, "VERSION", true, (1u << 16) | 20},
        ReplyCase{"ACK VERSION=3.4.5", Kind::Ack, "VERSION", true, (3u << 16) | 4},
        ReplyCase{"ACK VERSION=2\r", Kind::Ack, "VERSION", true, 131072},
        // The minor number keeps only its low 16 bits; the major number shifts unsigned.
        ReplyCase{"ACK VERSION=1.65537", Kind::Ack, "VERSION", true, 65537},
        ReplyCase{"ACK VERSION=65535.0", Kind::Ack, "VERSION", true, 0xFFFF0000u},
        ReplyCase{"ACK VERSION=1.x", Kind::Ack, "VERSION", true, 65536},
        // The character after "ACK" is skipped, so the key loses its first letter.
        ReplyCase{"ACKVERSION=2.1", Kind::Ack, "ERSION", false, 0},
        ReplyCase{"ACK SAVEPRESET 3", Kind::Ack, "SAVEPRESET", false, 0},
        ReplyCase{"ACK 0VERSION=1.5", Kind::Ack, "0VERSION", false, 0},
        ReplyCase{"NACK", Kind::Nack, "", false, 0},
        ReplyCase{"NACK VERSION=1.5", Kind::Nack, "", false, 0},
        ReplyCase{"", Kind::Malformed, "", false, 0},
        ReplyCase{"ACK", Kind::Malformed, "", false, 0},
        ReplyCase{"ACK ???", Kind::Malformed, "", false, 0},
        ReplyCase{"ACK VERSION=abc", Kind::Malformed, "VERSION", false, 0},
        ReplyCase{"ACK VERSION=.5", Kind::Malformed, "VERSION", false, 0},
        ReplyCase{"ACK VERSION=-1.5", Kind::Malformed, "VERSION", false, 0},
        ReplyCase{"ACK VERSION=99999999999.1", Kind::Malformed, "VERSION", false, 0},
        ReplyCase{"\xFF\xFE", Kind::Malformed, "", false, 0},
        ReplyCase{"ERR VERSION=1.5", Kind::Malformed, "", false, 0},
        ReplyCase{"nack", Kind::Malformed, "", false, 0}));

TEST(TextReply, TextEndsAtTheFirstZeroByte) {
    const TextReply reply = parseTextReply(QByteArray("ACK VERSION=1.5\0garbage", 23));
    EXPECT_EQ(reply.text, QStringLiteral("ACK VERSION=1.5"));
    EXPECT_EQ(reply.version, 65541u);
    EXPECT_EQ(parseTextReply(QByteArray("\0ACK VERSION=1.5", 16)).kind, Kind::Malformed);
}

TEST(TextReply, KeepsTheWholeTextForTheAnnouncement) {
    const TextReply reply = parseTextReply("ACK VERSION=1.5 extra");
    EXPECT_EQ(reply.text, QStringLiteral("ACK VERSION=1.5 extra"));
    EXPECT_EQ(reply.value, QStringLiteral("1.5 extra"));
}

}  // namespace
