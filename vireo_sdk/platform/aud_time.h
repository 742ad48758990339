#pragma once

#include <cstdint>

#include "platform/aud_error.h"

// A point in time or a span: seconds and microseconds (kept below 1,000,000).
struct aud_time {
    int64_t seconds;
    int32_t microseconds;
};

// Size of the calendar text of aud_time_to_string, NUL included.
enum { AUD_TIME_STRING_SIZE = 26 };

// Wall-clock time since 1970-01-01 00:00 UTC; 3 for a null argument.
aud_error_t aud_time_get(aud_time* time);

// Monotonic time for deadlines and time-outs (unaffected by clock changes).
aud_error_t aud_time_get_monotonic(aud_time* time);

// Local calendar text of time (null: now), e.g. "Wed Jan  2 03:04:05 2019\n", into buffer of
// AUD_TIME_STRING_SIZE bytes; a null buffer uses one buffer per thread. Returns the text.
const char* aud_time_to_string(const aud_time* time, char* buffer);

// Brings microseconds into 0..999,999, carrying into seconds.
void aud_time_normalise(aud_time* time);

// a + b, normalised.
aud_time aud_time_add(const aud_time* a, const aud_time* b);

// Negative, zero or positive as a is before, equal to or after b.
int aud_time_compare(const aud_time* a, const aud_time* b);

aud_error_t aud_process_get_id(uint32_t* id);

// Major and minor number of the running kernel.
aud_error_t aud_os_version(uint32_t* major, uint32_t* minor);
