#include "ftp/FtpReply.h"

#include "base/TextCodec.h"

#include <QTimeZone>

#include <algorithm>
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

FtpReplyLine FtpClassifyLine(const QByteArray &line)
{
    FtpReplyLine r;
    if (line.size() < 3)
        return r;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return r;
    }
    const char after = line.size() > 3 ? line[3] : ' ';
    if (after != ' ' && after != '-')
        return r;
    r.code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    r.kind = after == '-' ? FtpReplyLine::Kind::Opening : FtpReplyLine::Kind::Final;
    return r;
}

bool FtpHasControlByte(const QByteArray &line)
{
    for (const char c : line) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t')
            return true;
    }
    return false;
}

QDateTime FtpMdtmResult(const QString &line)
{
    const FtpReplyLine reply = FtpClassifyLine(line.left(4).toLatin1());
    if (reply.kind != FtpReplyLine::Kind::Final || reply.code != 213)
        return {};
    QString text = line.mid(3).trimmed();
    if (const qsizetype dot = text.indexOf(QLatin1Char('.')); dot == 14)
        text.truncate(dot);
    if (text.size() != 14 || !std::all_of(text.begin(), text.end(), isDigit))
        return {};
    const auto part = [&text](int from, int count) { return text.mid(from, count).toInt(); };
    const QDate date(part(0, 4), part(4, 2), part(6, 2));
    const QTime time(part(8, 2), part(10, 2), part(12, 2));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, QTimeZone::utc());
}

int64_t FtpSizeResult(const QString &line)
{
    const FtpReplyLine reply = FtpClassifyLine(line.left(4).toLatin1());
    if (reply.kind != FtpReplyLine::Kind::Final)
        return -1;
    const QString text = line.mid(3).trimmed();
    if (text.isEmpty() || text.size() > 19)
        return -1;
    int64_t v = 0;
    for (const QChar c : text) {
        if (!isDigit(c))
            return -1;
        const int digit = c.unicode() - '0';
        if (v > (std::numeric_limits<int64_t>::max() - digit) / 10)
            return -1;
        v = v * 10 + digit;
    }
    return v;
}

bool FtpParseDirResult(const QString &line, QString &path)
{
    path.clear();
    int32_t code = 0;
    qsizetype pos = readNumber(line, 0, code);
    pos = line.indexOf(QLatin1Char('"'), pos);
    if (pos < 0)
        return true; // no path offered: an empty result
    for (++pos; pos < line.size(); ++pos) {
        const QChar c = line[pos];
        if (c == QLatin1Char('"')) {
            if (pos + 1 < line.size() && line[pos + 1] == QLatin1Char('"')) {
                path += QLatin1Char('"');
                ++pos;
                continue;
            }
            return true;
        }
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            path.clear();
            return false;
        }
        path += c;
    }
    path.clear(); // the closing quote never came
    return false;
}

QString FtpDirResult(const QString &line)
{
    QString path;
    FtpParseDirResult(line, path);
    return path;
}

int64_t FtpAnnouncedSize(const QString &line)
{
    static const QLatin1String kBytes(" bytes)");
    const qsizetype end = line.lastIndexOf(kBytes);
    if (end < 0)
        return -1;
    const qsizetype open = line.lastIndexOf(QLatin1Char('('), end);
    if (open < 0)
        return -1;
    return FtpSizeResult(QStringLiteral("213 ") + line.mid(open + 1, end - open - 1));
}

QString FtpDecodeLine(const QByteArray &bytes)
{
    return TextCodec::decodeStored(bytes);
}

bool FtpReplyBuffer::takeLine(QByteArray &line, bool acceptLF)
{
    qsizetype used = 0;
    return takeLine(line, acceptLF, used);
}

bool FtpReplyBuffer::takeLine(QByteArray &line, bool acceptLF, qsizetype &used)
{
    const qsizetype end = acceptLF ? m_data.indexOf('\n') : m_data.indexOf("\r\n");
    if (end < 0)
        return false;
    line = m_data.left(end);
    used = end + (acceptLF ? 1 : 2);
    m_data.remove(0, used);
    while (!line.isEmpty() && (line.endsWith('\r') || line.endsWith('\n')))
        line.chop(1);
    return true;
}
