// The library against the fake responder, inside the test's own network namespace with the
// veth interface mdns0 (192.0.2.1/24).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "FakeMdnsResponder.h"
#include "FakeMdnsWire.h"
#include "Timing.h"
#include "vireo_dns_sd.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kInterfaceAddress = "192.0.2.1";
constexpr const char* kArc = "_vireo-arc._udp.";
constexpr const char* kInstance = "ZEB Amp.2";

struct Event {
    DNSServiceFlags flags = 0;
    uint32_t ifindex = 0;
    DNSServiceErrorType error = 0;
    std::string name;  // browse: instance; resolve: full name; query: full name
    std::string type;  // browse: type; resolve: host
    std::string domain;
    uint16_t port = 0;
    std::string data;  // resolve: TXT; query: record data
    std::thread::id thread;
    Clock::time_point when;
};

struct Events {
    std::vector<Event> list;
    std::function<void(DNSServiceRef)> on_event;  // run inside the callback when set
};

void record(void* context, DNSServiceRef ref, Event event) {
    auto* events = static_cast<Events*>(context);
    event.thread = std::this_thread::get_id();
    event.when = Clock::now();
    events->list.push_back(std::move(event));
    if (events->on_event) {
        events->on_event(ref);
    }
}

void onBrowse(DNSServiceRef ref, DNSServiceFlags flags, uint32_t ifindex, DNSServiceErrorType error,
              const char* name, const char* type, const char* domain, void* context) {
    Event event;
    event.flags = flags;
    event.ifindex = ifindex;
    event.error = error;
    event.name = name;
    event.type = type;
    event.domain = domain;
    record(context, ref, event);
}

void onResolve(DNSServiceRef ref, DNSServiceFlags flags, uint32_t ifindex,
               DNSServiceErrorType error, const char* fullname, const char* host, uint16_t port,
               uint16_t txt_length, const unsigned char* txt, void* context) {
    Event event;
    event.flags = flags;
    event.ifindex = ifindex;
    event.error = error;
    event.name = fullname;
    event.type = host;
    event.port = ntohs(port);
    event.data.assign(reinterpret_cast<const char*>(txt), txt_length);
    record(context, ref, event);
}

void onQuery(DNSServiceRef ref, DNSServiceFlags flags, uint32_t ifindex, DNSServiceErrorType error,
             const char* fullname, uint16_t, uint16_t, uint16_t length, const void* data, uint32_t,
             void* context) {
    Event event;
    event.flags = flags;
    event.ifindex = ifindex;
    event.error = error;
    event.name = fullname;
    event.data.assign(static_cast<const char*>(data), length);
    record(context, ref, event);
}

bool readable(DNSServiceRef ref, int timeout_ms = 0) {
    pollfd fd{DNSServiceRefSockFD(ref), POLLIN, 0};
    return ::poll(&fd, 1, timeout_ms) == 1;
}

// Processes results of `ref` until `done` holds; false on time-out.
bool pump(DNSServiceRef ref, const std::function<bool()>& done,
          std::chrono::milliseconds timeout = 5s) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= 0ms) {
            return false;
        }
        if (readable(ref, int(left.count()))) {
            EXPECT_EQ(DNSServiceProcessResult(ref), 0);
        }
    }
    return true;
}

sim::FakeMdnsDevice amplifier(const std::string& host = "amp-1",
                              const std::string& instance = kInstance) {
    sim::FakeMdnsDevice device;
    device.host = host;
    device.address = "192.0.2.10";
    device.services.push_back(
        {instance,
         "_vireo-arc._udp",
         4440,
         {"arcp_vers=3.2.1", "router_vers=1.2.3", "mf=Corvanti", "model=_0011223344556677"}});
    device.services.push_back(
        {instance, "_vireo-cmc._udp", 8800, {"id=0011223344556677", "process=0"}});
    return device;
}

