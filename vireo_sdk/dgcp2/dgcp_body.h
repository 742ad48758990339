#pragma once

#include <cstddef>
#include <cstdint>

#include "dgcp2/dgcp_message.h"
#include "platform/aud_error.h"

// The dgcp body: a heap of typed items addressed by 16-bit offsets from the first body byte.
// Writers append at the end of the body (skipping, not writing, alignment pads), grow the
// header's length field and give 31 when the body limit would be passed, changing nothing.
// Readers give 3 unless the whole item lies within the body the length field covers.

// An array item: a 16-bit count, then that many 16-bit slots (a small number or an offset).
struct dgcp_array {
    uint16_t offset;
    uint16_t count;
};

// Writers; *offset (may be null) gets the new item's offset.
aud_error_t dgcp_body_alloc_array(dgcp_message* message, uint16_t count, dgcp_array* array);
aud_error_t dgcp_array_set(dgcp_message* message, const dgcp_array* array, uint16_t index,
                           uint16_t value);
// A null data writes zeros; odd lengths get one pad byte.
aud_error_t dgcp_body_add_bytes(dgcp_message* message, const void* data, size_t length,
                                uint16_t* offset);
// The characters and their NUL, padded to an even length.
aud_error_t dgcp_body_add_string(dgcp_message* message, const char* text, uint16_t* offset);
aud_error_t dgcp_body_add_uint32(dgcp_message* message, uint32_t value, uint16_t* offset);
// Each UTF-16 unit as a 32-bit number, then a zero number.
aud_error_t dgcp_body_add_wide_string(dgcp_message* message, const char16_t* text,
                                      uint16_t* offset);

// Readers. 3 for an odd array offset, a number offset not a multiple of 4, or an item that does
// not end within the body (a text without its NUL, a wide text without its zero number).
aud_error_t dgcp_body_get_array(const dgcp_message* message, uint16_t offset, dgcp_array* array);
// 3 for an index at or past the count.
aud_error_t dgcp_array_get(const dgcp_message* message, const dgcp_array* array, uint16_t index,
                           uint16_t* value);
aud_error_t dgcp_body_get_bytes(const dgcp_message* message, uint16_t offset, void* out,
                                size_t length);
// Copies at most size - 1 characters and terminates.
aud_error_t dgcp_body_get_string(const dgcp_message* message, uint16_t offset, char* out,
                                 size_t size);
aud_error_t dgcp_body_get_uint32(const dgcp_message* message, uint16_t offset, uint32_t* value);
// Copies at most count - 1 units and terminates; 4 for a number that is no UTF-16 unit.
aud_error_t dgcp_body_get_wide_string(const dgcp_message* message, uint16_t offset, char16_t* out,
                                      size_t count);
