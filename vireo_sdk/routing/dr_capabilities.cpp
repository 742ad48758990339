#include <cstring>
#include <new>

#include "platform/aud_log.h"
#include "routing/dr_internal.h"
#include "util/aud_text.h"

namespace {

constexpr uint16_t kVersionCounts = 0x2600;
constexpr uint16_t kVersionFlags32 = 0x2703;
constexpr uint16_t kVersionSelectors = 0x2711;
constexpr uint16_t kCapabilityNames3 = 0x0100;  // names come with 0x1003
constexpr uint32_t kFlags32NameDiffers = 0x20000;
constexpr uint32_t kFlags32NoChannels = 0x10000;
constexpr uint32_t kFlags32Status2 = 0x2;
constexpr uint16_t kNamesLowerBound = 20;
constexpr uint16_t kNamesBlockSize = 10;
constexpr uint16_t kVersionsBlockSize = 10;

size_t capabilitiesSize(uint16_t version) {
    if (version >= kVersionSelectors) {
        return 40;
    }
    if (version >= kVersionFlags32) {
        return 36;
    }
    return version >= kVersionCounts ? 32 : 22;
}

bool readCapabilities(const dr_message* message, dr_capabilities* caps) {
    if (message->length < capabilitiesSize(message->version)) {
        return false;
    }
    dr_capabilities read{};
    read.interfaces = 1;
    bool ok = dr_arcp_u16_at(message, 10, &read.flags) &&
              dr_arcp_u16_at(message, 12, &read.tx_channels) &&
              dr_arcp_u16_at(message, 14, &read.rx_channels) &&
              dr_arcp_u16_at(message, 18, &read.tx_slots) &&
              dr_arcp_u16_at(message, 20, &read.rx_slots);
    if (ok && message->version >= kVersionCounts) {
        ok = dr_arcp_u16_at(message, 22, &read.tx_flows) &&
             dr_arcp_u16_at(message, 24, &read.rx_flows) &&
             dr_arcp_u16_at(message, 26, &read.labels) &&
             dr_arcp_u16_at(message, 30, &read.interfaces);
    }
    if (ok && message->version >= kVersionFlags32) {
        ok = dr_arcp_u32_at(message, 32, &read.flags32);
    }
    if (ok && message->version >= kVersionSelectors) {
        ok = dr_arcp_u16_at(message, 36, &read.selector16) &&
             dr_arcp_u16_at(message, 38, &read.selector32);
    }
    if (ok) {
        *caps = read;
    }
    return ok;
}

bool sameCapabilities(const dr_capabilities& a, const dr_capabilities& b) {
    return a.flags == b.flags && a.tx_channels == b.tx_channels && a.rx_channels == b.rx_channels &&
           a.tx_slots == b.tx_slots && a.rx_slots == b.rx_slots && a.tx_flows == b.tx_flows &&
           a.rx_flows == b.rx_flows && a.labels == b.labels && a.interfaces == b.interfaces &&
           a.flags32 == b.flags32 && a.selector16 == b.selector16 && a.selector32 == b.selector32;
}

uint32_t statusOf(const dr_device* device, const dr_capabilities& caps, uint16_t version) {
    uint32_t status = 0;
    if (version >= kVersionFlags32) {
        status |= (caps.flags32 & kFlags32NameDiffers) ? DR_DEVICE_STATUS_ADVERTISED_NAME : 0;
        status |= (caps.flags32 & kFlags32NoChannels) ? DR_DEVICE_STATUS_NO_CHANNELS : 0;
        status |= (caps.flags32 & kFlags32Status2) ? DR_DEVICE_STATUS_CAPABILITY_2 : 0;
    } else if (caps.tx_channels == 0 && caps.rx_channels == 0) {
        status |= DR_DEVICE_STATUS_NO_CHANNELS;
    }
    if (device->advertised_name[0]) {
        status |= DR_DEVICE_STATUS_ADVERTISED_NAME;
    }
    return status;
}

void setStatus(dr_device* device, uint32_t status) {
    if (device->status_flags != status) {
        device->status_flags = status;
        dr_device_notify(device, DR_DEVICE_CHANGE_STATUS);
    }
}

// Stores a reported name; raises 0x040 for a change once the device is ACTIVE.
void storeName(dr_device* device, char (&field)[DR_ARCP_NAME_SIZE], const char* name) {
    if (std::strcmp(field, name) == 0) {
        return;
    }
    aud_strlcpy(field, name, DR_ARCP_NAME_SIZE);
    if (device->state == DR_DEVICE_STATE_ACTIVE) {
        dr_device_notify(device, DR_DEVICE_CHANGE_NAMES);
    }
}

void copyAdvertisedName(dr_device* device) {
    if (device->advertised_name[0]) {
        storeName(device, device->name, device->advertised_name);
    }
}

// Channel records, label table, flow lists and the per-flow tables of caps; false (with the
// device in ERROR and the request completed with 6) when memory runs out.
bool createTables(dr_device* device, dr_request* request, const dr_capabilities& caps) {
    const char* failure = "Querying capabilities";
    try {
        device->txchannels.reserve(caps.tx_channels);
        for (uint16_t id = 1; id <= caps.tx_channels && id != 0; ++id) {
            dr_txchannel* channel = new dr_txchannel();
            channel->device = device;
            channel->id = id;
            channel->extra = 0x7FFF;
            channel->stale = true;
            device->txchannels.push_back(channel);
        }
        device->rxchannels.reserve(caps.rx_channels);
        for (uint16_t id = 1; id <= caps.rx_channels && id != 0; ++id) {
            dr_rxchannel* channel = new dr_rxchannel();
            channel->device = device;
            channel->id = id;
            channel->extra = 0x7FFF;
            channel->stale = true;
            device->rxchannels.push_back(channel);
        }
        device->labels.resize(caps.labels);
        for (size_t i = 0; i < device->labels.size(); ++i) {
            device->labels[i].id = static_cast<uint16_t>(i + 1);
            device->labels[i].stale = true;
        }
        failure = "Querying capabilities, allocating txflows";
        device->txflows.reserve(8);
        failure = "Querying capabilities, allocating rxflows";
        device->rxflows.reserve(8);
        device->rxflow_template = dr_flow_record{};
        device->rxflow_template.slots.resize(caps.rx_slots);
        device->rxflow_template.addresses.resize(caps.interfaces);
        const size_t entries = size_t{caps.rx_flows} * caps.interfaces;
        if (caps.selector16 != 0) {
            device->rxflow_table16.assign(entries, 0);
        }
        for (unsigned k = 0; k < DR_NUM_RXFLOW_TABLES; ++k) {
            if (caps.selector32 & (1u << k)) {
                device->rxflow_tables32[k].assign(entries, 0);
            }
        }
    } catch (const std::bad_alloc&) {
        dr_device_free_data(device);
        dr_request_fail(device, request, AUD_ERR_NOMEMORY, failure);
        return false;
    }
    device->have_capabilities = true;
    return true;
}

// Takes in a capabilities record (all zero for a device without capability data).
void takeCapabilities(dr_device* device, dr_request* request, const dr_capabilities& caps,
                      uint16_t version, bool no_data) {
    if (caps.interfaces > DR_MAX_INTERFACES) {
        dr_request_fail(device, request, AUD_ERR_INVALIDDATA, "Querying capabilities");
        return;
    }
    const bool querying = device->state == DR_DEVICE_STATE_QUERYING;
    if ((querying && device->have_capabilities) || device->state == DR_DEVICE_STATE_ACTIVE) {
        if (!sameCapabilities(device->caps, caps)) {
            dr_request_fail(device, request, DR_ERR_PROTOCOL, "Querying capabilities");
            return;
        }
    } else if (querying) {
        if (!createTables(device, request, caps)) {
            return;
        }
        device->caps = caps;
    } else {
        dr_request_fail(device, request, AUD_ERR_INVALIDSTATE, "Querying capabilities");
        return;
    }
    if (no_data) {
        device->followups = 0;
        setStatus(device, DR_DEVICE_STATUS_NO_CHANNELS);
    } else {
        if (version >= kVersionFlags32) {
            if (caps.flags32 & kFlags32NameDiffers) {
                device->followups |= DR_FOLLOWUP_NAMES;
            } else {
                copyAdvertisedName(device);
            }
        }
        setStatus(device, statusOf(device, caps, version));
    }
    for (int component = 0; component < DR_DEVICE_NUM_COMPONENTS; ++component) {
        dr_device_mark_component_stale(device, static_cast<dr_device_component>(component));
    }
    dr_run_followups(device, request);
}

// The names and versions of a 0x1003 reply; false when a block or the device name does not
// resolve.
struct Names {
    const char* name = nullptr;
    const char* second = nullptr;
    const char* advertised = nullptr;
    size_t lengths[3] = {};
    uint32_t software = 0;
    uint16_t version = 0;
    bool has_versions = false;
};

bool readBlockString(const dr_message* message, const aud_reader& block, size_t at,
                     const char** text, size_t* length) {
    aud_reader reader = block;
    uint16_t offset = 0;
    if (!aud_reader_skip(&reader, at) || !aud_reader_u16be(&reader, &offset)) {
        return false;
    }
    return offset != 0 && dr_arcp_string(message, offset, kNamesLowerBound, text, length);
}

bool readNames3(const dr_message* message, Names* names) {
    uint16_t names_offset = 0, versions_offset = 0;
    aud_reader names_block, versions_block;
    if (!dr_arcp_u16_at(message, 12, &names_offset) ||
        !dr_arcp_u16_at(message, 14, &versions_offset) ||
        !dgcp_offset_resolve_sized(message, names_offset, kNamesLowerBound, 0, 2, kNamesBlockSize,
                                   &names_block) ||
        !dgcp_offset_resolve_sized(message, versions_offset, kNamesLowerBound, 0, 2,
                                   kVersionsBlockSize, &versions_block)) {
        return false;
    }
    if (!readBlockString(message, names_block, 2, &names->name, &names->lengths[0])) {
        return false;
    }
    if (!readBlockString(message, names_block, 4, &names->second, &names->lengths[1])) {
        names->second = names->name;
        names->lengths[1] = names->lengths[0];
    }
    if (!readBlockString(message, names_block, 6, &names->advertised, &names->lengths[2])) {
        names->advertised = names->name;
        names->lengths[2] = names->lengths[0];
    }
    names->has_versions = aud_reader_skip(&versions_block, 4) &&
                          aud_reader_u32be(&versions_block, &names->software) &&
                          aud_reader_u16be(&versions_block, &names->version);
    return names->has_versions;
}

}  // namespace

