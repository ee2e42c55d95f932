// Compare folders, the permission code and the local file changes of the file lists.
#include "browser/CompareFolders.h"
#include "browser/LocalFileOps.h"
#include "browser/PermissionCode.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct Item {
    const char *name;
    std::int64_t size;
    bool folder = false;
};

tLocalEntryList localList(std::initializer_list<Item> items)
{
    tLocalEntryList list;
    for (const Item &i : items) {
        tFolderEntryObject e;
        e.name = QString::fromUtf8(i.name);
        e.size = i.folder ? -1 : i.size;
        e.isFolder = i.folder;
        list.push_back({e.name, e});
    }
    return list;
}

tRemoteEntryList remoteList(std::initializer_list<Item> items)
{
    tRemoteEntryList list;
    for (const Item &i : items) {
        tFtpFolderEntryObject e;
        e.name = QString::fromUtf8(i.name);
        e.size = i.size;
        e.isFolder = i.folder;
        list.push_back({e.name, e});
    }
    return list;
}

TEST(CompareFolders, MarksWhatIsMissingOfTheOtherKindOrOfAnotherSize)
{
    const tLocalEntryList local =
        localList({{"a.txt", 100}, {"b.txt", 5}, {"both", 0, true}, {"A.TXT", 7}, {"kind", 3}, {"onlyhere", 0, true}});
    const tRemoteEntryList remote =
        remoteList({{"a.txt", 120}, {"c.txt", 1}, {"both", 4096, true}, {"kind", 4096, true}, {"a.txt", 100}});
    // A.TXT has no twin: letter case counts. "kind" is a file here and a folder there. The
    // remote duplicate a.txt is judged against the one local a.txt.
    const FolderDifferences ignored = compareFolders(local, remote, true);
    EXPECT_EQ(ignored.local, (std::vector<int>{1, 3, 4, 5}));
    EXPECT_EQ(ignored.remote, (std::vector<int>{1, 3}));
    const FolderDifferences sized = compareFolders(local, remote, false);
    EXPECT_EQ(sized.local, (std::vector<int>{0, 1, 3, 4, 5}));
    EXPECT_EQ(sized.remote, (std::vector<int>{0, 1, 3}));
}

struct CodeCase {
    const char *text;
    const char *boxes; // the nine boxes, "rwxrwxrwx" order, '1' checked
    bool valid;
};

class PermissionCodes : public ::testing::TestWithParam<CodeCase> {};

TEST_P(PermissionCodes, DecodeIntoBoxesAndBack)
{
    const CodeCase &c = GetParam();
    const DecodedPermissionCode d = decodePermissionCode(QString::fromUtf8(c.text));
    QString boxes;
    for (bool b : d.boxes)
        boxes += b ? u'1' : u'0';
    EXPECT_EQ(boxes, QString::fromUtf8(c.boxes));
    EXPECT_EQ(d.valid, c.valid);
    if (c.valid && c.text[0] != '0') {
        EXPECT_EQ(permissionCodeText(d.boxes), QString::fromUtf8(c.text));
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, PermissionCodes,
                         ::testing::Values(CodeCase{"644", "110100100", true}, CodeCase{"0644", "110100100", true},
                                           CodeCase{"755", "111101101", true}, CodeCase{"777", "111111111", true},
                                           CodeCase{"1", "000000001", true}, CodeCase{"800", "000000000", false},
                                           CodeCase{"abc", "000000000", false}, CodeCase{"", "000000000", false},
                                           CodeCase{"680", "110000000", false}, CodeCase{"+644", "000000000", false},
                                           CodeCase{" 644", "000000000", false}, CodeCase{"-1", "000000000", false}));

TEST(PermissionCodes, OpeningCodeNeverDefaultsTo000)
{
    EXPECT_EQ(initialPermissionCode(-1), QStringLiteral("755"));
    EXPECT_EQ(initialPermissionCode(640), QStringLiteral("640"));
    EXPECT_EQ(initialPermissionCode(0), QString());
    EXPECT_FALSE(decodePermissionCode(initialPermissionCode(0)).valid);
}

TEST(LocalFileOps, RenameNeverReplacesAFileOrFolder)
{
    QTemporaryDir dir;
    const QString d = dir.path() + QLatin1Char('/');
    makeFile(d + QStringLiteral("a"), "A");
    makeFile(d + QStringLiteral("b"), "B");
    QDir().mkdir(d + QStringLiteral("folder"));
    EXPECT_EQ(renameNoReplace(d + QStringLiteral("a"), d + QStringLiteral("b")), LocalRenameResult::TargetExists);
    EXPECT_EQ(renameNoReplace(d + QStringLiteral("a"), d + QStringLiteral("folder")), LocalRenameResult::TargetExists);
    EXPECT_EQ(renameNoReplace(d + QStringLiteral("missing"), d + QStringLiteral("c")), LocalRenameResult::Failed);
    EXPECT_EQ(readAll(d + QStringLiteral("a")), "A");
    EXPECT_EQ(readAll(d + QStringLiteral("b")), "B");
    EXPECT_EQ(renameNoReplace(d + QStringLiteral("a"), d + QStringLiteral("A")), LocalRenameResult::Renamed);
    EXPECT_EQ(readAll(d + QStringLiteral("A")), "A");
}

TEST(LocalFileOps, RemovingATreeRemovesLinksNotTheirTargetsAndEndsOnLoops)
{
    QTemporaryDir dir;
    const QString d = dir.path() + QLatin1Char('/');
    makeFile(d + QStringLiteral("outside/keep.txt"), "keep");
    makeFile(d + QStringLiteral("tree/sub/x.txt"), "x");
    ASSERT_TRUE(QFile::link(d + QStringLiteral("outside"), d + QStringLiteral("tree/sub/toOutside")));
    ASSERT_TRUE(QFile::link(d + QStringLiteral("tree"), d + QStringLiteral("tree/sub/loop")));
    ASSERT_TRUE(QFile::link(d + QStringLiteral("outside/keep.txt"), d + QStringLiteral("fileLink")));
    EXPECT_TRUE(removeLocalTree(d + QStringLiteral("tree/")).isEmpty());
    EXPECT_TRUE(removeLocalTree(d + QStringLiteral("fileLink")).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(d + QStringLiteral("tree")));
    EXPECT_FALSE(QFileInfo(d + QStringLiteral("fileLink")).isSymLink());
    EXPECT_EQ(readAll(d + QStringLiteral("outside/keep.txt")), "keep");
}

} // namespace
