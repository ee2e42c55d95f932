#include "browser/LocalFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include <unistd.h>

namespace {

std::string testName(const char *label)
{
    std::string name = label;
    for (char &ch : name) {
        if (ch == '-')
            ch = '_';
    }
    return name;
}

// --- wildcards --------------------------------------------------------------------------------

struct WildcardCase {
    const char *pattern;
    const char *text;
    bool matches;
};

class WildcardMatchTest : public testing::TestWithParam<WildcardCase> {};

TEST_P(WildcardMatchTest, Matches)
{
    const WildcardCase &c = GetParam();
    EXPECT_EQ(wildcardMatch(QString::fromLatin1(c.text), QString::fromLatin1(c.pattern)), c.matches)
        << '"' << c.pattern << "\" against \"" << c.text << '"';
}

const WildcardCase kWildcards[] = {
    {"a*.htm", "aftp.htm", true},
    {"a*.htm", "a.htm", true},
    {"a*.htm", "a.html", false},
    {"a?c", "abc", true},
    {"a?c", "ac", false},
    {"*.*", "readme", false},
    {"*.*", "readme.txt", true},
    {"*", "", true},
    {"*", "anything at all", true},
    {"", "", true},
    {"", "a", false},
    {"*.*htm*", "index.html", true},
    {"*.php", "page.php", true},
    {"*.*htm*", "image.gif", false},
    {"*.php", "image.gif", false},
    {"*.txt", "notes.txt.txt", true}, // the backtrack point moves on to the last ".txt"
    {"*ab", "aab", true},
    {"*.TXT", "notes.txt", false},
    {"abc", "ab", false},
    {"ab", "abc", false},
};

INSTANTIATE_TEST_SUITE_P(Patterns, WildcardMatchTest, testing::ValuesIn(kWildcards));

// --- size texts -------------------------------------------------------------------------------

struct SizeCase {
    std::int64_t bytes;
    const char *kilobytes;
    const char *bytesText;
};

class SizeTextTest : public testing::TestWithParam<SizeCase> {};

TEST_P(SizeTextTest, UsesDotAsThousandsMark)
{
    const SizeCase &c = GetParam();
    EXPECT_EQ(formatKilobytes(c.bytes), QString::fromLatin1(c.kilobytes) + QStringLiteral("KB"));
    EXPECT_EQ(formatKilobytes(c.bytes, true), QString::fromLatin1(c.kilobytes));
    EXPECT_EQ(formatBytes(c.bytes), QString::fromLatin1(c.bytesText));
}

const SizeCase kSizes[] = {
    {0, "0", "0"},
    {1, "1", "1"},
    {100, "1", "100"},
    {1000, "1", "1.000"},
    {1023, "1", "1.023"},
    {1536, "1", "1.536"},
    {1048576, "1.024", "1.048.576"},
    {1234567, "1.205", "1.234.567"},
    {5368709120, "5.242.880", "5.368.709.120"},
    {9223372036854775807, "9.007.199.254.740.991", "9.223.372.036.854.775.807"},
};

INSTANTIATE_TEST_SUITE_P(Sizes, SizeTextTest, testing::ValuesIn(kSizes));

// --- text helpers -----------------------------------------------------------------------------

struct SplitCase {
    const char *label;
    const char *text;
    bool skipEmpty;
    QStringList fields;
};

class SplitTextTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitTextTest, AppendsFields)
{
    const SplitCase &c = GetParam();
    QStringList target{QStringLiteral("kept")};
    splitText(QString::fromLatin1(c.text), u'*', target, c.skipEmpty);
    EXPECT_EQ(target, QStringList{QStringLiteral("kept")} + c.fields);
}

const SplitCase kSplits[] = {
    {"queue-command", "list*/pub/", false, {QStringLiteral("list"), QStringLiteral("/pub/")}},
    {"empty-middle-kept", "a**b", false, {QStringLiteral("a"), QString(), QStringLiteral("b")}},
    {"empty-middle-skipped", "a**b", true, {QStringLiteral("a"), QStringLiteral("b")}},
    {"empty-text-is-one-field", "", false, {QString()}},
    {"empty-text-skipped", "", true, {}},
    {"separators-at-both-ends", "*a*", false, {QString(), QStringLiteral("a"), QString()}},
    {"no-separator", "whole", true, {QStringLiteral("whole")}},
};

