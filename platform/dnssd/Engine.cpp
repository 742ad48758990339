#include "Engine.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace vireo_dnssd {

namespace {

std::mutex g_lifecycle;  // guards the engine's existence and g_timing
Engine* g_engine = nullptr;
Timing g_timing;

}  // namespace

void setTiming(const Timing& timing) {
    std::lock_guard<std::mutex> lock(g_lifecycle);
    g_timing = timing;
}

Timing timing() {
    std::lock_guard<std::mutex> lock(g_lifecycle);
    return g_timing;
}

Engine::Engine()
    : m_querier(g_timing, [this](uint32_t ifindex, const Bytes& datagram) {
          m_socket.send(ifindex, datagram);
      }) {}

Engine::~Engine() {
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        wake();
        m_thread.join();
    }
    for (const int fd : m_wake) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool Engine::start() {
    if (!m_socket.open() || ::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    m_watch.open();  // without it interfaces are looked at again on every wake-up
    rescan(Clock::now());
    m_thread = std::thread([this] { run(); });
    return true;
}

DNSServiceErrorType Engine::add(Operation operation, uint64_t* id) {
    std::lock_guard<std::mutex> lifecycle(g_lifecycle);
    if (!g_engine) {
        auto engine = std::unique_ptr<Engine>(new Engine());
        if (!engine->start()) {
            return kDNSServiceErr_ServiceNotRunning;
        }
        g_engine = engine.release();
    }
    bool idle = false;
    try {
        std::lock_guard<std::mutex> lock(g_engine->m_mutex);
        idle = g_engine->m_querier.empty();
        *id = g_engine->m_querier.add(std::move(operation), Clock::now());
    } catch (...) {
        if (idle) {  // started for this operation alone
            delete g_engine;
            g_engine = nullptr;
        }
        throw;
    }
    g_engine->wake();
    return kDNSServiceErr_NoError;
}

void Engine::remove(uint64_t id) {
    std::lock_guard<std::mutex> lifecycle(g_lifecycle);
    if (!g_engine) {
        return;
    }
    bool last = false;
    {
        std::lock_guard<std::mutex> lock(g_engine->m_mutex);
        g_engine->m_querier.remove(id);
        last = g_engine->m_querier.empty();
    }
    if (last) {
        delete g_engine;
        g_engine = nullptr;
    }
}

void Engine::reconfirm(uint32_t ifindex, const Labels& name, uint16_t type, uint16_t rrclass,
                       const Bytes& rdata) {
    std::lock_guard<std::mutex> lifecycle(g_lifecycle);
    if (!g_engine) {
        return;  // no cache: nothing to reconfirm
    }
    bool started = false;
    {
        std::lock_guard<std::mutex> lock(g_engine->m_mutex);
        started = g_engine->m_querier.reconfirm(ifindex, name, type, rrclass, rdata, Clock::now());
    }
    if (started) {  // a record held back by its hold-off, or not cached, changes nothing
        g_engine->wake();
    }
}

void Engine::wake() {
    const char byte = 0;
    (void)!::write(m_wake[1], &byte, 1);
}

void Engine::rescan(Clock::time_point now) {
    m_querier.setInterfaces(m_socket.join(multicastInterfaces()), now);
}

void Engine::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    Bytes datagram;
    while (!m_stopping) {
        const Clock::time_point now = Clock::now();
        const Clock::time_point next = m_querier.run(now);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now);
        const int timeout =
            int(std::min<long long>(std::max<long long>(wait.count() + 1, 0), 60 * 1000));
        pollfd fds[3] = {
            {m_socket.fd(), POLLIN, 0}, {m_wake[0], POLLIN, 0}, {m_watch.fd(), POLLIN, 0}};
        lock.unlock();
        const int ready = ::poll(fds, m_watch.fd() >= 0 ? 3 : 2, timeout);
        lock.lock();
        if (ready < 0) {
            continue;
        }
        if (fds[1].revents) {
            char bytes[64];
            while (::read(m_wake[0], bytes, sizeof bytes) > 0) {
            }
        }
        if ((m_watch.fd() >= 0 && fds[2].revents && m_watch.changed()) ||
            (m_watch.fd() < 0 && fds[1].revents)) {
            rescan(Clock::now());
        }
        if (fds[0].revents) {
            uint32_t ifindex = 0;
            uint16_t port = 0;
            while (m_socket.receive(datagram, ifindex, port)) {
                const auto message = parseDnsMessage(datagram.data(), datagram.size());
                // Multicast DNS responses come from port 5353; anything else is not ours.
                if (message && port == kMdnsPort) {
                    m_querier.receive(*message, ifindex, Clock::now());
                }
            }
        }
    }
}

}  // namespace vireo_dnssd
