// The router driver against fake ARCP devices advertised by the fake mDNS responder on the veth
// rt0 (192.0.2.1), inside the test's own network namespace, with shortened timings.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

#include "DriverWait.h"
#include "FakeArcpResponder.h"
#include "FakeMdnsResponder.h"
#include "FakeVireoServices.h"
#include "OvaltaVireoRouter.h"
#include "RouterModel.h"
#include "Timing.h"
#include "VireoDeviceRoute.h"
#include "platform/aud_env.h"

namespace {

using namespace std::chrono_literals;

RouterTiming fastTiming() {
    RouterTiming timing;
    timing.cycle.cycle_ms = 5;
    timing.poll_ms = 20;
    timing.reopen_ms = 300;
    timing.open_sleep_ms = 0;
    timing.update_sleep_ms = 0;
    timing.request_timeout_ms = 250;
    return timing;
}

class RouterTest : public ::testing::Test {
protected:
    void SetUp() override {
        vireo_dnssd::Timing timing;
        timing.first_query_max = 40ms;
        vireo_dnssd::setTiming(timing);
        ASSERT_EQ(aud_env_init(&m_env), AUD_SUCCESS);
        ASSERT_TRUE(m_mdns.start());
        ASSERT_TRUE(m_arcp.start());
        makeRouter(fastTiming());
    }

    void TearDown() override {
        m_router.reset();
        m_arcp.stop();
        m_mdns.stop();
        aud_env_release(m_env);
    }

    // A started router of these timings in place of the fixture's.
    void makeRouter(const RouterTiming& timing) {
        m_router.reset();
        m_signals.clear();
        m_router = std::make_unique<OvaltaVireoRouter>(nullptr, timing);
        m_router->setEnvironment(m_env);
        const auto record = [this](const char* kind) {
            return [this, kind](RouterModel* model) {
                m_signals.append(model->getDeviceName() + QLatin1Char(' ') + QLatin1String(kind));
            };
        };
        QObject::connect(m_router.get(), &OvaltaVireoRouter::deviceNetworkInfo, record("info"));
        QObject::connect(m_router.get(), &OvaltaVireoRouter::txChannelNamesChanged,
                         record("tx names"));
        QObject::connect(m_router.get(), &OvaltaVireoRouter::rxChannelNamesChanged,
                         record("rx names"));
        QObject::connect(m_router.get(), &OvaltaVireoRouter::rxChannelRoutesChanged,
                         record("routes"));
        QObject::connect(m_router.get(), &OvaltaVireoRouter::txChannelSampleRatesChanged,
                         record("tx rates"));
        QObject::connect(m_router.get(), &OvaltaVireoRouter::rxChannelSampleRatesChanged,
                         record("rx rates"));
        m_router->start();
    }

    // Adds count devices AMP-1... at 127.0.0.2 on.
    QStringList addDevices(int count) {
        QStringList names;
        for (int i = 1; i <= count; ++i) {
            const std::string name = "AMP-" + std::to_string(i);
            addDevice(name, "127.0.0." + std::to_string(i + 1), sim::fakeArcpDevice(name, 1, 1));
            names << QString::fromStdString(name);
        }
        return names;
    }

    int activeCount() const {
        int active = 0;
        for (RouterModel* model : m_router->models()) {
            active += dr_device_get_state(model->device()) == DR_DEVICE_STATE_ACTIVE &&
                      !model->getIpAddress().isNull();
        }
        return active;
    }

    // A device advertised on host at address and answering there.
    int addDevice(const std::string& name, const std::string& address, sim::FakeArcpState state) {
        sim::FakeMdnsDevice advertised;
        advertised.host = "host-" + address.substr(address.rfind('.') + 1);
        advertised.address = address;
        advertised.services = {sim::vireo::service(sim::vireo::Row::kMediaDevice, name,
                                                   {"arcp_vers=2.7.29", "router_vers=4.1.32"},
                                                   sim::FakeArcpResponder::kPort)};
        m_mdns.addDevice(advertised);
        return m_arcp.addDevice(address, std::move(state));
    }

    int indexOf(const QString& signal) const { return m_signals.indexOf(signal); }

    size_t requests(int device, uint16_t opcode) const {
        return m_arcp.requests(size_t(device), opcode).size();
    }

