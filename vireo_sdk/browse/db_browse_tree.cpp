#include "browse/db_browse_tree.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "util/aud_text.h"

struct db_browse_network {
    db_browse* browse;
    unsigned num_networks;
    uint32_t types;
    db_browse_device** devices;  // sorted by name, case ignored
    size_t num_devices;
    size_t capacity;
    db_browse_node_changed_fn callback;
    bool* changed;
};

namespace {

// Makes room for one more pointer, doubling the capacity from initial.
template <typename T>
bool reserveOne(T**& array, size_t count, size_t& capacity, size_t initial) {
    if (count < capacity) {
        return true;
    }
    const size_t grown = capacity ? capacity * 2 : initial;
    T** bigger = static_cast<T**>(std::realloc(array, grown * sizeof(T*)));
    if (!bigger) {
        return false;
    }
    array = bigger;
    capacity = grown;
    return true;
}

template <typename T>
void insertAt(T** array, size_t& count, size_t at, T* item) {
    std::memmove(&array[at + 1], &array[at], (count - at) * sizeof(T*));
    array[at] = item;
    ++count;
}

template <typename T>
void eraseAt(T** array, size_t& count, size_t at) {
    std::memmove(&array[at], &array[at + 1], (count - at - 1) * sizeof(T*));
    --count;
}

bool validName(const char* name) {
    return name && *name && std::strlen(name) < DB_BROWSE_NAME_SIZE;
}

void report(db_browse_network* tree, int kind, void* node, int code) {
    if (tree->changed) {
        *tree->changed = true;
    }
    if (tree->callback) {
        const db_browse_node_change change = {kind, node};
        tree->callback(tree->browse, &change, code);
    }
}

// Sets type's bit on network; true when it was not set.
bool setFlag(db_browse_flags& flags, unsigned network, uint32_t type) {
    const bool fresh = !(flags.network[network] & type);
    flags.network[network] |= type;
    flags.flags |= type;
    return fresh;
}

// Clears type's bit on network; true when it was set.
bool clearFlag(db_browse_flags& flags, uint32_t type, unsigned network) {
    const bool was = flags.network[network] & type;
    flags.network[network] &= ~type;
    flags.flags = 0;
    for (uint32_t bits : flags.network) {
        flags.flags |= bits;
    }
    return was;
}

void freeChannel(db_browse_channel* channel) {
    for (size_t i = 0; i < channel->num_labels; ++i) {
        delete channel->labels[i];
    }
    std::free(channel->labels);
    delete channel;
}

void freeDevice(db_browse_device* device) {
    for (size_t i = 0; i < device->num_channels; ++i) {
        freeChannel(device->channels[i]);
    }
    std::free(device->channels);
    delete device;
}

// The sorted place of name: *found tells whether the device is there.
size_t deviceSlot(const db_browse_network* tree, const char* name, bool* found) {
    size_t low = 0;
    size_t high = tree->num_devices;
    while (low < high) {
        const size_t middle = (low + high) / 2;
        const int order = aud_strcasecmp(tree->devices[middle]->name, name);
        if (order == 0) {
            *found = true;
            return middle;
        }
        if (order < 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    *found = false;
    return low;
}

// Finds or inserts the device; *added tells which. Null when out of memory.
db_browse_device* findOrAddDevice(db_browse_network* tree, const char* name, bool* added) {
    bool found = false;
    const size_t at = deviceSlot(tree, name, &found);
    *added = !found;
    if (found) {
        return tree->devices[at];
    }
    if (!reserveOne(tree->devices, tree->num_devices, tree->capacity, DB_BROWSE_DEVICES_INITIAL)) {
        return nullptr;
    }
    db_browse_device* device = new (std::nothrow) db_browse_device();
    if (!device) {
        return nullptr;
    }
    device->network = tree;
    aud_strlcpy(device->name, name, sizeof device->name);
    insertAt(tree->devices, tree->num_devices, at, device);
    return device;
}

// Takes the device out of the table and frees it, reporting its removal.
void dropDevice(db_browse_network* tree, db_browse_device* device, bool reported) {
    bool found = false;
    const size_t at = deviceSlot(tree, device->name, &found);
    if (found) {
        eraseAt(tree->devices, tree->num_devices, at);
    }
    if (reported) {
        report(tree, DB_BROWSE_NODE_DEVICE, device, DB_BROWSE_NODE_REMOVED);
    }
    freeDevice(device);
}

// A device that lost something: removed when nothing is left, else reported changed.
void settleDevice(db_browse_network* tree, db_browse_device* device) {
    if (device->flags.flags == 0 && device->num_channels == 0) {
        dropDevice(tree, device, true);
    } else {
        report(tree, DB_BROWSE_NODE_DEVICE, device, DB_BROWSE_NODE_CHANGED);
    }
}

template <typename T>
bool storeIfDifferent(T& stored, const T& value) {
    if (std::memcmp(&stored, &value, sizeof(T)) == 0) {
        return false;
    }
    std::memcpy(&stored, &value, sizeof(T));
    return true;
}

// The shared part of every device update: type data are compared and stored by store.
template <typename Store>
aud_error_t addDevice(db_browse_network* tree, unsigned network, const char* name, const char* host,
                      uint32_t type, bool* changed, Store store) {
    if (!tree || !validName(name) || network >= DB_BROWSE_NUM_NETWORKS) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    bool added = false;
    db_browse_device* device = findOrAddDevice(tree, name, &added);
    if (!device) {
        return AUD_ERR_NOMEMORY;
    }
    bool different = setFlag(device->flags, network, type);
    char host_name[DB_BROWSE_HOST_SIZE] = {};
    aud_strlcpy(host_name, host ? host : "", sizeof host_name);
    different |= storeIfDifferent(device->host, host_name);
    different |= store(*device);
    if (added || different) {
        report(tree, DB_BROWSE_NODE_DEVICE, device,
               added ? DB_BROWSE_NODE_ADDED : DB_BROWSE_NODE_CHANGED);
        if (changed) {
            *changed = true;
        }
    }
    return AUD_SUCCESS;
}

void clearTypeData(db_browse_device* device, uint32_t type) {
    switch (type) {
        case DB_BROWSE_TYPE_MEDIA_DEVICE:
            device->media = db_browse_media_info();
            break;
        case DB_BROWSE_TYPE_CONMON_DEVICE:
            device->conmon = db_browse_conmon_info();
            break;
        case DB_BROWSE_TYPE_SAFE_MODE:
            device->safe = db_browse_mode_info();
            break;
        case DB_BROWSE_TYPE_UPGRADE_MODE:
            device->upgrade = db_browse_mode_info();
            break;
        case DB_BROWSE_TYPE_VIA_DEVICE:
            device->via = db_browse_via_info();
            break;
        default:
            break;
    }
}

size_t channelSlot(const db_browse_device* device, uint16_t id, bool* found) {
    size_t at = 0;
    while (at < device->num_channels && device->channels[at]->id < id) {
        ++at;
    }
    *found = at < device->num_channels && device->channels[at]->id == id;
    return at;
}

db_browse_channel* findOrAddChannel(db_browse_device* device, uint16_t id, bool* added) {
    bool found = false;
    const size_t at = channelSlot(device, id, &found);
    *added = !found;
    if (found) {
        return device->channels[at];
    }
    if (!reserveOne(device->channels, device->num_channels, device->channel_capacity,
                    DB_BROWSE_CHANNELS_INITIAL)) {
        return nullptr;
    }
    db_browse_channel* channel = new (std::nothrow) db_browse_channel();
    if (!channel) {
        return nullptr;
    }
    channel->device = device;
    channel->id = id;
    insertAt(device->channels, device->num_channels, at, channel);
    return channel;
}

void dropChannel(db_browse_network* tree, db_browse_channel* channel, bool reported) {
    db_browse_device* device = channel->device;
    bool found = false;
    const size_t at = channelSlot(device, channel->id, &found);
    if (found) {
        eraseAt(device->channels, device->num_channels, at);
    }
    if (reported) {
        report(tree, DB_BROWSE_NODE_CHANNEL, channel, DB_BROWSE_NODE_REMOVED);
    }
    freeChannel(channel);
}

size_t labelSlot(const db_browse_channel* channel, const char* name, bool* found) {
    size_t at = 0;
    int order = -1;
    while (at < channel->num_labels &&
           (order = aud_strcasecmp(channel->labels[at]->name, name)) < 0) {
        ++at;
    }
    *found = at < channel->num_labels && order == 0;
    return at;
}

db_browse_label* findOrAddLabel(db_browse_channel* channel, const char* name, bool* added) {
    bool found = false;
    const size_t at = labelSlot(channel, name, &found);
    *added = !found;
    if (found) {
        return channel->labels[at];
    }
    if (!reserveOne(channel->labels, channel->num_labels, channel->label_capacity, 1)) {
        return nullptr;
    }
    db_browse_label* label = new (std::nothrow) db_browse_label();
    if (!label) {
        return nullptr;
    }
    label->channel = channel;
    aud_strlcpy(label->name, name, sizeof label->name);
    insertAt(channel->labels, channel->num_labels, at, label);
    return label;
}

// Removes nodes left empty by a failed channel or label update.
void pruneEmpty(db_browse_network* tree, db_browse_device* device, db_browse_channel* channel) {
    if (channel && channel->flags.flags == 0 && channel->num_labels == 0) {
        dropChannel(tree, channel, false);
    }
    if (device->flags.flags == 0 && device->num_channels == 0) {
        dropDevice(tree, device, false);
    }
}

struct ChannelPlace {
    db_browse_device* device;
    db_browse_channel* channel;
};

// Finds or adds the device and its channel of id, reporting what is new.
aud_error_t placeChannel(db_browse_network* tree, const char* device_name, uint16_t id,
                         ChannelPlace* place, bool* channel_added) {
    bool device_added = false;
    place->device = findOrAddDevice(tree, device_name, &device_added);
    if (!place->device) {
        return AUD_ERR_NOMEMORY;
    }
    place->channel = findOrAddChannel(place->device, id, channel_added);
    if (!place->channel) {
        pruneEmpty(tree, place->device, nullptr);
        return AUD_ERR_NOMEMORY;
    }
    if (device_added) {
        report(tree, DB_BROWSE_NODE_DEVICE, place->device, DB_BROWSE_NODE_ADDED);
    }
    return AUD_SUCCESS;
}

bool validChannelArguments(const db_browse_network* tree, unsigned network, const char* device,
                           const char* name) {
    return tree && network < DB_BROWSE_NUM_NETWORKS && validName(device) && validName(name);
}

}  // namespace

aud_error_t db_browse_network_new(db_browse* browse, unsigned num_networks, uint32_t types,
                                  db_browse_network** tree) {
    if (!tree) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    db_browse_network* created = new (std::nothrow) db_browse_network();
    if (!created) {
        return AUD_ERR_NOMEMORY;
    }
    created->browse = browse;
    created->num_networks = num_networks;
    created->types = types;
    if (!reserveOne(created->devices, 0, created->capacity, DB_BROWSE_DEVICES_INITIAL)) {
        delete created;
        return AUD_ERR_NOMEMORY;
    }
    *tree = created;
    return AUD_SUCCESS;
}

void db_browse_network_free(db_browse_network* tree) {
    if (tree) {
        db_browse_network_clear(tree);
        std::free(tree->devices);
        delete tree;
    }
}

void db_browse_network_clear(db_browse_network* tree) {
    if (!tree) {
        return;
    }
    for (size_t i = 0; i < tree->num_devices; ++i) {
        freeDevice(tree->devices[i]);
    }
    tree->num_devices = 0;
}

void db_browse_network_set_callback(db_browse_network* tree, db_browse_node_changed_fn callback) {
    tree->callback = callback;
}

void db_browse_network_set_changed_flag(db_browse_network* tree, bool* changed) {
    tree->changed = changed;
}

db_browse* db_browse_network_get_browse(const db_browse_network* tree) {
    return tree ? tree->browse : nullptr;
}

size_t db_browse_network_num_devices(const db_browse_network* tree) {
    return tree ? tree->num_devices : 0;
}

size_t db_browse_network_device_capacity(const db_browse_network* tree) {
    return tree ? tree->capacity : 0;
}

db_browse_device* db_browse_network_device_at_index(const db_browse_network* tree, size_t i) {
    return tree && i < tree->num_devices ? tree->devices[i] : nullptr;
}

db_browse_device* db_browse_network_find_device(const db_browse_network* tree, const char* name) {
    if (!tree || !name) {
        return nullptr;
    }
    bool found = false;
    const size_t at = deviceSlot(tree, name, &found);
    return found ? tree->devices[at] : nullptr;
}

const char* db_browse_device_get_name(const db_browse_device* device) {
    return device ? device->name : nullptr;
}

uint32_t db_browse_device_get_types(const db_browse_device* device) {
    return device ? device->flags.flags : 0;
}

const uint8_t* db_browse_device_get_manufacturer_id(const db_browse_device* device) {
    static const uint8_t kZero[AUD_ID_SIZE] = {};
    if (!device) {
        return nullptr;
    }
    if ((device->flags.flags & DB_BROWSE_TYPE_CONMON_DEVICE) &&
        std::memcmp(device->conmon.manufacturer_id, kZero, AUD_ID_SIZE) != 0) {
        return device->conmon.manufacturer_id;
    }
    if ((device->flags.flags & DB_BROWSE_TYPE_MEDIA_DEVICE) &&
        std::memcmp(device->media.manufacturer_id, kZero, AUD_ID_SIZE) != 0) {
        return device->media.manufacturer_id;
    }
    return nullptr;
}

aud_error_t db_browse_network_add_media_device(db_browse_network* tree, unsigned network,
                                               const char* name, const char* host,
                                               const db_browse_media_info* info, bool* changed) {
    if (!info) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    return addDevice(tree, network, name, host, DB_BROWSE_TYPE_MEDIA_DEVICE, changed,
                     [&](db_browse_device& d) { return storeIfDifferent(d.media, *info); });
}

aud_error_t db_browse_network_add_conmon_device(db_browse_network* tree, unsigned network,
                                                const char* name, const char* host,
                                                const db_browse_conmon_info* info, bool* changed) {
    if (!info) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    return addDevice(tree, network, name, host, DB_BROWSE_TYPE_CONMON_DEVICE, changed,
                     [&](db_browse_device& d) { return storeIfDifferent(d.conmon, *info); });
}

aud_error_t db_browse_network_add_safe_mode_device(db_browse_network* tree, unsigned network,
                                                   const char* name, const char* host,
                                                   const db_browse_mode_info* info, bool* changed) {
    if (!info) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    return addDevice(tree, network, name, host, DB_BROWSE_TYPE_SAFE_MODE, changed,
                     [&](db_browse_device& d) { return storeIfDifferent(d.safe, *info); });
}

aud_error_t db_browse_network_add_upgrade_mode_device(db_browse_network* tree, unsigned network,
                                                      const char* name, const char* host,
                                                      const db_browse_mode_info* info,
                                                      bool* changed) {
    if (!info) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    return addDevice(tree, network, name, host, DB_BROWSE_TYPE_UPGRADE_MODE, changed,
                     [&](db_browse_device& d) { return storeIfDifferent(d.upgrade, *info); });
}

aud_error_t db_browse_network_add_via_device(db_browse_network* tree, unsigned network,
                                             const char* name, const char* host,
                                             const db_browse_via_info* info, bool* changed) {
    if (!info) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    return addDevice(tree, network, name, host, DB_BROWSE_TYPE_VIA_DEVICE, changed,
                     [&](db_browse_device& d) { return storeIfDifferent(d.via, *info); });
}

aud_error_t db_browse_network_add_channel(db_browse_network* tree, unsigned network,
                                          const char* device, const char* channel, uint16_t id,
                                          const db_browse_channel_format* format) {
    if (!validChannelArguments(tree, network, device, channel)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    ChannelPlace place{};
    bool added = false;
    const aud_error_t result = placeChannel(tree, device, id, &place, &added);
    if (result != AUD_SUCCESS) {
        return result;
    }
    if (setFlag(place.channel->flags, network, DB_BROWSE_TYPE_MEDIA_CHANNEL)) {
        aud_strlcpy(place.channel->default_name, channel, sizeof place.channel->default_name);
        if (format) {
            place.channel->format = *format;
        }
        report(tree, DB_BROWSE_NODE_CHANNEL, place.channel,
               added ? DB_BROWSE_NODE_ADDED : DB_BROWSE_NODE_CHANGED);
    }
    return AUD_SUCCESS;
}

aud_error_t db_browse_network_add_label(db_browse_network* tree, unsigned network,
                                        const char* device, const char* label, uint16_t id,
                                        const db_browse_channel_format* format) {
    if (!validChannelArguments(tree, network, device, label)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    ChannelPlace place{};
    bool channel_added = false;
    aud_error_t result = placeChannel(tree, device, id, &place, &channel_added);
    if (result != AUD_SUCCESS) {
        return result;
    }
    bool label_added = false;
    db_browse_label* node = findOrAddLabel(place.channel, label, &label_added);
    if (!node) {
        pruneEmpty(tree, place.device, place.channel);
        return AUD_ERR_NOMEMORY;
    }
    if (channel_added) {
        if (format) {
            place.channel->format = *format;
        }
        report(tree, DB_BROWSE_NODE_CHANNEL, place.channel, DB_BROWSE_NODE_ADDED);
    }
    if (setFlag(node->flags, network, DB_BROWSE_TYPE_MEDIA_CHANNEL)) {
        report(tree, DB_BROWSE_NODE_LABEL, node,
               label_added ? DB_BROWSE_NODE_ADDED : DB_BROWSE_NODE_CHANGED);
    }
    return result;
}

aud_error_t db_browse_network_remove_type(db_browse_network* tree, unsigned network,
                                          const char* name, uint32_t type) {
    if (!tree || network >= DB_BROWSE_NUM_NETWORKS) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    db_browse_device* device = db_browse_network_find_device(tree, name);
    if (!device) {
        return DB_BROWSE_ERR_NO_DEVICE;
    }
    if (!clearFlag(device->flags, type, network)) {
        return AUD_SUCCESS;
    }
    if (!(device->flags.flags & type)) {
        clearTypeData(device, type);
    }
    if (device->flags.flags == 0) {
        device->host[0] = '\0';
    }
    settleDevice(tree, device);
    return AUD_SUCCESS;
}

aud_error_t db_browse_network_remove_channel(db_browse_network* tree, unsigned network,
                                             const char* device_name, const char* name) {
    if (!tree || network >= DB_BROWSE_NUM_NETWORKS || !name) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    db_browse_device* device = db_browse_network_find_device(tree, device_name);
    if (!device) {
        return DB_BROWSE_ERR_NO_DEVICE;
    }
    for (size_t c = 0; c < device->num_channels; ++c) {
        db_browse_channel* channel = device->channels[c];
        if (aud_strcasecmp(channel->default_name, name) == 0 &&
            (channel->flags.network[network] & DB_BROWSE_TYPE_MEDIA_CHANNEL)) {
            clearFlag(channel->flags, DB_BROWSE_TYPE_MEDIA_CHANNEL, network);
        } else {
            bool found = false;
            const size_t at = labelSlot(channel, name, &found);
            db_browse_label* label = found ? channel->labels[at] : nullptr;
            if (!label || !clearFlag(label->flags, DB_BROWSE_TYPE_MEDIA_CHANNEL, network)) {
                continue;
            }
            if (label->flags.flags != 0) {
                report(tree, DB_BROWSE_NODE_LABEL, label, DB_BROWSE_NODE_CHANGED);
                return AUD_SUCCESS;
            }
            eraseAt(channel->labels, channel->num_labels, at);
            report(tree, DB_BROWSE_NODE_LABEL, label, DB_BROWSE_NODE_REMOVED);
            delete label;
            if (channel->flags.flags != 0 || channel->num_labels != 0) {
                return AUD_SUCCESS;
            }
        }
        if (channel->flags.flags != 0 || channel->num_labels != 0) {
            report(tree, DB_BROWSE_NODE_CHANNEL, channel, DB_BROWSE_NODE_CHANGED);
            return AUD_SUCCESS;
        }
        dropChannel(tree, channel, true);
        if (device->flags.flags == 0 && device->num_channels == 0) {
            dropDevice(tree, device, true);
        }
        return AUD_SUCCESS;
    }
    return DB_BROWSE_ERR_NO_CHANNEL;
}
