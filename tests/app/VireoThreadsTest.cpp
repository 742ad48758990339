#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

#include "CategoryLog.h"
#include "FakeDevice.h"
#include "RecordingDrivers.h"
#include "VireoDevice.h"
#include "VireoThreads.h"
#include "qz_msgs.pb.h"

namespace {

using namespace std::chrono_literals;

const QHostAddress kAddressA(QStringLiteral("192.0.2.10"));
const QHostAddress kAddressB(QStringLiteral("192.0.2.11"));
const QHostAddress kAddressC(QStringLiteral("192.0.2.12"));

// Every line logged on zeb.controller while a test runs.
QStringList& g_log = CategoryLog::lines();

QByteArray bytes(const sim::Bytes& data) {
    return QByteArray(reinterpret_cast<const char*>(data.data()), int(data.size()));
}

// The poll runs ticks longer than the reply time-out, as the product's 300 and 250 ms do.
VireoThreadsTiming fastTiming() {
    VireoThreadsTiming timing;
    timing.tick_ms = 100;
    timing.first_tick_ms = 10;
    timing.reply_ms = 60;
    timing.first_refresh_ms = -1;
    timing.refresh_pause_ms = 0;
    timing.location_wait_ms = 200;
    return timing;
}

// Timing that keeps the poll from running within a test.
VireoThreadsTiming stillTiming() {
    VireoThreadsTiming timing = fastTiming();
    timing.tick_ms = 600000;
    timing.first_tick_ms = 600000;
    timing.reply_ms = 100;
    return timing;
}

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override { m_log = std::make_unique<CategoryLog>("zeb.controller"); }

    void TearDown() override {
        controller.reset();
        m_log.reset();
    }

    void make(const VireoThreadsTiming& timing) {
        auto recording = std::make_unique<RecordingDrivers>();
        drivers = recording.get();
        drivers->profiles[QStringLiteral("amp-a")] = profile();
        drivers->profiles[QStringLiteral("amp-b")] = profile();
        drivers->profiles[QStringLiteral("amp-c")] = profile();
        controller = std::make_unique<VireoThreads>(int(::if_nametoindex("zeb0")), nullptr,
                                                    std::move(recording), timing);
    }

    static RecordingDrivers::Profile profile() {
        RecordingDrivers::Profile profile;
        profile.product.id = QByteArray("1234567890");
        profile.product.model_name = QStringLiteral("ZEB 4-600");
        profile.product.capabilities = identification::kControlProtocolBit;
        return profile;
    }

    // Browse, vendor and router reports of one of the maker's devices.
    void announce(const QString& name, const QHostAddress& address) {
        controller->deviceAdded(name);
        controller->vendorIdReported(name, QStringLiteral("Corvanti"));
        controller->networkInfoReported(name, address);
    }

    VireoDevice* record(const QString& name) const {
        return controller->getVireoDevices()->findByName(name, nullptr);
    }

    bool reaches(const QString& name, int state, int timeout_ms = 3000) const {
        return QTest::qWaitFor(
            [&] {
                VireoDevice* device = record(name);
                return device && device->getPollState() == state;
            },
            timeout_ms);
    }

    static std::unique_ptr<sim::FakeDevice> fakeDevice(const char* address) {
        auto device = std::make_unique<sim::FakeDevice>(address);
        device->setStatusInterface("zeb0");
        qz_msgs::system_t system;
        system.set_location("Rack 3");
        device->setSystem(system);
        device->setVersion(1, 5);
        EXPECT_TRUE(device->start());
        return device;
    }

    static std::vector<sim::LoggedDatagram> textCommands(const sim::FakeDevice& device) {
        std::vector<sim::LoggedDatagram> text;
        for (const sim::LoggedDatagram& datagram : device.log()) {
            if (!datagram.bytes.empty() && datagram.bytes[0] != 0) {
                text.push_back(datagram);
            }
        }
        return text;
    }

