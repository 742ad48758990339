// The conmon driver against the fake conmon server on 127.0.0.1:8900 and a fake device on
// 127.0.0.2:49494, inside the test's own network namespace.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DriverWait.h"
#include "FakeConmonServer.h"
#include "FakeDevice.h"
#include "LockedLogEnv.h"
#include "OvaltaVireoConmon.h"
#include "conmon/conmon_body.h"
#include "platform/aud_env.h"
#include "platform/aud_log.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using sim::FakeConmonFault;
namespace wire = sim::conmonwire;

constexpr uint16_t kSendMessage = 0x400;

// One signal of the driver.
struct Signal {
    std::string kind;
    QString name;
    QStringList values;
    bool gui_thread;
};

Bytes request(uint16_t opcode) {
    conmon_body body{};
    if (opcode == CONMON_BODY_INTERFACE_REQUEST) {
        conmon_body_init_interface_request(&body, CONMON_BODY_VERSION_CONTROL, 0);
        return Bytes(body.data, body.data + conmon_body_interface_request_size(&body));
    }
    conmon_body_init_request(&body, CONMON_BODY_VERSION_CONTROL, opcode, 1000000);
    return Bytes(body.data, body.data + conmon_body_request_size(&body));
}

sim::FakeConmonDevice amp(const std::string& name, uint8_t last) {
    sim::FakeConmonDevice device = sim::fakeConmonAmp(name, last);
    device.address = "127.0.0.2";
    return device;
}

ConmonDriverSettings fast(int deadline_ms = 300) {
    ConmonDriverSettings settings;
    settings.timing.cycle_ms = 10;
    settings.deadline_ms = deadline_ms;
    return settings;
}

class ConmonDriverNet : public ::testing::Test {
protected:
    void SetUp() override {
        m_server.addDevice(amp("ZEB-AMP-01", 0x56));
        sim::FakeConmonDevice bare = amp("ZEB-AMP-02", 0x57);
        bare.macs.clear();
        m_server.addDevice(bare);
        m_device.setVersion(1, 5);
        ASSERT_TRUE(m_device.start());
    }
    void TearDown() override { m_driver.reset(); }

    bool logged(const std::string& text) { return m_log.logged(text); }

    void start(const ConmonDriverSettings& settings = fast()) {
        m_driver = std::make_unique<OvaltaVireoConmon>(nullptr, settings);
        OvaltaVireoConmon* driver = m_driver.get();
        auto record = [this](const char* kind, const QString& name, const QStringList& values) {
            m_signals.push_back({kind, name, values, QThread::currentThread() == qApp->thread()});
        };
        using C = OvaltaVireoConmon;
        QObject::connect(
            driver, &C::productId, &m_receiver,
            [record](QByteArray id, QString name, uint32_t model_version, QString model_name,
                     uint32_t software, uint32_t firmware, uint32_t capabilities) {
                record("productId", name,
                       {QString(id), QString::number(model_version, 16), model_name,
                        QString::number(software, 16), QString::number(firmware, 16),
                        QString::number(capabilities, 16)});
            });
        QObject::connect(driver, &C::vireoInfo, &m_receiver,
                         [record](QString name, QString m) { record("vireoInfo", name, {m}); });
        QObject::connect(driver, &C::handleMacAddress, &m_receiver,
                         [record](QString name, QString mac) { record("mac", name, {mac}); });
        QObject::connect(driver, &C::mcuVersion, &m_receiver, [record](QString name, uint32_t v) {
            record("mcuVersion", name, {QString::number(v)});
        });
        QObject::connect(
            driver, &C::commandResponse, &m_receiver,
            [record](QString name, QString text) { record("commandResponse", name, {text}); });
        QObject::connect(driver, &C::conmonTimeout, &m_receiver,
                         [record](QString name) { record("conmonTimeout", name, {}); });
        driver->setEnvironment(m_log.env());
        driver->start();
    }
    bool startedUp() {
        return waitFor([&] { return m_driver->isStarted(); });
    }
    size_t count(const std::string& kind) const {
        size_t n = 0;
        for (const Signal& s : m_signals) {
            n += s.kind == kind;
        }
        return n;
    }
    const Signal* find(const std::string& kind) const {
        for (const Signal& s : m_signals) {
            if (s.kind == kind) {
                return &s;
            }
        }
        return nullptr;
    }
    aud_error_t send(const QString& name, uint16_t opcode) {
        const Bytes body = request(opcode);
        return m_driver->sendRequest(body.data(), body.size(), name);
    }

