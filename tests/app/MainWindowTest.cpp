#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QNetworkInterface>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>

#include "DevList.h"
#include "FakeDevice.h"
#include "FakePrompts.h"
#include "MainWindow.h"
#include "MdslLoaders.h"
#include "Mdsl_Window.h"
#include "NetworkInterfaceDialog.h"
#include "PresetValues.h"
#include "RecordingDrivers.h"
#include "VireoDevice.h"
#include "VireoDevices.h"
#include "VireoThreads.h"

namespace {

// The namespace holds zeb0 (192.0.2.1) and its peer zeb0-p (192.0.2.2).
int indexOf(const char* name) {
    return QNetworkInterface::interfaceIndexFromName(QString::fromLatin1(name));
}

const QString kInterfaceKey = QStringLiteral("network/interface");

ZEB_WindowTiming windowTiming() {
    ZEB_WindowTiming timing;
    timing.reply_wait_ms = 30;
    timing.update_interval_ms = 50;
    return timing;
}

// No refresh of its own after construction, a short pause, and the command socket off port
// 6, so the device window has it.
VireoThreadsTiming controllerTiming() {
    VireoThreadsTiming timing;
    timing.first_refresh_ms = -1;
    timing.refresh_pause_ms = 10;
    timing.local_port = 0;
    return timing;
}

// A main window on a driver set of the test's own, its settings in a temporary folder.
class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() { qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8()); }

    ~MainWindowTest() override { m_main.reset(); }

    void storeInterface(int index) {
        QSettings settings(ZEB_Window::settingsPath(), QSettings::IniFormat);
        settings.setValue(kInterfaceKey, index);
    }

    QVariant storedInterface() const {
        return QSettings(ZEB_Window::settingsPath(), QSettings::IniFormat).value(kInterfaceKey);
    }

    void makeWindow() {
        auto drivers = std::make_unique<RecordingDrivers>();
        m_drivers = drivers.get();
        m_main = std::make_unique<MainWindow>(nullptr, &m_prompts, windowTiming(),
                                              controllerTiming(), std::move(drivers));
    }

    // An identified record, as the controller leaves it, with a fake device at its address.
    VireoDevice* addDevice(const char* name, const char* address) {
        auto& fake = m_fakes[name];
        if (!fake) {
            fake = std::make_unique<sim::FakeDevice>(address);
            qz_msgs::system_t system;
            system.set_location("Stage");
            fake->setSystem(system);
            EXPECT_TRUE(fake->start());
        }
        auto* record = new VireoDevice;
        record->setName(QString::fromLatin1(name));
        record->setIpAddress(QHostAddress(QString::fromLatin1(address)));
        record->setManufacturer(QStringLiteral("Corvanti"));
        record->setModelName(QStringLiteral("ZEB-2X100"));
        record->setProductId(QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
        record->setLocation(QStringLiteral("Stage"));
        record->setMacAddress(QStringLiteral("00:1d:c1:00:00:0a"));
        m_main->getVireoDevices()->appendDevice(record);
        record->setPollState(8);
        m_main->getVireoDevices()->emitVireoDevicesChanged();
        return record;
    }

    QTableView* table() const {
        return m_main->findChild<QTableView*>(QStringLiteral("tableView"));
    }

    QPoint rowCentre(const QString& name) const {
        QAbstractItemModel* model = table()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->index(row, 1).data().toString() == name) {
                return table()->visualRect(model->index(row, 2)).center();
            }
        }
        ADD_FAILURE() << "no row " << name.toStdString();
        return {};
    }

    void click(const char* name, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(table()->viewport(), button, {}, rowCentre(QString::fromLatin1(name)));
    }

    void doubleClick(const char* name) {
        const QPoint at = rowCentre(QString::fromLatin1(name));
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, at);
    }

    QStringList selected() const {
        QStringList names;
        for (VireoDevice* device : m_main->getVireoDevices()->getDevices()) {
            if (device->isSelected()) {
                names << device->getName();
            }
        }
        return names;
    }

    void showWindow() {
        m_main->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_main.get()));
    }

    QTemporaryDir m_config;
    FakePrompts m_prompts;
    std::map<std::string, std::unique_ptr<sim::FakeDevice>> m_fakes;
    RecordingDrivers* m_drivers = nullptr;
    std::unique_ptr<MainWindow> m_main;
};

