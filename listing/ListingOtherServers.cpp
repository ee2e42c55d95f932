// Listings of servers that are neither Unix nor Windows: Netware, OS/2, VxWorks, VShell,
// VMS, OS/400, MVS datasets and members, z/VM, HP NonStop, OS-9, Nortel, Connect:Enterprise
// and Unix numerical listings. Each recogniser accepts only lines whose every field it
// understands, so that one never reads another format's line into a wrong name.
#include "listing/ListingLineTools.h"
#include "listing/ProgramDateTime.h"

#include <utility>

namespace ListingLine {

namespace {

void succeed(tTmbFtpEntry &entry, ListingStyle style, QString &&name)
{
    entry.status = ListingStatus::Ok;
    entry.style = style;
    entry.permissions = -1;
    entry.name = std::move(name);
}

void succeed(tTmbFtpEntry &entry, ListingStyle style, QStringView name)
{
    succeed(entry, style, name.toString());
}

bool isBracketed(QStringView token, QChar open, QChar close)
{
    return token.size() >= 2 && token.front() == open && token.back() == close;
}

// The MVS column headers above dataset and member listings.
bool mvsHeader(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    if (!((t[0] == u"Volume"_v && t[1] == u"Unit"_v) || (t[0] == u"Name"_v && t[1] == u"VV.MM"_v)))
        return false;
    if (t[0] == u"Name"_v)
        ctx.mvsMembers = true;
    fail(entry, ListingStatus::Header, QStringLiteral("listing header line"));
    return true;
}

// "d [R----F--] supervisor            512       Jan 16 18:53    name"
bool netware(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    if (t.count() < 8 || (t[0] != u"d"_v && t[0] != u"-"_v) || !isBracketed(t[1], u'[', u']'))
        return false;
    const int month = englishMonth(t[4]);
    const int day = smallNumber(t[5]);
    std::uint64_t size = 0;
    if (month == 0 || day < 1 || !readNumber(t[3], 1ULL << 62, size) ||
        !readYearOrTime(t[6], month, day, ctx, entry.modified))
        return false;
    entry.size = static_cast<std::int64_t>(size);
    entry.isFolder = t[0] == u"d"_v;
    succeed(entry, ListingStyle::Netware, t.rest(7));
    return true;
}

// "36611      A    04-23-103  10:57  name", "    0 DIR       02-11-103  16:15  name": the
// year has two digits, or three counted from 1900.
bool os2(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    std::uint64_t size = 0;
    if (t.count() < 4 || !readNumber(t[0], 1ULL << 62, size))
        return false;
    int i = 1;
    bool folder = false;
    for (; i < t.count() && !isDigit(t[i][0]); ++i) {
        if (t[i] == u"DIR"_v) {
            folder = true;
            continue;
        }
        for (QChar c : t[i]) {
            if (c != u'A' && c != u'R' && c != u'H' && c != u'S')
                return false;
        }
    }
    if (i + 2 >= t.count())
        return false;
    const QStringView date = t[i];
    if (date.size() < 8 || date[2] != u'-' || date[5] != u'-')
        return false;
    const int month = smallNumber(date.first(2));
    const int day = smallNumber(date.sliced(3, 2));
    const QStringView yearText = date.sliced(6);
    int year = yearText.size() <= 3 ? smallNumber(yearText) : -1;
    if (year < 0)
        return false;
    year = yearText.size() == 3 ? 1900 + year : windowedYear(year, ctx.currentYear);
    int msecs = 0;
    if (!isValidDate(year, month, day) || !readClock(t[i + 1], msecs) || t[i + 1].size() > 5)
        return false;
    entry.size = static_cast<std::int64_t>(size);
    entry.modified = ProgramDateTime::encode(dateOf(year, month, day), msecs);
    entry.isFolder = folder;
    succeed(entry, ListingStyle::Os2, t.rest(i + 2));
    return true;
}

// "Feb-28-1998"
bool monthDashDate(QStringView token, QDate &date)
{
    if (token.size() < 10 || token[3] != u'-' || token[6] != u'-')
        return false;
    const int month = englishMonth(token.first(3));
    const int day = smallNumber(token.sliced(4, 2));
    const int year = token.size() == 11 ? smallNumber(token.sliced(7)) : -1;
    if (month == 0 || !isValidDate(year, month, day))
        return false;
    date = dateOf(year, month, day);
    return true;
}

// "2048    Feb-28-1998  05:23:30   name <DIR>"
bool vxWorks(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &)
{
    std::uint64_t size = 0;
    QDate date;
    int msecs = 0;
    if (t.count() < 4 || !readNumber(t[0], 1ULL << 62, size) || !monthDashDate(t[1], date) || !readClock(t[2], msecs))
        return false;
    QStringView name = t.rest(3);
    bool folder = false;
    if (name.endsWith(u"<DIR>"_v) && t.count() >= 5) {
        name.chop(5);
        while (name.endsWith(u' '))
            name.chop(1);
        folder = true;
    }
    entry.size = static_cast<std::int64_t>(size);
    entry.modified = ProgramDateTime::encode(date, msecs);
    entry.isFolder = folder;
    succeed(entry, ListingStyle::VxWorks, name);
    return true;
}

// VShell: "206876  Apr 04, 2000 21:06 name", folders end in "/".
bool vshell(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &)
{
    std::uint64_t size = 0;
    if (t.count() < 6 || !readNumber(t[0], 1ULL << 62, size) || !t[2].endsWith(u','))
        return false;
    const int month = englishMonth(t[1]);
    const int day = smallNumber(t[2].chopped(1));
    const int year = t[3].size() == 4 ? smallNumber(t[3]) : -1;
    int msecs = 0;
    if (month == 0 || !isValidDate(year, month, day) || !readClock(t[4], msecs))
        return false;
    QStringView name = t.rest(5);
    entry.isFolder = name.size() > 1 && name.endsWith(u'/');
    if (entry.isFolder)
        name.chop(1);
    entry.size = static_cast<std::int64_t>(size);
    entry.modified = ProgramDateTime::encode(dateOf(year, month, day), msecs);
    succeed(entry, ListingStyle::Unix, name);
    return true;
}

// "2-JUL-2003" or "02-JUL-2003". Servers set to French write some months their own way.
bool vmsDate(QStringView token, QDate &date)
{
    const qsizetype dash = indexOfChar(token, u'-');
    if (dash < 1 || dash > 2 || token.size() != dash + 9 || token[dash + 4] != u'-')
        return false;
    const int day = smallNumber(token.first(dash));
    const QStringView monthText = token.sliced(dash + 1, 3);
    int month = englishMonth(monthText);
    if (month == 0) {
        static constexpr std::pair<QStringView, int> kOther[] = {
            {u"fev"_v, 2}, {u"avr"_v, 4}, {u"mai"_v, 5}, {u"jui"_v, 7}, {u"aou"_v, 8}};
        for (const auto &[text, number] : kOther) {
            if (equalsAsciiNoCase(monthText, text))
                month = number;
        }
    }
    const QStringView yearText = token.sliced(dash + 5);
    const int year = isAllDigits(yearText) ? smallNumber(yearText) : -1;
    if (month == 0 || !isValidDate(year, month, day))
        return false;
    date = dateOf(year, month, day);
    return true;
}

// A VMS user name written without brackets: capitals, digits, "_" and "$".
bool isVmsOwner(QStringView token)
{
    bool letter = false;
    for (QChar c : token) {
        const char16_t u = c.unicode();
        if (u >= u'A' && u <= u'Z')
            letter = true;
        else if (!isDigit(c) && u != u'_' && u != u'$')
            return false;
    }
    return letter;
}

// "NAME.EXT;1" with its version: the name as VMS gives it.
bool isVmsName(QStringView name)
{
    // From the end: the version is digits, so a ";" further left means a name without one.
    qsizetype i = name.size();
    while (i > 0 && isDigit(name[i - 1]))
        --i;
    return i >= 2 && i < name.size() && name[i - 1] == u';';
}

// The statistics after a VMS name, from token `from` on: size in 512-byte blocks
// ("used/allocated" or "used"), date, time (seconds and hundredths allowed), owner
// ("[GROUP,USER]", "[USER]" or bare) and protection ("(RWED,RWED,RE,)"), in more than one
// order. A bracketed group may hold blanks ("[SYSTEM, ADMIN]").
bool vmsDetails(tTmbFtpEntry &entry, const Tokens &t, int from, QStringView name)
{
    bool haveSize = false, haveDate = false, haveTime = false, haveOwner = false;
    std::int64_t size = 0;
    QDate date;
    int msecs = 0;
    for (int i = from; i < t.count(); ++i) {
        const QStringView token = t[i];
        int clock = 0;
        if (token.front() == u'[' || token.front() == u'(') {
            const QChar close = token.front() == u'[' ? u']' : u')';
            while (t[i].back() != close) {
                if (++i == t.count())
                    return false;
            }
            continue;
        }
        if (!haveDate && vmsDate(token, date)) {
            haveDate = true;
        } else if (haveDate && !haveTime && readClock(token, clock)) {
            haveTime = true;
            msecs = clock;
        } else if (!haveSize && isDigit(token.front())) {
            const qsizetype slash = indexOfChar(token, u'/');
            const QStringView used = slash < 0 ? token : token.first(slash);
            std::uint64_t blocks = 0;
            std::int64_t bytes = 0;
            if (readNumber(used, 1ULL << 52, blocks) && (slash < 0 || isAllDigits(token.sliced(slash + 1)))) {
                size = static_cast<std::int64_t>(blocks) * 512;
            } else if (slash < 0 && readLooseSize(token, false, bytes) && !isDigit(token.back())) {
                size = bytes; // "2KB"
            } else {
                return false;
            }
            haveSize = true;
        } else if (!haveOwner && isVmsOwner(token)) {
            haveOwner = true;
        } else {
            return false;
        }
    }
    if (!haveSize || !haveDate)
        return false;
    entry.size = size;
    entry.modified = ProgramDateTime::encode(date, msecs);
    const QStringView base = name.first(name.lastIndexOf(u';'));
    entry.isFolder = base.size() > 4 && equalsAsciiNoCase(base.last(4), u".dir"_v);
    succeed(entry, ListingStyle::Vms, entry.isFolder ? base.chopped(4) : name);
    return true;
}

// "NAME.EXT;1  155  2-JUL-2003 10:30:13.64  [owner]  (RWED,RWED,RE,)"; folders are
// "NAME.DIR;1" and are shown without ".DIR;1".
bool vms(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &)
{
    return isVmsName(t[0]) && vmsDetails(entry, t, 1, t[0]);
}

// "QSYS            77824 02/23/00 15:09:55 *DIR name/"
bool os400(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    // A member has no statistics of its own: "OWNER  *MEM  LIB/FILE.FILE/MEMBER.MBR". The
    // path names the file being listed; the member's own name is its last part.
    if (t.count() >= 3 && t[1] == u"*MEM"_v && isVmsOwner(t[0])) {
        QStringView name = t.rest(2);
        if (const qsizetype slash = name.lastIndexOf(u'/'); slash >= 0)
            name = name.sliced(slash + 1);
        if (name.isEmpty())
            return false;
        succeed(entry, ListingStyle::Os400, name);
        return true;
    }
    std::uint64_t size = 0;
    QDate date;
    int msecs = 0;
    if (t.count() < 6 || t[4].size() < 2 || t[4][0] != u'*' || !readNumber(t[1], 1ULL << 62, size) ||
        !readDateToken(t[2], true, ctx, date) || !readClock(t[3], msecs))
        return false;
    QStringView name = t.rest(5);
    entry.isFolder = t[4] == u"*DIR"_v || t[4] == u"*LIB"_v;
    if (entry.isFolder && name.size() > 1 && name.endsWith(u'/'))
        name.chop(1);
    entry.size = static_cast<std::int64_t>(size);
    entry.modified = ProgramDateTime::encode(date, msecs);
    succeed(entry, ListingStyle::Os400, name);
    return true;
}

// Member of a partitioned dataset:
// "NAME  01.01 2004/06/22 2004/06/22 16:32   128   128    0 OWNER" (size in records).
bool mvsMember(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    std::uint64_t records = 0;
    QDate created, changed;
    int msecs = 0;
    if (t.count() < 8 || t.count() > 9 || t[1].size() != 5 || t[1][2] != u'.' || !isAllDigits(t[1].first(2)) ||
        !isAllDigits(t[1].sliced(3)) || !readDateToken(t[2], false, ctx, created) ||
        !readDateToken(t[3], false, ctx, changed) || !readClock(t[4], msecs) ||
        !readNumber(t[5], 1ULL << 62, records) || !isAllDigits(t[6]) || !isAllDigits(t[7]))
        return false;
    entry.size = static_cast<std::int64_t>(records);
    entry.modified = ProgramDateTime::encode(changed, msecs);
    ctx.mvsMembers = true;
    succeed(entry, ListingStyle::Mvs, t[0]);
    return true;
}

// "NAME  TYPE  V  65  107  2 2005-10-04 15:28:42 060191": file name, file type, record
// format, record length, records, blocks, date, time, owner disk.
bool zvm(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    std::uint64_t length = 0, records = 0;
    QDate date;
    int msecs = 0;
    if (t.count() < 8 || t.count() > 9 || (t[2] != u"F"_v && t[2] != u"V"_v && t[2] != u"DIR"_v) ||
        !readNumber(t[3], 1ULL << 30, length) || !readNumber(t[4], 1ULL << 30, records) ||
        !(isAllDigits(t[5]) || t[5] == u"-"_v) || !readDateToken(t[6], false, ctx, date) || t[6][4] != u'-' ||
        !readClock(t[7], msecs))
        return false;
    entry.size = static_cast<std::int64_t>(length * records);
    entry.modified = ProgramDateTime::encode(date, msecs);
    entry.isFolder = t[2] == u"DIR"_v;
    // "NAME.TYPE", made in one allocation.
    QString name;
    name.reserve(t[0].size() + 1 + t[1].size());
    name.append(t[0]).append(u'.').append(t[1]);
    succeed(entry, ListingStyle::Zvm, std::move(name));
    return true;
}

bool isDsorg(QStringView token)
{
    static constexpr QStringView kOrgs[] = {u"PS"_v, u"PO"_v, u"PO-E"_v, u"DA"_v, u"IS"_v, u"VS"_v};
    for (QStringView org : kOrgs) {
        if (token == org)
            return true;
    }
    return false;
}

// Catalogued datasets: "VOLUME UNIT  REFERRED EXT USED RECFM LRECL BLKSZ DSORG DSNAME",
// with short forms for migrated, tape and VSAM datasets. Dataset names hold no blanks.
bool mvsDataset(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    const int n = t.count();
    const QStringView dsname = t[n - 1];
    if (t.end(n - 1) != t.line().size()) // a name never ends in blanks here
        return false;
    const bool shortForm = (n == 2 && t[0] == u"Migrated"_v) || (n == 3 && t[1] == u"Tape"_v) ||
                           (n == 4 && t[2] == u"VSAM"_v && isAllDigits(t[1]));
    QDate date;
    if (!shortForm) {
        if (n < 8 || n > 10 || !isAllDigits(t[1]) || !isDsorg(t[n - 2]))
            return false;
        if (t[2] != u"**NONE**"_v && !readDateToken(t[2], false, ctx, date))
            return false;
    }
    entry.size = 0;
    entry.modified = date.isValid() ? ProgramDateTime::encode(date, 0) : 0.0;
    entry.isFolder = !shortForm && t[n - 2].startsWith(u"PO"_v);
    succeed(entry, ListingStyle::Mvs, dsname);
    return true;
}

// Ends the entry of a listing that gives its date and time in UTC.
void setUtcSeconds(tTmbFtpEntry &entry, std::uint64_t seconds, const ParseContext &ctx)
{
    const QDate date = dateAfter1970(static_cast<qint64>(seconds / 86'400));
    entry.modified = utcToLocalValue(date, static_cast<int>(seconds % 86'400) * 1000, ctx);
}

// Unix numerical: "0100644   500  101   12345    123456789       name": the octal mode
// with its file-type bits, owner and group numbers, size, seconds since 1970 (UTC).
bool unixNumerical(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    const QStringView mode = t[0];
    if (t.count() < 6 || mode.size() < 6 || mode.size() > 7)
        return false;
    int bits = 0;
    for (QChar c : mode) {
        if (c.unicode() < u'0' || c.unicode() > u'7')
            return false;
        bits = bits * 8 + (c.unicode() - u'0');
    }
    std::uint64_t size = 0, seconds = 0;
    // More than 400,000 years' worth of seconds is not a date.
    if (!isAllDigits(t[1]) || !isAllDigits(t[2]) || !readNumber(t[3], 1ULL << 62, size) ||
        !readNumber(t[4], 12'000'000'000'000ULL, seconds))
        return false;
    entry.size = static_cast<std::int64_t>(size);
    setUtcSeconds(entry, seconds, ctx);
    switch ((bits >> 12) & 017) {
    case 010: // regular file
        break;
    case 004:
        entry.isFolder = true;
        break;
    case 012:
        entry.isLink = true;
        break;
    case 002:
        entry.special = SpecialFile::CharDevice;
        break;
    case 006:
        entry.special = SpecialFile::BlockDevice;
        break;
    case 001:
        entry.special = SpecialFile::Fifo;
        break;
    case 014:
        entry.special = SpecialFile::Socket;
        break;
    default:
        return false;
    }
    succeed(entry, ListingStyle::Unix, t.rest(5));
    entry.permissions = ((bits >> 6) & 7) * 100 + ((bits >> 3) & 7) * 10 + (bits & 7);
    if (entry.isLink)
        entry.isFolder = !entry.name.contains(u'.'); // as for every link: a folder unless dotted
    return true;
}

// "6-Apr-07": day, English month, two-digit year.
bool dayMonthShortYear(QStringView token, const ParseContext &ctx, QDate &date)
{
    const qsizetype dash = indexOfChar(token, u'-');
    if (dash < 1 || dash > 2 || token.size() != dash + 7 || token[dash + 4] != u'-')
        return false;
    const int day = smallNumber(token.first(dash));
    const int month = englishMonth(token.sliced(dash + 1, 3));
    const QStringView yearText = token.sliced(dash + 5);
    if (month == 0 || !isAllDigits(yearText))
        return false;
    const int year = windowedYear(smallNumber(yearText), ctx.currentYear);
    if (!isValidDate(year, month, day))
        return false;
    date = dateOf(year, month, day);
    return true;
}

// HP NonStop (Guardian): "NAME  101  528  6-Apr-07 14:21:18  255, 0  \"oooo\"": file code,
// end-of-file size, date, time, owner group and user, security in quotes.
bool hpNonStop(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    const int n = t.count();
    std::uint64_t size = 0;
    QDate date;
    int msecs = 0;
    if (n < 7 || n > 8 || !isAllDigits(t[1]) || !readNumber(t[2], 1ULL << 62, size) ||
        !dayMonthShortYear(t[3], ctx, date) || !readClock(t[4], msecs))
        return false;
    const QStringView security = t[n - 1];
    if (security.size() < 3 || security.front() != u'"' || security.back() != u'"')
        return false;
    // The owner: "255,255" or "255," and "0".
    const QStringView owner = n == 7 ? t[5] : t[5].chopped(0);
    const qsizetype comma = indexOfChar(owner, u',');
    if (comma < 1 || !isAllDigits(owner.first(comma)))
        return false;
    if (n == 7 ? !isAllDigits(owner.sliced(comma + 1)) : (comma != owner.size() - 1 || !isAllDigits(t[6])))
        return false;
    entry.size = static_cast<std::int64_t>(size);
    entry.modified = ProgramDateTime::encode(date, msecs);
    succeed(entry, ListingStyle::HpNonStop, t[0]);
    return true;
}

// Microware OS-9: "20.20 07/03/29 1026 d-ewrewr 2650 85920 name": group.user, date as
// yy/mm/dd, time as hhmm, attributes, starting sector, size.
bool os9(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    if (t.count() < 7)
        return false;
    const QStringView owner = t[0], dateText = t[1], timeText = t[2], attributes = t[3];
    const qsizetype dot = indexOfChar(owner, u'.');
    if (dot < 1 || !isAllDigits(owner.first(dot)) || !isAllDigits(owner.sliced(dot + 1)))
        return false;
    if (dateText.size() != 8 || dateText[2] != u'/' || dateText[5] != u'/' || timeText.size() != 4 ||
        !isAllDigits(timeText) || attributes.size() != 8)
        return false;
    for (qsizetype i = 0; i < attributes.size(); ++i) {
        if (attributes[i] != u'-' && !u"dsewrewr"_v.sliced(i, 1).contains(attributes[i]))
            return false;
    }
    std::uint64_t size = 0;
    const int year =
        isAllDigits(dateText.first(2)) ? windowedYear(smallNumber(dateText.first(2)), ctx.currentYear) : -1;
    const int month = smallNumber(dateText.sliced(3, 2));
    const int day = smallNumber(dateText.sliced(6, 2));
    const int hour = smallNumber(timeText.first(2));
    const int minute = smallNumber(timeText.sliced(2));
    if (!isValidDate(year, month, day) || hour > 23 || minute > 59 || !isAllDigits(t[4]) ||
        !readNumber(t[5], 1ULL << 62, size))
        return false;
    entry.size = static_cast<std::int64_t>(size);
    entry.modified = ProgramDateTime::encode(dateOf(year, month, day), (hour * 60 + minute) * 60'000);
    entry.isFolder = attributes[0] == u'd';
    succeed(entry, ListingStyle::Os9, t.rest(6));
    return true;
}

// Nortel wfFtp routers: "name  1014196  06/03/04  Thur.  10:20:03".
bool nortel(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    std::uint64_t size = 0;
    QDate date;
    int msecs = 0;
    if (t.count() != 5 || !readNumber(t[1], 1ULL << 62, size) || t[2].size() != 8 || t[2][2] != u'/' ||
        !readDateToken(t[2], true, ctx, date) || !readClock(t[4], msecs))
        return false;
    const QStringView weekday = t[3];
    if (weekday.size() < 3 || weekday.size() > 6 || !weekday.endsWith(u'.'))
        return false;
    for (QChar c : weekday.chopped(1)) {
        if (!c.isLetter())
            return false;
    }
    entry.size = static_cast<std::int64_t>(size);
    entry.modified = ProgramDateTime::encode(date, msecs);
    succeed(entry, ListingStyle::Nortel, t[0]);
    return true;
}

// Connect:Enterprise (Sterling Commerce): "-C--E-----FTP B BCC3I1  7670  1294495 Jan 13
// 07:42 name": flags ending in the protocol, then a Unix-like size, date and name.
bool connectEnterprise(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    const QStringView flags = t[0];
    if (flags.size() != 13 || flags[0] != u'-' || !flags.endsWith(u"FTP"_v) || t.count() < 7)
        return false;
    for (int i = 3; i + 3 < t.count(); ++i) {
        const int month = englishMonth(t[i]);
        if (month == 0)
            continue;
        std::uint64_t size = 0;
        const int day = smallNumber(t[i + 1]);
        if (!readNumber(t[i - 1], 1ULL << 62, size) || day < 1 ||
            !readYearOrTime(t[i + 2], month, day, ctx, entry.modified))
            return false;
        entry.size = static_cast<std::int64_t>(size);
        succeed(entry, ListingStyle::ConnectEnterprise, t.rest(i + 3));
        return true;
    }
    return false;
}

bool isHex(QStringView token, qsizetype length)
{
    if (token.size() != length)
        return false;
    for (QChar c : token) {
        const char16_t u = c.unicode();
        if (!isDigit(c) && (u < u'A' || u > u'F'))
            return false;
    }
    return true;
}

// Load-module members of an MVS dataset: "NAME  00B308 000411  00 FO  RU  ANY  24": the
// size in hexadecimal, the member's address, alias flag, attributes.
bool mvsLoadModule(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    if (t.count() < 5 || !isHex(t[1], 6) || !isHex(t[2], 6) || !isHex(t[3], 2))
        return false;
    for (int i = 4; i < t.count(); ++i) {
        for (QChar c : t[i]) {
            if (!isDigit(c) && (c.unicode() < u'A' || c.unicode() > u'Z'))
                return false;
        }
    }
    entry.size = QStringView(t[1]).toLongLong(nullptr, 16);
    ctx.mvsMembers = true;
    succeed(entry, ListingStyle::Mvs, t[0]);
    return true;
}

} // namespace

bool parseOtherServerLine(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx, OtherFormats formats)
{
    using Recogniser = bool (*)(tTmbFtpEntry &, const Tokens &, const ParseContext &);
    // Every recogniser writes to the entry only once it has accepted the whole line.
    static constexpr Recogniser kRecognisers[] = {
        mvsHeader, netware, os2,    vxWorks,           vshell,        vms,          os400, mvsMember, zvm, mvsDataset,
        hpNonStop, os9,     nortel, connectEnterprise, unixNumerical, mvsLoadModule};
    constexpr int kCount = static_cast<int>(std::size(kRecognisers));
    if (t.count() < 2)
        return false;
    // The format of the last line of this kind first: a listing seldom changes format.
    const int last = ctx.lastOther;
    if (formats != OtherFormats::AllButLast && last >= 0 && kRecognisers[last](entry, t, ctx))
        return true;
    if (formats == OtherFormats::LastOnly)
        return false;
    for (int i = 0; i < kCount; ++i) {
        if (i != last && kRecognisers[i](entry, t, ctx)) {
            ctx.lastOther = i;
            return true;
        }
    }
    return false;
}

bool parseVmsTwoLines(tTmbFtpEntry &entry, QStringView nameLine, QStringView detailLine, const ParseContext &)
{
    while (nameLine.endsWith(u' '))
        nameLine.chop(1);
    if (nameLine.isEmpty() || nameLine.contains(u' ') || nameLine.contains(u'\t') || !isVmsName(nameLine))
        return false;
    const Tokens t(detailLine);
    return t.count() >= 2 && vmsDetails(entry, t, 0, nameLine);
}

bool parseVmsNonEntry(tTmbFtpEntry &entry, const Tokens &t)
{
    if (t.count() == 0)
        return false;
    // "%RMS-E-FNF, file not found": facility, severity letter, identification.
    const QStringView first = t[0];
    if (first.size() > 5 && first[0] == u'%') {
        const qsizetype dash = indexOfChar(first, u'-');
        if (dash > 1 && dash + 3 < first.size() && first[dash + 2] == u'-' && u"SIWEF"_v.contains(first[dash + 1])) {
            fail(entry, ListingStatus::ServerMessage, QStringLiteral("server message"));
            return true;
        }
    }
    if (t.count() == 2 && t[0] == u"Directory"_v && (t[1].contains(u'[') || t[1].contains(u':'))) {
        fail(entry, ListingStatus::Header, QStringLiteral("listing header line"));
        return true;
    }
    if (t.count() >= 3 && t[0] == u"Grand"_v && equalsAsciiNoCase(t[1], u"total"_v) && t[2] == u"of"_v) {
        fail(entry, ListingStatus::Total, QStringLiteral("total entry"));
        return true;
    }
    return false;
}

} // namespace ListingLine
