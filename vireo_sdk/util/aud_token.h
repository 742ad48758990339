#pragma once

// In-place tokens of white-space separated text.

// The next token of *cursor: leading white space skipped, the token ended by a NUL written over
// the white space after it; *cursor moves past it. Null when no token is left.
char* aud_next_token(char** cursor);
// The first character at or after text that is not white space.
const char* aud_skip_space(const char* text);
// The first white-space character at or after text (or its terminating NUL).
const char* aud_skip_to_space(const char* text);
// The text after prefix when text starts with it, else null.
const char* aud_prefix_match(const char* text, const char* prefix);
