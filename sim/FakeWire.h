#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The fake device's own framing: kept apart from the client's codec so that a fault in one
// cannot hide behind the other.
namespace sim {

using Bytes = std::vector<uint8_t>;

uint32_t wireCrc(const uint8_t* data, size_t length);

struct WireHeader {
    uint32_t msg_type = 0;
    uint32_t payload_type = 0;
    uint32_t seq_num = 0;
    std::optional<uint32_t> ack;
};

// Encodes the header fields as protobuf varints, in field order.
Bytes encodeHeader(const WireHeader& header);

// A whole frame: 0x00, header length, header, payload, big-endian CRC.
Bytes encodeFrame(const Bytes& header, const Bytes& payload);

struct DecodedFrame {
    WireHeader header;
    Bytes payload;
};

// Checks length, CRC and the three required header fields; nothing on failure.
std::optional<DecodedFrame> decodeFrame(const uint8_t* data, size_t length);

}  // namespace sim
