#include "ZEBPluginForm.h"

#include "OVMeter.h"
#include "OvLED.h"

#include <QCheckBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

struct Named {
    QString name;
    const char* type;
};

class FormTest : public ::testing::Test {
protected:
    void SetUp() override { form.setupUi(&window); }

    template <class T>
    T* find(const QString& name) {
        const QList<T*> all = window.findChildren<T*>(name);
        EXPECT_EQ(all.size(), 1) << name.toStdString();
        return all.value(0);
    }

    QDialog window;
    ZEBPluginForm form;
};

std::vector<Named> expectedNames() {
    std::vector<Named> names = {
        {"stackedWidget", "QStackedWidget"},
        {"biamp_page", "QWidget"},
        {"fullchan_page", "QWidget"},
        {"BiAmpTabBar", "QTabWidget"},
        {"BiAmpDSPSetupTab", "QWidget"},
        {"BiAmpAmpSetupTab", "QWidget"},
        {"BiAmpDebugTab", "QWidget"},
        {"FullChTabBar", "QTabWidget"},
        {"FullChChannelTabBar", "QTabWidget"},
        {"Ch1Tab", "QWidget"},
        {"Ch2Tab", "QWidget"},
        {"FullChDebugTab", "QWidget"},
        {"RB_SingleInput", "QRadioButton"},
        {"RB_2chInput", "QRadioButton"},
        {"OvLedBiAmpAmpStatus", "OvLED"},
        {"OvLedFullChAmpStatus", "OvLED"},
        {"OvLedBiAmpTemperature", "OvLED"},
        {"OvLedFullChTemperature", "OvLED"},
        {"OvLedBiAmpSpeakerStatus", "OvLED"},
        {"OvLedFullChSpeakerStatus", "OvLED"},
        {"CheckBoxBiAmpIdentify", "QCheckBox"},
        {"CheckBoxFullChIdentify", "QCheckBox"},
        {"OvLedBiAmpDC", "OvLED"},
        {"OvLedBiAmpPoe", "OvLED"},
        {"OvLedBiAmpPoeP", "OvLED"},
        {"OvLedFullChDC", "OvLED"},
        {"OvLedFullChPoe", "OvLED"},
        {"OvLedFullChPoeP", "OvLED"},
        {"CheckBoxBiAmp40WEnable", "QCheckBox"},
        {"CheckBoxFullCh40WEnable", "QCheckBox"},
        {"OvLedBiAmpImpedenceStatusCh1", "OvLED"},
        {"OvLedBiAmpImpedenceStatusCh2", "OvLED"},
        {"OvLedFullImpedenceStatusSpkr1", "OvLED"},
        {"OvLedFullImpedenceStatusSpkr2", "OvLED"},
        {"OvLedFullImpedenceStatusSpkr3", "OvLED"},
        {"OvLedFullImpedenceStatusSpkr4", "OvLED"},
        {"CheckBoxFullCh1Slave", "QCheckBox"},
        {"CheckBoxFullCh2SlaveA", "QCheckBox"},
        {"CheckBoxFullCh2SlaveB", "QCheckBox"},
        {"LineEditBiAmpDeviceName", "QLineEdit"},
        {"LineEditBiAmpLocation", "QLineEdit"},
        {"LinEditBiAmpIP", "QLineEdit"},
        {"LineEditFullChDeviceName", "QLineEdit"},
        {"LineEditFullChLocation", "QLineEdit"},
        {"LinEditFullChIP", "QLineEdit"},
        {"LineEditBiAmpFwVersion", "QLineEdit"},
        {"LineEditBiAmpModel", "QLineEdit"},
        {"LineEditBiAmpMac", "QLineEdit"},
        {"LineEditFullChFwVersion", "QLineEdit"},
        {"LineEditFullChModel", "QLineEdit"},
        {"LineEditFullChMac", "QLineEdit"},
        {"PushBtnBiAmpApplyDebugTesting", "QPushButton"},
        {"PushBtnBiAmpTriggerTest", "QPushButton"},
        {"PushBtnFullChApplyDebugTesting", "QPushButton"},
        {"PushBtnFullChTriggerTest", "QPushButton"},
        {"LineEditBiAmpMeasuredImpedence", "QLineEdit"},
        {"LineEditBiAmpTestFreq", "QLineEdit"},
        {"LineEditBiAmpTestLevel", "QLineEdit"},
        {"LineEditFullChMeasuredImpedence", "QLineEdit"},
        {"LineEditFullChTestFreq", "QLineEdit"},
        {"LineEditFullChTestLevel", "QLineEdit"},
        {"PushBtnBiAmpLoadPresetFile", "QPushButton"},
        {"PushBtnBiAmpSavePresetFile", "QPushButton"},
        {"PushBtnBiAmpRecallDevicePreset", "QPushButton"},
        {"PushBtnSaveDevicePreset", "QPushButton"},
        {"PushBtnFullChLoadPresetFile", "QPushButton"},
        {"PushBtnFullChSavePresetFile", "QPushButton"},
        {"PushBtnFullChRecallDevicePreset", "QPushButton"},
        {"PushBtnFullChSaveDevicePreset", "QPushButton"},
        {"PushBtnBiAmpResetEq", "QPushButton"},
        {"PushBtnBiAmpBypassEq", "QPushButton"},
        {"PushBtnFullChResetEq", "QPushButton"},
        {"PushBtnFullChBypassEq", "QPushButton"},
        {"CheckBoxBiAmpPinkNoiseEnable", "QCheckBox"},
        {"SliderBiAmpPinkNoiseLevel", "QSlider"},
        {"SpinBoxBiAmpPinkNoiseLevel", "QDoubleSpinBox"},
        {"CheckBoxFullChPinkNoiseEnable", "QCheckBox"},
        {"SliderFullChPinkNoiseLevel", "QSlider"},
        {"SpinBoxFullChPinkNoiseLevel", "QDoubleSpinBox"},
        {"pbFirmwareUpdateBiAmp", "QPushButton"},
        {"pbFirmwareUpdateFullCh", "QPushButton"},
        // The per-channel controls of page 0 and of page 1's first channel, written out.
        {"SliderBiAmpInputGain", "QSlider"},
        {"SpinBoxBiAmpInputGain", "QDoubleSpinBox"},
        {"OvMeterBiAmpInput", "OVMeter"},
        {"SliderBiAmpDelayMs", "QSlider"},
        {"SpinBoxBiAmpMs", "QSpinBox"},
        {"CheckBoxBiAmpHighPassBypass", "QCheckBox"},
        {"SliderBiAmpHighPassFreq", "QSlider"},
        {"SpinBoxBiAmpHighPassFreq", "QDoubleSpinBox"},
        {"CheckBoxBiAmpLowPassBypass", "QCheckBox"},
        {"SliderBiAmpLowPassFreq", "QSlider"},
        {"SpinBoxBiAmpLowPassFreq", "QDoubleSpinBox"},
        {"SliderBiAmpOutputGain", "QSlider"},
        {"SpinBoxBiAmpOutputGain", "QDoubleSpinBox"},
        {"OvMeterBiAmpOutput", "OVMeter"},
        {"CheckBoxBiAmpOutputMute", "QCheckBox"},
        {"CheckBoxBiAmpOutputInvert", "QCheckBox"},
        {"SliderFullChInputGainCh1", "QSlider"},
        {"SpinBoxFullChInputGainCh1", "QDoubleSpinBox"},
        {"OvMeterFullChInputCh1", "OVMeter"},
        {"SliderFullChDelayMsCh1", "QSlider"},
        {"SpinBoxFullChMsCh1", "QSpinBox"},
        {"CheckBoxFullChHighPassBypassCh1", "QCheckBox"},
        {"SliderFullChHighPassFreqCh1", "QSlider"},
        {"SpinBoxFullChHighPassFreqCh1", "QDoubleSpinBox"},
        {"CheckBoxFullChLowPassBypassCh1", "QCheckBox"},
        {"SliderFullChLowPassFreqCh1", "QSlider"},
        {"SpinBoxFullChLowPassFreqCh1", "QDoubleSpinBox"},
        {"SliderFullChOutputGainCh1", "QSlider"},
        {"SpinBoxFullChOutputGainCh1", "QDoubleSpinBox"},
        {"OvMeterFullChOutputCh1", "OVMeter"},
        {"CheckBoxFullChOutputMuteCh1", "QCheckBox"},
        {"CheckBoxFullChOutputInvertCh1", "QCheckBox"},
        {"SliderFullChInputGainCh2", "QSlider"},
        {"SpinBoxFullChMsCh2", "QSpinBox"},
        {"OvMeterFullChOutputCh2", "OVMeter"},
        {"CheckBoxFullChOutputInvertCh2", "QCheckBox"},
    };
    // Every band widget of the three channels: "<kind><page><BandN><role><suffix>".
    const std::pair<QString, QString> channels[] = {
        {"BiAmp", ""}, {"FullCh", "Ch1"}, {"FullCh", "Ch2"}};
    for (const auto& [page, suffix] : channels) {
        for (int n = 1; n <= 8; ++n) {
            const QString band = page + "Band" + QString::number(n);
            names.push_back({"CheckBox" + band + "Bypass" + suffix, "QCheckBox"});
            for (const char* role : {"Freq", "Gain", "Q"}) {
                names.push_back({"Slider" + band + role + suffix, "QSlider"});
                names.push_back({"SpinBox" + band + role + suffix, "QDoubleSpinBox"});
            }
        }
    }
    return names;
}

