#include "listing/u_tmbFtpParser.h"

#include "base/Guard.h"
#include "listing/ListingLineTools.h"
#include "listing/ProgramDateTime.h"

#include <cstdint>
#include <limits>

#ifdef __linux__
#include <sys/mman.h>
#endif

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
        const qsizetype end = indexOfEither(m_line, m_pos, u' ', u' ');
        field = m_line.sliced(m_start, end - m_start);
        if (end == m_line.size())
            m_done = true;
        else
            m_pos = end + 1;
        return true;
    }

    // The next field that is not empty, passing over a run of blanks at once; `emptyBefore`
    // tells whether next() would have returned empty fields before it.
    [[gnu::always_inline]] bool nextNonEmpty(QStringView &field, bool *emptyBefore = nullptr)
    {
        if (m_done)
            return false;
        qsizetype start = m_pos;
        if (start < m_line.size() && m_line[start] == u' ') // mostly one blank, then the field
            start = indexOfNonBlank(m_line, start + 1);
        if (emptyBefore)
            *emptyBefore = start > m_pos;
        if (start == m_line.size()) {
            m_done = true;
            return false;
        }
        m_pos = start;
        return next(field);
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
        timeOrYear.size() == 4 && indexOfChar(timeOrYear, u':') < 0 && tStart >= 2 && line[tStart - 2] != u' ';
    if (leftAlignedYear && start < line.size() && line[start] == u' ')
        ++start;
    return start;
}

// A device's size column holds "major,minor" ("8,0"); with a blank after the comma the
// minor number alone comes before the month and is read as a size, then dropped.
bool isDeviceNumbers(QStringView permissionsField, QStringView field)
{
    const char16_t kind = asciiLower(permissionsField[0]);
    if (kind != u'c' && kind != u'b')
        return false;
    const qsizetype comma = field.indexOf(u',');
    return comma > 0 && isAllDigits(field.first(comma)) && isAllDigits(field.sliced(comma + 1));
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
    qint64 days = ProgramDateTime::dayNumber(year, month, dayOfMonth);
    // Servers leave the year out for recent files; a date more than a day ahead is last year's.
    if (ProgramDateTime::encode(days, 0) > ctx.nowPlusOneDay && isValidDate(year - 1, month, dayOfMonth))
        days = ProgramDateTime::dayNumber(year - 1, month, dayOfMonth);

    std::uint64_t hour = 0, minute = 0, second = 0;
    if (const qsizetype colon = indexOfChar(timeOrYear, u':'); colon >= 0) {
        hour = readClockPart(timeOrYear.first(colon));
        QStringView minuteText = timeOrYear.sliced(colon + 1);
        // Some servers add seconds ("12:34:56"); read whole, the minute would be lost.
        if (const qsizetype secondColon = indexOfChar(minuteText, u':'); secondColon >= 0) {
            second = readClockPart(minuteText.sliced(secondColon + 1));
            minuteText = minuteText.first(secondColon);
            if (second >= 60)
                second = 0;
        }
        minute = readClockPart(minuteText);
    }
    // "24:00" is the midnight at the end of the day: 00:00 of the next.
    if (hour == 24 && minute == 0 && second == 0) {
        ++days;
        hour = 0;
    }
    if (hour >= 24 || minute >= 60)
        return fail(entry, UnixBadTime, QStringLiteral("invalid unix time entry"));

    entry.modified = ProgramDateTime::encode(days, static_cast<int>(((hour * 60 + minute) * 60 + second) * 1000));
    finishUnixEntry(entry, permissionsField, QStringView(line).sliced(unixNameStart(line, tStart, timeOrYear)));
}

