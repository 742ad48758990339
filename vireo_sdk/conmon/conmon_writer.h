#pragma once

#include <cstddef>
#include <cstdint>

// The one writer of conmon datagrams: every put checks the room left and, when it would write
// past the end, writes nothing and marks the writer failed; later puts then do nothing.
struct conmon_writer {
    uint8_t* data;
    size_t capacity;
    size_t position;
    bool failed;
};

void conmon_writer_init(conmon_writer* writer, void* data, size_t capacity);
// The bytes written so far, or 0 once a put has failed.
size_t conmon_writer_size(const conmon_writer* writer);

// Host order: the control messages between client and server on one machine.
void conmon_writer_u16_host(conmon_writer* writer, uint16_t value);
// Network order: conmon messages and their bodies.
void conmon_writer_u16be(conmon_writer* writer, uint16_t value);
void conmon_writer_u32be(conmon_writer* writer, uint32_t value);
void conmon_writer_bytes(conmon_writer* writer, const void* bytes, size_t n);
void conmon_writer_zeros(conmon_writer* writer, size_t n);
// text in a field of field_size bytes, padded with zero bytes; fails unless the text and a
// terminator fit.
void conmon_writer_padded(conmon_writer* writer, const char* text, size_t field_size);
// Overwrites a host-order u16 written earlier at offset.
void conmon_writer_patch_u16_host(conmon_writer* writer, size_t offset, uint16_t value);
// Overwrites a network-order u16 written earlier at offset.
void conmon_writer_patch_u16be(conmon_writer* writer, size_t offset, uint16_t value);
