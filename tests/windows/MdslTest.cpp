#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <map>
#include <memory>
#include <vector>

#include "DevList.h"
#include "MdslDev.h"
#include "MdslHost.h"
#include "MdslLoaders.h"
#include "Mdsl_Window.h"
#include "PresetValues.h"
#include "ProgressBarDelegate.h"
#include "VireoDevices.h"

namespace {

const sim::Bytes kSavePreset3 = {0x53, 0x41, 0x56, 0x45, 0x50, 0x52, 0x45,
                                 0x53, 0x45, 0x54, 0x20, 0x33, 0x0D};
const QString kFailed = QStringLiteral("One or more errors occurred while applying presets.");
const QString kStatus = QStringLiteral("Multiple Device Preset Load...");

// The window that opens loaders: the device list and the one device window.
class TestHost : public QWidget, public MdslHost {
public:
    TestHost(Prompts* prompts, const ZEB_WindowTiming& timing)
        : m_window(std::make_unique<ZEB_Window>(nullptr, prompts, timing)) {}

    VireoDevices* getVireoDevices() override { return &m_devices; }
    ZEB_Window* getZEB_Window() override { return m_window.get(); }

    VireoDevices m_devices;
    std::unique_ptr<ZEB_Window> m_window;
};

struct DeviceSpec {
    const char* name;
    const char* address;
    const char* model;
    const char* maker;
};

// Added in this order; the loader lists the first three, in name order.
const DeviceSpec kDevices[] = {
    {"AMP-C", "127.0.0.2", "ZEB-2X100", "Corvanti"},
    {"AMP-A", "127.0.0.3", "ZEB-2X100", "Corvanti"},
    {"AMP-D", "127.0.0.4", "ZEB-4X50", "Corvanti"},
    {"AMP-B", "127.0.0.5", "ZEB-2X100", "Corvanti"},
    {"AMP-E", "127.0.0.6", "ZEB-2X100", "Corvanti Audio"},
};

bool isText(const sim::LoggedDatagram& datagram, const sim::Bytes& text) {
    return datagram.bytes == text;
}

std::vector<sim::Bytes> textCommandsOf(const sim::FakeDevice& fake) {
    std::vector<sim::Bytes> texts;
    for (const SeenRequest& request : requestsOf(fake)) {
        if (request.text) {
            texts.push_back(request.bytes);
        }
    }
    return texts;
}

sim::Bytes savePreset(int slot) {
    const std::string text = "SAVEPRESET " + std::to_string(slot) + "\r";
    return sim::Bytes(text.begin(), text.end());
}

class Loader : public ::testing::Test {
protected:
    Loader() : m_host(&m_prompts, WindowFixture::shortTiming()) {
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        qz_msgs::system_t system;
        system.set_full_bandwidth(true);
        for (const DeviceSpec& spec : kDevices) {
            auto fake = std::make_unique<sim::FakeDevice>(spec.address);
            fake->setSystem(system);
            fake->setDsp(deviceDsp());
            m_fakes[spec.name] = std::move(fake);
            auto* record = new VireoDevice;
            record->setName(QString::fromLatin1(spec.name));
            record->setIpAddress(QHostAddress(QString::fromLatin1(spec.address)));
            record->setModelName(QString::fromLatin1(spec.model));
            record->setManufacturer(QString::fromLatin1(spec.maker));
            m_host.m_devices.appendDevice(record);
        }
        m_file = m_dir.filePath(QStringLiteral("hall.pset"));
        QFile file(m_file);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(presetFile(richPreset()));
    }

    void SetUp() override {
        for (auto& [name, fake] : m_fakes) {
            ASSERT_TRUE(fake->start()) << name;
        }
    }

    sim::FakeDevice& fake(const char* name) { return *m_fakes.at(name); }

