#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FakeMdnsWire.h"
#include "Querier.h"

namespace {

using namespace std::chrono_literals;
using vireo_dnssd::Bytes;
using vireo_dnssd::Clock;
using vireo_dnssd::DnsMessage;
using vireo_dnssd::Operation;

struct Sent {
    uint32_t ifindex;
    DnsMessage message;
    Clock::time_point at;
};

struct Event {
    DNSServiceFlags flags;
    uint32_t ifindex;
    std::string name;  // browse: instance; query: data as text; resolve: host
    uint16_t port = 0;
};

void onBrowse(DNSServiceRef, DNSServiceFlags flags, uint32_t ifindex, DNSServiceErrorType,
              const char* name, const char*, const char*, void* context) {
    static_cast<std::vector<Event>*>(context)->push_back({flags, ifindex, name});
}

void onQuery(DNSServiceRef, DNSServiceFlags flags, uint32_t ifindex, DNSServiceErrorType,
             const char*, uint16_t, uint16_t, uint16_t length, const void* data, uint32_t,
             void* context) {
    static_cast<std::vector<Event>*>(context)->push_back(
        {flags, ifindex, std::string(static_cast<const char*>(data), length)});
}

void onResolve(DNSServiceRef, DNSServiceFlags flags, uint32_t ifindex, DNSServiceErrorType,
               const char*, const char* host, uint16_t port, uint16_t, const unsigned char*,
               void* context) {
    static_cast<std::vector<Event>*>(context)->push_back(Event{flags, ifindex, host, ntohs(port)});
}

sim::mdns::WireRecord record(const std::string& name, uint16_t type, uint32_t ttl, Bytes rdata,
                             bool flush = false) {
    sim::mdns::WireRecord out;
    out.name = sim::mdns::parseName(name);
    out.type = type;
    out.ttl = ttl;
    out.rdata = std::move(rdata);
    out.cache_flush = flush;
    return out;
}

const char* const kType = "_vireo-arc._udp.local";

sim::mdns::WireRecord ptr(const std::string& instance, uint32_t ttl) {
    return record(kType, 12, ttl,
                  sim::mdns::nameBytes(sim::mdns::parseName(instance + "." + kType)));
}

Bytes srvData(uint16_t port) {
    Bytes data = {0, 0, 0, 0, uint8_t(port >> 8), uint8_t(port)};
    const Bytes host = sim::mdns::nameBytes({"amp", "local"});
    data.insert(data.end(), host.begin(), host.end());
    return data;
}

class QuerierTest : public ::testing::Test {
protected:
    QuerierTest() : m_channel(std::make_shared<vireo_dnssd::ResultChannel>()) {
        m_channel->open();
        m_querier.setInterfaces({2, 3}, m_now);
    }

    static vireo_dnssd::Timing timing() { return vireo_dnssd::Timing(); }

    Operation operation(Operation::Kind kind, const std::string& name, uint16_t type,
                        uint32_t ifindex = 0) {
        Operation op;
        op.kind = kind;
        op.ifindex = ifindex;
        op.name = *vireo_dnssd::parseNameText(name);
        op.type = type;
        op.channel = m_channel;
        op.browse = onBrowse;
        op.query = onQuery;
        op.resolve = onResolve;
        op.context = &m_events;
        return op;
    }

    uint64_t browse(uint32_t ifindex = 0) {
        return m_querier.add(operation(Operation::Kind::kBrowse, kType, 12, ifindex), m_now);
    }

    void receive(const std::vector<sim::mdns::WireRecord>& records, uint32_t ifindex = 2) {
        receive(m_querier, records, ifindex);
    }

    void receive(vireo_dnssd::Querier& querier, const std::vector<sim::mdns::WireRecord>& records,
                 uint32_t ifindex) {
        const Bytes bytes = sim::mdns::encodeResponse(records, {});
        querier.receive(*vireo_dnssd::parseDnsMessage(bytes.data(), bytes.size()), ifindex, m_now);
    }

    // Runs the querier as its engine would until `time`.
    void advance(Clock::duration by) { advance(m_querier, by); }

    void advance(vireo_dnssd::Querier& querier, Clock::duration by) {
        const Clock::time_point until = m_now + by;
        for (;;) {
            const Clock::time_point next = querier.run(m_now);
            if (next > until) {
                break;
            }
            m_now = std::max(next, m_now + 1ms);
        }
        m_now = until;
        querier.run(m_now);
    }

    // The replies queued so far.
    std::vector<Event> events() {
        pollfd fd{m_channel->callerSocket(), POLLIN, 0};
        if (::poll(&fd, 1, 0) == 1) {
            for (auto& result : m_channel->wait()) {
                result(nullptr, 0);
            }
        }
        return std::exchange(m_events, {});
    }

