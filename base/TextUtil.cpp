#include "base/TextUtil.h"

namespace {

QString withThousandsMarks(std::int64_t value)
{
    const QString digits = QString::number(value);
    const qsizetype firstDigit = value < 0 ? 1 : 0;
    QString result = digits.left(firstDigit);
    const qsizetype count = digits.size() - firstDigit;
    for (qsizetype i = 0; i < count; ++i) {
        if (i > 0 && (count - i) % 3 == 0)
            result += u'.';
        result += digits[firstDigit + i];
    }
    return result;
}

} // namespace

bool wildcardMatch(QStringView text, QStringView pattern)
{
    const qsizetype tEnd = text.size(), pEnd = pattern.size();
    qsizetype t = 0, p = 0;
    qsizetype st = -1, sp = -1; // the backtrack point, unset until a "*" has matched something
    bool inStar = false;
    for (;;) {
        if (!inStar) {
            if (p == pEnd) {
                if (t == tEnd)
                    return true;
                if (st < 0 || sp < 0)
                    return false;
                t = st, p = sp, inStar = true;
            } else if (pattern[p] == u'*') {
                sp = ++p;
                inStar = true;
            } else if (t == tEnd) {
                return false;
            } else if (pattern[p] == u'?' || text[t] == pattern[p]) {
                ++t, ++p;
            } else if (st >= 0 && sp >= 0) {
                t = st, p = sp, inStar = true;
            } else {
                return false;
            }
            continue;
        }
        // After a "*": skip text up to the next literal of the pattern.
        if (p == pEnd)
            return true;
        const QChar x = pattern[p];
        if (x == u'*') {
            sp = ++p;
        } else if (x == u'?') {
            if (t == tEnd)
                return false;
            ++t, ++p;
        } else {
            while (t < tEnd && text[t] != x)
                ++t;
            if (t == tEnd)
                return false;
            st = ++t;
            ++p;
            inStar = false;
        }
    }
}

int findText(const QString &text, const QString &sub, int start)
{
    if (sub.isEmpty())
        return 0;
    const qsizetype found = text.indexOf(sub, std::max(start, 1) - 1, Qt::CaseInsensitive);
    return found < 0 ? 0 : static_cast<int>(found + 1);
}

void splitText(QStringView text, QChar separator, QStringList &target, bool skipEmpty)
{
    qsizetype begin = 0;
    for (;;) {
        qsizetype end = text.indexOf(separator, begin);
        const bool last = end < 0;
        if (last)
            end = text.size();
        if (!(skipEmpty && end == begin))
            target.append(text.sliced(begin, end - begin).toString());
        if (last)
            return;
        begin = end + 1;
    }
}

QString padLeft(const QString &text, int width, QChar fill)
{
    return text.size() >= width ? text : repeatChar(fill, width - static_cast<int>(text.size())) + text;
}

QString repeatChar(QChar c, int count)
{
    return count > 0 ? QString(count, c) : QString();
}

QString formatKilobytes(std::int64_t bytes, bool omitUnit)
{
    std::int64_t kilobytes = bytes / 1024;
    if (bytes > 0 && kilobytes == 0)
        kilobytes = 1;
    QString text = withThousandsMarks(kilobytes);
    if (!omitUnit)
        text += QLatin1String("KB");
    return text;
}

QString formatBytes(std::int64_t bytes)
{
    return withThousandsMarks(bytes);
}

QString escapeControls(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u != 0x7F && (u < 0x80 || u > 0x9F)) {
            out += c;
        } else if (u == u'\r') {
            out += QLatin1String("\\r");
        } else if (u == u'\n') {
            out += QLatin1String("\\n");
        } else if (u == u'\t') {
            out += QLatin1String("\\t");
        } else {
            out += QStringLiteral("\\x%1").arg(static_cast<unsigned>(u), 2, 16, QLatin1Char('0'));
        }
    }
    return out;
}