void dr_capabilities_reply(dr_device* device, dr_request* request, const dr_message* message,
                           bool) {
    dr_capabilities caps{};
    if (!readCapabilities(message, &caps)) {
        dr_request_fail(device, request, AUD_ERR_INVALIDDATA, "Querying capabilities");
        return;
    }
    takeCapabilities(device, request, caps, message->version, false);
}

void dr_capabilities_no_data(dr_device* device, dr_request* request, const dr_message* message,
                             bool) {
    dr_capabilities caps{};
    caps.interfaces = 1;
    takeCapabilities(device, request, caps, message->version, true);
}

void dr_run_followups(dr_device* device, dr_request* request) {
    request->code = 0;
    if (device->followups & DR_FOLLOWUP_PROP_AVAIL) {
        device->followups &= ~unsigned{DR_FOLLOWUP_PROP_AVAIL};
        dr_request_begin(request, 0x1102);
        if (dr_request_send(request) != AUD_SUCCESS) {
            dr_device_set_state(device, DR_DEVICE_STATE_ERROR, AUD_ERR_SYSTEM,
                                "QueryCapabilities: Error sending PROP_AVAIL query");
        }
        return;
    }
    if (device->followups & DR_FOLLOWUP_NAMES) {
        device->followups &= ~unsigned{DR_FOLLOWUP_NAMES};
        dr_request_begin(request, (device->caps.flags & kCapabilityNames3) ? 0x1003 : 0x1002);
        if (dr_request_send(request) != AUD_SUCCESS) {
            dr_device_set_state(device, DR_DEVICE_STATE_ERROR, AUD_ERR_SYSTEM,
                                "QueryCapabilities: Error sending NAMES query");
        }
        return;
    }
    if (device->state == DR_DEVICE_STATE_QUERYING) {
        dr_device_set_state(device, DR_DEVICE_STATE_ACTIVE, AUD_SUCCESS, nullptr);
    }
    dr_devices_complete_request(device->devices, request, AUD_SUCCESS);
}

