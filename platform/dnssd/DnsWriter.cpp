#include "DnsWriter.h"

namespace vireo_dnssd {

namespace {

// The wire form of the labels from `first` on, without the final zero.
std::string suffixKey(const Labels& name, size_t first) {
    std::string key;
    for (size_t i = first; i < name.size(); ++i) {
        key += char(name[i].size());
        key += name[i];
    }
    return key;
}

}  // namespace

void DnsWriter::u16(uint16_t value) {
    m_out.push_back(uint8_t(value >> 8));
    m_out.push_back(uint8_t(value));
}

void DnsWriter::u32(uint32_t value) {
    u16(uint16_t(value >> 16));
    u16(uint16_t(value));
}

void DnsWriter::raw(const uint8_t* data, size_t size) {
    m_out.insert(m_out.end(), data, data + size);
}

void DnsWriter::name(const Labels& name) {
    size_t shared = name.size();  // labels from here on are written as a pointer
    uint16_t target = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto found = m_suffixes.find(suffixKey(name, i));
        if (found != m_suffixes.end()) {
            shared = i;
            target = found->second;
            break;
        }
    }
    for (size_t i = 0; i < shared; ++i) {
        if (m_out.size() <= kMaxPointer) {
            m_suffixes.emplace(suffixKey(name, i), uint16_t(m_out.size()));
        }
        m_out.push_back(uint8_t(name[i].size()));
        m_out.insert(m_out.end(), name[i].begin(), name[i].end());
    }
    if (shared < name.size()) {
        u16(uint16_t(0xc000 | target));
    } else {
        m_out.push_back(0);
    }
}

void DnsWriter::set16(size_t at, uint16_t value) {
    m_out[at] = uint8_t(value >> 8);
    m_out[at + 1] = uint8_t(value);
}

void DnsWriter::truncate(size_t size) {
    if (size >= m_out.size()) {
        return;
    }
    m_out.resize(size);
    for (auto it = m_suffixes.begin(); it != m_suffixes.end();) {
        it = it->second >= size ? m_suffixes.erase(it) : std::next(it);
    }
}

}  // namespace vireo_dnssd
