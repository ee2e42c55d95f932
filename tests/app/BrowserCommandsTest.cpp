// The file lists' commands on the headless controller: the local side in a temporary folder,
// the remote side on a real pyftpdlib server (vsftpd where it answers differently), with the
// trees on both sides compared byte for byte after each command.
#include "app/MainController.h"
#include "settings/SettingsCatalogue.h"
#include "support/FtpServers.h"
#include "support/RecordingUserInterface.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <memory>

namespace {

using namespace Qt::StringLiterals;

using Side = BrowserCommands::Side;

// Relative path -> content ("<dir>" for folders, "-> target" for links).
std::map<QString, QByteArray> treeOf(const QString &root)
{
    std::map<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        const QString rel = path.mid(root.size());
        if (info.isSymLink())
            tree[rel] = "-> " + info.symLinkTarget().toUtf8();
        else
            tree[rel] = info.isDir() ? QByteArray("<dir>") : readAll(path);
    }
    return tree;
}

class BrowserCommandsFixture {
protected:
    void setUpController(RealFtpServer &server)
    {
        controller = std::make_unique<MainController>(ui);
        controller->FormCreate({});
        controller->tick().setEnabled(false);
        controller->tick().timerTimer();
        remoteRoot = server.localWritable();
        local = home.path() + QStringLiteral("/local/");
        QDir().mkpath(local);
        browsers().setLocalFolder(local);
        browsers().refreshLocalView();
        QObject::connect(&commands(), &BrowserCommands::selectionRequested, controller.get(),
                         [this](Side side, const std::vector<int> &entries) { selected[side] = entries; });
    }
    void connect(RealFtpServer &server, const QString &folder)
    {
        SessionSupervisor &s = controller->sessions();
        s.setCurrentSite(siteOf(server));
        s.setConnectionWanted(true);
        browsers().setRemoteFolder(folder);
        s.timer_threads();
        ASSERT_TRUE(waitFor([&] { return s.mainSession()->loggedIn && s.mainSession()->idleState(); }, 15000));
        ASSERT_TRUE(settled());
        // The login lists the site's own folder; show the one the test works in.
        browsers().setRemoteFolder(folder);
        relist();
    }
    bool settled(int ms = 30000)
    {
        return waitFor(
            [&] {
                queue().timer_checkQueue();
                tkftpclient *s = controller->sessions().mainSession();
                if (s->busy() || (s->IsConnected() && s->State() != TFtpEngineState::stReady))
                    return false;
                return queue().model().isEmpty() || queue().model().isPaused();
            },
            ms);
    }
    // Lists the remote folder again and waits for it; the local list is rescanned.
    void relist()
    {
        commands().refresh(Side::Remote);
        ASSERT_TRUE(settled());
        browsers().refreshLocalView();
    }
    int index(Side side, const QString &name) const
    {
        const BrowserState &st = controller->browsers().state();
        if (side == Side::Local) {
            for (size_t i = 0; i < st.lEntries.size(); ++i)
                if (st.lEntries[i].entry.name == name)
                    return static_cast<int>(i);
        } else {
            const tRemoteEntryList &r = st.remoteEntries();
            for (size_t i = 0; i < r.size(); ++i)
                if (r[i].entry.name == name)
                    return static_cast<int>(i);
        }
        return -1;
    }
    std::vector<int> rows(Side side, std::initializer_list<const char *> names) const
    {
        std::vector<int> result;
        for (const char *n : names)
            result.push_back(index(side, QString::fromUtf8(n)));
        return result;
    }
    std::string shown() const { return ui.messages.join(QStringLiteral(" | ")).toStdString(); }

    BrowserController &browsers() { return controller->browsers(); }
    BrowserCommands &commands() { return controller->browserCommands(); }
    QueueController &queue() { return controller->queue(); }

    TempHome home;
    RecordingUserInterface ui;
    std::unique_ptr<MainController> controller;
    QString remoteRoot, local;
    std::map<Side, std::vector<int>> selected;
};

class BrowserCommandsTest : public ::testing::Test, protected BrowserCommandsFixture {
protected:
    void SetUp() override
    {
        server.setLogCommands(true);
        ASSERT_TRUE(server.start()) << server.failure().toStdString();
        setUpController(server);
    }
    void TearDown() override
    {
        if (controller)
            controller->FormCloseQuery();
    }
    PyftpdlibServer server;
};

