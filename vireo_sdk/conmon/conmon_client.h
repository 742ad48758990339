#pragma once

#include <cstddef>
#include <cstdint>

#include "conmon/conmon_client_config.h"
#include "conmon/conmon_message.h"
#include "platform/aud_env.h"
#include "platform/aud_error.h"
#include "platform/aud_socket_set.h"
#include "platform/aud_time.h"

// The application's link to the local conmon server: one UDP "connection" to 127.0.0.1, over
// which it registers for channel messages, subscribes to them, sends channel messages to named
// devices and receives what the server forwards. It owns no thread: the caller asks for its
// socket and calls it to process what arrived; callbacks run inside those calls. Use it from
// one thread at a time.
struct conmon_client;

enum conmon_client_state {
    CONMON_CLIENT_NO_CONNECTION = 0,
    CONMON_CLIENT_CONNECTING = 1,
    CONMON_CLIENT_CONNECTED = 2,
    CONMON_CLIENT_RECONNECT_PENDING = 3
};

enum {
    CONMON_CLIENT_DEFAULT_MAX_REQUESTS = 10,
    CONMON_CLIENT_MAX_INTERFACES = 2,
    CONMON_CLIENT_MAX_SUBSCRIPTIONS = 96
};

// Names a tracked request: a counter from 1 that skips 0, so no id repeats for a long time.
typedef uint32_t conmon_client_request_id;

// Timings of automatic reconnection, in milliseconds.
struct conmon_client_reconnect_timing {
    uint32_t keepalive_ms = 3000;           // a NULL request this often while CONNECTED
    uint32_t connecting_timeout_ms = 2000;  // CONNECTING this long: the connection timed out
    uint32_t connected_timeout_ms = 10000;  // CONNECTED this long without a word from the server
    uint32_t reconnect_delay_ms = 5000;     // RECONNECT_PENDING this long, then connect again
};

// The clock of the client's time-outs (monotonic unless set): *now is the current time.
typedef void conmon_client_clock_fn(void* context, aud_time* now);

struct conmon_client_interface {
    uint32_t index;
    uint32_t flags;    // bit 0: link up
    uint32_t address;  // IPv4, network order
};

// A remote device the server reports on a subscribed channel.
struct conmon_client_subscription {
    uint16_t channel_type;
    uint16_t status;
    char name[CONMON_NAME_SIZE + 1];
    conmon_instance_id instance_id;
};

// A request completed (result 0 or a failure); the request is no longer tracked.
typedef void conmon_client_response_fn(conmon_client* client, conmon_client_request_id request,
                                       aud_error_t result);
// A channel message arrived: direction 0 local, 1 remote. The message's body lies in the
// client's receive buffer and is valid during the call only.
typedef void conmon_client_message_fn(conmon_client* client, unsigned channel_type,
                                      unsigned direction, const conmon_message* message);
typedef void conmon_client_changed_fn(conmon_client* client);
typedef void conmon_client_devices_changed_fn(conmon_client* client, size_t count,
                                              const conmon_client_subscription* const* changed);

// 3 for a null argument, 6 on allocation failure, 9 when the mask asks for channel types 1, 5
// or 7 (those need sockets of their own, which this client does not open). Starts closed.
aud_error_t conmon_client_new_config(aud_env* env, const conmon_client_config* config,
                                     conmon_client** client);
// Disconnects and frees everything; null is accepted. Not from inside a callback.
void conmon_client_delete(conmon_client* client);

// Size of the request table: 3 for 0, 5 once the first connect has made the table.
aud_error_t conmon_client_set_max_requests(conmon_client* client, size_t max_requests);

void conmon_client_set_context(conmon_client* client, void* context);
void* conmon_client_get_context(const conmon_client* client);
void conmon_client_set_networks_changed_callback(conmon_client* client,
                                                 conmon_client_changed_fn* callback);
void conmon_client_set_device_name_changed_callback(conmon_client* client,
                                                    conmon_client_changed_fn* callback);
void conmon_client_set_dns_domain_name_changed_callback(conmon_client* client,
                                                        conmon_client_changed_fn* callback);
void conmon_client_set_devices_changed_callback(conmon_client* client,
                                                conmon_client_devices_changed_fn* callback);

// Opens the socket and sends Connect: 3 for null, 5 unless NO_CONNECTION; the request is
// completed when the server answers (or refuses: the client closes again, and with
// reconnection on waits to connect again).
aud_error_t conmon_client_connect(conmon_client* client, conmon_client_response_fn* callback,
                                  conmon_client_request_id* request);
