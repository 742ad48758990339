#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cstring>

#include "DspMath.h"
#include "WindowFixture.h"

namespace {

using sim::FakeFault;

uint32_t floatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

size_t presentFieldCount(const google::protobuf::Message& message) {
    std::vector<const google::protobuf::FieldDescriptor*> fields;
    message.GetReflection()->ListFields(message, &fields);
    return fields.size();
}

class Window : public WindowFixture {};

TEST_F(Window, AttachingSendsOnlyGetRequests) {
    dsp_t dsp = deviceDsp();
    dsp.mutable_channel(0)->mutable_peq(3)->set_gain(-2.5f);
    dsp.mutable_channel(0)->mutable_input()->set_gain(-3.5f);
    m_fake.setDsp(dsp);
    ASSERT_TRUE(m_window->setDevice(&m_record));
    const auto seen = requestsOf(m_fake);
    ASSERT_FALSE(seen.empty());
    // The first read: the system read-back with sequence number 1.
    EXPECT_EQ(seen[0].bytes, (sim::Bytes{0x00, 0x06, 0x08, 0x02, 0x10, 0x02, 0x18, 0x01, 0x08,
                                         0x00, 0x12, 0x00, 0x20, 0x00, 0x28, 0x00, 0x30, 0x00,
                                         0x38, 0x00, 0x40, 0x00, 0xB1, 0x34, 0x1F, 0xB6}));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return requestsOf(m_fake).size() > seen.size() + 40; }, 5000));
    for (const SeenRequest& request : requestsOf(m_fake)) {
        EXPECT_EQ(request.msg_type, 2u);
    }
    EXPECT_EQ(widget<QDoubleSpinBox>("SpinBoxBiAmpBand4Gain")->value(), -2.5);
    EXPECT_EQ(widget<QDoubleSpinBox>("SpinBoxBiAmpInputGain")->value(), -3.5);
    EXPECT_FLOAT_EQ(m_fake.dsp().channel(0).peq(3).gain(), -2.5f);
}

TEST_F(Window, TypingABandGainSendsOnlyThatField) {
    attach();
    widget<QDoubleSpinBox>("SpinBoxBiAmpBand4Gain")->setValue(-2.5);
    const auto sets = setRequestsOf(m_fake);
    ASSERT_EQ(sets.size(), 1u);
    const dsp_t dsp = decoded<dsp_t>(sets[0]);
    EXPECT_EQ(presentFieldCount(dsp), 2u);
    ASSERT_EQ(dsp.channel_size(), 1);
    EXPECT_EQ(presentFieldCount(dsp.channel(0)), 2u);
    EXPECT_EQ(dsp.channel(0).channel_id(), 0u);
    ASSERT_EQ(dsp.channel(0).peq_size(), 1);
    const dsp_peq_t& band = dsp.channel(0).peq(0);
    EXPECT_EQ(presentFieldCount(band), 2u);
    EXPECT_EQ(band.band_id(), 3u);
    EXPECT_EQ(band.gain(), -2.5f);
    EXPECT_FLOAT_EQ(m_fake.dsp().channel(0).peq(3).gain(), -2.5f);
}

TEST_F(Window, QIsSentAsFilterQAndFrequencyTruncated) {
    attach();
    auto* q = widget<QDoubleSpinBox>("SpinBoxBiAmpBand1Q");
    q->setValue(2.0);
    q->setValue(1.0);
    auto sets = setRequestsOf(m_fake);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(floatBits(decoded<dsp_t>(sets[1]).channel(0).peq(0).q()), 0x3FB504F3u);
    EXPECT_NEAR(dspmath::octavesFromQ(1.41421), 1.0, 1e-5);

    m_window->bandFreqChanged(0, 2, 99.9);
    sets = setRequestsOf(m_fake);
    EXPECT_EQ(decoded<dsp_t>(sets.back()).channel(0).peq(0).freq(), 99u);
}

TEST_F(Window, PeriodicReadsKeepTheDeviceValues) {
    dsp_t dsp = deviceDsp();
    dsp.mutable_channel(0)->mutable_peq(2)->set_gain(-2.5f);
    m_fake.setDsp(dsp);
    ASSERT_TRUE(m_window->setDevice(&m_record));
    m_window->stopPeriodicUpdates();
    for (int tick = 0; tick < 10; ++tick) {
        m_window->doPeriodicUpdates();
    }
    EXPECT_TRUE(setRequestsOf(m_fake).empty());
    EXPECT_FLOAT_EQ(m_fake.dsp().channel(0).peq(2).gain(), -2.5f);
}

TEST_F(Window, OneTickReadsInOrder) {
    attach();
    m_window->doPeriodicUpdates();
    std::vector<uint32_t> types;
    for (const SeenRequest& request : requestsOf(m_fake)) {
        EXPECT_EQ(request.msg_type, 2u);
        types.push_back(request.payload_type);
    }
    // system, amplifier, slaves, meters, measured impedance
    EXPECT_EQ(types, (std::vector<uint32_t>{2, 5, 4, 4, 6}));
}

