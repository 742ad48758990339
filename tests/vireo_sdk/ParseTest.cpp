#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "util/aud_id.h"
#include "util/aud_name.h"
#include "util/aud_reader.h"
#include "util/aud_token.h"
#include "util/aud_txt.h"

namespace {

TEST(Names, LengthAndCharacterRules) {
    struct Case {
        std::string name;
        aud_error_t result;
        std::string kept;
    };
    const std::string n32(32, 'n');
    for (const Case& c :
         {Case{n32, AUD_SUCCESS, n32}, Case{n32 + "x", AUD_ERR_TRUNCATED, n32},
          Case{"amp.local", AUD_ERR_INVALIDDATA, ""}, Case{".", AUD_ERR_INVALIDDATA, ""},
          Case{"a=b", AUD_ERR_INVALIDDATA, ""}, Case{"a@b", AUD_ERR_INVALIDDATA, ""},
          Case{"Solano-1", AUD_SUCCESS, "Solano-1"}, Case{"", AUD_SUCCESS, ""}}) {
        char destination[AUD_NAME_SIZE];
        std::memset(destination, 'z', sizeof destination);
        EXPECT_EQ(aud_name_copy(destination, c.name.c_str()), c.result) << c.name;
        EXPECT_EQ(destination, c.kept) << c.name;
    }
}

TEST(Labels, AtMost39Characters) {
    char destination[AUD_LABEL_SIZE];
    const std::string n39(39, 'l');
    EXPECT_EQ(aud_label_copy(destination, n39.c_str()), AUD_SUCCESS);
    EXPECT_EQ(destination, n39);
    EXPECT_EQ(aud_label_copy(destination, (n39 + "x").c_str()), AUD_ERR_TRUNCATED);
    EXPECT_EQ(destination, n39);
    EXPECT_EQ(aud_label_copy(destination, nullptr), AUD_SUCCESS);
    EXPECT_STREQ(destination, "");
}

TEST(Ids, ParseHexAndPlainText) {
    struct Case {
        const char* text;
        bool ok;
        std::vector<uint8_t> bytes;
    };
    for (const Case& c :
         {Case{"_0011223344556677", true, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}},
          Case{"abc", true, {'a', 'b', 'c', 0, 0, 0, 0, 0}},
          Case{"_0a0B", true, {0x0a, 0x0b, 0, 0, 0, 0, 0, 0}},
          Case{"", false, {0, 0, 0, 0, 0, 0, 0, 0}},
          Case{"_00112233445566778", false, {0, 0, 0, 0, 0, 0, 0, 0}},
          Case{"_001122334455667788", false, {0, 0, 0, 0, 0, 0, 0, 0}},
          Case{"_00zz", false, {0, 0, 0, 0, 0, 0, 0, 0}},
          Case{"ninechars", false, {0, 0, 0, 0, 0, 0, 0, 0}},
          Case{"eightchr", true, {'e', 'i', 'g', 'h', 't', 'c', 'h', 'r'}}}) {
        uint8_t id[AUD_ID_SIZE];
        std::memset(id, 0xEE, sizeof id);
        EXPECT_EQ(aud_id_parse(id, c.text), c.ok) << c.text;
        EXPECT_EQ(std::vector<uint8_t>(id, id + AUD_ID_SIZE), c.bytes) << c.text;
    }
}

TEST(Ids, ToString) {
    const uint8_t id[] = {0x00, 0x1d, 0xc1, 0xff, 0xfe, 0x00, 0x12, 0x34};
    char buffer[AUD_ID_STRING_SIZE];
    EXPECT_STREQ(aud_id_to_string(id, 8700, buffer), "001dc1fffe001234:8700");
}

TEST(Hex, DigitsAndBytes) {
    EXPECT_EQ(aud_hex_digit('7'), 7);
    EXPECT_EQ(aud_hex_digit('c'), 12);
    EXPECT_EQ(aud_hex_digit('F'), 15);
    EXPECT_EQ(aud_hex_digit('g'), 255);

    uint8_t buffer[4];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(aud_hex_to_bytes("a1b", buffer, sizeof buffer), 2u);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{0xa1, 0xb0, 0, 0}));
    EXPECT_EQ(aud_hex_to_bytes("0102030405", buffer, sizeof buffer), 4u);
    EXPECT_EQ(aud_hex_to_bytes("01x2", buffer, sizeof buffer), 1u);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{0x01, 0, 0, 0}));

    uint8_t mac[6];
    EXPECT_EQ(aud_hex_to_bytes_separated("00:1d:c1:0a:0b:0c", mac, 6, ':', 1), 6u);
    EXPECT_EQ(mac[1], 0x1d);
    EXPECT_EQ(mac[5], 0x0c);
    EXPECT_EQ(aud_hex_to_bytes_separated("001d-c10a", mac, 6, '-', 2), 4u);
    EXPECT_EQ(aud_hex_to_bytes_separated("00:1d-c1", mac, 6, ':', 1), 2u);
}