    RecordingDrivers* drivers = nullptr;
    std::unique_ptr<CategoryLog> m_log;
    std::unique_ptr<VireoThreads> controller;
};

TEST_F(ControllerTest, IdentifiesADevice) {
    const auto device = fakeDevice("192.0.2.10");
    make(fastTiming());
    announce(QStringLiteral("amp-a"), kAddressA);
    VireoDevice* amp = record(QStringLiteral("amp-a"));
    ASSERT_TRUE(reaches(QStringLiteral("amp-a"), identification::kIdentified));

    amp = record(QStringLiteral("amp-a"));
    EXPECT_EQ(amp->getVireoModel(), QStringLiteral("Solano 2x"));
    EXPECT_EQ(amp->getModelName(), QStringLiteral("ZEB 4-600"));
    EXPECT_EQ(amp->getProductId(), QByteArray("1234567890"));
    EXPECT_EQ(amp->getControlPath(), 2);
    EXPECT_EQ(amp->getMacAddress(), QStringLiteral("00:1d:c1:00:00:0a"));
    EXPECT_EQ(amp->getLocation(), QStringLiteral("Rack 3"));
    EXPECT_EQ(amp->getMcuVersion(), 65541u);
    EXPECT_EQ(amp->getTimeoutCount(), 0);
    EXPECT_EQ(drivers->opened, QStringList{QStringLiteral("amp-a")});

    QList<QByteArray> bodies;
    for (const RecordingDrivers::Request& request : drivers->requests) {
        bodies.append(request.body.toHex(' ').toUpper());
    }
    EXPECT_EQ(bodies, (QList<QByteArray>{"07 1F 00 61 00 0F 42 40", "07 1F 00 C1 00 0F 42 40",
                                         "07 1F 00 13 00 00 00 00 00 00 00 00 00 00 00 00"}));

    const std::vector<sim::LoggedDatagram> log = device->log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(bytes(log[0].bytes).toHex(' ').toUpper(),
              QByteArray("00 06 08 02 10 02 18 01 12 02 4E 41 34 38 84 D6"));
    EXPECT_EQ(bytes(log[1].bytes).toHex(' ').toUpper(), QByteArray("56 45 52 53 49 4F 4E 0D"));
    EXPECT_EQ(log[1].from_port, 6);
}

TEST_F(ControllerTest, RepliesArriveWhenPort6IsHeldElsewhere) {
    const int holder = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(6);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);

    const auto device = fakeDevice("192.0.2.10");
    make(fastTiming());
    EXPECT_EQ(g_log.filter(QStringLiteral("port 6")).size(), 1) << g_log.join('\n').toStdString();
    announce(QStringLiteral("amp-a"), kAddressA);
    EXPECT_TRUE(reaches(QStringLiteral("amp-a"), identification::kIdentified));
    const auto text = textCommands(*device);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.front().from_port, 6);
    ::close(holder);
}

TEST_F(ControllerTest, ThirdUnansweredVersionIgnoresTheDevice) {
    const auto device = fakeDevice("192.0.2.10");
    device->setSilent(true);
    make(fastTiming());
    announce(QStringLiteral("amp-a"), kAddressA);
    record(QStringLiteral("amp-a"))->setLocation(QStringLiteral("Hall"));
    QSignalSpy timeouts(controller.get(), &VireoThreads::DeviceTimeout);
    ASSERT_TRUE(reaches(QStringLiteral("amp-a"), identification::kIgnored, 8000));

    VireoDevice* amp = record(QStringLiteral("amp-a"));
    EXPECT_TRUE(amp->getProductId().isEmpty());
    EXPECT_EQ(timeouts.count(), 3);
    EXPECT_EQ(textCommands(*device).size(), 3u);
    EXPECT_EQ(device->log().size(), 3u);  // no location read: it was known
    // After each time-out the model and product id are asked again, the MAC address never.
    EXPECT_EQ(drivers->asked(QStringLiteral("amp-a"), 0x61), 3);
    EXPECT_EQ(drivers->asked(QStringLiteral("amp-a"), 0xC1), 3);
    EXPECT_EQ(drivers->asked(QStringLiteral("amp-a"), 0x13), 1);
}

