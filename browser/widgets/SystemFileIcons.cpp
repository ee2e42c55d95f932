#include "browser/widgets/SystemFileIcons.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int kSmall = 16;

// The shortcut arrow: a small white box with a curved arrow in its lower left corner.
void drawLinkArrow(QPainter &p, int size)
{
    const qreal box = size * 0.5;
    const QRectF frame(0.5, size - box - 0.5, box, box);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(Qt::white);
    p.drawRect(frame);
    QPainterPath arrow;
    arrow.moveTo(frame.left() + box * 0.25, frame.bottom() - box * 0.2);
    arrow.quadTo(frame.left() + box * 0.25, frame.top() + box * 0.3, frame.right() - box * 0.2,
                 frame.top() + box * 0.3);
    p.setPen(QPen(QColor(20, 60, 160), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arrow);
    QPolygonF head;
    head << QPointF(frame.right() - box * 0.1, frame.top() + box * 0.3)
         << QPointF(frame.right() - box * 0.4, frame.top() + box * 0.1)
         << QPointF(frame.right() - box * 0.4, frame.top() + box * 0.5);
    p.setBrush(QColor(20, 60, 160));
    p.drawPolygon(head);
}

} // namespace

SystemFileIcons::SystemFileIcons()
{
    m_folderIcon = m_provider.icon(QFileIconProvider::Folder);
    m_genericFile = m_provider.icon(QFileIconProvider::File);
}

std::int32_t SystemFileIcons::fileIconIndex(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString key = (dot < 0 ? name : name.mid(dot + 1)).toLower();
    const auto it = m_iconCache.constFind(key);
    if (it != m_iconCache.constEnd())
        return it->imageIndex;
    // The provider finds a file's icon by the name's MIME type, so the file need not exist.
    QIcon icon = m_provider.icon(QFileInfo(QDir::tempPath() + QStringLiteral("/!.") + key));
    if (icon.isNull())
        icon = m_genericFile;
    m_icons.append(icon);
    const tImageListIndex index{static_cast<std::int32_t>(m_icons.size() - 1)};
    m_iconCache.insert(key, index);
    return index.imageIndex;
}

QIcon SystemFileIcons::fileIcon(const QString &name)
{
    return m_icons.at(fileIconIndex(name));
}

QIcon SystemFileIcons::withLinkOverlay(const QIcon &icon)
{
    const auto it = m_overlaid.constFind(icon.cacheKey());
    if (it != m_overlaid.constEnd())
        return *it;
    // One picture per screen scale (100 %, 200 %, 300 %), so the arrow stays sharp on
    // scaled screens.
    QIcon result;
    for (int scale : {1, 2, 3}) {
        QPixmap pixmap(kSmall * scale, kSmall * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        icon.paint(&p, QRect(0, 0, kSmall, kSmall));
        drawLinkArrow(p, kSmall);
        p.end();
        result.addPixmap(pixmap);
    }
    m_overlaid.insert(icon.cacheKey(), result);
    return result;
}
