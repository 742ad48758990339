#include <algorithm>
#include <string>

#include "cmm/cmm_client_internal.h"
#include "util/aud_text.h"

namespace {

bool logsDebug(const cmm_client* client) {
    const aud_log* log = aud_env_log(client->env);
    return log && log->threshold >= AUD_LOG_DEBUG;
}

}  // namespace

void cmm_log_interface_list(const cmm_client* client, const char* indent,
                            const cmm_interface_list* list) {
    if (!logsDebug(client)) {
        return;
    }
    for (unsigned i = 0; i < list->count && i < CMM_MAX_INTERFACES; ++i) {
        const cmm_interface& entry = list->interfaces[i];
        // A list the caller filled may hold a name without its terminator.
        char16_t wide[CMM_INTERFACE_NAME_SIZE + 1] = {};
        std::copy(entry.name, entry.name + CMM_INTERFACE_NAME_SIZE, wide);
        char name[CMM_INTERFACE_NAME_SIZE * 5 + 1];
        aud_wide_to_text(wide, name, sizeof name);
        const uint8_t* m = entry.mac;
        cmm_client_log(client, AUD_LOG_DEBUG,
                       "%sInterface %d: %s (%02x:%02x:%02x:%02x:%02x:%02x)\n", indent,
                       static_cast<int>(i), name, m[0], m[1], m[2], m[3], m[4], m[5]);
    }
}

void cmm_log_status(const cmm_client* client, const char* indent, const cmm_status* status) {
    if (!logsDebug(client)) {
        return;
    }
    const std::string nested = std::string(indent) + "  ";
    cmm_client_log(client, AUD_LOG_DEBUG, "%sSystem status: %s\n", indent,
                   cmm_status_code_name(status->code));
    cmm_client_log(client, AUD_LOG_DEBUG, "%sDevice Name: %s\n", indent, status->device_name);
    cmm_client_log(client, AUD_LOG_DEBUG, "%sCurrent config:\n", indent);
    cmm_log_interface_list(client, nested.c_str(), &status->current);
    cmm_client_log(client, AUD_LOG_DEBUG, "%sPending config:\n", indent);
    cmm_log_interface_list(client, nested.c_str(), &status->pending);
    cmm_client_log(client, AUD_LOG_DEBUG, "%sProcesses:\n", indent);
    for (unsigned i = 0; i < status->num_processes && i < CMM_MAX_PROCESSES; ++i) {
        const cmm_process& process = status->processes[i];
        cmm_client_log(client, AUD_LOG_DEBUG, "%s  %d: %s %d %s\n", indent, static_cast<int>(i),
                       process.name, static_cast<int>(process.id), process.flag ? "true" : "false");
    }
}

void cmm_log_system_config(const cmm_client* client, const char* indent,
                           const cmm_system_config* config) {
    if (!logsDebug(client)) {
        return;
    }
    const std::string nested = std::string(indent) + "  ";
    cmm_client_log(client, AUD_LOG_DEBUG, "%sConfig:\n", indent);
    if (config->flags & CMM_CONFIG_INTERFACES) {
        cmm_log_interface_list(client, nested.c_str(), &config->interfaces);
    }
    if (config->flags & CMM_CONFIG_LOCK) {
        cmm_client_log(client, AUD_LOG_DEBUG, "%sLock: %s\n", indent,
                       config->lock ? "true" : "false");
    }
}
