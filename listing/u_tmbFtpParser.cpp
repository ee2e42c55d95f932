#include "listing/u_tmbFtpParser.h"

#include "base/Guard.h"
#include "listing/ListingLineTools.h"
#include "listing/ProgramDateTime.h"

#include <limits>

using namespace ListingStatus;

using namespace ListingLine;

namespace {

// Walks a line field by field, cutting at every single blank and keeping empty fields, so
// that two blanks in a row yield an empty field between them.
class FieldCursor {
public:
    explicit FieldCursor(QStringView line) : m_line(line) {}

    bool next(QStringView &field)
    {
        if (m_done)
            return false;
        m_start = m_pos;
        // Fields are short; a plain loop beats a vectorised search that must warm up per call.
        const QChar *chars = m_line.data();
        const qsizetype size = m_line.size();
        qsizetype end = m_pos;
        while (end < size && chars[end] != u' ')
            ++end;
        field = m_line.sliced(m_start, end - m_start);
        if (end == size)
            m_done = true;
        else
            m_pos = end + 1;
        return true;
    }

    bool nextNonEmpty(QStringView &field)
    {
        while (next(field)) {
            if (!field.isEmpty())
                return true;
        }
        return false;
    }

    bool atEnd() const { return m_done; }
    // Where the field last returned by next() begins in the line.
    qsizetype fieldStart() const { return m_start; }

private:
    QStringView m_line;
    qsizetype m_pos = 0;
    qsizetype m_start = 0;
    bool m_done = false;
};

// Hour and minute texts: 0 when not a number; too many digits read as "too large".
std::uint64_t readClockPart(QStringView text)
{
    if (!isAllDigits(text))
        return 0;
    std::uint64_t value = 0;
    return readNumber(text, std::numeric_limits<std::uint32_t>::max(), value)
               ? value
               : std::numeric_limits<std::uint64_t>::max();
}

// Characters `from` to `to` (1-based, inclusive), clipped to the line.
QStringView columns(QStringView line, qsizetype from, qsizetype to)
{
    if (line.size() < from)
        return {};
    return line.sliced(from - 1, std::min(to, line.size()) - from + 1);
}

bool isTotalField(QStringView field)
{
    static constexpr char16_t kTotal[] = u"total";
    if (field.size() != 5)
        return false;
    for (int i = 0; i < 5; ++i) {
        if (asciiLower(field[i]) != kTotal[i])
            return false;
    }
    return true;
}

// Where the name begins after the time-or-year field T. ls writes T in a column of five
// ("12:34" or " 2019") followed by one blank, so the name starts one character after T and
// keeps any leading blanks of its own; a four-digit year written flush left in that column
// ("Mar  5 2019  name") is followed by one blank of padding more.
qsizetype unixNameStart(QStringView line, qsizetype tStart, QStringView timeOrYear)
{
    qsizetype start = tStart + timeOrYear.size() + 1;
    const bool leftAlignedYear =
        timeOrYear.size() == 4 && !timeOrYear.contains(u':') && tStart >= 2 && line[tStart - 2] != u' ';
    if (leftAlignedYear && start < line.size() && line[start] == u' ')
        ++start;
    return start;
}

// Steps 3 to 11 of a Unix line, from the field after the month on.
void parseUnixAfterMonth(tTmbFtpEntry &entry, const QString &line, FieldCursor &fields, QStringView permissionsField,
                         int month, const ParseContext &ctx)
{
    QStringView dayField, timeOrYear, rest;
    std::uint64_t day = 0;
    if (!fields.nextNonEmpty(dayField) || !readNumber(dayField, std::numeric_limits<std::int32_t>::max(), day))
        return fail(entry, UnixBadDay, QStringLiteral("missing or invalid unix day entry"));
    if (!fields.nextNonEmpty(timeOrYear))
        return fail(entry, UnixNoTimeOrYear, QStringLiteral("missing or invalid unix time or year entry"));
    const qsizetype tStart = fields.fieldStart();
    if (!fields.nextNonEmpty(rest))
        return fail(entry, UnixNameMissing, QStringLiteral("invalid unix file or foldername entry"));

    std::uint64_t yearValue = 0;
    const int year = readNumber(timeOrYear, std::numeric_limits<std::int32_t>::max(), yearValue)
                         ? static_cast<int>(yearValue)
                         : ctx.currentYear;
    const int dayOfMonth = static_cast<int>(day);
    if (!isValidDate(year, month, dayOfMonth))
        return fail(entry, UnixBadDate, QStringLiteral("invalid unix date entry"));
    QDate date(year, month, dayOfMonth);
    // Servers leave the year out for recent files; a date more than a day ahead is last year's.
    if (ProgramDateTime::encode(date, 0) > ctx.nowPlusOneDay && isValidDate(year - 1, month, dayOfMonth))
        date = QDate(year - 1, month, dayOfMonth);

    std::uint64_t hour = 0, minute = 0, second = 0;
    if (const qsizetype colon = timeOrYear.indexOf(u':'); colon >= 0) {
        hour = readClockPart(timeOrYear.first(colon));
        QStringView minuteText = timeOrYear.sliced(colon + 1);
        // Some servers add seconds ("12:34:56"); read whole, the minute would be lost.
        if (const qsizetype secondColon = minuteText.indexOf(u':'); secondColon >= 0) {
            second = readClockPart(minuteText.sliced(secondColon + 1));
            minuteText = minuteText.first(secondColon);
            if (second >= 60)
                second = 0;
        }
        minute = readClockPart(minuteText);
    }
    if (hour >= 24 || minute >= 60)
        return fail(entry, UnixBadTime, QStringLiteral("invalid unix time entry"));

    entry.modified = ProgramDateTime::encode(date, static_cast<int>(((hour * 60 + minute) * 60 + second) * 1000));
    finishUnixEntry(entry, permissionsField, QStringView(line).sliced(unixNameStart(line, tStart, timeOrYear)));
}

void parseUnixLine(tTmbFtpEntry &entry, const QString &line, FieldCursor &fields, QStringView permissionsField,
                   const ParseContext &ctx)
{
    QStringView field, before = permissionsField;
    int month = 0;
    int fieldsBeforeMonth = 0; // non-empty fields between the permissions and the month
    while (fields.next(field)) {
        if ((month = englishMonth(field)) != 0)
            break;
        before = field;
        if (!field.isEmpty())
            ++fieldsBeforeMonth;
    }
    const bool textBeforeSize = fieldsBeforeMonth >= 2;
    if (month == 0)
        return fail(entry, UnixNoMonth, QStringLiteral("no unix month entry present"));
    std::uint64_t size = 0;
    if (readNumber(before, std::numeric_limits<std::int64_t>::max(), size)) {
        entry.size = static_cast<std::int64_t>(size);
    } else if (std::int64_t loose = 0; !before.isEmpty() && readLooseSize(before, textBeforeSize, loose)) {
        // "1,234", "1.5M" or a size run together with the group name.
        entry.size = loose;
    } else {
        return fail(entry, BadSize, QStringLiteral("missing or invalid unix size entry"));
    }
    parseUnixAfterMonth(entry, line, fields, permissionsField, month, ctx);
}

bool isSizeChar(QChar c)
{
    return isDigit(c) || c == u',';
}

// IIS right-aligns sizes so that they end in column 38. A size of ten digits or more
// (1 GB and up) reaches into the "<DIR>" columns 25-29; such a line is still a file line.
bool sizeReachesDirColumns(QStringView line)
{
    if (line.size() < 38)
        return false;
    for (qsizetype i = 28; i < 38; ++i) {
        if (!isSizeChar(line[i]))
            return false;
    }
    qsizetype i = 24;
    while (i < 28 && line[i] == u' ')
        ++i;
    for (; i < 28; ++i) {
        if (!isSizeChar(line[i]))
            return false;
    }
    return true;
}

// The size column: characters 30 to 38, and further left while the digits go on.
QStringView dosSizeText(QStringView line)
{
    qsizetype begin = 29;
    while (begin > 17 && begin <= line.size() && isSizeChar(line[begin - 1]))
        --begin;
    return trimmedText(line.sliced(begin, std::min<qsizetype>(38, line.size()) - begin));
}

// Size text as the DOS rules read it: empty is 0, "," are dropped; -1 when not a number.
std::int64_t dosSize(QStringView text)
{
    if (text.isEmpty())
        return 0;
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

// Reads up to `maxDigits` digits at text[pos], skipping blanks before them.
bool scanNumber(QStringView text, qsizetype &pos, int maxDigits, int &value, int &digits)
{
    while (pos < text.size() && text[pos] == u' ')
        ++pos;
    value = 0;
    digits = 0;
    while (pos < text.size() && isDigit(text[pos]) && digits < maxDigits) {
        value = value * 10 + (text[pos].unicode() - u'0');
        ++pos;
        ++digits;
    }
    return digits > 0;
}

// "MM/DD/YY" (month, day, year) with the 50-year window for two-digit years.
bool dosDate(QStringView text, int currentYear, QDate &date)
{
    int part[3] = {0, 0, 0};
    int digits = 0;
    qsizetype pos = 0;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (pos >= text.size() || (text[pos] != u'/' && text[pos] != u'-'))
                return false;
            ++pos;
        }
        if (!scanNumber(text, pos, 4, part[i], digits))
            return false;
    }
    if (trimmedText(text.sliced(pos)).size() != 0)
        return false;
    int year = part[2];
    if (digits <= 2) {
        const int windowStart = currentYear - 50;
        year += 100 * (windowStart / 100);
        if (year < windowStart)
            year += 100;
    }
    if (!isValidDate(year, part[0], part[1]))
        return false;
    date = QDate(year, part[0], part[1]);
    return true;
}

