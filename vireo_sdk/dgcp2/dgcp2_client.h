#pragma once

#include <cstdint>

#include "dgcp2/dgcp_message.h"
#include "platform/aud_env.h"
#include "platform/aud_error.h"
#include "platform/aud_sockaddr.h"
#include "platform/aud_socket.h"
#include "platform/aud_time.h"

// The dgcp2 request/response transport over one UDP socket to a local service: one
// outstanding request, connect and disconnect handshakes, server events and keepalives.
// It owns no thread: the caller waits on the socket and calls dgcp2_client_process.
struct dgcp2_client;

// Connection states.
enum {
    DGCP2_STATE_DISCONNECTED = 0,
    DGCP2_STATE_CONNECTING = 1,
    DGCP2_STATE_CONNECTED = 2,
    DGCP2_STATE_DISCONNECTING = 3
};

// Change bits of an event.
enum {
    DGCP2_CHANGE_STATE = 1,
    DGCP2_CHANGE_SERVER_LOST = 2,
    DGCP2_CHANGE_RESPONSE = 4,
    DGCP2_CHANGE_EVENT = 8
};

// Option flags.
enum { DGCP2_OPTION_SERVER_ADDRESS = 1, DGCP2_OPTION_KEEPALIVES = 2 };

struct dgcp2_event_info {
    unsigned changes;
    dgcp_message* request;        // the request a response answers, else null
    const dgcp_message* message;  // the response or event, else null
    aud_error_t result;
};

typedef void (*dgcp2_event_callback)(dgcp2_client* client, const dgcp2_event_info* event);
// The transport's clock for keepalives (monotonic unless set): *now is the current time.
typedef void (*dgcp2_clock_fn)(void* context, aud_time* now);

// Null when out of memory, and when the event loop is asked for: the keepalive timers of an
// event loop are not built here, the caller always manages the socket.
dgcp2_client* dgcp2_client_new(aud_env* env, bool use_event_loop, unsigned header_type,
                               unsigned pool_size);
// Closes and frees the client, its pool included (null is accepted).
void dgcp2_client_delete(dgcp2_client* client);

// 3 for socket -1. A null id gives eight zero bytes with the socket's local port; a server
// address sends with sendto and drops datagrams from other sources.
aud_error_t dgcp2_client_initialise(dgcp2_client* client, const uint8_t* id, aud_socket_t socket,
                                    bool handshake, bool linger, const aud_sockaddr* server);
// 3 when either time is missing or zero, or the protocol is 0.
aud_error_t dgcp2_client_set_keepalives(dgcp2_client* client, uint16_t protocol,
                                        const aud_time* send_interval,
                                        const aud_time* receive_timeout);
void dgcp2_client_set_clock(dgcp2_client* client, dgcp2_clock_fn clock, void* context);
void dgcp2_client_set_context(dgcp2_client* client, void* context);
void* dgcp2_client_get_context(const dgcp2_client* client);
void dgcp2_client_set_event_callback(dgcp2_client* client, dgcp2_event_callback callback);
int dgcp2_client_get_state(const dgcp2_client* client);
aud_env* dgcp2_client_get_env(const dgcp2_client* client);
uint16_t dgcp2_client_get_port(const dgcp2_client* client);

// A cleared request buffer with the client port and id in its header. 3 for a null out, 11
// without a pool, 35 when every slot is in use.
aud_error_t dgcp2_client_alloc_request(dgcp2_client* client, dgcp_message** request);
// Releases a slot in use (nothing for one that is free).
void dgcp2_request_free(dgcp_message* request);

// Sends a request from the pool. On any failure the slot is released, except that a refused
// disconnect (23, 24) counts as done: state 0 and result 0.
aud_error_t dgcp2_client_send_request(dgcp_message* request);
// Writes the next sequence number into message and sends its length bytes.
aud_error_t dgcp2_client_send_message(dgcp2_client* client, dgcp_message* message);

// Reads every datagram waiting on the socket and reports what they carry. next_wake (may be
// null) gets the next keepalive deadline, zero when none.
aud_error_t dgcp2_client_process(dgcp2_client* client, aud_time* next_wake);
aud_error_t dgcp2_client_check_keepalives(dgcp2_client* client, aud_time* next_wake);

// Forgets the socket (the owner closes it) and restarts the sequence numbers.
void dgcp2_client_close(dgcp2_client* client);
