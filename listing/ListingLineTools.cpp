#include "listing/ListingLineTools.h"

#include "listing/ProgramDateTime.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <array>
#include <bit>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ListingLine {

QStringView trimmedText(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= u' ')
        ++begin;
    while (end > begin && text[end - 1].unicode() <= u' ')
        --end;
    return text.sliced(begin, end - begin);
}

void fail(tTmbFtpEntry &entry, std::int32_t status, const QString &message)
{
    entry.status = status;
    entry.message = message;
}

int anyMonth(QStringView token)
{
    struct Name {
        QStringView text;
        int month;
    };
    // Lower-case names as ls prints them in these locales; three-letter English ones are
    // handled by englishMonth.
    static constexpr Name kNames[] = {
        // English, long and four-letter forms
        {u"january"_v, 1},
        {u"february"_v, 2},
        {u"march"_v, 3},
        {u"april"_v, 4},
        {u"june"_v, 6},
        {u"july"_v, 7},
        {u"august"_v, 8},
        {u"sept"_v, 9},
        {u"september"_v, 9},
        {u"october"_v, 10},
        {u"november"_v, 11},
        {u"december"_v, 12},
        // German
        {u"jän"_v, 1},
        {u"januar"_v, 1},
        {u"februar"_v, 2},
        {u"mär"_v, 3},
        {u"mrz"_v, 3},
        {u"märz"_v, 3},
        {u"mai"_v, 5},
        {u"juni"_v, 6},
        {u"juli"_v, 7},
        {u"okt"_v, 10},
        {u"oktober"_v, 10},
        {u"dez"_v, 12},
        {u"dezember"_v, 12},
        // Hungarian
        {u"febr"_v, 2},
        {u"márc"_v, 3},
        {u"ápr"_v, 4},
        {u"máj"_v, 5},
        {u"jún"_v, 6},
        {u"júl"_v, 7},
        {u"szept"_v, 9},
        // Russian
        {u"янв"_v, 1},
        {u"фев"_v, 2},
        {u"мар"_v, 3},
        {u"апр"_v, 4},
        {u"май"_v, 5},
        {u"мая"_v, 5},
        {u"июн"_v, 6},
        {u"июл"_v, 7},
        {u"авг"_v, 8},
        {u"сен"_v, 9},
        {u"окт"_v, 10},
        {u"ноя"_v, 11},
        {u"дек"_v, 12},
        // French
        {u"janv"_v, 1},
        {u"févr"_v, 2},
        {u"mars"_v, 3},
        {u"avr"_v, 4},
        {u"juin"_v, 6},
        {u"juil"_v, 7},
        {u"août"_v, 8},
        {u"déc"_v, 12},
        // Spanish, Italian, Dutch
        {u"ene"_v, 1},
        {u"abr"_v, 4},
        {u"ago"_v, 8},
        {u"dic"_v, 12},
        {u"gen"_v, 1},
        {u"mag"_v, 5},
        {u"giu"_v, 6},
        {u"lug"_v, 7},
        {u"set"_v, 9},
        {u"ott"_v, 10},
        {u"mrt"_v, 3},
        {u"mei"_v, 5},
    };
    while (!token.isEmpty() && (token.back() == u'.' || token.back() == u','))
        token.chop(1);
    if (token.isEmpty() || token.size() > 9)
        return 0;
    if (const int month = englishMonth(token))
        return month;
    char16_t lower[9];
    for (qsizetype i = 0; i < token.size(); ++i) {
        const QChar c = token[i];
        if (isDigit(c))
            return 0;
        lower[i] = c.unicode() < 128 ? asciiLower(c) : c.toLower().unicode();
    }
    const QStringView folded(lower, token.size());
    // Most tokens that get here are owner or group names: only the names with the same
    // first letter and length are compared. Bucket 26 holds the non-ASCII first letters.
    static const auto kByFirstLetter = [] {
        std::array<std::vector<Name>, 27> buckets;
        for (const Name &name : kNames) {
            const char16_t first = name.text[0].unicode();
            buckets[first >= u'a' && first <= u'z' ? first - u'a' : 26].push_back(name);
        }
        return buckets;
    }();
    const char16_t first = folded[0].unicode();
    if (first < 128 && (first < u'a' || first > u'z'))
        return 0;
    for (const Name &name : kByFirstLetter[first >= u'a' && first <= u'z' ? first - u'a' : 26]) {
        if (name.text.size() == folded.size() && folded == name.text)
            return name.month;
    }
    return 0;
}