    LockedLogEnv m_log;
    sim::FakeConmonServer m_server;
    sim::FakeDevice m_device{"127.0.0.2"};
    QObject m_receiver;
    std::vector<Signal> m_signals;
    std::unique_ptr<OvaltaVireoConmon> m_driver;
};

TEST_F(ConmonDriverNet, StartUpAndRequestsGoOutByteForByte) {
    ASSERT_TRUE(m_server.start());
    start();
    ASSERT_TRUE(startedUp());
    ASSERT_EQ(send("ZEB-AMP-01", CONMON_BODY_VERSIONS_REQUEST), AUD_SUCCESS);
    ASSERT_EQ(m_driver->sendVendorCommand("ZEB-AMP-01", "VERSION\r"), AUD_SUCCESS);
    ASSERT_TRUE(m_server.waitForDatagrams(5, 2s));
    const auto log = m_server.log();
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& part : parts) {
            out.insert(out.end(), part.begin(), part.end());
        }
        return out;
    };
    const Bytes name = {'Z', 'E', 'B', '-', 'A', 'M', 'P', '-', '0', '1'};
    EXPECT_EQ(log[0], join({{0x00, 0x15, 0x2C, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00},
                            {'K', 'o', 'l', 'v', 'o', ' ', 'C', 'O', 'N', 'M', 'O', 'N'},
                            Bytes(22, 0)}));
    EXPECT_EQ(log[1], (Bytes{0x00, 0x15, 0x10, 0x00, 0x02, 0x00, 0x00, 0x03, 0x00, 0x00, 0x02, 0x00,
                             0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(log[2],
              join({{0x00, 0x15, 0x19, 0x00, 0x03, 0x00, 0x10, 0x03, 0x00, 0x00, 0x02, 0x00},
                    Bytes(13, 0)}));
    EXPECT_EQ(log[3],
              join({{0x00, 0x15, 0x54, 0x00, 0x04, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00},
                    Bytes(8, 0),
                    name,
                    Bytes(22, 0),
                    {0xFF, 0xFF, 0x00, 0x20},
                    Bytes(12, 0),
                    {'S', 'o', 'n', 'a', 'v', 'e', 'n', 't'},
                    {0x07, 0x1F, 0x00, 0xC1, 0x00, 0x0F, 0x42, 0x40}}));
    EXPECT_EQ(log[4],
              join({{0x00, 0x15, 0x55, 0x00, 0x05, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00},
                    Bytes(8, 0),
                    name,
                    Bytes(22, 0),
                    {0xFF, 0xFF, 0x00, 0x21},
                    Bytes(12, 0),
                    {0x4F, 0x76, 0x61, 0x6C, 0x74, 0x61, 0x54, 0x00, 0x56, 0x45, 0x52, 0x53, 0x49,
                     0x4F, 0x4E, 0x0D, 0x00}}));

    // Characters above 0xFF become zero bytes; 1447 characters fit, 1448 do not.
    ASSERT_EQ(m_driver->sendVendorCommand("ZEB-AMP-02", QString("A") + QChar(0x20AC) + "B"),
              AUD_SUCCESS);
    ASSERT_TRUE(m_server.waitForDatagrams(6, 2s));
    const Bytes last = m_server.log()[5];
    EXPECT_EQ(Bytes(last.end() - 4, last.end()), (Bytes{'A', 0, 'B', 0}));
    EXPECT_EQ(m_driver->sendVendorCommand("ZEB-AMP-02", QString(1448, 'x')),
              AUD_ERR_INVALIDPARAMETER);
    EXPECT_EQ(m_driver->sendVendorCommand("ZEB-AMP-02", QString(1447, 'x')), AUD_SUCCESS);
    ASSERT_TRUE(m_server.waitForDatagrams(7, 2s));
    EXPECT_EQ(m_server.log()[6].size(), 76u + 1448u);
}

TEST_F(ConmonDriverNet, RepliesReachTheControllerOnTheGuiThread) {
    ASSERT_TRUE(m_server.start());
    start();
    ASSERT_TRUE(startedUp());
    for (uint16_t opcode : {CONMON_BODY_INTERFACE_REQUEST, CONMON_BODY_VIREO_INFO_REQUEST,
                            CONMON_BODY_VERSIONS_REQUEST}) {
        ASSERT_EQ(send("ZEB-AMP-01", opcode), AUD_SUCCESS);
        ASSERT_EQ(send("ZEB-AMP-02", opcode), AUD_SUCCESS);
    }
    ASSERT_EQ(m_driver->sendVendorCommand("ZEB-AMP-01", "VERSION\r"), AUD_SUCCESS);
    ASSERT_TRUE(waitFor([&] { return count("commandResponse") == 1; }));
    ASSERT_EQ(m_driver->sendVendorCommand("ZEB-AMP-01", "BOGUS\r"), AUD_SUCCESS);
    ASSERT_TRUE(waitFor([&] {
        return count("commandResponse") == 2 && count("productId") == 2 &&
               m_driver->pendingRequestCount() == 0;
    }));
    spin(50ms);

    EXPECT_EQ(count("mac"), 1u);  // the device without interfaces gives none
    ASSERT_NE(find("mac"), nullptr);
    EXPECT_EQ(find("mac")->name, "ZEB-AMP-01");
    EXPECT_EQ(find("mac")->values, QStringList{"00:1d:c1:12:34:56"});
    EXPECT_EQ(count("vireoInfo"), 2u);
    EXPECT_EQ(find("vireoInfo")->values, QStringList{"Solano 2-A"});
    EXPECT_EQ(find("productId")->values,
              (QStringList{"00000012", "10003", "ZEB-4600", "4010002", "4000005", "40000000"}));
    EXPECT_EQ(count("mcuVersion"), 1u);
    EXPECT_EQ(find("mcuVersion")->name, "ZEB-AMP-01");
    EXPECT_EQ(find("mcuVersion")->values, QStringList{"65541"});
    std::vector<QString> responses;
    for (const Signal& s : m_signals) {
        if (s.kind == "commandResponse") {
            responses.push_back(s.values[0]);
        }
    }
    EXPECT_EQ(responses, (std::vector<QString>{"ACK VERSION=1.5", "NACK"}));
    EXPECT_EQ(count("conmonTimeout"), 0u);
    for (const Signal& s : m_signals) {
        EXPECT_TRUE(s.gui_thread) << s.kind;
    }
}

// A request unanswered by its deadline times out in the first cycle after it.
TEST_F(ConmonDriverNet, SilenceOrAnAnswerToAnotherRequestTimesOut) {
    m_server.scriptFault(kSendMessage, FakeConmonFault::kSilence);
    m_server.scriptFault(kSendMessage, FakeConmonFault::kOtherSequence);
    ASSERT_TRUE(m_server.start());
    start(fast(200));
    ASSERT_TRUE(startedUp());
    QElapsedTimer sent;
    sent.start();
    ASSERT_EQ(send("ZEB-AMP-01", CONMON_BODY_VERSIONS_REQUEST), AUD_SUCCESS);
    ASSERT_EQ(send("ZEB-AMP-02", CONMON_BODY_VERSIONS_REQUEST), AUD_SUCCESS);
    EXPECT_EQ(m_driver->pendingRequestCount(), 2);
    ASSERT_TRUE(waitFor([&] { return count("conmonTimeout") == 2; }));
    const qint64 elapsed = sent.elapsed();
    EXPECT_GE(elapsed, 200);
    EXPECT_LT(elapsed, 200 + 1000);  // a cycle after the deadline, with slack for a busy host
    EXPECT_EQ(m_signals[m_signals.size() - 2].name, "ZEB-AMP-01");
    EXPECT_EQ(m_signals.back().name, "ZEB-AMP-02");
    EXPECT_EQ(m_driver->pendingRequestCount(), 0);
    spin(300ms);
    EXPECT_EQ(count("conmonTimeout"), 2u);
    EXPECT_EQ(count("productId"), 1u);  // the reply of the one answered with another number
}

TEST_F(ConmonDriverNet, ExpiredRequestsFreeTheirClientEntries) {
    for (int i = 0; i < 20; ++i) {
        m_server.scriptFault(kSendMessage, FakeConmonFault::kSilence);
    }
    ASSERT_TRUE(m_server.start());
    ConmonDriverSettings settings = fast(150);
    settings.max_requests = 10;
    start(settings);
    ASSERT_TRUE(startedUp());
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 10; ++i) {
            ASSERT_EQ(send("ZEB-AMP-01", CONMON_BODY_VERSIONS_REQUEST), AUD_SUCCESS)
                << round << " " << i;
        }
        ASSERT_TRUE(waitFor([&] { return count("conmonTimeout") == size_t(10 * (round + 1)); }));
    }
    EXPECT_EQ(m_server.count(kSendMessage), 20u);
}

