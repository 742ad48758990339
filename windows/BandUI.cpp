#include "BandUI.h"

#include "FormWidgets.h"
#include "SlotWiring.h"

#include <QCheckBox>

namespace {
constexpr double kMinFreq = 10;
constexpr double kMaxFreq = 22000;
constexpr double kFreqPerBand = 1000;
constexpr double kMinGain = -30;
constexpr double kMaxGain = 6;
constexpr double kMinQ = 0.5;
constexpr double kMaxQ = 4.15;
constexpr double kInitialQ = 1.0;

const char* const kSignals[] = {
    "bandBypassChanged(int,int,int)",
    "bandFreqChanged(int,int,double)",
    "bandGainChanged(int,int,double)",
    "bandQChanged(int,int,double)",
};
}  // namespace

BandUI::BandUI(QObject* parent) : QObject(parent) {}

void BandUI::bind(int chIdx, int bIdx, const BandWidgets& widgets) {
    m_channel = chIdx;
    m_band = bIdx;
    m_bypass = widgets.bypass;

    m_freq.bind(widgets.freqSlider, widgets.freqSpin);
    m_freq.setRange(kMinFreq, kMaxFreq);
    m_freq.setValue(kFreqPerBand * bIdx);
    m_gain.bind(widgets.gainSlider, widgets.gainSpin);
    m_gain.setRange(kMinGain, kMaxGain);
    m_gain.setValue(0);
    m_q.bind(widgets.qSlider, widgets.qSpin);
    m_q.setRange(kMinQ, kMaxQ, DoubleSpinnerSliderLink::kQSliderSteps);
    m_q.setValue(kInitialQ);

    connect(m_bypass, &QCheckBox::stateChanged, this, &BandUI::bypassChanged);
    connect(&m_freq, &DoubleSpinnerSliderLink::valueChanged, this, &BandUI::freqChanged);
    connect(&m_gain, &DoubleSpinnerSliderLink::valueChanged, this, &BandUI::gainChanged);
    connect(&m_q, &DoubleSpinnerSliderLink::valueChanged, this, &BandUI::qChanged);
}

bool BandUI::connectTo(QObject* receiver) {
    return connectSameNamedSlots(this, kSignals, int(std::size(kSignals)), receiver);
}

void BandUI::bypassChanged(int state) {
    emit bandBypassChanged(m_channel, m_band, state);
}

void BandUI::freqChanged(double value) {
    emit bandFreqChanged(m_channel, m_band, value);
}

void BandUI::gainChanged(double value) {
    emit bandGainChanged(m_channel, m_band, value);
}

void BandUI::qChanged(double value) {
    emit bandQChanged(m_channel, m_band, value);
}
