#pragma once

#include <deque>
#include <functional>
#include <mutex>

#include "vireo_dns_sd.h"

namespace vireo_dnssd {

// The queue between the engine and one reference: a socket pair whose caller end holds one
// byte exactly while results wait.
class ResultChannel {
public:
    // Runs one reply handler; `more` is kDNSServiceFlagsMoreComing when others follow.
    using Result = std::function<void(DNSServiceRef ref, DNSServiceFlags more)>;

    ResultChannel() = default;
    ~ResultChannel();
    ResultChannel(const ResultChannel&) = delete;
    ResultChannel& operator=(const ResultChannel&) = delete;

    bool open();
    int callerSocket() const { return m_caller; }

    // Engine side.
    void push(Result result);
    // Caller side: waits until results are queued or the engine end is closed, then takes
    // them all and empties the socket.
    std::deque<Result> wait();
    // Ends the engine side; a waiting caller wakes with nothing.
    void close();

private:
    std::mutex m_mutex;
    std::deque<Result> m_results;
    int m_caller = -1;
    int m_engine = -1;
};

}  // namespace vireo_dnssd
