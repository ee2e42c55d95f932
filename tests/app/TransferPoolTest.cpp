// Transfers side by side on a pool of sessions, against pyftpdlib and vsftpd: whole trees
// both ways with one, two and four sessions, a server that takes fewer connections than the
// pool asks for, Stop or a vanished server in the middle of a tree, and what the title, the
// rows and the meter show while four transfers run.
#include "app/MainController.h"
#include "base/TextUtil.h"
#include "settings/SettingsCatalogue.h"
#include "status/TransferStats.h"
#include "support/Entries.h"
#include "support/FtpServers.h"
#include "support/RecordingUserInterface.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

constexpr int kFiles = 200;

// Bytes that differ from file to file and from offset to offset.
QByteArray contentOf(int i, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int k = 0; k < size; ++k)
        bytes[k] = static_cast<char>((static_cast<unsigned>(k + 1) * 2654435761u + static_cast<unsigned>(i)) >> 13);
    return bytes;
}

// `files` files spread over nested folders (one name with a blank), two empty folders, and
// `size(i)` bytes in file i.
template <typename Size> void makeTree(const QString &root, int files, Size size)
{
    QDir().mkpath(root + QStringLiteral("/empty"));
    QDir().mkpath(root + QStringLiteral("/a/b/empty too"));
    static const char *const kFolders[] = {"", "/a", "/a/b", "/c d/e"};
    for (int i = 0; i < files; ++i)
        makeFile(root + QString::fromLatin1(kFolders[i % 4]) + QStringLiteral("/f%1.bin").arg(i),
                 contentOf(i, size(i)));
}

std::map<QString, QByteArray> treeOf(const QString &root)
{
    std::map<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        tree[path.mid(root.size())] = QFileInfo(path).isDir() ? QByteArray("<folder>") : readAll(path);
    }
    return tree;
}

class TransferPool : public ::testing::TestWithParam<ServerKind> {
protected:
    void TearDown() override { endConnection(); }

    // A fresh server (not started: it takes its options first).
    RealFtpServer &newServer(ServerKind kind)
    {
        endConnection();
        m_server = makeRealServer(kind);
        m_server->setRecordTransfers(true);
        return *m_server;
    }
    bool startServer()
    {
        if (m_server->start())
            return true;
        if (!m_server->skipReason().isEmpty())
            m_skip = m_server->skipReason();
        return false;
    }
    void endConnection()
    {
        if (m_controller)
            m_controller->FormCloseQuery();
        m_controller.reset();
        m_server.reset();
        m_ui.messages.clear();
        m_finished.clear();
        m_log.clear();
    }

    // Connects with a pool of `size` sessions (RavuzAro off: the main session is one of them).
    void connect(int size)
    {
        m_controller = std::make_unique<MainController>(m_ui);
        m_controller->FormCreate({});
        m_controller->tick().setEnabled(false); // the supervisor and the pump run by hand
        m_controller->tick().timerTimer();
        write(m_controller->setup(), Keys::useMlsd, true);
        write(m_controller->setup(), Keys::simultaneousTransfers, size);
        // Each round ends by closing the program while connected, without a question.
        write(m_controller->setup(), Keys::confirmCloseWhenConnected, false);
        QObject::connect(&m_controller->queue(), &QueueController::itemFinished, m_controller.get(),
                         [this](std::uint64_t id, const QueueOutcome &o) {
                             const QueueItem *item = m_controller->queue().model().itemById(id);
                             m_finished.push_back({item ? item->command() : QString(), o});
                         });
        QObject::connect(m_controller.get(), &MainController::logWritten, m_controller.get(),
                         [this](const QString &line) { m_log << line; });
        SessionSupervisor &s = sessions();
        s.setRavuzAro(false);
        s.setCurrentSite(siteOf(*m_server));
        s.setConnectionWanted(true);
        m_controller->browsers().setRemoteFolder(QStringLiteral("/"));
        s.timer_threads();
        ASSERT_TRUE(waitFor([&] { return s.mainSession()->loggedIn; }, 15000));
        ASSERT_TRUE(settled());
    }
    SessionSupervisor &sessions() { return m_controller->sessions(); }
    QueueController &queue() { return m_controller->queue(); }

