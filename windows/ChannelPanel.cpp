#include "FormBuilder.h"
#include "FormNames.h"
#include "FormPanels.h"
#include "FormWidgets.h"

#include "OVMeter.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

using namespace formbuilder;

namespace formpanels {

namespace {

constexpr double kMinFreq = 10;
constexpr double kMaxFreq = 22000;

// Builds "<kind><page tag><role><channel suffix>", the pattern of every per-channel name.
class ChannelNamer {
public:
    ChannelNamer(const VariantNames& names, int channel)
        : m_tag(QString::fromLatin1(names.tag)),
          m_suffix(QString::fromLatin1(names.channelSuffixes[channel])) {}
    QString operator()(const char* kind, const QString& role) const {
        return QLatin1String(kind) + m_tag + role + m_suffix;
    }

private:
    QString m_tag;
    QString m_suffix;
};

// One "label, slider, spin box" row of a grid.
template <class Spin>
void addRow(QGridLayout* grid, int row, const QString& text, QSlider* slider, Spin* spin) {
    grid->addWidget(label(text, grid->parentWidget()), row, 0);
    grid->addWidget(slider, row, 1);
    grid->addWidget(spin, row, 2);
}

QGroupBox* gainGroup(const QString& title, const ChannelNamer& name, const QString& role,
                     const QString& meterRole, QSlider** slider, QDoubleSpinBox** spin,
                     OVMeter** meter, QWidget* parent) {
    QGroupBox* box = group(title, parent);
    auto* grid = compactGrid(box);
    *slider = formbuilder::slider(name("Slider", role), Qt::Vertical, box);
    *spin = gainSpin(name("SpinBox", role), -88, 6, box);
    *meter = new OVMeter(box);
    (*meter)->setObjectName(name("OvMeter", meterRole));
    grid->addWidget(*meter, 0, 0, Qt::AlignHCenter);
    grid->addWidget(*slider, 0, 1, Qt::AlignHCenter);
    grid->addWidget(*spin, 1, 0, 1, 2);
    return box;
}

QGroupBox* filterGroup(const QString& title, const ChannelNamer& name, const QString& role,
                       int decimals, QCheckBox** bypass, QSlider** slider, QDoubleSpinBox** spin,
                       QWidget* parent) {
    QGroupBox* box = group(title, parent);
    auto* grid = compactGrid(box);
    *slider = formbuilder::slider(name("Slider", role + "Freq"), Qt::Horizontal, box);
    *spin = doubleSpin(name("SpinBox", role + "Freq"), decimals, 1, "Hz", kMinFreq, kMaxFreq, box);
    *bypass = checkBox(name("CheckBox", role + "Bypass"), "Bypass", box);
    addRow(grid, 0, "Freq:", *slider, *spin);
    grid->addWidget(*bypass, 1, 1, 1, 2);
    return box;
}

QGroupBox* bandGroup(int band, const ChannelNamer& name, BandWidgets* out, QWidget* parent) {
    const QString role = "Band" + QString::number(band + 1);
    QGroupBox* box = group("Band " + QString::number(band + 1), parent);
    auto* grid = compactGrid(box);
    out->freqSlider = slider(name("Slider", role + "Freq"), Qt::Horizontal, box);
    out->freqSpin = doubleSpin(name("SpinBox", role + "Freq"), 0, 1, "Hz", kMinFreq, kMaxFreq, box);
    out->gainSlider = slider(name("Slider", role + "Gain"), Qt::Horizontal, box);
    out->gainSpin = gainSpin(name("SpinBox", role + "Gain"), -30, 6, box);
    out->qSlider = slider(name("Slider", role + "Q"), Qt::Horizontal, box);
    out->qSpin = doubleSpin(name("SpinBox", role + "Q"), 2, 0.05, QString(), 0.5, 4.15, box);
    out->bypass = checkBox(name("CheckBox", role + "Bypass"), "Bypass", box);
    addRow(grid, 0, "Freq:", out->freqSlider, out->freqSpin);
    addRow(grid, 1, "Gain:", out->gainSlider, out->gainSpin);
    addRow(grid, 2, "BW:", out->qSlider, out->qSpin);
    grid->addWidget(out->bypass, 3, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    return box;
}

}  // namespace

QWidget* channelPanel(const VariantNames& names, int channel, QWidget* extras, ChannelWidgets* out,
                      QWidget* parent) {
    const ChannelNamer name(names, channel);
    auto* panel = new QWidget(parent);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);

    row->addWidget(gainGroup("Input Gain", name, "InputGain", "Input", &out->inputGainSlider,
                             &out->inputGainSpin, &out->inputMeter, panel));

    auto* middle = new QVBoxLayout;
    middle->setSpacing(4);
    auto* top = new QHBoxLayout;
    top->setSpacing(4);
    QGroupBox* delay = group("Delay", panel);
    auto* delayGrid = compactGrid(delay);
    out->delaySlider = slider(name("Slider", "DelayMs"), Qt::Horizontal, delay);
    out->delaySpin = delaySpin(name("SpinBox", "Ms"), delay);
    addRow(delayGrid, 0, "Time:", out->delaySlider, out->delaySpin);
    delayGrid->setRowStretch(1, 1);
    top->addWidget(delay, 1);
    top->addWidget(
        filterGroup("High Pass", name, "HighPass", names.filterDecimals, &out->highPassBypass,
                    &out->highPassSlider, &out->highPassSpin, panel),
        1);
    top->addWidget(filterGroup("Low Pass", name, "LowPass", names.filterDecimals,
                               &out->lowPassBypass, &out->lowPassSlider, &out->lowPassSpin, panel),
                   1);
    if (extras) {
        top->addWidget(extras);
    }
    middle->addLayout(top);

    auto* bands = new QGridLayout;
    bands->setSpacing(4);
    for (int b = 0; b < ChannelWidgets::kBands; ++b) {
        bands->addWidget(bandGroup(b, name, &out->bands[b], panel), b / 4, b % 4);
    }
    middle->addLayout(bands, 1);
    row->addLayout(middle, 1);

    QGroupBox* output =
        gainGroup("Output Gain", name, "OutputGain", "Output", &out->outputGainSlider,
                  &out->outputGainSpin, &out->outputMeter, panel);
    auto* outputGrid = static_cast<QGridLayout*>(output->layout());
    out->outputMute = checkBox(name("CheckBox", "OutputMute"), "Mute", output);
    out->outputInvert = checkBox(name("CheckBox", "OutputInvert"), "Invert", output);
    outputGrid->addWidget(out->outputMute, 2, 0, 1, 2);
    outputGrid->addWidget(out->outputInvert, 3, 0, 1, 2);
    row->addWidget(output);
    return panel;
}

}  // namespace formpanels
