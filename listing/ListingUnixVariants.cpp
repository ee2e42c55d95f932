// Unix long listings whose date field is not "Mon dd hh:mm|yyyy": numeric and ISO dates,
// day before month, month names of other languages, CJK dates, and lines with no date.
#include "listing/ListingLineTools.h"
#include "listing/ProgramDateTime.h"

namespace ListingLine {

namespace {

// A date found at some token, and the token the name begins at.
struct DateMatch {
    double value = 0.0;
    int next = 0;
};

QStringView withoutTrailing(QStringView token, QStringView chars)
{
    // `chars` is one or two marks: compared one by one, without a search's set-up.
    const auto trailing = [chars](QChar c) {
        for (QChar mark : chars) {
            if (c == mark)
                return true;
        }
        return false;
    };
    while (!token.isEmpty() && trailing(token.back()))
        token.chop(1);
    return token;
}

bool yearOrTime(QStringView token, int month, int day, const ParseContext &ctx, DateMatch &m)
{
    return readYearOrTime(token, month, day, ctx, m.value);
}

// "2005-06-30 [12:00[:00[.000000000]] [+0200]]", "09-26 2000", "01-jun-99".
bool numericDate(const Tokens &t, int i, const ParseContext &ctx, DateMatch &m)
{
    QDate date;
    if (readDateToken(t[i], true, ctx, date)) {
        int msecs = 0;
        int next = i + 1;
        if (next < t.count() && readClock(t[next], msecs)) {
            ++next;
            // ls --full-time adds the server's offset; the time is shown as the server wrote it.
            if (next < t.count() && t[next].size() == 5 && (t[next][0] == u'+' || t[next][0] == u'-') &&
                isAllDigits(t[next].sliced(1)))
                ++next;
        }
        m.value = ProgramDateTime::encode(date, msecs);
        m.next = next;
        return true;
    }
    // Month and day without a year, the year or time in the next field.
    const QStringView token = t[i];
    const qsizetype dash = indexOfChar(token, u'-');
    if (dash < 1 || dash > 2 || token.size() - dash - 1 < 1 || token.size() - dash - 1 > 2 || i + 1 >= t.count())
        return false;
    const int month = smallNumber(token.first(dash));
    const int day = smallNumber(token.sliced(dash + 1));
    if (month < 1 || month > 12 || day < 1 || !yearOrTime(t[i + 1], month, day, ctx, m))
        return false;
    m.next = i + 2;
    return true;
}

// "01 oct 2004", "26. Juli, 20:10", "2.   Okt.  2003", "29 Jul 02:27".
bool dayThenMonth(const Tokens &t, int i, const ParseContext &ctx, DateMatch &m)
{
    if (i + 2 >= t.count())
        return false;
    // The day first: most tokens are not one, and looking for a month name costs more.
    const int day = smallNumber(withoutTrailing(t[i], u"."_v));
    if (day < 1 || day > 31)
        return false;
    const int month = anyMonth(t[i + 1]);
    if (month == 0 || !yearOrTime(t[i + 2], month, day, ctx, m))
        return false;
    m.next = i + 3;
    return true;
}

// "szept 26 20:10", "Mär  5  2019", "июн 30 12:00", "Oct 08, 2002 09:47". A three-letter
// English month followed by a plain day is the classic form and not taken here.
bool monthThenDay(const Tokens &t, int i, const ParseContext &ctx, DateMatch &m)
{
    if (i + 2 >= t.count())
        return false;
    // The day first: owner and group names come here, and are seldom followed by a day.
    const QStringView dayToken = t[i + 1];
    const int day = smallNumber(withoutTrailing(dayToken, u".,"_v));
    if (day < 1 || day > 31)
        return false;
    const int month = anyMonth(t[i]);
    if (month == 0)
        return false;
    const bool commaAfterDay = dayToken.endsWith(u',');
    if (englishMonth(t[i]) != 0 && !commaAfterDay)
        return false;
    if (!yearOrTime(t[i + 2], month, day, ctx, m))
        return false;
    m.next = i + 3;
    // VShell writes both: "Oct 08, 2002 09:47".
    if (int msecs = 0; commaAfterDay && m.next < t.count() && readClock(t[m.next], msecs)) {
        m.value += static_cast<double>(msecs) / ProgramDateTime::kMsecsPerDay;
        ++m.next;
    }
    return true;
}

// CJK dates: digits with 年/년 (year), 月/월 (month), 日/일 (day) after them, as fields of
// their own (" 6月 30日") or run together ("2019年3月5日").
enum class CjkPart { None, Year, Month, Day, Invalid };

CjkPart cjkMark(QChar c)
{
    switch (c.unicode()) {
    case u'年':
    case u'년':
        return CjkPart::Year;
    case u'月':
    case u'월':
        return CjkPart::Month;
    case u'日':
    case u'일':
        return CjkPart::Day;
    default:
        return CjkPart::Invalid;
    }
}

// The numbers of the date, each with its mark, and after which token each ends.
struct CjkPieces {
    static constexpr int kMax = 6;
    int count = 0;
    int value[kMax];
    CjkPart part[kMax];
    int token[kMax]; // the token the piece is in
    bool endsToken[kMax];
};

// Cuts tokens i.. into pieces: digits, then one mark or the token's end. Stops at the first
// token that is not made of such pieces.
void cjkPieces(const Tokens &t, int i, CjkPieces &p)
{
    for (int k = i; k < t.count() && k < i + 4 && p.count < CjkPieces::kMax; ++k) {
        const QStringView token = t[k];
        const int first = p.count;
        qsizetype pos = 0;
        while (pos < token.size() && p.count < CjkPieces::kMax) {
            const qsizetype from = pos;
            while (pos < token.size() && isDigit(token[pos]) && pos - from < 5)
                ++pos;
            const int value = smallNumber(token.sliced(from, pos - from));
            CjkPart part = CjkPart::None;
            if (pos < token.size()) {
                part = cjkMark(token[pos]);
                ++pos;
            }
            if (value < 0 || part == CjkPart::Invalid) {
                p.count = first; // not a date token: only whole tokens count
                return;
            }
            p.value[p.count] = value;
            p.part[p.count] = part;
            p.token[p.count] = k;
            p.endsToken[p.count] = pos == token.size();
            ++p.count;
        }
        if (pos < token.size()) {
            p.count = first;
            return;
        }
    }
}

// " 6月 30日 12:00", " 4月 18日 2003年", "2005년  1월  6일", "2003  3月 20", "8월 17 08:52",
// "2019年3月5日".
bool cjkDate(const Tokens &t, int i, const ParseContext &ctx, DateMatch &m)
{
    CjkPieces p;
    cjkPieces(t, i, p);
    int year = -1, month = -1, day = -1;
    int next = 0;
    if (next < p.count &&
        (p.part[next] == CjkPart::Year || (p.part[next] == CjkPart::None && t[p.token[next]].size() == 4))) {
        year = p.value[next];
        ++next;
    }
    if (next >= p.count || p.part[next] != CjkPart::Month)
        return false;
    month = p.value[next++];
    if (next >= p.count || (p.part[next] != CjkPart::Day && p.part[next] != CjkPart::None) || !p.endsToken[next])
        return false;
    day = p.value[next];
    int after = p.token[next] + 1; // the token after the day
    if (year < 0) {
        if (after >= t.count())
            return false;
        ++next;
        if (next < p.count && p.part[next] == CjkPart::Year && p.endsToken[next] && p.token[next] == after) {
            year = p.value[next];
            ++after;
        } else if (!yearOrTime(t[after], month, day, ctx, m)) {
            return false;
        } else {
            m.next = after + 1;
            return true;
        }
    }
    if (!isValidDate(year, month, day))
        return false;
    int msecs = 0;
    if (after < t.count() && readClock(t[after], msecs))
        ++after;
    m.value = ProgramDateTime::encode(dateOf(year, month, day), msecs);
    m.next = after;
    return true;
}

// "3 29 03:26": month and day as plain numbers before a time or a year.
bool numericMonthDay(const Tokens &t, int i, const ParseContext &ctx, DateMatch &m)
{
    if (i + 2 >= t.count() || t[i].size() > 2 || t[i + 1].size() > 2)
        return false;
    const int month = smallNumber(t[i]);
    const int day = smallNumber(t[i + 1]);
    if (month < 1 || month > 12 || day < 1 || !yearOrTime(t[i + 2], month, day, ctx, m))
        return false;
    m.next = i + 3;
    return true;
}

bool dateAt(const Tokens &t, int i, const ParseContext &ctx, DateMatch &m)
{
    const QChar first = t[i][0];
    if (isDigit(first))
        return numericDate(t, i, ctx, m) || dayThenMonth(t, i, ctx, m) || cjkDate(t, i, ctx, m) ||
               numericMonthDay(t, i, ctx, m);
    return monthThenDay(t, i, ctx, m);
}

} // namespace

QStringView unixPermissionText(QStringView field)
{
    if (field.size() <= 11)
        return field;
    qsizetype end = field.size();
    while (end > 10 && isDigit(field[end - 1]))
        --end;
    return field.first(end);
}

void finishUnixEntry(tTmbFtpEntry &entry, QStringView permissionsField, QStringView name)
{
    const QStringView permissions = unixPermissionText(permissionsField);
    entry.status = ListingStatus::Ok;
    entry.style = ListingStyle::Unix;
    entry.permissions = ListingParser::permissionCode(permissions);
    const QChar kind = permissions[0];
    entry.isFolder = kind == u'd';
    entry.isLink = kind == u'l';
    switch (kind.unicode()) {
    case u'-':
    case u'd':
    case u'l':
    case u'L': // as the letters were always read: not a link, not special
        break;
    case u'c':
    case u'C':
        entry.special = SpecialFile::CharDevice;
        break;
    case u'b':
    case u'B':
        entry.special = SpecialFile::BlockDevice;
        break;
    case u'p':
        entry.special = SpecialFile::Fifo;
        break;
    case u's':
    case u'S':
        entry.special = SpecialFile::Socket;
        break;
    default: // doors, ports, whiteouts and the like: shown, never transferred
        entry.special = SpecialFile::Other;
        break;
    }
    // A device's size column holds its major and minor numbers, not a size.
    if (entry.special == SpecialFile::CharDevice || entry.special == SpecialFile::BlockDevice)
        entry.size = 0;
    if (!entry.isLink) {
        entry.name = name.toString();
        return;
    }
    // ls writes " -> " between link and target; a bare "->" may be part of the name.
    qsizetype arrow = name.indexOf(u" -> "_v);
    if (arrow < 0)
        arrow = name.indexOf(u"->"_v);
    if (arrow >= 0)
        name = name.first(arrow);
    // "-> target" alone leaves an empty name; the folder cache refuses such entries.
    entry.name = trimmedText(name).toString();
    // A link to anything is shown as a folder unless its own name has a dot.
    entry.isFolder = !entry.name.contains(u'.');
}

bool parseUnixVariant(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    for (int i = 2; i < t.count(); ++i) {
        DateMatch m;
        if (!dateAt(t, i, ctx, m))
            continue;
        std::int64_t size = 0;
        if (m.next >= t.count() || !readLooseSize(t[i - 1], i >= 3, size))
            continue;
        entry.size = size;
        entry.modified = m.value;
        finishUnixEntry(entry, t[0], t.rest(m.next));
        return true;
    }
    // No date at all: permissions, links, owner, group, size and a name without blanks. A
    // month name in the name's place is a cut-off dated line instead.
    if (t.count() == 6 && isAllDigits(t[1]) && isAllDigits(t[4]) && anyMonth(t[5]) == 0) {
        std::int64_t size = 0;
        if (!readLooseSize(t[4], false, size))
            return false;
        entry.size = size;
        entry.modified = 0.0;
        finishUnixEntry(entry, t[0], t.rest(5));
        return true;
    }
    return false;
}

} // namespace ListingLine