TEST(Tokens, SplitInPlace) {
    char text[] = "  model  Solano\tv1 ";
    char* cursor = text;
    std::vector<std::string> tokens;
    while (char* token = aud_next_token(&cursor)) {
        tokens.push_back(token);
    }
    EXPECT_EQ(tokens, (std::vector<std::string>{"model", "Solano", "v1"}));
    EXPECT_STREQ(aud_skip_space("  x y"), "x y");
    EXPECT_STREQ(aud_skip_to_space("xy z"), " z");
    EXPECT_STREQ(aud_prefix_match("router_vers=1", "router_vers="), "1");
    EXPECT_EQ(aud_prefix_match("route", "router"), nullptr);
}

TEST(Txt, SplitsEntriesAtTheFirstEquals) {
    const uint8_t record[] = {0x03, 'a', '=', '1', 0x00, 0x02, 'b', 'c'};
    aud_txt_entry entries[4];
    ASSERT_EQ(aud_txt_parse(entries, 4, record, sizeof record), 2);
    EXPECT_STREQ(entries[0].text, "a");
    ASSERT_NE(aud_txt_entry_value(&entries[0]), nullptr);
    EXPECT_STREQ(aud_txt_entry_value(&entries[0]), "1");
    EXPECT_EQ(entries[0].value_length, 1u);
    EXPECT_STREQ(entries[1].text, "bc");
    EXPECT_EQ(aud_txt_entry_value(&entries[1]), nullptr);
    EXPECT_EQ(entries[1].value_length, 0u);
}

TEST(Txt, EdgeCases) {
    aud_txt_entry entries[2];
    struct Case {
        std::vector<uint8_t> record;
        size_t room;
        int result;
    };
    for (const Case& c :
         {Case{{0x03, 'a', '=', '1', 0x05, 'b'}, 2, AUD_TXT_ERROR_OVERRUN},
          Case{{0x01}, 2, AUD_TXT_ERROR_OVERRUN},
          Case{{0x01, 'a', 0x01, 'b', 0x01, 'c'}, 2, AUD_TXT_ERROR_FULL}, Case{{0x00, 0x00}, 2, 0},
          Case{{}, 2, 0}, Case{{0x04, 'k', '=', '=', 'v'}, 2, 1}}) {
        EXPECT_EQ(aud_txt_parse(entries, c.room, c.record.data(), c.record.size()), c.result);
    }
    EXPECT_STREQ(entries[0].text, "k");
    EXPECT_STREQ(aud_txt_entry_value(&entries[0]), "=v");

    std::vector<uint8_t> longest(1, 0xFF);
    longest.insert(longest.end(), 255, 'x');
    ASSERT_EQ(aud_txt_parse(entries, 2, longest.data(), longest.size()), 1);
    EXPECT_EQ(std::strlen(entries[0].text), 255u);
}

TEST(Reader, FetchesWithinBoundsOnly) {
    const uint8_t data[] = {0x12, 0x34, 0x56, 0x78, 'h', 'i', 0, 'x'};
    aud_reader reader;
    aud_reader_init(&reader, data, sizeof data);
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    ASSERT_TRUE(aud_reader_u16be(&reader, &u16));
    EXPECT_EQ(u16, 0x1234);
    ASSERT_TRUE(aud_reader_u16le(&reader, &u16));
    EXPECT_EQ(u16, 0x7856);
    char text[3];
    EXPECT_FALSE(aud_reader_cstring(&reader, text, 1));
    ASSERT_TRUE(aud_reader_cstring(&reader, text, 2));
    EXPECT_STREQ(text, "hi");
    EXPECT_FALSE(aud_reader_u32be(&reader, &u32));
    EXPECT_EQ(aud_reader_remaining(&reader), 1u);
    EXPECT_FALSE(aud_reader_cstring(&reader, text, 2));
    aud_reader_init(&reader, data, 4);
    ASSERT_TRUE(aud_reader_u32le(&reader, &u32));
    EXPECT_EQ(u32, 0x78563412u);
    EXPECT_FALSE(aud_reader_skip(&reader, 1));
}

}  // namespace