TEST_F(ControllerTest, LateReplyLeavesTheNextWaitAlone) {
    make(stillTiming());
    announce(QStringLiteral("amp-a"), kAddressA);
    announce(QStringLiteral("amp-b"), kAddressB);
    QSignalSpy timeouts(controller.get(), &VireoThreads::DeviceTimeout);
    QTimer* reply_timer = controller->findChild<QTimer*>(QStringLiteral("replyTimer"));
    ASSERT_NE(reply_timer, nullptr);

    controller->sendUdpCommand(QStringLiteral("amp-a"), "VERSION\r", kAddressA, 49494);
    controller->pumpUdpCommands();
    ASSERT_TRUE(timeouts.wait(2000));
    controller->sendUdpCommand(QStringLiteral("amp-b"), "VERSION\r", kAddressB, 49494);
    controller->pumpUdpCommands();
    ASSERT_TRUE(reply_timer->isActive());

    QHostAddress late_sender = kAddressA;
    QByteArray late = "ACK VERSION=1.5";
    controller->handleDataGram(late_sender, late);
    EXPECT_EQ(record(QStringLiteral("amp-a"))->getPollState(), identification::kIdentified);
    EXPECT_EQ(record(QStringLiteral("amp-a"))->getMcuVersion(), 65541u);
    EXPECT_TRUE(reply_timer->isActive());

    ASSERT_TRUE(timeouts.wait(2000));
    ASSERT_EQ(timeouts.count(), 2);
    EXPECT_EQ(timeouts.at(1).at(0).toString(), QStringLiteral("amp-b"));
    EXPECT_EQ(record(QStringLiteral("amp-b"))->getTimeoutCount(), 2);
}

TEST_F(ControllerTest, OnePollTimerWhateverSchedulesIt) {
    VireoThreadsTiming timing = fastTiming();
    timing.tick_ms = 50;
    make(timing);
    for (int i = 0; i < 20; ++i) {
        QHostAddress sender = kAddressC;
        QByteArray reply = "ACK VERSION=1.5";
        controller->handleDataGram(sender, reply);
    }
    for (int i = 0; i < 5; ++i) {
        controller->udpTimeOut();
    }
    for (int i = 0; i < 3; ++i) {
        controller->refresh();
    }
    const QList<QTimer*> timers = controller->findChildren<QTimer*>(QStringLiteral("pollTimer"));
    ASSERT_EQ(timers.size(), 1);
    QSignalSpy ticks(timers.front(), &QTimer::timeout);
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(600);
    const qint64 intervals = clock.elapsed() / timing.tick_ms;
    EXPECT_LE(ticks.count(), intervals + 1);
    EXPECT_GE(ticks.count(), intervals / 2);
}

// The poll's ticks over `ms`, counted on its one timer.
int pollTicksOver(VireoThreads& controller, int ms) {
    QSignalSpy ticks(controller.findChild<QTimer*>(QStringLiteral("pollTimer")), &QTimer::timeout);
    QTest::qWait(ms);
    return ticks.count();
}

