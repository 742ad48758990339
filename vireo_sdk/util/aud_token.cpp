#include "util/aud_token.h"

#include <cstring>

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

const char* aud_skip_space(const char* text) {
    while (*text && isSpace(*text)) {
        ++text;
    }
    return text;
}

const char* aud_skip_to_space(const char* text) {
    while (*text && !isSpace(*text)) {
        ++text;
    }
    return text;
}

char* aud_next_token(char** cursor) {
    if (!cursor || !*cursor) {
        return nullptr;
    }
    char* start = const_cast<char*>(aud_skip_space(*cursor));
    if (*start == '\0') {
        *cursor = start;
        return nullptr;
    }
    char* end = const_cast<char*>(aud_skip_to_space(start));
    if (*end) {
        *end++ = '\0';
    }
    *cursor = end;
    return start;
}

const char* aud_prefix_match(const char* text, const char* prefix) {
    const size_t length = std::strlen(prefix);
    return std::strncmp(text, prefix, length) == 0 ? text + length : nullptr;
}
