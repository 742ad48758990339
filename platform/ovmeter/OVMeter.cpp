#include "OVMeter.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kScaleWidth = 22;
constexpr int kBarWidth = 12;
constexpr int kMargin = 5;
constexpr int kSegmentPitch = 4;
constexpr double kYellowFromDb = -12.0;
constexpr double kRedFromDb = 0.0;
const double kScaleMarks[] = {6, 0, -6, -12, -20, -30, -40, -50, -60};

double clampDb(double db) {
    if (std::isnan(db)) {
        return OVMeter::kMinDb;
    }
    return std::clamp(db, OVMeter::kMinDb, OVMeter::kMaxDb);
}

QColor segmentColor(double db, bool lit) {
    QColor color = db >= kRedFromDb      ? QColor(235, 40, 30)
                   : db >= kYellowFromDb ? QColor(240, 200, 20)
                                         : QColor(40, 210, 60);
    return lit ? color : color.darker(420);
}
}  // namespace

OVMeter::OVMeter(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    m_peak_clock.start();
}

void OVMeter::setDbValuePort1(double db) {
    const double level = clampDb(db);
    if (level >= m_peak_db || m_peak_clock.elapsed() > m_peak_hold_ms) {
        m_peak_db = level;
        m_peak_clock.restart();
    }
    m_level_db = level;
    update();
}

QSize OVMeter::sizeHint() const {
    return {kScaleWidth + kBarWidth + 2 * kMargin, 160};
}

QSize OVMeter::minimumSizeHint() const {
    return {kScaleWidth + kBarWidth + 2 * kMargin, 80};
}

QRect OVMeter::barRect() const {
    return {width() - kMargin - kBarWidth, kMargin, kBarWidth, std::max(height() - 2 * kMargin, 1)};
}

int OVMeter::yForDb(double db) const {
    const QRect bar = barRect();
    const double fraction = (clampDb(db) - kMinDb) / (kMaxDb - kMinDb);
    return bar.bottom() - int(std::lround(fraction * (bar.height() - 1)));
}

void OVMeter::drawSegments(QPainter& painter, double upToDb, bool lit) const {
    const QRect bar = barRect().adjusted(2, 2, -2, -2);
    const int top = lit ? std::max(yForDb(upToDb), bar.top()) : bar.top();
    for (int y = bar.bottom(); y - kSegmentPitch + 2 >= top; y -= kSegmentPitch) {
        const double fraction = double(bar.bottom() - y) / std::max(bar.height() - 1, 1);
        const double db = kMinDb + fraction * (kMaxDb - kMinDb);
        painter.fillRect(QRect(bar.left(), y - kSegmentPitch + 2, bar.width(), kSegmentPitch - 1),
                         segmentColor(db, lit));
    }
}

void OVMeter::renderBackground() {
    m_background = QPixmap(size() * devicePixelRatioF());
    m_background.setDevicePixelRatio(devicePixelRatioF());
    m_background.fill(Qt::transparent);
    QPainter painter(&m_background);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRect bar = barRect();
    painter.setPen(QColor(20, 20, 20));
    painter.setBrush(QColor(16, 18, 20));
    painter.drawRoundedRect(QRectF(bar).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    drawSegments(painter, kMaxDb, false);

    QFont font = painter.font();
    font.setPixelSize(9);
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::WindowText));
    const int textRight = bar.left() - 4;
    for (double mark : kScaleMarks) {
        const int y = yForDb(mark);
        painter.drawLine(bar.left() - 3, y, bar.left() - 1, y);
        const QRect text(0, y - 5, textRight, 10);
        painter.drawText(text, Qt::AlignRight | Qt::AlignVCenter, QString::number(mark));
    }
}

void OVMeter::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    renderBackground();
}

void OVMeter::paintEvent(QPaintEvent*) {
    if (m_background.size() != size() * devicePixelRatioF()) {
        renderBackground();
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
    if (m_level_db > kMinDb) {
        drawSegments(painter, m_level_db, true);
    }
    if (m_peak_db > kMinDb) {
        const QRect bar = barRect().adjusted(2, 0, -2, 0);
        const int y = std::max(yForDb(m_peak_db), bar.top() + 2);
        painter.fillRect(QRect(bar.left(), y, bar.width(), 2),
                         segmentColor(m_peak_db, true).lighter(130));
    }
}
