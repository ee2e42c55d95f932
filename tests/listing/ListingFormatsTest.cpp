#include "listing/ProgramDateTime.h"
#include "listing/u_tmbFtpParser.h"

#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

// Every line is parsed in the evening of 15 June 2026.
const QDateTime kNow(QDate(2026, 6, 15), QTime(20, 0));

using namespace ListingStatus;

struct FormatCase {
    const char *label;
    QString line;
    std::int32_t status = Ok;
    const char *name = "";
    // "yyyy-MM-dd HH:mm:ss" as the entry shows it; nullptr for a line without a date.
    const char *modified = nullptr;
    // `modified` is given in UTC (machine listings) and shown in local time.
    bool utc = false;
    std::int64_t size = 0;
    bool isFolder = false;
    bool isLink = false;
    std::int32_t permissions = -1;
    ListingStyle style = ListingStyle::Unix;
    SpecialFile special = SpecialFile::None;
};

void PrintTo(const FormatCase &c, std::ostream *os)
{
    *os << c.label << ": \"" << c.line.toStdString() << '"';
}

QString expectedModified(const FormatCase &c)
{
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
    if (c.modified == nullptr)
        return ProgramDateTime::toDateTime(0.0).toString(format);
    QDateTime t = QDateTime::fromString(QString::fromLatin1(c.modified), format);
    if (c.utc)
        t = QDateTime(t.date(), t.time(), QTimeZone::utc()).toLocalTime();
    return t.toString(format);
}

