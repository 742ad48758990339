// The whole update utility (window, controller on its SDK drivers, push) against a simulated
// network (sim::FakeNetwork) inside the test's own network namespace: the PC on zeb0
// (192.0.2.1), devices A, B and C on 192.0.2.11 to .13 of its peer, the conmon server and the
// configuration service on 127.0.0.1. With KOLVO_SHOT_DIR set, the window is saved there as
// PNG during and after a run.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <net/if.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FakeConmonWire.h"
#include "FakeNetwork.h"
#include "FakePrompts.h"
#include "FakeVireoServices.h"
#include "FastDriverSettings.h"
#include "HexText.h"
#include "PushLog.h"
#include "TestImages.h"
#include "Timing.h"
#include "updater/MainWindow.h"
#include "updater/Settings.h"
#include "updater/VireoDevice.h"
#include "updater/VireoDevices.h"
#include "updater/VireoThreads.h"

namespace {

using namespace std::chrono_literals;
using kolvo::VireoDevice;
namespace wire = sim::conmonwire;

constexpr uint16_t kSendMessage = 0x400;
const QString kStartBox = QStringLiteral("Starting MCU Firmware Update");
const QString kFinished =
    QStringLiteral("Update(s) have completed, click continue or close application");

kolvo::VireoThreadsTiming fastTiming(int ack_timeout_ms) {
    kolvo::VireoThreadsTiming timing;
    timing.tick_ms = 60;
    timing.first_tick_ms = 10;
    timing.reply_ms = 100;
    timing.first_refresh_ms = -1;
    timing.refresh_pause_ms = 0;
    timing.drivers = fastDriverSettings();
    timing.push.command_pause_ms = 100;
    timing.push.ack_timeout_ms = ack_timeout_ms;
    timing.push.resend_pause_ms = 10;
    timing.push.end_pause_ms = 10;
    timing.push.refresh_interval_ms = 0;
    return timing;
}

// A "Solano" module of the maker with product id 01 00 0C FF 00 00 00 07 and version 1.0.
sim::FakeNetworkDevice module(const std::string& name, const std::string& address, int n) {
    sim::FakeNetworkDevice device = sim::FakeNetwork::amplifier(name, address, n);
    device.product_id = {0x01, 0x00, 0x0C, 0xFF, 0x00, 0x00, 0x00, 0x07};
    device.version_major = 1;
    device.version_minor = 0;
    return device;
}

std::string conmonId(const std::array<uint8_t, 8>& id) {
    char text[17] = {};
    for (size_t i = 0; i < id.size(); ++i) {
        std::snprintf(text + 2 * i, 3, "%02x", id[i]);
    }
    return text;
}

// The device's services as the network advertises them.
sim::FakeMdnsDevice advertised(const sim::FakeNetworkDevice& spec) {
    sim::FakeMdnsDevice device;
    device.host = "zeb-" + spec.address;
    std::replace(device.host.begin(), device.host.end(), '.', '-');
    device.address = spec.address;
    std::vector<std::string> media = sim::vireo::mediaTxt();
    std::vector<std::string> conmon = sim::vireo::conmonTxt(conmonId(spec.conmon_id));
    for (auto* txt : {&media, &conmon}) {
        for (std::string& entry : *txt) {
            if (entry.rfind("mf=", 0) == 0) {
                entry = "mf=" + spec.manufacturer;
            }
        }
    }
    device.services.push_back(sim::vireo::service(sim::vireo::Row::kMediaDevice, spec.name, media,
                                                  sim::FakeArcpResponder::kPort));
    device.services.push_back(
        sim::vireo::service(sim::vireo::Row::kConmonDevice, spec.name, conmon, 8800));
    return device;
}

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
        QSettings settings(kolvo::settingsFilePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("network/interface"), int(::if_nametoindex("zeb0")));
        settings.sync();
        vireo_dnssd::Timing timing;
        timing.first_query_max = 40ms;
        vireo_dnssd::setTiming(timing);
        m_prompts.answer = [this](QDialog& dialog) {
            m_box_statuses.push_back(status());
            return int(dialog.windowTitle() == kStartBox ? QMessageBox::Yes : QMessageBox::Ok);
        };
    }

    void TearDown() override {
        QObject::disconnect(m_watch);
        m_window.reset();
        m_network.reset();
    }

    // Devices C, A, B arrive in this order (those present).
    void start(std::vector<sim::FakeNetworkDevice> devices, int ack_timeout_ms = 1000) {
        start(devices, fastTiming(ack_timeout_ms));
    }
    void start(std::vector<sim::FakeNetworkDevice> devices,
               const kolvo::VireoThreadsTiming& timing) {
        m_network = std::make_unique<sim::FakeNetwork>(devices);
        for (size_t i = 1; i < devices.size(); ++i) {
            m_network->mdns().removeDevice(advertised(devices[i]).host);
        }
        ASSERT_TRUE(m_network->start());
        m_window = std::make_unique<kolvo::MainWindow>(nullptr, m_prompts, timing);
        m_window->show();
        QObject::connect(m_window->controller(), &kolvo::VireoThreads::updateStatus,
                         [this](const QString& text) { m_statuses.push_back(text); });
        for (size_t i = 0; i < devices.size(); ++i) {
            if (!devices[i].present) {
                continue;
            }
            if (i > 0) {
                m_network->mdns().addDevice(advertised(devices[i]));
            }
            const QString name = QString::fromStdString(devices[i].name);
            ASSERT_TRUE(QTest::qWaitFor([&] { return record(name) != nullptr; }, 10000))
                << devices[i].name;
        }
    }

    // What the record of name holds, as text.
    std::string identity(const QString& name) const {
        const VireoDevice* device = record(name);
        if (!device) {
            return "none";
        }
        return QStringLiteral("%1 state %2 ip %3 mac %4 model %5/%6 pid %7 mcu %8 path %9")
            .arg(device->getName())
            .arg(device->getPollState())
            .arg(device->getIpAddress().toString(), device->getMacAddress(),
                 device->getVireoModel(), device->getModelName(),
                 QString::fromLatin1(device->getProductId()))
            .arg(device->getMcuVersion(), 0, 16)
            .arg(device->getCommandPath())
            .toStdString();
    }

    kolvo::VireoDevices& table() const { return *m_window->controller()->getVireoDevices(); }
    const kolvo::MainWindowForm& ui() const { return m_window->form(); }
    QString status() const { return ui().statusbar->currentMessage(); }

    VireoDevice* record(const QString& name) const {
        return table().findDeviceByName(name, nullptr);
    }

    bool statusReads(const QString& text, int ms = 10000) const {
        return QTest::qWaitFor([&] { return status() == text; }, ms);
    }

    // The run ended: "Continue" is offered and the end was told (the status line may show the
    // table's counts again by now).
    bool runEnds() const {
        return QTest::qWaitFor([&] { return ui().back_pushButton->isVisible(); }, 15000) &&
               std::count(m_statuses.begin(), m_statuses.end(), kFinished) == 1;
    }

    QStringList rows(int column) const {
        QStringList texts;
        for (int row = 0; row < table().rowCount(); ++row) {
            texts << table().data(table().index(row, column)).toString();
        }
        return texts;
    }

    void loadImage() {
        m_image = testImage(1000, testHeader());
        m_prompts.file_name = writeFile(m_dir.filePath(QStringLiteral("fw_test.bin")), m_image);
        ui().actionLoad_FWImage->trigger();
    }

    // Records each device's progress values, and saves a picture of the window the first
    // time one reaches `shot_at`.
    void watchProgress(int shot_at) {
        for (VireoDevice* device : table().getAllDevices()) {
            m_progress[device->getName()] = {device->getProgressValue()};
        }
        m_watch = QObject::connect(&table(), &QAbstractItemModel::modelReset, [this, shot_at] {
            for (VireoDevice* device : table().getAllDevices()) {
                auto& values = m_progress[device->getName()];
                if (values.empty() || values.back() != device->getProgressValue()) {
                    values.push_back(device->getProgressValue());
                    if (device->getProgressValue() == shot_at) {
                        shoot(QStringLiteral("during-") + device->getName());
                    }
                }
            }
        });
    }

    void shoot(const QString& name) const {
        const QString dir = qEnvironmentVariable("KOLVO_SHOT_DIR");
        if (!dir.isEmpty()) {
            m_window->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
        }
    }

    // When each device first got "FWUPDATE\r".
    std::vector<std::string> pushOrder() {
        std::vector<std::pair<std::chrono::steady_clock::time_point, std::string>> firsts;
        for (size_t i = 0; i < m_network->size(); ++i) {
            for (const auto& datagram : m_network->device(i).log()) {
                if (datagram.bytes == bytesOf("FWUPDATE\r")) {
                    firsts.emplace_back(datagram.when, m_network->spec(i).name);
                    break;
                }
            }
        }
        std::sort(firsts.begin(), firsts.end());
        std::vector<std::string> order;
        for (const auto& first : firsts) {
            order.push_back(first.second);
        }
        return order;
    }

    sim::FakeDevice& fake(const std::string& name) {
        return m_network->device(size_t(m_network->indexOf(name)));
    }

    // The standard conmon request bodies the server was sent, each once, in the order first
    // sent.
    std::vector<std::string> conmonBodies() const {
        std::vector<std::string> bodies;
        for (const sim::Bytes& datagram : m_network->conmon().log()) {
            const auto header = wire::readControl(datagram);
            if (!header || header->opcode != kSendMessage) {
                continue;
            }
            const auto message = wire::readChannel(datagram, 52);
            if (!message || message->vendor_id != wire::kStandardVendor) {
                continue;
            }
            if (std::find(bodies.begin(), bodies.end(), sim::hexText(message->body)) ==
                bodies.end()) {
                bodies.push_back(sim::hexText(message->body));
            }
        }
        return bodies;
    }

    QTemporaryDir m_dir;
    FakePrompts m_prompts;
    std::vector<QString> m_box_statuses;
    std::vector<QString> m_statuses;  // the controller's status lines
    std::unique_ptr<sim::FakeNetwork> m_network;
    std::unique_ptr<kolvo::MainWindow> m_window;
    QByteArray m_image;
    std::map<QString, std::vector<int>> m_progress;
    QMetaObject::Connection m_watch;
};

