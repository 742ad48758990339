#pragma once

#include "platform/aud_error.h"

enum {
    AUD_NAME_MAX = 32,   // characters of a Vireo name
    AUD_LABEL_MAX = 39,  // characters of a label
    AUD_NAME_SIZE = AUD_NAME_MAX + 1,
    AUD_LABEL_SIZE = AUD_LABEL_MAX + 1
};

// Copies a Vireo name into destination (AUD_NAME_SIZE bytes): a '.', '=' or '@' gives 4 with an
// empty destination; more than 32 characters give 8 with the first 32 kept.
aud_error_t aud_name_copy(char* destination, const char* name);
// Copies a label into destination (AUD_LABEL_SIZE bytes): more than 39 characters give 8 with
// the first 39 kept; an empty or null text gives an empty destination.
aud_error_t aud_label_copy(char* destination, const char* text);
