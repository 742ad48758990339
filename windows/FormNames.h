#pragma once

// The object names of one page of the device window form, by role (nullptr: the page has no
// such widget). Names of the per-channel controls follow one pattern and are built in code.
struct VariantNames {
    const char* tag;
    const char* channelSuffixes[2];
    int numChannels;
    int filterDecimals;
    bool infoReadOnly;
    const char* tabBar;
    const char* singleInput;
    const char* twoChannelInput;
    const char* ampStatusLed;
    const char* temperatureLed;
    const char* speakerStatusLed;
    const char* identify;
    const char* dcLed;
    const char* poeLed;
    const char* poePlusLed;
    const char* enable40W;
    const char* impedanceLeds[4];
    const char* impedanceLabels[4];
    const char* ch1Slave;
    const char* ch2SlaveA;
    const char* ch2SlaveB;
    const char* deviceName;
    const char* location;
    const char* ipAddress;
    const char* fwVersion;
    const char* model;
    const char* mac;
    const char* applyDebugTesting;
    const char* triggerTest;
    const char* measuredImpedance;
    const char* testFreq;
    const char* testLevel;
    const char* loadPresetFile;
    const char* savePresetFile;
    const char* recallDevicePreset;
    const char* saveDevicePreset;
    const char* resetEq;
    const char* bypassEq;
    const char* pinkNoiseEnable;
    const char* pinkNoiseSlider;
    const char* pinkNoiseSpin;
    const char* firmwareUpdate;
};

extern const VariantNames kBiAmpNames;
extern const VariantNames kFullChNames;
