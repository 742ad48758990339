#include "FakeDgcpWire.h"

#include <cstring>

namespace sim {

namespace {

uint16_t read16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] << 8 | at[1]);
}

void append16(Bytes* out, uint16_t value) {
    out->push_back(static_cast<uint8_t>(value >> 8));
    out->push_back(static_cast<uint8_t>(value & 0xFF));
}

}  // namespace

std::optional<DgcpHeader> parseDgcpHeader(const Bytes& datagram) {
    if (datagram.size() < kDgcpHeaderSize) {
        return std::nullopt;
    }
    const uint8_t* d = datagram.data();
    DgcpHeader header;
    header.protocol = read16(d);
    header.length = read16(d + 2);
    header.seqnum = read16(d + 4);
    header.opcode = read16(d + 6);
    header.status = read16(d + 8);
    header.client_port = read16(d + 10);
    std::memcpy(header.client_id.data(), d + 12, header.client_id.size());
    return header;
}

Bytes dgcpMessage(DgcpHeader header, const Bytes& body) {
    header.length = static_cast<uint16_t>(kDgcpHeaderSize + body.size());
    Bytes out;
    for (uint16_t field : {header.protocol, header.length, header.seqnum, header.opcode,
                           header.status, header.client_port}) {
        append16(&out, field);
    }
    out.insert(out.end(), header.client_id.begin(), header.client_id.end());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

uint16_t DgcpBodyWriter::alignTo(size_t multiple) {
    while (m_body.size() % multiple != 0) {
        m_body.push_back(0);
    }
    return static_cast<uint16_t>(m_body.size());
}

void DgcpBodyWriter::put16(size_t at, uint16_t value) {
    m_body[at] = static_cast<uint8_t>(value >> 8);
    m_body[at + 1] = static_cast<uint8_t>(value & 0xFF);
}

uint16_t DgcpBodyWriter::array(uint16_t count) {
    const uint16_t at = alignTo(2);
    append16(&m_body, count);
    m_body.resize(m_body.size() + 2 * size_t{count}, 0);
    return at;
}

void DgcpBodyWriter::slot(uint16_t array, uint16_t index, uint16_t value) {
    put16(array + 2 + 2 * size_t{index}, value);
}

uint16_t DgcpBodyWriter::text(const std::string& text) {
    const uint16_t at = alignTo(2);
    m_body.insert(m_body.end(), text.begin(), text.end());
    m_body.push_back(0);
    alignTo(2);
    return at;
}

uint16_t DgcpBodyWriter::number(uint32_t value) {
    const uint16_t at = alignTo(4);
    append16(&m_body, static_cast<uint16_t>(value >> 16));
    append16(&m_body, static_cast<uint16_t>(value & 0xFFFF));
    return at;
}

uint16_t DgcpBodyWriter::wide(const std::u16string& text) {
    const uint16_t at = alignTo(4);
    for (char16_t unit : text) {
        number(unit);
    }
    number(0);
    return at;
}

uint16_t DgcpBodyWriter::bytes(const uint8_t* data, size_t size) {
    const uint16_t at = alignTo(2);
    m_body.insert(m_body.end(), data, data + size);
    alignTo(2);
    return at;
}

bool DgcpBodyReader::get16(size_t at, uint16_t* value) const {
    if (at + 2 > m_size) {
        return false;
    }
    *value = read16(m_body + at);
    return true;
}

bool DgcpBodyReader::get32(size_t at, uint32_t* value) const {
    uint16_t high = 0;
    uint16_t low = 0;
    if (!get16(at, &high) || !get16(at + 2, &low)) {
        return false;
    }
    *value = uint32_t{high} << 16 | low;
    return true;
}

bool DgcpBodyReader::arraySlots(uint16_t offset, std::vector<uint16_t>* out) const {
    uint16_t count = 0;
    if (offset % 2 != 0 || !get16(offset, &count) || offset + 2 + 2 * size_t{count} > m_size) {
        return false;
    }
    out->resize(count);
    for (uint16_t i = 0; i < count; ++i) {
        get16(offset + 2 + 2 * size_t{i}, &(*out)[i]);
    }
    return true;
}

bool DgcpBodyReader::text(uint16_t offset, std::string* out) const {
    out->clear();
    for (size_t at = offset; at < m_size; ++at) {
        if (m_body[at] == 0) {
            return true;
        }
        out->push_back(static_cast<char>(m_body[at]));
    }
    return false;
}

bool DgcpBodyReader::number(uint16_t offset, uint32_t* out) const {
    return offset % 4 == 0 && get32(offset, out);
}

bool DgcpBodyReader::wide(uint16_t offset, std::u16string* out) const {
    out->clear();
    for (size_t at = offset;; at += 4) {
        uint32_t unit = 0;
        if (!get32(at, &unit) || unit > 0xFFFF) {
            return false;
        }
        if (unit == 0) {
            return true;
        }
        out->push_back(static_cast<char16_t>(unit));
    }
}

bool DgcpBodyReader::bytes(uint16_t offset, size_t size, Bytes* out) const {
    if (offset + size > m_size) {
        return false;
    }
    out->assign(m_body + offset, m_body + offset + size);
    return true;
}

}  // namespace sim