TEST_F(Window, DeviceThatStopsAnsweringClosesOnce) {
    QSignalSpy closed(m_window.get(), &ZEB_Window::zebPluginClosed);
    ASSERT_TRUE(m_window->setDevice(&m_record));
    m_fake.setSilent(true);
    ASSERT_TRUE(closed.wait(10000));
    QTest::qWait(300);
    EXPECT_EQ(closed.count(), 1);
    ASSERT_EQ(m_prompts.shown.size(), 1u);
    EXPECT_EQ(m_prompts.shown[0].title, QStringLiteral("ZEB Plugin"));
    EXPECT_EQ(m_prompts.shown[0].text,
              QStringLiteral("Device is no longer responding this window will be closed."));
}

TEST_F(Window, SilentDeviceIsNotAttached) {
    m_fake.setSilent(true);
    m_window->show();
    EXPECT_FALSE(m_window->setDevice(&m_record));
    EXPECT_FALSE(m_window->isVisible());
    // The system read went out 11 times; nothing follows it.
    EXPECT_TRUE(m_fake.waitForDatagrams(11, std::chrono::milliseconds(500)));
    const size_t sent = m_fake.log().size();
    EXPECT_EQ(sent, 11u);
    QTest::qWait(150);
    EXPECT_EQ(m_fake.log().size(), sent);
}

TEST_F(Window, ADeletedRecordReadsAsDetached) {
    auto* record = new VireoDevice;
    record->setName(QStringLiteral("AMP-9"));
    record->setIpAddress(QHostAddress(QStringLiteral("127.0.0.1")));
    ASSERT_TRUE(m_window->setDevice(record));
    m_window->stopPeriodicUpdates();
    m_window->show();
    delete record;
    m_window->doPeriodicUpdates();
    EXPECT_FALSE(m_window->isVisible());
}

TEST_F(Window, EscapeClosesLikeTheCloseButton) {
    QSignalSpy closed(m_window.get(), &ZEB_Window::zebPluginClosed);
    m_window->show();
    m_window->reject();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(m_window->isVisible());
}

