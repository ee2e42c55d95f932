// The queue pump on the headless controller against a real pyftpdlib server: which request
// each verb starts, on which session, and what keeps the pump from starting anything.
#include "app/MainController.h"
#include "settings/SettingsCatalogue.h"
#include "support/Entries.h"
#include "support/FtpServers.h"
#include "support/QueueTestPeer.h"
#include "support/RecordingUserInterface.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>

namespace {

int depthBelow(const QString &root)
{
    int deepest = 0;
    QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        deepest = std::max(deepest, static_cast<int>(it.next().mid(root.size()).count(QLatin1Char('/'))));
    return deepest;
}

class QueuePump : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.setLogCommands(true);
        ASSERT_TRUE(server.start()) << server.failure().toStdString();
        controller = std::make_unique<MainController>(ui);
        controller->FormCreate({});
        controller->tick().setEnabled(false); // the pump is run by hand here
        controller->tick().timerTimer();
        QObject::connect(&sessions(), &SessionSupervisor::requestDone, controller.get(),
                         [this](tkftpclient *s, RemoteRequest, int error) {
                             done.push_back({s, error});
                         });
        remoteRoot = server.localWritable();
        // Folders go as machine listings here; one test switches back to LIST.
        write(controller->setup(), Keys::useMlsd, true);
        local = home.path() + QStringLiteral("/local/");
        QDir().mkpath(local);
    }
    void TearDown() override
    {
        if (controller)
            controller->FormCloseQuery();
    }

    SessionSupervisor &sessions() { return controller->sessions(); }
    QueueController &queue() { return controller->queue(); }

    // Logs both sessions in (the transfer session only with RavuzAro on).
    void connect(bool ravuzAro = false)
    {
        SessionSupervisor &s = sessions();
        s.setRavuzAro(ravuzAro);
        s.setCurrentSite(siteOf(server));
        s.setConnectionWanted(true);
        controller->browsers().setRemoteFolder(QStringLiteral("/"));
        s.timer_threads();
        for (tkftpclient *session :
             ravuzAro ? std::vector{s.mainSession(), s.xferSession()} : std::vector{s.mainSession()})
            ASSERT_TRUE(waitFor([&] { return session->loggedIn && session->idleState(); }, 15000));
        // The login lists the site's folder; wait until that is done.
        ASSERT_TRUE(settled());
        commandsSeen = server.receivedCommands().size();
    }
    // The queue is empty (or paused with nothing running) and both sessions are idle.
    bool settled(int ms = 15000)
    {
        return waitFor(
            [&] {
                queue().timer_checkQueue();
                for (tkftpclient *s : {sessions().mainSession(), sessions().xferSession()}) {
                    if (s->busy() || (s->IsConnected() && s->State() != TFtpEngineState::stReady))
                        return false;
                }
                return queue().model().isEmpty() || queue().model().isPaused();
            },
            ms);
    }
    // Commands the server received since the last call; the data connection's set-up
    // (PASV, EPSV, PORT, EPRT) is left out.
    QStringList newCommands()
    {
        const QStringList all = server.receivedCommands();
        QStringList fresh;
        for (const QString &c : all.mid(commandsSeen)) {
            if (!c.startsWith(QLatin1String("PASV")) && !c.startsWith(QLatin1String("EPSV")) &&
                !c.startsWith(QLatin1String("PORT")) && !c.startsWith(QLatin1String("EPRT")))
                fresh << c;
        }
        commandsSeen = all.size();
        return fresh;
    }
    // Runs the pump once and waits for the request it started to end.
    bool pumpAndWait()
    {
        const size_t before = done.size();
        queue().timer_checkQueue();
        return waitFor([&] { return done.size() > before; }, 10000);
    }

    struct Done {
        tkftpclient *session;
        int error;
    };

    TempHome home;
    RecordingUserInterface ui;
    PyftpdlibServer server;
    std::unique_ptr<MainController> controller;
    std::vector<Done> done;
    qsizetype commandsSeen = 0;
    QString remoteRoot;
    QString local;
};

