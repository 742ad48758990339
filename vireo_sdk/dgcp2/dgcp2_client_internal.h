#pragma once

#include <cstdarg>

#include "dgcp2/dgcp2_client.h"

struct dgcp2_client {
    aud_env* env;
    unsigned options;  // DGCP2_OPTION_*
    bool handshake;
    bool linger;
    uint8_t id[DGCP_CLIENT_ID_SIZE];
    uint16_t port;
    void* context;
    dgcp2_event_callback callback;
    aud_socket_t socket;
    aud_sockaddr server;
    uint16_t seqnum;
    aud_time keepalive_interval;
    aud_time keepalive_timeout;
    aud_time last_send;
    aud_time last_receive;
    aud_time next_wake;
    dgcp2_clock_fn clock;
    void* clock_context;
    int state;
    unsigned header_type;
    unsigned pool_size;
    dgcp_message* pool;
    unsigned in_use;
    dgcp_message* current;  // the request sent and awaiting its response
    bool handling;          // a received datagram is being handled
    bool deleted;           // deleted while handling: freed when that ends
    dgcp_message receive;
    dgcp_message keepalive;
};

void dgcp2_client_log(const dgcp2_client* client, unsigned level, const char* format, ...);
void dgcp2_client_now(const dgcp2_client* client, aud_time* now);
// Calls the event callback, when there is one.
void dgcp2_client_report(dgcp2_client* client, unsigned changes, dgcp_message* request,
                         const dgcp_message* message, aud_error_t result);
