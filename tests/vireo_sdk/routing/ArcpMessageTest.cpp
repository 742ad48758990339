// The ARCP message writer and reader.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "routing/dr_arcp.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const dr_packet& packet) {
    return Bytes(packet.bytes, packet.bytes + dr_arcp_packet_length(&packet));
}

dr_message messageOf(const Bytes& bytes) {
    dr_message message{};
    EXPECT_TRUE(dr_arcp_parse(bytes.data(), bytes.size(), &message));
    return message;
}

// A reply header with length `length` followed by zeros.
Bytes reply(size_t length) {
    Bytes bytes(length, 0);
    bytes[2] = static_cast<uint8_t>(length >> 8);
    bytes[3] = static_cast<uint8_t>(length);
    bytes[9] = 1;
    return bytes;
}

TEST(ArcpWriter, HeaderOnlyRequestIsTenBytes) {
    dr_packet packet{};
    dr_arcp_write_header(&packet, 0x2601, 0x1000);
    EXPECT_EQ(bytesOf(packet), (Bytes{0x26, 0x01, 0x00, 0x0A, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00}));
}

TEST(ArcpWriter, IdsMergeIntoRanges) {
    dr_packet packet{};
    dr_arcp_write_header(&packet, 0x271D, 0x2010);
    dr_arcp_begin_ranges(&packet);
    for (uint16_t id : {3, 4, 5, 9}) {
        ASSERT_TRUE(dr_arcp_add_id(&packet, id));
    }
    const Bytes body(packet.bytes + 10, packet.bytes + dr_arcp_packet_length(&packet));
    EXPECT_EQ(body, (Bytes{0, 2, 0, 3, 0, 5, 0, 0, 0, 9}));
}

TEST(ArcpWriter, RangeZeroZeroIsNeverAdded) {
    dr_packet packet{};
    dr_arcp_write_header(&packet, 0x271D, 0x2000);
    dr_arcp_begin_ranges(&packet);
    EXPECT_TRUE(dr_arcp_add_range(&packet, 0, 0));
    EXPECT_EQ(dr_arcp_packet_length(&packet), 12);
    EXPECT_EQ(packet.bytes[11], 0);
}

TEST(ArcpWriter, RecordsSharingADeviceNameShareOneString) {
    dr_packet packet{};
    dr_arcp_write_header(&packet, 0x271D, 0x3010);
    ASSERT_TRUE(dr_arcp_begin_records(&packet, 2, 20));
    uint16_t offsets[4] = {};
    for (int i = 0; i < 2; ++i) {
        uint8_t* record = dr_arcp_add_record(&packet, 20);
        ASSERT_NE(record, nullptr);
        ASSERT_TRUE(dr_arcp_append_string(&packet, i ? "Out 2" : "Out 1", 1, 20, &offsets[2 * i]));
        dr_arcp_put_u16(record + 2, offsets[2 * i]);
        ASSERT_TRUE(dr_arcp_append_string(&packet, "AMP-2", 1, 20, &offsets[2 * i + 1]));
        dr_arcp_put_u16(record + 4, offsets[2 * i + 1]);
    }
    EXPECT_EQ(dr_arcp_add_record(&packet, 20), nullptr);
    EXPECT_EQ(offsets[1], offsets[3]);
    EXPECT_EQ(dr_arcp_packet_length(&packet), 12 + 40 + 6 + 6 + 6);
}

TEST(ArcpWriter, AppendPastTheCapacityWritesNothing) {
    dr_packet packet{};
    packet.capacity = 20;
    dr_arcp_write_header(&packet, 0x271D, 0x2010);
    dr_arcp_begin_ranges(&packet);
    EXPECT_TRUE(dr_arcp_add_range(&packet, 1, 2));
    EXPECT_TRUE(dr_arcp_add_range(&packet, 4, 5));
    EXPECT_FALSE(dr_arcp_add_range(&packet, 7, 8));
    EXPECT_EQ(dr_arcp_packet_length(&packet), 20);
    uint16_t offset = 0;
    EXPECT_FALSE(dr_arcp_append(&packet, "x", 1, 1, &offset));
    EXPECT_EQ(dr_arcp_packet_length(&packet), 20);
}

TEST(ArcpWriter, AppendAlignsFirst) {
    dr_packet packet{};
    dr_arcp_write_header(&packet, 0x271D, 0x3010);
    uint16_t offset = 0;
    ASSERT_TRUE(dr_arcp_append(&packet, "ab", 3, 1, &offset));
    EXPECT_EQ(offset, 10);
    ASSERT_TRUE(dr_arcp_append(&packet, "cdef", 4, 4, &offset));
    EXPECT_EQ(offset, 16);
    EXPECT_EQ(dr_arcp_packet_length(&packet), 20);
}

