#pragma once

#include <cstddef>
#include <cstdint>

#include "conmon/conmon_message.h"

// The standard request and reply bodies of conmon messages (network order). Readers take the
// body size: a field not wholly inside the body is absent (false, null, 0 or empty), and texts
// end at the body's end at the latest.

enum {
    CONMON_BODY_VERSION_CONTROL = 0x071F,  // written by the control application
    CONMON_BODY_VERSION_UPDATE = 0x071A    // written by the update utility
};

enum conmon_body_opcode {
    CONMON_BODY_INTERFACE_REPLY = 0x0011,
    CONMON_BODY_INTERFACE_REQUEST = 0x0013,
    CONMON_BODY_VIREO_INFO_REPLY = 0x0060,
    CONMON_BODY_VIREO_INFO_REQUEST = 0x0061,
    CONMON_BODY_VERSIONS_REPLY = 0x00C0,
    CONMON_BODY_VERSIONS_REQUEST = 0x00C1
};

enum {
    CONMON_BODY_REQUEST_SIZE = 8,
    CONMON_BODY_INTERFACE_REQUEST_SIZE = 16,
    CONMON_BODY_KIND_SIZE = 4,  // body version and opcode
    // The fixed fields a reply needs to be read at all.
    CONMON_INTERFACE_REPLY_MIN_SIZE = 10,
    CONMON_VIREO_INFO_REPLY_MIN_SIZE = 20,
    CONMON_VERSIONS_REPLY_MIN_SIZE = 40,
    CONMON_INTERFACE_RECORD_SIZE = 28,
    CONMON_MAC_SIZE = 6,
    CONMON_PRODUCT_ID_SIZE = 8,
    CONMON_VERSIONS_MODEL_NAME_SIZE = 128
};

// Room for the largest body.
struct conmon_body {
    uint8_t data[CONMON_MESSAGE_MAX_BODY_SIZE];
};

// u16 body version, u16 opcode, u32 argument.
void conmon_body_init_request(conmon_body* body, uint16_t body_version, uint16_t opcode,
                              uint32_t argument);
size_t conmon_body_request_size(const conmon_body* body);
// The interface request (opcode 0x0013): a request and 8 zero bytes.
void conmon_body_init_interface_request(conmon_body* body, uint16_t body_version,
                                        uint32_t argument);
// 16 when byte 11 is 0, else byte 11 + byte 8 * byte 9.
size_t conmon_body_interface_request_size(const conmon_body* body);

// Body version (u16 at 0) and opcode (u16 at 2); false when the body is under 4 bytes.
bool conmon_body_get_kind(const uint8_t* body, size_t size, uint16_t* version, uint16_t* opcode);

// Interface reply: the count at 8 (0 when absent); record i (28 bytes from 12) when i is below
// the count and the record lies wholly inside the body, else null.
uint16_t conmon_body_interface_count(const uint8_t* body, size_t size);
const uint8_t* conmon_body_interface_at(const uint8_t* body, size_t size, unsigned i);
// The 6 bytes at 6 of a record from conmon_body_interface_at.
void conmon_interface_get_mac(const uint8_t* record, uint8_t mac[CONMON_MAC_SIZE]);

// Vireo information reply: the text from 20 into out (always terminated); false when absent.
bool conmon_vireo_info_get_text(const uint8_t* body, size_t size, char* out, size_t out_size);

// Versions reply.
bool conmon_versions_get_product_id(const uint8_t* body, size_t size,
                                    uint8_t id[CONMON_PRODUCT_ID_SIZE]);
uint32_t conmon_versions_get_software_version(const uint8_t* body, size_t size);
uint32_t conmon_versions_get_firmware_version(const uint8_t* body, size_t size);
// 0 unless the body version is above 0x0605.
uint32_t conmon_versions_get_capabilities(const uint8_t* body, size_t size);
// The text at 180 (at most 128 bytes) when the body version is above 0x0700; false (none)
// when older, absent or empty.
bool conmon_versions_get_model_name(const uint8_t* body, size_t size, char* out, size_t out_size);
// 0 unless the body version is 0x0704 or more.
uint32_t conmon_versions_get_model_version(const uint8_t* body, size_t size);
