#pragma once

#include <cstdint>

#include "platform/aud_error.h"
#include "routing/dr_devices.h"

// A routed device: opened by name (resolved through DNS-SD) or by explicit addresses, asked
// for its capabilities, then kept current one component at a time.

enum dr_device_state {
    DR_DEVICE_STATE_ERROR = 0,
    DR_DEVICE_STATE_RESOLVING = 1,
    DR_DEVICE_STATE_RESOLVED = 2,
    DR_DEVICE_STATE_QUERYING = 3,
    DR_DEVICE_STATE_ACTIVE = 4
};

enum dr_device_component {
    DR_DEVICE_COMPONENT_TXCHANNELS = 0,
    DR_DEVICE_COMPONENT_RXCHANNELS = 1,
    DR_DEVICE_COMPONENT_TXLABELS = 2,
    DR_DEVICE_COMPONENT_TXFLOWS = 3,
    DR_DEVICE_COMPONENT_RXFLOWS = 4,
    DR_DEVICE_COMPONENT_PROPERTIES = 5,
    DR_DEVICE_NUM_COMPONENTS = 6
};

// Change flags of the changed callback, combined.
enum {
    DR_DEVICE_CHANGE_TXCHANNELS = 0x001,
    DR_DEVICE_CHANGE_RXCHANNELS = 0x002,
    DR_DEVICE_CHANGE_TXLABELS = 0x004,
    DR_DEVICE_CHANGE_TXFLOWS = 0x008,
    DR_DEVICE_CHANGE_RXFLOWS = 0x010,
    DR_DEVICE_CHANGE_PROPERTIES = 0x020,
    DR_DEVICE_CHANGE_NAMES = 0x040,
    DR_DEVICE_CHANGE_STATE = 0x080,
    DR_DEVICE_CHANGE_STALE = 0x100,
    DR_DEVICE_CHANGE_STATUS = 0x200,
    DR_DEVICE_CHANGE_ADDRESSES = 0x400,
    DR_DEVICE_CHANGE_RXFLOW_SLOTS = 0x800,
    DR_DEVICE_CHANGE_RXFLOW_TABLE0 = 0x1000  // .. 0x10000: the five per-flow counter tables
};

// The error code of a device whose replies name ids outside its capabilities, or whose
// capabilities changed while ACTIVE.
enum { DR_ERR_PROTOCOL = 320 };

// Status flags (dr_device_get_status_flags).
enum {
    DR_DEVICE_STATUS_ADVERTISED_NAME = 0x1,  // or capability flag 0x20000
    DR_DEVICE_STATUS_NO_CHANNELS = 0x2,      // or capability flag 0x10000, or no capability data
    DR_DEVICE_STATUS_CAPABILITY_2 = 0x4      // capability flag 0x2
};

typedef void (*dr_device_changed_callback)(dr_device* device, uint32_t changes);

enum {
    DR_DEVICE_MAX_ADDRESSES = 2,
    DR_DEVICE_DEFAULT_PORT = 4440,
    DR_DEVICE_OPEN_NAME_MAX = 63,  // a DNS-SD instance label
    DR_DEVICE_ADAPTER_NAME_SIZE = 64
};

enum { DR_DEVICE_OPEN_EXPLICIT_ADDRESSES = 1, DR_DEVICE_OPEN_INTERFACES = 2 };

struct dr_device_open_interface {
    uint32_t flags;  // bit 0 by adapter name, bit 1 by index
    char16_t adapter_name[DR_DEVICE_ADAPTER_NAME_SIZE];
    uint32_t index;
};

struct dr_device_open_address {
    uint32_t address;  // IPv4, network order
    uint16_t port;     // 0 means 4440
};

struct dr_device_open_config {
    const char* name;  // may be empty only with explicit addresses
    unsigned num_entries;
    uint32_t flags;
    dr_device_open_interface interfaces[DR_DEVICE_MAX_ADDRESSES];
    dr_device_open_address addresses[DR_DEVICE_MAX_ADDRESSES];
};

aud_error_t dr_device_open(dr_devices* devices, const char* name, dr_device** device);
aud_error_t dr_device_open_with_config(dr_devices* devices, const dr_device_open_config* config,
                                       dr_device** device);
aud_error_t dr_device_close(dr_device* device);

// The state; ERROR for a null device.
dr_device_state dr_device_get_state(const dr_device* device);
aud_error_t dr_device_set_state(dr_device* device, dr_device_state state, aud_error_t error,
                                const char* message);
// The error code and message stored with the last state change.
aud_error_t dr_device_get_error(const dr_device* device);
const char* dr_device_get_error_message(const dr_device* device);
// The first address entry's IPv4 address (network order) and port; 5 before RESOLVED.
aud_error_t dr_device_get_address(const dr_device* device, uint32_t* address, uint16_t* port);
dr_devices* dr_device_get_devices(const dr_device* device);
// Advertised name, else reported device name, else the open name.
const char* dr_device_get_name(const dr_device* device);

aud_error_t dr_device_set_changed_callback(dr_device* device, dr_device_changed_callback callback);
aud_error_t dr_device_set_context(dr_device* device, void* context);
void* dr_device_get_context(const dr_device* device);

// Sends 0x1000; the follow-up queries run on the same request until the device is ACTIVE.
aud_error_t dr_device_query_capabilities(dr_device* device, dr_request_callback callback,
                                         dr_request_id* request);
// Sends the query that refreshes one stale component; 0 without a request when it is not stale.
aud_error_t dr_device_update_component(dr_device* device, dr_request_callback callback,
                                       dr_request_id* request, dr_device_component component);
bool dr_device_is_component_stale(const dr_device* device, dr_device_component component);
aud_error_t dr_device_mark_component_stale(dr_device* device, dr_device_component component);
const char* dr_device_component_to_string(int component);
const char* dr_device_state_to_string(int state);

// 3 for null arguments, 5 unless ACTIVE.
aud_error_t dr_device_get_status_flags(const dr_device* device, uint32_t* flags);

// Versions and reported data.
uint16_t dr_device_get_arcp_version(const dr_device* device);
bool dr_device_is_safe_mode(const dr_device* device);
// Router version from the TXT record, software version from the names reply (major, minor,
// patch).
aud_error_t dr_device_get_router_version(const dr_device* device, uint8_t* major, uint8_t* minor,
                                         uint16_t* patch);
aud_error_t dr_device_get_software_version(const dr_device* device, uint8_t version[3]);
// A numeric property from the 0x1100 reply (0 when absent); 11 for an unknown id.
aud_error_t dr_device_get_property(const dr_device* device, uint16_t id, uint32_t* value);
// The text property 0x8021, empty when absent.
const char* dr_device_get_property_text(const dr_device* device);
// The two device values of the 0x3300 reply.
aud_error_t dr_device_get_values(const dr_device* device, uint16_t values[2]);
