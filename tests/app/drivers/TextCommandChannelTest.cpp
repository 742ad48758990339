#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMutex>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <vector>

#include "PeerLogLimit.h"
#include "TextCommandChannel.h"

namespace {

Q_LOGGING_CATEGORY(channelTest, "test.channel")

const QHostAddress kLoopback(QStringLiteral("127.0.0.1"));
const QHostAddress kOtherLoopback(QStringLiteral("127.0.0.2"));

// A channel on an ephemeral loopback port and a device socket that answers it.
class TextCommandChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        channel.open(0);
        ASSERT_TRUE(device.bind(kLoopback, 0));
        ASSERT_TRUE(other.bind(kOtherLoopback, 0));
    }

    UdpCommand command(const QString& name, const QByteArray& data) const {
        return {name, data, kLoopback, device.localPort()};
    }

    QByteArray receive(QUdpSocket& socket) {
        if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(2000)) {
            return {};
        }
        QByteArray bytes(int(socket.pendingDatagramSize()), '\0');
        socket.readDatagram(bytes.data(), bytes.size());
        return bytes;
    }

    void answer(QUdpSocket& from, const QByteArray& bytes) {
        from.writeDatagram(bytes, kLoopback, channel.socket()->localPort());
    }

    QMutex mutex;
    PeerLogLimit peer_log;
    TextCommandChannel channel{5000, channelTest, peer_log};
    QUdpSocket device;
    QUdpSocket other;
};

TEST_F(TextCommandChannelTest, OneCommandAtATimeAndOnlyTheAwaitedSenderEndsTheWait) {
    QStringList claimed;
    const auto claim = [&](const UdpCommand& c) {
        claimed << c.device_name;
        return true;
    };
    channel.enqueue(command(QStringLiteral("a"), "ONE\r"));
    channel.enqueue(command(QStringLiteral("b"), "TWO\r"));
    channel.pump(mutex, claim);
    channel.pump(mutex, claim);
    EXPECT_EQ(claimed, QStringList{QStringLiteral("a")});
    EXPECT_EQ(receive(device), QByteArray("ONE\r"));
    EXPECT_TRUE(channel.isWaiting());
    EXPECT_TRUE(channel.replyTimer()->isActive());
    EXPECT_TRUE(channel.hasQueued());

    EXPECT_FALSE(channel.endWaitFrom(kOtherLoopback));
    EXPECT_FALSE(channel.endWaitFrom(QHostAddress()));
    EXPECT_TRUE(channel.isWaiting());
    EXPECT_TRUE(channel.endWaitFrom(kLoopback));
    EXPECT_FALSE(channel.isWaiting());
    EXPECT_FALSE(channel.replyTimer()->isActive());

    channel.pump(mutex, claim);
    EXPECT_EQ(receive(device), QByteArray("TWO\r"));
    EXPECT_FALSE(channel.hasQueued());
}

TEST_F(TextCommandChannelTest, UnclaimedCommandIsDroppedWithoutAWait) {
    channel.enqueue(command(QStringLiteral("gone"), "ONE\r"));
    channel.enqueue(command(QStringLiteral("here"), "TWO\r"));
    const auto claim = [](const UdpCommand& c) { return c.device_name == QLatin1String("here"); };
    channel.pump(mutex, claim);
    EXPECT_FALSE(channel.isWaiting());
    EXPECT_FALSE(channel.replyTimer()->isActive());
    channel.pump(mutex, claim);
    EXPECT_EQ(receive(device), QByteArray("TWO\r"));
    EXPECT_TRUE(channel.isWaiting());
}

TEST_F(TextCommandChannelTest, EndWaitLeavesTheTimerAndCloseForgetsEverything) {
    channel.enqueue(command(QStringLiteral("a"), "ONE\r"));
    channel.enqueue(command(QStringLiteral("b"), "TWO\r"));
    channel.pump(mutex, [](const UdpCommand&) { return true; });
    channel.endWait();
    EXPECT_FALSE(channel.isWaiting());
    EXPECT_TRUE(channel.replyTimer()->isActive());
    EXPECT_FALSE(channel.endWaitFrom(kLoopback));

    channel.close();
    EXPECT_EQ(channel.socket(), nullptr);
    EXPECT_FALSE(channel.hasQueued());
    EXPECT_FALSE(channel.replyTimer()->isActive());
    channel.pump(mutex, [](const UdpCommand&) { return true; });
    EXPECT_FALSE(channel.isWaiting());
}

// Unanswered commands, each sent at another phase of the clock: the reply time-out never
// ends before its 250 ms (a coarse timer may end it up to 12 ms early).
TEST(TextCommandReplyTimeOut, EndsNeitherEarlyNorLate) {
    QMutex mutex;
    PeerLogLimit peer_log;
    TextCommandChannel channel(250, channelTest, peer_log);
    channel.open(0);
    QUdpSocket silent;
    ASSERT_TRUE(silent.bind(kLoopback, 0));
    QElapsedTimer clock;
    std::vector<qint64> waited_us;
    QObject::connect(channel.replyTimer(), &QTimer::timeout,
                     [&] { waited_us.push_back(clock.nsecsElapsed() / 1000); });
    for (int i = 0; i < 8; ++i) {
        QTest::qWait(10 + 37 * i);
        channel.endWait();
        channel.enqueue({QStringLiteral("a"), "VERSION\r", kLoopback, silent.localPort()});
        clock.start();
        channel.pump(mutex, [](const UdpCommand&) { return true; });
        QTRY_COMPARE_WITH_TIMEOUT(waited_us.size(), size_t(i + 1), 2000);
    }
    for (const qint64 waited : waited_us) {
        EXPECT_GE(waited, 250000);
        EXPECT_LT(waited, 300000);
    }
}

TEST_F(TextCommandChannelTest, EveryNonEmptyDatagramIsHandedOnWithItsSender) {
    QList<QPair<QHostAddress, QByteArray>> received;
    QObject::connect(&channel, &TextCommandChannel::datagram,
                     [&](QHostAddress& sender, QByteArray& bytes) {
                         received.append({sender, bytes});
                     });
    answer(device, QByteArray());
    answer(other, "ACK VERSION=1.5");
    answer(device, "NACK");
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 2, 2000);
    QTest::qWait(50);
    ASSERT_EQ(received.size(), 2);
    EXPECT_EQ(received.at(0).first, kOtherLoopback);
    EXPECT_EQ(received.at(0).second, QByteArray("ACK VERSION=1.5"));
    EXPECT_EQ(received.at(1).first, kLoopback);
    EXPECT_EQ(received.at(1).second, QByteArray("NACK"));
}

}  // namespace
