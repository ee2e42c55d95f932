#pragma once

// Shared pieces of the listing parser's recognisers. Internal to listing/.

#include "listing/ProgramDateTime.h"
#include "listing/u_tmbFtpParser.h"

#include <QDate>
#include <QStringView>
#include <QTimeZone>

#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ListingLine {

// A view of a string literal whose length is known at compile time; comparing with a bare
// u"..." would measure the literal on every call.
constexpr QStringView operator""_v(const char16_t *text, std::size_t size)
{
    return QStringView(text, static_cast<qsizetype>(size));
}

// The kinds of line the recognisers tell apart, for trying the last one first.
enum class LineKind : std::uint8_t {
    None,
    Unix,
    Dos,
    Facts,
    Eplf,
    Other, // one of parseOtherServerLine's formats; lastOther says which
};

// What every line of one listing is judged against.
struct ParseContext {
    // Which recogniser of parseOtherServerLine read the last line of that kind.
    mutable int lastOther = -1;
    double nowPlusOneDay = 0.0;
    int currentYear = 0;
    // Machine listings give UTC. The zone is looked up once per listing: converting through
    // the C library's local time checks the zone file on every call.
    QTimeZone localZone;
    // The zone's offset changes (UTC milliseconds, offset in seconds), loaded on first use.
    mutable bool offsetsLoaded = false;
    mutable std::int64_t offsetsFromMs = 0;
    mutable std::int64_t offsetsToMs = 0;
    mutable int firstOffsetSecs = 0;
    mutable std::vector<std::pair<std::int64_t, int>> offsetChanges;

    // What the listing has shown so far. A listing seldom changes kind, so the kind of the
    // line before is tried first; the other kinds are still tried when it does not fit.
    mutable LineKind lastKind = LineKind::None;
    // Where names begin in a DOS listing whose columns are not IIS's: one blank after the
    // right-aligned size column of the last file line; -1 before the first.
    mutable qsizetype dosNameColumn = -1;
    // The listing holds MVS partitioned dataset members (its header or a member line was
    // seen), so a line of a single name is a member without statistics.
    mutable bool mvsMembers = false;
};

// Only ASCII letters fold: no other character lower-cases into the letters the parser
// compares against, so this equals a full lower-casing there.
inline char16_t asciiLower(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') ? static_cast<char16_t>(u + 32) : u;
}

inline bool isDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// These run for every field of every line: inline, so the Unix rules' loop keeps them.
inline bool isAllDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (!isDigit(c))
            return false;
    }
    return true;
}

// Reads an all-digits text. False when it is not all digits or exceeds `limit`.
inline bool readNumber(QStringView text, std::uint64_t limit, std::uint64_t &value)
{
    // Up to 19 digits cannot overflow 64 bits: checked and added up in one pass. Only longer
    // texts need the check per digit.
    if (text.size() <= 19) {
        if (text.isEmpty())
            return false;
        std::uint64_t sum = 0;
        const char16_t *chars = text.utf16();
        for (qsizetype i = 0; i < text.size(); ++i) {
            const unsigned digit = static_cast<unsigned>(chars[i]) - u'0';
            if (digit > 9)
                return false;
            sum = sum * 10 + digit;
        }
        value = sum;
        return sum <= limit;
    }
    if (!isAllDigits(text))
        return false;
    value = 0;
    for (QChar c : text) {
        const std::uint64_t digit = c.unicode() - u'0';
        if (value > (limit - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

// The QDate of a date that isValidDate accepts, without QDate's calendar lookups.
inline QDate dateOf(int year, int month, int day)
{
    return QDate::fromJulianDay(ProgramDateTime::dayNumber(year, month, day) + ProgramDateTime::kEpochJulianDay);
}

// The date `days` days after 1 January 1970.
inline QDate dateAfter1970(qint64 days)
{
    return QDate::fromJulianDay(ProgramDateTime::kEpochJulianDay + ProgramDateTime::dayNumber(1970, 1, 1) + days);
}

inline bool equalsAsciiNoCase(QStringView text, QStringView lowerAscii)
{
    if (text.size() != lowerAscii.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (asciiLower(text[i]) != lowerAscii[i].unicode())
            return false;
    }
    return true;
}

// Where the first `a` or `b` at or after `from` is, or text.size() when there is none.
// Lines are searched for the end of a field, a tab or a ";" by the million, mostly over a
// few characters and sometimes past a long name or a run of facts: eight characters are
// compared at a time where the processor allows it, inline, without the call and set-up of
// a general search.
inline qsizetype indexOfEither(QStringView text, qsizetype from, char16_t a, char16_t b)
{
    const char16_t *chars = text.utf16();
    const qsizetype size = text.size();
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i wantA = _mm_set1_epi16(static_cast<short>(a));
    const __m128i wantB = _mm_set1_epi16(static_cast<short>(b));
    for (; i + 8 <= size; i += 8) {
        const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i *>(chars + i));
        const __m128i found = _mm_or_si128(_mm_cmpeq_epi16(eight, wantA), _mm_cmpeq_epi16(eight, wantB));
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(found)); mask != 0)
            return i + std::countr_zero(mask) / 2; // two mask bits per character
    }
#endif
    for (; i < size; ++i) {
        if (chars[i] == a || chars[i] == b)
            return i;
    }
    return size;
}

// Where the first character other than a blank at or after `from` is, or text.size() when
// there is none: the columns of listings are padded with runs of blanks.
inline qsizetype indexOfNonBlank(QStringView text, qsizetype from)
{
    const char16_t *chars = text.utf16();
    const qsizetype size = text.size();
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i blank = _mm_set1_epi16(static_cast<short>(u' '));
    for (; i + 8 <= size; i += 8) {
        const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i *>(chars + i));
        const auto other = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(eight, blank))) ^ 0xffffU;
        if (other != 0)
            return i + std::countr_zero(other) / 2; // two mask bits per character
    }