TEST_F(Window, ReadBackTexts) {
    m_record.setMcuVersion(0x00010002);
    m_record.setMacAddress(QStringLiteral("00:11:22:33:44:55"));
    dbg_t dbg;
    dbg.set_id(0);
    impedence_test_t* test = dbg.mutable_test();
    test->set_id(0);
    test->set_measured_imp_a(0);
    test->set_measured_imp_b(1u << 23);
    test->set_measured_imp_c(1u << 24);
    test->set_measured_imp_d(0);
    test->set_freq(1000);
    test->set_level(-6.5f);
    m_fake.setDbg(dbg);
    attach();
    m_window->doPeriodicUpdates();
    EXPECT_EQ(widget<QLineEdit>("LineEditBiAmpFwVersion")->text(), QStringLiteral("v1.2"));
    EXPECT_EQ(widget<QLineEdit>("LineEditBiAmpMeasuredImpedence")->text(),
              QStringLiteral("-179.0,-82.6,13.7,-179.0"));
    EXPECT_EQ(widget<QLineEdit>("LineEditBiAmpTestFreq")->text(), QStringLiteral("1000"));
    EXPECT_EQ(widget<QLineEdit>("LineEditBiAmpTestLevel")->text(), QStringLiteral("-6.5"));
    EXPECT_EQ(widget<QLineEdit>("LineEditBiAmpDeviceName")->text(), QStringLiteral("AMP-1"));
    EXPECT_EQ(widget<QLineEdit>("LinEditBiAmpIP")->text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(widget<QLineEdit>("LineEditBiAmpMac")->text(), QStringLiteral("00:11:22:33:44:55"));
    EXPECT_EQ(widget<QLineEdit>("LineEditBiAmpModel")->text(), QStringLiteral("ZEB-2X100"));
    EXPECT_EQ(dspmath::mcuVersionText(0), QStringLiteral("v-.-"));
}

TEST_F(Window, LocationIsLatin1BothWaysAndKeptWhileActive) {
    qz_msgs::system_t system = m_fake.system();
    system.set_location("Caf\xE9");
    m_fake.setSystem(system);
    attach();
    auto* location = widget<QLineEdit>("LineEditBiAmpLocation");
    EXPECT_EQ(location->text(), QStringLiteral("Caf\u00E9"));
    m_window->locationChanged();
    EXPECT_EQ(m_fake.system().location(), "Caf\xE9");

    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    ASSERT_TRUE(m_window->isActiveWindow());
    system.set_location("Hall B");
    m_fake.setSystem(system);
    m_window->updateDeviceInfo();
    EXPECT_EQ(location->text(), QStringLiteral("Caf\u00E9"));
}

TEST_F(Window, FirmwarePushShowsItsBoxesAndCloses) {
    attach();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zeb.bin"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(300, 'z'));
    file.close();
    m_prompts.file_name = path;
    QSignalSpy closed(m_window.get(), &ZEB_Window::zebPluginClosed);
    m_window->show();
    widget<QPushButton>("pbFirmwareUpdateBiAmp")->click();
    EXPECT_FALSE(widget<QPushButton>("pbFirmwareUpdateBiAmp")->isEnabled());
    ASSERT_TRUE(closed.wait(3000));
    EXPECT_EQ(m_prompts.file_captions.back(), QStringLiteral("Select binary image file"));
    ASSERT_EQ(m_prompts.shown.size(), 1u);
    EXPECT_EQ(m_prompts.shown[0].title, QStringLiteral("Update Finished..."));
    EXPECT_EQ(m_prompts.shown[0].text,
              QStringLiteral("Firmware Update is complete.\nThe Plugin window, will close.\n"
                             "Please cycle power on the unit before\nopening the plugin for this "
                             "device."));
    EXPECT_EQ(m_fake.firmwareImage().size(), 300u);
    EXPECT_TRUE(widget<QPushButton>("pbFirmwareUpdateBiAmp")->isEnabled());
}

TEST_F(Window, FailedFirmwarePushSaysSo) {
    attach();
    m_prompts.file_name = QStringLiteral("/nonexistent/zeb.bin");
    m_window->handlePushBtnFirmwareUpdate();
    ASSERT_EQ(m_prompts.shown.size(), 1u);
    EXPECT_EQ(m_prompts.shown[0].title, QStringLiteral("Update Failed..."));
    EXPECT_EQ(m_prompts.shown[0].text,
              QStringLiteral("Firmware Update has failed.\nPlease try the update again..."));
}

class FullBandwidth : public WindowFixture {
protected:
    FullBandwidth() : WindowFixture(true) {}
};

TEST_F(FullBandwidth, PicksThePageAndTruncatesFilterFrequency) {
    attach();
    EXPECT_EQ(widget<QStackedWidget>("stackedWidget")->currentIndex(), 1);
    widget<QDoubleSpinBox>("SpinBoxFullChHighPassFreqCh2")->setValue(99.9);
    const auto sets = setRequestsOf(m_fake);
    ASSERT_EQ(sets.size(), 1u);
    const dsp_t dsp = decoded<dsp_t>(sets[0]);
    EXPECT_EQ(dsp.channel(0).channel_id(), 1u);
    EXPECT_EQ(dsp.channel(0).high_pass_filter().freq(), 99u);
}

struct DebugCase {
    bool debug;
    int tabs;
};

class DebugTab : public WindowFixture, public ::testing::WithParamInterface<DebugCase> {
protected:
    DebugTab() : WindowFixture(false, GetParam().debug) {}
};

TEST_P(DebugTab, ShownOnlyInDebugMode) {
    EXPECT_EQ(widget<QTabWidget>("BiAmpTabBar")->count(), GetParam().tabs);
    EXPECT_EQ(widget<QTabWidget>("FullChTabBar")->count(), GetParam().tabs);
}

INSTANTIATE_TEST_SUITE_P(Mode, DebugTab, ::testing::Values(DebugCase{false, 2}, DebugCase{true, 3}),
                         [](const auto& info) { return info.param.debug ? "Debug" : "Normal"; });

}  // namespace

namespace {

// Leaves an image of each page attached to a live fake device, for looking at.
class WindowImages : public WindowFixture, public ::testing::WithParamInterface<bool> {
protected:
    WindowImages() : WindowFixture(GetParam(), true) {}
};

TEST_P(WindowImages, AttachedPagesAreSaved) {
    dsp_t dsp = deviceDsp();
    for (channel_t& channel : *dsp.mutable_channel()) {
        channel.mutable_input()->set_gain(-6.5f);
        channel.mutable_input()->set_measured_rms_level(-18.0f);
        channel.mutable_output()->set_measured_rms_level(-9.0f);
        channel.mutable_peq(2)->set_gain(-2.5f);
        channel.mutable_peq(5)->set_gain(4.0f);
    }
    m_fake.setDsp(dsp);
    amp_t amp;
    m_fake.setAmp(amp);
    m_record.setMcuVersion(0x00020003);
    m_record.setMacAddress(QStringLiteral("00:1d:c1:0a:0b:0c"));
    attach();
    m_window->doPeriodicUpdates();
    m_window->show();
    const QDir folder(QStringLiteral(ZEB_SCREENSHOT_DIR));
    ASSERT_TRUE(folder.exists() || QDir().mkpath(folder.path()));
    const QString name =
        GetParam() ? QStringLiteral("window_fullch") : QStringLiteral("window_biamp");
    auto* tabs = widget<QTabWidget>(GetParam() ? "FullChTabBar" : "BiAmpTabBar");
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        EXPECT_TRUE(
            m_window->grab().save(folder.filePath(name + QStringLiteral("_%1.png").arg(tab))));
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, WindowImages, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "FullCh" : "BiAmp"; });

}  // namespace
