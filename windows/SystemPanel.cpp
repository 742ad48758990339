#include "FormBuilder.h"
#include "FormNames.h"
#include "FormPanels.h"
#include "FormWidgets.h"

#include "OvLED.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

using namespace formbuilder;

namespace formpanels {

namespace {

// A grid of lamps, one "lamp, label" row each.
void addLampRow(QGridLayout* grid, OvLED* lamp, const QString& text) {
    const int row = grid->rowCount();
    grid->addWidget(lamp, row, 0, Qt::AlignCenter);
    grid->addWidget(label(text, grid->parentWidget()), row, 1);
}

QGroupBox* lampGroup(const QString& title, QWidget* parent, QGridLayout** grid) {
    QGroupBox* box = group(title, parent);
    *grid = new QGridLayout(box);
    (*grid)->setColumnStretch(1, 1);
    return box;
}

QGroupBox* statusGroup(const VariantNames& n, FormVariant* out, QWidget* parent) {
    QGridLayout* grid;
    QGroupBox* box = lampGroup("Status", parent, &grid);
    out->ampStatusLed = statusLed(n.ampStatusLed, box);
    out->temperatureLed = statusLed(n.temperatureLed, box);
    out->speakerStatusLed = statusLed(n.speakerStatusLed, box);
    for (OvLED* lamp : {out->ampStatusLed, out->temperatureLed, out->speakerStatusLed}) {
        lamp->setFlashing(false);
    }
    out->temperatureLed->setState(false);
    out->speakerStatusLed->setState(true);
    addLampRow(grid, out->ampStatusLed, "Amp Status");
    addLampRow(grid, out->temperatureLed, "Temperature");
    addLampRow(grid, out->speakerStatusLed, "Speaker Status");
    return box;
}

QGroupBox* powerSourceGroup(const VariantNames& n, FormVariant* out, QWidget* parent) {
    QGridLayout* grid;
    QGroupBox* box = lampGroup("Power Source", parent, &grid);
    out->dcLed = powerLed(n.dcLed, box);
    out->poeLed = powerLed(n.poeLed, box);
    out->poePlusLed = powerLed(n.poePlusLed, box);
    out->dcLed->setState(false);
    out->poeLed->setState(true);
    out->poePlusLed->setState(false);
    addLampRow(grid, out->dcLed, "DC");
    addLampRow(grid, out->poeLed, "PoE");
    addLampRow(grid, out->poePlusLed, "PoE+");
    return box;
}

QGroupBox* impedanceMonitorGroup(const VariantNames& n, FormVariant* out, QWidget* parent) {
    QGridLayout* grid;
    QGroupBox* box = lampGroup("Impedance Monitor Configuration", parent, &grid);
    for (int i = 0; i < FormVariant::kImpedanceLeds; ++i) {
        if (n.impedanceLeds[i]) {
            out->impedanceLeds[i] = statusLed(n.impedanceLeds[i], box);
            addLampRow(grid, out->impedanceLeds[i], n.impedanceLabels[i]);
        }
    }
    return box;
}

QGroupBox* deviceInfoGroup(const VariantNames& n, FormVariant* out, QWidget* parent) {
    QGroupBox* box = group("Device Info:", parent);
    auto* grid = new QGridLayout(box);
    const bool ro = n.infoReadOnly;
    out->deviceName = lineEdit(n.deviceName, "QRA310-040506", ro, box);
    out->location = lineEdit(n.location, "Lobby A", false, box);
    out->ipAddress = lineEdit(n.ipAddress, "169.254.0.1", ro, box);
    out->model = lineEdit(n.model, "QRA310", ro, box);
    out->mac = lineEdit(n.mac, "010203040506", ro, box);
    out->fwVersion = lineEdit(n.fwVersion, "v1.0", ro, box);
    const std::pair<const char*, QLineEdit*> rows[] = {
        {"Device Name", out->deviceName}, {"Location:", out->location}, {"IP:", out->ipAddress},
        {"Model:", out->model},           {"MAC:", out->mac},           {"FW:", out->fwVersion},
    };
    for (const auto& [text, edit] : rows) {
        const int row = grid->rowCount();
        grid->addWidget(label(text, box), row, 0);
        grid->addWidget(edit, row, 1);
    }
    out->identify = checkBox(n.identify, "Identify", box);
    grid->addWidget(out->identify, grid->rowCount(), 1);
    return box;
}

QGroupBox* presetsGroup(const VariantNames& n, FormVariant* out, QWidget* parent) {
    QGroupBox* box = group("Presets", parent);
    auto* grid = new QGridLayout(box);
    out->loadPresetFile = button(n.loadPresetFile, "Load Preset File", box);
    out->savePresetFile = button(n.savePresetFile, "Save Preset File", box);
    out->recallDevicePreset = button(n.recallDevicePreset, "Recall Device Preset", box);
    out->saveDevicePreset = button(n.saveDevicePreset, "Save Device Preset", box);
    grid->addWidget(out->loadPresetFile, 0, 0);
    grid->addWidget(out->savePresetFile, 0, 1);
    grid->addWidget(out->recallDevicePreset, 1, 0);
    grid->addWidget(out->saveDevicePreset, 1, 1);
    return box;
}

QGroupBox* powerModeGroup(const VariantNames& n, FormVariant* out, QWidget* parent) {
    QGroupBox* box = group("Power Mode", parent);
    auto* layout = new QVBoxLayout(box);
    out->enable40W = checkBox(n.enable40W, "40W Enable", box);
    layout->addWidget(out->enable40W);
    return box;
}

QGroupBox* pinkNoiseGroup(const VariantNames& n, FormVariant* out, QWidget* parent) {
    QGroupBox* box = group("Pink Noise", parent);
    auto* grid = new QGridLayout(box);
    out->pinkNoiseEnable = checkBox(n.pinkNoiseEnable, "Enable", box);
    out->pinkNoiseSlider = slider(n.pinkNoiseSlider, Qt::Horizontal, box);
    out->pinkNoiseSlider->setRange(-88, 6);
    out->pinkNoiseSpin = gainSpin(n.pinkNoiseSpin, -88, 6, box);
    grid->addWidget(out->pinkNoiseEnable, 0, 1, 1, 2);
    grid->addWidget(label("Level:", box), 1, 0);
    grid->addWidget(out->pinkNoiseSlider, 1, 1);
    grid->addWidget(out->pinkNoiseSpin, 1, 2);
    grid->setColumnStretch(1, 1);
    return box;
}

QGroupBox* firmwareGroup(const VariantNames& n, FormVariant* out, QWidget* parent) {
    QGroupBox* box = group("FW Update", parent);
    auto* layout = new QVBoxLayout(box);
    out->firmwareUpdate = button(n.firmwareUpdate, "Firmware Update", box);
    layout->addWidget(out->firmwareUpdate);
    return box;
}

}  // namespace

QWidget* systemPanel(const VariantNames& n, FormVariant* out, QWidget* parent) {
    auto* panel = new QWidget(parent);
    auto* columns = new QHBoxLayout(panel);

    auto* left = new QVBoxLayout;
    left->addWidget(deviceInfoGroup(n, out, panel));
    left->addWidget(presetsGroup(n, out, panel));
    left->addStretch(1);

    auto* middle = new QVBoxLayout;
    middle->addWidget(statusGroup(n, out, panel));
    middle->addWidget(powerSourceGroup(n, out, panel));
    middle->addWidget(powerModeGroup(n, out, panel));
    middle->addStretch(1);

    auto* right = new QVBoxLayout;
    right->addWidget(impedanceMonitorGroup(n, out, panel));
    right->addWidget(pinkNoiseGroup(n, out, panel));
    right->addWidget(firmwareGroup(n, out, panel));
    right->addStretch(1);

    columns->addLayout(left, 3);
    columns->addLayout(middle, 2);
    columns->addLayout(right, 3);
    return panel;
}

QWidget* debugPanel(const VariantNames& n, FormVariant* out, QWidget* parent) {
    auto* panel = new QWidget(parent);
    auto* columns = new QHBoxLayout(panel);
    QGroupBox* box = group("Impedance Testing", panel);
    auto* grid = new QGridLayout(box);
    out->measuredImpedance = lineEdit(n.measuredImpedance, QString(), true, box);
    out->testLevel = lineEdit(n.testLevel, QString(), false, box);
    out->testFreq = lineEdit(n.testFreq, QString(), false, box);
    out->applyDebugTesting = button(n.applyDebugTesting, "Apply", box);
    out->triggerTest = button(n.triggerTest, "Trigger Test", box);
    grid->addWidget(label("Measured Impedance:", box), 0, 0);
    grid->addWidget(out->measuredImpedance, 0, 1, 1, 2);
    grid->addWidget(label("Test Level:", box), 1, 0);
    grid->addWidget(out->testLevel, 1, 1, 1, 2);
    grid->addWidget(label("Test Frequency:", box), 2, 0);
    grid->addWidget(out->testFreq, 2, 1, 1, 2);
    grid->addWidget(out->applyDebugTesting, 3, 1);
    grid->addWidget(out->triggerTest, 3, 2);
    auto* column = new QVBoxLayout;
    column->addWidget(box);
    column->addStretch(1);
    columns->addLayout(column, 1);
    columns->addStretch(1);
    return panel;
}

}  // namespace formpanels
