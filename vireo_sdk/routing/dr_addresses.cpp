#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

#include "platform/aud_log.h"
#include "routing/dr_internal.h"
#include "util/aud_text.h"
#include "util/dt_dns_sd.h"

namespace {

constexpr const char* kServiceType = "_vireo-arc._udp.";
constexpr const char* kDomain = "local";
constexpr size_t kTxtValueMax = 63;

dr_devices* devicesOf(const dr_device_address* entry) {
    return entry->table->device->devices;
}

aud_env* envOf(const dr_device_address* entry) {
    return entry->table->device->env;
}

const char* nameOf(const dr_device_address* entry) {
    return dr_device_get_name(entry->table->device);
}

void releaseReference(dr_device_address* entry) {
    if (entry->ref) {
        DNSServiceRefDeallocate(entry->ref);
        entry->ref = nullptr;
    }
    if (entry->socket != AUD_SOCKET_INVALID) {
        entry->socket = AUD_SOCKET_INVALID;
        dr_devices_report_sockets_changed(devicesOf(entry));
    }
    entry->flags &= ~uint32_t{DR_ADDRESS_RESOLVING | DR_ADDRESS_QUERYING};
}

// An answer on an interface other than the first answer's (and not the loopback) is ignored.
bool acceptInterface(dr_device_address* entry, uint32_t interface_index) {
    if (entry->answer_interface == 0) {
        entry->answer_interface = interface_index;
        return true;
    }
    return interface_index == entry->answer_interface ||
           interface_index == devicesOf(entry)->loopback.index;
}

// A TXT value as a terminated copy: false when absent, empty or longer than 63 bytes.
bool txtValue(uint16_t txt_length, const unsigned char* txt, const char* key,
              char (&value)[kTxtValueMax + 1]) {
    uint8_t length = 0;
    const void* found = TXTRecordGetValuePtr(txt_length, txt, key, &length);
    if (!found || length == 0 || length > kTxtValueMax) {
        return false;
    }
    std::memcpy(value, found, length);
    value[length] = '\0';
    return true;
}

bool readVersion(const char* text, unsigned* major, unsigned* minor, unsigned* patch) {
    return std::sscanf(text, "%u.%u.%u", major, minor, patch) == 3;
}

// The TXT record: safe mode, then "arcp_vers" and "router_vers".
void takeTxt(dr_device_address* entry, uint16_t txt_length, const unsigned char* txt) {
    dr_device* device = entry->table->device;
    aud_env* env = device->env;
    if (TXTRecordContainsKey(txt_length, txt, "safe")) {
        dr_log(env, AUD_LOG_ERROR, "%s: txt record has 'safe' key, marking as being in safe mode\n",
               "device_address_resolve_callback");
        device->safe_mode = true;
        return;
    }
    char value[kTxtValueMax + 1];
    unsigned major = 0, minor = 0, patch = 0;
    if (!txtValue(txt_length, txt, "arcp_vers", value)) {
        dr_log(env, AUD_LOG_ERROR, "%s: txt record has missing or empty field 'arcp_vers'\n",
               "device_address_resolve_callback");
        entry->table->error = AUD_ERR_DNSSDFAIL;
    } else if (!readVersion(value, &major, &minor, &patch)) {
        dr_log(env, AUD_LOG_ERROR, "%s: error parsing txt record field 'arcp_vers'\n",
               "device_address_resolve_callback");
        entry->table->error = AUD_ERR_DNSSDFAIL;
    } else {
        device->version =
            static_cast<uint16_t>((major << 12) | ((minor << 8) & 0x0FFFu) | (patch & 0xFFu));
        dr_log(env, AUD_LOG_DEBUG, "%s: device %s has arcp version %u.%u.%u (0x%04x)\n",
               "device_address_resolve_callback", dr_device_get_name(device), major, minor, patch,
               unsigned{device->version});
    }
    if (!txtValue(txt_length, txt, "router_vers", value)) {
        dr_log(env, AUD_LOG_ERROR, "%s: txt record has missing or empty field 'router_vers'\n",
               "device_address_resolve_callback");
        entry->table->error = AUD_ERR_DNSSDFAIL;
    } else if (!readVersion(value, &major, &minor, &patch) || major == 0) {
        dr_log(env, AUD_LOG_ERROR, "%s: error parsing txt record field 'router_vers'\n",
               "device_address_resolve_callback");
        entry->table->error = AUD_ERR_DNSSDFAIL;
    } else {
        device->router_major = static_cast<uint8_t>(major);
        device->router_minor = static_cast<uint8_t>(minor);
        device->router_patch = static_cast<uint16_t>(patch);
        dr_log(env, AUD_LOG_DEBUG, "%s: device %s has apec version %u.%u.%u\n",
               "device_address_resolve_callback", dr_device_get_name(device), major, minor, patch);
    }
}

void device_address_resolve_callback(DNSServiceRef, DNSServiceFlags flags, uint32_t interface_index,
                                     DNSServiceErrorType error, const char* fullname,
                                     const char* host, uint16_t port, uint16_t txt_length,
                                     const unsigned char* txt, void* context) {
    dr_device_address* entry = static_cast<dr_device_address*>(context);
    aud_env* env = envOf(entry);
    const char* name = nameOf(entry);
    if (error != kDNSServiceErr_NoError) {
        dr_log(env, AUD_LOG_ERROR, "%s: dnssd error resolving record '%s': %d\n", __func__, name,
               int(error));
        entry->table->error = AUD_ERR_DNSSDFAIL;
        return;
    }
    if (!acceptInterface(entry, interface_index)) {
        dr_log(env, AUD_LOG_DEBUG,
               "%s: Resolved device '%s' on invalid interface index %u using socket %d\n", __func__,
               name, interface_index, entry->socket);
        return;
    }
    if (entry->pending_port != 0) {
        return;
    }
    dr_log(env, AUD_LOG_DEBUG, "%s: Resolved device '%s' using socket %d\n", __func__, name,
           entry->socket);
    dr_log(env, AUD_LOG_DEBUG,
           "%s: interface_index=%u flags=0x%08x fullname=%s hosttarget=%s port=%u)\n", __func__,
           interface_index, flags, fullname ? fullname : "", host ? host : "",
           unsigned{ntohs(port)});
    const dr_devices* devices = devicesOf(entry);
    if (devices->loopback.index != 0 && interface_index == devices->loopback.index) {
        entry->address = devices->loopback.address;
        aud_sockaddr_set_port(&entry->address, ntohs(port));
        entry->flags |= DR_ADDRESS_VALID;
        entry->host[0] = '\0';
        entry->pending_port = 0;
    } else {
        aud_strlcpy(entry->host, host ? host : "", sizeof entry->host);
        entry->pending_port = ntohs(port);
    }
    takeTxt(entry, txt ? txt_length : 0, txt);
}

void device_address_query_callback(DNSServiceRef, DNSServiceFlags flags, uint32_t interface_index,
                                   DNSServiceErrorType error, const char*, uint16_t, uint16_t,
                                   uint16_t rdlen, const void* rdata, uint32_t, void* context) {
    dr_device_address* entry = static_cast<dr_device_address*>(context);
    if (entry->pending_port == 0) {
        return;
    }
    aud_env* env = envOf(entry);
    const char* name = nameOf(entry);
    if (error != kDNSServiceErr_NoError) {
        dr_log(env, AUD_LOG_ERROR, "%s: dnssd error querying device %s: %d\n", __func__, name,
               int(error));
        entry->table->error = AUD_ERR_DNSSDFAIL;
        return;
    }
    if (!acceptInterface(entry, interface_index)) {
        dr_log(env, AUD_LOG_DEBUG, "%s: Query result for %s on invalid interface %u\n", __func__,
               name, interface_index);
        return;
    }
    if (rdlen != 4 || !rdata) {
        dr_log(env, AUD_LOG_ERROR, "%s: invalid rdlen querying device %s: %d\n", __func__, name,
               int(rdlen));
        entry->table->error = AUD_ERR_INVALIDDATA;
        return;
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(rdata);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    dr_log(env, AUD_LOG_DEBUG,
           "%s: queried device %s on interface %u using socket %d (flags=0x%08x host=%s)\n",
           __func__, name, interface_index, entry->socket, flags, text);
    uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    aud_sockaddr_set(&entry->address, value, entry->pending_port);
    entry->host[0] = '\0';
    entry->flags |= DR_ADDRESS_VALID;
    entry->pending_port = 0;
}

aud_error_t startQuery(dr_device_address* entry) {
    aud_env* env = envOf(entry);
    const char* name = nameOf(entry);
    DNSServiceRef ref = nullptr;
    const DNSServiceErrorType error = DNSServiceQueryRecord(
        &ref, kDNSServiceFlagsLongLivedQuery | kDNSServiceFlagsForceMulticast, 0, entry->host,
        kDNSServiceType_A, kDNSServiceClass_IN, device_address_query_callback, entry);
    if (error != kDNSServiceErr_NoError || !ref) {
        dr_log(env, AUD_LOG_ERROR, "%s: Error querying device %s: %d\n",
               "dr_device_address_process_socket", name, int(error));
        return AUD_ERR_DNSSDFAIL;
    }
    entry->ref = ref;
    entry->socket = DNSServiceRefSockFD(ref);
    entry->flags |= DR_ADDRESS_QUERYING;
    dr_log(env, AUD_LOG_DEBUG, "%s: Querying device %s using socket %d\n",
           "dr_device_address_process_socket", name, entry->socket);
    dr_devices_report_sockets_changed(devicesOf(entry));
    return AUD_SUCCESS;
}

// One entry's DNS-SD socket, known to be in the ready set.
aud_error_t dr_device_address_process_socket(dr_device_address* entry) {
    dr_device* device = entry->table->device;
    aud_env* env = device->env;
    const char* function = __func__;
    aud_socket_set check{};
    aud_socket_set_add(&check, entry->socket);
    const aud_time zero = {0, 0};
    unsigned ready = 0;
    const aud_error_t selected = aud_socket_select(&check, nullptr, nullptr, &zero, &ready);
    if (selected == AUD_SUCCESS && ready == 0) {
        std::fprintf(stderr,
                     "%s(device=%s state=%d sdref=%p socket=%d): ERROR, about to read blocked "
                     "mDNS socket (select returned %d)\n",
                     function, dr_device_get_name(device), int(device->state),
                     static_cast<void*>(entry->ref), entry->socket, 0);
        return AUD_ERR_INVALIDSTATE;
    }
    if (selected != AUD_SUCCESS) {
        std::fprintf(stderr,
                     "%s(device=%s state=%d sdref=%p socket=%d): ERROR, about to read blocked "
                     "mDNS socket (select returned %d) errno=%d\n",
                     function, dr_device_get_name(device), int(device->state),
                     static_cast<void*>(entry->ref), entry->socket, -1, int(selected));
    }
    const int processed = dt_dns_sd_process_result(entry->socket, entry->ref);
    if (processed != kDNSServiceErr_NoError) {
        dr_log(env, AUD_LOG_ERROR, "%s: dt_dns_sd_process_result failed: %d\n", function,
               processed);
        releaseReference(entry);
        return AUD_ERR_DNSSDFAIL;
    }
    if (entry->table->error != AUD_SUCCESS) {
        dr_log(env, AUD_LOG_ERROR, "%s: dt_dns_sd_process_result finished, sonavent error=%d!\n",
               function, entry->table->error);
        releaseReference(entry);
        return entry->table->error;
    }
    if (entry->flags & DR_ADDRESS_QUERYING) {
        if (entry->flags & DR_ADDRESS_VALID) {
            dr_log(env, AUD_LOG_DEBUG,
                   "%s: dt_dns_sd_process_result finished, queried an address\n", function);
            releaseReference(entry);
            entry->resolved = true;
        } else {
            dr_log(env, AUD_LOG_DEBUG,
                   "%s: dt_dns_sd_process_result finished, query still pending\n", function);
        }
        return AUD_SUCCESS;
    }
    if (!(entry->flags & DR_ADDRESS_RESOLVING)) {
        return AUD_ERR_INVALIDSTATE;
    }
    if (entry->flags & DR_ADDRESS_VALID) {
        dr_log(env, AUD_LOG_DEBUG, "%s: dt_dns_sd_process_result finished, resolved an address\n",
               function);
        releaseReference(entry);
        entry->resolved = true;
        return AUD_SUCCESS;
    }
    if (entry->host[0] == '\0') {
        dr_log(env, AUD_LOG_DEBUG, "%s: dt_dns_sd_process_result finished, resolve still pending\n",
               function);
        return AUD_SUCCESS;
    }
    releaseReference(entry);
    dr_log(env, AUD_LOG_DEBUG,
           "%s: dt_dns_sd_process_result finished, resolve finished, time to query\n", function);
    return startQuery(entry);
}

}  // namespace

void dr_device_addresses_init(dr_device_addresses* table, dr_device* device, unsigned count) {
    table->device = device;
    table->count = count;
    table->error = AUD_SUCCESS;
    for (dr_device_address& entry : table->entries) {
        entry = dr_device_address{};
        entry.table = table;
        entry.socket = AUD_SOCKET_INVALID;
    }
}

aud_error_t dr_device_addresses_resolve_address_at_index(dr_device_addresses* table, unsigned index,
                                                         uint32_t interface_index) {
    if (index >= table->count) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    dr_device_address* entry = &table->entries[index];
    if (entry->socket != AUD_SOCKET_INVALID || entry->ref) {
        releaseReference(entry);
    }
    entry->flags &= ~uint32_t{DR_ADDRESS_VALID};
    entry->answer_interface = 0;
    entry->pending_port = 0;
    entry->interface_index = interface_index;
    dr_device* device = table->device;
    DNSServiceRef ref = nullptr;
    const DNSServiceErrorType error =
        DNSServiceResolve(&ref, 0, 0, device->open_name, kServiceType, kDomain,
                          device_address_resolve_callback, entry);
    if (error != kDNSServiceErr_NoError || !ref) {
        dr_log(device->env, AUD_LOG_ERROR, "%s: Error resolving device '%s': %d\n", __func__,
               device->open_name, int(error));
        return AUD_ERR_DNSSDFAIL;
    }
    entry->ref = ref;
    entry->socket = DNSServiceRefSockFD(ref);
    dr_log(device->env, AUD_LOG_DEBUG,
           "%s: Resolving device '%s' on interface %d using socket %d\n", __func__,
           device->open_name, int(interface_index), entry->socket);
    entry->flags |= DR_ADDRESS_RESOLVING;
    dr_devices_report_sockets_changed(device->devices);
    return AUD_SUCCESS;
}

void dr_device_addresses_release(dr_device_addresses* table) {
    for (unsigned i = 0; i < table->count; ++i) {
        releaseReference(&table->entries[i]);
    }
}

void dr_device_addresses_get_sockets(const dr_device_addresses* table, aud_socket_set* set) {
    for (unsigned i = 0; i < table->count; ++i) {
        aud_socket_set_add(set, table->entries[i].socket);
    }
}

bool dr_device_addresses_has_port(const dr_device_addresses* table, uint16_t port) {
    for (unsigned i = 0; i < table->count; ++i) {
        const dr_device_address& entry = table->entries[i];
        if ((entry.flags & DR_ADDRESS_VALID) && aud_sockaddr_get_port(&entry.address) == port) {
            return true;
        }
    }
    return false;
}

aud_error_t dr_device_process_sockets(dr_device* device, aud_socket_set* ready) {
    device->pending_changes = 0;
    device->in_callback = true;
    dr_device_addresses* table = &device->addresses;
    aud_error_t result = AUD_SUCCESS;
    bool resolved = false;
    for (unsigned i = 0; i < table->count && result == AUD_SUCCESS; ++i) {
        dr_device_address* entry = &table->entries[i];
        const aud_socket_t socket = entry->socket;
        if (socket == AUD_SOCKET_INVALID || !aud_socket_set_contains(ready, socket)) {
            continue;
        }
        entry->resolved = false;
        result = dr_device_address_process_socket(entry);
        resolved |= entry->resolved;
        dr_log(device->env, AUD_LOG_DEBUG,
               "%s: removing processed socket %d (%s) from active sockets\n",
               "dr_device_addresses_process_sockets", socket, dr_device_get_name(device));
        aud_socket_set_remove(ready, socket);
    }
    if (resolved) {
        dr_device_notify(device, DR_DEVICE_CHANGE_ADDRESSES);
        bool valid = false;
        for (unsigned i = 0; i < table->count; ++i) {
            valid |= (table->entries[i].flags & DR_ADDRESS_VALID) != 0;
        }
        if (device->state == DR_DEVICE_STATE_RESOLVING && valid) {
            dr_device_set_state(device, DR_DEVICE_STATE_RESOLVED, AUD_SUCCESS, nullptr);
        }
    }
    dr_device_end_callback(device);
    return result;
}