    aud_env* m_env = nullptr;
    sim::FakeMdnsResponder m_mdns{"192.0.2.1"};
    sim::FakeArcpResponder m_arcp;
    std::unique_ptr<OvaltaVireoRouter> m_router;
    QStringList m_signals;
};

TEST_F(RouterTest, NetworkInfoComesFirstThenTheNames) {
    addDevice("AMP-1", "127.0.0.2", sim::fakeArcpDevice("AMP-1", 2, 2));
    m_router->openDevice("AMP-1");
    ASSERT_TRUE(waitFor([&] {
        return m_signals.contains("AMP-1 tx names") && m_signals.contains("AMP-1 rx names") &&
               m_signals.contains("AMP-1 tx rates");
    }));
    EXPECT_GE(indexOf("AMP-1 info"), 0);
    EXPECT_LT(indexOf("AMP-1 info"), indexOf("AMP-1 tx names"));
    EXPECT_LT(indexOf("AMP-1 info"), indexOf("AMP-1 rx names"));
    RouterModel* model = m_router->model("AMP-1");
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->getIpAddress(), QHostAddress("127.0.0.2"));
    EXPECT_EQ(model->getTxChannelNames(), (QVector<QString>{"Out 1", "Out 2"}));
    EXPECT_EQ(model->getRxChannelNames(), (QVector<QString>{"In 1", "In 2"}));
    EXPECT_EQ(model->getTxSampleRates(), (QVector<uint32_t>{48000, 48000}));
    ASSERT_EQ(model->getRoutes().size(), 2);
    EXPECT_EQ(model->getRoutes()[1]->getChannelIndex(), 1);
    EXPECT_EQ(model->getRoutes()[1]->getTxDeviceName(), "");
}

TEST_F(RouterTest, SilentDeviceIsReopenedAtEachDeadlineWhileOthersStayCurrent) {
    sim::FakeArcpState amp = sim::fakeArcpDevice("AMP-1", 2, 0);
    const int live = addDevice("AMP-1", "127.0.0.2", amp);
    const int mute = addDevice("MUTE-1", "127.0.0.3", sim::fakeArcpDevice("MUTE-1", 2, 2));
    m_arcp.setSilent(size_t(mute), true);
    m_router->openDevice("AMP-1");
    m_router->openDevice("MUTE-1");
    ASSERT_TRUE(waitFor([&] { return m_signals.contains("AMP-1 tx names"); }));
    RouterModel* silent = m_router->model("MUTE-1");
    ASSERT_NE(silent, nullptr);

    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitFor([&] { return requests(mute, 0x1000) >= 3; }, 3s));
    // One capabilities query per opening, the openings a deadline (300 ms) apart.
    EXPECT_GE(std::chrono::steady_clock::now() - started, 400ms);
    EXPECT_EQ(dr_device_get_state(silent->device()) == DR_DEVICE_STATE_ACTIVE, false);

    amp.tx[1].name = "Renamed";
    m_arcp.setState(size_t(live), amp);
    ASSERT_TRUE(waitFor(
        [&] { return m_router->model("AMP-1")->getTxChannelNames().value(1) == "Renamed"; }));
    EXPECT_EQ(m_signals.count("AMP-1 tx names"), 2);
    EXPECT_FALSE(m_signals.contains("MUTE-1 info"));
}

TEST_F(RouterTest, OpeningWithoutANameAndBadSubscriptionsDoNoHarm) {
    const int fake = addDevice("AMP-1", "127.0.0.2", sim::fakeArcpDevice("AMP-1", 0, 2));
    m_router->openDevice("");
    m_router->rxSubscribe("AMP-1", 0, "AMP-2", "Out 1");  // no such model yet
    m_router->openDevice("AMP-1");
    m_router->rxSubscribe("AMP-1", 0, "AMP-2", "Out 1");  // not ACTIVE yet
    ASSERT_TRUE(waitFor([&] { return m_signals.contains("AMP-1 rx names"); }));
    for (int index : {-1, 2, 1000}) {
        m_router->rxSubscribe("AMP-1", index, "AMP-2", "Out 1");
    }
    m_router->rxSubscribe("AMP-1", 0, "AMP-2", "");
    m_router->rxSubscribe("", 0, "AMP-2", "Out 1");
    m_router->closeDevice("AMP-1");
    m_router->rxSubscribe("AMP-1", 1, "AMP-2", "Out 1");  // closed: its channels are gone
    spin(100ms);
    EXPECT_EQ(requests(fake, 0x3010), 0u);
    EXPECT_EQ(m_router->models().size(), 2);
    EXPECT_EQ(m_router->model("")->device(), nullptr);
    for (const QString& signal : m_signals) {
        EXPECT_TRUE(signal.startsWith("AMP-1 ")) << signal.toStdString();
    }

    m_router->openDevice("AMP-1");
    ASSERT_TRUE(waitFor([&] {
        return dr_device_get_state(m_router->model("AMP-1")->device()) == DR_DEVICE_STATE_ACTIVE;
    }));
    m_router->rxSubscribe("AMP-1", 1, "AMP-2", "Out 1");
    ASSERT_TRUE(waitFor([&] {
        const VireoDeviceRoute* route = m_router->model("AMP-1")->routeOf(1);
        return route && route->getTxChannelName() == "Out 1" && route->getTxDeviceName() == "AMP-2";
    }));
    EXPECT_EQ(requests(fake, 0x3010), 1u);
}