void expectEntry(const tTmbFtpEntry &e, const FormatCase &c)
{
    EXPECT_EQ(e.rawLine, c.line);
    ASSERT_EQ(e.status, c.status) << e.message.toStdString();
    if (c.status != Ok) {
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
    EXPECT_EQ(e.special, c.special);
    EXPECT_EQ(ProgramDateTime::toDateTime(e.modified).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
              expectedModified(c));
}

class ListingFormatTest : public testing::TestWithParam<FormatCase> {};

TEST_P(ListingFormatTest, GivesStatusAndFields)
{
    std::vector<tTmbFtpEntry> entries;
    parseListing({GetParam().line}, entries, kNow);
    ASSERT_EQ(entries.size(), 1u);
    expectEntry(entries.front(), GetParam());
}

std::string caseName(const testing::TestParamInfo<FormatCase> &info)
{
    std::string name = info.param.label;
    for (char &ch : name) {
        if (ch == '-')
            ch = '_';
    }
    return name;
}

QString u8(const char *text)
{
    return QString::fromUtf8(text);
}

constexpr auto Mlsd = ListingStyle::Mlsd;
constexpr auto Eplf = ListingStyle::Eplf;

// clang-format off
const FormatCase kMachineLines[] = {
    // RFC 3659, section 8.1 (IANA files).
    {"mlsd-cdir", u8("Type=cdir;Modify=19990219183438; /iana/assignments"), FolderItself},
    {"mlsd-pdir", u8("Type=pdir;Modify=19990112030453; .."), FolderItself},
    {"mlsd-dir", u8("Type=dir;Modify=19990219073522; media-types"), Ok, "media-types", "1999-02-19 07:35:22", true, 0,
     true, false, -1, Mlsd},
    {"mlsd-file", u8("Type=file;Size=44242;Modify=19990217230400; character-sets"), Ok, "character-sets",
     "1999-02-17 23:04:00", true, 44242, false, false, -1, Mlsd},
    // FileZilla's directory listing parser tests (tests/dirparsertest.cpp).
    {"mlsd-fact-names-any-case", u8("Type=file;mOdIfY=20081105165215;size=1234; 72-MLSD-file"), Ok, "72-MLSD-file",
     "2008-11-05 16:52:15", true, 1234, false, false, -1, Mlsd},
    {"mlsd-name-leading-blanks", u8("Type=file; \t 75-MLSD-whitespace leading"), Ok, "\t 75-MLSD-whitespace leading",
     nullptr, false, 0, false, false, -1, Mlsd},
    {"mlsd-name-trailing-blanks", u8("Type=file; 74-MLSD-whitespace trailing\t "), Ok,
     "74-MLSD-whitespace trailing\t ", nullptr, false, 0, false, false, -1, Mlsd},
    {"mlsd-unix-mode", u8("modify=20080426135501;perm=;size=65718921;type=file;unique=802U1066013B;UNIX.group=1179;"
                          "UNIX.mode=0640;UNIX.owner=1179; 75 MLSD file with permissions"),
     Ok, "75 MLSD file with permissions", "2008-04-26 13:55:01", true, 65718921, false, false, 640, Mlsd},
    {"mlsd-slink-with-target", u8("type=OS.unix=slink:/foo; 76 MLSD symlink"), Ok, "76 MLSD symlink", nullptr, false,
     0, true, true, -1, Mlsd},
    {"mlsd-symlink", u8("type=OS.UNIX=symlink; 76b MLSD symlink.txt"), Ok, "76b MLSD symlink.txt", nullptr, false, 0,
     false, true, -1, Mlsd},
    {"mlsd-before-1970", u8("Type=file;mOdIfY=19681105165215;size=1234; MLSD pre-epoch"), Ok, "MLSD pre-epoch",
     "1968-11-05 16:52:15", true, 1234, false, false, -1, Mlsd},
    // Built after the OS.unix= type form above: devices and fifos are marked, not downloaded.
    {"mlsd-char-device", u8("Type=OS.unix=chr-13/29;Modify=19980114135000;Perm=rw; tty0"), Ok, "tty0",
     "1998-01-14 13:50:00", true, 0, false, false, -1, Mlsd, SpecialFile::CharDevice},
    {"mlsd-block-device", u8("Type=OS.unix=blk-11/108; sda"), Ok, "sda", nullptr, false, 0, false, false, -1, Mlsd,
     SpecialFile::BlockDevice},
    {"mlsd-unknown-os-type", u8("Type=OS.vms=mailbox; MBA1"), Ok, "MBA1", nullptr, false, 0, false, false, -1, Mlsd,
     SpecialFile::Other},
    {"mlsd-name-is-everything-after-first-separator", u8("type=file;size=3;  a; b=c; d "), Ok, " a; b=c; d ",
     nullptr, false, 3, false, false, -1, Mlsd},
    {"mlsd-bad-size", u8("type=file;size=12x; bad"), BadSize},
    {"mlsd-bad-modify", u8("type=file;modify=2024; bad"), FactsBadModify},
    {"mlsd-impossible-modify", u8("type=file;modify=20230229120000; bad"), FactsBadModify},
    {"mlsd-fact-without-value", u8("type=file;size;x=1; bad"), FactsBadFact},
    // A ";" then a tab instead of "; " (FileZilla's tests): the tab ends the facts.
    {"mlsd-tab-after-facts", u8("size=1365694195;type=file;modify=20090722092510;\tadsl TV 78 file"), Ok,
     "adsl TV 78 file", "2009-07-22 09:25:10", true, 1365694195, false, false, -1, Mlsd},

    // EPLF, examples of the format's description (cr.yp.to/ftp/list/eplf.html) as FileZilla's tests use them.
    {"eplf-file", u8("+i8388621.48594,m825718503,r,s280,up755\t14-eplf file"), Ok, "14-eplf file",
     "1996-03-01 22:15:03", true, 280, false, false, 755, Eplf},
    {"eplf-dir", u8("+i8388621.50690,m824255907,/,\t15-eplf dir"), Ok, "15-eplf dir", "1996-02-13 23:58:27", true, 0,
     true, false, -1, Eplf},
    {"eplf-name-without-blank", u8("+/,\tpub"), Ok, "pub", nullptr, false, 0, true, false, -1, Eplf},
    {"eplf-bad-size", u8("+i1,r,s12x,\tbad size"), EplfBadEntry},
    {"eplf-neither-file-nor-folder", u8("+i1,m825718503,\tnothing"), EplfBadEntry},
    {"eplf-empty-name", u8("+r,s1,\t"), EplfBadEntry},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Machine, ListingFormatTest, testing::ValuesIn(kMachineLines), caseName);

constexpr auto CharDevice = SpecialFile::CharDevice;

// clang-format off
const FormatCase kUnixVariantLines[] = {
    // FileZilla's directory listing parser tests (tests/dirparsertest.cpp).
    {"unix-month-day-year", u8("-rw-r--r--   1 root     other        531 09-26 2000 05-unix-date file"), Ok,
     "05-unix-date file", "2000-09-26 00:00:00", false, 531, false, false, 644},
    {"unix-month-day-time", u8("-rw-r--r--   1 root     other        531 09-26 13:45 06-unix-date file"), Ok,
     "06-unix-date file", "2025-09-26 13:45:00", false, 531, false, false, 644},
    {"unix-iso-date", u8("-rw-r--r--   1 root     other        531 2005-06-07 21:22 07-unix-date file"), Ok,
     "07-unix-date file", "2005-06-07 21:22:00", false, 531, false, false, 644},
    {"unix-size-in-kilobytes", u8("-rw-r--r--   1 root     other  33.5k Oct 5 21:22 08-unix-namedsize file"), Ok,
     "08-unix-namedsize file", "2025-10-05 21:22:00", false, 34304, false, false, 644},
    {"unix-numeric-month-and-day", u8("-rw-r--r--   1 root     other        531 3 29 03:26 02-unix-std file"), Ok,
     "02-unix-std file", "2026-03-29 03:26:00", false, 531, false, false, 644},
    {"unix-german-day-first", u8("dr-xr-xr-x   2 root     other      2235 26. Juli, 20:10 28-datetest-ger dir"), Ok,
     "28-datetest-ger dir", "2025-07-26 20:10:00", false, 2235, true, false, 555},
    {"unix-hungarian-month", u8("dr-xr-xr-x   2 root     other      2235 szept 26 20:10 28b-datetest-hungarian dir"),
     Ok, "28b-datetest-hungarian dir", "2025-09-26 20:10:00", false, 2235, true, false, 555},
    {"unix-german-with-year", u8("-r-xr-xr-x   2 root     other      2235 2.   Okt.  2003 29-datetest-ger file"), Ok,
     "29-datetest-ger file", "2003-10-02 00:00:00", false, 2235, false, false, 555},
    {"unix-slashed-date", u8("-r-xr-xr-x   2 root     other      2235 1999/10/12 17:12 30-datetest file"), Ok,
     "30-datetest file", "1999-10-12 17:12:00", false, 2235, false, false, 555},
    {"unix-day-month-year", u8("-r-xr-xr-x   2 root     other      2235 24-04-2003 17:12 31-datetest file"), Ok,
     "31-datetest file", "2003-04-24 17:12:00", false, 2235, false, false, 555},
    {"unix-dotted-date", u8("-r-xr-xr-x   2 root  root  96 2004.07.15   35-dotted-date file"), Ok,
     "35-dotted-date file", "2004-07-15 00:00:00", false, 96, false, false, 555},
    {"unix-korean-year-first", u8("drwxr-xr-x   5 root     sys          512 2005년  1월  6일 54-asian date year first dir"),
     Ok, "54-asian date year first dir", "2005-01-06 00:00:00", false, 512, true, false, 755},
    {"unix-korean-time", u8("-r--r--r-- 1 root root 2096 8월 17 08:52 34-asian date file"), Ok, "34-asian date file",
     "2025-08-17 08:52:00", false, 2096, false, false, 444},
    {"unix-concatenated-group-and-size", u8("-r-xr-xr-x longowner longgroup123456 Feb 12 17:20 46-unix-concatsize file"),
     Ok, "46-unix-concatsize file", "2026-02-12 17:20:00", false, 123456, false, false, 555},
    {"unix-short-date-with-month", u8("-r-xr-xr-x 2 owner group 4512 01-jun-99 47_unix_shortdatemonth file"), Ok,
     "47_unix_shortdatemonth file", "1999-06-01 00:00:00", false, 4512, false, false, 555},
    {"unix-day-before-month", u8("drwxr-xr-x 3 user group 512 01 oct 2004 52-swapped-daymonth dir"), Ok,
     "52-swapped-daymonth dir", "2004-10-01 00:00:00", false, 512, true, false, 755},
    {"unix-german-abbreviation-with-dots", u8("drwxr-xr-x 6 user sys 1024 30. Jan., 12:40 59-localized-date-dir"), Ok,
     "59-localized-date-dir", "2026-01-30 12:40:00", false, 1024, true, false, 755},
    {"unix-dateless", u8("drwxr-xr-x 3 slopri devlab 512 71-unix-dateless"), Ok, "71-unix-dateless", nullptr, false,
     512, true, false, 755},
    {"unix-name-after-day-month-time", u8("drwxrwxrwx   1 0        0               0 29 Jul 02:27 2014 Invoices"), Ok,
     "2014 Invoices", "2025-07-29 02:27:00", false, 0, true, false, 777},
    {"unix-vshell-year-and-time", u8("-rwxr-xr-x    1 user group        9 Oct 08, 2002 09:47 23-vshell-new file"), Ok,
     "23-vshell-new file", "2002-10-08 09:47:00", false, 9, false, false, 755},
    // The same Japanese and CJK lines, written in UTF-8 (the originals are in a legacy encoding).
    {"unix-japanese-year-last", u8("-rw-r--r--   1 root       sys           8473  4月 18日 2003年 32-datatest-japanese file"),
     Ok, "32-datatest-japanese file", "2003-04-18 00:00:00", false, 8473, false, false, 644},
    {"unix-year-then-cjk-month", u8("-rwxrwxrwx   1 root     staff          0 2003   3月 20 33-asian date file"), Ok,
     "33-asian date file", "2003-03-20 00:00:00", false, 0, false, false, 777},

    // ls in other locales and with --full-time, sizes with separators and units (GNU coreutils output forms).
    {"unix-russian-month", u8("-rw-r--r--   1 user     group        1024 июн 10 12:00 отчёт за июнь.txt"), Ok,
     "отчёт за июнь.txt", "2026-06-10 12:00:00", false, 1024, false, false, 644},
    {"unix-chinese-month-day-time", u8("-rw-r--r--   1 user     group        2048  6月 14 09:30 报告.doc"), Ok,
     "报告.doc", "2026-06-14 09:30:00", false, 2048, false, false, 644},
    {"unix-german-march-dotted-size", u8("-rw-r--r--   1 user     group   1.234.567 Mär  5  2019 Bericht.pdf"), Ok,
     "Bericht.pdf", "2019-03-05 00:00:00", false, 1234567, false, false, 644},
    {"unix-full-time", u8("-rw-r--r-- 1 user group 4096 2024-02-29 13:45:10.123456789 +0100 leap.log"), Ok,
     "leap.log", "2024-02-29 13:45:10", false, 4096, false, false, 644},
    {"unix-size-with-commas", u8("-rw-r--r--   1 user     group   1,234,567 Mar  5 12:34 big.bin"), Ok, "big.bin",
     "2026-03-05 12:34:00", false, 1234567, false, false, 644},
    {"unix-size-human-readable", u8("-rw-r--r--   1 user     group        1.5M Mar  5 12:34 video.mp4"), Ok,
     "video.mp4", "2026-03-05 12:34:00", false, 1572864, false, false, 644},
    {"unix-acl-mark-and-no-group", u8("-rw-r--r--+  1 user   12K Mar  5 12:34 shared.txt"), Ok, "shared.txt",
     "2026-03-05 12:34:00", false, 12288, false, false, 0},

    {"unix-time-with-seconds", u8("-rw-r--r--   1 owner    group    10 Mar  5 12:34:56 stamped"), Ok, "stamped",
     "2026-03-05 12:34:56", false, 10, false, false, 644},

    // Names begin one blank after the time-or-year column (GNU ls layout).
    {"unix-name-with-leading-blank", u8("-rw-r--r--   1 owner    group    10 Mar  5 12:34  leading"), Ok, " leading",
     "2026-03-05 12:34:00", false, 10, false, false, 644},
    {"unix-name-with-leading-blank-after-year", u8("-rw-r--r--   1 owner    group    10 Mar  5  2019  x"), Ok, " x",
     "2019-03-05 00:00:00", false, 10, false, false, 644},
    {"unix-flush-left-year-padding", u8("-rw-r--r--   1 owner    group    10 Mar  5 2019  x"), Ok, "x",
     "2019-03-05 00:00:00", false, 10, false, false, 644},

    // Device, fifo and socket lines as ls -l prints them under /dev and /run.
    {"unix-char-device", u8("crw-rw-rw-   1 root     root       1,   3 Jan  1  2020 null"), Ok, "null",
     "2020-01-01 00:00:00", false, 0, false, false, 666, ListingStyle::Unix, CharDevice},
    {"unix-block-device", u8("brw-rw----   1 root     disk       8,   0 Jun 15 10:00 sda"), Ok, "sda",
     "2026-06-15 10:00:00", false, 0, false, false, 660, ListingStyle::Unix, SpecialFile::BlockDevice},
    {"unix-fifo", u8("prw-r--r--   1 root     root          0 Jun 15 10:00 initctl"), Ok, "initctl",
     "2026-06-15 10:00:00", false, 0, false, false, 644, ListingStyle::Unix, SpecialFile::Fifo},
    {"unix-socket", u8("srwxrwxrwx   1 root     root          0 Jun 15 10:00 docker.sock"), Ok, "docker.sock",
     "2026-06-15 10:00:00", false, 0, false, false, 777, ListingStyle::Unix, SpecialFile::Socket},

    {"unix-link-name-with-arrow-inside", u8("lrwxrwxrwx   1 owner    group    11 Mar  5 12:34 a->b -> /srv/b"), Ok, "a->b",
     "2026-03-05 12:34:00", false, 11, true, true, 777},

    // Errors keep the code of the classic rules when no variant fits.
    {"unix-impossible-iso-date", u8("-rw-r--r-- 1 user group 10 2005-13-45 12:00 x"), UnixNoMonth},
    {"unix-localized-day-32", u8("-rw-r--r-- 1 user group 10 Mär 32 12:00 x"), UnixNoMonth},
    {"unix-lower-case-k-without-fraction", u8("-rw-r--r-- 1 user group 10k Mar 5 12:34 a"), BadSize},
    {"unix-size-unit-overflows", u8("-rw-r--r-- 1 user group 99999999999T Mar 5 12:34 a"), BadSize},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(UnixVariants, ListingFormatTest, testing::ValuesIn(kUnixVariantLines), caseName);

constexpr auto Netware = ListingStyle::Netware;
constexpr auto Os2 = ListingStyle::Os2;
constexpr auto Vms = ListingStyle::Vms;
constexpr auto Os400 = ListingStyle::Os400;
constexpr auto Mvs = ListingStyle::Mvs;

// clang-format off
const FormatCase kServerLines[] = {
    // FileZilla's directory listing parser tests (tests/dirparsertest.cpp).
    {"netware-dir", u8("d [R----F--] supervisor            512       Jan 16 18:53    09-netware dir"), Ok,
     "09-netware dir", "2026-01-16 18:53:00", false, 512, true, false, -1, Netware},
    {"netware-file", u8("- [R----F--] rhesus             214059       Oct 20 15:27    10-netware file"), Ok,
     "10-netware file", "2025-10-20 15:27:00", false, 214059, false, false, -1, Netware},
    {"os2-three-digit-year", u8("36611      A    04-23-103  10:57  24-os2 file"), Ok, "24-os2 file",
     "2003-04-23 10:57:00", false, 36611, false, false, -1, Os2},
    {"os2-two-digit-year", u8(" 1123      A    07-14-99   12:37  25-os2 file"), Ok, "25-os2 file",
     "1999-07-14 12:37:00", false, 1123, false, false, -1, Os2},
    {"os2-dir", u8("    0 DIR       02-11-103  16:15  26-os2 dir"), Ok, "26-os2 dir", "2003-02-11 16:15:00", false, 0,
     true, false, -1, Os2},
    {"os2-dir-with-attribute", u8(" 1123 DIR  A    10-05-100  23:38  27-os2 dir"), Ok, "27-os2 dir",
     "2000-10-05 23:38:00", false, 1123, true, false, -1, Os2},
    {"vms-dir", u8("36-vms-dir.DIR;1  1 19-NOV-2001 21:41 [root,root] (RWE,RWE,RE,RE)"), Ok, "36-vms-dir",
     "2001-11-19 21:41:00", false, 512, true, false, -1, Vms},
    {"vms-file-seconds", u8("37-vms-file;1       155   2-JUL-2003 10:30:13.64"), Ok, "37-vms-file;1",
     "2003-07-02 10:30:13", false, 79360, false, false, -1, Vms},
    {"vms-no-time", u8("38-vms-notime-file;1    2/8    7-JAN-2000    [IV2_XXX]   (RWED,RWED,RE,)"), Ok,
     "38-vms-notime-file;1", "2000-01-07 00:00:00", false, 1024, false, false, -1, Vms},
    {"vms-owner-first", u8("42-vms-alternate-field-order-file;1   [SUMMARY]    1/3     2-AUG-2006 13:05  (RWE,RWE,RE,)"),
     Ok, "42-vms-alternate-field-order-file;1", "2006-08-02 13:05:00", false, 512, false, false, -1, Vms},
    {"vms-date-first", u8("43-vms-alternate-field-order-file;1       17-JUN-1994 17:25:37     6308/13     (RWED,RWED,R,)"),
     Ok, "43-vms-alternate-field-order-file;1", "1994-06-17 17:25:37", false, 3229696, false, false, -1, Vms},
    {"vms-size-in-kilobytes", u8("56-VMS-complex-size;1 2KB 23-SEP-2005 14:57:07.27"), Ok, "56-VMS-complex-size;1",
     "2005-09-23 14:57:07", false, 2048, false, false, -1, Vms},
    {"os400-dir", u8("QSYS            77824 02/23/00 15:09:55 *DIR 44-ibm-as400 dir/"), Ok, "44-ibm-as400 dir",
     "2000-02-23 15:09:55", false, 77824, true, false, -1, Os400},
    {"os400-day-first", u8("QSYS            77824 23/02/00 15:09:55 *FILE 45-ibm-as400-date file"), Ok,
     "45-ibm-as400-date file", "2000-02-23 15:09:55", false, 77824, false, false, -1, Os400},
    {"os400-dotted-date", u8("QPGMR           36864 18.09.06 14:21:26 *FILE      55-AS400.FILE"), Ok, "55-AS400.FILE",
     "2006-09-18 14:21:26", false, 36864, false, false, -1, Os400},
    {"mvs-header", u8("Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname"), Header},
    {"mvs-sequential", u8("WYOSPT 3420   2003/05/21  1  200  FB      80  8053  PS  60-MVS.FILE"), Ok, "60-MVS.FILE",
     "2003-05-21 00:00:00", false, 0, false, false, -1, Mvs},
    {"mvs-partitioned-is-folder", u8("WPTA01 3290   2004/03/04  1    3  FB      80  3125  PO  61-MVS.DATASET"), Ok,
     "61-MVS.DATASET", "2004-03-04 00:00:00", false, 0, true, false, -1, Mvs},
    {"mvs-no-date", u8("NRP004 3390   **NONE**    1   15  NONE     0     0  PO  62-MVS-NONEDATE.DATASET"), Ok,
     "62-MVS-NONEDATE.DATASET", nullptr, false, 0, true, false, -1, Mvs},
    {"mvs-no-extent", u8("TSO005 3390   2005/06/06 213000 U 0 27998 PO 63-MVS.DATASET"), Ok, "63-MVS.DATASET",
     "2005-06-06 00:00:00", false, 0, true, false, -1, Mvs},
    {"mvs-vsam", u8("TSO004 3390   VSAM 64-mvs-file"), Ok, "64-mvs-file", nullptr, false, 0, false, false, -1, Mvs},
    {"mvs-member", u8("66-MVSPDSMEMBER 01.01 2004/06/22 2004/06/22 16:32   128   128    0 BOBY12"), Ok,
     "66-MVSPDSMEMBER", "2004-06-22 16:32:00", false, 128, false, false, -1, Mvs},
    {"mvs-migrated", u8("Migrated\t\t\t\t69-SOME.FILE"), Ok, "69-SOME.FILE", nullptr, false, 0, false, false, -1, Mvs},
    {"mvs-tape", u8("V43525 Tape                                             73-MSV-TAPE.FILE"), Ok, "73-MSV-TAPE.FILE",
     nullptr, false, 0, false, false, -1, Mvs},
    {"mvs-used-unknown", u8("GISBWI 3390   2011/08/25  2 ++++  FB     904 18080  PS  80-MVS.FILE"), Ok, "80-MVS.FILE",
     "2011-08-25 00:00:00", false, 0, false, false, -1, Mvs},
    {"mvs-po-e", u8("WYOSPT 3420   2003/05/21  1 3 U 6447    6447  PO-E 81-MVS.DIR"), Ok, "81-MVS.DIR",
     "2003-05-21 00:00:00", false, 0, true, false, -1, Mvs},
    {"zvm-file", u8("70-ZVMFILE  TRACE   V        65      107        2 2005-10-04 15:28:42 060191"), Ok,
     "70-ZVMFILE.TRACE", "2005-10-04 15:28:42", false, 6955, false, false, -1, ListingStyle::Zvm},
    {"vxworks-dir", u8("2048    Feb-28-1998  05:23:30   49-nortel-vxworks dir <DIR>"), Ok, "49-nortel-vxworks dir",
     "1998-02-28 05:23:30", false, 2048, true, false, -1, ListingStyle::VxWorks},
    {"vshell-file", u8("206876  Apr 04, 2000 21:06 21-vshell-old file"), Ok, "21-vshell-old file",
     "2000-04-04 21:06:00", false, 206876, false, false, -1},
    {"vshell-dir", u8("0  Dec 12, 2002 02:13 22-vshell-old dir/"), Ok, "22-vshell-old dir", "2002-12-12 02:13:00",
     false, 0, true, false, -1},
    {"iis-iso-dir", u8("2002-09-02  18:48       <DIR>          18-dos-longyear dir"), Ok, "18-dos-longyear dir",
     "2002-09-02 18:48:00", false, 0, true, false, -1, ListingStyle::Dos},
    {"iis-iso-file", u8("2002-09-02  19:06                9,730 19-dos-longyear file"), Ok, "19-dos-longyear file",
     "2002-09-02 19:06:00", false, 9730, false, false, -1, ListingStyle::Dos},

    // The same formats with one field broken: unknown lines, nothing guessed.
    {"netware-day-32", u8("d [R----F--] supervisor 512 Jan 32 18:53 x"), UnknownEntry},
    {"os2-month-13", u8("36611      A    13-23-103  10:57  x"), UnknownEntry},
    {"vms-impossible-date", u8("FILE.TXT;1  12  31-FEB-2003 10:00"), UnknownEntry},
    {"vms-unknown-field", u8("FILE.TXT;1  12  3-FEB-2003 10:00 extra"), UnknownEntry},
    {"os400-impossible-date", u8("QSYS 77824 02/30/00 15:09:55 *FILE x"), UnknownEntry},
    {"mvs-unknown-dsorg", u8("WYOSPT 3420   2003/05/21  1  200  FB      80  8053  XX  X.FILE"), UnknownEntry},
    {"zvm-bad-time", u8("F  TRACE   V        65      107        2 2005-10-04 25:28:42 060191"), UnknownEntry},
    {"vxworks-feb-30", u8("2048    Feb-30-1998  05:23:30   x"), UnknownEntry},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Servers, ListingFormatTest, testing::ValuesIn(kServerLines), caseName);

constexpr auto Dos = ListingStyle::Dos;

// clang-format off
const FormatCase kVmsLines[] = {
    // FileZilla's directory listing parser tests (tests/dirparsertest.cpp).
    {"vms-month-in-french", u8("39-vms-notime-file;1    6/8    15-JUI-2002    PRONAS   (RWED,RWED,RE,)"), Ok,
     "39-vms-notime-file;1", "2002-07-15 00:00:00", false, 3072, false, false, -1, Vms},
    // Written after the DIRECTORY/FULL layout: owner group and user, hundredths, a blank in
    // the owner brackets, many versions.
    {"vms-owner-with-group", u8("LOGIN.COM;12   5/6  19-NOV-2001 21:41:05.12 [SYSTEM,ADMIN] (RWED,RWED,RE,)"), Ok,
     "LOGIN.COM;12", "2001-11-19 21:41:05", false, 2560, false, false, -1, Vms},
    {"vms-blank-inside-owner", u8("A.TXT;32767  1/3  1-JAN-1999 00:00:00.00  [SYSTEM, ADMIN]  (RWE,RWE,RE,RE)"), Ok,
     "A.TXT;32767", "1999-01-01 00:00:00", false, 512, false, false, -1, Vms},
    {"vms-lower-case-dir", u8("sub.dir;1  1/3  1-JAN-1999 00:00  [SYSTEM]"), Ok, "sub", "1999-01-01 00:00:00", false,
     512, true, false, -1, Vms},
    {"vms-rms-message", u8("%RMS-E-FNF, file not found"), ServerMessage},
    {"vms-directory-header", u8("Directory DISK$USER:[FTP.PUB]"), Header},
    {"vms-total", u8("Total of 3 files, 12/24 blocks."), Total},
    {"vms-grand-total", u8("Grand total of 2 directories, 5 files, 40/80 blocks."), Total},
    {"vms-unclosed-owner", u8("A.TXT;1  1/3  1-JAN-1999 00:00 [SYSTEM,"), UnknownEntry},
    {"vms-name-alone", u8("LONG_NAME.TXT;1"), TooShort},
};

const FormatCase kDosLines[] = {
    // FileZilla's directory listing parser tests (tests/dirparsertest.cpp).
    {"dos-ambiguous-date-dir", u8("04-27-00  12:09PM       <DIR>          16-dos-dateambiguous dir"), Ok,
     "16-dos-dateambiguous dir", "2000-04-27 12:09:00", false, 0, true, false, -1, Dos},
    // IIS set to a 24-hour clock or four-digit years, sizes past 32 bits, "<DIR>" padded
    // otherwise (IIS's "MS-DOS" directory listing style, as its settings describe it).
    {"dos-24-hour-clock", u8("01-02-03  17:03       <DIR>          folder"), Ok, "folder", "2003-01-02 17:03:00",
     false, 0, true, false, -1, Dos},
    {"dos-four-digit-year-24-hour-big-size", u8("01-02-2003  17:03           5000000000 big two.iso"), Ok,
     "big two.iso", "2003-01-02 17:03:00", false, 5000000000LL, false, false, -1, Dos},
    {"dos-size-wider-than-its-column", u8("01-02-03  05:03PM    123456789012345678 wide.bin"), Ok, "wide.bin",
     "2003-01-02 17:03:00", false, 123456789012345678LL, false, false, -1, Dos},
    {"dos-dir-short-padding", u8("01-02-03  05:03PM  <DIR>       irregular"), Ok, "irregular", "2003-01-02 17:03:00",
     false, 0, true, false, -1, Dos},
    {"dos-seconds-and-separate-pm", u8("06/15/2026  08:05:09 PM           12 a"), Ok, "a", "2026-06-15 20:05:09", false,
     12, false, false, -1, Dos},
    {"dos-dir-without-name", u8("01-02-03  05:03PM       <DIR>"), DosNameMissing},
    {"dos-dir-name-only-blanks", u8("01-02-03  05:03PM       <DIR>             "), DosNameMissing},
    {"dos-24-hour-25", u8("01-02-2003  25:03           5 a"), UnknownEntry},
    {"dos-day-first-date", u8("13-02-2003  17:03           5 a"), UnknownEntry},
};

const FormatCase kUnixFormLines[] = {
    // FileZilla's directory listing parser tests (tests/dirparsertest.cpp).
    {"unix-24-00-midnight", u8("-rw-------      1  99999999 0              3 Apr   4 24:00 alternate_midnight"), Ok,
     "alternate_midnight", "2026-04-05 00:00:00", false, 3, false, false, 600},
    {"unix-numerical", u8("0100644   500  101   12345    123456789       20-unix-numerical file"), Ok,
     "20-unix-numerical file", "1973-11-29 21:33:09", true, 12345, false, false, 644},
    {"unix-no-owner-or-group", u8("-r--r--r-- 0125039 12 Nov 11 2005 53-noownergroup file"), Ok,
     "53-noownergroup file", "2005-11-11 00:00:00", false, 12, false, false, 444},
    // Written after the forms ls and servers document: 20-digit sizes, devices, other type
    // letters, a link count run together with the permissions, CJK dates in one field.
    {"unix-size-2-64-minus-1-is-unknown", u8("-rw-r--r--   1 ftp ftp 18446744073709551615 Mar  5 12:34 max"), Ok,
     "max", "2026-03-05 12:34:00", false, -1, false, false, 644},
    {"unix-size-20-digits-is-unknown", u8("-rw-r--r--   1 ftp ftp 12345678901234567890 Mar  5 12:34 big"), Ok, "big",
     "2026-03-05 12:34:00", false, -1, false, false, 644},
    {"unix-size-beyond-64-bits", u8("-rw-r--r--   1 ftp ftp 18446744073709551616 Mar  5 12:34 x"), BadSize},
    {"unix-owner-and-link-count-run-together", u8("-rw-r--r--  1ftp  ftp 1234 Mar  5 12:34 a"), Ok, "a",
     "2026-03-05 12:34:00", false, 1234, false, false, 644},
    {"unix-acl-and-link-count-run-together", u8("-rw-r--r--+1 ftp ftp 1234 Mar  5 12:34 acl run"), Ok, "acl run",
     "2026-03-05 12:34:00", false, 1234, false, false, 0},
    {"unix-permissions-and-link-count-run-together", u8("drwxr-xr-x12 ftp ftp 4096 Mar  5 12:34 many"), Ok, "many",
     "2026-03-05 12:34:00", false, 4096, true, false, 755},
    {"unix-block-device-numbers-run-together", u8("brw-r--r--   1 root disk 8,0 Mar  5 12:34 sda"), Ok, "sda",
     "2026-03-05 12:34:00", false, 0, false, false, 644, ListingStyle::Unix, SpecialFile::BlockDevice},
    {"unix-door", u8("Dr--r--r--   1 root root 0 Mar  5 12:34 name_service_door"), Ok, "name_service_door",
     "2026-03-05 12:34:00", false, 0, false, false, 444, ListingStyle::Unix, SpecialFile::Other},
    {"unix-kind-a", u8("arw-r--r--   1 ftp ftp 1234 Mar  5 12:34 afile"), Ok, "afile", "2026-03-05 12:34:00", false,
     1234, false, false, 644, ListingStyle::Unix, SpecialFile::Other},
    {"unix-kind-f", u8("frw-r--r--   1 ftp ftp 1234 Mar  5 12:34 ffile"), Ok, "ffile", "2026-03-05 12:34:00", false,
     1234, false, false, 644, ListingStyle::Unix, SpecialFile::Other},
    {"unix-iso-date-without-time", u8("-rw-r--r--   1 ftp ftp 1234 2019-03-05 iso date"), Ok, "iso date",
     "2019-03-05 00:00:00", false, 1234, false, false, 644},
    {"unix-cjk-date-in-one-field", u8("-rw-r--r--   1 ftp ftp 1234 2019年3月5日 报告.doc"), Ok, "报告.doc",
     "2019-03-05 00:00:00", false, 1234, false, false, 644},
    {"unix-cjk-month-day-in-one-field", u8("-rw-r--r--   1 ftp ftp 1234 3月5日 12:34 a b"), Ok, "a b",
     "2026-03-05 12:34:00", false, 1234, false, false, 644},
    {"unix-numerical-link", u8("0120777 0 0 7 1700000000 current"), Ok, "current", "2023-11-14 22:13:20", true, 7,
     true, true, 777},
    {"unix-numerical-unknown-type", u8("0170777 0 0 7 1700000000 x"), UnknownEntry},
    {"unix-two-kind-marks-run-together", u8("-rw-r--r--++1 ftp ftp 1 Mar  5 12:34 x"), UnknownEntry},
};

const FormatCase kMlsdFormLines[] = {
    // FileZilla's directory listing parser tests (tests/dirparsertest.cpp).
    {"mlsd-empty-fact-values", u8("modify=20080426135501;perm=;size=65718921;type=file;unique=802U1066013B;UNIX.group=1179;"
                                  "UNIX.mode=00;UNIX.owner=1179; 75 MLSD file with empty permissions"),
     Ok, "75 MLSD file with empty permissions", "2008-04-26 13:55:01", true, 65718921, false, false, 0, Mlsd},
    {"mlsd-no-semicolon-after-facts", u8("type=file 77 MLSD file no trailing semicolon after facts < mlst-07"), Ok,
     "77 MLSD file no trailing semicolon after facts < mlst-07", nullptr, false, 0, false, false, -1, Mlsd},
    {"mlsd-slink-without-target", u8("type=OS.unix=slink; 77 MLSD symlink notarget"), Ok, "77 MLSD symlink notarget",
     nullptr, false, 0, true, true, -1, Mlsd},
    // Written after RFC 3659 (fact names any case, one blank before the name, cdir and pdir).
    {"mlsd-empty-size", u8("Type=file;Size=;Modify=20090722092510; unknown size"), Ok, "unknown size",
     "2009-07-22 09:25:10", true, 0, false, false, -1, Mlsd},
    {"mlsd-upper-case-facts", u8("TYPE=DIR;SIZE=12;MODIFY=20090722092510; UP"), Ok, "UP", "2009-07-22 09:25:10", true,
     12, true, false, -1, Mlsd},
    {"mlsd-several-blanks-belong-to-name", u8("type=file;size=12;   three"), Ok, "  three", nullptr, false, 12, false,
     false, -1, Mlsd},
    {"mlsd-cdir-full-path", u8("type=cdir;modify=20090722092510;perm=el; /home/user/my pub"), FolderItself},
    {"mlsd-pdir-full-path", u8("type=pdir;modify=20090722092510; /home/user"), FolderItself},
    {"mlsd-mode-says-link", u8("type=dir;unix.mode=0120777; looks like a folder"), Ok, "looks like a folder", nullptr,
     false, 0, true, true, 777, Mlsd},
    // pyftpdlib's form of the mode, once asked for with OPTS MLST.
    {"mlsd-python-octal-mode", u8("modify=20261211005614;perm=eldfmcp;size=4096;type=dir;unix.mode=0o744; sub"), Ok,
     "sub", "2026-12-11 00:56:14", true, 4096, true, false, 744, Mlsd},
    {"mlsd-python-octal-link-mode", u8("type=dir;unix.mode=0o120777; lnk"), Ok, "lnk", nullptr, false, 0, true, true,
     777, Mlsd},
    {"mlsd-facts-without-type-or-semicolon", u8("size=12 x"), UnknownEntry},
};

const FormatCase kOtherServerLines[] = {
    // FileZilla's directory listing parser tests (tests/dirparsertest.cpp).
    {"hp-nonstop", u8("57-HP_NonStop 101 528 6-Apr-07 14:21:18 255, 0 \"oooo\""), Ok, "57-HP_NonStop",
     "2007-04-06 14:21:18", false, 528, false, false, -1, ListingStyle::HpNonStop},
    {"hp-nonstop-owner-without-blank", u8("58-HP_NonStop 101 528 6-Apr-07 14:21:18 255,255 \"oooo\""), Ok,
     "58-HP_NonStop", "2007-04-06 14:21:18", false, 528, false, false, -1, ListingStyle::HpNonStop},
    {"os9-dir", u8("20.20 07/03/29 1026 d-ewrewr 2650 85920 51-OS-9 dir"), Ok, "51-OS-9 dir", "2007-03-29 10:26:00",
     false, 85920, true, false, -1, ListingStyle::Os9},
    {"nortel-wfftp", u8("48-nortel-wfftp-file       1014196  06/03/04  Thur.   10:20:03"), Ok, "48-nortel-wfftp-file",
     "2004-06-03 10:20:03", false, 1014196, false, false, -1, ListingStyle::Nortel},
    {"connect-enterprise", u8("-C--E-----FTP B BCC3I1       7670  1294495 Jan 13 07:42 50-conent file"), Ok,
     "50-conent file", "2026-01-13 07:42:00", false, 1294495, false, false, -1, ListingStyle::ConnectEnterprise},
    {"mvs-load-module", u8("67-MVSPDSMEMBER2 00B308 000411  00 FO                31    ANY"), Ok, "67-MVSPDSMEMBER2",
     nullptr, false, 45832, false, false, -1, Mvs},
    {"mvs-load-module-attributes", u8("68-MVSPDSMEMBER3 00B308 000411  00 FO        RU      ANY    24"), Ok,
     "68-MVSPDSMEMBER3", nullptr, false, 45832, false, false, -1, Mvs},
    {"mvs-used-unknown-question-marks", u8("WYOSPT 3420   2003/05/21  1 ????  FB      80  8053  PS  79-MVS.FILE"), Ok,
     "79-MVS.FILE", "2003-05-21 00:00:00", false, 0, false, false, -1, Mvs},
    // Written after IBM's description of OS/400 LIST output for members (NAMEFMT 1).
    {"os400-member", u8("QSYS                                    *MEM       QGPL/QCLSRC.FILE/ABC.MBR"), Ok, "ABC.MBR",
     nullptr, false, 0, false, false, -1, Os400},
    {"hp-nonstop-no-security", u8("X 101 528 6-Apr-07 14:21:18 255,255"), UnknownEntry},
    {"os9-bad-attributes", u8("20.20 07/03/29 1026 x-ewrewr 2650 85920 name"), UnknownEntry},
    {"nortel-no-weekday", u8("name 1014196 06/03/04 Thur 10:20:03"), UnknownEntry},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Vms, ListingFormatTest, testing::ValuesIn(kVmsLines), caseName);
INSTANTIATE_TEST_SUITE_P(DosIis, ListingFormatTest, testing::ValuesIn(kDosLines), caseName);
INSTANTIATE_TEST_SUITE_P(UnixForms, ListingFormatTest, testing::ValuesIn(kUnixFormLines), caseName);
INSTANTIATE_TEST_SUITE_P(MlsdForms, ListingFormatTest, testing::ValuesIn(kMlsdFormLines), caseName);
INSTANTIATE_TEST_SUITE_P(OtherServers, ListingFormatTest, testing::ValuesIn(kOtherServerLines), caseName);

// A VMS name too long for its column fills a line of its own; the statistics follow on the
// next (FileZilla's tests, 40- and 41-vms-multiline). The entry is on the name's line, the
// next line only says it continues it, and the messages around the entries are no faults.
TEST(ParseListingFormats, VmsEntryOverTwoLines)
{
    const QStringList lines = {
        u8("Directory DISK$USER:[FTP]"),
        u8(""),
        u8("40-vms-multiline-file;1"),
        u8("170774/170775     24-APR-2003 08:16:15  [FTP_CLIENT,SCOT]      (RWED,RWED,RE,)"),
        u8("41-vms-multiline-file;1"),
        u8("        10     2-JUL-2003 10:30:08.59  [FTP_CLIENT,SCOT]      (RWED,RWED,RE,)"),
        u8("SHORT.TXT;1  1/3  1-JAN-1999 00:00  [SYSTEM]"),
        u8("ORPHAN.TXT;1"),
        u8("Total of 3 files, 170785/170781 blocks."),
    };
    std::vector<tTmbFtpEntry> entries;
    parseListing(lines, entries, kNow);
    ASSERT_EQ(entries.size(), 9u);
    const std::int32_t statuses[] = {Header, TooShort, Ok, Continuation, Ok, Continuation, Ok, TooShort, Total};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].status, statuses[i]) << i;
        EXPECT_EQ(entries[i].rawLine, lines[static_cast<qsizetype>(i)]);
    }
    EXPECT_EQ(entries[2].name, u8("40-vms-multiline-file;1"));
    EXPECT_EQ(entries[2].size, 170774LL * 512);
    EXPECT_EQ(entries[4].name, u8("41-vms-multiline-file;1"));
    EXPECT_EQ(entries[4].size, 10 * 512);
    EXPECT_EQ(ProgramDateTime::toDateTime(entries[4].modified), QDateTime(QDate(2003, 7, 2), QTime(10, 30, 8)));
    EXPECT_FALSE(entries[3].isError());
}

