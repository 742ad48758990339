#pragma once

#include <QColor>
#include <QTimer>
#include <QWidget>

// A round indicator lamp: the on colour when its state is on, the off colour otherwise; while
// flashing, an on lamp alternates between the two.
class OvLED : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor off_color READ offColor WRITE setOffColor)
public:
    static constexpr int kDefaultFlashIntervalMs = 500;

    explicit OvLED(QWidget* parent = nullptr);

    // Diameter of the lamp in millimetres on screen.
    void setDiameter(double millimetres);
    double diameter() const { return m_diameter_mm; }
    void setColor(const QColor& color);
    QColor color() const { return m_on_color; }
    void setOffColor(const QColor& color);
    QColor offColor() const { return m_off_color; }
    void setState(bool on);
    bool state() const { return m_on; }
    void setFlashing(bool flashing);
    bool isFlashing() const { return m_flashing; }
    void setFlashInterval(int ms);

    // The colour the lamp shows right now.
    QColor shownColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return width; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int diameterPixels() const;
    void updateFlashTimer();
    void toggleFlashPhase();

    double m_diameter_mm = 3.0;
    QColor m_on_color{220, 30, 30};
    QColor m_off_color{70, 74, 78};
    bool m_on = false;
    bool m_flashing = false;
    bool m_flash_lit = true;
    QTimer m_flash_timer;
};
