// The synchronisation plan: tree pairs under each rule, with and without deletions.
#include "browser/SyncPlan.h"

#include <QDate>
#include <QTime>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

using Kind = SyncEntry::Kind;

// 1 May 2024 at hh:mm:ss, as a listing's packed time.
std::int32_t at(int h, int m, int s = 0)
{
    return packFileTime(QDate(2024, 5, 1), QTime(h, m, s));
}

SyncEntry entry(Kind kind, const char *name, std::int64_t size = 0, std::int32_t time = 0)
{
    SyncEntry e;
    e.kind = kind;
    e.entry.name = QString::fromUtf8(name);
    e.entry.size = kind == Kind::Folder ? -1 : size;
    e.entry.isFolder = kind == Kind::Folder;
    e.entry.time = time;
    return e;
}
SyncEntry file(const char *name, std::int64_t size, std::int32_t time = 0)
{
    return entry(Kind::File, name, size, time);
}
SyncEntry folder(const char *name)
{
    return entry(Kind::Folder, name);
}
SyncEntry link(const char *name)
{
    return entry(Kind::Link, name, 11);
}

// One line per step and skip: "make docs", "new docs/a.txt 5", "replace a.txt 6",
// "delete b.txt 3", "rmdir old", "skip lnk: links are not followed".
QStringList describe(const SyncPlan &plan)
{
    QStringList lines;
    for (const SyncStep &s : plan.steps) {
        switch (s.action) {
        case SyncAction::MakeFolder:
            lines << QStringLiteral("make ") + s.path;
            break;
        case SyncAction::Transfer:
            lines << (s.replaces ? QStringLiteral("replace ") : QStringLiteral("new ")) + s.path + QLatin1Char(' ') +
                         QString::number(s.entry.size);
            break;
        case SyncAction::DeleteFile:
            lines << QStringLiteral("delete ") + s.path + QLatin1Char(' ') + QString::number(s.entry.size);
            break;
        case SyncAction::DeleteFolder:
            lines << QStringLiteral("rmdir ") + s.path;
            break;
        }
    }
    for (const SyncSkip &k : plan.skipped)
        lines << QStringLiteral("skip ") + k.path + QStringLiteral(": ") + k.reason;
    return lines;
}

// A tree written with plain literals: folder path and its listing.
using Listings = std::vector<std::pair<const char *, std::vector<SyncEntry>>>;

SyncTree toTree(const Listings &listings)
{
    SyncTree tree;
    for (const auto &[folder, entries] : listings)
        tree[QString::fromUtf8(folder)] = entries;
    return tree;
}

struct Case {
    const char *what;
    Listings source;
    Listings target;
    SyncRule rule;
    bool deleteExtra;
    std::vector<const char *> expected;
    SyncDirection direction = SyncDirection::Download;
    std::int64_t offset = 0;
    int depthLimit = 64;
};

// A source tree with one level of files and a two-level folder; the target has some of it.
const Listings kTree{
    {"", {file("a.txt", 5, at(12, 0)), folder("docs"), file("same.txt", 4, at(9, 0))}},
    {"docs/", {file("b.txt", 7), folder("deep")}},
    {"docs/deep/", {file("c.bin", 1)}},
};
// The target: a.txt older and larger, same.txt as the source has it, docs/ present with an
// extra file, and an extra tree old/ and an extra file.
const Listings kTarget{
    {"",
     {file("a.txt", 6, at(11, 0)), folder("docs"), file("same.txt", 4, at(9, 0)), folder("old"), file("zz.log", 3)}},
    {"docs/", {file("extra", 2)}},
    {"old/", {file("x", 4), folder("sub")}},
    {"old/sub/", {file("y", 2)}},
};

