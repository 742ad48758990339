#pragma once

#include "platform/aud_error.h"
#include "platform/aud_time.h"
#include "util/dt_loop.h"

struct dt_timer;

typedef void (*dt_timer_callback)(dt_timer* timer, void* context);

enum dt_timer_state {
    DT_TIMER_QUEUED = 0,
    DT_TIMER_PENDING = 1,      // being fired
    DT_TIMER_RELEASED = 2,     // freed once the dispatch ends
    DT_TIMER_RESCHEDULED = 4,  // scheduled again while the loop dispatches
    DT_TIMER_IDLE = 5
};

// An idle timer.
aud_error_t dt_timer_new(dt_loop* loop, dt_timer_callback callback, void* context,
                         dt_timer** timer);
// First expiry at start, or now + interval without one; interval must be positive.
aud_error_t dt_timer_schedule_recurring(dt_loop* loop, dt_timer_callback callback,
                                        const aud_time* start, const aud_time* interval,
                                        void* context, dt_timer** timer);
// Expiry at at (or now), plus delay when given; at least one of them is needed.
aud_error_t dt_timer_schedule_once(dt_loop* loop, dt_timer_callback callback, const aud_time* at,
                                   const aud_time* delay, void* context, dt_timer** timer);
// Expiry at now + delay; a null delay takes the timer's interval (3 for a one-shot timer).
aud_error_t dt_timer_reschedule(dt_timer* timer, const aud_time* delay);
// Expiry at at, repeating every interval when given (null: one-shot).
aud_error_t dt_timer_set(dt_timer* timer, const aud_time* at, const aud_time* interval);
// Makes the timer idle.
aud_error_t dt_timer_cancel(dt_timer* timer);
// The expiry of a scheduled timer, null when idle.
const aud_time* dt_timer_get_expiry(const dt_timer* timer);
int dt_timer_get_state(const dt_timer* timer);
// Frees the timer; while the loop dispatches, once the dispatch ends.
aud_error_t dt_timer_free(dt_timer* timer);