QDate dateWithInferredYear(int month, int day, const ParseContext &ctx)
{
    if (!isValidDate(ctx.currentYear, month, day))
        return isValidDate(ctx.currentYear - 1, month, day) ? dateOf(ctx.currentYear - 1, month, day) : QDate();
    const QDate date = dateOf(ctx.currentYear, month, day);
    if (ProgramDateTime::encode(date, 0) > ctx.nowPlusOneDay && isValidDate(ctx.currentYear - 1, month, day))
        return dateOf(ctx.currentYear - 1, month, day);
    return date;
}

bool readYearOrTime(QStringView token, int month, int day, const ParseContext &ctx, double &value)
{
    if (token.endsWith(u','))
        token.chop(1);
    int msecs = 0;
    if (token.size() == 4 && isAllDigits(token)) {
        const int year = smallNumber(token);
        if (!isValidDate(year, month, day))
            return false;
        value = ProgramDateTime::encode(dateOf(year, month, day), 0);
        return true;
    }
    if (!readClock(token, msecs))
        return false;
    const QDate date = dateWithInferredYear(month, day, ctx);
    if (!date.isValid())
        return false;
    value = ProgramDateTime::encode(date, msecs);
    return true;
}

int windowedYear(int twoDigitYear, int currentYear)
{
    const int windowStart = currentYear - 50;
    int year = twoDigitYear + 100 * (windowStart / 100);
    if (year < windowStart)
        year += 100;
    return year;
}

bool readClock(QStringView text, int &msecs)
{
    // hh:mm, then optionally :ss and a fraction of a second.
    const qsizetype colon = indexOfChar(text, u':');
    if (colon < 1 || colon > 2)
        return false;
    const int hour = smallNumber(text.first(colon));
    QStringView rest = text.sliced(colon + 1);
    if (rest.size() < 2)
        return false;
    const int minute = smallNumber(rest.first(2));
    int second = 0;
    rest = rest.sliced(2);
    if (!rest.isEmpty()) {
        if (rest[0] != u':' || rest.size() < 3)
            return false;
        second = smallNumber(rest.sliced(1, 2));
        rest = rest.sliced(3);
        if (!rest.isEmpty() && (rest[0] != u'.' || !isAllDigits(rest.sliced(1))))
            return false;
    }
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return false;
    msecs = ((hour * 60 + minute) * 60 + second) * 1000;
    return true;
}

namespace {

// The local zone's offsets from 1970 to two years ahead, loaded once per listing the first
// time a UTC date needs converting; a binary search then finds each date's offset.
void loadOffsets(const ParseContext &ctx)
{
    ctx.offsetsLoaded = true;
    if (!ctx.localZone.isValid())
        return;
    const QDateTime from(QDate(1970, 1, 1), QTime(0, 0), QTimeZone::utc());
    const QDateTime to(QDate(ctx.currentYear + 2, 12, 31), QTime(0, 0), QTimeZone::utc());
    ctx.offsetsFromMs = from.toMSecsSinceEpoch();
    ctx.offsetsToMs = to.toMSecsSinceEpoch();
    ctx.firstOffsetSecs = ctx.localZone.offsetFromUtc(from);
    for (const QTimeZone::OffsetData &change : ctx.localZone.transitions(from, to))
        ctx.offsetChanges.emplace_back(change.atUtc.toMSecsSinceEpoch(), change.offsetFromUtc);
}

int localOffsetSecs(const QDate &date, int msecsOfDay, const ParseContext &ctx)
{
    if (!ctx.offsetsLoaded)
        loadOffsets(ctx);
    const std::int64_t atMs = (date.toJulianDay() - 2'440'588) * 86'400'000LL + msecsOfDay;
    if (ctx.localZone.isValid() && atMs >= ctx.offsetsFromMs && atMs < ctx.offsetsToMs) {
        const auto after = std::upper_bound(ctx.offsetChanges.begin(), ctx.offsetChanges.end(), atMs,
                                            [](std::int64_t ms, const auto &change) { return ms < change.first; });
        return after == ctx.offsetChanges.begin() ? ctx.firstOffsetSecs : std::prev(after)->second;
    }
    const QDateTime utc(date, QTime::fromMSecsSinceStartOfDay(msecsOfDay), QTimeZone::utc());
    return ctx.localZone.isValid() ? ctx.localZone.offsetFromUtc(utc) : utc.toLocalTime().offsetFromUtc();
}

} // namespace

