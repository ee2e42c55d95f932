// Losing a connection, the reconnect with its limit, keep-alive, Stop and Disconnect, on
// the headless controller with its master tick running, against a throttled pyftpdlib that
// the test stops and starts again on the same port.
#include "app/MainController.h"
#include "queue/QueueFile.h"
#include "settings/SettingsCatalogue.h"
#include "support/Entries.h"
#include "support/RecordingUserInterface.h"
#include "support/ServerProcess.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

const QString kUser = QStringLiteral("kestrin");
const QString kPassword = QStringLiteral("s3cret pass");

// A throttled pyftpdlib on a port that stays the same across restarts; the transcript
// gathers the commands of every run.
class SlowServer {
public:
    explicit SlowServer(QStringList flags = {}, QString password = kPassword)
        : m_flags(std::move(flags)), m_password(std::move(password))
    {
        m_port = ServerProcess::freePort();
    }
    ~SlowServer() { stop(); }

    bool start(int bytesPerSecond = 16 * 1024 * 1024)
    {
        m_process = std::make_unique<ServerProcess>();
        QStringList args{QStringLiteral(KESTRIN_SOURCE_DIR "/tests/support/pyftpdlib_slow_server.py"),
                         QString::number(m_port),
                         m_root.path(),
                         kUser,
                         m_password,
                         QString::number(bytesPerSecond),
                         QStringLiteral("commands")};
        args << m_flags;
        return m_process->start(QStringLiteral("/usr/bin/python3"), args, m_port);
    }
    void stop()
    {
        if (!m_process)
            return;
        m_done << commandsOf(m_process->readWholeLog());
        m_process->stop();
        m_process.reset();
    }
    // Every command received so far, over all runs.
    QStringList transcript() const
    {
        return m_done + (m_process ? commandsOf(m_process->readWholeLog()) : QStringList());
    }
    qsizetype count(const QString &prefix) const
    {
        const QStringList all = transcript();
        return std::count_if(all.begin(), all.end(),
                             [&](const QString &c) { return c.startsWith(prefix, Qt::CaseInsensitive); });
    }
    QString root() const { return m_root.path(); }
    uint16_t port() const { return m_port; }

private:
    static QStringList commandsOf(const QString &log)
    {
        QStringList commands;
        const QString marker = QStringLiteral("] <- ");
        for (const QString &line : log.split(QLatin1Char('\n'))) {
            const qsizetype at = line.indexOf(marker);
            if (at >= 0)
                commands << line.mid(at + marker.size()).trimmed();
        }
        return commands;
    }

    QStringList m_flags;
    QString m_password;
    QTemporaryDir m_root;
    uint16_t m_port = 0;
    std::unique_ptr<ServerProcess> m_process;
    QStringList m_done;
};

