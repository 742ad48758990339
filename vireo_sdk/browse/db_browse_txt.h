#pragma once

#include <cstddef>
#include <cstdint>

#include "browse/db_browse_tree.h"

// Bounded reading of TXT record values. Values are not terminated and may be of any length:
// every copy is bounded by the value's length and the destination's size.

enum db_txt_result {
    DB_TXT_ABSENT = 0,  // no such key
    DB_TXT_EMPTY = 1,   // the key without a value, or with an empty one
    DB_TXT_VALUE = 2
};

enum { DB_TXT_VALUE_SIZE = 256 };

// The value of key as terminated text in value (DB_TXT_VALUE_SIZE bytes).
db_txt_result db_txt_get(uint16_t txt_length, const unsigned char* txt, const char* key,
                         char* value);

// Up to three numbers "major.minor.build"; the count of numbers read (0 to 3).
int db_txt_parse_version(const char* text, db_browse_version* version);
// Exactly 16 hexadecimal characters into 8 bytes.
bool db_txt_parse_hex_id(const char* text, uint8_t* id);
// A decimal number of at most max.
bool db_txt_parse_decimal(const char* text, uint32_t max, uint32_t* value);
// Numbers separated by separator, each at most max, into values; the count read.
size_t db_txt_parse_numbers(const char* text, char separator, uint32_t max, uint32_t* values,
                            size_t count);
