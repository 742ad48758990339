#include "FormBuilder.h"

#include "OvLED.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

namespace formbuilder {

namespace {
constexpr double kLedDiameter = 3;
constexpr int kTitleInsets = 24;
const QColor kLedGreen(0, 255, 0, 255);

template <class W>
W* named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

OvLED* led(const QString& name, QWidget* parent) {
    OvLED* lamp = named(new OvLED(parent), name);
    lamp->setDiameter(kLedDiameter);
    return lamp;
}
}  // namespace

QGroupBox* group(const QString& title, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    // The style's size hint leaves the title out; keep it whole.
    box->setMinimumWidth(box->fontMetrics().horizontalAdvance(title) + kTitleInsets);
    return box;
}

QGridLayout* compactGrid(QWidget* box) {
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(6, 4, 6, 6);
    grid->setSpacing(4);
    return grid;
}

QLabel* label(const QString& text, QWidget* parent) {
    return new QLabel(text, parent);
}

QSlider* slider(const QString& name, Qt::Orientation orientation, QWidget* parent) {
    QSlider* s = named(new QSlider(orientation, parent), name);
    if (orientation == Qt::Horizontal) {
        s->setMinimumWidth(50);
    }
    return s;
}

QDoubleSpinBox* doubleSpin(const QString& name, int decimals, double step, const QString& suffix,
                           double minimum, double maximum, QWidget* parent) {
    QDoubleSpinBox* spin = named(new QDoubleSpinBox(parent), name);
    spin->setDecimals(decimals);
    spin->setSingleStep(step);
    spin->setSuffix(suffix);
    spin->setRange(minimum, maximum);
    spin->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return spin;
}

QDoubleSpinBox* gainSpin(const QString& name, double minimum, double maximum, QWidget* parent) {
    return doubleSpin(name, 1, 0.5, "dB", minimum, maximum, parent);
}

QSpinBox* delaySpin(const QString& name, QWidget* parent) {
    QSpinBox* spin = named(new QSpinBox(parent), name);
    spin->setSingleStep(1);
    spin->setSuffix("ms");
    spin->setRange(0, 100);
    spin->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return spin;
}

QCheckBox* checkBox(const QString& name, const QString& text, QWidget* parent) {
    return named(new QCheckBox(text, parent), name);
}

QPushButton* button(const QString& name, const QString& text, QWidget* parent) {
    return named(new QPushButton(text, parent), name);
}

QLineEdit* lineEdit(const QString& name, const QString& text, bool readOnly, QWidget* parent) {
    QLineEdit* edit = named(new QLineEdit(text, parent), name);
    edit->setReadOnly(readOnly);
    return edit;
}

OvLED* statusLed(const QString& name, QWidget* parent) {
    OvLED* lamp = led(name, parent);
    lamp->setProperty("off_color", QVariant::fromValue(kLedGreen));
    return lamp;
}

OvLED* powerLed(const QString& name, QWidget* parent) {
    OvLED* lamp = led(name, parent);
    lamp->setColor(kLedGreen);
    return lamp;
}

}  // namespace formbuilder
