// Devices opened by name: resolved through DNS-SD against the fake mDNS responder on the veth
// arcp0 (192.0.2.1), or on the multicast-capable loopback interface, then asked over ARCP.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "FakeMdnsResponder.h"
#include "FakeVireoServices.h"
#include "RoutingFixture.h"
#include "Timing.h"

namespace {

using namespace std::chrono_literals;
namespace vireo = sim::vireo;

constexpr uint16_t kA = 1;

// A device whose ARCP service is advertised with txt on host at address.
sim::FakeMdnsDevice advertised(const std::string& name, const std::string& host,
                               const std::string& address, std::vector<std::string> txt,
                               uint16_t port = sim::FakeArcpResponder::kPort) {
    sim::FakeMdnsDevice device;
    device.host = host;
    device.address = address;
    device.services = {vireo::service(vireo::Row::kMediaDevice, name, std::move(txt), port)};
    return device;
}

std::vector<std::string> fullTxt(const std::string& arcp = "2.7.29") {
    return {"arcp_vers=" + arcp, "router_vers=4.1.32", "mf=Corvanti"};
}

class DnsSdPath : public RoutingTest {
protected:
    void SetUp() override {
        vireo_dnssd::Timing timing;
        timing.first_query_max = 40ms;
        vireo_dnssd::setTiming(timing);
        RoutingTest::SetUp();
        ASSERT_TRUE(m_mdns.start());
    }

    dr_device* openByName(const char* name) {
        dr_device* device = nullptr;
        EXPECT_EQ(dr_device_open(m_devices, name, &device), AUD_SUCCESS) << name;
        return track(device);
    }

    bool resolved(dr_device* device) {
        return run([&] { return dr_device_get_state(device) == DR_DEVICE_STATE_RESOLVED; });
    }