// The PTR data the browse code passes to reconfirm: the instance's name in wire form.
std::string ptrData(const std::string& instance) {
    std::string data;
    for (const std::string& label :
         {instance, std::string("_vireo-arc"), std::string("_udp"), std::string("local")}) {
        data += char(label.size());
        data += label;
    }
    data += '\0';
    return data;
}

// A unicast mDNS response to 192.0.2.1 from 192.0.2.77, port 5353 both ends, sent into the
// peer of mdns0 as a frame so that it arrives on mdns0 with the given IP TTL.
bool injectResponse(const std::string& instance, uint8_t ttl) {
    sim::mdns::WireRecord ptr;
    ptr.name = sim::mdns::parseName("_vireo-arc._udp.local");
    ptr.type = kDNSServiceType_PTR;
    ptr.ttl = 120;
    ptr.rdata = sim::mdns::nameBytes(sim::mdns::parseName(instance + "._vireo-arc._udp.local"));
    const std::vector<uint8_t> payload = sim::mdns::encodeResponse({ptr}, {});
    const size_t total = 28 + payload.size();
    std::vector<uint8_t> packet = {0x45,
                                   0,
                                   uint8_t(total >> 8),
                                   uint8_t(total),
                                   0,
                                   0,
                                   0x40,
                                   0,
                                   ttl,
                                   17,
                                   0,
                                   0,
                                   192,
                                   0,
                                   2,
                                   77,
                                   192,
                                   0,
                                   2,
                                   1};
    uint32_t sum = 0;
    for (size_t i = 0; i < packet.size(); i += 2) {
        sum += uint32_t(packet[i] << 8 | packet[i + 1]);
    }
    sum = (sum & 0xffff) + (sum >> 16);
    sum = (sum & 0xffff) + (sum >> 16);
    packet[10] = uint8_t(~sum >> 8);
    packet[11] = uint8_t(~sum);
    const size_t udp = 8 + payload.size();
    const std::vector<uint8_t> header = {0x14,         0xe9, 0x14, 0xe9, uint8_t(udp >> 8),
                                         uint8_t(udp), 0,    0};  // no checksum
    packet.insert(packet.end(), header.begin(), header.end());
    packet.insert(packet.end(), payload.begin(), payload.end());

    const int fd = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_IP));
    ifreq request{};
    std::strncpy(request.ifr_name, "mdns0", IFNAMSIZ - 1);
    if (fd < 0 || ::ioctl(fd, SIOCGIFHWADDR, &request) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(ETH_P_IP);
    to.sll_ifindex = int(::if_nametoindex("mdns0-p"));
    to.sll_halen = 6;
    std::copy_n(request.ifr_hwaddr.sa_data, 6, to.sll_addr);
    const bool sent =
        ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to) == ssize_t(packet.size());
    ::close(fd);
    return sent;
}

size_t countWith(const Events& events, DNSServiceFlags flags) {
    size_t count = 0;
    for (const Event& event : events.list) {
        count += (event.flags & kDNSServiceFlagsAdd) == flags;
    }
    return count;
}

class DnssdNet : public ::testing::Test {
protected:
    void SetUp() override {
        vireo_dnssd::Timing timing;
        timing.reconfirm_interval = 300ms;
        timing.reconfirm_wait = 1500ms;
        vireo_dnssd::setTiming(timing);
        ASSERT_TRUE(m_fake.start());
        m_ifindex = ::if_nametoindex("mdns0");
        ASSERT_NE(m_ifindex, 0u);
        ASSERT_EQ(m_fake.interfaceIndex(), m_ifindex);
    }

    DNSServiceRef browse(Events& events, const char* type = kArc) {
        DNSServiceRef ref = nullptr;
        EXPECT_EQ(DNSServiceBrowse(&ref, 0, 0, type, "local", onBrowse, &events), 0);
        return ref;
    }

    sim::FakeMdnsResponder::Options m_options;
    sim::FakeMdnsResponder m_fake{kInterfaceAddress, m_options};
    unsigned m_ifindex = 0;
};

