#pragma once

#include <cstddef>
#include <cstdint>

#include "DnsName.h"

namespace vireo_dnssd {

// The one bounds-checked reader over a DNS message: every read checks the bytes left and
// fails without moving when they are too few.
class DnsReader {
public:
    DnsReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    size_t position() const { return m_pos; }
    size_t remaining() const { return m_size - m_pos; }

    bool u8(uint8_t& value);
    bool u16(uint16_t& value);
    bool u32(uint32_t& value);
    bool skip(size_t count);
    // A possibly compressed name: labels up to 63 bytes, at most 255 bytes in all, pointers
    // only to offsets before every byte of the name read so far.
    bool name(Labels& out);

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

}  // namespace vireo_dnssd