QByteArray patterned(int size)
{
    QByteArray bytes(size, '\0');
    quint32 x = 2463534242u;
    for (int i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<char>(x & 0xFF);
    }
    return bytes;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

qint64 sizeOf(const QString &path)
{
    return QFileInfo(path).exists() ? QFileInfo(path).size() : -1;
}

class SessionLoss : public ::testing::Test {
protected:
    void SetUp() override
    {
        controller = std::make_unique<MainController>(ui);
        controller->FormCreate({});
        ASSERT_TRUE(waitFor([&] { return controller->started(); }, 5000));
        tSetupClass &setup = controller->setup();
        write(setup, Keys::retryDelay, 1);
        write(setup, Keys::maxRetries, 10);
        write(setup, Keys::keepAlive, false);
        write(setup, Keys::xferAction, 1); // resume what is there
        write(setup, Keys::confirmDisconnectWhenQueueNotEmpty, false);
        local = home.path() + QStringLiteral("/local/");
        QDir().mkpath(local);
        controller->log().clear();
    }
    void TearDown() override
    {
        if (controller)
            controller->FormCloseQuery();
    }

    SessionSupervisor &sessions() { return controller->sessions(); }
    QueueModel &model() { return controller->queue().model(); }
    QStringList logLines() const { return controller->log().lines(); }

    void connectTo(const SlowServer &server, bool ravuzAro = false)
    {
        sessions().setRavuzAro(ravuzAro);
        ASSERT_TRUE(controller->connection().connectQuick(
            {QStringLiteral("127.0.0.1"), kUser, kPassword, QString::number(server.port())}));
        ASSERT_TRUE(waitFor([&] { return sessions().mainSession()->loggedIn && model().isEmpty(); }, 15000))
            << ui.messages.join(QLatin1Char('|')).toStdString();
        if (ravuzAro) {
            ASSERT_TRUE(waitFor([&] { return sessions().xferSession()->loggedIn; }, 15000))
                << ui.messages.join(QLatin1Char('|')).toStdString() << logLines().join(QLatin1Char('\n')).toStdString();
        }
    }
    QueueItem *download(const QString &name, qint64 size)
    {
        const tFolderEntryObject entry = entryNamed(name, size);
        return controller->queue().addToQueue(QStringLiteral("getfile*/") + name + QLatin1Char('*') + local + name,
                                              &entry);
    }

    TempHome home;
    RecordingUserInterface ui;
    std::unique_ptr<MainController> controller;
    QString local;
};

// The history's newest entry may be another server: a login holding a "\u00A7" is never
// recorded there. The reconnect goes back to the server that was lost.
TEST_F(SessionLoss, AReconnectGoesBackToTheLostSiteNotToTheHistorysNewestEntry)
{
    SlowServer a;
    ASSERT_TRUE(a.start());
    connectTo(a);
    ASSERT_TRUE(controller->connection().acDisconnect());
    ASSERT_TRUE(waitFor([&] { return sessions().isFullyDisconnected(); }, 10000));

    const QString odd = QStringLiteral("pass\u00A7word");
    SlowServer b({}, odd);
    ASSERT_TRUE(b.start());
    ASSERT_TRUE(
        controller->connection().connectQuick({QStringLiteral("127.0.0.1"), kUser, odd, QString::number(b.port())}));
    ASSERT_TRUE(waitFor([&] { return sessions().mainSession()->loggedIn && model().isEmpty(); }, 15000))
        << ui.messages.join(QLatin1Char('|')).toStdString();
    const qsizetype loginsAtA = a.count(QStringLiteral("USER"));

    b.stop();
    ASSERT_TRUE(waitFor([&] { return controller->sessionLoss().retryPending(); }, 10000));
    ASSERT_TRUE(b.start());
    ASSERT_TRUE(
        waitFor([&] { return b.count(QStringLiteral("USER")) == 2 && sessions().mainSession()->loggedIn; }, 20000))
        << logLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(a.count(QStringLiteral("USER")), loginsAtA) << "nothing went to the other server";
    EXPECT_EQ(sessions().currentSite().Port.text(), QString::number(b.port()));
}

TEST_F(SessionLoss, KilledServerMidDownloadReconnectsAfterTheDelayAndResumesWithRest)
{
    SlowServer server;
    const QByteArray data = patterned(50 * 1024 * 1024);
    writeFile(server.root() + QStringLiteral("/big.bin"), data);
    ASSERT_TRUE(server.start());
    connectTo(server);

    download(QStringLiteral("big.bin"), data.size());
    const QString target = local + QStringLiteral("big.bin");
    ASSERT_TRUE(waitFor([&] { return sizeOf(target) > 4 * 1024 * 1024; }, 20000));
    server.stop();
    const qint64 partial = sizeOf(target);

    // The loss is reported, a reconnect is scheduled, and the item waits again.
    ASSERT_TRUE(waitFor([&] { return controller->sessionLoss().retryPending(); }, 10000));
    EXPECT_TRUE(logLines().contains(QStringLiteral("\u00A4The connection has been disconnected by the server.")));
    EXPECT_TRUE(logLines().contains(QStringLiteral("\u00A7Retrying to connect in 1 seconds.")));
    ASSERT_EQ(model().itemCount(), 1);
    EXPECT_EQ(model().itemAt(0)->statusText, QStringLiteral("Queued"));
    EXPECT_FALSE(model().itemAt(0)->running());
    EXPECT_TRUE(waitFor([&] { return controller->status().title().startsWith(QStringLiteral("Retry #1 in ")); }, 2000))
        << controller->status().title().toStdString();
    EXPECT_TRUE(QFileInfo::exists(controller->folders().savedQueue + QStringLiteral("[recovery].dat")));

    ASSERT_TRUE(server.start());
    ASSERT_TRUE(waitFor([&] { return model().isEmpty() && sizeOf(target) == data.size(); }, 60000))
        << logLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(readFile(target) == data) << "the resumed file differs from the source";
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(controller->sessionLoss().retryPending());
    EXPECT_EQ(sessions().retryCount(), 0) << "a completed transfer ends the run of reconnects";

    // The second run's download starts where the first one stopped.
    const QStringList commands = server.transcript();
    const qsizetype retr = commands.lastIndexOf(QStringLiteral("RETR /big.bin"));
    ASSERT_GT(retr, 0) << commands.join(QLatin1Char('|')).toStdString();
    const qsizetype rest = commands.lastIndexOf(QRegularExpression(QStringLiteral("^REST \\d+$")), retr);
    ASSERT_GE(rest, 0) << commands.join(QLatin1Char('|')).toStdString();
    const qint64 offset = commands[rest].mid(5).toLongLong();
    EXPECT_GE(offset, partial);
    EXPECT_LT(offset, data.size());
}

TEST_F(SessionLoss, RetriesEndAtTheLimitWithOneErrorWindow)
{
    // Every RETR drops the connection: each reconnect logs in, and the download loses the
    // connection again. Logins do not reset the count, so the loop ends.
    struct Case {
        const char *name;
        int maxRetries;
    };
    for (const Case &c : {Case{"two retries", 2}, Case{"no retries", 0}}) {
        SCOPED_TRACE(c.name);
        SlowServer server({QStringLiteral("drop-retr")});
        writeFile(server.root() + QStringLiteral("/f.bin"), QByteArray(1000, 'f'));
        ASSERT_TRUE(server.start());
        write(controller->setup(), Keys::maxRetries, c.maxRetries);
        ui.messages.clear();
        connectTo(server);
        download(QStringLiteral("f.bin"), 1000);

        // The login worked every time: the message says the connection was lost, never
        // that the login information is wrong.
        ASSERT_TRUE(waitFor([&] { return !ui.messages.isEmpty(); }, 30000));
        ASSERT_EQ(ui.messages.size(), 1);
        EXPECT_TRUE(ui.messages[0].startsWith(
            QStringLiteral("The connection to the server was lost and could not be restored")))
            << ui.messages[0].toStdString();
        EXPECT_FALSE(ui.messages[0].contains(QStringLiteral("login"))) << ui.messages[0].toStdString();
        EXPECT_FALSE(controller->sessionLoss().retryPending());
        EXPECT_EQ(server.count(QStringLiteral("RETR")), c.maxRetries + 1);
        // Nothing connects any more: a wait longer than the delay sees no new login.
        EXPECT_FALSE(waitFor([&] { return server.count(QStringLiteral("USER")) > c.maxRetries + 1; }, 2500));
        EXPECT_EQ(ui.messages.size(), 1);
        // The download waits in the queue for the next connection.
        ASSERT_EQ(model().itemCount(), 1);
        EXPECT_EQ(model().itemAt(0)->statusText, QStringLiteral("Queued"));
        model().removeAll();
    }
}

TEST_F(SessionLoss, ARefusedLoginIsNotRetried)
{
    SlowServer server;
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(controller->connection().connectQuick(
        {QStringLiteral("127.0.0.1"), kUser, QStringLiteral("wrong"), QString::number(server.port())}));
    ASSERT_TRUE(waitFor([&] { return !ui.messages.isEmpty(); }, 15000));
    EXPECT_FALSE(controller->sessionLoss().retryPending());
    EXPECT_FALSE(waitFor([&] { return server.count(QStringLiteral("USER")) > 1; }, 2500));
    EXPECT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(logLines().contains(QStringLiteral("\u00A4Unable to login on server.")));
    EXPECT_FALSE(sessions().connectionWanted());
}

TEST_F(SessionLoss, KeepAliveGoesOnlyToIdleSessionsWithinTheBounds)
{
    SlowServer server;
    const int kSize = 5 * 256 * 1024;
    writeFile(server.root() + QStringLiteral("/slow.bin"), patterned(kSize));
    ASSERT_TRUE(server.start(256 * 1024)); // five seconds of transfer
    write(controller->setup(), Keys::keepAliveSecsStart, 1);
    write(controller->setup(), Keys::keepAliveSecsEnd, 2);
    write(controller->setup(), Keys::keepAlive, true);
    connectTo(server);
    const qsizetype loginCommands = server.transcript().size();

    // When each request of the main session ended, and which were keep-alives.
    struct Done {
        qint64 at;
        RemoteRequest rq;
        bool keepAlive;
    };
    std::vector<Done> done;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(
        &sessions(), &SessionSupervisor::requestDone, controller.get(), [&](tkftpclient *s, RemoteRequest rq, int) {
            if (s == sessions().mainSession())
                done.push_back({clock.elapsed(), rq,
                                rq == RemoteRequest::Quote && s->HostFileName() == QLatin1String("[antitimeout]")});
        });
    const auto keepAlives = [&] {
        return std::count_if(done.begin(), done.end(), [](const Done &d) { return d.keepAlive; });
    };
    ASSERT_TRUE(waitFor([&] { return keepAlives() >= 3; }, 15000));
    // Each one comes between start + 1 and end seconds after the last reply, to the
    // rounding of the one-second tick; the first follows the listing of the login.
    for (size_t i = 1; i < done.size(); ++i) {
        ASSERT_TRUE(done[i].keepAlive) << "only keep-alives run on an idle session";
        const qint64 gap = done[i].at - done[i - 1].at;
        EXPECT_GE(gap, 1400) << "keep-alive " << i;
        EXPECT_LE(gap, 3700) << "keep-alive " << i;
    }
    for (const QString &c : server.transcript().mid(loginCommands))
        EXPECT_TRUE(QStringList({QStringLiteral("REST 0"), QStringLiteral("PWD"), QStringLiteral("HELP")})
                        .contains(c.toUpper()))
            << c.toStdString();

    // A session that runs a transfer sends none, however long it takes.
    QueueItem *item = download(QStringLiteral("slow.bin"), kSize);
    ASSERT_TRUE(waitFor([&] { return item->running(); }, 5000));
    const qint64 started = clock.elapsed();
    const size_t before = done.size();
    ASSERT_TRUE(waitFor([&] { return model().isEmpty(); }, 20000));
    size_t received = before;
    while (received < done.size() && done[received].rq != RemoteRequest::Get)
        ++received;
    ASSERT_LT(received, done.size());
    EXPECT_GE(done[received].at - started, 3000) << "the transfer did not last long enough to show it";
    for (size_t i = before; i < received; ++i)
        EXPECT_FALSE(done[i].keepAlive) << "a keep-alive during the transfer";
}

TEST_F(SessionLoss, StopDuringADownloadLeavesAResumablePartialFile)
{
    SlowServer server;
    const QByteArray data = patterned(8 * 1024 * 1024);
    writeFile(server.root() + QStringLiteral("/big.bin"), data);
    ASSERT_TRUE(server.start(2 * 1024 * 1024));
    connectTo(server);
    QueueItem *item = download(QStringLiteral("big.bin"), data.size());
    const QString target = local + QStringLiteral("big.bin");
    ASSERT_TRUE(waitFor([&] { return sizeOf(target) > 1024 * 1024; }, 20000));

    controller->sessionLoss().acStop();
    EXPECT_EQ(item->statusText, QStringLiteral("Stopping"));
    EXPECT_TRUE(model().isPaused());
    ASSERT_TRUE(waitFor([&] { return item->statusText == QStringLiteral("Stopped"); }, 10000));
    EXPECT_FALSE(item->running());
    EXPECT_EQ(item->transferAction, TransferAction::Ask) << "starting again asks first";
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(sessions().mainSession()->loggedIn) << "Stop keeps the connection";
    const QByteArray partial = readFile(target);
    ASSERT_GT(partial.size(), 0);
    ASSERT_LT(partial.size(), data.size());
    EXPECT_TRUE(data.startsWith(partial));

    // Starting the queue again asks; resuming completes the file.
    ui.overwriteAnswers.push_back({OverwriteChoice::Resume, false});
    controller->queue().toggleQueue();
    ASSERT_TRUE(waitFor([&] { return model().isEmpty(); }, 30000)) << item->statusText.toStdString();
    EXPECT_EQ(ui.overwriteQuestions.size(), 1u);
    EXPECT_TRUE(readFile(target) == data);
    EXPECT_TRUE(server.transcript().contains(QStringLiteral("REST %1").arg(partial.size())));
}

TEST_F(SessionLoss, StopCancelsAPendingReconnect)
{
    SlowServer server;
    ASSERT_TRUE(server.start());
    write(controller->setup(), Keys::retryDelay, 30);
    connectTo(server);
    server.stop();
    ASSERT_TRUE(waitFor([&] { return controller->sessionLoss().retryPending(); }, 10000));
    ASSERT_TRUE(waitFor(
        [&] {
            return controller->status().title().startsWith(QStringLiteral("Retry #1 in 30 seconds")) ||
                   controller->status().title().startsWith(QStringLiteral("Retry #1 in 29 seconds"));
        },
        2000))
        << controller->status().title().toStdString();
    controller->sessionLoss().acStop();
    EXPECT_FALSE(controller->sessionLoss().retryPending());
    EXPECT_EQ(sessions().retryCount(), 0);
    EXPECT_TRUE(waitFor([&] { return controller->status().title().startsWith(QStringLiteral("Not connected")); }, 2000))
        << controller->status().title().toStdString();
}

TEST_F(SessionLoss, AfterALostConnectionTheQueueWaitsAgainInOrderOrIsEmptied)
{
    for (const bool autoSave : {true, false}) {
        SCOPED_TRACE(autoSave ? "autoSaveQueue" : "no autoSaveQueue");
        SlowServer server;
        ASSERT_TRUE(server.start());
        write(controller->setup(), Keys::autoSaveQueue, autoSave);
        write(controller->setup(), Keys::retryDelay, 30);
        connectTo(server);
        model().setPaused(true);
        QueueItem *failed = download(QStringLiteral("a.bin"), 10);
        download(QStringLiteral("b.bin"), 20);
        model().releaseItem(failed, QStringLiteral("Error"));
        const QString recovery = controller->folders().savedQueue + QStringLiteral("[recovery].dat");
        QFile::remove(recovery);

        server.stop();
        ASSERT_TRUE(waitFor([&] { return controller->sessionLoss().retryPending(); }, 10000));
        if (autoSave) {
            ASSERT_EQ(model().itemCount(), 2);
            for (int row = 0; row < 2; ++row) {
                EXPECT_EQ(model().itemAt(row)->statusText, QStringLiteral("Queued"));
                EXPECT_FALSE(model().itemAt(row)->running());
            }
            EXPECT_EQ(model().itemAt(0)->command(),
                      QStringLiteral("getfile*/a.bin*") + local + QStringLiteral("a.bin"));
            EXPECT_EQ(model().itemAt(1)->entrySize(), 20);
            EXPECT_EQ(loadQueueFile(recovery).records.size(), 2u);
        } else {
            EXPECT_TRUE(model().isEmpty());
        }
        controller->sessionLoss().acStop();
        model().removeAll();
    }
}

TEST_F(SessionLoss, DisconnectClosesBothSessionsQuietlyAndKeepsRavuzAro)
{
    SlowServer server;
    ASSERT_TRUE(server.start());
    connectTo(server, true);
    ASSERT_TRUE(controller->connection().acDisconnect());
    ASSERT_TRUE(
        waitFor([&] { return sessions().isFullyDisconnected() && !sessions().xferSession()->IsConnected(); }, 10000));
    EXPECT_TRUE(logLines().contains(QStringLiteral("\u00A7Connection to server closed.")));
    const QStringList lines = logLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString &l) {
        return l.startsWith(QStringLiteral("\u00A7Connection to server lasted 0 minute(s) and "));
    }));
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(sessions().ravuzAro());
    EXPECT_FALSE(controller->sessionLoss().retryPending());
    EXPECT_FALSE(sessions().mainSession()->loggedIn);
    EXPECT_FALSE(sessions().xferSession()->loggedIn);
}