TEST_F(BrowserCommandsTest, SendReceiveAndDropsTravelByteExactIntoTheRightFolders)
{
    makeFile(local + QStringLiteral("a.txt"), "alpha\r\n");
    makeFile(local + QStringLiteral("tree/deep/b.bin"), QByteArray("\0\1\2\3", 4));
    makeFile(local + QStringLiteral("tree/with blank.txt"), "blank");
    QDir().mkpath(local + QStringLiteral("inbox"));
    makeFile(remoteRoot + QStringLiteral("/srv.bin"), QByteArray(70000, 'x'));
    QDir().mkpath(remoteRoot + QStringLiteral("/docs"));
    const QString outside = home.path() + QStringLiteral("/desktop/");
    makeFile(outside + QStringLiteral("dragged.txt"), "from the file manager");
    makeFile(outside + QStringLiteral("folder/inner.txt"), "inner");
    connect(server, QStringLiteral("/"));
    browsers().refreshLocalView();

    commands().send(rows(Side::Local, {"a.txt", "tree"}));
    ASSERT_TRUE(settled()) << shown();
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/a.txt")), "alpha\r\n");
    EXPECT_EQ(treeOf(remoteRoot + QStringLiteral("/tree")), treeOf(local + QStringLiteral("tree")));

    // A drop onto a folder row transfers into that folder; with confirmDragDrop a No stops it.
    relist();
    write(controller->setup(), Keys::confirmDragDrop, true);
    ui.confirmAnswers = {false, true, true};
    commands().entriesDropped(Side::Local, rows(Side::Local, {"a.txt"}), index(Side::Remote, QStringLiteral("docs")));
    EXPECT_TRUE(queue().model().isEmpty());
    commands().entriesDropped(Side::Local, rows(Side::Local, {"a.txt"}), index(Side::Remote, QStringLiteral("docs")));
    commands().entriesDropped(Side::Remote, rows(Side::Remote, {"srv.bin"}),
                              index(Side::Local, QStringLiteral("inbox")));
    ASSERT_TRUE(settled()) << shown();
    EXPECT_EQ(ui.questions, QStringList({QStringLiteral("Continue drag'n'drop operation to FTP server?"),
                                         QStringLiteral("Continue drag'n'drop operation to FTP server?"),
                                         QStringLiteral("Continue drag'n'drop operation from FTP server?")}));
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/docs/a.txt")), "alpha\r\n");
    EXPECT_EQ(readAll(local + QStringLiteral("inbox/srv.bin")), QByteArray(70000, 'x'));

    // Files and folders dragged in from the desktop go up as they are.
    write(controller->setup(), Keys::confirmDragDrop, false);
    commands().sendLocalPaths({outside + QStringLiteral("dragged.txt"), outside + QStringLiteral("folder/")});
    ASSERT_TRUE(settled()) << shown();
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/dragged.txt")), "from the file manager");
    EXPECT_EQ(treeOf(remoteRoot + QStringLiteral("/folder")), treeOf(outside + QStringLiteral("folder")));
    EXPECT_TRUE(ui.messages.isEmpty()) << shown();
}

TEST_F(BrowserCommandsTest, OpenEntersFoldersAndOpensFilesWithoutOverwritingUnasked)
{
    makeFile(remoteRoot + QStringLiteral("/pub/inner/page.html"), "<html>");
    makeFile(remoteRoot + QStringLiteral("/pub/mine.txt"), "server copy");
    makeFile(local + QStringLiteral("mine.txt"), "my own copy");
    QDir().mkpath(local + QStringLiteral("sub"));
    connect(server, QStringLiteral("/"));

    commands().activate(Side::Remote, rows(Side::Remote, {"pub"}));
    ASSERT_TRUE(settled());
    EXPECT_EQ(browsers().rFolder(), QStringLiteral("/pub/"));
    commands().activate(Side::Remote, rows(Side::Remote, {"inner"}));
    ASSERT_TRUE(settled());
    commands().open(Side::Remote, rows(Side::Remote, {"page.html"}));
    ASSERT_TRUE(settled()) << shown();
    EXPECT_EQ(readAll(local + QStringLiteral("page.html")), "<html>");
    EXPECT_EQ(ui.opened, QStringList{local + QStringLiteral("page.html")});

    // Going up shows the cached parent without asking the server again.
    const qsizetype before = server.receivedCommands().size();
    commands().goUp(Side::Remote);
    ASSERT_TRUE(settled());
    EXPECT_EQ(browsers().rFolder(), QStringLiteral("/pub/"));
    EXPECT_EQ(server.receivedCommands().size(), before);

    ui.overwriteAnswers = {{OverwriteChoice::Skip, false}};
    commands().open(Side::Remote, rows(Side::Remote, {"mine.txt"}));
    ASSERT_TRUE(settled()) << shown();
    EXPECT_EQ(ui.overwriteQuestions.size(), 1u);
    EXPECT_EQ(readAll(local + QStringLiteral("mine.txt")), "my own copy");

    browsers().refreshLocalView();
    commands().activate(Side::Local, rows(Side::Local, {"sub"}));
    EXPECT_EQ(browsers().lFolder(), local + QStringLiteral("sub/"));
    commands().goUp(Side::Local);
    EXPECT_EQ(browsers().lFolder(), local);
}

TEST_F(BrowserCommandsTest, RenameNeverReplacesAndNewFoldersAppearOnBothSides)
{
    makeFile(local + QStringLiteral("old.txt"), "old");
    makeFile(local + QStringLiteral("taken.txt"), "taken");
    makeFile(remoteRoot + QStringLiteral("/r.txt"), "remote r");
    makeFile(remoteRoot + QStringLiteral("/busy.txt"), "remote busy");
    connect(server, QStringLiteral("/"));
    browsers().refreshLocalView();
    const auto localBefore = treeOf(local);
    const auto remoteBefore = treeOf(remoteRoot);

    ui.textAnswers = {{true, QStringLiteral("taken.txt")}, {true, QStringLiteral("busy.txt")}};
    commands().rename(Side::Local, rows(Side::Local, {"old.txt"}));
    commands().rename(Side::Remote, rows(Side::Remote, {"r.txt"}));
    ASSERT_TRUE(settled());
    EXPECT_EQ(ui.messages,
              QStringList({QStringLiteral("Could not rename file"), QStringLiteral("Could not rename file")}));
    EXPECT_EQ(treeOf(local), localBefore);
    EXPECT_EQ(treeOf(remoteRoot), remoteBefore);
    EXPECT_FALSE(server.receivedCommands().join(u' ').contains(QStringLiteral("RNFR")));

    ui.messages.clear();
    ui.textAnswers = {{true, QStringLiteral("new name.txt")},
                      {true, QStringLiteral("renamed r.txt")},
                      {true, QStringLiteral("made here")},
                      {true, QStringLiteral("made there")}};
    std::vector<std::pair<Side, std::vector<int>>> selected;
    QObject::connect(&commands(), &BrowserCommands::selectionRequested,
                     [&](Side side, const std::vector<int> &entries) { selected.emplace_back(side, entries); });
    commands().rename(Side::Local, rows(Side::Local, {"old.txt"}));
    commands().rename(Side::Remote, rows(Side::Remote, {"r.txt"}));
    commands().newFolder(Side::Local);
    commands().newFolder(Side::Remote);
    ASSERT_TRUE(settled()) << shown();
    // Each new folder is selected once its list shows it.
    ASSERT_TRUE(waitFor([&] { return selected.size() == 2; }, 5000));
    EXPECT_EQ(selected[0], (std::pair{Side::Local, std::vector<int>{index(Side::Local, QStringLiteral("made here"))}}));
    EXPECT_EQ(selected[1],
              (std::pair{Side::Remote, std::vector<int>{index(Side::Remote, QStringLiteral("made there"))}}));
    EXPECT_EQ(
        ui.textPrompts,
        QStringList({QStringLiteral("Rename file|Rename file To ..."), QStringLiteral("Rename file|Rename file To ..."),
                     QStringLiteral("Rename file|Rename file To ..."), QStringLiteral("Rename file|Rename file To ..."),
                     QStringLiteral("Create New Folder|New Folder Name:"),
                     QStringLiteral("Create New Folder|New Folder Name:")}));
    EXPECT_EQ(readAll(local + QStringLiteral("new name.txt")), "old");
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/renamed r.txt")), "remote r");
    EXPECT_TRUE(QFileInfo(local + QStringLiteral("made here")).isDir());
    EXPECT_TRUE(QFileInfo(remoteRoot + QStringLiteral("/made there")).isDir());
    EXPECT_GE(index(Side::Local, QStringLiteral("made here")), 0) << "the local list was refreshed";
    EXPECT_TRUE(ui.messages.isEmpty()) << shown();
}