    // Runs the supervisor and the pump until the queue is empty (or paused) and no session
    // has work.
    bool settled(int ms = 15000)
    {
        return waitFor(
            [&] {
                sessions().timer_threads();
                queue().timer_checkQueue();
                for (tkftpclient *s : sessions().allSessions()) {
                    if (s->busy() || (s->IsConnected() && s->State() != TFtpEngineState::stReady))
                        return false;
                }
                return queue().model().isEmpty() || queue().model().isPaused();
            },
            ms);
    }
    int busyTransfers()
    {
        int busy = 0;
        for (tkftpclient *s : sessions().allSessions())
            busy += s->currentItem() && s->currentItem()->isTransfer() ? 1 : 0;
        return busy;
    }
    // The server path of a name in the server's writable folder.
    QString remote(const QString &name) const
    {
        QString folder = m_server->writablePath();
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        return folder + name;
    }
    void queueDownload(const QString &name, const QString &to)
    {
        const tFolderEntryObject folder = entryNamed(name, 0, true);
        ASSERT_TRUE(queue().addToQueue(QStringLiteral("getfolder*") + remote(name) + QLatin1Char('*') + to, &folder));
    }

    struct Finished {
        QString command;
        QueueOutcome outcome;
    };

    TempHome m_home;
    RecordingUserInterface m_ui;
    std::unique_ptr<RealFtpServer> m_server;
    std::unique_ptr<MainController> m_controller;
    std::vector<Finished> m_finished;
    QStringList m_log;
    QString m_skip;
};

TEST_P(TransferPool, TreesTravelWholeBothWaysOnOneTwoAndFourSessions)
{
    for (const int size : {1, 2, 4}) {
        SCOPED_TRACE(size);
        RealFtpServer &server = newServer(GetParam());
        if (!startServer()) {
            if (!m_skip.isEmpty())
                GTEST_SKIP() << m_skip.toStdString();
            FAIL() << server.failure().toStdString();
        }
        const QString src = server.localWritable() + QStringLiteral("/src");
        makeTree(src, kFiles, [](int i) { return (i * 977) % 20000; });
        ASSERT_NO_FATAL_FAILURE(connect(size));
        const QString down = m_home.path() + QStringLiteral("/down%1").arg(size);
        ASSERT_NO_FATAL_FAILURE(queueDownload(QStringLiteral("src"), down));
        ASSERT_TRUE(settled(120000));
        EXPECT_TRUE(queue().model().isEmpty()) << m_ui.messages.join(u'\n').toStdString();
        const auto tree = treeOf(src);
        ASSERT_EQ(tree.size(), static_cast<size_t>(kFiles + 6)); // the files and six folders
        EXPECT_TRUE(treeOf(down) == tree) << treeOf(down).size() << " entries arrived";

        const tFolderEntryObject folder = entryNamed(QStringLiteral("down"), -1, true);
        ASSERT_TRUE(queue().addToQueue(
            QStringLiteral("putfolder*") + down + QLatin1Char('*') + remote(QStringLiteral("up")), &folder));
        ASSERT_TRUE(settled(120000));
        EXPECT_TRUE(queue().model().isEmpty()) << m_ui.messages.join(u'\n').toStdString();
        const auto up = treeOf(server.localWritable() + QStringLiteral("/up"));
        EXPECT_TRUE(up == tree) << up.size() << " entries arrived";
        EXPECT_TRUE(m_ui.messages.isEmpty())
            << m_ui.messages.join(u'\n').toStdString() << m_log.join(u'\n').toStdString();

        // The server's own record: how many transfers it had under way at once.
        const RealFtpServer::Overlap overlap = server.transferOverlap();
        // Every session carried files, and never more at once than the pool holds; with more
        // than one, transfers ran side by side (how many at the same moment depends on timing).
        EXPECT_EQ(overlap.connections, size);
        EXPECT_LE(overlap.mostAtOnce, size);
        EXPECT_GE(overlap.mostAtOnce, std::min(size, 2));
        endConnection();
    }
}

// A server that lets two connections in: the pool of four shrinks to two with one log line,
// and nothing fails or is shown.
TEST_P(TransferPool, AServerTakingTwoConnectionsServesAPoolOfFourQuietly)
{
    RealFtpServer &server = newServer(GetParam());
    server.setConnectionLimit(2);
    if (!startServer()) {
        if (!m_skip.isEmpty())
            GTEST_SKIP() << m_skip.toStdString();
        FAIL() << server.failure().toStdString();
    }
    const QString src = server.localWritable() + QStringLiteral("/src");
    makeTree(src, kFiles, [](int i) { return (i * 331) % 5000; });
    ASSERT_NO_FATAL_FAILURE(connect(4));
    const QString down = m_home.path() + QStringLiteral("/down");
    ASSERT_NO_FATAL_FAILURE(queueDownload(QStringLiteral("src"), down));
    ASSERT_TRUE(settled(120000));
    EXPECT_TRUE(queue().model().isEmpty());
    EXPECT_TRUE(treeOf(down) == treeOf(src));
    EXPECT_TRUE(m_ui.messages.isEmpty()) << m_ui.messages.join(u'\n').toStdString();
    for (const Finished &f : m_finished)
        EXPECT_TRUE(f.outcome.ok()) << f.command.toStdString() << ": " << f.outcome.text.toStdString();
    EXPECT_EQ(m_log.filter(QStringLiteral("refused another connection")).size(), 1) << m_log.join(u'\n').toStdString();
    EXPECT_EQ(sessions().poolSize(), 2);
    const RealFtpServer::Overlap overlap = server.transferOverlap();
    EXPECT_EQ(overlap.connections, 2);
    EXPECT_LE(overlap.mostAtOnce, 2);
}