// "hh:mm[:ss]" with an optional "AM"/"PM" suffix; in milliseconds since midnight.
bool dosTime(QStringView text, int &msecs)
{
    int hour = 0, minute = 0, second = 0, digits = 0;
    qsizetype pos = 0;
    if (!scanNumber(text, pos, 2, hour, digits) || pos >= text.size() || text[pos] != u':')
        return false;
    ++pos;
    if (!scanNumber(text, pos, 2, minute, digits))
        return false;
    if (pos < text.size() && text[pos] == u':') {
        ++pos;
        if (!scanNumber(text, pos, 2, second, digits))
            return false;
    }
    const QStringView suffix = trimmedText(text.sliced(pos));
    if (suffix.isEmpty()) {
        if (hour > 23)
            return false;
    } else if (suffix.compare(u"AM"_v, Qt::CaseInsensitive) == 0 || suffix.compare(u"PM"_v, Qt::CaseInsensitive) == 0) {
        if (hour < 1 || hour > 12)
            return false;
        hour %= 12;
        if (asciiLower(suffix[0]) == u'p')
            hour += 12;
    } else {
        return false;
    }
    if (minute > 59 || second > 59)
        return false;
    msecs = ((hour * 60 + minute) * 60 + second) * 1000;
    return true;
}

void parseDosLine(tTmbFtpEntry &entry, const QString &line, const ParseContext &ctx)
{
    if (line.count(u' ') < 4)
        return fail(entry, DosNameMissing, QStringLiteral("dos entry too short. missing filename."));
    const QStringView view(line);
    const bool isDir = columns(view, 25, 29) == u"<DIR>"_v;
    const std::int64_t size = dosSize(isDir ? trimmedText(columns(view, 30, 38)) : dosSizeText(view));
    if (size < 0)
        return fail(entry, BadSize, QStringLiteral("dos entry has invalid size entry."));
    QDate date;
    int msecs = 0;
    if (!dosDate(columns(view, 1, 8), ctx.currentYear, date) || !dosTime(trimmedText(columns(view, 11, 17)), msecs))
        return fail(entry, DosBadDate, QStringLiteral("dos entry has invalid date entry."));
    entry.size = size;
    entry.modified = ProgramDateTime::encode(date, msecs);
    entry.status = Ok;
    entry.style = ListingStyle::Dos;
    entry.permissions = -1;
    entry.name = line.mid(39, 999);
    entry.isFolder = isDir;
    entry.isLink = false;
}

