#include "util/aud_formats.h"

#include <cstring>

aud_error_t aud_formats_add(aud_formats* set, uint32_t value) {
    if (!set) {
        return AUD_ERR_INVALIDPARAMETER;
    }
    const bool empty = set->small_mask == 0 && set->large_count == 0;
    if (value >= 1 && value <= AUD_FORMATS_SMALL_MAX) {
        set->small_mask |= static_cast<uint8_t>(1u << ((value + 7) / 8 - 1));
        if (set->first_small == 0) {
            set->first_small = value;
        }
    } else {
        size_t at = 0;
        while (at < set->large_count && set->large[at] < value) {
            ++at;
        }
        if (at < set->large_count && set->large[at] == value) {
            return AUD_SUCCESS;
        }
        if (set->large_count >= AUD_FORMATS_LARGE_MAX) {
            return AUD_ERR_TRUNCATED;
        }
        std::memmove(&set->large[at + 1], &set->large[at],
                     (set->large_count - at) * sizeof set->large[0]);
        set->large[at] = value;
        ++set->large_count;
    }
    if (empty) {
        set->first = value;
    }
    return AUD_SUCCESS;
}

bool aud_formats_equal(const aud_formats* a, const aud_formats* b) {
    return a->small_mask == b->small_mask && a->large_count == b->large_count &&
           std::memcmp(a->large, b->large, a->large_count * sizeof a->large[0]) == 0;
}

size_t aud_formats_to_array(const aud_formats* set, uint32_t* out) {
    size_t count = 0;
    if (set->small_mask) {
        out[count++] = AUD_FORMATS_SMALL_MARK;
    }
    for (size_t i = 0; i < set->large_count && count < AUD_FORMATS_LARGE_MAX; ++i) {
        out[count++] = set->large[i];
    }
    return count;
}
