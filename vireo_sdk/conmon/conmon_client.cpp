#include "conmon/conmon_client.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "conmon/conmon_client_internal.h"
#include "conmon/conmon_resolve.h"

namespace {

const char kServerHost[] = "127.0.0.1";

aud_error_t openSocket(conmon_client* client) {
    static const char* const kName = "conmon_client_connect_internal";
    char service[8];
    std::snprintf(service, sizeof service, "%u", unsigned{client->config.server_port});
    aud_sockaddr server{};
    aud_error_t result = conmon_resolve(kServerHost, service, &server);
    if (result != AUD_SUCCESS) {
        conmon_client_log(client, AUD_LOG_ERROR, "%s: Unknown address %s port %s", kName,
                          kServerHost, service);
        return result;
    }
    if (aud_sockaddr_get_port(&server) == 0) {
        aud_sockaddr_set_port(&server, CONMON_SERVER_PORT);
    }
    result = aud_socket_create_connected(&client->socket, &server);
    if (result != AUD_SUCCESS) {
        conmon_client_log(client, AUD_LOG_ERROR, "%s: Error initialising socket", kName);
        return result;
    }
    conmon_client_log(client, AUD_LOG_DEBUG, "%s: opened conmon client socket %d\n", kName,
                      int(client->socket));
    if (aud_socket_set_blocking(client->socket, false) != AUD_SUCCESS) {
        conmon_client_log(client, AUD_LOG_WARNING, "%s: Could not set conmon socket %d to blocking",
                          kName, int(client->socket));
    }
    if (!client->env->loop) {
        conmon_client_log(client, AUD_LOG_NOTICE,
                          "%s: No event loop in env, assuming application is managing sockets",
                          kName);
    }
    return AUD_SUCCESS;
}

void freeClient(conmon_client* client) {
    delete[] client->requests;
    delete client;
}

// Reads and handles one datagram of the control socket.
aud_error_t receive(conmon_client* client) {
    static const char* const kName = "conmon_client_process_sockets";
    size_t length = sizeof client->receive_buffer;
    const aud_error_t result = aud_socket_recv(client->socket, client->receive_buffer, &length);
    if (result == AUD_ERR_TIMEDOUT) {
        return AUD_SUCCESS;
    }
    if (result == AUD_ERR_CONNREFUSED || result == AUD_ERR_CONNRESET) {
        if (client->state == CONMON_CLIENT_CONNECTING) {
            conmon_client_log(
                client, AUD_LOG_INFO,
                "%s: Got a CONNREFUSED while waiting for a connect response, aborting connect\n",
                kName);
            conmon_client_lose_connection(client, false, result, "connection refused");
            return AUD_SUCCESS;
        }
        if (client->reconnect && client->state == CONMON_CLIENT_CONNECTED) {
            conmon_client_log(client, AUD_LOG_INFO, "%s: connection refused, reconnecting\n",
                              kName);
            conmon_client_lose_connection(client, false, result, "connection refused");
            return AUD_SUCCESS;
        }
    }
    if (result != AUD_SUCCESS) {
        conmon_client_log(client, AUD_LOG_ERROR, "%s: Error reading socket %d: %s", kName,
                          int(client->socket), aud_error_message(result, nullptr));
        return result;
    }
    const aud_error_t handled =
        conmon_client_handle_datagram(client, client->receive_buffer, length);
    if (handled == AUD_SUCCESS) {
        conmon_client_now(client, &client->last_heard);
    }
    return handled;
}

}  // namespace

aud_error_t conmon_client_connect_internal(conmon_client* client,
                                           conmon_client_response_fn* callback,
                                           conmon_client_request_id* request) {
    if (client->socket != AUD_SOCKET_INVALID) {
        conmon_client_log(client, AUD_LOG_WARNING, "%s: Already connected",
                          "conmon_client_connect_internal");
        return AUD_ERR_ISCONN;
    }
    if (!client->requests) {
        client->requests = new (std::nothrow) conmon_request_entry[client->max_requests]();
        if (!client->requests) {
            return AUD_ERR_NOMEMORY;
        }
    }
    aud_error_t result = openSocket(client);
    if (result != AUD_SUCCESS) {
        return result;
    }
    const conmon_client_request_id id = conmon_client_next_request_id(client);
    result = conmon_client_send_connect(client, callback, id);
    if (result != AUD_SUCCESS) {
        aud_socket_close(&client->socket);
        return result;
    }
    if (request) {
        *request = id;
    }
    conmon_client_to_state(client, "conmon_client_connect_internal", CONMON_CLIENT_CONNECTING,
                           "Connecting");
    return AUD_SUCCESS;
}

