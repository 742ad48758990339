#include "util/aud_id.h"

#include <cstdio>
#include <cstring>

uint8_t aud_hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<uint8_t>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<uint8_t>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint8_t>(c - 'A' + 10);
    }
    return 255;
}

bool aud_id_parse(uint8_t* destination, const char* text) {
    if (!destination) {
        return false;
    }
    std::memset(destination, 0, AUD_ID_SIZE);
    if (!text || text[0] == '\0') {
        return false;
    }
    if (text[0] != '_') {
        const size_t length = std::strlen(text);
        if (length > AUD_ID_SIZE) {
            return false;
        }
        std::memcpy(destination, text, length);
        return true;
    }
    const char* digits = text + 1;
    const size_t count = std::strlen(digits);
    if (count == 0 || count % 2 != 0 || count > 2 * AUD_ID_SIZE) {
        return false;
    }
    for (size_t i = 0; i < count; i += 2) {
        const uint8_t high = aud_hex_digit(digits[i]);
        const uint8_t low = aud_hex_digit(digits[i + 1]);
        if (high > 15 || low > 15) {
            std::memset(destination, 0, AUD_ID_SIZE);
            return false;
        }
        destination[i / 2] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

const char* aud_id_to_string(const uint8_t* id, int port, char* buffer) {
    std::snprintf(buffer, AUD_ID_STRING_SIZE, "%02x%02x%02x%02x%02x%02x%02x%02x:%d", id[0], id[1],
                  id[2], id[3], id[4], id[5], id[6], id[7], port);
    return buffer;
}

size_t aud_hex_to_bytes_separated(const char* text, uint8_t* buffer, size_t size, char separator,
                                  size_t group) {
    if (!buffer) {
        return 0;
    }
    std::memset(buffer, 0, size);
    if (!text) {
        return 0;
    }
    size_t filled = 0;
    const char* p = text;
    while (filled < size) {
        if (group > 0 && filled > 0 && filled % group == 0) {
            if (*p != separator) {
                break;
            }
            ++p;
        }
        const uint8_t high = aud_hex_digit(*p);
        if (high > 15) {
            break;
        }
        const uint8_t low = aud_hex_digit(p[1]);
        if (low > 15) {
            buffer[filled++] = static_cast<uint8_t>(high << 4);
            break;
        }
        buffer[filled++] = static_cast<uint8_t>(high << 4 | low);
        p += 2;
    }
    return filled;
}

size_t aud_hex_to_bytes(const char* text, uint8_t* buffer, size_t size) {
    return aud_hex_to_bytes_separated(text, buffer, size, '\0', 0);
}
