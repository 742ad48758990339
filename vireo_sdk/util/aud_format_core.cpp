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

// The platform's conversion text for directive, with the width and precision already fetched and
// tail the platform's size prefix and letter. Only the flags that the letter takes are kept.
std::string platformDirective(const aud_format_directive& directive, int width, int precision,
                              const char* flags, const std::string& tail) {
    std::string text = "%";
    const auto flag = [&](bool set, char c) {
        if (set && std::strchr(flags, c)) {
            text += c;
        }
    };
    flag(directive.left || width < 0, '-');
    flag(directive.plus, '+');
    flag(directive.zero, '0');
    flag(directive.space, ' ');
    flag(directive.alternate, '#');
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
void emit(Output& out, const std::string& directive, Value value) {
    std::string scratch(2052, '\0');
    for (;;) {
        const int n = std::snprintf(&scratch[0], scratch.size(), directive.c_str(), value);
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

void convert(Output& out, const aud_format_directive& directive, Arguments& arguments) {
    int width = directive.width;
    int precision = directive.precision;
    if (width == AUD_FORMAT_FROM_ARGUMENT) {
        width = arguments.nextInt();
        if (width == INT_MIN) {
            width = AUD_FORMAT_MAX_WIDTH;
        }
    }
    if (precision == AUD_FORMAT_FROM_ARGUMENT) {
        precision = arguments.nextInt();
    }
    switch (directive.conversion) {
        case 'd':
            emit(out, platformDirective(directive, width, precision, "-+0 ", PRId64),
                 arguments.nextSigned(directive.size));
            break;
        case 'i':
            emit(out, platformDirective(directive, width, precision, "-+0 ", PRIi64),
                 arguments.nextSigned(directive.size));
            break;
        case 'o':
        case 'u':
        case 'x':
        case 'X': {
            const char* tail = directive.conversion == 'o'   ? PRIo64
                               : directive.conversion == 'u' ? PRIu64
                               : directive.conversion == 'x' ? PRIx64
                                                             : PRIX64;
            emit(out, platformDirective(directive, width, precision, "-0#", tail),
                 arguments.nextUnsigned(directive.size));
            break;
        }
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
            emit(out,
                 platformDirective(directive, width, precision, "-+0 #",
                                   std::string(1, directive.conversion)),
                 arguments.nextDouble());
            break;
        case 'p':
            emit(out, platformDirective(directive, width, AUD_FORMAT_NONE, "-", "p"),
                 arguments.nextPointer());
            break;
        case 'c':
            if (directive.wide) {
                const char16_t unit[2] = {static_cast<char16_t>(arguments.nextInt()), 0};
                emit(out, platformDirective(directive, width, AUD_FORMAT_NONE, "-", "s"),
                     wideToUtf8(unit).c_str());
            } else {
                emit(out, platformDirective(directive, width, AUD_FORMAT_NONE, "-", "c"),
                     arguments.nextInt());
            }
            break;
        case 's':
        case 'S': {
            const void* pointer = arguments.nextPointer();
            std::string text;
            if (!pointer) {
                text = "(null)";
            } else if (directive.wide) {
                text = wideToUtf8(static_cast<const char16_t*>(pointer));
            }
            const char* value =
                (pointer && !directive.wide) ? static_cast<const char*>(pointer) : text.c_str();
            emit(out, platformDirective(directive, width, precision, "-", "s"), value);
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
        aud_format_directive directive;
        aud_format_parse_directive(p, &directive);
        if (directive.conversion == 0) {
            // Unknown conversion: the '%' is dropped, the text after it stays. A "%n" still
            // has its pointer argument, which is passed over so later conversions line up.
            if (p[directive.length] == 'n') {
                arguments.nextPointer();
            }
            continue;
        }
        convert(out, directive, arguments);
        p += directive.length;
    }
    return out.finish();
}

}  // namespace aud_format
