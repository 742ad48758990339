#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "DriverWait.h"
#include "FakeConfigService.h"
#include "OvaltaVireoCmm.h"
#include "platform/aud_env.h"

namespace {

using sim::FakeConfigService;
using Clock = std::chrono::steady_clock;

const std::array<uint8_t, 6> kCfg0Mac = {2, 0, 0, 0, 0, 0x0C};

// What the driver wrote: warnings, and the thread of every SDK log line with whether start-up
// had finished when it was written. Log lines come from one thread at a time (start-up, then
// the cycles), but the test reads them from its own.
struct Seen {
    std::mutex mutex;
    std::vector<std::string> warnings;
    struct Line {
        bool on_gui_thread;
        bool started;
        std::string text;
    };
    std::vector<Line> lines;
    const OvaltaVireoCmm* driver = nullptr;
    QThread* gui = nullptr;
};
Seen* seen = nullptr;

void onMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg) {
        std::lock_guard<std::mutex> lock(seen->mutex);
        seen->warnings.push_back(text.toStdString());
    }
}

void onLogLine(void*, const char*, unsigned, const char* text, size_t length) {
    std::lock_guard<std::mutex> lock(seen->mutex);
    seen->lines.push_back({QThread::currentThread() == seen->gui,
                           seen->driver && seen->driver->isStarted(), std::string(text, length)});
}

// Counts the UDP datagrams sent to 127.0.0.1:8850, seen on the loopback interface.
class LoopbackSniffer {
public:
    LoopbackSniffer() {
        fd_ = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_NONBLOCK, htons(ETH_P_IP));
        sockaddr_ll link{};
        link.sll_family = AF_PACKET;
        link.sll_protocol = htons(ETH_P_IP);
        link.sll_ifindex = static_cast<int>(if_nametoindex("lo"));
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&link), sizeof link), 0);
    }
    ~LoopbackSniffer() { ::close(fd_); }

    // The opcodes of the datagrams to port 8850 so far.
    std::vector<uint16_t> opcodes() {
        uint8_t packet[2048];
        sockaddr_ll from{};
        socklen_t length = sizeof from;
        for (;;) {
            const ssize_t n = ::recvfrom(fd_, packet, sizeof packet, 0,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            if (n < 0) {
                return opcodes_;
            }
            if (from.sll_pkttype == PACKET_OUTGOING || n < 20 || packet[9] != IPPROTO_UDP) {
                continue;
            }
            const size_t udp = (packet[0] & 0x0F) * 4u;
            if (static_cast<size_t>(n) < udp + 8 + 8 ||
                (packet[udp + 2] << 8 | packet[udp + 3]) != FakeConfigService::kPort) {
                continue;
            }
            opcodes_.push_back(
                static_cast<uint16_t>(packet[udp + 8 + 6] << 8 | packet[udp + 8 + 7]));
        }
    }

private:
    int fd_ = -1;
    std::vector<uint16_t> opcodes_;
};

class CmmDriver : public ::testing::Test {
protected:
    void SetUp() override {
        seen = &seen_;
        seen_.gui = QThread::currentThread();
        previous_handler_ = qInstallMessageHandler(onMessage);
        ASSERT_EQ(aud_env_init(&env_), AUD_SUCCESS);
        aud_log* log = aud_env_log(env_);
        log->callback = onLogLine;
        aud_log_set_threshold(log, AUD_LOG_SINK_CALLBACK, AUD_LOG_VERBOSE);
        index_ = static_cast<int>(if_nametoindex("cfg0"));
        ASSERT_NE(index_, 0);
        service_.setOptions({{u"other0", {2, 0, 0, 0, 0, 0x0D}}, {u"CFG0", kCfg0Mac}});
    }
    void TearDown() override {
        driver_.reset();
        aud_log* log = aud_env_log(env_);
        aud_log_set_threshold(log, AUD_LOG_SINK_CALLBACK, AUD_LOG_NONE);
        log->callback = nullptr;
        aud_env_release(env_);
        qInstallMessageHandler(previous_handler_);
        seen = nullptr;
    }

    void startDriver(int index, const SdkDriverTiming& timing = {}) {
        CmmDriverSettings settings;
        settings.timing = timing;
        startDriver(index, settings);
    }
    void startDriver(int index, const CmmDriverSettings& settings) {
        driver_ = std::make_unique<OvaltaVireoCmm>(index, nullptr, settings);
        seen_.driver = driver_.get();
        driver_->setEnvironment(env_);
        driver_->start();
    }

    std::vector<std::string> warnings() {
        std::lock_guard<std::mutex> lock(seen_.mutex);
        return seen_.warnings;
    }

    std::string warningFor(const std::string& name, const std::string& reason) {
        return "OvaltaVireoCmm: interface \"" + name + "\" not configured: " + reason;
    }

    Seen seen_;
    QtMessageHandler previous_handler_ = nullptr;
    aud_env* env_ = nullptr;
    int index_ = 0;
    FakeConfigService service_;
    std::unique_ptr<OvaltaVireoCmm> driver_;
};

