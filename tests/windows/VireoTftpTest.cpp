#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>

#include <chrono>

#include "FakeDevice.h"
#include "VireoDevice.h"
#include "VireoTftp.h"

namespace {

using sim::FakeFault;

// A time-out long enough that a loaded machine does not resend by mistake.
VireoTftp::Timing shortTiming(int ack_timeout_ms = 1000) {
    VireoTftp::Timing timing;
    timing.command_pause_ms = 30;
    timing.ack_timeout_ms = ack_timeout_ms;
    timing.resend_pause_ms = 10;
    return timing;
}

QByteArray pattern(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[i] = char((i * 7 + i / 256) & 0xFF);
    }
    return bytes;
}

class Tftp : public ::testing::Test {
protected:
    explicit Tftp(const VireoTftp::Timing& timing = shortTiming()) : m_tftp(nullptr, timing) {}

    void SetUp() override {
        ASSERT_TRUE(m_fake.start());
        m_record.setIpAddress(QHostAddress(QStringLiteral("127.0.0.1")));
    }

    QString writeImage(const QByteArray& bytes, const QString& name = QStringLiteral("fw.bin")) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    // Runs one push to its end; true when it finished, false when it failed.
    bool push(VireoDevice* device, const QString& path) {
        m_tftp.start(device, path);
        for (int i = 0; i < 100 && m_finished.count() + m_failed.count() == m_ends; ++i) {
            m_finished.wait(100);
        }
        const bool finished = m_finished.count() > m_finished_before;
        m_finished_before = m_finished.count();
        m_ends = m_finished.count() + m_failed.count();
        return finished;
    }

    // Payload sizes of the data blocks the fake saw, in order.
    std::vector<size_t> blockSizes() const {
        std::vector<size_t> sizes;
        for (const auto& datagram : m_fake.log()) {
            if (datagram.bytes.size() >= 4 && datagram.bytes[0] == 0 && datagram.bytes[1] == 3) {
                sizes.push_back(datagram.bytes.size() - 4);
            }
        }
        return sizes;
    }

    std::vector<std::pair<int, int>> progress() const {
        std::vector<std::pair<int, int>> steps;
        for (const auto& args : m_progress) {
            steps.emplace_back(args.at(1).toInt(), args.at(2).toInt());
        }
        return steps;
    }

    QTemporaryDir m_dir;
    sim::FakeDevice m_fake{"127.0.0.1"};
    VireoDevice m_record;
    VireoTftp m_tftp;
    QSignalSpy m_finished{&m_tftp, &VireoTftp::finishedUpdate};
    QSignalSpy m_failed{&m_tftp, &VireoTftp::errorPerformingUpdate};
    QSignalSpy m_progress{&m_tftp, &VireoTftp::updateProgress};
    int m_finished_before = 0;
    int m_ends = 0;
};

struct ImageCase {
    int size;
    std::vector<size_t> blocks;
    std::vector<std::pair<int, int>> progress;
};

class TftpImages : public Tftp, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(TftpImages, ArriveByteExact) {
    const ImageCase& c = GetParam();
    const QByteArray image = pattern(c.size);
    ASSERT_TRUE(push(&m_record, writeImage(image)));
    EXPECT_TRUE(m_fake.firmwareComplete());
    EXPECT_EQ(m_fake.firmwareName(), "fw.bin");
    const sim::Bytes received = m_fake.firmwareImage();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(received.data()), int(received.size())),
              image);
    EXPECT_EQ(blockSizes(), c.blocks);
    EXPECT_EQ(progress(), c.progress);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, TftpImages,
    ::testing::Values(ImageCase{300, {256, 44}, {{1, 2}, {2, 2}, {2, 2}}},
                      ImageCase{512, {256, 256, 0}, {{1, 2}, {2, 2}, {3, 2}, {2, 2}}},
                      ImageCase{
                          1000, {256, 256, 256, 232}, {{1, 4}, {2, 4}, {3, 4}, {4, 4}, {4, 4}}}));

TEST_F(Tftp, CommandThenWriteRequestWithTheBareFileName) {
    ASSERT_TRUE(push(&m_record, writeImage(pattern(10), QStringLiteral("img-v2.bin"))));
    const auto log = m_fake.log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0].bytes, sim::Bytes({'F', 'W', 'U', 'P', 'D', 'A', 'T', 'E', '\r'}));
    EXPECT_EQ(log[1].bytes,
              sim::Bytes({0, 2, 0, 0, 'i', 'm', 'g', '-', 'v', '2', '.', 'b', 'i', 'n', 0, 0}));
}

// Pushes that wait out time-outs.
class TftpTimeouts : public Tftp {
protected:
    TftpTimeouts() : Tftp(shortTiming(100)) {}
};

