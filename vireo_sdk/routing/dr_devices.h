#pragma once

#include <cstdint>

#include "platform/aud_env.h"
#include "platform/aud_error.h"
#include "platform/aud_sockaddr.h"
#include "platform/aud_socket_set.h"

// The routing context: one comms socket for every routed device, 16 request slots shared by
// them, and the list of open devices. Single-threaded and poll-driven: the application asks
// for the sockets, waits on them and hands the ready set to dr_devices_process.
struct dr_devices;
struct dr_device;
struct dr_device_addresses;
// A request slot; the handle that callers get for a request.
struct dr_request;
typedef dr_request* dr_request_id;

// Called once per request with its result (a stored result overrides the given one).
typedef void (*dr_request_callback)(dr_device* device, dr_request_id request, aud_error_t result);
typedef void (*dr_devices_sockets_changed_callback)(dr_devices* devices);

enum {
    DR_DEVICES_NUM_REQUESTS = 16,
    DR_DEVICES_REQUEST_TIMEOUT_MS = 5000  // a request unanswered this long completes with 10
};

aud_error_t dr_devices_new(aud_env* env, dr_devices** devices);
// 5 while a device is open.
aud_error_t dr_devices_delete(dr_devices* devices);
aud_error_t dr_devices_enable_socket_inet(dr_devices* devices);

aud_error_t dr_devices_get_sockets(dr_devices* devices, aud_socket_set* set);
// Completes requests older than the time-out with 10, processes the DNS-SD sockets of every
// device, then reads the comms socket until it would block. 40 when it is closed.
aud_error_t dr_devices_process(dr_devices* devices, aud_socket_set* ready);
// Matches one received datagram to its request and hands it to the request's device.
aud_error_t dr_devices_process_message(dr_devices* devices, const aud_sockaddr* source,
                                       const void* message, size_t length);

aud_error_t dr_devices_set_context(dr_devices* devices, void* context);
void* dr_devices_get_context(const dr_devices* devices);
aud_error_t dr_devices_set_sockets_changed_callback(dr_devices* devices,
                                                    dr_devices_sockets_changed_callback callback);
aud_error_t dr_devices_set_request_timeout(dr_devices* devices, uint32_t milliseconds);

// Request slots.
aud_error_t dr_devices_allocate_request(dr_devices* devices, dr_device* owner,
                                        dr_request_callback callback, dr_request_id* request);
// Stamps the next sequence number into the slot's packet and sends it to every valid address.
aud_error_t dr_devices_send_request(dr_devices* devices, dr_request_id request,
                                    dr_device_addresses* addresses);
aud_error_t dr_devices_cancel_request(dr_devices* devices, dr_request_id request);
aud_error_t dr_devices_complete_request(dr_devices* devices, dr_request_id request,
                                        aud_error_t result);
int dr_devices_get_request_code(const dr_devices* devices, dr_request_id request);
aud_error_t dr_devices_set_request_code(dr_devices* devices, dr_request_id request, int code);
aud_error_t dr_devices_set_request_result(dr_devices* devices, dr_request_id request,
                                          aud_error_t result);
struct dr_packet* dr_devices_get_request_packet(dr_devices* devices, dr_request_id request);
void* dr_devices_get_batch_data(const dr_devices* devices, dr_request_id request);
