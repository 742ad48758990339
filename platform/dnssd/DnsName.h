#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vireo_dnssd {

using Bytes = std::vector<uint8_t>;

// A domain name as its raw labels (bytes as they travel, not escaped).
using Labels = std::vector<std::string>;

constexpr size_t kMaxLabel = 63;
constexpr size_t kMaxName = 255;

// Bytes of the uncompressed wire form, the final zero included.
size_t wireLength(const Labels& name);
// Every label 1..63 bytes and the wire form at most 255 bytes.
bool validName(const Labels& name);
void appendWire(Bytes& out, const Labels& name);

// Backslash before "." and "\", "\DDD" for control bytes, as DNS-SD writes names.
std::string escapeLabel(const std::string& label);
// The escaped labels from `first` on, each followed by "."; "." for none.
std::string nameText(const Labels& name, size_t first = 0);
// Reads escaped text ("a\.b.local" or "a\.b.local."); nothing when it is not a valid name.
std::optional<Labels> parseNameText(const std::string& text);

inline char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Equal names ignoring ASCII case; the key is the same for such names.
bool sameName(const Labels& a, const Labels& b);
std::string nameKey(const Labels& name);
void appendNameKey(std::string& key, const Labels& name);

}  // namespace vireo_dnssd