// Where a DOS listing's columns are not IIS's, a folder's name begins where the file names
// of the same listing begin, so its leading blank is kept.
TEST(ParseListingFormats, DosFolderNameFollowsTheListingsNameColumn)
{
    const QStringList lines = {
        u8("2003-01-02  17:03            5 file.txt"),
        u8("2003-01-02  17:03  <DIR>        lead"),
        u8("2003-01-02  17:03  <DIR>     other"),
    };
    std::vector<tTmbFtpEntry> entries;
    parseListing(lines, entries, kNow);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, u8("file.txt"));
    EXPECT_EQ(entries[1].name, u8(" lead"));
    EXPECT_TRUE(entries[1].isFolder);
    EXPECT_EQ(entries[2].name, u8("other")); // blanks end before the column: after them
}

// Members of an MVS dataset may come without statistics: after the members' header, or
// after a member with them, a line of one name is a member. Elsewhere it is too short.
TEST(ParseListingFormats, MvsMemberWithoutStatisticsOnlyInAMemberListing)
{
    const QStringList lines = {
        u8("65-MVS-PDS-MEMBER"),
        u8(" Name     VV.MM   Created       Changed      Size  Init   Mod   Id"),
        u8("65-MVS-PDS-MEMBER"),
        u8("66-MVSPDSMEMBER 01.01 2004/06/22 2004/06/22 16:32   128   128    0 BOBY12"),
    };
    std::vector<tTmbFtpEntry> entries;
    parseListing(lines, entries, kNow);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].status, TooShort);
    EXPECT_EQ(entries[1].status, Header);
    EXPECT_EQ(entries[2].status, Ok);
    EXPECT_EQ(entries[2].name, u8("65-MVS-PDS-MEMBER"));
    EXPECT_EQ(entries[2].style, Mvs);
    EXPECT_EQ(entries[3].name, u8("66-MVSPDSMEMBER"));
}