void parseLine(tTmbFtpEntry &entry, const QString &line, const ParseContext &ctx)
{
    // EPLF lines may hold no blank at all ("+/,\tpub"), so they are looked at first.
    if (!line.isEmpty() && line[0] == u'+' && parseEplfLine(entry, line, ctx))
        return;
    FieldCursor fields(line);
    QStringView first;
    fields.next(first);
    if (fields.atEnd()) {
        // Fields are cut at blanks only; MVS separates with tabs ("Migrated\t\tNAME").
        if (line.contains(u'\t') && parseOtherServerLine(entry, line, ctx))
            return;
        return fail(entry, TooShort, QStringLiteral("raw list entry too short"));
    }
    if (isTotalField(first))
        return fail(entry, Total, QStringLiteral("total entry"));
    if (ListingParser::isUnixPermissions(first)) {
        parseUnixLine(entry, line, fields, first, ctx);
        // Lines the classic rules cannot read may still be one of the Unix variants; when
        // none fits, the classic verdict stands.
        if (entry.status != Ok) {
            tTmbFtpEntry variant;
            if (parseUnixVariant(variant, line, ctx)) {
                variant.rawLine = std::move(entry.rawLine);
                entry = std::move(variant);
            }
        }
        return;
    }
    if (ListingParser::isDosLine(line))
        return parseDosLine(entry, line, ctx);
    if (looksLikeFactsLine(line))
        return parseFactsLine(entry, line, ctx);
    if (parseOtherServerLine(entry, line, ctx))
        return;
    fail(entry, UnknownEntry, QStringLiteral("unknown rawlist entry"));
}

} // namespace

