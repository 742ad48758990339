#include "SpinnerSliderLink.h"

#include "LinkMath.h"

#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>

namespace {
constexpr int kSliderSteps = 999;
}

SpinnerSliderLink::SpinnerSliderLink(QObject* parent) : QObject(parent) {}

void SpinnerSliderLink::bind(QSlider* slider, QSpinBox* spinner) {
    m_slider = slider;
    m_spinner = spinner;
    connect(m_spinner, qOverload<int>(&QSpinBox::valueChanged), this,
            &SpinnerSliderLink::spinnerValueChanged);
    connect(m_slider, &QSlider::valueChanged, this, &SpinnerSliderLink::sliderValueChanged);
}

void SpinnerSliderLink::setRange(int min, int max) {
    m_slider->setRange(0, kSliderSteps);
    m_spinner->setRange(min, max);
    m_slider->setRange(min, max);
    m_spinner->setRange(min, max);
}

double SpinnerSliderLink::map(double value) const {
    return linkmath::map(value, m_spinner->minimum(), m_spinner->maximum(), m_slider->minimum(),
                         m_slider->maximum());
}

double SpinnerSliderLink::unmap(double position) const {
    return linkmath::unmap(position, m_slider->minimum(), m_slider->maximum(), m_spinner->minimum(),
                           m_spinner->maximum());
}

void SpinnerSliderLink::spinnerValueChanged(int value) {
    {
        const QSignalBlocker block(m_slider);
        m_slider->setValue(linkmath::truncToInt(map(value)));
    }
    emit valueChanged(value);
}

void SpinnerSliderLink::sliderValueChanged(int value) {
    {
        const QSignalBlocker block(m_spinner);
        m_spinner->setValue(linkmath::truncToInt(unmap(value)));
    }
    emit valueChanged(value);
}

void SpinnerSliderLink::setValue(int value) {
    const QSignalBlocker blockSpinner(m_spinner);
    const QSignalBlocker blockSlider(m_slider);
    m_spinner->setValue(value);
    m_slider->setValue(linkmath::truncToInt(map(value)));
}
