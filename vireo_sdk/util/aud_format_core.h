#pragma once

#include <cstddef>
#include <cstdint>

#include "util/aud_format_directive.h"

namespace aud_format {

// Where the formatter takes its arguments from: the caller's va_list, or a fixed source.
class Arguments {
public:
    virtual ~Arguments() = default;
    virtual int nextInt() = 0;
    virtual int64_t nextSigned(aud_format_size size) = 0;
    virtual uint64_t nextUnsigned(aud_format_size size) = 0;
    virtual double nextDouble() = 0;
    virtual const void* nextPointer() = 0;
};

// Formats format into buffer (size bytes, terminated when size > 0); returns the full
// length or -1.
int format(char* buffer, size_t size, const char* format, Arguments& arguments);

}  // namespace aud_format
