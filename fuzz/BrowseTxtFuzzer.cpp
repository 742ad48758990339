// The resolved handlers' reading of TXT records: the first byte picks the service type, the
// rest is the record.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "browse/db_browse_internal.h"

namespace {

db_browse* browse() {
    static db_browse* made = [] {
        db_browse* created = nullptr;
        db_browse_new(nullptr, DB_BROWSE_ALL_TYPES, &created);
        return created;
    }();
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 0xffff + 1 || !browse()) {
        return 0;
    }
    const unsigned row = data[0] % 6;
    db_resolve record{};
    record.browse = browse();
    record.type = row;
    std::strcpy(record.name, row == 1 ? "Out 1@AMP-1" : "AMP-1");
    db_browse_types[row].resolved(&record, "amp-1", 4440, uint16_t(size - 1), data + 1);
    db_browse_network_clear(db_browse_get_network(browse()));
    browse()->pass_error = AUD_SUCCESS;
    return 0;
}
