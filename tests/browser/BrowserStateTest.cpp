#include "browser/BrowserState.h"
#include "listing/u_tmbFtpParser.h"
#include "support/BugRecorder.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <string>

namespace {

const QDateTime kNow(QDate(2026, 6, 15), QTime(20, 0));
const QString kHost = QStringLiteral("ftp.example.com");

QString unixLine(const char *permissions, const QString &sizeDateName)
{
    return QString::fromLatin1(permissions) + QStringLiteral("   1 owner    group    ") + sizeDateName;
}

QString unixFile(const QString &name)
{
    return unixLine("-rw-r--r--", QStringLiteral("12 Mar  5 12:34 ") + name);
}

std::vector<tTmbFtpEntry> parsed(const QStringList &lines)
{
    std::vector<tTmbFtpEntry> entries;
    parseListing(lines, entries, kNow);
    return entries;
}

QStringList namesOf(const tFolderObject &folder)
{
    QStringList names;
    for (const auto &item : folder.folderEntries) {
        EXPECT_EQ(item.name, item.entry.name);
        names << item.name;
    }
    return names;
}

// --- canonical remote paths -------------------------------------------------------------

struct PathCase {
    const char *label;
    const char *path;
    const char *canonical;
};

class NormalizeRemotePathTest : public testing::TestWithParam<PathCase> {};

TEST_P(NormalizeRemotePathTest, GivesCanonicalForm)
{
    const QString canonical = normalizeRemotePath(QString::fromLatin1(GetParam().path));
    EXPECT_EQ(canonical, QString::fromLatin1(GetParam().canonical));
    EXPECT_EQ(normalizeRemotePath(canonical), canonical); // a canonical path stays as it is
}

const PathCase kPaths[] = {
    {"empty-stays-empty", "", ""},
    {"relative-gets-both-slashes", "pub/incoming", "/pub/incoming/"},
    {"root-stays-root", "/", "/"},
    {"backslashes-become-slashes", "pub\\incoming", "/pub/incoming/"},
    {"double-slash-collapses", "/pub//x", "/pub/x/"},
    {"long-runs-collapse", "\\\\a///\\b//", "/a/b/"},
    {"dot-dot-is-not-resolved", "../../x", "/../../x/"},
    {"blanks-kept", " my folder ", "/ my folder /"},
};

INSTANTIATE_TEST_SUITE_P(Paths, NormalizeRemotePathTest, testing::ValuesIn(kPaths), [](const auto &info) {
    std::string name = info.param.label;
    for (char &ch : name) {
        if (ch == '-')
            ch = '_';
    }
    return name;
});

// --- the remote folder cache ------------------------------------------------------------

class FolderCacheTest : public testing::Test {
protected:
    BrowserState state;
    BugRecorder bugs;
};

TEST_F(FolderCacheTest, StoresUsableEntriesInListingOrder)
{
    const tFolderObject &folder = state.storeListing(
        QStringLiteral("/pub/"),
        parsed({QStringLiteral("total 12"), unixLine("drwxr-xr-x", QStringLiteral("4096 Jan  1  2019 .")),
                unixLine("drwxr-xr-x", QStringLiteral("4096 Jan  1  2019 ..")),
                unixLine("drwxr-x---", QStringLiteral("4096 Mar  5 12:34 incoming")), unixFile(QStringLiteral("b.txt")),
                unixLine("lrwxrwxrwx", QStringLiteral("7 Mar  5 12:34 latest -> incoming/v2")),
                unixFile(QStringLiteral("b.txt"))}),
        kHost);

    EXPECT_TRUE(bugs.reports().empty());
    EXPECT_EQ(namesOf(folder), (QStringList{QStringLiteral("incoming"), QStringLiteral("b.txt"),
                                            QStringLiteral("latest"), QStringLiteral("b.txt")}));
    const tFtpFolderEntryObject &dir = folder.folderEntries[0].entry;
    EXPECT_TRUE(dir.isFolder);
    EXPECT_EQ(dir.size, 4096); // a remote folder keeps the size its line shows
    EXPECT_EQ(dir.attr, 750);
    EXPECT_EQ(unpackFileTime(dir.time), QDateTime(QDate(2026, 3, 5), QTime(12, 34)));
    const tFtpFolderEntryObject &link = folder.folderEntries[2].entry;
    EXPECT_TRUE(link.isLink);
    EXPECT_TRUE(link.isFolder);
    EXPECT_FALSE(folder.folderEntries[1].entry.isLink);
    EXPECT_EQ(folder.folderEntries[1].entry.size, 12);
    EXPECT_FALSE(folder.needsRefresh);
}

// Letter case counts, as on the servers people mostly use: /pub/ and /Pub/ are two folders,
// and a listing of one never shows for the other.
TEST_F(FolderCacheTest, FoldersDifferingInLetterCaseKeepTheirOwnListings)
{
    tFolderObject &lower =
        state.storeListing(QStringLiteral("/pub/"), parsed({unixFile(QStringLiteral("lower"))}), kHost);
    state.markFolderStale(QStringLiteral("/PUB/")); // another folder: /pub/ stays fresh
    EXPECT_FALSE(state.isFolderStale(QStringLiteral("/pub/")));

    tFolderObject &upper =
        state.storeListing(QStringLiteral("/Pub/"),
                           parsed({unixFile(QStringLiteral("upper1")), unixFile(QStringLiteral("upper2"))}), kHost);
    EXPECT_NE(&upper, &lower);
    ASSERT_EQ(state.rFolders.size(), 2u);
    EXPECT_EQ(namesOf(lower), QStringList{QStringLiteral("lower")});
    EXPECT_EQ(namesOf(upper), (QStringList{QStringLiteral("upper1"), QStringLiteral("upper2")}));
    EXPECT_EQ(state.findCachedFolder(QStringLiteral("/pub/")), &lower);
    EXPECT_EQ(state.findCachedFolder(QStringLiteral("/Pub/")), &upper);
    EXPECT_EQ(state.findCachedFolder(QStringLiteral("/PUB/")), nullptr);
}

TEST_F(FolderCacheTest, ListingOfOnlyBadLinesStoresEmptyFolderAndReportsFirstLineOnce)
{
    const tFolderObject &folder = state.storeListing(
        QStringLiteral("/broken/"),
        parsed({QStringLiteral("garbage"), unixLine("-rw-r--r--", QStringLiteral("x Mar  5 12:34 a")),
                QStringLiteral("more garbage here")}),
        kHost);

    EXPECT_TRUE(folder.folderEntries.empty());
    EXPECT_NE(state.findCachedFolder(QStringLiteral("/broken/")), nullptr);
    ASSERT_EQ(bugs.reports().size(), 1u);
    EXPECT_EQ(bugs.reports()[0].siteId, QStringLiteral("server: ftp.example.com"));
    EXPECT_EQ(bugs.reports()[0].message,
              QStringLiteral("Unable to list all entries on server.\r\nraw list entry too short\r\ngarbage"));
}

TEST_F(FolderCacheTest, EachListingReportsItsOwnFirstBadLine)
{
    state.storeListing(QStringLiteral("/a/"), parsed({QStringLiteral("bad")}), kHost);
    state.storeListing(QStringLiteral("/a/"), parsed({QStringLiteral("bad again")}), kHost);
    EXPECT_EQ(bugs.reports().size(), 2u);
}

TEST_F(FolderCacheTest, StaleMarksOnlyCachedFoldersAndNewListingRefreshes)
{
    state.markFolderStale(QStringLiteral("/nowhere/"));
    EXPECT_FALSE(state.isFolderStale(QStringLiteral("/nowhere/")));
    EXPECT_EQ(state.findCachedFolder(QStringLiteral("/nowhere/")), nullptr);

    state.storeListing(QStringLiteral("/pub/"), {}, kHost);
    EXPECT_FALSE(state.isFolderStale(QStringLiteral("/pub/")));
    state.markFolderStale(QStringLiteral("/pub/"));
    EXPECT_TRUE(state.isFolderStale(QStringLiteral("/pub/")));
    state.storeListing(QStringLiteral("/pub/"), {}, kHost);
    EXPECT_FALSE(state.isFolderStale(QStringLiteral("/pub/")));
}

TEST_F(FolderCacheTest, ClearingFreesEveryFolderAndUnbindsTheRemoteList)
{
    for (const char *path : {"/a/", "/b/", "/c/"})
        state.storeListing(QString::fromLatin1(path), parsed({unixFile(QStringLiteral("f"))}), kHost);
    state.rEntries = &state.findCachedFolder(QStringLiteral("/b/"))->folderEntries;

    state.clearFolderCache();

    EXPECT_TRUE(state.rFolders.empty());
    EXPECT_EQ(state.rEntries, nullptr);
    EXPECT_TRUE(state.remoteEntries().empty());
    EXPECT_EQ(state.findCachedFolder(QStringLiteral("/b/")), nullptr);
}

// Dates the packed format cannot hold become 0 ("Invalid Date" in the list).
TEST_F(FolderCacheTest, EntryDatedBefore1980GetsTimeZero)
{
    const tFolderObject &folder =
        state.storeListing(QStringLiteral("/old/"),
                           parsed({unixLine("-rw-r--r--", QStringLiteral("1 Jan  1  1970 epoch")),
                                   unixLine("-rw-r--r--", QStringLiteral("1 Jan  1  1980 first"))}),
                           kHost);
    ASSERT_EQ(folder.folderEntries.size(), 2u);
    EXPECT_EQ(folder.folderEntries[0].entry.time, 0);
    EXPECT_EQ(unpackFileTime(folder.folderEntries[1].entry.time), QDateTime(QDate(1980, 1, 1), QTime(0, 0)));
}

// --- names a server may send --------------------------------------------------------------

struct NameCase {
    const char *label;
    QString line;
    bool stored;
    QString name = {}; // as stored
    // Why a refused line is reported: the folder cache's own check, or the parser's.
    const char *refusal = "invalid file or folder name";
};

class ListedNameTest : public FolderCacheTest, public testing::WithParamInterface<NameCase> {};

// The odd line sits between two ordinary ones; a refused name costs only its own line.
TEST_P(ListedNameTest, IsStoredAsListedOrRefused)
{
    const NameCase &c = GetParam();
    const tFolderObject &folder = state.storeListing(
        QStringLiteral("/x/"), parsed({unixFile(QStringLiteral("before")), c.line, unixFile(QStringLiteral("after"))}),
        kHost);
    QStringList expected{QStringLiteral("before")};
    if (c.stored)
        expected << c.name;
    expected << QStringLiteral("after");
    EXPECT_EQ(namesOf(folder), expected);
    if (c.stored) {
        EXPECT_TRUE(bugs.reports().empty());
    } else {
        ASSERT_EQ(bugs.reports().size(), 1u);
        EXPECT_EQ(bugs.reports()[0].message, QStringLiteral("Unable to list all entries on server.\r\n") +
                                                 QString::fromLatin1(c.refusal) + QStringLiteral("\r\n") + c.line);
    }
}

const QString kLongName(300, u'n');

const NameCase kNames[] = {
    {"star", unixFile(QStringLiteral("*.*")), true, QStringLiteral("*.*")},
    {"backslash", unixFile(QStringLiteral("a\\b")), true, QStringLiteral("a\\b")},
    {"blanks-at-both-ends", QStringLiteral("01-02-03  10:00AM") + QString(19, u' ') + QStringLiteral("12  padded  "),
     true, QStringLiteral(" padded  ")},
    {"control-character", unixFile(QStringLiteral("bell\aand\ttab")), true, QStringLiteral("bell\aand\ttab")},
    {"three-hundred-characters", unixFile(kLongName), true, kLongName},
    {"dot-dot-with-blank", unixFile(QStringLiteral(".. ")), true, QStringLiteral(".. ")},
    {"slash", unixFile(QStringLiteral("../../etc/passwd")), false},
    {"nul", unixFile(QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b")), false},
    {"carriage-return", unixFile(QStringLiteral("a\rb")), false},
    {"line-feed", unixFile(QStringLiteral("a\nb")), false},
    {"empty-dos-name",
     QStringLiteral("01-02-03  10:00AM       <DIR>          "),
     false,
     {},
     "dos entry too short. missing filename."},
    {"empty-link-name", unixLine("lrwxrwxrwx", QStringLiteral("7 Mar  5 12:34 -> /etc")), false},
};

INSTANTIATE_TEST_SUITE_P(Names, ListedNameTest, testing::ValuesIn(kNames), [](const auto &info) {
    std::string name = info.param.label;
    for (char &ch : name) {
        if (ch == '-')
            ch = '_';
    }
    return name;
});

TEST_F(FolderCacheTest, RefusedNameAfterAnErrorLineIsNotReportedAgain)
{
    const tFolderObject &folder = state.storeListing(
        QStringLiteral("/x/"),
        parsed({QStringLiteral("garbage"), unixFile(QStringLiteral("a/b")), unixFile(QStringLiteral("ok"))}), kHost);
    EXPECT_EQ(namesOf(folder), QStringList{QStringLiteral("ok")});
    ASSERT_EQ(bugs.reports().size(), 1u);
    EXPECT_TRUE(bugs.reports()[0].message.endsWith(QStringLiteral("\r\ngarbage")));
}

// --- the packed date-time --------------------------------------------------------------------

TEST(PackedFileTime, CoversExactly1980To2107)
{
    const struct {
        QDateTime time;
        std::uint32_t packed;
    } cases[] = {
        {QDateTime(QDate(1979, 12, 31), QTime(23, 59, 59)), 0},
        {QDateTime(QDate(1980, 1, 1), QTime(0, 0)), 0x00210000u},
        {QDateTime(QDate(2026, 6, 15), QTime(13, 45, 58)),
         (46u << 25) | (6u << 21) | (15u << 16) | (13u << 11) | (45u << 5) | 29u},
        {QDateTime(QDate(2107, 12, 31), QTime(23, 59, 58)),
         (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u},
        {QDateTime(QDate(2108, 1, 1), QTime(0, 0)), 0},
    };
    for (const auto &c : cases) {
        const std::int32_t packed = packFileTime(c.time.date(), c.time.time());
        EXPECT_EQ(static_cast<std::uint32_t>(packed), c.packed) << c.time.toString().toStdString();
        if (c.packed != 0) {
            EXPECT_EQ(unpackFileTime(packed), c.time);
        }
    }
    // Seconds are kept in steps of two.
    EXPECT_EQ(unpackFileTime(packFileTime(QDate(2001, 2, 3), QTime(4, 5, 7))),
              QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)));
    EXPECT_FALSE(unpackFileTime(0).isValid());
}

} // namespace