TEST_F(BrowserCommandsTest, RemoteDeleteAsksRemovesLinksThemselvesAndMarksTheFolderStale)
{
    makeFile(remoteRoot + QStringLiteral("/outside/keep.txt"), "keep");
    makeFile(remoteRoot + QStringLiteral("/gone/sub/x.txt"), "x");
    ASSERT_TRUE(QFile::link(remoteRoot + QStringLiteral("/outside"), remoteRoot + QStringLiteral("/gone/sub/out")));
    ASSERT_TRUE(QFile::link(remoteRoot + QStringLiteral("/outside"), remoteRoot + QStringLiteral("/toplink")));
    makeFile(remoteRoot + QStringLiteral("/f1.txt"));
    connect(server, QStringLiteral("/"));

    ui.confirmAnswers = {false};
    commands().deleteEntries(Side::Remote, rows(Side::Remote, {"f1.txt"}));
    EXPECT_TRUE(queue().model().isEmpty());
    ui.confirmAnswers = {true};
    server.receivedCommands();
    commands().deleteEntries(Side::Remote, rows(Side::Remote, {"gone", "toplink", "f1.txt"}));
    EXPECT_TRUE(browsers().state().isFolderStale(QStringLiteral("/")));
    ASSERT_TRUE(settled()) << shown();
    EXPECT_EQ(ui.questions,
              QStringList({QStringLiteral("Continue to delete the file \"f1.txt\" on the FTP server?"),
                           QStringLiteral("Continue to delete 2 files and 1 folder (the folder with everything in "
                                          "it) on the FTP server?")}));
    EXPECT_FALSE(QFileInfo::exists(remoteRoot + QStringLiteral("/gone")));
    EXPECT_FALSE(QFileInfo::exists(remoteRoot + QStringLiteral("/f1.txt")));
    EXPECT_FALSE(QFileInfo(remoteRoot + QStringLiteral("/toplink")).isSymLink());
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/outside/keep.txt")), "keep");
    const QString transcript = server.receivedCommands().join(u'\n');
    EXPECT_TRUE(transcript.contains(QStringLiteral("DELE /toplink"))) << transcript.toStdString();
    EXPECT_FALSE(transcript.contains(QStringLiteral("CWD /toplink"))) << transcript.toStdString();
    EXPECT_TRUE(ui.messages.isEmpty()) << shown();
}

TEST(BrowserCommandsDeleteQuestion, NamesWhatGoesAndWhere)
{
    using Side = BrowserCommands::Side;
    using Item = BrowserCommands::DeleteItem;
    struct Case {
        Side side;
        std::vector<Item> items;
        const char *question;
    };
    const Case cases[] = {
        {Side::Remote,
         {{QStringLiteral("a.txt"), false, false}},
         "Continue to delete the file \"a.txt\" on the FTP server?"},
        {Side::Remote,
         {{QStringLiteral("img"), true, false}},
         "Continue to delete the folder \"img\" and everything in it on the FTP server?"},
        // A link to a folder goes itself, not what it points to.
        {Side::Remote, {{QStringLiteral("www"), true, true}}, "Continue to delete the link \"www\" on the FTP server?"},
        {Side::Remote,
         {{QStringLiteral("a"), true, false}, {QStringLiteral("b"), true, false}},
         "Continue to delete 2 folders (the folders with everything in them) on the FTP server?"},
        {Side::Local,
         {{QStringLiteral("a.txt"), false, false}},
         "Continue to delete the file \"a.txt\"?\r\rIt goes to the trash."},
        {Side::Local,
         {{QStringLiteral("a.txt"), false, false}, {QStringLiteral("b.txt"), false, false}},
         "Continue to delete 2 files?\r\rThey go to the trash."},
    };
    for (const Case &k : cases)
        EXPECT_EQ(BrowserCommands::deleteQuestion(k.side, k.items), QString::fromUtf8(k.question));
}

