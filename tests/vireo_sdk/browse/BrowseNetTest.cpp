// The browse against the fake mDNS responder, inside the test's own network namespace with the
// veth interfaces br0 (192.0.2.1/25) and br1 (192.0.2.129/25).
#include <gtest/gtest.h>

#include <net/if.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "BrowseFixture.h"
#include "FakeMdnsResponder.h"
#include "FakeVireoServices.h"
#include "Timing.h"
#include "vireo_dns_sd.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace vireo = sim::vireo;

constexpr uint16_t kPtr = 12;
constexpr uint16_t kSrv = 33;
constexpr uint16_t kTxt = 16;

struct Report {
    int kind;
    int code;
    std::string name;
};

class BrowseNet : public ::testing::Test {
protected:
    void SetUp() override {
        vireo_dnssd::Timing timing;
        timing.first_query_max = 40ms;
        timing.goodbye_delay = 100ms;
        timing.reconfirm_interval = 100ms;
        timing.reconfirm_wait = 600ms;
        timing.reconfirm_holdoff = 0ms;
        vireo_dnssd::setTiming(timing);
        m_br0 = ::if_nametoindex("br0");
        m_br1 = ::if_nametoindex("br1");
        ASSERT_NE(m_br0, 0u);
        ASSERT_NE(m_br1, 0u);
        ASSERT_TRUE(m_fake0.start());
        ASSERT_TRUE(m_fake1.start());
    }

    void TearDown() override { db_browse_delete(m_browse); }

    static void onNode(db_browse* browse, const db_browse_node_change* change, int code) {
        auto* self = static_cast<BrowseNet*>(db_browse_get_context(browse));
        std::string name;
        if (change->kind == DB_BROWSE_NODE_DEVICE) {
            name = static_cast<db_browse_device*>(change->node)->name;
        } else if (change->kind == DB_BROWSE_NODE_CHANNEL) {
            name = static_cast<db_browse_channel*>(change->node)->default_name;
        }
        self->m_reports.push_back({change->kind, code, name});
    }

    // A running browse of types on br0 (with the localhost network).
    void start(uint32_t types, int64_t timeout_ms = 30000, unsigned max_sockets = 0) {
        ASSERT_EQ(db_browse_new(m_log.env(), types, &m_browse), AUD_SUCCESS);
        if (max_sockets) {
            ASSERT_EQ(db_browse_set_max_sockets(m_browse, max_sockets), AUD_SUCCESS);
        }
        db_browse_set_context(m_browse, this);
        db_browse_set_node_changed_callback(m_browse, onNode);
        db_browse_config config;
        db_browse_config_init(&config);
        config.interface_indexes[0] = m_br0;
        config.timeout_seconds = timeout_ms / 1000;
        config.timeout_microseconds = int32_t(timeout_ms % 1000 * 1000);
        ASSERT_EQ(db_browse_start_config(m_browse, &config), AUD_SUCCESS);
    }

    bool run(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
        return runPasses(m_browse, done, timeout, [&](const aud_socket_set& set) {
            m_most_sockets = std::max(m_most_sockets, set.count);
        });
    }

    db_browse_device* device(const char* name) {
        return db_browse_network_find_device(db_browse_get_network(m_browse), name);
    }

    bool reported(int kind, int code, const std::string& name) const {
        for (const Report& r : m_reports) {
            if (r.kind == kind && r.code == code && r.name == name) {
                return true;
            }
        }
        return false;
    }

    LoggedEnv m_log;
    sim::FakeMdnsResponder m_fake0{"192.0.2.1"};
    sim::FakeMdnsResponder m_fake1{"192.0.2.129"};
    unsigned m_br0 = 0;
    unsigned m_br1 = 0;
    db_browse* m_browse = nullptr;
    std::vector<Report> m_reports;
    unsigned m_most_sockets = 0;
};

