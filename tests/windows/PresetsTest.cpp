#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QRadioButton>
#include <QTest>

#include <chrono>
#include <limits>

#include "DspMath.h"
#include "PresetValues.h"
#include "WindowFixture.h"
#include "frmPresets.h"

namespace {

using sim::FakeFault;

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

}  // namespace
