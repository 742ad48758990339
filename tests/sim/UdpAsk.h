#pragma once

#include <poll.h>

#include <string>

#include "FakeUdpSocket.h"
#include "FakeWire.h"

// Sends one datagram from the application's side (192.0.2.1) to a device's control port and
// returns the first reply, or nothing after `wait_ms`.
inline sim::Bytes askDevice(const std::string& address, const sim::Bytes& datagram,
                            int wait_ms = 500) {
    int fd = sim::bindUdpSocket("192.0.2.1", 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(49494);
    ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    sim::Bytes reply;
    pollfd ready{fd, POLLIN, 0};
    if (fd >= 0 &&
        ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
                 sizeof to) == ssize_t(datagram.size()) &&
        ::poll(&ready, 1, wait_ms) == 1) {
        reply.resize(2048);
        const ssize_t length = ::recv(fd, reply.data(), reply.size(), 0);
        reply.resize(size_t(std::max<ssize_t>(length, 0)));
    }
    sim::closeFd(fd);
    return reply;
}

inline sim::Bytes textBytes(const std::string& text) {
    return sim::Bytes(text.begin(), text.end());
}
