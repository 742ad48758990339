#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aud_error.h"
#include "util/aud_formats.h"
#include "util/aud_id.h"

struct db_browse;
struct db_browse_network;
struct db_browse_channel;

// Networks of a browse: the two of the configuration and the local loop-back one.
enum {
    DB_BROWSE_NETWORK_PRIMARY = 0,
    DB_BROWSE_NETWORK_SECONDARY = 1,
    DB_BROWSE_NETWORK_LOCALHOST = 2,
    DB_BROWSE_NUM_NETWORKS = 3
};

// Type flags, one per row of the service type table.
enum {
    DB_BROWSE_TYPE_MEDIA_DEVICE = 0x01,
    DB_BROWSE_TYPE_MEDIA_CHANNEL = 0x02,
    DB_BROWSE_TYPE_CONMON_DEVICE = 0x04,
    DB_BROWSE_TYPE_SAFE_MODE = 0x08,
    DB_BROWSE_TYPE_UPGRADE_MODE = 0x10,
    DB_BROWSE_TYPE_VIA_DEVICE = 0x20,
    DB_BROWSE_TYPE_AES67 = 0x40
};

enum {
    DB_BROWSE_NAME_SIZE = 32,  // device names, channel names and labels are shorter
    DB_BROWSE_HOST_SIZE = 32,
    DB_BROWSE_ROUTER_INFO_SIZE = 64,
    DB_BROWSE_VBA_SIZE = 4,
    DB_BROWSE_DEVICES_INITIAL = 8,
    DB_BROWSE_CHANNELS_INITIAL = 2
};

// Tree result codes beside the aud_error ones.
enum { DB_BROWSE_ERR_NO_DEVICE = 512, DB_BROWSE_ERR_NO_CHANNEL = 513 };

// Change reports: what kind of node, and what happened to it.
enum {
    DB_BROWSE_NODE_DEVICE = 0,
    DB_BROWSE_NODE_CHANNEL = 1,
    DB_BROWSE_NODE_LABEL = 2,
    DB_BROWSE_NODE_AES67 = 3
};
enum { DB_BROWSE_NODE_ADDED = 0, DB_BROWSE_NODE_CHANGED = 1, DB_BROWSE_NODE_REMOVED = 2 };

struct db_browse_node_change {
    int kind;    // DB_BROWSE_NODE_*
    void* node;  // db_browse_device, db_browse_channel, db_browse_label or db_browse_sap_session
};

typedef void (*db_browse_node_changed_fn)(db_browse* browse, const db_browse_node_change* change,
                                          int code);

// major.minor.build
struct db_browse_version {
    uint8_t major;
    uint8_t minor;
    uint16_t build;
};

struct db_browse_instance_id {
    uint8_t device_id[AUD_ID_SIZE];
    uint16_t process_id;
};

struct db_browse_media_info {
    db_browse_version arcp_vers;
    db_browse_version arcp_min;
    db_browse_version router_vers;
    char router_info[DB_BROWSE_ROUTER_INFO_SIZE];
    uint8_t manufacturer_id[AUD_ID_SIZE];
    uint8_t model_id[AUD_ID_SIZE];
};

struct db_browse_conmon_info {
    db_browse_instance_id instance_id;
    uint8_t vendor_id[AUD_ID_SIZE];
    uint8_t vba[DB_BROWSE_VBA_SIZE];
    uint8_t manufacturer_id[AUD_ID_SIZE];
    uint8_t model_id[AUD_ID_SIZE];
};

// Safe mode ("safe") and upgrade mode ("upgr") advertisements.
struct db_browse_mode_info {
    db_browse_instance_id instance_id;
    uint16_t value;
};

struct db_browse_via_info {
    uint16_t port;
    db_browse_instance_id instance_id;
    db_browse_version vers_min;
    db_browse_version vers_curr;
};

// Per-network type flags of a node; flags is always the OR of the networks'.
struct db_browse_flags {
    uint32_t flags;
    uint32_t network[DB_BROWSE_NUM_NETWORKS];
};

struct db_browse_label {
    db_browse_channel* channel;
    db_browse_flags flags;
    char name[DB_BROWSE_NAME_SIZE];
};

struct db_browse_channel_format {
    uint32_t sample_rate;
    aud_formats encodings;
};

