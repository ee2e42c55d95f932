#include "app/widgets/AppArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

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

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(emblem(size));
    return icon;
}

} // namespace AppArt
