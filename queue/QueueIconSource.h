#pragma once

#include <QIcon>
#include <QString>

#include <cstdint>

// Where the queue list takes its images from: the platform's small icons by index (the
// desktop's icon theme is reached through widget classes, so the window supplies the
// implementation) and the program's own images by kind code. Without a source the list
// shows no images.
class QueueIconSource {
public:
    virtual ~QueueIconSource() = default;

    virtual std::int32_t folderIconIndex() = 0;
    // The file-type icon of a name (looked up by its extension).
    virtual std::int32_t fileIconIndex(const QString &name) = 0;
    virtual QIcon iconAt(std::int32_t index) = 0;
    // The program's image of an item kind; kDetailLineKind marks detail lines.
    virtual QIcon stateImage(std::int32_t kind) = 0;
};
