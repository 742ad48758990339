#pragma once

#include <QObject>

class QDoubleSpinBox;
class QSlider;

// Keeps a double spin box and a slider in step. Neither widget is owned.
class DoubleSpinnerSliderLink : public QObject {
    Q_OBJECT
public:
    static constexpr int kSliderSteps = 999;
    static constexpr int kQSliderSteps = 99;

    explicit DoubleSpinnerSliderLink(QObject* parent = nullptr);

    void bind(QSlider* slider, QDoubleSpinBox* spinner);
    // Value range min..max; the slider ends with the range trunc(min)..trunc(max), one step per
    // whole unit. sliderSteps is the slider's range while the spin box range is set.
    void setRange(double min, double max, int sliderSteps = kSliderSteps);
    // Loads a value: the spin box shows it, the slider follows, nothing is emitted.
    void setValue(double value);

    QSlider* slider() const { return m_slider; }
    QDoubleSpinBox* spinner() const { return m_spinner; }

signals:
    void valueChanged(double value);

public slots:
    void spinnerValueChanged(double value);
    void sliderValueChanged(int value);

private:
    double map(double value) const;
    double unmap(double position) const;

    QSlider* m_slider = nullptr;
    QDoubleSpinBox* m_spinner = nullptr;
};