void parseUnixLine(tTmbFtpEntry &entry, const QString &line, FieldCursor &fields, QStringView permissionsField,
                   const LineTokens &tokens, const ParseContext &ctx)
{
    QStringView field, before = permissionsField;
    int month = 0;
    int fieldsBeforeMonth = 0; // non-empty fields between the permissions and the month
    bool emptyBefore = false;
    // The fields walked are the line's tokens when it holds no tab: a line without a month
    // is walked whole and then read by the Unix variants, which need not cut it again.
    qsizetype walkedStart[Tokens::kMax], walkedEnd[Tokens::kMax];
    walkedStart[0] = 0;
    walkedEnd[0] = permissionsField.size();
    int walked = 1;
    while (fields.nextNonEmpty(field, &emptyBefore)) {
        // Two blanks in a row leave an empty field before this one: the size must be the
        // field right before the month.
        if ((month = englishMonth(field)) != 0) {
            if (emptyBefore)
                before = QStringView();
            break;
        }
        if (walked < Tokens::kMax) {
            walkedStart[walked] = fields.fieldStart();
            walkedEnd[walked++] = fields.fieldStart() + field.size();
        }
        before = field;
        ++fieldsBeforeMonth;
    }
    const bool textBeforeSize = fieldsBeforeMonth >= 2;
    if (month == 0) {
        if (indexOfChar(line, u'\t') < 0) {
            Tokens &t = tokens.walked();
            for (int i = 0; i < walked; ++i)
                t.add(walkedStart[i], walkedEnd[i]);
        }
        return fail(entry, UnixNoMonth, QStringLiteral("no unix month entry present"));
    }
    std::uint64_t size = 0;
    if (readNumber(before, std::numeric_limits<std::int64_t>::max(), size)) {
        entry.size = static_cast<std::int64_t>(size);
    } else if (readNumber(before, std::numeric_limits<std::uint64_t>::max(), size)) {
        // Beyond the signed range: 2^64 - 1 stands for "unknown", and nothing is that large.
        entry.size = -1;
    } else if (isDeviceNumbers(permissionsField, before)) {
        entry.size = 0; // "8,0": major and minor device numbers, run together
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

// A line that is one name and nothing else: the member of an MVS dataset in a listing
// known to hold members.
bool parseLoneName(tTmbFtpEntry &entry, const QString &line, const ParseContext &ctx)
{
    if (!ctx.mvsMembers || line.isEmpty() || line.front() == u' ' || line.contains(u'\t'))
        return false;
    entry.status = Ok;
    entry.style = ListingStyle::Mvs;
    entry.permissions = -1;
    entry.name = line;
    return true;
}

void parseUnixKind(tTmbFtpEntry &entry, const QString &line, FieldCursor &fields, QStringView first,
                   const LineTokens &tokens, const ParseContext &ctx)
{
    parseUnixLine(entry, line, fields, first, tokens, ctx);
    // Lines the classic rules cannot read may still be one of the Unix variants; when none
    // fits, the classic verdict stands. A variant that fits sets every field the classic
    // rules may have set, so only their message is left to clear.
    if (entry.status != Ok && parseUnixVariant(entry, tokens.get(), ctx))
        entry.message.clear();
}

// The kind the listing showed last, when it fits this line. `otherTried` tells whether the
// last of the other servers' formats was tried, so that it is not tried twice.
bool parseAsLastKind(tTmbFtpEntry &entry, const QString &line, const LineTokens &tokens, const ParseContext &ctx,
                     bool &otherTried)
{
    switch (ctx.lastKind) {
    case LineKind::Dos:
        return parseDosLine(entry, line, ctx);
    case LineKind::Facts:
        if (!looksLikeFactsLine(line))
            return false;
        parseFactsLine(entry, line, ctx);
        return true;
    case LineKind::Other:
        otherTried = true;
        return parseOtherServerLine(entry, tokens.get(), ctx, OtherFormats::LastOnly);
    default: // Unix lines and EPLF are told apart by their first character at once
        return false;
    }
}

void parseLine(tTmbFtpEntry &entry, const QString &line, const ParseContext &ctx)
{
    // EPLF lines may hold no blank at all ("+/,\tpub"), so they are looked at first.
    if (!line.isEmpty() && line[0] == u'+' && parseEplfLine(entry, line, ctx)) {
        ctx.lastKind = LineKind::Eplf;
        return;
    }
    FieldCursor fields(line);
    QStringView first;
    fields.next(first);
    // Cut into tokens once, if at all: the Unix variants and the other servers' formats
    // read the line as tokens.
    const LineTokens tokens(line);
    if (fields.atEnd()) {
        // Fields are cut at blanks only; MVS separates with tabs ("Migrated\t\tNAME").
        if (line.contains(u'\t') && parseOtherServerLine(entry, tokens.get(), ctx))
            return;
        if (parseLoneName(entry, line, ctx))
            return;
        return fail(entry, TooShort, QStringLiteral("raw list entry too short"));
    }
    if (isTotalField(first))
        return fail(entry, Total, QStringLiteral("total entry"));
    if (ListingParser::isUnixPermissions(first)) {
        ctx.lastKind = LineKind::Unix;
        return parseUnixKind(entry, line, fields, first, tokens, ctx);
    }
    bool otherTried = false;
    if (ctx.lastKind != LineKind::Unix && parseAsLastKind(entry, line, tokens, ctx, otherTried))
        return;
    if (ctx.lastKind != LineKind::Dos && parseDosLine(entry, line, ctx)) {
        ctx.lastKind = LineKind::Dos;
        return;
    }
    if (ctx.lastKind != LineKind::Facts && looksLikeFactsLine(line)) {
        ctx.lastKind = LineKind::Facts;
        return parseFactsLine(entry, line, ctx);
    }
    if (parseOtherServerLine(entry, tokens.get(), ctx, otherTried ? OtherFormats::AllButLast : OtherFormats::All)) {
        ctx.lastKind = LineKind::Other;
        return;
    }
    if (parseVmsNonEntry(entry, tokens.get()))
        return;
    fail(entry, UnknownEntry, QStringLiteral("unknown rawlist entry"));
}

} // namespace

namespace ListingParser {

bool isUnixPermissions(QStringView field)
{
    if (field.size() < 10)
        return false;
    // Doors (D), event ports (P), network special files (n), whiteouts (w) and letters
    // some servers use for kinds of their own are entries of no kind the program handles.
    switch (field[0].unicode()) {
    case u'-':
    case u'd':
    case u'l':
    case u's':
    case u'c':
    case u'b':
    case u'p':
    case u'L':
    case u'S':
    case u'C':
    case u'B':
    case u'D':
    case u'P':
    case u'n':
    case u'w':
    case u'a':
    case u'f':
    case u'e':
    case u'm':
    case u'M':
    case u'?':
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
    // An eleventh character (an ACL or context mark) is not examined; after it, or in its
    // place, only a link count run together with the permissions may follow.
    if (field.size() <= 11)
        return true;
    const QStringView text = unixPermissionText(field);
    return text.size() == 10 || (text.size() == 11 && u"+@.*"_v.contains(text[10]));
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

namespace {

// "NAME.EXT;12": a VMS name with its version, the whole line when the statistics did not fit.
bool endsInVmsVersion(const QString &line)
{
    qsizetype i = line.size();
    while (i > 0 && isDigit(line[i - 1]))
        --i;
    return i > 1 && i < line.size() && line[i - 1] == u';';
}

} // namespace

void parseListing(const QStringList &lines, std::vector<tTmbFtpEntry> &entries, const QDateTime &now)
{
    guarded("nklnalsskns", [&] {
        const ParseContext ctx = contextFor(now);
        reserveListingEntries(entries, static_cast<std::size_t>(lines.size()));
        bool continuation = false;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString &line = lines[i];
            tTmbFtpEntry &entry = entries.emplace_back();
            entry.rawLine = line;
            if (continuation) {
                continuation = false;
                fail(entry, Continuation, QStringLiteral("continuation of the entry before"));
                continue;
            }
            if (i + 1 < lines.size() && endsInVmsVersion(line) && parseVmsTwoLines(entry, line, lines[i + 1], ctx)) {
                continuation = true;
                continue;
            }
            parseLine(entry, line, ctx);
        }
    });
}

// A big listing's entries fill a fresh block of memory that is written once, front to back.
void reserveListingEntries(std::vector<tTmbFtpEntry> &entries, std::size_t count)
{
    const std::size_t before = entries.capacity();
    entries.reserve(entries.size() + count);
#ifdef __linux__
    constexpr std::uintptr_t kHugePage = 2 * 1024 * 1024;
    const auto begin = reinterpret_cast<std::uintptr_t>(entries.data() + entries.size());
    const auto end = reinterpret_cast<std::uintptr_t>(entries.data() + entries.capacity());
    const std::uintptr_t from = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t to = end & ~(kHugePage - 1);
    if (entries.capacity() != before && to > from)
        madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE); // only advice: failure is harmless
#endif
}

void parseListing(const QStringList &lines, std::vector<tTmbFtpEntry> &entries)
{
    parseListing(lines, entries, QDateTime::currentDateTime());
}