TEST_F(ConmonDriverNet, RepliesWaitingAfterAGuiBlockExpireNothing) {
    ASSERT_TRUE(m_server.start());
    start(fast(300));
    ASSERT_TRUE(startedUp());
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(send("ZEB-AMP-01", CONMON_BODY_VERSIONS_REQUEST), AUD_SUCCESS);
    }
    QThread::msleep(500);  // the GUI thread busy past every deadline; 40 datagrams wait
    ASSERT_TRUE(waitFor([&] { return m_driver->pendingRequestCount() == 0; }));
    spin(100ms);
    EXPECT_EQ(count("conmonTimeout"), 0u);
    EXPECT_EQ(count("productId"), 20u);
}

TEST_F(ConmonDriverNet, WithoutServerStartUpEndsAfterOneTimeout) {
    start(fast(200));
    ASSERT_TRUE(startedUp());
    ASSERT_TRUE(waitFor([&] { return count("conmonTimeout") == 1; }));
    EXPECT_EQ(m_signals[0].name, QString(""));
    EXPECT_EQ(send("ZEB-AMP-01", CONMON_BODY_VERSIONS_REQUEST), AUD_ERR_NOTCONN);
    EXPECT_EQ(m_driver->sendVendorCommand("ZEB-AMP-01", "VERSION\r"), AUD_ERR_NOTCONN);
    EXPECT_EQ(m_driver->pendingRequestCount(), 0);
    spin(300ms);
    EXPECT_EQ(m_signals.size(), 1u);

    ASSERT_TRUE(m_server.start());
    m_driver.reset();
    spin(50ms);
    EXPECT_TRUE(m_server.log().empty());  // no Disconnect
}