TEST_F(ControllerTest, PollTicksStayBoundedOverRepliesTimeOutsAndRefreshes) {
    VireoThreadsTiming timing = fastTiming();
    timing.tick_ms = 50;
    make(timing);
    // Three devices that never answer: identification goes on all the time.
    for (const char* name : {"amp-a", "amp-b", "amp-c"}) {
        drivers->profiles[QString::fromLatin1(name)].silent = true;
    }
    drivers->pending = 1;
    announce(QStringLiteral("amp-a"), kAddressA);
    announce(QStringLiteral("amp-b"), kAddressB);
    announce(QStringLiteral("amp-c"), kAddressC);
    const auto flood = [this] {
        for (int i = 0; i < 200; ++i) {
            QHostAddress sender = kAddressC;
            QByteArray reply = "ACK VERSION=1.5";
            controller->handleDataGram(sender, reply);
            controller->conmonTimeOut(QStringLiteral("amp-b"));
        }
        for (int i = 0; i < 50; ++i) {
            controller->udpTimeOut();
        }
    };
    flood();
    // At most 16 chains of one tick per 50 ms, and the ticks missed while flooding.
    EXPECT_LE(pollTicksOver(*controller, 500), 16 * 10 + 16);

    for (int i = 0; i < 5; ++i) {
        controller->refresh();
        flood();
    }
    // After the refreshes the list is empty: nothing to identify, one chain.
    EXPECT_LE(pollTicksOver(*controller, 500), 10 + 2);
}

TEST_F(ControllerTest, OneChainOnceEveryDeviceIsIdentified) {
    const auto a = fakeDevice("192.0.2.10");
    const auto b = fakeDevice("192.0.2.11");
    VireoThreadsTiming timing = fastTiming();
    timing.tick_ms = 50;
    make(timing);
    announce(QStringLiteral("amp-a"), kAddressA);
    announce(QStringLiteral("amp-b"), kAddressB);
    ASSERT_TRUE(reaches(QStringLiteral("amp-a"), identification::kIdentified));
    ASSERT_TRUE(reaches(QStringLiteral("amp-b"), identification::kIdentified));
    for (int i = 0; i < 100; ++i) {
        QHostAddress sender = kAddressA;
        QByteArray reply = "ACK VERSION=1.5";
        controller->handleDataGram(sender, reply);
    }
    QTest::qWait(50);
    EXPECT_LE(pollTicksOver(*controller, 600), 12 + 2);
}

TEST_F(ControllerTest, DevicesTakeTheirTurnsInListOrderWithTheQuestionsInOrder) {
    const QStringList names{QStringLiteral("amp-a"), QStringLiteral("amp-b"),
                            QStringLiteral("amp-c")};
    const QList<QHostAddress> addresses{kAddressA, kAddressB, kAddressC};
    std::vector<std::unique_ptr<sim::FakeDevice>> devices;
    for (const QHostAddress& address : addresses) {
        devices.push_back(fakeDevice(address.toString().toLatin1().constData()));
    }
    make(fastTiming());
    for (int i = 0; i < 3; ++i) {
        announce(names[i], addresses[i]);
    }
    for (const QString& name : names) {
        ASSERT_TRUE(reaches(name, identification::kIdentified, 5000)) << name.toStdString();
    }
    QStringList first_questions;
    QMap<QString, QList<int>> codes;
    for (const RecordingDrivers::Request& request : drivers->requests) {
        const int code = uint8_t(request.body[2]) << 8 | uint8_t(request.body[3]);
        if (code == 0x61) {
            first_questions << request.device;
        }
        codes[request.device] << code;
    }
    // In turn: the first questions go round the list once, from wherever the poll stood.
    ASSERT_EQ(first_questions.size(), 3);
    const int start = names.indexOf(first_questions[0]);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(first_questions[i], names[(start + i) % 3]);
    }
    // Each device: Vireo information, product id, MAC address, then location, then version.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(codes[names[i]], (QList<int>{0x61, 0xC1, 0x13})) << names[i].toStdString();
        const std::vector<sim::LoggedDatagram> log = devices[size_t(i)]->log();
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[0].bytes[0], 0) << "the location read first";
        EXPECT_EQ(bytes(log[1].bytes), QByteArray("VERSION\r"));
    }
}