std::vector<sim::FakeNetworkDevice> threeModules() {
    return {module("C", "192.0.2.13", 3), module("A", "192.0.2.11", 1),
            module("B", "192.0.2.12", 2)};
}

TEST_F(Program, IdentifiesLoadsAndUpdatesThreeDevicesInArrivalOrder) {
    start(threeModules());
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("Kolvo Firmware Update"));
    EXPECT_EQ(m_window->controller()->interfaceIndex(), int(::if_nametoindex("zeb0")));
    ASSERT_TRUE(
        statusReads(QStringLiteral("Total: 3    Identified: 3    Updateable 0    Selected: 0")))
        << status().toStdString();
    EXPECT_EQ(conmonBodies(),
              (std::vector<std::string>{"07 1A 00 61 00 0F 42 40", "07 1A 00 C1 00 0F 42 40",
                                        "07 1A 00 13 00 00 00 00 00 00 00 00 00 00 00 00"}));
    // No image: only the network actions are of use.
    EXPECT_TRUE(ui().lbl_ProductID->isHidden());
    EXPECT_FALSE(ui().select_all_pushButton->isEnabled());
    EXPECT_FALSE(ui().StartUpdate_pushButton->isEnabled());
    EXPECT_FALSE(ui().Cancel_pushButton->isEnabled());
    EXPECT_TRUE(ui().back_pushButton->isHidden());
    EXPECT_EQ(ui().tableView->cursor().shape(), Qt::ArrowCursor);

    loadImage();
    EXPECT_EQ(ui().img_filename_label->text(), QStringLiteral("fw_test.bin"));
    EXPECT_EQ(ui().major_ver_label->text(), QStringLiteral("2"));
    EXPECT_EQ(ui().minor_ver_label->text(), QStringLiteral("10"));
    EXPECT_EQ(rows(kolvo::VireoDevices::kNameColumn), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(rows(kolvo::VireoDevices::kMcuVersionColumn), (QStringList{"V1.0", "V1.0", "V1.0"}));
    EXPECT_EQ(status(), QStringLiteral("Total: 3    Identified: 3    Updateable 3    Selected: 0"));
    EXPECT_TRUE(ui().select_all_pushButton->isEnabled());
    EXPECT_FALSE(ui().StartUpdate_pushButton->isEnabled()) << "no row selected yet";

    ui().select_all_pushButton->click();
    EXPECT_EQ(status(), QStringLiteral("Total: 3    Identified: 3    Updateable 3    Selected: 3"));
    EXPECT_TRUE(ui().StartUpdate_pushButton->isEnabled());
    EXPECT_FALSE(ui().Cancel_pushButton->isEnabled());

    watchProgress(2);
    ui().StartUpdate_pushButton->click();
    EXPECT_TRUE(ui().Cancel_pushButton->isEnabled());
    EXPECT_FALSE(ui().StartUpdate_pushButton->isEnabled());
    EXPECT_FALSE(ui().toolBar->isEnabled());
    EXPECT_FALSE(ui().menubar->isEnabled());
    ASSERT_TRUE(runEnds());
    EXPECT_TRUE(ui().back_pushButton->isVisible());
    EXPECT_FALSE(ui().Cancel_pushButton->isEnabled());
    EXPECT_FALSE(ui().StartUpdate_pushButton->isEnabled());

    EXPECT_EQ(pushOrder(), (std::vector<std::string>{"C", "A", "B"}));
    const auto expected = cleanPush(m_image);
    // Write request, blocks 1 to 3 of 256 bytes and 4 of 232.
    ASSERT_EQ(expected.size(), 6u);
    EXPECT_EQ(sim::hexText(expected[1]), "00 02 00 00 66 77 5F 74 65 73 74 2E 62 69 6E 00 00");
    EXPECT_EQ(expected[4].size(), 260u);
    EXPECT_EQ(sim::hexText(sim::Bytes(expected[5].begin(), expected[5].begin() + 8)),
              "00 03 00 04 0F 10 11 12");
    EXPECT_EQ(expected[5].size(), 236u);
    for (const char* name : {"A", "B", "C"}) {
        const std::vector<sim::Bytes> log = seen(fake(name));
        std::vector<sim::Bytes> push;
        std::copy_if(log.begin(), log.end(), std::back_inserter(push),
                     [](const sim::Bytes& datagram) { return datagram != bytesOf("VERSION\r"); });
        EXPECT_EQ(push, expected) << name;
        EXPECT_EQ(imageOf(fake(name)), m_image) << name;
        EXPECT_EQ(m_progress[QString::fromLatin1(name)], (std::vector<int>{-1, 1, 2, 3, 4, 3}))
            << name;
    }
    // The write request follows "FWUPDATE" after the pause.
    const auto log = fake("A").log();
    const auto command = std::find_if(log.begin(), log.end(), [](const sim::LoggedDatagram& d) {
        return d.bytes == bytesOf("FWUPDATE\r");
    });
    ASSERT_NE(command, log.end());
    ASSERT_NE(command + 1, log.end());
    EXPECT_GE((command + 1)->when - command->when, 90ms);

    // Identified again, with the pushed version.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return rows(kolvo::VireoDevices::kMcuVersionColumn) ==
                   QStringList{"V2.10", "V2.10", "V2.10"};
        },
        10000))
        << rows(kolvo::VireoDevices::kMcuVersionColumn).join(' ').toStdString();
    EXPECT_EQ(rows(kolvo::VireoDevices::kNameColumn), (QStringList{"A", "B", "C"}));
    shoot(QStringLiteral("after"));

    // "Continue": no image, discovery starts over.
    QSignalSpy restarted(m_window->controller(), &kolvo::VireoThreads::vireoThreadsRefreshed);
    ui().back_pushButton->click();
    EXPECT_EQ(restarted.count(), 1);
    EXPECT_EQ(ui().img_filename_label->text(), QStringLiteral("<EMPTY>"));
    EXPECT_TRUE(ui().back_pushButton->isHidden());
    EXPECT_TRUE(ui().toolBar->isEnabled());
    EXPECT_TRUE(ui().menubar->isEnabled());
    EXPECT_FALSE(m_window->controller()->isUpdateRunning());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            VireoDevice* a = record(QStringLiteral("A"));
            return a && a->getPollState() == VireoDevice::kPollIdentified;
        },
        10000));
}

