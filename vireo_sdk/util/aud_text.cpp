#include "util/aud_text.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char16_t lowerWide(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// Next code point of UTF-16 text; false at the end or at an unpaired surrogate.
bool nextFromWide(const char16_t*& text, uint32_t* point) {
    const uint32_t unit = *text;
    if (unit == 0) {
        return false;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        const uint32_t low = text[1];
        if (low < 0xDC00 || low > 0xDFFF) {
            return false;
        }
        *point = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        text += 2;
        return true;
    }
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
        return false;
    }
    *point = unit;
    ++text;
    return true;
}

// Next code point of UTF-8 text; false at the end or at an invalid sequence.
bool nextFromUtf8(const char*& text, uint32_t* point) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const unsigned lead = bytes[0];
    if (lead == 0) {
        return false;
    }
    size_t count;
    uint32_t value;
    uint32_t minimum;
    if (lead < 0x80) {
        *point = lead;
        ++text;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        count = 1, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        count = 2, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        count = 3, value = lead & 0x07, minimum = 0x10000;
    } else {
        return false;
    }
    for (size_t i = 1; i <= count; ++i) {
        if ((bytes[i] & 0xC0) != 0x80) {
            return false;
        }
        value = (value << 6) | (bytes[i] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return false;
    }
    *point = value;
    text += count + 1;
    return true;
}

size_t encodeUtf8(uint32_t point, char* out) {
    if (point < 0x80) {
        out[0] = static_cast<char>(point);
        return 1;
    }
    if (point < 0x800) {
        out[0] = static_cast<char>(0xC0 | (point >> 6));
        out[1] = static_cast<char>(0x80 | (point & 0x3F));
        return 2;
    }
    if (point < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (point >> 12));
        out[1] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (point & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (point >> 18));
    out[1] = static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (point & 0x3F));
    return 4;
}

size_t encodeUtf16(uint32_t point, char16_t* out) {
    if (point < 0x10000) {
        out[0] = static_cast<char16_t>(point);
        return 1;
    }
    point -= 0x10000;
    out[0] = static_cast<char16_t>(0xD800 + (point >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + (point & 0x3FF));
    return 2;
}

// Shared walk of both conversions: decode with Next, encode with Encode, write whole
// characters while they fit below size.
template <class In, class Out, class Next, class Encode>
size_t convert(Out* destination, const In* source, size_t size, Next next, Encode encode) {
    size_t full = 0;
    size_t written = 0;
    bool fits = true;
    uint32_t point;
    while (source && next(source, &point)) {
        Out units[4];
        const size_t n = encode(point, units);
        if (fits && written + n < size) {
            std::memcpy(destination + written, units, n * sizeof(Out));
            written += n;
        } else {
            fits = false;
        }
        full += n;
    }
    if (destination && size > 0) {
        destination[written] = 0;
    }
    return full;
}

}  // namespace

size_t aud_strlcpy(char* destination, const char* source, size_t size) {
    const size_t length = std::strlen(source);
    if (size > 0) {
        const size_t n = length < size - 1 ? length : size - 1;
        std::memcpy(destination, source, n);
        destination[n] = '\0';
    }
    return length;
}

size_t aud_strlcat(char* destination, const char* source, size_t size) {
    const size_t used = strnlen(destination, size);
    if (used == size) {
        return size;
    }
    return used + aud_strlcpy(destination + used, source, size - used);
}

size_t aud_strjoin(char* buffer, size_t size, const char* text, ...) {
    size_t full = strnlen(buffer, size);
    va_list texts;
    va_start(texts, text);
    for (const char* part = text; part; part = va_arg(texts, const char*)) {
        const size_t used = strnlen(buffer, size);
        if (used < size) {
            aud_strlcpy(buffer + used, part, size - used);
        }
        full += std::strlen(part);
    }
    va_end(texts);
    return full;
}

int aud_strcasecmp(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const char x = lower(*a);
        const char y = lower(*b);
        if (x != y || x == '\0') {
            return static_cast<unsigned char>(x) - static_cast<unsigned char>(y);
        }
    }
}

size_t aud_wcslen(const char16_t* text) {
    size_t n = 0;
    while (text[n]) {
        ++n;
    }
    return n;
}

size_t aud_wcslcpy(char16_t* destination, const char16_t* source, size_t size) {
    const size_t length = aud_wcslen(source);
    if (size > 0) {
        const size_t n = length < size - 1 ? length : size - 1;
        std::memcpy(destination, source, n * sizeof(char16_t));
        destination[n] = 0;
    }
    return length;
}

int aud_wcscasecmp(const char16_t* a, const char16_t* b) {
    for (;; ++a, ++b) {
        const char16_t x = lowerWide(*a);
        const char16_t y = lowerWide(*b);
        if (x != y || x == 0) {
            return static_cast<int>(x) - static_cast<int>(y);
        }
    }
}

size_t aud_wcstombs(char* destination, const char16_t* source, size_t size) {
    return convert(destination, source, size, nextFromWide, encodeUtf8);
}

size_t aud_mbstowcs(char16_t* destination, const char* source, size_t size) {
    return convert(destination, source, size, nextFromUtf8, encodeUtf16);
}

const char* aud_wide_to_text(const char16_t* wide, char* buffer, size_t size) {
    if (!buffer || size == 0) {
        return buffer;
    }
    buffer[0] = '\0';
    if (!wide) {
        return buffer;
    }
    bool plain = true;
    for (const char16_t* p = wide; *p; ++p) {
        plain = plain && *p < 128;
    }
    size_t used = 0;
    for (const char16_t* p = wide; *p && used + 1 < size; ++p) {
        if (plain) {
            buffer[used++] = static_cast<char>(*p);
            buffer[used] = '\0';
        } else {
            const int n = std::snprintf(buffer + used, size - used, "%s%04x", p == wide ? "" : " ",
                                        static_cast<unsigned>(*p));
            used += static_cast<size_t>(n);
            if (used >= size) {
                used = size - 1;
            }
        }
    }
    return buffer;
}
