#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aud_error.h"

// A list of entries, each stamped with when it was last seen; entries not seen for the
// maximum age are reported to the owner's callback and dropped. Each entry carries a data
// block of the owner's, allocated and freed with it.
struct aud_expiry_list;

enum {
    AUD_EXPIRY_REMOVED = 3,    // the kind reported for an expired entry
    AUD_EXPIRY_MAX_AGE = 3600  // seconds
};

typedef void (*aud_expiry_callback)(void* owner, int kind, void* data);
// The list's clock in seconds (monotonic by default).
typedef int64_t (*aud_expiry_clock)(void* context);

aud_error_t aud_expiry_list_new(void* owner, aud_expiry_list** list);
// Frees the list and its entries without reports.
void aud_expiry_list_free(aud_expiry_list* list);
size_t aud_expiry_list_count(const aud_expiry_list* list);
void aud_expiry_list_set_callback(aud_expiry_list* list, aud_expiry_callback callback);
void aud_expiry_list_set_max_age(aud_expiry_list* list, int64_t seconds);
// Null restores the monotonic clock.
void aud_expiry_list_set_clock(aud_expiry_list* list, aud_expiry_clock clock, void* context);
// Frees every entry without reports.
void aud_expiry_list_clear(aud_expiry_list* list);

// Appends an entry with a zeroed data block of size bytes, seen now.
aud_error_t aud_expiry_list_add(aud_expiry_list* list, size_t size, void** data);
// Marks the entry of data as seen now.
void aud_expiry_list_touch(aud_expiry_list* list, void* data);
// Frees the entry of data without a report.
void aud_expiry_list_remove(aud_expiry_list* list, void* data);
// The data after data in list order; null data gives the first, null at the end.
void* aud_expiry_list_next(const aud_expiry_list* list, void* data);

// Reports (kind AUD_EXPIRY_REMOVED) and frees every entry last seen the maximum age or more ago.
void aud_expiry_list_expire(aud_expiry_list* list);