TEST_F(BrowseNet, DeviceAppearsWithItsTxtDataAndGoesWithItsGoodbye) {
    start(DB_BROWSE_TYPE_MEDIA_DEVICE | DB_BROWSE_TYPE_CONMON_DEVICE);
    EXPECT_TRUE(m_log.logged("Started browsing for type media device (_vireo-arc._udp.) using"));
    m_fake0.addDevice(vireo::amplifier("AMP-1", "amp-1", "192.0.2.10"));
    ASSERT_TRUE(run([&] { return device("AMP-1") && device("AMP-1")->flags.flags == 0x05; }));
    const db_browse_device* amp = device("AMP-1");
    EXPECT_EQ(amp->flags.network[DB_BROWSE_NETWORK_PRIMARY], 0x05u);
    EXPECT_STREQ(amp->host, "amp-1");
    EXPECT_EQ(amp->media.arcp_vers.major, 2);
    EXPECT_EQ(amp->media.arcp_vers.minor, 7);
    EXPECT_EQ(amp->media.router_vers.build, 32);
    EXPECT_STREQ(amp->media.router_info, "Solano");
    EXPECT_EQ(0, memcmp(amp->media.manufacturer_id, "Corvanti", 8));
    const uint8_t model[8] = {0, 0, 0, 0, 0, 0x0a, 0x1b, 0x2c};
    EXPECT_EQ(0, memcmp(amp->media.model_id, model, 8));
    const uint8_t id[8] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    EXPECT_EQ(0, memcmp(amp->conmon.instance_id.device_id, id, 8));
    EXPECT_EQ(amp->conmon.instance_id.process_id, 3);
    EXPECT_EQ(0, memcmp(db_browse_device_get_manufacturer_id(amp), "Corvanti", 8));
    EXPECT_TRUE(reported(DB_BROWSE_NODE_DEVICE, DB_BROWSE_NODE_ADDED, "AMP-1"));

    m_reports.clear();
    m_fake0.removeDevice("amp-1");
    ASSERT_TRUE(run([&] { return device("AMP-1") == nullptr; }));
    EXPECT_TRUE(reported(DB_BROWSE_NODE_DEVICE, DB_BROWSE_NODE_REMOVED, "AMP-1"));
    EXPECT_TRUE(m_log.logged("Removing conmon device \"AMP-1\" from network 0"));
}

// A responder may spell the service types and the domain in any case.
TEST_F(BrowseNet, DeviceWhoseResponderSpellsTheTypesInOtherCaseIsListed) {
    start(DB_BROWSE_TYPE_MEDIA_DEVICE | DB_BROWSE_TYPE_CONMON_DEVICE);
    sim::FakeMdnsDevice amp = vireo::amplifier("AMP-1", "amp-1", "192.0.2.10");
    amp.services[0].type = "_Vireo-Arc._Udp";
    amp.services[1].type = "_VIREO-CMC._UDP";
    for (sim::FakeMdnsService& service : amp.services) {
        service.domain = "Local";
    }
    m_fake0.addDevice(amp);
    ASSERT_TRUE(run([&] { return device("AMP-1") && device("AMP-1")->flags.flags == 0x05; }));
    EXPECT_FALSE(m_log.logged("unknown service type"));
}

// (A channel name of 64 characters cannot travel as one DNS label: the unit tests hand it to
// the browse reply directly.)
TEST_F(BrowseNet, LongNamesAndChannelsWithoutAtAreRefused) {
    start(DB_BROWSE_TYPE_MEDIA_DEVICE | DB_BROWSE_TYPE_MEDIA_CHANNEL);
    const std::string long_device(32, 'D');
    const std::string long_channel = std::string(40, 'c') + "@" + std::string(22, 'd');
    sim::FakeMdnsDevice amp;
    amp.host = "amp-1";
    amp.address = "192.0.2.10";
    amp.services = {vireo::service(vireo::Row::kMediaDevice, long_device, vireo::mediaTxt()),
                    vireo::service(vireo::Row::kMediaDevice, "AMP-1", vireo::mediaTxt()),
                    vireo::channel(std::string(40, 'c'), std::string(22, 'd'), 9, true),
                    vireo::service(vireo::Row::kMediaChannel, "NoAt",
                                   {"id=1", "rate=48000", "enc=24", "default"}),
                    vireo::channel("Out 1", "AMP-1", 1, true)};
    m_fake0.addDevice(amp);
    ASSERT_TRUE(run([&] {
        return device("AMP-1") && device("AMP-1")->num_channels == 1 &&
               m_log.logged("no '@' in name \"NoAt\"") &&
               m_log.logged("failed to add network channel \"" + long_channel);
    }));
    EXPECT_TRUE(m_log.logged("Ignoring invalid name \"" + long_device +
                             "\" for service type _vireo-arc._udp."));
    EXPECT_EQ(db_browse_network_num_devices(db_browse_get_network(m_browse)), 1u);
    EXPECT_TRUE(reported(DB_BROWSE_NODE_CHANNEL, DB_BROWSE_NODE_ADDED, "Out 1"));
}

