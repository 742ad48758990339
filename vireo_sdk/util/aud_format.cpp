#include "util/aud_format.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "util/aud_format_core.h"

namespace {

// The arguments of a va_list, read by the size each conversion names.
class VaArguments : public aud_format::Arguments {
public:
    explicit VaArguments(va_list arguments) { va_copy(arguments_, arguments); }
    ~VaArguments() override { va_end(arguments_); }
    VaArguments(const VaArguments&) = delete;
    VaArguments& operator=(const VaArguments&) = delete;

    int nextInt() override { return va_arg(arguments_, int); }

    int64_t nextSigned(aud_format_size size) override {
        switch (size) {
            case AUD_FORMAT_SIZE_CHAR:
                return static_cast<signed char>(va_arg(arguments_, int));
            case AUD_FORMAT_SIZE_SHORT:
                return static_cast<short>(va_arg(arguments_, int));
            case AUD_FORMAT_SIZE_LONG:
                return va_arg(arguments_, long);
            case AUD_FORMAT_SIZE_LONGLONG:
                return va_arg(arguments_, long long);
            case AUD_FORMAT_SIZE_INT32:
                return va_arg(arguments_, int32_t);
            case AUD_FORMAT_SIZE_SIZE:
                return static_cast<int64_t>(va_arg(arguments_, size_t));
            case AUD_FORMAT_SIZE_PTRDIFF:
                return va_arg(arguments_, ptrdiff_t);
            case AUD_FORMAT_SIZE_INTMAX:
                return va_arg(arguments_, intmax_t);
            default:
                return va_arg(arguments_, int);
        }
    }

    uint64_t nextUnsigned(aud_format_size size) override {
        switch (size) {
            case AUD_FORMAT_SIZE_CHAR:
                return static_cast<unsigned char>(va_arg(arguments_, unsigned));
            case AUD_FORMAT_SIZE_SHORT:
                return static_cast<unsigned short>(va_arg(arguments_, unsigned));
            case AUD_FORMAT_SIZE_LONG:
                return va_arg(arguments_, unsigned long);
            case AUD_FORMAT_SIZE_LONGLONG:
                return va_arg(arguments_, unsigned long long);
            case AUD_FORMAT_SIZE_INT32:
                return va_arg(arguments_, uint32_t);
            case AUD_FORMAT_SIZE_SIZE:
                return va_arg(arguments_, size_t);
            case AUD_FORMAT_SIZE_PTRDIFF:
                return static_cast<uint64_t>(va_arg(arguments_, ptrdiff_t));
            case AUD_FORMAT_SIZE_INTMAX:
                return va_arg(arguments_, uintmax_t);
            default:
                return va_arg(arguments_, unsigned);
        }
    }

    double nextDouble() override { return va_arg(arguments_, double); }
    const void* nextPointer() override { return va_arg(arguments_, const void*); }

private:
    va_list arguments_;
};

}  // namespace

int aud_snprintf(char* buffer, size_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int n = aud_vsnprintf(buffer, size, format, arguments);
    va_end(arguments);
    return n;
}

int aud_vsnprintf(char* buffer, size_t size, const char* format, va_list arguments) {
    if (!buffer && size > 0) {
        return -1;
    }
    VaArguments source(arguments);
    return aud_format::format(buffer, size, format, source);
}

int aud_vasprintf(char** text, const char* format, va_list arguments) {
    if (!text) {
        return -1;
    }
    *text = nullptr;
    const int n = aud_vsnprintf(nullptr, 0, format, arguments);
    if (n < 0) {
        return -1;
    }
    char* buffer = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
    if (!buffer) {
        return -1;
    }
    aud_vsnprintf(buffer, static_cast<size_t>(n) + 1, format, arguments);
    *text = buffer;
    return n;
}
