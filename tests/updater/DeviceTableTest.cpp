#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QProxyStyle>
#include <QSignalSpy>
#include <QStyleOptionProgressBar>

#include "RouterModel.h"
#include "StandIn.h"
#include "updater/ProgressBarDelegate.h"

namespace {

using kolvo::VireoDevice;
using kolvo::VireoDevices;

QImage iconImage(const QVariant& value) {
    return qvariant_cast<QIcon>(value).pixmap(16, 16).toImage();
}

class DeviceTable : public ::testing::Test {
protected:
    void SetUp() override { m_stand.table.setImageIds("10122550007", "Corvanti"); }

    QStringList rowNames() const {
        QStringList names;
        for (int row = 0; row < m_stand.table.rowCount(); ++row) {
            names << m_stand.table.index(row, VireoDevices::kNameColumn).data().toString();
        }
        return names;
    }

    StandIn m_stand;
};

TEST_F(DeviceTable, RowsInOrderOfNameWithTheirColumns) {
    VireoDevice* b = m_stand.addDevice(QStringLiteral("B"), QStringLiteral("192.0.2.12"), false);
    VireoDevice* a = m_stand.addDevice(QStringLiteral("A"), QStringLiteral("192.0.2.11"), true);
    a->setModelVersion(0x0102FFFF);
    a->setFirmwareVersion(0x030A0000);
    a->setMcuVersion(0x0002000A);
    m_stand.table.refresh();
    ASSERT_EQ(rowNames(), QStringList({"A", "B"}));
    EXPECT_EQ(m_stand.table.columnCount(), 7);
    EXPECT_EQ(m_stand.table.getVisibleDevices(), QList<VireoDevice*>({a, b}));
    EXPECT_EQ(m_stand.table.getAllDevices(), QList<VireoDevice*>({b, a}));

    auto cell = [&](int row, int column, int role = Qt::DisplayRole) {
        return m_stand.table.index(row, column).data(role);
    };
    EXPECT_EQ(cell(0, 2).toString(), QStringLiteral("192.0.2.11"));
    EXPECT_EQ(cell(0, 3).toString(), QStringLiteral("V1.2"));
    EXPECT_EQ(cell(0, 4).toString(), QStringLiteral("V3.10"));
    EXPECT_EQ(cell(0, 5).toString(), QStringLiteral("V2.10"));
    for (int column : {0, 6}) {
        EXPECT_FALSE(cell(0, column).isValid()) << column;
    }
    for (int column = 1; column < 7; ++column) {
        EXPECT_FALSE(cell(0, column, Qt::DecorationRole).isValid()) << column;
        EXPECT_FALSE(cell(0, column, Qt::ToolTipRole).isValid()) << column;
    }
    const QImage checked =
        QIcon(QStringLiteral(":/images/checkbox_checked.png")).pixmap(16, 16).toImage();
    const QImage unchecked =
        QIcon(QStringLiteral(":/images/checkbox_unchecked.png")).pixmap(16, 16).toImage();
    ASSERT_FALSE(checked.isNull());
    EXPECT_EQ(iconImage(cell(0, 0, Qt::DecorationRole)), checked);
    EXPECT_EQ(iconImage(cell(1, 0, Qt::DecorationRole)), unchecked);
    EXPECT_FALSE(cell(2, 1).isValid());

    const QStringList headers = {
        "",        "Device Name",           "IP Address", "Model Ver", "Firmware Ver",
        "Mcu Ver", "Firmware Update Status"};
    for (int section = 0; section < 7; ++section) {
        EXPECT_EQ(m_stand.table.headerData(section, Qt::Horizontal).toString(), headers[section]);
    }
    EXPECT_FALSE(m_stand.table.headerData(0, Qt::Vertical).isValid());
    EXPECT_FALSE(m_stand.table.headerData(1, Qt::Horizontal, Qt::ToolTipRole).isValid());
}

struct ShownCase {
    const char* what;
    int poll_state;
    const char* vireo_model;
    const char* product_id;
    const char* vendor;
    int progress;
    bool override_on;
    bool image;
    bool shown;
};

class DeviceTableShown : public DeviceTable, public ::testing::WithParamInterface<ShownCase> {};

TEST_P(DeviceTableShown, OnlyDevicesTheImageFits) {
    const ShownCase& c = GetParam();
    VireoDevice* device = m_stand.addDevice(QStringLiteral("A"), QStringLiteral("192.0.2.11"));
    device->setPollState(c.poll_state);
    device->setVireoModel(QString::fromLatin1(c.vireo_model));
    device->setProductId(c.product_id);
    device->setVendorId(QString::fromLatin1(c.vendor));
    device->setProgressValue(c.progress);
    if (!c.image) {
        m_stand.table.setImageIds(QByteArray(), QByteArray());
    }
    m_stand.table.setMatchingOverride(c.override_on);
    m_stand.table.refresh();
    EXPECT_EQ(m_stand.table.rowCount(), c.shown ? 1 : 0) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceTableShown,
    ::testing::Values(
        ShownCase{"matching", 7, "Solano 2", "10122550007", "Corvanti", -1, false, true, true},
        ShownCase{"other vendor", 7, "Solano 2", "10122550007", "Corvantix", -1, false, true,
                  false},
        ShownCase{"other vendor, override", 7, "Solano 2", "10122550007", "Corvantix", -1, true,
                  true, true},
        ShownCase{"other product", 7, "Solano 2", "10122550008", "Corvanti", -1, false, true,
                  false},
        ShownCase{"vendor unknown", 7, "Solano 2", "10122550007", "", -1, false, true, false},
        ShownCase{"no image", 7, "Solano 2", "10122550007", "Corvanti", -1, false, false, false},
        ShownCase{"no image, override", 7, "Solano 2", "", "", -1, true, false, true},
        ShownCase{"no Solano", 7, "Tenor", "10122550007", "Corvanti", -1, true, true, false},
        ShownCase{"identifying", 1, "Solano 2", "10122550007", "Corvanti", 0, true, true, false},
        ShownCase{"being updated", 1, "Solano 2", "", "Corvanti", 2, false, true, true},
        ShownCase{"given up while updated", 8, "Solano 2", "", "Corvanti", 1, false, true, true}));

TEST_F(DeviceTable, StatusLineCountsAllDevices) {
    QSignalSpy status(&m_stand.table, &VireoDevices::updateStatus);
    QSignalSpy cursor(&m_stand.table, &VireoDevices::enableWaitCursor);
    QSignalSpy select_all(&m_stand.table, &VireoDevices::enableSelectAllButtons);
    m_stand.addDevice(QStringLiteral("A"), QStringLiteral("192.0.2.11"), true);
    m_stand.addDevice(QStringLiteral("B"), QStringLiteral("192.0.2.12"), false)
        ->setVendorId(QStringLiteral("Other"));
    m_stand.addDevice(QStringLiteral("C"), QStringLiteral("192.0.2.13"), false)->setPollState(2);
    m_stand.table.refresh();
    EXPECT_EQ(status.last().at(0).toString(),
              QStringLiteral("Total: 3    Identified: 2    Updateable 1    Selected: 1"));
    EXPECT_TRUE(cursor.last().at(0).toBool());
    EXPECT_TRUE(m_stand.table.identificationRunning());
    EXPECT_TRUE(select_all.last().at(0).toBool());

    m_stand.table.setMatchingOverride(true);
    m_stand.table.findDeviceByName(QStringLiteral("C"), nullptr)->setPollState(8);
    m_stand.table.refresh();
    EXPECT_EQ(status.last().at(0).toString(),
              QStringLiteral(
                  "[Matching override] Total: 3    Identified: 3    Updateable 2    Selected: 1"));
    EXPECT_FALSE(cursor.last().at(0).toBool());

    m_stand.table.clearDevices();
    m_stand.table.refresh();
    EXPECT_FALSE(select_all.last().at(0).toBool());
}

TEST_F(DeviceTable, RecordsByNameAndAddress) {
    auto* first = new VireoDevice;
    first->setName(QStringLiteral("Dev"));
    EXPECT_FALSE(m_stand.table.appendDevice(first));
    EXPECT_EQ(first->getPollState(), VireoDevice::kPollListed);
    m_stand.table.setDeviceAddress(first, QHostAddress(QStringLiteral("192.0.2.11")));
    first->setProductId("1");
    first->setMcuVersion(5);
    first->setPollState(VireoDevice::kPollNotUpdatable);

    VireoDevice again;
    again.setName(QStringLiteral("Dev"));
    EXPECT_TRUE(m_stand.table.appendDevice(&again));
    EXPECT_EQ(m_stand.table.getAllDevices(), QList<VireoDevice*>({first}));
    EXPECT_EQ(first->getPollState(), VireoDevice::kPollListed);

    int index = -1;
    EXPECT_EQ(m_stand.table.findDeviceByAddress(QHostAddress(QStringLiteral("::ffff:192.0.2.11")),
                                                &index),
              first);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(m_stand.table.findDeviceByName(QStringLiteral("dev"), nullptr), nullptr);

    m_stand.table.markDeviceGone(QStringLiteral("Dev"));
    EXPECT_EQ(m_stand.table.getAllDevices().size(), 1);
    EXPECT_TRUE(first->getProductId().isEmpty());
    EXPECT_TRUE(first->getIpAddress().isNull());
    EXPECT_EQ(first->getMcuVersion(), 0u);
    EXPECT_EQ(first->getPollState(), VireoDevice::kPollNotUpdatable);
}

TEST_F(DeviceTable, RowClicksToggleTheSelection) {
    VireoDevice* a = m_stand.addDevice(QStringLiteral("A"), QStringLiteral("192.0.2.11"), false);
    VireoDevice* b = m_stand.addDevice(QStringLiteral("B"), QStringLiteral("192.0.2.12"), false);
    b->setCommandPath(VireoDevice::kNoDirectUdp);
    QSignalSpy start(&m_stand.table, &VireoDevices::enableStartUpdateButton);
    QSignalSpy cancel(&m_stand.table, &VireoDevices::enableCancelUpdateButton);
    const QModelIndex first = m_stand.table.index(0, 1);

    m_stand.table.handleRowClick(first);
    EXPECT_TRUE(a->isSelected());
    EXPECT_TRUE(start.last().at(0).toBool());
    EXPECT_TRUE(cancel.last().at(0).toBool());
    m_stand.table.handleRowClick(m_stand.table.index(0, 3));
    EXPECT_FALSE(a->isSelected());

    m_stand.table.handleRowClick(m_stand.table.index(1, 0));
    EXPECT_FALSE(b->isSelected());
    ASSERT_EQ(m_stand.boxes.shown.size(), 1u);
    EXPECT_EQ(m_stand.boxes.shown[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(m_stand.boxes.shown[0].text,
              QStringLiteral("Device does not support direct UDP commands.\n\nRe-program with "
                             "Vireo firmware V3.0 or later"));

    const int signals_before = start.count();
    m_stand.running = true;
    m_stand.table.handleRowClick(first);
    m_stand.running = false;
    m_stand.image = false;
    m_stand.table.handleRowClick(first);
    EXPECT_FALSE(a->isSelected());
    EXPECT_EQ(start.count(), signals_before);

    m_stand.image = true;
    a->setProductId(QByteArray());
    a->setProgressValue(1);  // still shown while it is updated
    m_stand.table.refresh();
    m_stand.table.handleRowClick(first);
    EXPECT_FALSE(a->isSelected());
    EXPECT_EQ(start.count(), signals_before + 1);
}

TEST_F(DeviceTable, ResetProgressValuesAlsoDeselects) {
    VireoDevice* a = m_stand.addDevice(QStringLiteral("A"), QStringLiteral("192.0.2.11"), true);
    a->setProgressValue(4);
    m_stand.table.resetProgressValues();
    EXPECT_EQ(a->getProgressValue(), -1);
    EXPECT_FALSE(a->isSelected());
}

TEST(KolvoVireoDevice, KeepsOnlyTheRouterModelOfItsName) {
    VireoDevice device;
    EXPECT_EQ(device.getPollState(), VireoDevice::kPollNotUpdatable);
    EXPECT_EQ(device.getProgressValue(), -1);
    device.setName(QStringLiteral("AMP-1"));
    RouterModel other, own;
    other.setDeviceName(QStringLiteral("amp-1"));
    own.setDeviceName(QStringLiteral("AMP-1"));
    device.rxChannelsChanged(&other);
    EXPECT_EQ(device.getRouterModel(), nullptr);
    device.txChannelsChanged(&own);
    EXPECT_EQ(device.getRouterModel(), &own);
}

// Records what a progress bar was asked to show.
class RecordingStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        if (element == CE_ProgressBar) {
            last = *qstyleoption_cast<const QStyleOptionProgressBar*>(option);
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }

    mutable QStyleOptionProgressBar last;
};

struct PaintCase {
    int progress;
    int blocks;
    const char* text;
    int bar_value;
};

class ProgressBar : public DeviceTable, public ::testing::WithParamInterface<PaintCase> {};

TEST_P(ProgressBar, PaintsThePercentageOfTheBlocks) {
    const PaintCase& c = GetParam();
    auto* style = new RecordingStyle;
    QApplication::setStyle(style);
    VireoDevice* device = m_stand.addDevice(QStringLiteral("A"), QStringLiteral("192.0.2.11"));
    device->setProgressValue(c.progress);
    m_stand.blocks = c.blocks;
    kolvo::ProgressBarDelegate delegate(m_stand, nullptr);
    QImage canvas(200, 20, QImage::Format_ARGB32);
    QPainter painter(&canvas);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 200, 20);
    delegate.paint(&painter, option, m_stand.table.index(0, VireoDevices::kProgressColumn));
    EXPECT_EQ(style->last.text, QString::fromLatin1(c.text));
    EXPECT_EQ(style->last.progress, c.bar_value);
    EXPECT_TRUE(style->last.textVisible);
    EXPECT_EQ(style->last.textAlignment, Qt::AlignCenter);
    EXPECT_EQ(style->last.rect, option.rect);
    EXPECT_EQ(device->getProgressValue(), c.progress);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressBar,
                         ::testing::Values(PaintCase{37, 74, "50%", 37}, PaintCase{-1, 74, "0%", 0},
                                           PaintCase{1, 3, "33%", 1},
                                           PaintCase{4, 3, "100%", 3},  // one past the count
                                           PaintCase{2, 0, "0%", 0}));

}  // namespace
