#include "dgcp2/dgcp_message.h"

#include <cstring>

namespace {

enum { kProtocol = 0, kLength = 2, kSeqnum = 4, kOpcode = 6, kStatus = 8, kPort = 10, kId = 12 };

uint16_t get16(const dgcp_message* message, size_t at) {
    return static_cast<uint16_t>((message->data[at] << 8) | message->data[at + 1]);
}

void set16(dgcp_message* message, size_t at, uint16_t value) {
    message->data[at] = static_cast<uint8_t>(value >> 8);
    message->data[at + 1] = static_cast<uint8_t>(value);
}

struct StatusName {
    uint16_t value;
    const char* name;
};

const StatusName kStatusNames[] = {{DGCP_STATUS_REQUEST, "Request"},
                                   {DGCP_STATUS_RESPONSE, "Response"},
                                   {DGCP_STATUS_EVENT, "Event"},
                                   {DGCP_STATUS_OPCODE_ERROR, "Opcode error"},
                                   {DGCP_STATUS_UNRECOGNISED_OPCODE, "Unrecognised opcode"},
                                   {DGCP_STATUS_UNSUPPORTED_OPCODE, "Unsupported opcode"},
                                   {DGCP_STATUS_SERVER_ERROR, "Server error"},
                                   {DGCP_STATUS_NOT_CONNECTED, "Not connected"},
                                   {DGCP_STATUS_TOO_MANY_CLIENTS, "Too many clients"}};

}  // namespace

void dgcp_message_init(dgcp_message* message, unsigned header_type) {
    std::memset(message->data, 0, sizeof message->data);
    message->header_type =
        header_type == DGCP_HEADER_TYPE_CLIENT ? DGCP_HEADER_TYPE_CLIENT : DGCP_HEADER_TYPE_SHORT;
}

uint8_t* dgcp_message_get_header(dgcp_message* message) {
    return message->data;
}

size_t dgcp_message_header_size(const dgcp_message* message) {
    return message->header_type == DGCP_HEADER_TYPE_CLIENT ? DGCP_HEADER_CLIENT_SIZE
                                                           : DGCP_HEADER_SHORT_SIZE;
}

size_t dgcp_message_body_limit(const dgcp_message* message) {
    return DGCP_WIRE_SIZE - dgcp_message_header_size(message);
}

void dgcp_header_set(dgcp_message* message, uint16_t protocol, uint16_t opcode) {
    set16(message, kProtocol, protocol);
    set16(message, kLength, static_cast<uint16_t>(dgcp_message_header_size(message)));
    set16(message, kSeqnum, 0);
    set16(message, kOpcode, opcode);
    set16(message, kStatus, DGCP_STATUS_REQUEST);
}

uint16_t dgcp_header_get_protocol(const dgcp_message* message) {
    return get16(message, kProtocol);
}

uint16_t dgcp_header_get_length(const dgcp_message* message) {
    return get16(message, kLength);
}

uint16_t dgcp_header_get_seqnum(const dgcp_message* message) {
    return get16(message, kSeqnum);
}

uint16_t dgcp_header_get_opcode(const dgcp_message* message) {
    return get16(message, kOpcode);
}

uint16_t dgcp_header_get_status(const dgcp_message* message) {
    return get16(message, kStatus);
}

void dgcp_header_set_length(dgcp_message* message, uint16_t length) {
    set16(message, kLength, length);
}

void dgcp_header_set_seqnum(dgcp_message* message, uint16_t seqnum) {
    set16(message, kSeqnum, seqnum);
}

void dgcp_header_set_client(dgcp_message* message, uint16_t port, const uint8_t* id) {
    if (message->header_type != DGCP_HEADER_TYPE_CLIENT) {
        return;
    }
    set16(message, kPort, port);
    std::memcpy(message->data + kId, id, DGCP_CLIENT_ID_SIZE);
}

size_t dgcp_message_body_length(const dgcp_message* message) {
    const size_t length = dgcp_header_get_length(message);
    const size_t header = dgcp_message_header_size(message);
    if (length <= header) {
        return 0;
    }
    const size_t body = length - header;
    return body < dgcp_message_body_limit(message) ? body : dgcp_message_body_limit(message);
}

const uint8_t* dgcp_message_body(const dgcp_message* message) {
    return message->data + dgcp_message_header_size(message);
}

const char* dgcp_status_name(uint16_t status) {
    for (const StatusName& entry : kStatusNames) {
        if (entry.value == status) {
            return entry.name;
        }
    }
    return "?";
}
