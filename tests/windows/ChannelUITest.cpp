#include "ChannelUI.h"
#include "RecordingWindow.h"
#include "ZEBPluginForm.h"

#include <QCheckBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace {

// Both channels of the two-channel page bound and wired to a recording window.
class ChannelUITest : public ::testing::Test {
protected:
    void SetUp() override {
        form.setupUi(&dialog);
        for (int c = 0; c < 2; ++c) {
            channels[c].bind(c, form.fullCh.channels[c]);
            ASSERT_TRUE(channels[c].connectTo(&window));
        }
    }

    ChannelWidgets& widgets(int c) { return form.fullCh.channels[c]; }

    QDialog dialog;
    ZEBPluginForm form;
    ChannelUI channels[2];
    RecordingWindow window;
};

TEST_F(ChannelUITest, BindingSetsRangesAndInitialValuesSilently) {
    EXPECT_TRUE(window.calls.isEmpty()) << window.calls.join(' ').toStdString();
    const ChannelWidgets& w = widgets(1);
    struct Range {
        const char* what;
        QSlider* slider;
        int smin, smax;
        double value;
    };
    const Range ranges[] = {
        {"input gain", w.inputGainSlider, -88, 6, w.inputGainSpin->value()},
        {"output gain", w.outputGainSlider, -88, 6, w.outputGainSpin->value()},
        {"high pass", w.highPassSlider, 10, 22000, w.highPassSpin->value()},
        {"low pass", w.lowPassSlider, 10, 22000, w.lowPassSpin->value()},
        {"delay", w.delaySlider, 0, 100, double(w.delaySpin->value())},
        {"band 1 gain", w.bands[0].gainSlider, -30, 6, w.bands[0].gainSpin->value()},
        {"band 1 Q", w.bands[0].qSlider, 0, 4, w.bands[0].qSpin->value()},
        {"band 1 freq", w.bands[0].freqSlider, 10, 22000, w.bands[0].freqSpin->value()},
        {"band 6 freq", w.bands[5].freqSlider, 10, 22000, w.bands[5].freqSpin->value()},
    };
    const double initial[] = {0, 0, 50, 20000, 0, 0, 1.0, 10, 5000};
    for (size_t i = 0; i < std::size(ranges); ++i) {
        const Range& r = ranges[i];
        EXPECT_EQ(r.slider->minimum(), r.smin) << r.what;
        EXPECT_EQ(r.slider->maximum(), r.smax) << r.what;
        EXPECT_DOUBLE_EQ(r.value, initial[i]) << r.what;
    }
    EXPECT_DOUBLE_EQ(w.highPassSpin->minimum(), 10);
    EXPECT_DOUBLE_EQ(w.lowPassSpin->maximum(), 22000);
    EXPECT_EQ(channels[1].band(7).bandIndex(), 7);
    EXPECT_EQ(channels[1].band(7).channelIndex(), 1);
    EXPECT_EQ(channels[1].inputMeter(), w.inputMeter);
    EXPECT_EQ(channels[1].outputMeter(), w.outputMeter);
}

TEST_F(ChannelUITest, UserEditsReachTheWindowWithTheirIndices) {
    ChannelWidgets& w = widgets(1);
    w.inputGainSlider->setValue(-3);
    w.outputGainSpin->setValue(-2.5);
    w.outputInvert->setChecked(true);
    w.outputMute->setChecked(true);
    w.highPassSpin->setValue(120);
    w.lowPassSlider->setValue(15000);
    w.highPassBypass->setChecked(true);
    w.lowPassBypass->setChecked(true);
    w.delaySlider->setValue(29);
    w.bands[2].bypass->setChecked(true);
    w.bands[2].freqSpin->setValue(440);
    w.bands[4].gainSlider->setValue(-6);
    w.bands[7].qSlider->setValue(1);
    widgets(0).bands[0].gainSpin->setValue(1.5);
    const QStringList expected = {
        "inputGain(1,-3)",     "outputGain(1,-2.5)",   "outputInvert(1,2)",   "outputMute(1,2)",
        "highPassFreq(1,120)", "lowPassFreq(1,15000)", "highPassBypass(1,2)", "lowPassBypass(1,2)",
        "delay(1,29)",         "bandBypass(1,2,2)",    "bandFreq(1,2,440)",   "bandGain(1,4,-6)",
        "bandQ(1,7,1.4125)",   "bandGain(0,0,1.5)",
    };
    EXPECT_EQ(window.calls, expected) << window.calls.join(' ').toStdString();
    EXPECT_EQ(w.delaySpin->value(), 28);
}

TEST_F(ChannelUITest, LoadingIntoLinksSendsNothing) {
    channels[0].band(3).gainLink().setValue(-2.5);
    channels[0].inputGainLink().setValue(-10.5);
    channels[0].delayLink().setValue(29);
    channels[0].band(3).qLink().setValue(2.0);
    EXPECT_TRUE(window.calls.isEmpty()) << window.calls.join(' ').toStdString();
    EXPECT_DOUBLE_EQ(widgets(0).bands[3].gainSpin->value(), -2.5);
    EXPECT_EQ(widgets(0).bands[3].gainSlider->value(), -2);
    EXPECT_DOUBLE_EQ(widgets(0).inputGainSpin->value(), -10.5);
}

TEST_F(ChannelUITest, ResetEqSendsOneZeroPerBand) {
    // Some gains away from 0, one of them by the user with its slider moved.
    channels[0].band(1).gainLink().setValue(-2.5);
    widgets(0).bands[5].gainSlider->setValue(4);
    window.calls.clear();

    channels[0].resetEQ();
    QStringList expected;
    for (int b = 0; b < 8; ++b) {
        expected << QString("bandGain(0,%1,0)").arg(b);
    }
    EXPECT_EQ(window.calls, expected) << window.calls.join(' ').toStdString();
    for (const BandWidgets& band : widgets(0).bands) {
        EXPECT_DOUBLE_EQ(band.gainSpin->value(), 0.0);
        EXPECT_EQ(band.gainSlider->value(), 0);
    }

    window.calls.clear();
    channels[0].resetEQ();
    EXPECT_EQ(window.calls, expected) << "sent again although nothing changed";
}

TEST_F(ChannelUITest, BypassEqChangesEveryBoxAndEachChangedBoxSignalsOnce) {
    widgets(0).bands[2].bypass->setChecked(true);
    window.calls.clear();

    channels[0].bypassEQ(true);
    QStringList expected;
    for (int b = 0; b < 8; ++b) {
        if (b != 2) {
            expected << QString("bandBypass(0,%1,2)").arg(b);
        }
    }
    expected << "highPassBypass(0,2)"
             << "lowPassBypass(0,2)";
    EXPECT_EQ(window.calls, expected) << window.calls.join(' ').toStdString();
    for (const BandWidgets& band : widgets(0).bands) {
        EXPECT_TRUE(band.bypass->isChecked());
    }

    window.calls.clear();
    channels[0].bypassEQ(true);
    EXPECT_TRUE(window.calls.isEmpty());
    channels[0].bypassEQ(false);
    EXPECT_EQ(window.calls.size(), 10);
    EXPECT_TRUE(window.calls.contains("bandBypass(0,2,0)"));
    EXPECT_FALSE(widgets(1).bands[0].bypass->isChecked()) << "the other channel stays";
}

TEST_F(ChannelUITest, ConnectingToAReceiverWithoutTheSlotsFails) {
    QObject plain;
    EXPECT_FALSE(channels[0].connectTo(&plain));
}

}  // namespace
