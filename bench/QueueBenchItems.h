#pragma once

#include "listing/FolderEntries.h"

#include <QString>

#include <cstdint>
#include <vector>

// Queue items as Receive of a big folder makes them: a download command of about 90
// characters with its entry, a thousand files a folder, sizes up to 50 MB.
struct QueueBenchItem {
    QString command;
    tFolderEntryObject entry;
};

// With mixedExtensions the names cycle through eight extensions (so the list looks up eight
// icons); otherwise every name ends in ".dat".
inline std::vector<QueueBenchItem> queueBenchDownloads(int count, bool mixedExtensions)
{
    static const char *const extensions[] = {"dat", "txt", "jpg", "tar.gz", "pdf", "c", "html", "log"};
    std::vector<QueueBenchItem> items(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const QString name =
            QStringLiteral("file_%1.%2").arg(i).arg(QLatin1String(extensions[mixedExtensions ? i % 8 : 0]));
        const QString folder = QStringLiteral("folder%1/").arg(i / 1000);
        QueueBenchItem &item = items[static_cast<std::size_t>(i)];
        item.command = QStringLiteral("getFile*/pub/data/") + folder + name + QStringLiteral("*/home/user/downloads/") +
                       folder + name;
        item.entry.name = name;
        item.entry.size = static_cast<std::int64_t>(i) * 7919 % 50'000'000;
    }
    return items;
}
