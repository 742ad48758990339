#include <cstdlib>
#include <cstring>

#include "dgcp2/dgcp2_client_internal.h"

namespace {

void monotonic(void*, aud_time* now) {
    aud_time_get_monotonic(now);
}

void release(dgcp_message* request) {
    dgcp2_client* client = request->owner;
    request->in_use = false;
    if (client->in_use > 0) {
        --client->in_use;
    }
    if (client->current == request) {
        client->current = nullptr;
    }
}

// In handshake mode: state 0 sends only connect, states 1 and 3 only disconnect, state 2
// anything but connect. Without it connect and disconnect are not the caller's to send.
aud_error_t checkOpcode(const dgcp2_client* client, uint16_t opcode) {
    if (!client->handshake) {
        return opcode == DGCP_OPCODE_CONNECT || opcode == DGCP_OPCODE_DISCONNECT
                   ? AUD_ERR_INVALIDPARAMETER
                   : AUD_SUCCESS;
    }
    switch (client->state) {
        case DGCP2_STATE_DISCONNECTED:
            return opcode == DGCP_OPCODE_CONNECT ? AUD_SUCCESS : AUD_ERR_INVALIDSTATE;
        case DGCP2_STATE_CONNECTING:
        case DGCP2_STATE_DISCONNECTING:
            return opcode == DGCP_OPCODE_DISCONNECT ? AUD_SUCCESS : AUD_ERR_INVALIDSTATE;
        default:
            return opcode == DGCP_OPCODE_CONNECT ? AUD_ERR_INVALIDSTATE : AUD_SUCCESS;
    }
}

}  // namespace

void dgcp2_client_log(const dgcp2_client* client, unsigned level, const char* format, ...) {
    aud_log* log = aud_env_log(client->env);
    if (!log) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    aud_log_vprintf(log, level, format, arguments);
    va_end(arguments);
}

void dgcp2_client_now(const dgcp2_client* client, aud_time* now) {
    client->clock(client->clock_context, now);
}

void dgcp2_client_report(dgcp2_client* client, unsigned changes, dgcp_message* request,
                         const dgcp_message* message, aud_error_t result) {
    if (client->callback) {
        const dgcp2_event_info event{changes, request, message, result};
        client->callback(client, &event);
    }
}

dgcp2_client* dgcp2_client_new(aud_env* env, bool use_event_loop, unsigned header_type,
                               unsigned pool_size) {
    if (use_event_loop) {
        return nullptr;
    }
    dgcp2_client* client = static_cast<dgcp2_client*>(std::calloc(1, sizeof(dgcp2_client)));
    if (!client) {
        return nullptr;
    }
    client->env = env;
    client->socket = AUD_SOCKET_INVALID;
    client->clock = monotonic;
    client->header_type =
        header_type == DGCP_HEADER_TYPE_CLIENT ? DGCP_HEADER_TYPE_CLIENT : DGCP_HEADER_TYPE_SHORT;
    if (pool_size > 0) {
        client->pool = static_cast<dgcp_message*>(std::calloc(1, sizeof(dgcp_message)));
        if (!client->pool) {
            std::free(client);
            return nullptr;
        }
        client->pool_size = 1;
        client->pool->owner = client;
        dgcp_message_init(client->pool, client->header_type);
    }
    dgcp_message_init(&client->receive, client->header_type);
    dgcp_message_init(&client->keepalive, client->header_type);
    return client;
}

void dgcp2_client_delete(dgcp2_client* client) {
    if (!client) {
        return;
    }
    dgcp2_client_close(client);
    if (client->handling) {
        // Deleted by a callback of the datagram being handled: no callback reaches it any
        // more, and it is freed once that datagram is done.
        client->callback = nullptr;
        client->deleted = true;
        return;
    }
    std::free(client->pool);
    std::free(client);
}

aud_error_t dgcp2_client_initialise(dgcp2_client* client, const uint8_t* id, aud_socket_t socket,
                                    bool handshake, bool linger, const aud_sockaddr* server) {
    if (!client || socket == AUD_SOCKET_INVALID) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (id) {
        std::memcpy(client->id, id, sizeof client->id);
    } else {
        std::memset(client->id, 0, sizeof client->id);
        aud_sockaddr local{};
        const aud_error_t result = aud_socket_get_local_address(socket, &local);
        if (result != AUD_SUCCESS) {
            return result;
        }
        client->port = aud_sockaddr_get_port(&local);
    }
    client->socket = socket;
    client->handshake = handshake;
    client->linger = linger;
    if (server) {
        client->server = *server;
        client->options |= DGCP2_OPTION_SERVER_ADDRESS;
    } else {
        std::memset(&client->server, 0, sizeof client->server);
        client->options &= ~static_cast<unsigned>(DGCP2_OPTION_SERVER_ADDRESS);
    }
    dgcp_header_set_client(&client->keepalive, client->port, client->id);
    const uint8_t* i = client->id;
    dgcp2_client_log(
        client, AUD_LOG_DEBUG, "%s: Client id is now %02x%02x%02x%02x%02x%02x%02x%02x:%d\n",
        "dgcp2_client_initialise", i[0], i[1], i[2], i[3], i[4], i[5], i[6], i[7], client->port);
    return AUD_SUCCESS;
}

