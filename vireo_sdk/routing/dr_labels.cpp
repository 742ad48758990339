#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "routing/dr_internal.h"
#include "util/aud_text.h"

namespace {

constexpr uint16_t kRecordSize = 6;
constexpr uint16_t kRangeSize = 4;

struct LabelRecord {
    uint16_t id;
    uint16_t channel;
    char name[DR_ARCP_NAME_SIZE];
};

bool byId(const LabelRecord& a, const LabelRecord& b) {
    return a.id < b.id;
}

// Moves a label to owner (null: none), keeping each channel's list of label ids in order.
void setOwner(dr_label& label, dr_txchannel* owner) {
    if (label.channel == owner) {
        return;
    }
    if (label.channel) {
        std::vector<uint16_t>& owned = label.channel->labels;
        const auto at = std::lower_bound(owned.begin(), owned.end(), label.id);
        if (at != owned.end() && *at == label.id) {
            owned.erase(at);
        }
    }
    if (owner) {
        std::vector<uint16_t>& owned = owner->labels;
        owned.insert(std::lower_bound(owned.begin(), owned.end(), label.id), label.id);
    }
    label.channel = owner;
}

// Reads the reply's records; false once the request is completed.
bool readRecords(dr_device* device, dr_request* request, const dr_message* message,
                 std::vector<LabelRecord>* records) {
    const unsigned count = dr_arcp_record_count(message);
    const uint16_t lower = static_cast<uint16_t>(dr_arcp_records_end(message, kRecordSize));
    records->resize(count);
    for (unsigned i = 0; i < count; ++i) {
        aud_reader reader;
        uint16_t name_offset = 0;
        LabelRecord& record = (*records)[i];
        if (!dr_arcp_record(message, i, kRecordSize, &reader) ||
            !aud_reader_u16be(&reader, &record.id) || !aud_reader_u16be(&reader, &record.channel) ||
            !aud_reader_u16be(&reader, &name_offset)) {
            dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
            return false;
        }
        if (record.id == 0 || record.id > device->labels.size() || record.channel == 0 ||
            record.channel > device->txchannels.size()) {
            dr_request_fail(device, request, DR_ERR_PROTOCOL,
                            "TxLabelQuery: invalid ID in response");
            return false;
        }
        bool present = false;
        if (dr_read_name(message, name_offset, lower, record.name, &present) != AUD_SUCCESS) {
            dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDPARAMETER);
            return false;
        }
    }
    std::sort(records->begin(), records->end(), byId);
    return true;
}

// The ids the request asked for, from its ranges; false once the request is completed.
bool requestedIds(dr_device* device, dr_request* request, std::vector<uint16_t>* ids) {
    const dr_packet* packet = &request->packet;
    const unsigned count = packet->bytes[DR_ARCP_OFFSET_COUNT];
    const size_t highest = device->labels.size();
    for (unsigned i = 0; i < count; ++i) {
        const size_t at = DR_ARCP_BODY_START + size_t{i} * kRangeSize;
        const uint16_t first = dr_arcp_get_u16(packet, at);
        const uint16_t last = dr_arcp_get_u16(packet, at + 2);
        const size_t from = first == 0 ? last : first;
        const size_t to = last == 0 ? highest : last;
        if (from == 0 || to > highest) {
            dr_request_fail(device, request, DR_ERR_PROTOCOL,
                            "TxChannelQuery: invalid ID in request");
            return false;
        }
        for (size_t id = from; id <= to; ++id) {
            ids->push_back(static_cast<uint16_t>(id));
        }
    }
    return true;
}

}  // namespace

aud_error_t dr_labels_build(dr_device* device, dr_request* request) {
    dr_packet* packet = dr_request_begin(request, 0x2010);
    dr_arcp_begin_ranges(packet);
    bool any = false;
    for (const dr_label& label : device->labels) {
        if (label.id < request->page_from || !label.stale) {
            continue;
        }
        if (!dr_arcp_add_id(packet, label.id)) {
            break;
        }
        any = true;
    }
    return any ? AUD_SUCCESS : AUD_ERR_NOTFOUND;
}

void dr_labels_reply(dr_device* device, dr_request* request, const dr_message* message, bool more) {
    std::vector<LabelRecord> records;
    std::vector<uint16_t> ids;
    if (!readRecords(device, request, message, &records) || !requestedIds(device, request, &ids)) {
        return;
    }
    const uint16_t highest = records.empty() ? 0 : records.back().id;
    try {
        for (uint16_t id : ids) {
            dr_label& label = device->labels[id - 1];
            LabelRecord wanted{};
            wanted.id = id;
            const auto found = std::lower_bound(records.begin(), records.end(), wanted, byId);
            if (found != records.end() && found->id == id) {
                setOwner(label, device->txchannels[found->channel - 1]);
                aud_strlcpy(label.name, found->name, sizeof label.name);
                label.stale = false;
            } else if (!more || id < highest) {
                setOwner(label, nullptr);
                label.name[0] = '\0';
                label.stale = false;
            }
        }
    } catch (const std::bad_alloc&) {
        dr_devices_complete_request(device->devices, request, AUD_ERR_NOMEMORY);
        return;
    }
    request->page_from = highest;
    if (dr_listing_next(device, request, more, dr_labels_build) != DR_PAGE_DONE) {
        return;
    }
    dr_device_clear_stale(device, DR_DEVICE_COMPONENT_TXLABELS);
    dr_device_notify(device, DR_DEVICE_CHANGE_TXLABELS);
    dr_devices_complete_request(device->devices, request, AUD_SUCCESS);
}

aud_error_t dr_txchannel_get_labels(const dr_txchannel* channel, size_t* count,
                                    dr_txlabel* labels) {
    if (!channel || !count || (*count > 0 && !labels)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    if (channel->id == 0) {
        return AUD_ERR_INVALIDSTATE;
    }
    const std::vector<dr_label>& table = channel->device->labels;
    for (size_t i = 0; i < channel->labels.size() && i < *count; ++i) {
        const dr_label& label = table[channel->labels[i] - 1];
        labels[i] = dr_txlabel{channel, label.id, label.name};
    }
    *count = channel->labels.size();
    return AUD_SUCCESS;
}
