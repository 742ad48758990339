#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "FakePrompts.h"
#include "MainWindow.h"
#include "OVMeter.h"
#include "RunScript.h"
#include "SimProcess.h"
#include "VireoDevice.h"
#include "VireoDevices.h"

namespace {

// The namespace: zeb0 (192.0.2.1) for the application; its peer zeb0-p holds the devices'
// addresses from 192.0.2.10.
const QStringList kMakers = {QStringLiteral("ZEB-AMP-01"), QStringLiteral("ZEB-AMP-02"),
                             QStringLiteral("ZEB-AMP-03")};
const QString kMuteSet = QStringLiteral(" set dsp_t [08 00 1A 06 08 00 2A 02 08 01]");
constexpr int kListedWithinMs = 30000;

QImage lightImage(const QVariant& decoration) {
    return decoration.value<QIcon>().pixmap(16).toImage();
}

// ZEB_Control's window on its SDK drivers, with zeb-sim: three of the maker's amplifiers and
// one of another maker.
class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() {
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        QSettings settings(ZEB_Window::settingsPath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("network/interface"),
                          QNetworkInterface::interfaceIndexFromName(QStringLiteral("zeb0")));
    }

    void SetUp() override {
        ASSERT_TRUE(m_sim.start({QStringLiteral("--devices"), QStringLiteral("3"),
                                 QStringLiteral("--status-period-ms"), QStringLiteral("1000")}));
        VireoThreadsTiming timing;
        timing.tick_ms = 50;
        timing.first_tick_ms = 50;
        timing.refresh_pause_ms = 100;
        // Text commands from port 7, so the device window's requests have port 6.
        timing.local_port = 7;
        ZEB_WindowTiming window;
        window.reply_wait_ms = 300;
        m_main = std::make_unique<MainWindow>(nullptr, &m_prompts, window, timing);
        m_main->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_main.get()));
    }

    QTableView* table() const {
        return m_main->findChild<QTableView*>(QStringLiteral("tableView"));
    }

    int rowOf(const QString& name) const {
        QAbstractItemModel* model = table()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->index(row, 1).data().toString() == name) {
                return row;
            }
        }
        return -1;
    }

    bool isLight(const QString& name, const QImage& light) const {
        const int row = rowOf(name);
        return row >= 0 &&
               lightImage(table()->model()->index(row, 0).data(Qt::DecorationRole)) == light;
    }

    // Exactly the maker's three devices.
    bool listsTheThree() const {
        QStringList names;
        for (int row = 0; row < table()->model()->rowCount(); ++row) {
            names << table()->model()->index(row, 1).data().toString();
        }
        return names == kMakers;
    }

    // Exactly the maker's three devices, all green.
    bool listsTheThreeGreen() const {
        if (!listsTheThree()) {
            return false;
        }
        for (const QString& name : kMakers) {
            if (!isLight(name, m_green)) {
                return false;
            }
        }
        return true;
    }

    // Clicks and double-clicks the device's row, checks the device window shows it and its
    // channel 1 meters read a signal, ticks channel 1's Mute, checks zeb-sim saw that one set
    // request, from port 6, and the output meter falls silent.
    void muteChannel1(const QString& device, const char* name_field, const char* mute_box,
                      const char* input_meter, const char* output_meter) {
        const QPoint at = table()->visualRect(table()->model()->index(rowOf(device), 2)).center();
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, at);
        ZEB_Window* window = m_main->getZEB_Window();
        ASSERT_TRUE(window->isVisible()) << device.toStdString();
        EXPECT_TRUE(m_prompts.shown.empty());
        auto* name = window->findChild<QLineEdit*>(QLatin1String(name_field));
        ASSERT_TRUE(name);
        EXPECT_EQ(name->text(), device);

        auto* input = window->findChild<OVMeter*>(QLatin1String(input_meter));
        auto* output = window->findChild<OVMeter*>(QLatin1String(output_meter));
        ASSERT_TRUE(input && output);
        ASSERT_TRUE(QTest::qWaitFor([&] { return input->dbValue() > OVMeter::kMinDb; }, 3000));
        for (const OVMeter* meter : {input, output}) {
            EXPECT_GE(meter->dbValue(), -23.0) << meter->objectName().toStdString();
            EXPECT_LE(meter->dbValue(), -17.0) << meter->objectName().toStdString();
        }
        saveImage(*window, QStringLiteral("e2e_device_window_") + device);

        m_sim.clearLines();
        auto* mute = window->findChild<QCheckBox*>(QLatin1String(mute_box));
        ASSERT_TRUE(mute && mute->isVisible());
        mute->click();
        EXPECT_TRUE(QTest::qWaitFor([this] { return !setLines().isEmpty(); }, 3000));
        QTest::qWait(600);
        ASSERT_EQ(setLines().size(), 1) << setLines().join('\n').toStdString();
        const QString line = setLines()[0];
        EXPECT_TRUE(line.startsWith(device + kMuteSet)) << line.toStdString();
        EXPECT_TRUE(line.endsWith(QStringLiteral(":6"))) << line.toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return output->dbValue() == OVMeter::kMinDb; }, 3000));
        EXPECT_GT(input->dbValue(), OVMeter::kMinDb);
    }

    static void saveImage(QWidget& widget, const QString& name) {
        const QDir folder(QStringLiteral(ZEB_SCREENSHOT_DIR));
        ASSERT_TRUE(folder.exists() || QDir().mkpath(folder.path()));
        EXPECT_TRUE(widget.grab().save(folder.filePath(name + QStringLiteral(".png"))));
    }

    // Closing the device window restarts discovery: the table empties and refills.
    void closeAndWaitForTheThree() {
        m_main->getZEB_Window()->close();
        EXPECT_FALSE(m_main->getZEB_Window()->isVisible());
        EXPECT_EQ(table()->model()->rowCount(), 0);
        EXPECT_TRUE(QTest::qWaitFor([this] { return listsTheThree(); }, kListedWithinMs));
        EXPECT_TRUE(QTest::qWaitFor(
            [this] { return isLight(kMakers[0], m_green) && isLight(kMakers[2], m_green); },
            kListedWithinMs));
    }

    QStringList setLines() const {
        QStringList sets;
        for (const QString& line : m_sim.lines()) {
            if (line.contains(QStringLiteral(" set "))) {
                sets << line;
            }
        }
        return sets;
    }

    QTemporaryDir m_config;
    SimProcess m_sim;
    FakePrompts m_prompts;
    std::unique_ptr<MainWindow> m_main;
    const QImage m_green = lightImage(QIcon(QStringLiteral(":/images/green_led.png")));
    const QImage m_red = lightImage(QIcon(QStringLiteral(":/images/red_led.png")));
    const QImage m_yellow = lightImage(QIcon(QStringLiteral(":/images/yellow_led.png")));
};

