// The update utility's controller on its SDK drivers with nothing answering: its handlers
// driven directly.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <memory>
#include <ostream>
#include <string>

#include "BrowserModel.h"
#include "CategoryLog.h"
#include "FakePrompts.h"
#include "TestImages.h"
#include "updater/VireoDevice.h"
#include "updater/VireoDevices.h"
#include "updater/VireoThreads.h"

namespace {

using kolvo::VireoDevice;

kolvo::VireoThreadsTiming quietTiming() {
    kolvo::VireoThreadsTiming timing;
    timing.first_refresh_ms = -1;
    timing.refresh_pause_ms = 0;
    timing.first_tick_ms = 60000;  // the poll stays out of the way
    timing.tick_ms = 60000;
    timing.drivers.conmon.timing.cycle_ms = 10;
    timing.push.end_pause_ms = 10;
    return timing;
}

class UpdaterController : public ::testing::Test {
protected:
    UpdaterController() {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
        m_prompts.answer = [](QDialog&) { return int(QMessageBox::Yes); };
    }

    // A record of the maker's "Solano" module in `state`, at 192.0.2.11.
    VireoDevice* add(const QString& name, int state) {
        auto* device = new VireoDevice;
        device->setName(name);
        devices().appendDevice(device);
        device->setVendorId(QStringLiteral("Corvanti"));
        device->setIpAddress(QHostAddress(QStringLiteral("192.0.2.11")));
        device->setPollState(state);
        return device;
    }

    kolvo::VireoDevices& devices() { return *m_controller.getVireoDevices(); }

    void reply(const QByteArray& text) {
        QHostAddress from(QStringLiteral("192.0.2.11"));
        QByteArray bytes = text;
        m_controller.handleDataGram(from, bytes);
    }