    // Opens a loader as the host does; the file dialog answers with the file at once, before
    // the loader heard of the device list, so it lists nothing until the file is chosen again.
    Mdsl_Window* openLoader() {
        m_prompts.file_name = m_file;
        Mdsl_Window* loader = m_loaders.open();
        EXPECT_EQ(loader->devList()->rowCount(), 0);
        m_host.m_devices.emitVireoDevicesChanged();
        QCoreApplication::processEvents();
        EXPECT_EQ(loader->devList()->rowCount(), 0);
        button(loader, "clear_file_pushButton")->click();
        button(loader, "select_file_pushButton")->click();
        for (auto& [name, fake] : m_fakes) {
            fake->clearLog();
        }
        m_prompts.shown.clear();
        return loader;
    }

    static QPushButton* button(Mdsl_Window* loader, const char* name) {
        auto* found = loader->findChild<QPushButton*>(QLatin1String(name));
        EXPECT_TRUE(found) << name;
        return found;
    }

    static QStringList names(const DevList& list) {
        QStringList shown;
        for (int row = 0; row < list.rowCount(); ++row) {
            shown << list.data(list.index(row, 1)).toString();
        }
        return shown;
    }

    static int rowOf(const DevList& list, const char* name) {
        return names(list).indexOf(QLatin1String(name));
    }

    // Clicks rows as the table would (the clicks arrive queued).
    static void click(Mdsl_Window* loader, std::initializer_list<const char*> rows) {
        auto* table = loader->findChild<QTableView*>(QStringLiteral("tableView"));
        for (const char* name : rows) {
            emit table->clicked(loader->devList()->index(rowOf(*loader->devList(), name), 1));
        }
    }

    // Chooses the slot item, confirms, and waits for the run to end.
    void run(Mdsl_Window* loader, int item) {
        loader->findChild<QComboBox*>(QStringLiteral("preset_comboBox"))->setCurrentIndex(item);
        button(loader, "start_pushButton")->click();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !button(loader, "cancel_pushButton")->isEnabled(); }, 10000));
    }

    // The progress of each row now and at every reset of the list, without repeats, and
    // whether a loader ran at each reset.
    void recordProgress(Mdsl_Window* loader) {
        DevList* list = loader->devList();
        const auto snapshot = [this, list] {
            for (int row = 0; row < list->rowCount(); ++row) {
                std::vector<int>& seen = m_progress[names(*list)[row]];
                const int progress = list->row(row)->getProgress();
                if (seen.empty() || seen.back() != progress) {
                    seen.push_back(progress);
                }
            }
        };
        snapshot();
        QObject::connect(list, &QAbstractItemModel::modelReset, list, [this, snapshot] {
            snapshot();
            m_running_seen.push_back(m_loaders.anyRunning());
        });
    }

    QTemporaryDir m_config;
    QTemporaryDir m_dir;
    QString m_file;
    FakePrompts m_prompts;
    TestHost m_host;
    MdslLoaders m_loaders{&m_host, &m_prompts, 10};
    std::map<std::string, std::unique_ptr<sim::FakeDevice>> m_fakes;
    std::map<QString, std::vector<int>> m_progress;
    std::vector<bool> m_running_seen;
};

