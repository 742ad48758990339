#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QRadioButton>
#include <QTest>

#include <sys/resource.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <limits>

#include "DspMath.h"
#include "PresetValues.h"
#include "WindowFixture.h"
#include "frmPresets.h"

namespace {

using sim::FakeFault;

// While it lives, no file of this process can grow past `bytes` (writes beyond fail with EFBIG
// instead of raising SIGXFSZ), and the "zeb.window" log lines are collected.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        lines().clear();
        m_handler = qInstallMessageHandler(collect);
        m_signal = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_limit);
        rlimit lower = m_limit;
        lower.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &lower), 0);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_limit);
        std::signal(SIGXFSZ, m_signal);
        qInstallMessageHandler(m_handler);
    }

    static QStringList& lines() {
        static QStringList seen;
        return seen;
    }

private:
    static void collect(QtMsgType, const QMessageLogContext& context, const QString& text) {
        if (QLatin1String(context.category) == QLatin1String("zeb.window")) {
            lines() << text;
        }
    }

    rlimit m_limit{};
    QtMessageHandler m_handler = nullptr;
    void (*m_signal)(int) = nullptr;
};

class WindowPresets : public WindowFixture {
protected:
    WindowPresets() : WindowFixture(true) {}

    QString save(const QString& name) {
        m_prompts.file_name = m_dir.filePath(name);
        m_window->openPresetDialogSaveFile();
        return m_prompts.file_name;
    }

    QByteArray read(const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        return file.readAll();
    }

    QTemporaryDir m_dir;
};

TEST_F(WindowPresets, FileHoldsTheModelNameThenTheSettings) {
    m_fake.setDsp(richDsp());
    attach();
    save(QStringLiteral("x"));
    const QByteArray bytes = read(m_dir.filePath(QStringLiteral("x.pset")));
    ASSERT_GT(bytes.size(), 32);
    EXPECT_EQ(bytes.left(9), QByteArray("ZEB-2X100"));
    EXPECT_EQ(bytes.mid(9, 23), QByteArray(23, '\0'));
    dsp_t file;
    ASSERT_TRUE(file.ParseFromArray(bytes.constData() + 32, bytes.size() - 32));
    // Every field as the device holds it, but Q as the window shows it: in octaves.
    EXPECT_EQ(presetFields(file, 2), presetFields(richPreset(), 2));
    ASSERT_EQ(file.channel_size(), 2);
    EXPECT_TRUE(file.has_channel_input() && file.has_ch1_slave() && file.has_ch2_slave_a());
    EXPECT_FALSE(file.has_monitor_ch1());
    EXPECT_FALSE(file.channel(0).high_pass_filter().has_type());

    save(QStringLiteral("y.PSET"));
    EXPECT_TRUE(QFile::exists(m_dir.filePath(QStringLiteral("y.PSET"))));
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("y.PSET.pset"))));
}

TEST_F(WindowPresets, AppliedToAnotherDeviceItHoldsTheSameSettings) {
    m_fake.setDsp(richDsp());
    attach();
    const QString path = save(QStringLiteral("copy"));

    sim::FakeDevice second("127.0.0.2");
    ASSERT_TRUE(second.start());
    second.setSystem(m_fake.system());
    second.setDsp(deviceDsp());
    VireoDevice other;
    other.setName(QStringLiteral("AMP-2"));
    other.setModelName(QStringLiteral("ZEB-2X100"));
    other.setIpAddress(QHostAddress(QStringLiteral("127.0.0.2")));
    ASSERT_TRUE(m_window->setDevice(&other));
    m_window->stopPeriodicUpdates();

    m_prompts.file_name = path;
    m_window->openPresetDialogLoadFile();
    EXPECT_EQ(m_window->getPresetFileName(), path + QStringLiteral(".pset"));
    EXPECT_EQ(presetFields(second.dsp(), 2), presetFields(m_fake.dsp(), 2));

    second.clearLog();
    EXPECT_TRUE(m_window->presetLoadFile(read(path + QStringLiteral(".pset"))));
    EXPECT_TRUE(setRequestsOf(second).empty());
}