    QTemporaryDir m_dir;
    FakePrompts m_prompts;
    kolvo::VireoThreads m_controller{0, nullptr, m_prompts, quietTiming()};
};

struct ReplyCase {
    int state;
    uint32_t mcu;
    QByteArray text;
    int expected_state;
    uint32_t expected_mcu;
};

void PrintTo(const ReplyCase& c, std::ostream* out) {
    *out << "state " << c.state << ", \"" << c.text.toStdString() << "\"";
}

class DatagramReply : public UpdaterController, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(DatagramReply, SetsTheVersionOrStartsOver) {
    const ReplyCase c = GetParam();
    VireoDevice* device = add(QStringLiteral("A"), c.state);
    device->setMcuVersion(c.mcu);
    device->setTimeoutCount(2);
    reply(c.text);
    EXPECT_EQ(device->getPollState(), c.expected_state);
    EXPECT_EQ(device->getMcuVersion(), c.expected_mcu);
    EXPECT_EQ(device->getTimeoutCount(), c.text.contains("VERSION=") ? 0 : 2);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, DatagramReply,
    ::testing::Values(ReplyCase{2, 0, "ACK VERSION=1.12", 7, 0x1000C},
                      ReplyCase{2, 0, "ACK VERSION=3", 7, 0x30000},
                      // A second reply for an identified device changes nothing.
                      ReplyCase{7, 0x10000, "ACK VERSION=2.10", 7, 0x10000},
                      ReplyCase{8, 0, "ACK VERSION=1.5", 8, 0}, ReplyCase{3, 0, "NACK", 5, 0},
                      ReplyCase{4, 0, "NACK", 4, 0}, ReplyCase{2, 0, "ACK STATUS=1", 2, 0}),
    [](const ::testing::TestParamInfo<ReplyCase>& info) {
        return "case" + std::to_string(info.index);
    });

TEST_F(UpdaterController, OnlySolanoModulesGoOnToTheirProductId) {
    VireoDevice* solano = add(QStringLiteral("S"), VireoDevice::kPollWaiting);
    VireoDevice* other = add(QStringLiteral("O"), VireoDevice::kPollWaiting);
    m_controller.handleVireoInfo(QStringLiteral("S"), QStringLiteral("Solano 2-A"));
    m_controller.handleVireoInfo(QStringLiteral("O"), QStringLiteral("Brooklyn II"));
    EXPECT_EQ(solano->getPollState(), VireoDevice::kPollProductId);
    EXPECT_EQ(other->getPollState(), VireoDevice::kPollNotUpdatable);
    EXPECT_TRUE(other->getIpAddress().isNull());
    // Its turn asks nothing more.
    m_controller.pollSonaventData();
    m_controller.pollSonaventData();
    EXPECT_EQ(other->getPollState(), VireoDevice::kPollNotUpdatable);
}

TEST_F(UpdaterController, ProductIdNeedsEightBytesAVendorAndAWaitingRecord) {
    VireoDevice* good = add(QStringLiteral("G"), VireoDevice::kPollWaiting);
    VireoDevice* short_id = add(QStringLiteral("S"), VireoDevice::kPollWaiting);
    VireoDevice* no_vendor = add(QStringLiteral("N"), VireoDevice::kPollWaiting);
    no_vendor->setVendorId(QString());
    VireoDevice* not_waiting = add(QStringLiteral("W"), VireoDevice::kPollIdentified);
    for (const char* name : {"G", "S", "N", "W"}) {
        m_controller.handleProductId(QString::fromLatin1(name) == "S" ? "1234567" : "10122550007",
                                     QString::fromLatin1(name), 0x00010003, "ZEB", 1, 2, 3);
    }
    EXPECT_EQ(good->getProductId(), QByteArray("10122550007"));
    EXPECT_EQ(good->getPollState(), VireoDevice::kPollMacAddress);
    EXPECT_EQ(good->getCommandPath(), 2);
    EXPECT_EQ(short_id->getPollState(), VireoDevice::kPollNotUpdatable);
    EXPECT_TRUE(no_vendor->getProductId().isEmpty());
    EXPECT_EQ(no_vendor->getPollState(), VireoDevice::kPollWaiting);
    EXPECT_TRUE(not_waiting->getProductId().isEmpty());
    EXPECT_EQ(not_waiting->getPollState(), VireoDevice::kPollIdentified);
}

TEST_F(UpdaterController, DeviceAddedTwiceKeepsOneRecord) {
    BrowserModel browser;
    browser.setDeviceName(QStringLiteral("A"));
    m_controller.addDevice(&browser);
    VireoDevice* first = devices().findDeviceByName(QStringLiteral("A"), nullptr);
    m_controller.addDevice(&browser);
    EXPECT_EQ(devices().getAllDevices().size(), 1);
    EXPECT_EQ(devices().getAllDevices().first(), first);
    browser.setVendorId(QStringLiteral("Corvant"));
    m_controller.updateVendorId(&browser);
    EXPECT_EQ(first->getVendorId(), QStringLiteral("Corvant")) << "kept, not filtered";
}

TEST_F(UpdaterController, RestartsWaitForTheEndOfARun) {
    m_prompts.file_name =
        writeFile(m_dir.filePath(QStringLiteral("fw_test.bin")), testImage(1000, testHeader()));
    m_controller.loadImageFile();
    m_controller.startFirmwareUpdates();  // nothing selected: the run ends at once
    ASSERT_TRUE(m_controller.isUpdateRunning());
    QSignalSpy restarted(&m_controller, &kolvo::VireoThreads::vireoThreadsRefreshed);
    m_controller.refresh();
    m_controller.changeNetwork(5);
    EXPECT_EQ(restarted.count(), 0);
    EXPECT_EQ(m_controller.interfaceIndex(), 5);
    BrowserModel browser;
    browser.setDeviceName(QStringLiteral("late"));
    m_controller.addDevice(&browser);
    EXPECT_TRUE(devices().getAllDevices().isEmpty());

    m_controller.backToMainWindow();
    EXPECT_EQ(restarted.count(), 1);
    EXPECT_FALSE(m_controller.isUpdateRunning());
}

TEST_F(UpdaterController, ThreeUnansweredVersionCommandsInARowGiveUpTheDevice) {
    VireoDevice* device = add(QStringLiteral("A"), VireoDevice::kPollMcuVersion);
    device->setCommandPath(2);
    for (int round = 1; round <= 3; ++round) {
        device->setVireoModel(QStringLiteral("Solano 2-A"));
        device->setPollState(VireoDevice::kPollMcuVersion);
        // Its turn queues "VERSION\r" (the round-robin position is the process's), the next
        // tick's pump sends it.
        for (int tick = 0; tick < 3 && device->getPollState() != VireoDevice::kPollWaiting;
             ++tick) {
            m_controller.pollSonaventData();
        }
        m_controller.pollSonaventData();
        EXPECT_EQ(device->getTimeoutCount(), 2 * round - 1);
        m_controller.udpTimeOut();
        EXPECT_EQ(device->getPollState(),
                  round < 3 ? VireoDevice::kPollStart : VireoDevice::kPollNotUpdatable)
            << round;
        EXPECT_TRUE(device->getVireoModel().isEmpty());
    }
}

TEST_F(UpdaterController, ReplyFromAnUnknownAddressEndsTheWaitAllTheSame) {
    VireoDevice* device = add(QStringLiteral("A"), VireoDevice::kPollWaiting);
    for (int i = 0; i < 2; ++i) {
        m_controller.sendUdpCommand(QStringLiteral("A"), "VERSION\r", device->getIpAddress(),
                                    kolvo::VireoThreads::kCommandPort);
    }
    m_controller.pollSonaventData();
    m_controller.pollSonaventData();
    EXPECT_EQ(device->getTimeoutCount(), 1) << "one command out at a time";
    QHostAddress stranger(QStringLiteral("192.0.2.99"));
    QByteArray bytes("ACK VERSION=1.0");
    m_controller.handleDataGram(stranger, bytes);
    m_controller.pollSonaventData();
    EXPECT_EQ(device->getTimeoutCount(), 2);
    EXPECT_EQ(device->getMcuVersion(), 0u);
}

// 1000 unreadable replies from one address, sent within a second through the command socket,
// give at most two lines (one, unless a 10 s window ends meanwhile).
TEST_F(UpdaterController, AFloodOfBadRepliesGivesAtMostTwoLines) {
    auto log = std::make_unique<CategoryLog>("kolvo.controller");
    QUdpSocket peer;
    ASSERT_TRUE(peer.bind(QHostAddress(QStringLiteral("192.0.2.12")), 0));
    int responses = 0;
    QObject::connect(&m_controller, &kolvo::VireoThreads::commandResponse,
                     [&responses](QHostAddress, QString) { ++responses; });
    for (int i = 0; i < 1000; ++i) {
        peer.writeDatagram("ACK ???", QHostAddress::LocalHost,
                           m_controller.getUdpSocket()->localPort());
        if (i % 50 == 49) {
            QTest::qWait(1);  // the controller reads them before the buffer fills
        }
    }
    const bool all_read = QTest::qWaitFor([&] { return responses == 1000; }, 3000);
    const QStringList logged = CategoryLog::lines();
    log.reset();
    EXPECT_TRUE(all_read) << responses;
    const int lines =
        logged.filter(QStringLiteral("reply from 192.0.2.12: no key and value after ACK")).size();
    EXPECT_GE(lines, 1);
    EXPECT_LE(lines, 2);
    EXPECT_EQ(logged.size(), lines) << logged.join('\n').toStdString();
}

TEST_F(UpdaterController, QueuedCommandWhoseRecordIsGoneIsDropped) {
    VireoDevice* device = add(QStringLiteral("A"), VireoDevice::kPollWaiting);
    m_controller.sendUdpCommand(QStringLiteral("gone"), "VERSION\r", device->getIpAddress(),
                                kolvo::VireoThreads::kCommandPort);
    m_controller.sendUdpCommand(QStringLiteral("A"), "VERSION\r", device->getIpAddress(),
                                kolvo::VireoThreads::kCommandPort);
    m_controller.pollSonaventData();
    m_controller.pollSonaventData();
    EXPECT_EQ(device->getTimeoutCount(), 1);
}

}  // namespace
