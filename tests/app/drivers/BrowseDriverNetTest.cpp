// The browse driver against the fake mDNS responder, inside the test's own network namespace
// with the veths bd0 (192.0.2.1/25, the browsed one) and bd1 (192.0.2.129/25).
#include <gtest/gtest.h>

#include <net/if.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSet>
#include <QTest>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DriverWait.h"
#include "FakeMdnsResponder.h"
#include "FakeMdnsWire.h"
#include "FakeVireoServices.h"
#include "LockedLogEnv.h"
#include "OvaltaVireoBrowse.h"
#include "Timing.h"
#include "platform/aud_env.h"
#include "platform/aud_log.h"

namespace {

using namespace std::chrono_literals;
namespace vireo = sim::vireo;

constexpr uint16_t kPtr = 12;
constexpr uint16_t kSrv = 33;

// One signal of the driver, with what the model held when the slot ran.
struct Report {
    enum Kind { kAdded, kRemoved, kVendorId } kind;
    QString name;
    QString vendor;
    bool own_model;  // the signal carried the driver's model
    bool gui_thread;
};

class BrowseDriverNet : public ::testing::Test {
protected:
    void SetUp() override {
        vireo_dnssd::Timing timing;
        timing.first_query_max = 40ms;
        timing.goodbye_delay = 100ms;
        timing.reconfirm_interval = 100ms;
        timing.reconfirm_wait = 600ms;
        vireo_dnssd::setTiming(timing);
        m_bd0 = int(::if_nametoindex("bd0"));
        ASSERT_NE(m_bd0, 0);
    }

    void TearDown() override { m_driver.reset(); }

    bool logged(const std::string& text) { return m_log.logged(text); }

    // Starts a browse driver on bd0 (or interface) and waits for its start-up.
    void start(BrowseDriverSettings settings = {}, int interface = 0) {
        m_driver =
            std::make_unique<OvaltaVireoBrowse>(interface ? interface : m_bd0, nullptr, settings);
        OvaltaVireoBrowse* driver = m_driver.get();
        auto record = [this, driver](Report::Kind kind, BrowserModel* model) {
            m_reports.push_back({kind, model->deviceName(), model->vendorId(),
                                 model == driver->model(),
                                 QThread::currentThread() == qApp->thread()});
        };
        QObject::connect(driver, &OvaltaVireoBrowse::deviceAdded, &m_receiver,
                         [record](BrowserModel* m) { record(Report::kAdded, m); });
        QObject::connect(driver, &OvaltaVireoBrowse::deviceRemoved, &m_receiver,
                         [record](BrowserModel* m) { record(Report::kRemoved, m); });
        QObject::connect(driver, &OvaltaVireoBrowse::deviceVendorId, &m_receiver,
                         [record](BrowserModel* m) { record(Report::kVendorId, m); });
        driver->setEnvironment(m_log.env());
        driver->start();
    }

    bool startedUp() {
        return waitFor([&] { return m_driver->isStarted(); });
    }

    size_t count(Report::Kind kind, const QString& name) const {
        size_t n = 0;
        for (const Report& report : m_reports) {
            n += report.kind == kind && report.name == name;
        }
        return n;
    }

    // Every report so far carried the driver's model, was handled on the GUI thread and, for
    // the vendor id, read "Corvanti".
    void expectSoundReports() const {
        for (const Report& report : m_reports) {
            EXPECT_TRUE(report.own_model);
            EXPECT_TRUE(report.gui_thread);
            if (report.kind == Report::kVendorId) {
                EXPECT_EQ(report.vendor, "Corvanti") << report.name.toStdString();
            }
        }
    }

