#include "FakeWire.h"

namespace sim {

namespace {

void putVarint(Bytes& out, uint64_t value) {
    while (value >= 0x80) {
        out.push_back(uint8_t(value | 0x80));
        value >>= 7;
    }
    out.push_back(uint8_t(value));
}

bool getVarint(const uint8_t*& p, const uint8_t* end, uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (p == end) {
            return false;
        }
        const uint8_t byte = *p++;
        value |= uint64_t(byte & 0x7F) << shift;
        if (!(byte & 0x80)) {
            return true;
        }
    }
    return false;
}

}  // namespace

uint32_t wireCrc(const uint8_t* data, size_t length) {
    // MSB-first CRC over little-endian 32-bit words, the last word zero-padded.
    uint32_t reg = 0xFFFFFFFFu;
    size_t i = 0;
    while (i < length) {
        uint32_t word = 0;
        for (int k = 0; k < 4; ++k, ++i) {
            const uint32_t byte = i < length ? data[i] : 0;
            word |= byte << (8 * k);
        }
        reg ^= word;
        for (int k = 0; k < 32; ++k) {
            const bool top = reg >> 31;
            reg <<= 1;
            if (top) {
                reg ^= 0x04C11DB7u;
            }
        }
    }
    return reg;
}

Bytes encodeHeader(const WireHeader& header) {
    Bytes out;
    out.push_back(0x08);
    putVarint(out, header.msg_type);
    out.push_back(0x10);
    putVarint(out, header.payload_type);
    out.push_back(0x18);
    putVarint(out, header.seq_num);
    if (header.ack) {
        out.push_back(0x20);
        putVarint(out, *header.ack);
    }
    return out;
}

Bytes encodeFrame(const Bytes& header, const Bytes& payload) {
    Bytes out{0x00, uint8_t(header.size())};
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), payload.begin(), payload.end());
    const uint32_t crc = wireCrc(out.data(), out.size());
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(uint8_t(crc >> shift));
    }
    return out;
}

std::optional<DecodedFrame> decodeFrame(const uint8_t* data, size_t length) {
    if (length < 6 || data[0] != 0x00) {
        return std::nullopt;
    }
    const size_t header_length = data[1];
    if (header_length + 6 > length) {
        return std::nullopt;
    }
    const uint32_t crc = (uint32_t(data[length - 4]) << 24) | (uint32_t(data[length - 3]) << 16) |
                         (uint32_t(data[length - 2]) << 8) | data[length - 1];
    if (wireCrc(data, length - 4) != crc) {
        return std::nullopt;
    }
    DecodedFrame frame;
    const uint8_t* p = data + 2;
    const uint8_t* end = p + header_length;
    bool seen[5] = {};
    while (p < end) {
        uint64_t key = 0, value = 0;
        if (!getVarint(p, end, key) || (key & 7) != 0 || !getVarint(p, end, value)) {
            return std::nullopt;
        }
        const uint64_t field = key >> 3;
        if (field >= 1 && field <= 4) {
            seen[field] = true;
        }
        switch (field) {
            case 1:
                frame.header.msg_type = uint32_t(value);
                break;
            case 2:
                frame.header.payload_type = uint32_t(value);
                break;
            case 3:
                frame.header.seq_num = uint32_t(value);
                break;
            case 4:
                frame.header.ack = uint32_t(value);
                break;
            default:
                break;
        }
    }
    if (!seen[1] || !seen[2] || !seen[3]) {
        return std::nullopt;
    }
    frame.payload.assign(end, data + length - 4);
    return frame;
}

}  // namespace sim
