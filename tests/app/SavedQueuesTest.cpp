// Saved queues by name and the recovery queue on the headless controller: what the files
// hold, what the menu commands log and show, the refused names, and the recovery file kept
// up to date with the queue from start-up to shut-down.
#include "app/MainController.h"
#include "base/Guard.h"
#include "queue/QueueFile.h"
#include "settings/SettingsCatalogue.h"
#include "support/RecordingUserInterface.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QStringList commandsIn(const QByteArray &bytes)
{
    QStringList out;
    for (const QueueFileRecord &r : decodeQueueFile(bytes).records)
        out << r.command;
    return out;
}

class SavedQueuesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setBugReporter([this](const QString &site, const QString &msg) { bugs << site + QLatin1Char(':') + msg; });
    }
    void TearDown() override
    {
        if (controller)
            controller->FormCloseQuery();
        setBugReporter({});
    }

    // FormCreate and the first tick (which loads the recovery queue); later ticks are not run.
    void start()
    {
        controller = std::make_unique<MainController>(ui);
        controller->FormCreate({});
        controller->tick().setEnabled(false);
        controller->tick().timerTimer();
        folder = controller->folders().savedQueue;
    }
    void restart()
    {
        controller->FormCloseQuery();
        controller.reset();
        start();
    }
    SavedQueues &saved() { return controller->savedQueues(); }
    QueueModel &model() { return controller->queue().model(); }
    QStringList queuedCommands()
    {
        QStringList out;
        for (int i = 0; i < model().itemCount(); ++i)
            out << model().itemAt(i)->command();
        return out;
    }
    QString lastLog() { return controller->log().lines().value(controller->log().lines().size() - 1); }
    // A "list" item (no entry) and a "getfile" item with its entry.
    void queueTwo()
    {
        controller->queue().addToQueue(QStringLiteral("list*/pub"));
        tFolderEntryObject e;
        e.name = QStringLiteral("a.txt");
        e.size = 2048;
        e.time = 1234567890;
        e.attr = 644;
        controller->queue().addToQueue(QStringLiteral("getfile*/pub/a.txt*/tmp/in/a.txt"), &e);
    }
    QString recovery() const { return folder + QStringLiteral("[recovery].dat"); }

    TempHome home;
    RecordingUserInterface ui;
    std::unique_ptr<MainController> controller;
    QStringList bugs;
    QString folder;
};

TEST_F(SavedQueuesTest, SaveLoadAndDeleteByNameThroughTheMenuCommands)
{
    start();
    saved().saveQueueCommand();
    EXPECT_EQ(lastLog(), QStringLiteral("§Queue is empty. Not saved."));
    EXPECT_TRUE(ui.textPrompts.isEmpty());

    queueTwo();
    ui.textAnswers.push_back({true, QStringLiteral("weekly")});
    saved().saveQueueCommand();
    EXPECT_EQ(ui.textPrompts, QStringList{QStringLiteral("Save Queue|Queue Name:")});
    EXPECT_EQ(lastLog(), QStringLiteral("§Queue saved to disk."));
    EXPECT_EQ(readAll(folder + QStringLiteral("weekly")),
              QByteArray("list*/pub\r\n\r\ngetfile*/pub/a.txt*/tmp/in/a.txt\r\n1234567890*2048*644*a.txt\r\n"));
    // Saving changes nothing in the queue.
    EXPECT_EQ(model().itemCount(), 2);

    // A ".dat" name is written but never offered; subfolders are not looked into.
    ASSERT_TRUE(saved().saveQueue(QStringLiteral("weekly.dat")));
    QDir(folder).mkpath(QStringLiteral("sub"));
    writeFile(folder + QStringLiteral("sub/inner"), "x\r\n\r\n");
    EXPECT_EQ(saved().savedQueueNames(), QStringList{QStringLiteral("weekly")});

    // Loading appends, every time; items come back waiting with the setting's transfer action.
    model().itemAt(1)->statusText = QStringLiteral("Error");
    write(controller->setup(), Keys::xferAction, 1);
    saved().loadQueueCommand(QStringLiteral("weekly"));
    saved().loadQueueCommand(QStringLiteral("weekly"));
    EXPECT_EQ(lastLog(), QStringLiteral("§Queue loaded from disk."));
    ASSERT_EQ(model().itemCount(), 6);
    EXPECT_EQ(queuedCommands().mid(2), queuedCommands().mid(0, 2) + queuedCommands().mid(0, 2));
    const QueueItem *loaded = model().itemAt(5);
    EXPECT_EQ(loaded->statusText, QStringLiteral("Queued"));
    EXPECT_EQ(loaded->transferAction, TransferAction::Resume);
    ASSERT_TRUE(loaded->entry.has_value());
    EXPECT_EQ(loaded->entry->size, 2048);
    EXPECT_EQ(loaded->entry->time, 1234567890);
    EXPECT_EQ(loaded->entry->name, QStringLiteral("a.txt"));

    // Deleting removes the file only.
    saved().deleteQueueCommand(QStringLiteral("weekly"));
    EXPECT_EQ(lastLog(), QStringLiteral("§Queue deleted from disk."));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("weekly")));
    EXPECT_EQ(model().itemCount(), 6);
    saved().deleteQueueCommand(QStringLiteral("weekly"));
    EXPECT_EQ(ui.messages.value(0), QStringLiteral("Unable to delete the queue from disk. If problem persists, "
                                                   "please report to author at bugs@kestrin-ftp.example."));
    saved().loadQueueCommand(QStringLiteral("weekly"));
    EXPECT_EQ(bugs, QStringList{QStringLiteral("nlnllkna:could not load queue")});
    EXPECT_EQ(model().itemCount(), 6);
}

