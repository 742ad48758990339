#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kolvo {

// The fields of a firmware image's header: the versions at 0x184 and 0x186, the product id at
// 0x188 and the vendor id at 0x194. The rest of the image is pushed unchanged.
struct ImageHeader {
    // The header ends at 0x19C.
    static constexpr size_t kMinImageSize = 0x19C;

    // Signed bytes widened: 0x80-0xFF give 65408-65535.
    uint16_t major = 0;
    uint16_t minor = 0;
    // The decimal values of the 8 bytes run together: 8 to 24 digits.
    std::string product_id;
    // The 8 bytes as they are (Latin-1), zero bytes kept.
    std::string vendor_id;
};

// The header of an image of `size` bytes; nothing when the image is shorter than the header
// or too large to push.
std::optional<ImageHeader> readImageHeader(const uint8_t* data, size_t size);

}  // namespace kolvo