INSTANTIATE_TEST_SUITE_P(Servers, TransferPool, ::testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd),
                         [](const auto &info) {
                             return info.param == ServerKind::Pyftpdlib ? std::string("Pyftpdlib")
                                                                        : std::string("Vsftpd");
                         });

// Stop, or the server going away, while four sessions fetch a tree: every file is then
// either whole and done, or still in the queue waiting; none is done that is not whole.
TEST(TransferPoolInterrupted, EveryFileIsWholeAndDoneOrStillQueued)
{
    enum class Cut { Stop, ServerGone };
    for (const Cut cut : {Cut::Stop, Cut::ServerGone}) {
        SCOPED_TRACE(cut == Cut::Stop ? "stop" : "server gone");
        TempHome home;
        RecordingUserInterface ui;
        PyftpdlibServer server;
        server.setDataRate(256 * 1024); // a file of 64 KiB takes a quarter of a second
        ASSERT_TRUE(server.start()) << server.failure().toStdString();
        const QString src = server.localWritable() + QStringLiteral("/src");
        constexpr int kTreeFiles = 48;
        makeTree(src, kTreeFiles, [](int i) { return 48 * 1024 + i * 512; });
        auto controller = std::make_unique<MainController>(ui);
        controller->FormCreate({});
        controller->tick().setEnabled(false);
        controller->tick().timerTimer();
        write(controller->setup(), Keys::useMlsd, true);
        write(controller->setup(), Keys::simultaneousTransfers, 4);
        write(controller->setup(), Keys::confirmCloseWhenConnected, false);
        QStringList done;
        QObject::connect(&controller->queue(), &QueueController::itemFinished, controller.get(),
                         [&](std::uint64_t id, const QueueOutcome &o) {
                             const QueueItem *item = controller->queue().model().itemById(id);
                             if (item && item->verb() == QueueVerb::GetFile && o.kind == QueueOutcome::Kind::Done)
                                 done << item->field(2);
                         });
        SessionSupervisor &s = controller->sessions();
        QueueController &queue = controller->queue();
        s.setCurrentSite(siteOf(server));
        s.setConnectionWanted(true);
        controller->browsers().setRemoteFolder(QStringLiteral("/"));
        const auto pump = [&] {
            s.timer_threads();
            queue.timer_checkQueue();
        };
        s.timer_threads();
        ASSERT_TRUE(waitFor([&] { return s.mainSession()->loggedIn; }, 15000));
        const QString down = home.path() + QStringLiteral("/down");
        const tFolderEntryObject folder = entryNamed(QStringLiteral("src"), 0, true);
        ASSERT_TRUE(queue.addToQueue(QStringLiteral("getfolder*/src*") + down, &folder));
        // Cut once some files are whole and four transfers are under way.
        ASSERT_TRUE(waitFor(
            [&] {
                pump();
                int busy = 0;
                for (tkftpclient *session : s.allSessions())
                    busy += session->currentItem() && session->currentItem()->isTransfer() ? 1 : 0;
                return done.size() >= 4 && busy == 4;
            },
            60000));
        if (cut == Cut::Stop)
            controller->sessionLoss().acStop();
        else
            server.stop();
        ASSERT_TRUE(waitFor(
            [&] {
                if (cut == Cut::Stop)
                    queue.timer_checkQueue();
                for (tkftpclient *session : s.allSessions()) {
                    if (session->busy())
                        return false;
                }
                return true;
            },
            30000));
        ASSERT_LT(done.size(), kTreeFiles);
        QSet<QString> waiting;
        for (int row = 0; row < queue.model().itemCount(); ++row) {
            const QueueItem *item = queue.model().itemAt(row);
            EXPECT_FALSE(item->running());
            EXPECT_TRUE(item->statusText == QStringLiteral("Queued") || item->statusText == QStringLiteral("Stopped"))
                << item->statusText.toStdString();
            waiting.insert(item->verb() == QueueVerb::GetFile ? item->field(2) : item->field(2) + QLatin1Char('/'));
        }
        QDirIterator it(src, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            const QString local = down + file.mid(src.size());
            if (done.contains(local)) {
                EXPECT_EQ(readAll(local), readAll(file)) << local.toStdString() << " is done but not whole";
                continue;
            }
            // Not done: its download, or the folder download that makes it, is still queued.
            bool queued = waiting.contains(local);
            for (const QString &w : std::as_const(waiting))
                queued = queued || (w.endsWith(QLatin1Char('/')) && local.startsWith(w));
            EXPECT_TRUE(queued) << local.toStdString() << " is neither done nor queued";
        }
        controller->FormCloseQuery();
    }
}

