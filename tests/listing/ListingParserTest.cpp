#include "listing/ProgramDateTime.h"
#include "listing/u_tmbFtpParser.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

// Every line is parsed in the evening of 15 June 2026.
const QDateTime kNow(QDate(2026, 6, 15), QTime(20, 0));

// A Unix line with the usual owner, group and column padding in front of size, date and name.
QString unixLine(const char *permissions, const char *sizeDateName)
{
    return QString::fromLatin1(permissions) + QStringLiteral("   1 owner    group    ") +
           QString::fromUtf8(sizeDateName);
}

// A line in IIS's fixed columns: date 1-8, time 11-17, "<DIR>" 25-29 or the size right-aligned
// to column 38, name from column 40.
QString dosLine(const char *date, const char *time, const char *dirOrSize, const char *name)
{
    const QString size = QString::fromLatin1(dirOrSize);
    const QString middle = size == u"<DIR>" ? QStringLiteral("       <DIR>          ") : size.rightJustified(21) + u' ';
    return QString::fromLatin1(date) + QStringLiteral("  ") + QString::fromLatin1(time) + middle +
           QString::fromUtf8(name);
}

struct LineCase {
    const char *label;
    QString line;
    std::int32_t status;
    const char *name = "";
    const char *modified = nullptr; // "yyyy-MM-dd HH:mm" for usable lines
    std::int64_t size = 0;
    bool isFolder = false;
    bool isLink = false;
    std::int32_t permissions = 0;
    ListingStyle style = ListingStyle::Unix;
};

void PrintTo(const LineCase &c, std::ostream *os)
{
    *os << c.label << ": \"" << c.line.toStdString() << '"';
}

class ParseLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(ParseLineTest, GivesStatusAndFields)
{
    const LineCase &c = GetParam();
    std::vector<tTmbFtpEntry> entries;
    parseListing({c.line}, entries, kNow);
    ASSERT_EQ(entries.size(), 1u);
    const tTmbFtpEntry &e = entries.front();
    EXPECT_EQ(e.rawLine, c.line);
    ASSERT_EQ(e.status, c.status) << e.message.toStdString();
    if (c.status != ListingStatus::Ok) {
        EXPECT_FALSE(e.message.isEmpty());
        return;
    }
    EXPECT_TRUE(e.message.isEmpty());
    EXPECT_EQ(e.name, QString::fromUtf8(c.name));
    EXPECT_EQ(e.size, c.size);
    EXPECT_EQ(e.isFolder, c.isFolder);
    EXPECT_EQ(e.isLink, c.isLink);
    EXPECT_EQ(e.permissions, c.permissions);
    EXPECT_EQ(e.style, c.style);
    EXPECT_EQ(ProgramDateTime::toDateTime(e.modified).toString(QStringLiteral("yyyy-MM-dd HH:mm")),
              QString::fromLatin1(c.modified));
}

using namespace ListingStatus;
constexpr auto Dos = ListingStyle::Dos;

