#include "app/Icons.h"

#include <QPainter>
#include <cmath>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace app::icons {

namespace {

QIcon draw(const std::function<void(QPainter&)>& paint)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    p.end();
    return QIcon(pm);
}

void frame(QPainter& p, const QRectF& r, const QColor& fill)
{
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(fill);
    p.drawRoundedRect(r, 3, 3);
}

void arrow(QPainter& p, bool right, const QColor& c)
{
    QPainterPath path;
    if (right) {
        path.moveTo(6, 12); path.lineTo(18, 12); path.lineTo(18, 5); path.lineTo(28, 16);
        path.lineTo(18, 27); path.lineTo(18, 20); path.lineTo(6, 20);
    } else {
        path.moveTo(26, 12); path.lineTo(14, 12); path.lineTo(14, 5); path.lineTo(4, 16);
        path.lineTo(14, 27); path.lineTo(14, 20); path.lineTo(26, 20);
    }
    path.closeSubpath();
    p.setPen(QPen(c.darker(160), 1.5));
    p.setBrush(c);
    p.drawPath(path);
}

} // namespace

QIcon program()
{
    return draw([](QPainter& p) {
        frame(p, QRectF(3, 3, 26, 26), QColor(70, 130, 200));
        p.setPen(QPen(Qt::white, 3));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(8, 8, 14, 14));
        p.drawLine(QPointF(19, 19), QPointF(25, 25));
    });
}

QIcon directory()
{
    return draw([](QPainter& p) {
        frame(p, QRectF(3, 9, 26, 18), QColor(240, 200, 80));
        p.setBrush(QColor(250, 220, 120));
        p.drawRect(QRectF(3, 6, 11, 5));
    });
}

QIcon settings()
{
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 5, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 4; ++i) {
            p.save();
            p.translate(16, 16);
            p.rotate(45 * i);
            p.drawLine(QPointF(-12, 0), QPointF(12, 0));
            p.restore();
        }
        p.setBrush(QColor(180, 180, 180));
        p.setPen(QPen(QColor(60, 60, 60), 2));
        p.drawEllipse(QRectF(9, 9, 14, 14));
    });
}

QIcon search()
{
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(40, 40, 40), 3));
        p.setBrush(QColor(200, 230, 255));
        p.drawEllipse(QRectF(4, 4, 17, 17));
        p.setPen(QPen(QColor(120, 80, 30), 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(19, 19), QPointF(28, 28));
    });
}

QIcon single()
{
    return draw([](QPainter& p) {
        frame(p, QRectF(4, 5, 24, 22), QColor(150, 200, 240));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 150, 60));
        p.drawPolygon(QPolygonF({QPointF(6, 25), QPointF(14, 13), QPointF(20, 21), QPointF(26, 25)}));
    });
}

QIcon multiple()
{
    return draw([](QPainter& p) {
        frame(p, QRectF(9, 3, 20, 16), QColor(190, 220, 245));
        frame(p, QRectF(3, 13, 20, 16), QColor(150, 200, 240));
    });
}

QIcon table()
{
    return draw([](QPainter& p) {
        frame(p, QRectF(3, 3, 26, 26), Qt::white);
        p.setPen(QPen(QColor(40, 40, 40), 1.5));
        for (int i = 1; i < 3; ++i) {
            p.drawLine(QPointF(3 + i * 26.0 / 3, 3), QPointF(3 + i * 26.0 / 3, 29));
            p.drawLine(QPointF(3, 3 + i * 26.0 / 3), QPointF(29, 3 + i * 26.0 / 3));
        }
    });
}

QIcon stop(int index)
{
    const bool busy = index == 8;
    return draw([busy](QPainter& p) {
        p.setPen(QPen(QColor(40, 40, 40), 2));
        p.setBrush(busy ? QColor(220, 40, 40) : QColor(170, 170, 170));
        QPolygonF octagon;
        for (int i = 0; i < 8; ++i) {
            const double a = (22.5 + 45 * i) * 3.14159265 / 180.0;
            octagon << QPointF(16 + 13 * std::cos(a), 16 + 13 * std::sin(a));
        }
        p.drawPolygon(octagon);
        p.setPen(QPen(Qt::white, 3));
        p.drawLine(QPointF(10, 16), QPointF(22, 16));
    });
}

QIcon back()
{
    return draw([](QPainter& p) { arrow(p, false, QColor(80, 160, 80)); });
}

QIcon forward()
{
    return draw([](QPainter& p) { arrow(p, true, QColor(80, 160, 80)); });
}

QIcon collect()
{
    return draw([](QPainter& p) {
        frame(p, QRectF(4, 16, 24, 12), QColor(200, 170, 120));
        p.setPen(QPen(QColor(40, 90, 160), 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 3), QPointF(16, 13));
        p.drawLine(QPointF(11, 8), QPointF(16, 13));
        p.drawLine(QPointF(21, 8), QPointF(16, 13));
    });
}

QIcon hardDisk()
{
    return draw([](QPainter& p) {
        frame(p, QRectF(3, 9, 26, 15), QColor(190, 190, 200));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 200, 40));
        p.drawEllipse(QRectF(22, 18, 4, 4));
    });
}

QIcon www()
{
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(30, 80, 160), 2));
        p.setBrush(QColor(150, 200, 250));
        p.drawEllipse(QRectF(3, 3, 26, 26));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(10, 3, 12, 26));
        p.drawLine(QPointF(3, 16), QPointF(29, 16));
    });
}

QIcon explore()
{
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(30, 110, 30), 2));
        p.setBrush(QColor(80, 190, 80));
        p.drawPolygon(QPolygonF({QPointF(8, 4), QPointF(28, 16), QPointF(8, 28)}));
    });
}

QIcon web()
{
    return draw([](QPainter& p) {
        frame(p, QRectF(3, 4, 26, 24), Qt::white);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(70, 130, 200));
        p.drawRect(QRectF(4, 5, 24, 5));
    });
}

} // namespace app::icons
