// DOS-style listings of Windows servers. IIS writes fixed columns (date 1-8, time with
// AM/PM 11-17, "<DIR>" 25-29 or the size right-aligned to column 38, the name from column
// 40); other servers and IIS set to four-digit years or a 24-hour clock write the same
// fields with other widths. The fields are read one by one; the columns decide only where
// a folder's name begins when blanks pad it.
#include "listing/ListingLineTools.h"
#include "listing/ProgramDateTime.h"

#include <limits>

namespace ListingLine {

namespace {

// Reads up to `maxDigits` digits at text[pos].
bool scanDigits(QStringView text, qsizetype &pos, int maxDigits, int &value, int &digits)
{
    value = 0;
    digits = 0;
    while (pos < text.size() && isDigit(text[pos]) && digits < maxDigits) {
        value = value * 10 + (text[pos].unicode() - u'0');
        ++pos;
        ++digits;
    }
    return digits > 0;
}

// "MM-DD-YY", "MM/DD/YY", "MM-DD-YYYY" (month first, as IIS writes it whatever the
// locale) or "YYYY-MM-DD"; two-digit years in the 50-year window.
bool dosDate(QStringView text, int currentYear, QDate &date)
{
    int part[3] = {0, 0, 0};
    int digitCount[3] = {0, 0, 0};
    qsizetype pos = 0;
    QChar separator;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (pos >= text.size() || (text[pos] != u'/' && text[pos] != u'-'))
                return false;
            if (i == 1)
                separator = text[pos];
            else if (text[pos] != separator)
                return false;
            ++pos;
        }
        if (!scanDigits(text, pos, 4, part[i], digitCount[i]))
            return false;
    }
    if (pos != text.size())
        return false;
    int year = 0, month = 0, day = 0;
    if (digitCount[0] == 4 && digitCount[1] <= 2 && digitCount[2] <= 2) {
        year = part[0];
        month = part[1];
        day = part[2];
    } else if (digitCount[0] <= 2 && digitCount[1] <= 2 && (digitCount[2] == 2 || digitCount[2] == 4)) {
        month = part[0];
        day = part[1];
        year = digitCount[2] == 2 ? windowedYear(part[2], currentYear) : part[2];
    } else {
        return false;
    }
    if (!isValidDate(year, month, day))
        return false;
    date = dateOf(year, month, day);
    return true;
}

bool isMeridiem(QStringView text)
{
    return equalsAsciiNoCase(text, u"am"_v) || equalsAsciiNoCase(text, u"pm"_v);
}

// "hh:mm[:ss]" with or without an "AM"/"PM" suffix; milliseconds since midnight.
bool dosTime(QStringView text, QStringView meridiem, int &msecs)
{
    int hour = 0, minute = 0, second = 0, digits = 0;
    qsizetype pos = 0;
    if (!scanDigits(text, pos, 2, hour, digits) || pos >= text.size() || text[pos] != u':')
        return false;
    ++pos;
    if (!scanDigits(text, pos, 2, minute, digits) || digits != 2)
        return false;
    if (pos < text.size() && text[pos] == u':') {
        ++pos;
        if (!scanDigits(text, pos, 2, second, digits) || digits != 2)
            return false;
    }
    if (meridiem.isEmpty())
        meridiem = text.sliced(pos);
    else if (pos != text.size())
        return false;
    if (meridiem.isEmpty()) {
        if (hour > 23)
            return false;
    } else if (isMeridiem(meridiem)) {
        if (hour < 1 || hour > 12)
            return false;
        hour %= 12;
        if (asciiLower(meridiem[0]) == u'p')
            hour += 12;
    } else {
        return false;
    }
    if (minute > 59 || second > 59)
        return false;
    msecs = ((hour * 60 + minute) * 60 + second) * 1000;
    return true;
}

// The size field: digits, thousands marked with "," or not; -1 when it is not a number
// or exceeds 64 bits.
std::int64_t dosSize(QStringView text)
{
    std::int64_t value = 0;
    bool anyDigit = false;
    for (QChar c : text) {
        if (c == u',')
            continue;
        if (!isDigit(c))
            return -1;
        const int digit = c.unicode() - u'0';
        if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10)
            return -1;
        value = value * 10 + digit;
        anyDigit = true;
    }
    return anyDigit ? value : -1;
}