TEST_F(BrowserCommandsTest, LocalDeleteTrashesAndAsksBeforeDeletingForGood)
{
    makeFile(local + QStringLiteral("one.txt"), "1");
    makeFile(home.path() + QStringLiteral("/outside/keep.txt"), "keep");
    makeFile(local + QStringLiteral("tree/x.txt"), "x");
    ASSERT_TRUE(QFile::link(home.path() + QStringLiteral("/outside"), local + QStringLiteral("tree/out")));
    browsers().refreshLocalView();

    ui.confirmAnswers = {true};
    commands().deleteEntries(Side::Local, rows(Side::Local, {"one.txt"}));
    EXPECT_FALSE(QFileInfo::exists(local + QStringLiteral("one.txt")));
    const QString trash = home.path() + QStringLiteral("/.local/share/Trash/files/one.txt");
    EXPECT_EQ(readAll(trash), "1") << "moved to the trash, not deleted";
    const QByteArray record =
        QByteArray("Path=").append(QUrl::toPercentEncoding(local + QStringLiteral("one.txt"), "/"));
    EXPECT_TRUE(readAll(home.path() + QStringLiteral("/.local/share/Trash/info/one.txt.trashinfo")).contains(record));

    // A trash that cannot take anything: the user is told and asked; No keeps everything.
    QDir(home.path() + QStringLiteral("/.local/share/Trash")).removeRecursively();
    makeFile(home.path() + QStringLiteral("/.local/share/Trash"), "not a folder");
    ui.questions.clear();
    ui.confirmAnswers = {true, false};
    commands().deleteEntries(Side::Local, rows(Side::Local, {"tree"}));
    ASSERT_EQ(ui.questions.size(), 2) << ui.questions.join(u'|').toStdString();
    EXPECT_TRUE(ui.questions[1].contains(local + QStringLiteral("tree"))) << ui.questions[1].toStdString();
    EXPECT_EQ(readAll(local + QStringLiteral("tree/x.txt")), "x");

    ui.confirmAnswers = {true, true};
    commands().deleteEntries(Side::Local, rows(Side::Local, {"tree"}));
    EXPECT_FALSE(QFileInfo::exists(local + QStringLiteral("tree")));
    EXPECT_EQ(readAll(home.path() + QStringLiteral("/outside/keep.txt")), "keep") << "the link was not followed";
    EXPECT_EQ(index(Side::Local, QStringLiteral("tree")), -1);
    EXPECT_TRUE(ui.messages.isEmpty()) << shown();
}

TEST_F(BrowserCommandsTest, EditDownloadsIntoAPrivateFolderAndUploadsOnlyWhenConfirmed)
{
    makeFile(remoteRoot + QStringLiteral("/a/note.txt"), "first");
    makeFile(remoteRoot + QStringLiteral("/b/note.txt"), "second");
    makeFile(local + QStringLiteral("note.txt"), "the user's own");
    connect(server, QStringLiteral("/"));
    browsers().setRemoteFolder(QStringLiteral("/a/"));
    relist();
    QStringList copies;
    ui.onOpen = [&](const QString &file) {
        copies << file;
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(" edited");
    };
    ui.confirmAnswers = {true};
    commands().edit(Side::Remote, rows(Side::Remote, {"note.txt"}));
    ASSERT_TRUE(settled()) << shown();
    ASSERT_TRUE(settled()) << shown();
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/a/note.txt")), "first edited");

    browsers().setRemoteFolder(QStringLiteral("/b/"));
    relist();
    ui.confirmAnswers = {false}; // editing cancelled: nothing goes back
    commands().edit(Side::Remote, rows(Side::Remote, {"note.txt"}));
    ASSERT_TRUE(settled()) << shown();
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/b/note.txt")), "second");

    ASSERT_EQ(copies.size(), 2);
    EXPECT_NE(QFileInfo(copies[0]).path(), QFileInfo(copies[1]).path());
    for (const QString &copy : copies) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(copy).path()).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    EXPECT_EQ(readAll(local + QStringLiteral("note.txt")), "the user's own");

    // The default editor is started with the file as one argument, no shell.
    write(controller->setup(), Keys::defaultEditorAlways, true);
    write(controller->setup(), Keys::defaultEditor, QStringLiteral("/usr/bin/editor"));
    browsers().refreshLocalView();
    commands().edit(Side::Local, rows(Side::Local, {"note.txt"}));
    ASSERT_EQ(ui.started.size(), 1u);
    EXPECT_EQ(ui.started[0].program, QStringLiteral("/usr/bin/editor"));
    EXPECT_EQ(ui.started[0].arguments, QStringList{local + QStringLiteral("note.txt")});
}

qsizetype retrCount(const QStringList &commands)
{
    return std::count_if(commands.begin(), commands.end(),
                         [](const QString &c) { return c.startsWith(QStringLiteral("RETR")); });
}

QByteArray varied(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return bytes;
}

