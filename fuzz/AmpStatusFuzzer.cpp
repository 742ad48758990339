// An amplifier status datagram as the status listener reads it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "AmpStatus.h"

namespace {

int countOf(const uint8_t* data, size_t size, uint8_t byte) {
    int count = 0;
    for (size_t i = 0; i < size; ++i) {
        count += data[i] == byte;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const AmpStatusDatagram datagram =
        parseAmpStatus(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    // The text ends at the first zero byte. An accepted line holds exactly one space and two
    // commas, nothing else required (" ,," reads as 0,0,0), and lines are parted by single
    // carriage returns: n accepted lines take at least 4n - 1 bytes. Empty lines are neither
    // accepted nor refused, so there are no more lines of either kind than parts.
    const size_t text = strnlen(reinterpret_cast<const char*>(data), size);
    const int accepted = datagram.lines.size();
    if (size_t(accepted) > (text + 1) / 4 || accepted > countOf(data, text, ' ') ||
        2 * accepted > countOf(data, text, ',') ||
        accepted + datagram.rejected > countOf(data, text, '\r') + 1 ||
        (datagram.rejected > 0) == datagram.first_rejected.isEmpty()) {
        __builtin_trap();
    }
    return 0;
}
