#include "ZEBPluginForm.h"

#include "FormBuilder.h"
#include "FormNames.h"
#include "FormPanels.h"
#include "ZebResources.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
const char* const kWindowIcon = ":/images/zeb_window_icon.png";
const char* const kStyleSheet = ":/styles/zeb_form.qss";

QString readStyleSheet() {
    QFile file(kStyleSheet);
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}

QWidget* namedPage(const char* name, QWidget* parent) {
    auto* page = new QWidget(parent);
    page->setObjectName(name);
    return page;
}

// Puts a panel into a tab page with a small margin.
void fill(QWidget* page, QWidget* panel) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(panel);
}

// Makes the page's tab widget, filling the page.
QTabWidget* pageTabs(QWidget* page, const VariantNames& names, FormVariant* out) {
    out->numChannels = names.numChannels;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* tabs = new QTabWidget(page);
    tabs->setObjectName(names.tabBar);
    out->tabBar = tabs;
    layout->addWidget(tabs);
    return tabs;
}

// Adds the DSP tab, then the amplifier set-up and debug tabs it makes, and shows the first.
void addTabs(QTabWidget* tabs, const VariantNames& names, FormVariant* out, QWidget* dsp,
             QWidget** amp, const char* ampName, QWidget** debug, const char* debugName) {
    *amp = namedPage(ampName, tabs);
    fill(*amp, formpanels::systemPanel(names, out, *amp));
    *debug = namedPage(debugName, tabs);
    fill(*debug, formpanels::debugPanel(names, out, *debug));
    tabs->addTab(dsp, "DSP Setup");
    tabs->addTab(*amp, "Amp Setup");
    tabs->addTab(*debug, "Debug");
    tabs->setCurrentIndex(0);
}
}  // namespace

void ZEBPluginForm::setupUi(QWidget* window) {
    zebInitResources();
    window->setObjectName("ZEBPluginForm");
    window->setWindowTitle("ZEB Device Control");
    window->setFixedSize(kWidth, kHeight);
    window->setWindowIcon(QIcon(kWindowIcon));
    window->setStyleSheet(readStyleSheet());

    stackedWidget = new QStackedWidget(window);
    stackedWidget->setObjectName("stackedWidget");
    stackedWidget->setGeometry(9, 9, 1206, 557);
    biamp_page = namedPage("biamp_page", stackedWidget);
    fullchan_page = namedPage("fullchan_page", stackedWidget);
    stackedWidget->addWidget(biamp_page);
    stackedWidget->addWidget(fullchan_page);
    setupBiAmpPage();
    setupFullChPage();
    stackedWidget->setCurrentIndex(1);
}

QWidget* ZEBPluginForm::eqButtons(const VariantNames& names, FormVariant* out,
                                  QBoxLayout::Direction direction, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QBoxLayout(direction, box);
    layout->setContentsMargins(0, direction == QBoxLayout::TopToBottom ? 6 : 0, 0, 0);
    out->resetEq = formbuilder::button(names.resetEq, "Reset Eq", box);
    out->resetEq->setIcon(QIcon(":/images/reset.png"));
    out->bypassEq = formbuilder::button(names.bypassEq, "Bypass Eq", box);
    out->bypassEq->setIcon(QIcon(":/images/bypass.png"));
    out->bypassEq->setCheckable(true);
    layout->addWidget(out->resetEq);
    layout->addWidget(out->bypassEq);
    if (direction == QBoxLayout::TopToBottom) {
        layout->addStretch(1);
    }
    return box;
}

void ZEBPluginForm::setupBiAmpPage() {
    const VariantNames& names = kBiAmpNames;
    BiAmpTabBar = pageTabs(biamp_page, names, &biAmp);
    BiAmpDSPSetupTab = namedPage("BiAmpDSPSetupTab", BiAmpTabBar);
    fill(BiAmpDSPSetupTab,
         formpanels::channelPanel(
             names, 0, eqButtons(names, &biAmp, QBoxLayout::TopToBottom, BiAmpDSPSetupTab),
             &biAmp.channels[0], BiAmpDSPSetupTab));
    addTabs(BiAmpTabBar, names, &biAmp, BiAmpDSPSetupTab, &BiAmpAmpSetupTab, "BiAmpAmpSetupTab",
            &BiAmpDebugTab, "BiAmpDebugTab");
}

