#include "cmm/cmm_messages.h"

#include <cstdio>
#include <cstring>

#include "dgcp2/dgcp_body.h"

// Returns the result of call when it failed.
#define CMM_TRY(call)                     \
    do {                                  \
        const aud_error_t tried = (call); \
        if (tried != AUD_SUCCESS) {       \
            return tried;                 \
        }                                 \
    } while (0)

namespace {

aud_error_t arrayAt(const dgcp_message* message, uint16_t offset, uint16_t needed,
                    dgcp_array* array) {
    CMM_TRY(dgcp_body_get_array(message, offset, array));
    return array->count < needed ? AUD_ERR_NODATA : AUD_SUCCESS;
}

aud_error_t encodeInterface(dgcp_message* message, const cmm_interface& interface,
                            uint16_t* offset) {
    dgcp_array entry;
    uint16_t name = 0;
    uint16_t mac = 0;
    char16_t terminated[CMM_INTERFACE_NAME_SIZE];
    std::memcpy(terminated, interface.name, sizeof terminated);
    terminated[CMM_INTERFACE_NAME_SIZE - 1] = 0;
    CMM_TRY(dgcp_body_alloc_array(message, 2, &entry));
    CMM_TRY(dgcp_body_add_wide_string(message, terminated, &name));
    CMM_TRY(dgcp_body_add_bytes(message, interface.mac, CMM_MAC_SIZE, &mac));
    CMM_TRY(dgcp_array_set(message, &entry, 0, name));
    CMM_TRY(dgcp_array_set(message, &entry, 1, mac));
    *offset = entry.offset;
    return AUD_SUCCESS;
}

// A one-slot config array holding the offset of the interface list array.
aud_error_t encodeConfig(dgcp_message* message, const cmm_interface_list& list, uint16_t* offset) {
    const uint16_t count =
        list.count < CMM_MAX_CONFIG_INTERFACES ? list.count : uint16_t{CMM_MAX_CONFIG_INTERFACES};
    dgcp_array config;
    dgcp_array entries;
    CMM_TRY(dgcp_body_alloc_array(message, 1, &config));
    CMM_TRY(dgcp_body_alloc_array(message, count, &entries));
    CMM_TRY(dgcp_array_set(message, &config, 0, entries.offset));
    for (uint16_t i = 0; i < count; ++i) {
        uint16_t entry = 0;
        CMM_TRY(encodeInterface(message, list.interfaces[i], &entry));
        CMM_TRY(dgcp_array_set(message, &entries, i, entry));
    }
    *offset = config.offset;
    return AUD_SUCCESS;
}

aud_error_t decodeInterfaceList(const dgcp_message* message, uint16_t offset, unsigned max,
                                cmm_interface_list* list) {
    dgcp_array entries;
    CMM_TRY(dgcp_body_get_array(message, offset, &entries));
    const uint16_t count = entries.count < max ? entries.count : static_cast<uint16_t>(max);
    for (uint16_t i = 0; i < count; ++i) {
        cmm_interface& interface = list->interfaces[i];
        uint16_t at = 0;
        uint16_t name = 0;
        uint16_t mac = 0;
        dgcp_array entry;
        CMM_TRY(dgcp_array_get(message, &entries, i, &at));
        CMM_TRY(arrayAt(message, at, 2, &entry));
        CMM_TRY(dgcp_array_get(message, &entry, 0, &name));
        CMM_TRY(dgcp_array_get(message, &entry, 1, &mac));
        CMM_TRY(dgcp_body_get_wide_string(message, name, interface.name, CMM_INTERFACE_NAME_SIZE));
        CMM_TRY(dgcp_body_get_bytes(message, mac, interface.mac, CMM_MAC_SIZE));
    }
    list->count = count;
    return AUD_SUCCESS;
}

aud_error_t decodeConfig(const dgcp_message* message, uint16_t offset, cmm_interface_list* list) {
    dgcp_array config;
    uint16_t entries = 0;
    CMM_TRY(arrayAt(message, offset, 1, &config));
    CMM_TRY(dgcp_array_get(message, &config, 0, &entries));
    return decodeInterfaceList(message, entries, CMM_MAX_CONFIG_INTERFACES, list);
}

aud_error_t decodeProcesses(const dgcp_message* message, uint16_t offset, cmm_status* status) {
    dgcp_array list;
    CMM_TRY(dgcp_body_get_array(message, offset, &list));
    const uint16_t count =
        list.count < CMM_MAX_PROCESSES ? list.count : uint16_t{CMM_MAX_PROCESSES};
    for (uint16_t i = 0; i < count; ++i) {
        cmm_process& process = status->processes[i];
        uint16_t at = 0;
        uint16_t name = 0;
        uint16_t number = 0;
        uint16_t flag = 0;
        dgcp_array entry;
        CMM_TRY(dgcp_array_get(message, &list, i, &at));
        CMM_TRY(arrayAt(message, at, 3, &entry));
        CMM_TRY(dgcp_array_get(message, &entry, 0, &name));
        CMM_TRY(dgcp_array_get(message, &entry, 1, &number));
        CMM_TRY(dgcp_array_get(message, &entry, 2, &flag));
        CMM_TRY(dgcp_body_get_string(message, name, process.name, sizeof process.name));
        CMM_TRY(dgcp_body_get_uint32(message, number, &process.id));
        process.flag = flag != 0;
    }
    status->num_processes = count;
    return AUD_SUCCESS;
}

}  // namespace

