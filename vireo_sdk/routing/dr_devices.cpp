#include "routing/dr_devices.h"

#include <cstdarg>
#include <cstring>
#include <new>

#include "platform/aud_log.h"
#include "routing/dr_internal.h"
#include "util/aud_interface_lookup.h"

namespace {

bool validRequest(const dr_devices* devices, const dr_request* request) {
    return devices && request && request >= devices->requests &&
           request < devices->requests + DR_DEVICES_NUM_REQUESTS;
}

int64_t millisecondsSince(const aud_time& then, const aud_time& now) {
    return (now.seconds - then.seconds) * 1000 + (now.microseconds - then.microseconds) / 1000;
}

// Completes with 10 every request whose last send is older than the time-out.
void expireRequests(dr_devices* devices) {
    aud_time now{};
    aud_time_get_monotonic(&now);
    for (unsigned i = 0; i < DR_DEVICES_NUM_REQUESTS; ++i) {
        dr_request* request = &devices->requests[i];
        if (request->in_use &&
            millisecondsSince(request->sent, now) > int64_t{devices->request_timeout_ms}) {
            dr_log(devices->env, AUD_LOG_WARNING,
                   "%s: request seqnum=0x%04x opcode=0x%04x timed out\n", "dr_devices_process",
                   unsigned{request->seqnum}, unsigned{dr_arcp_packet_opcode(&request->packet)});
            dr_devices_complete_request(devices, request, AUD_ERR_TIMEDOUT);
        }
    }
}

aud_error_t processSocket(dr_devices* devices) {
    for (;;) {
        size_t length = sizeof devices->buffer;
        aud_sockaddr source{};
        const aud_error_t result =
            aud_socket_recvfrom(devices->socket, devices->buffer, &length, &source);
        if (result == AUD_ERR_TIMEDOUT) {
            return AUD_SUCCESS;
        }
        if (result == AUD_ERR_INTERRUPTED) {
            return result;
        }
        if (result != AUD_SUCCESS) {
            dr_log(devices->env, AUD_LOG_ERROR, "%s: Error reading socket %d: %s",
                   "dr_devices_process_dapi_socket", devices->socket,
                   aud_error_message(result, devices->error_text));
            return result;
        }
        devices->source = source;
        dr_devices_process_message(devices, &devices->source, devices->buffer, length);
    }
}

}  // namespace

void dr_log(aud_env* env, unsigned level, const char* format, ...) {
    aud_log* log = aud_env_log(env);
    if (!log) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    aud_log_vprintf(log, level, format, arguments);
    va_end(arguments);
}

aud_error_t dr_devices_new(aud_env* env, dr_devices** out) {
    if (!out) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    *out = nullptr;
    dr_devices* devices = new (std::nothrow) dr_devices();
    if (!devices) {
        return AUD_ERR_NOMEMORY;
    }
    devices->env = env;
    devices->socket = AUD_SOCKET_INVALID;
    devices->request_timeout_ms = DR_DEVICES_REQUEST_TIMEOUT_MS;
    aud_list_init(&devices->devices);
    const aud_error_t found = aud_interface_find_loopback(&devices->loopback);
    if (found == AUD_SUCCESS) {
        dr_log(env, AUD_LOG_DEBUG, "%s: Found localhost interface with index %d\n", __func__,
               int(devices->loopback.index));
    } else {
        devices->loopback = aud_interface{};
        dr_log(env, AUD_LOG_WARNING, "%s: Error getting localhost interface index: %d\n", __func__,
               found);
    }
    devices->requests = new (std::nothrow) dr_request[DR_DEVICES_NUM_REQUESTS]();
    if (!devices->requests) {
        delete devices;
        return AUD_ERR_NOMEMORY;
    }
    const aud_error_t opened = dr_devices_enable_socket_inet(devices);
    if (opened != AUD_SUCCESS) {
        aud_socket_close(&devices->socket);
        delete[] devices->requests;
        delete devices;
        return opened;
    }
    dr_log(env, AUD_LOG_DEBUG, "%s: opened arcp comms socket %d\n", __func__, devices->socket);
    *out = devices;
    return AUD_SUCCESS;
}

aud_error_t dr_devices_delete(dr_devices* devices) {
    if (!devices) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (devices->devices.count > 0) {
        return AUD_ERR_INVALIDSTATE;
    }
    if (devices->socket != AUD_SOCKET_INVALID) {
        dr_log(devices->env, AUD_LOG_DEBUG, "%s: closing arcp comms socket %d\n", __func__,
               devices->socket);
        aud_socket_close(&devices->socket);
    }
    delete[] devices->requests;
    delete devices;
    return AUD_SUCCESS;
}