INSTANTIATE_TEST_SUITE_P(Splits, SplitTextTest, testing::ValuesIn(kSplits),
                         [](const auto &info) { return testName(info.param.label); });

TEST(TextHelpers, FindTextPadLeftRepeatChar)
{
    EXPECT_EQ(findText(QStringLiteral("Hello World"), QStringLiteral("WORLD")), 7);
    EXPECT_EQ(findText(QStringLiteral("abcabc"), QStringLiteral("ABC"), 2), 4);
    EXPECT_EQ(findText(QStringLiteral("abcabc"), QStringLiteral("abc"), 5), 0);
    EXPECT_EQ(findText(QStringLiteral("abc"), QStringLiteral("x")), 0);
    EXPECT_EQ(findText(QStringLiteral("abc"), QString()), 0);
    EXPECT_EQ(findText(QStringLiteral("abc"), QStringLiteral("a"), 0), 1);

    EXPECT_EQ(padLeft(QStringLiteral("7"), 3, u'0'), QStringLiteral("007"));
    EXPECT_EQ(padLeft(QStringLiteral("1234"), 3, u'0'), QStringLiteral("1234"));
    EXPECT_EQ(repeatChar(u'-', 4), QStringLiteral("----"));
    EXPECT_EQ(repeatChar(u'-', 0), QString());
    EXPECT_EQ(repeatChar(u'-', -3), QString());
}

// --- local files ------------------------------------------------------------------------------

// A small tree in a temporary folder:
//   a.txt  .hidden  sub/  sub/inner.txt  sub/deeper/  sub/deeper/x.bin  sub/up -> ..  empty/
class LocalTreeTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        root = m_dir.path() + u'/';
        ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("sub/deeper")));
        ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("empty")));
        write(QStringLiteral("a.txt"), "abc");
        write(QStringLiteral(".hidden"), "h");
        write(QStringLiteral("sub/inner.txt"), "inner");
        write(QStringLiteral("sub/deeper/x.bin"), "0123456789");
        ASSERT_EQ(symlink("..", QFile::encodeName(root + QStringLiteral("sub/up")).constData()), 0);
    }

    void write(const QString &relative, const char *content)
    {
        QFile file(root + relative);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QString root;

private:
    QTemporaryDir m_dir;
};

QStringList relativeTo(const QString &root, const QStringList &paths)
{
    QStringList result;
    for (const QString &path : paths) {
        EXPECT_TRUE(path.startsWith(root)) << path.toStdString();
        result << path.mid(root.size());
    }
    return result;
}

TEST_F(LocalTreeTest, RecursiveScanListsEachFolderRightBeforeItsContents)
{
    QStringList paths;
    scanFolder(root.chopped(1), paths, true, QStringLiteral("*.*")); // the missing "/" is added
    const QStringList found = relativeTo(root, paths);

    QStringList expected{QStringLiteral("a.txt"),       QStringLiteral(".hidden"),
                         QStringLiteral("sub/"),        QStringLiteral("sub/inner.txt"),
                         QStringLiteral("sub/deeper/"), QStringLiteral("sub/deeper/x.bin"),
                         QStringLiteral("sub/up/"),     QStringLiteral("empty/")};
    EXPECT_EQ(QStringList(found).size(), expected.size());
    QStringList sortedFound = found, sortedExpected = expected;
    sortedFound.sort();
    sortedExpected.sort();
    EXPECT_EQ(sortedFound, sortedExpected);

    // Pre-order: everything below a folder follows it directly, as one block.
    for (qsizetype i = 0; i < found.size(); ++i) {
        if (!found[i].endsWith(u'/'))
            continue;
        qsizetype end = i + 1;
        while (end < found.size() && found[end].startsWith(found[i]))
            ++end;
        for (qsizetype j = end; j < found.size(); ++j)
            EXPECT_FALSE(found[j].startsWith(found[i]))
                << found[j].toStdString() << " after the block of " << found[i].toStdString();
    }
}