TEST_F(QueuePump, EachVerbRunsItsCommandsToTheEnd)
{
    makeFile(remoteRoot + QStringLiteral("/a.txt"));
    makeFile(remoteRoot + QStringLiteral("/b.txt"), QByteArray("bbbb"));
    makeFile(remoteRoot + QStringLiteral("/d.bin"), QByteArray(5000, '\x01'));
    makeFile(remoteRoot + QStringLiteral("/page.php"), QByteArray("<?php\n"));
    makeFile(remoteRoot + QStringLiteral("/tree/sub/f.txt"));
    QDir().mkpath(remoteRoot + QStringLiteral("/gone"));
    QDir().mkpath(remoteRoot + QStringLiteral("/kept"));
    makeFile(local + QStringLiteral("up.txt"), QByteArray("uploaded"));
    connect();
    // Refreshes after changes are left out here; they have a test of their own.
    write(controller->setup(), Keys::autoRefreshFolders, false);
    struct Case {
        QString command;
        tFolderEntryObject entry;
        QStringList sent;
    };
    const Case cases[] = {
        // A machine listing that shows folders is followed by LIST, which tells links apart
        // (in a folder transfer or deletion, one that shows any entry).
        {QStringLiteral("list*/*@refresh"),
         {},
         {QStringLiteral("CWD /"), QStringLiteral("PWD"), QStringLiteral("MLSD"), QStringLiteral("LIST -a")}},
        {QStringLiteral("makefolder*/new folder"), {}, {QStringLiteral("MKD /new folder")}},
        {QStringLiteral("deletefile*/a.txt"), entryNamed(QStringLiteral("a.txt"), 4), {QStringLiteral("DELE /a.txt")}},
        {QStringLiteral("deletefolder*/gone*@folderempty"), {}, {QStringLiteral("RMD /gone")}},
        // A tree is listed level by level, its files deleted, then its folders deepest first.
        {QStringLiteral("deletefolder*/tree"),
         {},
         {QStringLiteral("CWD /tree"), QStringLiteral("PWD"), QStringLiteral("MLSD"), QStringLiteral("LIST -a"),
          QStringLiteral("CWD /tree/sub"), QStringLiteral("PWD"), QStringLiteral("MLSD"), QStringLiteral("LIST -a"),
          QStringLiteral("DELE /tree/sub/f.txt"), QStringLiteral("RMD /tree/sub"), QStringLiteral("RMD /tree"),
          // ... and the folder on show is listed again; it is cached, so PWD is enough.
          QStringLiteral("CWD /"), QStringLiteral("PWD")}},
        {QStringLiteral("renamefile*/b.txt*/c.txt"),
         entryNamed(QStringLiteral("b.txt"), 4),
         {QStringLiteral("RNFR /b.txt"), QStringLiteral("RNTO /c.txt")}},
        {QStringLiteral("chmodfile*/c.txt*600"), {}, {QStringLiteral("SITE CHMOD 600 /c.txt")}},
        // The session is in ASCII mode after the listings: a binary file needs TYPE I first.
        {QStringLiteral("GETFILE*/d.bin*") + local + QStringLiteral("d.bin"),
         entryNamed(QStringLiteral("d.bin"), 5000),
         {QStringLiteral("TYPE I"), QStringLiteral("RETR /d.bin")}},
        // ... and then an ASCII-masked file needs TYPE A.
        {QStringLiteral("getfile*/page.php*") + local + QStringLiteral("page.php"),
         entryNamed(QStringLiteral("page.php"), 6),
         {QStringLiteral("TYPE A"), QStringLiteral("RETR /page.php")}},
        // An upload into a folder the queue has not listed asks for the remote size first,
        // in binary mode (servers refuse SIZE in ASCII mode); no such file: it is sent.
        {QStringLiteral("putfile*") + local + QStringLiteral("up.txt*/kept/up.txt"),
         entryNamed(QStringLiteral("up.txt"), 8),
         {QStringLiteral("TYPE I"), QStringLiteral("SIZE /kept/up.txt"), QStringLiteral("STOR /kept/up.txt")}},
        // Into a folder whose listing is cached and shows no such name, it is sent at once.
        {QStringLiteral("putfile*") + local + QStringLiteral("up.txt*/up.txt"),
         entryNamed(QStringLiteral("up.txt"), 8),
         {QStringLiteral("STOR /up.txt")}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command.toStdString());
        QueueItem *item = queue().addToQueue(c.command, c.entry.name.isEmpty() ? nullptr : &c.entry);
        ASSERT_NE(item, nullptr);
        ASSERT_TRUE(settled());
        EXPECT_FALSE(queue().model().isPaused()) << ui.messages.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(queue().model().isEmpty());
        EXPECT_EQ(newCommands(), c.sent);
    }
    EXPECT_TRUE(QDir(remoteRoot + QStringLiteral("/new folder")).exists());
    EXPECT_FALSE(QFile::exists(remoteRoot + QStringLiteral("/a.txt")));
    EXPECT_FALSE(QDir(remoteRoot + QStringLiteral("/tree")).exists());
    EXPECT_FALSE(QDir(remoteRoot + QStringLiteral("/gone")).exists());
    EXPECT_EQ(QFileInfo(remoteRoot + QStringLiteral("/c.txt")).permissions() & QFileDevice::ReadOther, 0);
    EXPECT_EQ(QFileInfo(local + QStringLiteral("d.bin")).size(), 5000);
    EXPECT_EQ(QFileInfo(remoteRoot + QStringLiteral("/up.txt")).size(), 8);
    EXPECT_EQ(QFileInfo(remoteRoot + QStringLiteral("/kept/up.txt")).size(), 8);
    EXPECT_EQ(read(controller->setup(), Keys::statFilesReceived), 2);
    EXPECT_EQ(read(controller->setup(), Keys::statFilesSent), 2);
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
}

TEST_F(QueuePump, StopMarkPausesAndAPausedQueueStillListsFolders)
{
    connect();
    // With machine listings switched off, folders are listed with LIST.
    write(controller->setup(), Keys::useMlsd, false);
    QueueModel &model = queue().model();
    const tFolderEntryObject file = entryNamed(QStringLiteral("x.bin"), 4);
    queue().addToQueue(QStringLiteral("stopqueue"));
    queue().addToQueue(QStringLiteral("getfile*/x.bin*") + local + QStringLiteral("x.bin"), &file);
    queue().timer_checkQueue();
    EXPECT_TRUE(model.isPaused());
    ASSERT_EQ(model.itemCount(), 1) << "the stop mark is gone, the download waits";
    queue().timer_checkQueue();
    EXPECT_FALSE(model.itemAt(0)->running());

    // A list behind the waiting download does not start; at the front it does.
    queue().addToQueue(QStringLiteral("list*/*@refresh"));
    queue().timer_checkQueue();
    EXPECT_FALSE(model.itemAt(1)->running());
    queue().addToQueue(QStringLiteral("list*/*@refresh"), nullptr, true);
    ASSERT_TRUE(settled());
    EXPECT_EQ(newCommands(), (QStringList{QStringLiteral("CWD /"), QStringLiteral("PWD"), QStringLiteral("LIST")}));
    ASSERT_EQ(model.itemCount(), 2);
    EXPECT_EQ(model.itemAt(0)->verb(), QueueVerb::GetFile);
    EXPECT_EQ(model.itemAt(0)->statusText, QStringLiteral("Queued"));
}