const LineCase kLines[] = {
    {"total-line", QStringLiteral("total 42"), Total},
    {"total-line-capitals", QStringLiteral("TOTAL 1024"), Total},
    {"single-word", QStringLiteral("readme"), TooShort},
    {"empty-line", QString(), TooShort},
    {"neither-style", QStringLiteral("hello world, this is not a listing"), UnknownEntry},

    {"unix-file", unixLine("-rw-r--r--", "    1234 Mar  5 12:34 notes.txt"), Ok, "notes.txt", "2026-03-05 12:34", 1234,
     false, false, 644},
    {"unix-folder-with-year", unixLine("drwxr-xr-x", "    4096 Jan  1  2019 pub"), Ok, "pub", "2019-01-01 00:00", 4096,
     true, false, 755},
    {"unix-size-over-4gib", unixLine("-rw-r--r--", "5000000000 Mar  5 12:34 disk.img"), Ok, "disk.img",
     "2026-03-05 12:34", 5000000000LL, false, false, 644},
    {"unix-dec-31-is-last-year", unixLine("-rw-r--r--", "10 Dec 31 23:59 late"), Ok, "late", "2025-12-31 23:59", 10,
     false, false, 644},
    {"unix-jun-16-stays-this-year", unixLine("-rw-r--r--", "10 Jun 16 09:00 soon"), Ok, "soon", "2026-06-16 09:00", 10,
     false, false, 644},
    {"unix-jun-17-is-last-year", unixLine("-rw-r--r--", "10 Jun 17 09:00 later"), Ok, "later", "2025-06-17 09:00", 10,
     false, false, 644},
    {"unix-two-blanks-in-name", unixLine("-rw-r--r--", "10 Mar  5 12:34 my  file.txt"), Ok, "my  file.txt",
     "2026-03-05 12:34", 10, false, false, 644},
    {"unix-trailing-blanks-kept", unixLine("-rw-r--r--", "10 Mar  5 12:34 name  "), Ok, "name  ", "2026-03-05 12:34",
     10, false, false, 644},
    {"unix-month-in-capitals", unixLine("-rw-r--r--", "10 MAR  5 12:34 a"), Ok, "a", "2026-03-05 12:34", 10, false,
     false, 644},
    {"unix-non-latin-name", unixLine("-rw-r--r--", "10 Mar  5 12:34 Überweisung 日本.pdf"), Ok, "Überweisung 日本.pdf",
     "2026-03-05 12:34", 10, false, false, 644},
    {"unix-owner-named-jan", QStringLiteral("-rw-r--r--   1 jan      staff    1234 Mar  5 12:34 x"), UnixBadDay},

    {"unix-link-to-folder", unixLine("lrwxrwxrwx", "11 Mar  5 12:34 current -> /var/www/releases/2.1"), Ok, "current",
     "2026-03-05 12:34", 11, true, true, 777},
    {"unix-link-with-dot-is-file", unixLine("lrwxrwxrwx", "11 Mar  5 12:34 index.html -> ../pages/home"), Ok,
     "index.html", "2026-03-05 12:34", 11, false, true, 777},
    {"unix-link-without-arrow", unixLine("lrwxrwxrwx", "11 Mar  5 12:34 solo  "), Ok, "solo", "2026-03-05 12:34", 11,
     true, true, 777},

    {"unix-setuid-counts-as-set", unixLine("-rwsr-xr-x", "10 Mar  5 12:34 su"), Ok, "su", "2026-03-05 12:34", 10, false,
     false, 755},
    {"unix-sticky-folder", unixLine("drwxrwxrwt", "10 Mar  5 12:34 tmp"), Ok, "tmp", "2026-03-05 12:34", 10, true,
     false, 777},
    {"unix-eleven-char-permissions", unixLine("-rw-r--r--+", "10 Mar  5 12:34 acl.txt"), Ok, "acl.txt",
     "2026-03-05 12:34", 10, false, false, 0},

    {"unix-no-month", unixLine("-rw-r--r--", "10 Foo  5 12:34 a"), UnixNoMonth},
    {"unix-size-not-digits", unixLine("-rw-r--r--", "10k Mar  5 12:34 a"), BadSize},
    {"unix-size-overflows", unixLine("-rw-r--r--", "99999999999999999999 Mar  5 12:34 a"), BadSize},
    {"unix-size-int64-max", unixLine("-rw-r--r--", "9223372036854775807 Mar  5 12:34 a"), Ok, "a", "2026-03-05 12:34",
     9223372036854775807LL, false, false, 644},
    {"unix-no-day", unixLine("-rw-r--r--", "10 Mar"), UnixBadDay},
    {"unix-day-not-digits", unixLine("-rw-r--r--", "10 Mar x5 12:34 a"), UnixBadDay},
    {"unix-day-overflows", unixLine("-rw-r--r--", "10 Mar 99999999999 12:34 a"), UnixBadDay},
    {"unix-no-time-or-year", unixLine("-rw-r--r--", "10 Mar  5  "), UnixNoTimeOrYear},
    {"unix-no-name", unixLine("-rw-r--r--", "10 Mar  5 12:34   "), UnixNameMissing},
    {"unix-day-zero", unixLine("-rw-r--r--", "10 Mar  0 12:34 a"), UnixBadDate},
    {"unix-feb-30", unixLine("-rw-r--r--", "10 Feb 30  2020 a"), UnixBadDate},
    {"unix-feb-29-in-common-year", unixLine("-rw-r--r--", "10 Feb 29 12:00 a"), UnixBadDate},
    {"unix-24-00-is-next-midnight", unixLine("-rw-r--r--", "10 Mar  5 24:00 a"), Ok, "a", "2026-03-06 00:00", 10, false,
     false, 644},
    {"unix-24-01", unixLine("-rw-r--r--", "10 Mar  5 24:01 a"), UnixBadTime},
    {"unix-minute-60", unixLine("-rw-r--r--", "10 Mar  5 12:60 a"), UnixBadTime},

    {"dos-folder", dosLine("01-02-03", "10:00AM", "<DIR>", "aspnet_client"), Ok, "aspnet_client", "2003-01-02 10:00", 0,
     true, false, -1, Dos},
    {"dos-size-with-commas", dosLine("12-31-99", "11:59PM", "1,234", "report.txt"), Ok, "report.txt",
     "1999-12-31 23:59", 1234, false, false, -1, Dos},
    {"dos-slashes-and-blanks-in-name", dosLine("06/15/26", "08:05AM", "0", " two  blanks "), Ok, " two  blanks ",
     "2026-06-15 08:05", 0, false, false, -1, Dos},
    {"dos-12am-is-midnight", dosLine("01-02-03", "12:00AM", "1", "a"), Ok, "a", "2003-01-02 00:00", 1, false, false, -1,
     Dos},
    {"dos-12pm-is-noon", dosLine("01-02-03", "12:30PM", "1", "a"), Ok, "a", "2003-01-02 12:30", 1, false, false, -1,
     Dos},
    {"dos-window-starts-50-years-back", dosLine("06-15-76", "01:00PM", "1", "a"), Ok, "a", "1976-06-15 13:00", 1, false,
     false, -1, Dos},
    {"dos-window-ends-49-years-ahead", dosLine("06-15-75", "01:00PM", "1", "a"), Ok, "a", "2075-06-15 13:00", 1, false,
     false, -1, Dos},
    {"dos-file-of-1-gb-and-more", dosLine("01-02-03", "10:00AM", "1234567890123", "big.iso"), Ok, "big.iso",
     "2003-01-02 10:00", 1234567890123LL, false, false, -1, Dos},
    {"dos-four-digit-year", QStringLiteral("01-02-2003  10:00AM       <DIR>          x"), Ok, "x", "2003-01-02 10:00",
     0, true, false, -1, Dos},
    {"dos-month-13", dosLine("13-02-03", "10:00AM", "1", "a"), DosBadDate},
    {"dos-13pm", dosLine("01-02-03", "13:00PM", "1", "a"), DosBadDate},
    {"dos-negative-size", dosLine("01-02-03", "10:00AM", "-5", "a"), BadSize},
    {"dos-size-not-a-number", dosLine("01-02-03", "10:00AM", "12a4", "a"), BadSize},
    {"dos-size-overflows-column", dosLine("01-02-03", "10:00AM", "99999999999999999999", "a"), BadSize},
    {"dos-tab-separated-too-short", QStringLiteral("01-02-03\t\t10:00AM\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t123 name"),
     DosNameMissing},
};

