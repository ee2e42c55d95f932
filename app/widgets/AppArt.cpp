#include "app/widgets/AppArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <functional>

namespace AppArt {

namespace {

// A kestrin seen from below, wings spread, in a unit square.
QPainterPath bird()
{
    QPainterPath path;
    path.moveTo(0.50, 0.30);
    path.cubicTo(0.42, 0.28, 0.30, 0.22, 0.08, 0.30); // left wing leading edge
    path.cubicTo(0.24, 0.36, 0.34, 0.42, 0.44, 0.48);
    path.lineTo(0.42, 0.72);
    path.lineTo(0.50, 0.80); // tail
    path.lineTo(0.58, 0.72);
    path.lineTo(0.56, 0.48);
    path.cubicTo(0.66, 0.42, 0.76, 0.36, 0.92, 0.30); // right wing
    path.cubicTo(0.70, 0.22, 0.58, 0.28, 0.50, 0.30);
    path.closeSubpath();
    path.addEllipse(QPointF(0.50, 0.27), 0.05, 0.05); // head
    return path;
}

} // namespace

QPixmap emblem(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient disc(QPointF(size * 0.35, size * 0.3), size * 0.8);
    disc.setColorAt(0, QColor(90, 150, 230));
    disc.setColorAt(1, QColor(20, 60, 140));
    p.setBrush(disc);
    p.setPen(QPen(QColor(15, 40, 100), std::max(1.0, size / 40.0)));
    p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    p.scale(size, size);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(245, 190, 90));
    p.drawPath(bird());
    return pixmap;
}

namespace {

QIcon drawnIcon(const std::function<void(QPainter &)> &draw)
{
    QIcon icon;
    // Large sizes too: scaled screens (150 %, 200 %) pick them instead of enlarging 32.
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        draw(p);
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

QIcon filterIcon()
{
    return drawnIcon([](QPainter &p) {
        QPainterPath funnel;
        funnel.moveTo(4, 5);
        funnel.lineTo(28, 5);
        funnel.lineTo(18, 17);
        funnel.lineTo(18, 27);
        funnel.lineTo(14, 29);
        funnel.lineTo(14, 17);
        funnel.closeSubpath();
        p.setPen(QPen(QColor(20, 60, 140), 1.5));
        p.setBrush(QColor(90, 150, 230));
        p.drawPath(funnel);
    });
}

QIcon permissionsIcon()
{
    return drawnIcon([](QPainter &p) {
        p.setPen(QPen(QColor(90, 90, 90), 3));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(9, 3, 14, 16), 0, 180 * 16);
        p.drawLine(QPointF(9, 11), QPointF(9, 15));
        p.drawLine(QPointF(23, 11), QPointF(23, 15));
        p.setPen(QPen(QColor(150, 100, 10), 1.5));
        p.setBrush(QColor(245, 190, 90));
        p.drawRoundedRect(QRectF(5, 14, 22, 15), 2, 2);
        p.setBrush(QColor(90, 60, 10));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(16, 20), 2.2, 2.2);
        p.drawRect(QRectF(15.2, 20, 1.6, 5));
    });
}

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(emblem(size));
    return icon;
}

} // namespace AppArt
