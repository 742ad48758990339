#pragma once

#include "BandUI.h"
#include "DoubleSpinnerSliderLink.h"
#include "SpinnerSliderLink.h"

#include <QObject>

class OVMeter;
class QCheckBox;
struct ChannelWidgets;

// The controls of one DSP channel: every change goes out with the channel index; the bands'
// changes go out through the bands.
class ChannelUI : public QObject {
    Q_OBJECT
public:
    static constexpr int kBands = 8;

    explicit ChannelUI(QObject* parent = nullptr);

    // Stores the index and widgets, sets every link's range and initial value and connects the
    // widgets to this channel's slots and its bands'.
    void bind(int chIdx, const ChannelWidgets& widgets);
    // Connects this channel's and its bands' signals to the receiver's slots of the same names.
    bool connectTo(QObject* receiver);

    int channelIndex() const { return m_channel; }
    int bandCount() const { return m_band_count; }
    BandUI& band(int index) { return m_bands[index]; }
    QCheckBox* highPassBypass() const { return m_high_pass_bypass; }
    DoubleSpinnerSliderLink& highPassFreqLink() { return m_high_pass_freq; }
    QCheckBox* lowPassBypass() const { return m_low_pass_bypass; }
    DoubleSpinnerSliderLink& lowPassFreqLink() { return m_low_pass_freq; }
    DoubleSpinnerSliderLink& outputGainLink() { return m_output_gain; }
    QCheckBox* outputInvert() const { return m_output_invert; }
    QCheckBox* outputMute() const { return m_output_mute; }
    OVMeter* outputMeter() const { return m_output_meter; }
    DoubleSpinnerSliderLink& inputGainLink() { return m_input_gain; }
    OVMeter* inputMeter() const { return m_input_meter; }
    SpinnerSliderLink& delayLink() { return m_delay; }

signals:
    void inputGainChanged(int chIdx, double value);
    void highPassBypassChanged(int chIdx, int state);
    void lowPassBypassChanged(int chIdx, int state);
    void highPassFreqChanged(int chIdx, double value);
    void lowPassFreqChanged(int chIdx, double value);
    void outputGainChanged(int chIdx, double value);
    void outputInvertChanged(int chIdx, int state);
    void outputMuteChanged(int chIdx, int state);
    void delayChanged(int chIdx, int value);

public slots:
    void inputGainChanged(double value);
    void highPassBypassChanged(int state);
    void lowPassBypassChanged(int state);
    void highPassFreqChanged(double value);
    void lowPassFreqChanged(double value);
    void outputGainChanged(double value);
    void outputInvertChanged(int state);
    void outputMuteChanged(int state);
    void delayChanged(int value);
    // Sets every band's and both filters' bypass box; each box that changes signals.
    void bypassEQ(bool value);
    // Loads gain 0 into every band in use and sends it, changed or not.
    void resetEQ();

private:
    int m_channel = 0;
    BandUI m_bands[kBands];
    int m_band_count = kBands;
    QCheckBox* m_high_pass_bypass = nullptr;
    DoubleSpinnerSliderLink m_high_pass_freq;
    QCheckBox* m_low_pass_bypass = nullptr;
    DoubleSpinnerSliderLink m_low_pass_freq;
    DoubleSpinnerSliderLink m_output_gain;
    QCheckBox* m_output_invert = nullptr;
    QCheckBox* m_output_mute = nullptr;
    OVMeter* m_output_meter = nullptr;
    DoubleSpinnerSliderLink m_input_gain;
    OVMeter* m_input_meter = nullptr;
    SpinnerSliderLink m_delay;
};
