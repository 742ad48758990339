#include <cstddef>
#include <cstdint>

#include "TextReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const TextReply reply =
        parseTextReply(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    const bool ack = reply.kind == TextReply::Kind::Ack;
    // A version only comes with an ACK of the key VERSION; a malformed reply names its fault.
    if ((reply.has_version && (!ack || reply.key != QLatin1String("VERSION"))) ||
        ((reply.kind == TextReply::Kind::Malformed) == reply.fault.isEmpty())) {
        __builtin_trap();
    }
    return 0;
}
