// Synchronize on the headless controller against pyftpdlib: the remote tree listed on
// request, the plan queued after the deletion count is confirmed, both trees alike
// afterwards, a rerun that sends nothing (the server's own record), and a plan that changed
// while the window was open queued not at all.
#include "app/MainController.h"
#include "settings/SettingsCatalogue.h"
#include "support/FtpServers.h"
#include "support/RecordingUserInterface.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <time.h>
#include <vector>

namespace {

using namespace Qt::StringLiterals;

// Relative path -> content ("<dir>" for folders, "<link>" for links).
std::map<QString, QByteArray> treeOf(const QString &root)
{
    std::map<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        QFile f(path);
        tree[path.mid(root.size())] = info.isSymLink()              ? QByteArray("<link>")
                                      : info.isDir()                ? QByteArray("<dir>")
                                      : f.open(QIODevice::ReadOnly) ? f.readAll()
                                                                    : QByteArray("<unreadable>");
    }
    return tree;
}

class FolderSyncTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.setLogCommands(true);
        ASSERT_TRUE(server.start()) << server.failure().toStdString();
        remoteRoot = server.localWritable() + QLatin1Char('/');
        local = home.path() + QStringLiteral("/local/");
        QDir().mkpath(local);
    }
    void connect()
    {
        controller = std::make_unique<MainController>(ui);
        controller->FormCreate({});
        controller->tick().setEnabled(false);
        controller->tick().timerTimer();
        controller->browsers().setLocalFolder(local);
        controller->browsers().refreshLocalView();
        SessionSupervisor &s = controller->sessions();
        s.setCurrentSite(siteOf(server));
        s.setConnectionWanted(true);
        controller->browsers().setRemoteFolder(QStringLiteral("/"));
        s.timer_threads();
        ASSERT_TRUE(waitFor([&] { return s.mainSession()->loggedIn; }, 15000));
        ASSERT_TRUE(settled());
        ASSERT_TRUE(controller->folderSync().available());
    }
    void TearDown() override
    {
        if (controller)
            controller->sessions().setConnectionWanted(false);
    }
    // The queue runs (the tick is off in these tests) until it is empty or paused.
    bool settled(int ms = 30000)
    {
        QueueController &q = controller->queue();
        return waitFor(
            [&] {
                q.timer_checkQueue();
                const tkftpclient *s = controller->sessions().mainSession();
                return !s->busy() && (q.model().isEmpty() || q.model().isPaused());
            },
            ms);
    }
    // What the window does: list the folders not listed yet, level by level, then plan.
    void listWholeTree(SyncQuestion &q)
    {
        for (int round = 0; round < 5 && !q.unlisted().isEmpty(); ++round) {
            q.listUnlisted();
            ASSERT_TRUE(settled());
        }
        ASSERT_TRUE(q.unlisted().isEmpty());
    }
    int commandsStartingWith(const QString &verb) const
    {
        int n = 0;
        for (const QString &c : server.receivedCommands())
            n += c.startsWith(verb) ? 1 : 0;
        return n;
    }

    TempHome home;
    PyftpdlibServer server;
    RecordingUserInterface ui;
    std::unique_ptr<MainController> controller;
    QString remoteRoot, local;
};

TEST_F(FolderSyncTest, AnUploadWithDeletionsMakesTheServerAlikeAndARerunSendsNothing)
{
    QByteArray binary;
    for (int i = 0; i < 50000; ++i)
        binary.append(static_cast<char>(i * 13 % 256));
    makeFile(local + u"a.txt"_s, "a\r\nb\n");
    makeFile(local + u"sub/b.bin"_s, binary);
    makeFile(local + u"sub/deeper/c.txt"_s, "c");
    makeFile(local + u"Case"_s, "upper");
    ASSERT_TRUE(QFile::link(local + u"sub"_s, local + u"ln"_s));
    makeFile(remoteRoot + u"old.txt"_s, "old");
    makeFile(remoteRoot + u"case"_s, "lower");
    makeFile(remoteRoot + u"sub/stale.txt"_s, "stale");
    connect();

    SyncPlan first;
    ui.onSynchronize = [&](SyncQuestion &q) {
        q.options.direction = SyncDirection::Upload;
        q.options.rule = SyncRule::MissingOrSize;
        q.options.deleteExtra = true;
        listWholeTree(q);
        q.shown = first = q.plan(q.options);
        return true;
    };
    ui.confirmAnswers = {true};
    controller->folderSync().synchronize();
    ASSERT_TRUE(settled());
    EXPECT_EQ(ui.questions, QStringList{u"Synchronize will delete 3 files on the server. Continue?"_s});
    EXPECT_EQ(first.count(SyncAction::Transfer), 4);
    EXPECT_EQ(first.bytes(SyncAction::Transfer), 5 + 50000 + 1 + 5);
    ASSERT_EQ(first.skipped.size(), 1u);
    EXPECT_EQ(first.skipped[0].path, u"ln"_s);
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u" | "_s).toStdString();

    std::map<QString, QByteArray> expected = treeOf(local);
    expected.erase(u"ln"_s);
    EXPECT_EQ(treeOf(remoteRoot), expected);
    EXPECT_EQ(commandsStartingWith(u"STOR"_s), 4);
    EXPECT_EQ(commandsStartingWith(u"DELE"_s), 3);

    // Nothing changed: the uploads left the server's folders stale, so they are listed again,
    // and then there is nothing to do.
    const int before = static_cast<int>(server.receivedCommands().size());
    bool planned = true;
    ui.onSynchronize = [&](SyncQuestion &q) {
        listWholeTree(q);
        planned = !q.plan(q.options).steps.empty();
        return false;
    };
    controller->folderSync().synchronize();
    EXPECT_FALSE(planned);
    const QStringList rerun = server.receivedCommands().mid(before);
    for (const QString &c : rerun)
        EXPECT_FALSE(c.startsWith(u"STOR"_s) || c.startsWith(u"DELE"_s) || c.startsWith(u"MKD"_s) ||
                     c.startsWith(u"RMD"_s))
            << c.toStdString();
}