// Four downloads at once, held running by a slowed server (pyftpdlib sends a data
// connection's bytes in bursts of 256 KiB, one every two seconds at 128 KiB/s): the title's
// "% done" and the progress bar give the four together, each row its own bytes and rate,
// and one meter sample takes in what all four received. Stop then ends all four.
TEST(TransferPoolStatus, FourRunningTransfersAllCountInTheTitleRowsAndMeter)
{
    TempHome home;
    RecordingUserInterface ui;
    PyftpdlibServer server;
    server.setDataRate(128 * 1024);
    ASSERT_TRUE(server.start()) << server.failure().toStdString();
    // Each file takes four bursts or more: the four run side by side for seconds.
    const std::int64_t sizes[] = {800 * 1024, 832 * 1024, 864 * 1024, 896 * 1024};
    for (int i = 0; i < 4; ++i)
        makeFile(server.localWritable() + QStringLiteral("/f%1.bin").arg(i), contentOf(i, static_cast<int>(sizes[i])));
    auto controller = std::make_unique<MainController>(ui);
    controller->FormCreate({});
    controller->tick().setEnabled(false);
    controller->tick().timerTimer();
    write(controller->setup(), Keys::simultaneousTransfers, 4);
    write(controller->setup(), Keys::confirmCloseWhenConnected, false);
    SessionSupervisor &s = controller->sessions();
    QueueController &queue = controller->queue();
    StatusController &status = controller->status();
    MeterController &meter = controller->meter();
    std::int64_t meterMs = 0;
    meter.setClock([&] { return meterMs; });
    s.setCurrentSite(siteOf(server));
    s.setConnectionWanted(true);
    controller->browsers().setRemoteFolder(QStringLiteral("/"));
    const auto pump = [&] {
        s.timer_threads();
        queue.timer_checkQueue();
    };
    s.timer_threads();
    ASSERT_TRUE(waitFor(
        [&] {
            pump();
            return s.mainSession()->loggedIn && queue.model().isEmpty() && !s.mainSession()->busy();
        },
        15000));
    const QString local = home.path() + QStringLiteral("/down/");
    QDir().mkpath(local);
    for (int i = 0; i < 4; ++i) {
        const QString name = QStringLiteral("f%1.bin").arg(i);
        const tFolderEntryObject e = entryNamed(name, sizes[i]);
        ASSERT_TRUE(queue.addToQueue(QStringLiteral("getfile*/") + name + QLatin1Char('*') + local + name, &e));
    }
    // The meter starts from nothing: this first sample takes what the login and the
    // listing moved.
    status.timer_xferstats();
    meter.timer_meter(true);
    const auto running = [&] {
        std::vector<tkftpclient *> sessions;
        for (tkftpclient *session : s.allSessions()) {
            if (session->currentItem() && session->currentItem()->isTransfer() && session->transferRunning() &&
                session->ByteCount > 0)
                sessions.push_back(session);
        }
        return sessions;
    };
    ASSERT_TRUE(waitFor(
        [&] {
            pump();
            return running().size() == 4;
        },
        30000));

    // Read between two events: nothing moves while the texts are made.
    status.timer_updateinterface();
    status.timer_xferstats();
    meterMs += 1000;
    meter.timer_meter(true);
    std::int64_t done = 0, size = 0, received = 0;
    for (tkftpclient *session : running()) {
        done += session->ByteCount + session->ResumeAt;
        size += session->currentItem()->entrySize();
        received += session->ByteCount;
        // The row: this transfer's own bytes, at a rate.
        const QString row = session->currentItem()->statusText;
        EXPECT_TRUE(row.startsWith(formatKilobytes(session->ByteCount, true) + QStringLiteral("KB @ ")) &&
                    row.endsWith(QStringLiteral("KB/s")))
            << row.toStdString() << " for " << session->ByteCount << " bytes";
    }
    EXPECT_EQ(size, sizes[0] + sizes[1] + sizes[2] + sizes[3]);
    EXPECT_LT(done, size);
    EXPECT_TRUE(status.title().startsWith(TransferStats::percentDoneText(done, size) + QStringLiteral(" - ")))
        << status.title().toStdString() << " for " << done << " of " << size;
    EXPECT_EQ(status.progressPercent(), TransferStats::percentDone(done, size));
    // The second's sample holds every byte the four received, and besides them only the
    // replies of the four control connections.
    const std::int64_t rate = meter.model().received(0);
    EXPECT_GE(rate, received);
    EXPECT_LT(rate, received + 16384); // the replies are a few KiB; a transfer counted twice is 256 KiB

    // Stop ends every running transfer; each keeps its place in the queue and its partial file.
    controller->sessionLoss().acStop();
    ASSERT_TRUE(waitFor(
        [&] {
            queue.timer_checkQueue();
            for (tkftpclient *session : s.allSessions()) {
                if (session->busy())
                    return false;
            }
            return true;
        },
        30000));
    ASSERT_EQ(queue.model().itemCount(), 4);
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(queue.model().itemAt(row)->statusText, QStringLiteral("Stopped")) << row;
    status.timer_updateinterface();
    EXPECT_EQ(status.progressPercent(), -1);
    controller->FormCloseQuery();
}

