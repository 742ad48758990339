#include "Querier.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "DnsQuery.h"

namespace vireo_dnssd {

namespace {

constexpr int kRefreshQueries = 4;  // at 80, 85, 90 and 95 % of the TTL

}  // namespace

Querier::Querier(const Timing& timing, Send send, size_t max_records)
    : m_timing(timing),
      m_send(std::move(send)),
      m_max_records(max_records),
      m_random(uint32_t(Clock::now().time_since_epoch().count())) {}

std::string Querier::questionKey(const Labels& name, uint16_t type, uint32_t ifindex) {
    return nameKey(name) + '/' + std::to_string(type) + '/' + std::to_string(ifindex);
}

Clock::time_point Querier::firstQueryTime(Clock::time_point now) {
    const auto low = m_timing.first_query_min.count();
    const auto high = std::max(low, m_timing.first_query_max.count());
    std::uniform_int_distribution<long long> delay(low, high);
    return now + std::chrono::milliseconds(delay(m_random));
}

void Querier::startBurst(Question& question, Clock::time_point now) {
    question.interval = m_timing.initial_interval;
    question.next = firstQueryTime(now);
}

uint64_t Querier::add(Operation operation, Clock::time_point now) {
    for (const uint16_t type : operation.questionTypes()) {
        Question& question = m_questions[questionKey(operation.name, type, operation.ifindex)];
        question.name = operation.name;
        question.type = type;
        question.ifindex = operation.ifindex;
        ++question.users;
        startBurst(question, now);
    }
    const uint64_t id = m_next_id++;
    const Operation& added = m_operations.emplace(id, std::move(operation)).first->second;
    m_named[nameKey(added.name)].push_back(id);
    std::set<uint32_t> resolve_interfaces;
    for (const CacheEntry* item : m_cache.named(added.name)) {
        const CacheEntry& entry = *item;
        if (added.wants(entry)) {
            added.reportRecord(entry, true);
        } else if (added.kind == Operation::Kind::kResolve && !entry.leaving &&
                   entry.matches(added.ifindex, added.name, kTypeSrv, kClassIn)) {
            resolve_interfaces.insert(entry.ifindex);
        }
    }
    for (const uint32_t ifindex : resolve_interfaces) {
        resolveOn(added, ifindex);
    }
    cacheChanged();
    return id;
}

void Querier::remove(uint64_t id) {
    const auto found = m_operations.find(id);
    if (found == m_operations.end()) {
        return;
    }
    const Operation& operation = found->second;
    for (const uint16_t type : operation.questionTypes()) {
        const auto question =
            m_questions.find(questionKey(operation.name, type, operation.ifindex));
        if (question != m_questions.end() && --question->second.users <= 0) {
            m_questions.erase(question);
        }
    }
    const auto named = m_named.find(nameKey(operation.name));
    if (named != m_named.end()) {
        auto& ids = named->second;
        ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
        if (ids.empty()) {
            m_named.erase(named);
        }
    }
    m_operations.erase(found);
    cacheChanged();
}

bool Querier::reconfirm(uint32_t ifindex, const Labels& name, uint16_t type, uint16_t rrclass,
                        const Bytes& rdata, Clock::time_point now) {
    // With data, only that record's entries (one per interface) are looked at.
    const auto candidates =
        rdata.empty() ? m_cache.named(name) : m_cache.records(name, type, rrclass, rdata);
    bool started = false;
    for (CacheEntry* item : candidates) {
        CacheEntry& entry = *item;
        if (!entry.matches(ifindex, name, type, rrclass) || entry.leaving || entry.reconfirming) {
            continue;
        }
        if (entry.reconfirm_started != Clock::time_point() &&
            now - entry.reconfirm_started < m_timing.reconfirm_holdoff) {
            continue;
        }
        entry.reconfirming = true;
        entry.reconfirm_sent = 0;
        entry.reconfirm_started = now;
        entry.reconfirm_next = now;
        entry.reconfirm_deadline = now + m_timing.reconfirm_wait;
        started = true;
    }
    if (started) {
        cacheChanged();
    }
    return started;
}

void Querier::receive(const DnsMessage& message, uint32_t ifindex, Clock::time_point now) {
    if (!message.isResponse() || message.opcode() != 0 || message.rcode() != 0 ||
        !joined(ifindex)) {
        return;
    }
    std::vector<const DnsRecord*> records;
    for (const auto* section : {&message.answers, &message.additionals}) {
        for (const DnsRecord& record : *section) {
            if (record.rrclass == kClassIn) {
                records.push_back(&record);
            }
        }
    }
    // Records nobody asked for are left out, unless they are related to cached ones (such as
    // the address of a service's host); a second look takes those related to later ones.
    std::vector<const DnsRecord*> flushing;
    for (int look = 0; look < 2; ++look) {
        std::vector<const DnsRecord*> left;
        for (const DnsRecord* record : records) {
            const std::string key = nameKey(record->name);
            if (!interesting(ifindex, *record, false, key) && !m_cache.related(key)) {
                left.push_back(record);
                continue;
            }
            CacheEntry* entry = nullptr;
            const auto update =
                m_cache.insert(ifindex, *record, now, m_timing.goodbye_delay, &entry);
            if (update != RecordCache::Update::kIgnored) {
                cacheChanged();
            }
            if (update == RecordCache::Update::kAdded) {
                added(*entry);
                limitCache(entry);
            }
            if (record->cache_flush && record->ttl > 0) {
                flushing.push_back(record);
            }
        }
        records = std::move(left);
    }
    for (const DnsRecord* record : flushing) {
        m_cache.flushOthers(ifindex, *record, now, m_timing.goodbye_delay);
    }
}

void Querier::setInterfaces(const std::vector<uint32_t>& interfaces, Clock::time_point now) {
    const bool grew = std::any_of(interfaces.begin(), interfaces.end(),
                                  [this](uint32_t ifindex) { return !joined(ifindex); });
    m_interfaces = interfaces;
    cacheChanged();
    for (const CacheEntry& gone :
         m_cache.take([this](const CacheEntry& entry) { return !joined(entry.ifindex); })) {
        removed(gone);
    }
    if (grew) {
        for (auto& question : m_questions) {
            startBurst(question.second, now);
        }
    }
}

Clock::time_point Querier::run(Clock::time_point now) {
    // The cache is looked at only when something in it is due or has changed.
    if (m_cache_due <= now) {
        m_cache_due = runCache(now);
    }
    Clock::time_point next = std::min(now + m_timing.max_interval, m_cache_due);
    for (auto& item : m_questions) {
        Question& question = item.second;
        if (question.next <= now) {
            for (const uint32_t ifindex : m_interfaces) {
                if (question.ifindex == 0 || question.ifindex == ifindex) {
                    sendQuery(ifindex, question.name, question.type, now);
                }
            }
            question.next = now + question.interval;
            question.interval =
                std::min<Clock::duration>(question.interval * 2, m_timing.max_interval);
        }
        next = std::min(next, question.next);
    }
    return next;
}

Clock::time_point Querier::runCache(Clock::time_point now) {
    for (const CacheEntry& gone : m_cache.take([now](const CacheEntry& entry) {
             return entry.expires <= now || (entry.reconfirming && entry.reconfirm_deadline <= now);
         })) {
        removed(gone);
    }
    Clock::time_point next = Clock::time_point::max();
    // Refresh and reconfirmation queries, one per record set and interface.
    std::set<std::tuple<uint32_t, std::string, uint16_t>> asked;
    std::vector<const CacheEntry*> to_ask;
    for (CacheEntry& entry : m_cache.entries()) {
        next = std::min(next, entry.expires);
        if (entry.leaving) {
            continue;
        }
        bool ask = false;
        if (entry.reconfirming) {
            if (entry.reconfirm_sent < m_timing.reconfirm_queries && entry.reconfirm_next <= now) {
                ask = true;
                ++entry.reconfirm_sent;
                entry.reconfirm_next = now + m_timing.reconfirm_interval;
            }
            next = std::min(next, entry.reconfirm_deadline);
            if (entry.reconfirm_sent < m_timing.reconfirm_queries) {
                next = std::min(next, entry.reconfirm_next);
            }
        } else if (entry.refreshes < kRefreshQueries) {
            // Whether anybody wants the record is looked up only once a refresh is due.
            if (refreshTime(entry) <= now && interesting(entry)) {
                while (entry.refreshes < kRefreshQueries && refreshTime(entry) <= now) {
                    ask = true;
                    ++entry.refreshes;
                }
            }
            if (entry.refreshes < kRefreshQueries && refreshTime(entry) > now) {
                next = std::min(next, refreshTime(entry));
            }
        }
        if (ask &&
            asked.emplace(entry.ifindex, nameKey(entry.record.name), entry.record.type).second) {
            to_ask.push_back(&entry);
        }
    }
    for (const CacheEntry* entry : to_ask) {
        sendQuery(entry->ifindex, entry->record.name, entry->record.type, now);
    }
    return next;
}

bool Querier::joined(uint32_t ifindex) const {
    return std::find(m_interfaces.begin(), m_interfaces.end(), ifindex) != m_interfaces.end();
}

void Querier::sendQuery(uint32_t ifindex, const Labels& name, uint16_t type,
                        Clock::time_point now) {
    DnsQuestion question;
    question.name = name;
    question.type = type;
    question.rrclass = kClassIn;
    std::vector<DnsRecord> known;
    for (const CacheEntry* item : m_cache.named(name)) {
        const CacheEntry& entry = *item;
        if (entry.matches(ifindex, name, type, kClassIn) && entry.fresh(now)) {
            known.push_back(entry.record);
            known.back().ttl = entry.remainingTtl(now);
        }
    }
    for (const Bytes& packet : encodeQuery(question, known)) {
        m_send(ifindex, packet);
    }
}

std::vector<const Operation*> Querier::operationsNamed(const Labels& name) const {
    std::vector<const Operation*> operations;
    const auto named = m_named.find(nameKey(name));
    if (named != m_named.end()) {
        for (const uint64_t id : named->second) {
            operations.push_back(&m_operations.at(id));
        }
    }
    return operations;
}

bool Querier::interesting(const CacheEntry& entry) const {
    return interesting(entry.ifindex, entry.record, entry.leaving, nameKey(entry.record.name));
}

bool Querier::interesting(uint32_t ifindex, const DnsRecord& record, bool leaving,
                          const std::string& name_key) const {
    const auto named = m_named.find(name_key);
    if (named == m_named.end()) {
        return false;
    }
    for (const uint64_t id : named->second) {
        const Operation& operation = m_operations.at(id);
        if (operation.wants(ifindex, record, leaving)) {
            return true;
        }
        if (operation.kind == Operation::Kind::kResolve &&
            (recordMatches(ifindex, record, operation.ifindex, operation.name, kTypeSrv,
                           kClassIn) ||
             recordMatches(ifindex, record, operation.ifindex, operation.name, kTypeTxt,
                           kClassIn))) {
            return true;
        }
    }
    return false;
}

void Querier::limitCache(const CacheEntry* kept) {
    if (m_cache.size() <= m_max_records) {
        return;
    }
    // The oldest record nobody wants goes first, else the oldest of all.
    auto oldest = m_cache.entries().end();
    auto oldest_unwanted = m_cache.entries().end();
    for (auto it = m_cache.entries().begin(); it != m_cache.entries().end(); ++it) {
        if (&*it == kept) {
            continue;
        }
        if (oldest == m_cache.entries().end() || it->received < oldest->received) {
            oldest = it;
        }
        if (!interesting(*it) && (oldest_unwanted == m_cache.entries().end() ||
                                  it->received < oldest_unwanted->received)) {
            oldest_unwanted = it;
        }
    }
    const auto victim = oldest_unwanted != m_cache.entries().end() ? oldest_unwanted : oldest;
    if (victim != m_cache.entries().end()) {
        removed(m_cache.take(victim));
    }
}

Clock::time_point Querier::refreshTime(const CacheEntry& entry) const {
    // In milliseconds: at most 95 % of 2^32 s, about 4e18 ns, within the clock's range.
    const uint64_t percent = uint64_t(80 + 5 * entry.refreshes);
    return entry.received + std::chrono::milliseconds(uint64_t(entry.record.ttl) * 10 * percent);
}

void Querier::added(const CacheEntry& entry) {
    for (const Operation* item : operationsNamed(entry.record.name)) {
        const Operation& operation = *item;
        if (operation.wants(entry)) {
            operation.reportRecord(entry, true);
        } else if (operation.kind == Operation::Kind::kResolve &&
                   (entry.record.type == kTypeSrv || entry.record.type == kTypeTxt) &&
                   entry.matches(operation.ifindex, operation.name, entry.record.type, kClassIn)) {
            resolveOn(operation, entry.ifindex);
        }
    }
}

void Querier::removed(const CacheEntry& entry) {
    for (const Operation* item : operationsNamed(entry.record.name)) {
        const Operation& operation = *item;
        if (operation.kind != Operation::Kind::kResolve &&
            entry.matches(operation.ifindex, operation.name, operation.type, operation.rrclass)) {
            operation.reportRecord(entry, false);
        }
    }
}

void Querier::resolveOn(const Operation& operation, uint32_t ifindex) {
    const CacheEntry* srv = nullptr;
    const CacheEntry* txt = nullptr;
    for (const CacheEntry* item : m_cache.named(operation.name)) {
        const CacheEntry& entry = *item;
        if (entry.leaving) {
            continue;
        }
        if (entry.matches(ifindex, operation.name, kTypeSrv, kClassIn) &&
            (!srv || entry.received >= srv->received)) {
            srv = &entry;
        }
        if (entry.matches(ifindex, operation.name, kTypeTxt, kClassIn) &&
            (!txt || entry.received >= txt->received)) {
            txt = &entry;
        }
    }
    if (!srv || !txt) {
        return;
    }
    const auto data = rdataSrv(srv->record.rdata);
    if (data) {
        operation.reportResolved(ifindex, *data, txt->record.rdata);
    }
}

}  // namespace vireo_dnssd