void dr_prop_avail_reply(dr_device* device, dr_request* request, const dr_message* message, bool) {
    uint16_t masks[2] = {device->prop_avail[0], device->prop_avail[1]};
    const unsigned count = dr_arcp_record_count(message);
    for (unsigned i = 0; i < count; ++i) {
        aud_reader record;
        uint16_t id = 0, flags = 0;
        if (!dr_arcp_record(message, i, 4, &record) || !aud_reader_u16be(&record, &id) ||
            !aud_reader_u16be(&record, &flags)) {
            dr_request_fail(device, request, AUD_ERR_INVALIDDATA, nullptr);
            return;
        }
        const int bit = dr_property_index(id);
        if (bit < 0) {
            continue;
        }
        const uint16_t mask = static_cast<uint16_t>(1u << bit);
        for (unsigned k = 0; k < 2; ++k) {
            const bool set = (flags >> k) & 1u;
            if (device->state != DR_DEVICE_STATE_QUERYING && set != bool(masks[k] & mask)) {
                dr_request_fail(device, request, DR_ERR_PROTOCOL,
                                "QueryCapabilities: Error updating PROP_AVAIL");
                return;
            }
            masks[k] = set ? (masks[k] | mask) : (masks[k] & ~mask);
        }
    }
    device->prop_avail[0] = masks[0];
    device->prop_avail[1] = masks[1];
    dr_run_followups(device, request);
}

