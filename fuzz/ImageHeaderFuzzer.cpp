// The firmware image header reader, on images of any size and content.
#include <cstddef>
#include <cstdint>

#include "updater/ImageHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto header = kolvo::readImageHeader(data, size);
    if (!header) {
        return 0;
    }
    // A header read means the whole of it lay inside the image.
    const size_t digits = header->product_id.size();
    if (size < kolvo::ImageHeader::kMinImageSize || digits < 8 || digits > 24 ||
        header->vendor_id.size() != 8 ||
        header->product_id.find_first_not_of("0123456789") != std::string::npos) {
        __builtin_trap();
    }
    return 0;
}