// A listing may switch formats from line to line; each line is judged on its own.
TEST(ParseListingFormats, MixedListingKeepsEveryLineInOrder)
{
    const QStringList lines = {
        u8("type=file;size=5; a b"),
        u8("-rw-r--r--   1 u        g        5 Mar  5 12:34 unix"),
        u8("FILE.TXT;1  1  3-FEB-2003 10:00"),
        u8("+r,s1,\teplf"),
        u8("?"),
        u8("type=cdir; /x"),
    };
    std::vector<tTmbFtpEntry> entries;
    parseListing(lines, entries, kNow);
    ASSERT_EQ(entries.size(), 6u);
    const char *names[] = {"a b", "unix", "FILE.TXT;1", "eplf"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(entries[static_cast<std::size_t>(i)].status, Ok) << i;
        EXPECT_EQ(entries[static_cast<std::size_t>(i)].name, QString::fromUtf8(names[i])) << i;
    }
    EXPECT_EQ(entries[4].status, TooShort);
    EXPECT_EQ(entries[5].status, FolderItself);
}

// The parser keeps to the kind of the line before while lines agree. A listing that changes
// kind mid-way (Unix, then DOS, then facts, then the other servers' formats one after another
// and back to one tried before) still reads every line as that line reads on its own.
TEST(ParseListingFormats, ListingThatChangesKindReadsEachLineAsAlone)
{
    struct Row {
        QString line;
        const char *name;
        ListingStyle style;
    };
    const Row rows[] = {
        {u8("-rw-r--r--   1 u        g        5 Mar  5 12:34 unix one"), "unix one", ListingStyle::Unix},
        // The classic rules fail on an ISO date; the variant that reads it must leave no trace of that.
        {u8("drwxr-xr-x   2 u        g     4096 2019-01-02 10:00 iso dir"), "iso dir", ListingStyle::Unix},
        {u8("-rw-r--r--   1 u        g        7 Mar  5 12:34 unix two"), "unix two", ListingStyle::Unix},
        {u8("04-27-00  12:09PM       <DIR>          dos dir"), "dos dir", ListingStyle::Dos},
        {u8("01-02-2003  17:03           5000000000 dos big.iso"), "dos big.iso", ListingStyle::Dos},
        {u8("type=file;size=5; facts one"), "facts one", Mlsd},
        {u8("type=dir;modify=20190102100000; facts dir"), "facts dir", Mlsd},
        {u8("LOGIN.COM;12   5/6  19-NOV-2001 21:41:05.12 [SYSTEM,ADMIN] (RWED,RWED,RE,)"), "LOGIN.COM;12",
         ListingStyle::Vms},
        {u8("36611      A    04-23-103  10:57  os2 file"), "os2 file", ListingStyle::Os2},
        {u8("d [R----F--] supervisor            512       Jan 16 18:53    netware dir"), "netware dir",
         ListingStyle::Netware},
        {u8("- [R----F--] rhesus             214059       Oct 20 15:27    netware file"), "netware file",
         ListingStyle::Netware},
        {u8("A.TXT;32767  1/3  1-JAN-1999 00:00:00.00  [SYSTEM, ADMIN]  (RWE,RWE,RE,RE)"), "A.TXT;32767",
         ListingStyle::Vms},
        {u8("-rw-r--r--   1 u        g        9 Mar  5 12:34 unix three"), "unix three", ListingStyle::Unix},
    };
    QStringList lines;
    for (const Row &row : rows)
        lines << row.line;
    std::vector<tTmbFtpEntry> entries;
    parseListing(lines, entries, kNow);
    ASSERT_EQ(entries.size(), std::size(rows));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const tTmbFtpEntry &e = entries[i];
        SCOPED_TRACE(rows[i].line.toStdString());
        EXPECT_EQ(e.status, Ok) << e.message.toStdString();
        EXPECT_TRUE(e.message.isEmpty());
        EXPECT_EQ(e.name, u8(rows[i].name));
        EXPECT_EQ(e.style, rows[i].style);
        std::vector<tTmbFtpEntry> alone;
        parseListing({rows[i].line}, alone, kNow);
        ASSERT_EQ(alone.size(), 1u);
        EXPECT_EQ(e.size, alone[0].size);
        EXPECT_EQ(e.modified, alone[0].modified);
        EXPECT_EQ(e.permissions, alone[0].permissions);
        EXPECT_EQ(e.isFolder, alone[0].isFolder);
        EXPECT_EQ(e.isLink, alone[0].isLink);
        EXPECT_EQ(e.special, alone[0].special);
    }
}

