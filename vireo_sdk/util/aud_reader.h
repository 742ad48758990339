#pragma once

#include <cstddef>
#include <cstdint>

// The one bounds-checked reader for parsers of outside input: every fetch checks what is left
// and fails without moving when it would read past the end.
struct aud_reader {
    const uint8_t* data;
    size_t size;
    size_t position;
};

void aud_reader_init(aud_reader* reader, const void* data, size_t size);
size_t aud_reader_remaining(const aud_reader* reader);

bool aud_reader_u8(aud_reader* reader, uint8_t* value);
bool aud_reader_u16be(aud_reader* reader, uint16_t* value);
bool aud_reader_u32be(aud_reader* reader, uint32_t* value);
bool aud_reader_u16le(aud_reader* reader, uint16_t* value);
bool aud_reader_u32le(aud_reader* reader, uint32_t* value);
// Copies n bytes into out.
bool aud_reader_bytes(aud_reader* reader, void* out, size_t n);
// Points *view at the next n bytes and moves past them.
bool aud_reader_view(aud_reader* reader, size_t n, const uint8_t** view);
bool aud_reader_skip(aud_reader* reader, size_t n);
// A NUL-terminated string of at most max bytes before its NUL, copied with its NUL into out
// (max + 1 bytes); fails when no NUL comes within max + 1 bytes.
bool aud_reader_cstring(aud_reader* reader, char* out, size_t max);
