// The update utility's window on a controller with nothing answering.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

#include "FakePrompts.h"
#include "NetworkInterfaceDialog.h"
#include "updater/MainWindow.h"
#include "updater/Settings.h"
#include "updater/VireoDevice.h"
#include "updater/VireoDevices.h"
#include "updater/VireoThreads.h"

namespace {

using kolvo::VireoDevice;

class UpdaterWindow : public ::testing::Test {
protected:
    UpdaterWindow() {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
    }

    void build(const QVariant& interface, bool debug = false) {
        QSettings settings(kolvo::settingsFilePath(), QSettings::IniFormat);
        if (interface.isValid()) {
            settings.setValue(QStringLiteral("network/interface"), interface);
        }
        if (debug) {
            settings.setValue(QStringLiteral("MODE/debug"), true);
        }
        settings.sync();
        kolvo::VireoThreadsTiming timing;
        timing.first_refresh_ms = -1;
        timing.refresh_pause_ms = 0;
        m_window = std::make_unique<kolvo::MainWindow>(nullptr, m_prompts, timing);
    }

    // An identified "Solano" module the loaded image does not fit.
    void addForeignModule(const QString& name) {
        kolvo::VireoDevices& table = *m_window->controller()->getVireoDevices();
        auto* device = new VireoDevice;
        device->setName(name);
        table.appendDevice(device);
        device->setVireoModel(QStringLiteral("Solano 2-A"));
        device->setProductId("99");
        device->setVendorId(QStringLiteral("Other"));
        device->setCommandPath(2);
        device->setPollState(VireoDevice::kPollIdentified);
        table.refresh();
    }

    const kolvo::MainWindowForm& ui() const { return m_window->form(); }

    QTemporaryDir m_dir;
    FakePrompts m_prompts;
    std::unique_ptr<kolvo::MainWindow> m_window;
};

TEST_F(UpdaterWindow, FirstStartAsksForTheInterface) {
    build(QVariant());
    EXPECT_TRUE(m_window->interfaceDialog()->isVisible());
}

TEST_F(UpdaterWindow, ChoosingTheStoredInterfaceAgainChangesNothing) {
    build(1);
    EXPECT_FALSE(m_window->interfaceDialog()->isVisible());
    const int chosen = m_window->interfaceDialog()->getSelectedIndex();
    QSettings(kolvo::settingsFilePath(), QSettings::IniFormat)
        .setValue(QStringLiteral("network/interface"), chosen);
    QSignalSpy restarted(m_window->controller(), &kolvo::VireoThreads::vireoThreadsRefreshed);
    m_window->netIfDialogResult(1);
    m_window->netIfDialogResult(0);
    EXPECT_EQ(restarted.count(), 0);
}

TEST_F(UpdaterWindow, AboutRunsModally) {
    build(1);
    ui().actionAbout->trigger();
    ASSERT_EQ(m_prompts.shown.size(), 1u);
}

TEST_F(UpdaterWindow, OverrideLeavesSelectAllUsableOnlyInDebugMode) {
    for (bool debug : {false, true}) {
        build(1, debug);
        EXPECT_EQ(ui().lbl_ProductID->isHidden(), !debug);
        EXPECT_EQ(ui().product_id_label->isHidden(), !debug);
        addForeignModule(QStringLiteral("F"));
        EXPECT_EQ(m_window->controller()->getVireoDevices()->rowCount(), 0);
        m_window->enableSelectAllButtons(true);  // as an image load asks
        ui().overrideDeviceMatchcheckBox->click();
        EXPECT_EQ(m_window->controller()->getVireoDevices()->rowCount(), 1);
        EXPECT_EQ(ui().select_all_pushButton->isEnabled(), debug) << debug;
        EXPECT_EQ(ui().deselect_all_pushButton->isEnabled(), debug) << debug;
        EXPECT_TRUE(ui().overrideDeviceMatchcheckBox->isEnabled());
        m_window.reset();
    }
}

}  // namespace
