#include "FakeFirmwareImage.h"

#include <algorithm>

#include "FakeNetwork.h"

namespace sim {

FakeFirmwareImage FakeFirmwareImage::forSimDevices(int major, int minor) {
    const FakeNetworkDevice device;
    FakeFirmwareImage image;
    image.major = major;
    image.minor = minor;
    image.product_id = device.product_id;
    image.manufacturer = device.manufacturer;
    return image;
}

Bytes FakeFirmwareImage::bytes() const {
    Bytes image(kSize);
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = uint8_t(i * 31 % 251);
    }
    image[kMajorAt] = uint8_t(major);
    image[kMinorAt] = uint8_t(minor);
    std::copy(product_id.begin(), product_id.end(), image.begin() + kProductIdAt);
    for (size_t i = 0; i < 8; ++i) {
        image[kManufacturerAt + i] = i < manufacturer.size() ? uint8_t(manufacturer[i]) : 0;
    }
    return image;
}

}  // namespace sim
