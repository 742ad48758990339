#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The fake responder's own DNS encoding, kept apart from the library's so that a fault in
// one cannot hide behind the other.
namespace sim::mdns {

using Name = std::vector<std::string>;

// Text of a name: labels with "." and "\" escaped by "\", joined by ".", no final dot.
std::string nameText(const Name& name);
// Lower-case text, for comparing names.
std::string nameKey(const Name& name);
// Splits text at unescaped dots (a final dot is allowed).
Name parseName(const std::string& text);
std::vector<uint8_t> nameBytes(const Name& name);

struct WireRecord {
    Name name;
    uint16_t type = 0;
    bool cache_flush = false;
    uint32_t ttl = 0;
    std::vector<uint8_t> rdata;  // names uncompressed
};

// Bytes of a record as `encodeResponse` writes it.
size_t recordSize(const WireRecord& record);
// A response (id 0, authoritative) with these answers and additional records.
std::vector<uint8_t> encodeResponse(const std::vector<WireRecord>& answers,
                                    const std::vector<WireRecord>& additionals);

struct WireQuery {
    bool truncated = false;  // TC: more known answers follow in further packets
    std::vector<std::pair<Name, uint16_t>> questions;
    std::vector<WireRecord> known_answers;  // PTR and SRV data decompressed
};

// Nothing for responses and for anything that does not read cleanly.
std::optional<WireQuery> decodeQuery(const uint8_t* data, size_t length);

}  // namespace sim::mdns
