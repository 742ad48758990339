// A received datagram: validation, then events to their handlers and responses to the
// requests they answer.
#include "conmon/conmon_client_internal.h"

namespace {

const char kProcessMessage[] = "conmon_client_process_message";

// 0, or the status that refuses the datagram.
unsigned validate(const uint8_t* data, size_t size, conmon_control* message) {
    if (!conmon_control_read(data, size, message)) {
        return CONMON_STATUS_INVALID_SIZE;
    }
    const conmon_control_header& header = message->header;
    if (header.version < CONMON_CONTROL_VERSION_MIN ||
        header.version > CONMON_CONTROL_VERSION_MAX) {
        return CONMON_STATUS_INVALID_VERSION;
    }
    if (header.length != size) {
        return CONMON_STATUS_INVALID_SIZE;
    }
    if (header.status > CONMON_STATUS_EVENT) {
        return 0;
    }
    const conmon_opcode_info* row = conmon_opcode_find(header.opcode);
    if (!row) {
        return CONMON_STATUS_NOT_SUPPORTED;
    }
    return row->validate ? row->validate(message) : 0;
}

conmon_request_entry* match(conmon_client* client, uint16_t sequence) {
    if (client->connect_request.busy && client->connect_request.sequence == sequence) {
        return &client->connect_request;
    }
    for (size_t i = 0; client->requests && i < client->max_requests; ++i) {
        conmon_request_entry& entry = client->requests[i];
        if (entry.busy && entry.sequence == sequence) {
            return &entry;
        }
    }
    return nullptr;
}

void handleResponse(conmon_client* client, const conmon_control* message) {
    const conmon_control_header& header = message->header;
    conmon_request_entry* entry = match(client, header.sequence);
    if (!entry) {
        conmon_client_log(client, AUD_LOG_INFO,
                          "%s: Unhandled response seqnum=0x%04x opcode=0x%04x", kProcessMessage,
                          unsigned{header.sequence}, unsigned{header.opcode});
        return;
    }
    // A Connect answer is judged by its own handler, and NULL may end the connect entry.
    const bool connect_entry = entry == &client->connect_request;
    const bool expected = header.opcode == entry->opcode ||
                          header.opcode == CONMON_OPCODE_CONNECT ||
                          (connect_entry && header.opcode == CONMON_OPCODE_NULL);
    if (!expected) {
        conmon_client_log(client, AUD_LOG_WARNING,
                          "%s: Response seqnum=0x%04x has opcode 0x%04x, expected 0x%04x",
                          kProcessMessage, unsigned{header.sequence}, unsigned{header.opcode},
                          unsigned{entry->opcode});
        conmon_client_complete(client, entry, AUD_ERR_INVALIDDATA);
        return;
    }
    const conmon_opcode_info* row = conmon_opcode_find(header.opcode);
    if (row && row->on_response) {
        row->on_response(client, message, entry);
    } else {
        conmon_client_complete(client, entry, conmon_control_status_result(header.status));
    }
}

}  // namespace

aud_error_t conmon_client_handle_datagram(conmon_client* client, const uint8_t* data, size_t size) {
    conmon_control message{};
    const unsigned status = validate(data, size, &message);
    if (status != 0) {
        conmon_client_log(client, AUD_LOG_ERROR, "%s: Error validating: %s!", kProcessMessage,
                          conmon_control_status_name(status));
        return AUD_ERR_INVALIDDATA;
    }
    switch (message.header.status) {
        case CONMON_STATUS_EVENT: {
            const conmon_opcode_info* row = conmon_opcode_find(message.header.opcode);
            if (row && row->on_event) {
                row->on_event(client, &message);
            }
            break;
        }
        case CONMON_STATUS_REQUEST:
            break;  // the server sends no requests
        default:
            handleResponse(client, &message);
            break;
    }
    return AUD_SUCCESS;
}
