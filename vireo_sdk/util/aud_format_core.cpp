#include "util/aud_format_core.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "util/aud_text.h"

namespace aud_format {
namespace {

// The output text: writes what fits below size, counts all of it.
class Output {
public:
    Output(char* buffer, size_t size) : buffer_(buffer), size_(size) {}

    void append(const char* text, size_t n) {
        if (used_ + 1 < size_) {
            const size_t room = size_ - 1 - used_;
            const size_t copied = n < room ? n : room;
            std::memcpy(buffer_ + used_, text, copied);
            used_ += copied;
        }
        total_ += n;
    }

    int finish() {
        if (size_ > 0) {
            buffer_[used_] = '\0';
        }
        return total_ > INT_MAX ? -1 : static_cast<int>(total_);
    }

private:
    char* buffer_;
    size_t size_;
    size_t used_ = 0;
    size_t total_ = 0;
};

// The platform's conversion text for spec, with the width and precision already fetched and
// tail the platform's size prefix and letter. Only the flags that the letter takes are kept.
std::string platformSpec(const aud_format_spec& spec, int width, int precision, const char* flags,
                         const std::string& tail) {
    std::string text = "%";
    const auto flag = [&](bool set, char c) {
        if (set && std::strchr(flags, c)) {
            text += c;
        }
    };
    flag(spec.left || width < 0, '-');
    flag(spec.plus, '+');
    flag(spec.zero, '0');
    flag(spec.space, ' ');
    flag(spec.alternate, '#');
    if (width != AUD_FORMAT_NONE) {
        const int magnitude = width < 0 ? -width : width;
        text += std::to_string(magnitude > AUD_FORMAT_MAX_WIDTH ? AUD_FORMAT_MAX_WIDTH : magnitude);
    }
    if (precision >= 0) {
        text += '.';
        text += std::to_string(precision > AUD_FORMAT_MAX_WIDTH ? AUD_FORMAT_MAX_WIDTH : precision);
    }
    return text + tail;
}

// Runs the platform formatter for one conversion, growing the scratch text until it fits.
template <class Value>
void emit(Output& out, const std::string& spec, Value value) {
    std::string scratch(2052, '\0');
    for (;;) {
        const int n = std::snprintf(&scratch[0], scratch.size(), spec.c_str(), value);
        if (n < 0) {
            return;
        }
        if (static_cast<size_t>(n) < scratch.size()) {
            out.append(scratch.data(), static_cast<size_t>(n));
            return;
        }
        scratch.resize(scratch.size() * 2 > static_cast<size_t>(n) ? scratch.size() * 2
                                                                   : static_cast<size_t>(n) + 1);
    }
}

std::string wideToUtf8(const char16_t* wide) {
    const size_t n = aud_wcstombs(nullptr, wide, 0);
    std::string text(n + 1, '\0');
    aud_wcstombs(&text[0], wide, text.size());
    text.resize(n);
    return text;
}

void convert(Output& out, const aud_format_spec& spec, Arguments& arguments) {
    int width = spec.width;
    int precision = spec.precision;
    if (width == AUD_FORMAT_FROM_ARGUMENT) {
        width = arguments.nextInt();
        if (width == INT_MIN) {
            width = AUD_FORMAT_MAX_WIDTH;
        }
    }
    if (precision == AUD_FORMAT_FROM_ARGUMENT) {
        precision = arguments.nextInt();
    }
    switch (spec.conversion) {
        case 'd':
            emit(out, platformSpec(spec, width, precision, "-+0 ", PRId64),
                 arguments.nextSigned(spec.size));
            break;
        case 'i':
            emit(out, platformSpec(spec, width, precision, "-+0 ", PRIi64),
                 arguments.nextSigned(spec.size));
            break;
        case 'o':
        case 'u':
        case 'x':
        case 'X': {
            const char* tail = spec.conversion == 'o'   ? PRIo64
                               : spec.conversion == 'u' ? PRIu64
                               : spec.conversion == 'x' ? PRIx64
                                                        : PRIX64;
            emit(out, platformSpec(spec, width, precision, "-0#", tail),
                 arguments.nextUnsigned(spec.size));
            break;
        }
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
            emit(out,
                 platformSpec(spec, width, precision, "-+0 #", std::string(1, spec.conversion)),
                 arguments.nextDouble());
            break;
        case 'p':
            emit(out, platformSpec(spec, width, AUD_FORMAT_NONE, "-", "p"),
                 arguments.nextPointer());
            break;
        case 'c':
            if (spec.wide) {
                const char16_t unit[2] = {static_cast<char16_t>(arguments.nextInt()), 0};
                emit(out, platformSpec(spec, width, AUD_FORMAT_NONE, "-", "s"),
                     wideToUtf8(unit).c_str());
            } else {
                emit(out, platformSpec(spec, width, AUD_FORMAT_NONE, "-", "c"),
                     arguments.nextInt());
            }
            break;
        case 's':
        case 'S': {
            const void* pointer = arguments.nextPointer();
            std::string text;
            if (!pointer) {
                text = "(null)";
            } else if (spec.wide) {
                text = wideToUtf8(static_cast<const char16_t*>(pointer));
            }
            const char* value =
                (pointer && !spec.wide) ? static_cast<const char*>(pointer) : text.c_str();
            emit(out, platformSpec(spec, width, precision, "-", "s"), value);
            break;
        }
        default:
            break;
    }
}

}  // namespace

int format(char* buffer, size_t size, const char* format, Arguments& arguments) {
    Output out(buffer, size);
    if (!format) {
        out.finish();
        return -1;
    }
    const char* p = format;
    while (*p) {
        const char* percent = std::strchr(p, '%');
        if (!percent) {
            out.append(p, std::strlen(p));
            break;
        }
        out.append(p, static_cast<size_t>(percent - p));
        p = percent + 1;
        if (*p == '%') {
            out.append("%", 1);
            ++p;
            continue;
        }
        aud_format_spec spec;
        aud_format_parse_spec(p, &spec);
        if (spec.conversion == 0) {
            // Unknown conversion: the '%' is dropped, the text after it stays. A "%n" still
            // has its pointer argument, which is passed over so later conversions line up.
            if (p[spec.length] == 'n') {
                arguments.nextPointer();
            }
            continue;
        }
        convert(out, spec, arguments);
        p += spec.length;
    }
    return out.finish();
}

}  // namespace aud_format