    LockedLogEnv m_log;
    int m_bd0 = 0;
    sim::FakeMdnsResponder m_fake0{"192.0.2.1"};
    sim::FakeMdnsResponder m_fake1{"192.0.2.129"};
    QObject m_receiver;
    std::vector<Report> m_reports;
    std::unique_ptr<OvaltaVireoBrowse> m_driver;
};

TEST_F(BrowseDriverNet, AmplifierIsAddedWithItsVendorAndRemovedByItsGoodbye) {
    ASSERT_TRUE(m_fake0.start());
    m_fake0.addDevice(vireo::amplifier("AMP-1", "amp-1", "192.0.2.10"));
    start();
    ASSERT_TRUE(waitFor([&] {
        return count(Report::kAdded, "AMP-1") > 0 && count(Report::kVendorId, "AMP-1") > 0;
    }));
    m_fake0.removeDevice("amp-1");
    ASSERT_TRUE(waitFor([&] { return count(Report::kRemoved, "AMP-1") > 0; }));
    expectSoundReports();
    EXPECT_EQ(m_reports.back().kind, Report::kRemoved);
    for (const Report& report : m_reports) {
        EXPECT_EQ(report.name, "AMP-1");
    }
}

// All ten arrive in one pass of the browse: each report must still name its own device.
TEST_F(BrowseDriverNet, TenDevicesAnnouncedInOneBurstAreEachReportedByName) {
    QSet<QString> names;
    for (int i = 1; i <= 10; ++i) {
        const std::string n = std::to_string(i);
        m_fake0.addDevice(
            vireo::amplifier("AMP-" + n, "amp-" + n, "192.0.2." + std::to_string(10 + i)));
        names.insert(QString::fromStdString("AMP-" + n));
    }
    start();
    ASSERT_TRUE(startedUp());
    ASSERT_TRUE(m_fake0.start());
    ASSERT_TRUE(waitFor([&] {
        for (const QString& name : names) {
            if (count(Report::kAdded, name) == 0 || count(Report::kVendorId, name) == 0) {
                return false;
            }
        }
        return true;
    }));
    expectSoundReports();
    for (const Report& report : m_reports) {
        EXPECT_TRUE(names.contains(report.name)) << report.name.toStdString();
    }
}

TEST_F(BrowseDriverNet, ConmonOnlyDeviceGivesItsVendorIdWithoutAnAdd) {
    ASSERT_TRUE(m_fake0.start());
    sim::FakeMdnsDevice conmon;
    conmon.host = "amp-c";
    conmon.address = "192.0.2.12";
    conmon.services = {
        vireo::service(vireo::Row::kConmonDevice, "AMP-C", vireo::conmonTxt(), 8800)};
    m_fake0.addDevice(conmon);
    start();
    ASSERT_TRUE(waitFor([&] { return count(Report::kVendorId, "AMP-C") > 0; }));
    QTest::qWait(300);
    EXPECT_EQ(count(Report::kAdded, "AMP-C"), 0u);
    EXPECT_EQ(count(Report::kRemoved, "AMP-C"), 0u);
    expectSoundReports();
}

// AMP-B is on bd1, not the browsed network; AMP-9 advertises only a channel.
TEST_F(BrowseDriverNet, DeviceOfAnotherNetworkAndAChannelReportNothing) {
    ASSERT_TRUE(m_fake0.start());
    ASSERT_TRUE(m_fake1.start());
    m_fake1.addDevice(vireo::amplifier("AMP-B", "amp-b", "192.0.2.140"));
    sim::FakeMdnsDevice channel;
    channel.host = "amp-9";
    channel.address = "192.0.2.19";
    channel.services = {vireo::channel("Out 1", "AMP-9", 1, true)};
    m_fake0.addDevice(channel);
    m_fake0.addDevice(vireo::amplifier("AMP-1", "amp-1", "192.0.2.10"));
    start();
    ASSERT_TRUE(waitFor([&] {
        const db_browse_device* nine = db_browse_network_find_device(
            db_browse_get_network(m_driver->model()->browse()), "AMP-9");
        return nine && nine->num_channels == 1 && count(Report::kVendorId, "AMP-1") > 0 &&
               logged("Ignoring advertisement AMP-B._vireo-arc._udp.");
    }));
    QTest::qWait(300);
    expectSoundReports();
    for (const Report& report : m_reports) {
        EXPECT_EQ(report.name, "AMP-1");
    }
}

// The resolve of AMP-S gets no SRV record: it ends at its deadline, its PTR record is
// reconfirmed with the responder, and afterwards nothing waits on the browse's sockets.
TEST_F(BrowseDriverNet, SilentResolveEndsAtItsShortTimeOutWithAReconfirmation) {
    ASSERT_TRUE(m_fake0.start());
    sim::FakeMdnsDevice silent;
    silent.host = "amp-s";
    silent.address = "192.0.2.13";
    silent.services = {vireo::service(vireo::Row::kMediaDevice, "AMP-S", vireo::mediaTxt())};
    m_fake0.setSilent("AMP-S._vireo-arc._udp.local", kSrv);
    m_fake0.addDevice(silent);
    BrowseDriverSettings settings;
    settings.resolve_timeout_ms = 1200;
    start(settings);
    ASSERT_TRUE(waitFor([&] { return logged("resolve 'AMP-S' initiated"); }));
    ASSERT_TRUE(waitFor([&] {
        return logged("Resolve _vireo-arc._udp./AMP-S (AMP-S._vireo-arc._udp.local.) timed out");
    }));
    const auto timed_out = std::chrono::steady_clock::now();
    EXPECT_TRUE(
        logged("reconfirming PTR '_vireo-arc._udp.local.'->'AMP-S._vireo-arc._udp.local.'"));
    QTest::qWait(600);
    // The browse's own queries of the type come 1 s and 3 s after its start; the time-out
    // falls between them.
    const std::string type = sim::mdns::nameKey(sim::mdns::parseName("_vireo-arc._udp.local"));
    size_t reconfirmations = 0;
    for (const sim::FakeMdnsQuery& query : m_fake0.queries()) {
        for (const auto& question : query.questions) {
            reconfirmations +=
                question == std::make_pair(type, kPtr) && query.when > timed_out - 150ms;
        }
    }
    EXPECT_GE(reconfirmations, 1u);

    aud_socket_set sockets{};
    ASSERT_EQ(db_browse_get_sockets(m_driver->model()->browse(), &sockets), AUD_SUCCESS);
    EXPECT_EQ(sockets.count, 7u);  // the six DNS-SD types and SAP: no resolve left
    const aud_time none{0, 0};
    unsigned ready = 1;
    EXPECT_EQ(aud_socket_select(&sockets, nullptr, nullptr, &none, &ready), AUD_SUCCESS);
    EXPECT_EQ(ready, 0u);
    EXPECT_TRUE(m_reports.empty());
}

// Every eleventh cycle reconfirms each known device; cycles last at least cycle_ms + select_ms.
TEST_F(BrowseDriverNet, KnownDevicesAreReconfirmedEveryEleventhCycle) {
    ASSERT_TRUE(m_fake0.start());
    m_fake0.addDevice(vireo::amplifier("AMP-1", "amp-1", "192.0.2.10"));
    BrowseDriverSettings settings;
    settings.timing.cycle_ms = 10;
    start(settings);
    const std::string line =
        "reconfirming PTR '_vireo-arc._udp.local.'->'AMP-1._vireo-arc._udp.local.'";
    ASSERT_TRUE(waitFor([&] { return logged(line); }));
    const size_t before = m_log.count(line);
    QElapsedTimer span;
    span.start();
    QTest::qWait(600);
    const size_t reconfirmed = m_log.count(line) - before;
    const qint64 most = span.elapsed() / (11 * (settings.timing.cycle_ms + 1)) + 1;
    EXPECT_GE(reconfirmed, 1u);
    EXPECT_LE(qint64(reconfirmed), most);
}

TEST_F(BrowseDriverNet, UpdaterBrowseKnowsOnlyTheFirstFiveTypes) {
    ASSERT_TRUE(m_fake0.start());
    m_fake0.addDevice(vireo::amplifier("AMP-1", "amp-1", "192.0.2.10"));
    BrowseDriverSettings settings;
    settings.updater = true;
    start(settings);
    ASSERT_TRUE(startedUp());
    EXPECT_EQ(db_browse_get_types(m_driver->model()->browse()), 0x1fu);
    ASSERT_TRUE(waitFor([&] { return count(Report::kAdded, "AMP-1") > 0; }));
}

// With an interface that does not exist the SAP listener cannot open: no browse, no cycles.
TEST_F(BrowseDriverNet, FailedStartLeavesNoBrowse) {
    start({}, 999);
    QTest::qWait(200);
    EXPECT_FALSE(m_driver->isStarted());
    EXPECT_EQ(m_driver->model()->browse(), nullptr);
    EXPECT_EQ(m_driver->reconfirm_browsing_devices(), -1);
    EXPECT_TRUE(m_driver->isRunning());
}

}  // namespace