TEST_F(MainWindowTest, FirstStartShowsTheDialogAndCancelWritesNothing) {
    makeWindow();
    NetworkInterfaceDialog* dialog = m_main->networkInterfaceDialog();
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(m_drivers->last_interface, dialog->getSelectedIndex());
    dialog->reject();
    EXPECT_FALSE(QFile::exists(ZEB_Window::settingsPath()));
    EXPECT_EQ(m_drivers->starts, 1);
}

// The stored interface, and what choosing an entry in the dialog does with it.
TEST_F(MainWindowTest, ChoosingAnInterfaceStoresAndRestartsOnlyOnChange) {
    struct Case {
        const char* chosen;
        int starts;
    };
    for (const Case& c : {Case{"zeb0", 1}, Case{"zeb0-p", 2}}) {
        SCOPED_TRACE(c.chosen);
        storeInterface(indexOf("zeb0"));
        makeWindow();
        NetworkInterfaceDialog* dialog = m_main->networkInterfaceDialog();
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(m_drivers->last_interface, indexOf("zeb0"));
        const QDateTime written = QFileInfo(ZEB_Window::settingsPath()).lastModified();
        QTest::qWait(20);
        auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("comboBox"));
        combo->setCurrentIndex(combo->findData(indexOf(c.chosen)));
        dialog->accept();
        EXPECT_EQ(storedInterface().toInt(), indexOf(c.chosen));
        EXPECT_EQ(m_drivers->starts, c.starts);
        EXPECT_EQ(m_drivers->last_interface, indexOf(c.chosen));
        EXPECT_EQ(QFileInfo(ZEB_Window::settingsPath()).lastModified() == written, c.starts == 1);
        m_main.reset();
    }
}

TEST_F(MainWindowTest, AClickSelectsExactlyOneDeviceAndARightClickNone) {
    storeInterface(indexOf("zeb0"));
    makeWindow();
    addDevice("AMP-C", "127.0.0.4");
    addDevice("AMP-A", "127.0.0.2");
    addDevice("AMP-B", "127.0.0.3");
    showWindow();
    ASSERT_EQ(table()->model()->rowCount(), 3);
    EXPECT_EQ(table()->model()->index(0, 1).data().toString(), QStringLiteral("AMP-A"));

    for (const char* name : {"AMP-B", "AMP-C", "AMP-A"}) {
        click(name);
        EXPECT_EQ(selected(), QStringList{QString::fromLatin1(name)});
    }
    click("AMP-B", Qt::RightButton);
    EXPECT_TRUE(selected().isEmpty());
    EXPECT_TRUE(table()->selectionModel()->selectedIndexes().isEmpty());
}

TEST_F(MainWindowTest, ADoubleClickOpensTheClickedDevice) {
    storeInterface(indexOf("zeb0"));
    makeWindow();
    addDevice("AMP-A", "127.0.0.2");
    addDevice("AMP-B", "127.0.0.3");
    showWindow();
    doubleClick("AMP-B");
    EXPECT_TRUE(m_main->getZEB_Window()->isVisible());
    EXPECT_TRUE(m_prompts.shown.empty());
    EXPECT_FALSE(m_fakes["AMP-B"]->log().empty());
    EXPECT_TRUE(m_fakes["AMP-A"]->log().empty());
}

TEST_F(MainWindowTest, ASilentDeviceFailsToOpen) {
    storeInterface(indexOf("zeb0"));
    makeWindow();
    addDevice("AMP-A", "127.0.0.2");
    m_fakes["AMP-A"]->setSilent(true);
    showWindow();
    doubleClick("AMP-A");
    EXPECT_FALSE(m_main->getZEB_Window()->isVisible());
    ASSERT_EQ(m_prompts.shown.size(), 1u);
    EXPECT_EQ(m_prompts.shown[0].title, QStringLiteral("ZEB Plugin"));
    EXPECT_EQ(m_prompts.shown[0].text, QStringLiteral("Failed to open the device."));
}

