#include <gtest/gtest.h>

#include <chrono>

#include "PeerLogLimit.h"

namespace {

using namespace std::chrono_literals;

const QHostAddress kA(QStringLiteral("192.0.2.10"));
const QHostAddress kB(QStringLiteral("192.0.2.11"));

// A limit on a clock that the test moves.
class PeerLogLimitTest : public ::testing::Test {
protected:
    QString admit(const QHostAddress& sender, PeerLine kind = PeerLine::StrayStatus) {
        return limit.admit(sender, kind, QStringLiteral("line"));
    }

    std::chrono::steady_clock::time_point now{};
    PeerLogLimit limit{10s, [this] { return now; }};
};

TEST_F(PeerLogLimitTest, OneLinePerWindowThenOneSayingHowManyWereLeftOut) {
    EXPECT_EQ(admit(kA), QStringLiteral("line"));
    for (int i = 0; i < 999; ++i) {
        now += 1ms;
        EXPECT_TRUE(admit(kA).isNull());
    }
    now += 10s - 999ms - 1ms;
    EXPECT_TRUE(admit(kA).isNull());
    now += 1ms;
    EXPECT_EQ(admit(kA), QStringLiteral("line (1000 more left out)"));
    // A line after a quiet window says nothing of left-out lines.
    now += 10s;
    EXPECT_EQ(admit(kA), QStringLiteral("line"));
}

TEST_F(PeerLogLimitTest, EachSenderAndKindHasItsOwnWindow) {
    EXPECT_FALSE(admit(kA).isNull());
    EXPECT_FALSE(admit(kB).isNull());
    EXPECT_FALSE(admit(kA, PeerLine::MalformedStatus).isNull());
    EXPECT_FALSE(admit(QHostAddress(QStringLiteral("::1"))).isNull());
    EXPECT_FALSE(admit(QHostAddress()).isNull());
    EXPECT_TRUE(admit(kA).isNull());
    EXPECT_TRUE(admit(kB).isNull());
    EXPECT_TRUE(admit(kA, PeerLine::MalformedStatus).isNull());
    EXPECT_TRUE(admit(QHostAddress()).isNull());
    EXPECT_EQ(limit.size(), 5u);
}

TEST_F(PeerLogLimitTest, ManySendersKeepTheMemoryBoundedAndForgetTheLeastRecent) {
    for (quint32 i = 0; i < 100000; ++i) {
        EXPECT_FALSE(admit(QHostAddress(0x0A000000u + i)).isNull());
    }
    EXPECT_EQ(limit.size(), PeerLogLimit::kCapacity);
    // The most recent senders are still limited; the first one was forgotten.
    EXPECT_TRUE(admit(QHostAddress(0x0A000000u + 99999)).isNull());
    EXPECT_FALSE(admit(QHostAddress(0x0A000000u)).isNull());
    EXPECT_EQ(limit.size(), PeerLogLimit::kCapacity);
}

TEST_F(PeerLogLimitTest, ASenderStillHeardFromIsNotTheOneForgotten) {
    PeerLogLimit small{10s, [this] { return now; }, 3};
    const auto line = [&](quint32 sender) {
        return small.admit(QHostAddress(sender), PeerLine::StrayReply, QStringLiteral("x"));
    };
    EXPECT_FALSE(line(1).isNull());
    EXPECT_FALSE(line(2).isNull());
    EXPECT_FALSE(line(3).isNull());
    EXPECT_TRUE(line(1).isNull());   // heard from again: now the most recent
    EXPECT_FALSE(line(4).isNull());  // forgets 2
    EXPECT_EQ(small.size(), 3u);
    EXPECT_TRUE(line(1).isNull());
    EXPECT_FALSE(line(2).isNull());
}

TEST(PeerLogLimitWindow, NoWindowWritesEveryLine) {
    PeerLogLimit unlimited{0ms};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(unlimited.admit(kA, PeerLine::EmptyReply, QStringLiteral("x")),
                  QStringLiteral("x"));
    }
}

}  // namespace
