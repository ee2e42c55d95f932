#pragma once

#include <QByteArray>
#include <QString>

// Whole-file reads and atomic replacement, the two ways the program touches its own files.

// The file's bytes; *ok tells whether it could be opened and read.
QByteArray readWholeFile(const QString &path, bool *ok);

// Writes bytes to a temporary file beside `path` and renames it over the old one, so a
// failed write (full disk, no permission) leaves the previous file intact. Returns false on
// any failure; *error (when given) then holds the reason.
bool saveFileAtomically(const QString &path, const QByteArray &bytes, QString *error = nullptr);

// The same, raising FileError with "what" and the reason when the file cannot be written.
void saveFileAtomicallyOrThrow(const QString &path, const QByteArray &bytes, const QString &what);
