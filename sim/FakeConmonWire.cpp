#include "FakeConmonWire.h"

#include <algorithm>

namespace sim::conmonwire {

const VendorId kStandardVendor = {'S', 'o', 'n', 'a', 'v', 'e', 'n', 't'};
const VendorId kOvaltaVendor = {'O', 'v', 'a', 'l', 't', 'a', 'T', 0};

void putLe16(Bytes& out, uint16_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void putLe32(Bytes& out, uint32_t value) {
    putLe16(out, uint16_t(value));
    putLe16(out, uint16_t(value >> 16));
}

void putBe16(Bytes& out, uint16_t value) {
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

void putBe32(Bytes& out, uint32_t value) {
    putBe16(out, uint16_t(value >> 16));
    putBe16(out, uint16_t(value));
}

void putField(Bytes& out, const std::string& text, size_t size) {
    const size_t n = std::min(text.size(), size);
    out.insert(out.end(), text.begin(), text.begin() + long(n));
    out.insert(out.end(), size - n, 0);
}

void padTo(Bytes& out, size_t size) {
    if (out.size() < size) {
        out.resize(size, 0);
    }
}

uint16_t le16(const Bytes& in, size_t offset) {
    return offset + 2 <= in.size() ? uint16_t(in[offset] | in[offset + 1] << 8) : 0;
}

uint16_t be16(const Bytes& in, size_t offset) {
    return offset + 2 <= in.size() ? uint16_t(in[offset] << 8 | in[offset + 1]) : 0;
}

std::string textAt(const Bytes& in, size_t offset, size_t max) {
    std::string text;
    for (size_t i = offset; i < in.size() && i - offset < max && in[i] != 0; ++i) {
        text.push_back(char(in[i]));
    }
    return text;
}

std::optional<ControlHeader> readControl(const Bytes& datagram) {
    if (datagram.size() < kControlHead) {
        return std::nullopt;
    }
    ControlHeader header;
    header.version = le16(datagram, 0);
    header.length = le16(datagram, 2);
    header.sequence = le16(datagram, 4);
    header.opcode = le16(datagram, 6);
    header.status = le16(datagram, 8) & 0x0FFF;
    header.flags = le16(datagram, 8) >> 12;
    return header;
}

Bytes control(uint16_t version, uint16_t sequence, uint16_t opcode, uint16_t status,
              const Bytes& body) {
    Bytes out;
    putLe16(out, version);
    putLe16(out, uint16_t(kControlHead + body.size()));
    putLe16(out, sequence);
    putLe16(out, opcode);
    putLe16(out, status);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes channel(const ChannelMessage& message) {
    Bytes out;
    putBe16(out, message.type);
    putBe16(out, uint16_t(kChannelHead + message.body.size()));
    putBe16(out, message.sequence);
    putBe16(out, message.process_id);
    out.insert(out.end(), message.device_id.begin(), message.device_id.end());
    out.insert(out.end(), message.vendor_id.begin(), message.vendor_id.end());
    out.insert(out.end(), message.body.begin(), message.body.end());
    return out;
}

std::optional<ChannelMessage> readChannel(const Bytes& datagram, size_t offset) {
    if (offset > datagram.size() || datagram.size() - offset < kChannelHead) {
        return std::nullopt;
    }
    const size_t length = be16(datagram, offset + 2);
    if (length < kChannelHead || length > datagram.size() - offset) {
        return std::nullopt;
    }
    ChannelMessage message;
    message.type = be16(datagram, offset);
    message.sequence = be16(datagram, offset + 4);
    message.process_id = be16(datagram, offset + 6);
    std::copy_n(datagram.begin() + long(offset + 8), 8, message.device_id.begin());
    std::copy_n(datagram.begin() + long(offset + 16), 8, message.vendor_id.begin());
    message.body.assign(datagram.begin() + long(offset + kChannelHead),
                        datagram.begin() + long(offset + length));
    return message;
}

}  // namespace sim::conmonwire