TEST_F(SavedQueuesTest, NamesThatAreNotPlainFileNamesAreRefused)
{
    start();
    queueTwo();
    writeFile(folder + QStringLiteral("[recovery].dat"), "keep\r\n\r\n");
    const QString names[] = {QStringLiteral("a/b"),
                             QStringLiteral("../up"),
                             QStringLiteral("a\\b"),
                             QString(QChar(u'a')) + QChar(u'\0') + QChar(u'b'),
                             QStringLiteral("."),
                             QStringLiteral(".."),
                             QStringLiteral("[recovery].dat")};
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        ui.messages.clear();
        ui.textAnswers.push_back({true, name});
        saved().saveQueueCommand();
        ASSERT_EQ(ui.messages.size(), 1);
        EXPECT_TRUE(ui.messages[0].contains(QStringLiteral("cannot be used as the name of a queue")));
        QString error;
        EXPECT_FALSE(saved().saveQueue(name, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(saved().deleteQueue(name));
    }
    EXPECT_FALSE(saved().loadQueue(QStringLiteral("../Saved Queue/[recovery].dat")));
    EXPECT_EQ(model().itemCount(), 2);
    EXPECT_EQ(readAll(recovery()), QByteArray("keep\r\n\r\n"));
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("[recovery].dat")});
    EXPECT_FALSE(QFile::exists(controller->folders().base + QStringLiteral("up")));
}

TEST_F(SavedQueuesTest, AnExistingSavedQueueIsReplacedOnlyWhenTheUserSaysSo)
{
    start();
    writeFile(folder + QStringLiteral("mine"), "old\r\n\r\n");
    queueTwo();
    ui.textAnswers.push_back({true, QStringLiteral("mine")});
    ui.confirmAnswers.push_back(false);
    saved().saveQueueCommand();
    EXPECT_EQ(readAll(folder + QStringLiteral("mine")), QByteArray("old\r\n\r\n"));
    ui.textAnswers.push_back({true, QStringLiteral("mine")});
    ui.confirmAnswers.push_back(true);
    saved().saveQueueCommand();
    EXPECT_EQ(commandsIn(readAll(folder + QStringLiteral("mine"))), queuedCommands());
    EXPECT_EQ(ui.questions.size(), 2);
}

TEST_F(SavedQueuesTest, ADamagedPairStopsTheLoadingAndKeepsWhatWasRead)
{
    start();
    writeFile(folder + QStringLiteral("bad"), "list*/one\r\n\r\ngetfile*/x*/tmp/x\r\n12*big*0*x\r\nlist*/two\r\n\r\n");
    EXPECT_FALSE(saved().loadQueue(QStringLiteral("bad")));
    EXPECT_EQ(queuedCommands(), QStringList{QStringLiteral("list*/one")});
    ASSERT_EQ(bugs.size(), 1);
    EXPECT_TRUE(bugs[0].startsWith(QStringLiteral("llklklqq - getfile*/x*/tmp/x - 12*big*0*x:")))
        << bugs[0].toStdString();
}