double utcToLocalValue(const QDate &date, int msecsOfDay, const ParseContext &ctx)
{
    const int offsetSecs = localOffsetSecs(date, msecsOfDay, ctx);
    std::int64_t msecs = msecsOfDay + std::int64_t{offsetSecs} * 1000;
    qint64 days = date.toJulianDay() - ProgramDateTime::kEpochJulianDay;
    if (msecs < 0) {
        msecs += ProgramDateTime::kMsecsPerDay;
        --days;
    } else if (msecs >= ProgramDateTime::kMsecsPerDay) {
        msecs -= ProgramDateTime::kMsecsPerDay;
        ++days;
    }
    return ProgramDateTime::encode(days, static_cast<int>(msecs));
}

namespace {

// Bit k set where chars[k] is a blank or a tab, for `count` (1 to 64) characters; the bits
// past `count` are set too, as if the line went on in blanks. Eight characters are compared
// at a time where the processor allows it: every line of a listing that is not Unix is cut.
std::uint64_t separatorBits(const char16_t *chars, qsizetype count)
{
    std::uint64_t bits = 0;
    qsizetype k = 0;
#if defined(__SSE2__)
    const __m128i blank = _mm_set1_epi16(u' ');
    const __m128i tab = _mm_set1_epi16(u'\t');
    for (; k + 8 <= count; k += 8) {
        const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i *>(chars + k));
        const __m128i separators = _mm_or_si128(_mm_cmpeq_epi16(eight, blank), _mm_cmpeq_epi16(eight, tab));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(separators, _mm_setzero_si128())));
        bits |= std::uint64_t{mask} << k;
    }
#endif
    for (; k < count; ++k) {
        if (chars[k] == u' ' || chars[k] == u'\t')
            bits |= std::uint64_t{1} << k;
    }
    if (count < 64)
        bits |= ~std::uint64_t{0} << count;
    return bits;
}

} // namespace

Tokens::Tokens(QStringView line) : m_line(line)
{
    const char16_t *chars = line.utf16();
    const qsizetype size = line.size();
    int count = 0;
    qsizetype tokenStart = -1; // where the token being read began; -1 between tokens
    // Blocks of 64 characters. A bit of `changes` is set where a token begins or ends (the
    // character differs in kind from the one before it), so the loop visits only those.
    std::uint64_t inTokenBefore = 0; // 1 when the block before ended inside a token
    for (qsizetype base = 0; base < size && count < kMax; base += 64) {
        const std::uint64_t inToken = ~separatorBits(chars + base, std::min<qsizetype>(64, size - base));
        std::uint64_t changes = inToken ^ ((inToken << 1) | inTokenBefore);
        inTokenBefore = inToken >> 63;
        while (changes != 0) {
            const qsizetype at = base + std::countr_zero(changes);
            changes &= changes - 1;
            if (tokenStart < 0) {
                tokenStart = at;
                continue;
            }
            m_start[count] = tokenStart;
            m_end[count] = at;
            tokenStart = -1;
            if (++count == kMax)
                break;
        }
    }
    if (tokenStart >= 0) { // the last token runs to the end of a line of whole blocks
        m_start[count] = tokenStart;
        m_end[count] = size;
        ++count;
    }
    m_count = count;
}

namespace {

// Digits with an optional fraction, times a unit; false on overflow.
bool readScaledSize(QStringView number, std::int64_t unit, std::int64_t &size)
{
    const qsizetype dot = indexOfChar(number, u'.');
    const QStringView whole = dot < 0 ? number : number.first(dot);
    const QStringView fraction = dot < 0 ? QStringView() : number.sliced(dot + 1);
    std::uint64_t w = 0, f = 0;
    if (!readNumber(whole, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / unit), w))
        return false;
    if (dot >= 0 && (fraction.size() > 3 || !readNumber(fraction, 999, f)))
        return false;
    std::int64_t fractionPart = static_cast<std::int64_t>(f) * unit;
    for (qsizetype i = 0; i < fraction.size(); ++i)
        fractionPart /= 10;
    size = static_cast<std::int64_t>(w) * unit + fractionPart;
    return true;
}

bool readGroupedDigits(QStringView text, std::int64_t &size)
{
    // 1 to 3 digits, then groups of exactly 3 after one and the same separator.
    const qsizetype firstSep = indexOfChar(text, indexOfChar(text, u',') >= 0 ? u',' : u'.');
    if (firstSep < 1 || firstSep > 3)
        return false;
    const QChar sep = text[firstSep];
    std::uint64_t value = 0;
    const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    qsizetype groupLength = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == sep) {
            if (i > firstSep && groupLength != 3)
                return false;
            groupLength = 0;
            continue;
        }
        if (!isDigit(c))
            return false;
        const std::uint64_t digit = c.unicode() - u'0';
        if (value > (limit - digit) / 10)
            return false;
        value = value * 10 + digit;
        ++groupLength;
    }
    if (groupLength != 3)
        return false;
    size = static_cast<std::int64_t>(value);
    return true;
}

} // namespace