    std::vector<Clock::duration> queryTimes(uint32_t ifindex, uint16_t type) const {
        std::vector<Clock::duration> times;
        for (const Sent& s : m_sent) {
            if (s.ifindex == ifindex && !s.message.questions.empty() &&
                s.message.questions[0].type == type) {
                times.push_back(s.at - m_start);
            }
        }
        return times;
    }

    const Clock::time_point m_start = Clock::time_point() + 1h;
    Clock::time_point m_now = m_start;
    std::vector<Sent> m_sent;
    std::vector<Event> m_events;
    std::shared_ptr<vireo_dnssd::ResultChannel> m_channel;
    vireo_dnssd::Querier m_querier{
        timing(), [this](uint32_t ifindex, const Bytes& bytes) {
            m_sent.push_back(
                {ifindex, *vireo_dnssd::parseDnsMessage(bytes.data(), bytes.size()), m_now});
        }};
};

TEST_F(QuerierTest, QueriesBackOffAndANewOperationStartsAFreshBurst) {
    browse();
    advance(10s);
    for (const uint32_t ifindex : {2u, 3u}) {
        const auto times = queryTimes(ifindex, 12);
        ASSERT_EQ(times.size(), 4u) << ifindex;
        EXPECT_GE(times[0], 20ms);
        EXPECT_LE(times[0], 120ms);
        EXPECT_EQ(times[1] - times[0], 1s);
        EXPECT_EQ(times[2] - times[1], 2s);
        EXPECT_EQ(times[3] - times[2], 4s);
    }
    m_sent.clear();
    browse();
    advance(130ms);
    EXPECT_EQ(queryTimes(2, 12).size(), 1u);
}

TEST_F(QuerierTest, KnownAnswersCarryTheirRemainingTtlUntilHalfIsGone) {
    browse();
    receive({ptr("Amp", 100)});
    advance(40s);
    ASSERT_EQ(queryTimes(2, 12).size(), 6u);
    for (const Sent& s : m_sent) {
        if (s.ifindex != 2) {
            continue;
        }
        ASSERT_EQ(s.message.answers.size(), 1u);
        const auto left = std::chrono::seconds(s.message.answers[0].ttl);
        EXPECT_LE(left, 100s - (s.at - m_start));
        EXPECT_GE(left, 99s - (s.at - m_start));
    }
    m_sent.clear();
    advance(30s);  // the query at 63 s: 37 s left of 100
    ASSERT_FALSE(m_sent.empty());
    for (const Sent& s : m_sent) {
        EXPECT_TRUE(s.message.answers.empty());
    }
}

TEST_F(QuerierTest, GoodbyeRemovesAfterASecondAndUnrefreshedRecordsExpire) {
    browse();
    receive({ptr("Amp A", 100), ptr("Amp B", 10)});
    EXPECT_EQ(events().size(), 2u);
    advance(1s);
    receive({ptr("Amp A", 0)});
    advance(900ms);
    EXPECT_TRUE(events().empty());
    advance(200ms);
    auto gone = events();
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].name, "Amp A");
    EXPECT_EQ(gone[0].flags & kDNSServiceFlagsAdd, 0u);

    advance(7s);  // 9.1 s: refreshes at 8, 8.5 and 9 s went unanswered
    EXPECT_TRUE(events().empty());
    const auto times = queryTimes(2, 12);
    EXPECT_EQ(
        std::count_if(times.begin(), times.end(), [](Clock::duration t) { return t > 7500ms; }), 3);
    advance(1s);
    gone = events();
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].name, "Amp B");
}

TEST_F(QuerierTest, RefreshesWantedRecordsOnlyAndWaitsPastTheOthers) {
    browse();
    const std::string instance = std::string("Amp.") + kType;
    receive({ptr("Amp", 10), record(instance, 33, 10, srvData(4440)),
             record("amp.local", 1, 10, {192, 0, 2, 7})});
    advance(8050ms);
    const auto times = queryTimes(2, 12);
    EXPECT_EQ(std::count_if(times.begin(), times.end(), [](Clock::duration t) { return t >= 8s; }),
              1);  // the PTR's refresh at 80 % of its TTL
    EXPECT_TRUE(queryTimes(2, 33).empty());
    EXPECT_TRUE(queryTimes(2, 1).empty());
    // The service and address records, due as well, are wanted by none: nothing to do now.
    EXPECT_GT(m_querier.run(m_now), m_now);
}

