// Conmon channel messages and the standard bodies, read from bytes written by the fake's own
// wire code.
#include <gtest/gtest.h>

#include <netdb.h>

#include <cerrno>
#include <string>
#include <vector>

#include "FakeConmonWire.h"
#include "conmon/conmon_body.h"
#include "conmon/conmon_control.h"
#include "conmon/conmon_message.h"
#include "conmon/conmon_resolve.h"

namespace {

using sim::conmonwire::Bytes;
namespace wire = sim::conmonwire;

// A versions reply of the given body version, written field by field.
Bytes versionsReply(uint16_t version, const std::string& model = "Solano 4-600") {
    Bytes body;
    wire::putBe16(body, version);
    wire::putBe16(body, 0x00C0);
    wire::putBe32(body, 0);
    wire::padTo(body, 16);
    for (uint8_t b : {0, 0, 0, 0, 0, 0, 1, 2}) {
        body.push_back(b);
    }
    wire::padTo(body, 32);
    wire::putBe32(body, 0x01020304);
    wire::putBe32(body, 0x05060708);
    wire::putBe32(body, 0x40000001);
    wire::padTo(body, 180);
    wire::putField(body, model, 128);
    wire::putBe32(body, 0x00030001);
    return body;
}

TEST(ConmonBody, RequestBuildersWriteBodyVersionOpcodeAndArgument) {
    conmon_body body{};
    conmon_body_init_request(&body, CONMON_BODY_VERSION_CONTROL, CONMON_BODY_VERSIONS_REQUEST,
                             1000000);
    EXPECT_EQ(Bytes(body.data, body.data + conmon_body_request_size(&body)),
              (Bytes{0x07, 0x1F, 0x00, 0xC1, 0x00, 0x0F, 0x42, 0x40}));
    conmon_body_init_request(&body, CONMON_BODY_VERSION_UPDATE, CONMON_BODY_VIREO_INFO_REQUEST,
                             1000000);
    EXPECT_EQ(Bytes(body.data, body.data + 8),
              (Bytes{0x07, 0x1A, 0x00, 0x61, 0x00, 0x0F, 0x42, 0x40}));

    conmon_body interfaces{};
    std::fill(std::begin(interfaces.data), std::end(interfaces.data), 0xAA);
    conmon_body_init_interface_request(&interfaces, CONMON_BODY_VERSION_CONTROL, 0);
    ASSERT_EQ(conmon_body_interface_request_size(&interfaces), 16u);
    EXPECT_EQ(Bytes(interfaces.data, interfaces.data + 16),
              (Bytes{0x07, 0x1F, 0x00, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    interfaces.data[8] = 3;
    interfaces.data[9] = 4;
    interfaces.data[11] = 5;
    EXPECT_EQ(conmon_body_interface_request_size(&interfaces), 5u + 3 * 4);
}

TEST(ConmonBody, VersionsFieldsFollowTheBodyVersion) {
    struct Case {
        uint16_t version;
        uint32_t capabilities;
        bool model_name;
        uint32_t model_version;
    };
    for (const Case& c : {Case{0x0704, 0x40000001, true, 0x00030001},
                          Case{0x0701, 0x40000001, true, 0}, Case{0x0700, 0x40000001, false, 0},
                          Case{0x0606, 0x40000001, false, 0}, Case{0x0605, 0, false, 0}}) {
        SCOPED_TRACE(c.version);
        const Bytes body = versionsReply(c.version);
        uint8_t id[CONMON_PRODUCT_ID_SIZE] = {};
        ASSERT_TRUE(conmon_versions_get_product_id(body.data(), body.size(), id));
        EXPECT_EQ(Bytes(id, id + 8), (Bytes{0, 0, 0, 0, 0, 0, 1, 2}));
        EXPECT_EQ(conmon_versions_get_software_version(body.data(), body.size()), 0x01020304u);
        EXPECT_EQ(conmon_versions_get_firmware_version(body.data(), body.size()), 0x05060708u);
        EXPECT_EQ(conmon_versions_get_capabilities(body.data(), body.size()), c.capabilities);
        char name[CONMON_VERSIONS_MODEL_NAME_SIZE + 1] = "unchanged";
        EXPECT_EQ(conmon_versions_get_model_name(body.data(), body.size(), name, sizeof name),
                  c.model_name);
        if (c.model_name) {
            EXPECT_STREQ(name, "Solano 4-600");
        }
        EXPECT_EQ(conmon_versions_get_model_version(body.data(), body.size()), c.model_version);
    }
    const Bytes empty_name = versionsReply(0x0704, "");
    char name[CONMON_VERSIONS_MODEL_NAME_SIZE + 1];
    EXPECT_FALSE(
        conmon_versions_get_model_name(empty_name.data(), empty_name.size(), name, sizeof name));
}

TEST(ConmonBody, FieldsPastTheBodyAreAbsentAndTextsEndAtIt) {
    const Bytes full = versionsReply(0x0704, std::string(128, 'M'));
    struct Case {
        size_t size;
        bool product_id;
        uint32_t firmware;
        uint32_t capabilities;
        std::string model_name;  // empty: none
        uint32_t model_version;
    };
    for (const Case& c :
         {Case{20, false, 0, 0, "", 0}, Case{39, true, 0, 0, "", 0},
          Case{40, true, 0x05060708, 0, "", 0}, Case{44, true, 0x05060708, 0x40000001, "", 0},
          Case{185, true, 0x05060708, 0x40000001, "MMMMM", 0},
          Case{311, true, 0x05060708, 0x40000001, std::string(128, 'M'), 0},
          Case{312, true, 0x05060708, 0x40000001, std::string(128, 'M'), 0x00030001}}) {
        SCOPED_TRACE(c.size);
        const uint8_t* b = full.data();
        uint8_t id[8];
        EXPECT_EQ(conmon_versions_get_product_id(b, c.size, id), c.product_id);
        EXPECT_EQ(conmon_versions_get_firmware_version(b, c.size), c.firmware);
        EXPECT_EQ(conmon_versions_get_capabilities(b, c.size), c.capabilities);
        char name[CONMON_VERSIONS_MODEL_NAME_SIZE + 1] = "";
        const bool has_name = conmon_versions_get_model_name(b, c.size, name, sizeof name);
        EXPECT_EQ(has_name, !c.model_name.empty());
        if (has_name) {
            EXPECT_EQ(std::string(name), c.model_name);
        }
        EXPECT_EQ(conmon_versions_get_model_version(b, c.size), c.model_version);
    }

    Bytes info = {0x07, 0x04, 0x00, 0x60};
    wire::padTo(info, 20);
    for (char ch : std::string("Solano-A")) {
        info.push_back(uint8_t(ch));  // no terminator: the text ends with the body
    }
    char text[64];
    ASSERT_TRUE(conmon_vireo_info_get_text(info.data(), info.size(), text, sizeof text));
    EXPECT_STREQ(text, "Solano-A");
    ASSERT_TRUE(conmon_vireo_info_get_text(info.data(), info.size(), text, 5));
    EXPECT_STREQ(text, "Sola");
    EXPECT_FALSE(conmon_vireo_info_get_text(info.data(), 19, text, sizeof text));

    uint16_t version = 0;
    uint16_t opcode = 0;
    EXPECT_FALSE(conmon_body_get_kind(info.data(), 3, &version, &opcode));
    ASSERT_TRUE(conmon_body_get_kind(info.data(), 4, &version, &opcode));
    EXPECT_EQ(version, 0x0704);
    EXPECT_EQ(opcode, 0x0060);
}

TEST(ConmonBody, InterfaceRecordsExistBelowTheCountAndInsideTheBody) {
    Bytes body = {0x07, 0x04, 0x00, 0x11, 0, 0, 0, 0};
    wire::putBe16(body, 2);  // two announced, one present
    wire::putBe16(body, 0);
    wire::padTo(body, 12 + 6);
    for (uint8_t b : {0x00, 0x1d, 0xc1, 0x12, 0x34, 0x56}) {
        body.push_back(b);
    }
    wire::padTo(body, 12 + 28);
    EXPECT_EQ(conmon_body_interface_count(body.data(), body.size()), 2);
    const uint8_t* record = conmon_body_interface_at(body.data(), body.size(), 0);
    ASSERT_NE(record, nullptr);
    uint8_t mac[CONMON_MAC_SIZE];
    conmon_interface_get_mac(record, mac);
    EXPECT_EQ(Bytes(mac, mac + 6), (Bytes{0x00, 0x1d, 0xc1, 0x12, 0x34, 0x56}));
    EXPECT_EQ(conmon_body_interface_at(body.data(), body.size(), 1), nullptr);
    EXPECT_EQ(conmon_body_interface_at(body.data(), body.size() - 1, 0), nullptr);
    body[9] = 1;
    EXPECT_EQ(conmon_body_interface_at(body.data(), body.size(), 1), nullptr);
    EXPECT_EQ(conmon_body_interface_count(body.data(), 9), 0);
}

TEST(ConmonMessage, HeaderLengthMustLieBetween24And1472AndWithinTheDatagram) {
    wire::ChannelMessage message;
    message.type = 0xFFFF;
    message.sequence = 7;
    message.process_id = 0x1234;
    message.device_id = {1, 2, 3, 4, 5, 6, 7, 8};
    message.vendor_id = wire::kOvaltaVendor;
    message.body = {'A', 'C', 'K', 0};
    Bytes bytes = wire::channel(message);
    bytes.push_back(0xEE);  // trailing bytes beyond the length are not the message's

    conmon_message read{};
    ASSERT_EQ(conmon_message_read(bytes.data(), bytes.size(), &read), AUD_SUCCESS);
    EXPECT_EQ(read.type, 0xFFFF);
    EXPECT_EQ(conmon_message_get_body_size(&read), 4u);
    EXPECT_EQ(Bytes(read.body, read.body + 4), message.body);
    conmon_instance_id id{};
    conmon_message_get_source_instance_id(&read, &id);
    const conmon_instance_id expected = {{1, 2, 3, 4, 5, 6, 7, 8}, 0x1234};
    EXPECT_TRUE(conmon_instance_id_equal(&id, &expected));
    EXPECT_FALSE(conmon_message_has_vendor_id(&read, CONMON_VENDOR_ID_STANDARD));

    for (uint16_t length : {0, 10, 23, 30, 1473, 0xFFFF}) {
        Bytes bad = bytes;
        bad[2] = uint8_t(length >> 8);
        bad[3] = uint8_t(length);
        EXPECT_EQ(conmon_message_read(bad.data(), bad.size(), &read), AUD_ERR_INVALIDDATA)
            << length;
    }
    EXPECT_EQ(conmon_message_read(bytes.data(), 23, &read), AUD_ERR_INVALIDDATA);
    Bytes largest(1472, 0);
    largest[2] = 1472 >> 8;
    largest[3] = 1472 & 0xFF;
    ASSERT_EQ(conmon_message_read(largest.data(), largest.size(), &read), AUD_SUCCESS);
    EXPECT_EQ(conmon_message_get_body_size(&read), 1448u);
}

TEST(ConmonControl, StatusesNameAndMapToResults) {
    const aud_error_t results[] = {0, 0, 0, 15, 4, 4, 4, 4, 2, 9, 10, 5, 35, 11, 2};
    for (unsigned status = 0; status < 15; ++status) {
        EXPECT_EQ(conmon_control_status_result(status), results[status]) << status;
    }
    EXPECT_STREQ(conmon_control_status_name(3), "Invalid version");
    EXPECT_STREQ(conmon_control_status_name(13), "Not Found");
    EXPECT_STREQ(conmon_control_status_name(14), "???");
}

TEST(ConmonResolve, AddressInfoFailuresMapToResults) {
    struct Case {
        int code;
        aud_error_t result;
    };
    for (const Case& c : {Case{EAI_MEMORY, 6}, Case{EAI_BADFLAGS, 3}, Case{EAI_SOCKTYPE, 9},
                          Case{EAI_FAMILY, 9}, Case{EAI_SERVICE, 11}, Case{EAI_NONAME, 36},
                          Case{EAI_AGAIN, 47}, Case{EAI_FAIL, 26}, Case{EAI_OVERFLOW, 2}}) {
        EXPECT_EQ(conmon_error_from_addrinfo(c.code, 0), c.result) << c.code;
    }
    EXPECT_EQ(conmon_error_from_addrinfo(EAI_SYSTEM, ENOMEM), AUD_ERR_NOMEMORY);
    aud_sockaddr address{};
    ASSERT_EQ(conmon_resolve("127.0.0.1", "8900", &address), AUD_SUCCESS);
    EXPECT_EQ(aud_sockaddr_get_port(&address), 8900);
    EXPECT_EQ(conmon_resolve("127.0.0.1", "no-such-service-here", &address), AUD_ERR_NOTFOUND);
}

}  // namespace
