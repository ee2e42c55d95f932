#include "queue/QueueFile.h"
#include "queue/QueueModel.h"
#include "settings/u_tmbSetup.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

tFolderEntryObject entry(std::int32_t time, std::int64_t size, std::int32_t attr, const QString &name)
{
    tFolderEntryObject e;
    e.time = time;
    e.size = size;
    e.attr = attr;
    e.name = name;
    return e;
}

class QueueFileTest : public ::testing::Test {
protected:
    tSetupClass setup;
    QueueModel model{setup};
};

} // namespace

TEST_F(QueueFileTest, ItemsTravelThroughTheFileWithTheirEntriesAndFailedItemsComeBackWaiting)
{
    const tFolderEntryObject big = entry(1234567890, 5'000'000'000LL, 644, QString::fromUtf8("grüße ünd blanks .txt"));
    model.addToQueue(QStringLiteral("list*/pub/"));
    QueueItem *get = model.addToQueue(QStringLiteral("getfile*/pub/a b.txt*/tmp/in/a b.txt"), &big).item;
    const tFolderEntryObject folder = entry(0, 4096, 755, QStringLiteral("tree"));
    model.addToQueue(QStringLiteral("getfolder*/pub/tree/*/tmp/in/tree/"), &folder);
    model.releaseItem(get, QStringLiteral("Error"));

    const QByteArray text = encodeQueueFile(model);
    EXPECT_TRUE(
        text.startsWith("list*/pub/\r\n\r\ngetfile*/pub/a b.txt*/tmp/in/a b.txt\r\n1234567890*5000000000*644*"));
    EXPECT_TRUE(text.endsWith("0*4096*755*tree\r\n"));

    const QueueFileContents back = decodeQueueFile(text);
    ASSERT_TRUE(back.ok()) << back.error.toStdString();
    ASSERT_EQ(back.records.size(), 3u);
    EXPECT_EQ(back.records[0].command, QStringLiteral("list*/pub/"));
    EXPECT_FALSE(back.records[0].entry.has_value());
    ASSERT_TRUE(back.records[1].entry.has_value());
    EXPECT_EQ(back.records[1].entry->name, big.name);
    EXPECT_EQ(back.records[1].entry->size, big.size);
    EXPECT_EQ(back.records[1].entry->time, big.time);
    EXPECT_EQ(back.records[1].entry->attr, 644);
    EXPECT_FALSE(back.records[1].entry->isFolder);
    EXPECT_TRUE(back.records[2].entry->isFolder);

    // Made again by addToQueue, the failed item waits like the others.
    QueueModel again{setup};
    for (const QueueFileRecord &r : back.records)
        again.addToQueue(r.command, r.entry ? &*r.entry : nullptr);
    EXPECT_EQ(again.itemAt(1)->statusText, again.itemAt(0)->statusText);
    EXPECT_FALSE(again.itemAt(1)->running());
}

TEST_F(QueueFileTest, DamagedAndCutFilesKeepWhatCameBefore)
{
    struct Case {
        const char *text;
        std::size_t records;
        bool ok;
    };
    const Case cases[] = {
        {"", 0, true},
        {"list*/a/\r\n\r\n", 1, true},
        {"list*/a/\n\n", 1, true},                                       // LF only
        {"list*/a/\r\n\r\ngetfile*/x*/y\r\n", 1, true},                  // cut before its entry line
        {"list*/a/\r\n\r\ngetfile*/x*/y\r\n12*abc*644*x\r\n", 1, false}, // size not a number
        {"getfile*/x*/y\r\n12*3*644\r\nlist*/b/\r\n\r\n", 0, false},     // a field missing
        {"getfile*/x*/y\r\n12*3*644*a*b\r\n", 1, true},                  // a name with "*" is cut
    };
    for (const Case &c : cases) {
        const QueueFileContents got = decodeQueueFile(QByteArray(c.text));
        EXPECT_EQ(got.records.size(), c.records) << c.text;
        EXPECT_EQ(got.ok(), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_FALSE(got.failedPair.isEmpty()) << c.text;
        }
    }
    EXPECT_EQ(decodeQueueFile("getfile*/x*/y\r\n12*3*644*a*b\r\n").records[0].entry->name, QStringLiteral("a"));
    // An older file in Windows-1252 reads as such.
    EXPECT_EQ(decodeQueueFile("getfile*/x\xe9*/y\r\n1*2*3*x\xe9\r\n").records[0].entry->name, QString::fromUtf8("xé"));
}

TEST_F(QueueFileTest, SavingReplacesTheFileWholeAndAFailedSaveKeepsTheOldOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("weekly"));
    model.addToQueue(QStringLiteral("list*/one/"));
    ASSERT_TRUE(saveQueueFile(model, path));
    model.addToQueue(QStringLiteral("list*/two/"));
    ASSERT_TRUE(saveQueueFile(model, path));
    EXPECT_EQ(loadQueueFile(path).records.size(), 2u);

    // A folder of the same name cannot be replaced: the save fails and says why.
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    ASSERT_TRUE(QDir().mkpath(blocked + QStringLiteral("/keep")));
    QString error;
    EXPECT_FALSE(saveQueueFile(model, blocked, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(blocked + QStringLiteral("/keep")).isDir());

    EXPECT_FALSE(loadQueueFile(dir.filePath(QStringLiteral("missing"))).ok());
}

TEST(QueueFileNames, TypedNamesThatCannotBeAFileOfTheFolderAreRefused)
{
    for (const QString &bad :
         {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("a/b"), QStringLiteral("a\\b"),
          QString(QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b"))})
        EXPECT_FALSE(isValidQueueName(bad)) << bad.toStdString();
    for (const QString &good : {QStringLiteral("My saved queue"), QStringLiteral("weekly.dat"), QStringLiteral("..x")})
        EXPECT_TRUE(isValidQueueName(good)) << good.toStdString();
}
