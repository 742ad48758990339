#include <gtest/gtest.h>

#include <QBrush>
#include <QIcon>
#include <QImage>
#include <QPalette>
#include <QSignalSpy>

#include <functional>

#include "VireoDataModel.h"
#include "VireoDevice.h"
#include "VireoDevices.h"

namespace {

enum class Light { kNoRow, kGreen, kYellow, kRed };

struct DeviceCase {
    int poll_state;
    int status1, status2, status3;
    const char* product_id;  // null: not yet known
    bool selected;
    Light light;
};

const DeviceCase kCases[] = {
    {8, 0, 0, 0, "\x01\x02\x03\x04\x05\x06\x07\x08", false, Light::kGreen},
    {8, 1, 0, 0, "PRODUCT1", false, Light::kRed},
    {8, 0, 1, 0, "PRODUCT1", false, Light::kRed},
    {8, 0, 0, 4, "PRODUCT1", false, Light::kRed},
    {8, 2, 2, 0, "PRODUCT1", true, Light::kGreen},
    {3, 0, 0, 0, "PRODUCT1", false, Light::kYellow},
    {9, 0, 0, 0, "PRODUCT1", false, Light::kYellow},
    {8, 0, 0, 0, nullptr, false, Light::kNoRow},
    {8, 0, 0, 0, "", false, Light::kNoRow},
};

QImage imageOf(const QVariant& icon) {
    return qvariant_cast<QIcon>(icon).pixmap(16, 16).toImage();
}

QImage imageOf(const char* path) {
    return QIcon(QString::fromLatin1(path)).pixmap(16, 16).toImage();
}

class DataModel : public ::testing::Test {
protected:
    void SetUp() override {
        int n = 0;
        for (const DeviceCase& c : kCases) {
            auto* device = new VireoDevice;
            device->setName(QStringLiteral("AMP-%1").arg(++n));
            m_devices.appendDevice(device);
            device->setPollState(c.poll_state);
            device->setAmpStatus1(c.status1);
            device->setAmpStatus2(c.status2);
            device->setAmpStatus3(c.status3);
            if (c.product_id) {
                device->setProductId(QByteArray(c.product_id));
            }
            device->setSelected(c.selected);
            device->setLocation(QStringLiteral("Room %1").arg(n));
            device->setIpAddress(QHostAddress(QStringLiteral("192.0.2.%1").arg(n)));
            device->setMacAddress(
                QStringLiteral("00:1d:c1:00:00:%1").arg(n, 2, 10, QLatin1Char('0')));
        }
    }