aud_error_t dgcp2_client_set_keepalives(dgcp2_client* client, uint16_t protocol,
                                        const aud_time* send_interval,
                                        const aud_time* receive_timeout) {
    const aud_time zero{0, 0};
    if (!client || !send_interval || !receive_timeout || protocol == 0 ||
        aud_time_compare(send_interval, &zero) <= 0 ||
        aud_time_compare(receive_timeout, &zero) <= 0) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    client->keepalive_interval = *send_interval;
    client->keepalive_timeout = *receive_timeout;
    dgcp_message_init(&client->keepalive, client->header_type);
    dgcp_header_set(&client->keepalive, protocol, DGCP_OPCODE_KEEPALIVE);
    dgcp_header_set_client(&client->keepalive, client->port, client->id);
    dgcp2_client_now(client, &client->last_send);
    client->last_receive = client->last_send;
    client->options |= DGCP2_OPTION_KEEPALIVES;
    return AUD_SUCCESS;
}

void dgcp2_client_set_clock(dgcp2_client* client, dgcp2_clock_fn clock, void* context) {
    if (client) {
        client->clock = clock ? clock : monotonic;
        client->clock_context = clock ? context : nullptr;
    }
}

void dgcp2_client_set_context(dgcp2_client* client, void* context) {
    if (client) {
        client->context = context;
    }
}

void* dgcp2_client_get_context(const dgcp2_client* client) {
    return client ? client->context : nullptr;
}

void dgcp2_client_set_event_callback(dgcp2_client* client, dgcp2_event_callback callback) {
    if (client) {
        client->callback = callback;
    }
}

int dgcp2_client_get_state(const dgcp2_client* client) {
    return client ? client->state : DGCP2_STATE_DISCONNECTED;
}

aud_env* dgcp2_client_get_env(const dgcp2_client* client) {
    return client ? client->env : nullptr;
}

uint16_t dgcp2_client_get_port(const dgcp2_client* client) {
    return client ? client->port : 0;
}

aud_error_t dgcp2_client_alloc_request(dgcp2_client* client, dgcp_message** request) {
    if (!client || !request) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (client->pool_size == 0) {
        return AUD_ERR_NOTFOUND;
    }
    for (unsigned i = 0; i < client->pool_size; ++i) {
        dgcp_message* slot = &client->pool[i];
        if (!slot->in_use) {
            dgcp_message_init(slot, client->header_type);
            dgcp_header_set_client(slot, client->port, client->id);
            slot->index = i;
            slot->in_use = true;
            ++slot->generation;
            ++client->in_use;
            *request = slot;
            return AUD_SUCCESS;
        }
    }
    return AUD_ERR_NOBUFS;
}

void dgcp2_request_free(dgcp_message* request) {
    if (request && request->owner && request->in_use) {
        release(request);
    }
}

aud_error_t dgcp2_client_send_message(dgcp2_client* client, dgcp_message* message) {
    if (!client || !message) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    size_t length = dgcp_header_get_length(message);
    if (length < dgcp_message_header_size(message) || length > DGCP_WIRE_SIZE) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const uint16_t seqnum = client->seqnum++;
    dgcp_header_set_seqnum(message, seqnum);
    dgcp2_client_log(client, AUD_LOG_DEBUG,
                     "%s: sending message (seqnum=0x%04x, opcode=0x%04x len=0x%04zx)\n",
                     "dgcp2_client_send_message", seqnum, dgcp_header_get_opcode(message), length);
    const uint8_t* data = dgcp_message_get_header(message);
    if (client->options & DGCP2_OPTION_SERVER_ADDRESS) {
        return aud_socket_sendto(client->socket, data, &length, &client->server);
    }
    return aud_socket_send(client->socket, data, &length);
}

aud_error_t dgcp2_client_send_request(dgcp_message* request) {
    if (!request || !request->owner || !request->in_use) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    dgcp2_client* client = request->owner;
    const uint16_t opcode = dgcp_header_get_opcode(request);
    aud_error_t result = checkOpcode(client, opcode);
    if (result == AUD_SUCCESS) {
        result = dgcp2_client_send_message(client, request);
    }
    if (result != AUD_SUCCESS) {
        release(request);
        if (opcode == DGCP_OPCODE_DISCONNECT &&
            (result == AUD_ERR_CONNREFUSED || result == AUD_ERR_CONNRESET)) {
            client->state = DGCP2_STATE_DISCONNECTED;
            dgcp2_client_report(client, DGCP2_CHANGE_STATE, nullptr, nullptr, AUD_SUCCESS);
            return AUD_SUCCESS;
        }
        return result;
    }
    client->current = request;
    if (client->options & DGCP2_OPTION_KEEPALIVES) {
        dgcp2_client_now(client, &client->last_send);
    }
    if (opcode == DGCP_OPCODE_CONNECT) {
        client->state = DGCP2_STATE_CONNECTING;
        dgcp2_client_report(client, DGCP2_CHANGE_STATE, nullptr, nullptr, AUD_SUCCESS);
    } else if (opcode == DGCP_OPCODE_DISCONNECT) {
        if (client->linger) {
            client->state = DGCP2_STATE_DISCONNECTING;
        } else {
            release(request);
            client->state = DGCP2_STATE_DISCONNECTED;
        }
        dgcp2_client_report(client, DGCP2_CHANGE_STATE, nullptr, nullptr, AUD_SUCCESS);
    }
    return AUD_SUCCESS;
}

void dgcp2_client_close(dgcp2_client* client) {
    if (!client) {
        return;
    }
    client->socket = AUD_SOCKET_INVALID;
    client->seqnum = 0;
}