TEST_F(Program, DeviceRefusingUpdateModeIsAbandonedAndTheOthersUpdated) {
    start(threeModules(), 100);
    fake("A").setRefuseUpdateMode(true);
    ASSERT_TRUE(
        statusReads(QStringLiteral("Total: 3    Identified: 3    Updateable 0    Selected: 0")));
    loadImage();
    ui().select_all_pushButton->click();
    ui().StartUpdate_pushButton->click();
    ASSERT_TRUE(runEnds());

    const std::vector<sim::Bytes> log = seen(fake("A"));
    EXPECT_EQ(std::count(log.begin(), log.end(), bytesOf("FWUPDATE\r")), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), cleanPush(m_image)[1]), 11);
    // The confirmation, then one box for A while the status names it.
    ASSERT_EQ(m_prompts.shown.size(), 2u);
    EXPECT_EQ(m_prompts.shown[1].text,
              QStringLiteral("An error has occured during the update process.\n"
                             "Will continue with remaining devices."));
    EXPECT_EQ(m_box_statuses[1], QStringLiteral("Starting Firmware Update for [ A ]."));
    EXPECT_EQ(pushOrder(), (std::vector<std::string>{"C", "A", "B"}));
    EXPECT_EQ(imageOf(fake("B")), m_image);
    EXPECT_EQ(imageOf(fake("C")), m_image);

    // Identified again: C and B with the new version, A as it was.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return rows(kolvo::VireoDevices::kMcuVersionColumn) ==
                   QStringList{"V1.0", "V2.10", "V2.10"};
        },
        10000))
        << rows(kolvo::VireoDevices::kMcuVersionColumn).join(' ').toStdString();
    EXPECT_EQ(rows(kolvo::VireoDevices::kNameColumn), (QStringList{"A", "B", "C"}));
    EXPECT_LE(record(QStringLiteral("A"))->getProgressValue(), 0);
    EXPECT_EQ(record(QStringLiteral("B"))->getProgressValue(), 3);
    EXPECT_EQ(record(QStringLiteral("C"))->getProgressValue(), 3);
}