// While one session asks whether to replace a file, the others go on with files that need
// no answer, and the second question waits until the first is answered.
TEST(TransferPoolPrompt, OneOverwriteQuestionAtATimeWhileOtherSessionsGoOn)
{
    TempHome home;
    RecordingUserInterface ui;
    PyftpdlibServer server;
    ASSERT_TRUE(server.start()) << server.failure().toStdString();
    const QString local = home.path() + QStringLiteral("/local/");
    for (const char *name : {"a.bin", "b.bin", "c.bin"})
        makeFile(server.localWritable() + QLatin1Char('/') + QLatin1String(name), contentOf(name[0], 1000));
    makeFile(local + QStringLiteral("a.bin"), "old a");
    makeFile(local + QStringLiteral("b.bin"), "old b");
    auto controller = std::make_unique<MainController>(ui);
    controller->FormCreate({});
    controller->tick().setEnabled(false);
    controller->tick().timerTimer();
    write(controller->setup(), Keys::simultaneousTransfers, 2);
    write(controller->setup(), Keys::confirmCloseWhenConnected, false);
    SessionSupervisor &s = controller->sessions();
    QueueController &queue = controller->queue();
    s.setCurrentSite(siteOf(server));
    s.setConnectionWanted(true);
    controller->browsers().setRemoteFolder(QStringLiteral("/"));
    s.timer_threads();
    ASSERT_TRUE(waitFor([&] { return s.mainSession()->loggedIn && s.mainSession()->idleState(); }, 15000));
    const auto pump = [&] {
        s.timer_threads();
        queue.timer_checkQueue();
    };
    ASSERT_TRUE(waitFor(
        [&] {
            pump();
            return queue.model().isEmpty() && !s.mainSession()->busy();
        },
        15000));
    for (const char *name : {"a.bin", "b.bin", "c.bin"}) {
        const tFolderEntryObject e = entryNamed(QLatin1String(name), 1000);
        QueueItem *item = queue.addToQueue(
            QStringLiteral("getfile*/") + QLatin1String(name) + QLatin1Char('*') + local + QLatin1String(name), &e);
        ASSERT_TRUE(item);
        item->transferAction = name[0] == 'c' ? TransferAction::Overwrite : TransferAction::Ask;
    }
    size_t questionsMeanwhile = 0;
    bool otherDone = false;
    ui.onOverwrite = [&] {
        if (ui.overwriteQuestions.size() > 1)
            return;
        otherDone = waitFor(
            [&] {
                pump();
                return readAll(local + QStringLiteral("c.bin")) == contentOf('c', 1000);
            },
            15000);
        questionsMeanwhile = ui.overwriteQuestions.size();
    };
    ui.overwriteAnswers = {{OverwriteChoice::Overwrite, false}, {OverwriteChoice::Overwrite, false}};
    ASSERT_TRUE(waitFor(
        [&] {
            pump();
            return queue.model().isEmpty();
        },
        30000));
    EXPECT_TRUE(otherDone) << "the file needing no answer waited for the question";
    EXPECT_EQ(questionsMeanwhile, 1u);
    EXPECT_EQ(ui.overwriteQuestions.size(), 2u);
    for (const char c : {'a', 'b', 'c'})
        EXPECT_EQ(readAll(local + QLatin1Char(c) + QStringLiteral(".bin")), contentOf(c, 1000)) << c;
    controller->FormCloseQuery();
}

} // namespace