// Closing the device window detaches it (Qt closes the socket) and restarts discovery; the
// next device opened still hears from port 6.
TEST_F(MainWindowTest, DevicesOpenedInTurnHearFromPort6) {
    storeInterface(indexOf("zeb0"));
    makeWindow();
    showWindow();
    for (const char* name : {"AMP-A", "AMP-B"}) {
        addDevice("AMP-A", "127.0.0.2");
        addDevice("AMP-B", "127.0.0.3");
        doubleClick(name);
        ASSERT_TRUE(m_main->getZEB_Window()->isVisible()) << name;
        m_main->getZEB_Window()->close();
        EXPECT_FALSE(m_main->getZEB_Window()->isVisible());
        EXPECT_TRUE(m_main->getVireoDevices()->getDevices().isEmpty());
    }
    EXPECT_EQ(m_drivers->starts, 3);
    for (const char* name : {"AMP-A", "AMP-B"}) {
        const auto log = m_fakes[name]->log();
        ASSERT_FALSE(log.empty()) << name;
        for (const sim::LoggedDatagram& datagram : log) {
            EXPECT_EQ(datagram.from_port, 6) << name;
        }
    }
}

// While a loader runs, the device window is the loader's: a double click opens nothing.
TEST_F(MainWindowTest, NothingOpensWhileALoaderRuns) {
    storeInterface(indexOf("zeb0"));
    makeWindow();
    VireoDevice* first = addDevice("AMP-A", "127.0.0.2");
    addDevice("AMP-B", "127.0.0.3");
    for (auto& [name, fake] : m_fakes) {
        qz_msgs::system_t system;
        system.set_full_bandwidth(true);
        fake->setSystem(system);
        fake->setDsp(deviceDsp());
    }
    const QString file = m_config.filePath(QStringLiteral("hall.pset"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(presetFile(richPreset()));
    out.close();
    m_prompts.file_name = file;

    m_main->mdslWindowShow();
    Mdsl_Window* loader = m_main->loaders()->current();
    ASSERT_TRUE(loader);
    m_main->getVireoDevices()->emitVireoDevicesChanged();
    QCoreApplication::processEvents();
    loader->findChild<QPushButton*>(QStringLiteral("clear_file_pushButton"))->click();
    loader->findChild<QPushButton*>(QStringLiteral("select_file_pushButton"))->click();
    ASSERT_EQ(loader->devList()->rowCount(), 2);
    loader->findChild<QPushButton*>(QStringLiteral("select_all_pushButton"))->click();
    loader->findChild<QComboBox*>(QStringLiteral("preset_comboBox"))->setCurrentIndex(1);

    // The run's closing box is up while the run still counts as running.
    std::vector<bool> opened;
    m_prompts.answer = [&](QDialog& box) {
        if (box.windowTitle() == QStringLiteral("Info")) {
            m_main->openZEB_Window(first);
            opened.push_back(m_main->getZEB_Window()->isVisible());
        }
        return int(QMessageBox::Ok);
    };
    loader->findChild<QPushButton*>(QStringLiteral("start_pushButton"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.empty(); }, 10000));
    EXPECT_EQ(opened, std::vector<bool>{false});

    m_prompts.answer = [](QDialog&) { return int(QMessageBox::Ok); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_main->loaders()->anyRunning(); }, 2000));
    m_main->openZEB_Window(first);
    EXPECT_TRUE(m_main->getZEB_Window()->isVisible());
}

// Leaves an image of the window with a row of each light and one selected, for looking at.
TEST_F(MainWindowTest, Screenshot) {
    storeInterface(indexOf("zeb0"));
    makeWindow();
    addDevice("ZEB-AMP-01", "127.0.0.2");
    addDevice("ZEB-AMP-02", "127.0.0.3")->setPollState(3);
    addDevice("ZEB-AMP-03", "127.0.0.4")->setAmpStatus1(1);
    addDevice("ZEB-AMP-04", "127.0.0.5");
    showWindow();
    click("ZEB-AMP-04");
    ASSERT_EQ(selected(), QStringList{QStringLiteral("ZEB-AMP-04")});
    const QDir folder(QStringLiteral(ZEB_SCREENSHOT_DIR));
    ASSERT_TRUE(folder.exists() || QDir().mkpath(folder.path()));
    EXPECT_TRUE(m_main->grab().save(folder.filePath(QStringLiteral("main_window.png"))));
}

}  // namespace