TEST_F(Loader, ListsTheMakersDevicesOfTheFilesModelByName) {
    Mdsl_Window* loader = openLoader();
    const DevList& list = *loader->devList();
    EXPECT_EQ(names(list), QStringList({"AMP-A", "AMP-B", "AMP-C"}));
    for (const char* unlisted : {"AMP-D", "AMP-E"}) {
        EXPECT_TRUE(fake(unlisted).log().empty()) << unlisted;
    }
    EXPECT_EQ(loader->findChild<QLabel*>(QStringLiteral("model_name"))->text(),
              QStringLiteral("ZEB-2X100"));
    EXPECT_EQ(loader->findChild<QLabel*>(QStringLiteral("file_name"))->text(), m_file);
    auto* presets = loader->findChild<QComboBox*>(QStringLiteral("preset_comboBox"));
    ASSERT_EQ(presets->count(), 11);
    EXPECT_EQ(presets->itemText(0), QStringLiteral("Please make selection..."));
    EXPECT_EQ(presets->itemText(1), QStringLiteral("Default"));
    EXPECT_EQ(presets->itemText(4), QStringLiteral("Preset 3"));
    EXPECT_EQ(presets->itemText(10), QStringLiteral("Preset 9"));
    for (int item = 0; item < 11; ++item) {
        EXPECT_EQ(presets->itemData(item).toInt(), item);
    }
    EXPECT_FALSE(button(loader, "select_file_pushButton")->isEnabled());
    EXPECT_TRUE(button(loader, "start_pushButton")->isEnabled());
    EXPECT_TRUE(button(loader, "clear_file_pushButton")->isEnabled());
    EXPECT_FALSE(button(loader, "cancel_pushButton")->isEnabled());
    EXPECT_EQ(loader->statusBar()->currentMessage(), kStatus);
    EXPECT_EQ(loader->objectName(), QStringLiteral("Mdsl_Window"));
    EXPECT_EQ(loader->windowTitle(), QStringLiteral("Multi Preset Load"));
    EXPECT_EQ(loader->minimumSize(), QSize(650, 570));
    auto* table = loader->findChild<QTableView*>(QStringLiteral("tableView"));
    EXPECT_EQ(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(table->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(table->columnWidth(0), 25);
    EXPECT_EQ(table->columnWidth(1), 250);
    EXPECT_TRUE(qobject_cast<ProgressBarDelegate*>(table->itemDelegateForColumn(2)));

    // Columns: tick, name (red when failed), progress drawn by the delegate.
    const QImage checked =
        QIcon(QStringLiteral(":/images/checkbox_checked.png")).pixmap(16).toImage();
    const QImage unchecked =
        QIcon(QStringLiteral(":/images/checkbox_unchecked.png")).pixmap(16).toImage();
    ASSERT_NE(checked, unchecked);
    const auto tick = [&](int row) {
        return qvariant_cast<QIcon>(list.data(list.index(row, 0), Qt::DecorationRole))
            .pixmap(16)
            .toImage();
    };
    click(loader, {"AMP-B"});
    QCoreApplication::processEvents();
    EXPECT_EQ(tick(0), unchecked);
    EXPECT_EQ(tick(1), checked);
    button(loader, "select_all_pushButton")->click();
    EXPECT_EQ(tick(0), checked);
    button(loader, "deselect_all_pushButton")->click();
    EXPECT_EQ(tick(1), unchecked);
    list.row(2)->setStatus(MdslDev::kFailed);
    EXPECT_EQ(qvariant_cast<QColor>(list.data(list.index(2, 1), Qt::ForegroundRole)),
              QColor(Qt::red));
    EXPECT_FALSE(list.data(list.index(1, 1), Qt::ForegroundRole).isValid());
    EXPECT_FALSE(list.data(list.index(1, 2), Qt::DisplayRole).isValid());
    EXPECT_FALSE(list.data(list.index(3, 1), Qt::DisplayRole).isValid());
    EXPECT_EQ(list.headerData(0, Qt::Horizontal, Qt::DisplayRole), QString());
    EXPECT_EQ(list.headerData(1, Qt::Horizontal, Qt::DisplayRole), QStringLiteral("Device Name"));
    EXPECT_EQ(list.headerData(2, Qt::Horizontal, Qt::DisplayRole), QStringLiteral("Progress"));
    EXPECT_FALSE(list.headerData(1, Qt::Vertical, Qt::DisplayRole).isValid());

    // Clear File: no rows, no slot items; the model name stays.
    button(loader, "clear_file_pushButton")->click();
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(presets->count(), 0);
    EXPECT_TRUE(loader->findChild<QLabel*>(QStringLiteral("file_name"))->text().isEmpty());
    EXPECT_EQ(loader->findChild<QLabel*>(QStringLiteral("model_name"))->text(),
              QStringLiteral("ZEB-2X100"));
    EXPECT_TRUE(button(loader, "select_file_pushButton")->isEnabled());
    EXPECT_FALSE(button(loader, "start_pushButton")->isEnabled());
    EXPECT_FALSE(button(loader, "clear_file_pushButton")->isEnabled());
}

TEST_F(Loader, StoresTheFileInTheChosenSlotOfEachTickedDevice) {
    Mdsl_Window* loader = openLoader();
    button(loader, "select_all_pushButton")->click();
    EXPECT_FALSE(m_loaders.anyRunning());
    recordProgress(loader);
    run(loader, 4);  // "Preset 3"

    ASSERT_GE(m_prompts.shown.size(), 2u);
    EXPECT_EQ(m_prompts.shown[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(m_prompts.shown[0].text,
              QStringLiteral("The configuration is about to be applied..."));
    EXPECT_EQ(m_prompts.shown[0].informative,
              QStringLiteral("The selected configuration will be stored as preset number 3"));
    EXPECT_EQ(m_prompts.shown.back().title, QStringLiteral("Info"));
    EXPECT_EQ(m_prompts.shown.back().text,
              QStringLiteral("Successfully loaded the preset file to all selected devices."));
    EXPECT_EQ(m_prompts.shown.size(), 2u);

    for (const char* name : {"AMP-A", "AMP-B", "AMP-C"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(presetFields(fake(name).dsp(), 2), presetFields(richDsp(), 2));
        EXPECT_EQ(textCommandsOf(fake(name)), std::vector<sim::Bytes>{kSavePreset3});
        EXPECT_TRUE(fake(name).hasPresetSlot(3));
        EXPECT_EQ(m_progress[QLatin1String(name)], std::vector<int>({0, 50, 100}));
    }
    for (const char* unlisted : {"AMP-D", "AMP-E"}) {
        EXPECT_TRUE(fake(unlisted).log().empty()) << unlisted;
    }
    // Served one after the other, in name order.
    const auto savedAt = [&](const char* name) {
        for (const auto& datagram : fake(name).log()) {
            if (isText(datagram, kSavePreset3)) {
                return datagram.when;
            }
        }
        return std::chrono::steady_clock::time_point::max();
    };
    EXPECT_LT(savedAt("AMP-A"), savedAt("AMP-B"));
    EXPECT_LT(savedAt("AMP-B"), savedAt("AMP-C"));

    // The device window was the run's throughout, and is left detached.
    ASSERT_FALSE(m_running_seen.empty());
    EXPECT_EQ(std::count(m_running_seen.begin(), m_running_seen.end(), false), 0);
    EXPECT_FALSE(m_loaders.anyRunning());
    EXPECT_EQ(loader->statusBar()->currentMessage(), kStatus + QStringLiteral("  Done..."));
    for (const char* name : {"select_file_pushButton", "clear_file_pushButton",
                             "select_all_pushButton", "deselect_all_pushButton"}) {
        EXPECT_TRUE(button(loader, name)->isEnabled()) << name;
    }
    EXPECT_FALSE(button(loader, "start_pushButton")->isEnabled());
    for (auto& [name, fake] : m_fakes) {
        fake->clearLog();
    }
    m_host.m_window->syncToDevice();
    for (auto& [name, fake] : m_fakes) {
        EXPECT_TRUE(fake->log().empty()) << name;
    }
}

TEST_F(Loader, DefaultIsSlotZeroAndNoSlotIsNoRun) {
    Mdsl_Window* loader = openLoader();
    click(loader, {"AMP-B"});
    QCoreApplication::processEvents();

    loader->findChild<QComboBox*>(QStringLiteral("preset_comboBox"))->setCurrentIndex(0);
    button(loader, "start_pushButton")->click();
    ASSERT_EQ(m_prompts.shown.size(), 1u);
    EXPECT_EQ(m_prompts.shown[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(m_prompts.shown[0].text, QStringLiteral("Cannot proceed:"));
    EXPECT_EQ(m_prompts.shown[0].informative,
              QStringLiteral("Please select a preset number that this file will be saved to on "
                             "the selected devices."));
    EXPECT_FALSE(m_loaders.anyRunning());
    EXPECT_TRUE(button(loader, "start_pushButton")->isEnabled());

    // The confirmation declined: nothing happens.
    m_prompts.shown.clear();
    m_prompts.answer = [](QDialog&) { return int(QMessageBox::Cancel); };
    loader->findChild<QComboBox*>(QStringLiteral("preset_comboBox"))->setCurrentIndex(1);
    button(loader, "start_pushButton")->click();
    ASSERT_EQ(m_prompts.shown.size(), 1u);
    EXPECT_EQ(m_prompts.shown[0].informative,
              QStringLiteral("The selected configuration will be stored as the default preset."));
    EXPECT_FALSE(button(loader, "cancel_pushButton")->isEnabled());
    QTest::qWait(50);
    EXPECT_TRUE(fake("AMP-B").log().empty());

    m_prompts.answer = [](QDialog&) { return int(QMessageBox::Ok); };
    run(loader, 1);
    EXPECT_EQ(textCommandsOf(fake("AMP-B")), std::vector<sim::Bytes>{savePreset(0)});
    EXPECT_TRUE(fake("AMP-B").hasPresetSlot(0));
    for (const char* unticked : {"AMP-A", "AMP-C"}) {
        EXPECT_TRUE(fake(unticked).log().empty()) << unticked;
    }
}

// B stops answering after it was listed; the records are deleted by a refresh after B's
// failure, so C's row has lost its record when its turn comes.
TEST_F(Loader, SilentDeviceAndVanishedRecordFail) {
    Mdsl_Window* loader = openLoader();
    DevList* list = loader->devList();
    QObject::connect(list, &QAbstractItemModel::modelReset, list, [&] {
        const int b = rowOf(*list, "AMP-B");
        if (b >= 0 && list->row(b)->getStatus() == MdslDev::kFailed &&
            !m_host.m_devices.getDevices().isEmpty()) {
            m_host.m_devices.clear();
            fake("AMP-C").clearLog();
        }
    });
    fake("AMP-B").setSilent(true);
    button(loader, "select_all_pushButton")->click();
    run(loader, 4);

    EXPECT_EQ(names(*list), QStringList({"AMP-A", "AMP-B", "AMP-C"}));
    const int expected[] = {MdslDev::kDone, MdslDev::kFailed, MdslDev::kFailed};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(list->row(row)->getStatus(), expected[row]) << row;
        EXPECT_EQ(list->data(list->index(row, 1), Qt::ForegroundRole).isValid(), row > 0);
    }
    EXPECT_EQ(list->row(1)->getProgress(), 0);
    EXPECT_EQ(list->row(2)->getDevice(), nullptr);
    EXPECT_TRUE(fake("AMP-C").log().empty());
    EXPECT_TRUE(textCommandsOf(fake("AMP-B")).empty());
    ASSERT_FALSE(m_prompts.shown.empty());
    EXPECT_EQ(m_prompts.shown.back().title, QStringLiteral("Warning"));
    EXPECT_EQ(m_prompts.shown.back().text, kFailed);
    EXPECT_TRUE(m_prompts.shown.back().informative.isEmpty());
}

// Cut between its last fields, the file still parses: every device refuses it and is sent
// nothing but the reads of attaching.
TEST_F(Loader, CutFileFailsEveryDevice) {
    const QByteArray whole = presetFile(richPreset());
    std::vector<int> cuts;
    for (int size = 33; size < whole.size(); ++size) {
        dsp_t body;
        if (body.ParseFromArray(whole.constData() + 32, size - 32) && body.channel_size() == 2) {
            cuts.push_back(size);
        }
    }
    ASSERT_EQ(cuts.size(), 4u);
    for (const int size : cuts) {
        SCOPED_TRACE(size);
        QFile file(m_file);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(whole.left(size));
        file.close();
        Mdsl_Window* loader = openLoader();
        const DevList& list = *loader->devList();
        ASSERT_EQ(list.rowCount(), 3);
        button(loader, "select_all_pushButton")->click();
        run(loader, 4);
        for (int row = 0; row < list.rowCount(); ++row) {
            EXPECT_EQ(list.row(row)->getStatus(), MdslDev::kFailed) << row;
        }
        for (auto& [name, fake] : m_fakes) {
            EXPECT_TRUE(setRequestsOf(*fake).empty()) << name;
            EXPECT_TRUE(textCommandsOf(*fake).empty()) << name;
        }
        ASSERT_FALSE(m_prompts.shown.empty());
        EXPECT_EQ(m_prompts.shown.back().text, kFailed);
        loader->close();
    }
}

// While A is being stored, B is unticked and C ticked: B is skipped, C served.
TEST_F(Loader, TicksChangedDuringARunCount) {
    Mdsl_Window* loader = openLoader();
    click(loader, {"AMP-A", "AMP-B"});
    QCoreApplication::processEvents();
    bool clicked = false;
    QObject::connect(loader->devList(), &QAbstractItemModel::modelReset, loader, [&] {
        const DevList& list = *loader->devList();
        if (!clicked && list.row(rowOf(list, "AMP-A"))->getProgress() == 50) {
            clicked = true;
            click(loader, {"AMP-B", "AMP-C"});
        }
    });
    run(loader, 4);
    ASSERT_TRUE(clicked);
    EXPECT_EQ(textCommandsOf(fake("AMP-A")), std::vector<sim::Bytes>{kSavePreset3});
    EXPECT_EQ(textCommandsOf(fake("AMP-C")), std::vector<sim::Bytes>{kSavePreset3});
    EXPECT_TRUE(textCommandsOf(fake("AMP-B")).empty());
    EXPECT_TRUE(setRequestsOf(fake("AMP-B")).empty());
    EXPECT_EQ(m_prompts.shown.back().title, QStringLiteral("Info"));
}

// Cancel while A is served: A's step ends, nothing more is done, no box, the status stays.
TEST_F(Loader, CancelStopsAfterTheDeviceBeingServed) {
    Mdsl_Window* loader = openLoader();
    button(loader, "select_all_pushButton")->click();
    QObject::connect(loader->devList(), &QAbstractItemModel::modelReset, loader, [&] {
        const DevList& list = *loader->devList();
        auto* cancel = button(loader, "cancel_pushButton");
        if (list.row(0)->getProgress() == 50 && cancel->isEnabled()) {
            cancel->click();
        }
    });
    run(loader, 4);
    EXPECT_EQ(textCommandsOf(fake("AMP-A")), std::vector<sim::Bytes>{kSavePreset3});
    for (const char* name : {"AMP-B", "AMP-C"}) {
        EXPECT_TRUE(fake(name).log().empty()) << name;
    }
    ASSERT_EQ(m_prompts.shown.size(), 1u);  // the confirmation only
    EXPECT_EQ(loader->statusBar()->currentMessage(), kStatus + QStringLiteral("  In Progress..."));
    EXPECT_EQ(loader->devList()->row(1)->getStatus(), MdslDev::kPending);
    EXPECT_FALSE(button(loader, "start_pushButton")->isEnabled());
    EXPECT_TRUE(button(loader, "select_file_pushButton")->isEnabled());
    EXPECT_FALSE(m_loaders.anyRunning());
}

// A second loader opened, the first closed: the first goes, the second stays the one kept.
TEST_F(Loader, ClosingALoaderDeletesThatOne) {
    QPointer<Mdsl_Window> first = m_loaders.open();
    QPointer<Mdsl_Window> second = m_loaders.open();
    EXPECT_EQ(m_loaders.current(), second);
    first->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 1000));
    ASSERT_FALSE(second.isNull());
    EXPECT_EQ(m_loaders.current(), second);
    second->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return second.isNull(); }, 1000));
    EXPECT_EQ(m_loaders.current(), nullptr);
}

// Closed while A's slot store waits: the run stops like Cancel, the loader is deleted only
// after A's step returned, and the device window is left detached.
TEST_F(Loader, ClosedWhileADeviceIsServed) {
    QPointer<Mdsl_Window> loader = openLoader();
    button(loader, "select_all_pushButton")->click();
    bool closed = false;
    bool running_after_close = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const auto log = fake("AMP-A").log();
        if (!closed && !log.empty() && isText(log.back(), kSavePreset3)) {
            closed = true;
            loader->close();
            running_after_close = m_loaders.anyRunning();
        }
    });
    size_t after_store = 0;
    QObject::connect(loader, &QObject::destroyed, [&] {
        const auto log = fake("AMP-A").log();
        const auto store = std::find_if(log.begin(), log.end(),
                                        [](const auto& d) { return isText(d, kSavePreset3); });
        after_store = store == log.end() ? 0 : size_t(log.end() - store - 1);
    });
    watch.start(5);
    loader->findChild<QComboBox*>(QStringLiteral("preset_comboBox"))->setCurrentIndex(4);
    button(loader, "start_pushButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return loader.isNull(); }, 5000));
    watch.stop();
    EXPECT_TRUE(closed);
    EXPECT_TRUE(running_after_close);
    // A's read-back after the store ran before the loader went.
    EXPECT_GT(after_store, 0u);
    EXPECT_TRUE(fake("AMP-A").hasPresetSlot(3));
    QTest::qWait(50);
    for (const char* name : {"AMP-B", "AMP-C"}) {
        EXPECT_TRUE(fake(name).log().empty()) << name;
    }
    EXPECT_FALSE(m_loaders.anyRunning());
    EXPECT_EQ(m_loaders.current(), nullptr);
    fake("AMP-A").clearLog();
    m_host.m_window->syncToDevice();
    EXPECT_TRUE(fake("AMP-A").log().empty());
}

