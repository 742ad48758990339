#include <gtest/gtest.h>

#include <QSignalSpy>
#include <memory>

#include "RouterModel.h"
#include "VireoDevice.h"
#include "VireoDevices.h"

namespace {

VireoDevice* record(const char* name) {
    auto* device = new VireoDevice(nullptr);
    device->setName(QString::fromLatin1(name));
    return device;
}

TEST(VireoDevice, StartsIgnoredAndEmpty) {
    VireoDevice device;
    EXPECT_EQ(device.getPollState(), 9);
    EXPECT_TRUE(device.getName().isNull());
    EXPECT_TRUE(device.getIpAddress().isNull());
    EXPECT_TRUE(device.getProductId().isNull());
    EXPECT_EQ(device.getControlPath(), 0);
    EXPECT_EQ(device.getMcuVersion(), 0u);
    EXPECT_FALSE(device.isSelected());
    EXPECT_EQ(device.getRouterModel(), nullptr);
}

TEST(VireoDevice, AmpStatus3KeepsTheLowByte) {
    VireoDevice device;
    for (auto [given, kept] : {std::pair{256, 0}, std::pair{257, 1}, std::pair{255, 255}}) {
        device.setAmpStatus3(given);
        EXPECT_EQ(device.getAmpStatus3(), kept);
    }
}

TEST(VireoDevice, KeepsOnlyTheRouterModelOfItsName) {
    VireoDevice device;
    device.setName(QStringLiteral("AMP-1"));
    RouterModel other, own;
    other.setDeviceName(QStringLiteral("amp-1"));
    own.setDeviceName(QStringLiteral("AMP-1"));
    device.rxChannelsChanged(&other);
    EXPECT_EQ(device.getRouterModel(), nullptr);
    device.txChannelsChanged(&own);
    EXPECT_EQ(device.getRouterModel(), &own);
}

TEST(VireoDevice, ForgetsARouterModelThatIsGone) {
    VireoDevice device;
    device.setName(QStringLiteral("AMP-1"));
    auto router = std::make_unique<RouterModel>();
    router->setDeviceName(QStringLiteral("AMP-1"));
    device.rxChannelsChanged(router.get());
    ASSERT_EQ(device.getRouterModel(), router.get());
    router.reset();
    EXPECT_EQ(device.getRouterModel(), nullptr);
}

TEST(VireoDevices, SameNameTwiceGivesOneRecord) {
    VireoDevices list;
    QSignalSpy changed(&list, &VireoDevices::vireoDevicesChanged);
    VireoDevice* first = record("Dev");
    EXPECT_FALSE(list.appendDevice(first));
    EXPECT_EQ(first->getPollState(), 1);
    first->setLocation(QStringLiteral("Hall"));
    first->setPollState(5);

    VireoDevice* again = record("Dev");
    EXPECT_TRUE(list.appendDevice(again));
    delete again;
    EXPECT_EQ(list.getDevices().size(), 1);
    EXPECT_EQ(first->getPollState(), 5);
    EXPECT_EQ(first->getLocation(), QStringLiteral("Hall"));

    EXPECT_FALSE(list.appendDevice(record("dev")));
    EXPECT_EQ(list.getDevices().size(), 2);
    EXPECT_EQ(changed.count(), 3);
}

TEST(VireoDevices, IgnoredRecordIsRevived) {
    VireoDevices list;
    VireoDevice* device = record("AMP-1");
    list.appendDevice(device);
    device->setMacAddress(QStringLiteral("00:11:22:33:44:55"));
    list.ignoreDevice(QStringLiteral("AMP-1"));
    EXPECT_EQ(device->getPollState(), 9);
    EXPECT_EQ(device->getMacAddress(), QStringLiteral("00:11:22:33:44:55"));

    VireoDevice* again = record("AMP-1");
    EXPECT_TRUE(list.appendDevice(again));
    delete again;
    EXPECT_EQ(device->getPollState(), 1);
}

TEST(VireoDevices, FindByNameAndAddress) {
    VireoDevices list;
    VireoDevice* a = record("A");
    VireoDevice* b = record("B");
    list.appendDevice(a);
    list.appendDevice(b);
    QSignalSpy changed(&list, &VireoDevices::vireoDevicesChanged);
    list.setDeviceIpAddress(b, QHostAddress(QStringLiteral("192.0.2.7")));
    EXPECT_EQ(changed.count(), 1);

    int index = -1;
    EXPECT_EQ(list.findByIpAddress(QHostAddress(QStringLiteral("192.0.2.7")), &index), b);
    EXPECT_EQ(index, 1);
    // A null address matches the first record that has none.
    EXPECT_EQ(list.findByIpAddress(QHostAddress(), &index), a);
    EXPECT_EQ(index, 0);
    index = 42;
    EXPECT_EQ(list.findByIpAddress(QHostAddress(QStringLiteral("192.0.2.8")), &index), nullptr);
    EXPECT_EQ(list.findByName(QStringLiteral("b"), &index), nullptr);
    EXPECT_EQ(index, 42);
    EXPECT_EQ(list.findByName(QStringLiteral("B"), &index), b);
    EXPECT_EQ(index, 1);

    list.ignoreDevice(QStringLiteral("nobody"));
    EXPECT_EQ(changed.count(), 1);
    list.clear();
    EXPECT_TRUE(list.getDevices().isEmpty());
}

}  // namespace
