#include "ChannelUI.h"

#include "FormWidgets.h"
#include "SlotWiring.h"

#include <QCheckBox>

namespace {
constexpr double kMinGain = -88;
constexpr double kMaxGain = 6;
constexpr double kMinFreq = 10;
constexpr double kMaxFreq = 22000;
constexpr double kInitialHighPass = 50;
constexpr double kInitialLowPass = 20000;
constexpr int kMaxDelayMs = 100;

const char* const kSignals[] = {
    "inputGainChanged(int,double)",   "highPassBypassChanged(int,int)",
    "lowPassBypassChanged(int,int)",  "highPassFreqChanged(int,double)",
    "lowPassFreqChanged(int,double)", "outputGainChanged(int,double)",
    "outputInvertChanged(int,int)",   "outputMuteChanged(int,int)",
    "delayChanged(int,int)",
};

}  // namespace

ChannelUI::ChannelUI(QObject* parent) : QObject(parent) {}

void ChannelUI::bind(int chIdx, const ChannelWidgets& w) {
    m_channel = chIdx;
    m_input_meter = w.inputMeter;
    m_output_meter = w.outputMeter;
    m_output_invert = w.outputInvert;
    m_output_mute = w.outputMute;
    m_high_pass_bypass = w.highPassBypass;
    m_low_pass_bypass = w.lowPassBypass;

    m_input_gain.bind(w.inputGainSlider, w.inputGainSpin);
    m_input_gain.setRange(kMinGain, kMaxGain);
    m_input_gain.setValue(0);
    connect(&m_input_gain, &DoubleSpinnerSliderLink::valueChanged, this,
            qOverload<double>(&ChannelUI::inputGainChanged));

    m_output_gain.bind(w.outputGainSlider, w.outputGainSpin);
    m_output_gain.setRange(kMinGain, kMaxGain);
    m_output_gain.setValue(0);
    connect(&m_output_gain, &DoubleSpinnerSliderLink::valueChanged, this,
            qOverload<double>(&ChannelUI::outputGainChanged));

    connect(m_output_invert, &QCheckBox::stateChanged, this,
            qOverload<int>(&ChannelUI::outputInvertChanged));
    connect(m_output_mute, &QCheckBox::stateChanged, this,
            qOverload<int>(&ChannelUI::outputMuteChanged));

    m_high_pass_freq.bind(w.highPassSlider, w.highPassSpin);
    m_high_pass_freq.setRange(kMinFreq, kMaxFreq);
    m_high_pass_freq.setValue(kInitialHighPass);
    connect(&m_high_pass_freq, &DoubleSpinnerSliderLink::valueChanged, this,
            qOverload<double>(&ChannelUI::highPassFreqChanged));

    m_low_pass_freq.bind(w.lowPassSlider, w.lowPassSpin);
    m_low_pass_freq.setRange(kMinFreq, kMaxFreq);
    m_low_pass_freq.setValue(kInitialLowPass);
    connect(&m_low_pass_freq, &DoubleSpinnerSliderLink::valueChanged, this,
            qOverload<double>(&ChannelUI::lowPassFreqChanged));

    connect(m_high_pass_bypass, &QCheckBox::stateChanged, this,
            qOverload<int>(&ChannelUI::highPassBypassChanged));
    connect(m_low_pass_bypass, &QCheckBox::stateChanged, this,
            qOverload<int>(&ChannelUI::lowPassBypassChanged));

    m_delay.bind(w.delaySlider, w.delaySpin);
    m_delay.setRange(0, kMaxDelayMs);
    m_delay.setValue(0);
    connect(&m_delay, &SpinnerSliderLink::valueChanged, this,
            qOverload<int>(&ChannelUI::delayChanged));

    for (int b = 0; b < m_band_count; ++b) {
        m_bands[b].bind(chIdx, b, w.bands[b]);
    }
}

bool ChannelUI::connectTo(QObject* receiver) {
    bool ok = connectSameNamedSlots(this, kSignals, int(std::size(kSignals)), receiver);
    for (int b = 0; b < m_band_count; ++b) {
        ok = m_bands[b].connectTo(receiver) && ok;
    }
    return ok;
}

void ChannelUI::inputGainChanged(double value) {
    emit inputGainChanged(m_channel, value);
}

void ChannelUI::highPassBypassChanged(int state) {
    emit highPassBypassChanged(m_channel, state);
}

void ChannelUI::lowPassBypassChanged(int state) {
    emit lowPassBypassChanged(m_channel, state);
}

void ChannelUI::highPassFreqChanged(double value) {
    emit highPassFreqChanged(m_channel, value);
}

void ChannelUI::lowPassFreqChanged(double value) {
    emit lowPassFreqChanged(m_channel, value);
}

void ChannelUI::outputGainChanged(double value) {
    emit outputGainChanged(m_channel, value);
}

void ChannelUI::outputInvertChanged(int state) {
    emit outputInvertChanged(m_channel, state);
}

void ChannelUI::outputMuteChanged(int state) {
    emit outputMuteChanged(m_channel, state);
}

void ChannelUI::delayChanged(int value) {
    emit delayChanged(m_channel, value);
}

void ChannelUI::bypassEQ(bool value) {
    for (int b = 0; b < m_band_count; ++b) {
        m_bands[b].bypass()->setChecked(value);
    }
    m_high_pass_bypass->setChecked(value);
    m_low_pass_bypass->setChecked(value);
}

void ChannelUI::resetEQ() {
    for (int b = 0; b < m_band_count; ++b) {
        DoubleSpinnerSliderLink& gain = m_bands[b].gainLink();
        gain.setValue(0);
        emit gain.valueChanged(0.0);
    }
}
