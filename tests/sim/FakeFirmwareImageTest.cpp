#include <gtest/gtest.h>

#include "FakeFirmwareImage.h"
#include "FakeNetwork.h"
#include "HexText.h"

namespace {

using sim::FakeFirmwareImage;

TEST(FakeFirmwareImage, HeaderCarriesTheSimulatedDevicesIds) {
    const sim::Bytes image = FakeFirmwareImage::forSimDevices(2, 7).bytes();
    ASSERT_EQ(image.size(), FakeFirmwareImage::kSize);
    EXPECT_GT(image.size() % 256, 0u) << "the push ends with a short block";
    EXPECT_EQ(image[0x184], 2);
    EXPECT_EQ(image[0x186], 7);
    const sim::FakeNetworkDevice device = sim::FakeNetwork::amplifier("A", "192.0.2.10", 3);
    EXPECT_EQ(sim::Bytes(image.begin() + 0x188, image.begin() + 0x190),
              sim::Bytes(device.product_id.begin(), device.product_id.end()));
    EXPECT_EQ(std::string(image.begin() + 0x194, image.begin() + 0x19C), device.manufacturer);
    EXPECT_EQ(FakeFirmwareImage::forSimDevices(2, 7).bytes(), image);
}

TEST(FakeFirmwareImage, ShortManufacturerIsPaddedWithZeroBytes) {
    FakeFirmwareImage image = FakeFirmwareImage::forSimDevices(127, 0);
    image.manufacturer = "Sona";
    const sim::Bytes bytes = image.bytes();
    EXPECT_EQ(bytes[0x184], 0x7F);
    EXPECT_EQ(bytes[0x186], 0);
    EXPECT_EQ(sim::hexText(sim::Bytes(bytes.begin() + 0x194, bytes.begin() + 0x19C)),
              "53 6F 6E 61 00 00 00 00");
}

}  // namespace