TEST_F(WindowPresets, BadFilesAreRefusedWithoutTouchingAnything) {
    attach();
    const QByteArray good = read(save(QStringLiteral("good")) + QStringLiteral(".pset"));
    QByteArray other_model = good;
    other_model.replace(0, 9, "ZEB-4X50 ");
    const QByteArray garbled = good.left(32) + QByteArray("\x08\x00\x1a\xff\xff\xff", 6);
    const QByteArray cases[] = {other_model, good.left(31), good.left(good.size() - 7), garbled,
                                good.left(32) + QByteArray("\x08\x00", 2)};
    auto* gain = widget<QDoubleSpinBox>("SpinBoxFullChBand2GainCh1");
    gain->setValue(-7.5);
    m_fake.clearLog();
    for (const QByteArray& data : cases) {
        EXPECT_FALSE(m_window->presetLoadFile(data));
    }
    EXPECT_TRUE(m_fake.log().empty());
    EXPECT_EQ(gain->value(), -7.5);
}

TEST_F(WindowPresets, FailedSaveLeavesTheOldFileAndNothingElse) {
    m_fake.setDsp(richDsp());
    attach();
    const QString path = save(QStringLiteral("keep")) + QStringLiteral(".pset");
    const QByteArray old = read(path);
    widget<QDoubleSpinBox>("SpinBoxFullChBand2GainCh1")->setValue(-7.5);
    const QStringList only_old = {QStringLiteral("keep.pset")};
    const auto files = [this] {
        return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    };
    {
        const FileSizeLimit limit(rlim_t(old.size() / 2));
        save(QStringLiteral("keep"));
        EXPECT_EQ(read(path), old);
        EXPECT_EQ(files(), only_old);
        save(QStringLiteral("fresh"));
        EXPECT_EQ(files(), only_old);
        const QString reason = QString::fromLocal8Bit(std::strerror(EFBIG));
        EXPECT_EQ(FileSizeLimit::lines(),
                  QStringList({QStringLiteral("preset file %1 not saved: %2").arg(path, reason),
                               QStringLiteral("preset file %1 not saved: %2")
                                   .arg(m_dir.filePath(QStringLiteral("fresh.pset")), reason)}));
    }
    save(QStringLiteral("keep"));
    const QByteArray saved = read(path);
    EXPECT_EQ(saved.size(), old.size());
    EXPECT_NE(saved, old);
}

