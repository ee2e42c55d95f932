#pragma once

#include "listing/FolderEntries.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QueueModel;

// Queue files: the recovery queue "[recovery].dat" and the queues the user saves by name.
// A file holds two lines per top-level item, ended by CR LF: the item's command exactly,
// then its entry as "time*size*attributes*name" (signed decimals) or an empty line when the
// item has none. Nothing else: no header, no count. Lines are written in UTF-8; reading also
// takes Windows-1252 lines, as other stored files do.

// One item of a queue file: what addToQueue needs to make the item again.
struct QueueFileRecord {
    QString command;
    std::optional<tFolderEntryObject> entry;
};

// The text of a queue file for the model's top-level items, in queue order.
QByteArray encodeQueueFile(const QueueModel &model);

struct QueueFileContents {
    std::vector<QueueFileRecord> records;
    // Empty when every pair was read. Otherwise the pair reading stopped at, as
    // "first line - second line", and `error` says what was wrong with it; the records
    // before it are kept.
    QString failedPair;
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// Reads pairs of lines until the end. A damaged entry line (a number that is not one, fewer
// than four fields) stops the reading at that pair; a last pair without its second line
// (a file cut while written) is dropped. An entry of a "getfolder" or "putfolder" item is
// a folder. A name that held "*" comes back cut at its first "*".
QueueFileContents decodeQueueFile(const QByteArray &bytes);

// Whether a name the user typed for a saved queue may become a file of the saved queue
// folder: not empty, no "/", "\" or NUL, not "." or "..".
bool isValidQueueName(const QString &name);

// Writes the model's queue to `path` through a temporary file renamed over the old one:
// a failed save leaves the old file as it was. *error (when given) holds the reason.
bool saveQueueFile(const QueueModel &model, const QString &path, QString *error = nullptr);

// Reads `path`. A missing or unreadable file gives no records and an error.
QueueFileContents loadQueueFile(const QString &path);
