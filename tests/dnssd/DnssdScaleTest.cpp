// Two service types of 250 instances each, browsed at once against the fake responder inside
// the test's own network namespace (veth mdns0, 192.0.2.1/24).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "FakeMdnsResponder.h"
#include "FakeMdnsWire.h"
#include "Timing.h"
#include "vireo_dns_sd.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kDevices = 250;
constexpr uint32_t kServiceTtl = 6;  // PTR and TXT, seconds
const char* const kTypes[] = {"_vireo-arc._udp", "_vireo-cmc._udp"};

std::string instanceName(int device) {
    char name[32];
    std::snprintf(name, sizeof name, "Corvanti AMP-%04d", device);
    return name;
}

std::string typeKey(int type) {
    return std::string(kTypes[type]) + ".local";
}

std::string instanceKey(int device, int type) {
    return "corvanti amp-" + instanceName(device).substr(13) + "." + typeKey(type);
}

struct Browsed {
    std::set<std::string> added;
    int removed = 0;
};

void onBrowse(DNSServiceRef, DNSServiceFlags flags, uint32_t, DNSServiceErrorType, const char* name,
              const char*, const char*, void* context) {
    auto* browsed = static_cast<Browsed*>(context);
    if (flags & kDNSServiceFlagsAdd) {
        browsed->added.insert(name);
    } else {
        ++browsed->removed;
    }
}

// Processes the results of both references until `done` holds or the time is up.
bool pump(DNSServiceRef (&refs)[2], Clock::time_point until, const std::function<bool()>& done) {
    while (!done()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left <= 0ms) {
            return false;
        }
        pollfd fds[2] = {{DNSServiceRefSockFD(refs[0]), POLLIN, 0},
                         {DNSServiceRefSockFD(refs[1]), POLLIN, 0}};
        ::poll(fds, 2, int(std::min<long long>(left.count(), 20)));  // `done` may hold anyway
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents & POLLIN) {
                EXPECT_EQ(DNSServiceProcessResult(refs[i]), 0);
            }
        }
    }
    return true;
}

// One query: the packet with its question and those that continue its known answers.
struct Round {
    std::string asked;  // the type's name
    Clock::time_point when;
    std::vector<sim::FakeMdnsRecordSeen> known;
};

// Groups the queries heard into rounds, checking that TC is set on every packet but the last
// of each and that packets without a question only continue one.
std::vector<Round> roundsOf(const std::vector<sim::FakeMdnsQuery>& queries) {
    std::vector<Round> rounds;
    bool open = false;
    for (const sim::FakeMdnsQuery& query : queries) {
        if (!query.questions.empty()) {
            EXPECT_FALSE(open) << "a question while known answers were still to come";
            EXPECT_EQ(query.questions.size(), 1u);
            rounds.push_back({query.questions[0].first, query.when, {}});
        } else {
            EXPECT_TRUE(open) << "known answers continuing no query";
            if (rounds.empty()) {
                continue;
            }
        }
        rounds.back().known.insert(rounds.back().known.end(), query.known_answers.begin(),
                                   query.known_answers.end());
        open = query.truncated;
    }
    EXPECT_FALSE(open) << "the last packet has TC set";
    return rounds;
}

// A query datagram: TC as given, the PTR question of the type unless `question` is false, and
// PTR known answers for these devices with these TTLs; names written plain.
std::vector<uint8_t> ptrQuery(bool truncated, bool question,
                              const std::vector<std::pair<int, uint32_t>>& known) {
    std::vector<uint8_t> out = {0,
                                0,
                                uint8_t(truncated ? 0x02 : 0),
                                0,
                                0,
                                uint8_t(question),
                                0,
                                uint8_t(known.size()),
                                0,
                                0,
                                0,
                                0};
    const auto type = sim::mdns::nameBytes(sim::mdns::parseName(typeKey(0)));
    if (question) {
        out.insert(out.end(), type.begin(), type.end());
        out.insert(out.end(), {0, 12, 0, 1});
    }
    for (const auto& [device, ttl] : known) {
        const auto target =
            sim::mdns::nameBytes(sim::mdns::parseName(instanceName(device) + "." + typeKey(0)));
        out.insert(out.end(), type.begin(), type.end());
        out.insert(out.end(), {0, 12, 0, 1, uint8_t(ttl >> 24), uint8_t(ttl >> 16),
                               uint8_t(ttl >> 8), uint8_t(ttl), 0, uint8_t(target.size())});
        out.insert(out.end(), target.begin(), target.end());
    }
    return out;
}

