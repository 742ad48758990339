#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Operation.h"
#include "RecordCache.h"
#include "Timing.h"

namespace vireo_dnssd {

// The multicast DNS querier without threads or sockets: operations, their questions and
// query schedule, the record cache, and the replies it queues. Every call passes the time.
class Querier {
public:
    using Send = std::function<void(uint32_t ifindex, const Bytes& datagram)>;

    // Cached records at most: a device has about 7, seen on each interface joined.
    static constexpr size_t kMaxRecords = 16384;

    Querier(const Timing& timing, Send send, size_t max_records = kMaxRecords);

    uint64_t add(Operation operation, Clock::time_point now);
    void remove(uint64_t id);
    bool empty() const { return m_operations.empty(); }
    // Queries a cached record again and removes it when nobody answers; rdata empty: every
    // record of that name, type and class. True when a reconfirmation started.
    bool reconfirm(uint32_t ifindex, const Labels& name, uint16_t type, uint16_t rrclass,
                   const Bytes& rdata, Clock::time_point now);
    void receive(const DnsMessage& message, uint32_t ifindex, Clock::time_point now);
    // The interfaces joined; records of others are dropped, a new one gets fresh queries.
    void setInterfaces(const std::vector<uint32_t>& interfaces, Clock::time_point now);
    // Does what is due and gives the time of the next thing to do.
    Clock::time_point run(Clock::time_point now);

private:
    struct Question {
        Labels name;
        uint16_t type = 0;
        uint32_t ifindex = 0;
        int users = 0;
        Clock::duration interval{};
        Clock::time_point next;
    };

    static std::string questionKey(const Labels& name, uint16_t type, uint32_t ifindex);
    Clock::time_point firstQueryTime(Clock::time_point now);
    void startBurst(Question& question, Clock::time_point now);
    bool joined(uint32_t ifindex) const;
    void sendQuery(uint32_t ifindex, const Labels& name, uint16_t type, Clock::time_point now);
    // The operations of this name (a browse's type, a resolve's instance, a query's name).
    std::vector<const Operation*> operationsNamed(const Labels& name) const;
    bool interesting(const CacheEntry& entry) const;
    // `name_key`: the record name's nameKey.
    bool interesting(uint32_t ifindex, const DnsRecord& record, bool leaving,
                     const std::string& name_key) const;
    // Past the maximum, drops a record other than `kept`.
    void limitCache(const CacheEntry* kept);
    Clock::time_point refreshTime(const CacheEntry& entry) const;
    // Expiries, refreshes and reconfirmations; gives the time of the next one.
    Clock::time_point runCache(Clock::time_point now);
    // Entries or what is wanted of them changed: the cache is looked at in the next run.
    void cacheChanged() { m_cache_due = Clock::time_point::min(); }
    void added(const CacheEntry& entry);
    void removed(const CacheEntry& entry);
    void resolveOn(const Operation& operation, uint32_t ifindex);

    Timing m_timing;
    Send m_send;
    size_t m_max_records;
    std::minstd_rand m_random;
    uint64_t m_next_id = 1;
    std::map<uint64_t, Operation> m_operations;
    std::map<std::string, std::vector<uint64_t>> m_named;  // name key: operations, oldest first
    std::map<std::string, Question> m_questions;
    std::vector<uint32_t> m_interfaces;
    RecordCache m_cache;
    Clock::time_point m_cache_due = Clock::time_point::min();  // when runCache has work next
};

}  // namespace vireo_dnssd
