#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>

// Text routines shared across the program: wildcard masks, field splitting, and the size
// texts the lists show. None of them keeps state.

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
// Text from a server or a file name made safe to print on a terminal or in a window:
// control characters (C0, DEL, C1) become "\r", "\n", "\t" or "\xHH", so nothing received
// can move the cursor, clear the screen or start an escape sequence.
QString escapeControls(QStringView text);

// Kilobytes, truncated, with "." as thousands mark whatever the locale: 1536 gives "1KB",
// 1048576 "1.024KB". A non-empty file shows at least 1.
QString formatKilobytes(std::int64_t bytes, bool omitUnit = false);
// Bytes with "." as thousands mark: 1234567 gives "1.234.567".
QString formatBytes(std::int64_t bytes);