// At least `count` blanks in the line.
bool hasBlanks(QStringView line, int count)
{
    for (QChar c : line) {
        if (c == u' ' && --count == 0)
            return true;
    }
    return count <= 0;
}

// The next field cut at blanks from `pos`, skipping the blanks before it.
QStringView nextField(QStringView line, qsizetype &pos, qsizetype &start)
{
    start = pos < line.size() && line[pos] == u' ' ? indexOfNonBlank(line, pos + 1) : pos;
    pos = indexOfEither(line, start, u' ', u' ');
    return line.sliced(start, pos - start);
}

// The messages are literals: an unreadable line costs no allocation for its message.
bool reject(tTmbFtpEntry &entry, std::int32_t status, const QString &message)
{
    ListingLine::fail(entry, status, message);
    return true;
}

} // namespace

bool parseDosLine(tTmbFtpEntry &entry, QStringView line, const ParseContext &ctx)
{
    using namespace ListingStatus;
    // IIS's own columns: with them the line is DOS style even where a field is broken.
    const bool fixedColumns = ListingParser::isDosLine(line);
    if (!fixedColumns && (line.size() < 8 || !isDigit(line[0]) || !isDigit(line[1])))
        return false;
    if (fixedColumns && !hasBlanks(line, 4))
        return reject(entry, DosNameMissing, QStringLiteral("dos entry too short. missing filename."));

    qsizetype pos = 0, start = 0;
    const QStringView dateText = nextField(line, pos, start);
    QStringView timeText = nextField(line, pos, start);
    QDate date;
    int msecs = 0;
    qsizetype afterTime = pos;
    QStringView meridiem;
    // "05:03 PM": the suffix as a field of its own.
    {
        qsizetype peek = pos, peekStart = 0;
        const QStringView next = nextField(line, peek, peekStart);
        if (isMeridiem(next) && !timeText.isEmpty() && isDigit(timeText.back())) {
            meridiem = next;
            afterTime = peek;
        }
    }
    if (!dosDate(dateText, ctx.currentYear, date) || !dosTime(timeText, meridiem, msecs)) {
        if (!fixedColumns)
            return false;
        return reject(entry, DosBadDate, QStringLiteral("dos entry has invalid date entry."));
    }
    pos = afterTime;
    const QStringView sizeField = nextField(line, pos, start);
    if (sizeField.isEmpty())
        return reject(entry, DosNameMissing, QStringLiteral("dos entry too short. missing filename."));
    const bool isDir = sizeField == u"<DIR>"_v;
    std::int64_t size = 0;
    qsizetype nameStart = pos + 1;
    if (isDir) {
        // IIS pads "<DIR>" to column 40; elsewhere the name begins where this listing's
        // file names begin, or else after the blanks.
        qsizetype column = start == 24 ? 39 : ctx.dosNameColumn;
        qsizetype blanksTo = pos;
        while (blanksTo < line.size() && line[blanksTo] == u' ')
            ++blanksTo;
        nameStart = column > pos && column <= blanksTo && column < line.size() ? column : blanksTo;
    } else {
        size = dosSize(sizeField);
        if (size < 0) {
            if (!fixedColumns && !isDigit(sizeField[0]))
                return false;
            return reject(entry, BadSize, QStringLiteral("dos entry has invalid size entry."));
        }
        ctx.dosNameColumn = nameStart;
    }
    // Windows names never consist of blanks alone: such a rest is no name.
    const QStringView name = nameStart < line.size() ? line.sliced(nameStart) : QStringView();
    if (trimmedText(name).isEmpty())
        return reject(entry, DosNameMissing, QStringLiteral("dos entry too short. missing filename."));
    entry.size = size;
    entry.modified = ProgramDateTime::encode(date, msecs);
    entry.status = Ok;
    entry.style = ListingStyle::Dos;
    entry.permissions = -1;
    entry.name = name.toString();
    entry.isFolder = isDir;
    entry.isLink = false;
    return true;
}

} // namespace ListingLine
