#include "ResultChannel.h"

#include <cerrno>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vireo_dnssd {

ResultChannel::~ResultChannel() {
    close();
    if (m_caller >= 0) {
        ::close(m_caller);
    }
}

bool ResultChannel::open() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        return false;
    }
    m_caller = fds[0];
    m_engine = fds[1];
    return true;
}

void ResultChannel::push(Result result) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_engine < 0) {
        return;
    }
    if (m_results.empty()) {
        const char byte = 1;
        while (::send(m_engine, &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno == EINTR) {
        }
    }
    m_results.push_back(std::move(result));
}

std::deque<ResultChannel::Result> ResultChannel::wait() {
    pollfd fd{m_caller, POLLIN, 0};
    while (::poll(&fd, 1, -1) < 0 && errno == EINTR) {
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    char bytes[16];
    while (::recv(m_caller, bytes, sizeof bytes, MSG_DONTWAIT) > 0) {
    }
    std::deque<Result> results;
    results.swap(m_results);
    return results;
}

void ResultChannel::close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_engine >= 0) {
        ::shutdown(m_engine, SHUT_RDWR);
        ::close(m_engine);
        m_engine = -1;
    }
}

}  // namespace vireo_dnssd