TEST_F(ControllerTest, NoConmonQuestionUntilTheConmonDriverIsReady) {
    const auto device = fakeDevice("192.0.2.10");
    make(fastTiming());
    drivers->ready = false;
    announce(QStringLiteral("amp-a"), kAddressA);
    QTest::qWait(400);
    EXPECT_TRUE(drivers->requests.empty());
    EXPECT_EQ(record(QStringLiteral("amp-a"))->getPollState(), identification::kStart);
    drivers->ready = true;
    EXPECT_TRUE(reaches(QStringLiteral("amp-a"), identification::kIdentified));
}

TEST_F(ControllerTest, IdentifiedDeviceReReportedByTheRouterAsksNothing) {
    const auto device = fakeDevice("192.0.2.10");
    make(fastTiming());
    announce(QStringLiteral("amp-a"), kAddressA);
    ASSERT_TRUE(reaches(QStringLiteral("amp-a"), identification::kIdentified));
    device->clearLog();
    const size_t requests = drivers->requests.size();

    controller->networkInfoReported(QStringLiteral("amp-a"), kAddressA);
    EXPECT_EQ(record(QStringLiteral("amp-a"))->getPollState(), identification::kStart);
    EXPECT_TRUE(reaches(QStringLiteral("amp-a"), identification::kIdentified));
    QTest::qWait(100);
    EXPECT_TRUE(device->log().empty());
    EXPECT_EQ(drivers->requests.size(), requests);
}

TEST_F(ControllerTest, LocationFromARawPeer) {
    // Answers every datagram with one reply frame carrying the location "Rack 3".
    const int peer = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(49494);
    ::inet_pton(AF_INET, "192.0.2.12", &local.sin_addr);
    ASSERT_EQ(::bind(peer, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    std::atomic<bool> done{false};
    std::thread answer([&] {
        const QByteArray frame =
            QByteArray::fromHex("0008080310021801200112065261636B203390D196AE");
        while (!done) {
            pollfd fd{peer, POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0) {
                continue;
            }
            char buffer[512];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            if (::recvfrom(peer, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                           &length) > 0) {
                ::sendto(peer, frame.constData(), size_t(frame.size()), 0,
                         reinterpret_cast<sockaddr*>(&from), length);
            }
        }
    });
    make(fastTiming());
    announce(QStringLiteral("amp-c"), kAddressC);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return record(QStringLiteral("amp-c"))->getLocation() == QLatin1String("Rack 3"); },
        3000));
    done = true;
    answer.join();
    ::close(peer);
}

TEST_F(ControllerTest, AmplifierStatusReachesTheRecord) {
    const auto device = fakeDevice("192.0.2.10");
    make(stillTiming());
    announce(QStringLiteral("amp-a"), kAddressA);
    VireoDevice* amp = record(QStringLiteral("amp-a"));
    struct Step {
        const char* text;
        int status1, status2, status3;
    };
    for (const Step& step : {Step{"amp 1,0,0", 1, 0, 0}, Step{"x 0,1,0", 0, 1, 0},
                             Step{"amp 0,0,257", 0, 0, 1}, Step{"amp 1,1,1\ramp 0,0,0", 0, 0, 0}}) {
        QSignalSpy changed(controller->getVireoDevices(), &VireoDevices::vireoDevicesChanged);
        ASSERT_TRUE(device->sendStatus(step.text));
        ASSERT_TRUE(changed.wait(2000)) << step.text;
        QTest::qWait(20);
        EXPECT_EQ(amp->getAmpStatus1(), step.status1) << step.text;
        EXPECT_EQ(amp->getAmpStatus2(), step.status2) << step.text;
        EXPECT_EQ(amp->getAmpStatus3(), step.status3) << step.text;
    }
    // The same status again changes nothing and announces nothing.
    QSignalSpy changed(controller->getVireoDevices(), &VireoDevices::vireoDevicesChanged);
    ASSERT_TRUE(device->sendStatus("amp 0,0,0"));
    ASSERT_TRUE(device->sendStatus("amp 0,0,1"));
    ASSERT_TRUE(changed.wait(2000));
    QTest::qWait(50);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(amp->getAmpStatus3(), 1);
}

