#pragma once

#include "browser/FileIconSource.h"
#include "listing/FolderEntries.h"

#include <QFileIconProvider>
#include <QHash>
#include <QList>

// Small icons from the desktop's icon theme through QFileIconProvider (the platform's
// system icons), with the style's generic file and folder icons where the theme has none.
// File icons are looked up once per extension (iconCache) and kept for the whole run.
class SystemFileIcons : public FileIconSource {
public:
    SystemFileIcons();

    QIcon folderIcon() override { return m_folderIcon; }
    QIcon fileIcon(const QString &name) override;
    QIcon withLinkOverlay(const QIcon &icon) override;

    // Small icon index for a file name (its extension, or the whole name when it has no
    // "."), letter case ignored.
    std::int32_t fileIconIndex(const QString &name);
    int cachedExtensionCount() const { return static_cast<int>(m_iconCache.size()); }

private:
    QFileIconProvider m_provider;
    QIcon m_folderIcon;
    QIcon m_genericFile;
    QList<QIcon> m_icons;                        // the image list the indexes point into
    QHash<QString, tImageListIndex> m_iconCache; // lower-cased extension -> index
    QHash<qint64, QIcon> m_overlaid;             // icon cache key -> icon with the arrow
};
