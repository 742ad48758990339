#include "DoubleSpinnerSliderLink.h"

#include "LinkMath.h"

#include <QDoubleSpinBox>
#include <QSignalBlocker>
#include <QSlider>

DoubleSpinnerSliderLink::DoubleSpinnerSliderLink(QObject* parent) : QObject(parent) {}

void DoubleSpinnerSliderLink::bind(QSlider* slider, QDoubleSpinBox* spinner) {
    m_slider = slider;
    m_spinner = spinner;
    connect(m_spinner, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
            &DoubleSpinnerSliderLink::spinnerValueChanged);
    connect(m_slider, &QSlider::valueChanged, this, &DoubleSpinnerSliderLink::sliderValueChanged);
}

void DoubleSpinnerSliderLink::setRange(double min, double max, int sliderSteps) {
    m_slider->setRange(0, sliderSteps);
    m_spinner->setRange(min, max);
    m_slider->setRange(linkmath::truncToInt(min), linkmath::truncToInt(max));
    m_spinner->setRange(min, max);
}

double DoubleSpinnerSliderLink::map(double value) const {
    return linkmath::map(value, m_spinner->minimum(), m_spinner->maximum(), m_slider->minimum(),
                         m_slider->maximum());
}

double DoubleSpinnerSliderLink::unmap(double position) const {
    return linkmath::unmap(position, m_slider->minimum(), m_slider->maximum(), m_spinner->minimum(),
                           m_spinner->maximum());
}

void DoubleSpinnerSliderLink::spinnerValueChanged(double value) {
    {
        const QSignalBlocker block(m_slider);
        m_slider->setValue(linkmath::truncToInt(map(value)));
    }
    emit valueChanged(value);
}

void DoubleSpinnerSliderLink::sliderValueChanged(int value) {
    const double unmapped = unmap(value);
    {
        const QSignalBlocker block(m_spinner);
        m_spinner->setValue(unmapped);
    }
    emit valueChanged(unmapped);
}

void DoubleSpinnerSliderLink::setValue(double value) {
    const QSignalBlocker blockSpinner(m_spinner);
    const QSignalBlocker blockSlider(m_slider);
    m_spinner->setValue(value);
    m_slider->setValue(linkmath::truncToInt(map(value)));
}