TEST_F(QueuePump, RavuzAroSendsTransfersToTheTransferSessionAndKeepsTheOrder)
{
    makeFile(remoteRoot + QStringLiteral("/one.bin"));
    connect(true);
    QueueModel &model = queue().model();
    std::vector<std::pair<QueueVerb, tkftpclient *>> started;
    QObject::connect(&model, &QueueModel::itemStarted, &model, [&](const QModelIndex &index) {
        const QueueItem *item = model.itemOf(index);
        started.emplace_back(item->verb(), sessions().mainSession()->currentItem() == item ? sessions().mainSession()
                                                                                           : sessions().xferSession());
    });
    const tFolderEntryObject one = entryNamed(QStringLiteral("one.bin"), 4);
    queue().addToQueue(QStringLiteral("getfile*/one.bin*") + local + QStringLiteral("one.bin"), &one);
    queue().addToQueue(QStringLiteral("list*/*@refresh"));
    ASSERT_TRUE(settled());
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0], std::make_pair(QueueVerb::GetFile, sessions().xferSession()));
    EXPECT_EQ(started[1], std::make_pair(QueueVerb::List, sessions().mainSession()));
    EXPECT_TRUE(QFile::exists(local + QStringLiteral("one.bin")));

    // While the transfer session is busy the next download waits, and so does the list
    // behind it; a list at the front runs on the main session meanwhile.
    tkftpclient *xfer = sessions().xferSession();
    QueueItem *holder = queue().addToQueue(QStringLiteral("getfile*/one.bin*") + local + QStringLiteral("h.bin"), &one);
    QueueTestPeer::bind(queue(), *holder, *xfer);
    QueueItem *second = queue().addToQueue(QStringLiteral("getfile*/one.bin*") + local + QStringLiteral("2.bin"), &one);
    QueueItem *behind = queue().addToQueue(QStringLiteral("list*/*@refresh"));
    queue().timer_checkQueue();
    EXPECT_FALSE(second->running());
    EXPECT_FALSE(behind->running());
    QueueItem *front = queue().addToQueue(QStringLiteral("list*/*@refresh"), nullptr, true);
    queue().timer_checkQueue();
    EXPECT_EQ(sessions().mainSession()->currentItem(), front);
    EXPECT_EQ(model.rowOf(front), 0);
    model.removeItem(holder);
    EXPECT_EQ(xfer->currentItem(), nullptr);
    ASSERT_TRUE(settled());
    EXPECT_TRUE(model.isEmpty());
}

TEST_F(QueuePump, APromptKeepsThePumpStillAndItsItemMayVanishMeanwhile)
{
    connect();
    makeFile(local + QStringLiteral("exists.bin"), QByteArray(10, 'x'));
    const tFolderEntryObject big = entryNamed(QStringLiteral("exists.bin"), 100);
    QueueModel &model = queue().model();
    QueueItem *asked =
        queue().addToQueue(QStringLiteral("getfile*/exists.bin*") + local + QStringLiteral("exists.bin"), &big);
    const std::uint64_t askedId = asked->id();
    bool stillInside = false;
    ui.onOverwrite = [&] {
        EXPECT_TRUE(queue().promptOpen());
        // Ticks go on while the prompt is open: a list at the front must not start.
        QueueItem *list = queue().addToQueue(QStringLiteral("list*/*@refresh"), nullptr, true);
        queue().timer_checkQueue();
        stillInside = !list->running();
        model.removeItem(list);
        // The user deletes the item the prompt is about.
        model.removeItem(model.itemById(askedId));
    };
    queue().timer_checkQueue();
    EXPECT_TRUE(stillInside);
    ASSERT_EQ(ui.overwriteQuestions.size(), 1u);
    EXPECT_TRUE(ui.overwriteQuestions[0].resumeEnabled) << "10 of 100 bytes are here";
    EXPECT_EQ(ui.overwriteQuestions[0].defaultChoice, OverwriteChoice::Resume);
    EXPECT_FALSE(queue().promptOpen());
    EXPECT_EQ(model.itemCount(), 0);
    EXPECT_EQ(sessions().mainSession()->currentItem(), nullptr);
    EXPECT_EQ(newCommands(), QStringList()) << "nothing was started for the vanished item";
}

