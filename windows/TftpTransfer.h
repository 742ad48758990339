#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The wire side of a firmware push, without Qt: the packets, the acknowledgements, the image
// sent block by block from an offset, the state that follows an accepted acknowledgement and
// the count of failed tries. The device window's push and the update utility's push each
// drive one from a state machine of their own; after a failed try that leaves tries to spare,
// both resend the current packet after a pause, unless the right acknowledgement comes first.
class TftpTransfer {
public:
    using Bytes = std::vector<uint8_t>;

    enum State {
        kIdle = 0,
        kCommand = 1,       // "FWUPDATE\r" to send
        kWriteRequest = 2,  // the write request is out or to be sent
        kBlocks = 3,        // full data blocks
        kLastBlock = 4,     // the last, short data block is out
        kEmptyBlock = 5     // the empty closing block is out
    };

    static constexpr uint16_t kDevicePort = 49494;
    static constexpr int kBlockSize = 256;
    // Block numbers are 16 bits and start at 1, so 65535 blocks at the most.
    static constexpr int64_t kMaxImageSize = int64_t(65534) * kBlockSize + kBlockSize - 1;

    struct Ack {
        uint16_t opcode;
        uint16_t block;
    };

    // What an acknowledgement did.
    enum class Accepted {
        kNo,    // not the one awaited: a failed try
        kNext,  // the next packet is due, in nextState()
        kDone   // the last block was acknowledged
    };

    static Bytes updateCommand();
    // The text after the last "/"; the whole path when there is none.
    static std::string bareName(const std::string& path);
    // The opcode and block number of a datagram from the device; nothing when it is shorter
    // than 4 bytes. Further bytes are ignored.
    static std::optional<Ack> readAck(const uint8_t* data, size_t size);
    static bool fits(int64_t image_size) { return image_size <= kMaxImageSize; }

    // More than `retry_limit` failed tries in a row give up.
    explicit TftpTransfer(int retry_limit) : m_retry_limit(retry_limit) {}

    // A new image; the transfer starts over.
    void setImage(Bytes image);
    const Bytes& image() const { return m_image; }
    // Block 0, nothing acknowledged, no failed tries.
    void restart();

    // The packets, built in one buffer that the next packet reuses.
    // Opcode 2, block 0, the bare file name, two zero bytes.
    const Bytes& writeRequest(const std::string& path);
    // Opcode 3, the current block number and the image bytes from the acknowledged offset (none
    // in kEmptyBlock).
    const Bytes& dataBlock(int state);

    // The acknowledgement of the packet last sent, in `state`. An accepted one clears the
    // failed tries and moves past the packet; any other counts nothing (see countFailure).
    Accepted accept(const Ack& ack, int state);
    // kBlocks, kLastBlock or kEmptyBlock, by what is left of the image.
    int nextState() const;
    // One failed try (a time-out or an unexpected acknowledgement); true when that one passes
    // the limit.
    bool countFailure();

    uint16_t block() const { return m_block; }
    int retries() const { return m_retries; }
    size_t acknowledgedBytes() const { return m_offset; }

private:
    const Bytes& packet(uint16_t opcode, const uint8_t* payload, size_t size);

    const int m_retry_limit;
    Bytes m_image;
    size_t m_offset = 0;  // image bytes acknowledged so far
    size_t m_last_sent_size = 0;
    Bytes m_packet;
    uint16_t m_block = 0;
    int m_retries = 0;
};
