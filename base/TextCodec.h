#pragma once

#include <QByteArray>
#include <QString>

// Text at the program's edges. Stored files keep the single-byte Windows-1252 form when
// every character fits (so "§" is the byte 0xA7) and fall back to UTF-8 otherwise; reading
// accepts both. Server replies and listings use the same rule for decoding.
namespace TextCodec {

// Windows-1252 bytes when every character has a code there, else UTF-8.
QByteArray encodeStored(const QString &text);

// UTF-8 when the bytes are valid UTF-8 and hold at least one non-ASCII sequence,
// else Windows-1252.
QString decodeStored(const QByteArray &bytes);

// Plain Windows-1252 conversions. toWindows1252 sets *ok to false (and writes '?') when a
// character has no code.
QString fromWindows1252(const QByteArray &bytes);
QByteArray toWindows1252(const QString &text, bool *ok = nullptr);

bool isValidUtf8(const QByteArray &bytes);

} // namespace TextCodec

// Base64 with the standard alphabet. Decoding ignores every character outside the
// alphabet (padding included) and turns a trailing group of two or three characters into
// one or two bytes, so damaged lines decode as far as they go.
namespace Base64 {
QByteArray encode(const QByteArray &data);
QByteArray decodeLenient(const QByteArray &text);
} // namespace Base64
