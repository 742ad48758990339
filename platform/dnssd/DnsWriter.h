#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "DnsName.h"

namespace vireo_dnssd {

// Writes one DNS message. Each name is compressed against the names written before it in the
// same message (exact bytes, so that a reader gets the very labels back); what was written
// past a size can be taken back.
class DnsWriter {
public:
    size_t size() const { return m_out.size(); }
    const Bytes& bytes() const { return m_out; }

    void u16(uint16_t value);
    void u32(uint32_t value);
    void raw(const uint8_t* data, size_t size);
    void name(const Labels& name);
    // Overwrites two bytes already written.
    void set16(size_t at, uint16_t value);
    // Drops every byte from `size` on, and the names there as targets of compression.
    void truncate(size_t size);

private:
    static constexpr size_t kMaxPointer = 0x3fff;

    Bytes m_out;
    std::map<std::string, uint16_t> m_suffixes;  // a name's wire form (no final zero): offset
};

}  // namespace vireo_dnssd