TEST_F(FormTest, EveryObjectNameIsThereOnceWithItsType) {
    const std::vector<Named> names = expectedNames();
    EXPECT_EQ(names.size(), 117u + 3 * 8 * 7);
    for (const Named& n : names) {
        const QList<QWidget*> found = window.findChildren<QWidget*>(n.name);
        ASSERT_EQ(found.size(), 1) << n.name.toStdString();
        EXPECT_TRUE(found[0]->inherits(n.type))
            << n.name.toStdString() << " is " << found[0]->metaObject()->className();
        EXPECT_EQ(QString(found[0]->metaObject()->className()), QString(n.type))
            << n.name.toStdString();
    }
    // Band 1 of page 0 as the form's users look it up.
    EXPECT_EQ(form.biAmp.channels[0].bands[0].qSpin, find<QDoubleSpinBox>("SpinBoxBiAmpBand1Q"));
    EXPECT_EQ(form.fullCh.channels[1].bands[7].gainSlider,
              find<QSlider>("SliderFullChBand8GainCh2"));
}

TEST_F(FormTest, WindowFrameAndPages) {
    EXPECT_EQ(window.objectName(), "ZEBPluginForm");
    EXPECT_EQ(window.windowTitle(), "ZEB Device Control");
    EXPECT_EQ(window.minimumSize(), QSize(1224, 594));
    EXPECT_EQ(window.maximumSize(), QSize(1224, 594));
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_FALSE(window.styleSheet().isEmpty());
    EXPECT_EQ(form.stackedWidget->geometry(), QRect(9, 9, 1206, 557));
    EXPECT_EQ(form.stackedWidget->currentIndex(), 1);
    EXPECT_EQ(form.stackedWidget->widget(0), form.biamp_page);
    EXPECT_EQ(form.stackedWidget->widget(1), form.fullchan_page);

    QTabWidget* biAmp = find<QTabWidget>("BiAmpTabBar");
    ASSERT_EQ(biAmp->count(), 3);
    EXPECT_EQ(biAmp->currentIndex(), 0);
    EXPECT_EQ(biAmp->tabText(0), "DSP Setup");
    EXPECT_EQ(biAmp->tabText(1), "Amp Setup");
    EXPECT_EQ(biAmp->tabText(2), "Debug");
    EXPECT_EQ(biAmp->widget(0)->objectName(), "BiAmpDSPSetupTab");
    EXPECT_EQ(biAmp->widget(1)->objectName(), "BiAmpAmpSetupTab");
    EXPECT_EQ(biAmp->widget(2)->objectName(), "BiAmpDebugTab");
    EXPECT_EQ(form.biAmp.tabBar, biAmp);

    QTabWidget* fullCh = find<QTabWidget>("FullChTabBar");
    ASSERT_EQ(fullCh->count(), 3);
    EXPECT_EQ(fullCh->currentIndex(), 0);
    EXPECT_TRUE(fullCh->widget(0)->isAncestorOf(find<QTabWidget>("FullChChannelTabBar")));
    EXPECT_FALSE(fullCh->tabText(1).isEmpty());
    EXPECT_EQ(fullCh->tabText(2), "Debug");
    EXPECT_EQ(fullCh->widget(ZEBPluginForm::kDebugTabIndex)->objectName(), "FullChDebugTab");
    EXPECT_EQ(form.fullCh.tabBar, fullCh);

    QTabWidget* channels = find<QTabWidget>("FullChChannelTabBar");
    ASSERT_EQ(channels->count(), 2);
    EXPECT_EQ(channels->widget(0)->objectName(), "Ch1Tab");
    EXPECT_EQ(channels->widget(1)->objectName(), "Ch2Tab");
    EXPECT_EQ(channels->tabText(0), "CH1 - Master/Speaker 3");
    EXPECT_EQ(channels->tabText(1), "CH2 - Speaker 1/Speaker 2");
    EXPECT_EQ(form.biAmp.numChannels, 1);
    EXPECT_EQ(form.fullCh.numChannels, 2);
}