TEST_F(Program, SelectedDeviceGoneBeforeStartGetsNoDatagram) {
    start(threeModules());
    ASSERT_TRUE(
        statusReads(QStringLiteral("Total: 3    Identified: 3    Updateable 0    Selected: 0")));
    loadImage();
    ui().select_all_pushButton->click();
    const size_t before = fake("A").log().size();
    m_network->mdns().removeDevice(advertised(m_network->spec(1)).host);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return record(QStringLiteral("A"))->getIpAddress().isNull(); }, 10000));
    EXPECT_EQ(rows(kolvo::VireoDevices::kNameColumn), (QStringList{"B", "C"}));
    ui().StartUpdate_pushButton->click();
    ASSERT_TRUE(runEnds());

    EXPECT_EQ(fake("A").log().size(), before);
    EXPECT_EQ(imageOf(fake("B")), m_image);
    EXPECT_EQ(imageOf(fake("C")), m_image);
}

TEST_F(Program, VendorMismatchHidesADeviceUntilTheOverride) {
    std::vector<sim::FakeNetworkDevice> devices = threeModules();
    devices[1].version_minor = 12;        // A answers "ACK VERSION=1.12"
    devices[2].manufacturer = "Corvant";  // B is not the image's
    start(devices);
    ASSERT_TRUE(
        statusReads(QStringLiteral("Total: 3    Identified: 3    Updateable 0    Selected: 0")));
    loadImage();
    EXPECT_EQ(rows(kolvo::VireoDevices::kNameColumn), (QStringList{"A", "C"}));
    EXPECT_EQ(rows(kolvo::VireoDevices::kMcuVersionColumn), (QStringList{"V1.12", "V1.0"}));
    EXPECT_EQ(status(), QStringLiteral("Total: 3    Identified: 3    Updateable 2    Selected: 0"));

    ui().select_all_pushButton->click();
    EXPECT_TRUE(ui().StartUpdate_pushButton->isEnabled());
    ui().overrideDeviceMatchcheckBox->click();
    EXPECT_EQ(rows(kolvo::VireoDevices::kNameColumn), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(status(), QStringLiteral("[Matching override] Total: 3    Identified: 3    "
                                       "Updateable 3    Selected: 0"));
    // Outside debug mode the override leaves no way to select all.
    EXPECT_FALSE(ui().select_all_pushButton->isEnabled());
    EXPECT_FALSE(ui().deselect_all_pushButton->isEnabled());
    EXPECT_FALSE(ui().StartUpdate_pushButton->isEnabled());
    EXPECT_TRUE(ui().lbl_ProductID->isHidden());

    // A row click selects; the row shows no highlight, only its check mark.
    ui().tableView->clicked(table().index(1, kolvo::VireoDevices::kNameColumn));
    EXPECT_TRUE(record(QStringLiteral("B"))->isSelected());
    EXPECT_FALSE(ui().tableView->selectionModel()->hasSelection());
    EXPECT_TRUE(ui().StartUpdate_pushButton->isEnabled());

    ui().overrideDeviceMatchcheckBox->click();
    EXPECT_EQ(rows(kolvo::VireoDevices::kNameColumn), (QStringList{"A", "C"}));
    EXPECT_TRUE(ui().select_all_pushButton->isEnabled());
}

TEST(ProgramDefaults, ProductTimings) {
    const kolvo::VireoThreadsTiming timing;
    EXPECT_EQ(timing.push.command_pause_ms, 2000);
    EXPECT_EQ(timing.push.ack_timeout_ms, 2000);
    EXPECT_EQ(timing.tick_ms, 300);
    EXPECT_EQ(timing.reply_ms, 250);
    EXPECT_EQ(timing.first_refresh_ms, 100);
    EXPECT_EQ(timing.refresh_pause_ms, 1000);
}

TEST_F(Program, AfterTheServicesRestartAnArrivingDeviceIsIdentifiedAndTheOthersStay) {
    std::vector<sim::FakeNetworkDevice> devices = threeModules();
    devices[2].present = false;  // B
    // Both services are watched closely enough for their loss to show within a second (the
    // product's conmon timings are run in the controller's test of ZEB_Control).
    kolvo::VireoThreadsTiming timing = fastTiming(1000);
    timing.drivers.conmon.reconnect.keepalive_ms = 100;
    timing.drivers.conmon.reconnect.connecting_timeout_ms = 300;
    timing.drivers.conmon.reconnect.connected_timeout_ms = 500;
    timing.drivers.conmon.reconnect.reconnect_delay_ms = 300;
    timing.drivers.cmm.keepalive_ms = 50;
    timing.drivers.cmm.service_timeout_ms = 250;
    timing.drivers.cmm.reconnect_ms = 50;
    start(devices, timing);
    ASSERT_TRUE(
        statusReads(QStringLiteral("Total: 2    Identified: 2    Updateable 0    Selected: 0")))
        << status().toStdString();
    const QString a = QStringLiteral("A");
    const QString c = QStringLiteral("C");
    const VireoDevice* const records_before[] = {record(a), record(c)};
    const std::string before[] = {identity(a), identity(c)};
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_network->config().logOf(0x110).size() == 1; }, 3000));

    m_network->stopServices();
    ASSERT_TRUE(m_network->startServices());
    ASSERT_TRUE(m_network->join(2));
    QElapsedTimer since_return;
    since_return.start();
    ASSERT_TRUE(statusReads(
        QStringLiteral("Total: 3    Identified: 3    Updateable 0    Selected: 0"), 15000))
        << status().toStdString();
    RecordProperty("identified_after_ms", int(since_return.elapsed()));
    EXPECT_EQ(identity(QStringLiteral("B")),
              "B state 7 ip 192.0.2.12 mac 00:1d:c1:00:00:02 model Solano 2-A/ZEB-4600 pid "
              "10122550007 mcu 10000 path 2");
    EXPECT_EQ(record(a), records_before[0]);
    EXPECT_EQ(record(c), records_before[1]);
    EXPECT_EQ(identity(a), before[0]);
    EXPECT_EQ(identity(c), before[1]);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return m_network->config().logOf(0x110).size() == 2; }, 3000));
}

}  // namespace
