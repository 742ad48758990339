#include "platform/aud_socket_set.h"

#include <poll.h>

#include <cerrno>
#include <vector>

namespace {

struct Watch {
    aud_socket_set* set;
    short events;
};

}  // namespace

void aud_socket_set_clear(aud_socket_set* set) {
    set->requests = 0;
    set->count = 0;
}

void aud_socket_set_add(aud_socket_set* set, aud_socket_t socket) {
    ++set->requests;
    if (socket == AUD_SOCKET_INVALID || set->count >= AUD_SOCKET_SET_SIZE ||
        aud_socket_set_contains(set, socket)) {
        return;
    }
    set->sockets[set->count++] = socket;
}

void aud_socket_set_remove(aud_socket_set* set, aud_socket_t socket) {
    for (unsigned i = 0; i < set->count; ++i) {
        if (set->sockets[i] == socket) {
            set->sockets[i] = set->sockets[--set->count];
            return;
        }
    }
}

bool aud_socket_set_contains(const aud_socket_set* set, aud_socket_t socket) {
    for (unsigned i = 0; i < set->count; ++i) {
        if (set->sockets[i] == socket) {
            return true;
        }
    }
    return false;
}

aud_error_t aud_socket_select(aud_socket_set* read, aud_socket_set* write, aud_socket_set* except,
                              const aud_time* timeout, unsigned* ready) {
    const Watch watches[] = {{read, POLLIN}, {write, POLLOUT}, {except, POLLPRI}};
    const short kReady[] = {POLLIN | POLLHUP | POLLERR, POLLOUT | POLLERR, POLLPRI};
    std::vector<pollfd> fds;
    for (const Watch& watch : watches) {
        for (unsigned i = 0; watch.set && i < watch.set->count; ++i) {
            fds.push_back({watch.set->sockets[i], watch.events, 0});
        }
    }
    int milliseconds = -1;
    if (timeout) {
        const int64_t total = timeout->seconds * 1000 + (timeout->microseconds + 999) / 1000;
        milliseconds = total < 0 ? 0 : (total > INT32_MAX ? INT32_MAX : static_cast<int>(total));
    }
    int n;
    do {
        n = poll(fds.data(), fds.size(), milliseconds);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        return aud_error_from_errno(errno, 0);
    }
    for (const pollfd& fd : fds) {
        if (fd.revents & POLLNVAL) {
            return AUD_ERR_NOTSOCK;
        }
    }
    unsigned count = 0;
    size_t next = 0;
    for (size_t w = 0; w < 3; ++w) {
        aud_socket_set* set = watches[w].set;
        if (!set) {
            continue;
        }
        const unsigned watched = set->count;
        set->count = 0;
        for (unsigned i = 0; i < watched; ++i, ++next) {
            if (fds[next].revents & kReady[w]) {
                set->sockets[set->count++] = fds[next].fd;
            }
        }
        count += set->count;
    }
    if (ready) {
        *ready = count;
    }
    return AUD_SUCCESS;
}
