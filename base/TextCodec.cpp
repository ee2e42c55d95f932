#include "base/TextCodec.h"

#include <array>

namespace {

// Code points of the bytes 0x80..0x9F in Windows-1252; 0 marks the five unassigned bytes,
// which map to the C1 control with the same number (as Windows itself does).
constexpr std::array<char16_t, 32> kHighTable = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int windows1252Byte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i) {
        const char16_t mapped =
            kHighTable[static_cast<size_t>(i)] ? kHighTable[static_cast<size_t>(i)] : static_cast<char16_t>(0x80 + i);
        if (mapped == c)
            return 0x80 + i;
    }
    return -1;
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

namespace TextCodec {

QString fromWindows1252(const QByteArray &bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *dst = out.data();
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        char16_t c = b;
        if (b >= 0x80 && b <= 0x9F && kHighTable[b - 0x80u])
            c = kHighTable[b - 0x80u];
        *dst++ = QChar(c);
    }
    return out;
}

QByteArray toWindows1252(const QString &text, bool *ok)
{
    QByteArray out;
    out.reserve(text.size());
    bool allFit = true;
    for (const QChar ch : text) {
        const int b = windows1252Byte(ch.unicode());
        if (b < 0) {
            allFit = false;
            out.append('?');
        } else {
            out.append(static_cast<char>(b));
        }
    }
    if (ok)
        *ok = allFit;
    return out;
}

bool isValidUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const auto *end = p + bytes.size();
    while (p < end) {
        const unsigned char b = *p;
        int extra = 0;
        char32_t cp = 0;
        if (b < 0x80) {
            ++p;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += extra + 1;
    }
    return true;
}

QByteArray encodeStored(const QString &text)
{
    bool fits = false;
    QByteArray single = toWindows1252(text, &fits);
    if (fits)
        return single;
    return text.toUtf8();
}

QString decodeStored(const QByteArray &bytes)
{
    bool ascii = true;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (!ascii && isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return fromWindows1252(bytes);
}

} // namespace TextCodec

namespace Base64 {

QByteArray encode(const QByteArray &data)
{
    QByteArray out;
    out.reserve((data.size() + 2) / 3 * 4);
    const auto *p = reinterpret_cast<const unsigned char *>(data.constData());
    qsizetype i = 0;
    for (; i + 2 < data.size(); i += 3) {
        const unsigned v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        out.append(kAlphabet[(v >> 18) & 63]).append(kAlphabet[(v >> 12) & 63]);
        out.append(kAlphabet[(v >> 6) & 63]).append(kAlphabet[v & 63]);
    }
    const qsizetype rest = data.size() - i;
    if (rest == 1) {
        const unsigned v = p[i] << 16;
        out.append(kAlphabet[(v >> 18) & 63]).append(kAlphabet[(v >> 12) & 63]).append("==");
    } else if (rest == 2) {
        const unsigned v = (p[i] << 16) | (p[i + 1] << 8);
        out.append(kAlphabet[(v >> 18) & 63]).append(kAlphabet[(v >> 12) & 63]);
        out.append(kAlphabet[(v >> 6) & 63]).append('=');
    }
    return out;
}

QByteArray decodeLenient(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size() / 4 * 3 + 2);
    unsigned group = 0;
    int count = 0;
    for (const char c : text) {
        const int v = base64Value(c);
        if (v < 0)
            continue;
        group = (group << 6) | static_cast<unsigned>(v);
        if (++count == 4) {
            out.append(static_cast<char>((group >> 16) & 0xFF));
            out.append(static_cast<char>((group >> 8) & 0xFF));
            out.append(static_cast<char>(group & 0xFF));
            group = 0;
            count = 0;
        }
    }
    if (count == 2) {
        out.append(static_cast<char>((group >> 4) & 0xFF));
    } else if (count == 3) {
        out.append(static_cast<char>((group >> 10) & 0xFF));
        out.append(static_cast<char>((group >> 2) & 0xFF));
    }
    return out;
}

} // namespace Base64
