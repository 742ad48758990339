#pragma once

#include "platform/aud_error.h"
#include "platform/aud_socket.h"
#include "platform/aud_time.h"

// An event loop: sockets registered in three sets and timers ordered by expiry. Times of the
// loop are on the monotonic clock (aud_time_get_monotonic). Every call gives 3 for a missing
// loop or argument.
struct dt_loop;

enum dt_socket_set_index { DT_SOCKET_READ = 0, DT_SOCKET_WRITE = 1, DT_SOCKET_EXCEPT = 2 };

// Registration modes: change only, add only, or either.
enum { DT_REGISTER_ANY = 0, DT_REGISTER_CHANGE = 1, DT_REGISTER_ADD = 2 };

typedef void (*dt_socket_callback)(dt_loop* loop, aud_socket_t socket, int set, void* context);

aud_error_t dt_loop_new(dt_loop** loop);
// Frees the loop with its registrations and timers (held timer handles become invalid).
void dt_loop_free(dt_loop* loop);

// Adds, changes or (null callback) removes the registration of socket in set. Change mode
// gives 11 when absent; add mode gives 20 when present.
aud_error_t dt_socket_register(dt_loop* loop, aud_socket_t socket, int set,
                               dt_socket_callback callback, void* context, int mode);

// Waits at most max_wait (null: until the next timer, or without limit when there is none)
// for registered sockets, calls the callbacks of the ready ones, then fires the due timers.
aud_error_t dt_loop_run_once(dt_loop* loop, const aud_time* max_wait);

// Fires every timer due at now, in expiry order.
aud_error_t dt_loop_dispatch_timers(dt_loop* loop, const aud_time* now);