// Sends Disconnect when open and closes; tracked requests are dropped without callbacks.
// Ends automatic reconnection too: the client stays NO_CONNECTION until connected again.
aud_error_t conmon_client_disconnect(conmon_client* client);

// Automatic reconnection, off unless switched on (timing null: the defaults). While on, a
// CONNECTED client sends a NULL request every keepalive_ms. A connection that times out
// (CONNECTING for connecting_timeout_ms, or CONNECTED with nothing valid heard from the
// server for connected_timeout_ms: Disconnect is sent, the connect callback gets 10), that is
// refused (the connect callback gets the refusal), or whose keepalive the server answers with
// an error status (a restarted server that knows no such client) is closed as a disconnect
// closes it and goes to RECONNECT_PENDING; reconnect_delay_ms later the client connects again
// (CONNECTING; a failure to open the socket or send waits as long again). The application
// registers and subscribes again once it sees CONNECTED. Time-outs are judged in
// conmon_client_process_sockets and conmon_client_process. 3 for a null client or a zero time.
aud_error_t conmon_client_set_auto_reconnect(conmon_client* client, bool on,
                                             const conmon_client_reconnect_timing* timing);
void conmon_client_set_clock(conmon_client* client, conmon_client_clock_fn* clock, void* context);
conmon_client_state conmon_client_get_state(const conmon_client* client);
// "NO_CONNECTION" .. "RECONNECT_PENDING"; "???" for another value.
const char* conmon_client_state_name(unsigned state);

// Adds the control socket to set; 5 when closed.
aud_error_t conmon_client_get_sockets(const conmon_client* client, aud_socket_set* set);
// Reads and handles one datagram when the control socket is in set, then acts on the
// reconnection time-outs that have passed; next_timeout (may be null) is left as it is: the
// caller processes in cycles. 4 for a datagram that failed validation.
aud_error_t conmon_client_process_sockets(conmon_client* client, const aud_socket_set* set,
                                          aud_time* next_timeout);
// The same for whatever is waiting on the control socket.
aud_error_t conmon_client_process(conmon_client* client);

// Every sending operation: 40 while NO_CONNECTION; with a callback or a request out, a free
// entry of the request table (35 when none) tracks it until its response, a disconnect or a
// cancel. Without either the request is not tracked (and asks for no response when the
// server allows it).

// Stores handler for (channel type, 0 local / 1 remote) and sends Register (Deregister when
// handler is null). 41 for a type outside the channel mask, 3 for another direction.
aud_error_t conmon_client_register_monitoring_messages(conmon_client* client,
                                                       conmon_client_response_fn* callback,
                                                       conmon_client_request_id* request,
                                                       unsigned channel_type, unsigned direction,
                                                       conmon_client_message_fn* handler);
// Subscribes to every device's messages of channel_type (1 to 8, else 3).
aud_error_t conmon_client_subscribe_global(conmon_client* client,
                                           conmon_client_response_fn* callback,
                                           conmon_client_request_id* request,
                                           unsigned channel_type);
// Sends a conmon message of message_type with vendor_id and body to the device named
// device_name (fewer than 32 bytes, else 3): 3 for a body above 1448 bytes, 31 for a body
// under 8 bytes with the standard vendor id. instance_id (may be null) names the target.
aud_error_t conmon_client_send_control_message(
    conmon_client* client, conmon_client_response_fn* callback, conmon_client_request_id* request,
    const char* device_name, uint16_t message_type, const uint8_t vendor_id[CONMON_VENDOR_ID_SIZE],
    const uint8_t* body, size_t length, const conmon_instance_id* instance_id);
// Stops tracking a request without its callback, so its table entry is free again: 11 when no
// tracked request has that id.
aud_error_t conmon_client_cancel_request(conmon_client* client, conmon_client_request_id request);

// The local device's name for its own instance id, a subscribed device's name whose device id
// matches, or during delivery of a named channel message its sender's name; else null.
const char* conmon_client_device_name_for_instance_id(const conmon_client* client,
                                                      const conmon_instance_id* instance_id);

// What the Connect response and later events told about the local Vireo device.
const char* conmon_client_get_device_name(const conmon_client* client);
const char* conmon_client_get_dns_domain_name(const conmon_client* client);
const conmon_instance_id* conmon_client_get_instance_id(const conmon_client* client);
size_t conmon_client_num_interfaces(const conmon_client* client);
const conmon_client_interface* conmon_client_interface_at(const conmon_client* client, size_t i);
size_t conmon_client_num_subscriptions(const conmon_client* client);
const conmon_client_subscription* conmon_client_subscription_at(const conmon_client* client,
                                                                size_t i);
