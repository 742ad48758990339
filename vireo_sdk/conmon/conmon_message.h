#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aud_error.h"

// Conmon channel messages: a 24-byte header in network order, then the body.
enum {
    CONMON_MESSAGE_HEAD_SIZE = 24,
    CONMON_MESSAGE_MAX_BODY_SIZE = 1448,
    CONMON_MESSAGE_MAX_SIZE = CONMON_MESSAGE_HEAD_SIZE + CONMON_MESSAGE_MAX_BODY_SIZE,
    CONMON_DEVICE_ID_SIZE = 8,
    CONMON_VENDOR_ID_SIZE = 8
};

// A sender: its device id and its process id (a number in its message's own byte order).
struct conmon_instance_id {
    uint8_t device_id[CONMON_DEVICE_ID_SIZE];
    uint16_t process_id;
};

bool conmon_instance_id_equal(const conmon_instance_id* a, const conmon_instance_id* b);
bool conmon_instance_id_is_zero(const conmon_instance_id* id);

// The standard vendor id "Sonavent" (8 bytes, no terminator).
extern const uint8_t CONMON_VENDOR_ID_STANDARD[CONMON_VENDOR_ID_SIZE];

// A received message, decoded from its datagram; body points into that datagram.
struct conmon_message {
    uint16_t type;
    uint16_t length;
    uint16_t sequence;
    uint16_t process_id;
    uint8_t device_id[CONMON_DEVICE_ID_SIZE];
    uint8_t vendor_id[CONMON_VENDOR_ID_SIZE];
    const uint8_t* body;
};

// Decodes the message at the start of data: 4 (nothing decoded) when fewer than 24 bytes, or
// its length field is below 24, above 1472 or past size.
aud_error_t conmon_message_read(const uint8_t* data, size_t size, conmon_message* message);

// The length field minus 24.
size_t conmon_message_get_body_size(const conmon_message* message);
void conmon_message_get_source_instance_id(const conmon_message* message, conmon_instance_id* id);
bool conmon_message_has_vendor_id(const conmon_message* message,
                                  const uint8_t vendor_id[CONMON_VENDOR_ID_SIZE]);

// Channel types, each with one bit in a client's channel mask.
enum conmon_channel_type {
    CONMON_CHANNEL_TYPE_CONTROL = 0,
    CONMON_CHANNEL_TYPE_METERING = 1,
    CONMON_CHANNEL_TYPE_STATUS = 2,
    CONMON_CHANNEL_TYPE_BROADCAST = 3,
    CONMON_CHANNEL_TYPE_LOCAL = 4,
    CONMON_CHANNEL_TYPE_SERIAL = 5,
    CONMON_CHANNEL_TYPE_KEEPALIVE = 6,
    CONMON_CHANNEL_TYPE_VENDOR_BROADCAST = 7,
    CONMON_CHANNEL_TYPE_MONITORING = 8,
    CONMON_NUM_CHANNEL_TYPES = 9
};

enum {
    // Types 0, 2, 3, 4, 6 and 8: all served through the server.
    CONMON_CHANNEL_MASK_DEFAULT = 0x15D,
    // Types 1, 5 and 7, which would need sockets of their own.
    CONMON_CHANNEL_MASK_SOCKETS = 0xA2
};

// "control" .. "monitoring"; "???" for another value.
const char* conmon_channel_type_name(unsigned type);
