#pragma once

#include <cstddef>

// Bounded text helpers. Wide text is UTF-16 code units; multibyte text is UTF-8.

// Copies at most size-1 bytes and terminates (when size > 0); returns strlen(source).
size_t aud_strlcpy(char* destination, const char* source, size_t size);
// Appends likewise; returns the length the joined text would have, or size when the
// destination holds no terminator within size.
size_t aud_strlcat(char* destination, const char* source, size_t size);
// Appends every text of the null-terminated list after size; returns the full length.
size_t aud_strjoin(char* buffer, size_t size, const char* text, ...);
// Case-insensitive compare of ASCII letters.
int aud_strcasecmp(const char* a, const char* b);

size_t aud_wcslen(const char16_t* text);
// aud_strlcpy for wide text; size in code units.
size_t aud_wcslcpy(char16_t* destination, const char16_t* source, size_t size);
// Case-insensitive compare of wide text (ASCII letters).
int aud_wcscasecmp(const char16_t* a, const char16_t* b);

// UTF-16 to UTF-8 and back, into at most size units, terminated, never splitting a
// character. Both stop at the first invalid character and return the length the whole
// conversion up to there needs (so a result >= size means it was cut short).
size_t aud_wcstombs(char* destination, const char16_t* source, size_t size);
size_t aud_mbstowcs(char16_t* destination, const char* source, size_t size);

// Wide text for printing: plain when every unit is below 128, else the units as blank-separated
// four-digit hex. Returns buffer.
const char* aud_wide_to_text(const char16_t* wide, char* buffer, size_t size);
