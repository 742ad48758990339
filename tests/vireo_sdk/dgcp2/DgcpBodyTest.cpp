#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Dgcp2Fixture.h"
#include "dgcp2/dgcp_body.h"

namespace {

// A short-header message whose body bytes are body, the length field matching.
dgcp_message received(const Bytes& body) {
    dgcp_message message{};
    dgcp_message_init(&message, DGCP_HEADER_TYPE_SHORT);
    dgcp_header_set(&message, 0x1001, 0x100);
    std::memcpy(message.data + DGCP_HEADER_SHORT_SIZE, body.data(), body.size());
    dgcp_header_set_length(&message, static_cast<uint16_t>(DGCP_HEADER_SHORT_SIZE + body.size()));
    return message;
}

Bytes bodyOf(const dgcp_message& message) {
    const uint8_t* body = dgcp_message_body(&message);
    return Bytes(body, body + dgcp_message_body_length(&message));
}

TEST(DgcpBody, WritersAlignAndSkipPadsWithoutWritingThem) {
    dgcp_message message{};
    dgcp_message_init(&message, DGCP_HEADER_TYPE_CLIENT);
    dgcp_header_set(&message, 0x1001, 0x110);
    std::memset(message.data + DGCP_HEADER_CLIENT_SIZE, 0xEE, 64);
    dgcp_array array;
    uint16_t number = 0;
    uint16_t text = 0;
    uint16_t bytes = 0;
    uint16_t wide = 0;
    ASSERT_EQ(dgcp_body_alloc_array(&message, 2, &array), AUD_SUCCESS);
    ASSERT_EQ(dgcp_body_add_string(&message, "ab", &text), AUD_SUCCESS);
    // The body ends at 10 (2 modulo 4): two pad bytes come before the number.
    ASSERT_EQ(dgcp_body_add_uint32(&message, 0x01020304, &number), AUD_SUCCESS);
    ASSERT_EQ(dgcp_body_add_bytes(&message, nullptr, 3, &bytes), AUD_SUCCESS);
    ASSERT_EQ(dgcp_body_add_wide_string(&message, u"h\u00e9", &wide), AUD_SUCCESS);
    ASSERT_EQ(dgcp_array_set(&message, &array, 1, number), AUD_SUCCESS);
    EXPECT_EQ(array.offset, 0);
    EXPECT_EQ(text, 6);
    EXPECT_EQ(number, 12);
    EXPECT_EQ(bytes, 16);
    EXPECT_EQ(wide, 20);
    const Bytes expected = {0x00, 0x02, 0x00, 0x00, 0x00, 0x0C,              // array
                            'a',  'b',  0x00, 0xEE,                          // text and its pad
                            0xEE, 0xEE,                                      // alignment pad
                            0x01, 0x02, 0x03, 0x04,                          // number
                            0x00, 0x00, 0x00, 0xEE,                          // zeros and pad
                            0x00, 0x00, 0x00, 'h',  0x00, 0x00, 0x00, 0xE9,  // wide text
                            0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(bodyOf(message), expected);
    EXPECT_EQ(dgcp_header_get_length(&message), DGCP_HEADER_CLIENT_SIZE + expected.size());
}

TEST(DgcpBody, TheBodyLimitOfEachHeaderTypeIsKept) {
    for (const unsigned type : {DGCP_HEADER_TYPE_SHORT, DGCP_HEADER_TYPE_CLIENT}) {
        SCOPED_TRACE(type);
        dgcp_message message{};
        dgcp_message_init(&message, type);
        dgcp_header_set(&message, 0x1001, 0x110);
        const size_t limit = type == DGCP_HEADER_TYPE_CLIENT ? 1452 : 1462;
        EXPECT_EQ(dgcp_message_body_limit(&message), limit);
        EXPECT_EQ(dgcp_body_add_bytes(&message, nullptr, limit + 1, nullptr), AUD_ERR_MSGSIZE);
        EXPECT_EQ(dgcp_message_body_length(&message), 0u);
        EXPECT_EQ(dgcp_body_add_bytes(&message, nullptr, limit, nullptr), AUD_SUCCESS);
        EXPECT_EQ(dgcp_header_get_length(&message), DGCP_WIRE_SIZE);
        EXPECT_EQ(dgcp_body_alloc_array(&message, 0, nullptr), AUD_ERR_MSGSIZE);
        EXPECT_EQ(dgcp_header_get_length(&message), DGCP_WIRE_SIZE);
    }
    // A number after a body end of 2 modulo 4 takes two pad bytes too.
    dgcp_message message{};
    dgcp_message_init(&message, DGCP_HEADER_TYPE_SHORT);
    dgcp_header_set(&message, 0x1001, 0x110);
    ASSERT_EQ(dgcp_body_add_bytes(&message, nullptr, 1458, nullptr), AUD_SUCCESS);
    EXPECT_EQ(dgcp_body_add_uint32(&message, 1, nullptr), AUD_ERR_MSGSIZE);
    dgcp_message_init(&message, DGCP_HEADER_TYPE_SHORT);
    dgcp_header_set(&message, 0x1001, 0x110);
    ASSERT_EQ(dgcp_body_add_bytes(&message, nullptr, 1456, nullptr), AUD_SUCCESS);
    EXPECT_EQ(dgcp_body_add_uint32(&message, 1, nullptr), AUD_SUCCESS);
}

TEST(DgcpBody, ReadersGiveWhatWasWritten) {
    const Bytes body = {0x00, 0x01, 0x00, 0x04,                         // array [4]
                        0x00, 0x00, 0x12, 0x34,                         // number
                        'e',  't',  'h',  '0',  0x00, 0x00,             // text
                        0x00, 0x00,                                     // pad
                        0x00, 0x00, 0x00, 'c',  0x00, 0x00, 0x00, 'f',  // wide text
                        0x00, 0x00, 0x00, 'g',  0x00, 0x00, 0x00, 0x00};
    const dgcp_message message = received(body);
    dgcp_array array;
    uint16_t slot = 0;
    uint32_t number = 0;
    char text[8];
    char16_t wide[8];
    uint8_t bytes[3];
    ASSERT_EQ(dgcp_body_get_array(&message, 0, &array), AUD_SUCCESS);
    EXPECT_EQ(array.count, 1);
    ASSERT_EQ(dgcp_array_get(&message, &array, 0, &slot), AUD_SUCCESS);
    EXPECT_EQ(dgcp_array_get(&message, &array, 1, &slot), AUD_ERR_INVALIDPARAMETER);
    ASSERT_EQ(dgcp_body_get_uint32(&message, slot, &number), AUD_SUCCESS);
    EXPECT_EQ(number, 0x1234u);
    ASSERT_EQ(dgcp_body_get_string(&message, 8, text, sizeof text), AUD_SUCCESS);
    EXPECT_STREQ(text, "eth0");
    // Cut to the caller's size minus one, and terminated.
    ASSERT_EQ(dgcp_body_get_string(&message, 8, text, 3), AUD_SUCCESS);
    EXPECT_STREQ(text, "et");
    ASSERT_EQ(dgcp_body_get_wide_string(&message, 16, wide, 8), AUD_SUCCESS);
    EXPECT_EQ(std::u16string(wide), u"cfg");
    ASSERT_EQ(dgcp_body_get_wide_string(&message, 16, wide, 2), AUD_SUCCESS);
    EXPECT_EQ(std::u16string(wide), u"c");
    ASSERT_EQ(dgcp_body_get_bytes(&message, 8, bytes, 3), AUD_SUCCESS);
    EXPECT_EQ(bytes[2], 'h');
}

// Every item must end within the body: the reader gives 3 for one that starts inside it and
// runs past its end, as for one that starts outside it.
TEST(DgcpBody, ReadersRefuseItemsThatDoNotEndWithinTheBody) {
    struct Case {
        const char* what;
        Bytes body;
        aud_error_t (*read)(const dgcp_message*);
        aud_error_t expected;
    };
    using M = const dgcp_message*;
    const Case cases[] = {
        {"array at an odd offset",
         {0x00, 0x00, 0x00, 0x00},
         [](M m) {
             dgcp_array a;
             return dgcp_body_get_array(m, 1, &a);
         },
         AUD_ERR_INVALIDPARAMETER},
        {"array at the body end",
         {0x00, 0x00},
         [](M m) {
             dgcp_array a;
             return dgcp_body_get_array(m, 2, &a);
         },
         AUD_ERR_INVALIDPARAMETER},
        {"array whose slots run past",
         {0x00, 0x03, 0x00, 0x01, 0x00, 0x02},
         [](M m) {
             dgcp_array a;
             return dgcp_body_get_array(m, 0, &a);
         },
         AUD_ERR_INVALIDPARAMETER},
        {"array whose count runs past",
         {0x00, 0x00, 0x00},
         [](M m) {
             dgcp_array a;
             return dgcp_body_get_array(m, 2, &a);
         },
         AUD_ERR_INVALIDPARAMETER},
        {"number not 4-aligned",
         {0, 0, 0, 0, 0, 0, 0, 0},
         [](M m) {
             uint32_t v;
             return dgcp_body_get_uint32(m, 2, &v);
         },
         AUD_ERR_INVALIDPARAMETER},
        {"number running past",
         {0, 0, 0, 0, 0, 0},
         [](M m) {
             uint32_t v;
             return dgcp_body_get_uint32(m, 4, &v);
         },
         AUD_ERR_INVALIDPARAMETER},
        {"bytes running past",
         {1, 2, 3, 4, 5, 6},
         [](M m) {
             uint8_t b[6];
             return dgcp_body_get_bytes(m, 2, b, 6);
         },
         AUD_ERR_INVALIDPARAMETER},
        {"text without its NUL",
         {'a', 'b', 'c', 'd'},
         [](M m) {
             char t[3];
             return dgcp_body_get_string(m, 0, t, sizeof t);
         },
         AUD_ERR_INVALIDPARAMETER},
        {"text past the body",
         {'a', 0},
         [](M m) {
             char t[3];
             return dgcp_body_get_string(m, 2, t, sizeof t);
         },
         AUD_ERR_INVALIDPARAMETER},
        {"wide text without its zero",
         {0, 0, 0, 'a', 0, 0, 0, 'b', 0, 0},
         [](M m) {
             char16_t t[2];
             return dgcp_body_get_wide_string(m, 0, t, 2);
         },
         AUD_ERR_INVALIDPARAMETER},
        {"wide unit beyond 16 bits",
         {0, 1, 0, 0x61, 0, 0, 0, 0},
         [](M m) {
             char16_t t[4];
             return dgcp_body_get_wide_string(m, 0, t, 4);
         },
         AUD_ERR_INVALIDDATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const dgcp_message message = received(c.body);
        EXPECT_EQ(c.read(&message), c.expected);
    }
}

TEST(DgcpMessage, StatusNames) {
    EXPECT_STREQ(dgcp_status_name(0), "Request");
    EXPECT_STREQ(dgcp_status_name(49), "Unrecognised opcode");
    EXPECT_STREQ(dgcp_status_name(130), "Too many clients");
    EXPECT_STREQ(dgcp_status_name(3), "?");
}

}  // namespace
