#pragma once

#include <QString>
#include <Qt>

class OvLED;
class QCheckBox;
class QDoubleSpinBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QWidget;

// Small factories for the device window form: each makes one named widget with the form's
// design-time settings.
namespace formbuilder {

QGroupBox* group(const QString& title, QWidget* parent);
// A grid layout with the form's tight margins, installed on box.
QGridLayout* compactGrid(QWidget* box);
QLabel* label(const QString& text, QWidget* parent);
QSlider* slider(const QString& name, Qt::Orientation orientation, QWidget* parent);
QDoubleSpinBox* doubleSpin(const QString& name, int decimals, double step, const QString& suffix,
                           double minimum, double maximum, QWidget* parent);
QDoubleSpinBox* gainSpin(const QString& name, double minimum, double maximum, QWidget* parent);
QSpinBox* delaySpin(const QString& name, QWidget* parent);
QCheckBox* checkBox(const QString& name, const QString& text, QWidget* parent);
QPushButton* button(const QString& name, const QString& text, QWidget* parent);
QLineEdit* lineEdit(const QString& name, const QString& text, bool readOnly, QWidget* parent);
// A status lamp: green when off.
OvLED* statusLed(const QString& name, QWidget* parent);
// A power lamp: green when on.
OvLED* powerLed(const QString& name, QWidget* parent);

}  // namespace formbuilder
