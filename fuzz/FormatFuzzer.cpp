#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "util/aud_format_core.h"

namespace {

// Harmless values for every conversion the format text asks for.
class FixedArguments : public aud_format::Arguments {
public:
    int nextInt() override { return ++count_ % 2 ? 7 : -3; }
    int64_t nextSigned(aud_format_size) override { return INT64_MIN + count_++; }
    uint64_t nextUnsigned(aud_format_size) override { return UINT64_MAX - count_++; }
    double nextDouble() override { return ++count_ % 2 ? 1e300 : -0.5; }
    const void* nextPointer() override {
        // Strings and wide strings alike: terminated in both widths.
        static const char16_t text[] = u"w\u00e9\xd800x";
        return ++count_ % 3 ? static_cast<const void*>(text) : nullptr;
    }

private:
    int count_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::string format(reinterpret_cast<const char*>(data) + 1, size - 1);
    char buffer[64];
    const size_t room = data[0] % sizeof buffer;
    FixedArguments arguments;
    const int n = aud_format::format(buffer, room, format.c_str(), arguments);
    if (room > 0 && (n < 0 || std::strlen(buffer) >= room)) {
        __builtin_trap();
    }
    aud_format_directive directive;
    for (size_t i = 0; i < format.size(); ++i) {
        aud_format_parse_directive(format.c_str() + i, &directive);
        if (directive.length > format.size() - i) {
            __builtin_trap();
        }
    }
    return 0;
}