TEST_F(QuerierTest, HugeTtlsNeitherOverflowNorExpire) {
    browse();
    receive({ptr("Amp", 0x7fffffff), ptr("Other", 0xffffffff)});  // the top bit: TTL 0
    auto added = events();
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].name, "Amp");
    advance(20s);
    EXPECT_TRUE(events().empty());
    // No refresh queries: interface 2 with the record is asked as often as 3 without.
    EXPECT_EQ(queryTimes(2, 12).size(), queryTimes(3, 12).size());
    for (const Sent& s : m_sent) {
        if (s.ifindex == 2) {
            ASSERT_EQ(s.message.answers.size(), 1u);
            EXPECT_GE(s.message.answers[0].ttl, 0x7fffffffu - 20);
        }
    }
    receive({ptr("Amp", 0xffffffff)});  // a goodbye
    advance(1100ms);
    const auto gone = events();
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].flags & kDNSServiceFlagsAdd, 0u);
}

TEST_F(QuerierTest, CacheFlushRetiresOlderRecordsOfTheSet) {
    const std::string instance = std::string("Amp.") + kType;
    m_querier.add(operation(Operation::Kind::kQuery, instance, 33), m_now);
    m_querier.add(operation(Operation::Kind::kResolve, instance, 33), m_now);
    receive({record(instance, 33, 120, srvData(4440), true),
             record(instance, 16, 4500, {3, 'a', '=', '1'}, true)});
    auto first = events();
    ASSERT_EQ(first.size(), 2u);  // the SRV record, then the resolve once TXT is there
    EXPECT_EQ(first[1].name, "amp.local.");
    EXPECT_EQ(first[1].port, 4440);
    advance(5s);
    receive({record(instance, 33, 120, srvData(4441), true)});
    auto second = events();
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[1].port, 4441);
    advance(1100ms);
    const auto gone = events();
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].flags, 0u);
    const Bytes old = srvData(4440);
    EXPECT_EQ(gone[0].name, std::string(old.begin(), old.end()));
}

TEST_F(QuerierTest, ReconfirmIsRateLimitedAndRemovesOnlyWhatStaysUnanswered) {
    browse();
    receive({ptr("Amp X", 4500), ptr("Amp Y", 4500)});
    ASSERT_EQ(events().size(), 2u);
    advance(16s);  // the browse's next query is due at about 31 s
    m_sent.clear();
    const auto x = sim::mdns::nameBytes(sim::mdns::parseName(std::string("Amp X.") + kType));
    const auto name = *vireo_dnssd::parseNameText(kType);
    for (int i = 0; i < 100; ++i) {
        m_querier.reconfirm(0, name, 12, 1, x, m_now);
        advance(10ms);
    }
    advance(3s);
    // Three queries on the record's interface, each with only the other record as known.
    ASSERT_EQ(m_sent.size(), 3u);
    for (const Sent& s : m_sent) {
        EXPECT_EQ(s.ifindex, 2u);
        ASSERT_EQ(s.message.answers.size(), 1u);
        EXPECT_EQ(s.message.answers[0].rdata,
                  sim::mdns::nameBytes(sim::mdns::parseName(std::string("Amp Y.") + kType)));
    }
    EXPECT_TRUE(events().empty());
    advance(1s);
    const auto gone = events();
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].name, "Amp X");

    // An answered reconfirmation keeps the record, and the next one waits for the hold-off.
    m_querier.reconfirm(2, name, 12, 1, {}, m_now);
    advance(500ms);
    receive({ptr("Amp Y", 4500)});
    m_querier.reconfirm(2, name, 12, 1, {}, m_now);
    advance(6s);
    EXPECT_TRUE(events().empty());
}

TEST_F(QuerierTest, ReconfirmFindsItsRecordByDataIgnoringCaseOnTheGivenInterfaces) {
    const auto name = *vireo_dnssd::parseNameText(kType);
    const auto data = [](const std::string& instance) {
        return sim::mdns::nameBytes(sim::mdns::parseName(instance + "." + kType));
    };
    const struct {
        const char* what;
        uint32_t ifindex;
        Bytes rdata;
        bool started;
        const char* answer;             // the instance answering after 500 ms, as it spells it
        std::vector<std::string> gone;  // "instance/interface"
    } cases[] = {
        {"any interface", 0, data("Amp X"), true, nullptr, {"Amp X/2", "Amp X/3"}},
        {"one interface, data in other case", 3, data("aMP x"), true, nullptr, {"Amp X/3"}},
        {"answered in other case", 0, data("Amp X"), true, "AMP X", {}},
        {"not cached", 0, data("Amp Z"), false, nullptr, {}},
        {"interface without it", 7, data("Amp X"), false, nullptr, {}},
        {"data no name", 0, Bytes{5, 'A', 'm', 'p', ' ', 'X'}, false, nullptr, {}},
    };
    for (const auto& c : cases) {
        vireo_dnssd::Querier querier(timing(), [](uint32_t, const Bytes&) {});
        querier.setInterfaces({2, 3}, m_now);
        querier.add(operation(Operation::Kind::kBrowse, kType, 12), m_now);
        for (const uint32_t ifindex : {2u, 3u}) {
            receive(querier, {ptr("Amp X", 4500), ptr("Amp Y", 4500)}, ifindex);
        }
        ASSERT_EQ(events().size(), 4u) << c.what;
        EXPECT_EQ(querier.reconfirm(c.ifindex, name, 12, 1, c.rdata, m_now), c.started) << c.what;
        advance(querier, 500ms);
        if (c.answer) {
            for (const uint32_t ifindex : {2u, 3u}) {
                receive(querier, {ptr(c.answer, 4500)}, ifindex);
            }
        }
        advance(querier, 6s);
        std::vector<std::string> gone;
        for (const Event& e : events()) {
            EXPECT_EQ(e.flags & kDNSServiceFlagsAdd, 0u) << c.what << ": " << e.name;
            gone.push_back(e.name + "/" + std::to_string(e.ifindex));
        }
        std::sort(gone.begin(), gone.end());
        EXPECT_EQ(gone, c.gone) << c.what;
    }
}

