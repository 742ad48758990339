#include <gtest/gtest.h>

#include "TftpTransfer.h"

namespace {

using Bytes = TftpTransfer::Bytes;

TEST(TftpTransfer, AcknowledgementsShorterThanFourBytesAreIgnored) {
    const uint8_t datagram[] = {0x00, 0x04, 0x12, 0x34, 0xFF, 0xFF};
    for (size_t size = 0; size < 4; ++size) {
        EXPECT_FALSE(TftpTransfer::readAck(datagram, size)) << size;
    }
    for (size_t size : {4u, 6u}) {
        const auto ack = TftpTransfer::readAck(datagram, size);
        ASSERT_TRUE(ack);
        EXPECT_EQ(ack->opcode, 4);
        EXPECT_EQ(ack->block, 0x1234);
    }
}

TEST(TftpTransfer, WriteRequestCarriesTheBareName) {
    EXPECT_EQ(TftpTransfer::bareName("/home/u/fw.bin"), "fw.bin");
    EXPECT_EQ(TftpTransfer::bareName("fw.bin"), "fw.bin");
    EXPECT_EQ(TftpTransfer::bareName("dir/"), "");
    TftpTransfer transfer(5);
    EXPECT_EQ(transfer.writeRequest("/tmp/a.b"), Bytes({0, 2, 0, 0, 'a', '.', 'b', 0, 0}));
    EXPECT_EQ(TftpTransfer::updateCommand(), Bytes({'F', 'W', 'U', 'P', 'D', 'A', 'T', 'E', '\r'}));
}

TEST(TftpTransfer, FailedTriesPassingTheLimitGiveUpAndAnAcceptedAckClearsThem) {
    TftpTransfer transfer(5);
    transfer.setImage(Bytes(10, 7));
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(transfer.countFailure());
    }
    EXPECT_EQ(transfer.accept({4, 1}, TftpTransfer::kWriteRequest), TftpTransfer::Accepted::kNo);
    EXPECT_EQ(transfer.accept({4, 0}, TftpTransfer::kWriteRequest), TftpTransfer::Accepted::kNext);
    EXPECT_EQ(transfer.retries(), 0);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(transfer.countFailure());
    }
    EXPECT_TRUE(transfer.countFailure());
}

// The largest image takes every block number from 1 to 65535 and arrives whole.
TEST(TftpTransfer, LargestImageUsesEveryBlockNumberOnce) {
    EXPECT_TRUE(TftpTransfer::fits(16776959));
    EXPECT_FALSE(TftpTransfer::fits(16776960));
    Bytes image(size_t(TftpTransfer::kMaxImageSize));
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = uint8_t(i * 7 + i / 256);
    }
    TftpTransfer transfer(10);
    transfer.setImage(image);
    transfer.writeRequest("fw.bin");
    ASSERT_EQ(transfer.accept({4, 0}, TftpTransfer::kWriteRequest), TftpTransfer::Accepted::kNext);
    Bytes received;
    int state = transfer.nextState();
    for (uint32_t expected = 1;; ++expected) {
        const Bytes block = transfer.dataBlock(state);
        ASSERT_EQ(uint32_t((block[2] << 8) | block[3]), expected);
        received.insert(received.end(), block.begin() + 4, block.end());
        const auto accepted = transfer.accept({4, transfer.block()}, state);
        if (accepted == TftpTransfer::Accepted::kDone) {
            EXPECT_EQ(expected, 65535u);
            EXPECT_EQ(block.size(), 4u + 255u);
            break;
        }
        ASSERT_EQ(accepted, TftpTransfer::Accepted::kNext);
        state = transfer.nextState();
    }
    EXPECT_EQ(received, image);
}

}  // namespace