    VireoDevices m_devices;
};

TEST_F(DataModel, EveryRoleOfEveryColumnPerDevice) {
    VireoDataModel model(&m_devices, nullptr);
    EXPECT_EQ(model.columnCount(), 5);
    const QImage green = imageOf(":/images/green_led.png");
    const QImage yellow = imageOf(":/images/yellow_led.png");
    const QImage red = imageOf(":/images/red_led.png");
    ASSERT_FALSE(green.isNull());
    ASSERT_NE(green, yellow);
    ASSERT_NE(green, red);

    int row = 0;
    for (size_t i = 0; i < std::size(kCases); ++i) {
        const DeviceCase& c = kCases[i];
        if (c.light == Light::kNoRow) {
            continue;
        }
        SCOPED_TRACE(i);
        ASSERT_LT(row, model.rowCount());
        const VireoDevice* device = m_devices.getDevices()[int(i)];
        const QString texts[] = {QString(), device->getName(), device->getLocation(),
                                 device->getIpAddress().toString(), device->getMacAddress()};
        for (int column = 0; column < 5; ++column) {
            const QModelIndex index = model.index(row, column);
            EXPECT_EQ(model.data(index, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
            if (column == 0) {
                EXPECT_FALSE(model.data(index, Qt::DisplayRole).isValid());
                const QImage& expected = c.light == Light::kGreen    ? green
                                         : c.light == Light::kYellow ? yellow
                                                                     : red;
                EXPECT_EQ(imageOf(model.data(index, Qt::DecorationRole)), expected);
            } else {
                EXPECT_EQ(model.data(index, Qt::DisplayRole).toString(), texts[column]);
                EXPECT_FALSE(model.data(index, Qt::DecorationRole).isValid());
            }
            const QBrush background = qvariant_cast<QBrush>(model.data(index, Qt::BackgroundRole));
            if (c.selected) {
                EXPECT_EQ(background, QPalette().brush(QPalette::Button));
            } else {
                EXPECT_EQ(background.style(), Qt::NoBrush);
            }
            EXPECT_FALSE(model.data(index, Qt::ToolTipRole).isValid());
            EXPECT_FALSE(model.data(index, Qt::ForegroundRole).isValid());
        }
        ++row;
    }
    EXPECT_EQ(model.rowCount(), row);
}

TEST_F(DataModel, Headers) {
    VireoDataModel model(&m_devices, nullptr);
    struct {
        int section;
        Qt::Orientation orientation;
        int role;
        QVariant expected;
    } const cases[] = {
        {0, Qt::Horizontal, Qt::DisplayRole, QString()},
        {1, Qt::Horizontal, Qt::DisplayRole, QStringLiteral("Device Name")},
        {2, Qt::Horizontal, Qt::DisplayRole, QStringLiteral("Location")},
        {3, Qt::Horizontal, Qt::DisplayRole, QStringLiteral("IP Address")},
        {4, Qt::Horizontal, Qt::DisplayRole, QStringLiteral("Mac Address")},
        {5, Qt::Horizontal, Qt::DisplayRole, QVariant()},
        {-1, Qt::Horizontal, Qt::DisplayRole, QVariant()},
        {1, Qt::Vertical, Qt::DisplayRole, QVariant()},
        {1, Qt::Horizontal, Qt::DecorationRole, QVariant()},
        {1, Qt::Horizontal, Qt::TextAlignmentRole, QVariant()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(model.headerData(c.section, c.orientation, c.role), c.expected) << c.section;
    }
}

TEST_F(DataModel, InvalidIndexAndRowPastTheEndAreEmpty) {
    VireoDataModel model(&m_devices, nullptr);
    const QModelIndex last = model.index(model.rowCount() - 1, 1);
    ASSERT_TRUE(last.isValid());
    for (VireoDevice* device : m_devices.getDevices()) {
        device->setProductId(QByteArray());
    }
    m_devices.emitVireoDevicesChanged();
    EXPECT_EQ(model.rowCount(), 0);
    for (int role : {int(Qt::DisplayRole), int(Qt::DecorationRole), int(Qt::BackgroundRole),
                     int(Qt::TextAlignmentRole)}) {
        EXPECT_FALSE(model.data(QModelIndex(), role).isValid()) << role;
        EXPECT_FALSE(model.data(last, role).isValid()) << role;
    }
}

TEST_F(DataModel, RowsFollowTheListThroughResets) {
    VireoDataModel model(&m_devices, nullptr);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    // Identification accepts a product id: the record gets its row at the next change.
    VireoDevice* pending = m_devices.getDevices()[7];
    pending->setProductId(QByteArray("PRODUCT2"));
    m_devices.emitVireoDevicesChanged();
    EXPECT_EQ(resets.count(), 1);
    ASSERT_EQ(model.rowCount(), 8);
    EXPECT_EQ(model.data(model.index(7, 1)).toString(), pending->getName());

    // A refresh empties the list, then devices come back one by one.
    m_devices.clear();
    m_devices.emitVireoDevicesChanged();
    EXPECT_EQ(model.rowCount(), 0);
    auto* back = new VireoDevice;
    back->setName(QStringLiteral("AMP-9"));
    m_devices.appendDevice(back);
    EXPECT_EQ(model.rowCount(), 0);
    back->setProductId(QByteArray("PRODUCT1"));
    m_devices.emitVireoDevicesChanged();
    EXPECT_EQ(model.rowCount(), 1);
    // The record without a product id changed nothing shown: no reset for it.
    EXPECT_EQ(resets.count(), 3);
}

// Status announcements repeat what the row shows most of the time: only a change a view can
// see resets the model.
TEST_F(DataModel, ResetsOnlyForAChangeItShows) {
    VireoDataModel model(&m_devices, nullptr);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    VireoDevice* device = m_devices.getDevices()[0];
    struct Step {
        const char* what;
        std::function<void()> change;
        int resets;
    };
    const Step steps[] = {
        {"the same status", [&] { device->setAmpStatus1(0); }, 0},
        {"a fault", [&] { device->setAmpStatus1(1); }, 1},
        {"a second fault, still red", [&] { device->setAmpStatus3(4); }, 0},
        {"selected", [&] { device->setSelected(true); }, 1},
        {"a new location", [&] { device->setLocation(QStringLiteral("Hall")); }, 1},
        {"a new address", [&] { device->setIpAddress(QHostAddress(QStringLiteral("192.0.2.99"))); },
         1},
        {"a new MAC address", [&] { device->setMacAddress(QStringLiteral("00:1d:c1:00:00:99")); },
         1},
        {"identified again", [&] { device->setPollState(3); }, 0},
        {"no product id", [&] { device->setProductId(QByteArray()); }, 1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        resets.clear();
        step.change();
        m_devices.emitVireoDevicesChanged();
        EXPECT_EQ(resets.count(), step.resets);
    }
}

}  // namespace
