#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Bytes as upper-case hex pairs separated by spaces ("00 1A FF"), for logs and test messages.
inline std::string hexText(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t byte : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

}  // namespace sim
