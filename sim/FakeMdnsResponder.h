#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace sim {

struct FakeMdnsService {
    std::string instance;  // e.g. "Amp 1" (a label of its own: may hold dots and spaces)
    std::string type;      // e.g. "_vireo-arc._udp"
    uint16_t port = 0;
    std::vector<std::string> txt;  // "key=value" or "key"
    std::string domain = "local";  // as the responder spells it
};

struct FakeMdnsDevice {
    std::string host;     // the host label; its name is host + ".local."
    std::string address;  // IPv4 address of its A record
    std::vector<FakeMdnsService> services;
};

// A record as the fake heard or sent it; names as lower-case dotted text.
struct FakeMdnsRecordSeen {
    std::string name;
    uint16_t type = 0;
    std::string target;  // PTR and SRV: the name pointed to
    uint32_t ttl = 0;
};

// One query datagram the fake heard: its questions as (dotted name, type), its known answers.
struct FakeMdnsQuery {
    bool truncated = false;  // TC set
    size_t size = 0;         // bytes of the datagram
    std::vector<std::pair<std::string, uint16_t>> questions;
    std::vector<FakeMdnsRecordSeen> known_answers;
    std::string source;  // "address:port"
    std::chrono::steady_clock::time_point when;
};

// One record the fake sent in the answer section of a response to a query.
struct FakeMdnsAnswer {
    FakeMdnsRecordSeen record;
    std::chrono::steady_clock::time_point when;
};

// The multicast DNS responder of simulated devices on one interface: answers PTR, SRV, TXT
// and A queries (with the usual additional records, honouring known answers), announces
// devices and says goodbye when they go. A query flagged TC waits for the rest of its known
// answers, sent by its source in packets without questions, and is answered 400-500 ms after
// the last packet flagged TC, leaving out every answer listed in any of them. It has its own
// small DNS encoder and decoder.
class FakeMdnsResponder {
public:
    struct Options {
        uint32_t service_ttl = 4500;  // PTR and TXT
        uint32_t host_ttl = 120;      // SRV and A
        int announcements = 2;
        std::chrono::milliseconds announce_interval{1000};
        std::chrono::milliseconds truncated_wait_min{400};  // a TC query is answered this
        std::chrono::milliseconds truncated_wait_max{500};  // long after its last TC packet
        size_t max_response = 1472;  // bytes of a response datagram, unless one record is more
    };

    // `interface_address`: an IPv4 address of the interface it works on.
    explicit FakeMdnsResponder(std::string interface_address);
    FakeMdnsResponder(std::string interface_address, Options options);
    ~FakeMdnsResponder();
    FakeMdnsResponder(const FakeMdnsResponder&) = delete;
    FakeMdnsResponder& operator=(const FakeMdnsResponder&) = delete;

    // Binds port 5353 (shared), joins the group and announces the devices; false on failure.
    bool start();
    void stop();
    unsigned interfaceIndex() const { return m_ifindex; }

    void addDevice(const FakeMdnsDevice& device);
    // Sends goodbyes (TTL 0) for the device's records and forgets it.
    void removeDevice(const std::string& host);
    // Never answers nor announces the record of this dotted name (case ignored) and type.
    void setSilent(const std::string& name, uint16_t type, bool silent = true);
    // Answers nothing at all while set (a device that went away without a goodbye).
    void setAllSilent(bool silent);

    std::vector<FakeMdnsQuery> queries() const;
    void clearQueries();
    // The records answered so far, in the order sent.
    std::vector<FakeMdnsAnswer> answers() const;
    // Queries heard that ask for this name and type.
    size_t queriesFor(const std::string& name, uint16_t type) const;
    bool waitForQuery(const std::string& name, uint16_t type,
                      std::chrono::milliseconds timeout) const;

private:
    struct Record;
    struct Pending {
        std::chrono::steady_clock::time_point when;
        std::vector<uint8_t> datagram;
        std::string host;  // the device announced
    };

    // A query whose known answers continue in further packets from its source.
    struct Waiting {
        std::string source;
        std::chrono::steady_clock::time_point when;  // answered then
        std::vector<std::pair<std::vector<std::string>, uint16_t>> questions;
        std::vector<Record> known;
    };

    void run();
    void handle(const uint8_t* data, size_t length, const std::string& source);
    void answer(const std::vector<std::pair<std::vector<std::string>, uint16_t>>& questions,
                const std::vector<Record>& known);
    std::vector<Record> recordsOf(const FakeMdnsDevice& device, bool goodbye) const;
    std::vector<Record> allRecords() const;
    bool silent(const Record& record) const;
    void schedule(std::vector<uint8_t> datagram, std::chrono::milliseconds delay,
                  const std::string& host);
    void announce(const FakeMdnsDevice& device);
    void send(const std::vector<uint8_t>& datagram);

    std::string m_address;
    Options m_options;
    unsigned m_ifindex = 0;
    int m_socket = -1;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_heard;
    bool m_stopping = false;
    bool m_all_silent = false;
    std::vector<FakeMdnsDevice> m_devices;
    std::set<std::pair<std::string, uint16_t>> m_silent;
    std::vector<FakeMdnsQuery> m_queries;
    std::vector<FakeMdnsAnswer> m_answers;
    std::vector<Pending> m_pending;
    std::vector<Waiting> m_waiting;
    std::minstd_rand m_random{5353};
};

}  // namespace sim
