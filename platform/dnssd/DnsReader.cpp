#include "DnsReader.h"

namespace vireo_dnssd {

bool DnsReader::u8(uint8_t& value) {
    if (remaining() < 1) {
        return false;
    }
    value = m_data[m_pos++];
    return true;
}

bool DnsReader::u16(uint16_t& value) {
    if (remaining() < 2) {
        return false;
    }
    value = uint16_t(m_data[m_pos] << 8 | m_data[m_pos + 1]);
    m_pos += 2;
    return true;
}

bool DnsReader::u32(uint32_t& value) {
    if (remaining() < 4) {
        return false;
    }
    value = uint32_t(m_data[m_pos]) << 24 | uint32_t(m_data[m_pos + 1]) << 16 |
            uint32_t(m_data[m_pos + 2]) << 8 | uint32_t(m_data[m_pos + 3]);
    m_pos += 4;
    return true;
}

bool DnsReader::skip(size_t count) {
    if (remaining() < count) {
        return false;
    }
    m_pos += count;
    return true;
}

bool DnsReader::name(Labels& out) {
    Labels labels;
    size_t at = m_pos;
    size_t lowest = m_pos;  // a pointer must lead before this
    size_t end = 0;         // where the reader continues: after the first pointer or the zero
    size_t length = 1;
    for (;;) {
        if (at >= m_size) {
            return false;
        }
        const uint8_t head = m_data[at];
        if ((head & 0xc0) == 0xc0) {
            if (at + 1 >= m_size) {
                return false;
            }
            const size_t target = size_t(head & 0x3f) << 8 | m_data[at + 1];
            if (target >= lowest) {
                return false;
            }
            if (end == 0) {
                end = at + 2;
            }
            lowest = target;
            at = target;
            continue;
        }
        if (head & 0xc0) {
            return false;  // extended label types are not used on the link
        }
        if (head == 0) {
            if (end == 0) {
                end = at + 1;
            }
            break;
        }
        length += 1 + head;
        if (length > kMaxName || m_size - at - 1 < head) {
            return false;
        }
        labels.emplace_back(reinterpret_cast<const char*>(m_data + at + 1), head);
        at += 1 + head;
    }
    out = std::move(labels);
    m_pos = end;
    return true;
}

}  // namespace vireo_dnssd
