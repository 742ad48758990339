// Sending requests: the request table, sequence numbers and the operations that send.
#include <cstring>

#include "conmon/conmon_client.h"
#include "conmon/conmon_client_internal.h"

namespace {

uint16_t nextSequence(conmon_client* client) {
    if (++client->sequence == 0) {
        client->sequence = 1;
    }
    return client->sequence;
}

conmon_request_entry* takeEntry(conmon_client* client) {
    if (!client->requests) {
        return nullptr;
    }
    for (size_t n = 0; n < client->max_requests; ++n) {
        const size_t i = (client->search_position + n) % client->max_requests;
        if (!client->requests[i].busy) {
            client->search_position = (i + 1) % client->max_requests;
            return &client->requests[i];
        }
    }
    return nullptr;
}

// Numbers, finishes and sends the message in writer; entry (may be null) tracks it.
aud_error_t transmit(conmon_client* client, conmon_writer* writer, conmon_request_entry* entry) {
    const uint16_t sequence = nextSequence(client);
    conmon_control_set_sequence(writer, sequence);
    if (!entry && (client->server_flags & 1)) {
        conmon_control_set_flags(writer, CONMON_CONTROL_FLAGS_NO_RESPONSE);
    }
    size_t size = conmon_control_finish(writer);
    if (size == 0) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const aud_error_t result = aud_socket_send(client->socket, writer->data, &size);
    if (result != AUD_SUCCESS) {
        return result;
    }
    if (entry) {
        conmon_control message{};
        conmon_control_read(writer->data, size, &message);
        entry->busy = true;
        entry->sequence = sequence;
        entry->opcode = message.header.opcode;
    }
    return AUD_SUCCESS;
}

}  // namespace

conmon_client_request_id conmon_client_next_request_id(conmon_client* client) {
    if (++client->last_request_id == 0) {
        client->last_request_id = 1;
    }
    return client->last_request_id;
}

void conmon_client_begin(conmon_client* client, conmon_writer* writer, uint16_t opcode) {
    conmon_writer_init(writer, client->send_buffer, sizeof client->send_buffer);
    conmon_control_begin(writer, client->version, 0, opcode, 0);
}

aud_error_t conmon_client_send_request(conmon_client* client, conmon_writer* writer,
                                       conmon_client_response_fn* callback,
                                       conmon_client_request_id* request) {
    if (client->state == CONMON_CLIENT_NO_CONNECTION || client->socket == AUD_SOCKET_INVALID) {
        return AUD_ERR_NOTCONN;
    }
    conmon_request_entry* entry = nullptr;
    if (callback || request) {
        entry = takeEntry(client);
        if (!entry) {
            return AUD_ERR_NOBUFS;
        }
    }
    const aud_error_t result = transmit(client, writer, entry);
    if (result != AUD_SUCCESS || !entry) {
        return result;
    }
    entry->id = conmon_client_next_request_id(client);
    entry->callback = callback;
    ++client->busy_count;
    if (request) {
        *request = entry->id;
    }
    return AUD_SUCCESS;
}

aud_error_t conmon_client_send_connect(conmon_client* client, conmon_client_response_fn* callback,
                                       conmon_client_request_id id) {
    if (client->connect_request.busy) {
        return AUD_ERR_INVALIDSTATE;
    }
    conmon_writer writer;
    conmon_client_begin(client, &writer, CONMON_OPCODE_CONNECT);
    if (client->version < 0x1400) {
        conmon_writer_bytes(&writer, client->config.name, std::strlen(client->config.name) + 1);
    } else {
        conmon_writer_padded(&writer, client->config.name, CONMON_NAME_SIZE);
        conmon_writer_u16_host(&writer, 0);  // no keepalive
    }
    const aud_error_t result = transmit(client, &writer, &client->connect_request);
    if (result == AUD_SUCCESS) {
        client->connect_request.id = id;
        client->connect_request.callback = callback;
    }
    return result;
}

aud_error_t conmon_client_send_keepalive(conmon_client* client) {
    conmon_client_release(client, &client->connect_request);
    conmon_writer writer;
    conmon_client_begin(client, &writer, CONMON_OPCODE_NULL);
    return transmit(client, &writer, &client->connect_request);
}

void conmon_client_release(conmon_client* client, conmon_request_entry* entry) {
    if (!entry->busy) {
        return;
    }
    *entry = conmon_request_entry{};
    if (entry != &client->connect_request && client->busy_count > 0) {
        --client->busy_count;
    }
}

void conmon_client_complete(conmon_client* client, conmon_request_entry* entry,
                            aud_error_t result) {
    const conmon_request_entry done = *entry;
    conmon_client_release(client, entry);
    if (done.callback) {
        done.callback(client, done.id, result);
    }
}

