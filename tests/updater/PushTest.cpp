#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

#include "FakeDevice.h"
#include "PushLog.h"
#include "RunFixture.h"
#include "StandIn.h"
#include "TestImages.h"
#include "updater/VireoTftp.h"

namespace {

using kolvo::VireoDevice;
using kolvo::VireoTftp;

const QString kContinueBox = QStringLiteral(
    "An error has occured during the update process.\nWill continue with remaining devices.");
const QString kWriteErrorBox = QStringLiteral("An error has occured during the update process.");

size_t countOf(const sim::FakeDevice& fake, const sim::Bytes& bytes) {
    const auto datagrams = seen(fake);
    return size_t(std::count(datagrams.begin(), datagrams.end(), bytes));
}

// Three fake devices, listed in the order C, A, B, and a pusher driven by the stand-in.
class Push : public ::testing::Test {
protected:
    static VireoTftp::Timing shortTiming() {
        VireoTftp::Timing timing;
        timing.command_pause_ms = 100;
        timing.ack_timeout_ms = 1000;  // long: a loaded machine must not resend by mistake
        timing.resend_pause_ms = 10;
        timing.end_pause_ms = 10;
        timing.refresh_interval_ms = 0;
        return timing;
    }

    void SetUp() override {
        for (sim::FakeDevice* fake : {&m_a, &m_b, &m_c}) {
            ASSERT_TRUE(fake->start());
        }
        m_stand.addDevice(QStringLiteral("C"), QStringLiteral("127.0.0.13"));
        m_stand.addDevice(QStringLiteral("A"), QStringLiteral("127.0.0.11"));
        m_stand.addDevice(QStringLiteral("B"), QStringLiteral("127.0.0.12"));
        // Every progress value each device shows, in order.
        for (VireoDevice* device : m_stand.table.getAllDevices()) {
            m_progress[device->getName()] = {device->getProgressValue()};
        }
        QObject::connect(&m_stand.table, &QAbstractItemModel::modelReset, [this] {
            for (VireoDevice* device : m_stand.table.getAllDevices()) {
                auto& values = m_progress[device->getName()];
                if (values.empty() || values.back() != device->getProgressValue()) {
                    values.push_back(device->getProgressValue());
                }
            }
        });
    }

    VireoDevice* device(const char* name) {
        return m_stand.table.findDeviceByName(QString::fromLatin1(name), nullptr);
    }

    // Pushes `image` as "fw_test.bin" to the selected devices; true when the run ended.
    bool push(const QByteArray& image, const VireoTftp::Timing& timing = shortTiming()) {
        makePusher(image, timing);
        QSignalSpy finished(m_pusher.get(), &VireoTftp::finishedUpdates);
        m_pusher->startFirmwareUpdates();
        return finished.count() > 0 || finished.wait(10000);
    }

    void makePusher(const QByteArray& image, const VireoTftp::Timing& timing = shortTiming()) {
        const QString path = writeFile(m_dir.filePath(QStringLiteral("fw_test.bin")), image);
        m_pusher = std::make_unique<VireoTftp>(m_stand, path, image, timing);
    }

    std::vector<QString> boxTexts() const {
        std::vector<QString> texts;
        for (const auto& shown : m_stand.boxes.shown) {
            texts.push_back(shown.text);
        }
        return texts;
    }

