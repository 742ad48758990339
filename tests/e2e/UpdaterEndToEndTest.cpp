// Kolvo_Firmware_update's window on its SDK drivers with zeb-sim (two of the maker's devices,
// one of another maker) and the image zeb-sim writes; and the run script's --updater mode.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <net/if.h>

#include <memory>

#include "FakePrompts.h"
#include "FastDriverSettings.h"
#include "RunScript.h"
#include "SimProcess.h"
#include "updater/MainWindow.h"
#include "updater/Settings.h"
#include "updater/VireoDevice.h"
#include "updater/VireoDevices.h"
#include "updater/VireoThreads.h"

namespace {

const QString kStartBox = QStringLiteral("Starting MCU Firmware Update");
const QStringList kMakers = {QStringLiteral("ZEB-AMP-01"), QStringLiteral("ZEB-AMP-02")};
constexpr int kIdentifiedWithinMs = 30000;

// Fast discovery and identification; the product's push (a 2 s pause per device).
kolvo::VireoThreadsTiming timing() {
    kolvo::VireoThreadsTiming timing;
    timing.tick_ms = 60;
    timing.first_tick_ms = 10;
    timing.refresh_pause_ms = 100;
    timing.drivers = fastDriverSettings();
    return timing;
}

class UpdaterEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
        QSettings settings(kolvo::settingsFilePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("network/interface"), int(::if_nametoindex("zeb0")));
        settings.sync();
        m_prompts.answer = [](QDialog& dialog) {
            return int(dialog.windowTitle() == kStartBox ? QMessageBox::Yes : QMessageBox::Ok);
        };
        ASSERT_TRUE(m_sim.start({QStringLiteral("--devices"), QStringLiteral("2")}));
        m_window = std::make_unique<kolvo::MainWindow>(nullptr, m_prompts, timing());
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void TearDown() override { QObject::disconnect(m_watch); }

    // zeb-sim's image, written by zeb-sim.
    QString writeImage(const QString& version) const {
        const QString path = m_dir.filePath(QStringLiteral("zeb-sim-%1.bin").arg(version));
        QProcess writer;
        writer.start(QStringLiteral(ZEB_SIM),
                     {QStringLiteral("--write-image"), path, QStringLiteral("--version"), version});
        EXPECT_TRUE(writer.waitForFinished(5000));
        EXPECT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().toStdString();
        return path;
    }

    kolvo::VireoDevices& table() const { return *m_window->controller()->getVireoDevices(); }
    const kolvo::MainWindowForm& ui() const { return m_window->form(); }
    QString status() const { return ui().statusbar->currentMessage(); }

    QStringList rows(int column) const {
        QStringList texts;
        for (int row = 0; row < table().rowCount(); ++row) {
            texts << table().data(table().index(row, column)).toString();
        }
        return texts;
    }

    // Saves the window once the first device's progress passes `block`.
    void saveWhenPushing(int block) {
        m_watch = QObject::connect(&table(), &QAbstractItemModel::modelReset, [this, block] {
            for (kolvo::VireoDevice* device : table().getAllDevices()) {
                if (!m_saved_during && device->getProgressValue() >= block) {
                    m_saved_during = true;
                    saveImage(QStringLiteral("e2e_updater_during"));
                }
            }
        });
    }

    void saveImage(const QString& name) const {
        const QDir folder(QStringLiteral(ZEB_SCREENSHOT_DIR));
        ASSERT_TRUE(folder.exists() || QDir().mkpath(folder.path()));
        EXPECT_TRUE(m_window->grab().save(folder.filePath(name + QStringLiteral(".png"))));
    }

    QTemporaryDir m_dir;
    FakePrompts m_prompts;
    SimProcess m_sim;
    std::unique_ptr<kolvo::MainWindow> m_window;
    QMetaObject::Connection m_watch;
    bool m_saved_during = false;
};

TEST_F(UpdaterEndToEnd, PushesZebSimsImageToBothDevicesAndShowsTheirNewVersion) {
    const QString image = writeImage(QStringLiteral("2.7"));
    // The other maker's device is identified too; no image, no row.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return status() == QStringLiteral(
                                   "Total: 3    Identified: 3    Updateable 0    "
                                   "Selected: 0");
        },
        kIdentifiedWithinMs))
        << status().toStdString();

    m_prompts.file_name = image;
    ui().actionLoad_FWImage->trigger();
    EXPECT_EQ(ui().img_filename_label->text(), QStringLiteral("zeb-sim-2.7.bin"));
    EXPECT_EQ(ui().major_ver_label->text(), QStringLiteral("2"));
    EXPECT_EQ(ui().minor_ver_label->text(), QStringLiteral("7"));
    EXPECT_EQ(rows(kolvo::VireoDevices::kNameColumn), kMakers);
    EXPECT_EQ(rows(kolvo::VireoDevices::kMcuVersionColumn), (QStringList{"V1.5", "V1.5"}));

    ui().select_all_pushButton->click();
    ASSERT_TRUE(ui().StartUpdate_pushButton->isEnabled());
    saveImage(QStringLiteral("e2e_updater_before"));
    saveWhenPushing(30);
    ui().StartUpdate_pushButton->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui().back_pushButton->isVisible(); }, 30000));
    EXPECT_TRUE(m_saved_during);
    ASSERT_EQ(m_prompts.shown.size(), 1u) << "only the confirmation";

    // Identified again, with the pushed version.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return rows(kolvo::VireoDevices::kMcuVersionColumn) == QStringList{"V2.7", "V2.7"};
        },
        kIdentifiedWithinMs))
        << rows(kolvo::VireoDevices::kMcuVersionColumn).join(' ').toStdString();
    EXPECT_EQ(rows(kolvo::VireoDevices::kNameColumn), kMakers);
    for (const QString& name : kMakers) {
        EXPECT_TRUE(m_sim.lines().contains(name + QStringLiteral(" answered VERSION 2.7")))
            << name.toStdString();
    }
    saveImage(QStringLiteral("e2e_updater_after"));
}

// The run script's update utility, headless: it loads zeb-sim's image by itself, so the
// maker's devices are listed in the picture and in the table's text.
TEST(RunScript, UpdaterHeadlessRunListsTheDevicesWithTheImageLoaded) {
    const RunScriptResult run =
        runScript({QStringLiteral("--updater"), QStringLiteral("--devices"), QStringLiteral("3"),
                   QStringLiteral("--wait"), QStringLiteral("60")});
    EXPECT_EQ(run.exit_code, 0) << run.lines.join('\n').toStdString();
    ASSERT_FALSE(run.lines.isEmpty());
    const QString shot = run.lines.last();
    EXPECT_TRUE(shot.endsWith(QStringLiteral("/run/Kolvo_Firmware_update.png")))
        << shot.toStdString();
    const QImage image(shot);
    EXPECT_EQ(image.size(), QSize(846, 600)) << shot.toStdString();
    EXPECT_EQ(tableBeside(shot),
              (QStringList{"Device Name  IP Address  Model Ver  Firmware Ver  Mcu Ver  Selected",
                           "ZEB-AMP-01   192.0.2.10  V0.1       V4.0          V1.5     no",
                           "ZEB-AMP-02   192.0.2.11  V0.1       V4.0          V1.5     no",
                           "ZEB-AMP-03   192.0.2.12  V0.1       V4.0          V1.5     no"}));
}

}  // namespace
