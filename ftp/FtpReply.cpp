#include "ftp/FtpReply.h"

#include "base/TextCodec.h"

#include <limits>

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Reads a number from pos on (blanks, tabs, CR, LF skipped; optional sign), saturating at
// limit. Returns the position after the digits.
qsizetype readNumber(const QString &s, qsizetype pos, int64_t &value, int64_t limit)
{
    while (pos < s.size() && (s[pos] == QLatin1Char(' ') || s[pos] == QLatin1Char('\t') ||
                              s[pos] == QLatin1Char('\r') || s[pos] == QLatin1Char('\n')))
        ++pos;
    bool negative = false;
    if (pos < s.size() && (s[pos] == QLatin1Char('+') || s[pos] == QLatin1Char('-'))) {
        negative = s[pos] == QLatin1Char('-');
        ++pos;
    }
    int64_t v = 0;
    while (pos < s.size() && isDigit(s[pos])) {
        // Saturates instead of wrapping: an absurd number must not turn into a small one.
        const int digit = s[pos].unicode() - '0';
        v = v > (limit - digit) / 10 ? limit : v * 10 + digit;
        ++pos;
    }
    value = negative ? -v : v;
    return pos;
}

qsizetype readNumber(const QString &s, qsizetype pos, int32_t &value)
{
    int64_t v = 0;
    pos = readNumber(s, pos, v, std::numeric_limits<int32_t>::max());
    value = static_cast<int32_t>(v);
    return pos;
}

} // namespace

FtpReplyCode FtpReadCode(const QString &line)
{
    FtpReplyCode r;
    r.beginsWithDigit = !line.isEmpty() && isDigit(line[0]);
    const qsizetype after = readNumber(line, 0, r.code);
    r.continuation = after < line.size() && line[after] == QLatin1Char('-');
    return r;
}

int64_t FtpSizeResult(const QString &line)
{
    int32_t code = 0;
    const qsizetype after = readNumber(line, 0, code);
    int64_t size = 0;
    readNumber(line, after, size, std::numeric_limits<int64_t>::max());
    return size;
}

QString FtpDirResult(const QString &line)
{
    int32_t code = 0;
    qsizetype pos = readNumber(line, 0, code);
    pos = line.indexOf(QLatin1Char('"'), pos);
    if (pos < 0)
        return {};
    QString out;
    for (++pos; pos < line.size(); ++pos) {
        if (line[pos] == QLatin1Char('"')) {
            if (pos + 1 < line.size() && line[pos + 1] == QLatin1Char('"')) {
                out += QLatin1Char('"');
                ++pos;
                continue;
            }
            break;
        }
        out += line[pos];
    }
    return out;
}

QString FtpDecodeLine(const QByteArray &bytes)
{
    return TextCodec::decodeStored(bytes);
}

bool FtpReplyBuffer::takeLine(QByteArray &line, bool acceptLF)
{
    const qsizetype end = acceptLF ? m_data.indexOf('\n') : m_data.indexOf("\r\n");
    if (end < 0)
        return false;
    line = m_data.left(end);
    m_data.remove(0, end + (acceptLF ? 1 : 2));
    while (!line.isEmpty() && (line.endsWith('\r') || line.endsWith('\n')))
        line.chop(1);
    return true;
}
