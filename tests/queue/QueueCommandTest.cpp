#include "queue/QueueCommand.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string caseName(const char *label)
{
    std::string name = label;
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

tFolderEntryObject entryNamed(const char *name, std::int64_t size = 0)
{
    tFolderEntryObject e;
    e.name = u8(name);
    e.size = size;
    return e;
}

// --- the verb table ---------------------------------------------------------------------

struct VerbCase {
    const char *label;
    const char *command;
    const char *entryName; // null: no entry
    QueueVerb verb;
    std::int32_t kind;
    QueueIconChoice icon;
    const char *action;
    const char *detail0; // null: no detail lines
    const char *detail1;
};

class QueueVerbTest : public testing::TestWithParam<VerbCase> {};

TEST_P(QueueVerbTest, GivesKindIconActionAndDetailLines)
{
    const VerbCase &c = GetParam();
    const tFolderEntryObject entry = entryNamed(c.entryName ? c.entryName : "");
    const tFolderEntryObject *given = c.entryName ? &entry : nullptr;
    const ParsedQueueCommand parsed = parseQueueCommand(u8(c.command), given);

    ASSERT_TRUE(parsed.ok()) << parsed.error.toStdString();
    EXPECT_TRUE(parsed.unknownMessage.isEmpty());
    EXPECT_EQ(parsed.verb, c.verb);
    EXPECT_EQ(parsed.info().kind, c.kind);
    EXPECT_EQ(parsed.info().icon, c.icon);
    EXPECT_EQ(queueActionText(parsed, given), u8(c.action));
    const int lines = queueDetailLineCount(parsed.verb);
    ASSERT_EQ(lines, c.detail0 ? 2 : 0);
    if (c.detail0) {
        EXPECT_EQ(queueDetailLine(parsed, 0), u8(c.detail0));
        EXPECT_EQ(queueDetailLine(parsed, 1), u8(c.detail1));
    }
}

using I = QueueIconChoice;
const VerbCase kVerbs[] = {
    {"getfile-upper-case", "GETFILE*/a/b.txt*/home/me/x/b.txt", "b.txt", QueueVerb::GetFile, 1, I::EntryName,
     "Receive File: \"b.txt\"", "Receive To: \"/home/me/x/\"", "Receive From: \"/a/\""},
    {"putfile-mixed-case", "putFile*/home/me/c.php*/www/c.php", "c.php", QueueVerb::PutFile, 9, I::EntryName,
     "Send File: \"c.php\"", "Send To: \"/www/\"", "Send From: \"/home/me/\""},
    {"putfile-to-server-root", "putfile*/tmp/r*/r", "r", QueueVerb::PutFile, 9, I::EntryName, "Send File: \"r\"",
     "Send To: \"/\"", "Send From: \"/tmp/\""},
    {"getfile-backslash-is-part-of-a-name", "getfile*/a\\b/c*/l/a\\b", "c", QueueVerb::GetFile, 1, I::EntryName,
     "Receive File: \"c\"", "Receive To: \"/l/\"", "Receive From: \"/a\\b/\""},
    {"getfolder", "getFolder*/pub/docs*/home/me/docs", "docs", QueueVerb::GetFolder, 32, I::Folder,
     "Download folder docs   ->   /home/me/docs", nullptr, nullptr},
    {"putfolder", "putFolder*/home/me/site*/www/site", "site", QueueVerb::PutFolder, 31, I::Folder,
     "Upload folder site   ->   /www/site", nullptr, nullptr},
    {"list-normalises-for-display", "list*pub", nullptr, QueueVerb::List, 30, I::Folder, "List folder /pub/", nullptr,
     nullptr},
    {"list-backslashes-and-refresh", "list*\\pub\\*@refresh", nullptr, QueueVerb::List, 30, I::Folder,
     "List folder /pub/", nullptr, nullptr},
    {"list-empty-folder", "list*", nullptr, QueueVerb::List, 30, I::Folder, "List folder ", nullptr, nullptr},
    {"makefolder-ignoreerror", "makefolder*/www/new*@ignoreerror", nullptr, QueueVerb::MakeFolder, 8, I::Folder,
     "Make folder /www/new", nullptr, nullptr},
    {"deletefile", "deletefile*/www/old.txt", "old.txt", QueueVerb::DeleteFile, 29, I::FirstField,
     "Delete file /www/old.txt", nullptr, nullptr},
    {"deletefile-empty-path", "deletefile*", "x", QueueVerb::DeleteFile, 29, I::FirstField, "Delete file ", nullptr,
     nullptr},
    {"deletefolder-folderempty", "deletefolder*/www/old*@FolderEmpty", nullptr, QueueVerb::DeleteFolder, 28, I::Folder,
     "Delete folder /www/old", nullptr, nullptr},
    {"renamefile", "renamefile*/a/x.txt*/a/y.txt", "x.txt", QueueVerb::RenameFile, 34, I::EntryName,
     "Rename file /a/x.txt   ->   /a/y.txt", nullptr, nullptr},
    {"renamefolder", "renamefolder*/a/d*/a/e*@ignoreerror", "d", QueueVerb::RenameFolder, 36, I::EntryName,
     "Rename folder /a/d   ->   /a/e", nullptr, nullptr},
    {"chmodfile", "chmodfile*/www/run.cgi*755", nullptr, QueueVerb::ChmodFile, 17, I::FirstField,
     "Change permission for file /www/run.cgi to 755", nullptr, nullptr},
    {"chmodfolder", "chmodfolder*/www/cgi*711", nullptr, QueueVerb::ChmodFolder, 7, I::Folder,
     "Change permission for folder /www/cgi to 711", nullptr, nullptr},
    {"openfile", "openfile*/pub/readme*/tmp/readme", "readme", QueueVerb::OpenFile, 16, I::EntryName,
     "Open file /pub/readme", nullptr, nullptr},
    {"editfile", "editfile*/www/index.html*/tmp/index.html", "index.html", QueueVerb::EditFile, 37, I::EntryName,
     "Edit file /www/index.html", nullptr, nullptr},
    {"stopqueue", "StopQueue", nullptr, QueueVerb::StopQueue, 5, I::StopMark,
     "Stop transfer queue here (drag to move stop point)", nullptr, nullptr},
    {"flag-accepted-on-other-verb", "chmodfile*/f*644*@refresh", nullptr, QueueVerb::ChmodFile, 17, I::FirstField,
     "Change permission for file /f to 644", nullptr, nullptr},
    {"names-travel-unchanged", "getfile*/pub/Grüße  .txt*/home/me/Grüße  .txt", "Grüße  .txt", QueueVerb::GetFile, 1,
     I::EntryName, "Receive File: \"Grüße  .txt\"", "Receive To: \"/home/me/\"", "Receive From: \"/pub/\""},
};
INSTANTIATE_TEST_SUITE_P(Verbs, QueueVerbTest, testing::ValuesIn(kVerbs),
                         [](const auto &info) { return caseName(info.param.label); });

TEST(QueueCommand, UnknownVerbIsQueuedWithItsMessage)
{
    const ParsedQueueCommand parsed = parseQueueCommand(u8("frobnicate*x"), nullptr);
    EXPECT_TRUE(parsed.ok());
    EXPECT_EQ(parsed.verb, QueueVerb::Unknown);
    EXPECT_EQ(parsed.info().kind, 0);
    EXPECT_EQ(parsed.unknownMessage, u8("Unknown queue entry: frobnicate*x"));
    EXPECT_EQ(queueActionText(parsed, nullptr), QString());
}

// --- splitting, flags, folder parts --------------------------------------------------------

TEST(QueueCommand, SplitKeepsEmptyFieldsAndJoinRestores)
{
    const struct {
        const char *command;
        QStringList fields;
    } cases[] = {
        {"deletefile*", {u8("deletefile"), QString()}},
        {"a**b", {u8("a"), QString(), u8("b")}},
        {"", {QString()}},
        {"*", {QString(), QString()}},
        {"list*/pub/", {u8("list"), u8("/pub/")}},
        {"stopqueue", {u8("stopqueue")}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(splitCommand(u8(c.command)), c.fields) << c.command;
        EXPECT_EQ(joinCommand(c.fields), u8(c.command));
    }
}

TEST(QueueCommand, FlagsAreWholeFieldsInAnyLetterCase)
{
    const QStringList fields = splitCommand(u8("list*/p*@REFRESH*@ignoreerrors*x@folderempty"));
    EXPECT_TRUE(hasFlag(fields, QueueFlag::Refresh));
    EXPECT_FALSE(hasFlag(fields, QueueFlag::IgnoreError));
    EXPECT_FALSE(hasFlag(fields, QueueFlag::FolderEmpty));
    EXPECT_EQ(flagText(QueueFlag::FolderEmpty), u8("@folderempty"));
    // The folder field itself may equal a flag: it counts, as in any other field.
    EXPECT_TRUE(parseQueueCommand(u8("deletefolder*@folderempty"), nullptr).has(QueueFlag::FolderEmpty));
}

TEST(QueueCommand, FolderPartEndsAtTheLastSlash)
{
    EXPECT_EQ(folderPart(u8("/a/b.txt")), u8("/a/"));
    EXPECT_EQ(folderPart(u8("/a/b/")), u8("/a/b/"));
    EXPECT_EQ(folderPart(u8("/")), u8("/"));
    EXPECT_EQ(folderPart(u8("b.txt")), QString());
    EXPECT_EQ(folderPart(u8("dir\\b.txt")), QString());
    EXPECT_EQ(folderPart(QString()), QString());
}

TEST(QueueCommand, ListFolderIsNormalised)
{
    EXPECT_EQ(parseQueueCommand(u8("list*pub"), nullptr).normalizedFolder(), u8("/pub/"));
    EXPECT_EQ(parseQueueCommand(u8("list*/pub"), nullptr).normalizedFolder(), u8("/pub/"));
    EXPECT_EQ(parseQueueCommand(u8("list*\\pub\\"), nullptr).normalizedFolder(), u8("/pub/"));
    EXPECT_EQ(parseQueueCommand(u8("list*"), nullptr).normalizedFolder(), QString());
}

// --- refusals ------------------------------------------------------------------------------

struct RefusalCase {
    const char *label;
    QString command;
    const char *entryName; // null: no entry
    QString named;         // the text the message must quote
};

class QueueRefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(QueueRefusalTest, RefusesNamingTheFile)
{
    const RefusalCase &c = GetParam();
    tFolderEntryObject entry;
    if (c.entryName)
        entry.name = u8(c.entryName);
    const ParsedQueueCommand parsed = parseQueueCommand(c.command, c.entryName ? &entry : nullptr);
    ASSERT_FALSE(parsed.ok());
    const QString expected = u8("Cannot queue \"") + c.named + u8("\":");
    EXPECT_TRUE(parsed.error.startsWith(expected)) << parsed.error.toStdString();
}

const RefusalCase kRefusals[] = {
    {"star-in-a-remote-name", u8("getfile*/pub/a*b.txt*/home/me/a*b.txt"), "a*b.txt", u8("a*b.txt")},
    {"star-split-without-entry-name", u8("getfile*/pub/a*b.txt*/home/me/a*b.txt"), "ab.txt",
     u8("getfile*/pub/a*b.txt*/home/me/a*b.txt")},
    {"star-in-a-rename-target", u8("renamefile*/a/x*/a/y*z"), "x", u8("renamefile*/a/x*/a/y*z")},
    {"line-feed-in-a-path", u8("putfile*/home/me/a\nb*/www/a\nb"), "a\nb", u8("/home/me/a\\nb")},
    {"carriage-return-in-list", u8("list*/pub/x\r"), nullptr, u8("/pub/x\\r")},
    {"nul-in-a-path", QString(u8("deletefile*/a") + QChar(0) + u8("b")), "a", u8("/a\\0b")},
    {"line-break-in-unknown-verb", u8("frob*a\nb"), nullptr, u8("a\\nb")},
    {"getfile-without-entry", u8("getfile*/pub/a.txt*/home/me/a.txt"), nullptr, u8("/pub/a.txt")},
    {"putfile-without-entry", u8("putfile*/home/me/a.txt*/www/a.txt"), nullptr, u8("/home/me/a.txt")},
    {"deletefile-without-entry", u8("deletefile*/www/a.txt"), nullptr, u8("/www/a.txt")},
    {"getfolder-without-entry", u8("getfolder*/pub/d*/home/me/d"), nullptr, u8("/pub/d")},
    {"getfile-too-few-fields", u8("getfile*/pub/a.txt"), "a.txt", u8("getfile*/pub/a.txt")},
    {"getfile-verb-only", u8("getfile"), "a.txt", u8("getfile")},
    {"putfile-too-few-fields", u8("putfile*/home/me/a.txt"), "a.txt", u8("putfile*/home/me/a.txt")},
    {"chmod-without-code", u8("chmodfile*/www/a"), nullptr, u8("chmodfile*/www/a")},
    {"list-without-field", u8("list"), nullptr, u8("list")},
    {"entry-name-with-line-feed", u8("deletefile*/www/a"), "a\nb", u8("a\\nb")},
};
INSTANTIATE_TEST_SUITE_P(Refusals, QueueRefusalTest, testing::ValuesIn(kRefusals),
                         [](const auto &info) { return caseName(info.param.label); });

TEST(QueueCommand, BuildRefusesFieldsACommandCannotCarry)
{
    QString error;
    EXPECT_EQ(buildCommand(u8("getFile"), {u8("/pub/a.txt"), u8("/home/me/a.txt")}, &error),
              u8("getFile*/pub/a.txt*/home/me/a.txt"));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(buildCommand(u8("list"), {QString(), u8("@refresh")}, &error), u8("list**@refresh"));

    const QStringList bad = {u8("/pub/a*b"), u8("/pub/a\rb"), u8("/pub/a\nb"), QString(u8("/pub/a") + QChar(0))};
    for (const QString &path : bad) {
        EXPECT_TRUE(buildCommand(u8("getFile"), {path, u8("/home/me/x")}, &error).isEmpty());
        EXPECT_TRUE(error.startsWith(u8("Cannot queue \"/pub/a"))) << error.toStdString();
    }
}

} // namespace