QWidget* ZEBPluginForm::channelTab(int channel, QWidget* extras, QWidget* parent) {
    const QString title = QString("Channel %1 DSP Setup").arg(channel + 1);
    QGroupBox* box = formbuilder::group(title, parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(6, 8, 6, 6);
    layout->addWidget(
        formpanels::channelPanel(kFullChNames, channel, extras, &fullCh.channels[channel], box));
    return box;
}

void ZEBPluginForm::setupFullChPage() {
    const VariantNames& names = kFullChNames;
    FullChTabBar = pageTabs(fullchan_page, names, &fullCh);
    FullChDSPSetupTab = namedPage("FullChDSPSetupTab", FullChTabBar);
    auto* dsp = new QVBoxLayout(FullChDSPSetupTab);
    dsp->setContentsMargins(4, 2, 4, 4);
    dsp->setSpacing(2);
    auto* strip = new QHBoxLayout;
    fullCh.singleInput = new QRadioButton("Single Channel Input", FullChDSPSetupTab);
    fullCh.singleInput->setObjectName(names.singleInput);
    fullCh.twoChannelInput = new QRadioButton("2 CH Vireo Input", FullChDSPSetupTab);
    fullCh.twoChannelInput->setObjectName(names.twoChannelInput);
    strip->addWidget(fullCh.singleInput);
    strip->addWidget(fullCh.twoChannelInput);
    strip->addStretch(1);
    strip->addWidget(eqButtons(names, &fullCh, QBoxLayout::LeftToRight, FullChDSPSetupTab));
    dsp->addLayout(strip);

    FullChChannelTabBar = new QTabWidget(FullChDSPSetupTab);
    FullChChannelTabBar->setObjectName("FullChChannelTabBar");
    dsp->addWidget(FullChChannelTabBar, 1);
    Ch1Tab = namedPage("Ch1Tab", FullChChannelTabBar);
    Ch2Tab = namedPage("Ch2Tab", FullChChannelTabBar);

    auto* slave1 = new QWidget(Ch1Tab);
    auto* slave1Layout = new QVBoxLayout(slave1);
    slave1Layout->setContentsMargins(0, 6, 0, 0);
    fullCh.ch1Slave = formbuilder::checkBox(names.ch1Slave, "Slave", slave1);
    slave1Layout->addWidget(fullCh.ch1Slave);
    slave1Layout->addStretch(1);
    fill(Ch1Tab, channelTab(0, slave1, Ch1Tab));

    auto* slave2 = new QWidget(Ch2Tab);
    auto* slave2Layout = new QVBoxLayout(slave2);
    slave2Layout->setContentsMargins(0, 6, 0, 0);
    fullCh.ch2SlaveA = formbuilder::checkBox(names.ch2SlaveA, "Slave A", slave2);
    fullCh.ch2SlaveB = formbuilder::checkBox(names.ch2SlaveB, "Slave B", slave2);
    slave2Layout->addWidget(fullCh.ch2SlaveA);
    slave2Layout->addWidget(fullCh.ch2SlaveB);
    slave2Layout->addStretch(1);
    fill(Ch2Tab, channelTab(1, slave2, Ch2Tab));

    FullChChannelTabBar->addTab(Ch1Tab, "CH1 - Master/Speaker 3");
    FullChChannelTabBar->addTab(Ch2Tab, "CH2 - Speaker 1/Speaker 2");
    FullChChannelTabBar->setCurrentIndex(0);

    addTabs(FullChTabBar, names, &fullCh, FullChDSPSetupTab, &FullChAmpSetupTab,
            "FullChAmpSetupTab", &FullChDebugTab, "FullChDebugTab");
}
