#include "RecordCache.h"

namespace vireo_dnssd {

uint32_t CacheEntry::remainingTtl(Clock::time_point now) const {
    if (now >= expires) {
        return 0;
    }
    return uint32_t(std::chrono::duration_cast<std::chrono::seconds>(expires - now).count());
}

bool CacheEntry::fresh(Clock::time_point now) const {
    return !leaving && !reconfirming && uint64_t(remainingTtl(now)) * 2 > record.ttl;
}

bool CacheEntry::matches(uint32_t interface_filter, const Labels& name, uint16_t type,
                         uint16_t rrclass) const {
    return recordMatches(ifindex, record, interface_filter, name, type, rrclass);
}

bool recordMatches(uint32_t ifindex, const DnsRecord& record, uint32_t interface_filter,
                   const Labels& name, uint16_t type, uint16_t rrclass) {
    return (interface_filter == 0 || interface_filter == ifindex) && record.type == type &&
           record.rrclass == rrclass && sameName(record.name, name);
}

std::optional<Labels> recordTarget(const DnsRecord& record) {
    if (record.type == kTypePtr || record.type == kTypeCname || record.type == kTypeNs) {
        return rdataName(record.rdata);
    }
    if (record.type == kTypeSrv) {
        const auto srv = rdataSrv(record.rdata);
        if (srv) {
            return srv->target;
        }
    }
    return std::nullopt;
}

namespace {

// Name key, a zero byte (no label is empty), type, class, data key; false for unusable data.
bool recordKey(const Labels& name, uint16_t type, uint16_t rrclass, const Bytes& rdata,
               std::string& key) {
    key.clear();
    key.reserve(wireLength(name) + 5 + rdata.size());
    appendNameKey(key, name);
    key += '\0';
    for (const uint16_t value : {type, rrclass}) {
        key += char(value >> 8);
        key += char(value & 0xff);
    }
    return appendRdataKey(key, type, rdata);
}

}  // namespace

void RecordCache::index(const CacheEntry& entry, int change) {
    std::vector<std::string> keys{nameKey(entry.record.name)};
    const auto target = recordTarget(entry.record);
    if (target) {
        keys.push_back(nameKey(*target));
    }
    for (const std::string& key : keys) {
        const auto count = m_related.emplace(key, 0).first;
        count->second += change;
        if (count->second <= 0) {
            m_related.erase(count);
        }
    }
}

bool RecordCache::related(const std::string& name_key) const {
    return m_related.count(name_key) > 0;
}

std::vector<CacheEntry*> RecordCache::named(const Labels& name) {
    std::vector<CacheEntry*> entries;
    const auto range = m_named.equal_range(nameKey(name));
    for (auto it = range.first; it != range.second; ++it) {
        entries.push_back(it->second);
    }
    return entries;
}

std::vector<CacheEntry*> RecordCache::records(const Labels& name, uint16_t type, uint16_t rrclass,
                                              const Bytes& rdata) {
    std::vector<CacheEntry*> entries;
    std::string key;
    if (recordKey(name, type, rrclass, rdata, key)) {
        const auto range = m_records.equal_range(key);
        for (auto it = range.first; it != range.second; ++it) {
            entries.push_back(it->second);
        }
    }
    return entries;
}

void RecordCache::unindex(Index& index, const std::string& key, const CacheEntry* entry) {
    const auto range = index.equal_range(key);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == entry) {
            index.erase(it);
            return;
        }
    }
}

RecordCache::Update RecordCache::insert(uint32_t ifindex, const DnsRecord& record,
                                        Clock::time_point now, Clock::duration goodbye_delay,
                                        CacheEntry** entry) {
    std::string key;
    const bool keyed = recordKey(record.name, record.type, record.rrclass, record.rdata, key);
    const auto same =
        keyed ? m_records.equal_range(key) : std::make_pair(m_records.end(), m_records.end());
    for (auto it = same.first; it != same.second; ++it) {
        CacheEntry& cached = *it->second;
        if (ifindex != 0 && cached.ifindex != ifindex) {
            continue;
        }
        if (record.ttl == 0) {
            cached.leaving = true;
            cached.expires = std::min(cached.expires, now + goodbye_delay);
            return Update::kLeaving;
        }
        cached.record.ttl = record.ttl;
        cached.received = now;
        cached.expires = now + std::chrono::seconds(record.ttl);
        cached.refreshes = 0;
        cached.leaving = false;
        cached.reconfirming = false;
        *entry = &cached;
        return Update::kRefreshed;
    }
    if (record.ttl == 0 || !keyed) {
        return Update::kIgnored;
    }
    CacheEntry added;
    added.ifindex = ifindex;
    added.record = record;
    added.record.cache_flush = false;
    added.received = now;
    added.expires = now + std::chrono::seconds(record.ttl);
    m_entries.push_back(std::move(added));
    index(m_entries.back(), 1);
    m_named.emplace(nameKey(record.name), &m_entries.back());
    m_records.emplace(std::move(key), &m_entries.back());
    *entry = &m_entries.back();
    return Update::kAdded;
}

void RecordCache::flushOthers(uint32_t ifindex, const DnsRecord& record, Clock::time_point now,
                              Clock::duration delay) {
    for (CacheEntry* entry : named(record.name)) {
        CacheEntry& cached = *entry;
        if (cached.matches(ifindex, record.name, record.type, record.rrclass) &&
            cached.received + std::chrono::seconds(1) < now && !cached.leaving) {
            cached.leaving = true;
            cached.expires = std::min(cached.expires, now + delay);
        }
    }
}

std::vector<CacheEntry> RecordCache::take(const std::function<bool(const CacheEntry&)>& remove) {
    std::vector<CacheEntry> removed;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (remove(*it)) {
            removed.push_back(take(it++));
        } else {
            ++it;
        }
    }
    return removed;
}

CacheEntry RecordCache::take(Iterator entry) {
    index(*entry, -1);
    unindex(m_named, nameKey(entry->record.name), &*entry);
    std::string key;
    const DnsRecord& record = entry->record;
    recordKey(record.name, record.type, record.rrclass, record.rdata, key);
    unindex(m_records, key, &*entry);
    CacheEntry removed = std::move(*entry);
    m_entries.erase(entry);
    return removed;
}

}  // namespace vireo_dnssd