// Every value the window applies must be in the file: without it the field's default would
// go to the device. Values the window does not apply may be missing.
TEST_F(WindowPresets, FileLackingAnyAppliedValueIsRefused) {
    m_fake.setDsp(richDsp());
    attach();
    const QByteArray good = read(save(QStringLiteral("good")) + QStringLiteral(".pset"));
    dsp_t base;
    ASSERT_TRUE(base.ParseFromArray(good.constData() + 32, good.size() - 32));
    using Edit = std::function<void(dsp_t&)>;
    const auto channel = [](dsp_t& dsp) { return dsp.mutable_channel(1); };
    const auto band = [](dsp_t& dsp) { return dsp.mutable_channel(1)->mutable_peq(7); };
    const Edit missing[] = {
        [](dsp_t& dsp) { dsp.clear_ch1_slave(); },
        [](dsp_t& dsp) { dsp.clear_ch2_slave_a(); },
        [](dsp_t& dsp) { dsp.clear_ch2_slave_b(); },
        [](dsp_t& dsp) { dsp.clear_channel_input(); },
        [](dsp_t& dsp) { dsp.clear_pink_gen(); },
        [](dsp_t& dsp) { dsp.mutable_pink_gen()->clear_enable(); },
        [](dsp_t& dsp) { dsp.mutable_pink_gen()->clear_level(); },
        [&](dsp_t& dsp) { channel(dsp)->clear_input(); },
        [&](dsp_t& dsp) { channel(dsp)->mutable_input()->clear_gain(); },
        [&](dsp_t& dsp) { channel(dsp)->mutable_input()->clear_delay_ms(); },
        [&](dsp_t& dsp) { channel(dsp)->mutable_high_pass_filter()->clear_bypass(); },
        [&](dsp_t& dsp) { channel(dsp)->mutable_high_pass_filter()->clear_freq(); },
        [&](dsp_t& dsp) { channel(dsp)->mutable_low_pass_filter()->clear_bypass(); },
        [&](dsp_t& dsp) { channel(dsp)->mutable_low_pass_filter()->clear_freq(); },
        [&](dsp_t& dsp) { channel(dsp)->clear_output(); },
        [&](dsp_t& dsp) { channel(dsp)->mutable_output()->clear_mute(); },
        [&](dsp_t& dsp) { channel(dsp)->mutable_output()->clear_invert(); },
        [&](dsp_t& dsp) { channel(dsp)->mutable_output()->clear_gain(); },
        [&](dsp_t& dsp) { band(dsp)->clear_bypass(); },
        [&](dsp_t& dsp) { band(dsp)->clear_freq(); },
        [&](dsp_t& dsp) { band(dsp)->clear_gain(); },
        [&](dsp_t& dsp) { band(dsp)->clear_q(); },
    };
    for (size_t i = 0; i < std::size(missing); ++i) {
        dsp_t cut = base;
        missing[i](cut);
        m_fake.clearLog();
        EXPECT_FALSE(m_window->presetLoadFile(presetFile(cut))) << i;
        EXPECT_TRUE(m_fake.log().empty()) << i;
    }

    // Not applied, so not needed: filter types, monitors, levels, bands and channels beyond.
    dsp_t more = base;
    more.set_monitor_ch1(true);
    more.mutable_channel(0)->mutable_high_pass_filter()->set_type(dsp_pass_filter_t::BESSEL);
    more.mutable_channel(0)->mutable_output()->set_measured_rms_level(-20.0f);
    *more.mutable_channel(1)->add_peq() = base.channel(1).peq(0);
    *more.add_channel() = base.channel(0);
    dsp_t fewer = more;
    fewer.clear_monitor_ch1();
    fewer.mutable_channel(0)->mutable_high_pass_filter()->clear_type();
    fewer.mutable_channel(0)->mutable_output()->clear_measured_rms_level();
    fewer.mutable_channel(2)->clear_input();
    fewer.mutable_channel(1)->mutable_peq(8)->clear_q();
    m_fake.clearLog();
    EXPECT_TRUE(m_window->presetLoadFile(presetFile(more)));
    EXPECT_TRUE(m_window->presetLoadFile(presetFile(fewer)));
    EXPECT_TRUE(m_fake.log().empty());
}

TEST_F(WindowPresets, LongModelNameIsCutToTheHeaderAndMatchesNoDevice) {
    m_record.setModelName(QString(40, QLatin1Char('M')));
    attach();
    const QByteArray bytes = read(save(QStringLiteral("long")) + QStringLiteral(".pset"));
    dsp_t file;
    EXPECT_TRUE(file.ParseFromArray(bytes.constData() + 32, bytes.size() - 32));
    EXPECT_EQ(bytes.left(32), QByteArray(32, 'M'));
    EXPECT_FALSE(m_window->presetLoadFile(bytes));
}

