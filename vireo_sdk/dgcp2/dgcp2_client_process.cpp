#include "dgcp2/dgcp2_client_internal.h"

namespace {

const char kProcess[] = "dgcp2_client_process";

bool keepalivesOn(const dgcp2_client* client) {
    return (client->options & DGCP2_OPTION_KEEPALIVES) != 0;
}

const aud_time& earlier(const aud_time& a, const aud_time& b) {
    return aud_time_compare(&a, &b) <= 0 ? a : b;
}

// A response to the request sent: connect and disconnect responses move the state and are
// reported at once, then the slot is released and the response reported (again).
void handleResponse(dgcp2_client* client, const dgcp_message* response) {
    dgcp_message* request = client->current;
    const uint16_t opcode = dgcp_header_get_opcode(response);
    const uint16_t status = dgcp_header_get_status(response);
    unsigned changes = DGCP2_CHANGE_RESPONSE;
    bool early = false;
    if (opcode == DGCP_OPCODE_CONNECT) {
        early = true;
        if (client->state == DGCP2_STATE_CONNECTING) {
            client->state =
                status == DGCP_STATUS_RESPONSE ? DGCP2_STATE_CONNECTED : DGCP2_STATE_DISCONNECTED;
            changes |= DGCP2_CHANGE_STATE;
        }
    } else if (opcode == DGCP_OPCODE_DISCONNECT) {
        early = true;
        if (client->state != DGCP2_STATE_DISCONNECTED) {
            client->state = DGCP2_STATE_DISCONNECTED;
            changes |= DGCP2_CHANGE_STATE;
        }
    } else if (client->handshake && client->state != DGCP2_STATE_CONNECTED) {
        dgcp2_client_log(client, AUD_LOG_INFO,
                         "%s: response (opcode=0x%04x) while not connected: ignoring message\n",
                         kProcess, opcode);
        return;
    }
    // The callbacks may drop the request and even send another from the same slot: release
    // only the allocation this response answers.
    client->current = nullptr;
    const unsigned generation = request->generation;
    if (early) {
        dgcp2_client_report(client, changes, request, response, AUD_SUCCESS);
    }
    if (request->in_use && request->generation == generation) {
        dgcp2_request_free(request);
    }
    dgcp2_client_report(client, changes, request, response, AUD_SUCCESS);
}

// One datagram of size bytes in the receive buffer.
void handleDatagram(dgcp2_client* client, size_t size, const aud_sockaddr* source) {
    char from[64] = "";
    if (client->options & DGCP2_OPTION_SERVER_ADDRESS) {
        aud_sockaddr_to_string(source, from, sizeof from);
    }
    dgcp2_client_log(client, AUD_LOG_VERBOSE, "%s: read a message (size=%u source=%s\n", kProcess,
                     static_cast<unsigned>(size), from);
    if ((client->options & DGCP2_OPTION_SERVER_ADDRESS) &&
        !aud_sockaddr_equal(source, &client->server)) {
        char server[64];
        aud_sockaddr_to_string(&client->server, server, sizeof server);
        dgcp2_client_log(client, AUD_LOG_WARNING, "%s: not from server (server=%s address=%s)\n",
                         kProcess, server, from);
        return;
    }
    const dgcp_message* message = &client->receive;
    const size_t header = dgcp_message_header_size(message);
    if (size < header) {
        dgcp2_client_log(client, AUD_LOG_WARNING, "%s: message too small (%u < %u)\n", kProcess,
                         static_cast<unsigned>(size), static_cast<unsigned>(header));
        return;
    }
    if (dgcp_header_get_length(message) != size) {
        dgcp2_client_log(client, AUD_LOG_WARNING,
                         "%s: invalid size in message (msg=%u, recved=%u)\n", kProcess,
                         dgcp_header_get_length(message), static_cast<unsigned>(size));
        return;
    }
    const uint16_t status = dgcp_header_get_status(message);
    const uint16_t seqnum = dgcp_header_get_seqnum(message);
    if (keepalivesOn(client) && status != DGCP_STATUS_NOT_CONNECTED) {
        dgcp2_client_log(client, AUD_LOG_DEBUG,
                         "%s: Got a server message, updating keepalives...\n", kProcess);
        dgcp2_client_now(client, &client->last_receive);
    }
    if (status == DGCP_STATUS_EVENT) {
        if (client->state == DGCP2_STATE_CONNECTED) {
            dgcp2_client_report(client, DGCP2_CHANGE_EVENT, nullptr, message, AUD_SUCCESS);
        } else {
            dgcp2_client_log(client, AUD_LOG_INFO,
                             "%s: event (opcode=0x%04x) while not connected: ignoring message\n",
                             kProcess, dgcp_header_get_opcode(message));
        }
        return;
    }
    if (client->current && dgcp_header_get_seqnum(client->current) == seqnum) {
        handleResponse(client, message);
        return;
    }
    if (keepalivesOn(client) && dgcp_header_get_seqnum(&client->keepalive) == seqnum) {
        dgcp2_client_log(client, AUD_LOG_VERBOSE, "%s: Got a keepalive response\n", kProcess);
        return;
    }
    dgcp2_client_log(client, AUD_LOG_INFO,
                     "%s: No active request for non-event message with seqnum 0x%04x: ignoring "
                     "message\n",
                     kProcess, seqnum);
}

}  // namespace