TEST_F(BrowseNet, TwelfthResolveWaitsForAFreePlace) {
    start(DB_BROWSE_TYPE_MEDIA_DEVICE, 1000, 1 + 11);
    for (int i = 1; i <= 11; ++i) {
        const std::string name = "MUTE-" + std::to_string(i);
        const std::string instance = name + "._vireo-arc._udp.local";
        m_fake0.setSilent(instance, kSrv);
        m_fake0.setSilent(instance, kTxt);
        sim::FakeMdnsDevice mute;
        mute.host = "mute-" + std::to_string(i);
        mute.address = "192.0.2." + std::to_string(20 + i);
        mute.services = {vireo::service(vireo::Row::kMediaDevice, name, vireo::mediaTxt())};
        m_fake0.addDevice(mute);
    }
    ASSERT_TRUE(run([&] { return m_log.count("resolve 'MUTE-") == 11; }));
    sim::FakeMdnsDevice amp;
    amp.host = "amp-12";
    amp.address = "192.0.2.12";
    amp.services = {vireo::service(vireo::Row::kMediaDevice, "AMP-12", vireo::mediaTxt())};
    m_fake0.addDevice(amp);
    ASSERT_TRUE(run([&] { return device("AMP-12") != nullptr; }));
    EXPECT_EQ(m_most_sockets, 12u);
    // It started only once one of the eleven had ended at its deadline.
    size_t first_timeout = 0;
    size_t started = 0;
    const auto& lines = m_log.lines();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!first_timeout && lines[i].find("timed out") != std::string::npos) {
            first_timeout = i;
        }
        if (lines[i].find("resolve 'AMP-12' initiated") != std::string::npos) {
            started = i;
        }
    }
    EXPECT_GT(first_timeout, 0u);
    EXPECT_GT(started, first_timeout);
}

void onTestBrowse(DNSServiceRef, DNSServiceFlags flags, uint32_t interface_index,
                  DNSServiceErrorType, const char* name, const char*, const char*, void* context) {
    auto* lost = static_cast<std::vector<std::pair<std::string, uint32_t>>*>(context);
    if (!(flags & kDNSServiceFlagsAdd)) {
        lost->emplace_back(name, interface_index);
    }
}