aud_error_t dr_devices_enable_socket_inet(dr_devices* devices) {
    if (!devices) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (devices->socket != AUD_SOCKET_INVALID) {
        return AUD_SUCCESS;
    }
    dr_log(devices->env, AUD_LOG_DEBUG, "%s: creating INET socket\n", __func__);
    aud_error_t result = aud_socket_create(&devices->socket, AF_INET);
    if (result == AUD_SUCCESS) {
        result = aud_socket_set_blocking(devices->socket, false);
    }
    if (result != AUD_SUCCESS) {
        aud_socket_close(&devices->socket);
        return result;
    }
    dr_devices_report_sockets_changed(devices);
    return AUD_SUCCESS;
}

void dr_devices_report_sockets_changed(dr_devices* devices) {
    if (devices->processing) {
        devices->sockets_changed_pending = true;
    } else if (devices->sockets_changed) {
        devices->sockets_changed(devices);
    }
}

aud_error_t dr_devices_get_sockets(dr_devices* devices, aud_socket_set* set) {
    if (!devices || !set) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (devices->socket != AUD_SOCKET_INVALID) {
        dr_log(devices->env, AUD_LOG_DEBUG, "%s: adding 'devices' socket %d\n", __func__,
               devices->socket);
        aud_socket_set_add(set, devices->socket);
    }
    for (aud_list_node* node = devices->devices.head; node; node = node->next) {
        dr_device_addresses_get_sockets(&static_cast<dr_device*>(node->item)->addresses, set);
    }
    return AUD_SUCCESS;
}

aud_error_t dr_devices_process(dr_devices* devices, aud_socket_set* ready) {
    if (!devices || !ready) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (devices->socket == AUD_SOCKET_INVALID) {
        return AUD_ERR_NOTCONN;
    }
    devices->processing = true;
    expireRequests(devices);
    for (aud_list_node* node = devices->devices.head; node;) {
        dr_device* device = static_cast<dr_device*>(node->item);
        node = node->next;
        const aud_error_t result = dr_device_process_sockets(device, ready);
        if (result != AUD_SUCCESS) {
            dr_log(devices->env, AUD_LOG_ERROR, "%s: Error processing sockets: %s", __func__,
                   aud_error_message(result, devices->error_text));
        }
    }
    aud_error_t result = AUD_SUCCESS;
    if (aud_socket_set_contains(ready, devices->socket)) {
        result = processSocket(devices);
    }
    devices->processing = false;
    if (devices->sockets_changed_pending) {
        devices->sockets_changed_pending = false;
        if (devices->sockets_changed) {
            devices->sockets_changed(devices);
        }
    }
    return result;
}