aud_error_t cmm_encode_connect(dgcp_message* message, const cmm_client_info* info) {
    dgcp_array root;
    uint16_t name = 0;
    uint16_t id = 0;
    char terminated[CMM_CLIENT_NAME_SIZE];
    std::memcpy(terminated, info->name, sizeof terminated);
    terminated[CMM_CLIENT_NAME_SIZE - 1] = '\0';
    CMM_TRY(dgcp_body_alloc_array(message, 3, &root));
    CMM_TRY(dgcp_body_add_string(message, terminated, &name));
    CMM_TRY(dgcp_body_add_uint32(message, info->process_id, &id));
    CMM_TRY(dgcp_array_set(message, &root, 0, name));
    CMM_TRY(dgcp_array_set(message, &root, 1, id));
    return dgcp_array_set(message, &root, 2, info->flags ? 1 : 0);
}

aud_error_t cmm_encode_set_config(dgcp_message* message, const cmm_system_config* config) {
    dgcp_array root;
    CMM_TRY(dgcp_body_alloc_array(message, 3, &root));
    CMM_TRY(dgcp_array_set(message, &root, 0, static_cast<uint16_t>(config->flags)));
    if (config->flags & CMM_CONFIG_INTERFACES) {
        uint16_t offset = 0;
        CMM_TRY(encodeConfig(message, config->interfaces, &offset));
        CMM_TRY(dgcp_array_set(message, &root, 1, offset));
    }
    if (config->flags & CMM_CONFIG_LOCK) {
        std::fprintf(stderr, "writing lock value %d\n", config->lock ? 1 : 0);
        CMM_TRY(dgcp_array_set(message, &root, 2, config->lock ? 1 : 0));
    }
    return AUD_SUCCESS;
}

aud_error_t cmm_decode_server_record(const dgcp_message* message, cmm_server_record* record) {
    dgcp_array root;
    uint16_t slots[4] = {};
    CMM_TRY(arrayAt(message, 0, 4, &root));
    for (uint16_t i = 0; i < 4; ++i) {
        CMM_TRY(dgcp_array_get(message, &root, i, &slots[i]));
    }
    for (int i = 0; i < 3; ++i) {
        record->numbers[i] = static_cast<uint8_t>(slots[i]);
    }
    record->value = slots[3];
    return AUD_SUCCESS;
}

aud_error_t cmm_decode_options(const dgcp_message* message, cmm_interface_list* options) {
    dgcp_array root;
    uint16_t list = 0;
    std::memset(options, 0, sizeof *options);
    CMM_TRY(arrayAt(message, 0, 1, &root));
    CMM_TRY(dgcp_array_get(message, &root, 0, &list));
    return decodeInterfaceList(message, list, CMM_MAX_INTERFACES, options);
}

aud_error_t cmm_decode_state(const dgcp_message* message, cmm_status* status) {
    dgcp_array root;
    uint16_t slots[5] = {};
    std::memset(status, 0, sizeof *status);
    CMM_TRY(arrayAt(message, 0, 5, &root));
    for (uint16_t i = 0; i < 5; ++i) {
        CMM_TRY(dgcp_array_get(message, &root, i, &slots[i]));
    }
    status->code = slots[0];
    CMM_TRY(
        dgcp_body_get_string(message, slots[1], status->device_name, sizeof status->device_name));
    CMM_TRY(decodeConfig(message, slots[2], &status->current));
    if (slots[3] != 0) {
        CMM_TRY(decodeConfig(message, slots[3], &status->pending));
    }
    return decodeProcesses(message, slots[4], status);
}

#undef CMM_TRY
