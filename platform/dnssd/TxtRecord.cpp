#include <cstring>

#include "DnsName.h"
#include "vireo_dns_sd.h"

namespace {

// The value of the first string whose key is `key`: true and the value's place when found;
// false for a record whose lengths do not fit it.
bool findKey(uint16_t length, const uint8_t* record, const char* key, const uint8_t** value,
             uint8_t* value_length) {
    const size_t key_length = std::strlen(key);
    if (key_length == 0 || std::strchr(key, '=')) {
        return false;
    }
    for (size_t at = 0; at < length;) {
        if (at + 1 + record[at] > length) {
            return false;
        }
        const size_t end = at + 1 + record[at];
        const uint8_t* text = record + at + 1;
        size_t name_length = 0;
        while (text + name_length < record + end && text[name_length] != '=') {
            ++name_length;
        }
        bool same = name_length == key_length;
        for (size_t i = 0; same && i < key_length; ++i) {
            same = vireo_dnssd::asciiLower(char(text[i])) == vireo_dnssd::asciiLower(key[i]);
        }
        if (same) {
            const bool has_value = text + name_length < record + end;
            *value = text + name_length + (has_value ? 1 : 0);
            *value_length = uint8_t(record + end - *value);
            return true;
        }
        at = end;
    }
    return false;
}

// Every length fits inside the record.
bool wellFormed(uint16_t length, const uint8_t* record) {
    size_t at = 0;
    while (at < length) {
        at += 1 + record[at];
    }
    return at == length;
}

}  // namespace

const void* TXTRecordGetValuePtr(uint16_t txtLen, const void* txtRecord, const char* key,
                                 uint8_t* valueLen) {
    const auto* record = static_cast<const uint8_t*>(txtRecord);
    const uint8_t* value = nullptr;
    uint8_t length = 0;
    if (!key || (txtLen > 0 && !record) || !wellFormed(txtLen, record) ||
        !findKey(txtLen, record, key, &value, &length)) {
        return nullptr;
    }
    if (valueLen) {
        *valueLen = length;
    }
    return value;
}

int TXTRecordContainsKey(uint16_t txtLen, const void* txtRecord, const char* key) {
    uint8_t length = 0;
    return TXTRecordGetValuePtr(txtLen, txtRecord, key, &length) != nullptr;
}
