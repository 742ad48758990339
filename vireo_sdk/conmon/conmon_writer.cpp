#include "conmon/conmon_writer.h"

#include <cstring>

namespace {

// Room for n bytes at the current position, or null (and failed) when there is none.
uint8_t* reserve(conmon_writer* writer, size_t n) {
    if (writer->failed || n > writer->capacity - writer->position) {
        writer->failed = true;
        return nullptr;
    }
    uint8_t* at = writer->data + writer->position;
    writer->position += n;
    return at;
}

uint8_t* at(conmon_writer* writer, size_t offset, size_t n) {
    if (writer->failed || offset > writer->position || n > writer->position - offset) {
        writer->failed = true;
        return nullptr;
    }
    return writer->data + offset;
}

void host16(uint8_t* out, uint16_t value) {
    std::memcpy(out, &value, sizeof value);
}

void be16(uint8_t* out, uint16_t value) {
    out[0] = static_cast<uint8_t>(value >> 8);
    out[1] = static_cast<uint8_t>(value);
}

}  // namespace

void conmon_writer_init(conmon_writer* writer, void* data, size_t capacity) {
    writer->data = static_cast<uint8_t*>(data);
    writer->capacity = data ? capacity : 0;
    writer->position = 0;
    writer->failed = false;
}

size_t conmon_writer_size(const conmon_writer* writer) {
    return writer->failed ? 0 : writer->position;
}

void conmon_writer_u16_host(conmon_writer* writer, uint16_t value) {
    if (uint8_t* out = reserve(writer, 2)) {
        host16(out, value);
    }
}

void conmon_writer_u16be(conmon_writer* writer, uint16_t value) {
    if (uint8_t* out = reserve(writer, 2)) {
        be16(out, value);
    }
}

void conmon_writer_u32be(conmon_writer* writer, uint32_t value) {
    if (uint8_t* out = reserve(writer, 4)) {
        be16(out, static_cast<uint16_t>(value >> 16));
        be16(out + 2, static_cast<uint16_t>(value));
    }
}

void conmon_writer_bytes(conmon_writer* writer, const void* bytes, size_t n) {
    uint8_t* out = reserve(writer, n);
    if (out && n > 0) {
        std::memcpy(out, bytes, n);
    }
}

void conmon_writer_zeros(conmon_writer* writer, size_t n) {
    uint8_t* out = reserve(writer, n);
    if (out && n > 0) {
        std::memset(out, 0, n);
    }
}

void conmon_writer_padded(conmon_writer* writer, const char* text, size_t field_size) {
    const size_t length = text ? strnlen(text, field_size) : 0;
    if (length >= field_size) {
        writer->failed = true;
        return;
    }
    conmon_writer_bytes(writer, text, length);
    conmon_writer_zeros(writer, field_size - length);
}

void conmon_writer_patch_u16_host(conmon_writer* writer, size_t offset, uint16_t value) {
    if (uint8_t* out = at(writer, offset, 2)) {
        host16(out, value);
    }
}

void conmon_writer_patch_u16be(conmon_writer* writer, size_t offset, uint16_t value) {
    if (uint8_t* out = at(writer, offset, 2)) {
        be16(out, value);
    }
}
