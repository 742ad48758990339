#pragma once

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../LoggedEnv.h"
#include "platform/aud_env.h"
#include "platform/aud_log.h"
#include "platform/aud_time.h"

using Bytes = std::vector<uint8_t>;

// A clock the test moves by hand.
struct ManualClock {
    aud_time now{1000, 0};
    static void read(void* context, aud_time* now) {
        *now = static_cast<ManualClock*>(context)->now;
    }
    void advance(int64_t milliseconds) {
        const aud_time step{milliseconds / 1000, static_cast<int32_t>(milliseconds % 1000) * 1000};
        now = aud_time_add(&now, &step);
    }
};

// A raw UDP socket on 127.0.0.1 standing in for the service.
class Peer {
public:
    Peer() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof local;
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
        EXPECT_EQ(::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length), 0);
        port_ = ntohs(local.sin_port);
    }
    ~Peer() { close(); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    uint16_t port() const { return port_; }
    void close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    // The next datagram within timeout_ms, empty when none; remembers its source.
    Bytes receive(int timeout_ms = 1000) {
        pollfd fd{fd_, POLLIN, 0};
        if (::poll(&fd, 1, timeout_ms) != 1) {
            return {};
        }
        Bytes buffer(65536);
        socklen_t length = sizeof from_;
        const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                     reinterpret_cast<sockaddr*>(&from_), &length);
        buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return buffer;
    }
    void send(const Bytes& datagram) {
        ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&from_),
                 sizeof from_);
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
    sockaddr_in from_{};
};

inline void append16(Bytes* out, uint16_t value) {
    out->push_back(static_cast<uint8_t>(value >> 8));
    out->push_back(static_cast<uint8_t>(value));
}

inline uint16_t field16(const Bytes& datagram, size_t at) {
    return datagram.size() >= at + 2 ? static_cast<uint16_t>(datagram[at] << 8 | datagram[at + 1])
                                     : 0;
}

// A message with a 20-byte header (zero client port and id) and the given body.
inline Bytes wireMessage(uint16_t seqnum, uint16_t opcode, uint16_t status,
                         const Bytes& body = {}) {
    Bytes out;
    append16(&out, 0x1001);
    append16(&out, static_cast<uint16_t>(20 + body.size()));
    append16(&out, seqnum);
    append16(&out, opcode);
    append16(&out, status);
    out.resize(20, 0);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// Waits up to timeout_ms for the socket to become readable.
inline bool readable(int fd, int timeout_ms) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, timeout_ms) == 1;
}
