#pragma once

#include <cstddef>
#include <cstdint>

#include "conmon/conmon_client.h"
#include "conmon/conmon_control.h"
#include "conmon/conmon_writer.h"
#include "platform/aud_log.h"

// One tracked request.
struct conmon_request_entry {
    bool busy;
    uint16_t sequence;
    uint16_t opcode;
    conmon_client_request_id id;
    conmon_client_response_fn* callback;
};

struct conmon_client {
    aud_env* env;
    conmon_client_config config;
    uint16_t version;  // the configuration's, or an older server's once adopted
    aud_socket_t socket;
    conmon_client_state state;
    uint16_t sequence;  // the last one used
    conmon_client_request_id last_request_id;

    conmon_request_entry* requests;  // null until the first connect
    size_t max_requests;
    size_t search_position;
    size_t busy_count;
    conmon_request_entry connect_request;

    uint16_t server_flags;  // bit 0: requests may ask for no response
    char device_name[CONMON_NAME_SIZE + 1];
    char dns_domain_name[CONMON_DOMAIN_NAME_SIZE + 1];
    conmon_instance_id instance_id;
    conmon_client_interface interfaces[CONMON_CLIENT_MAX_INTERFACES];
    size_t num_interfaces;
    conmon_client_subscription subscriptions[CONMON_CLIENT_MAX_SUBSCRIPTIONS];
    size_t num_subscriptions;

    conmon_client_message_fn* handlers[CONMON_NUM_CHANNEL_TYPES][2];
    bool subscribed[CONMON_NUM_CHANNEL_TYPES];

    conmon_client_changed_fn* networks_changed;
    conmon_client_changed_fn* device_name_changed;
    conmon_client_changed_fn* dns_domain_name_changed;
    conmon_client_devices_changed_fn* devices_changed;
    void* context;

    // Automatic reconnection and its clock.
    bool reconnect;
    conmon_client_reconnect_timing reconnect_timing;
    conmon_client_clock_fn* clock;
    void* clock_context;
    aud_time deadline;        // CONNECTING: its time-out; RECONNECT_PENDING: the next connect
    aud_time last_heard;      // CONNECTED: the last valid datagram from the server
    aud_time next_keepalive;  // CONNECTED

    bool handling;  // a datagram or a time-out is being handled
    bool deleted;   // deleted while handling: freed when that ends

    // The sender of the named channel message being delivered.
    bool delivering_named;
    char sender_name[CONMON_NAME_SIZE + 1];
    conmon_instance_id sender_id;

    uint8_t send_buffer[CONMON_CONTROL_BUFFER_SIZE];
    uint8_t receive_buffer[CONMON_CONTROL_BUFFER_SIZE];
};

// One row of the opcode table: what a message of the opcode must satisfy and who handles its
// responses and events. validate gives 0 or the status that refuses the message.
typedef unsigned conmon_validate_fn(const conmon_control* message);
typedef void conmon_response_handler_fn(conmon_client* client, const conmon_control* message,
                                        conmon_request_entry* entry);
typedef void conmon_event_handler_fn(conmon_client* client, const conmon_control* message);

struct conmon_opcode_info {
    uint16_t opcode;
    const char* name;
    conmon_validate_fn* validate;             // null: always valid
    conmon_response_handler_fn* on_response;  // null: complete with the status's result
    conmon_event_handler_fn* on_event;        // null: ignored
};

// The row of opcode, or null.
const conmon_opcode_info* conmon_opcode_find(uint16_t opcode);
// The opcode's name as logged; "???" when unknown.
const char* conmon_opcode_name(uint16_t opcode);