TEST_F(ConmonDriverNet, StopDuringAStartUpWaitReturnsAtOnce) {
    m_server.scriptFault(0x100, FakeConmonFault::kSilence);
    ASSERT_TRUE(m_server.start());
    start(ConmonDriverSettings{});  // the product's 3000 ms deadline
    ASSERT_TRUE(m_server.waitForOpcode(0x100, 1, 2s));
    spin(50ms);
    EXPECT_FALSE(m_driver->isStarted());
    EXPECT_EQ(m_driver->pendingRequestCount(), 1);
    EXPECT_EQ(send("ZEB-AMP-01", CONMON_BODY_VERSIONS_REQUEST), AUD_SUCCESS);  // nothing sent
    EXPECT_EQ(m_driver->pendingRequestCount(), 1);
    QElapsedTimer timer;
    timer.start();
    m_driver.reset();
    EXPECT_LT(timer.elapsed(), 200);
    EXPECT_EQ(m_server.count(kSendMessage), 0u);
    EXPECT_TRUE(m_server.waitForOpcode(0x101, 1, 1s));  // the client was freed
}

TEST_F(ConmonDriverNet, ServerStoppedAndReopenedHangsNothingAndANewDriverWorks) {
    ASSERT_TRUE(m_server.start());
    start(fast(200));
    ASSERT_TRUE(startedUp());
    m_server.stop();
    ASSERT_EQ(send("ZEB-AMP-01", CONMON_BODY_VERSIONS_REQUEST), AUD_SUCCESS);
    ASSERT_TRUE(waitFor([&] { return count("conmonTimeout") == 1; }));
    ASSERT_TRUE(m_server.start());
    // The refused request lost the connection: the driver refuses requests until it has
    // reconnected (a request it sent would be refused by the reopened server and time out).
    EXPECT_EQ(send("ZEB-AMP-01", CONMON_BODY_VERSIONS_REQUEST), AUD_ERR_NOTCONN);
    EXPECT_EQ(m_driver->pendingRequestCount(), 0);

    m_driver.reset();
    m_signals.clear();
    start(fast(200));
    ASSERT_TRUE(startedUp());
    ASSERT_EQ(send("ZEB-AMP-01", CONMON_BODY_VERSIONS_REQUEST), AUD_SUCCESS);
    ASSERT_TRUE(waitFor([&] { return count("productId") == 1; }));
    EXPECT_EQ(count("conmonTimeout"), 0u);
}

}  // namespace

