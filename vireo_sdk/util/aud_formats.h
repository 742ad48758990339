#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aud_error.h"

enum {
    AUD_FORMATS_SMALL_MAX = 64,  // values 1..64 are kept as bits
    AUD_FORMATS_LARGE_MAX = 8,
    AUD_FORMATS_SMALL_MARK = 24  // what aud_formats_to_array gives for the small values
};

// A set of audio format values: small ones (1..64) as a mask of 8 bits, one per 8 values;
// others in a sorted array of at most 8. Zero it before use.
struct aud_formats {
    uint32_t first;        // first value added
    uint32_t first_small;  // first small value added
    uint8_t small_mask;
    uint8_t large_count;
    uint32_t large[AUD_FORMATS_LARGE_MAX];
};

// 8 when the array of larger values is full.
aud_error_t aud_formats_add(aud_formats* set, uint32_t value);
bool aud_formats_equal(const aud_formats* a, const aud_formats* b);
// Writes AUD_FORMATS_SMALL_MARK when a small value is present, then the larger values; at most
// AUD_FORMATS_LARGE_MAX in all. Returns the count.
size_t aud_formats_to_array(const aud_formats* set, uint32_t* out);
