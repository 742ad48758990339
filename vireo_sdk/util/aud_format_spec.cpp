#include "util/aud_format_spec.h"

#include <cstring>

namespace {

int readNumber(const char* text, size_t* pos) {
    int value = 0;
    while (text[*pos] >= '0' && text[*pos] <= '9') {
        if (value <= AUD_FORMAT_MAX_WIDTH) {
            value = value * 10 + (text[*pos] - '0');
        }
        ++*pos;
    }
    return value > AUD_FORMAT_MAX_WIDTH ? AUD_FORMAT_MAX_WIDTH : value;
}

bool startsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

void aud_format_parse_spec(const char* text, aud_format_spec* spec) {
    std::memset(spec, 0, sizeof *spec);
    spec->width = AUD_FORMAT_NONE;
    spec->precision = AUD_FORMAT_NONE;
    size_t pos = 0;
    for (;; ++pos) {
        const char c = text[pos];
        if (c == '-') {
            spec->left = true;
        } else if (c == '+') {
            spec->plus = true;
        } else if (c == '0') {
            spec->zero = true;
        } else if (c == ' ') {
            spec->space = true;
        } else if (c == '#') {
            spec->alternate = true;
        } else {
            break;
        }
    }
    if (text[pos] == '*') {
        spec->width = AUD_FORMAT_FROM_ARGUMENT;
        ++pos;
    } else if (text[pos] >= '1' && text[pos] <= '9') {
        spec->width = readNumber(text, &pos);
    }
    if (text[pos] == '.') {
        ++pos;
        if (text[pos] == '*') {
            spec->precision = AUD_FORMAT_FROM_ARGUMENT;
            ++pos;
        } else {
            spec->precision = readNumber(text, &pos);
        }
    }
    // Size prefixes: the Windows ones ("h", "l", "w", "I", "I32", "I64") and the C ones.
    for (;;) {
        const char* at = text + pos;
        if (startsWith(at, "I64") || startsWith(at, "ll")) {
            spec->size = AUD_FORMAT_SIZE_LONGLONG;
            pos += at[0] == 'I' ? 3 : 2;
        } else if (startsWith(at, "I32")) {
            spec->size = AUD_FORMAT_SIZE_INT32;
            pos += 3;
        } else if (startsWith(at, "hh")) {
            spec->size = AUD_FORMAT_SIZE_CHAR;
            spec->narrow = true;
            pos += 2;
        } else if (*at == 'h') {
            spec->size = AUD_FORMAT_SIZE_SHORT;
            spec->narrow = true;
            ++pos;
        } else if (*at == 'l') {
            spec->size = AUD_FORMAT_SIZE_LONG;
            spec->wide = true;
            ++pos;
        } else if (*at == 'w') {
            spec->wide = true;
            ++pos;
        } else if (*at == 'I' || *at == 'z') {
            spec->size = AUD_FORMAT_SIZE_SIZE;
            ++pos;
        } else if (*at == 't') {
            spec->size = AUD_FORMAT_SIZE_PTRDIFF;
            ++pos;
        } else if (*at == 'j') {
            spec->size = AUD_FORMAT_SIZE_INTMAX;
            ++pos;
        } else {
            break;
        }
    }
    const char letter = text[pos];
    if (letter != '\0' && std::strchr("cdeEfFgGiopsSuxX", letter)) {
        spec->conversion = letter;
        ++pos;
        if (letter == 'S' && !spec->narrow) {
            spec->wide = true;
        }
        if (letter != 'c' && letter != 's' && letter != 'S') {
            spec->wide = false;
            spec->narrow = false;
        }
    }
    spec->length = pos;
}