TEST_F(BrowserCommandsTest, RemoteRowsDraggedOutAreDownloadedWhenTheDropAsksForTheirUrls)
{
    makeFile(remoteRoot + QStringLiteral("/srv.bin"), varied(200000));
    makeFile(remoteRoot + QStringLiteral("/with blank.dat"), QByteArray("\r\n\0x", 4));
    makeFile(remoteRoot + QStringLiteral("/tree/deep/d.bin"), varied(3000));
    makeFile(remoteRoot + QStringLiteral("/tree/t.bin"), "t");
    makeFile(remoteRoot + QStringLiteral("/other.bin"), "not dragged");
    connect(server, QStringLiteral("/"));
    const QString temporary = home.path() + QStringLiteral("/tmp");
    commands().setTemporaryFolder(temporary);

    std::unique_ptr<QMimeData> mime(
        commands().remoteDragData(rows(Side::Remote, {"srv.bin", "tree", "with blank.dat"})));
    // Offered, but nothing is fetched before the drop target asks.
    EXPECT_TRUE(mime->hasUrls());
    const qsizetype retrBefore = retrCount(server.receivedCommands());
    EXPECT_TRUE(queue().model().isEmpty());

    const QList<QUrl> urls = mime->urls();
    ASSERT_EQ(urls.size(), 3) << shown();
    EXPECT_EQ(ui.messages, QStringList()) << shown();
    const QString folder = QFileInfo(urls[0].toLocalFile()).path();
    EXPECT_TRUE(folder.startsWith(temporary + QLatin1Char('/')));
    EXPECT_EQ(urls, (QList<QUrl>{QUrl::fromLocalFile(folder + QStringLiteral("/srv.bin")),
                                 QUrl::fromLocalFile(folder + QStringLiteral("/tree")),
                                 QUrl::fromLocalFile(folder + QStringLiteral("/with blank.dat"))}));
    EXPECT_EQ(readAll(urls[0].toLocalFile()), varied(200000));
    EXPECT_EQ(treeOf(urls[1].toLocalFile()), treeOf(remoteRoot + QStringLiteral("/tree")));
    EXPECT_EQ(readAll(urls[2].toLocalFile()), QByteArray("\r\n\0x", 4));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/other.bin")));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(queue().model().isEmpty());
    const qsizetype retrAfter = retrCount(server.receivedCommands());
    EXPECT_EQ(retrAfter - retrBefore, 4);

    // The drop target asking again gets the same files, without a second download.
    EXPECT_EQ(mime->urls(), urls);
    EXPECT_EQ(mime->data(QStringLiteral("text/uri-list")).split('\n').size(), 4);
    EXPECT_EQ(retrCount(server.receivedCommands()), retrAfter);
}

