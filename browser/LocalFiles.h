#pragma once

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

// "*" matches any run of characters (also none), "?" exactly one, anything else itself,
// letter case included. One backtrack point is kept: the last "*" and the position after the
// last character matched behind it.
bool wildcardMatch(QStringView text, QStringView pattern);

// 1-based position of `sub` in `text` at or after `start`, letter case ignored; 0 when it is
// not there (or empty). A start before 1 counts as 1.
int findText(const QString &text, const QString &sub, int start = 1);

// Appends the fields of `text` cut at every `separator`; with `skipEmpty` empty fields are
// left out (so "" gives none), without it "" gives one empty field.
void splitText(QStringView text, QChar separator, QStringList &target, bool skipEmpty);

QString padLeft(const QString &text, int width, QChar fill);
QString repeatChar(QChar c, int count);

// Kilobytes, truncated, with "." as thousands mark whatever the locale: 1536 gives "1KB",
// 1048576 "1.024KB". A non-empty file shows at least 1.
QString formatKilobytes(std::int64_t bytes, bool omitUnit = false);
// Bytes with "." as thousands mark: 1234567 gives "1.234.567".
QString formatBytes(std::int64_t bytes);

// Size of a file that can be opened for reading; -1 when it is missing, a folder or
// anything fails.
std::int64_t localFileSize(const QString &path);

// Sets the access and modification times of a file to a local date-time (Linux has no
// creation time to set). Does nothing when the file cannot be opened for writing.
void setLocalFileTimes(const QString &path, const QDateTime &localTime);