INSTANTIATE_TEST_SUITE_P(Lines, ParseLineTest, testing::ValuesIn(kLines), [](const auto &info) {
    std::string name = info.param.label;
    for (char &ch : name) {
        if (ch == '-')
            ch = '_';
    }
    return name;
});

// One bad line, even one whose numbers overflow, costs only that line: every line gives
// exactly one entry, in order, and the lines after it are still parsed.
TEST(ParseListing, WholeListingKeepsOrderAndGoesOnAfterBadLines)
{
    const QStringList lines = {
        QStringLiteral("total 8"),
        unixLine("drwxr-xr-x", "4096 Jan  1  2019 ."),
        unixLine("-rw-r--r--", "999999999999999999999999 Mar  5 12:34 huge"),
        dosLine("01-02-03", "10:00AM", "<DIR>", "from-iis"),
        unixLine("-rw-r--r--", "12 Mar 99999999999999999999 12:34 badday"),
        QStringLiteral("garbage"),
        unixLine("-rw-r--r--", "12 Mar  5 12:34 last"),
    };
    std::vector<tTmbFtpEntry> entries(1); // parseListing appends; what is there stays
    parseListing(lines, entries, kNow);
    ASSERT_EQ(entries.size(), 8u);
    const std::int32_t statuses[] = {Ok, Total, Ok, BadSize, Ok, UnixBadDay, TooShort, Ok};
    for (std::size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(entries[i].status, statuses[i]) << "entry " << i;
    for (std::size_t i = 1; i < entries.size(); ++i)
        EXPECT_EQ(entries[i].rawLine, lines[static_cast<qsizetype>(i - 1)]);
    EXPECT_EQ(entries[3].message, QStringLiteral("missing or invalid unix size entry"));
    EXPECT_EQ(entries[4].name, QStringLiteral("from-iis"));
    EXPECT_EQ(entries[7].name, QStringLiteral("last"));
}

// The exact message of every status, since the first bad line is shown to the user.
TEST(ParseListing, ErrorMessagesAreTheProgramTexts)
{
    const std::pair<QString, const char *> cases[] = {
        {QStringLiteral("total 1"), "total entry"},
        {QStringLiteral("x"), "raw list entry too short"},
        {QStringLiteral("what is this"), "unknown rawlist entry"},
        {unixLine("-rw-r--r--", "10 Mar  5 12:34"), "invalid unix file or foldername entry"},
        {dosLine("13-02-03", "10:00AM", "1", "a"), "dos entry has invalid date entry."},
        {unixLine("-rw-r--r--", "10 Mar"), "missing or invalid unix day entry"},
        {unixLine("-rw-r--r--", "10 Feb 30 2020 a"), "invalid unix date entry"},
        {unixLine("-rw-r--r--", "x Mar 5 12:00 a"), "missing or invalid unix size entry"},
        {dosLine("01-02-03", "10:00AM", "-1", "a"), "dos entry has invalid size entry."},
        {QStringLiteral("01-02-03\t\t10:00AM\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t123 name"),
         "dos entry too short. missing filename."},
        {unixLine("-rw-r--r--", "10 Foo 5 12:00 a"), "no unix month entry present"},
        {unixLine("-rw-r--r--", "10 Mar 5 25:00 a"), "invalid unix time entry"},
        {unixLine("-rw-r--r--", "10 Mar 5"), "missing or invalid unix time or year entry"},
    };
    for (const auto &[line, message] : cases) {
        std::vector<tTmbFtpEntry> entries;
        parseListing({line}, entries, kNow);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].message, QString::fromLatin1(message)) << line.toStdString();
    }
}