TEST_F(ControllerTest, BadInputIsLoggedOnceAndChangesNothing) {
    const auto device_a = fakeDevice("192.0.2.10");
    const auto stranger = fakeDevice("192.0.2.11");
    VireoThreadsTiming timing = stillTiming();
    timing.log_window_ms = 0;  // every line of a kind from one sender written
    make(timing);
    announce(QStringLiteral("amp-a"), kAddressA);
    VireoDevice* amp = record(QStringLiteral("amp-a"));
    amp->setPollState(identification::kAsked);
    amp->setTimeoutCount(3);
    amp->setAmpStatus1(1);
    QSignalSpy changed(controller->getVireoDevices(), &VireoDevices::vireoDevicesChanged);
    int responses = 0;
    QObject::connect(controller.get(), &VireoThreads::commandResponse,
                     [&responses](QHostAddress, QString) { ++responses; });
    g_log.clear();

    struct Bad {
        QHostAddress sender;
        QByteArray bytes;
    };
    const Bad replies[] = {{kAddressA, "ACK"},
                           {kAddressA, "ACK ???"},
                           {kAddressA, "ACK VERSION=abc"},
                           {kAddressA, "\xFF\xFE"},
                           {QHostAddress(QStringLiteral("192.0.2.99")), "ACK VERSION=1.5"},
                           {QHostAddress(QStringLiteral("::1")), "ACK VERSION=1.5"}};
    for (const Bad& bad : replies) {
        QHostAddress sender = bad.sender;
        QByteArray bytes = bad.bytes;
        const int before = g_log.size();
        controller->handleDataGram(sender, bytes);
        ASSERT_EQ(g_log.size(), before + 1) << bad.bytes.toStdString();
        EXPECT_TRUE(g_log.last().contains(bad.sender.toString())) << g_log.last().toStdString();
    }
    EXPECT_EQ(responses, 6);

    // An empty datagram on the command socket, then status of the wrong shape and from a
    // sender that is no record.
    QUdpSocket empty;
    ASSERT_TRUE(empty.bind(kAddressA, 0));
    empty.writeDatagram(QByteArray(), QHostAddress::LocalHost,
                        controller->getUdpSocket()->localPort());
    ASSERT_TRUE(device_a->sendStatus("amp  1,0,0"));
    ASSERT_TRUE(device_a->sendStatus("amp 1,0,0 "));
    ASSERT_TRUE(stranger->sendStatus("amp 1,0,0"));
    const int expected = g_log.size() + 4;
    EXPECT_TRUE(QTest::qWaitFor([&] { return g_log.size() >= expected; }, 2000));
    QTest::qWait(50);
    EXPECT_EQ(g_log.size(), expected) << g_log.join('\n').toStdString();
    EXPECT_EQ(g_log.filter(QStringLiteral("192.0.2.10")).size(), 4 + 1 + 2);
    EXPECT_EQ(g_log.filter(QStringLiteral("192.0.2.11")).size(), 1);

    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(amp->getPollState(), identification::kAsked);
    EXPECT_EQ(amp->getTimeoutCount(), 3);
    EXPECT_EQ(amp->getMcuVersion(), 0u);
    EXPECT_EQ(amp->getAmpStatus1(), 1);
}

TEST_F(ControllerTest, StatusWithANewlineGivesOneEscapedLine) {
    const auto device = fakeDevice("192.0.2.10");
    make(stillTiming());
    announce(QStringLiteral("amp-a"), kAddressA);
    g_log.clear();
    ASSERT_TRUE(device->sendStatus("amp 1,0\nzeb.controller: forged \x1B[2J\xC3\xA9\\"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !g_log.isEmpty(); }, 2000));
    QTest::qWait(50);
    ASSERT_EQ(g_log.size(), 1) << g_log.join('|').toStdString();
    EXPECT_EQ(g_log.front(), QStringLiteral("status from 192.0.2.10: 1 malformed line(s), first "
                                            "\"amp 1,0\\x0Azeb.controller: forged "
                                            "\\x1B[2J\\xC3\\xA9\\\\\""));
    EXPECT_EQ(record(QStringLiteral("amp-a"))->getAmpStatus1(), 0);
}

