// Draws the programs' images into a folder: lamps, tool-bar icons, check boxes, logo and the
// device window's button icons. Run at build time; the images are compiled in from there.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

struct Image {
    const char* file;
    int size;
    std::function<void(QPainter&, double)> draw;
};

void drawLamp(QPainter& p, double s, const QColor& color) {
    const QRectF lamp(s * 0.1, s * 0.1, s * 0.8, s * 0.8);
    p.setPen(QPen(QColor(25, 25, 25), s * 0.05));
    QRadialGradient body(lamp.center() - QPointF(s * 0.14, s * 0.14), s * 0.6);
    body.setColorAt(0.0, color.lighter(170));
    body.setColorAt(0.45, color);
    body.setColorAt(1.0, color.darker(190));
    p.setBrush(body);
    p.drawEllipse(lamp);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawEllipse(QRectF(s * 0.28, s * 0.2, s * 0.34, s * 0.22));
}

void drawArrowHead(QPainter& p, QPointF tip, double angleDeg, double length, const QColor& c) {
    const double a = angleDeg * M_PI / 180.0;
    const QPointF dir(std::cos(a), -std::sin(a));
    const QPointF normal(-dir.y(), dir.x());
    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(tip - dir * length + normal * length * 0.6);
    head.lineTo(tip - dir * length - normal * length * 0.6);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(head);
}

void drawNetwork(QPainter& p, double s) {
    const QColor line(40, 60, 90);
    const QPointF hub(s * 0.5, s * 0.55);
    const QPointF nodes[] = {{s * 0.2, s * 0.22}, {s * 0.8, s * 0.22}, {s * 0.5, s * 0.88}};
    p.setPen(QPen(line, s * 0.06, Qt::SolidLine, Qt::RoundCap));
    for (const QPointF& n : nodes) {
        p.drawLine(hub, n);
    }
    for (const QPointF& n : nodes) {
        const QRectF r(n.x() - s * 0.15, n.y() - s * 0.11, s * 0.3, s * 0.22);
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, QColor(110, 180, 250));
        g.setColorAt(1, QColor(30, 100, 200));
        p.setPen(QPen(line, s * 0.035));
        p.setBrush(g);
        p.drawRoundedRect(r, s * 0.04, s * 0.04);
    }
    QRadialGradient g(hub - QPointF(s * 0.04, s * 0.04), s * 0.14);
    g.setColorAt(0, QColor(255, 210, 120));
    g.setColorAt(1, QColor(230, 130, 20));
    p.setPen(QPen(line, s * 0.035));
    p.setBrush(g);
    p.drawEllipse(hub, s * 0.11, s * 0.11);
}

