#pragma once

#include <cstddef>
#include <cstdint>

// dgcp message buffers: a big-endian header (10 bytes, or 20 with the client port and id)
// followed by a body of typed items, 1472 bytes of wire data at most.
struct dgcp2_client;

enum {
    DGCP_WIRE_SIZE = 1472,
    DGCP_HEADER_TYPE_SHORT = 1,   // 10-byte header
    DGCP_HEADER_TYPE_CLIENT = 2,  // 20-byte header with the client port and id
    DGCP_HEADER_SHORT_SIZE = 10,
    DGCP_HEADER_CLIENT_SIZE = 20,
    DGCP_CLIENT_ID_SIZE = 8
};

// Message status of the header.
enum {
    DGCP_STATUS_REQUEST = 0,
    DGCP_STATUS_RESPONSE = 1,
    DGCP_STATUS_EVENT = 2,
    DGCP_STATUS_OPCODE_ERROR = 48,
    DGCP_STATUS_UNRECOGNISED_OPCODE = 49,
    DGCP_STATUS_UNSUPPORTED_OPCODE = 50,
    DGCP_STATUS_SERVER_ERROR = 128,
    DGCP_STATUS_NOT_CONNECTED = 129,
    DGCP_STATUS_TOO_MANY_CLIENTS = 130
};

// Opcodes the transport knows itself.
enum { DGCP_OPCODE_KEEPALIVE = 0, DGCP_OPCODE_CONNECT = 1, DGCP_OPCODE_DISCONNECT = 2 };

struct dgcp_message {
    dgcp2_client* owner;  // pool slots only
    unsigned index;
    bool in_use;
    unsigned generation;  // counts the allocations of a pool slot
    unsigned header_type;
    uint8_t data[DGCP_WIRE_SIZE];
};

// Clears the wire data and sets the header type (1 or 2; anything else is taken as 1).
void dgcp_message_init(dgcp_message* message, unsigned header_type);
uint8_t* dgcp_message_get_header(dgcp_message* message);
size_t dgcp_message_header_size(const dgcp_message* message);
size_t dgcp_message_body_limit(const dgcp_message* message);
// Protocol, length = header size, sequence 0, opcode, status 0.
void dgcp_header_set(dgcp_message* message, uint16_t protocol, uint16_t opcode);

uint16_t dgcp_header_get_protocol(const dgcp_message* message);
uint16_t dgcp_header_get_length(const dgcp_message* message);
uint16_t dgcp_header_get_seqnum(const dgcp_message* message);
uint16_t dgcp_header_get_opcode(const dgcp_message* message);
uint16_t dgcp_header_get_status(const dgcp_message* message);
void dgcp_header_set_length(dgcp_message* message, uint16_t length);
void dgcp_header_set_seqnum(dgcp_message* message, uint16_t seqnum);
// Client port and id of a 20-byte header; nothing for the short header.
void dgcp_header_set_client(dgcp_message* message, uint16_t port, const uint8_t* id);

// Body bytes the length field covers, within the body limit.
size_t dgcp_message_body_length(const dgcp_message* message);
const uint8_t* dgcp_message_body(const dgcp_message* message);

// "Request" .. "Too many clients"; "?" for any other value.
const char* dgcp_status_name(uint16_t status);