void conmon_client_log(const conmon_client* client, unsigned level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Validates and handles one received datagram: 4 when refused.
aud_error_t conmon_client_handle_datagram(conmon_client* client, const uint8_t* data, size_t size);

// Moves to state (and arms that state's time-outs).
void conmon_client_to_state(conmon_client* client, const char* caller, conmon_client_state state,
                            const char* reason);
// Closes the socket, drops every tracked request without callbacks and forgets what the
// server told; Disconnect is sent first when asked. Then state (NO_CONNECTION unless given),
// and last the connect request's callback gets result when notify is set.
void conmon_client_close(conmon_client* client, bool send_disconnect, bool notify,
                         aud_error_t result,
                         conmon_client_state state = CONMON_CLIENT_NO_CONNECTION,
                         const char* reason = "manual connection disconnected");
// Opens the socket and sends Connect: CONNECTING.
aud_error_t conmon_client_connect_internal(conmon_client* client,
                                           conmon_client_response_fn* callback,
                                           conmon_client_request_id* request);
// The connection is gone (result for the connect callback): closed as conmon_client_close
// does, then RECONNECT_PENDING when reconnection is on, else NO_CONNECTION.
void conmon_client_lose_connection(conmon_client* client, bool send_disconnect, aud_error_t result,
                                   const char* reason);
// A connection time-out has passed: CONNECTING or CONNECTED disconnect with 10 (then
// RECONNECT_PENDING when reconnection is on); RECONNECT_PENDING connects again. Nothing in
// NO_CONNECTION.
void conmon_client_process_connection_timeout(conmon_client* client);
// Acts on the time-outs of the current state that have passed (with reconnection on).
void conmon_client_process_timers(conmon_client* client);
void conmon_client_now(const conmon_client* client, aud_time* now);
// Arms the time-outs of the state just entered.
void conmon_client_arm_timers(conmon_client* client);

// The next request id: counts from 1 and skips 0.
conmon_client_request_id conmon_client_next_request_id(conmon_client* client);
// Starts a request of opcode in the send buffer; the caller adds the body.
void conmon_client_begin(conmon_client* client, conmon_writer* writer, uint16_t opcode);
// Sends the request built in writer, tracked as described in conmon_client.h.
aud_error_t conmon_client_send_request(conmon_client* client, conmon_writer* writer,
                                       conmon_client_response_fn* callback,
                                       conmon_client_request_id* request);
// Sends Connect in the connect entry (5 while one is outstanding there).
aud_error_t conmon_client_send_connect(conmon_client* client, conmon_client_response_fn* callback,
                                       conmon_client_request_id id);
// Sends a NULL keepalive in the connect entry, in place of one still unanswered there.
aud_error_t conmon_client_send_keepalive(conmon_client* client);
// Frees entry, then calls its callback with result.
void conmon_client_complete(conmon_client* client, conmon_request_entry* entry, aud_error_t result);
// Frees entry without a callback.
void conmon_client_release(conmon_client* client, conmon_request_entry* entry);

// Opcode handlers of the table.
void conmon_client_on_connect_response(conmon_client* client, const conmon_control* message,
                                       conmon_request_entry* entry);
void conmon_client_on_null_response(conmon_client* client, const conmon_control* message,
                                    conmon_request_entry* entry);
void conmon_client_on_subscribe_response(conmon_client* client, const conmon_control* message,
                                         conmon_request_entry* entry);
void conmon_client_on_networks_changed(conmon_client* client, const conmon_control* message);
void conmon_client_on_device_name_changed(conmon_client* client, const conmon_control* message);
void conmon_client_on_dns_domain_name_changed(conmon_client* client, const conmon_control* message);
void conmon_client_on_channel_message(conmon_client* client, const conmon_control* message);
void conmon_client_on_named_channel_message(conmon_client* client, const conmon_control* message);
void conmon_client_on_subscriptions_changed(conmon_client* client, const conmon_control* message);

// Validators of the table (conmon_validate.cpp).
unsigned conmon_validate_connect(const conmon_control* message);
unsigned conmon_validate_name_message(const conmon_control* message);
unsigned conmon_validate_remote_control(const conmon_control* message);
unsigned conmon_validate_register(const conmon_control* message);
unsigned conmon_validate_subscribe(const conmon_control* message);
unsigned conmon_validate_send_message(const conmon_control* message);
unsigned conmon_validate_networks_changed(const conmon_control* message);
unsigned conmon_validate_dns_domain_name_changed(const conmon_control* message);
unsigned conmon_validate_channel_message(const conmon_control* message);
unsigned conmon_validate_named_channel_message(const conmon_control* message);
unsigned conmon_validate_legacy_metering(const conmon_control* message);
unsigned conmon_validate_subscriptions_changed(const conmon_control* message);

// Layout of received messages shared by the validators and the handlers.
enum {
    CONMON_CONNECT_NAME_OFFSET = 12,
    CONMON_CONNECT_LEGACY_DEVICE_ID_OFFSET = 44,
    CONMON_CONNECT_LEGACY_PROCESS_ID_OFFSET = 52,
    CONMON_CONNECT_LEGACY_COUNT_OFFSET = 54,
    CONMON_CONNECT_LEGACY_RECORDS_OFFSET = 56,
    CONMON_CONNECT_LEGACY_RECORD_SIZE = 88,
    CONMON_CONNECT_FLAGS_OFFSET = 10,
    CONMON_CONNECT_DOMAIN_OFFSET = 44,
    CONMON_CONNECT_DEVICE_ID_OFFSET = 300,
    CONMON_CONNECT_PROCESS_ID_OFFSET = 308,
    CONMON_CONNECT_COUNT_OFFSET = 310,
    CONMON_CONNECT_RECORD_SIZE_OFFSET = 312,
    CONMON_CONNECT_RECORD_OFFSET_OFFSET = 314,
    CONMON_CONNECT_FIXED_SIZE = 316,       // from version 0x1200
    CONMON_CONNECT_FIXED_SIZE_1400 = 324,  // from version 0x1400
    CONMON_INTERFACE_FIELDS_SIZE = 12,     // index, flags, IPv4 address
    CONMON_COUNT_OFFSET = 10,
    CONMON_NETWORKS_RECORDS_OFFSET = 16,
    CONMON_NETWORKS_RECORD_SIZE = 36,
    CONMON_NETWORKS_LEGACY_RECORDS_OFFSET = 12,
    CONMON_SUBSCRIPTION_RECORDS_OFFSET = 16,
    CONMON_SUBSCRIPTION_RECORD_SIZE = 72,
    CONMON_SUBSCRIPTION_LEGACY_RECORDS_OFFSET = 12,
    CONMON_SUBSCRIPTION_LEGACY_RECORD_SIZE = 48,
    CONMON_CHANNEL_TYPE_OFFSET = 10,
    CONMON_DIRECTION_OFFSET = 12,
    CONMON_CHANNEL_MESSAGE_OFFSET = 16,
    CONMON_SENDER_NAME_OFFSET = 16,
    CONMON_NAMED_MESSAGE_OFFSET = 48,
    CONMON_SEND_NAME_OFFSET = 20,
    CONMON_SEND_MESSAGE_OFFSET = 52,
    CONMON_SEND_TYPED_MESSAGE_OFFSET = 12
};

// Offset and size of record i of a 0x310 response or 0x521 event of the message's version.
size_t conmon_subscription_records_offset(const conmon_control* message);
size_t conmon_subscription_record_size(const conmon_control* message);
