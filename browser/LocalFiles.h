#pragma once

#include "base/TextUtil.h"
#include "listing/FolderEntries.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <vector>

// Text and local file routines shared by the browsers, the queue and the site manager. None
// of them keeps state.

// Appends the items of a local folder in the order the file system returns them, hidden
// files included: a folder as folder + name + "/" (with size -1), followed at once by its
// contents when `recursive` is set; a file as folder + name. `mask` "*.*" takes every item,
// any other mask goes through wildcardMatch (case-sensitive). A folder that is missing or
// cannot be read adds nothing. Descending never enters a folder that is already being
// scanned further up, so a symbolic link back to a parent cannot loop.
void scanFolder(const QString &folder, tLocalEntryList &target, bool recursive, const QString &mask);
// The same, appending only the path texts.
void scanFolder(const QString &folder, QStringList &target, bool recursive, const QString &mask);

// An entry an upload tree leaves out, and why ("a symbolic link, not followed").
struct SkippedLocalEntry {
    QString path;
    QString reason;
};

// The tree below `folder` (ending in "/") for an upload, in scanFolder's form: only folders
// and regular files. Symbolic links are never followed (one to "/" would send the disk);
// they, fifos, sockets, devices, names holding CR, LF or "*" (a queue command cannot carry
// them) and folders that cannot be read go to `skipped` with the reason, never silently.
void scanUploadTree(const QString &folder, tLocalEntryList &target, std::vector<SkippedLocalEntry> &skipped);

// Size of a readable regular file; -1 when it is missing, a folder, a fifo, socket or
// device, or unreadable. Never opens the file, so a fifo cannot make it wait.
std::int64_t localFileSize(const QString &path);
// Whether the path is a regular file whose length tells what was written to it: not a
// device, a pipe, or the program's standard output or input ("/dev/stdout", "/dev/stdin",
// which the transfers use as they are, whatever they lead to).
bool keepsLength(const QString &path);

// Sets the access and modification times of a file to a local date-time (Linux has no
// creation time to set). Does nothing when the file cannot be opened for writing.
void setLocalFileTimes(const QString &path, const QDateTime &localTime);
// Gives a regular file this modification time (whole seconds; the access time is left as
// it is). A link is not followed, and a pipe or a device is left alone. False, with *why
// (when given) saying why, when the time could not be set.
bool setLocalModifiedTime(const QString &path, const QDateTime &modified, QString *why = nullptr);
