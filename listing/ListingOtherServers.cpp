// Listings of servers that are neither Unix nor Windows: Netware, OS/2, VxWorks, VShell,
// VMS, OS/400, MVS datasets and members, z/VM, and IIS with ISO dates. Each recogniser
// accepts only lines whose every field it understands, so that one never reads another
// format's line into a wrong name.
#include "listing/ListingLineTools.h"
#include "listing/ProgramDateTime.h"

namespace ListingLine {

namespace {

void succeed(tTmbFtpEntry &entry, ListingStyle style, QStringView name)
{
    entry.status = ListingStatus::Ok;
    entry.style = style;
    entry.permissions = -1;
    entry.name = name.toString();
}

bool isBracketed(QStringView token, QChar open, QChar close)
{
    return token.size() >= 2 && token.front() == open && token.back() == close;
}

// The MVS column headers above dataset and member listings.
bool mvsHeader(tTmbFtpEntry &entry, const Tokens &t)
{
    if (!((t[0] == u"Volume"_v && t[1] == u"Unit"_v) || (t[0] == u"Name"_v && t[1] == u"VV.MM"_v)))
        return false;
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
    entry.modified = ProgramDateTime::encode(QDate(year, month, day), msecs);
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
    date = QDate(year, month, day);
    return true;
}

// "2048    Feb-28-1998  05:23:30   name <DIR>"
bool vxWorks(tTmbFtpEntry &entry, const Tokens &t)
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
bool vshell(tTmbFtpEntry &entry, const Tokens &t)
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
    entry.modified = ProgramDateTime::encode(QDate(year, month, day), msecs);
    succeed(entry, ListingStyle::Unix, name);
    return true;
}

// "NAME.EXT;1  155  2-JUL-2003 10:30:13.64  [owner]  (RWED,RWED,RE,)"; the fields after the
// name come in more than one order. Sizes are 512-byte blocks ("used/allocated").
bool vms(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    const QStringView name = t[0];
    const qsizetype semicolon = name.lastIndexOf(u';');
    if (semicolon < 1 || !isAllDigits(name.sliced(semicolon + 1)))
        return false;
    bool haveSize = false, haveDate = false, haveTime = false;
    std::int64_t size = 0;
    QDate date;
    int msecs = 0;
    for (int i = 1; i < t.count(); ++i) {
        const QStringView token = t[i];
        int clock = 0;
        if (isBracketed(token, u'[', u']') || isBracketed(token, u'(', u')'))
            continue;
        if (!haveDate && readDateToken(token, false, ctx, date) && token.indexOf(u'-') > 0) {
            haveDate = true;
        } else if (haveDate && !haveTime && readClock(token, clock)) {
            haveTime = true;
            msecs = clock;
        } else if (!haveSize) {
            const qsizetype slash = token.indexOf(u'/');
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
        } else {
            return false;
        }
    }
    if (!haveSize || !haveDate)
        return false;
    entry.size = size;
    entry.modified = ProgramDateTime::encode(date, msecs);
    const QStringView base = name.first(semicolon);
    entry.isFolder = base.size() > 4 && equalsAsciiNoCase(base.last(4), u".dir"_v);
    succeed(entry, ListingStyle::Vms, entry.isFolder ? base.chopped(4) : name);
    return true;
}

// "QSYS            77824 02/23/00 15:09:55 *DIR name/"
bool os400(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
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
    succeed(entry, ListingStyle::Zvm, t[0]);
    entry.name += u'.' + t[1].toString();
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

// IIS with ISO dates and a 24-hour clock: "2002-09-02  19:06                9,730 name".
bool iisIso(tTmbFtpEntry &entry, const Tokens &t, const ParseContext &ctx)
{
    QDate date;
    int msecs = 0;
    if (t.count() < 4 || t[0].size() != 10 || t[0][4] != u'-' || !readDateToken(t[0], false, ctx, date) ||
        !readClock(t[1], msecs))
        return false;
    std::int64_t size = 0;
    const bool folder = t[2] == u"<DIR>"_v;
    if (!folder && !readLooseSize(t[2], false, size))
        return false;
    // Like the two-digit-year form, the name begins in column 40 when the columns are padded
    // that far, else one blank after the size column.
    qsizetype nameStart = t.end(2) + 1;
    if (nameStart < 39 && t.line().size() > 39 && trimmedText(t.line().sliced(nameStart, 39 - nameStart)).isEmpty())
        nameStart = 39;
    entry.size = size;
    entry.modified = ProgramDateTime::encode(date, msecs);
    entry.isFolder = folder;
    succeed(entry, ListingStyle::Dos, t.line().sliced(nameStart));
    return true;
}

} // namespace

bool parseOtherServerLine(tTmbFtpEntry &entry, QStringView line, const ParseContext &ctx)
{
    const Tokens t(line);
    if (t.count() < 2)
        return false;
    // Every recogniser writes to the entry only once it has accepted the whole line.
    return mvsHeader(entry, t) || netware(entry, t, ctx) || os2(entry, t, ctx) || vxWorks(entry, t) ||
           vshell(entry, t) || vms(entry, t, ctx) || os400(entry, t, ctx) || mvsMember(entry, t, ctx) ||
           zvm(entry, t, ctx) || mvsDataset(entry, t, ctx) || iisIso(entry, t, ctx);
}

} // namespace ListingLine