TEST_F(WindowPresets, FileValuesAreKeptWithinTheControlsRanges) {
    attach();
    const QByteArray good = read(save(QStringLiteral("base")) + QStringLiteral(".pset"));
    dsp_t base;
    ASSERT_TRUE(base.ParseFromArray(good.constData() + 32, good.size() - 32));

    dsp_t wild = base;
    wild.mutable_channel(0)->mutable_peq(1)->set_gain(60.0f);
    wild.mutable_channel(0)->mutable_input()->set_gain(-1000.0f);
    wild.mutable_channel(1)->mutable_peq(2)->set_q(0.0f);
    m_fake.clearLog();
    ASSERT_TRUE(m_window->presetLoadFile(presetFile(wild)));
    const dsp_t state = m_fake.dsp();
    EXPECT_EQ(state.channel(0).peq(1).gain(), 6.0f);
    EXPECT_EQ(state.channel(0).input().gain(), -88.0f);
    EXPECT_FLOAT_EQ(state.channel(1).peq(2).q(), float(dspmath::qFromOctaves(0.5)));

    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int field = 0; field < 3; ++field) {
        dsp_t bad = base;
        if (field == 0) {
            bad.mutable_channel(0)->mutable_peq(0)->set_gain(nan);
        } else if (field == 1) {
            bad.mutable_channel(1)->mutable_peq(7)->set_q(std::numeric_limits<float>::infinity());
        } else {
            bad.mutable_pink_gen()->set_level(nan);
        }
        m_fake.clearLog();
        EXPECT_FALSE(m_window->presetLoadFile(presetFile(bad))) << field;
        EXPECT_TRUE(m_fake.log().empty());
    }
}

TEST_F(WindowPresets, SlotStorePausesTheReadsAndReReads) {
    ASSERT_TRUE(m_window->setDevice(&m_record));
    m_fake.clearLog();
    EXPECT_TRUE(m_window->saveDevicePreset(3));
    const auto log = m_fake.log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0].bytes,
              sim::Bytes({'S', 'A', 'V', 'E', 'P', 'R', 'E', 'S', 'E', 'T', ' ', '3', '\r'}));
    // Nothing is read while the store settles; then the device is read again.
    EXPECT_GE(
        std::chrono::duration_cast<std::chrono::milliseconds>(log[1].when - log[0].when).count(),
        180);
    EXPECT_TRUE(m_fake.hasPresetSlot(3));

    // A recall is the text command, then one full read-back: no periodic read in between,
    // although the reply is late and the timer runs meanwhile.
    m_fake.clearLog();
    m_window->syncToDevice();
    const size_t read_back = m_fake.log().size();
    m_fake.clearLog();
    m_fake.scriptFaults({{FakeFault::kDelay, 80}});  // within the reply wait
    m_window->loadDevicePreset(3);
    ASSERT_TRUE(m_fake.waitForDatagrams(read_back + 1, std::chrono::milliseconds(500)));
    const auto recall = m_fake.log();
    EXPECT_EQ(recall.size(), read_back + 1);
    EXPECT_EQ(recall[0].bytes,
              sim::Bytes({'L', 'O', 'A', 'D', 'P', 'R', 'E', 'S', 'E', 'T', ' ', '3', '\r'}));
    EXPECT_EQ(sim::decodeFrame(recall[1].bytes.data(), recall[1].bytes.size())->header.payload_type,
              2u);
}

TEST_F(WindowPresets, FailedSlotStoreResumesTheReads) {
    ASSERT_TRUE(m_window->setDevice(&m_record));
    m_fake.scriptFaults({{FakeFault::kText, 0, "NACK"}});
    EXPECT_FALSE(m_window->saveDevicePreset(2));
    m_fake.dropNext(4);
    EXPECT_FALSE(m_window->saveDevicePreset(2));
    m_fake.clearLog();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_fake.log().size() >= 5; }, 2000));
}