TEST_F(DnssdNet, BrowseSeesAnnouncedDeviceOnItsInterfaceAndItsGoodbye) {
    Events events;
    DNSServiceRef ref = browse(events);
    ASSERT_NE(ref, nullptr);
    m_fake.addDevice(amplifier());
    ASSERT_TRUE(pump(ref, [&] { return !events.list.empty(); }));
    const Event& added = events.list[0];
    EXPECT_EQ(added.flags & kDNSServiceFlagsAdd, uint32_t(kDNSServiceFlagsAdd));
    EXPECT_EQ(added.ifindex, m_ifindex);
    EXPECT_EQ(added.error, 0);
    EXPECT_EQ(added.name, kInstance);
    EXPECT_EQ(added.type, kArc);
    EXPECT_EQ(added.domain, "local.");

    std::this_thread::sleep_for(200ms);
    const auto goodbye = Clock::now();
    m_fake.removeDevice("amp-1");
    ASSERT_TRUE(pump(
        ref, [&] { return countWith(events, 0) == 1; }, 3s));
    const Event& removed = events.list.back();
    EXPECT_EQ(removed.name, kInstance);
    EXPECT_EQ(removed.ifindex, m_ifindex);
    const auto after = removed.when - goodbye;
    EXPECT_GE(after, 900ms);
    EXPECT_LE(after, 2500ms);
    EXPECT_EQ(countWith(events, kDNSServiceFlagsAdd), 1u);
    DNSServiceRefDeallocate(ref);
}

// Names are case-blind: a responder's own spelling of the type and domain never reaches the
// caller, who gets them back as it asked for them.
TEST_F(DnssdNet, BrowseGivesTypeAndDomainBackAsTheCallerSpelledThem) {
    sim::FakeMdnsDevice device = amplifier();
    device.services[0].type = "_Vireo-Arc._Udp";
    device.services[1].type = "_VIREO-CMC._UDP";
    for (sim::FakeMdnsService& service : device.services) {
        service.domain = "LOCAL";
    }
    m_fake.addDevice(device);
    const struct {
        const char* type;
        const char* domain;
        const char* type_back;
        const char* domain_back;
    } cases[] = {
        {kArc, "local", kArc, "local."},
        {"_vireo-cmc._udp", "local.", "_vireo-cmc._udp.", "local."},
        {"_VIREO-arc._UDP.", "Local", "_VIREO-arc._UDP.", "Local."},
    };
    for (const auto& c : cases) {
        Events events;
        DNSServiceRef ref = nullptr;
        ASSERT_EQ(DNSServiceBrowse(&ref, 0, 0, c.type, c.domain, onBrowse, &events), 0);
        ASSERT_TRUE(pump(ref, [&] { return !events.list.empty(); })) << c.type;
        EXPECT_EQ(events.list[0].name, kInstance);
        EXPECT_EQ(events.list[0].type, c.type_back);
        EXPECT_EQ(events.list[0].domain, c.domain_back);
        DNSServiceRefDeallocate(ref);
    }
}

TEST_F(DnssdNet, SilentDeviceDisappearsWhenItsTtlRunsOut) {
    m_fake.stop();
    sim::FakeMdnsResponder::Options options;
    options.service_ttl = 2;
    options.host_ttl = 2;
    sim::FakeMdnsResponder shortlived(kInterfaceAddress, options);
    ASSERT_TRUE(shortlived.start());
    Events events;
    DNSServiceRef ref = browse(events);
    const auto added = Clock::now();
    shortlived.addDevice(amplifier());
    ASSERT_TRUE(pump(ref, [&] { return !events.list.empty(); }));
    shortlived.setAllSilent(true);
    ASSERT_TRUE(pump(
        ref, [&] { return countWith(events, 0) == 1; }, 4s));
    const auto lived = events.list.back().when - added;
    EXPECT_GE(lived, 1900ms);
    EXPECT_LE(lived, 3000ms);
    DNSServiceRefDeallocate(ref);
}

