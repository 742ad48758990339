#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The fake conmon server's own wire code: control messages in little-endian order (the host's),
// channel messages and their bodies big-endian. Kept apart from the client's codec.
namespace sim::conmonwire {

using Bytes = std::vector<uint8_t>;
using DeviceId = std::array<uint8_t, 8>;
using VendorId = std::array<uint8_t, 8>;

constexpr size_t kControlHead = 10;
constexpr size_t kChannelHead = 24;
extern const VendorId kStandardVendor;  // "Sonavent"
extern const VendorId kOvaltaVendor;    // "OvaltaT" and a zero byte

void putLe16(Bytes& out, uint16_t value);
void putLe32(Bytes& out, uint32_t value);
void putBe16(Bytes& out, uint16_t value);
void putBe32(Bytes& out, uint32_t value);
// text in a field of size bytes, padded with zeros (cut to the field when longer).
void putField(Bytes& out, const std::string& text, size_t size);
void padTo(Bytes& out, size_t size);

// Values at offset; 0 when they lie past the end.
uint16_t le16(const Bytes& in, size_t offset);
uint16_t be16(const Bytes& in, size_t offset);
// The text at offset up to its first zero, at most max bytes.
std::string textAt(const Bytes& in, size_t offset, size_t max);

struct ControlHeader {
    uint16_t version = 0;
    uint16_t length = 0;
    uint16_t sequence = 0;
    uint16_t opcode = 0;
    uint16_t status = 0;  // low 12 bits
    uint16_t flags = 0;   // high 4 bits
};

std::optional<ControlHeader> readControl(const Bytes& datagram);
// A whole control message: the header (length 10 + body) and the body.
Bytes control(uint16_t version, uint16_t sequence, uint16_t opcode, uint16_t status,
              const Bytes& body);

struct ChannelMessage {
    uint16_t type = 0;
    uint16_t sequence = 0;
    uint16_t process_id = 0;
    DeviceId device_id{};
    VendorId vendor_id{};
    Bytes body;
};

// A channel message with length 24 + body.
Bytes channel(const ChannelMessage& message);
// The channel message at offset, when its length field fits the datagram.
std::optional<ChannelMessage> readChannel(const Bytes& datagram, size_t offset);

}  // namespace sim::conmonwire