TEST_F(BrowserCommandsTest, ADroppedDownloadThatFailsGivesNoUrlAndTellsTheUser)
{
    makeFile(remoteRoot + QStringLiteral("/good.bin"), varied(5000));
    makeFile(remoteRoot + QStringLiteral("/gone.bin"), "removed after the listing");
    makeFile(remoteRoot + QStringLiteral("/shrunk.bin"), varied(9000));
    makeFile(remoteRoot + QStringLiteral("/box/in.bin"), "a folder that vanishes");
    connect(server, QStringLiteral("/"));
    commands().setTemporaryFolder(home.path() + QStringLiteral("/tmp"));

    // The server changes after the listing: one file is gone, one is shorter than listed
    // (it arrives whole as it is now: the server's size at transfer time counts), one
    // folder is gone.
    QFile::remove(remoteRoot + QStringLiteral("/gone.bin"));
    QDir(remoteRoot + QStringLiteral("/box")).removeRecursively();
    makeFile(remoteRoot + QStringLiteral("/shrunk.bin"), varied(100));
    // The drop's own summary, shown after the queue's error window.
    const auto told = [&](const QString &line) {
        return std::any_of(ui.messages.begin(), ui.messages.end(), [&](const QString &m) {
            return m.startsWith(QStringLiteral("These items were not copied to the drop target:\r\n")) &&
                   m.contains(line);
        });
    };
    struct Case {
        const char *name;
        bool whole;
        int size;
    };
    const Case cases[] = {
        {"good.bin", true, 5000}, {"gone.bin", false, 0}, {"shrunk.bin", true, 100}, {"box", false, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ui.messages.clear();
        if (queue().model().isPaused())
            queue().toggleQueue();
        std::unique_ptr<QMimeData> mime(commands().remoteDragData(rows(Side::Remote, {c.name})));
        const QList<QUrl> urls = mime->urls();
        ASSERT_EQ(urls.size(), c.whole ? 1 : 0);
        EXPECT_TRUE(queue().model().isEmpty()) << "nothing of the drop stays queued";
        if (c.whole) {
            EXPECT_EQ(readAll(urls[0].toLocalFile()), varied(c.size));
            continue;
        }
        ASSERT_TRUE(
            waitFor([&] { return told(QString::fromUtf8(c.name) + QStringLiteral(" (the download failed)")); }, 5000))
            << shown();
    }
    // No partial copy is left behind in the private folders.
    QDirIterator it(home.path() + QStringLiteral("/tmp"), QDir::Files, QDirIterator::Subdirectories);
    QStringList left;
    while (it.hasNext())
        left << QFileInfo(it.next()).fileName();
    left.sort();
    EXPECT_EQ(left, (QStringList{QStringLiteral("good.bin"), QStringLiteral("shrunk.bin")}));

    // A paused queue runs nothing: the drop gets no URL and the user is told why.
    if (!queue().model().isPaused())
        queue().toggleQueue();
    ui.messages.clear();
    const qsizetype retr = retrCount(server.receivedCommands());
    std::unique_ptr<QMimeData> mime(commands().remoteDragData(rows(Side::Remote, {"good.bin"})));
    EXPECT_TRUE(mime->urls().isEmpty());
    EXPECT_TRUE(queue().model().isEmpty());
    EXPECT_EQ(retrCount(server.receivedCommands()), retr);
    ASSERT_TRUE(waitFor([&] { return told(QStringLiteral("good.bin (the queue is paused)")); }, 5000)) << shown();

    // A download that outlasts the wait is stopped and left out; the session goes on working.
    queue().toggleQueue();
    makeFile(remoteRoot + QStringLiteral("/big.bin"), varied(40 * 1024 * 1024));
    relist();
    commands().setDropTimeout(1);
    std::unique_ptr<QMimeData> slow(commands().remoteDragData(rows(Side::Remote, {"big.bin"})));
    EXPECT_TRUE(slow->urls().isEmpty());
    EXPECT_TRUE(queue().model().isEmpty());
    ASSERT_TRUE(waitFor([&] { return told(QStringLiteral("big.bin (the download took too long)")); }, 5000)) << shown();
    commands().setDropTimeout(30000);
    std::unique_ptr<QMimeData> again(commands().remoteDragData(rows(Side::Remote, {"good.bin"})));
    ASSERT_EQ(again->urls().size(), 1) << shown();
    EXPECT_EQ(readAll(again->urls()[0].toLocalFile()), varied(5000));
    QDirIterator rest(home.path() + QStringLiteral("/tmp"), QDir::Files, QDirIterator::Subdirectories);
    QStringList kept;
    while (rest.hasNext())
        kept << QFileInfo(rest.next()).fileName();
    kept.sort();
    EXPECT_EQ(kept, (QStringList{QStringLiteral("good.bin"), QStringLiteral("good.bin"), QStringLiteral("shrunk.bin")}))
        << "no partial big.bin";
}

TEST_F(BrowserCommandsTest, ChangeFolderOffersEveryFolderSeenAndKeepsNamesThatDifferInCase)
{
    QDir().mkpath(remoteRoot + QStringLiteral("/Docs"));
    QDir().mkpath(remoteRoot + QStringLiteral("/docs/x"));
    connect(server, QStringLiteral("/"));
    browsers().setRemoteFolder(QStringLiteral("/docs/"));
    relist();

    // Offered without asking the server: the folders listed and the folders seen in them
    // (the picker cancelled here).
    ui.pickedFolder.clear();
    const qsizetype before = server.receivedCommands().size();
    commands().changeFolder(Side::Remote);
    // (A transfer session may be logging in meanwhile: only folder commands count.)
    const QStringList after = server.receivedCommands().mid(before);
    for (const QString &command : after)
        EXPECT_FALSE(command.startsWith(u"CWD"_s) || command.startsWith(u"LIST"_s) || command.startsWith(u"MLSD"_s))
            << command.toStdString();
    EXPECT_EQ(ui.remotePickerCurrent, QStringLiteral("/docs/"));
    EXPECT_EQ(ui.remotePickerFolders, (QStringList{u"/"_s, u"/Docs/"_s, u"/docs/"_s, u"/docs/x/"_s}));

    // Chosen, /Docs/ shows its own (empty) contents, never the listing of /docs/.
    ui.pickedFolder = QStringLiteral("/Docs/");
    commands().changeFolder(Side::Remote);
    ASSERT_TRUE(settled()) << shown();
    EXPECT_EQ(browsers().rFolder(), QStringLiteral("/Docs/"));
    EXPECT_TRUE(browsers().state().remoteEntries().empty());
}

TEST_F(BrowserCommandsTest, NamesAQueueCommandCannotCarryAreRefusedByName)
{
    makeFile(local + QStringLiteral("star*name.txt"), "s");
    makeFile(local + QStringLiteral("line\nbreak.txt"), "n");
    makeFile(remoteRoot + QStringLiteral("/ok.txt"), "ok");
    connect(server, QStringLiteral("/"));
    browsers().refreshLocalView();
    const auto before = treeOf(remoteRoot);
    commands().send(rows(Side::Local, {"star*name.txt", "line\nbreak.txt"}));
    ui.textAnswers = {{true, QStringLiteral("bad\rname")}, {true, QStringLiteral("a*b")}};
    commands().rename(Side::Remote, rows(Side::Remote, {"ok.txt"}));
    commands().newFolder(Side::Remote);
    EXPECT_TRUE(queue().model().isEmpty());
    ASSERT_EQ(ui.messages.size(), 4) << shown();
    EXPECT_TRUE(ui.messages[0].contains(QStringLiteral("star*name.txt"))) << shown();
    EXPECT_TRUE(ui.messages[1].contains(QStringLiteral("line"))) << shown();
    ASSERT_TRUE(settled());
    EXPECT_EQ(treeOf(remoteRoot), before);
}

TEST_F(BrowserCommandsTest, GroupSelectAndCompareSelectTheRightRows)
{
    makeFile(local + QStringLiteral("a.txt"), QByteArray(100, 'a'));
    makeFile(local + QStringLiteral("b.txt"), "b");
    makeFile(local + QStringLiteral("README"), "r");
    QDir().mkpath(local + QStringLiteral("both"));
    makeFile(remoteRoot + QStringLiteral("/a.txt"), QByteArray(120, 'a'));
    makeFile(remoteRoot + QStringLiteral("/c.txt"), "c");
    makeFile(remoteRoot + QStringLiteral("/README"), "r");
    QDir().mkpath(remoteRoot + QStringLiteral("/both"));
    connect(server, QStringLiteral("/"));
    browsers().refreshLocalView();

    ui.textAnswers = {{true, QStringLiteral("*.TXT")}, {true, QStringLiteral("*.*")}};
    commands().groupSelect(Side::Local);
    std::vector<int> txt = rows(Side::Local, {"a.txt", "b.txt"});
    std::sort(txt.begin(), txt.end());
    EXPECT_EQ(selected[Side::Local], txt);
    commands().groupSelect(Side::Remote);
    std::vector<int> dotted = rows(Side::Remote, {"a.txt", "c.txt"});
    std::sort(dotted.begin(), dotted.end());
    EXPECT_EQ(selected[Side::Remote], dotted) << "*.* does not take names without a dot";

    ui.compareIgnoreSize = false;
    commands().compareFolders();
    EXPECT_FALSE(read(controller->setup(), Keys::compareIgnoreSize));
    std::vector<int> l = rows(Side::Local, {"a.txt", "b.txt"}), r = rows(Side::Remote, {"a.txt", "c.txt"});
    std::sort(l.begin(), l.end());
    std::sort(r.begin(), r.end());
    EXPECT_EQ(selected[Side::Local], l);
    EXPECT_EQ(selected[Side::Remote], r);
    EXPECT_EQ(ui.compareQuestions, QStringList{local + QStringLiteral("|/")});
}

// SITE CHMOD on both servers: pyftpdlib changes the modes; vsftpd refuses anonymous users,
// which is reported and leaves the files as they were.
// The browser's commands against each real server.
class RealServerBrowser : public RealServerTest<ServerKind>, protected BrowserCommandsFixture {
protected:
    void SetUp() override
    {
        startServer(GetParam(), [this](RealFtpServer &server) { prepareServer(server); });
        if (!serverUp())
            return;
        setUpController(*m_server);
    }
    void TearDown() override
    {
        if (controller)
            controller->FormCloseQuery();
    }
    // Sets the server up before it starts.
    virtual void prepareServer(RealFtpServer &) {}
};

class ChangePermissions : public RealServerBrowser {};

std::string serverName(const ::testing::TestParamInfo<ServerKind> &info)
{
    return info.param == ServerKind::Pyftpdlib ? "pyftpdlib" : "vsftpd";
}

TEST_P(ChangePermissions, OneChmodPerSelectedEntryWithTheConfirmedCode)
{
    const QString folder = m_server->writablePath().isEmpty() ? QStringLiteral("/") : m_server->writablePath();
    const QString root = m_server->localWritable();
    makeFile(root + QStringLiteral("/p1.txt"));
    makeFile(root + QStringLiteral("/p2.txt"));
    QDir().mkpath(root + QStringLiteral("/pdir"));
    for (const char *n : {"/p1.txt", "/p2.txt", "/pdir"})
        QFile::setPermissions(root + QString::fromUtf8(n), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                               QFile::ReadGroup | QFile::ReadOther);
    connect(*m_server, normalizeRemotePath(folder));

    commands().changePermissions({});
    EXPECT_EQ(ui.messages, QStringList{QStringLiteral("No files or folders selected for permission change.")});
    ui.messages.clear();
    ui.permissionAnswer = QStringLiteral("0640");
    commands().changePermissions(rows(Side::Remote, {"p1.txt", "pdir"}));
    ASSERT_EQ(ui.permissionCodesShown.size(), 1);
    EXPECT_EQ(ui.permissionCodesShown[0], QStringLiteral("744"));
    ASSERT_TRUE(settled()) << shown();
    const auto mode = [&](const char *n) {
        struct stat st {};
        ::stat(QFile::encodeName(root + QString::fromUtf8(n)).constData(), &st);
        return st.st_mode & 0777;
    };
    if (GetParam() == ServerKind::Pyftpdlib) {
        EXPECT_EQ(mode("/p1.txt"), 0640u);
        EXPECT_EQ(mode("/pdir"), 0640u);
        EXPECT_TRUE(ui.messages.isEmpty()) << shown();
    } else {
        EXPECT_EQ(mode("/p1.txt"), 0744u);
        EXPECT_FALSE(ui.messages.isEmpty()) << "the refusal is reported";
    }
    EXPECT_EQ(mode("/p2.txt"), 0744u);
}

INSTANTIATE_TEST_SUITE_P(Servers, ChangePermissions, ::testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd),
                         serverName);