TEST_F(FolderSyncTest, ADownloadTrashesLocalExtrasOnlyWhenThePlanShownStillHolds)
{
    makeFile(remoteRoot + u"a.txt"_s, "remote");
    makeFile(local + u"extra.txt"_s, "mine");
    makeFile(local + u"extra/inner.txt"_s, "mine too");
    connect();

    // A file appears while the window is open: the plan is no longer the one shown.
    ui.onSynchronize = [&](SyncQuestion &q) {
        q.options.direction = SyncDirection::Download;
        q.options.deleteExtra = true;
        q.shown = q.plan(q.options);
        makeFile(local + u"late.txt"_s, "late");
        return true;
    };
    controller->folderSync().synchronize();
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].startsWith(u"The folders changed while the Synchronize window was open"_s));
    EXPECT_TRUE(ui.questions.isEmpty());
    EXPECT_TRUE(controller->queue().model().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(local + u"extra/inner.txt"_s));

    ui.onSynchronize = [&](SyncQuestion &q) {
        q.options.direction = SyncDirection::Download;
        q.options.deleteExtra = true;
        q.shown = q.plan(q.options);
        return true;
    };
    ui.confirmAnswers = {true};
    controller->folderSync().synchronize();
    EXPECT_EQ(ui.questions, QStringList{u"Synchronize will delete 3 files and 1 folder on this computer. Continue?"_s});
    ASSERT_TRUE(settled());
    EXPECT_EQ(treeOf(local), (std::map<QString, QByteArray>{{u"a.txt"_s, "remote"}}));
    // The deleted files can be had back from the trash.
    const QString trash = home.path() + u"/.local/share/Trash/files/"_s;
    EXPECT_EQ(treeOf(trash).count(u"inner.txt"_s), 1u);
    EXPECT_EQ(treeOf(trash).count(u"late.txt"_s), 1u);
}

} // namespace

// A server listing with LIST (in UTC, as pyftpdlib does) gets its offset from one MDTM,
// asked once per connection, and the window opens with it. The local zone is 5:45 ahead
// of UTC, so the server's listed times run 5:45 behind.
TEST_F(FolderSyncTest, TheServerOffsetOfALineListingComesFromOneMdtmPerConnection)
{
    struct ZoneBack {
        ~ZoneBack() { tzset(); } // after `zone` put TZ back
    } zoneBack;
    const ScopedEnv zone("TZ", "Asia/Kathmandu");
    tzset();
    makeFile(remoteRoot + u"a.txt"_s, "remote");
    connect();
    write(controller->setup(), Keys::useMlsd, false);
    ASSERT_TRUE(controller->queue().addToQueue(u"list*/*@refresh"_s));
    ASSERT_TRUE(settled());

    std::vector<std::int64_t> offered;
    ui.onSynchronize = [&](SyncQuestion &q) {
        offered.push_back(q.options.serverOffsetSecs);
        return false;
    };
    controller->folderSync().synchronize();
    controller->folderSync().synchronize();
    constexpr std::int64_t behind = -(5 * 3600 + 45 * 60);
    EXPECT_EQ(offered, (std::vector<std::int64_t>{behind, behind}));
    EXPECT_EQ(commandsStartingWith(u"MDTM /a.txt"_s), 1);
}