TEST_F(SavedQueuesTest, TheRecoveryFileFollowsTheQueueAndComesBackAtTheNextStart)
{
    start();
    EXPECT_TRUE(model().isEmpty());
    for (int i = 0; i < 50; ++i)
        controller->queue().addToQueue(QStringLiteral("list*/f%1").arg(i));
    // Written after a short delay, in one go.
    EXPECT_TRUE(waitFor([&] { return commandsIn(readAll(recovery())).size() == 50; }));
    EXPECT_EQ(commandsIn(readAll(recovery())), queuedCommands());

    model().removeItemRows({0, 1, 2});
    model().moveItemRows({0}, QueueModel::Move::ToBottom);
    EXPECT_TRUE(waitFor([&] { return commandsIn(readAll(recovery())) == queuedCommands(); }));

    // Shut-down writes at once, without waiting for the delay.
    controller->queue().addToQueue(QStringLiteral("list*/last"));
    ASSERT_TRUE(saved().recoveryWritePending());
    const QStringList before = queuedCommands();
    restart();
    EXPECT_EQ(queuedCommands(), before);
    for (int i = 0; i < model().itemCount(); ++i)
        EXPECT_EQ(model().itemAt(i)->statusText, QStringLiteral("Queued"));

    model().removeAll();
    EXPECT_TRUE(waitFor([&] { return readAll(recovery()).isEmpty(); }));
}

TEST_F(SavedQueuesTest, AFailedRecoveryWriteKeepsTheItemsAndTriesAgainAtTheNextChange)
{
    start();
    controller->queue().addToQueue(QStringLiteral("list*/a"));
    ASSERT_TRUE(waitFor([&] { return commandsIn(readAll(recovery())).size() == 1; }));
    // A folder with something in it where the file is: the rename over it fails.
    ASSERT_TRUE(QFile::remove(recovery()));
    ASSERT_TRUE(QDir().mkpath(recovery() + QStringLiteral("/blocker")));
    controller->queue().addToQueue(QStringLiteral("list*/b"));
    ASSERT_TRUE(waitFor([&] { return lastLog().startsWith(QStringLiteral("§Could not save the queue")); }));
    EXPECT_EQ(queuedCommands(), (QStringList{QStringLiteral("list*/a"), QStringLiteral("list*/b")}));
    QString error;
    EXPECT_FALSE(saved().saveRecoveryNow(&error));
    EXPECT_FALSE(error.isEmpty());

    ASSERT_TRUE(QDir(recovery()).removeRecursively());
    controller->queue().addToQueue(QStringLiteral("list*/c"));
    EXPECT_TRUE(waitFor([&] { return commandsIn(readAll(recovery())) == queuedCommands(); }));
    EXPECT_EQ(queuedCommands().size(), 3);
}

TEST_F(SavedQueuesTest, StartUpLoadsTheRecoveryFileOnlyWhenAutoSaveIsOnAndKeepsADamagedOne)
{
    struct Case {
        const char *name;
        bool autoSave;
        QByteArray file;
        const char *loaded; // commands, "|" between them
        bool damagedCopy;
    };
    const Case cases[] = {
        {"auto-save-on", true, "list*/a\r\n\r\nlist*/b\r\n\r\n", "list*/a|list*/b", false},
        {"auto-save-off", false, "list*/a\r\n\r\n", "", false},
        {"damaged", true, "list*/a\r\n\r\ngetfile*/x*/tmp/x\r\nno*0*0*x\r\nlist*/b\r\n\r\n", "list*/a", true},
        {"binary garbage", true, QByteArray("\x00\xff\xfe*\r\n\x01\x02*9*9*\r\n\r\n\x80", 18), "", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        controller.reset();
        TempHome caseHome;
        {
            // The data folders of a first run, with the setting and the file in place.
            MainController first(ui);
            first.FormCreate({});
            first.tick().setEnabled(false);
            write(first.setup(), Keys::autoSaveQueue, c.autoSave);
            first.setup().save(first.folders().dataFile(QStringLiteral("setup.dat")));
            writeFile(first.folders().savedQueue + QStringLiteral("[recovery].dat"), c.file);
        }
        start();
        EXPECT_EQ(queuedCommands(), QString::fromLatin1(c.loaded).split(QLatin1Char('|'), Qt::SkipEmptyParts));
        EXPECT_EQ(QFile::exists(folder + QStringLiteral("[recovery]-damaged.dat")), c.damagedCopy);
        if (c.damagedCopy) {
            EXPECT_EQ(readAll(folder + QStringLiteral("[recovery]-damaged.dat")), c.file);
            // Told once, as a plain message naming the copy.
            ASSERT_EQ(ui.messages.size(), 1) << ui.messages.join(u'|').toStdString();
            EXPECT_TRUE(ui.messages.front().contains(QStringLiteral("[recovery]-damaged.dat")));
        }
        EXPECT_TRUE(ui.bugs.isEmpty()) << ui.bugs.join(u'|').toStdString();
        ui.messages.clear();
        controller->queue().addToQueue(QStringLiteral("list*/new"));
        controller->FormCloseQuery();
        // With auto-save off the file is left as the user had it.
        if (!c.autoSave) {
            EXPECT_EQ(readAll(recovery()), c.file);
        } else {
            EXPECT_EQ(commandsIn(readAll(recovery())), queuedCommands());
        }
        controller.reset();
    }
}

} // namespace