void conmon_client_log(const conmon_client* client, unsigned level, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    aud_log_vprintf(aud_env_log(client->env), level, format, arguments);
    va_end(arguments);
}

const char* conmon_client_state_name(unsigned state) {
    static const char* const names[] = {"NO_CONNECTION", "CONNECTING", "CONNECTED",
                                        "RECONNECT_PENDING"};
    return state < sizeof names / sizeof names[0] ? names[state] : "???";
}

void conmon_client_to_state(conmon_client* client, const char* caller, conmon_client_state state,
                            const char* reason) {
    if (client->state == state) {
        return;
    }
    conmon_client_log(client, AUD_LOG_INFO, "%s(%s): %s->%s (%s)\n", "conmon_client_to_state_inner",
                      caller, conmon_client_state_name(client->state),
                      conmon_client_state_name(state), reason);
    client->state = state;
    conmon_client_arm_timers(client);
}

aud_error_t conmon_client_new_config(aud_env* env, const conmon_client_config* config,
                                     conmon_client** out) {
    if (!env || !config || !out) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (config->channel_mask & CONMON_CHANNEL_MASK_SOCKETS) {
        return AUD_ERR_NOTSUPPORTED;
    }
    conmon_client* client = new (std::nothrow) conmon_client();
    if (!client) {
        return AUD_ERR_NOMEMORY;
    }
    client->env = env;
    client->config = *config;
    client->version = config->protocol_version;
    client->socket = AUD_SOCKET_INVALID;
    client->state = CONMON_CLIENT_NO_CONNECTION;
    client->max_requests = CONMON_CLIENT_DEFAULT_MAX_REQUESTS;
    *out = client;
    return AUD_SUCCESS;
}

void conmon_client_delete(conmon_client* client) {
    if (!client) {
        return;
    }
    conmon_client_close(client, true, false, AUD_SUCCESS);
    if (client->handling) {
        // Deleted by a callback of the datagram being handled: no callback reaches it any
        // more, and it is freed once that datagram is done.
        client->networks_changed = nullptr;
        client->device_name_changed = nullptr;
        client->dns_domain_name_changed = nullptr;
        client->devices_changed = nullptr;
        client->deleted = true;
        return;
    }
    freeClient(client);
}

aud_error_t conmon_client_set_max_requests(conmon_client* client, size_t max_requests) {
    if (!client || max_requests == 0) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (client->requests) {
        return AUD_ERR_INVALIDSTATE;
    }
    client->max_requests = max_requests;
    return AUD_SUCCESS;
}

void conmon_client_set_context(conmon_client* client, void* context) {
    client->context = context;
}

void* conmon_client_get_context(const conmon_client* client) {
    return client->context;
}

void conmon_client_set_networks_changed_callback(conmon_client* client,
                                                 conmon_client_changed_fn* callback) {
    client->networks_changed = callback;
}

void conmon_client_set_device_name_changed_callback(conmon_client* client,
                                                    conmon_client_changed_fn* callback) {
    client->device_name_changed = callback;
}

void conmon_client_set_dns_domain_name_changed_callback(conmon_client* client,
                                                        conmon_client_changed_fn* callback) {
    client->dns_domain_name_changed = callback;
}

void conmon_client_set_devices_changed_callback(conmon_client* client,
                                                conmon_client_devices_changed_fn* callback) {
    client->devices_changed = callback;
}

aud_error_t conmon_client_connect(conmon_client* client, conmon_client_response_fn* callback,
                                  conmon_client_request_id* request) {
    if (!client) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (client->state != CONMON_CLIENT_NO_CONNECTION) {
        conmon_client_log(client, AUD_LOG_WARNING,
                          "%s: Invalid state (Already connecting / connected)",
                          "conmon_client_connect");
        return AUD_ERR_INVALIDSTATE;
    }
    return conmon_client_connect_internal(client, callback, request);
}

aud_error_t conmon_client_disconnect(conmon_client* client) {
    if (!client) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    conmon_client_log(client, AUD_LOG_INFO, "%s: disconnecting", "conmon_client_disconnect");
    conmon_client_close(client, true, false, AUD_SUCCESS);
    return AUD_SUCCESS;
}

