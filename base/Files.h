#pragma once

#include <QByteArray>
#include <QString>

// Whole-file reads and atomic replacement, the two ways the program touches its own files.

// The file's bytes; *ok tells whether it could be opened and read.
QByteArray readWholeFile(const QString &path, bool *ok);

// Keeps a copy of a data file that could not be read completely before the program writes
// over it: "setup.dat" is copied to "setup-damaged.dat" beside it (an older copy replaced),
// mode 0600 as it may hold passwords. The copy's path, or empty when it could not be made.
QString keepDamagedCopy(const QString &path);

// Who may read a file the program writes. OwnerOnly (mode 0600) is for files that hold
// passwords; the mode is set before any byte is written.
enum class FileAccess { Default, OwnerOnly };

// Writes bytes to a temporary file beside `path` and renames it over the old one, so a
// failed write (full disk, no permission) leaves the previous file intact. Returns false on
// any failure; *error (when given) then holds the reason.
bool saveFileAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr,
                        FileAccess access = FileAccess::Default);

// The same, raising FileError with "what" and the reason when the file cannot be written.
void saveFileAtomicallyOrThrow(const QString &path, const QByteArray &bytes, const QString &what,
                               FileAccess access = FileAccess::Default);