TEST_F(FormTest, DesignTimePropertiesOfTheControls) {
    struct Spin {
        QString name;
        int decimals;
        double step;
        const char* suffix;
    };
    std::vector<Spin> spins;
    const std::pair<QString, QString> channels[] = {
        {"BiAmp", ""}, {"FullCh", "Ch1"}, {"FullCh", "Ch2"}};
    for (const auto& [page, suffix] : channels) {
        const int filterDecimals = page == "BiAmp" ? 0 : 1;
        spins.push_back({"SpinBox" + page + "InputGain" + suffix, 1, 0.5, "dB"});
        spins.push_back({"SpinBox" + page + "OutputGain" + suffix, 1, 0.5, "dB"});
        spins.push_back({"SpinBox" + page + "HighPassFreq" + suffix, filterDecimals, 1, "Hz"});
        spins.push_back({"SpinBox" + page + "LowPassFreq" + suffix, filterDecimals, 1, "Hz"});
        for (int n = 1; n <= 8; ++n) {
            const QString band = "SpinBox" + page + "Band" + QString::number(n);
            spins.push_back({band + "Freq" + suffix, 0, 1, "Hz"});
            spins.push_back({band + "Gain" + suffix, 1, 0.5, "dB"});
            spins.push_back({band + "Q" + suffix, 2, 0.05, ""});
        }
        QSpinBox* delay = find<QSpinBox>("SpinBox" + page + "Ms" + suffix);
        ASSERT_TRUE(delay);
        EXPECT_EQ(delay->singleStep(), 1);
        EXPECT_EQ(delay->suffix(), "ms");
        for (const char* role : {"InputGain", "OutputGain"}) {
            EXPECT_EQ(find<QSlider>("Slider" + page + role + suffix)->orientation(), Qt::Vertical);
        }
    }
    spins.push_back({"SpinBoxBiAmpPinkNoiseLevel", 1, 0.5, "dB"});
    spins.push_back({"SpinBoxFullChPinkNoiseLevel", 1, 0.5, "dB"});
    for (const Spin& s : spins) {
        QDoubleSpinBox* spin = find<QDoubleSpinBox>(s.name);
        ASSERT_TRUE(spin) << s.name.toStdString();
        EXPECT_EQ(spin->decimals(), s.decimals) << s.name.toStdString();
        EXPECT_DOUBLE_EQ(spin->singleStep(), s.step) << s.name.toStdString();
        EXPECT_EQ(spin->suffix(), s.suffix) << s.name.toStdString();
    }
    for (QSlider* slider : window.findChildren<QSlider*>()) {
        const bool gain = slider->objectName().contains("InputGain") ||
                          slider->objectName().contains("OutputGain");
        EXPECT_EQ(slider->orientation(), gain ? Qt::Vertical : Qt::Horizontal)
            << slider->objectName().toStdString();
    }
    for (const char* name : {"PushBtnBiAmpBypassEq", "PushBtnFullChBypassEq"}) {
        EXPECT_TRUE(find<QPushButton>(name)->isCheckable()) << name;
        EXPECT_FALSE(find<QPushButton>(name)->icon().isNull()) << name;
    }
    for (const char* name : {"PushBtnBiAmpResetEq", "PushBtnFullChResetEq"}) {
        EXPECT_FALSE(find<QPushButton>(name)->icon().isNull()) << name;
    }
}

