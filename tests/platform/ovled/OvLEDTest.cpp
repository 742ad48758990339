#include "OvLED.h"

#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

QRgb centre(OvLED& lamp) {
    lamp.resize(lamp.sizeHint());
    const QImage image = lamp.grab().toImage();
    return image.pixel(image.width() / 2, image.height() / 2);
}

TEST(OvLED, StatesShowTheirOwnColours) {
    OvLED lamp;
    lamp.setDiameter(3);
    lamp.setColor(QColor(0, 255, 0, 255));
    lamp.setState(true);
    const QRgb on = centre(lamp);
    lamp.setState(false);
    const QRgb off = centre(lamp);
    EXPECT_GT(qGreen(on), qGreen(off) + 60) << "an unlit power lamp must look dark";

    // A status lamp: off colour green, default on colour.
    OvLED status;
    status.setDiameter(3);
    status.setProperty("off_color", QVariant::fromValue(QColor(0, 255, 0, 255)));
    EXPECT_EQ(status.offColor(), QColor(0, 255, 0, 255));
    const QRgb good = centre(status);
    status.setState(true);
    const QRgb fault = centre(status);
    EXPECT_GT(qGreen(good), qRed(good));
    EXPECT_GT(qRed(fault), qGreen(fault));
}

TEST(OvLED, SmallDiameterStaysVisible) {
    OvLED lamp;
    lamp.setDiameter(3);
    EXPECT_GE(lamp.sizeHint().width(), 10);
    EXPECT_EQ(lamp.sizeHint(), lamp.minimumSizeHint());
    EXPECT_TRUE(lamp.hasHeightForWidth());
    EXPECT_EQ(lamp.heightForWidth(17), 17);
}

TEST(OvLED, ExtremeSettingsDoNotBreakIt) {
    const double inf = std::numeric_limits<double>::infinity();
    const double diameters[] = {std::nan(""), -1, 0, inf, -inf, 1e300, 3};
    for (double d : diameters) {
        OvLED lamp;
        lamp.setDiameter(d);
        lamp.setColor(QColor());
        lamp.setProperty("off_color", QVariant(QStringLiteral("not a colour")));
        lamp.setState(true);
        lamp.setFlashing(true);
        const QSize hint = lamp.sizeHint();
        EXPECT_GT(hint.width(), 0) << d;
        EXPECT_LE(hint.width(), 300) << d;
        lamp.resize(hint);
        EXPECT_FALSE(lamp.grab().isNull()) << d;
        lamp.resize(0, 0);
        lamp.grab();
    }
}

TEST(OvLED, FlashingAlternatesOnlyWhileOn) {
    OvLED lamp;
    lamp.setColor(Qt::red);
    lamp.setOffColor(Qt::darkGray);
    lamp.setFlashInterval(5);
    lamp.setFlashing(true);
    lamp.setState(true);
    EXPECT_EQ(lamp.shownColor(), QColor(Qt::red));
    bool sawOff = false;
    for (int i = 0; i < 100 && !sawOff; ++i) {
        QTest::qWait(2);
        sawOff = lamp.shownColor() == QColor(Qt::darkGray);
    }
    EXPECT_TRUE(sawOff);

    lamp.setFlashing(false);
    EXPECT_EQ(lamp.shownColor(), QColor(Qt::red));
    lamp.setState(false);
    lamp.setFlashing(true);
    QTest::qWait(20);
    EXPECT_EQ(lamp.shownColor(), QColor(Qt::darkGray));
}

}  // namespace
