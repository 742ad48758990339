#include "ChannelUI.h"
#include "OVMeter.h"
#include "ZEBPluginForm.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QStackedWidget>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace {

struct View {
    const char* file;
    int page;
    int tab;
    int channelTab;
};

const View kViews[] = {
    {"biamp_dsp_setup", 0, 0, 0},      {"biamp_amp_setup", 0, 1, 0},
    {"biamp_debug", 0, 2, 0},          {"fullch_dsp_setup_ch1", 1, 0, 0},
    {"fullch_dsp_setup_ch2", 1, 0, 1}, {"fullch_amp_setup", 1, 1, 0},
    {"fullch_debug", 1, 2, 0},
};

bool isControl(const QWidget* w) {
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLabel*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QSlider*>(w) || qobject_cast<const QGroupBox*>(w) ||
           w->inherits("OvLED") || w->inherits("OVMeter");
}

std::string describe(const QWidget* w) {
    const QString text = qobject_cast<const QLabel*>(w) ? qobject_cast<const QLabel*>(w)->text()
                         : qobject_cast<const QAbstractButton*>(w)
                             ? qobject_cast<const QAbstractButton*>(w)->text()
                             : QString();
    return (w->metaObject()->className() + QString(" ") + w->objectName() + " '" + text + "'")
        .toStdString();
}

// Every visible control of the shown page fits its parent, gets at least the size it asks for
// (so no text is cut) and overlaps no visible sibling control.
void expectNothingClippedOrOverlapping(QWidget* page) {
    for (QWidget* w : page->findChildren<QWidget*>()) {
        if (!w->isVisible() || !isControl(w) ||
            qobject_cast<QAbstractSpinBox*>(w->parentWidget())) {
            continue;
        }
        const QWidget* parent = w->parentWidget();
        EXPECT_TRUE(parent->rect().contains(w->geometry())) << describe(w);
        const QSize need = w->minimumSizeHint().expandedTo(qobject_cast<QAbstractSpinBox*>(w) ||
                                                                   qobject_cast<QLabel*>(w) ||
                                                                   qobject_cast<QAbstractButton*>(w)
                                                               ? QSize(w->sizeHint().width(), 0)
                                                               : QSize());
        EXPECT_GE(w->width(), need.width()) << describe(w);
        EXPECT_GE(w->height(), need.height()) << describe(w);
        if (auto* box = qobject_cast<QGroupBox*>(w)) {
            EXPECT_GT(w->width(), box->fontMetrics().horizontalAdvance(box->title()) + 12)
                << describe(w);
        }
        for (QWidget* sibling :
             parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (sibling != w && sibling->isVisible() && isControl(sibling)) {
                EXPECT_FALSE(w->geometry().intersects(sibling->geometry()))
                    << describe(w) << " overlaps " << describe(sibling);
            }
        }
    }
}

TEST(FormLayout, EveryPageFitsTheFixedWindowAndIsSavedAsAnImage) {
    QDialog dialog;
    ZEBPluginForm form;
    form.setupUi(&dialog);
    ChannelUI channels[3];
    channels[0].bind(0, form.biAmp.channels[0]);
    channels[1].bind(0, form.fullCh.channels[0]);
    channels[2].bind(1, form.fullCh.channels[1]);
    for (ChannelUI& c : channels) {
        c.inputMeter()->setDbValuePort1(-18);
        c.outputMeter()->setDbValuePort1(-4);
    }
    dialog.show();
    ASSERT_EQ(dialog.size(), QSize(ZEBPluginForm::kWidth, ZEBPluginForm::kHeight));

    const QDir folder(ZEB_SCREENSHOT_DIR);
    ASSERT_TRUE(folder.mkpath("."));
    for (const View& v : kViews) {
        SCOPED_TRACE(v.file);
        form.stackedWidget->setCurrentIndex(v.page);
        form.variant(v.page).tabBar->setCurrentIndex(v.tab);
        form.FullChChannelTabBar->setCurrentIndex(v.channelTab);
        QApplication::processEvents();
        QWidget* page = form.stackedWidget->currentWidget();
        for (QLayout* layout : page->findChildren<QLayout*>()) {
            layout->activate();
        }
        QApplication::processEvents();
        expectNothingClippedOrOverlapping(page);
        EXPECT_TRUE(dialog.grab().save(folder.filePath(QString(v.file) + ".png")));
    }
}

}  // namespace