// What the session calls with the data of an MLSD command or the fact line of MLST: every
// line is read as facts, so a name is never taken for a Unix or DOS line.
TEST(MlsdEntryPoints, ReadFactLinesOnly)
{
    std::vector<tTmbFtpEntry> entries;
    parseMlsdListing({u8("Type=file;Size=1830;Modify=19940916055648;Perm=r; hatch.c"), u8(" no facts at all"),
                      u8("type=file 77 MLSD file no trailing semicolon after facts < mlst-07"),
                      u8("Type=file;Size=5; -rw-r--r-- 1 u g 5 Mar  5 12:34 looks like unix")},
                     entries);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, u8("hatch.c"));
    EXPECT_EQ(entries[0].size, 1830);
    EXPECT_EQ(entries[1].status, Ok);
    EXPECT_EQ(entries[1].name, u8("no facts at all"));
    // Drafts before RFC 3659 wrote no ";" after the last fact.
    EXPECT_EQ(entries[2].status, Ok);
    EXPECT_EQ(entries[2].name, u8("77 MLSD file no trailing semicolon after facts < mlst-07"));
    EXPECT_EQ(entries[3].name, u8("-rw-r--r-- 1 u g 5 Mar  5 12:34 looks like unix"));

    const tTmbFtpEntry mlst = parseMlstLine(u8(" Type=dir;Modify=19990112030508; /pub/a b"));
    EXPECT_EQ(mlst.status, Ok);
    EXPECT_TRUE(mlst.isFolder);
    EXPECT_EQ(mlst.name, u8("/pub/a b"));
    EXPECT_EQ(parseMlstLine(u8("Type=dir; /pub")).status, FactsNoName);
    EXPECT_EQ(parseMlsdLine(u8("Type=pdir; ..")).status, FolderItself);
}

