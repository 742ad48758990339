#pragma once

#include <cstddef>

// One conversion of the SDK formatter, as read after its '%'.
enum aud_format_size {
    AUD_FORMAT_SIZE_DEFAULT,
    AUD_FORMAT_SIZE_CHAR,      // hh
    AUD_FORMAT_SIZE_SHORT,     // h
    AUD_FORMAT_SIZE_LONG,      // l
    AUD_FORMAT_SIZE_LONGLONG,  // ll, I64
    AUD_FORMAT_SIZE_INT32,     // I32
    AUD_FORMAT_SIZE_SIZE,      // I, z
    AUD_FORMAT_SIZE_PTRDIFF,   // t
    AUD_FORMAT_SIZE_INTMAX     // j
};

enum {
    AUD_FORMAT_FROM_ARGUMENT = -2,  // width or precision given by '*'
    AUD_FORMAT_NONE = -1,           // no width or precision
    AUD_FORMAT_MAX_WIDTH = 65535    // larger widths and precisions are clamped
};

struct aud_format_directive {
    bool left;       // '-'
    bool plus;       // '+'
    bool zero;       // '0'
    bool space;      // ' '
    bool alternate;  // '#'
    int width;
    int precision;
    aud_format_size size;
    bool wide;        // 'w' or 'l' before c/s, or 'S': UTF-16 text
    bool narrow;      // 'h' before c/s: plain text even for 'S'
    char conversion;  // one of "cdeEfFgGiopsSuxX", or 0 when the letter is not one of them
    size_t length;    // characters read after the '%', the conversion letter included
};

// Reads the conversion that starts after a '%' in NUL-terminated text. Never reads past the
// terminating NUL; a NUL in place of the letter gives conversion 0.
void aud_format_parse_directive(const char* text, aud_format_directive* directive);
