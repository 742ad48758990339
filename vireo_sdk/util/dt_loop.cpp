#include <cstdlib>
#include <initializer_list>
#include <new>

#include "util/dt_loop_internal.h"

namespace {

dt_registration* findRegistration(dt_loop* loop, aud_socket_t socket, int set) {
    for (aud_list_node* n = loop->sets[set].registrations.head; n; n = n->next) {
        auto* registration = static_cast<dt_registration*>(n->item);
        if (registration->socket == socket && registration->state != DT_ENTRY_RELEASED) {
            return registration;
        }
    }
    return nullptr;
}

void unregister(dt_loop* loop, dt_registration* registration) {
    aud_socket_set_remove(&loop->sets[registration->set].sockets, registration->socket);
    if (loop->dispatching) {
        // Stays listed until the dispatch ends, so that the walk over the set goes on.
        registration->state = DT_ENTRY_RELEASED;
    } else {
        aud_list_remove(&registration->node);
        delete registration;
    }
}

void dispatchSockets(dt_loop* loop, aud_socket_set ready[3]) {
    for (int set = 0; set < 3; ++set) {
        aud_list_node* n = loop->sets[set].registrations.head;
        while (n) {
            auto* registration = static_cast<dt_registration*>(n->item);
            // Callbacks may release registrations; released ones stay listed until the end.
            n = n->next;
            if (registration->state != DT_ENTRY_RELEASED &&
                aud_socket_set_contains(&ready[set], registration->socket)) {
                registration->callback(loop, registration->socket, set, registration->context);
            }
        }
    }
}

}  // namespace

aud_error_t dt_loop_new(dt_loop** loop) {
    if (!loop) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    dt_loop* created = new (std::nothrow) dt_loop();
    if (!created) {
        return AUD_ERR_NOMEMORY;
    }
    for (dt_socket_group& group : created->sets) {
        aud_list_init(&group.registrations);
        aud_socket_set_clear(&group.sockets);
    }
    aud_list_init(&created->timers);
    aud_list_init(&created->pending);
    aud_list_init(&created->released_timers);
    *loop = created;
    return AUD_SUCCESS;
}

void dt_loop_free(dt_loop* loop) {
    if (!loop) {
        return;
    }
    for (dt_socket_group& group : loop->sets) {
        while (group.registrations.head) {
            auto* registration = static_cast<dt_registration*>(group.registrations.head->item);
            aud_list_remove(&registration->node);
            delete registration;
        }
    }
    for (aud_list* timers : {&loop->timers, &loop->pending}) {
        while (timers->head) {
            auto* timer = static_cast<dt_timer*>(timers->head->item);
            aud_list_remove(&timer->node);
            delete timer;
        }
    }
    loop->dispatching = false;
    dt_loop_end_dispatch(loop);
    delete loop;
}

aud_error_t dt_socket_register(dt_loop* loop, aud_socket_t socket, int set,
                               dt_socket_callback callback, void* context, int mode) {
    if (!loop || socket == AUD_SOCKET_INVALID || set < 0 || set > 2) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    dt_registration* registration = findRegistration(loop, socket, set);
    if (mode == DT_REGISTER_CHANGE && !registration) {
        return AUD_ERR_NOTFOUND;
    }
    if (mode == DT_REGISTER_ADD && registration) {
        return AUD_ERR_ALREADY;
    }
    if (!callback) {
        if (registration) {
            unregister(loop, registration);
        }
        return AUD_SUCCESS;
    }
    if (registration) {
        registration->callback = callback;
        registration->context = context;
        registration->state = loop->dispatching ? DT_ENTRY_REARMED : DT_ENTRY_ACTIVE;
        return AUD_SUCCESS;
    }
    registration = new (std::nothrow)
        dt_registration{loop, socket, set, callback, context, DT_ENTRY_ACTIVE, {}};
    if (!registration) {
        return AUD_ERR_NOMEMORY;
    }
    aud_list_node_init(&registration->node, registration);
    aud_list_append(&loop->sets[set].registrations, &registration->node);
    aud_socket_set_add(&loop->sets[set].sockets, socket);
    return AUD_SUCCESS;
}

aud_error_t dt_loop_run_once(dt_loop* loop, const aud_time* max_wait) {
    if (!loop) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    aud_time now;
    aud_time_get_monotonic(&now);
    aud_time wait{};
    const aud_time* timeout = max_wait;
    if (loop->timers.head) {
        const aud_time& next = static_cast<dt_timer*>(loop->timers.head->item)->expiry;
        aud_time untilNext{next.seconds - now.seconds, next.microseconds - now.microseconds};
        aud_time_normalise(&untilNext);
        if (untilNext.seconds < 0) {
            untilNext = aud_time{};
        }
        wait = (!max_wait || aud_time_compare(&untilNext, max_wait) < 0) ? untilNext : *max_wait;
        timeout = &wait;
    }
    aud_socket_set ready[3];
    for (int set = 0; set < 3; ++set) {
        ready[set] = loop->sets[set].sockets;
    }
    aud_error_t result = aud_socket_select(&ready[0], &ready[1], &ready[2], timeout, nullptr);
    if (result == AUD_SUCCESS) {
        loop->dispatching = true;
        dispatchSockets(loop, ready);
        loop->dispatching = false;
        dt_loop_end_dispatch(loop);
    }
    aud_time_get_monotonic(&now);
    const aud_error_t timers = dt_loop_dispatch_timers(loop, &now);
    return result != AUD_SUCCESS ? result : timers;
}

void dt_loop_end_dispatch(dt_loop* loop) {
    for (dt_socket_group& group : loop->sets) {
        aud_list_node* n = group.registrations.head;
        while (n) {
            auto* registration = static_cast<dt_registration*>(n->item);
            n = n->next;
            if (registration->state == DT_ENTRY_RELEASED) {
                aud_list_remove(&registration->node);
                delete registration;
            }
        }
    }
    while (loop->released_timers.head) {
        auto* timer = static_cast<dt_timer*>(loop->released_timers.head->item);
        aud_list_remove(&timer->node);
        delete timer;
    }
    while (loop->pending.head) {
        auto* timer = static_cast<dt_timer*>(loop->pending.head->item);
        aud_list_remove(&timer->node);
        dt_timer_insert(loop, timer);
    }
}
