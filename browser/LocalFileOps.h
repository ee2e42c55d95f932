#pragma once

#include <QString>
#include <QStringList>

// Changes to local files that the file list commands make. Links are never followed:
// a link is renamed or removed itself, never its target.

enum class LocalRenameResult { Renamed, TargetExists, Failed };

// Renames `from` to `to` without ever replacing what `to` names (rename(2) would). Where
// the file system cannot refuse atomically, an existing target is checked first.
LocalRenameResult renameNoReplace(const QString &from, const QString &to);

// Removes a file, a link or a whole folder tree for good. Links are removed, not entered;
// a folder already visited (same device and inode) is not entered again. Returns the
// paths that could not be removed (empty on success).
QStringList removeLocalTree(const QString &path);

// Moves a file, link or folder into the user's freedesktop trash (the Trash folder of the
// data home, with its .trashinfo record), so that it can be restored. False, with nothing
// moved, when the trash cannot take it: no usable trash folder, or the item lies on
// another file system (a removable drive), where a move would mean a copy.
bool moveToTrash(const QString &path);

// Whether a name can be a single entry of a folder: not empty, not "." or "..", no "/" and
// no NUL.
bool isPlainFileName(const QString &name);
