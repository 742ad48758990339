#pragma once

#include <QElapsedTimer>
#include <QPixmap>
#include <QWidget>

// A vertical level meter: a segmented bar over a dB scale with a short peak hold. Any value is
// accepted; NaN and values below the scale show an empty bar, values above it a full one.
class OVMeter : public QWidget {
    Q_OBJECT
public:
    static constexpr double kMinDb = -60.0;
    static constexpr double kMaxDb = 6.0;
    static constexpr int kDefaultPeakHoldMs = 1500;

    explicit OVMeter(QWidget* parent = nullptr);

    void setDbValuePort1(double db);
    // The level shown and the held peak, both within kMinDb..kMaxDb.
    double dbValue() const { return m_level_db; }
    double peakDb() const { return m_peak_db; }
    void setPeakHoldMs(int ms) { m_peak_hold_ms = ms; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect barRect() const;
    int yForDb(double db) const;
    void drawSegments(QPainter& painter, double upToDb, bool lit) const;
    void renderBackground();

    double m_level_db = kMinDb;
    double m_peak_db = kMinDb;
    int m_peak_hold_ms = kDefaultPeakHoldMs;
    QElapsedTimer m_peak_clock;
    QPixmap m_background;
};
