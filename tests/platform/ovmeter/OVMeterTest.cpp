#include "OVMeter.h"

#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const double kInf = std::numeric_limits<double>::infinity();

TEST(OVMeter, ClampsAnyValueToItsScale) {
    struct Case {
        double in;
        double shown;
    };
    const Case cases[] = {
        {std::nan(""), OVMeter::kMinDb},
        {-kInf, OVMeter::kMinDb},
        {kInf, OVMeter::kMaxDb},
        {-200, OVMeter::kMinDb},
        {50, OVMeter::kMaxDb},
        {-1e308, OVMeter::kMinDb},
        {std::numeric_limits<double>::max(), OVMeter::kMaxDb},
        {-20, -20},
        {0, 0},
    };
    for (const Case& c : cases) {
        OVMeter meter;
        meter.resize(meter.sizeHint());
        meter.setDbValuePort1(c.in);
        EXPECT_EQ(meter.dbValue(), c.shown) << c.in;
        EXPECT_FALSE(meter.grab().isNull()) << c.in;
        meter.resize(1, 1);
        meter.grab();
        meter.resize(0, 0);
        meter.grab();
    }
}

// The count of lit (bright, saturated) pixels in the meter's bar column.
int litPixels(OVMeter& meter) {
    const QImage image = meter.grab().toImage();
    int lit = 0;
    const int x = image.width() - 11;
    for (int y = 0; y < image.height(); ++y) {
        const QColor c(image.pixel(x, y));
        lit += c.value() > 150 && c.saturation() > 100 ? 1 : 0;
    }
    return lit;
}

TEST(OVMeter, BarGrowsWithLevel) {
    OVMeter meter;
    meter.resize(meter.sizeHint());
    meter.setPeakHoldMs(0);
    meter.setDbValuePort1(-200);
    QTest::qWait(2);
    meter.setDbValuePort1(-200);
    const int none = litPixels(meter);
    meter.setDbValuePort1(-30);
    const int half = litPixels(meter);
    meter.setDbValuePort1(50);
    const int full = litPixels(meter);
    EXPECT_EQ(none, 0);
    EXPECT_GT(half, 20);
    EXPECT_GT(full, half + 20);
}

TEST(OVMeter, HoldsThePeakForAWhile) {
    OVMeter meter;
    meter.setPeakHoldMs(60000);
    meter.setDbValuePort1(-6);
    meter.setDbValuePort1(-40);
    EXPECT_EQ(meter.dbValue(), -40);
    EXPECT_EQ(meter.peakDb(), -6);
    meter.setDbValuePort1(std::nan(""));
    EXPECT_EQ(meter.peakDb(), -6);

    meter.setPeakHoldMs(1);
    QTest::qWait(5);
    meter.setDbValuePort1(-40);
    EXPECT_EQ(meter.peakDb(), -40);
}

}  // namespace