TEST_F(ConmonDriverNet, ReadyWithAWholeInstallationOnTheServer) {
    // The subscription response lists as many of the 250 devices as one message holds.
    for (int i = 3; i <= 250; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "ZEB-AMP-%03d", i);
        m_server.addDevice(amp(name, uint8_t(i)));
    }
    ASSERT_TRUE(m_server.start());
    start();
    ASSERT_TRUE(startedUp());
    EXPECT_TRUE(m_driver->isReady());
    ASSERT_EQ(send("ZEB-AMP-01", CONMON_BODY_VERSIONS_REQUEST), AUD_SUCCESS);
    EXPECT_TRUE(waitFor([&] { return count("productId") == 1; }));
}

TEST_F(ConmonDriverNet, AfterTheServerReturnsTheDriverRegistersAgainAndRefusesRequestsUntilThen) {
    struct Case {
        const char* what;
        bool back_at_once;  // restarted at once, or stopped until the driver sees it gone
    };
    for (const Case c : {Case{"stopped for a while", false}, Case{"restarted at once", true}}) {
        SCOPED_TRACE(c.what);
        ConmonDriverSettings settings = fast();
        settings.reconnect.keepalive_ms = 100;
        settings.reconnect.connecting_timeout_ms = 200;
        settings.reconnect.connected_timeout_ms = 500;
        settings.reconnect.reconnect_delay_ms = 200;
        ASSERT_TRUE(m_server.start());
        start(settings);
        ASSERT_TRUE(startedUp());
        EXPECT_TRUE(m_driver->isReady());
        m_server.clearLog();

        m_server.stop();
        if (c.back_at_once) {
            ASSERT_TRUE(m_server.start());
        }
        ASSERT_TRUE(waitFor([&] { return !m_driver->isReady(); }));
        ASSERT_TRUE(waitFor([&] { return m_driver->pendingRequestCount() == 0; }));
        EXPECT_EQ(send("ZEB-AMP-01", CONMON_BODY_VERSIONS_REQUEST), AUD_ERR_NOTCONN);
        EXPECT_EQ(m_driver->sendVendorCommand("ZEB-AMP-01", "VERSION\r"), AUD_ERR_NOTCONN);
        EXPECT_EQ(m_driver->pendingRequestCount(), 0);
        if (!c.back_at_once) {
            spin(300ms);
            EXPECT_FALSE(m_driver->isReady());
            ASSERT_TRUE(m_server.start());
        }

        ASSERT_TRUE(waitFor([&] { return m_driver->isReady(); }, 3s));
        EXPECT_EQ(m_server.count(0x100), 1u);
        EXPECT_EQ(m_server.count(0x300), 1u);
        EXPECT_EQ(m_server.count(0x310), 1u);
        EXPECT_EQ(m_server.clients(), 1u);
        ASSERT_EQ(send("ZEB-AMP-01", CONMON_BODY_VERSIONS_REQUEST), AUD_SUCCESS);
        ASSERT_TRUE(waitFor([&] { return count("productId") == 1; }));
        EXPECT_EQ(find("productId")->name, QString("ZEB-AMP-01"));
        EXPECT_EQ(count("conmonTimeout"), 0u);

        m_driver.reset();
        m_server.stop();
        m_signals.clear();
    }
}