TEST_F(DnssdNet, UnicastResponsesThatCrossedARouterAreIgnored) {
    m_fake.stop();  // unicast to the shared port goes to one of its sockets only
    Events events;
    DNSServiceRef ref = browse(events);
    std::this_thread::sleep_for(300ms);  // the engine has joined mdns0
    ASSERT_TRUE(injectResponse("Routed Amp", 64));
    ASSERT_TRUE(injectResponse("Linked Amp", 255));
    ASSERT_TRUE(pump(ref, [&] { return !events.list.empty(); }));
    EXPECT_FALSE(pump(
        ref, [&] { return events.list.size() > 1; }, 300ms));
    ASSERT_EQ(events.list.size(), 1u);
    EXPECT_EQ(events.list[0].name, "Linked Amp");
    EXPECT_EQ(events.list[0].ifindex, m_ifindex);
    DNSServiceRefDeallocate(ref);
}

TEST_F(DnssdNet, ResolveAndAddressQueryAnswerOnTheProcessingThread) {
    vireo_dnssd::Timing timing = vireo_dnssd::timing();
    timing.first_query_min = 500ms;  // nothing can be answered before the checks below
    timing.first_query_max = 500ms;
    vireo_dnssd::setTiming(timing);
    m_fake.addDevice(amplifier());
    Events resolved;
    DNSServiceRef resolve = nullptr;
    ASSERT_EQ(DNSServiceResolve(&resolve, 0, 0, kInstance, kArc, "local", onResolve, &resolved), 0);
    EXPECT_FALSE(readable(resolve));
    char byte = 0;
    EXPECT_EQ(::recv(DNSServiceRefSockFD(resolve), &byte, 1, MSG_PEEK | MSG_DONTWAIT), -1);

    std::thread::id worker_id;
    std::thread worker([&] {
        worker_id = std::this_thread::get_id();
        EXPECT_TRUE(pump(resolve, [&] { return !resolved.list.empty(); }));
    });
    worker.join();
    ASSERT_EQ(resolved.list.size(), 1u);
    const Event& answer = resolved.list[0];
    EXPECT_EQ(answer.thread, worker_id);
    EXPECT_EQ(answer.error, 0);
    EXPECT_EQ(answer.ifindex, m_ifindex);
    EXPECT_EQ(answer.name, "ZEB Amp\\.2._vireo-arc._udp.local.");
    EXPECT_EQ(answer.type, "amp-1.local.");
    EXPECT_EQ(answer.port, 4440);
    const auto length = uint16_t(answer.data.size());
    uint8_t value_length = 0;
    const auto* value = static_cast<const char*>(
        TXTRecordGetValuePtr(length, answer.data.data(), "arcp_vers", &value_length));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::string(value, value_length), "3.2.1");
    EXPECT_TRUE(TXTRecordContainsKey(length, answer.data.data(), "MF"));
    EXPECT_FALSE(readable(resolve));
    DNSServiceRefDeallocate(resolve);

    Events queried;
    DNSServiceRef query = nullptr;
    ASSERT_EQ(DNSServiceQueryRecord(&query, 0x500, 0, answer.type.c_str(), kDNSServiceType_A,
                                    kDNSServiceClass_IN, onQuery, &queried),
              0);
    ASSERT_TRUE(readable(query, 3000));
    EXPECT_EQ(::recv(DNSServiceRefSockFD(query), &byte, 1, MSG_PEEK | MSG_DONTWAIT), 1);
    ASSERT_TRUE(pump(query, [&] { return !queried.list.empty(); }));
    const Event& address = queried.list[0];
    EXPECT_EQ(address.thread, std::this_thread::get_id());
    EXPECT_EQ(address.flags & kDNSServiceFlagsAdd, uint32_t(kDNSServiceFlagsAdd));
    EXPECT_EQ(address.ifindex, m_ifindex);
    EXPECT_EQ(address.name, "amp-1.local.");
    EXPECT_EQ(address.data, std::string("\xc0\x00\x02\x0a", 4));
    EXPECT_FALSE(readable(query));
    EXPECT_EQ(::recv(DNSServiceRefSockFD(query), &byte, 1, MSG_PEEK | MSG_DONTWAIT), -1);
    DNSServiceRefDeallocate(query);
}