// 1000 bad datagrams of one kind from one sender, sent within a second through the
// controller's sockets, give at most two lines (one, unless a 10 s window ends meanwhile).
TEST_F(ControllerTest, AFloodFromOneSenderGivesAtMostTwoLinesPerKind) {
    const auto device_a = fakeDevice("192.0.2.10");
    const auto stranger = fakeDevice("192.0.2.11");
    make(stillTiming());
    announce(QStringLiteral("amp-a"), kAddressA);
    VireoDevice* amp = record(QStringLiteral("amp-a"));
    QUdpSocket from_a;
    QUdpSocket from_stranger;
    ASSERT_TRUE(from_a.bind(kAddressA, 0));
    ASSERT_TRUE(from_stranger.bind(kAddressB, 0));
    QStringList responses;
    QObject::connect(controller.get(), &VireoThreads::commandResponse,
                     [&responses](QHostAddress, QString text) { responses.append(text); });

    struct Flood {
        sim::FakeDevice* status_sender;  // none: replies from `reply_socket`
        QUdpSocket* reply_socket;
        QByteArray bytes;
        const char* line;
    };
    const Flood floods[] = {
        {device_a.get(), nullptr, "amp 1,0\rx 1", "status from 192.0.2.10: 2 malformed line(s)"},
        {device_a.get(), nullptr, "", "status from 192.0.2.10: empty datagram"},
        {stranger.get(), nullptr, "amp 1,0,0", "status from 192.0.2.11: no device has this"},
        {nullptr, &from_a, "ACK ???", "reply from 192.0.2.10: no key and value after ACK"},
        {nullptr, &from_a, "", "reply from 192.0.2.10: empty datagram"},
        {nullptr, &from_stranger, "ACK VERSION=1.5", "reply from 192.0.2.11: no device has this"},
    };
    for (const Flood& flood : floods) {
        SCOPED_TRACE(flood.line);
        g_log.clear();
        responses.clear();
        amp->setAmpStatus1(0);
        for (int i = 0; i < 1000; ++i) {
            if (flood.status_sender) {
                ASSERT_TRUE(flood.status_sender->sendStatus(flood.bytes.toStdString()));
            } else {
                flood.reply_socket->writeDatagram(flood.bytes, QHostAddress::LocalHost,
                                                  controller->getUdpSocket()->localPort());
            }
            if (i % 50 == 49) {
                QTest::qWait(1);  // the controller reads them before the buffer fills
            }
        }
        // A datagram that changes something comes after the flood from the same road.
        if (flood.status_sender) {
            ASSERT_TRUE(device_a->sendStatus("amp 1,0,0"));
            ASSERT_TRUE(QTest::qWaitFor([&] { return amp->getAmpStatus1() == 1; }, 3000));
        } else {
            flood.reply_socket->writeDatagram("NACK", QHostAddress::LocalHost,
                                              controller->getUdpSocket()->localPort());
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return responses.contains(QStringLiteral("NACK")); }, 3000));
            if (!flood.bytes.isEmpty()) {
                EXPECT_EQ(responses.size(), 1001);  // every one was read
            }
        }
        const int lines = g_log.filter(QLatin1String(flood.line)).size();
        EXPECT_GE(lines, 1);
        EXPECT_LE(lines, 2);
        EXPECT_EQ(g_log.size(), lines) << g_log.join('\n').toStdString();
    }
}

