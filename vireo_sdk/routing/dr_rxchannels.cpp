#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/aud_log.h"
#include "routing/dr_internal.h"
#include "util/aud_text.h"

namespace {

constexpr uint16_t kRecordSize = 20;
constexpr uint16_t kSubscribeRecordSize = 20;
constexpr uint16_t kFlagSelf = 0x0008;
constexpr uint16_t kFlagHasValue = 0x0100;
constexpr uint16_t kNoValue = 0x7FFF;
constexpr uint16_t kValueBlockSize = 4;

struct RxRecord {
    uint16_t id;
    uint16_t flags;
    dr_format format;
    char name[DR_ARCP_NAME_SIZE];
    char sub_channel[DR_ARCP_NAME_SIZE];
    char sub_device[DR_ARCP_NAME_SIZE];
    uint8_t presence;
    uint8_t interface_flags;
    uint8_t status;
    uint16_t value;
};

// A subscription name: absent or valid ("." for the device only with the self bit).
aud_error_t readSubscriptionName(const dr_message* message, uint16_t offset, uint16_t lower,
                                 bool is_device, bool self, char (&name)[DR_ARCP_NAME_SIZE]) {
    bool present = false;
    const aud_error_t result = dr_read_name(message, offset, lower, name, &present);
    if (is_device && std::strcmp(name, ".") == 0) {
        return self ? AUD_SUCCESS : AUD_ERR_INVALIDPARAMETER;
    }
    return result;
}

// Reads record i; the request's result when it does not check out (320 means the device was
// put in ERROR), else 0.
aud_error_t readRecord(dr_device* device, const dr_message* message, unsigned i, uint16_t lower,
                       RxRecord* record) {
    aud_reader reader;
    uint16_t format_offset = 0, channel_offset = 0, device_offset = 0, name_offset = 0;
    uint16_t status = 0, unused = 0, value_offset = 0;
    if (!dr_arcp_record(message, i, kRecordSize, &reader) ||
        !aud_reader_u16be(&reader, &record->id) || !aud_reader_u16be(&reader, &record->flags) ||
        !aud_reader_u16be(&reader, &format_offset) || !aud_reader_u16be(&reader, &channel_offset) ||
        !aud_reader_u16be(&reader, &device_offset) || !aud_reader_u16be(&reader, &name_offset) ||
        !aud_reader_u8(&reader, &record->presence) ||
        !aud_reader_u8(&reader, &record->interface_flags) || !aud_reader_u16be(&reader, &status) ||
        !aud_reader_u16be(&reader, &unused) || !aud_reader_u16be(&reader, &value_offset)) {
        return AUD_ERR_INVALIDDATA;
    }
    if (record->id == 0 || record->id > device->rxchannels.size()) {
        return DR_ERR_PROTOCOL;
    }
    if (!dr_format_read(message, format_offset, lower, &record->format)) {
        return AUD_ERR_INVALIDDATA;
    }
    bool present = false;
    const bool self = record->flags & kFlagSelf;
    if (dr_read_name(message, name_offset, lower, record->name, &present) != AUD_SUCCESS ||
        readSubscriptionName(message, channel_offset, lower, false, self, record->sub_channel) !=
            AUD_SUCCESS ||
        readSubscriptionName(message, device_offset, lower, true, self, record->sub_device) !=
            AUD_SUCCESS) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    record->status = static_cast<uint8_t>(status);
    record->value = kNoValue;
    if (record->flags & kFlagHasValue) {
        aud_reader block;
        uint8_t length = 0, spare = 0;
        uint16_t value = 0;
        if (!dgcp_offset_resolve_sized(message, value_offset, lower, 0, 2, kValueBlockSize,
                                       &block) ||
            !aud_reader_u8(&block, &length) || !aud_reader_u8(&block, &spare) ||
            !aud_reader_u16be(&block, &value)) {
            return AUD_ERR_INVALIDDATA;
        }
        if (length > 1) {
            record->value = value;
        }
    }
    return AUD_SUCCESS;
}

// Stores a record; whether anything changed.
bool storeRecord(dr_rxchannel* channel, const RxRecord& record) {
    bool changed = false;
    channel->stale = false;
    const bool self = record.flags & kFlagSelf;
    const uint8_t value = (record.flags >> 4) & 3u;
    changed |= std::strcmp(channel->name, record.name) != 0 || channel->value != value ||
               channel->self_allowed != self || channel->extra != record.value ||
               std::memcmp(&channel->format, &record.format, sizeof record.format) != 0 ||
               channel->presence != record.presence ||
               channel->interface_flags != record.interface_flags ||
               channel->status != record.status;
    aud_strlcpy(channel->name, record.name, sizeof channel->name);
    channel->value = value;
    channel->self_allowed = self;
    channel->extra = record.value;
    channel->format = record.format;
    channel->presence = record.presence;
    channel->interface_flags = record.interface_flags;
    std::memset(channel->per_interface, 0, sizeof channel->per_interface);
    for (unsigned i = 0; i < DR_MAX_INTERFACES && (record.presence >> i) & 1u; ++i) {
        channel->per_interface[i] = (record.interface_flags >> i) & 1u;
    }
    channel->status = record.status;
    if (std::strcmp(channel->sub_channel, record.sub_channel) != 0 ||
        std::strcmp(channel->sub_device, record.sub_device) != 0) {
        aud_strlcpy(channel->sub_channel, record.sub_channel, sizeof channel->sub_channel);
        aud_strlcpy(channel->sub_device, record.sub_device, sizeof channel->sub_device);
        if (record.sub_channel[0] || record.sub_device[0]) {
            std::snprintf(channel->subscription, sizeof channel->subscription, "%s@%s",
                          record.sub_channel, record.sub_device);
        } else {
            channel->subscription[0] = '\0';
        }
        changed = true;
    }
    return changed;
}

}  // namespace