    QTemporaryDir m_dir;
    sim::FakeDevice m_a{"127.0.0.11"};
    sim::FakeDevice m_b{"127.0.0.12"};
    sim::FakeDevice m_c{"127.0.0.13"};
    StandIn m_stand;
    std::unique_ptr<VireoTftp> m_pusher;
    std::map<QString, std::vector<int>> m_progress;
};

TEST_F(Push, EachDeviceInArrivalOrderGetsTheImageByteExact) {
    const QByteArray image = testImage(1000, testHeader());
    ASSERT_TRUE(push(image));
    EXPECT_EQ(m_stand.finished, 1);
    EXPECT_TRUE(m_stand.boxes.shown.empty());
    EXPECT_EQ(m_stand.blocks, 3);
    for (sim::FakeDevice* fake : {&m_c, &m_a, &m_b}) {
        EXPECT_EQ(seen(*fake), cleanPush(image));
        EXPECT_EQ(imageOf(*fake), image);
        const auto log = fake->log();
        ASSERT_GE(log.size(), 2u);
        // The pause is 100 ms; a loaded machine may log the command late.
        EXPECT_GE(log[1].when - log[0].when, std::chrono::milliseconds(50));
    }
    EXPECT_LT(m_c.log().back().when, m_a.log().front().when);
    EXPECT_LT(m_a.log().back().when, m_b.log().front().when);
    for (const char* name : {"C", "A", "B"}) {
        EXPECT_EQ(m_progress[QString::fromLatin1(name)], std::vector<int>({-1, 1, 2, 3, 4, 3}))
            << name;
    }
    EXPECT_EQ(m_stand.statuses, std::vector<QString>({
                                    QStringLiteral("Starting Firmware Update for [ C ]."),
                                    QStringLiteral("Starting Firmware Update for [ A ]."),
                                    QStringLiteral("Starting Firmware Update for [ B ]."),
                                }));
}

TEST_F(Push, ImageOfWholeBlocksEndsWithAnEmptyBlock) {
    device("A")->setSelected(false);
    device("B")->setSelected(false);
    const QByteArray image = testImage(512, testHeader());
    ASSERT_TRUE(push(image));
    EXPECT_EQ(seen(m_c), cleanPush(image));
    EXPECT_EQ(seen(m_c).back(), sim::Bytes({0x00, 0x03, 0x00, 0x03}));
    EXPECT_EQ(m_stand.blocks, 2);
    EXPECT_EQ(m_progress[QStringLiteral("C")], std::vector<int>({-1, 1, 2, 3, 2}));
    EXPECT_TRUE(m_a.log().empty());
}

TEST_F(Push, NoSelectedDeviceEndsTheRunWithoutADatagram) {
    for (const char* name : {"A", "B", "C"}) {
        device(name)->setSelected(false);
    }
    ASSERT_TRUE(push(testImage(1000, testHeader())));
    EXPECT_EQ(m_stand.finished, 1);
    for (sim::FakeDevice* fake : {&m_a, &m_b, &m_c}) {
        EXPECT_TRUE(fake->log().empty());
    }
}

// A fails; C before it and B after it are updated.
class PushFaults : public Push {
protected:
    static VireoTftp::Timing quickTimeouts() {
        VireoTftp::Timing timing = shortTiming();
        timing.ack_timeout_ms = 30;
        timing.resend_pause_ms = 5;
        return timing;
    }