TEST_F(DnssdNet, ReconfirmRemovesARecordNobodyAnswersAnymore) {
    Events events;
    DNSServiceRef ref = browse(events);
    m_fake.addDevice(amplifier());
    ASSERT_TRUE(pump(ref, [&] { return !events.list.empty(); }));
    std::this_thread::sleep_for(1500ms);  // past the announcements
    m_fake.setSilent("_vireo-arc._udp.local", kDNSServiceType_PTR);
    const std::string data = ptrData(kInstance);
    const auto asked = Clock::now();
    ASSERT_EQ(DNSServiceReconfirmRecord(0, m_ifindex, "_vireo-arc._udp.local.", kDNSServiceType_PTR,
                                        kDNSServiceClass_IN, uint16_t(data.size()), data.data()),
              0);
    ASSERT_TRUE(pump(
        ref, [&] { return countWith(events, 0) == 1; }, 4s));
    EXPECT_EQ(events.list.back().name, kInstance);
    EXPECT_LE(events.list.back().when - asked, 2500ms);
    DNSServiceRefDeallocate(ref);
}

TEST_F(DnssdNet, ReconfirmingALiveRecordOftenSendsOnlyAFewQueries) {
    Events events;
    DNSServiceRef ref = browse(events);
    m_fake.addDevice(amplifier());
    ASSERT_TRUE(pump(ref, [&] { return !events.list.empty(); }));
    std::this_thread::sleep_for(1500ms);
    const std::string data = ptrData(kInstance);
    const size_t before = m_fake.queriesFor("_vireo-arc._udp.local", kDNSServiceType_PTR);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(
            DNSServiceReconfirmRecord(0, m_ifindex, "_vireo-arc._udp.local.", kDNSServiceType_PTR,
                                      kDNSServiceClass_IN, uint16_t(data.size()), data.data()),
            0);
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_FALSE(pump(
        ref, [&] { return countWith(events, 0) > 0; }, 2s));
    const size_t sent = m_fake.queriesFor("_vireo-arc._udp.local", kDNSServiceType_PTR) - before;
    EXPECT_GE(sent, 1u);
    EXPECT_LE(sent, 3u);
    DNSServiceRefDeallocate(ref);
}

TEST_F(DnssdNet, DeallocatingInsideItsOwnCallbackStopsFurtherCallbacks) {
    m_fake.addDevice(amplifier("amp-1", "Amp One"));
    m_fake.addDevice(amplifier("amp-2", "Amp Two"));
    Events events;
    DNSServiceRef ref = browse(events);
    events.on_event = [](DNSServiceRef self) { DNSServiceRefDeallocate(self); };
    ASSERT_TRUE(readable(ref, 3000));
    std::this_thread::sleep_for(300ms);  // both devices queued
    EXPECT_EQ(DNSServiceProcessResult(ref), 0);
    ASSERT_EQ(events.list.size(), 1u);
    EXPECT_NE(events.list[0].flags & kDNSServiceFlagsMoreComing, 0u);
}

size_t openDescriptors() {
    size_t count = 0;
    DIR* fds = ::opendir("/proc/self/fd");
    while (fds && ::readdir(fds)) {
        ++count;
    }
    if (fds) {
        ::closedir(fds);
    }
    return count;
}

