#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "MdnsSocket.h"
#include "Operation.h"
#include "Querier.h"
#include "vireo_dns_sd.h"

namespace vireo_dnssd {

// The process's one mDNS engine: its own thread runs the querier over the socket. It starts
// with the first operation and stops after the last.
class Engine {
public:
    // May throw when memory or threads run out; the callers turn that into error codes.
    static DNSServiceErrorType add(Operation operation, uint64_t* id);
    static void remove(uint64_t id);
    static void reconfirm(uint32_t ifindex, const Labels& name, uint16_t type, uint16_t rrclass,
                          const Bytes& rdata);

    ~Engine();

private:
    Engine();
    bool start();
    void run();
    void wake();
    void rescan(Clock::time_point now);

    std::mutex m_mutex;
    MdnsSocket m_socket;
    InterfaceWatch m_watch;
    Querier m_querier;
    int m_wake[2] = {-1, -1};
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace vireo_dnssd