aud_error_t dr_rxchannels_build(dr_device* device, dr_request* request) {
    return dr_channels_build(device->rxchannels, request, 0x3000);
}

void dr_rxchannels_reply(dr_device* device, dr_request* request, const dr_message* message,
                         bool more) {
    const unsigned count = dr_arcp_record_count(message);
    if (count == 0) {
        dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
        return;
    }
    const uint16_t lower = static_cast<uint16_t>(dr_arcp_records_end(message, kRecordSize));
    std::vector<RxRecord> records(count);
    for (unsigned i = 0; i < count; ++i) {
        const aud_error_t result = readRecord(device, message, i, lower, &records[i]);
        if (result == DR_ERR_PROTOCOL) {
            dr_request_fail(device, request, result, "RxChannelQuery: invalid ID");
            return;
        }
        if (result != AUD_SUCCESS) {
            dr_devices_complete_request(device->devices, request, result);
            return;
        }
    }
    bool changed = false;
    for (const RxRecord& record : records) {
        changed |= storeRecord(device->rxchannels[record.id - 1], record);
    }
    if (changed) {
        dr_device_notify(device, DR_DEVICE_CHANGE_RXCHANNELS);
    }
    if (dr_listing_next(device, request, more, dr_rxchannels_build) != DR_PAGE_DONE) {
        return;
    }
    dr_device_clear_stale(device, DR_DEVICE_COMPONENT_RXCHANNELS);
    dr_devices_complete_request(device->devices, request, AUD_SUCCESS);
}

void dr_subscribe_reply(dr_device* device, dr_request* request, const dr_message*, bool) {
    dr_devices_complete_request(device->devices, request, AUD_SUCCESS);
}

aud_error_t dr_rxchannel_subscribe(dr_rxchannel* channel, dr_request_callback callback,
                                   dr_request_id* out, const char* tx_device,
                                   const char* tx_channel) {
    if (!channel || !out) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (channel->id == 0) {
        return AUD_ERR_INVALIDSTATE;
    }
    dr_device* device = channel->device;
    if (tx_device && std::strcmp(tx_device, ".") == 0) {
        if (!channel->self_allowed) {
            return AUD_ERR_NOTSUPPORTED;
        }
    } else if (tx_device && !dr_arcp_name_valid(tx_device)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (tx_channel && (!dr_arcp_name_valid(tx_channel) || !tx_device)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (tx_channel) {
        dr_log(device->env, AUD_LOG_DEBUG, "%s: subscribing %d to %s@%s\n", __func__,
               int(channel->id), tx_channel, tx_device);
    } else {
        dr_log(device->env, AUD_LOG_DEBUG, "%s: unsubscribing %d\n", __func__, int(channel->id));
    }
    dr_request* request = nullptr;
    aud_error_t result = dr_devices_allocate_request(device->devices, device, callback, &request);
    if (result != AUD_SUCCESS) {
        return result;
    }
    if (tx_channel) {
        dr_packet* packet = dr_request_begin(request, 0x3010);
        dr_arcp_begin_records(packet, 1, kSubscribeRecordSize);
        uint8_t* record = dr_arcp_add_record(packet, kSubscribeRecordSize);
        uint16_t offset = 0;
        dr_arcp_put_u16(record, channel->id);
        dr_arcp_append_string(packet, tx_channel, 1, kSubscribeRecordSize, &offset);
        dr_arcp_put_u16(record + 2, offset);
        dr_arcp_append_string(packet, tx_device, 1, kSubscribeRecordSize, &offset);
        dr_arcp_put_u16(record + 4, offset);
    } else {
        dr_packet* packet = dr_request_begin(request, 0x3014);
        dr_arcp_begin_ranges(packet);
        dr_arcp_add_range(packet, 0, channel->id);
    }
    result = dr_request_send(request);
    if (result != AUD_SUCCESS) {
        dr_devices_cancel_request(device->devices, request);
        return result;
    }
    const bool was_stale = channel->stale && device->stale[DR_DEVICE_COMPONENT_RXCHANNELS];
    channel->stale = true;
    device->stale[DR_DEVICE_COMPONENT_RXCHANNELS] = true;
    if (!was_stale) {
        dr_device_notify(device, DR_DEVICE_CHANGE_STALE);
    }
    dr_device_mark_component_stale(device, DR_DEVICE_COMPONENT_RXFLOWS);
    *out = request;
    return AUD_SUCCESS;
}

aud_error_t dr_device_get_rxchannels(const dr_device* device, uint16_t* count,
                                     dr_rxchannel* const** channels) {
    return dr_device_channels(device, &dr_device::rxchannels, count, channels);
}

uint16_t dr_rxchannel_get_id(const dr_rxchannel* channel) {
    return channel ? channel->id : 0;
}

const char* dr_rxchannel_get_name(const dr_rxchannel* channel) {
    return channel ? channel->name : "";
}

uint32_t dr_rxchannel_get_format(const dr_rxchannel* channel) {
    return channel && channel->id ? channel->format.sample_rate : 0;
}

const char* dr_rxchannel_get_subscription_channel(const dr_rxchannel* channel) {
    return channel && channel->sub_channel[0] ? channel->sub_channel : nullptr;
}

const char* dr_rxchannel_get_subscription_device(const dr_rxchannel* channel) {
    return channel && channel->sub_device[0] ? channel->sub_device : nullptr;
}

uint8_t dr_rxchannel_get_status(const dr_rxchannel* channel) {
    return channel ? channel->status : 0;
}
