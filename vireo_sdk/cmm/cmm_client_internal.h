#pragma once

#include "cmm/cmm_client.h"
#include "dgcp2/dgcp2_client.h"

// Received-data flags.
enum { CMM_DATA_SERVER = 1, CMM_DATA_OPTIONS = 2, CMM_DATA_STATUS = 4 };

struct cmm_client {
    aud_env* env;
    aud_socket_t socket;
    uint16_t port;  // 0: the default
    aud_time keepalive_interval;
    aud_time keepalive_timeout;  // silence this long: the service is lost
    dgcp2_client* transport;
    dgcp_message* pending;  // the request awaiting its response
    int connection_state;
    cmm_client_info info;
    unsigned received;  // CMM_DATA_*
    cmm_server_record server;
    cmm_interface_list options;
    cmm_status status;
    bool own_flag;
    cmm_system_config config;
    void* context;
    cmm_client_event_callback callback;
};

void cmm_client_log(const cmm_client* client, unsigned level, const char* format, ...);
// The transport's event callback.
void cmm_client_on_event(dgcp2_client* transport, const dgcp2_event_info* event);
// Drops the pending request and frees its transport slot; adds CMM_CHANGE_REQUEST to *changes
// when there was one.
void cmm_client_drop_pending(cmm_client* client, unsigned* changes);

// Debug lines of the records, each led by indent.
void cmm_log_interface_list(const cmm_client* client, const char* indent,
                            const cmm_interface_list* list);
void cmm_log_status(const cmm_client* client, const char* indent, const cmm_status* status);
void cmm_log_system_config(const cmm_client* client, const char* indent,
                           const cmm_system_config* config);
