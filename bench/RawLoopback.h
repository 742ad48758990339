#pragma once

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

// A UDP socket bound to 127.0.0.1:port (0: an ephemeral port).
inline int loopbackSocket(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    return fd;
}

// The raw exchange a protocol's round trip is set beside: each iteration sends request_size
// bytes to a server thread (on server_port, 0: ephemeral) that answers with one datagram of
// each of reply_sizes, and reads them all.
inline void runRawLoopbackExchange(benchmark::State& state, size_t request_size,
                                   const std::vector<size_t>& reply_sizes,
                                   uint16_t server_port = 0) {
    const int server = loopbackSocket(server_port);
    const int client = loopbackSocket(0);
    std::atomic<bool> running{true};
    std::thread answer([&] {
        uint8_t buffer[512] = {};
        while (running) {
            pollfd fd{server, POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0) {
                continue;
            }
            sockaddr_in from{};
            socklen_t length = sizeof from;
            if (::recvfrom(server, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                           &length) >= 0) {
                for (const size_t size : reply_sizes) {
                    ::sendto(server, buffer, size, 0, reinterpret_cast<sockaddr*>(&from), length);
                }
            }
        }
    });
    sockaddr_in to{};
    socklen_t to_length = sizeof to;
    ::getsockname(server, reinterpret_cast<sockaddr*>(&to), &to_length);
    ::connect(client, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    const std::vector<uint8_t> request(request_size, 0);
    uint8_t reply[512];
    for (auto _ : state) {
        ::send(client, request.data(), request.size(), 0);
        for (size_t i = 0; i < reply_sizes.size(); ++i) {
            pollfd fd{client, POLLIN, 0};
            ::poll(&fd, 1, 1000);
            benchmark::DoNotOptimize(::recv(client, reply, sizeof reply, 0));
        }
    }
    running = false;
    answer.join();
    ::close(client);
    ::close(server);
}
