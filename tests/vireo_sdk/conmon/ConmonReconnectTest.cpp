// Automatic reconnection of the conmon client, its time-outs judged on a clock the test moves
// by hand, so the product's timings are checked to the millisecond without waiting: the fake
// conmon server on an ephemeral port of 127.0.0.1 answers, falls silent, stops or restarts.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "ConmonFixture.h"

namespace {

using namespace std::chrono_literals;

constexpr uint16_t kNull = 0x000;
constexpr uint16_t kConnect = 0x100;
constexpr uint16_t kDisconnect = 0x101;
constexpr uint16_t kRegister = 0x300;
constexpr uint16_t kSubscribe = 0x310;

class ConmonReconnect : public ::testing::Test {
protected:
    void SetUp() override { open(true); }

    // A fresh server and client, reconnection switched on or not.
    void open(bool reconnect) {
        m_harness.reset();
        m_server = std::make_unique<sim::FakeConmonServer>(0);
        m_server->addDevice(fakeAmp());
        ASSERT_TRUE(m_server->start());
        m_harness = std::make_unique<ConmonHarness>(m_server->port());
        conmon_client_set_clock(client(), &ConmonReconnect::clock, this);
        if (reconnect) {
            ASSERT_EQ(conmon_client_set_auto_reconnect(client(), true, nullptr), AUD_SUCCESS);
        }
    }

    conmon_client* client() const { return m_harness->client(); }
    conmon_client_state state() const { return conmon_client_get_state(client()); }
    sim::FakeConmonServer& server() { return *m_server; }

    static void clock(void* context, aud_time* now) {
        *now = static_cast<ConmonReconnect*>(context)->m_now;
    }

    // Moves the clock on by ms and lets the client act on it.
    void advance(int ms) {
        const aud_time span{ms / 1000, (ms % 1000) * 1000};
        m_now = aud_time_add(&m_now, &span);
        conmon_client_process(client());
    }
    // Processes, the clock standing still, until done holds (false after a second).
    bool until(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + 1s;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) {
                return false;
            }
            conmon_client_process(client());
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }
    bool reaches(conmon_client_state wanted) {
        return until([&] { return state() == wanted; });
    }
    // The server has heard count datagrams of opcode, and what it answered is handled.
    bool heard(uint16_t opcode, size_t count) {
        if (!server().waitForOpcode(opcode, count, 1s)) {
            return false;
        }
        m_harness->settle(20ms);
        return true;
    }

    aud_time m_now{1000, 0};
    std::unique_ptr<sim::FakeConmonServer> m_server;
    std::unique_ptr<ConmonHarness> m_harness;
};

TEST_F(ConmonReconnect, ANullEveryThreeSecondsKeepsAnAnsweringServerConnected) {
    ASSERT_EQ(m_harness->connect(), AUD_SUCCESS);
    advance(2999);
    EXPECT_EQ(server().count(kNull), 0u);
    for (size_t n = 1; n <= 4; ++n) {
        advance(n == 1 ? 1 : 3000);
        ASSERT_TRUE(heard(kNull, n)) << n;
    }
    EXPECT_EQ(state(), CONMON_CLIENT_CONNECTED);
    EXPECT_EQ(server().count(kDisconnect), 0u);
    // 10 bytes of version 0x1500, asking for its answer.
    const sim::conmonwire::Bytes null = server().log().back();
    ASSERT_EQ(null.size(), 10u);
    EXPECT_EQ(sim::conmonwire::le16(null, 0), 0x1500);
    EXPECT_EQ(sim::conmonwire::le16(null, 2), 10);
    EXPECT_EQ(sim::conmonwire::le16(null, 6), kNull);
    EXPECT_EQ(sim::conmonwire::le16(null, 8), 0);
}

