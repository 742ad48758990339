#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "routing/dr_internal.h"
#include "util/aud_text.h"

namespace {

constexpr uint16_t kOffsetRecordSize = 2;
constexpr uint16_t kTxFlowSize = 16;
constexpr uint16_t kRxFlowSize = 20;
constexpr uint16_t kTxNamesVersion = 0x2601;
constexpr uint16_t kRxNamesVersion = 0x2600;
constexpr uint16_t kNameBlockSize = 10;
constexpr uint16_t kAddressSize = 8;

// What one listing kind needs to know.
struct FlowKind {
    bool receive;
    uint16_t record_size;
    uint16_t names_version;
    uint16_t opcode;
    const char* invalid_id;
    const char* too_many_slots;
    aud_error_t no_memory;       // the code of a memory failure...
    const char* no_memory_list;  // ...while growing the list
    const char* no_memory_flow;  // ...while reading one flow
};

const FlowKind kTx = {false,
                      kTxFlowSize,
                      kTxNamesVersion,
                      0x2200,
                      "TxFlowQuery: Invalid ID",
                      "AddTxFlow: NumSlots > MaxSlots",
                      AUD_ERR_NOMEMORY,
                      "AddTxFlow: No Memory",
                      "AddTxFlow: No Memory"};
const FlowKind kRx = {true,
                      kRxFlowSize,
                      kRxNamesVersion,
                      0x3200,
                      "RxFlowQuery: Invalid ID",
                      "AddRxFlow: NumSlots > MaxSlots",
                      DR_ERR_PROTOCOL,
                      "AddRxFlow: Allocating Memory For Flows",
                      "AddRxFlow: Allocating Memory For Flow"};

std::vector<dr_flow_record>& listOf(dr_device* device, const FlowKind& kind) {
    return kind.receive ? device->rxflows : device->txflows;
}

// A text of the name block at field (0: none); false when it does not check out.
bool readText(const dr_message* message, const aud_reader& block, size_t field, uint16_t lower,
              char (&text)[DR_ARCP_NAME_SIZE]) {
    aud_reader reader = block;
    uint16_t offset = 0;
    text[0] = '\0';
    if (!aud_reader_skip(&reader, field) || !aud_reader_u16be(&reader, &offset)) {
        return false;
    }
    if (offset == 0) {
        return true;
    }
    const char* found = nullptr;
    size_t length = 0;
    if (!dr_arcp_string(message, offset, lower, &found, &length) || length > DR_ARCP_NAME_MAX) {
        return false;
    }
    std::memcpy(text, found, length);
    text[length] = '\0';
    return true;
}

enum class Read { kOk, kInvalidData, kProtocol, kTooManySlots, kTooManyInterfaces };

Read readFlow(const dr_device* device, const dr_message* message, const FlowKind& kind,
              uint16_t record_offset, uint16_t lower, dr_flow_record* record) {
    aud_reader reader;
    if (!dgcp_offset_resolve_sized(message, record_offset, lower, 0, 4, kind.record_size,
                                   &reader)) {
        return Read::kInvalidData;
    }
    dr_flow& flow = record->flow;
    uint16_t slot_offset = 0, name_offset = 0, address_offset = 0;
    uint8_t interfaces = 0, spare = 0;
    aud_reader_u16be(&reader, &flow.id);
    aud_reader_u16be(&reader, &flow.flags);
    aud_reader_u32be(&reader, &flow.sample_rate);
    aud_reader_u16be(&reader, &flow.encoding);
    aud_reader_u16be(&reader, &flow.num_slots);
    aud_reader_u16be(&reader, &slot_offset);
    aud_reader_u16be(&reader, &name_offset);
    if (kind.receive) {
        aud_reader_u8(&reader, &interfaces);
        aud_reader_u8(&reader, &spare);
        aud_reader_u16be(&reader, &address_offset);
    }
    const dr_capabilities& caps = device->caps;
    if (flow.id == 0 || flow.id > (kind.receive ? caps.rx_flows : caps.tx_flows)) {
        return Read::kProtocol;
    }
    if (flow.num_slots > (kind.receive ? caps.rx_slots : caps.tx_slots)) {
        return Read::kTooManySlots;
    }
    if (kind.receive && interfaces > caps.interfaces) {
        return Read::kTooManyInterfaces;
    }
    const size_t channels = kind.receive ? device->rxchannels.size() : device->txchannels.size();
    record->slots.resize(flow.num_slots);
    if (flow.num_slots > 0) {
        aud_reader slots;
        const size_t size = size_t{flow.num_slots} * 2;
        if (size > DR_ARCP_MAX_MESSAGE ||
            !dgcp_offset_resolve_sized(message, slot_offset, lower, 0, 2,
                                       static_cast<uint16_t>(size), &slots)) {
            return Read::kInvalidData;
        }
        for (uint16_t& slot : record->slots) {
            aud_reader_u16be(&slots, &slot);
            if (slot > channels) {
                return Read::kInvalidData;
            }
        }
    }
    std::snprintf(flow.name, sizeof flow.name, "%d", int(flow.id));
    if (message->version >= kind.names_version && name_offset != 0) {
        aud_reader names;
        if (!dgcp_offset_resolve_sized(message, name_offset, lower, 0, 2, kNameBlockSize, &names) ||
            !readText(message, names, 0, lower, flow.name) ||
            !readText(message, names, 2, lower, flow.texts[0]) ||
            !readText(message, names, 4, lower, flow.texts[1])) {
            return Read::kInvalidData;
        }
        aud_reader_skip(&names, 6);
        aud_reader_u16be(&names, &flow.values[0]);
        aud_reader_u16be(&names, &flow.values[1]);
    }
    flow.num_interfaces = interfaces;
    record->addresses.resize(interfaces);
    if (interfaces > 0) {
        aud_reader addresses;
        if (!dgcp_offset_resolve_sized(message, address_offset, lower, 0, 4,
                                       static_cast<uint16_t>(interfaces * kAddressSize),
                                       &addresses)) {
            return Read::kInvalidData;
        }
        for (dr_flow_address& address : record->addresses) {
            uint32_t value = 0;
            uint16_t unused = 0;
            aud_reader_u32be(&addresses, &value);
            aud_reader_u16be(&addresses, &address.port);
            aud_reader_u16be(&addresses, &unused);
            address.address = htonl(value);
        }
    }
    return Read::kOk;
}

// Adds a flow or replaces the one of its id.
void addFlow(dr_device* device, const FlowKind& kind, dr_flow_record&& record) {
    if (kind.receive) {
        for (uint16_t slot : record.slots) {
            if (slot != 0) {
                device->rxchannels[slot - 1]->flow_mark = false;
            }
        }
    }
    std::vector<dr_flow_record>& list = listOf(device, kind);
    for (dr_flow_record& existing : list) {
        if (existing.flow.id == record.flow.id) {
            existing = std::move(record);
            return;
        }
    }
    if (list.size() == list.capacity()) {
        list.reserve(list.empty() ? 8 : list.size() * 2);
    }
    list.push_back(std::move(record));
}

void endListing(dr_device* device, dr_request* request, const FlowKind& kind) {
    if (kind.receive) {
        bool unmarked = false;
        for (dr_rxchannel* channel : device->rxchannels) {
            unmarked |= channel->flow_mark;
            channel->flow_mark = false;
        }
        if (unmarked) {
            dr_device_notify(device, DR_DEVICE_CHANGE_RXCHANNELS);
        }
        dr_device_clear_stale(device, DR_DEVICE_COMPONENT_RXFLOWS);
        dr_device_notify(device, DR_DEVICE_CHANGE_RXFLOWS);
    } else {
        dr_device_notify(device, DR_DEVICE_CHANGE_TXFLOWS);
        dr_device_clear_stale(device, DR_DEVICE_COMPONENT_TXFLOWS);
    }
    dr_devices_complete_request(device->devices, request, AUD_SUCCESS);
}

aud_error_t build(dr_request* request, const FlowKind& kind) {
    dr_packet* packet = dr_request_begin(request, kind.opcode);
    dr_arcp_begin_ranges(packet);
    return dr_arcp_add_range(packet, request->page_from, 0) ? AUD_SUCCESS : AUD_ERR_MSGSIZE;
}

void reply(dr_device* device, dr_request* request, const dr_message* message, bool more,
           const FlowKind& kind) {
    const unsigned count = dr_arcp_record_count(message);
    const uint16_t lower = static_cast<uint16_t>(dr_arcp_records_end(message, kOffsetRecordSize));
    std::vector<dr_flow_record> records;
    try {
        records.resize(count);
    } catch (const std::bad_alloc&) {
        dr_request_fail(device, request, kind.no_memory, kind.no_memory_list);
        return;
    }
    uint16_t highest = 0;
    for (unsigned i = 0; i < count; ++i) {
        aud_reader reader;
        uint16_t offset = 0;
        if (!dr_arcp_record(message, i, kOffsetRecordSize, &reader) ||
            !aud_reader_u16be(&reader, &offset)) {
            dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
            return;
        }
        Read read = Read::kInvalidData;
        try {
            read = readFlow(device, message, kind, offset, lower, &records[i]);
        } catch (const std::bad_alloc&) {
            dr_request_fail(device, request, kind.no_memory, kind.no_memory_flow);
            return;
        }
        switch (read) {
            case Read::kOk:
                break;
            case Read::kInvalidData:
                dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
                return;
            case Read::kProtocol:
                dr_request_fail(device, request, DR_ERR_PROTOCOL, kind.invalid_id);
                return;
            case Read::kTooManySlots:
                dr_request_fail(device, request, DR_ERR_PROTOCOL, kind.too_many_slots);
                return;
            case Read::kTooManyInterfaces:
                dr_request_fail(device, request, DR_ERR_PROTOCOL,
                                "AddRxFlow: NumInterfaces > MaxInterfaces");
                return;
        }
        if (records[i].flow.id > highest) {
            highest = records[i].flow.id;
        }
    }
    try {
        for (dr_flow_record& record : records) {
            addFlow(device, kind, std::move(record));
        }
    } catch (const std::bad_alloc&) {
        dr_request_fail(device, request, kind.no_memory, kind.no_memory_list);
        return;
    }
    if (highest >= request->page_from) {
        request->page_from = static_cast<uint16_t>(highest + 1);
    }
    dr_request_builder next = kind.receive ? dr_rxflows_build : dr_txflows_build;
    if (highest == UINT16_MAX) {
        more = false;
    }
    if (dr_listing_next(device, request, more, next) != DR_PAGE_DONE) {
        return;
    }
    endListing(device, request, kind);
}

}  // namespace

