#pragma once

#include <cstddef>
#include <cstdint>

enum {
    AUD_TXT_KEY_SIZE = 256,
    AUD_TXT_ERROR_FULL = -1,    // more entries than room
    AUD_TXT_ERROR_OVERRUN = -3  // a length runs past the end of the record
};

// One string of a DNS-SD TXT record, split at its first '='. text holds the key, a NUL, and
// (when there was a '=') the value with its NUL at value_offset. value_offset 0: no value.
struct aud_txt_entry {
    char text[AUD_TXT_KEY_SIZE + 1];
    size_t value_offset;
    size_t value_length;
};

// The value of an entry, or null when it has none.
const char* aud_txt_entry_value(const aud_txt_entry* entry);

// Splits a TXT record (length-prefixed strings; empty ones are skipped) into at most
// max_entries entries. Returns the entry count, AUD_TXT_ERROR_OVERRUN or AUD_TXT_ERROR_FULL.
int aud_txt_parse(aud_txt_entry* entries, size_t max_entries, const uint8_t* record, size_t length);