TEST_F(SessionLoss, AServerThatGoesAwayIsTheMainSessionsLossNotRavuzAros)
{
    SlowServer server;
    ASSERT_TRUE(server.start());
    connectTo(server, true);
    server.stop();
    ASSERT_TRUE(waitFor([&] { return controller->sessionLoss().retryPending(); }, 10000));
    drainEvents();
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(sessions().ravuzAro());
    controller->sessionLoss().acStop();
}

TEST_F(SessionLoss, TransferSessionLostSwitchesRavuzAroOffForThisRun)
{
    // The server drops the transfer session while it transfers; or it takes one client only,
    // so the transfer session cannot log in at all.
    struct Case {
        const char *flag;
        const char *message;
        bool transfer;
    };
    const Case cases[] = {
        {"drop-first-retr", "The RavuzAro feature has been disabled by the server. If needed, try to reenable it.",
         true},
        {"one-client", "The RavuzAro feature is not available on current server.", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.flag);
        SlowServer server({QString::fromLatin1(c.flag)});
        writeFile(server.root() + QStringLiteral("/f.bin"), QByteArray(1000, 'f'));
        ASSERT_TRUE(server.start());
        write(controller->setup(), Keys::ravuzAroEnabled, true);
        ui.messages.clear();
        sessions().setRavuzAro(true);
        ASSERT_TRUE(controller->connection().connectQuick(
            {QStringLiteral("127.0.0.1"), kUser, kPassword, QString::number(server.port())}));
        ASSERT_TRUE(waitFor([&] { return sessions().mainSession()->loggedIn; }, 15000));
        if (c.transfer) {
            ASSERT_TRUE(waitFor([&] { return sessions().xferSession()->loggedIn && model().isEmpty(); }, 15000));
            download(QStringLiteral("f.bin"), 1000);
        }
        ASSERT_TRUE(waitFor([&] { return !ui.messages.isEmpty(); }, 15000));
        EXPECT_EQ(ui.messages, QStringList{QString::fromLatin1(c.message)});
        EXPECT_FALSE(sessions().ravuzAro());
        EXPECT_TRUE(read(controller->setup(), Keys::ravuzAroEnabled)) << "the setting keeps its value";
        // The main session goes on (and takes over the download), and the transfer session
        // is not tried again.
        if (c.transfer) {
            ASSERT_TRUE(waitFor([&] { return model().isEmpty(); }, 15000));
            EXPECT_EQ(readFile(local + QStringLiteral("f.bin")), QByteArray(1000, 'f'));
        }
        const qsizetype logins = server.count(QStringLiteral("USER"));
        EXPECT_FALSE(waitFor([&] { return server.count(QStringLiteral("USER")) > logins; }, 1500));
        EXPECT_EQ(ui.messages.size(), 1);
        EXPECT_TRUE(sessions().mainSession()->loggedIn);
        model().removeAll();
        ASSERT_TRUE(controller->connection().acDisconnect());
        ASSERT_TRUE(waitFor(
            [&] { return sessions().isFullyDisconnected() && !sessions().xferSession()->IsConnected(); }, 10000));
    }
}

} // namespace
