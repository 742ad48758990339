#include "OvLED.h"

#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kMillimetresPerInch = 25.4;
constexpr int kMinimumPixels = 8;
constexpr int kMaximumPixels = 256;
constexpr double kMaximumMillimetres = 100.0;
}  // namespace

OvLED::OvLED(QWidget* parent) : QWidget(parent) {
    m_flash_timer.setInterval(kDefaultFlashIntervalMs);
    connect(&m_flash_timer, &QTimer::timeout, this, &OvLED::toggleFlashPhase);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void OvLED::setDiameter(double millimetres) {
    if (!std::isfinite(millimetres) || millimetres < 0.0) {
        millimetres = 0.0;
    }
    m_diameter_mm = std::min(millimetres, kMaximumMillimetres);
    updateGeometry();
    update();
}

void OvLED::setColor(const QColor& color) {
    m_on_color = color;
    update();
}

void OvLED::setOffColor(const QColor& color) {
    m_off_color = color;
    update();
}

void OvLED::setState(bool on) {
    if (on == m_on) {
        return;
    }
    m_on = on;
    m_flash_lit = true;
    updateFlashTimer();
    update();
}

void OvLED::setFlashing(bool flashing) {
    if (flashing == m_flashing) {
        return;
    }
    m_flashing = flashing;
    m_flash_lit = true;
    updateFlashTimer();
    update();
}

void OvLED::setFlashInterval(int ms) {
    m_flash_timer.setInterval(std::max(ms, 1));
}

QColor OvLED::shownColor() const {
    return m_on && m_flash_lit ? m_on_color : m_off_color;
}

int OvLED::diameterPixels() const {
    const double pixels = m_diameter_mm * logicalDpiX() / kMillimetresPerInch;
    return std::clamp(int(std::lround(pixels)), kMinimumPixels, kMaximumPixels);
}

QSize OvLED::sizeHint() const {
    const int side = diameterPixels() + 4;
    return {side, side};
}

QSize OvLED::minimumSizeHint() const {
    return sizeHint();
}

void OvLED::updateFlashTimer() {
    if (m_on && m_flashing) {
        m_flash_timer.start();
    } else {
        m_flash_timer.stop();
    }
}

void OvLED::toggleFlashPhase() {
    m_flash_lit = !m_flash_lit;
    update();
}

void OvLED::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const double side = std::min({double(width()), double(height()), double(diameterPixels())});
    const QRectF lamp((width() - side) / 2.0 + 1.0, (height() - side) / 2.0 + 1.0, side - 2.0,
                      side - 2.0);
    const bool lit = m_on && m_flash_lit;
    const QColor base = shownColor();

    // Bezel: a dark ring that keeps the lamp readable on any background.
    painter.setPen(QPen(QColor(30, 30, 30, 220), 1.0));
    QRadialGradient body(lamp.center() - QPointF(lamp.width() * 0.18, lamp.height() * 0.18),
                         lamp.width() * 0.75);
    body.setColorAt(0.0, base.lighter(165));
    body.setColorAt(0.45, base);
    body.setColorAt(1.0, base.darker(170));
    painter.setBrush(body);
    painter.drawEllipse(lamp);

    // Glint: brighter on a lit lamp than on an unlit one.
    const QRectF glint(lamp.left() + lamp.width() * 0.22, lamp.top() + lamp.height() * 0.14,
                       lamp.width() * 0.42, lamp.height() * 0.3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, lit ? 150 : 70));
    painter.drawEllipse(glint);
}