void dr_prop_avail_error(dr_device* device, dr_request* request, const dr_message* message, bool) {
    dr_request_fail(device, request, dr_arcp_status_to_error(message->status),
                    "QueryCapabilities: Error handling PROP_AVAIL");
}

void dr_names_reply(dr_device* device, dr_request* request, const dr_message* message, bool) {
    Names names;
    if (dr_arcp_packet_opcode(&request->packet) == 0x1003) {
        if (!readNames3(message, &names)) {
            dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
            return;
        }
    } else if (!dr_arcp_string(message, DR_ARCP_HEADER_SIZE, DR_ARCP_HEADER_SIZE, &names.name,
                               &names.lengths[0])) {
        dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
        return;
    }
    for (size_t length : names.lengths) {
        if (length > DR_ARCP_NAME_MAX) {
            dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDPARAMETER);
            return;
        }
    }
    storeName(device, device->name, names.name);
    if (names.has_versions) {
        storeName(device, device->second_name, names.second);
        storeName(device, device->advertised_name,
                  std::strcmp(names.advertised, names.name) == 0 ? "" : names.advertised);
        device->software[0] = static_cast<uint8_t>(names.software >> 24);
        device->software[1] = static_cast<uint8_t>(names.software >> 16);
        device->software[2] = static_cast<uint8_t>(names.software >> 8);
        device->version = names.version;
    }
    const uint32_t status =
        device->advertised_name[0]
            ? (device->status_flags | DR_DEVICE_STATUS_ADVERTISED_NAME)
            : (device->status_flags & ~uint32_t{DR_DEVICE_STATUS_ADVERTISED_NAME});
    setStatus(device, status);
    dr_run_followups(device, request);
}

void dr_names_error(dr_device* device, dr_request* request, const dr_message* message, bool) {
    const unsigned code = message->status & 0x0FFFu;
    if (dr_arcp_packet_opcode(&request->packet) == 0x1002 && code >= 0x030 && code <= 0x03F) {
        copyAdvertisedName(device);
        dr_run_followups(device, request);
        return;
    }
    dr_reply_complete_mapped(device, request, message, false);
}