void drawRefresh(QPainter& p, double s) {
    const QColor color(30, 150, 60);
    const QRectF ring(s * 0.2, s * 0.2, s * 0.6, s * 0.6);
    p.setPen(QPen(color, s * 0.12, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(ring, 100 * 16, 290 * 16);
    // The arc ends at 30 degrees, running clockwise; the head points along it.
    const double end = 30.0 * M_PI / 180.0;
    const QPointF tip(ring.center().x() + s * 0.3 * std::cos(end),
                      ring.center().y() - s * 0.3 * std::sin(end));
    drawArrowHead(p, tip + QPointF(s * 0.02, s * 0.12), 300.0, s * 0.26, color);
}

void drawFolderUpload(QPainter& p, double s) {
    const QColor edge(150, 100, 20);
    QPainterPath back;
    back.moveTo(s * 0.08, s * 0.25);
    back.lineTo(s * 0.38, s * 0.25);
    back.lineTo(s * 0.45, s * 0.33);
    back.lineTo(s * 0.92, s * 0.33);
    back.lineTo(s * 0.92, s * 0.85);
    back.lineTo(s * 0.08, s * 0.85);
    back.closeSubpath();
    p.setPen(QPen(edge, s * 0.03));
    p.setBrush(QColor(225, 170, 60));
    p.drawPath(back);
    const QRectF front(s * 0.08, s * 0.42, s * 0.84, s * 0.43);
    QLinearGradient g(front.topLeft(), front.bottomLeft());
    g.setColorAt(0, QColor(255, 215, 110));
    g.setColorAt(1, QColor(240, 175, 50));
    p.setBrush(g);
    p.drawRoundedRect(front, s * 0.03, s * 0.03);
    const QColor arrow(30, 100, 200);
    p.setPen(QPen(arrow, s * 0.1, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(s * 0.5, s * 0.8), QPointF(s * 0.5, s * 0.45));
    drawArrowHead(p, QPointF(s * 0.5, s * 0.2), 90.0, s * 0.28, arrow);
}

void drawLogo(QPainter& p, double s) {
    const QRectF tile(s * 0.04, s * 0.04, s * 0.92, s * 0.92);
    QLinearGradient g(tile.topLeft(), tile.bottomRight());
    g.setColorAt(0, QColor(30, 70, 130));
    g.setColorAt(1, QColor(10, 25, 55));
    p.setPen(QPen(QColor(5, 15, 35), s * 0.02));
    p.setBrush(g);
    p.drawRoundedRect(tile, s * 0.16, s * 0.16);
    const double stroke = s * 0.085;
    // Q: a ring with a tail.
    p.setPen(QPen(QColor(245, 245, 250), stroke, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(s * 0.12, s * 0.3, s * 0.38, s * 0.4));
    p.drawLine(QPointF(s * 0.37, s * 0.6), QPointF(s * 0.5, s * 0.74));
    // Z: three strokes.
    QPainterPath z;
    z.moveTo(s * 0.58, s * 0.32);
    z.lineTo(s * 0.86, s * 0.32);
    z.lineTo(s * 0.58, s * 0.68);
    z.lineTo(s * 0.86, s * 0.68);
    p.setPen(QPen(QColor(255, 140, 30), stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(z);
}

void drawChip(QPainter& p, double s) {
    p.setPen(QPen(QColor(60, 60, 65), s * 0.02));
    p.setBrush(QColor(175, 178, 185));
    for (int i = 0; i < 4; ++i) {
        const double at = s * (0.28 + i * 0.14);
        p.drawRect(QRectF(at - s * 0.035, s * 0.06, s * 0.07, s * 0.16));
        p.drawRect(QRectF(at - s * 0.035, s * 0.78, s * 0.07, s * 0.16));
        p.drawRect(QRectF(s * 0.06, at - s * 0.035, s * 0.16, s * 0.07));
        p.drawRect(QRectF(s * 0.78, at - s * 0.035, s * 0.16, s * 0.07));
    }
    const QRectF body(s * 0.18, s * 0.18, s * 0.64, s * 0.64);
    QLinearGradient g(body.topLeft(), body.bottomRight());
    g.setColorAt(0, QColor(70, 75, 85));
    g.setColorAt(1, QColor(25, 28, 32));
    p.setPen(QPen(QColor(10, 10, 12), s * 0.025));
    p.setBrush(g);
    p.drawRoundedRect(body, s * 0.05, s * 0.05);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(140, 145, 155));
    p.drawEllipse(QPointF(s * 0.3, s * 0.3), s * 0.045, s * 0.045);
    p.setPen(QPen(QColor(90, 200, 120), s * 0.04));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(s * 0.4, s * 0.4, s * 0.24, s * 0.24));
}

void drawCheckbox(QPainter& p, double s, bool checked) {
    const QRectF box(s * 0.08, s * 0.08, s * 0.84, s * 0.84);
    p.setPen(QPen(QColor(60, 65, 70), s * 0.08));
    if (checked) {
        QLinearGradient g(box.topLeft(), box.bottomLeft());
        g.setColorAt(0, QColor(80, 160, 240));
        g.setColorAt(1, QColor(30, 100, 200));
        p.setBrush(g);
    } else {
        p.setBrush(QColor(250, 250, 250));
    }
    p.drawRoundedRect(box, s * 0.18, s * 0.18);
    if (checked) {
        QPainterPath tick;
        tick.moveTo(s * 0.25, s * 0.52);
        tick.lineTo(s * 0.43, s * 0.7);
        tick.lineTo(s * 0.76, s * 0.3);
        p.setPen(QPen(Qt::white, s * 0.14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
}

void drawBypass(QPainter& p, double s) {
    const QColor color(40, 45, 50);
    p.setPen(QPen(color, s * 0.07));
    p.setBrush(QColor(200, 205, 210));
    p.drawRect(QRectF(s * 0.35, s * 0.5, s * 0.3, s * 0.3));
    QPainterPath route;
    route.moveTo(s * 0.05, s * 0.65);
    route.lineTo(s * 0.2, s * 0.65);
    route.lineTo(s * 0.2, s * 0.25);
    route.lineTo(s * 0.8, s * 0.25);
    route.lineTo(s * 0.8, s * 0.65);
    route.lineTo(s * 0.85, s * 0.65);
    p.setPen(QPen(QColor(30, 120, 220), s * 0.1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(route);
    drawArrowHead(p, QPointF(s * 0.99, s * 0.65), 0.0, s * 0.2, QColor(30, 120, 220));
}

void drawReset(QPainter& p, double s) {
    const QColor color(210, 80, 20);
    const QRectF ring(s * 0.16, s * 0.16, s * 0.68, s * 0.68);
    p.setPen(QPen(color, s * 0.11, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(ring, 130 * 16, -280 * 16);
    drawArrowHead(p, QPointF(s * 0.13, s * 0.18), 125.0, s * 0.3, color);
    p.setPen(QPen(QColor(40, 45, 50), s * 0.09, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(s * 0.34, s * 0.5), QPointF(s * 0.66, s * 0.5));
}

const Image kImages[] = {
    {"green_led.png", 32, [](QPainter& p, double s) { drawLamp(p, s, QColor(40, 210, 60)); }},
    {"yellow_led.png", 32, [](QPainter& p, double s) { drawLamp(p, s, QColor(245, 200, 20)); }},
    {"red_led.png", 32, [](QPainter& p, double s) { drawLamp(p, s, QColor(230, 35, 30)); }},
    {"network.png", 64, drawNetwork},
    {"refresh-icon.png", 64, drawRefresh},
    {"Folder-Upload-icon.png", 64, drawFolderUpload},
    {"QZ-Logo-2.png", 256, drawLogo},
    {"zeb_window_icon.png", 64, drawLogo},
    {"chip.png", 64, drawChip},
    {"checkbox_checked.png", 16, [](QPainter& p, double s) { drawCheckbox(p, s, true); }},
    {"checkbox_unchecked.png", 16, [](QPainter& p, double s) { drawCheckbox(p, s, false); }},
    {"bypass.png", 24, drawBypass},
    {"reset.png", 24, drawReset},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(".")) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    for (const Image& image : kImages) {
        QImage canvas(image.size, image.size, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        {
            QPainter painter(&canvas);
            painter.setRenderHint(QPainter::Antialiasing);
            image.draw(painter, image.size);
        }
        const QString path = folder.filePath(QString::fromLatin1(image.file));
        if (!canvas.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