std::vector<Case> cases()
{
    using L = std::vector<const char *>;
    return {
        {"into an empty target every folder is made before the transfers",
         kTree,
         {{"", {}}},
         SyncRule::MissingOnly,
         true,
         L{"make docs", "make docs/deep", "new a.txt 5", "new same.txt 4", "new docs/b.txt 7",
           "new docs/deep/c.bin 1"}},
        {"missing only leaves a different a.txt alone", kTree, kTarget, SyncRule::MissingOnly, false,
         L{"make docs/deep", "new docs/b.txt 7", "new docs/deep/c.bin 1"}},
        {"sizes: the larger target a.txt is replaced", kTree, kTarget, SyncRule::MissingOrSize, false,
         L{"make docs/deep", "replace a.txt 5", "new docs/b.txt 7", "new docs/deep/c.bin 1"}},
        {"deletions come last: files, then folders deepest first", kTree, kTarget, SyncRule::MissingOrSize, true,
         L{"make docs/deep", "replace a.txt 5", "new docs/b.txt 7", "new docs/deep/c.bin 1", "delete docs/extra 2",
           "delete old/x 4", "delete old/sub/y 2", "delete zz.log 3", "rmdir old/sub", "rmdir old"}},
        {"newer: a.txt listed an hour later on the server is newer", kTree, kTarget, SyncRule::MissingOrNewer, false,
         L{"make docs/deep", "replace a.txt 5", "new docs/b.txt 7", "new docs/deep/c.bin 1"}},
        {"newer: a server clock an hour ahead makes the same a.txt not newer", kTree, kTarget, SyncRule::MissingOrNewer,
         false, L{"make docs/deep", "new docs/b.txt 7", "new docs/deep/c.bin 1"}, SyncDirection::Download, 3600},
        {"newer, upload: the remote copy listed later but on a clock two hours ahead is older",
         {{"", {file("a.txt", 5, at(12, 0))}}},
         {{"", {file("a.txt", 5, at(13, 0))}}},
         SyncRule::MissingOrNewer,
         false,
         L{"replace a.txt 5"},
         SyncDirection::Upload,
         7200},
        {"newer: times within the tolerance count as equal; unknown times fall back to sizes",
         {{"", {file("close", 5, at(12, 0, 40)), file("untimed", 5), file("untimed2", 5)}}},
         {{"", {file("close", 9, at(12, 0)), file("untimed", 5, at(1, 0)), file("untimed2", 6, at(1, 0))}}},
         SyncRule::MissingOrNewer,
         false,
         L{"replace untimed2 5"}},
        {"size or newer: a different size is copied whatever the times, a newer source too, an older one not",
         {{"",
           {file("smaller", 5, at(9, 0)), file("newer", 5, at(12, 0)), file("older", 5, at(10, 0)),
            file("close", 5, at(12, 0, 50))}}},
         {{"",
           {file("smaller", 9, at(12, 0)), file("newer", 5, at(11, 0)), file("older", 5, at(12, 0)),
            file("close", 5, at(12, 0))}}},
         SyncRule::MissingSizeOrNewer,
         false,
         L{"replace smaller 5", "replace newer 5"}},
        {"size or newer, upload: a fresh remote copy on a clock 5:45 behind is not older than its source",
         {{"", {file("a.txt", 5, at(12, 0))}}},
         {{"", {file("a.txt", 5, at(6, 16))}}},
         SyncRule::MissingSizeOrNewer,
         false,
         L{},
         SyncDirection::Upload,
         -(5 * 3600 + 45 * 60)},
        {"links are skipped on the source side, deleted themselves on the target side",
         {{"", {link("lnk"), file("x", 1), folder("d")}}, {"d/", {}}},
         {{"", {link("x"), link("gone"), link("lnk")}}},
         SyncRule::MissingOrSize,
         true,
         L{"make d", "delete gone 11", "skip lnk: links are not followed",
           "skip x: the target side has a link of this name"}},
        {"names differing only in letter case are different entries",
         {{"", {file("Readme", 3), folder("Docs")}}, {"Docs/", {}}},
         {{"", {file("README", 3), folder("docs")}}, {"docs/", {file("f", 1)}}},
         SyncRule::MissingOrSize,
         true,
         L{"make Docs", "new Readme 3", "delete README 3", "delete docs/f 1", "rmdir docs"}},
        {"names that cannot be file names are skipped on both sides",
         {{"", {file("a*b", 1), file("..", 1), file("tab\tname", 1), file("", 1), file("ok", 1)}}},
         {{"", {file("back\\slash", 1)}}},
         SyncRule::MissingOnly,
         true,
         L{"new ok 1", "skip a*b: the name cannot be a file name here", "skip ..: the name cannot be a file name here",
           "skip tab\tname: the name cannot be a file name here", "skip : the name cannot be a file name here",
           "skip back\\slash: the name cannot be a file name here"}},
        {"a file where the other side has a folder is neither replaced nor deleted",
         {{"", {file("k", 1), folder("f")}}, {"f/", {}}},
         {{"", {folder("k"), file("f", 2)}}, {"k/", {}}},
         SyncRule::MissingOrSize,
         true,
         L{"skip k: the target side has a folder of this name", "skip f: the target side has a file of this name"}},
        {"folders not listed are neither compared nor deleted",
         {{"", {folder("docs"), folder("new")}}},
         {{"", {folder("docs"), folder("old")}}},
         SyncRule::MissingOrSize,
         true,
         L{"make new", "skip docs/: its contents are not listed", "skip new/: its contents are not listed",
           "skip old/: not deleted: its contents are not all listed"}},
        {"the target side's folder not listed",
         {{"", {folder("docs")}}, {"docs/", {file("a", 1)}}},
         {{"", {folder("docs")}}},
         SyncRule::MissingOnly,
         false,
         L{"skip docs/: its contents are not listed on the target side"}},
        {"the depth limit stops folders below it",
         kTree,
         {{"", {}}},
         SyncRule::MissingOnly,
         false,
         L{"make docs", "new a.txt 5", "new same.txt 4", "new docs/b.txt 7",
           "skip docs/deep/: it lies more than 1 levels deep"},
         SyncDirection::Download,
         0,
         1},
        {"the same name twice in a source listing: the first stands",
         {{"", {file("d", 1), file("d", 2)}}},
         {{"", {}}},
         SyncRule::MissingOnly,
         false,
         L{"new d 1", "skip d: another entry of this folder has the same name"}},
    };
}

