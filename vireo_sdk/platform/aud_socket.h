#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aud_error.h"
#include "platform/aud_sockaddr.h"

struct aud_interface;

// An IPv4 UDP socket descriptor; -1 is no socket. Every operation given -1 returns 3.
typedef int32_t aud_socket_t;
enum { AUD_SOCKET_INVALID = -1 };

// 3 unless *socket holds -1. A new socket blocks; an unconnected one never reports refusals.
aud_error_t aud_socket_create(aud_socket_t* socket, int family);
// Connects to address; later sends and receives report a refused datagram as 24.
aud_error_t aud_socket_connect(aud_socket_t socket, const aud_sockaddr* address);
// Creates and connects; on a failed connect the socket is closed and *socket is -1.
aud_error_t aud_socket_create_connected(aud_socket_t* socket, const aud_sockaddr* address);
// Closes a valid socket and stores -1; 3 for a null pointer.
aud_error_t aud_socket_close(aud_socket_t* socket);

aud_error_t aud_socket_bind(aud_socket_t socket, const aud_sockaddr* address);
aud_error_t aud_socket_get_local_address(aud_socket_t socket, aud_sockaddr* address);
aud_error_t aud_socket_set_blocking(aud_socket_t socket, bool blocking);

// Multicast membership of group (3 unless in 224.0.0.0/4, before any system call) on the
// interface's index, or on the system's choice when interface is null.
aud_error_t aud_socket_join_group(aud_socket_t socket, const aud_sockaddr* group,
                                  const aud_interface* interface);
aud_error_t aud_socket_leave_group(aud_socket_t socket, const aud_sockaddr* group,
                                   const aud_interface* interface);
// Outgoing multicast interface; null restores the system's choice.
aud_error_t aud_socket_set_multicast_interface(aud_socket_t socket, const aud_interface* interface);
// These switch their option on when on is 1, else off.
aud_error_t aud_socket_set_multicast_loop(aud_socket_t socket, int on);
aud_error_t aud_socket_set_pktinfo(aud_socket_t socket, int on);
aud_error_t aud_socket_set_reuse_address(aud_socket_t socket, int on);
// Always 9 (not supported).
aud_error_t aud_socket_set_reuse_port(aud_socket_t socket, int on);

// *length: in the bytes to send, out the bytes sent.
aud_error_t aud_socket_send(aud_socket_t socket, const void* data, size_t* length);
aud_error_t aud_socket_sendto(aud_socket_t socket, const void* data, size_t* length,
                              const aud_sockaddr* address);

// *length: in the buffer size, out the bytes received. A datagram larger than the buffer
// gives 31 with the buffer filled and *length its size.
aud_error_t aud_socket_recv(aud_socket_t socket, void* buffer, size_t* length);
aud_error_t aud_socket_peek(aud_socket_t socket, void* buffer, size_t* length);
aud_error_t aud_socket_recvfrom(aud_socket_t socket, void* buffer, size_t* length,
                                aud_sockaddr* address);

// What aud_socket_recvmsg reports: flags asks, result_flags tells what was filled in.
enum { AUD_MSGINFO_SOURCE = 1, AUD_MSGINFO_DESTINATION = 2, AUD_MSGINFO_INTERFACE = 8 };

struct aud_socket_msginfo {
    uint32_t flags;
    uint32_t result_flags;
    aud_sockaddr source;
    // The datagram's destination address with this socket's local port.
    aud_sockaddr destination;
    // Index of the interface the datagram arrived on.
    uint32_t interface_index;
};

// Receive with packet information (the socket needs aud_socket_set_pktinfo for destination
// and interface); 41 until an environment has been started in this process.
aud_error_t aud_socket_recvmsg(aud_socket_t socket, void* buffer, size_t* length,
                               aud_socket_msginfo* info);