// A folder tree holding links to a folder outside it, listed as this program lists by
// default (machine listings where the server has them; pyftpdlib reports a link to a folder
// there as a folder, vsftpd has only LIST): downloading the tree fetches none of the outside
// files, and deleting it removes the links themselves, never what they point to.
class LinksInTrees : public RealServerBrowser {};

TEST_P(LinksInTrees, DownloadAndDeleteNeverGoThroughALinkToAFolder)
{
    const QString folder = m_server->writablePath().isEmpty() ? QStringLiteral("/") : m_server->writablePath();
    const QString root = m_server->localWritable();
    makeFile(root + QStringLiteral("/outside/keep.txt"), "keep");
    makeFile(root + QStringLiteral("/tree/a.txt"), "a");
    makeFile(root + QStringLiteral("/tree/sub/b.txt"), "b");
    // Relative targets: they resolve inside vsftpd's changed root too.
    ASSERT_TRUE(QFile::link(QStringLiteral("../outside"), root + QStringLiteral("/tree/up")));
    ASSERT_TRUE(QFile::link(QStringLiteral("../../outside"), root + QStringLiteral("/tree/sub/out")));
    ASSERT_TRUE(QFileInfo(root + QStringLiteral("/tree/sub/out/keep.txt")).exists());
    // vsftpd's anonymous user deletes only in folders anyone may write to.
    for (const char *f : {"/tree", "/tree/sub"})
        ASSERT_TRUE(QFile::setPermissions(root + QString::fromUtf8(f), QFileDevice::Permissions(0x7777)));
    connect(*m_server, normalizeRemotePath(folder));

    commands().receive(rows(Side::Remote, {"tree"}));
    ASSERT_TRUE(settled()) << shown();
    EXPECT_EQ(treeOf(local + QStringLiteral("tree")),
              (std::map<QString, QByteArray>{{QStringLiteral("/a.txt"), "a"},
                                             {QStringLiteral("/sub"), "<dir>"},
                                             {QStringLiteral("/sub/b.txt"), "b"}}));
    // The links left out are said, not passed over in silence.
    const QString said = ui.messages.join(u'|');
    EXPECT_TRUE(said.contains(QStringLiteral("/tree/up: links are not followed"))) << shown();
    EXPECT_TRUE(said.contains(QStringLiteral("/tree/sub/out: links are not followed"))) << shown();
    ui.messages.clear();

    relist();
    ui.confirmAnswers = {true};
    commands().deleteEntries(Side::Remote, rows(Side::Remote, {"tree"}));
    ASSERT_TRUE(settled()) << shown();
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/tree"))) << shown();
    EXPECT_EQ(readAll(root + QStringLiteral("/outside/keep.txt")), "keep");
    EXPECT_TRUE(ui.messages.isEmpty()) << shown();
}

