#pragma once

#include "base/TextUtil.h"
#include "browser/FolderEntries.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>

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

// Size of a file that can be opened for reading; -1 when it is missing, a folder or
// anything fails.
std::int64_t localFileSize(const QString &path);
// Whether the path is a regular file whose length tells what was written to it: not a
// device, a pipe, or the program's standard output or input ("/dev/stdout", "/dev/stdin",
// which the transfers use as they are, whatever they lead to).
bool keepsLength(const QString &path);

// Sets the access and modification times of a file to a local date-time (Linux has no
// creation time to set). Does nothing when the file cannot be opened for writing.
void setLocalFileTimes(const QString &path, const QDateTime &localTime);
