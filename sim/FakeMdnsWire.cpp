#include "FakeMdnsWire.h"

#include <cctype>

namespace sim::mdns {

namespace {

void add16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

void addRecord(std::vector<uint8_t>& out, const WireRecord& record) {
    const auto name = nameBytes(record.name);
    out.insert(out.end(), name.begin(), name.end());
    add16(out, record.type);
    add16(out, record.cache_flush ? 0x8001 : 0x0001);
    add16(out, record.ttl >> 16);
    add16(out, record.ttl & 0xffff);
    add16(out, uint32_t(record.rdata.size()));
    out.insert(out.end(), record.rdata.begin(), record.rdata.end());
}

// Reads names (with pointers to earlier bytes) and numbers, failing past the end.
struct Cursor {
    const uint8_t* data;
    size_t length;
    size_t at = 0;

    bool number(uint32_t& value, int bytes) {
        if (length - at < size_t(bytes)) {
            return false;
        }
        value = 0;
        for (int i = 0; i < bytes; ++i) {
            value = value << 8 | data[at++];
        }
        return true;
    }

    bool name(Name& out) {
        size_t p = at;
        size_t floor = at;
        bool jumped = false;
        out.clear();
        for (int steps = 0; steps < 128; ++steps) {
            if (p >= length) {
                return false;
            }
            const uint8_t size = data[p];
            if (size >= 0xc0) {
                if (p + 1 >= length) {
                    return false;
                }
                const size_t to = size_t(size & 0x3f) << 8 | data[p + 1];
                if (to >= floor) {
                    return false;
                }
                if (!jumped) {
                    at = p + 2;
                }
                jumped = true;
                floor = to;
                p = to;
            } else if (size == 0) {
                if (!jumped) {
                    at = p + 1;
                }
                return true;
            } else if (size > 63 || p + 1 + size > length) {
                return false;
            } else {
                out.emplace_back(reinterpret_cast<const char*>(data + p + 1), size);
                p += 1 + size;
            }
        }
        return false;
    }
};

}  // namespace

std::string nameText(const Name& name) {
    std::string text;
    for (const std::string& label : name) {
        if (!text.empty()) {
            text += '.';
        }
        for (const char c : label) {
            if (c == '.' || c == '\\') {
                text += '\\';
            }
            text += c;
        }
    }
    return text;
}

std::string nameKey(const Name& name) {
    std::string text = nameText(name);
    for (char& c : text) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

Name parseName(const std::string& text) {
    Name name;
    std::string label;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            label += text[++i];
        } else if (text[i] == '.') {
            name.push_back(label);
            label.clear();
        } else {
            label += text[i];
        }
    }
    if (!label.empty()) {
        name.push_back(label);
    }
    return name;
}

std::vector<uint8_t> nameBytes(const Name& name) {
    std::vector<uint8_t> out;
    for (const std::string& label : name) {
        out.push_back(uint8_t(label.size()));
        out.insert(out.end(), label.begin(), label.end());
    }
    out.push_back(0);
    return out;
}

size_t recordSize(const WireRecord& record) {
    return nameBytes(record.name).size() + 10 + record.rdata.size();
}

std::vector<uint8_t> encodeResponse(const std::vector<WireRecord>& answers,
                                    const std::vector<WireRecord>& additionals) {
    std::vector<uint8_t> out;
    add16(out, 0);
    add16(out, 0x8400);
    add16(out, 0);
    add16(out, uint32_t(answers.size()));
    add16(out, 0);
    add16(out, uint32_t(additionals.size()));
    for (const WireRecord& record : answers) {
        addRecord(out, record);
    }
    for (const WireRecord& record : additionals) {
        addRecord(out, record);
    }
    return out;
}

std::optional<WireQuery> decodeQuery(const uint8_t* data, size_t length) {
    Cursor in{data, length};
    uint32_t id = 0;
    uint32_t flags = 0;
    uint32_t questions = 0;
    uint32_t answers = 0;
    uint32_t other_counts = 0;  // authority and additional records are not read
    if (!in.number(id, 2) || !in.number(flags, 2) || (flags & 0x8000) || !in.number(questions, 2) ||
        !in.number(answers, 2) || !in.number(other_counts, 4)) {
        return std::nullopt;
    }
    WireQuery query;
    query.truncated = (flags & 0x0200) != 0;
    for (uint32_t i = 0; i < questions; ++i) {
        Name name;
        uint32_t type = 0;
        uint32_t rrclass = 0;
        if (!in.name(name) || !in.number(type, 2) || !in.number(rrclass, 2)) {
            return std::nullopt;
        }
        query.questions.emplace_back(name, uint16_t(type));
    }
    for (uint32_t i = 0; i < answers; ++i) {
        WireRecord record;
        uint32_t type = 0;
        uint32_t rrclass = 0;
        uint32_t size = 0;
        if (!in.name(record.name) || !in.number(type, 2) || !in.number(rrclass, 2) ||
            !in.number(record.ttl, 4) || !in.number(size, 2) || length - in.at < size) {
            return std::nullopt;
        }
        record.type = uint16_t(type);
        const size_t end = in.at + size;
        if (record.type == 12 || record.type == 33) {
            uint32_t fixed[3] = {};
            if (record.type == 33) {
                for (uint32_t& value : fixed) {
                    if (!in.number(value, 2)) {
                        return std::nullopt;
                    }
                    add16(record.rdata, value);
                }
            }
            Name target;
            if (!in.name(target) || in.at != end) {
                return std::nullopt;
            }
            const auto bytes = nameBytes(target);
            record.rdata.insert(record.rdata.end(), bytes.begin(), bytes.end());
        } else {
            record.rdata.assign(data + in.at, data + end);
            in.at = end;
        }
        query.known_answers.push_back(std::move(record));
    }
    return query;
}

}  // namespace sim::mdns