    void expectOthersUpdated(const QByteArray& image) {
        EXPECT_EQ(m_stand.finished, 1);
        for (sim::FakeDevice* fake : {&m_c, &m_b}) {
            EXPECT_EQ(imageOf(*fake), image);
            EXPECT_TRUE(fake->firmwareComplete());
        }
        EXPECT_EQ(boxTexts(), std::vector<QString>({kContinueBox}));
    }
};

TEST_F(PushFaults, DeviceRefusingUpdateModeIsAbandonedAfterElevenWriteRequests) {
    m_a.setRefuseUpdateMode(true);
    QString status_at_box;
    m_stand.boxes.answer = [&](QDialog&) {
        status_at_box = m_stand.statuses.back();
        return int(QMessageBox::Ok);
    };
    const QByteArray image = testImage(1000, testHeader());
    ASSERT_TRUE(push(image, quickTimeouts()));
    expectOthersUpdated(image);
    EXPECT_EQ(status_at_box, QStringLiteral("Starting Firmware Update for [ A ]."));
    EXPECT_EQ(countOf(m_a, bytesOf("FWUPDATE\r")), 1u);
    EXPECT_EQ(countOf(m_a, cleanPush(image)[1]), 11u);
    EXPECT_EQ(m_a.log().size(), 12u);
    EXPECT_EQ(device("A")->getProgressValue(), -1);
    EXPECT_EQ(m_stand.boxes.shown[0].title, QStringLiteral("Error updating device"));
}

TEST_F(PushFaults, DeviceClosingMidPushIsAbandonedWithoutAWriteError) {
    // After block 2 the port is closed: every later datagram meets an ICMP refusal.
    m_a.closeAfterBlock(2);
    const QByteArray image = testImage(1000, testHeader());
    ASSERT_TRUE(push(image, quickTimeouts()));
    expectOthersUpdated(image);
    const auto clean = cleanPush(image);
    EXPECT_EQ(seen(m_a), std::vector<sim::Bytes>(clean.begin(), clean.begin() + 4));  // to block 2
    EXPECT_EQ(device("A")->getProgressValue(), 3);  // stays at the last acknowledgement
    EXPECT_FALSE(m_a.firmwareComplete());
}

TEST_F(PushFaults, SelectedDeviceWithoutAddressIsSkipped) {
    device("A")->setIpAddress(QHostAddress());
    const QByteArray image = testImage(1000, testHeader());
    ASSERT_TRUE(push(image));
    expectOthersUpdated(image);
    EXPECT_TRUE(m_a.log().empty());
}

TEST_F(PushFaults, WriteErrorEndsTheRun) {
    // No route leads there in the test's network namespace: sending fails at once.
    device("A")->setIpAddress(QHostAddress(QStringLiteral("192.0.2.77")));
    const QByteArray image = testImage(1000, testHeader());
    ASSERT_TRUE(push(image));
    EXPECT_EQ(m_stand.finished, 1);
    EXPECT_EQ(boxTexts(), std::vector<QString>({kWriteErrorBox}));
    EXPECT_TRUE(m_c.firmwareComplete());
    EXPECT_TRUE(m_b.log().empty());
}

TEST_F(PushFaults, AcknowledgementDuringABoxChangesNothing) {
    m_a.setRefuseUpdateMode(true);
    size_t a_seen_at_box = 0;
    size_t a_seen_after = 0;
    m_stand.boxes.answer = [&](QDialog&) {
        // A late acknowledgement of A's write request, then time for anything it set going.
        a_seen_at_box = m_a.log().size();
        QHostAddress from(QStringLiteral("127.0.0.11"));
        QByteArray ack = QByteArray::fromHex("00040000");
        m_pusher->handleDataGram(from, ack);
        QTest::qWait(100);
        a_seen_after = m_a.log().size();
        return int(QMessageBox::Ok);
    };
    const QByteArray image = testImage(1000, testHeader());
    ASSERT_TRUE(push(image, quickTimeouts()));
    expectOthersUpdated(image);
    EXPECT_EQ(a_seen_after, a_seen_at_box);
    EXPECT_EQ(device("A")->getProgressValue(), -1);
}

TEST_F(PushFaults, AcknowledgementsFromElsewhereAreIgnored) {
    m_a.setRefuseUpdateMode(true);
    device("C")->setSelected(false);
    device("B")->setSelected(false);
    const QByteArray image = testImage(1000, testHeader());
    makePusher(image, quickTimeouts());
    QSignalSpy finished(m_pusher.get(), &VireoTftp::finishedUpdates);
    m_pusher->startFirmwareUpdates();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_a.log().size() >= 2; }, 2000));
    // The right acknowledgement of the write request, from A's address but another port, and
    // from A's port on another address.
    const uint16_t pusher_port = m_a.log()[1].from_port;
    const uint8_t ack[] = {0x00, 0x04, 0x00, 0x00};
    for (const auto& [address, port] :
         {std::pair{"127.0.0.11", 0}, std::pair{"127.0.0.99", 49494}}) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(uint16_t(port));
        ::inet_pton(AF_INET, address, &local.sin_addr);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(pusher_port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::sendto(fd, ack, sizeof ack, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        ::close(fd);
    }
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(countOf(m_a, cleanPush(image)[1]), 11u);
    EXPECT_EQ(m_a.log().size(), 12u);
    EXPECT_EQ(boxTexts(), std::vector<QString>({kContinueBox}));
}

TEST_F(Push, CancelLetsTheCurrentDeviceFinish) {
    QObject::connect(&m_stand.table, &QAbstractItemModel::modelReset, [this] {
        if (device("C")->getProgressValue() == 1) {
            m_pusher->cancelFirmwareUpdates();
        }
    });
    const QByteArray image = testImage(1000, testHeader());
    ASSERT_TRUE(push(image));
    EXPECT_EQ(m_stand.finished, 1);
    EXPECT_EQ(imageOf(m_c), image);
    EXPECT_TRUE(m_a.log().empty());
    EXPECT_TRUE(m_b.log().empty());
}

TEST_F(Push, LostAndDuplicatedAcknowledgementsCostLittle) {
    m_a.setAckLoss(0.2, 0.2, 16);
    m_b.setAckLoss(0.2, 0.2, 17);
    m_c.setAckLoss(0.2, 0.2, 18);
    VireoTftp::Timing timing = shortTiming();
    timing.command_pause_ms = 0;
    timing.ack_timeout_ms = 10;
    timing.resend_pause_ms = 5;
    timing.refresh_interval_ms = 50;
    const QByteArray image = testImage(65536, testHeader());
    ASSERT_TRUE(push(image, timing));
    EXPECT_TRUE(m_stand.boxes.shown.empty());
    const size_t fewest = cleanPush(image).size();
    for (sim::FakeDevice* fake : {&m_a, &m_b, &m_c}) {
        EXPECT_EQ(imageOf(*fake), image);
        EXPECT_LE(fake->log().size(), fewest * 3 / 2);
    }
}