TEST_F(QueuePump, SkippingThousandsOfExistingFilesTakesOneRunAndFilesNotThereAreFetched)
{
    makeFile(remoteRoot + QStringLiteral("/missing.bin"));
    connect();
    QueueModel &model = queue().model();
    const int count = 3000;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("f%1.bin").arg(i);
        makeFile(local + name);
        const tFolderEntryObject e = entryNamed(name, 4);
        QueueItem *item = queue().addToQueue(QStringLiteral("getfile*/") + name + QLatin1Char('*') + local + name, &e);
        item->transferAction = TransferAction::Skip;
    }
    // Skip with no local file is no reason to drop it: it is downloaded.
    const tFolderEntryObject missing = entryNamed(QStringLiteral("missing.bin"), 4);
    QueueItem *last =
        queue().addToQueue(QStringLiteral("getfile*/missing.bin*") + local + QStringLiteral("missing.bin"), &missing);
    last->transferAction = TransferAction::Skip;
    queue().timer_checkQueue();
    ASSERT_EQ(model.itemCount(), 1);
    EXPECT_EQ(model.itemAt(0), last);
    EXPECT_EQ(sessions().mainSession()->currentItem(), last);
    ASSERT_TRUE(settled());
    EXPECT_TRUE(model.isEmpty());
    EXPECT_EQ(QFileInfo(local + QStringLiteral("missing.bin")).size(), 4);
}

// Every file and folder under root, relative, with the bytes of each file.
std::map<QString, QByteArray> treeOf(const QString &root)
{
    std::map<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(root.size());
        tree[relative] = QFileInfo(path).isDir() ? QByteArray("<folder>") : readAll(path);
    }
    return tree;
}

TEST_F(QueuePump, OverwritePromptAnswersDecideWhatHappensToTheLocalFile)
{
    const QByteArray remoteBytes("0123456789abcdef");
    makeFile(remoteRoot + QStringLiteral("/r.bin"), remoteBytes);
    connect();
    struct Case {
        const char *name;
        QByteArray localBytes;
        std::optional<OverwriteAnswer> answer; // none: the countdown takes the default
        OverwriteChoice expectedDefault;
        QByteArray after;
        QStringList sent;
    };
    const Case cases[] = {
        {"resume",
         "0123",
         OverwriteAnswer{OverwriteChoice::Resume, false},
         OverwriteChoice::Resume,
         remoteBytes,
         {QStringLiteral("REST 4"), QStringLiteral("RETR /r.bin")}},
        {"overwrite",
         "zzzz",
         OverwriteAnswer{OverwriteChoice::Overwrite, false},
         OverwriteChoice::Resume,
         remoteBytes,
         {QStringLiteral("RETR /r.bin")}},
        {"skip", "zzzz", OverwriteAnswer{OverwriteChoice::Skip, false}, OverwriteChoice::Resume, "zzzz", {}},
        {"timed-default-resumes",
         "01234567",
         std::nullopt,
         OverwriteChoice::Resume,
         remoteBytes,
         {QStringLiteral("REST 8"), QStringLiteral("RETR /r.bin")}},
        // As large as the remote file: nothing to resume, the default skips.
        {"timed-default-skips", "ffffffffffffffff", std::nullopt, OverwriteChoice::Skip, "ffffffffffffffff", {}},
    };
    const tFolderEntryObject e = entryNamed(QStringLiteral("r.bin"), remoteBytes.size());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString target = local + QStringLiteral("r.bin");
        QFile::remove(target);
        makeFile(target, c.localBytes);
        ui.overwriteQuestions.clear();
        if (c.answer)
            ui.overwriteAnswers.push_back(*c.answer);
        queue().addToQueue(QStringLiteral("getfile*/r.bin*") + target, &e);
        ASSERT_TRUE(settled());
        ASSERT_EQ(ui.overwriteQuestions.size(), 1u);
        EXPECT_EQ(ui.overwriteQuestions[0].defaultChoice, c.expectedDefault);
        EXPECT_EQ(readAll(target), c.after);
        QStringList sent = newCommands();
        sent.removeAll(QStringLiteral("TYPE I"));
        EXPECT_EQ(sent, c.sent);
        EXPECT_TRUE(queue().model().isEmpty());
    }

    // "Apply to all": the second existing file is not asked about.
    makeFile(local + QStringLiteral("one"), "old");
    makeFile(local + QStringLiteral("two"), "old");
    ui.overwriteQuestions.clear();
    ui.overwriteAnswers.push_back({OverwriteChoice::Overwrite, true});
    queue().addToQueue(QStringLiteral("getfile*/r.bin*") + local + QStringLiteral("one"), &e);
    queue().addToQueue(QStringLiteral("getfile*/r.bin*") + local + QStringLiteral("two"), &e);
    ASSERT_TRUE(settled());
    EXPECT_EQ(ui.overwriteQuestions.size(), 1u);
    EXPECT_EQ(readAll(local + QStringLiteral("one")), remoteBytes);
    EXPECT_EQ(readAll(local + QStringLiteral("two")), remoteBytes);
}

TEST_F(QueuePump, AFileThatChangedSinceItWasListedArrivesWholeAndIsDone)
{
    makeFile(remoteRoot + QStringLiteral("/changed.bin"), QByteArray(12, 's'));
    connect();
    // The listing said 6 bytes; the file has 12 now. The server's size at transfer time
    // decides: it arrived whole.
    const tFolderEntryObject e = entryNamed(QStringLiteral("changed.bin"), 6);
    std::vector<QueueOutcome::Kind> outcomes;
    QObject listening;
    QObject::connect(&queue(), &QueueController::itemFinished, &listening,
                     [&](std::uint64_t, const QueueOutcome &o) { outcomes.push_back(o.kind); });
    queue().addToQueue(QStringLiteral("getfile*/changed.bin*") + local + QStringLiteral("changed.bin"), &e);
    ASSERT_TRUE(settled());
    EXPECT_EQ(outcomes, std::vector{QueueOutcome::Kind::Done});
    EXPECT_TRUE(queue().model().isEmpty());
    EXPECT_FALSE(queue().model().isPaused());
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u'|').toStdString();
    EXPECT_EQ(QFileInfo(local + QStringLiteral("changed.bin")).size(), 12);
    EXPECT_EQ(read(controller->setup(), Keys::statFilesReceived), 1);
    EXPECT_TRUE(newCommands().contains(QStringLiteral("SIZE /changed.bin")));
}