TEST_F(TftpTimeouts, LostOrWrongAcknowledgementsAreRecovered) {
    // Datagram 1 is the command, 2 the write request, 3 the first block.
    m_fake.scriptFaults(
        {{}, {}, {FakeFault::kSilence}, {FakeFault::kDuplicateAck}, {FakeFault::kWrongAck}});
    const QByteArray image = pattern(700);
    ASSERT_TRUE(push(&m_record, writeImage(image)));
    const sim::Bytes received = m_fake.firmwareImage();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(received.data()), int(received.size())),
              image);
}

TEST_F(TftpTimeouts, SixSilentTimeoutsFail) {
    m_fake.setSilent(true);
    // The push has stopped when its end is reported: a modal box must not see it go on.
    bool busy_at_end = true;
    QObject::connect(&m_tftp, &VireoTftp::errorPerformingUpdate,
                     [&](VireoDevice*) { busy_at_end = m_tftp.isBusy(); });
    EXPECT_FALSE(push(&m_record, writeImage(pattern(600))));
    ASSERT_EQ(m_failed.count(), 1);
    EXPECT_EQ(progress().back(), std::make_pair(0, 3));
    EXPECT_EQ(m_fake.log().size(), 1u + 6u);  // the command, then the write request six times
    EXPECT_FALSE(busy_at_end);
}

// The product's time-out and resend pause, with two tries and a pause after "FWUPDATE" of
// 2 s in place of 10 s.
class TftpProductTimings : public Tftp {
protected:
    static VireoTftp::Timing twoTries() {
        VireoTftp::Timing timing;
        timing.command_pause_ms = 2000;
        timing.retry_limit = 1;
        return timing;
    }

    TftpProductTimings() : Tftp(twoTries()) {}
};

TEST_F(TftpProductTimings, SilentDeviceIsAskedAt2And4Point1SecondsAndFailsAt6Point1) {
    m_fake.setSilent(true);
    std::chrono::steady_clock::time_point failed_at;
    QObject::connect(&m_tftp, &VireoTftp::errorPerformingUpdate,
                     [&](VireoDevice*) { failed_at = std::chrono::steady_clock::now(); });
    m_tftp.start(&m_record, writeImage(pattern(600)));
    ASSERT_TRUE(m_failed.wait(10000));
    const auto log = m_fake.log();
    ASSERT_EQ(log.size(), 3u);  // the command, then the write request twice
    const auto since_command = [&](std::chrono::steady_clock::time_point when) {
        return double(std::chrono::duration_cast<std::chrono::microseconds>(when - log[0].when)
                          .count()) /
               1000;
    };
    EXPECT_NEAR(since_command(log[1].when), 2000, 50);
    EXPECT_NEAR(since_command(log[2].when), 4100, 50);
    EXPECT_NEAR(since_command(failed_at), 6100, 50);
}

TEST_F(Tftp, ImagesThatCannotBePushedFailBeforeTheCommand) {
    const QString too_large =
        writeImage(QByteArray(int(VireoTftp::kMaxImageSize) + 1, 'x'), QStringLiteral("big.bin"));
    for (const QString& path : {m_dir.filePath(QStringLiteral("missing.bin")),
                                writeImage({}, QStringLiteral("empty.bin")), too_large}) {
        EXPECT_FALSE(push(&m_record, path)) << path.toStdString();
    }
    EXPECT_EQ(m_failed.count(), 3);
    EXPECT_FALSE(m_fake.waitForDatagrams(1, std::chrono::milliseconds(50)));
}

TEST_F(Tftp, SecondPushGoesOnlyToTheSecondDevice) {
    ASSERT_TRUE(push(&m_record, writeImage(pattern(300))));
    sim::FakeDevice second("127.0.0.2");
    ASSERT_TRUE(second.start());
    VireoDevice other;
    other.setIpAddress(QHostAddress(QStringLiteral("127.0.0.2")));
    const size_t first_count = m_fake.log().size();
    ASSERT_TRUE(push(&other, writeImage(pattern(400), QStringLiteral("b.bin"))));
    EXPECT_EQ(m_fake.log().size(), first_count);
    EXPECT_EQ(second.firmwareName(), "b.bin");
    EXPECT_EQ(second.firmwareImage().size(), 400u);
}

TEST_F(Tftp, StartWhileBusyIsIgnored) {
    QSignalSpy starting(&m_tftp, &VireoTftp::startingUpdate);
    const QString path = writeImage(pattern(300));
    m_tftp.start(&m_record, path);
    EXPECT_TRUE(m_tftp.isBusy());
    m_tftp.start(&m_record, path);
    EXPECT_EQ(starting.count(), 1);
    ASSERT_TRUE(m_finished.wait(2000));
    EXPECT_EQ(m_fake.log().size(), 4u);  // command, write request, two blocks
}

}  // namespace
