#pragma once

#include <cstddef>
#include <cstdint>

#include "conmon/conmon_writer.h"
#include "platform/aud_error.h"

// Control messages between a conmon client and its server on the same host, in host order:
// version, length, sequence number, opcode, status (low 12 bits) and flags (high 4 bits),
// then the body from offset 10.
enum {
    CONMON_CONTROL_HEAD_SIZE = 10,
    CONMON_CONTROL_BUFFER_SIZE = 6940,
    CONMON_CONTROL_VERSION_MIN = 0x1000,
    CONMON_CONTROL_VERSION_MAX = 0x1FFF,
    CONMON_PROTOCOL_VERSION = 0x1500,
    CONMON_CONTROL_FLAGS_NO_RESPONSE = 0xF,
    CONMON_NAME_SIZE = 32,
    CONMON_DOMAIN_NAME_SIZE = 256
};

enum conmon_control_status {
    CONMON_STATUS_REQUEST = 0,
    CONMON_STATUS_RESPONSE = 1,
    CONMON_STATUS_EVENT = 2,
    CONMON_STATUS_INVALID_VERSION = 3,
    CONMON_STATUS_INVALID_SIZE = 4,
    CONMON_STATUS_INVALID_OPCODE = 5,
    CONMON_STATUS_INVALID_STATUS = 6,
    CONMON_STATUS_INVALID_DATA = 7,
    CONMON_STATUS_INTERNAL_ERROR = 8,
    CONMON_STATUS_NOT_SUPPORTED = 9,
    CONMON_STATUS_TIMEOUT = 10,
    CONMON_STATUS_INVALID_STATE = 11,
    CONMON_STATUS_NO_BUFFERS = 12,
    CONMON_STATUS_NOT_FOUND = 13
};

enum conmon_control_opcode {
    CONMON_OPCODE_NULL = 0x000,
    CONMON_OPCODE_CONNECT = 0x100,
    CONMON_OPCODE_DISCONNECT = 0x101,
    CONMON_OPCODE_SET_DEVICE_NAME = 0x200,
    CONMON_OPCODE_SET_REMOTE_CONTROL_ALLOWED = 0x210,
    CONMON_OPCODE_REGISTER = 0x300,
    CONMON_OPCODE_DEREGISTER = 0x301,
    CONMON_OPCODE_SUBSCRIBE = 0x310,
    CONMON_OPCODE_UNSUBSCRIBE = 0x311,
    CONMON_OPCODE_ENABLE_TX_METERING = 0x320,
    CONMON_OPCODE_DISABLE_TX_METERING = 0x321,
    CONMON_OPCODE_SEND_MESSAGE = 0x400,
    CONMON_OPCODE_NETWORKS_CHANGED = 0x500,
    CONMON_OPCODE_DEVICE_NAME_CHANGED = 0x501,
    CONMON_OPCODE_DNS_DOMAIN_NAME_CHANGED = 0x502,
    CONMON_OPCODE_CHANNEL_MESSAGE = 0x510,
    CONMON_OPCODE_NAMED_CHANNEL_MESSAGE = 0x511,
    CONMON_OPCODE_LEGACY_METERING_ADDRESSES = 0x520,
    CONMON_OPCODE_SUBSCRIPTIONS_CHANGED = 0x521
};

struct conmon_control_header {
    uint16_t version;
    uint16_t length;
    uint16_t sequence;
    uint16_t opcode;
    uint16_t status;
    uint16_t flags;
};

// A received control message: its header and the whole datagram.
struct conmon_control {
    conmon_control_header header;
    const uint8_t* data;
    size_t size;
};

// "Request" .. "Not Found"; "???" for another value.
const char* conmon_control_status_name(unsigned status);
// The result a completed request gets for a response status.
aud_error_t conmon_control_status_result(unsigned status);

// Decodes the header; false when fewer than 10 bytes.
bool conmon_control_read(const uint8_t* data, size_t size, conmon_control* message);

// Fields at offsets of the whole message; false (nothing read) when not wholly inside.
bool conmon_control_u16(const conmon_control* message, size_t offset, uint16_t* value);
bool conmon_control_u32(const conmon_control* message, size_t offset, uint32_t* value);
const uint8_t* conmon_control_field(const conmon_control* message, size_t offset, size_t n);
// The text of a field of field_size bytes at offset, up to its first zero, into out
// (field_size + 1 bytes, always terminated); false when the field is not wholly inside.
bool conmon_control_text(const conmon_control* message, size_t offset, size_t field_size,
                         char* out);
// Whether a zero byte comes within max bytes from offset (and inside the message); *length
// (may be null) is then the text's length.
bool conmon_control_terminated(const conmon_control* message, size_t offset, size_t max,
                               size_t* length);

// Starts a message in writer: the header with length 0, status 0 and the given flags.
void conmon_control_begin(conmon_writer* writer, uint16_t version, uint16_t sequence,
                          uint16_t opcode, uint16_t flags);
void conmon_control_set_sequence(conmon_writer* writer, uint16_t sequence);
void conmon_control_set_flags(conmon_writer* writer, uint16_t flags);
// Writes the length field; the message's size, or 0 when the writer failed or the message
// exceeds the length field.
size_t conmon_control_finish(conmon_writer* writer);