TEST_F(CmmDriver, PutsTheChosenInterfaceIntoTheConfigurationAndWaitsUntilReady) {
    service_.setSetConfigMode(FakeConfigService::SetConfigMode::kChangingThenReady,
                              std::chrono::milliseconds(300));
    ASSERT_TRUE(service_.start());
    startDriver(index_);
    ASSERT_TRUE(waitFor([&] { return !service_.logOf(0x110).empty(); }));
    const Clock::time_point set_config = service_.logOf(0x110)[0].when;
    ASSERT_TRUE(waitFor([&] { return driver_->isStarted(); }));
    // Started only once the change was over.
    EXPECT_GE(Clock::now() - set_config, std::chrono::milliseconds(250));

    const std::vector<sim::FakeCmmDatagram> log = service_.log();
    ASSERT_GE(log.size(), 2u);
    ASSERT_TRUE(log[0].header);
    EXPECT_EQ(log[0].header->opcode, 1);
    const uint16_t port = log[0].from_port;
    const uint32_t pid = static_cast<uint32_t>(getpid());
    const sim::Bytes connect = {0x10,
                                0x01,
                                0x00,
                                0x2C,
                                0x00,
                                0x00,
                                0x00,
                                0x01,
                                0x00,
                                0x00,
                                static_cast<uint8_t>(port >> 8),
                                static_cast<uint8_t>(port),
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0,
                                0x00,
                                0x03,
                                0x00,
                                0x08,
                                0x00,
                                0x14,
                                0x00,
                                0x00,
                                'O',
                                'v',
                                'a',
                                'l',
                                't',
                                'a',
                                'C',
                                'm',
                                'm',
                                0x00,
                                0x00,
                                0x00,
                                static_cast<uint8_t>(pid >> 24),
                                static_cast<uint8_t>(pid >> 16),
                                static_cast<uint8_t>(pid >> 8),
                                static_cast<uint8_t>(pid)};
    EXPECT_EQ(log[0].bytes, connect);
    const sim::FakeCmmDatagram set = service_.logOf(0x110)[0];
    EXPECT_EQ(set.config_flags, 1);
    ASSERT_EQ(set.config.size(), 1u);
    EXPECT_EQ(set.config[0].name, u"CFG0");
    EXPECT_EQ(set.config[0].mac, kCfg0Mac);

    // Cycles go on, every one of them on the GUI thread.
    QElapsedTimer idle;
    idle.start();
    waitFor([&] { return idle.elapsed() > 350; });
    EXPECT_TRUE(warnings().empty());
    std::lock_guard<std::mutex> lock(seen_.mutex);
    size_t cycle_lines = 0;
    for (const Seen::Line& line : seen_.lines) {
        if (line.started) {
            ++cycle_lines;
            EXPECT_TRUE(line.on_gui_thread) << line.text;
        } else {
            EXPECT_FALSE(line.on_gui_thread) << line.text;
        }
    }
    EXPECT_GE(cycle_lines, 3u);
}

TEST_F(CmmDriver, AStopInTheSetConfigWaitReturnsAtOnceAndDisconnects) {
    service_.setSilentFor(0x110, true);
    ASSERT_TRUE(service_.start());
    startDriver(index_);
    ASSERT_TRUE(service_.waitForOpcode(0x110, 1, std::chrono::seconds(3)));
    QThread::msleep(20);
    QElapsedTimer timer;
    timer.start();
    driver_->stop();
    EXPECT_LT(timer.elapsed(), 100);
    EXPECT_FALSE(driver_->isStarted());
    driver_.reset();
    EXPECT_TRUE(service_.waitForOpcode(2, 1, std::chrono::seconds(1)));
    EXPECT_TRUE(warnings().empty());
}

TEST_F(CmmDriver, NothingListeningEndsStartUpWithinASecond) {
    LoopbackSniffer sniffer;
    startDriver(index_);
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(waitFor([&] { return !warnings().empty(); }, std::chrono::seconds(1)));
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(warnings(), std::vector<std::string>{warningFor(
                              "cfg0", "no configuration service at 127.0.0.1:8850 (CONNRESET)")});
    waitFor([&] { return timer.elapsed() > 300; });
    EXPECT_FALSE(driver_->isStarted());
    EXPECT_EQ(sniffer.opcodes(), std::vector<uint16_t>{1});
}

TEST_F(CmmDriver, ASilentServiceEndsStartUpAtTheLimit) {
    service_.setSilent(true);
    ASSERT_TRUE(service_.start());
    SdkDriverTiming timing;
    timing.startup_limit_ms = 300;
    startDriver(index_, timing);
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(waitFor([&] { return !warnings().empty(); }));
    EXPECT_GE(timer.elapsed(), 290);
    EXPECT_EQ(warnings(), std::vector<std::string>{warningFor("cfg0", "no answer within 300 ms")});
    EXPECT_FALSE(driver_->isStarted());
}