// Every verb ends with one typed outcome, after exactly the commands it needs.
TEST_F(QueuePump, EachVerbEndsWithItsOutcomeAfterItsCommands)
{
    using Kind = QueueOutcome::Kind;
    makeFile(remoteRoot + QStringLiteral("/get.bin"), QByteArray(300, 'g'));
    makeFile(remoteRoot + QStringLiteral("/old.txt"));
    makeFile(remoteRoot + QStringLiteral("/gone.txt"));
    makeFile(remoteRoot + QStringLiteral("/mode.txt"));
    makeFile(local + QStringLiteral("up.bin"), QByteArray(70, 'u'));
    makeFile(local + QStringLiteral("kept.bin"), "mine");
    connect();
    struct Row {
        const char *name;
        QString command;
        std::optional<tFolderEntryObject> entry;
        std::function<void(QueueItem &)> prepare;
        Kind outcome;
        QStringList commands;
    };
    const std::vector<Row> rows = {
        {"download",
         QStringLiteral("getfile*/get.bin*") + local + QStringLiteral("get.bin"),
         entryNamed(QStringLiteral("get.bin"), 300),
         {},
         Kind::Done,
         {QStringLiteral("RETR /get.bin")}},
        {"download of a missing file",
         QStringLiteral("getfile*/none.bin*") + local + QStringLiteral("none.bin"),
         entryNamed(QStringLiteral("none.bin"), 3),
         {},
         Kind::Failed,
         {QStringLiteral("RETR /none.bin")}},
        {"download into a local folder that is not there",
         QStringLiteral("getfile*/get.bin*") + local + QStringLiteral("not/there/get.bin"),
         entryNamed(QStringLiteral("get.bin"), 300),
         {},
         Kind::Failed,
         {}},
        {"download skipped",
         QStringLiteral("getfile*/get.bin*") + local + QStringLiteral("kept.bin"),
         entryNamed(QStringLiteral("get.bin"), 300),
         [](QueueItem &i) { i.transferAction = TransferAction::Skip; },
         Kind::Skipped,
         {}},
        {"download stopped",
         QStringLiteral("getfile*/get.bin*") + local + QStringLiteral("stop.bin"),
         entryNamed(QStringLiteral("get.bin"), 300),
         [](QueueItem &i) { i.stopRequested = true; },
         Kind::Stopped,
         {QStringLiteral("RETR /get.bin")}},
        // The login listed "/" without this name: no size question.
        {"upload",
         QStringLiteral("putfile*") + local + QStringLiteral("up.bin*/up.bin"),
         entryNamed(QStringLiteral("up.bin"), 70),
         {},
         Kind::Done,
         {QStringLiteral("STOR /up.bin")}},
        {"make folder",
         QStringLiteral("makefolder*/made"),
         std::nullopt,
         {},
         Kind::Done,
         {QStringLiteral("MKD /made")}},
        {"make folder refused",
         QStringLiteral("makefolder*/no/such/made"),
         std::nullopt,
         {},
         Kind::Failed,
         {QStringLiteral("MKD /no/such/made")}},
        {"rename",
         QStringLiteral("renamefile*/old.txt*/new.txt"),
         entryNamed(QStringLiteral("old.txt"), 4),
         {},
         Kind::Done,
         {QStringLiteral("RNFR /old.txt"), QStringLiteral("RNTO /new.txt")}},
        {"delete",
         QStringLiteral("deletefile*/gone.txt"),
         entryNamed(QStringLiteral("gone.txt"), 4),
         {},
         Kind::Done,
         {QStringLiteral("DELE /gone.txt")}},
        {"delete of a missing file",
         QStringLiteral("deletefile*/gone.txt"),
         entryNamed(QStringLiteral("gone.txt"), 4),
         {},
         Kind::Failed,
         {QStringLiteral("DELE /gone.txt")}},
        {"permissions",
         QStringLiteral("chmodfile*/mode.txt*600"),
         std::nullopt,
         {},
         Kind::Done,
         {QStringLiteral("SITE CHMOD 600 /mode.txt")}},
        {"remove empty folder",
         QStringLiteral("deletefolder*/made*@folderempty"),
         std::nullopt,
         {},
         Kind::Done,
         {QStringLiteral("RMD /made")}},
    };
    write(controller->setup(), Keys::autoRefreshFolders, false);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<QueueOutcome> outcomes;
        const QMetaObject::Connection c =
            QObject::connect(&queue(), &QueueController::itemFinished, controller.get(),
                             [&](std::uint64_t, const QueueOutcome &o) { outcomes.push_back(o); });
        newCommands();
        QueueItem *item = queue().addToQueue(row.command, row.entry ? &*row.entry : nullptr);
        ASSERT_TRUE(item);
        if (row.prepare)
            row.prepare(*item);
        ASSERT_TRUE(settled());
        QObject::disconnect(c);
        ASSERT_EQ(outcomes.size(), 1u);
        EXPECT_EQ(outcomes[0].kind, row.outcome) << QueueOutcome::name(outcomes[0].kind);
        if (row.outcome == Kind::Failed) {
            EXPECT_FALSE(outcomes[0].text.isEmpty());
        }
        QStringList sent = newCommands();
        sent.removeAll(QStringLiteral("TYPE I"));
        sent.removeAll(QStringLiteral("TYPE A"));
        EXPECT_EQ(sent, row.commands) << sent.join(u'|').toStdString();
        // A failure pauses the queue and leaves a transfer for a retry; start afresh.
        queue().model().removeAll();
        queue().model().setPaused(false);
    }
}

