#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FakeWire.h"

// The fake configuration service's own dgcp code (20-byte header, body items addressed by
// offsets), kept apart from the client's codec so that a fault in one cannot hide behind
// the other.
namespace sim {

struct DgcpHeader {
    uint16_t protocol = 0x1001;
    uint16_t length = 0;
    uint16_t seqnum = 0;
    uint16_t opcode = 0;
    uint16_t status = 0;
    uint16_t client_port = 0;
    std::array<uint8_t, 8> client_id{};
};

constexpr size_t kDgcpHeaderSize = 20;

// Nothing when fewer than 20 bytes.
std::optional<DgcpHeader> parseDgcpHeader(const Bytes& datagram);
// The header followed by body, the length field set to their size.
Bytes dgcpMessage(DgcpHeader header, const Bytes& body);

// Appends items to a body: arrays and texts on even offsets, numbers on multiples of 4.
class DgcpBodyWriter {
public:
    uint16_t array(uint16_t count);
    void slot(uint16_t array, uint16_t index, uint16_t value);
    uint16_t text(const std::string& text);
    uint16_t number(uint32_t value);
    uint16_t wide(const std::u16string& text);
    uint16_t bytes(const uint8_t* data, size_t size);
    const Bytes& body() const { return m_body; }

private:
    uint16_t alignTo(size_t multiple);
    void put16(size_t at, uint16_t value);
    Bytes m_body;
};

// Reads items of a body; every read fails when its item does not lie within the body.
class DgcpBodyReader {
public:
    DgcpBodyReader(const uint8_t* body, size_t size) : m_body(body), m_size(size) {}
    bool arraySlots(uint16_t offset, std::vector<uint16_t>* out) const;
    bool text(uint16_t offset, std::string* out) const;
    bool number(uint16_t offset, uint32_t* out) const;
    bool wide(uint16_t offset, std::u16string* out) const;
    bool bytes(uint16_t offset, size_t size, Bytes* out) const;

private:
    bool get16(size_t at, uint16_t* value) const;
    bool get32(size_t at, uint32_t* value) const;
    const uint8_t* m_body;
    size_t m_size;
};

}  // namespace sim
