#include <new>

#include "util/dt_loop_internal.h"

namespace {

bool positive(const aud_time* time) {
    return time->seconds > 0 || (time->seconds == 0 && time->microseconds > 0);
}

aud_time now() {
    aud_time time{};
    aud_time_get_monotonic(&time);
    return time;
}

// Queues timer with its expiry: into the pending list while the loop dispatches.
void schedule(dt_timer* timer, const aud_time& expiry) {
    dt_loop* loop = timer->loop;
    timer->expiry = expiry;
    aud_time_normalise(&timer->expiry);
    if (loop->dispatching) {
        timer->state = DT_TIMER_RESCHEDULED;
        aud_list_append(&loop->pending, &timer->node);
    } else {
        dt_timer_insert(loop, timer);
    }
}

aud_error_t create(dt_loop* loop, dt_timer_callback callback, void* context, dt_timer** timer) {
    if (!loop || !callback || !timer) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    dt_timer* created =
        new (std::nothrow) dt_timer{loop, callback, context, {}, {}, DT_TIMER_IDLE, {}};
    if (!created) {
        return AUD_ERR_NOMEMORY;
    }
    aud_list_node_init(&created->node, created);
    *timer = created;
    return AUD_SUCCESS;
}

}  // namespace

void dt_timer_insert(dt_loop* loop, dt_timer* timer) {
    aud_list_remove(&timer->node);
    aud_list_node* after = loop->timers.tail;
    while (after &&
           aud_time_compare(&static_cast<dt_timer*>(after->item)->expiry, &timer->expiry) > 0) {
        after = after->prev;
    }
    timer->state = DT_TIMER_QUEUED;
    aud_list_insert_after(&loop->timers, after, &timer->node);
}

aud_error_t dt_timer_new(dt_loop* loop, dt_timer_callback callback, void* context,
                         dt_timer** timer) {
    return create(loop, callback, context, timer);
}

aud_error_t dt_timer_schedule_recurring(dt_loop* loop, dt_timer_callback callback,
                                        const aud_time* start, const aud_time* interval,
                                        void* context, dt_timer** timer) {
    if (!interval || !positive(interval)) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const aud_error_t result = create(loop, callback, context, timer);
    if (result == AUD_SUCCESS) {
        (*timer)->interval = *interval;
        aud_time_normalise(&(*timer)->interval);
        const aud_time from = now();
        schedule(*timer, start ? *start : aud_time_add(&from, interval));
    }
    return result;
}

aud_error_t dt_timer_schedule_once(dt_loop* loop, dt_timer_callback callback, const aud_time* at,
                                   const aud_time* delay, void* context, dt_timer** timer) {
    if (!at && !delay) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const aud_error_t result = create(loop, callback, context, timer);
    if (result == AUD_SUCCESS) {
        const aud_time base = at ? *at : now();
        schedule(*timer, delay ? aud_time_add(&base, delay) : base);
    }
    return result;
}

aud_error_t dt_timer_reschedule(dt_timer* timer, const aud_time* delay) {
    if (!timer || timer->state == DT_TIMER_RELEASED || (!delay && !positive(&timer->interval))) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const aud_time from = now();
    schedule(timer, aud_time_add(&from, delay ? delay : &timer->interval));
    return AUD_SUCCESS;
}

aud_error_t dt_timer_set(dt_timer* timer, const aud_time* at, const aud_time* interval) {
    if (!timer || !at || timer->state == DT_TIMER_RELEASED || (interval && !positive(interval))) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    timer->interval = interval ? *interval : aud_time{};
    aud_time_normalise(&timer->interval);
    schedule(timer, *at);
    return AUD_SUCCESS;
}

aud_error_t dt_timer_cancel(dt_timer* timer) {
    if (!timer || timer->state == DT_TIMER_RELEASED) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    aud_list_remove(&timer->node);
    timer->state = DT_TIMER_IDLE;
    return AUD_SUCCESS;
}

const aud_time* dt_timer_get_expiry(const dt_timer* timer) {
    if (!timer || timer->state == DT_TIMER_IDLE || timer->state == DT_TIMER_RELEASED) {
        return nullptr;
    }
    return &timer->expiry;
}

int dt_timer_get_state(const dt_timer* timer) {
    return timer ? timer->state : DT_TIMER_IDLE;
}

aud_error_t dt_timer_free(dt_timer* timer) {
    if (!timer || timer->state == DT_TIMER_RELEASED) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    dt_loop* loop = timer->loop;
    if (loop->dispatching) {
        timer->state = DT_TIMER_RELEASED;
        aud_list_append(&loop->released_timers, &timer->node);
    } else {
        aud_list_remove(&timer->node);
        delete timer;
    }
    return AUD_SUCCESS;
}

aud_error_t dt_loop_dispatch_timers(dt_loop* loop, const aud_time* at) {
    if (!loop || !at) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    // Take the due timers out first: what their callbacks schedule waits for the next round.
    aud_list due;
    aud_list_init(&due);
    while (loop->timers.head) {
        auto* timer = static_cast<dt_timer*>(loop->timers.head->item);
        if (aud_time_compare(&timer->expiry, at) > 0) {
            break;
        }
        timer->state = DT_TIMER_PENDING;
        aud_list_append(&due, &timer->node);
    }
    loop->dispatching = true;
    while (due.head) {
        auto* timer = static_cast<dt_timer*>(due.head->item);
        aud_list_remove(&timer->node);
        if (positive(&timer->interval)) {
            aud_time next = aud_time_add(&timer->expiry, &timer->interval);
            if (aud_time_compare(&next, at) <= 0) {
                next = aud_time_add(at, &timer->interval);
            }
            schedule(timer, next);
        } else {
            timer->state = DT_TIMER_IDLE;
        }
        timer->callback(timer, timer->context);
    }
    loop->dispatching = false;
    dt_loop_end_dispatch(loop);
    return AUD_SUCCESS;
}