aud_error_t conmon_client_cancel_request(conmon_client* client, conmon_client_request_id request) {
    if (!client || request == 0) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (client->connect_request.busy && client->connect_request.id == request) {
        conmon_client_release(client, &client->connect_request);
        return AUD_SUCCESS;
    }
    for (size_t i = 0; client->requests && i < client->max_requests; ++i) {
        if (client->requests[i].busy && client->requests[i].id == request) {
            conmon_client_release(client, &client->requests[i]);
            return AUD_SUCCESS;
        }
    }
    return AUD_ERR_NOTFOUND;
}

aud_error_t conmon_client_register_monitoring_messages(conmon_client* client,
                                                       conmon_client_response_fn* callback,
                                                       conmon_client_request_id* request,
                                                       unsigned channel_type, unsigned direction,
                                                       conmon_client_message_fn* handler) {
    static const char* const kName = "conmon_client_register_monitoring_messages";
    if (!client) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    conmon_client_log(client, AUD_LOG_DEBUG, "%s: starting", kName);
    if (channel_type >= CONMON_NUM_CHANNEL_TYPES ||
        !(client->config.channel_mask & (1u << channel_type))) {
        conmon_client_log(client, AUD_LOG_ERROR, "%s: not initialised", kName);
        return AUD_ERR_NOTINITIALISED;
    }
    if (direction > 1) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    client->handlers[channel_type][direction] = handler;
    conmon_writer writer;
    conmon_client_begin(client, &writer,
                        handler ? CONMON_OPCODE_REGISTER : CONMON_OPCODE_DEREGISTER);
    conmon_writer_u16_host(&writer, static_cast<uint16_t>(channel_type));
    conmon_writer_u16_host(&writer, static_cast<uint16_t>(direction));
    if (client->version >= 0x1100) {
        conmon_writer_u16_host(&writer, 0);  // only the metering channel has a port
    }
    const aud_error_t result = conmon_client_send_request(client, &writer, callback, request);
    if (result == AUD_SUCCESS) {
        conmon_client_log(client, AUD_LOG_DEBUG, "%s: finished", kName);
    } else {
        conmon_client_log(client, AUD_LOG_ERROR, "%s: error sending message: %s", kName,
                          aud_error_message(result, nullptr));
    }
    return result;
}

aud_error_t conmon_client_subscribe_global(conmon_client* client,
                                           conmon_client_response_fn* callback,
                                           conmon_client_request_id* request,
                                           unsigned channel_type) {
    if (!client || channel_type < 1 || channel_type >= CONMON_NUM_CHANNEL_TYPES) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    conmon_writer writer;
    conmon_client_begin(client, &writer, CONMON_OPCODE_SUBSCRIBE);
    conmon_writer_u16_host(&writer, static_cast<uint16_t>(channel_type));
    if (client->version >= 0x1100) {
        conmon_writer_u16_host(&writer, 0);
    }
    conmon_writer_zeros(&writer, 10);
    conmon_writer_zeros(&writer, 1);  // a global subscription names no device: its terminator
    const aud_error_t result = conmon_client_send_request(client, &writer, callback, request);
    if (result == AUD_SUCCESS) {
        client->subscribed[channel_type] = true;
    }
    return result;
}

aud_error_t conmon_client_send_control_message(
    conmon_client* client, conmon_client_response_fn* callback, conmon_client_request_id* request,
    const char* device_name, uint16_t message_type, const uint8_t vendor_id[CONMON_VENDOR_ID_SIZE],
    const uint8_t* body, size_t length, const conmon_instance_id* instance_id) {
    if (!client || !device_name || !vendor_id || (!body && length > 0) ||
        length > CONMON_MESSAGE_MAX_BODY_SIZE ||
        strnlen(device_name, CONMON_NAME_SIZE) >= CONMON_NAME_SIZE) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (std::memcmp(vendor_id, CONMON_VENDOR_ID_STANDARD, CONMON_VENDOR_ID_SIZE) == 0 &&
        length < 8) {
        conmon_client_log(client, AUD_LOG_ERROR, "%s: message (body) size too small %u\n",
                          "conmon_client_send_control_message", unsigned(length));
        return AUD_ERR_MSGSIZE;
    }
    const conmon_instance_id none{};
    conmon_writer writer;
    conmon_client_begin(client, &writer, CONMON_OPCODE_SEND_MESSAGE);
    conmon_writer_u16_host(&writer, CONMON_CHANNEL_TYPE_CONTROL);
    conmon_writer_bytes(&writer, (instance_id ? instance_id : &none)->device_id,
                        CONMON_DEVICE_ID_SIZE);
    conmon_writer_padded(&writer, device_name, CONMON_NAME_SIZE);
    // The conmon message: the server fills in the sequence number and the source.
    conmon_writer_u16be(&writer, message_type);
    conmon_writer_u16be(&writer, static_cast<uint16_t>(CONMON_MESSAGE_HEAD_SIZE + length));
    conmon_writer_zeros(&writer, 2 + 2 + CONMON_DEVICE_ID_SIZE);
    conmon_writer_bytes(&writer, vendor_id, CONMON_VENDOR_ID_SIZE);
    conmon_writer_bytes(&writer, body, length);
    return conmon_client_send_request(client, &writer, callback, request);
}