TEST_F(ConmonReconnect, ALostConnectionWaitsFiveSecondsThenConnectsAndStartsClean) {
    struct Case {
        const char* what;
        std::function<void(sim::FakeConmonServer&)> lose;
        int lost_at_ms;      // from the connect
        size_t disconnects;  // 0 or 1
        std::function<void(sim::FakeConmonServer&)> restore;
    };
    const Case cases[] = {
        {"silent server", [](sim::FakeConmonServer& s) { s.setSilent(true); }, 10000, 1,
         [](sim::FakeConmonServer& s) { s.setSilent(false); }},
        {"server stopped", [](sim::FakeConmonServer& s) { s.stop(); }, 3000, 0,
         [](sim::FakeConmonServer& s) { ASSERT_TRUE(s.start()); }},
        {"server restarted, knowing no client",
         [](sim::FakeConmonServer& s) {
             s.stop();
             ASSERT_TRUE(s.start());
         },
         3000, 0, [](sim::FakeConmonServer&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        open(true);
        m_harness->open();
        ASSERT_GT(conmon_client_num_subscriptions(client()), 0u);
        c.lose(server());
        for (int at = 0; at < c.lost_at_ms - 1;) {
            const int step = std::min(3000, c.lost_at_ms - 1 - at);
            advance(step);
            at += step;
        }
        EXPECT_EQ(state(), CONMON_CLIENT_CONNECTED);
        advance(1);
        ASSERT_TRUE(reaches(CONMON_CLIENT_RECONNECT_PENDING));
        EXPECT_EQ(server().waitForOpcode(kDisconnect, 1, c.disconnects ? 1s : 50ms),
                  c.disconnects == 1);
        EXPECT_EQ(conmon_client_num_subscriptions(client()), 0u);
        EXPECT_EQ(conmon_client_send_control_message(
                      client(), ConmonHarness::done, nullptr, "ZEB-AMP-01", 0xFFFF,
                      CONMON_VENDOR_ID_STANDARD, std::vector<uint8_t>(8).data(), 8, nullptr),
                  AUD_ERR_NOTCONN);

        c.restore(server());
        advance(4999);
        EXPECT_EQ(state(), CONMON_CLIENT_RECONNECT_PENDING);
        EXPECT_EQ(server().count(kConnect), 1u);
        advance(1);
        EXPECT_EQ(state(), CONMON_CLIENT_CONNECTING);
        ASSERT_TRUE(reaches(CONMON_CLIENT_CONNECTED));
        EXPECT_EQ(server().count(kConnect), 2u);
        // Nothing of the old connection is left; registering and subscribing work again.
        EXPECT_EQ(conmon_client_num_subscriptions(client()), 0u);
        const size_t completions = m_harness->completions.size();
        m_harness->registerAndSubscribe();
        EXPECT_EQ(m_harness->completions.size(), completions + 2);
        EXPECT_EQ(server().count(kRegister), 2u);
        EXPECT_EQ(server().count(kSubscribe), 2u);
    }
}

TEST_F(ConmonReconnect, AConnectUnansweredForTwoSecondsIsTriedAgainFiveSecondsLater) {
    server().setSilent(true);
    conmon_client_request_id id = 0;
    ASSERT_EQ(conmon_client_connect(client(), ConmonHarness::done, &id), AUD_SUCCESS);
    advance(1999);
    EXPECT_EQ(state(), CONMON_CLIENT_CONNECTING);
    advance(1);
    EXPECT_EQ(state(), CONMON_CLIENT_RECONNECT_PENDING);
    EXPECT_EQ(m_harness->resultOf(id), AUD_ERR_TIMEDOUT);
    EXPECT_EQ(server().count(kDisconnect), 0u);

    advance(4999);
    ASSERT_TRUE(heard(kConnect, 1));
    EXPECT_EQ(server().count(kConnect), 1u);
    advance(1);
    EXPECT_EQ(state(), CONMON_CLIENT_CONNECTING);
    ASSERT_TRUE(heard(kConnect, 2));
    advance(2000);
    EXPECT_EQ(state(), CONMON_CLIENT_RECONNECT_PENDING);

    server().setSilent(false);
    advance(5000);
    ASSERT_TRUE(reaches(CONMON_CLIENT_CONNECTED));
    EXPECT_EQ(m_harness->completions.size(), 1u);  // automatic connects report to nobody
}

TEST_F(ConmonReconnect, ARefusedFirstConnectIsTriedAgain) {
    server().stop();
    conmon_client_request_id id = 0;
    ASSERT_EQ(conmon_client_connect(client(), ConmonHarness::done, &id), AUD_SUCCESS);
    ASSERT_TRUE(reaches(CONMON_CLIENT_RECONNECT_PENDING));
    EXPECT_EQ(m_harness->resultOf(id), AUD_ERR_CONNRESET);
    ASSERT_TRUE(server().start());
    advance(5000);
    ASSERT_TRUE(reaches(CONMON_CLIENT_CONNECTED));
}

TEST_F(ConmonReconnect, ADisconnectEndsReconnecting) {
    server().stop();
    ASSERT_EQ(conmon_client_connect(client(), nullptr, nullptr), AUD_SUCCESS);
    ASSERT_TRUE(reaches(CONMON_CLIENT_RECONNECT_PENDING));
    ASSERT_EQ(conmon_client_disconnect(client()), AUD_SUCCESS);
    EXPECT_EQ(state(), CONMON_CLIENT_NO_CONNECTION);
    ASSERT_TRUE(server().start());
    for (int i = 0; i < 10; ++i) {
        advance(6000);
    }
    m_harness->settle(20ms);
    EXPECT_EQ(state(), CONMON_CLIENT_NO_CONNECTION);
    EXPECT_EQ(server().count(kConnect), 0u);
    EXPECT_EQ(m_harness->connect(), AUD_SUCCESS);
}

TEST_F(ConmonReconnect, SwitchedOffNothingIsSentAndNothingTimesOut) {
    open(false);
    ASSERT_EQ(m_harness->connect(), AUD_SUCCESS);
    server().setSilent(true);
    for (int i = 0; i < 20; ++i) {
        advance(3000);
    }
    m_harness->settle(20ms);
    EXPECT_EQ(state(), CONMON_CLIENT_CONNECTED);
    EXPECT_EQ(server().count(kNull), 0u);

    // A refused first connect closes for good.
    open(false);
    server().stop();
    ASSERT_EQ(conmon_client_connect(client(), nullptr, nullptr), AUD_SUCCESS);
    ASSERT_TRUE(reaches(CONMON_CLIENT_NO_CONNECTION));
    ASSERT_TRUE(server().start());
    advance(60000);
    EXPECT_EQ(state(), CONMON_CLIENT_NO_CONNECTION);
}

}  // namespace
