// The controller on its SDK drivers against a whole simulated network (sim::FakeNetwork):
// devices on zeb0's peer (192.0.2.10 up), the controller on zeb0 (192.0.2.1), the conmon
// server and configuration service on 127.0.0.1, inside the test's own network namespace.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include <net/if.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FakeNetwork.h"
#include "FastDriverSettings.h"
#include "HexText.h"
#include "IdentificationPoll.h"
#include "Timing.h"
#include "VireoDevice.h"
#include "VireoThreads.h"

namespace {

using namespace std::chrono_literals;
namespace wire = sim::conmonwire;

constexpr uint16_t kSendMessage = 0x400;

VireoThreadsTiming fastTiming() {
    VireoThreadsTiming timing;
    timing.tick_ms = 60;
    timing.first_tick_ms = 10;
    timing.reply_ms = 50;
    timing.first_refresh_ms = -1;
    timing.refresh_pause_ms = 0;
    timing.location_wait_ms = 200;
    timing.drivers = fastDriverSettings();
    return timing;
}

class ControllerNetwork : public ::testing::Test {
protected:
    void SetUp() override {
        vireo_dnssd::Timing timing;
        timing.first_query_max = 40ms;
        vireo_dnssd::setTiming(timing);
    }

    void TearDown() override {
        controller.reset();
        network.reset();
    }

    void start(std::vector<sim::FakeNetworkDevice> devices,
               const VireoThreadsTiming& timing = fastTiming()) {
        network = std::make_unique<sim::FakeNetwork>(std::move(devices));
        ASSERT_TRUE(network->start());
        controller =
            std::make_unique<VireoThreads>(int(::if_nametoindex("zeb0")), nullptr, nullptr, timing);
    }

    VireoDevice* record(const QString& name) const {
        return controller->getVireoDevices()->findByName(name, nullptr);
    }

    bool reaches(const QString& name, int state) const {
        return QTest::qWaitFor(
            [&] {
                VireoDevice* device = record(name);
                return device && device->getPollState() == state;
            },
            10000);
    }

    // The bodies of the standard conmon requests the server was sent, per device, each once
    // in the order first sent (a reply slower than the device's turn asks again).
    std::map<std::string, std::vector<std::string>> conmonBodies() const {
        std::map<std::string, std::vector<std::string>> bodies;
        for (const wire::Bytes& datagram : network->conmon().log()) {
            const auto header = wire::readControl(datagram);
            if (!header || header->opcode != kSendMessage) {
                continue;
            }
            const auto message = wire::readChannel(datagram, 52);
            if (!message || message->vendor_id != wire::kStandardVendor) {
                continue;
            }
            std::vector<std::string>& sent = bodies[wire::textAt(datagram, 20, 32)];
            if (std::find(sent.begin(), sent.end(), sim::hexText(message->body)) == sent.end()) {
                sent.push_back(sim::hexText(message->body));
            }
        }
        return bodies;
    }

    // What the record of name holds, as text.
    std::string identity(const QString& name) const {
        const VireoDevice* device = record(name);
        if (!device) {
            return "none";
        }
        return QStringLiteral("%1 state %2 ip %3 mac %4 model %5/%6 pid %7 at %8 mcu %9 path %10")
            .arg(device->getName())
            .arg(device->getPollState())
            .arg(device->getIpAddress().toString(), device->getMacAddress(),
                 device->getVireoModel(), device->getModelName(),
                 QString::fromLatin1(device->getProductId()), device->getLocation())
            .arg(device->getMcuVersion(), 0, 16)
            .arg(device->getControlPath())
            .toStdString();
    }

    // The records as text, for failure messages.
    std::string records() const {
        std::string text;
        for (const VireoDevice* device : controller->getVireoDevices()->getDevices()) {
            text += QStringLiteral("%1 state %2 ip %3 mf %4 model %5 pid %6\n")
                        .arg(device->getName())
                        .arg(device->getPollState())
                        .arg(device->getIpAddress().toString(), device->getManufacturer(),
                             device->getVireoModel(), QString::fromLatin1(device->getProductId()))
                        .toStdString();
        }
        return text + std::to_string(network->conmon().log().size()) + " conmon datagrams, " +
               std::to_string(network->mdns().queries().size()) + " mDNS queries, " +
               std::to_string(network->mdns().answers().size()) + " mDNS answers, " +
               std::to_string(network->routing().log().size()) + " ARCP requests, " +
               std::to_string(network->config().log().size()) + " cmm datagrams";
    }