TEST_F(ControllerTest, QueuedCommandsGoOneAtATime) {
    const auto device = fakeDevice("192.0.2.10");
    make(stillTiming());
    announce(QStringLiteral("amp-a"), kAddressA);
    int responses = 0;
    QObject::connect(controller.get(), &VireoThreads::commandResponse,
                     [&responses](QHostAddress, QString) { ++responses; });

    controller->sendUdpCommand(QStringLiteral("gone"), "VERSION\r", kAddressB, 49494);
    controller->sendUdpCommand(QStringLiteral("amp-a"), "VERSION\r", kAddressA, 49494);
    controller->sendUdpCommand(QStringLiteral("amp-a"), "LOADPRESET 1\r", kAddressA, 49494);
    controller->pumpUdpCommands();  // drops the head: no such device
    EXPECT_EQ(g_log.filter(QStringLiteral("gone")).size(), 1);
    controller->pumpUdpCommands();
    controller->pumpUdpCommands();  // a reply is awaited: nothing goes
    EXPECT_TRUE(device->waitForDatagrams(1, 2000ms));
    EXPECT_TRUE(QTest::qWaitFor([&] { return responses == 1; }, 2000));
    EXPECT_EQ(device->log().size(), 1u);
    controller->pumpUdpCommands();
    EXPECT_TRUE(device->waitForDatagrams(2, 2000ms));
    const auto log = device->log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(bytes(log[1].bytes), QByteArray("LOADPRESET 1\r"));
    EXPECT_EQ(record(QStringLiteral("amp-a"))->getTimeoutCount(), 1);  // the version reply reset it
}

TEST_F(ControllerTest, VersionGoesByConmonOffTheTextPath) {
    make(stillTiming());
    announce(QStringLiteral("amp-a"), kAddressA);
    VireoDevice* amp = record(QStringLiteral("amp-a"));
    amp->setPollState(identification::kVersion);
    amp->setControlPath(0);
    controller->pollSonaventData();
    EXPECT_EQ(drivers->vendor_commands, QStringList{QStringLiteral("amp-a:VERSION\r")});
    EXPECT_EQ(amp->getPollState(), identification::kAsked);
    controller->handleMCUVersion(QStringLiteral("amp-a"), 0x00020003);
    EXPECT_EQ(amp->getPollState(), identification::kIdentified);
    EXPECT_EQ(amp->getMcuVersion(), 0x00020003u);
}

TEST_F(ControllerTest, ForeignManufacturerIsIgnoredAndClosed) {
    make(stillTiming());
    QSignalSpy removed(controller.get(), &VireoThreads::DeviceRemoved);
    controller->deviceAdded(QStringLiteral("other"));
    controller->vendorIdReported(QStringLiteral("other"), QStringLiteral("corvanti"));
    VireoDevice* other = record(QStringLiteral("other"));
    EXPECT_EQ(other->getPollState(), identification::kIgnored);
    EXPECT_EQ(other->getManufacturer(), QStringLiteral("corvanti"));
    EXPECT_EQ(drivers->closed, QStringList{QStringLiteral("other")});
    ASSERT_EQ(removed.count(), 1);

    controller->deviceAdded(QStringLiteral("other"));  // announced again: polled again
    EXPECT_EQ(other->getPollState(), identification::kStart);
    EXPECT_EQ(controller->getVireoDevices()->getDevices().size(), 1);
}

TEST_F(ControllerTest, RefreshStartsAgainWithAnEmptyList) {
    make(stillTiming());
    announce(QStringLiteral("amp-a"), kAddressA);
    QSignalSpy refreshed(controller.get(), &VireoThreads::vireoThreadsRefreshed);
    QSignalSpy changed(controller->getVireoDevices(), &VireoDevices::vireoDevicesChanged);
    controller->refresh();
    EXPECT_EQ(refreshed.count(), 1);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(controller->getVireoDevices()->getDevices().isEmpty());
    EXPECT_EQ(drivers->starts, 2);
    EXPECT_EQ(controller->getUdpSocket()->localPort(), 6);
}

}  // namespace
