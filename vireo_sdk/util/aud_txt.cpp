#include "util/aud_txt.h"

#include <cstring>

#include "util/aud_reader.h"

const char* aud_txt_entry_value(const aud_txt_entry* entry) {
    return entry->value_offset ? entry->text + entry->value_offset : nullptr;
}

int aud_txt_parse(aud_txt_entry* entries, size_t max_entries, const uint8_t* record,
                  size_t length) {
    aud_reader reader;
    aud_reader_init(&reader, record, length);
    size_t count = 0;
    while (aud_reader_remaining(&reader) > 0) {
        uint8_t size = 0;
        const uint8_t* string = nullptr;
        aud_reader_u8(&reader, &size);
        if (!aud_reader_view(&reader, size, &string)) {
            return AUD_TXT_ERROR_OVERRUN;
        }
        if (size == 0) {
            continue;
        }
        if (count >= max_entries || !entries) {
            return AUD_TXT_ERROR_FULL;
        }
        aud_txt_entry& entry = entries[count++];
        std::memcpy(entry.text, string, size);
        entry.text[size] = '\0';
        entry.value_offset = 0;
        entry.value_length = 0;
        const void* equals = std::memchr(string, '=', size);
        if (equals) {
            const size_t key = static_cast<size_t>(static_cast<const uint8_t*>(equals) - string);
            entry.text[key] = '\0';
            entry.value_offset = key + 1;
            entry.value_length = size - key - 1;
        }
    }
    return static_cast<int>(count);
}
