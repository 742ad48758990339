#pragma once

#include "platform/aud_socket_set.h"
#include "util/aud_list.h"
#include "util/dt_loop.h"
#include "util/dt_timer.h"

// The records behind dt_loop and dt_timer, shared by their two sources.

enum { DT_ENTRY_ACTIVE = 0, DT_ENTRY_REARMED = 1, DT_ENTRY_RELEASED = 2 };

struct dt_registration {
    dt_loop* loop;
    aud_socket_t socket;
    int set;
    dt_socket_callback callback;
    void* context;
    int state;
    aud_list_node node;
};

struct dt_socket_group {
    aud_list registrations;
    aud_socket_set sockets;
};

struct dt_timer {
    dt_loop* loop;
    dt_timer_callback callback;
    void* context;
    aud_time expiry;
    aud_time interval;  // zero for one-shot
    int state;
    aud_list_node node;
};

struct dt_loop {
    dt_socket_group sets[3];
    aud_list timers;   // ordered by expiry
    aud_list pending;  // scheduled while dispatching
    aud_list released_timers;
    bool dispatching;
};

// Places timer in the loop's timer list by its expiry, after equal ones.
void dt_timer_insert(dt_loop* loop, dt_timer* timer);
// Frees the released entries and queues the pending timers; called when a dispatch ends.
void dt_loop_end_dispatch(dt_loop* loop);