    std::unique_ptr<sim::FakeNetwork> network;
    std::unique_ptr<VireoThreads> controller;
};

TEST_F(ControllerNetwork, DevicesAreIdentifiedOrIgnoredAsTheyAnswer) {
    std::vector<sim::FakeNetworkDevice> devices;
    for (int n = 1; n <= 3; ++n) {
        devices.push_back(sim::FakeNetwork::amplifier("amp-" + std::to_string(n),
                                                      "192.0.2." + std::to_string(9 + n), n));
    }
    devices.push_back(sim::FakeNetwork::amplifier("amp-lower", "192.0.2.13", 4));
    devices.back().vireo_model = "solano 2-A";
    devices.push_back(sim::FakeNetwork::amplifier("amp-foreign", "192.0.2.14", 5));
    devices.back().manufacturer = "corvanti";
    devices.push_back(sim::FakeNetwork::amplifier("amp-nobit", "192.0.2.15", 6));
    devices.back().capabilities = 0x00000001;
    devices[1].version_minor = 7;
    start(devices);

    for (int n = 1; n <= 3; ++n) {
        const QString name = QStringLiteral("amp-%1").arg(n);
        ASSERT_TRUE(reaches(name, identification::kIdentified)) << records();
        const VireoDevice* amp = record(name);
        EXPECT_EQ(amp->getVireoModel(), QStringLiteral("Solano 2-A"));
        EXPECT_EQ(amp->getModelName(), QStringLiteral("ZEB-4600"));
        EXPECT_EQ(amp->getProductId(), QByteArray("00000012"));
        EXPECT_EQ(amp->getControlPath(), 2);
        EXPECT_EQ(amp->getMacAddress(),
                  QStringLiteral("00:1d:c1:00:00:%1").arg(n, 2, 10, QChar('0')));
        EXPECT_EQ(amp->getLocation(), QStringLiteral("Rack %1").arg(n));
        EXPECT_EQ(amp->getMcuVersion(), n == 2 ? 0x00010007u : 0x00010005u);
        EXPECT_EQ(amp->getIpAddress(), QHostAddress(QStringLiteral("192.0.2.%1").arg(9 + n)));
    }
    ASSERT_TRUE(reaches(QStringLiteral("amp-lower"), identification::kIgnored));
    ASSERT_TRUE(reaches(QStringLiteral("amp-foreign"), identification::kIgnored));
    ASSERT_TRUE(reaches(QStringLiteral("amp-nobit"), identification::kIgnored));
    EXPECT_TRUE(record(QStringLiteral("amp-lower"))->getProductId().isEmpty());
    EXPECT_TRUE(record(QStringLiteral("amp-foreign"))->getProductId().isEmpty());
    EXPECT_EQ(record(QStringLiteral("amp-foreign"))->getManufacturer(), QStringLiteral("corvanti"));
    EXPECT_EQ(record(QStringLiteral("amp-nobit"))->getProductId(), QByteArray("00000012"));

    const std::map<std::string, std::vector<std::string>> bodies = conmonBodies();
    const std::vector<std::string> asked = bodies.at("amp-1");
    EXPECT_EQ(asked, (std::vector<std::string>{"07 1F 00 61 00 0F 42 40", "07 1F 00 C1 00 0F 42 40",
                                               "07 1F 00 13 00 00 00 00 00 00 00 00 00 00 00 00"}));
    for (const char* name : {"amp-lower", "amp-foreign"}) {
        for (const std::string& body :
             bodies.count(name) ? bodies.at(name) : std::vector<std::string>{}) {
            EXPECT_NE(body.substr(0, 11), "07 1F 00 C1") << name << " asked for its product id";
        }
    }

    ASSERT_TRUE(network->device(0).sendStatus("amp 1,0,0"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return record(QStringLiteral("amp-1"))->getAmpStatus1() == 1; }, 3000));
    EXPECT_EQ(record(QStringLiteral("amp-2"))->getAmpStatus1(), 0);
}

TEST_F(ControllerNetwork, AfterTheServicesRestartAnArrivingDeviceIsIdentifiedAndTheOthersStay) {
    std::vector<sim::FakeNetworkDevice> devices;
    for (int n = 1; n <= 3; ++n) {
        devices.push_back(sim::FakeNetwork::amplifier("amp-" + std::to_string(n),
                                                      "192.0.2." + std::to_string(9 + n), n));
    }
    devices[2].present = false;
    // The conmon client's own timings are the product's; the configuration service is
    // watched closely enough for its loss to show within the test.
    VireoThreadsTiming timing = fastTiming();
    timing.drivers.cmm.keepalive_ms = 50;
    timing.drivers.cmm.service_timeout_ms = 250;
    timing.drivers.cmm.reconnect_ms = 50;
    start(devices, timing);
    const QString first = QStringLiteral("amp-1");
    const QString second = QStringLiteral("amp-2");
    ASSERT_TRUE(reaches(first, identification::kIdentified)) << records();
    ASSERT_TRUE(reaches(second, identification::kIdentified)) << records();
    const VireoDevice* const records_before[] = {record(first), record(second)};
    const std::string before[] = {identity(first), identity(second)};
    ASSERT_TRUE(QTest::qWaitFor([&] { return network->config().logOf(0x110).size() == 1; }, 3000));

    network->stopServices();
    ASSERT_TRUE(network->startServices());
    ASSERT_TRUE(network->join(2));
    QElapsedTimer since_return;
    since_return.start();
    const QString third = QStringLiteral("amp-3");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const VireoDevice* device = record(third);
            return device && device->getPollState() == identification::kIdentified;
        },
        15000))
        << records();
    RecordProperty("identified_after_ms", int(since_return.elapsed()));
    EXPECT_EQ(identity(third),
              "amp-3 state 8 ip 192.0.2.12 mac 00:1d:c1:00:00:03 model Solano 2-A/ZEB-4600 pid "
              "00000012 at Rack 3 mcu 10005 path 2");
    EXPECT_EQ(record(first), records_before[0]);
    EXPECT_EQ(record(second), records_before[1]);
    EXPECT_EQ(identity(first), before[0]);
    EXPECT_EQ(identity(second), before[1]);
    // The interface went into the new service's configuration.
    EXPECT_TRUE(QTest::qWaitFor([&] { return network->config().logOf(0x110).size() == 2; }, 3000));
}

}  // namespace