TEST_F(FormTest, InitialTextsAndReadOnlyInformation) {
    struct Text {
        const char* role;
        const char* text;
    };
    const Text texts[] = {{"Model", "QRA310"},
                          {"Mac", "010203040506"},
                          {"FwVersion", "v1.0"},
                          {"DeviceName", "QRA310-040506"},
                          {"Location", "Lobby A"}};
    for (const char* page : {"BiAmp", "FullCh"}) {
        const bool readOnly = QString(page) == "BiAmp";
        for (const Text& t : texts) {
            QLineEdit* edit = find<QLineEdit>(QString("LineEdit") + page + t.role);
            ASSERT_TRUE(edit);
            EXPECT_EQ(edit->text(), t.text) << page << t.role;
            const bool expectReadOnly = readOnly && QString(t.role) != "Location";
            EXPECT_EQ(edit->isReadOnly(), expectReadOnly) << page << t.role;
        }
        QLineEdit* ip = find<QLineEdit>(QString("LinEdit") + page + "IP");
        EXPECT_EQ(ip->text(), "169.254.0.1");
        EXPECT_EQ(ip->isReadOnly(), readOnly);
    }
    EXPECT_EQ(find<QRadioButton>("RB_SingleInput")->text(), "Single Channel Input");
    EXPECT_EQ(find<QRadioButton>("RB_2chInput")->text(), "2 CH Vireo Input");
    EXPECT_EQ(find<QCheckBox>("CheckBoxBiAmpIdentify")->text(), "Identify");
    EXPECT_EQ(find<QCheckBox>("CheckBoxFullCh40WEnable")->text(), "40W Enable");
    EXPECT_EQ(find<QPushButton>("pbFirmwareUpdateBiAmp")->text(), "Firmware Update");
    EXPECT_EQ(find<QPushButton>("PushBtnSaveDevicePreset")->text(), "Save Device Preset");
    EXPECT_EQ(find<QPushButton>("PushBtnFullChRecallDevicePreset")->text(), "Recall Device Preset");
    EXPECT_EQ(find<QPushButton>("PushBtnBiAmpLoadPresetFile")->text(), "Load Preset File");
    EXPECT_EQ(find<QPushButton>("PushBtnFullChSavePresetFile")->text(), "Save Preset File");
    EXPECT_EQ(find<QPushButton>("PushBtnBiAmpResetEq")->text(), "Reset Eq");
    EXPECT_EQ(find<QPushButton>("PushBtnFullChBypassEq")->text(), "Bypass Eq");
    EXPECT_EQ(find<QPushButton>("PushBtnBiAmpApplyDebugTesting")->text(), "Apply");
    EXPECT_EQ(find<QPushButton>("PushBtnFullChTriggerTest")->text(), "Trigger Test");
    EXPECT_EQ(find<QCheckBox>("CheckBoxBiAmpPinkNoiseEnable")->text(), "Enable");
    EXPECT_EQ(find<QCheckBox>("CheckBoxFullChBand3BypassCh2")->text(), "Bypass");
    EXPECT_EQ(find<QCheckBox>("CheckBoxBiAmpOutputMute")->text(), "Mute");
    EXPECT_EQ(find<QCheckBox>("CheckBoxFullChOutputInvertCh1")->text(), "Invert");

    std::multiset<QString> titles;
    for (QGroupBox* box : window.findChildren<QGroupBox*>()) {
        titles.insert(box->title());
    }
    std::vector<QString> expectedTitles = {
        "Input Gain",        "Output Gain", "Delay",        "High Pass",
        "Low Pass",          "Power Mode",  "Power Source", "Impedance Monitor Configuration",
        "Impedance Testing", "FW Update",   "Pink Noise",   "Status",
        "Device Info:",      "Presets"};
    for (int n = 1; n <= 8; ++n) {
        expectedTitles.push_back("Band " + QString::number(n));
    }
    for (const QString& title : expectedTitles) {
        EXPECT_GE(titles.count(title), 2u) << title.toStdString();
    }
    EXPECT_EQ(titles.count("Band 1"), 3u);
    EXPECT_EQ(titles.count("Channel 1 DSP Setup"), 1u);
    EXPECT_EQ(titles.count("Channel 2 DSP Setup"), 1u);

    std::set<QString> labels;
    for (QLabel* label : window.findChildren<QLabel*>()) {
        labels.insert(label->text());
    }
    for (const char* text : {"Gain:",
                             "Freq:",
                             "BW:",
                             "Time:",
                             "Level:",
                             "Location:",
                             "Device Name",
                             "Model:",
                             "MAC:",
                             "FW:",
                             "IP:",
                             "Measured Impedance:",
                             "Test Level:",
                             "Test Frequency:",
                             "Amp Status",
                             "Temperature",
                             "Speaker Status",
                             "PoE+",
                             "DC",
                             "PoE",
                             "Monitor Tweeter",
                             "Monitor Woofer",
                             "Master Speaker",
                             "Speaker 1",
                             "Speaker 2",
                             "Speaker 3"}) {
        EXPECT_EQ(labels.count(text), 1u) << text;
    }
}