// AMP-1 answers its resolve only on br1; on br0, its network, the resolve runs into its
// deadline and its PTR record is reconfirmed with the record's data: with br0's responder
// silent, that one record goes, and AMP-2's (same name, other data) stays.
TEST_F(BrowseNet, ResolveAnsweredElsewhereEndsAtItsDeadlineWithReconfirmation) {
    sim::FakeMdnsDevice on_br0;
    on_br0.host = "amp-1";
    on_br0.address = "192.0.2.10";
    on_br0.services = {vireo::service(vireo::Row::kMediaDevice, "AMP-1", vireo::mediaTxt())};
    m_fake0.setSilent("AMP-1._vireo-arc._udp.local", kSrv);
    m_fake0.setSilent("AMP-1._vireo-arc._udp.local", kTxt);
    m_fake0.addDevice(on_br0);
    m_fake0.addDevice(vireo::amplifier("AMP-2", "amp-2", "192.0.2.11"));
    sim::FakeMdnsDevice on_br1 = on_br0;
    on_br1.address = "192.0.2.140";
    m_fake1.addDevice(on_br1);

    std::vector<std::pair<std::string, uint32_t>> lost;
    DNSServiceRef watch = nullptr;
    ASSERT_EQ(DNSServiceBrowse(&watch, 0, 0, "_vireo-arc._udp.", "local", onTestBrowse, &lost), 0);

    const auto started = Clock::now();
    start(DB_BROWSE_TYPE_MEDIA_DEVICE, 1500);
    ASSERT_TRUE(run([&] { return device("AMP-2") != nullptr; }));
    m_fake0.setSilent("_vireo-arc._udp.local", kPtr);
    ASSERT_TRUE(run([&] { return m_log.logged("timed out"); }, 4s));
    EXPECT_GE(Clock::now() - started, 1500ms);
    EXPECT_EQ(device("AMP-1"), nullptr);
    // Its advertisement on br1 (flags 0x2, with 0x1 when more results follow) is no network's.
    const std::string ignored = "Ignoring advertisement AMP-1._vireo-arc._udp..local. flags=";
    const std::string where = " on invalid interface index " + std::to_string(m_br1);
    EXPECT_TRUE(std::any_of(m_log.lines().begin(), m_log.lines().end(), [&](const std::string& l) {
        return l.find(ignored) != std::string::npos && l.find(where) != std::string::npos;
    }));
    EXPECT_TRUE(
        m_log.logged("Resolve _vireo-arc._udp./AMP-1 (AMP-1._vireo-arc._udp.local.) "
                     "timed out, removing and reconfirming"));
    EXPECT_TRUE(
        m_log.logged("reconfirming PTR '_vireo-arc._udp.local.'->'AMP-1._vireo-arc._udp.local.'"));

    const auto gone = [&] {
        for (const auto& item : lost) {
            if (item.first == "AMP-1" && item.second == m_br0) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(run([&] {
        if (DNSServiceRefSockFD(watch) >= 0) {
            aud_socket_set set{};
            aud_socket_set_add(&set, DNSServiceRefSockFD(watch));
            const aud_time none = {0, 0};
            unsigned ready = 0;
            aud_socket_select(&set, nullptr, nullptr, &none, &ready);
            if (ready) {
                DNSServiceProcessResult(watch);
            }
        }
        return gone();
    }));
    for (const auto& item : lost) {
        EXPECT_NE(item.first, "AMP-2");
    }
    EXPECT_NE(device("AMP-2"), nullptr);
    DNSServiceRefDeallocate(watch);
}

// The reconfirmation the application asks for: a device whose responder went silent goes.
TEST_F(BrowseNet, ReconfirmingASilentDeviceRemovesIt) {
    start(DB_BROWSE_TYPE_MEDIA_DEVICE | DB_BROWSE_TYPE_CONMON_DEVICE);
    m_fake0.addDevice(vireo::amplifier("AMP-1", "amp-1", "192.0.2.10"));
    ASSERT_TRUE(run([&] { return device("AMP-1") && device("AMP-1")->flags.flags == 0x05; }));
    m_fake0.setAllSilent(true);
    m_reports.clear();
    EXPECT_EQ(db_browse_device_reconfirm(device("AMP-1"), 0, 0), AUD_SUCCESS);
    EXPECT_TRUE(
        m_log.logged("reconfirming PTR '_vireo-cmc._udp.local.'->'AMP-1._vireo-cmc._udp.local.'"));
    ASSERT_TRUE(run([&] { return device("AMP-1") == nullptr; }));
    EXPECT_TRUE(reported(DB_BROWSE_NODE_DEVICE, DB_BROWSE_NODE_REMOVED, "AMP-1"));
}

TEST_F(BrowseNet, ViaAndModeServices) {
    start(DB_BROWSE_TYPE_SAFE_MODE | DB_BROWSE_TYPE_UPGRADE_MODE | DB_BROWSE_TYPE_VIA_DEVICE);
    sim::FakeMdnsDevice amp;
    amp.host = "amp-1";
    amp.address = "192.0.2.10";
    amp.services = {vireo::service(vireo::Row::kVia, "AMP-1", vireo::viaTxt(), 9090),
                    vireo::service(vireo::Row::kSafeMode, "AMP-1",
                                   {"safe=1", "id=0011223344556677", "process=2"}),
                    vireo::service(vireo::Row::kUpgradeMode, "AMP-1",
                                   {"upgr=3", "id=0011223344556677", "process=2"})};
    m_fake0.addDevice(amp);
    ASSERT_TRUE(run([&] { return device("AMP-1") && device("AMP-1")->flags.flags == 0x38; }));
    EXPECT_EQ(device("AMP-1")->via.port, 9090);
    EXPECT_EQ(device("AMP-1")->via.vers_curr.minor, 4);
    EXPECT_EQ(device("AMP-1")->safe.value, 1);
    EXPECT_EQ(device("AMP-1")->upgrade.value, 3);
}

}  // namespace
