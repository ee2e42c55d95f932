#include "app/widgets/LogoWidget.h"

#include "app/widgets/AppArt.h"

#include <QLinearGradient>
#include <QPainter>

LogoWidget::LogoWidget(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("image1"));
    setMinimumSize(12, 12);
}

void LogoWidget::setCustomPicture(const QPixmap &picture)
{
    m_custom = picture;
    update();
}

void LogoWidget::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(rect().topLeft(), rect().bottomLeft());
    background.setColorAt(0, QColor(255, 255, 255));
    background.setColorAt(1, QColor(226, 235, 248));
    p.fillRect(rect(), background);
    if (!m_custom.isNull()) {
        const QPixmap shown = m_custom.size().boundedTo(size()) == m_custom.size()
                                  ? m_custom
                                  : m_custom.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        p.drawPixmap(rect().center() - shown.rect().center(), shown);
        return;
    }
    const int side = std::clamp(std::min(width(), height()) / 3, 16, 96);
    QFont title = font();
    title.setPixelSize(std::max(10, side / 4));
    title.setBold(true);
    QFont sub = font();
    sub.setPixelSize(std::max(8, side / 7));
    const int blockHeight = side + title.pixelSize() + sub.pixelSize() + 16;
    const int top = std::max(0, (height() - blockHeight) / 2);
    p.drawPixmap((width() - side) / 2, top, AppArt::emblem(side));
    p.setFont(title);
    p.setPen(QColor(20, 60, 140));
    const QRect titleRect(0, top + side + 8, width(), title.pixelSize() + 4);
    p.drawText(titleRect, Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Kestrin FTP Pro"));
    p.setFont(sub);
    p.setPen(QColor(110, 120, 140));
    p.drawText(QRect(0, titleRect.bottom() + 4, width(), sub.pixelSize() + 4), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("not connected"));
}