aud_error_t dr_devices_process_message(dr_devices* devices, const aud_sockaddr* source,
                                       const void* data, size_t length) {
    if (!devices || !source || (!data && length > 0)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    dr_log(devices->env, AUD_LOG_DEBUG, "%s: Got a message (%u bytes)", __func__, unsigned(length));
    dr_message message{};
    if (!dr_arcp_parse(data, length, &message)) {
        dr_log(devices->env, AUD_LOG_WARNING, "%s: Dropping a malformed message (%u bytes)",
               __func__, unsigned(length));
        return AUD_ERR_INVALIDDATA;
    }
    if (message.status == 0) {
        dr_log(devices->env, AUD_LOG_DEBUG, "%s: Unexpected request seqnum=0x%04x opcode=0x%04x",
               __func__, unsigned{message.seqnum}, unsigned{message.opcode});
        return AUD_SUCCESS;
    }
    for (unsigned i = 0; i < DR_DEVICES_NUM_REQUESTS; ++i) {
        dr_request* request = &devices->requests[i];
        if (request->in_use && request->seqnum == message.seqnum) {
            dr_device_handle_response(request->owner, request, source, &message);
            dr_log(devices->env, AUD_LOG_DEBUG, "%s: finished", __func__);
            return AUD_SUCCESS;
        }
    }
    dr_log(devices->env, AUD_LOG_DEBUG, "%s: Unhandled response seqnum=0x%04x opcode=0x%04x",
           __func__, unsigned{message.seqnum}, unsigned{message.opcode});
    return AUD_SUCCESS;
}

aud_error_t dr_devices_set_context(dr_devices* devices, void* context) {
    if (!devices) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    devices->context = context;
    return AUD_SUCCESS;
}

void* dr_devices_get_context(const dr_devices* devices) {
    return devices ? devices->context : nullptr;
}

aud_error_t dr_devices_set_sockets_changed_callback(dr_devices* devices,
                                                    dr_devices_sockets_changed_callback callback) {
    if (!devices) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    devices->sockets_changed = callback;
    return AUD_SUCCESS;
}

aud_error_t dr_devices_set_request_timeout(dr_devices* devices, uint32_t milliseconds) {
    if (!devices) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    devices->request_timeout_ms = milliseconds;
    return AUD_SUCCESS;
}

aud_error_t dr_devices_allocate_request(dr_devices* devices, dr_device* owner,
                                        dr_request_callback callback, dr_request_id* out) {
    if (!devices || !out) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (devices->requests_in_use >= DR_DEVICES_NUM_REQUESTS) {
        return AUD_ERR_NOBUFS;
    }
    for (unsigned n = 0; n < DR_DEVICES_NUM_REQUESTS; ++n) {
        const unsigned index = (devices->next_request + n) % DR_DEVICES_NUM_REQUESTS;
        dr_request* request = &devices->requests[index];
        if (request->in_use) {
            continue;
        }
        devices->next_request = (index + 1) % DR_DEVICES_NUM_REQUESTS;
        request->in_use = true;
        request->owner = owner;
        request->callback = callback;
        request->result = AUD_SUCCESS;
        request->code = 0;
        request->batch_data = nullptr;
        request->page_from = 0;
        request->packet.capacity = 0;
        aud_time_get_monotonic(&request->sent);
        ++devices->requests_in_use;
        *out = request;
        return AUD_SUCCESS;
    }
    return AUD_ERR_NOBUFS;
}

aud_error_t dr_devices_send_request(dr_devices* devices, dr_request_id request,
                                    dr_device_addresses* addresses) {
    if (!validRequest(devices, request) || !addresses) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const uint16_t length = dr_arcp_packet_length(&request->packet);
    request->seqnum = devices->next_seqnum++;
    dr_arcp_set_seqnum(&request->packet, request->seqnum);
    aud_time_get_monotonic(&request->sent);
    aud_error_t first_failure = AUD_SUCCESS;
    bool sent = false;
    for (unsigned i = 0; i < addresses->count; ++i) {
        const dr_device_address& entry = addresses->entries[i];
        if (!(entry.flags & DR_ADDRESS_VALID)) {
            continue;
        }
        size_t size = length;
        const aud_error_t result =
            aud_socket_sendto(devices->socket, request->packet.bytes, &size, &entry.address);
        if (result == AUD_SUCCESS) {
            sent = true;
        } else if (first_failure == AUD_SUCCESS) {
            first_failure = result;
        }
    }
    if (sent) {
        return AUD_SUCCESS;
    }
    return first_failure != AUD_SUCCESS ? first_failure : AUD_ERR_INVALIDSTATE;
}

aud_error_t dr_devices_cancel_request(dr_devices* devices, dr_request_id request) {
    if (!validRequest(devices, request)) {
        if (devices) {
            dr_log(devices->env, AUD_LOG_ERROR, "%s: Unknown request id %p", __func__,
                   static_cast<void*>(request));
        }
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (request->in_use) {
        request->in_use = false;
        request->code = 0;
        --devices->requests_in_use;
    }
    return AUD_SUCCESS;
}

aud_error_t dr_devices_complete_request(dr_devices* devices, dr_request_id request,
                                        aud_error_t result) {
    if (!validRequest(devices, request)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (!request->in_use) {
        return AUD_ERR_INVALIDSTATE;
    }
    const dr_request_callback callback = request->callback;
    dr_device* owner = request->owner;
    const aud_error_t given = request->result != AUD_SUCCESS ? request->result : result;
    request->in_use = false;
    request->code = 0;
    --devices->requests_in_use;
    if (callback) {
        callback(owner, request, given);
    }
    return AUD_SUCCESS;
}

int dr_devices_get_request_code(const dr_devices* devices, dr_request_id request) {
    return validRequest(devices, request) ? request->code : 0;
}

aud_error_t dr_devices_set_request_code(dr_devices* devices, dr_request_id request, int code) {
    if (!validRequest(devices, request)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    request->code = code;
    return AUD_SUCCESS;
}

aud_error_t dr_devices_set_request_result(dr_devices* devices, dr_request_id request,
                                          aud_error_t result) {
    if (!validRequest(devices, request)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    request->result = result;
    return AUD_SUCCESS;
}

dr_packet* dr_devices_get_request_packet(dr_devices* devices, dr_request_id request) {
    if (!validRequest(devices, request)) {
        return nullptr;
    }
    request->packet.capacity = 0;
    return &request->packet;
}

void* dr_devices_get_batch_data(const dr_devices* devices, dr_request_id request) {
    return validRequest(devices, request) ? request->batch_data : nullptr;
}

uint16_t dr_request_version(const dr_device* device) {
    return device->version < DR_ARCP_MAX_VERSION ? device->version : uint16_t{DR_ARCP_MAX_VERSION};
}

dr_packet* dr_request_begin(dr_request* request, uint16_t opcode) {
    request->packet.capacity = 0;
    dr_arcp_write_header(&request->packet, dr_request_version(request->owner), opcode);
    return &request->packet;
}

aud_error_t dr_request_send(dr_request* request) {
    dr_device* device = request->owner;
    return dr_devices_send_request(device->devices, request, &device->addresses);
}