// Lines are searched eight characters at a time and cut into tokens in blocks of 64: with
// 0 to 80 more blanks (or a longer fact) at a place where the width does not matter, every
// field lands on every position of those steps and blocks, and the entry stays the same.
TEST(ParseListingFormats, FieldsReadTheSameAtEveryPosition)
{
    struct Row {
        const char *before;  // the line up to the place that widens
        const char *widened; // repeated 0 to 80 times there
        const char *after;
    };
    const Row rows[] = {
        {"-rw-r--r--   1 owner    group", " ", "   5 Mar  5 12:34 unix name"},
        {"drwxr-xr-x   2 owner    group", " ", " 4096 2019-01-02 10:00 iso dir"},
        {"-rw-r--r--   1 owner    group", " ", " 12345678 5. Okt. 2019 german name"},
        {"type=file;size=5;x.note=", "a", "; facts name"},
        {"+i", "7", ",m1500000000,r,s12\teplf name"},
        {"LOGIN.COM;12", " ", "  5/6  19-NOV-2001 21:41:05.12 [SYSTEM,ADMIN] (RWED,RWED,RE,)"},
        {"d [R----F--] supervisor", " ", "   512       Jan 16 18:53    netware dir"},
        {"QSYS", " ", "   77824 02/23/00 15:09:55 *STMF os400 file"},
        {"01-02-2003  17:03", " ", "   5000000000 dos big.iso"},
    };
    for (const Row &row : rows) {
        QStringList lines;
        for (int n = 0; n <= 80; ++n)
            lines << u8(row.before) + u8(row.widened).repeated(n) + u8(row.after);
        std::vector<tTmbFtpEntry> entries;
        parseListing(lines, entries, kNow);
        ASSERT_EQ(entries.size(), static_cast<std::size_t>(lines.size()));
        const tTmbFtpEntry &first = entries.front();
        ASSERT_EQ(first.status, Ok) << row.before << row.after;
        for (std::size_t n = 1; n < entries.size(); ++n) {
            const tTmbFtpEntry &e = entries[n];
            SCOPED_TRACE(lines[static_cast<qsizetype>(n)].toStdString());
            EXPECT_EQ(e.status, Ok) << e.message.toStdString();
            EXPECT_EQ(e.name, first.name);
            EXPECT_EQ(e.size, first.size);
            EXPECT_EQ(e.modified, first.modified);
            EXPECT_EQ(e.isFolder, first.isFolder);
            EXPECT_EQ(e.style, first.style);
        }
    }
}