// A date without a year that would be in the future only moves back a year when that
// year has the date: 29 February stays in the leap year it was found in.
TEST(ParseListing, YearInferenceKeepsLeapDayWhenLastYearHasNone)
{
    std::vector<tTmbFtpEntry> entries;
    parseListing({unixLine("-rw-r--r--", "1 Feb 29 08:00 leap")}, entries, QDateTime(QDate(2028, 1, 10), QTime(9, 0)));
    ASSERT_EQ(entries.size(), 1u);
    ASSERT_EQ(entries[0].status, Ok);
    EXPECT_EQ(ProgramDateTime::toDateTime(entries[0].modified), QDateTime(QDate(2028, 2, 29), QTime(8, 0)));
}

TEST(ProgramDateTimeValue, CountsDaysFrom30December1899)
{
    EXPECT_DOUBLE_EQ(ProgramDateTime::encode(QDate(1899, 12, 30), 0), 0.0);
    EXPECT_DOUBLE_EQ(ProgramDateTime::encode(QDate(1899, 12, 31), 6 * 3600 * 1000), 1.25);
    EXPECT_DOUBLE_EQ(ProgramDateTime::encode(QDate(1899, 12, 29), 6 * 3600 * 1000), -1.25);
    for (const QDateTime &t :
         {QDateTime(QDate(1899, 12, 29), QTime(6, 0)), QDateTime(QDate(2026, 6, 15), QTime(23, 59)),
          QDateTime(QDate(1, 1, 1), QTime(12, 0)), QDateTime(QDate(9999, 12, 31), QTime(23, 59))})
        EXPECT_EQ(ProgramDateTime::toDateTime(ProgramDateTime::fromDateTime(t)), t) << t.toString().toStdString();
    // The parsers count days without QDate: the calendar's edges (centuries that are and are
    // not leap years, the first and last day the program holds) must agree with it.
    for (const QDate &d :
         {QDate(1, 1, 1), QDate(1600, 2, 29), QDate(1700, 3, 1), QDate(1899, 12, 29), QDate(1900, 2, 28),
          QDate(1900, 3, 1), QDate(2000, 2, 29), QDate(2100, 3, 1), QDate(9999, 12, 31)})
        EXPECT_EQ(ProgramDateTime::dayNumber(d.year(), d.month(), d.day()),
                  d.toJulianDay() - QDate(1899, 12, 30).toJulianDay())
            << d.toString(Qt::ISODate).toStdString();
}

} // namespace