TEST_F(DnssdNet, ManyReferencesEndWhileTheEngineIsBusy) {
    const size_t descriptors = openDescriptors();
    for (int i = 0; i < 20; ++i) {
        m_fake.addDevice(amplifier("amp-" + std::to_string(i), "Amp " + std::to_string(i)));
    }
    std::vector<DNSServiceRef> refs;
    std::vector<Events> events(100);
    for (int i = 0; i < 100; ++i) {
        DNSServiceRef ref = nullptr;
        const std::string instance = "Amp " + std::to_string(i % 20);
        const std::string host = "amp-" + std::to_string(i % 20) + ".local.";
        switch (i % 3) {
            case 0:
                ASSERT_EQ(DNSServiceBrowse(&ref, 0, 0, i % 2 ? kArc : "_vireo-cmc._udp.", "local",
                                           onBrowse, &events[i]),
                          0);
                break;
            case 1:
                ASSERT_EQ(DNSServiceResolve(&ref, 0, 0, instance.c_str(), kArc, "local", onResolve,
                                            &events[i]),
                          0);
                break;
            default:
                ASSERT_EQ(
                    DNSServiceQueryRecord(&ref, 0x500, 0, host.c_str(), 1, 1, onQuery, &events[i]),
                    0);
        }
        refs.push_back(ref);
    }
    std::this_thread::sleep_for(300ms);
    for (int i = 0; i < 50; ++i) {
        if (readable(refs[i])) {
            EXPECT_EQ(DNSServiceProcessResult(refs[i]), 0);
        }
    }
    m_fake.removeDevice("amp-3");
    m_fake.addDevice(amplifier("amp-late", "Amp Late"));
    std::thread other([&] {
        for (int i = 50; i < 100; ++i) {
            DNSServiceRefDeallocate(refs[i]);
        }
    });
    for (int i = 0; i < 50; ++i) {
        DNSServiceRefDeallocate(refs[i]);
    }
    other.join();
    size_t answered = 0;
    for (const Events& e : events) {
        answered += !e.list.empty();
    }
    EXPECT_GT(answered, 0u);
    EXPECT_EQ(openDescriptors(), descriptors);  // every reference and the engine closed theirs
}

TEST_F(DnssdNet, JoinsAnInterfaceThatComesUpLater) {
    Events events;
    DNSServiceRef ref = browse(events);
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(std::system("ip link add late0 type veth peer name late0-p && "
                          "ip addr add 192.0.2.129/25 dev late0 && "
                          "ip link set late0-p up && ip link set late0 up multicast on"),
              0);
    const unsigned late = ::if_nametoindex("late0");
    sim::FakeMdnsResponder other("192.0.2.129");
    ASSERT_TRUE(other.start());
    std::this_thread::sleep_for(300ms);  // the engine has looked again
    other.addDevice(amplifier("amp-late", "Amp Late"));
    ASSERT_TRUE(pump(ref, [&] { return !events.list.empty(); }));
    EXPECT_EQ(events.list[0].ifindex, late);
    EXPECT_EQ(events.list[0].name, "Amp Late");
    DNSServiceRefDeallocate(ref);
}

// Another process holds port 5353 with address (or port) reuse, as a system responder does.
TEST_F(DnssdNet, WorksBesideAnotherHolderOfThePort) {
    for (const int option : {SO_REUSEADDR, SO_REUSEPORT}) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            const int on = 1;
            sockaddr_in local{};
            local.sin_family = AF_INET;
            local.sin_port = htons(5353);
            const bool bound = ::setsockopt(fd, SOL_SOCKET, option, &on, sizeof on) == 0 &&
                               ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
            const char byte = bound ? 1 : 0;
            (void)!::write(ready[1], &byte, 1);
            ::pause();
            ::_exit(0);
        }
        char bound = 0;
        ASSERT_EQ(::read(ready[0], &bound, 1), 1);
        ::close(ready[0]);
        ::close(ready[1]);
        EXPECT_EQ(bound, 1);

        Events events;
        DNSServiceRef ref = browse(events);
        ASSERT_NE(ref, nullptr) << option;
        const std::string host = "amp-" + std::to_string(option);
        m_fake.addDevice(amplifier(host, "Amp " + std::to_string(option)));
        EXPECT_TRUE(pump(ref, [&] { return !events.list.empty(); })) << option;
        DNSServiceRefDeallocate(ref);
        m_fake.removeDevice(host);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
}

}  // namespace
