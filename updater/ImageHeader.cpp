#include "ImageHeader.h"

#include "TftpTransfer.h"
#include "util/aud_reader.h"

namespace kolvo {

namespace {

constexpr size_t kMajorAt = 0x184;
constexpr size_t kMinorAt = 0x186;
constexpr size_t kProductIdAt = 0x188;
constexpr size_t kVendorIdAt = 0x194;
constexpr size_t kIdSize = 8;

uint16_t widened(uint8_t byte) {
    return uint16_t(int16_t(int8_t(byte)));
}

bool skipTo(aud_reader* reader, size_t offset) {
    return reader->position <= offset && aud_reader_skip(reader, offset - reader->position);
}

}  // namespace

std::optional<ImageHeader> readImageHeader(const uint8_t* data, size_t size) {
    if (!TftpTransfer::fits(int64_t(size))) {
        return std::nullopt;
    }
    aud_reader reader;
    aud_reader_init(&reader, data, size);
    uint8_t major = 0;
    uint8_t minor = 0;
    const uint8_t* product = nullptr;
    const uint8_t* vendor = nullptr;
    if (!skipTo(&reader, kMajorAt) || !aud_reader_u8(&reader, &major) ||
        !skipTo(&reader, kMinorAt) || !aud_reader_u8(&reader, &minor) ||
        !skipTo(&reader, kProductIdAt) || !aud_reader_view(&reader, kIdSize, &product) ||
        !skipTo(&reader, kVendorIdAt) || !aud_reader_view(&reader, kIdSize, &vendor)) {
        return std::nullopt;
    }
    ImageHeader header;
    header.major = widened(major);
    header.minor = widened(minor);
    for (size_t i = 0; i < kIdSize; ++i) {
        header.product_id += std::to_string(product[i]);
    }
    header.vendor_id.assign(reinterpret_cast<const char*>(vendor), kIdSize);
    return header;
}

}  // namespace kolvo