bool readLooseSize(QStringView text, bool mayFollowText, std::int64_t &size)
{
    std::uint64_t plain = 0;
    if (readNumber(text, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()), plain)) {
        size = static_cast<std::int64_t>(plain);
        return true;
    }
    if (text.isEmpty())
        return false;
    if (readGroupedDigits(text, size))
        return true;
    QStringView number = text;
    if (number.size() > 2 && (number.back() == u'B' || number.back() == u'b') && !isDigit(number[number.size() - 2]))
        number.chop(1);
    const QChar unit = number.back();
    std::int64_t scale = 0;
    switch (asciiLower(unit)) {
    case u'k':
        scale = 1024;
        break;
    case u'm':
        scale = 1024 * 1024;
        break;
    case u'g':
        scale = 1024LL * 1024 * 1024;
        break;
    case u't':
        scale = 1024LL * 1024 * 1024 * 1024;
        break;
    default:
        break;
    }
    if (scale != 0) {
        number.chop(1);
        const bool upper = unit.unicode() >= u'A' && unit.unicode() <= u'Z';
        if ((upper || indexOfChar(number, u'.') >= 0) && readScaledSize(number, scale, size))
            return true;
        return false;
    }
    if (!mayFollowText)
        return false;
    qsizetype digitsFrom = text.size();
    while (digitsFrom > 0 && isDigit(text[digitsFrom - 1]))
        --digitsFrom;
    if (digitsFrom == 0 || digitsFrom == text.size() || isDigit(text[digitsFrom - 1]))
        return false;
    // The text before the digits is a group or owner name: it must not look like a number.
    for (qsizetype i = 0; i < digitsFrom; ++i) {
        if (!text[i].isLetter() && text[i] != u'_' && text[i] != u'-')
            return false;
    }
    if (!readNumber(text.sliced(digitsFrom), static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()),
                    plain))
        return false;
    size = static_cast<std::int64_t>(plain);
    return true;
}

bool readDateToken(QStringView text, bool allowTwoDigitYear, const ParseContext &ctx, QDate &date)
{
    // The first part has one, two or four characters. Sizes, names and times are most of the
    // tokens that come here: they are turned away without a look at the rest of them.
    const auto isSeparator = [](QChar c) { return c == u'-' || c == u'/' || c == u'.'; };
    if (text.size() < 5 || !(isSeparator(text[1]) || isSeparator(text[2]) || isSeparator(text[4])))
        return false;
    QStringView part[3];
    QChar sep;
    qsizetype from = 0;
    int parts = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != u'-' && text[i] != u'/' && text[i] != u'.')
            continue;
        if (parts == 3)
            return false;
        if (i < text.size()) {
            if (parts == 0)
                sep = text[i];
            else if (text[i] != sep)
                return false;
        }
        part[parts++] = text.sliced(from, i - from);
        from = i + 1;
    }
    if (parts != 3)
        return false;
    int year = 0, month = 0, day = 0;
    if (part[0].size() == 4) { // year first
        year = smallNumber(part[0]);
        month = smallNumber(part[1]);
        day = smallNumber(part[2]);
    } else {
        const int a = smallNumber(part[0]);
        if ((part[2].size() != 4 && (!allowTwoDigitYear || part[2].size() != 2)) || part[0].size() > 2)
            return false;
        year = smallNumber(part[2]);
        if (year >= 0 && part[2].size() == 2)
            year = windowedYear(year, ctx.currentYear);
        if (const int named = englishMonth(part[1]); named != 0) {
            day = a;
            month = named;
        } else {
            const int b = smallNumber(part[1]);
            // Dots mean day first; otherwise month first unless the first part cannot be one.
            const bool dayFirst = sep == u'.' || a > 12;
            day = dayFirst ? a : b;
            month = dayFirst ? b : a;
        }
    }
    if (!isValidDate(year, month, day))
        return false;
    date = dateOf(year, month, day);
    return true;
}

ParseContext contextFor(const QDateTime &now)
{
    ParseContext ctx;
    ctx.nowPlusOneDay = ProgramDateTime::fromDateTime(now) + 1.0;
    ctx.currentYear = now.date().year();
    ctx.localZone = QTimeZone::systemTimeZone();
    return ctx;
}

} // namespace ListingLine