TEST_F(EndToEnd, ListsControlsAndRediscoversTheMakersDevices) {
    ASSERT_TRUE(QTest::qWaitFor([this] { return listsTheThreeGreen(); }, kListedWithinMs));

    m_sim.command("status ZEB-AMP-02 1,0,0");
    EXPECT_TRUE(QTest::qWaitFor([this] { return isLight(kMakers[1], m_red); }, 5000));
    EXPECT_TRUE(isLight(kMakers[0], m_green));

    // ZEB-AMP-01 shows the device window's first page, ZEB-AMP-02 its second.
    muteChannel1(kMakers[0], "LineEditBiAmpDeviceName", "CheckBoxBiAmpOutputMute",
                 "OvMeterBiAmpInput", "OvMeterBiAmpOutput");

    closeAndWaitForTheThree();
    // Red again with its next status announcement after it is listed again.
    EXPECT_TRUE(QTest::qWaitFor([this] { return isLight(kMakers[1], m_red); }, 5000));
    EXPECT_TRUE(isLight(kMakers[0], m_green));
    EXPECT_TRUE(isLight(kMakers[2], m_green));

    // The second device opened is still talked to from port 6.
    muteChannel1(kMakers[1], "LineEditFullChDeviceName", "CheckBoxFullChOutputMuteCh1",
                 "OvMeterFullChInputCh1", "OvMeterFullChOutputCh1");
    closeAndWaitForTheThree();

    // A device that leaves is forgotten by the browser: its row stays, no longer green; when
    // it comes back it is identified again.
    m_sim.command("leave ZEB-AMP-03");
    EXPECT_TRUE(QTest::qWaitFor([this] { return isLight(kMakers[2], m_yellow); }, 10000));
    m_sim.clearLines();
    m_sim.command("join ZEB-AMP-03");
    EXPECT_TRUE(QTest::qWaitFor([this] { return isLight(kMakers[2], m_green); }, kListedWithinMs));
    EXPECT_TRUE(m_sim.lines().contains(QStringLiteral("ZEB-AMP-03 joined")));
    EXPECT_TRUE(listsTheThree());
}

// The run script, headless, on the binaries of this build: it prints where the picture of the
// window went, and leaves the table as text beside it.
TEST(RunScript, HeadlessRunSavesTheWindowAndTheTable) {
    const RunScriptResult run = runScript({QStringLiteral("--devices"), QStringLiteral("3"),
                                           QStringLiteral("--wait"), QStringLiteral("60")});
    EXPECT_EQ(run.exit_code, 0) << run.lines.join('\n').toStdString();
    ASSERT_FALSE(run.lines.isEmpty());
    EXPECT_FALSE(run.lines.filter(QRegularExpression(QStringLiteral("^run: identified \\d+ of 3")))
                     .isEmpty());
    const QString shot = run.lines.last();
    EXPECT_TRUE(shot.endsWith(QStringLiteral("/run/ZEB_Control.png"))) << shot.toStdString();
    const QImage image(shot);
    EXPECT_FALSE(image.isNull()) << shot.toStdString();
    EXPECT_EQ(image.size(), QSize(804, 542)) << "the window, not the screen";
    EXPECT_EQ(
        tableBeside(shot),
        (QStringList{"Device Name  Location  IP Address  Mac Address        Version  Lamp",
                     "ZEB-AMP-01   Rack 1    192.0.2.10  00:1d:c1:00:00:01  1.5      green",
                     "ZEB-AMP-02   Rack 2    192.0.2.11  00:1d:c1:00:00:02  1.5      green",
                     "ZEB-AMP-03   Rack 3    192.0.2.12  00:1d:c1:00:00:03  1.5      green"}));
}

}  // namespace
