#pragma once

#include <cstddef>
#include <cstdint>

enum {
    AUD_ID_SIZE = 8,
    AUD_ID_STRING_SIZE = 32  // 16 hex digits, ':', a port and NUL
};

// An 8-byte id from text: "_" and up to 8 pairs of hex digits, or up to 8 characters taken as
// they stand. The destination is zeroed first. False for an empty text, a bad hex digit, an
// odd digit count, or more than 8 bytes or characters.
bool aud_id_parse(uint8_t* destination, const char* text);
// "0011223344556677:port" into buffer (AUD_ID_STRING_SIZE bytes). Returns buffer.
const char* aud_id_to_string(const uint8_t* id, int port, char* buffer);

// 0-15, or 255 for a character that is no hex digit.
uint8_t aud_hex_digit(char c);
// Hex text to bytes, stopping at the first non-hex character; an odd final digit gives a high
// nibble; the rest of the buffer is zeroed. Returns the bytes filled.
size_t aud_hex_to_bytes(const char* text, uint8_t* buffer, size_t size);
// The same for text with separator after every group bytes ("00-11-22" with '-' and 1);
// stops where a separator is missing.
size_t aud_hex_to_bytes_separated(const char* text, uint8_t* buffer, size_t size, char separator,
                                  size_t group);
