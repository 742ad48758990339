#include <cstring>

#include "routing/dr_internal.h"
#include "util/aud_text.h"

const uint16_t dr_property_ids[DR_NUM_PROPERTIES] = {0x8204, 0x8205, 0x0210, 0x0211, 0x8301, 0x8302,
                                                     0x8306, 0x8304, 0x0310, 0x0311, 0x0303, 0x8021,
                                                     0x00F0, 0x0022, 0x0201, 0x8060};

namespace {

constexpr uint16_t kVersionValues = 0x2600;
constexpr uint16_t kTextProperty = 0x8021;
constexpr uint16_t kFlagProperty = 0x00F0;
constexpr size_t kValuesSize = 18;

// Ids with the top bit set carry the offset of a u32 (or, for 0x8021, of a text).
bool isOffset(uint16_t id) {
    return (id & 0x8000u) != 0;
}

void storeProperties(dr_device* device, const uint32_t (&values)[DR_NUM_PROPERTIES],
                     const char* text) {
    const bool changed = std::memcmp(device->properties, values, sizeof values) != 0 ||
                         std::strcmp(device->property_text, text) != 0;
    std::memcpy(device->properties, values, sizeof values);
    aud_strlcpy(device->property_text, text, sizeof device->property_text);
    if (changed) {
        dr_device_notify(device, DR_DEVICE_CHANGE_PROPERTIES);
    }
}

void endProperties(dr_device* device, dr_request* request) {
    dr_device_clear_stale(device, DR_DEVICE_COMPONENT_PROPERTIES);
    dr_devices_complete_request(device->devices, request, AUD_SUCCESS);
}

// Asks for the two device values on the same request (from version 0x2600), else ends.
void afterProperties(dr_device* device, dr_request* request) {
    if (device->version < kVersionValues) {
        endProperties(device, request);
        return;
    }
    dr_request_begin(request, 0x3300);
    const aud_error_t result = dr_request_send(request);
    if (result != AUD_SUCCESS) {
        dr_devices_complete_request(device->devices, request, result);
    }
}

void storeValues(dr_device* device, uint16_t first, uint16_t second) {
    if (device->values[0] != first || device->values[1] != second) {
        device->values[0] = first;
        device->values[1] = second;
        dr_device_notify(device, DR_DEVICE_CHANGE_PROPERTIES);
    }
}

}  // namespace

int dr_property_index(uint16_t id) {
    for (int index = 0; index < DR_NUM_PROPERTIES; ++index) {
        if (dr_property_ids[index] == id) {
            return index;
        }
    }
    return -1;
}

aud_error_t dr_properties_build(dr_device*, dr_request* request) {
    dr_packet* packet = dr_request_begin(request, 0x1100);
    dr_arcp_begin_list(packet);
    for (uint16_t id : dr_property_ids) {
        if (!dr_arcp_add_u16(packet, id)) {
            return AUD_ERR_MSGSIZE;
        }
    }
    return AUD_SUCCESS;
}

void dr_properties_reply(dr_device* device, dr_request* request, const dr_message* message, bool) {
    uint32_t values[DR_NUM_PROPERTIES] = {};
    char text[DR_PROPERTY_TEXT_SIZE] = "";
    const unsigned count = dr_arcp_record_count(message);
    const size_t end = dr_arcp_records_end(message, 4);
    const uint16_t lower = end < UINT16_MAX ? static_cast<uint16_t>(end) : UINT16_MAX;
    for (unsigned i = 0; i < count; ++i) {
        aud_reader record;
        uint16_t id = 0, value = 0;
        if (!dr_arcp_record(message, i, 4, &record) || !aud_reader_u16be(&record, &id) ||
            !aud_reader_u16be(&record, &value)) {
            dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
            return;
        }
        const int index = dr_property_index(id);
        if (index < 0) {
            continue;
        }
        if (id == kTextProperty) {
            const char* found = nullptr;
            size_t length = 0;
            if (!dr_arcp_string(message, value, lower, &found, &length)) {
                dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
                return;
            }
            const size_t kept = length < sizeof text - 1 ? length : sizeof text - 1;
            std::memcpy(text, found, kept);
            text[kept] = '\0';
        } else if (isOffset(id)) {
            aud_reader block;
            uint32_t read = 0;
            if (!dgcp_offset_resolve_sized(message, value, lower, 0, 4, 4, &block) ||
                !aud_reader_u32be(&block, &read)) {
                dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
                return;
            }
            values[index] = read;
        } else {
            values[index] = id == kFlagProperty ? (value != 0) : value;
        }
    }
    storeProperties(device, values, text);
    afterProperties(device, request);
}

void dr_properties_error(dr_device* device, dr_request* request, const dr_message*, bool) {
    const uint32_t absent[DR_NUM_PROPERTIES] = {};
    storeProperties(device, absent, "");
    afterProperties(device, request);
}

void dr_values_reply(dr_device* device, dr_request* request, const dr_message* message, bool) {
    uint16_t first = 0, second = 0;
    if (message->length < kValuesSize || !dr_arcp_u16_at(message, 14, &first) ||
        !dr_arcp_u16_at(message, 16, &second)) {
        dr_devices_complete_request(device->devices, request, AUD_ERR_INVALIDDATA);
        return;
    }
    storeValues(device, first, second);
    endProperties(device, request);
}

void dr_values_error(dr_device* device, dr_request* request, const dr_message* message, bool) {
    const unsigned code = message->status & 0x0FFFu;
    if (code >= 0x030 && code <= 0x03F) {
        storeValues(device, 0, 0);
        endProperties(device, request);
        return;
    }
    dr_reply_complete_mapped(device, request, message, false);
}

aud_error_t dr_device_get_property(const dr_device* device, uint16_t id, uint32_t* value) {
    if (!device || !value || id == kTextProperty) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const int index = dr_property_index(id);
    if (index < 0) {
        return AUD_ERR_NOTFOUND;
    }
    *value = device->properties[index];
    return AUD_SUCCESS;
}

const char* dr_device_get_property_text(const dr_device* device) {
    return device ? device->property_text : "";
}

aud_error_t dr_device_get_values(const dr_device* device, uint16_t values[2]) {
    if (!device || !values) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    values[0] = device->values[0];
    values[1] = device->values[1];
    return AUD_SUCCESS;
}
