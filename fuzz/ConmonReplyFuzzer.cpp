// The conmon driver's reply parser: any body of the monitoring channel.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ConmonReplyParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the body's size, so reading past it is caught.
    const std::vector<uint8_t> body(data, data + size);
    const ConmonReply reply = ConmonReplyParser::parse(body.data(), body.size());
    using Kind = ConmonReply::Kind;
    // A version comes only with a command response; a MAC is six lower-case hex pairs; a
    // product id is the digits of eight bytes.
    const bool bad_version = reply.has_mcu_version && reply.kind != Kind::CommandResponse;
    const bool bad_mac = reply.kind == Kind::MacAddress && reply.mac.size() != 17;
    const bool bad_id = reply.kind == Kind::ProductId &&
                        (reply.product_id.size() < 8 || reply.product_id.size() > 24);
    if (bad_version || bad_mac || bad_id) {
        __builtin_trap();
    }
    return 0;
}