// Whatever a server sends, each line gives exactly one entry, and a line that is not
// usable says why: every prefix of every table line, and each line with blanks and tabs put
// in at every position, is parsed.
TEST(ParseListingFormats, CutAndPaddedLinesGiveOneEntryEach)
{
    QStringList lines;
    const auto addCutAndPadded = [&lines](const auto &table) {
        for (const FormatCase &c : table) {
            for (qsizetype n = 0; n <= c.line.size(); ++n) {
                lines << c.line.first(n);
                lines << c.line.first(n) + u8(" \t ") + c.line.sliced(n);
            }
        }
    };
    addCutAndPadded(kMachineLines);
    addCutAndPadded(kUnixVariantLines);
    addCutAndPadded(kServerLines);
    addCutAndPadded(kVmsLines);
    addCutAndPadded(kDosLines);
    addCutAndPadded(kUnixFormLines);
    addCutAndPadded(kMlsdFormLines);
    addCutAndPadded(kOtherServerLines);
    std::vector<tTmbFtpEntry> entries;
    parseListing(lines, entries, kNow);
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(lines.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const tTmbFtpEntry &e = entries[i];
        EXPECT_EQ(e.rawLine, lines[static_cast<qsizetype>(i)]);
        if (e.status == Ok)
            EXPECT_TRUE(e.rawLine.contains(e.name) || e.style == ListingStyle::Zvm) << e.rawLine.toStdString();
        else
            EXPECT_FALSE(e.message.isEmpty()) << e.rawLine.toStdString();
    }
}

} // namespace