struct db_browse_device;

struct db_browse_channel {
    db_browse_device* device;
    db_browse_flags flags;
    uint16_t id;
    char default_name[DB_BROWSE_NAME_SIZE];
    db_browse_channel_format format;
    db_browse_label** labels;  // sorted by name, case ignored
    size_t num_labels;
    size_t label_capacity;
};

struct db_browse_device {
    db_browse_network* network;
    db_browse_flags flags;
    char name[DB_BROWSE_NAME_SIZE];
    char host[DB_BROWSE_HOST_SIZE];
    db_browse_media_info media;
    db_browse_conmon_info conmon;
    db_browse_mode_info safe;
    db_browse_mode_info upgrade;
    db_browse_via_info via;
    db_browse_channel** channels;  // sorted by id
    size_t num_channels;
    size_t channel_capacity;
};

// A new empty tree of a browse (browse may be null) over num_networks networks.
aud_error_t db_browse_network_new(db_browse* browse, unsigned num_networks, uint32_t types,
                                  db_browse_network** tree);
// Frees the tree and its nodes without reports.
void db_browse_network_free(db_browse_network* tree);
// Frees every node without reports.
void db_browse_network_clear(db_browse_network* tree);
void db_browse_network_set_callback(db_browse_network* tree, db_browse_node_changed_fn callback);
// Set to true whenever an update changes the tree (may be null).
void db_browse_network_set_changed_flag(db_browse_network* tree, bool* changed);

db_browse* db_browse_network_get_browse(const db_browse_network* tree);
size_t db_browse_network_num_devices(const db_browse_network* tree);
size_t db_browse_network_device_capacity(const db_browse_network* tree);
// Device i in name order; null past the count.
db_browse_device* db_browse_network_device_at_index(const db_browse_network* tree, size_t i);
// The device of name (case ignored), or null.
db_browse_device* db_browse_network_find_device(const db_browse_network* tree, const char* name);

const char* db_browse_device_get_name(const db_browse_device* device);
uint32_t db_browse_device_get_types(const db_browse_device* device);
// The conmon manufacturer id when the device has the conmon type and the id is not all zero;
// else the media device's under the same rule; else null.
const uint8_t* db_browse_device_get_manufacturer_id(const db_browse_device* device);

// Adding or updating one service type of a device on network: *changed is set when anything
// changed. 3 for a missing argument or a name of 32 characters or more, 6 when out of memory.
aud_error_t db_browse_network_add_media_device(db_browse_network* tree, unsigned network,
                                               const char* name, const char* host,
                                               const db_browse_media_info* info, bool* changed);
aud_error_t db_browse_network_add_conmon_device(db_browse_network* tree, unsigned network,
                                                const char* name, const char* host,
                                                const db_browse_conmon_info* info, bool* changed);
aud_error_t db_browse_network_add_safe_mode_device(db_browse_network* tree, unsigned network,
                                                   const char* name, const char* host,
                                                   const db_browse_mode_info* info, bool* changed);
aud_error_t db_browse_network_add_upgrade_mode_device(db_browse_network* tree, unsigned network,
                                                      const char* name, const char* host,
                                                      const db_browse_mode_info* info,
                                                      bool* changed);
aud_error_t db_browse_network_add_via_device(db_browse_network* tree, unsigned network,
                                             const char* name, const char* host,
                                             const db_browse_via_info* info, bool* changed);

// A channel's default name or one of its labels on network.
aud_error_t db_browse_network_add_channel(db_browse_network* tree, unsigned network,
                                          const char* device, const char* channel, uint16_t id,
                                          const db_browse_channel_format* format);
aud_error_t db_browse_network_add_label(db_browse_network* tree, unsigned network,
                                        const char* device, const char* label, uint16_t id,
                                        const db_browse_channel_format* format);

// Removing one service type of a device on network: 512 when there is no such device.
aud_error_t db_browse_network_remove_type(db_browse_network* tree, unsigned network,
                                          const char* name, uint32_t type);
// Removing a channel's default name or label on network: 512 without the device, 513 when it
// has no channel or label of that name.
aud_error_t db_browse_network_remove_channel(db_browse_network* tree, unsigned network,
                                             const char* device, const char* channel);