// A device that never answers is sent the write request once at the end of the pause after
// "FWUPDATE", then again after each time-out and the pause before a resend, and is given up
// at the time-out after the last try it may have.
struct ScheduleCase {
    const char* name;
    VireoTftp::Timing timing;
};

VireoTftp::Timing withRetryLimit(int limit) {
    VireoTftp::Timing timing;
    timing.retry_limit = limit;
    return timing;
}

// The product's timings a tenth as long, with its number of tries: given up at 2.5 s.
VireoTftp::Timing tenthOfTheProductTimings() {
    VireoTftp::Timing timing;
    timing.command_pause_ms /= 10;
    timing.ack_timeout_ms /= 10;
    timing.resend_pause_ms /= 10;
    return timing;
}

void PrintTo(const ScheduleCase& c, std::ostream* out) {
    *out << c.name;
}

class PushSchedule : public Push, public ::testing::WithParamInterface<ScheduleCase> {};

TEST_P(PushSchedule, SilentDeviceIsAskedOnScheduleAndGivenUpOnTime) {
    const VireoTftp::Timing& timing = GetParam().timing;
    device("B")->setSelected(false);
    device("C")->setSelected(false);
    m_a.setSilent(true);
    std::chrono::steady_clock::time_point given_up;
    m_stand.boxes.answer = [&](QDialog&) {
        given_up = std::chrono::steady_clock::now();
        return int(QMessageBox::Ok);
    };
    const QByteArray image = testImage(1000, testHeader());
    makePusher(image, timing);
    QSignalSpy finished(m_pusher.get(), &VireoTftp::finishedUpdates);
    m_pusher->startFirmwareUpdates();
    ASSERT_TRUE(finished.wait(30000));

    const auto log = m_a.log();
    ASSERT_EQ(log.size(), size_t(timing.retry_limit) + 2);
    EXPECT_EQ(log[0].bytes, bytesOf("FWUPDATE\r"));
    // Times from "FWUPDATE", in milliseconds.
    const auto since_command = [&](std::chrono::steady_clock::time_point when) {
        return double(std::chrono::duration_cast<std::chrono::microseconds>(when - log[0].when)
                          .count()) /
               1000;
    };
    const int period_ms = timing.ack_timeout_ms + timing.resend_pause_ms;
    for (size_t k = 1; k < log.size(); ++k) {
        EXPECT_EQ(log[k].bytes, cleanPush(image)[1]) << k;
        EXPECT_NEAR(since_command(log[k].when), timing.command_pause_ms + period_ms * double(k - 1),
                    50)
            << "write request " << k;
    }
    EXPECT_EQ(boxTexts(), std::vector<QString>({kContinueBox}));
    EXPECT_NEAR(since_command(given_up),
                timing.command_pause_ms + period_ms * timing.retry_limit + timing.ack_timeout_ms,
                50);
}

INSTANTIATE_TEST_SUITE_P(Timings, PushSchedule,
                         ::testing::Values(
                             // Write requests at 2.0, 4.1 and 6.2 s, given up at 8.2 s.
                             ScheduleCase{"ProductTimingsThreeTries", withRetryLimit(2)},
                             // Eleven write requests, given up at 25.0 s / 10.
                             ScheduleCase{"TenthOfTheProductTimings", tenthOfTheProductTimings()}),
                         [](const ::testing::TestParamInfo<ScheduleCase>& info) {
                             return info.param.name;
                         });

// The run pushes the bytes it checked when the image was loaded.
TEST_F(RunFixture, FileChangedAfterLoadingIsPushedAsLoaded) {
    sim::FakeDevice fake("127.0.0.11");
    ASSERT_TRUE(fake.start());
    const QByteArray image = testImage(1000, testHeader());
    load(image);
    writeFile(m_prompts.file_name, QByteArray(10, 'x'));
    addDevice(QStringLiteral("A"), QStringLiteral("127.0.0.11"))->setSelected(true);
    m_prompts.answer = [](QDialog&) { return int(QMessageBox::Yes); };
    QSignalSpy back(&m_run, &kolvo::UpdateRun::enableBackButton);
    m_run.startFirmwareUpdates();
    ASSERT_TRUE(back.wait(5000));
    EXPECT_EQ(imageOf(fake), image);
    EXPECT_EQ(m_run.imageBlockCount(), 3);
    EXPECT_EQ(m_devices.findDeviceByName(QStringLiteral("A"), nullptr)->getPollState(),
              VireoDevice::kPollStart);
}

}  // namespace
