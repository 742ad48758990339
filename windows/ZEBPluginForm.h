#pragma once

#include "FormWidgets.h"

#include <QBoxLayout>

class QStackedWidget;
class QTabWidget;
class QWidget;
struct VariantNames;

// The device window's form: builds its two pages on a window and keeps pointers to the
// widgets. Page 0 ("BiAmp") shows one DSP channel, page 1 ("FullCh") two. The widgets belong
// to the window's widget tree.
class ZEBPluginForm {
public:
    static constexpr int kWidth = 1224;
    static constexpr int kHeight = 594;
    static constexpr int kDebugTabIndex = 2;

    void setupUi(QWidget* window);

    // The widgets of page 0 or page 1 by role.
    FormVariant& variant(int page) { return page == 0 ? biAmp : fullCh; }

    QStackedWidget* stackedWidget = nullptr;
    QWidget* biamp_page = nullptr;
    QWidget* fullchan_page = nullptr;
    QTabWidget* BiAmpTabBar = nullptr;
    QWidget* BiAmpDSPSetupTab = nullptr;
    QWidget* BiAmpAmpSetupTab = nullptr;
    QWidget* BiAmpDebugTab = nullptr;
    QTabWidget* FullChTabBar = nullptr;
    QWidget* FullChDSPSetupTab = nullptr;
    QTabWidget* FullChChannelTabBar = nullptr;
    QWidget* Ch1Tab = nullptr;
    QWidget* Ch2Tab = nullptr;
    QWidget* FullChAmpSetupTab = nullptr;
    QWidget* FullChDebugTab = nullptr;
    FormVariant biAmp;
    FormVariant fullCh;

private:
    void setupBiAmpPage();
    void setupFullChPage();
    QWidget* eqButtons(const VariantNames& names, FormVariant* out, QBoxLayout::Direction direction,
                       QWidget* parent);
    QWidget* channelTab(int channel, QWidget* extras, QWidget* parent);
};
