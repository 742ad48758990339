#include "cmm/cmm_types.h"

#include <cstring>

#include "dgcp2/dgcp_message.h"
#include "util/aud_text.h"

namespace {

struct StatusResult {
    uint16_t first;
    uint16_t last;
    aud_error_t result;
};

const StatusResult kStatusResults[] = {{0, 2, AUD_SUCCESS},
                                       {16, 16, AUD_ERR_VERSION},
                                       {20, 22, AUD_ERR_VERSION},
                                       {32, 35, AUD_ERR_MSGSIZE},
                                       {48, 49, AUD_ERR_INVALIDDATA},
                                       {64, 64, AUD_ERR_INVALIDDATA},
                                       {256, 257, AUD_ERR_INVALIDDATA},
                                       {50, 50, AUD_ERR_NOTSUPPORTED},
                                       {129, 129, AUD_ERR_NOTCONN},
                                       {130, 130, AUD_ERR_NOBUFS},
                                       {258, 258, AUD_ERR_INVALIDSTATE}};

const char* const kStatusCodeNames[] = {"Unknown", "Ready", "Changing", "Invalid Config",
                                        "Options Changed"};

const char* const kServiceStatusNames[] = {"Invalid API", "Invalid Data", "Invalid State",
                                           "System error"};

// Records read from messages are zero after each terminator: whole names compare.
bool sameInterface(const cmm_interface& a, const cmm_interface& b) {
    return std::memcmp(a.name, b.name, sizeof a.name) == 0 &&
           std::memcmp(a.mac, b.mac, CMM_MAC_SIZE) == 0;
}

bool sameProcess(const cmm_process& a, const cmm_process& b) {
    return std::memcmp(a.name, b.name, sizeof a.name) == 0 && a.id == b.id && a.flag == b.flag;
}

}  // namespace

uint16_t cmm_interface_list_count(const cmm_interface_list* list) {
    return list ? list->count : 0;
}

const cmm_interface* cmm_interface_list_at(const cmm_interface_list* list, unsigned index) {
    return list && index < list->count && index < CMM_MAX_INTERFACES ? &list->interfaces[index]
                                                                     : nullptr;
}

void cmm_interface_list_clear(cmm_interface_list* list) {
    if (list) {
        std::memset(list, 0, sizeof *list);
    }
}

const uint8_t* cmm_interface_get_mac(const cmm_interface* interface) {
    return interface ? interface->mac : nullptr;
}

const cmm_interface* cmm_interface_list_find_by_name(const cmm_interface_list* list,
                                                     const char16_t* name) {
    if (!list || !name) {
        return nullptr;
    }
    for (unsigned i = 0; i < list->count && i < CMM_MAX_INTERFACES; ++i) {
        if (aud_wcscasecmp(list->interfaces[i].name, name) == 0) {
            return &list->interfaces[i];
        }
    }
    return nullptr;
}

uint16_t cmm_available_interfaces_count(const cmm_interface_list* options) {
    return cmm_interface_list_count(options);
}

bool cmm_interface_list_equal(const cmm_interface_list* a, const cmm_interface_list* b) {
    if (a->count != b->count) {
        return false;
    }
    for (unsigned i = 0; i < a->count && i < CMM_MAX_INTERFACES; ++i) {
        if (!sameInterface(a->interfaces[i], b->interfaces[i])) {
            return false;
        }
    }
    return true;
}

aud_error_t cmm_system_config_add_interface(cmm_interface_list* list,
                                            const cmm_interface_list* options, const uint8_t* mac) {
    if (!list || !options || !mac || list->count >= CMM_MAX_CONFIG_INTERFACES) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    for (unsigned i = 0; i < options->count && i < CMM_MAX_INTERFACES; ++i) {
        if (std::memcmp(options->interfaces[i].mac, mac, CMM_MAC_SIZE) == 0) {
            list->interfaces[list->count++] = options->interfaces[i];
            return AUD_SUCCESS;
        }
    }
    return AUD_ERR_INVALIDDATA;
}

const cmm_interface_list* cmm_status_get_current_config(const cmm_status* status) {
    return status && status->code != CMM_STATUS_UNKNOWN ? &status->current : nullptr;
}

const cmm_interface_list* cmm_status_get_pending_config(const cmm_status* status) {
    return status && status->code == CMM_STATUS_CHANGING ? &status->pending : nullptr;
}

uint16_t cmm_status_num_processes(const cmm_status* status) {
    return status ? status->num_processes : 0;
}

const cmm_process* cmm_status_process_at(const cmm_status* status, unsigned index) {
    return status && index < status->num_processes && index < CMM_MAX_PROCESSES
               ? &status->processes[index]
               : nullptr;
}

bool cmm_status_equal(const cmm_status* a, const cmm_status* b) {
    if (a->code != b->code ||
        std::memcmp(a->device_name, b->device_name, sizeof a->device_name) != 0 ||
        !cmm_interface_list_equal(&a->current, &b->current) ||
        !cmm_interface_list_equal(&a->pending, &b->pending) ||
        a->num_processes != b->num_processes) {
        return false;
    }
    for (unsigned i = 0; i < a->num_processes && i < CMM_MAX_PROCESSES; ++i) {
        if (!sameProcess(a->processes[i], b->processes[i])) {
            return false;
        }
    }
    return true;
}

const char* cmm_status_code_name(uint16_t code) {
    return code < sizeof kStatusCodeNames / sizeof kStatusCodeNames[0] ? kStatusCodeNames[code]
                                                                       : "???";
}

const char* cmm_response_status_name(uint16_t status) {
    if (status >= CMM_RESPONSE_INVALID_API && status <= CMM_RESPONSE_SYSTEM_ERROR) {
        return kServiceStatusNames[status - CMM_RESPONSE_INVALID_API];
    }
    return dgcp_status_name(status);
}

aud_error_t cmm_status_to_error(uint16_t status) {
    for (const StatusResult& entry : kStatusResults) {
        if (status >= entry.first && status <= entry.last) {
            return entry.result;
        }
    }
    return AUD_ERR_SYSTEM;
}