TEST_F(WindowPresets, SlotDialogs) {
    attach();
    // Save into slot 0: the confirmation is declined once, then accepted.
    int confirmations = 0;
    m_prompts.answer = [&](QDialog& dialog) {
        if (auto* picker = qobject_cast<frmPresets*>(&dialog)) {
            picker->findChild<QComboBox*>(QStringLiteral("cbPresetSelect"))->setCurrentIndex(0);
            picker->OK();
            EXPECT_TRUE(picker->isVisible());
            picker->OK();
            return picker->result();
        }
        return int(++confirmations == 1 ? QMessageBox::Cancel : QMessageBox::Save);
    };
    EXPECT_EQ(m_window->openPresetDialogSaveDevice(), 0);
    EXPECT_EQ(confirmations, 2);
    EXPECT_TRUE(m_fake.hasPresetSlot(0));
    EXPECT_EQ(m_prompts.shown[0].title, QStringLiteral("Save Preset to Device"));

    // Only the slot number: nothing is sent; Cancel chooses nothing.
    m_fake.clearLog();
    m_prompts.answer = [](QDialog& dialog) {
        auto* picker = qobject_cast<frmPresets*>(&dialog);
        picker->findChild<QComboBox*>(QStringLiteral("cbPresetSelect"))->setCurrentIndex(5);
        picker->OK();
        return picker->result();
    };
    EXPECT_EQ(m_window->openPresetDialogSaveDevice(false), 5);
    m_prompts.answer = [](QDialog& dialog) {
        qobject_cast<frmPresets*>(&dialog)->CANCEL();
        return int(QDialog::Rejected);
    };
    EXPECT_EQ(m_window->openPresetDialogSaveDevice(false), -1);
    EXPECT_TRUE(m_fake.log().empty());

    // Loading from slot 0 asks nothing.
    m_prompts.shown.clear();
    m_prompts.answer = [](QDialog& dialog) {
        qobject_cast<frmPresets*>(&dialog)->OK();
        return int(QDialog::Accepted);
    };
    m_window->openPresetDialogLoadDevice();
    ASSERT_EQ(m_prompts.shown.size(), 1u);
    EXPECT_EQ(m_prompts.shown[0].title, QStringLiteral("Load Preset from Device"));
    EXPECT_EQ(m_fake.log().front().bytes,
              sim::Bytes({'L', 'O', 'A', 'D', 'P', 'R', 'E', 'S', 'E', 'T', ' ', '0', '\r'}));
}

struct Page {
    const char* name;
    bool full_bandwidth;
    const char* model;
    int channels;
    int parsing_cuts;  // cuts whose rest parses with every channel shown
};

std::ostream& operator<<(std::ostream& out, const Page& page) {
    return out << page.name;
}

class TruncatedPresets : public WindowFixture, public ::testing::WithParamInterface<Page> {
protected:
    TruncatedPresets() : WindowFixture(GetParam().full_bandwidth) {
        m_record.setModelName(QString::fromLatin1(GetParam().model));
    }
};

// A file cut anywhere is refused with nothing sent, also where the cut falls between fields
// and the rest still parses; the whole file still loads.
TEST_P(TruncatedPresets, EveryCutOfASavedFileIsRefused) {
    m_fake.setDsp(richDsp());
    attach();
    QTemporaryDir dir;
    m_prompts.file_name = dir.filePath(QStringLiteral("page"));
    m_window->openPresetDialogSaveFile();
    QFile saved(m_prompts.file_name + QStringLiteral(".pset"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray whole = saved.readAll();
    ASSERT_GT(whole.size(), 32);

    int parsed = 0;
    for (int size = 0; size < whole.size(); ++size) {
        dsp_t body;
        parsed += size >= 32 && body.ParseFromArray(whole.constData() + 32, size - 32) &&
                  body.channel_size() >= GetParam().channels;
        m_fake.clearLog();
        EXPECT_FALSE(m_window->presetLoadFile(whole.left(size))) << size;
        EXPECT_TRUE(m_fake.log().empty()) << size;
    }
    EXPECT_EQ(parsed, GetParam().parsing_cuts);

    m_fake.setDsp(deviceDsp());
    m_window->syncToDevice();
    EXPECT_TRUE(m_window->presetLoadFile(whole));
    dsp_t expected = richDsp();
    if (!GetParam().full_bandwidth) {
        expected.clear_ch1_slave();
        expected.clear_ch2_slave_b();
        expected.clear_channel_input();
    }
    EXPECT_EQ(presetFields(m_fake.dsp(), GetParam().channels),
              presetFields(expected, GetParam().channels));
}

INSTANTIATE_TEST_SUITE_P(Pages, TruncatedPresets,
                         ::testing::Values(Page{"FullBandwidth", true, "ZEB-4X50", 2, 4},
                                           Page{"BiAmp", false, "ZEB-2X100", 1, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