// Downloading or deleting a folder a second time on the same connection is new work, not a
// loop.
TEST_F(QueuePump, AFolderCanBeDownloadedAndDeletedAgainOnTheSameConnection)
{
    makeFile(remoteRoot + QStringLiteral("/d/one.txt"));
    makeFile(remoteRoot + QStringLiteral("/d/sub/two.txt"));
    connect();
    tFolderEntryObject folder = entryNamed(QStringLiteral("d"), 0);
    folder.isFolder = true;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        queue().addToQueue(QStringLiteral("getfolder*/d*") + local + QStringLiteral("d") + QString::number(round),
                           &folder);
        ASSERT_TRUE(settled());
        EXPECT_TRUE(queue().model().isEmpty());
        EXPECT_FALSE(queue().model().isPaused());
        EXPECT_TRUE(QFile::exists(local + QStringLiteral("d%1/sub/two.txt").arg(round)));
    }
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u'|').toStdString();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        makeFile(remoteRoot + QStringLiteral("/d/sub/two.txt"));
        queue().addToQueue(QStringLiteral("deletefolder*/d"));
        ASSERT_TRUE(settled());
        EXPECT_FALSE(queue().model().isPaused());
        EXPECT_FALSE(QFileInfo::exists(remoteRoot + QStringLiteral("/d")));
        makeFile(remoteRoot + QStringLiteral("/d/one.txt"));
    }
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u'|').toStdString();
}

// Text mode turns the wire's CR LF into this system's LF and back: a file with LF lines
// comes back byte for byte, also when a CR LF is split between two reads.
TEST_F(QueuePump, ATextFileTravelsUnchangedThroughAnAsciiRoundTrip)
{
    makeFile(remoteRoot + QStringLiteral("/x.bin"), "xx");
    connect();
    const QByteArray text("<html>\n<p>line</p>\n\nlast\n");
    const tFolderEntryObject bin = entryNamed(QStringLiteral("x.bin"), 2);
    for (const int block : {256 * 1024, 1}) {
        SCOPED_TRACE(block);
        sessions().mainSession()->DataReceiveBlock = block;
        // A binary file first, so the text file has to switch the session to text mode.
        queue().addToQueue(QStringLiteral("getfile*/x.bin*") + local + QStringLiteral("x.bin"), &bin)->transferAction =
            TransferAction::Overwrite;
        ASSERT_TRUE(settled());
        makeFile(local + QStringLiteral("index.html"), text);
        const tFolderEntryObject up = entryNamed(QStringLiteral("index.html"), text.size());
        queue()
            .addToQueue(QStringLiteral("putfile*") + local + QStringLiteral("index.html*/index.html"), &up)
            ->transferAction = TransferAction::Overwrite;
        ASSERT_TRUE(settled());
        ASSERT_TRUE(queue().model().isEmpty());
        QFile::remove(local + QStringLiteral("index.html"));
        queue().addToQueue(QStringLiteral("getfile*/index.html*") + local + QStringLiteral("back.html"), &up);
        ASSERT_TRUE(settled());
        ASSERT_TRUE(queue().model().isEmpty()) << ui.messages.join(u'|').toStdString();
        EXPECT_EQ(readAll(local + QStringLiteral("back.html")), text);
        EXPECT_TRUE(newCommands().contains(QStringLiteral("TYPE A")));
        QFile::remove(local + QStringLiteral("back.html"));
    }
}