    sim::FakeMdnsResponder m_mdns{"192.0.2.1"};
};

TEST_F(DnsSdPath, DevicesOpenedByNameBecomeActiveAtTheirAddresses) {
    const int amp1 = addFake("127.0.0.2", sim::fakeArcpDevice("AMP-1", 2, 2));
    const int amp2 = addFake("127.0.0.3", sim::fakeArcpDevice("AMP-2", 2, 2));
    m_mdns.addDevice(advertised("AMP-1", "amp-1", "127.0.0.2", fullTxt()));
    m_mdns.addDevice(advertised("AMP-2", "amp-2", "127.0.0.3", fullTxt()));
    dr_device* a = openByName("AMP-1");
    dr_device* b = openByName("AMP-2");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(dr_device_get_state(a), DR_DEVICE_STATE_RESOLVING);
    dr_request_id request = nullptr;
    EXPECT_EQ(dr_device_query_capabilities(a, onDone, &request), AUD_ERR_INVALIDSTATE);
    uint32_t address = 0;
    uint16_t port = 0;
    EXPECT_EQ(dr_device_get_address(a, &address, &port), AUD_ERR_INVALIDSTATE);

    ASSERT_TRUE(resolved(a));
    ASSERT_TRUE(resolved(b));
    EXPECT_TRUE(m_changes[a] & DR_DEVICE_CHANGE_ADDRESSES);
    EXPECT_TRUE(logged("Querying device AMP-1 using socket"));
    ASSERT_EQ(dr_device_get_address(a, &address, &port), AUD_SUCCESS);
    EXPECT_EQ(address, inet_addr("127.0.0.2"));
    EXPECT_EQ(port, 4440);
    ASSERT_EQ(dr_device_get_address(b, &address, &port), AUD_SUCCESS);
    EXPECT_EQ(address, inet_addr("127.0.0.3"));
    EXPECT_EQ(dr_device_get_arcp_version(a), 0x271D);
    uint8_t major = 0, minor = 0;
    uint16_t patch = 0;
    dr_device_get_router_version(a, &major, &minor, &patch);
    EXPECT_EQ(major, 4);
    EXPECT_EQ(minor, 1);
    EXPECT_EQ(patch, 32);

    activate(a);
    activate(b);
    EXPECT_EQ(opcodes(size_t(amp1)),
              (std::vector<uint16_t>{0x1000, 0x1102, 0x1002, 0x2000, 0x3000, 0x2010, 0x2200, 0x3200,
                                     0x1100, 0x3300}));
    std::vector<int> seqnums;
    for (const sim::FakeArcpRequest& sent : m_fake.log()) {
        seqnums.push_back(sent.bytes[4] << 8 | sent.bytes[5]);
    }
    std::sort(seqnums.begin(), seqnums.end());
    for (size_t i = 0; i < seqnums.size(); ++i) {
        ASSERT_EQ(seqnums[i], int(i));
    }

    // AMP-1's second input to AMP-2's first output.
    ASSERT_EQ(dr_rxchannel_subscribe(rx(a, 1), onDone, &request, "AMP-2", "Out 1"), AUD_SUCCESS);
    EXPECT_EQ(await(request), AUD_SUCCESS);
    EXPECT_EQ(m_fake.state(size_t(amp1)).rx[1].sub_device, "AMP-2");
    ASSERT_EQ(update(a, DR_DEVICE_COMPONENT_RXCHANNELS), AUD_SUCCESS);
    EXPECT_STREQ(dr_rxchannel_get_subscription_channel(rx(a, 1)), "Out 1");
    EXPECT_STREQ(dr_rxchannel_get_subscription_device(rx(a, 1)), "AMP-2");
    EXPECT_TRUE(m_fake.requests(size_t(amp2), 0x3010).empty());
}

TEST_F(DnsSdPath, FirstRequestCarriesTheAdvertisedVersion) {
    addFake("127.0.0.2", sim::fakeArcpDevice("AMP-1", 1, 1));
    m_mdns.addDevice(advertised("AMP-1", "amp-1", "127.0.0.2", fullTxt("2.6.1")));
    dr_device* device = openByName("AMP-1");
    ASSERT_TRUE(resolved(device));
    dr_request_id request = nullptr;
    ASSERT_EQ(dr_device_query_capabilities(device, onDone, &request), AUD_SUCCESS);
    ASSERT_TRUE(m_fake.waitForRequests(1, 2s));
    EXPECT_EQ(m_fake.log()[0].bytes,
              (sim::Bytes{0x26, 0x01, 0x00, 0x0A, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00}));
}

TEST_F(DnsSdPath, TxtRecordVersions) {
    struct Case {
        const char* name;
        std::vector<std::string> txt;
        bool resolves;
        uint16_t version;
        bool safe;
        const char* log;
    };
    const Case cases[] = {
        {"V-1",
         {"arcp_vers=3.2.1", "router_vers=4.1.32"},
         true,
         0x3201,
         false,
         "device V-1 has arcp version 3.2.1 (0x3201)"},
        {"V-2",
         {"arcp_vers=2.7.1", "router_vers=0.1.2"},
         false,
         0x2701,
         false,
         "error parsing txt record field 'router_vers'"},
        {"V-3",
         {"router_vers=4.1.32"},
         false,
         10013,
         false,
         "txt record has missing or empty field 'arcp_vers'"},
        {"V-4",
         {"safe", "arcp_vers=2.7.1"},
         true,
         10013,
         true,
         "txt record has 'safe' key, marking as being in safe mode"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string address = "127.0.0." + std::to_string(2 + n);
        const std::string host = "v-" + std::to_string(++n);
        m_mdns.addDevice(advertised(c.name, host, address, c.txt));
        dr_device* device = openByName(c.name);
        ASSERT_TRUE(run([&] { return logged(c.log); })) << c.name;
        if (c.resolves) {
            EXPECT_TRUE(resolved(device)) << c.name;
        } else {
            EXPECT_TRUE(run([&] { return logged("Error processing sockets"); })) << c.name;
            EXPECT_EQ(dr_device_get_state(device), DR_DEVICE_STATE_RESOLVING) << c.name;
        }
        EXPECT_EQ(dr_device_get_arcp_version(device), c.version) << c.name;
        EXPECT_EQ(dr_device_is_safe_mode(device), c.safe) << c.name;
    }
}

TEST_F(DnsSdPath, LoopbackAnswerGivesTheLoopbackAddress) {
    sim::FakeMdnsResponder local("127.0.0.1");
    ASSERT_TRUE(local.start());
    addFake("127.0.0.1", sim::fakeArcpDevice("LOOP-1", 1, 1), 4441);
    local.addDevice(advertised("LOOP-1", "loop-1", "127.0.0.9", fullTxt(), 4441));
    dr_device* device = openByName("LOOP-1");
    ASSERT_TRUE(resolved(device));
    EXPECT_TRUE(logged("dt_dns_sd_process_result finished, resolved an address"));
    EXPECT_FALSE(logged("time to query"));
    EXPECT_EQ(local.queriesFor("loop-1.local", kA), 0u);
    uint32_t address = 0;
    uint16_t port = 0;
    ASSERT_EQ(dr_device_get_address(device, &address, &port), AUD_SUCCESS);
    EXPECT_EQ(address, inet_addr("127.0.0.1"));
    EXPECT_EQ(port, 4441);
    activate(device);
}

}  // namespace
