#pragma once

#include "browser/widgets/SystemFileIcons.h"
#include "queue/QueueIconSource.h"

#include <QHash>
#include <QList>

// The queue list's images: the desktop's small file and folder icons (through
// SystemFileIcons, one lookup per extension) and, for the kinds, the style's standard
// pictures closest to each verb.
class QueueIcons : public QueueIconSource {
public:
    QueueIcons();

    std::int32_t folderIconIndex() override { return 0; }
    std::int32_t fileIconIndex(const QString &name) override;
    QIcon iconAt(std::int32_t index) override;
    QIcon stateImage(std::int32_t kind) override;

private:
    SystemFileIcons m_system;
    QList<QIcon> m_icons;                              // 0 is the folder icon
    QHash<std::int32_t, std::int32_t> m_ofSystemIndex; // SystemFileIcons index -> ours
    QHash<std::int32_t, QIcon> m_stateImages;
};