TEST(DnssdScale, FakeAnswersATruncatedQueryAfterItsLastTcPacketLeavingOutEveryKnownAnswer) {
    sim::FakeMdnsResponder::Options options;
    options.service_ttl = 100;
    options.announcements = 0;
    sim::FakeMdnsResponder fake("192.0.2.1", options);
    ASSERT_TRUE(fake.start());
    for (int device = 0; device < 4; ++device) {
        fake.addDevice({"amp-" + std::to_string(device),
                        "192.0.2.10",
                        {{instanceName(device), kTypes[0], 4440, {}}}});
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ip_mreqn out{};
    out.imr_ifindex = int(fake.interfaceIndex());
    ASSERT_EQ(::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out), 0);
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(5353);
    ::inet_pton(AF_INET, "224.0.0.251", &group.sin_addr);
    const auto send = [&](const std::vector<uint8_t>& datagram) {
        ASSERT_EQ(::sendto(fd, datagram.data(), datagram.size(), 0,
                           reinterpret_cast<const sockaddr*>(&group), sizeof group),
                  ssize_t(datagram.size()));
    };
    // Device 0 listed with the question, 1 in a packet after a pause, 2 in the last packet
    // with too little TTL left to count, 3 not at all.
    const Clock::time_point start = Clock::now();
    send(ptrQuery(true, true, {{0, 100}}));
    std::this_thread::sleep_for(300ms);
    const Clock::time_point last_tc = Clock::now();
    send(ptrQuery(true, false, {{1, 60}}));
    send(ptrQuery(false, false, {{2, 49}}));
    const auto answered = [&] { return fake.answers().size(); };
    while (answered() == 0 && Clock::now() - start < 2s) {
        std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(100ms);
    const auto answers = fake.answers();
    ::close(fd);
    ASSERT_EQ(answers.size(), 2u);
    std::set<std::string> targets;
    for (const sim::FakeMdnsAnswer& answer : answers) {
        targets.insert(answer.record.target);
        EXPECT_GE(answer.when - last_tc, 400ms);
        EXPECT_LE(answer.when - last_tc, 700ms);
    }
    EXPECT_EQ(targets, (std::set<std::string>{instanceKey(2, 0), instanceKey(3, 0)}));
}

TEST(DnssdScale, KnownAnswersOfTwoLargeTypesSpanPacketsAndSuppressEveryAnswerUntilHalfTheTtl) {
    vireo_dnssd::Timing timing;
    timing.initial_interval = 250ms;  // rounds 0.25, 0.75, 1.75 and 3.75 s after the first
    vireo_dnssd::setTiming(timing);
    sim::FakeMdnsResponder::Options options;
    options.service_ttl = kServiceTtl;
    options.announcements = 0;
    sim::FakeMdnsResponder fake("192.0.2.1", options);
    ASSERT_TRUE(fake.start());
    for (int device = 0; device < kDevices; ++device) {
        sim::FakeMdnsDevice amp;
        amp.host = "amp-" + std::to_string(device);
        amp.address = "192.0.2." + std::to_string(10 + device % 200);
        for (const char* type : kTypes) {
            amp.services.push_back({instanceName(device), type, 4440, {"mf=Corvanti"}});
        }
        fake.addDevice(amp);
    }

    Browsed browsed[2];
    DNSServiceRef refs[2] = {};
    for (int type = 0; type < 2; ++type) {
        ASSERT_EQ(DNSServiceBrowse(&refs[type], 0, 0, (std::string(kTypes[type]) + ".").c_str(),
                                   "local", onBrowse, &browsed[type]),
                  0);
    }
    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(pump(refs, start + 3s, [&] {
        return browsed[0].added.size() == kDevices && browsed[1].added.size() == kDevices;
    }));
    // Until every instance was answered a second time, once half its TTL had gone.
    const auto answeredTwice = [&] {
        std::map<std::string, int> times;
        for (const sim::FakeMdnsAnswer& answer : fake.answers()) {
            ++times[answer.record.target];
        }
        return times.size() == 2 * kDevices &&
               std::all_of(times.begin(), times.end(), [](const auto& t) { return t.second >= 2; });
    };
    EXPECT_TRUE(pump(refs, start + 6s, answeredTwice));
    for (DNSServiceRef ref : refs) {
        DNSServiceRefDeallocate(ref);
    }
    EXPECT_EQ(browsed[0].removed + browsed[1].removed, 0);

    std::map<std::string, std::vector<Clock::time_point>> answered;  // instance: times
    for (const sim::FakeMdnsAnswer& answer : fake.answers()) {
        EXPECT_EQ(answer.record.type, kDNSServiceType_PTR);
        answered[answer.record.target].push_back(answer.when);
    }
    ASSERT_EQ(answered.size(), 2u * kDevices);
    for (const auto& instance : answered) {
        for (size_t i = 1; i < instance.second.size(); ++i) {
            EXPECT_GE(instance.second[i] - instance.second[0],
                      std::chrono::seconds(kServiceTtl) / 2)
                << instance.first << " answered again too early";
        }
    }

    const std::vector<sim::FakeMdnsQuery> queries = fake.queries();
    const std::vector<Round> rounds = roundsOf(queries);
    for (int type = 0; type < 2; ++type) {
        SCOPED_TRACE(kTypes[type]);
        std::set<std::string> all;
        for (int device = 0; device < kDevices; ++device) {
            all.insert(instanceKey(device, type));
        }
        const Clock::time_point first = answered.at(instanceKey(0, type)).front();
        int full_rounds = 0;
        bool first_round = true;
        for (const Round& round : rounds) {
            if (round.asked != typeKey(type)) {
                continue;
            }
            std::set<std::string> listed;
            for (const sim::FakeMdnsRecordSeen& known : round.known) {
                EXPECT_EQ(known.name, typeKey(type));
                EXPECT_TRUE(listed.insert(known.target).second) << known.target << " listed twice";
                EXPECT_GT(known.ttl * 2, kServiceTtl);
            }
            if (first_round) {
                EXPECT_TRUE(listed.empty());
                first_round = false;
            } else if (round.when - first < std::chrono::seconds(kServiceTtl) / 2) {
                EXPECT_EQ(listed, all);
                ++full_rounds;
            }
        }
        EXPECT_GE(full_rounds, 2);
    }
    size_t continued = 0;
    for (const sim::FakeMdnsQuery& query : queries) {
        continued += query.questions.empty();
    }
    EXPECT_GE(continued, 4u * 5);  // 250 known answers take at least 6 packets
}

}  // namespace