TEST_F(RouterTest, DeviceWithoutReceiveChannelsSendsNoReceiveSignals) {
    addDevice("AMP-1", "127.0.0.2", sim::fakeArcpDevice("AMP-1", 2, 0));
    m_router->openDevice("AMP-1");
    ASSERT_TRUE(waitFor([&] { return m_signals.contains("AMP-1 tx rates"); }));
    spin(100ms);
    EXPECT_FALSE(m_signals.contains("AMP-1 rx names"));
    EXPECT_FALSE(m_signals.contains("AMP-1 routes"));
    EXPECT_FALSE(m_signals.contains("AMP-1 rx rates"));
}

TEST_F(RouterTest, RenamingTheFirstLabelChangesTheTransmitName) {
    sim::FakeArcpState state = sim::fakeArcpDevice("AMP-1", 2, 0);
    state.labels = {{1, 1, "Front"}, {2, 1, "Second"}};
    const int fake = addDevice("AMP-1", "127.0.0.2", state);
    m_router->openDevice("AMP-1");
    ASSERT_TRUE(
        waitFor([&] { return m_router->model("AMP-1")->getTxChannelNames().value(0) == "Front"; }));
    EXPECT_EQ(m_router->model("AMP-1")->getTxChannelNames().value(1), "Out 2");
    state.labels[0].name = "Back";
    m_arcp.setState(size_t(fake), state);
    ASSERT_TRUE(
        waitFor([&] { return m_router->model("AMP-1")->getTxChannelNames().value(0) == "Back"; }));
    EXPECT_EQ(m_signals.count("AMP-1 tx names"), 2);
}

TEST_F(RouterTest, SecondOpenOfAnOpenDeviceDoesNothing) {
    const int fake = addDevice("AMP-1", "127.0.0.2", sim::fakeArcpDevice("AMP-1", 1, 1));
    m_router->openDevice("AMP-1");
    ASSERT_TRUE(waitFor([&] { return m_signals.contains("AMP-1 info"); }));
    dr_device* device = m_router->model("AMP-1")->device();
    m_router->openDevice("AMP-1");
    spin(100ms);
    EXPECT_EQ(m_router->models().size(), 1);
    EXPECT_EQ(m_router->model("AMP-1")->device(), device);
    EXPECT_EQ(requests(fake, 0x1000), 1u);
    EXPECT_EQ(m_signals.count("AMP-1 info"), 1);
}

TEST_F(RouterTest, UpdateStillOutstandingIsNotSentAgain) {
    const int fake = addDevice("AMP-1", "127.0.0.2", sim::fakeArcpDevice("AMP-1", 2, 2));
    sim::FakeArcpFault silence;
    silence.kind = sim::FakeArcpFault::kSilence;
    silence.opcode = 0x2000;
    m_arcp.scriptFaults(size_t(fake), std::vector<sim::FakeArcpFault>(200, silence));
    m_router->openDevice("AMP-1");
    ASSERT_TRUE(waitFor([&] { return m_signals.contains("AMP-1 info"); }));
    spin(600ms);
    // Polls every 20 ms; the unanswered update ends after 250 ms.
    EXPECT_LE(requests(fake, 0x2000), 4u);
    EXPECT_GE(requests(fake, 0x3000), 10u);
    EXPECT_EQ(m_router->model("AMP-1")->getRxChannelNames().value(0), "In 1");
}

TEST_F(RouterTest, ManyDevicesResolvingAtOnceAllBecomeActiveWithoutAReopen) {
    // More devices than the routing context's 16 request slots, and no reopen for a minute.
    RouterTiming timing;
    timing.cycle.cycle_ms = 20;
    timing.reopen_ms = 60000;
    timing.open_sleep_ms = 0;
    timing.update_sleep_ms = 0;
    makeRouter(timing);
    const QStringList names = addDevices(40);
    for (const QString& name : names) {
        m_router->openDevice(name);
    }
    EXPECT_TRUE(waitFor([&] { return activeCount() == 40; }, 10s)) << activeCount() << " active";
    for (int device = 0; device < 40; ++device) {
        EXPECT_EQ(requests(device, 0x1000), 1u) << "device " << device;
    }
}

TEST_F(RouterTest, DevicesOpenedFirstResolveWhileLaterOnesAreOpened) {
    // The product's pause after each open, the opens in one go without the event loop.
    RouterTiming timing;
    timing.cycle.cycle_ms = 20;
    timing.open_sleep_ms = 100;
    timing.update_sleep_ms = 0;
    makeRouter(timing);
    const QStringList names = addDevices(20);
    spin(50ms);
    for (const QString& name : names) {
        m_router->openDevice(name);
    }
    EXPECT_GE(activeCount(), 10);
    EXPECT_TRUE(waitFor([&] { return activeCount() == 20; }));
}

}  // namespace
