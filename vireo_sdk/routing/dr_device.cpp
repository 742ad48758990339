#include "routing/dr_device.h"

#include <cstring>
#include <new>

#include "platform/aud_log.h"
#include "routing/dr_internal.h"
#include "util/aud_interface_lookup.h"
#include "util/aud_text.h"

namespace {

const char* const kComponentNames[DR_DEVICE_NUM_COMPONENTS] = {
    "TXCHANNELS", "RXCHANNELS", "TXLABELS", "TXFLOWS", "RXFLOWS", "PROPERTIES"};
const char* const kStateNames[] = {"ERROR", "RESOLVING", "RESOLVED", "QUERYING", "ACTIVE"};

bool hasTx(const dr_device* device) {
    return !device->txchannels.empty();
}

bool hasRx(const dr_device* device) {
    return !device->rxchannels.empty();
}

// Takes the device out of its context and frees what it holds, all but the record itself.
void detach(dr_device* device) {
    aud_list_remove(&device->link);
    dr_device_addresses_release(&device->addresses);
    dr_device_free_data(device);
}

void removeAndFree(dr_device* device) {
    detach(device);
    delete device;
}

// Explicit addresses: every non-zero one becomes a valid entry.
aud_error_t openExplicit(dr_device* device, const dr_device_open_config* config) {
    unsigned stored = 0;
    for (unsigned i = 0; i < device->addresses.count; ++i) {
        const dr_device_open_address& given = config->addresses[i];
        if (given.address == 0) {
            continue;
        }
        dr_device_address& entry = device->addresses.entries[i];
        aud_sockaddr_set(&entry.address, given.address,
                         given.port ? given.port : uint16_t{DR_DEVICE_DEFAULT_PORT});
        entry.flags = DR_ADDRESS_VALID;
        ++stored;
    }
    if (stored == 0) {
        return AUD_ERR_NOTFOUND;
    }
    device->state = DR_DEVICE_STATE_RESOLVED;
    return AUD_SUCCESS;
}

aud_error_t openOnInterfaces(dr_device* device, const dr_device_open_config* config) {
    aud_interface_request requests[DR_DEVICE_MAX_ADDRESSES] = {};
    for (unsigned i = 0; i < device->addresses.count; ++i) {
        requests[i].flags = config->interfaces[i].flags & AUD_INTERFACE_RESOLVED;
        requests[i].index = config->interfaces[i].index;
        aud_wcslcpy(requests[i].name, config->interfaces[i].adapter_name, AUD_INTERFACE_NAME_SIZE);
    }
    const aud_error_t looked_up = aud_interface_resolve(requests, device->addresses.count);
    if (looked_up != AUD_SUCCESS) {
        return looked_up;
    }
    aud_error_t last = AUD_ERR_NOTFOUND;
    bool started = false;
    for (unsigned i = 0; i < device->addresses.count; ++i) {
        if (!(requests[i].flags & AUD_INTERFACE_BY_INDEX) || requests[i].index == 0) {
            continue;
        }
        const aud_error_t result =
            dr_device_addresses_resolve_address_at_index(&device->addresses, i, requests[i].index);
        if (result == AUD_SUCCESS) {
            started = true;
        } else {
            last = result;
        }
    }
    if (!started) {
        return last;
    }
    device->state = DR_DEVICE_STATE_RESOLVING;
    return AUD_SUCCESS;
}

}  // namespace

namespace {
// Hands a reply to the handler its status calls for.
void dispatch(dr_device* device, dr_request* request, const dr_message* message);
}  // namespace

void dr_device_notify(dr_device* device, uint32_t changes) {
    if (changes == 0) {
        return;
    }
    if (device->in_callback) {
        device->pending_changes |= changes;
    } else if (device->changed) {
        device->changed(device, changes);
    }
}

void dr_device_end_callback(dr_device* device) {
    if (device->closed) {
        delete device;
        return;
    }
    device->in_callback = false;
    const uint32_t changes = device->pending_changes;
    device->pending_changes = 0;
    if (changes && device->changed) {
        device->changed(device, changes);
    }
}

