#include "conmon/conmon_client_config.h"

#include <cstring>
#include <new>

#include "conmon/conmon_message.h"

conmon_client_config* conmon_client_config_new(const char* name) {
    if (!name || strnlen(name, CONMON_NAME_SIZE) >= CONMON_NAME_SIZE) {
        return nullptr;
    }
    conmon_client_config* config = new (std::nothrow) conmon_client_config();
    if (!config) {
        return nullptr;
    }
    std::strcpy(config->name, name);
    config->server_port = CONMON_SERVER_PORT;
    config->protocol_version = CONMON_PROTOCOL_VERSION;
    config->channel_mask = CONMON_CHANNEL_MASK_DEFAULT;
    return config;
}

void conmon_client_config_delete(conmon_client_config* config) {
    delete config;
}

aud_error_t conmon_client_config_set_server_port(conmon_client_config* config, uint16_t port) {
    if (!config) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    config->server_port = port;
    return AUD_SUCCESS;
}

aud_error_t conmon_client_config_set_channel_mask(conmon_client_config* config, uint32_t mask) {
    if (!config || mask >> CONMON_NUM_CHANNEL_TYPES) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    config->channel_mask = mask;
    return AUD_SUCCESS;
}
