#include "queue/widgets/QueueIcons.h"

#include "queue/QueueCommand.h"

#include <QApplication>
#include <QStyle>

namespace {

QStyle::StandardPixmap pictureOfKind(std::int32_t kind)
{
    switch (kind) {
    case 1:  // getfile
    case 32: // getfolder
        return QStyle::SP_ArrowDown;
    case 9:  // putfile
    case 31: // putfolder
        return QStyle::SP_ArrowUp;
    case 30: // list
        return QStyle::SP_FileDialogContentsView;
    case 8: // makefolder
        return QStyle::SP_FileDialogNewFolder;
    case 29: // deletefile
    case 28: // deletefolder
        return QStyle::SP_TrashIcon;
    case 34: // renamefile
    case 36: // renamefolder
        return QStyle::SP_FileDialogDetailedView;
    case 17: // chmodfile
    case 7:  // chmodfolder
        return QStyle::SP_FileDialogInfoView;
    case 16: // openfile
        return QStyle::SP_DialogOpenButton;
    case 37: // editfile
        return QStyle::SP_DialogSaveButton;
    case 5: // stopqueue
        return QStyle::SP_MediaStop;
    case kDetailLineKind:
        return QStyle::SP_ArrowRight;
    default:
        return QStyle::SP_CustomBase;
    }
}

} // namespace

QueueIcons::QueueIcons()
{
    m_icons.append(m_system.folderIcon());
}

std::int32_t QueueIcons::fileIconIndex(const QString &name)
{
    const std::int32_t system = m_system.fileIconIndex(name);
    const auto it = m_ofSystemIndex.constFind(system);
    if (it != m_ofSystemIndex.constEnd())
        return *it;
    m_icons.append(m_system.fileIcon(name));
    const auto ours = static_cast<std::int32_t>(m_icons.size() - 1);
    m_ofSystemIndex.insert(system, ours);
    return ours;
}

QIcon QueueIcons::iconAt(std::int32_t index)
{
    return index >= 0 && index < m_icons.size() ? m_icons[index] : QIcon();
}

QIcon QueueIcons::stateImage(std::int32_t kind)
{
    const auto it = m_stateImages.constFind(kind);
    if (it != m_stateImages.constEnd())
        return *it;
    const QStyle::StandardPixmap picture = pictureOfKind(kind);
    const QIcon icon = picture == QStyle::SP_CustomBase ? QIcon() : QApplication::style()->standardIcon(picture);
    m_stateImages.insert(kind, icon);
    return icon;
}
