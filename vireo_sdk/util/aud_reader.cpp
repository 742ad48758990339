#include "util/aud_reader.h"

#include <cstring>

void aud_reader_init(aud_reader* reader, const void* data, size_t size) {
    reader->data = static_cast<const uint8_t*>(data);
    reader->size = data ? size : 0;
    reader->position = 0;
}

size_t aud_reader_remaining(const aud_reader* reader) {
    return reader->size - reader->position;
}

bool aud_reader_view(aud_reader* reader, size_t n, const uint8_t** view) {
    if (n > aud_reader_remaining(reader)) {
        return false;
    }
    *view = reader->data + reader->position;
    reader->position += n;
    return true;
}

bool aud_reader_skip(aud_reader* reader, size_t n) {
    const uint8_t* ignored;
    return aud_reader_view(reader, n, &ignored);
}

bool aud_reader_bytes(aud_reader* reader, void* out, size_t n) {
    const uint8_t* view;
    if (!aud_reader_view(reader, n, &view)) {
        return false;
    }
    if (n > 0) {
        std::memcpy(out, view, n);
    }
    return true;
}

bool aud_reader_u8(aud_reader* reader, uint8_t* value) {
    return aud_reader_bytes(reader, value, 1);
}

bool aud_reader_u16be(aud_reader* reader, uint16_t* value) {
    const uint8_t* b;
    if (!aud_reader_view(reader, 2, &b)) {
        return false;
    }
    *value = static_cast<uint16_t>(b[0] << 8 | b[1]);
    return true;
}

bool aud_reader_u32be(aud_reader* reader, uint32_t* value) {
    const uint8_t* b;
    if (!aud_reader_view(reader, 4, &b)) {
        return false;
    }
    *value = uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
    return true;
}

bool aud_reader_u16le(aud_reader* reader, uint16_t* value) {
    const uint8_t* b;
    if (!aud_reader_view(reader, 2, &b)) {
        return false;
    }
    *value = static_cast<uint16_t>(b[1] << 8 | b[0]);
    return true;
}

bool aud_reader_u32le(aud_reader* reader, uint32_t* value) {
    const uint8_t* b;
    if (!aud_reader_view(reader, 4, &b)) {
        return false;
    }
    *value = uint32_t{b[3]} << 24 | uint32_t{b[2]} << 16 | uint32_t{b[1]} << 8 | b[0];
    return true;
}

bool aud_reader_cstring(aud_reader* reader, char* out, size_t max) {
    const size_t left = aud_reader_remaining(reader);
    const size_t limit = left < max + 1 ? left : max + 1;
    if (limit == 0) {
        return false;
    }
    const uint8_t* start = reader->data + reader->position;
    const void* nul = std::memchr(start, 0, limit);
    if (!nul) {
        return false;
    }
    const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - start);
    return aud_reader_bytes(reader, out, length + 1);
}