TEST_F(LocalTreeTest, EntriesCarrySizesTimesAndPermissions)
{
    const QDateTime stamp(QDate(2021, 3, 4), QTime(5, 6, 8));
    setLocalFileTimes(root + QStringLiteral("a.txt"), stamp);
    QFile::setPermissions(root + QStringLiteral("a.txt"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);

    tLocalEntryList entries;
    scanFolder(root, entries, false, QStringLiteral("*.*"));

    std::map<QString, const tFolderEntryObject *> byPath;
    for (const auto &item : entries)
        byPath[item.name.mid(root.size())] = &item.entry;
    ASSERT_EQ(byPath.size(), 4u); // not recursive: a.txt, .hidden, sub/, empty/
    const tFolderEntryObject &file = *byPath.at(QStringLiteral("a.txt"));
    EXPECT_EQ(file.name, QStringLiteral("a.txt"));
    EXPECT_FALSE(file.isFolder);
    EXPECT_EQ(file.size, 3);
    EXPECT_EQ(file.attr, 640);
    EXPECT_EQ(unpackFileTime(file.time), stamp);
    const tFolderEntryObject &folder = *byPath.at(QStringLiteral("sub/"));
    EXPECT_EQ(folder.name, QStringLiteral("sub"));
    EXPECT_TRUE(folder.isFolder);
    EXPECT_EQ(folder.size, -1);
    EXPECT_NE(folder.time, 0);
}

TEST_F(LocalTreeTest, MaskSelectsItemsButRecursionStillDescends)
{
    QStringList paths;
    scanFolder(root, paths, true, QStringLiteral("*.txt"));
    paths = relativeTo(root, paths);
    paths.sort();
    EXPECT_EQ(paths, (QStringList{QStringLiteral("a.txt"), QStringLiteral("sub/inner.txt")}));
}

TEST_F(LocalTreeTest, MissingOrUnusableFolderAddsNothing)
{
    for (const QString &folder : QStringList{root + QStringLiteral("missing"), root + QStringLiteral("a.txt")}) {
        QStringList paths{QStringLiteral("kept")};
        scanFolder(folder, paths, true, QStringLiteral("*.*"));
        EXPECT_EQ(paths, QStringList{QStringLiteral("kept")}) << folder.toStdString();
    }
}

TEST_F(LocalTreeTest, UnreadableFolderAddsNothing)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every folder";
    const QString locked = root + QStringLiteral("sub");
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::Permissions()));
    tLocalEntryList entries;
    scanFolder(locked, entries, true, QStringLiteral("*.*"));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(entries.empty());
}

TEST_F(LocalTreeTest, LocalFileSizeIsMinusOneUnlessAReadableFile)
{
    EXPECT_EQ(localFileSize(root + QStringLiteral("sub/deeper/x.bin")), 10);
    EXPECT_EQ(localFileSize(root + QStringLiteral("missing")), -1);
    EXPECT_EQ(localFileSize(root + QStringLiteral("sub")), -1);

    // Sizes past 4 GiB are ordinary; a sparse file costs no disk space.
    const QString big = root + QStringLiteral("big.img");
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(5'000'000'000LL));
    file.close();
    EXPECT_EQ(localFileSize(big), 5'000'000'000LL);
}

TEST_F(LocalTreeTest, SetLocalFileTimesStampsFileAndIgnoresWhatItCannotOpen)
{
    const QDateTime stamp(QDate(1999, 12, 31), QTime(23, 59, 30));
    setLocalFileTimes(root + QStringLiteral("sub/inner.txt"), stamp);
    const QFileInfo info(root + QStringLiteral("sub/inner.txt"));
    EXPECT_EQ(info.lastModified(), stamp);
    EXPECT_EQ(info.lastRead(), stamp);

    setLocalFileTimes(root + QStringLiteral("missing"), stamp);
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("missing")));
    const QDateTime before = QFileInfo(root + QStringLiteral("sub")).lastModified();
    setLocalFileTimes(root + QStringLiteral("sub"), stamp); // a folder cannot be opened for writing
    EXPECT_EQ(QFileInfo(root + QStringLiteral("sub")).lastModified(), before);
}

} // namespace
