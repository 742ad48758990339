#include <cstring>

#include "routing/dr_internal.h"

namespace {

// Every opcode the routing layer sends, with the reply it expects under the same opcode.
const dr_opcode_info kOpcodes[] = {
    {0x1000, "capabilities", 0, false, dr_capabilities_reply, dr_reply_complete_mapped},
    {0x1002, "device names", 0, false, dr_names_reply, dr_names_error},
    {0x1003, "device names and versions", 0, false, dr_names_reply, dr_names_error},
    {0x1100, "properties", 4, false, dr_properties_reply, dr_properties_error},
    {0x1102, "property availability", 4, false, dr_prop_avail_reply, dr_prop_avail_error},
    {0x3300, "device values", 0, false, dr_values_reply, dr_values_error},
    {0x2000, "transmit channels", 8, true, dr_txchannels_reply, dr_reply_complete_mapped},
    {0x2010, "transmit labels", 6, true, dr_labels_reply, dr_reply_complete_mapped},
    {0x2032, "transmit channel values", 6, false, dr_txextras_reply, dr_reply_complete_mapped},
    {0x2200, "transmit flows", 2, true, dr_txflows_reply, dr_reply_complete_mapped},
    {0x3000, "receive channels", 20, true, dr_rxchannels_reply, dr_reply_complete_mapped},
    {0x3200, "receive flows", 2, true, dr_rxflows_reply, dr_reply_complete_mapped},
    {0x3010, "subscribe", 0, false, dr_subscribe_reply, dr_reply_complete_mapped},
    {0x3014, "unsubscribe", 0, false, dr_subscribe_reply, dr_reply_complete_mapped},
};

}  // namespace

const dr_opcode_info* dr_opcode_find(uint16_t opcode) {
    for (const dr_opcode_info& info : kOpcodes) {
        if (info.opcode == opcode) {
            return &info;
        }
    }
    return nullptr;
}

dr_page_result dr_listing_next(dr_device* device, dr_request* request, bool more,
                               dr_request_builder build) {
    if (!more) {
        return DR_PAGE_DONE;
    }
    const uint16_t last_length = dr_arcp_packet_length(&request->packet);
    uint8_t last[DR_ARCP_MAX_MESSAGE];
    std::memcpy(last, request->packet.bytes, last_length);
    aud_error_t result = build(device, request);
    if (result == AUD_ERR_NOTFOUND) {
        return DR_PAGE_DONE;
    }
    if (result == AUD_SUCCESS) {
        // The sequence number (bytes 4-5) differs anyway; the rest must move on.
        const uint16_t length = dr_arcp_packet_length(&request->packet);
        if (length == last_length &&
            std::memcmp(last, request->packet.bytes, DR_ARCP_OFFSET_SEQNUM) == 0 &&
            std::memcmp(last + DR_ARCP_OFFSET_OPCODE, request->packet.bytes + DR_ARCP_OFFSET_OPCODE,
                        length - DR_ARCP_OFFSET_OPCODE) == 0) {
            result = AUD_ERR_INVALIDDATA;
        } else {
            result = dr_request_send(request);
        }
    }
    if (result != AUD_SUCCESS) {
        dr_devices_complete_request(device->devices, request, result);
        return DR_PAGE_ENDED;
    }
    return DR_PAGE_SENT;
}
