#pragma once

#include <QObject>

class QSlider;
class QSpinBox;

// Keeps an integer spin box and a slider in step. Neither widget is owned.
class SpinnerSliderLink : public QObject {
    Q_OBJECT
public:
    explicit SpinnerSliderLink(QObject* parent = nullptr);

    void bind(QSlider* slider, QSpinBox* spinner);
    // Value range min..max; the slider ends with the same whole-number range.
    void setRange(int min, int max);
    // Loads a value: both widgets follow, nothing is emitted.
    void setValue(int value);

    QSlider* slider() const { return m_slider; }
    QSpinBox* spinner() const { return m_spinner; }

signals:
    void valueChanged(int value);

public slots:
    void spinnerValueChanged(int value);
    void sliderValueChanged(int value);

private:
    double map(double value) const;
    double unmap(double position) const;

    QSlider* m_slider = nullptr;
    QSpinBox* m_spinner = nullptr;
};