// An upload asks the server for its target's size only where a file may be there: not in
// folders this connection made, not for a name the fresh listing of its folder lacks. Where
// one may be, the overwrite question and the resume are as before.
TEST_F(QueuePump, AnUploadAsksForTheRemoteSizeOnlyWhereAFileMayBeThere)
{
    const QByteArray whole = QByteArray("0123456789").repeated(100);
    makeFile(remoteRoot + QStringLiteral("/old/a.bin"), "remote a");
    makeFile(remoteRoot + QStringLiteral("/old/Case.bin"), "remote Case");
    makeFile(remoteRoot + QStringLiteral("/old/part.bin"), whole.left(400));
    makeFile(remoteRoot + QStringLiteral("/unlisted/u.bin"), "remote u");
    makeFile(remoteRoot + QStringLiteral("/there/f1.bin"), "remote f1");
    const QString tree = local + QStringLiteral("tree");
    for (const char *name : {"/f1.bin", "/f2.bin", "/sub/f3.bin", "/sub/deeper/f4.bin"})
        makeFile(tree + QLatin1String(name), QByteArray(name).repeated(50));
    for (const char *name : {"b.bin", "a.bin", "case.bin", "part.bin", "u.bin"})
        makeFile(local + QLatin1String(name), whole);
    connect();
    write(controller->setup(), Keys::autoRefreshFolders, false);
    queue().addToQueue(QStringLiteral("list*/old/*@refresh"));
    ASSERT_TRUE(settled());
    newCommands();

    // A tree into a folder that is not there yet: its folders are made, its files sent.
    const tFolderEntryObject folder = entryNamed(QStringLiteral("tree"), -1, true);
    ASSERT_TRUE(queue().addToQueue(QStringLiteral("putfolder*") + tree + QStringLiteral("*/made"), &folder));
    ASSERT_TRUE(settled());
    ASSERT_TRUE(queue().model().isEmpty()) << ui.messages.join(u'|').toStdString();
    QStringList sent = newCommands();
    EXPECT_EQ(sent.filter(QRegularExpression(QStringLiteral("^STOR /made/"))).size(), 4)
        << sent.join(u'|').toStdString();
    EXPECT_TRUE(sent.filter(QStringLiteral("SIZE")).isEmpty()) << sent.join(u'|').toStdString();
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/made/sub/deeper/f4.bin")),
              QByteArray("/sub/deeper/f4.bin").repeated(50));
    // Into a folder that is there already (its MKD refused): its own files are asked about
    // (those of its new subfolders are not), and the one that exists gets the question.
    ui.overwriteAnswers.push_back({OverwriteChoice::Skip, false});
    ASSERT_TRUE(queue().addToQueue(QStringLiteral("putfolder*") + tree + QStringLiteral("*/there"), &folder));
    ASSERT_TRUE(settled());
    ASSERT_TRUE(queue().model().isEmpty()) << ui.messages.join(u'|').toStdString();
    sent = newCommands();
    QStringList sizes = sent.filter(QRegularExpression(QStringLiteral("^SIZE ")));
    sizes.sort(); // two sessions send them side by side
    EXPECT_EQ(sizes, (QStringList{QStringLiteral("SIZE /there/f1.bin"), QStringLiteral("SIZE /there/f2.bin")}))
        << sent.join(u'|').toStdString();
    EXPECT_EQ(ui.overwriteQuestions.size(), 1u);
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/there/f1.bin")), "remote f1");
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/there/sub/f3.bin")), QByteArray("/sub/f3.bin").repeated(50));

    struct Case {
        const char *name;
        QString from, to;
        std::optional<OverwriteAnswer> answer; // the question is expected
        bool asksSize;
        QByteArray after;
    };
    const Case cases[] = {
        {"a name the listing lacks", QStringLiteral("b.bin"), QStringLiteral("/old/b.bin"), {}, false, whole},
        {"a listed file", QStringLiteral("a.bin"), QStringLiteral("/old/a.bin"),
         OverwriteAnswer{OverwriteChoice::Skip, false}, true, "remote a"},
        // A server that ignores letter case would find Case.bin: asked, and this one has none.
        {"a listed name in other letters",
         QStringLiteral("case.bin"),
         QStringLiteral("/old/case.bin"),
         {},
         true,
         whole},
        {"a listed partial file resumed", QStringLiteral("part.bin"), QStringLiteral("/old/part.bin"),
         OverwriteAnswer{OverwriteChoice::Resume, false}, true, whole},
        {"a folder not listed", QStringLiteral("u.bin"), QStringLiteral("/unlisted/u.bin"),
         OverwriteAnswer{OverwriteChoice::Overwrite, false}, true, whole},
        {"a file this connection sent into a folder it made", QStringLiteral("u.bin"), QStringLiteral("/made/f1.bin"),
         OverwriteAnswer{OverwriteChoice::Overwrite, false}, true, whole},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ui.overwriteQuestions.clear();
        if (c.answer)
            ui.overwriteAnswers.push_back(*c.answer);
        const tFolderEntryObject e = entryNamed(c.from, whole.size());
        ASSERT_TRUE(queue().addToQueue(QStringLiteral("putfile*") + local + c.from + QLatin1Char('*') + c.to, &e));
        ASSERT_TRUE(settled());
        EXPECT_TRUE(queue().model().isEmpty());
        sent = newCommands();
        EXPECT_EQ(sent.contains(QStringLiteral("SIZE ") + c.to), c.asksSize) << sent.join(u'|').toStdString();
        EXPECT_EQ(ui.overwriteQuestions.size(), c.answer ? 1u : 0u);
        EXPECT_EQ(readAll(remoteRoot + c.to), c.after);
        if (c.answer && c.answer->choice == OverwriteChoice::Resume) {
            EXPECT_TRUE(sent.contains(QStringLiteral("REST 400"))) << sent.join(u'|').toStdString();
        }
    }
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u'|').toStdString();
}

// "When empty: Disconnect from site" is the user's Disconnect: its log line, and the
// session closed as asked for, not retried.
TEST_F(QueuePump, WhenEmptyDisconnectRunsTheDisconnectCommand)
{
    connect();
    QStringList log;
    // Ends with the test body: the shut-down in TearDown logs too, after `log` is gone.
    QObject listening;
    QObject::connect(controller.get(), &MainController::logWritten, &listening,
                     [&](const QString &line) { log << line; });
    queue().model().setWhenXferDone(QueueModel::WhenEmpty::Disconnect);
    queue().addToQueue(QStringLiteral("makefolder*/bye"));
    ASSERT_TRUE(waitFor(
        [&] {
            queue().timer_checkQueue();
            return sessions().isFullyDisconnected();
        },
        15000));
    EXPECT_TRUE(log.contains(QString(QChar(0xA7)) + QStringLiteral("Connection to server closed.")))
        << log.join(u'|').toStdString();
    EXPECT_FALSE(sessions().retryPending());
}