TEST(SyncPlan, TreePairsUnderEachRule)
{
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.what);
        SyncOptions o;
        o.direction = c.direction;
        o.rule = c.rule;
        o.deleteExtra = c.deleteExtra;
        o.serverOffsetSecs = c.offset;
        o.depthLimit = c.depthLimit;
        QStringList expected;
        for (const char *line : c.expected)
            expected << QString::fromUtf8(line);
        EXPECT_EQ(describe(planSync(toTree(c.source), toTree(c.target), o)).join(QLatin1Char('\n')).toStdString(),
                  expected.join(QLatin1Char('\n')).toStdString());
    }
}

TEST(SyncPlan, CountsAndBytesPerAction)
{
    SyncOptions o;
    o.rule = SyncRule::MissingOrSize;
    o.deleteExtra = true;
    const SyncPlan plan = planSync(toTree(kTree), toTree(kTarget), o);
    EXPECT_EQ(plan.count(SyncAction::MakeFolder), 1);
    EXPECT_EQ(plan.count(SyncAction::Transfer), 3);
    EXPECT_EQ(plan.bytes(SyncAction::Transfer), 5 + 7 + 1);
    EXPECT_EQ(plan.count(SyncAction::DeleteFile), 4);
    EXPECT_EQ(plan.bytes(SyncAction::DeleteFile), 4 + 2 + 3 + 2);
    EXPECT_EQ(plan.deletions(), 6);
    EXPECT_EQ(plan.unchanged, 1); // same.txt

    // Once the target holds what the source holds, nothing is planned.
    EXPECT_TRUE(planSync(toTree(kTree), toTree(kTree), o).steps.empty());
}

