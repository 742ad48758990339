#include "browse/db_browse_txt.h"

#include <cstring>

#include "util/aud_id.h"
#include "vireo_dns_sd.h"

db_txt_result db_txt_get(uint16_t txt_length, const unsigned char* txt, const char* key,
                         char* value) {
    value[0] = '\0';
    uint8_t length = 0;
    const void* found = txt ? TXTRecordGetValuePtr(txt_length, txt, key, &length) : nullptr;
    if (!found) {
        return DB_TXT_ABSENT;
    }
    const size_t copied = length < DB_TXT_VALUE_SIZE - 1 ? length : DB_TXT_VALUE_SIZE - 1;
    std::memcpy(value, found, copied);
    value[copied] = '\0';
    return copied == 0 ? DB_TXT_EMPTY : DB_TXT_VALUE;
}

namespace {

// A decimal number of at most max at *at; *at moves past it.
bool readNumber(const char*& at, uint32_t max, uint32_t* value) {
    if (*at < '0' || *at > '9') {
        return false;
    }
    uint64_t number = 0;
    while (*at >= '0' && *at <= '9') {
        number = number * 10 + uint64_t(*at - '0');
        if (number > max) {
            return false;
        }
        ++at;
    }
    *value = uint32_t(number);
    return true;
}

}  // namespace

size_t db_txt_parse_numbers(const char* text, char separator, uint32_t max, uint32_t* values,
                            size_t count) {
    size_t read = 0;
    const char* at = text;
    while (read < count && readNumber(at, max, &values[read])) {
        ++read;
        if (*at != separator) {
            break;
        }
        ++at;
    }
    return read;
}

int db_txt_parse_version(const char* text, db_browse_version* version) {
    const uint32_t limits[3] = {0xff, 0xff, 0xffff};
    uint32_t parts[3] = {};
    size_t read = 0;
    const char* at = text;
    while (read < 3 && readNumber(at, limits[read], &parts[read])) {
        ++read;
        if (*at != '.') {
            break;
        }
        ++at;
    }
    if (read > 0) {
        version->major = uint8_t(parts[0]);
        version->minor = uint8_t(parts[1]);
        version->build = uint16_t(parts[2]);
    }
    return int(read);
}

bool db_txt_parse_hex_id(const char* text, uint8_t* id) {
    if (std::strlen(text) != 2 * AUD_ID_SIZE) {
        return false;
    }
    for (size_t i = 0; i < 2 * AUD_ID_SIZE; ++i) {
        if (aud_hex_digit(text[i]) > 15) {
            return false;
        }
    }
    return aud_hex_to_bytes(text, id, AUD_ID_SIZE) == AUD_ID_SIZE;
}

bool db_txt_parse_decimal(const char* text, uint32_t max, uint32_t* value) {
    const char* at = text;
    uint32_t number = 0;
    if (!readNumber(at, max, &number) || *at != '\0') {
        return false;
    }
    *value = number;
    return true;
}