#endif
    for (; i < size; ++i) {
        if (chars[i] != u' ')
            return i;
    }
    return size;
}

// Where `c` first occurs at or after `from`, or -1.
inline qsizetype indexOfChar(QStringView text, char16_t c, qsizetype from = 0)
{
    const qsizetype at = indexOfEither(text, from, c, c);
    return at < text.size() ? at : -1;
}

// Small all-digits values (days, months, years, clock parts); -1 when not such a number.
inline int smallNumber(QStringView text)
{
    std::uint64_t value = 0;
    return readNumber(text, 99'999, value) ? static_cast<int>(value) : -1;
}
// Trims blanks and control characters at both ends.
QStringView trimmedText(QStringView text);

void fail(tTmbFtpEntry &entry, std::int32_t status, const QString &message);

// Years 1 to 9999 (what the program's date value and QDate both hold), a month and a day of it.
constexpr bool isValidDate(int year, int month, int day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    if (month == 2)
        return day <= ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 29 : 28);
    return day <= (month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31);
}

namespace Detail {
// The month of every three-letter text of ASCII letters, by its letters' places in the
// alphabet: a table lookup instead of twelve compares, for every field of every Unix line.
constexpr int kLetterCodes = 26 * 26 * 26;
inline constexpr auto kMonthByLetters = [] {
    std::array<std::uint8_t, kLetterCodes> table{};
    const char *const names[12] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    for (int month = 0; month < 12; ++month)
        table[((names[month][0] - 'a') * 26 + (names[month][1] - 'a')) * 26 + (names[month][2] - 'a')] =
            static_cast<std::uint8_t>(month + 1);
    return table;
}();
inline int letterCode(QChar c)
{
    const char16_t lower = asciiLower(c);
    return lower >= u'a' && lower <= u'z' ? lower - u'a' : -1;
}
} // namespace Detail

// January 1 .. December 12 for the three-letter English abbreviations, any case; else 0.
inline int englishMonth(QStringView field)
{
    if (field.size() != 3)
        return 0;
    const int a = Detail::letterCode(field[0]), b = Detail::letterCode(field[1]), c = Detail::letterCode(field[2]);
    if ((a | b | c) < 0)
        return 0;
    return Detail::kMonthByLetters[(a * 26 + b) * 26 + c];
}
// Month names and abbreviations of the languages servers list in (English, German,
// Hungarian, Russian, French, Spanish, Italian, Dutch), any case, with a trailing "." or ","
// ignored; 0 when none.
int anyMonth(QStringView token);
// Year, month and day for a date without a year: this year, or last year when that puts it
// more than a day ahead of now. Invalid when no such date exists.
QDate dateWithInferredYear(int month, int day, const ParseContext &ctx);
// The field after a day and a month: a four-digit year (with a "," after it or not), or a
// time of a date without a year.
bool readYearOrTime(QStringView token, int month, int day, const ParseContext &ctx, double &value);
// Two-digit years in the 50-year window around the current year.
int windowedYear(int twoDigitYear, int currentYear);
// "hh:mm", "hh:mm:ss" or "hh:mm:ss.ff"; milliseconds since midnight. "24:00" is not a time.
bool readClock(QStringView text, int &msecs);
// A calendar date and time given in UTC as the program's local date-time value.
double utcToLocalValue(const QDate &date, int msecsOfDay, const ParseContext &ctx);

