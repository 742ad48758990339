#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "DnsMessage.h"

namespace vireo_dnssd {

using Clock = std::chrono::steady_clock;

struct CacheEntry {
    uint32_t ifindex = 0;
    DnsRecord record;  // ttl: as last received
    Clock::time_point received;
    Clock::time_point expires;
    int refreshes = 0;     // refresh queries sent since last received
    bool leaving = false;  // said goodbye or flushed: removed at `expires`
    bool reconfirming = false;
    int reconfirm_sent = 0;
    Clock::time_point reconfirm_next;
    Clock::time_point reconfirm_deadline;
    Clock::time_point reconfirm_started;

    uint32_t remainingTtl(Clock::time_point now) const;
    // Usable as a known answer: more than half its TTL left.
    bool fresh(Clock::time_point now) const;
    bool matches(uint32_t interface_filter, const Labels& name, uint16_t type,
                 uint16_t rrclass) const;
};

// The record heard on `ifindex` has this name, type and class, and the interface passes the
// filter (0: every interface).
bool recordMatches(uint32_t ifindex, const DnsRecord& record, uint32_t interface_filter,
                   const Labels& name, uint16_t type, uint16_t rrclass);

// The name a PTR, CNAME, NS or SRV record points to.
std::optional<Labels> recordTarget(const DnsRecord& record);

// Records heard per interface, with their lifetimes.
class RecordCache {
public:
    enum class Update { kAdded, kRefreshed, kLeaving, kIgnored };
    using Iterator = std::list<CacheEntry>::iterator;

    RecordCache() = default;
    RecordCache(const RecordCache&) = delete;  // the index points into the entries
    RecordCache& operator=(const RecordCache&) = delete;

    // Takes in one received record; `entry` is set for kAdded and kRefreshed.
    Update insert(uint32_t ifindex, const DnsRecord& record, Clock::time_point now,
                  Clock::duration goodbye_delay, CacheEntry** entry);
    // Cache-flush: the other records of the set, heard more than a second ago, leave.
    void flushOthers(uint32_t ifindex, const DnsRecord& record, Clock::time_point now,
                     Clock::duration delay);
    // Removes and returns every entry for which `remove` holds.
    std::vector<CacheEntry> take(const std::function<bool(const CacheEntry&)>& remove);
    CacheEntry take(Iterator entry);
    // Some entry has the name of this key (nameKey), or points to it.
    bool related(const std::string& name_key) const;
    // The entries of this name (case ignored), oldest first.
    std::vector<CacheEntry*> named(const Labels& name);
    // The entries of this record on any interface: name, type, class and data as sameRdata has it.
    std::vector<CacheEntry*> records(const Labels& name, uint16_t type, uint16_t rrclass,
                                     const Bytes& rdata);

    std::list<CacheEntry>& entries() { return m_entries; }
    const std::list<CacheEntry>& entries() const { return m_entries; }
    size_t size() const { return m_entries.size(); }

private:
    using Index = std::multimap<std::string, CacheEntry*>;

    // Counts the entry's name and target in (or out of) the index of related names.
    void index(const CacheEntry& entry, int change);
    static void unindex(Index& index, const std::string& key, const CacheEntry* entry);

    std::list<CacheEntry> m_entries;
    std::map<std::string, int> m_related;  // name keys: entries per name and per target
    Index m_named;                         // name key: entry
    Index m_records;                       // record key (recordKey): entry
};

}  // namespace vireo_dnssd
