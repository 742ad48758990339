#include "util/aud_format_directive.h"

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

void aud_format_parse_directive(const char* text, aud_format_directive* directive) {
    std::memset(directive, 0, sizeof *directive);
    directive->width = AUD_FORMAT_NONE;
    directive->precision = AUD_FORMAT_NONE;
    size_t pos = 0;
    for (;; ++pos) {
        const char c = text[pos];
        if (c == '-') {
            directive->left = true;
        } else if (c == '+') {
            directive->plus = true;
        } else if (c == '0') {
            directive->zero = true;
        } else if (c == ' ') {
            directive->space = true;
        } else if (c == '#') {
            directive->alternate = true;
        } else {
            break;
        }
    }
    if (text[pos] == '*') {
        directive->width = AUD_FORMAT_FROM_ARGUMENT;
        ++pos;
    } else if (text[pos] >= '1' && text[pos] <= '9') {
        directive->width = readNumber(text, &pos);
    }
    if (text[pos] == '.') {
        ++pos;
        if (text[pos] == '*') {
            directive->precision = AUD_FORMAT_FROM_ARGUMENT;
            ++pos;
        } else {
            directive->precision = readNumber(text, &pos);
        }
    }
    // Size prefixes: the Windows ones ("h", "l", "w", "I", "I32", "I64") and the C ones.
    for (;;) {
        const char* at = text + pos;
        if (startsWith(at, "I64") || startsWith(at, "ll")) {
            directive->size = AUD_FORMAT_SIZE_LONGLONG;
            pos += at[0] == 'I' ? 3 : 2;
        } else if (startsWith(at, "I32")) {
            directive->size = AUD_FORMAT_SIZE_INT32;
            pos += 3;
        } else if (startsWith(at, "hh")) {
            directive->size = AUD_FORMAT_SIZE_CHAR;
            directive->narrow = true;
            pos += 2;
        } else if (*at == 'h') {
            directive->size = AUD_FORMAT_SIZE_SHORT;
            directive->narrow = true;
            ++pos;
        } else if (*at == 'l') {
            directive->size = AUD_FORMAT_SIZE_LONG;
            directive->wide = true;
            ++pos;
        } else if (*at == 'w') {
            directive->wide = true;
            ++pos;
        } else if (*at == 'I' || *at == 'z') {
            directive->size = AUD_FORMAT_SIZE_SIZE;
            ++pos;
        } else if (*at == 't') {
            directive->size = AUD_FORMAT_SIZE_PTRDIFF;
            ++pos;
        } else if (*at == 'j') {
            directive->size = AUD_FORMAT_SIZE_INTMAX;
            ++pos;
        } else {
            break;
        }
    }
    const char letter = text[pos];
    if (letter != '\0' && std::strchr("cdeEfFgGiopsSuxX", letter)) {
        directive->conversion = letter;
        ++pos;
        if (letter == 'S' && !directive->narrow) {
            directive->wide = true;
        }
        if (letter != 'c' && letter != 's' && letter != 'S') {
            directive->wide = false;
            directive->narrow = false;
        }
    }
    directive->length = pos;
}
