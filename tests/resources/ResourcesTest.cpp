#include "ZebResources.h"

#include <QFile>
#include <QIcon>
#include <QImage>

#include <gtest/gtest.h>

namespace {

TEST(Resources, EveryImageLoadsUnderItsName) {
    zebInitResources();
    const char* const names[] = {
        ":/images/green_led.png",
        ":/images/yellow_led.png",
        ":/images/red_led.png",
        ":/images/network.png",
        ":/images/refresh-icon (1).png",
        ":/images/Folder-Upload-icon.png",
        ":/images/QZ-Logo-2.png",
        ":/images/chip.png",
        ":/images/checkbox_checked.png",
        ":/images/checkbox_unchecked.png",
        ":/images/zeb_window_icon.png",
        ":/images/bypass.png",
        ":/images/reset.png",
    };
    for (const char* name : names) {
        const QImage image(name);
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_GE(image.width(), 16) << name;
        EXPECT_TRUE(image.hasAlphaChannel()) << name;
    }
    EXPECT_EQ(QImage(":/images/QZ-Logo-2.png").size(), QSize(256, 256));
    EXPECT_FALSE(QIcon(":/images/checkbox_checked").pixmap(16, 16).isNull());
    EXPECT_FALSE(QImage(":/images/checkbox_checked").isNull());
}

TEST(Resources, LampsDifferInColour) {
    zebInitResources();
    const QImage green(":/images/green_led.png");
    const QImage yellow(":/images/yellow_led.png");
    const QImage red(":/images/red_led.png");
    const QPoint mid(green.width() / 2, green.height() / 2);
    EXPECT_GT(qGreen(green.pixel(mid)), qRed(green.pixel(mid)));
    EXPECT_GT(qRed(red.pixel(mid)), qGreen(red.pixel(mid)));
    EXPECT_GT(qRed(yellow.pixel(mid)), qBlue(yellow.pixel(mid)));
    EXPECT_GT(qGreen(yellow.pixel(mid)), qBlue(yellow.pixel(mid)));
}

TEST(Resources, FormStyleSheetIsThere) {
    zebInitResources();
    QFile sheet(":/styles/zeb_form.qss");
    ASSERT_TRUE(sheet.open(QIODevice::ReadOnly));
    EXPECT_TRUE(sheet.readAll().contains("#ZEBPluginForm"));
}

}  // namespace
