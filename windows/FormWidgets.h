#pragma once

class OVMeter;
class OvLED;
class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;

// The widgets of the device window form by role. The form owns them through its widget tree;
// these are plain pointers into it.

struct BandWidgets {
    QCheckBox* bypass = nullptr;
    QSlider* freqSlider = nullptr;
    QDoubleSpinBox* freqSpin = nullptr;
    QSlider* gainSlider = nullptr;
    QDoubleSpinBox* gainSpin = nullptr;
    QSlider* qSlider = nullptr;
    QDoubleSpinBox* qSpin = nullptr;
};

struct ChannelWidgets {
    static constexpr int kBands = 8;

    QSlider* inputGainSlider = nullptr;
    QDoubleSpinBox* inputGainSpin = nullptr;
    OVMeter* inputMeter = nullptr;
    QSlider* delaySlider = nullptr;
    QSpinBox* delaySpin = nullptr;
    QCheckBox* highPassBypass = nullptr;
    QSlider* highPassSlider = nullptr;
    QDoubleSpinBox* highPassSpin = nullptr;
    QCheckBox* lowPassBypass = nullptr;
    QSlider* lowPassSlider = nullptr;
    QDoubleSpinBox* lowPassSpin = nullptr;
    QSlider* outputGainSlider = nullptr;
    QDoubleSpinBox* outputGainSpin = nullptr;
    OVMeter* outputMeter = nullptr;
    QCheckBox* outputMute = nullptr;
    QCheckBox* outputInvert = nullptr;
    BandWidgets bands[kBands];
};

// One page of the form: the one-channel "BiAmp" page or the two-channel "FullCh" page. Widgets
// a page does not have stay null.
struct FormVariant {
    static constexpr int kImpedanceLeds = 4;
    static constexpr int kMaxChannels = 2;

    QTabWidget* tabBar = nullptr;
    QRadioButton* singleInput = nullptr;
    QRadioButton* twoChannelInput = nullptr;
    OvLED* ampStatusLed = nullptr;
    OvLED* temperatureLed = nullptr;
    OvLED* speakerStatusLed = nullptr;
    QCheckBox* identify = nullptr;
    OvLED* dcLed = nullptr;
    OvLED* poeLed = nullptr;
    OvLED* poePlusLed = nullptr;
    QCheckBox* enable40W = nullptr;
    OvLED* impedanceLeds[kImpedanceLeds] = {};
    QCheckBox* ch1Slave = nullptr;
    QCheckBox* ch2SlaveA = nullptr;
    QCheckBox* ch2SlaveB = nullptr;
    QLineEdit* deviceName = nullptr;
    QLineEdit* location = nullptr;
    QLineEdit* ipAddress = nullptr;
    QLineEdit* fwVersion = nullptr;
    QLineEdit* model = nullptr;
    QLineEdit* mac = nullptr;
    QPushButton* applyDebugTesting = nullptr;
    QPushButton* triggerTest = nullptr;
    QLineEdit* measuredImpedance = nullptr;
    QLineEdit* testFreq = nullptr;
    QLineEdit* testLevel = nullptr;
    QPushButton* loadPresetFile = nullptr;
    QPushButton* savePresetFile = nullptr;
    QPushButton* recallDevicePreset = nullptr;
    QPushButton* saveDevicePreset = nullptr;
    QPushButton* resetEq = nullptr;
    QPushButton* bypassEq = nullptr;
    QCheckBox* pinkNoiseEnable = nullptr;
    QSlider* pinkNoiseSlider = nullptr;
    QDoubleSpinBox* pinkNoiseSpin = nullptr;
    QPushButton* firmwareUpdate = nullptr;
    int numChannels = 0;
    ChannelWidgets channels[kMaxChannels];
};
