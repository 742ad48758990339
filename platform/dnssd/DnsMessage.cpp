#include "DnsMessage.h"

#include <algorithm>

#include "DnsReader.h"

namespace vireo_dnssd {

namespace {

bool holdsName(uint16_t type) {
    return type == kTypePtr || type == kTypeCname || type == kTypeNs;
}

// The bytes are one whole name as rdataName reads it: labels of 1..63 bytes without pointers,
// at most 255 bytes, the final zero the last byte.
bool plainName(const Bytes& data) {
    size_t at = 0;
    while (at < data.size() && at < kMaxName) {
        const uint8_t length = data[at];
        if (length == 0) {
            return at + 1 == data.size();
        }
        if (length > kMaxLabel) {
            return false;
        }
        at += 1 + length;
    }
    return false;
}

bool readName(DnsReader& reader, size_t end, Bytes& out) {
    Labels name;
    if (!reader.name(name) || reader.position() > end) {
        return false;
    }
    appendWire(out, name);
    return true;
}

// Checks the record data of the types we read and stores names uncompressed.
bool readRdata(const uint8_t* data, DnsReader& reader, uint16_t type, uint16_t length, Bytes& out) {
    const size_t start = reader.position();
    if (reader.remaining() < length) {
        return false;
    }
    const size_t end = start + length;
    switch (type) {
        case kTypeA:
        case kTypeAaaa:
            if (length != (type == kTypeA ? 4 : 16)) {
                return false;
            }
            break;
        case kTypeNs:
        case kTypeCname:
        case kTypePtr:
            return readName(reader, end, out) && reader.position() == end;
        case kTypeSrv: {
            if (length < 7) {
                return false;
            }
            out.assign(data + start, data + start + 6);
            reader.skip(6);
            return readName(reader, end, out) && reader.position() == end;
        }
        case kTypeTxt: {
            size_t at = start;
            while (at < end) {
                at += 1 + data[at];
            }
            if (at != end) {
                return false;
            }
            break;
        }
        default:
            break;
    }
    out.assign(data + start, data + end);
    return reader.skip(length);
}

bool readRecords(const uint8_t* data, DnsReader& reader, uint16_t count,
                 std::vector<DnsRecord>& out) {
    for (uint16_t i = 0; i < count; ++i) {
        DnsRecord record;
        uint16_t rrclass = 0;
        uint16_t length = 0;
        if (!reader.name(record.name) || !reader.u16(record.type) || !reader.u16(rrclass) ||
            !reader.u32(record.ttl) || !reader.u16(length) ||
            !readRdata(data, reader, record.type, length, record.rdata)) {
            return false;
        }
        record.rrclass = rrclass & 0x7fff;
        record.cache_flush = (rrclass & 0x8000) != 0;
        if (record.ttl & 0x80000000u) {
            record.ttl = 0;  // a TTL with the top bit set counts as zero
        }
        out.push_back(std::move(record));
    }
    return true;
}

}  // namespace

std::optional<DnsMessage> parseDnsMessage(const uint8_t* data, size_t size) {
    if (data == nullptr || size > kMaxDatagram) {
        return std::nullopt;
    }
    DnsReader reader(data, size);
    DnsMessage message;
    uint16_t counts[4] = {};
    if (!reader.u16(message.id) || !reader.u16(message.flags)) {
        return std::nullopt;
    }
    for (uint16_t& count : counts) {
        if (!reader.u16(count)) {
            return std::nullopt;
        }
    }
    for (uint16_t i = 0; i < counts[0]; ++i) {
        DnsQuestion question;
        uint16_t rrclass = 0;
        if (!reader.name(question.name) || !reader.u16(question.type) || !reader.u16(rrclass)) {
            return std::nullopt;
        }
        question.rrclass = rrclass & 0x7fff;
        question.unicast_response = (rrclass & 0x8000) != 0;
        message.questions.push_back(std::move(question));
    }
    if (!readRecords(data, reader, counts[1], message.answers) ||
        !readRecords(data, reader, counts[2], message.authorities) ||
        !readRecords(data, reader, counts[3], message.additionals)) {
        return std::nullopt;
    }
    return message;
}

std::optional<Labels> rdataName(const Bytes& rdata) {
    DnsReader reader(rdata.data(), rdata.size());
    Labels name;
    if (!reader.name(name) || reader.remaining() != 0) {
        return std::nullopt;
    }
    return name;
}

std::optional<SrvData> rdataSrv(const Bytes& rdata) {
    DnsReader reader(rdata.data(), rdata.size());
    SrvData srv;
    if (!reader.u16(srv.priority) || !reader.u16(srv.weight) || !reader.u16(srv.port) ||
        !reader.name(srv.target) || reader.remaining() != 0) {
        return std::nullopt;
    }
    return srv;
}

bool sameRdata(uint16_t type, const Bytes& a, const Bytes& b) {
    if (!holdsName(type)) {
        return a == b;
    }
    // Lengths are at most 63, below every letter, so equal bytes but for case make equal labels.
    return plainName(a) && plainName(b) && a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](uint8_t x, uint8_t y) {
               return asciiLower(char(x)) == asciiLower(char(y));
           });
}

bool appendRdataKey(std::string& key, uint16_t type, const Bytes& rdata) {
    if (!holdsName(type)) {
        key.append(rdata.begin(), rdata.end());
        return true;
    }
    if (!plainName(rdata)) {
        return false;
    }
    for (const uint8_t byte : rdata) {
        key += asciiLower(char(byte));
    }
    return true;
}

}  // namespace vireo_dnssd
