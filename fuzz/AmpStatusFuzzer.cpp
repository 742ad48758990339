#include <cstddef>
#include <cstdint>

#include "AmpStatus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const AmpStatusDatagram datagram =
        parseAmpStatus(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    // Every line holds at least "x a,b,c" (7 bytes) and is ended by a carriage return.
    if (datagram.lines.size() > int(size / 7) + 1 ||
        (datagram.rejected > 0) == datagram.first_rejected.isEmpty()) {
        __builtin_trap();
    }
    return 0;
}