INSTANTIATE_TEST_SUITE_P(Servers, LinksInTrees, ::testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd),
                         serverName);

// A web page (an ASCII mask) goes in text mode: the server stores its own line ends (LF on
// these servers, which convert CR LF), and the page comes back byte for byte.
class TextMode : public RealServerBrowser {
protected:
    void prepareServer(RealFtpServer &server) override { server.setConvertsText(true); }
};

TEST_P(TextMode, AWebPageWithLfLinesComesBackByteIdentical)
{
    const QString folder = m_server->writablePath().isEmpty() ? QStringLiteral("/") : m_server->writablePath();
    const QByteArray page("<html>\n<p>line</p>\n\n\tlast \n");
    makeFile(local + QStringLiteral("up/index.html"), page);
    makeFile(local + QStringLiteral("up/first.bin"), "bin");
    browsers().setLocalFolder(local + QStringLiteral("up/"));
    // One session, which a binary file leaves in binary mode: the page has to switch it.
    write(controller->setup(), Keys::simultaneousTransfers, 1);
    connect(*m_server, normalizeRemotePath(folder));
    QStringList log;
    QObject listening;
    QObject::connect(controller.get(), &MainController::logWritten, &listening,
                     [&](const QString &line) { log << line; });
    commands().send(rows(Side::Local, {"first.bin"}));
    ASSERT_TRUE(settled()) << shown();
    commands().send(rows(Side::Local, {"index.html"}));
    ASSERT_TRUE(settled()) << shown();
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/index.html")), page) << "stored with the server's line ends";

    QDir().mkpath(local + QStringLiteral("down"));
    browsers().setLocalFolder(local + QStringLiteral("down/"));
    relist();
    commands().receive(rows(Side::Remote, {"index.html"}));
    ASSERT_TRUE(settled()) << shown();
    EXPECT_EQ(readAll(local + QStringLiteral("down/index.html")), page);
    EXPECT_TRUE(ui.messages.isEmpty()) << shown();
    // The session's last type before the page went up: text, after binary for the other file.
    const QStringList types = log.filter(QRegularExpression(QStringLiteral("^>(TYPE |STOR )")));
    const qsizetype stor = types.indexOf(QRegularExpression(QStringLiteral("^>STOR .*index\\.html$")));
    ASSERT_GE(stor, 2) << types.join(u'|').toStdString();
    EXPECT_EQ(types.mid(0, stor).filter(QStringLiteral(">TYPE")).last(), QStringLiteral(">TYPE A"))
        << types.join(u'|').toStdString();
    EXPECT_TRUE(types.mid(0, stor).contains(QStringLiteral(">TYPE I"))) << types.join(u'|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Servers, TextMode, ::testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd), serverName);

// The local list follows what other programs do in the folder it shows, without a refresh;
// a folder that vanishes empties the list without a message box popping up by itself.
TEST(LocalListWatch, ChangesMadeElsewhereShowWithoutARefresh)
{
    TempHome home;
    RecordingUserInterface ui;
    MainController c(ui);
    BrowserController &b = c.browsers();
    const QString folder = home.path() + QStringLiteral("/watched/");
    makeFile(folder + QStringLiteral("first.txt"));
    b.setLocalFolder(folder);
    b.refreshLocalView();
    const auto names = [&] {
        QStringList n;
        for (const auto &e : b.state().lEntries)
            n << e.entry.name;
        n.sort();
        return n;
    };
    ASSERT_EQ(names(), QStringList{QStringLiteral("first.txt")});

    for (int i = 0; i < 20; ++i)
        makeFile(folder + QStringLiteral("burst%1.txt").arg(i, 2, 10, QLatin1Char('0')));
    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("first.txt")));
    EXPECT_TRUE(waitFor([&] { return names().size() == 20 && names().first() == QStringLiteral("burst00.txt"); }, 5000))
        << names().join(u' ').toStdString();

    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_TRUE(waitFor([&] { return names().isEmpty(); }, 5000)) << names().join(u' ').toStdString();
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u'|').toStdString();
}

TEST(BrowserCommandsOffline, RemoteCommandsDoNothingWhileNotLoggedIn)
{
    TempHome home;
    RecordingUserInterface ui;
    MainController c(ui);
    BrowserState &state = c.browsers().state();
    tFtpFolderEntryObject f;
    f.name = QStringLiteral("x.txt");
    state.storeListing(QStringLiteral("/"), {}, QString());
    c.browsers().setRemoteFolder(QStringLiteral("/"));
    state.findCachedFolder(QStringLiteral("/"))->folderEntries.push_back({f.name, f});
    c.browsers().refreshRemoteView();
    BrowserCommands &cmd = c.browserCommands();
    cmd.open(Side::Remote, {0});
    cmd.edit(Side::Remote, {0});
    cmd.rename(Side::Remote, {0});
    cmd.deleteEntries(Side::Remote, {0});
    cmd.newFolder(Side::Remote);
    cmd.receive({0});
    cmd.refresh(Side::Remote);
    cmd.goUp(Side::Remote);
    EXPECT_TRUE(c.queue().model().isEmpty());
    EXPECT_TRUE(ui.messages.isEmpty() && ui.questions.isEmpty() && ui.textPrompts.isEmpty());
    EXPECT_FALSE(cmd.menuState().remoteUsable);
}

} // namespace
