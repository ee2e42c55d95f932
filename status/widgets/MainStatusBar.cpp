#include "status/widgets/MainStatusBar.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A padlock drawn at the panel's size, so it stays sharp at any scale; an open one has its
// shackle lifted and swung off to the right.
QPixmap lockPixmap(int side, qreal ratio, const QColor &color, bool open = false)
{
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = side;
    QPen pen(color, w / 9.0);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    // The shackle: an arch over the body.
    const QRectF arch = open ? QRectF(w * 0.5, 0, w * 0.4, w * 0.4) : QRectF(w * 0.3, w * 0.1, w * 0.4, w * 0.5);
    QPainterPath shackle;
    shackle.moveTo(arch.left(), open ? arch.center().y() : w * 0.48);
    shackle.lineTo(arch.left(), arch.center().y());
    shackle.arcTo(arch, 180, -180);
    shackle.lineTo(arch.right(), w * 0.48);
    p.drawPath(shackle);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRoundedRect(QRectF(w * 0.2, w * 0.45, w * 0.6, w * 0.45), w * 0.08, w * 0.08);
    return pixmap;
}

} // namespace

MainStatusBar::MainStatusBar(QWidget *parent) : QStatusBar(parent)
{
    setObjectName(QStringLiteral("stat"));
    setFixedHeight(19);
    setSizeGripEnabled(true);
    m_first = new QLabel(this);
    m_first->setObjectName(QStringLiteral("statPanel0"));
    m_first->setFixedWidth(25);
    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("statPanel1"));
    addWidget(m_first);
    addWidget(m_hint, 1);
}

void MainStatusBar::setPlainConnection(bool plain)
{
    if (plain == m_plain)
        return;
    m_plain = plain;
    if (!plain) {
        m_first->clear();
        m_first->setToolTip(QString());
        return;
    }
    m_first->setPixmap(lockPixmap(14, devicePixelRatioF(), palette().color(QPalette::WindowText), true));
    m_first->setAlignment(Qt::AlignCenter);
    m_first->setToolTip(
        QStringLiteral("Not encrypted: this connection is plain FTP; passwords and files travel readable"));
}

void MainStatusBar::setEncryption(const QString &description)
{
    if (description.isEmpty()) {
        if (!m_plain) {
            m_first->clear();
            m_first->setToolTip(QString());
        }
        return;
    }
    m_plain = false;
    m_first->setPixmap(lockPixmap(14, devicePixelRatioF(), palette().color(QPalette::WindowText)));
    m_first->setAlignment(Qt::AlignCenter);
    m_first->setToolTip(QStringLiteral("Encrypted connection: ") + description);
}
