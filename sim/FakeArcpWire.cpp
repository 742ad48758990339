#include "FakeArcpWire.h"

namespace sim::arcp {

uint16_t get16(const Bytes& bytes, size_t at) {
    return at + 2 <= bytes.size() ? static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]) : 0;
}

uint32_t get32(const Bytes& bytes, size_t at) {
    return at + 4 <= bytes.size() ? uint32_t{get16(bytes, at)} << 16 | get16(bytes, at + 2) : 0;
}

void put16(Bytes& bytes, size_t at, uint16_t value) {
    if (at + 2 <= bytes.size()) {
        bytes[at] = static_cast<uint8_t>(value >> 8);
        bytes[at + 1] = static_cast<uint8_t>(value);
    }
}

Writer::Writer(uint16_t version, uint16_t seqnum, uint16_t opcode, uint16_t status) {
    u16(version);
    u16(0);
    u16(seqnum);
    u16(opcode);
    u16(status);
}

void Writer::body(uint8_t places, uint8_t count) {
    m_bytes.resize(kBodyStart);
    m_bytes[10] = places;
    m_bytes[11] = count;
}

void Writer::u8(uint8_t value) {
    m_bytes.push_back(value);
}

void Writer::u16(uint16_t value) {
    m_bytes.push_back(static_cast<uint8_t>(value >> 8));
    m_bytes.push_back(static_cast<uint8_t>(value));
}

void Writer::u32(uint32_t value) {
    u16(static_cast<uint16_t>(value >> 16));
    u16(static_cast<uint16_t>(value));
}

void Writer::zeros(size_t count) {
    m_bytes.insert(m_bytes.end(), count, 0);
}

void Writer::align(size_t alignment) {
    while (m_bytes.size() % alignment != 0) {
        m_bytes.push_back(0);
    }
}

void Writer::set8(size_t at, uint8_t value) {
    if (at < m_bytes.size()) {
        m_bytes[at] = value;
    }
}

void Writer::set16(size_t at, uint16_t value) {
    put16(m_bytes, at, value);
}

size_t Writer::string(const std::string& text) {
    const size_t at = m_bytes.size();
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
    m_bytes.push_back(0);
    return at;
}

Bytes Writer::finish() {
    put16(m_bytes, 2, static_cast<uint16_t>(m_bytes.size()));
    return m_bytes;
}

bool parseRequest(const uint8_t* data, size_t size, Request* request) {
    if (size < kHeaderSize) {
        return false;
    }
    Request parsed;
    parsed.bytes.assign(data, data + size);
    parsed.version = get16(parsed.bytes, 0);
    parsed.length = get16(parsed.bytes, 2);
    parsed.seqnum = get16(parsed.bytes, 4);
    parsed.opcode = get16(parsed.bytes, 6);
    parsed.result = get16(parsed.bytes, 8);
    if (parsed.length != size) {
        return false;
    }
    *request = std::move(parsed);
    return true;
}

std::vector<std::pair<uint16_t, uint16_t>> ranges(const Request& request) {
    std::vector<std::pair<uint16_t, uint16_t>> found;
    if (request.bytes.size() < kBodyStart) {
        return found;
    }
    const size_t count = request.bytes[11];
    for (size_t i = 0; i < count && kBodyStart + i * 4 + 4 <= request.bytes.size(); ++i) {
        found.emplace_back(get16(request.bytes, kBodyStart + i * 4),
                           get16(request.bytes, kBodyStart + i * 4 + 2));
    }
    return found;
}

std::vector<uint16_t> rangeIds(uint16_t first, uint16_t last, uint16_t highest) {
    std::vector<uint16_t> ids;
    unsigned from = first == 0 ? last : first;
    unsigned to = last == 0 ? highest : last;
    if (to > highest) {
        to = highest;
    }
    for (unsigned id = from < 1 ? 1 : from; id <= to; ++id) {
        ids.push_back(static_cast<uint16_t>(id));
    }
    return ids;
}

std::vector<uint16_t> values(const Request& request) {
    std::vector<uint16_t> found;
    if (request.bytes.size() < kBodyStart) {
        return found;
    }
    const size_t count = request.bytes[11];
    for (size_t i = 0; i < count && kBodyStart + i * 2 + 2 <= request.bytes.size(); ++i) {
        found.push_back(get16(request.bytes, kBodyStart + i * 2));
    }
    return found;
}

std::string stringAt(const Bytes& bytes, size_t offset) {
    std::string text;
    for (size_t i = offset; offset != 0 && i < bytes.size() && bytes[i] != 0; ++i) {
        text.push_back(static_cast<char>(bytes[i]));
    }
    return text;
}

}  // namespace sim::arcp