TEST_F(QuerierTest, CachesOnlyWantedOrRelatedRecordsUpToItsLimit) {
    // A resolve caches the host's address sent with the service, for the address query after.
    const std::string instance = std::string("Amp.") + kType;
    m_querier.add(operation(Operation::Kind::kResolve, instance, 33), m_now);
    receive({record(instance, 33, 120, srvData(4440)), record(instance, 16, 4500, {0}),
             record("other.local", 1, 120, {192, 0, 2, 9})},
            2);
    const Bytes address = {192, 0, 2, 7};
    const Bytes bytes = sim::mdns::encodeResponse({}, {record("amp.local", 1, 120, address)});
    m_querier.receive(*vireo_dnssd::parseDnsMessage(bytes.data(), bytes.size()), 2, m_now);
    ASSERT_EQ(events().size(), 1u);
    m_querier.add(operation(Operation::Kind::kQuery, "amp.local", 1), m_now);
    m_querier.add(operation(Operation::Kind::kQuery, "other.local", 1), m_now);
    const auto cached = events();
    ASSERT_EQ(cached.size(), 1u);
    EXPECT_EQ(cached[0].name, std::string(address.begin(), address.end()));

    // A small cache: floods of records nobody wants pass by; when full, records nobody wants
    // any more go first, then the oldest.
    vireo_dnssd::Querier small(
        timing(), [](uint32_t, const Bytes&) {}, 16);
    small.setInterfaces({2}, m_now);
    const auto flood = [&](const std::string& type, int first, int count) {
        for (int i = first; i < first + count; ++i) {
            const Bytes message = sim::mdns::encodeResponse(
                {record(type, 12, 4500,
                        sim::mdns::nameBytes(
                            sim::mdns::parseName("Amp " + std::to_string(i) + "." + type)))},
                {});
            small.receive(*vireo_dnssd::parseDnsMessage(message.data(), message.size()), 2, m_now);
            m_now += 1ms;
        }
    };
    const char* const cmc = "_vireo-cmc._udp.local";
    flood("_other._tcp.local", 0, 100);
    const uint64_t old = small.add(operation(Operation::Kind::kBrowse, kType, 12), m_now);
    flood(kType, 0, 10);
    EXPECT_EQ(events().size(), 10u);
    small.remove(old);
    small.add(operation(Operation::Kind::kBrowse, cmc, 12), m_now);
    flood(cmc, 0, 16);
    auto kept = events();
    EXPECT_EQ(kept.size(), 16u);
    EXPECT_EQ(std::count_if(kept.begin(), kept.end(),
                            [](const Event& e) { return !(e.flags & kDNSServiceFlagsAdd); }),
              0);
    flood(cmc, 16, 1);
    const auto full = events();
    ASSERT_EQ(full.size(), 2u);
    EXPECT_EQ(full[0].name, "Amp 16");
    EXPECT_EQ(full[1].name, "Amp 0");
    EXPECT_EQ(full[1].flags & kDNSServiceFlagsAdd, 0u);
    small.add(operation(Operation::Kind::kBrowse, "_other._tcp.local", 12), m_now);
    small.add(operation(Operation::Kind::kBrowse, kType, 12), m_now);
    EXPECT_TRUE(events().empty());
}

TEST_F(QuerierTest, ReportsOnlyTheAskedInterfaceAndDropsRecordsOfLostOnes) {
    browse(3);
    receive({ptr("Amp", 100)}, 2);
    receive({ptr("Amp", 100)}, 7);  // not joined
    EXPECT_TRUE(events().empty());
    receive({ptr("Amp", 100)}, 3);
    auto added = events();
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].ifindex, 3u);
    EXPECT_EQ(added[0].flags, uint32_t(kDNSServiceFlagsAdd));
    m_querier.setInterfaces({2}, m_now);
    const auto gone = events();
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_EQ(gone[0].flags, 0u);
}

}  // namespace
