#pragma once

#include <cstdint>

#include "cmm/cmm_types.h"
#include "platform/aud_env.h"
#include "platform/aud_error.h"
#include "platform/aud_socket.h"
#include "platform/aud_time.h"

// The client of the local Vireo configuration service (UDP 127.0.0.1, port 8850 unless set)
// over the dgcp2 transport: connects, keeps the connection alive, learns the offered
// interfaces and the system status, and sends SET_CONFIG requests. It owns no thread: the
// caller waits on its socket and calls cmm_client_process.
struct cmm_client;

enum { CMM_CONNECTION_NONE = 0, CMM_CONNECTION_CONNECTING = 1, CMM_CONNECTION_CONNECTED = 2 };

// Change flags given to the event callback.
enum {
    CMM_CHANGE_REQUEST = 1,      // the pending request completed (or was dropped)
    CMM_CHANGE_CONNECTION = 2,   // connection state changed
    CMM_CHANGE_OWN_PROCESS = 4,  // the flag of this process's entry in the status changed
    CMM_CHANGE_OPTIONS = 8,
    CMM_CHANGE_STATUS = 0x10
};

typedef void (*cmm_client_event_callback)(cmm_client* client, unsigned changes, aud_error_t result);
typedef void (*cmm_clock_fn)(void* context, aud_time* now);

// Null when out of memory.
cmm_client* cmm_client_new(aud_env* env);
// 0 gives the default port 8850.
aud_error_t cmm_client_set_server_port(cmm_client* client, uint16_t port);
// The keepalive interval and the silence after which the service counts as lost (10 s and
// 31 s unless set), for the next cmm_client_init. 3 for a null argument or a zero time.
aud_error_t cmm_client_set_keepalive_times(cmm_client* client, const aud_time* interval,
                                           const aud_time* timeout);
// Opens the socket connected to the service, arms the keepalives and keeps the client name
// (null: empty). 3 for a null client, 5 when already open.
aud_error_t cmm_client_init(cmm_client* client, const char* name);
// 5 while a request is pending; else sends connect and keeps it pending.
aud_error_t cmm_client_connect(cmm_client* client);
// 0 when not connected; else drops the pending request and sends disconnect.
aud_error_t cmm_client_disconnect(cmm_client* client);
// 3 for a null argument, 5 while a request is pending; else sends SET_CONFIG and keeps it
// pending.
aud_error_t cmm_client_set_system_config(cmm_client* client, const cmm_system_config* config);
// Reads everything waiting on the socket.
aud_error_t cmm_client_process(cmm_client* client, aud_time* next_wake);
// Forgets the pending request, closes the transport and the socket.
void cmm_client_close(cmm_client* client);
// Closes and frees (null is accepted).
void cmm_client_delete(cmm_client* client);

aud_socket_t cmm_client_get_socket(const cmm_client* client);
bool cmm_client_request_pending(const cmm_client* client);
int cmm_client_get_connection_state(const cmm_client* client);
void* cmm_client_get_context(const cmm_client* client);
void cmm_client_set_context(cmm_client* client, void* context);
void cmm_client_set_event_callback(cmm_client* client, cmm_client_event_callback callback);
// The keepalives' clock (monotonic unless set).
void cmm_client_set_clock(cmm_client* client, cmm_clock_fn clock, void* context);
const cmm_client_info* cmm_client_get_info(const cmm_client* client);

// Each record only once received, else null.
const cmm_server_record* cmm_client_get_server_address(const cmm_client* client);
const cmm_interface_list* cmm_client_get_options(const cmm_client* client);
const cmm_status* cmm_client_get_status(const cmm_client* client);
// The scratch record that the caller fills for cmm_client_set_system_config.
cmm_system_config* cmm_client_get_system_config(cmm_client* client);