TEST(SyncPlan, ListedRemoteEntriesAndFoldersStillToList)
{
    tFtpFolderEntryObject l;
    l.name = QStringLiteral("up");
    l.isFolder = true;
    l.isLink = true;
    const SyncEntry e = syncEntryOf(l);
    EXPECT_EQ(e.kind, Kind::Link);
    EXPECT_FALSE(e.entry.isFolder);

    const SyncTree tree = toTree({{"", {folder("a"), link("l"), folder("b"), folder("bad*")}},
                                  {"a/", {folder("x"), folder("y")}},
                                  {"a/x/", {}}});
    EXPECT_EQ(unlistedFolders(tree, 64), (QStringList{QStringLiteral("b/"), QStringLiteral("a/y/")}));
    EXPECT_EQ(unlistedFolders(tree, 1), QStringList{QStringLiteral("b/")});
}

} // namespace

// The offset between a server's listed times and local time, from a listed time and the
// MDTM time of the same file.
TEST(SyncPlan, ServerTimeOffsetFromAListedTimeAndItsMdtm)
{
    const QTimeZone utc = QTimeZone::utc();
    const QTimeZone kathmandu("Asia/Kathmandu"); // +05:45 all year
    const QTimeZone newYork("America/New_York"); // -05:00 in January, -04:00 in July
    ASSERT_TRUE(kathmandu.isValid() && newYork.isValid());
    const auto mdtm = [](int month, int day, int h, int m, int s) {
        return QDateTime(QDate(2024, month, day), QTime(h, m, s), QTimeZone::utc());
    };
    const auto listed = [](int month, int day, int h, int m) {
        return packFileTime(QDate(2024, month, day), QTime(h, m));
    };
    struct Case {
        const char *what;
        std::int32_t listed;
        QDateTime mdtm;
        QTimeZone zone;
        std::optional<std::int64_t> offset;
    };
    const Case cases[] = {
        {"a server listing in UTC, seen from UTC", listed(1, 10, 14, 3), mdtm(1, 10, 14, 3, 59), utc, 0},
        {"a UTC listing seen from +05:45: the server runs 5:45 behind", listed(1, 10, 14, 3), mdtm(1, 10, 14, 3, 59),
         kathmandu, -(5 * 3600 + 45 * 60)},
        {"the seconds a listing leaves out do not move the offset across a minute", listed(1, 10, 23, 59),
         mdtm(1, 10, 23, 59, 58), kathmandu, -(5 * 3600 + 45 * 60)},
        {"across midnight and the year's end", listed(1, 1, 2, 0), mdtm(1, 1, 2, 0, 1), newYork, 5 * 3600},
        {"summer time of the local zone", listed(7, 1, 12, 0), mdtm(7, 1, 12, 0, 0), newYork, 4 * 3600},
        {"a server listing in its own zone +02:00, seen from UTC", listed(7, 1, 14, 0), mdtm(7, 1, 12, 0, 30), utc,
         2 * 3600},
        {"a listing rounded up to the next minute still gives the zone", listed(1, 10, 14, 4), mdtm(1, 10, 14, 3, 40),
         utc, 0},
        {"a date-only listing (an old file) tells nothing", listed(1, 10, 0, 0), mdtm(1, 10, 14, 3, 0), utc,
         std::nullopt},
        {"more than a day apart is not a time zone", listed(1, 12, 14, 3), mdtm(1, 10, 14, 3, 0), utc, std::nullopt},
        {"no MDTM time", listed(1, 10, 14, 3), QDateTime(), utc, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(serverTimeOffset(c.listed, c.mdtm, c.zone), c.offset);
    }
}
