#include <cstring>
#include <vector>

#include "routing/dr_internal.h"
#include "util/aud_text.h"

namespace {

constexpr uint16_t kRecordSize = 8;
constexpr uint16_t kExtraRecordSize = 6;
constexpr uint16_t kCapabilityExtras = 0x0200;  // extra values come with 0x2032
constexpr uint16_t kFlagHasExtra = 0x0100;
constexpr uint16_t kNoExtra = 0x7FFF;

struct TxRecord {
    uint16_t id;
    uint16_t flags;
    char name[DR_ARCP_NAME_SIZE];
    dr_format format;
};

bool sameFormat(const dr_format& a, const dr_format& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void endListing(dr_device* device, dr_request* request) {
    dr_device_clear_stale(device, DR_DEVICE_COMPONENT_TXCHANNELS);
    dr_devices_complete_request(device->devices, request, AUD_SUCCESS);
}

}  // namespace

aud_error_t dr_read_name(const dr_message* message, uint16_t offset, uint16_t lower,
                         char (&name)[DR_ARCP_NAME_SIZE], bool* present) {
    const char* text = nullptr;
    size_t length = 0;
    name[0] = '\0';
    *present = false;
    if (offset == 0 || !dr_arcp_string(message, offset, lower, &text, &length) || length == 0) {
        return AUD_SUCCESS;
    }
    if (length > DR_ARCP_NAME_MAX) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    std::memcpy(name, text, length);
    name[length] = '\0';
    *present = true;
    return dr_arcp_name_valid(name) ? AUD_SUCCESS : AUD_ERR_INVALIDPARAMETER;
}

aud_error_t dr_txchannels_build(dr_device* device, dr_request* request) {
    return dr_channels_build(device->txchannels, request, 0x2000);
}

void dr_txchannels_reply(dr_device* device, dr_request* request, const dr_message* message,
                         bool more) {
    const unsigned count = dr_arcp_record_count(message);
    if (count == 0) {
        dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
        return;
    }
    const size_t end = dr_arcp_records_end(message, kRecordSize);
    const uint16_t lower = static_cast<uint16_t>(end);
    std::vector<TxRecord> records(count);
    for (unsigned i = 0; i < count; ++i) {
        aud_reader reader;
        uint16_t format_offset = 0, name_offset = 0;
        TxRecord& record = records[i];
        if (!dr_arcp_record(message, i, kRecordSize, &reader) ||
            !aud_reader_u16be(&reader, &record.id) || !aud_reader_u16be(&reader, &record.flags) ||
            !aud_reader_u16be(&reader, &format_offset) ||
            !aud_reader_u16be(&reader, &name_offset)) {
            dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
            return;
        }
        if (record.id == 0 || record.id > device->txchannels.size()) {
            dr_request_fail(device, request, DR_ERR_PROTOCOL, "TxChannelQuery: invalid ID");
            return;
        }
        if (!dr_format_read(message, format_offset, lower, &record.format)) {
            dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
            return;
        }
        bool present = false;
        if (dr_read_name(message, name_offset, lower, record.name, &present) != AUD_SUCCESS) {
            dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDPARAMETER);
            return;
        }
    }
    bool changed = false;
    for (const TxRecord& record : records) {
        dr_txchannel* channel = device->txchannels[record.id - 1];
        channel->stale = false;
        const uint8_t value = (record.flags >> 1) & 7u;
        const uint16_t extra = (record.flags & kFlagHasExtra) ? channel->extra : kNoExtra;
        changed |= channel->value != value || channel->extra != extra ||
                   std::strcmp(channel->name, record.name) != 0 ||
                   !sameFormat(channel->format, record.format);
        channel->value = value;
        channel->extra = extra;
        aud_strlcpy(channel->name, record.name, sizeof channel->name);
        channel->format = record.format;
    }
    if (changed) {
        dr_device_notify(device, DR_DEVICE_CHANGE_TXCHANNELS);
    }
    if (dr_listing_next(device, request, more, dr_txchannels_build) != DR_PAGE_DONE) {
        return;
    }
    if (!(device->caps.flags & kCapabilityExtras)) {
        endListing(device, request);
        return;
    }
    dr_packet* packet = dr_request_begin(request, 0x2032);
    dr_arcp_begin_ranges(packet);
    dr_arcp_add_range(packet, 1, 0);
    const aud_error_t result = dr_request_send(request);
    if (result != AUD_SUCCESS) {
        dr_devices_complete_request(device->devices, request, result);
    }
}

void dr_txextras_reply(dr_device* device, dr_request* request, const dr_message* message, bool) {
    const unsigned count = dr_arcp_record_count(message);
    const size_t highest = device->txchannels.size();
    bool changed = false;
    for (unsigned i = 0; i < count; ++i) {
        aud_reader reader;
        uint16_t first = 0, last = 0, value = 0;
        if (!dr_arcp_record(message, i, kExtraRecordSize, &reader) ||
            !aud_reader_u16be(&reader, &first) || !aud_reader_u16be(&reader, &last) ||
            !aud_reader_u16be(&reader, &value)) {
            dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
            return;
        }
        size_t from = first, to = last;
        if (first == 0) {
            from = last;
        } else if (last == 0) {
            to = highest;
        }
        if (to > highest) {
            to = highest;
        }
        for (size_t id = from < 1 ? 1 : from; id <= to; ++id) {
            dr_txchannel* channel = device->txchannels[id - 1];
            changed |= channel->extra != value;
            channel->extra = value;
        }
    }
    if (changed) {
        dr_device_notify(device, DR_DEVICE_CHANGE_TXCHANNELS);
    }
    endListing(device, request);
}

aud_error_t dr_device_get_txchannels(const dr_device* device, uint16_t* count,
                                     dr_txchannel* const** channels) {
    return dr_device_channels(device, &dr_device::txchannels, count, channels);
}

uint16_t dr_txchannel_get_id(const dr_txchannel* channel) {
    return channel ? channel->id : 0;
}

const char* dr_txchannel_get_name(const dr_txchannel* channel) {
    return channel ? channel->name : "";
}

uint32_t dr_txchannel_get_format(const dr_txchannel* channel) {
    return channel && channel->id ? channel->format.sample_rate : 0;
}