namespace ListingParser {

bool isUnixPermissions(QStringView field)
{
    if (field.size() != 10 && field.size() != 11)
        return false;
    switch (asciiLower(field[0])) {
    case u'-':
    case u'd':
    case u'l':
    case u's':
    case u'c':
    case u'b':
    case u'p':
        break;
    default:
        return false;
    }
    for (qsizetype i = 1; i < 10; ++i) {
        switch (asciiLower(field[i])) {
        case u'-':
        case u'r':
        case u's':
        case u't':
        case u'w':
        case u'x':
            break;
        default:
            return false;
        }
    }
    return true;
}

std::int32_t permissionCode(QStringView field)
{
    static constexpr std::int32_t kWeights[9] = {400, 200, 100, 40, 20, 10, 4, 2, 1};
    if (field.size() != 10)
        return 0;
    std::int32_t code = 0;
    for (int i = 0; i < 9; ++i) {
        if (field[i + 1] != u'-')
            code += kWeights[i];
    }
    return code;
}

bool isDosLine(QStringView line)
{
    if (line.size() <= 30)
        return false;
    const auto isDateSeparator = [](QChar c) { return c == u'-' || c == u'/'; };
    if (!isDateSeparator(line[2]) || !isDateSeparator(line[5]))
        return false;
    const QStringView dirColumns = trimmedText(columns(line, 25, 29));
    if (!dirColumns.isEmpty() && dirColumns != u"<DIR>"_v && !sizeReachesDirColumns(line))
        return false;
    const QStringView meridiem = trimmedText(columns(line, 16, 17));
    return meridiem == u"AM"_v || meridiem == u"PM"_v;
}

} // namespace ListingParser

void parseListing(const QStringList &lines, std::vector<tTmbFtpEntry> &entries, const QDateTime &now)
{
    guarded("nklnalsskns", [&] {
        const ParseContext ctx = contextFor(now);
        entries.reserve(entries.size() + static_cast<std::size_t>(lines.size()));
        for (const QString &line : lines) {
            tTmbFtpEntry &entry = entries.emplace_back();
            entry.rawLine = line;
            parseLine(entry, line, ctx);
        }
    });
}

void parseListing(const QStringList &lines, std::vector<tTmbFtpEntry> &entries)
{
    parseListing(lines, entries, QDateTime::currentDateTime());
}
