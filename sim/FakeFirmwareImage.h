#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FakeWire.h"

namespace sim {

// A firmware image the simulated devices take: the header's version, product id and
// manufacturer id at their offsets, every other byte a fixed pattern.
struct FakeFirmwareImage {
    static constexpr size_t kMajorAt = 0x184;
    static constexpr size_t kMinorAt = 0x186;
    static constexpr size_t kProductIdAt = 0x188;
    static constexpr size_t kManufacturerAt = 0x194;
    static constexpr size_t kSize = 16 * 1024 + 100;  // the last of 65 blocks short

    int major = 2;  // 0 to 127 each: the header's bytes are read as signed
    int minor = 0;
    std::array<uint8_t, 8> product_id{};
    std::string manufacturer;  // at most 8 characters, padded with zero bytes

    // An image for the devices that zeb-sim simulates (the maker's default product id and
    // manufacturer).
    static FakeFirmwareImage forSimDevices(int major, int minor);

    Bytes bytes() const;
};

}  // namespace sim
