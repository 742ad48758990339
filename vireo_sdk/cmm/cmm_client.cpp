#include <arpa/inet.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "cmm/cmm_client_internal.h"
#include "cmm/cmm_messages.h"
#include "util/aud_text.h"

namespace {

const aud_time kKeepaliveInterval{10, 0};
const aud_time kKeepaliveTimeout{31, 0};

// A request of opcode from the pool, its body written by encode, sent and kept pending.
template <typename Encode>
aud_error_t sendRequest(cmm_client* client, uint16_t opcode, Encode encode) {
    dgcp_message* request = nullptr;
    aud_error_t result = dgcp2_client_alloc_request(client->transport, &request);
    if (result != AUD_SUCCESS) {
        return result;
    }
    dgcp_header_set(request, CMM_PROTOCOL, opcode);
    result = encode(request);
    if (result == AUD_SUCCESS) {
        result = dgcp2_client_send_request(request);
    } else {
        dgcp2_request_free(request);
    }
    if (result == AUD_SUCCESS && request->in_use) {
        client->pending = request;
    }
    return result;
}

}  // namespace

void cmm_client_log(const cmm_client* client, unsigned level, const char* format, ...) {
    aud_log* log = aud_env_log(client->env);
    if (!log) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    aud_log_vprintf(log, level, format, arguments);
    va_end(arguments);
}

void cmm_client_drop_pending(cmm_client* client, unsigned* changes) {
    if (client->pending) {
        dgcp2_request_free(client->pending);
        client->pending = nullptr;
        *changes |= CMM_CHANGE_REQUEST;
    }
}

cmm_client* cmm_client_new(aud_env* env) {
    cmm_client* client = static_cast<cmm_client*>(std::calloc(1, sizeof(cmm_client)));
    if (!client) {
        return nullptr;
    }
    client->transport = dgcp2_client_new(env, false, DGCP_HEADER_TYPE_CLIENT, 1);
    if (!client->transport) {
        std::free(client);
        return nullptr;
    }
    client->env = env;
    client->socket = AUD_SOCKET_INVALID;
    client->keepalive_interval = kKeepaliveInterval;
    client->keepalive_timeout = kKeepaliveTimeout;
    return client;
}

aud_error_t cmm_client_set_server_port(cmm_client* client, uint16_t port) {
    if (!client) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    client->port = port;
    return AUD_SUCCESS;
}

aud_error_t cmm_client_set_keepalive_times(cmm_client* client, const aud_time* interval,
                                           const aud_time* timeout) {
    const aud_time zero{0, 0};
    if (!client || !interval || !timeout || aud_time_compare(interval, &zero) <= 0 ||
        aud_time_compare(timeout, &zero) <= 0) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    client->keepalive_interval = *interval;
    client->keepalive_timeout = *timeout;
    return AUD_SUCCESS;
}

aud_error_t cmm_client_init(cmm_client* client, const char* name) {
    if (!client) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (client->socket != AUD_SOCKET_INVALID) {
        return AUD_ERR_INVALIDSTATE;
    }
    aud_sockaddr server{};
    aud_sockaddr_set(&server, htonl(INADDR_LOOPBACK),
                     client->port ? client->port : uint16_t{CMM_DEFAULT_PORT});
    aud_error_t result = aud_socket_create_connected(&client->socket, &server);
    if (result != AUD_SUCCESS) {
        return result;
    }
    cmm_client_log(client, AUD_LOG_DEBUG, "%s: opened cmm client socket %d\n", "cmm_client_init",
                   client->socket);
    result = aud_socket_set_blocking(client->socket, false);
    if (result == AUD_SUCCESS) {
        result = dgcp2_client_initialise(client->transport, nullptr, client->socket, true, false,
                                         nullptr);
    }
    if (result == AUD_SUCCESS) {
        result =
            dgcp2_client_set_keepalives(client->transport, CMM_PROTOCOL,
                                        &client->keepalive_interval, &client->keepalive_timeout);
    }
    if (result != AUD_SUCCESS) {
        dgcp2_client_close(client->transport);
        aud_socket_close(&client->socket);
        return result;
    }
    dgcp2_client_set_context(client->transport, client);
    dgcp2_client_set_event_callback(client->transport, cmm_client_on_event);
    aud_strlcpy(client->info.name, name ? name : "", sizeof client->info.name);
    aud_process_get_id(&client->info.process_id);
    client->info.flags = 0;
    return AUD_SUCCESS;
}