// Closed during a run by a host that keeps it: the run stops there, as with Cancel.
TEST_F(Loader, ClosingStopsTheRun) {
    m_prompts.file_name = m_file;
    Mdsl_Window loader(&m_host, &m_prompts, 10);
    m_host.m_devices.emitVireoDevicesChanged();
    QCoreApplication::processEvents();
    button(&loader, "clear_file_pushButton")->click();
    button(&loader, "select_file_pushButton")->click();
    button(&loader, "select_all_pushButton")->click();
    QSignalSpy closing(&loader, &Mdsl_Window::closing);
    QObject::connect(loader.devList(), &QAbstractItemModel::modelReset, &loader, [&] {
        if (loader.devList()->row(0)->getProgress() == 50 && closing.isEmpty()) {
            loader.close();
        }
    });
    run(&loader, 4);
    EXPECT_EQ(closing.count(), 1);
    EXPECT_EQ(textCommandsOf(fake("AMP-A")), std::vector<sim::Bytes>{kSavePreset3});
    for (const char* name : {"AMP-B", "AMP-C"}) {
        EXPECT_TRUE(textCommandsOf(fake(name)).empty()) << name;
    }
    EXPECT_FALSE(loader.isRunning());
}

TEST_F(Loader, Image) {
    Mdsl_Window* loader = openLoader();
    DevList& list = *loader->devList();
    button(loader, "select_all_pushButton")->click();
    list.row(0)->setProgress(100);
    list.row(0)->setStatus(MdslDev::kDone);
    list.row(1)->setProgress(50);
    list.row(1)->setStatus(MdslDev::kFailed);
    list.row(2)->setSelected(false);
    list.reset();
    loader->findChild<QComboBox*>(QStringLiteral("preset_comboBox"))->setCurrentIndex(4);
    const QDir folder(QStringLiteral(ZEB_SCREENSHOT_DIR));
    ASSERT_TRUE(folder.exists() || QDir().mkpath(folder.path()));
    loader->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(loader->grab().save(folder.filePath(QStringLiteral("multi_preset_load.png"))));
}

}  // namespace