aud_error_t dr_device_open(dr_devices* devices, const char* name, dr_device** device) {
    dr_device_open_config config{};
    config.name = name;
    return dr_device_open_with_config(devices, &config, device);
}

aud_error_t dr_device_open_with_config(dr_devices* devices, const dr_device_open_config* config,
                                       dr_device** out) {
    if (!devices) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    dr_log(devices->env, AUD_LOG_DEBUG, "%s: starting\n", __func__);
    if (!out || !config) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    *out = nullptr;
    const char* name = config->name ? config->name : "";
    unsigned count = config->num_entries;
    uint32_t flags = config->flags;
    if (name[0] != '\0' && count == 0) {
        count = 1;
        flags = 0;
    } else if (name[0] == '\0' && (!(flags & DR_DEVICE_OPEN_EXPLICIT_ADDRESSES) || count == 0)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (count > DR_DEVICE_MAX_ADDRESSES || std::strlen(name) > DR_DEVICE_OPEN_NAME_MAX) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    dr_device* device = new (std::nothrow) dr_device();
    if (!device) {
        return AUD_ERR_NOMEMORY;
    }
    device->devices = devices;
    device->env = devices->env;
    device->version = DR_ARCP_MAX_VERSION;
    aud_strlcpy(device->open_name, name, sizeof device->open_name);
    aud_list_node_init(&device->link, device);
    dr_device_addresses_init(&device->addresses, device, count);
    aud_list_append(&devices->devices, &device->link);

    aud_error_t result;
    if (flags & DR_DEVICE_OPEN_EXPLICIT_ADDRESSES) {
        result = openExplicit(device, config);
    } else if (flags & DR_DEVICE_OPEN_INTERFACES) {
        result = openOnInterfaces(device, config);
    } else {
        result = dr_device_addresses_resolve_address_at_index(&device->addresses, 0, 0);
        if (result == AUD_SUCCESS) {
            device->state = DR_DEVICE_STATE_RESOLVING;
        }
    }
    if (result != AUD_SUCCESS) {
        removeAndFree(device);
        return result;
    }
    dr_log(devices->env, AUD_LOG_DEBUG, "%s: finished\n", __func__);
    *out = device;
    return AUD_SUCCESS;
}

aud_error_t dr_device_close(dr_device* device) {
    if (!device) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    dr_devices* devices = device->devices;
    dr_log(device->env, AUD_LOG_DEBUG, "%s: starting, device '%s'\n", __func__,
           dr_device_get_name(device));
    for (unsigned i = 0; i < DR_DEVICES_NUM_REQUESTS; ++i) {
        dr_request* request = &devices->requests[i];
        if (request->in_use && request->owner == device) {
            dr_devices_cancel_request(devices, request);
        }
    }
    aud_env* env = device->env;
    if (device->in_callback) {
        // Closed by a callback of one of its own replies: the record outlives that reply.
        detach(device);
        device->closed = true;
    } else {
        removeAndFree(device);
    }
    dr_log(env, AUD_LOG_DEBUG, "%s: finished\n", __func__);
    return AUD_SUCCESS;
}

void dr_device_free_data(dr_device* device) {
    for (dr_txchannel* channel : device->txchannels) {
        delete channel;
    }
    for (dr_rxchannel* channel : device->rxchannels) {
        delete channel;
    }
    device->txchannels.clear();
    device->rxchannels.clear();
    device->labels.clear();
    device->txflows.clear();
    device->rxflows.clear();
    device->rxflow_table16.clear();
    for (std::vector<uint32_t>& table : device->rxflow_tables32) {
        table.clear();
    }
    device->have_capabilities = false;
}

dr_device_state dr_device_get_state(const dr_device* device) {
    return device ? device->state : DR_DEVICE_STATE_ERROR;
}

aud_error_t dr_device_set_state(dr_device* device, dr_device_state state, aud_error_t error,
                                const char* message) {
    if (!device) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (state == device->state) {
        return AUD_SUCCESS;
    }
    dr_log(device->env, AUD_LOG_DEBUG, "%s(%s): Setting state to %s (was %s)\n", __func__,
           dr_device_get_name(device), dr_device_state_to_string(state),
           dr_device_state_to_string(device->state));
    device->error = error;
    aud_strlcpy(device->error_message, message ? message : "", sizeof device->error_message);
    device->state = state;
    dr_device_notify(device, DR_DEVICE_CHANGE_STATE);
    return AUD_SUCCESS;
}

aud_error_t dr_device_get_error(const dr_device* device) {
    return device ? device->error : AUD_ERR_INVALIDPARAMETER;
}

const char* dr_device_get_error_message(const dr_device* device) {
    return device ? device->error_message : "";
}

aud_error_t dr_device_get_address(const dr_device* device, uint32_t* address, uint16_t* port) {
    if (!device || !address || !port) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (device->state < DR_DEVICE_STATE_RESOLVED) {
        return AUD_ERR_INVALIDSTATE;
    }
    const dr_device_address& entry = device->addresses.entries[0];
    if ((entry.flags & DR_ADDRESS_VALID) && entry.address.in.sin_family == AF_INET) {
        *address = entry.address.in.sin_addr.s_addr;
        *port = aud_sockaddr_get_port(&entry.address);
    } else {
        *address = 0;
        *port = 0;
    }
    return AUD_SUCCESS;
}

dr_devices* dr_device_get_devices(const dr_device* device) {
    return device ? device->devices : nullptr;
}

const char* dr_device_get_name(const dr_device* device) {
    if (!device) {
        return "";
    }
    if (device->advertised_name[0]) {
        return device->advertised_name;
    }
    return device->name[0] ? device->name : device->open_name;
}

aud_error_t dr_device_set_changed_callback(dr_device* device, dr_device_changed_callback callback) {
    if (!device) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    device->changed = callback;
    return AUD_SUCCESS;
}

aud_error_t dr_device_set_context(dr_device* device, void* context) {
    if (!device) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    device->context = context;
    return AUD_SUCCESS;
}

void* dr_device_get_context(const dr_device* device) {
    return device ? device->context : nullptr;
}

void dr_device_handle_response(dr_device* device, dr_request* request, const aud_sockaddr* source,
                               const dr_message* message) {
    dr_devices* devices = device->devices;
    if (!dr_device_addresses_has_port(&device->addresses, aud_sockaddr_get_port(source))) {
        dr_log(device->env, AUD_LOG_ERROR,
               "%s: Message source port does not match any known addresses!\n", __func__);
        dr_devices_complete_request(devices, request, AUD_ERR_ADDRNOTAVAIL);
        dr_device_set_state(device, DR_DEVICE_STATE_ERROR, AUD_ERR_INVALIDDATA,
                            "Invalid source port in recved message");
        return;
    }
    device->in_callback = true;
    device->pending_changes = 0;
    try {
        dispatch(device, request, message);
    } catch (const std::bad_alloc&) {
        if (request->in_use && request->owner == device) {
            dr_devices_complete_request(devices, request, AUD_ERR_NOMEMORY);
        }
    }
    dr_device_end_callback(device);
}

namespace {

void dispatch(dr_device* device, dr_request* request, const dr_message* message) {
    const uint16_t opcode = dr_arcp_packet_opcode(&request->packet);
    const dr_opcode_info* info = dr_opcode_find(opcode);
    const unsigned status = message->status;
    const unsigned code = status & 0x0FFFu;
    if (!info) {
        dr_reply_complete_mapped(device, request, message, false);
    } else if (code == DR_ARCP_STATUS_SUCCESS || (status & 0x8000u) ||
               (info->listing && code == DR_ARCP_STATUS_MORE)) {
        if (info->record_size != 0 && !dr_arcp_records_fit(message, info->record_size)) {
            dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
        } else {
            info->on_reply(device, request, message, code == DR_ARCP_STATUS_MORE && info->listing);
        }
    } else if (opcode == 0x1000 && (status == 0x000F || status == 0x0601) &&
               message->length == DR_ARCP_HEADER_SIZE) {
        dr_capabilities_no_data(device, request, message, false);
    } else if ((status & 0x0F00u) || (code >= 0x030 && code <= 0x03F)) {
        info->on_error(device, request, message, false);
    } else {
        dr_reply_complete_mapped(device, request, message, false);
    }
}

}  // namespace

void dr_reply_complete_mapped(dr_device* device, dr_request* request, const dr_message* message,
                              bool) {
    dr_devices_complete_request(device->devices, request, dr_arcp_status_to_error(message->status));
}

void dr_request_fail(dr_device* device, dr_request* request, aud_error_t code,
                     const char* error_message) {
    if (error_message) {
        dr_device_set_state(device, DR_DEVICE_STATE_ERROR, code, error_message);
    }
    dr_devices_complete_request(device->devices, request, code);
}

aud_error_t dr_device_query_capabilities(dr_device* device, dr_request_callback callback,
                                         dr_request_id* out) {
    if (!device || !out) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (device->state == DR_DEVICE_STATE_ERROR || device->state == DR_DEVICE_STATE_RESOLVING) {
        return AUD_ERR_INVALIDSTATE;
    }
    dr_request* request = nullptr;
    aud_error_t result = dr_devices_allocate_request(device->devices, device, callback, &request);
    if (result != AUD_SUCCESS) {
        return result;
    }
    dr_request_begin(request, 0x1000);
    result = dr_request_send(request);
    if (result != AUD_SUCCESS) {
        dr_devices_cancel_request(device->devices, request);
        return result;
    }
    *out = request;
    device->followups = DR_FOLLOWUP_PROP_AVAIL | DR_FOLLOWUP_NAMES;
    if (device->state == DR_DEVICE_STATE_RESOLVED) {
        dr_device_set_state(device, DR_DEVICE_STATE_QUERYING, AUD_SUCCESS, nullptr);
    }
    return AUD_SUCCESS;
}

aud_error_t dr_device_update_component(dr_device* device, dr_request_callback callback,
                                       dr_request_id* out, dr_device_component component) {
    if (!device || !out) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (device->state != DR_DEVICE_STATE_ACTIVE) {
        return AUD_ERR_INVALIDSTATE;
    }
    if (unsigned(component) >= DR_DEVICE_NUM_COMPONENTS) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    *out = nullptr;
    if (!device->stale[component]) {
        return AUD_SUCCESS;
    }
    dr_request_builder build = nullptr;
    switch (component) {
        case DR_DEVICE_COMPONENT_TXCHANNELS:
            build = dr_txchannels_build;
            break;
        case DR_DEVICE_COMPONENT_RXCHANNELS:
            build = dr_rxchannels_build;
            break;
        case DR_DEVICE_COMPONENT_TXLABELS:
            build = dr_labels_build;
            break;
        case DR_DEVICE_COMPONENT_TXFLOWS:
            build = dr_txflows_build;
            break;
        case DR_DEVICE_COMPONENT_RXFLOWS:
            build = dr_rxflows_build;
            break;
        default:
            build = dr_properties_build;
            break;
    }
    dr_request* request = nullptr;
    aud_error_t result = dr_devices_allocate_request(device->devices, device, callback, &request);
    if (result != AUD_SUCCESS) {
        return result;
    }
    request->page_from = 1;
    result = build(device, request);
    if (result == AUD_ERR_NOTFOUND) {
        // Flagged, but no channel or label entry is stale any more.
        dr_devices_cancel_request(device->devices, request);
        dr_device_clear_stale(device, component);
        return AUD_SUCCESS;
    }
    if (result == AUD_SUCCESS) {
        if (component == DR_DEVICE_COMPONENT_TXFLOWS || component == DR_DEVICE_COMPONENT_RXFLOWS) {
            dr_flows_clear(device, component == DR_DEVICE_COMPONENT_RXFLOWS);
        }
        result = dr_request_send(request);
    }
    if (result != AUD_SUCCESS) {
        dr_devices_cancel_request(device->devices, request);
        return result;
    }
    *out = request;
    return AUD_SUCCESS;
}

bool dr_device_is_component_stale(const dr_device* device, dr_device_component component) {
    return device && unsigned(component) < DR_DEVICE_NUM_COMPONENTS && device->stale[component];
}

aud_error_t dr_device_mark_component_stale(dr_device* device, dr_device_component component) {
    if (!device || unsigned(component) >= DR_DEVICE_NUM_COMPONENTS) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const bool tx_side = component == DR_DEVICE_COMPONENT_TXCHANNELS ||
                         component == DR_DEVICE_COMPONENT_TXLABELS ||
                         component == DR_DEVICE_COMPONENT_TXFLOWS;
    const bool rx_side =
        component == DR_DEVICE_COMPONENT_RXCHANNELS || component == DR_DEVICE_COMPONENT_RXFLOWS;
    if ((tx_side && !hasTx(device)) || (rx_side && !hasRx(device))) {
        return AUD_SUCCESS;
    }
    bool changed = !device->stale[component];
    device->stale[component] = true;
    if (device->state == DR_DEVICE_STATE_ACTIVE) {
        if (component == DR_DEVICE_COMPONENT_TXCHANNELS) {
            for (dr_txchannel* channel : device->txchannels) {
                changed |= !channel->stale;
                channel->stale = true;
            }
        } else if (component == DR_DEVICE_COMPONENT_RXCHANNELS) {
            for (dr_rxchannel* channel : device->rxchannels) {
                changed |= !channel->stale;
                channel->stale = true;
            }
        } else if (component == DR_DEVICE_COMPONENT_TXLABELS) {
            for (dr_label& label : device->labels) {
                changed |= !label.stale;
                label.stale = true;
            }
        }
    }
    if (changed) {
        dr_device_notify(device, DR_DEVICE_CHANGE_STALE);
    }
    return AUD_SUCCESS;
}

void dr_device_clear_stale(dr_device* device, dr_device_component component) {
    if (device->stale[component]) {
        device->stale[component] = false;
        dr_device_notify(device, DR_DEVICE_CHANGE_STALE);
    }
}

const char* dr_device_component_to_string(int component) {
    return component >= 0 && component < DR_DEVICE_NUM_COMPONENTS ? kComponentNames[component]
                                                                  : "UNKNOWN";
}

const char* dr_device_state_to_string(int state) {
    return state >= 0 && state <= DR_DEVICE_STATE_ACTIVE ? kStateNames[state] : "UNKNOWN";
}

aud_error_t dr_device_get_status_flags(const dr_device* device, uint32_t* flags) {
    if (!device || !flags) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (device->state != DR_DEVICE_STATE_ACTIVE) {
        return AUD_ERR_INVALIDSTATE;
    }
    *flags = device->status_flags;
    return AUD_SUCCESS;
}

uint16_t dr_device_get_arcp_version(const dr_device* device) {
    return device ? device->version : 0;
}

bool dr_device_is_safe_mode(const dr_device* device) {
    return device && device->safe_mode;
}

aud_error_t dr_device_get_router_version(const dr_device* device, uint8_t* major, uint8_t* minor,
                                         uint16_t* patch) {
    if (!device || !major || !minor || !patch) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    *major = device->router_major;
    *minor = device->router_minor;
    *patch = device->router_patch;
    return AUD_SUCCESS;
}

aud_error_t dr_device_get_software_version(const dr_device* device, uint8_t version[3]) {
    if (!device || !version) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    std::memcpy(version, device->software, sizeof device->software);
    return AUD_SUCCESS;
}