aud_error_t cmm_client_connect(cmm_client* client) {
    if (!client) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (client->pending) {
        return AUD_ERR_INVALIDSTATE;
    }
    return sendRequest(client, CMM_OPCODE_CONNECT, [client](dgcp_message* request) {
        return cmm_encode_connect(request, &client->info);
    });
}

aud_error_t cmm_client_disconnect(cmm_client* client) {
    if (!client) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (dgcp2_client_get_state(client->transport) == DGCP2_STATE_DISCONNECTED) {
        return AUD_SUCCESS;
    }
    unsigned dropped = 0;
    cmm_client_drop_pending(client, &dropped);
    return sendRequest(client, CMM_OPCODE_DISCONNECT,
                       [](dgcp_message*) { return static_cast<aud_error_t>(AUD_SUCCESS); });
}

aud_error_t cmm_client_set_system_config(cmm_client* client, const cmm_system_config* config) {
    if (!client || !config) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (client->pending) {
        return AUD_ERR_INVALIDSTATE;
    }
    const char* name = "cmm_client_set_system_config";
    cmm_client_log(client, AUD_LOG_DEBUG, "%s: Sending SET CONFIG request with config:\n", name);
    cmm_log_system_config(client, "  ", config);
    const aud_error_t result = sendRequest(
        client, CMM_OPCODE_SET_CONFIG,
        [config](dgcp_message* request) { return cmm_encode_set_config(request, config); });
    if (result == AUD_SUCCESS) {
        cmm_client_log(client, AUD_LOG_DEBUG, "%s: Sent request, request id is %p\n", name,
                       static_cast<void*>(client->pending));
    }
    return result;
}

aud_error_t cmm_client_process(cmm_client* client, aud_time* next_wake) {
    if (!client) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    return dgcp2_client_process(client->transport, next_wake);
}

void cmm_client_close(cmm_client* client) {
    if (!client) {
        return;
    }
    unsigned dropped = 0;
    cmm_client_drop_pending(client, &dropped);
    dgcp2_client_close(client->transport);
    aud_socket_close(&client->socket);
}

void cmm_client_delete(cmm_client* client) {
    if (!client) {
        return;
    }
    cmm_client_close(client);
    dgcp2_client_delete(client->transport);
    std::free(client);
}

aud_socket_t cmm_client_get_socket(const cmm_client* client) {
    return client ? client->socket : AUD_SOCKET_INVALID;
}

bool cmm_client_request_pending(const cmm_client* client) {
    return client && client->pending;
}

int cmm_client_get_connection_state(const cmm_client* client) {
    return client ? client->connection_state : CMM_CONNECTION_NONE;
}

void* cmm_client_get_context(const cmm_client* client) {
    return client ? client->context : nullptr;
}

void cmm_client_set_context(cmm_client* client, void* context) {
    if (client) {
        client->context = context;
    }
}

void cmm_client_set_event_callback(cmm_client* client, cmm_client_event_callback callback) {
    if (client) {
        client->callback = callback;
    }
}

void cmm_client_set_clock(cmm_client* client, cmm_clock_fn clock, void* context) {
    if (client) {
        dgcp2_client_set_clock(client->transport, clock, context);
    }
}

const cmm_client_info* cmm_client_get_info(const cmm_client* client) {
    return client ? &client->info : nullptr;
}

const cmm_server_record* cmm_client_get_server_address(const cmm_client* client) {
    return client && (client->received & CMM_DATA_SERVER) ? &client->server : nullptr;
}

const cmm_interface_list* cmm_client_get_options(const cmm_client* client) {
    return client && (client->received & CMM_DATA_OPTIONS) ? &client->options : nullptr;
}

const cmm_status* cmm_client_get_status(const cmm_client* client) {
    return client && (client->received & CMM_DATA_STATUS) ? &client->status : nullptr;
}

cmm_system_config* cmm_client_get_system_config(cmm_client* client) {
    return client ? &client->config : nullptr;
}