TEST_F(QueuePump, ARefusedDownloadLeavesTheLocalFileAsItWas)
{
    connect();
    makeFile(local + QStringLiteral("keep.txt"), "precious");
    const tFolderEntryObject e = entryNamed(QStringLiteral("keep.txt"), 4);
    QueueItem *item =
        queue().addToQueue(QStringLiteral("getfile*/nowhere.txt*") + local + QStringLiteral("keep.txt"), &e);
    item->transferAction = TransferAction::Overwrite; // overwrite without asking
    ASSERT_TRUE(settled());
    EXPECT_EQ(item->statusText, QStringLiteral("Error"));
    EXPECT_EQ(readAll(local + QStringLiteral("keep.txt")), QByteArray("precious")) << "the 550 must not empty it";
}

TEST_F(QueuePump, FolderTreesTravelByteExactBothWaysAndAreDeleted)
{
    const QString src = remoteRoot + QStringLiteral("/src");
    QByteArray big(10 * 1024 * 1024, Qt::Uninitialized);
    for (int i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>((static_cast<unsigned>(i) * 7919u) >> 3);
    makeFile(src + QStringLiteral("/zero.txt"), QByteArray());
    makeFile(src + QStringLiteral("/with blank.txt"), "blank\r\nline\n");
    makeFile(src + QStringLiteral("/gr\u00FC\u00DFe/\u00E4rger.bin"), "umlaut");
    makeFile(src + QStringLiteral("/deep/a/b/big.bin"), big);
    QDir().mkpath(src + QStringLiteral("/empty"));
    connect();
    const tFolderEntryObject folder = entryNamed(QStringLiteral("src"), 0, true);
    queue().addToQueue(QStringLiteral("getfolder*/src*") + local + QStringLiteral("src"), &folder);
    ASSERT_TRUE(settled(60000));
    EXPECT_FALSE(queue().model().isPaused()) << ui.messages.join(QLatin1Char('\n')).toStdString();
    const auto remoteTree = treeOf(src);
    EXPECT_EQ(treeOf(local + QStringLiteral("src")), remoteTree);

    const tFolderEntryObject localFolder = entryNamed(QStringLiteral("src"), -1, true);
    queue().addToQueue(QStringLiteral("putfolder*") + local + QStringLiteral("src*/copy"), &localFolder);
    ASSERT_TRUE(settled(60000));
    EXPECT_FALSE(queue().model().isPaused()) << ui.messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(treeOf(remoteRoot + QStringLiteral("/copy")), remoteTree);

    queue().addToQueue(QStringLiteral("deletefolder*/copy"));
    ASSERT_TRUE(settled(60000));
    EXPECT_FALSE(QDir(remoteRoot + QStringLiteral("/copy")).exists());
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
}

TEST_F(QueuePump, AFolderThatLeadsBackIntoItselfStopsTheTransfer)
{
    makeFile(remoteRoot + QStringLiteral("/loop/file.txt"));
    ASSERT_TRUE(QFile::link(QStringLiteral("."), remoteRoot + QStringLiteral("/loop/self")));
    connect();
    write(controller->setup(), Keys::folderDepthLimit, 6);
    const tFolderEntryObject folder = entryNamed(QStringLiteral("loop"), 0, true);
    queue().addToQueue(QStringLiteral("getfolder*/loop*") + local + QStringLiteral("loop"), &folder);
    ASSERT_TRUE(settled(30000));
    EXPECT_EQ(readAll(local + QStringLiteral("loop/file.txt")), QByteArray("data"));
    // However the server shows the link (as a link, or as a folder it lets us enter), the
    // expansion ends: skipped, or stopped at the depth limit with a message.
    if (queue().model().isPaused()) {
        ASSERT_FALSE(ui.messages.isEmpty());
        EXPECT_TRUE(ui.messages.last().contains(QStringLiteral("levels deep"))) << ui.messages.last().toStdString();
    }
    EXPECT_LE(depthBelow(local + QStringLiteral("loop")), 6);
}

TEST(QueueAdd, CachedFoldersShowAtOnceAndBadCommandsAreRefused)
{
    TempHome home;
    RecordingUserInterface ui;
    MainController c(ui);
    BrowserState &state = c.browsers().state();
    state.storeListing(QStringLiteral("/pub/"), {}, QString());
    QueueController &q = c.queue();

    EXPECT_EQ(q.addToQueue(QStringLiteral("list*pub")), nullptr);
    EXPECT_EQ(c.browsers().rFolder(), QStringLiteral("/pub/"));
    EXPECT_TRUE(q.model().isEmpty());

    QueueItem *refresh = q.addToQueue(QStringLiteral("list*pub*@refresh"));
    ASSERT_NE(refresh, nullptr);
    EXPECT_EQ(refresh->actionText, QStringLiteral("List folder /pub/"));
    EXPECT_TRUE(state.isFolderStale(QStringLiteral("/pub/")));

    EXPECT_EQ(q.addToQueue(QStringLiteral("getfile*/a*/tmp/a")), nullptr) << "a download needs its entry";
    EXPECT_EQ(ui.messages.size(), 1);
    EXPECT_EQ(q.model().itemCount(), 1);
}

} // namespace