TEST(ArcpReader, DatagramsWithABadHeaderAreRefused) {
    struct Case {
        size_t size;
        uint16_t header_length;
        bool accepted;
    };
    const Case cases[] = {{9, 9, false},   {10, 10, true}, {12, 9, false},
                          {12, 13, false}, {56, 55, true}, {55, 56, false}};
    for (const Case& c : cases) {
        Bytes bytes(c.size, 0);
        if (c.size >= 4) {
            bytes[2] = static_cast<uint8_t>(c.header_length >> 8);
            bytes[3] = static_cast<uint8_t>(c.header_length);
        }
        dr_message message{};
        EXPECT_EQ(dr_arcp_parse(bytes.data(), bytes.size(), &message), c.accepted)
            << c.size << " bytes, header length " << c.header_length;
        if (c.accepted) {
            EXPECT_EQ(message.length, c.header_length);
        }
    }
}

TEST(ArcpReader, OffsetsAreResolvedWithinTheMessage) {
    const Bytes bytes = reply(40);
    const dr_message message = messageOf(bytes);
    struct Case {
        uint16_t offset, lower, upper, alignment, min_size;
        bool resolved;
    };
    const Case cases[] = {
        {40, 12, 0, 1, 1, false},                            // equal to the length
        {39, 12, 0, 1, 1, true},                             // the last byte
        {21, 12, 0, 4, 1, false},                            // odd where 4-byte alignment is asked
        {20, 12, 0, 4, 1, true},   {0, 12, 0, 1, 1, false},  // no offset
        {11, 12, 0, 1, 1, false},                            // inside the records
        {36, 12, 0, 4, 8, false},                            // too little left
        {24, 12, 30, 1, 8, false},                           // the upper bound leaves 6
        {24, 30, 20, 1, 1, false},                           // upper below lower
    };
    for (const Case& c : cases) {
        aud_reader block;
        EXPECT_EQ(dgcp_offset_resolve_sized(&message, c.offset, c.lower, c.upper, c.alignment,
                                            c.min_size, &block),
                  c.resolved)
            << "offset " << c.offset;
    }
}

TEST(ArcpReader, AStringNeedsItsNulInsideTheMessage) {
    Bytes bytes = reply(20);
    std::memcpy(bytes.data() + 12, "Out 1\0ab", 8);
    dr_message message = messageOf(bytes);
    const char* text = nullptr;
    size_t length = 0;
    ASSERT_TRUE(dr_arcp_string(&message, 12, 12, &text, &length));
    EXPECT_EQ(std::string(text, length), "Out 1");
    EXPECT_FALSE(dr_arcp_string(&message, 18, 12, &text, &length));
    // The same bytes with a header length that ends before the NUL.
    bytes[3] = 17;
    message = messageOf(bytes);
    EXPECT_FALSE(dr_arcp_string(&message, 12, 12, &text, &length));
}

TEST(ArcpReader, RecordsPastTheMessageDoNotExist) {
    Bytes bytes = reply(28);
    bytes[11] = 2;
    dr_message message = messageOf(bytes);
    EXPECT_TRUE(dr_arcp_records_fit(&message, 8));
    bytes[11] = 3;
    message = messageOf(bytes);
    EXPECT_FALSE(dr_arcp_records_fit(&message, 8));
    aud_reader record;
    EXPECT_TRUE(dr_arcp_record(&message, 1, 8, &record));
    EXPECT_FALSE(dr_arcp_record(&message, 2, 8, &record));
}

TEST(ArcpStatus, MapsToResultCodes) {
    const std::pair<uint16_t, aud_error_t> cases[] = {
        {0x0001, AUD_SUCCESS},          {0x000F, AUD_SUCCESS},
        {0x0012, AUD_ERR_VERSION},      {0x0025, AUD_ERR_MSGSIZE},
        {0x0031, AUD_ERR_NOTSUPPORTED}, {0x00F0, AUD_ERR_INVALIDSTATE},
        {0x0105, AUD_ERR_INVALIDDATA},  {0x0115, AUD_ERR_MSGSIZE},
        {0x0200, AUD_ERR_FAULT},        {0x8105, AUD_ERR_INVALIDDATA},
        {0x0050, AUD_ERR_FAULT}};
    for (const auto& c : cases) {
        EXPECT_EQ(dr_arcp_status_to_error(c.first), c.second) << std::hex << c.first;
    }
}

TEST(ArcpNames, ValidNames) {
    EXPECT_TRUE(dr_arcp_name_valid("Out 1"));
    EXPECT_TRUE(dr_arcp_name_valid(std::string(32, 'a').c_str()));
    EXPECT_FALSE(dr_arcp_name_valid(std::string(33, 'a').c_str()));
    EXPECT_FALSE(dr_arcp_name_valid(""));
    EXPECT_FALSE(dr_arcp_name_valid(nullptr));
    for (const char* bad : {"a.b", "a=b", "a@b", "."}) {
        EXPECT_FALSE(dr_arcp_name_valid(bad)) << bad;
    }
}

}  // namespace
