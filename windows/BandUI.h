#pragma once

#include "DoubleSpinnerSliderLink.h"

#include <QObject>

class QCheckBox;
struct BandWidgets;

// The controls of one EQ band: every change goes out with the band's channel and band index.
class BandUI : public QObject {
    Q_OBJECT
public:
    explicit BandUI(QObject* parent = nullptr);

    // Stores the indices and widgets, sets the ranges and initial values and connects the
    // widgets to this band's slots.
    void bind(int chIdx, int bIdx, const BandWidgets& widgets);
    // Connects this band's signals to the receiver's slots of the same names.
    bool connectTo(QObject* receiver);

    int channelIndex() const { return m_channel; }
    int bandIndex() const { return m_band; }
    QCheckBox* bypass() const { return m_bypass; }
    DoubleSpinnerSliderLink& freqLink() { return m_freq; }
    DoubleSpinnerSliderLink& gainLink() { return m_gain; }
    DoubleSpinnerSliderLink& qLink() { return m_q; }

signals:
    void bandBypassChanged(int chIdx, int bIdx, int state);
    void bandFreqChanged(int chIdx, int bIdx, double value);
    void bandGainChanged(int chIdx, int bIdx, double value);
    void bandQChanged(int chIdx, int bIdx, double value);

public slots:
    void bypassChanged(int state);
    void freqChanged(double value);
    void gainChanged(double value);
    void qChanged(double value);

private:
    int m_channel = 0;
    int m_band = 0;
    QCheckBox* m_bypass = nullptr;
    DoubleSpinnerSliderLink m_freq;
    DoubleSpinnerSliderLink m_gain;
    DoubleSpinnerSliderLink m_q;
};
