#include <cstddef>
#include <cstdint>
#include <cstring>

#include "util/aud_txt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    aud_txt_entry entries[32];
    const int count = aud_txt_parse(entries, 32, data, size);
    for (int i = 0; i < count; ++i) {
        const char* value = aud_txt_entry_value(&entries[i]);
        if (value && std::strlen(value) != entries[i].value_length &&
            std::memchr(value, 0, entries[i].value_length) == nullptr) {
            __builtin_trap();
        }
    }
    return 0;
}