aud_error_t dr_txflows_build(dr_device*, dr_request* request) {
    return build(request, kTx);
}

aud_error_t dr_rxflows_build(dr_device*, dr_request* request) {
    return build(request, kRx);
}

void dr_flows_clear(dr_device* device, bool receive) {
    if (receive) {
        for (const dr_flow_record& record : device->rxflows) {
            for (uint16_t slot : record.slots) {
                if (slot != 0 && slot <= device->rxchannels.size()) {
                    device->rxchannels[slot - 1]->flow_mark = true;
                }
            }
        }
        device->rxflows.clear();
    } else {
        device->txflows.clear();
    }
}

void dr_txflows_reply(dr_device* device, dr_request* request, const dr_message* message,
                      bool more) {
    reply(device, request, message, more, kTx);
}

void dr_rxflows_reply(dr_device* device, dr_request* request, const dr_message* message,
                      bool more) {
    reply(device, request, message, more, kRx);
}

size_t dr_device_num_flows(const dr_device* device, bool receive) {
    if (!device) {
        return 0;
    }
    return receive ? device->rxflows.size() : device->txflows.size();
}

aud_error_t dr_device_get_flow(const dr_device* device, bool receive, size_t index, dr_flow* flow) {
    if (!device || !flow) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const std::vector<dr_flow_record>& list = receive ? device->rxflows : device->txflows;
    if (index >= list.size()) {
        return AUD_ERR_RANGE;
    }
    *flow = list[index].flow;
    flow->slot_channels = list[index].slots.data();
    flow->addresses = list[index].addresses.data();
    return AUD_SUCCESS;
}