// The non-empty blank- or tab-separated tokens of a line and where each begins. Lines with
// more tokens than kMax keep the first kMax; `rest(i)` still reaches the end of the line.
class Tokens {
public:
    static constexpr int kMax = 24;
    explicit Tokens(QStringView line);
    // No tokens yet: a caller that walks the line field by field adds them.
    struct Uncut {};
    Tokens(QStringView line, Uncut) : m_line(line) {}
    // Adds the token from `start` to `end` after the last; the tokens past kMax are dropped,
    // as the constructor drops them.
    void add(qsizetype start, qsizetype end)
    {
        if (m_count == kMax)
            return;
        m_start[m_count] = start;
        m_end[m_count] = end;
        ++m_count;
    }
    int count() const { return m_count; }
    QStringView operator[](int i) const { return m_line.sliced(m_start[i], m_end[i] - m_start[i]); }
    qsizetype start(int i) const { return m_start[i]; }
    qsizetype end(int i) const { return m_end[i]; }
    // The line from token i to its end, exactly as sent.
    QStringView rest(int i) const { return m_line.sliced(m_start[i]); }
    QStringView line() const { return m_line; }

private:
    QStringView m_line;
    int m_count = 0;
    // Only the first m_count are set: the lines of a listing are tokenised by the million.
    qsizetype m_start[kMax];
    qsizetype m_end[kMax];
};

// A line whose tokens are cut on first use and then shared by every recogniser tried on it:
// a line that is not of the listing's last kind meets several of them.
class LineTokens {
public:
    explicit LineTokens(QStringView line) : m_line(line) {}
    const Tokens &get() const
    {
        if (!m_tokens)
            m_tokens.emplace(m_line);
        return *m_tokens;
    }
    // Tokens to be added by a caller that has walked the line itself.
    Tokens &walked() const { return m_tokens.emplace(m_line, Tokens::Uncut{}); }

private:
    QStringView m_line;
    mutable std::optional<Tokens> m_tokens;
};

// Sizes as servers write them beyond plain digits: thousands groups ("1,234,567" or
// "1.234.567"), units ("12K", "1.5M", "33.5k", "2KB"; powers of 1024), and, when
// `mayFollowText` is set, a size run together with the group before it ("staff123456"). A
// lower-case unit without a fraction ("10k") is not read.
bool readLooseSize(QStringView text, bool mayFollowText, std::int64_t &size);

// A date token "2005-06-30", "2005/06/30", "2005.06.30", "30.06.2005", "06/30/2005",
// "06-30-2005", "30-06-2005", "01-jun-99"; two-digit years in the 50-year window when
// `allowTwoDigitYear`.
bool readDateToken(QStringView text, bool allowTwoDigitYear, const ParseContext &ctx, QDate &date);

// The permission text of a Unix line's first field: a link count run together with it
// ("-rw-r--r--+1", "drwxr-xr-x12") is cut off.
QStringView unixPermissionText(QStringView field);

// Unix lines that the classic rules could not read: numeric, ISO, localized and dateless
// dates. True when one of them fits; the entry is then complete.
bool parseUnixVariant(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx);
// Unix line fields shared by the classic rules and the variants: kind from the first
// character, permissions code, name (links split at " -> "), devices without a size.
void finishUnixEntry(tTmbFtpEntry &entry, QStringView permissions, QStringView name);

// Which of the other servers' formats parseOtherServerLine tries.
enum class OtherFormats : std::uint8_t {
    All,       // the format of the last line read there first, then the others
    LastOnly,  // only the format of the last line read there
    AllButLast // the others, when the line was just tried with LastOnly
};
// The other servers' formats; true when one of them fits and the entry is complete.
bool parseOtherServerLine(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx,
                          OtherFormats formats = OtherFormats::All);
// A VMS entry whose name fills one line and whose statistics follow on the next.
bool parseVmsTwoLines(tTmbFtpEntry &entry, QStringView nameLine, QStringView detailLine, const ParseContext &ctx);
// Lines a VMS server sends around its entries: "Directory DISK:[PATH]" headers, "Total of
// ..." and "Grand total of ..." summaries and "%FACILITY-S-IDENT, text" messages. True when
// the line is one of them; the entry then has its status.
bool parseVmsNonEntry(tTmbFtpEntry &entry, const Tokens &t);
// DOS/IIS lines: a date ("MM-DD-YY", "MM-DD-YYYY", "YYYY-MM-DD"), a time with or without
// AM/PM, "<DIR>" or a size, the name. False when the line does not begin like one.
bool parseDosLine(tTmbFtpEntry &entry, QStringView line, const ParseContext &ctx);
// EPLF ("+facts,\tname"); false when the line is not EPLF at all.
bool parseEplfLine(tTmbFtpEntry &entry, QStringView line, const ParseContext &ctx);
// A line whose first field is MLSD facts ("type=file;size=1;").
bool looksLikeFactsLine(QStringView line);
void parseFactsLine(tTmbFtpEntry &entry, QStringView line, const ParseContext &ctx);

ParseContext contextFor(const QDateTime &now);

} // namespace ListingLine