void conmon_client_close(conmon_client* client, bool send_disconnect, bool notify,
                         aud_error_t result, conmon_client_state state, const char* reason) {
    if (client->socket != AUD_SOCKET_INVALID) {
        if (send_disconnect) {
            conmon_writer writer;
            conmon_client_begin(client, &writer, CONMON_OPCODE_DISCONNECT);
            conmon_client_send_request(client, &writer, nullptr, nullptr);
        }
        aud_socket_close(&client->socket);
    }
    for (size_t i = 0; client->requests && i < client->max_requests; ++i) {
        client->requests[i] = conmon_request_entry{};
    }
    client->busy_count = 0;
    std::memset(client->handlers, 0, sizeof client->handlers);
    std::memset(client->subscribed, 0, sizeof client->subscribed);
    client->server_flags = 0;
    client->device_name[0] = '\0';
    client->dns_domain_name[0] = '\0';
    client->num_interfaces = 0;
    client->num_subscriptions = 0;
    client->instance_id = conmon_instance_id{};
    conmon_client_to_state(client, "conmon_client_disconnect_helper", state, reason);
    conmon_request_entry connect = client->connect_request;
    client->connect_request = conmon_request_entry{};
    if (notify && connect.busy && connect.callback) {
        connect.callback(client, connect.id, result);
    }
}

conmon_client_state conmon_client_get_state(const conmon_client* client) {
    return client ? client->state : CONMON_CLIENT_NO_CONNECTION;
}

aud_error_t conmon_client_get_sockets(const conmon_client* client, aud_socket_set* set) {
    if (!client || !set) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (client->socket == AUD_SOCKET_INVALID) {
        return AUD_ERR_INVALIDSTATE;
    }
    aud_socket_set_add(set, client->socket);
    return AUD_SUCCESS;
}

aud_error_t conmon_client_process_sockets(conmon_client* client, const aud_socket_set* set,
                                          aud_time*) {
    if (!client) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    client->handling = true;
    aud_error_t result = AUD_SUCCESS;
    if (client->socket != AUD_SOCKET_INVALID &&
        (!set || aud_socket_set_contains(set, client->socket))) {
        result = receive(client);
    }
    if (!client->deleted) {
        conmon_client_process_timers(client);
    }
    client->handling = false;
    if (client->deleted) {
        freeClient(client);
    }
    return result;
}

aud_error_t conmon_client_process(conmon_client* client) {
    return conmon_client_process_sockets(client, nullptr, nullptr);
}

const char* conmon_client_device_name_for_instance_id(const conmon_client* client,
                                                      const conmon_instance_id* instance_id) {
    if (!client || !instance_id) {
        return nullptr;
    }
    if (client->state == CONMON_CLIENT_CONNECTED &&
        conmon_instance_id_equal(instance_id, &client->instance_id)) {
        return client->device_name;
    }
    for (size_t i = 0; i < client->num_subscriptions; ++i) {
        const conmon_client_subscription& entry = client->subscriptions[i];
        if (std::memcmp(entry.instance_id.device_id, instance_id->device_id,
                        CONMON_DEVICE_ID_SIZE) == 0) {
            return entry.name;
        }
    }
    if (client->delivering_named && conmon_instance_id_equal(instance_id, &client->sender_id)) {
        return client->sender_name;
    }
    return nullptr;
}

const char* conmon_client_get_device_name(const conmon_client* client) {
    return client->device_name;
}

const char* conmon_client_get_dns_domain_name(const conmon_client* client) {
    return client->dns_domain_name;
}

const conmon_instance_id* conmon_client_get_instance_id(const conmon_client* client) {
    return &client->instance_id;
}

size_t conmon_client_num_interfaces(const conmon_client* client) {
    return client->num_interfaces;
}

const conmon_client_interface* conmon_client_interface_at(const conmon_client* client, size_t i) {
    return i < client->num_interfaces ? &client->interfaces[i] : nullptr;
}

size_t conmon_client_num_subscriptions(const conmon_client* client) {
    return client->num_subscriptions;
}

const conmon_client_subscription* conmon_client_subscription_at(const conmon_client* client,
                                                                size_t i) {
    return i < client->num_subscriptions ? &client->subscriptions[i] : nullptr;
}
