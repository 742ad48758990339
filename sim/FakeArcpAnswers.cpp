#include "FakeArcpAnswers.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace sim::arcp {

namespace {

constexpr uint16_t kSuccess = 0x0001;
constexpr uint16_t kMore = 0x0112;
constexpr uint16_t kNotSupported = 0x0031;
constexpr uint16_t kBadRequest = 0x0105;
constexpr uint16_t kTextProperty = 0x8021;

// A format block, 4-aligned: rate, list length and entries to read, the list, one unused u16,
// first encoding, PCM size, size mask.
size_t writeFormat(Writer& w, const FakeArcpFormat& format) {
    w.align(4);
    const size_t at = w.size();
    uint16_t pcm = 0, mask = 0;
    for (uint16_t value : format.list) {
        if (value >= 1 && value <= 64) {
            pcm = pcm ? pcm : value;
            mask = static_cast<uint16_t>(mask | 1u << ((value + 7) / 8 - 1));
        }
    }
    w.u32(format.rate);
    w.u8(static_cast<uint8_t>(format.list.size()));
    w.u8(static_cast<uint8_t>(format.list.size()));
    for (uint16_t value : format.list) {
        w.u16(value);
    }
    w.u16(0);
    w.u16(format.encoding);
    w.u16(pcm);
    w.u16(mask);
    return at;
}

// Writes formats once each, in order of first use.
class Formats {
public:
    size_t offsetOf(Writer& w, const FakeArcpFormat& format) {
        const auto key = std::make_tuple(format.rate, format.list, format.encoding);
        const auto found = m_written.find(key);
        if (found != m_written.end()) {
            return found->second;
        }
        const size_t at = writeFormat(w, format);
        m_written.emplace(key, at);
        return at;
    }

private:
    std::map<std::tuple<uint32_t, std::vector<uint16_t>, uint16_t>, size_t> m_written;
};

// Strings once each.
class Strings {
public:
    size_t offsetOf(Writer& w, const std::string& text) {
        if (text.empty()) {
            return 0;
        }
        const auto found = m_written.find(text);
        if (found != m_written.end()) {
            return found->second;
        }
        const size_t at = w.string(text);
        m_written.emplace(text, at);
        return at;
    }

private:
    std::map<std::string, size_t> m_written;
};

// The first page of ids, and whether more follow.
std::vector<uint16_t> page(const std::vector<uint16_t>& ids, size_t page_size, bool* more) {
    *more = page_size != 0 && ids.size() > page_size;
    return *more ? std::vector<uint16_t>(ids.begin(), ids.begin() + long(page_size)) : ids;
}

std::vector<uint16_t> requestedRange(const Request& request, size_t highest) {
    const auto list = ranges(request);
    if (list.empty()) {
        return {};
    }
    return rangeIds(list[0].first, list[0].second, static_cast<uint16_t>(highest));
}

Bytes capabilities(const FakeArcpState& s, const Request& r) {
    Writer w(s.version, r.seqnum, r.opcode, kSuccess);
    w.u16(s.capability_flags);
    w.u16(static_cast<uint16_t>(s.tx.size()));
    w.u16(static_cast<uint16_t>(s.rx.size()));
    w.u16(0);
    w.u16(s.tx_slots);
    w.u16(s.rx_slots);
    if (s.version >= 0x2600) {
        w.u16(s.tx_flow_count);
        w.u16(s.rx_flow_count);
        w.u16(s.label_entries);
        w.u16(0);
        w.u16(s.interfaces);
    }
    if (s.version >= 0x2703) {
        w.u32(s.capability_flags32);
    }
    if (s.version >= 0x2711) {
        w.u16(s.selector16);
        w.u16(s.selector32);
    }
    return w.finish();
}

Bytes names(const FakeArcpState& s, const Request& r) {
    Writer w(s.version, r.seqnum, r.opcode, kSuccess);
    if (r.opcode == 0x1002) {
        w.string(s.name);
        return w.finish();
    }
    w.body(0, 0);
    w.u16(20);  // names block
    w.u16(30);  // versions block
    w.zeros(4);
    w.zeros(10);
    w.u32(0);
    w.u32(uint32_t{s.software[0]} << 24 | uint32_t{s.software[1]} << 16 |
          uint32_t{s.software[2]} << 8);
    w.u16(s.version);
    Strings strings;
    w.set16(22, static_cast<uint16_t>(strings.offsetOf(w, s.name)));
    w.set16(24, static_cast<uint16_t>(strings.offsetOf(w, s.second_name)));
    w.set16(26, static_cast<uint16_t>(strings.offsetOf(w, s.advertised_name)));
    return w.finish();
}

Bytes availability(const FakeArcpState& s, const Request& r) {
    Writer w(s.version, r.seqnum, r.opcode, kSuccess);
    const auto n = static_cast<uint8_t>(s.properties.size());
    w.body(n, n);
    for (const FakeArcpProperty& property : s.properties) {
        w.u16(property.id);
        w.u16(property.available);
    }
    return w.finish();
}

Bytes properties(const FakeArcpState& s, const Request& r) {
    std::vector<const FakeArcpProperty*> found;
    for (uint16_t id : values(r)) {
        for (const FakeArcpProperty& property : s.properties) {
            if (property.id == id) {
                found.push_back(&property);
            }
        }
    }
    Writer w(s.version, r.seqnum, r.opcode, kSuccess);
    const auto n = static_cast<uint8_t>(found.size());
    w.body(n, n);
    w.zeros(size_t{n} * 4);
    for (size_t i = 0; i < found.size(); ++i) {
        const FakeArcpProperty& property = *found[i];
        const size_t record = kBodyStart + i * 4;
        w.set16(record, property.id);
        uint16_t value = static_cast<uint16_t>(property.value);
        if (property.id == kTextProperty) {
            value = static_cast<uint16_t>(w.string(property.text));
        } else if (property.id & 0x8000) {
            w.align(4);
            value = static_cast<uint16_t>(w.size());
            w.u32(property.value);
        }
        w.set16(record + 2, value);
    }
    return w.finish();
}

Bytes deviceValues(const FakeArcpState& s, const Request& r) {
    Writer w(s.version, r.seqnum, r.opcode, kSuccess);
    w.zeros(4);
    w.u16(s.values[0]);
    w.u16(s.values[1]);
    return w.finish();
}

Bytes txChannels(const FakeArcpState& s, const Request& r) {
    bool more = false;
    const auto ids = page(requestedRange(r, s.tx.size()), s.page_size, &more);
    Writer w(s.version, r.seqnum, r.opcode, more ? kMore : kSuccess);
    const auto n = static_cast<uint8_t>(ids.size());
    w.body(n, n);
    w.zeros(size_t{n} * 8);
    Formats formats;
    for (size_t i = 0; i < ids.size(); ++i) {
        const FakeArcpTxChannel& channel = s.tx[ids[i] - 1];
        const size_t record = kBodyStart + i * 8;
        w.set16(record, ids[i]);
        w.set16(record + 2, channel.flags);
        w.set16(record + 4, static_cast<uint16_t>(formats.offsetOf(w, channel.format)));
    }
    Strings strings;
    for (size_t i = 0; i < ids.size(); ++i) {
        w.set16(kBodyStart + i * 8 + 6,
                static_cast<uint16_t>(strings.offsetOf(w, s.tx[ids[i] - 1].name)));
    }
    return w.finish();
}

Bytes txExtras(const FakeArcpState& s, const Request& r) {
    Writer w(s.version, r.seqnum, r.opcode, kSuccess);
    std::vector<uint16_t> ids;
    for (uint16_t id : requestedRange(r, s.tx.size())) {
        if (s.tx[id - 1].flags & 0x0100) {
            ids.push_back(id);
        }
    }
    const auto n = static_cast<uint8_t>(ids.size());
    w.body(n, n);
    for (uint16_t id : ids) {
        w.u16(id);
        w.u16(id);
        w.u16(s.tx[id - 1].extra);
    }
    return w.finish();
}

Bytes rxChannels(const FakeArcpState& s, const Request& r) {
    bool more = false;
    const auto ids = page(requestedRange(r, s.rx.size()), s.page_size, &more);
    Writer w(s.version, r.seqnum, r.opcode, more ? kMore : kSuccess);
    const auto n = static_cast<uint8_t>(ids.size());
    w.body(n, n);
    w.zeros(size_t{n} * 20);
    Formats formats;
    for (size_t i = 0; i < ids.size(); ++i) {
        const FakeArcpRxChannel& channel = s.rx[ids[i] - 1];
        const size_t record = kBodyStart + i * 20;
        w.set16(record, ids[i]);
        w.set16(record + 2, static_cast<uint16_t>(channel.flags | (channel.has_value ? 0x100 : 0)));
        w.set16(record + 4, static_cast<uint16_t>(formats.offsetOf(w, channel.format)));
        w.set8(record + 12, channel.presence);
        w.set8(record + 13, channel.interface_flags);
        w.set16(record + 14, channel.status);
    }
    Strings strings;
    for (size_t i = 0; i < ids.size(); ++i) {
        const FakeArcpRxChannel& channel = s.rx[ids[i] - 1];
        const size_t record = kBodyStart + i * 20;
        w.set16(record + 6, static_cast<uint16_t>(strings.offsetOf(w, channel.sub_channel)));
        w.set16(record + 8, static_cast<uint16_t>(strings.offsetOf(w, channel.sub_device)));
        w.set16(record + 10, static_cast<uint16_t>(strings.offsetOf(w, channel.name)));
    }
    for (size_t i = 0; i < ids.size(); ++i) {
        const FakeArcpRxChannel& channel = s.rx[ids[i] - 1];
        if (channel.has_value) {
            w.align(2);
            w.set16(kBodyStart + i * 20 + 18, static_cast<uint16_t>(w.size()));
            w.u8(2);
            w.u8(0);
            w.u16(channel.value);
        }
    }
    return w.finish();
}

Bytes labels(const FakeArcpState& s, const Request& r) {
    std::vector<uint16_t> requested;
    for (const auto& range : ranges(r)) {
        for (uint16_t id : rangeIds(range.first, range.second, s.label_entries)) {
            requested.push_back(id);
        }
    }
    std::vector<const FakeArcpLabel*> found;
    bool more = false;
    for (uint16_t id : requested) {
        const auto label = std::find_if(s.labels.begin(), s.labels.end(),
                                        [id](const FakeArcpLabel& l) { return l.id == id; });
        if (label == s.labels.end()) {
            continue;
        }
        if (s.page_size != 0 && found.size() == s.page_size) {
            more = true;
            break;
        }
        found.push_back(&*label);
    }
    Writer w(s.version, r.seqnum, r.opcode, more ? kMore : kSuccess);
    const auto n = static_cast<uint8_t>(found.size());
    w.body(n, n);
    w.zeros(size_t{n} * 6);
    Strings strings;
    for (size_t i = 0; i < found.size(); ++i) {
        const size_t record = kBodyStart + i * 6;
        w.set16(record, found[i]->id);
        w.set16(record + 2, found[i]->channel);
        w.set16(record + 4, static_cast<uint16_t>(strings.offsetOf(w, found[i]->name)));
    }
    return w.finish();
}

// Flow records as dr_flows.h lays them out.
Bytes flows(const FakeArcpState& s, const Request& r, bool receive) {
    const std::vector<FakeArcpFlow>& list = receive ? s.rx_flows : s.tx_flows;
    const auto range = ranges(r);
    const unsigned first = range.empty() ? 1 : range[0].first;
    std::vector<const FakeArcpFlow*> chosen;
    for (const FakeArcpFlow& flow : list) {
        if (flow.id >= first) {
            chosen.push_back(&flow);
        }
    }
    std::sort(chosen.begin(), chosen.end(),
              [](const FakeArcpFlow* a, const FakeArcpFlow* b) { return a->id < b->id; });
    const bool more = s.page_size != 0 && chosen.size() > s.page_size;
    if (more) {
        chosen.resize(s.page_size);
    }
    Writer w(s.version, r.seqnum, r.opcode, more ? kMore : kSuccess);
    const auto n = static_cast<uint8_t>(chosen.size());
    w.body(n, n);
    w.zeros(size_t{n} * 2);
    const bool named = s.version >= (receive ? 0x2600 : 0x2601);
    for (size_t i = 0; i < chosen.size(); ++i) {
        const FakeArcpFlow& flow = *chosen[i];
        w.align(4);
        const size_t record = w.size();
        w.set16(kBodyStart + i * 2, static_cast<uint16_t>(record));
        w.u16(flow.id);
        w.u16(flow.flags);
        w.u32(flow.rate);
        w.u16(flow.encoding);
        w.u16(static_cast<uint16_t>(flow.slot_channels.size()));
        w.zeros(4);
        if (receive) {
            w.u8(static_cast<uint8_t>(flow.addresses.size()));
            w.u8(0);
            w.u16(0);
        }
        if (!flow.slot_channels.empty()) {
            w.align(2);
            w.set16(record + 12, static_cast<uint16_t>(w.size()));
            for (uint16_t slot : flow.slot_channels) {
                w.u16(slot);
            }
        }
        if (named) {
            w.align(2);
            const size_t block = w.size();
            w.set16(record + 14, static_cast<uint16_t>(block));
            w.zeros(10);
            w.set16(block, static_cast<uint16_t>(w.string(flow.name)));
        }
        if (receive && !flow.addresses.empty()) {
            w.align(4);
            w.set16(record + 18, static_cast<uint16_t>(w.size()));
            for (const auto& address : flow.addresses) {
                w.u32(address.first);
                w.u16(address.second);
                w.u16(0);
            }
        }
    }
    return w.finish();
}

Bytes subscribe(FakeArcpState& s, const Request& r) {
    uint16_t status = kSuccess;
    if (r.opcode == 0x3010) {
        const uint16_t id = get16(r.bytes, kBodyStart);
        if (r.bytes.size() < kBodyStart + 20 || r.bytes[11] != 1 || id == 0 || id > s.rx.size()) {
            status = kBadRequest;
        } else {
            s.rx[id - 1].sub_channel = stringAt(r.bytes, get16(r.bytes, kBodyStart + 2));
            s.rx[id - 1].sub_device = stringAt(r.bytes, get16(r.bytes, kBodyStart + 4));
        }
    } else {
        const auto list = ranges(r);
        const uint16_t id = list.empty() ? 0 : list[0].second;
        if (list.size() != 1 || list[0].first != 0 || id == 0 || id > s.rx.size()) {
            status = kBadRequest;
        } else {
            s.rx[id - 1].sub_channel.clear();
            s.rx[id - 1].sub_device.clear();
        }
    }
    return Writer(s.version, r.seqnum, r.opcode, status).finish();
}

}  // namespace

Bytes answer(FakeArcpState& state, const Request& request) {
    switch (request.opcode) {
        case 0x1000:
            return capabilities(state, request);
        case 0x1002:
        case 0x1003:
            return names(state, request);
        case 0x1100:
            return properties(state, request);
        case 0x1102:
            return availability(state, request);
        case 0x3300:
            return deviceValues(state, request);
        case 0x2000:
            return txChannels(state, request);
        case 0x2010:
            return labels(state, request);
        case 0x2032:
            return txExtras(state, request);
        case 0x2200:
            return flows(state, request, false);
        case 0x3200:
            return flows(state, request, true);
        case 0x3000:
            return rxChannels(state, request);
        case 0x3010:
        case 0x3014:
            return subscribe(state, request);
        default:
            return Writer(state.version, request.seqnum, request.opcode, kNotSupported).finish();
    }
}

}  // namespace sim::arcp
