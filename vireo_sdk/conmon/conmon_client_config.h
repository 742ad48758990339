#pragma once

#include <cstdint>

#include "conmon/conmon_control.h"
#include "platform/aud_error.h"

enum { CONMON_SERVER_PORT = 8900 };

// What a conmon client is made from: its name, the server's port on "127.0.0.1", the protocol
// version and the channel mask.
struct conmon_client_config {
    char name[CONMON_NAME_SIZE];
    uint16_t server_port;
    uint16_t protocol_version;
    uint32_t channel_mask;
};

// A configuration with the defaults (port 8900, version 0x1500, mask 0x15D); null when name
// is null, has 32 bytes or more, or memory runs out.
conmon_client_config* conmon_client_config_new(const char* name);
void conmon_client_config_delete(conmon_client_config* config);
// Port 0 stands for the default port. 3 for a null config.
aud_error_t conmon_client_config_set_server_port(conmon_client_config* config, uint16_t port);
// 3 for a null config or a mask with bits above the nine channel types.
aud_error_t conmon_client_config_set_channel_mask(conmon_client_config* config, uint32_t mask);