aud_error_t dgcp2_client_process(dgcp2_client* client, aud_time* next_wake) {
    if (!client) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    for (;;) {
        size_t size = DGCP_WIRE_SIZE;
        aud_sockaddr source{};
        uint8_t* buffer = dgcp_message_get_header(&client->receive);
        const aud_error_t result = (client->options & DGCP2_OPTION_SERVER_ADDRESS)
                                       ? aud_socket_recvfrom(client->socket, buffer, &size, &source)
                                       : aud_socket_recv(client->socket, buffer, &size);
        if (result == AUD_ERR_TIMEDOUT) {
            dgcp2_client_log(client, AUD_LOG_VERBOSE, "%s: timed out\n", kProcess);
            if (next_wake) {
                *next_wake = aud_time{0, 0};
            }
            if (keepalivesOn(client) && client->state == DGCP2_STATE_CONNECTED) {
                return dgcp2_client_check_keepalives(client, next_wake);
            }
            return AUD_SUCCESS;
        }
        if (result == AUD_ERR_MSGSIZE) {
            // The datagram is gone from the socket: drop it and read on.
            dgcp2_client_log(client, AUD_LOG_WARNING,
                             "%s: message too large (over %u bytes): dropping it\n", kProcess,
                             static_cast<unsigned>(DGCP_WIRE_SIZE));
            continue;
        }
        if (result == AUD_ERR_CONNRESET) {
            dgcp2_client_log(client, AUD_LOG_ERROR,
                             "%s: error recving (CONNRESET): disconnecting\n", kProcess);
            client->state = DGCP2_STATE_DISCONNECTED;
            dgcp2_client_report(client, DGCP2_CHANGE_STATE, nullptr, nullptr, result);
            return result;
        }
        if (result != AUD_SUCCESS) {
            dgcp2_client_log(client, AUD_LOG_ERROR, "%s: error recving: %s\n", kProcess,
                             aud_error_message(result, nullptr));
            return result;
        }
        client->handling = true;
        handleDatagram(client, size, &source);
        client->handling = false;
        if (client->deleted) {
            dgcp2_client_delete(client);
            return AUD_SUCCESS;
        }
    }
}

aud_error_t dgcp2_client_check_keepalives(dgcp2_client* client, aud_time* next_wake) {
    if (!client || !keepalivesOn(client)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    aud_time now;
    dgcp2_client_now(client, &now);
    aud_time receive_deadline = aud_time_add(&client->last_receive, &client->keepalive_timeout);
    if (aud_time_compare(&receive_deadline, &now) < 0) {
        dgcp2_client_log(client, AUD_LOG_ERROR, "%s: server has disappeared, disconnecting!\n",
                         "dgcp2_client_check_keepalives");
        client->state = DGCP2_STATE_DISCONNECTED;
        client->next_wake = aud_time{0, 0};
        if (next_wake) {
            *next_wake = client->next_wake;
        }
        dgcp2_client_report(client, DGCP2_CHANGE_STATE | DGCP2_CHANGE_SERVER_LOST, nullptr, nullptr,
                            AUD_ERR_TIMEDOUT);
        return AUD_SUCCESS;
    }
    aud_error_t result = AUD_SUCCESS;
    aud_time send_deadline = aud_time_add(&client->last_send, &client->keepalive_interval);
    if (aud_time_compare(&send_deadline, &now) < 0) {
        result = dgcp2_client_send_message(client, &client->keepalive);
        dgcp2_client_log(client, AUD_LOG_INFO,
                         "%s: keepalive interval has expired, sending keepalive (seqnum=0x%04x)!\n",
                         "dgcp2_client_check_keepalives",
                         dgcp_header_get_seqnum(&client->keepalive));
        client->last_send = now;
        send_deadline = aud_time_add(&client->last_send, &client->keepalive_interval);
    }
    client->next_wake = earlier(receive_deadline, send_deadline);
    if (next_wake) {
        *next_wake = client->next_wake;
    }
    return result;
}