TEST_F(FormTest, LampSettings) {
    const QColor green(0, 255, 0, 255);
    for (OvLED* led : window.findChildren<OvLED*>()) {
        EXPECT_EQ(led->diameter(), 3.0) << led->objectName().toStdString();
    }
    struct Lamp {
        const char* role;
        bool power;
        bool state;
    };
    const Lamp lamps[] = {{"DC", true, false},           {"Poe", true, true},
                          {"PoeP", true, false},         {"AmpStatus", false, false},
                          {"Temperature", false, false}, {"SpeakerStatus", false, true}};
    for (const char* page : {"BiAmp", "FullCh"}) {
        for (const Lamp& l : lamps) {
            OvLED* led = find<OvLED>(QString("OvLed") + page + l.role);
            ASSERT_TRUE(led);
            EXPECT_EQ(led->state(), l.state) << page << l.role;
            if (l.power) {
                EXPECT_EQ(led->color(), green) << page << l.role;
            } else {
                EXPECT_EQ(led->property("off_color").value<QColor>(), green) << page << l.role;
                EXPECT_FALSE(led->isFlashing()) << page << l.role;
            }
        }
    }
    for (const char* name : {"OvLedBiAmpImpedenceStatusCh1", "OvLedBiAmpImpedenceStatusCh2",
                             "OvLedFullImpedenceStatusSpkr1", "OvLedFullImpedenceStatusSpkr4"}) {
        EXPECT_EQ(find<OvLED>(name)->offColor(), green) << name;
    }
    EXPECT_EQ(form.biAmp.impedanceLeds[2], nullptr);
    EXPECT_EQ(form.biAmp.ch1Slave, nullptr);
    EXPECT_EQ(form.biAmp.singleInput, nullptr);
}

}  // namespace
