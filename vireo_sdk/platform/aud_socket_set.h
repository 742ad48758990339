#pragma once

#include "platform/aud_error.h"
#include "platform/aud_socket.h"
#include "platform/aud_time.h"

enum { AUD_SOCKET_SET_SIZE = 1024 };

// The SDK's descriptor set: the number of add requests and up to 1024 distinct sockets. It
// holds socket values, not bits, so descriptors of any size work.
struct aud_socket_set {
    unsigned requests;
    unsigned count;
    aud_socket_t sockets[AUD_SOCKET_SET_SIZE];
};

void aud_socket_set_clear(aud_socket_set* set);
// Adds socket unless it is -1, present already or the set is full; the request is counted.
void aud_socket_set_add(aud_socket_set* set, aud_socket_t socket);
void aud_socket_set_remove(aud_socket_set* set, aud_socket_t socket);
bool aud_socket_set_contains(const aud_socket_set* set, aud_socket_t socket);

// Waits like select, for at most timeout (null: without limit), until a socket of a set is
// ready: readable (read), writable (write) or with urgent data (except). Each given set then
// holds only its ready sockets, and *ready (may be null) their number. 42 when a set holds a
// closed descriptor.
aud_error_t aud_socket_select(aud_socket_set* read, aud_socket_set* write, aud_socket_set* except,
                              const aud_time* timeout, unsigned* ready);