TEST_F(CmmDriver, EveryOtherEndWritesItsReason) {
    struct Case {
        const char* what;
        std::function<void(FakeConfigService&)> script;
        int index;  // -1: cfg0
        std::string name;
        std::string reason;
    };
    const Case cases[] = {
        {"connect refused", [](FakeConfigService& s) { s.setConnectStatus(130); }, -1, "cfg0",
         "connection refused (NOBUFS)"},
        {"no such interface", [](FakeConfigService&) {}, 0, "",
         "not offered by the configuration service"},
        {"SET_CONFIG refused", [](FakeConfigService& s) { s.setSetConfigStatus(129); }, -1, "cfg0",
         "SET_CONFIG refused (NOTCONN)"},
        {"service gone", [](FakeConfigService& s) { s.setCloseAfterConnect(true); }, -1, "cfg0",
         "connection lost"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeConfigService service;
        service.setOptions({{u"CFG0", kCfg0Mac}});
        c.script(service);
        ASSERT_TRUE(service.start());
        {
            std::lock_guard<std::mutex> lock(seen_.mutex);
            seen_.warnings.clear();
        }
        // A SET_CONFIG that reaches the going service before its socket closes is lost
        // without a refusal: the next keepalive meets the closed port.
        CmmDriverSettings settings;
        settings.keepalive_ms = 100;
        startDriver(c.index < 0 ? index_ : c.index, settings);
        ASSERT_TRUE(waitFor([&] { return !warnings().empty(); }));
        EXPECT_EQ(warnings(), std::vector<std::string>{warningFor(c.name, c.reason)});
        EXPECT_FALSE(driver_->isStarted());
        driver_.reset();
    }
}

TEST_F(CmmDriver, ARefusedSetConfigKeepsTheClientUntilTheDriverGoes) {
    service_.setSetConfigStatus(129);
    ASSERT_TRUE(service_.start());
    startDriver(index_);
    ASSERT_TRUE(waitFor([&] { return !warnings().empty(); }));
    QThread::msleep(50);
    EXPECT_TRUE(service_.logOf(2).empty());
    driver_.reset();
    EXPECT_TRUE(service_.waitForOpcode(2, 1, std::chrono::seconds(1)));
}

}  // namespace

TEST_F(CmmDriver, ALostServiceIsConnectedAgainAndGivenTheInterfaceAgain) {
    struct Case {
        const char* what;
        std::function<void(FakeConfigService&)> lose;
        std::function<void(FakeConfigService&)> restore;
    };
    const Case cases[] = {
        {"port refused", [](FakeConfigService& s) { s.stop(); },
         [](FakeConfigService& s) { ASSERT_TRUE(s.start()); }},
        {"silent", [](FakeConfigService& s) { s.setSilent(true); },
         [](FakeConfigService& s) { s.setSilent(false); }},
        {"restarted at once, knowing no client",
         [](FakeConfigService& s) {
             s.stop();
             ASSERT_TRUE(s.start());
         },
         [](FakeConfigService&) {}},
    };
    CmmDriverSettings settings;
    settings.timing.cycle_ms = 10;
    settings.timing.startup_limit_ms = 300;
    settings.keepalive_ms = 50;
    settings.service_timeout_ms = 250;
    settings.reconnect_ms = 50;
    const std::string lost =
        "OvaltaVireoCmm: configuration service lost; connecting again every 50 ms";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeConfigService service;
        service.setOptions({{u"CFG0", kCfg0Mac}});
        ASSERT_TRUE(service.start());
        {
            std::lock_guard<std::mutex> lock(seen_.mutex);
            seen_.warnings.clear();
        }
        startDriver(index_, settings);
        ASSERT_TRUE(waitFor([&] { return driver_->isStarted(); }));
        ASSERT_EQ(service.logOf(0x110).size(), 1u);

        c.lose(service);
        ASSERT_TRUE(waitFor([&] { return !warnings().empty(); }));
        EXPECT_EQ(warnings(), std::vector<std::string>{lost});
        spin(std::chrono::milliseconds(100));
        c.restore(service);
        ASSERT_TRUE(waitFor([&] { return service.logOf(0x110).size() == 2; }));
        const sim::FakeCmmDatagram set = service.logOf(0x110)[1];
        EXPECT_EQ(set.config_flags, 1);
        ASSERT_EQ(set.config.size(), 1u);
        EXPECT_EQ(set.config[0].name, u"CFG0");
        EXPECT_EQ(set.config[0].mac, kCfg0Mac);
        EXPECT_GE(service.logOf(1).size(), 2u);

        // Configured again, it stays connected past the service time-out: no more connects.
        spin(std::chrono::milliseconds(50));
        const size_t connects = service.logOf(1).size();
        spin(std::chrono::milliseconds(300));
        EXPECT_EQ(service.logOf(1).size(), connects);
        EXPECT_EQ(service.logOf(0x110).size(), 2u);
        EXPECT_EQ(warnings(), std::vector<std::string>{lost});
        EXPECT_TRUE(driver_->isStarted());
        driver_.reset();
    }
}
