#pragma once

#include <QIcon>
#include <QString>

// Where the file lists take their small icons from. The desktop's icon theme is reached
// through widget classes, so the window supplies the implementation; without one the lists
// show no icons.
class FileIconSource {
public:
    virtual ~FileIconSource() = default;

    virtual QIcon folderIcon() = 0;
    // The icon for a file of this name (looked up by its extension).
    virtual QIcon fileIcon(const QString &name) = 0;
    // The icon with the shortcut arrow drawn over it, for symbolic links.
    virtual QIcon withLinkOverlay(const QIcon &icon) = 0;
};
