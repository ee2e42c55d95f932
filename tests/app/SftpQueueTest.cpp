// The window's queue on an SFTP site, through the headless controller against OpenSSH's sshd
// started on loopback: folder transfers both ways, links in the tree, resume, a refused login.
#include "app/MainController.h"
#include "app/SftpRemote.h"
#include "settings/SettingsCatalogue.h"
#include "sftp/SftpSession.h"
#include "support/Entries.h"
#include "support/QueueSettled.h"
#include "support/RecordingUserInterface.h"
#include "support/ScopedEnv.h"
#include "support/SshServer.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include <sys/stat.h>

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(generator.bounded(256));
    return bytes;
}

class SftpQueue : public ::testing::Test {
protected:
    void SetUp() override
    {
        startForTest(server);
        if (IsSkipped() || HasFailure())
            return;
        remoteRoot = server.scratch();
        QDir().mkpath(remoteRoot);
        local = home.path() + QStringLiteral("/local");
        QDir().mkpath(local);
        // The server's key is known, so nothing is asked.
        makeFile(home.path() + QStringLiteral("/.ssh/known_hosts"),
                 QStringLiteral("[127.0.0.1]:%1 %2\n").arg(server.port()).arg(server.hostKeyLine()).toUtf8());
        controller = std::make_unique<MainController>(ui);
        controller->FormCreate({});
        controller->tick().setEnabled(false); // the pump and the supervisor are run by hand
        controller->tick().timerTimer();
    }
    void TearDown() override
    {
        if (controller)
            controller->FormCloseQuery();
    }

    SessionSupervisor &sessions() { return controller->sessions(); }
    QueueController &queue() { return controller->queue(); }

    tSiteRecord site(const QString &keyFile) const
    {
        tSiteRecord s;
        s.name = QStringLiteral("sftp site");
        s.Host = QStringLiteral("127.0.0.1");
        s.Port = QString::number(server.port());
        s.User = server.user();
        s.protocol = SiteProtocol::Sftp;
        s.keyFile = keyFile;
        return s;
    }

    // Connects as the site manager does (a pool of `pool` sessions) and waits for the login
    // listing.
    void connect(int pool = 1)
    {
        write(controller->setup(), Keys::simultaneousTransfers, pool);
        sessions().setCurrentSite(site(server.clientKey()));
        ASSERT_TRUE(controller->connection().acConnect(ConnectController::Caller::SiteManager));
        tkftpclient *main = sessions().mainSession();
        ASSERT_TRUE(waitFor([&] { return main->loggedIn && main->idleState(); }, 20000))
            << main->lastReply().toStdString() << "\n"
            << server.log().toStdString();
        ASSERT_TRUE(main->isSftp());
        ASSERT_TRUE(settled());
    }
    // Runs the queue until it is empty or paused and every session is idle.
    bool settled(int ms = 30000) { return queueSettled(sessions(), queue(), ms); }
    // Queues a command; a folder download carries its folder's entry, as a listing gives it.
    QueueItem *add(const QString &command, const QString &folderName = QString())
    {
        const tFolderEntryObject folder = entryNamed(folderName, 0, true);
        QueueItem *item = queue().addToQueue(command, folderName.isEmpty() ? nullptr : &folder);
        if (!item)
            ADD_FAILURE() << ui.messages.join(QLatin1Char('\n')).toStdString();
        return item;
    }

    ScopedEnv noAgent{"SSH_AUTH_SOCK", QByteArray()};
    TempHome home;
    RecordingUserInterface ui;
    OpenSshServer server;
    std::unique_ptr<MainController> controller;
    QString remoteRoot, local;
};

TEST_F(SftpQueue, FolderTreesTravelByteIdenticalBothWays)
{
    const QString tree = remoteRoot + QStringLiteral("/tree");
    makeFile(tree + QStringLiteral("/big.bin"), randomBytes(700 * 1024 + 13, 1));
    makeFile(tree + QStringLiteral("/zero.txt"), QByteArray());
    makeFile(tree + QStringLiteral("/nested/deeper/caf\u00e9 \u00fcber \u65e5\u672c.txt"),
             QByteArray("non-ASCII name"));
    makeFile(tree + QStringLiteral("/nested/ s p a c e s "), randomBytes(4096, 2));
    QDir().mkpath(tree + QStringLiteral("/empty"));
    QDir().mkpath(tree + QStringLiteral("/nested/also empty"));
    connect(3);

    ASSERT_TRUE(add(QStringLiteral("getfolder*") + tree + QStringLiteral("*") + local + QStringLiteral("/tree"),
                    QStringLiteral("tree")));
    ASSERT_TRUE(settled());
    EXPECT_TRUE(queue().model().isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(fileTree(local + QStringLiteral("/tree")), fileTree(tree));

    // The same tree goes back up under another name.
    ASSERT_TRUE(
        add(QStringLiteral("putfolder*") + local + QStringLiteral("/tree*") + remoteRoot + QStringLiteral("/copy"),
            QStringLiteral("tree")));
    ASSERT_TRUE(settled());
    EXPECT_TRUE(queue().model().isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(fileTree(remoteRoot + QStringLiteral("/copy")), fileTree(tree));
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
}

TEST_F(SftpQueue, DownloadAndDeleteOfAFolderNeverFollowALinkOutOfIt)
{
    const QString outside = remoteRoot + QStringLiteral("/outside");
    makeFile(outside + QStringLiteral("/precious.txt"), QByteArray("keep me"));
    const QString box = remoteRoot + QStringLiteral("/box");
    makeFile(box + QStringLiteral("/own.txt"), QByteArray("mine"));
    QDir().mkpath(box + QStringLiteral("/sub"));
    ASSERT_TRUE(QFile::link(outside, box + QStringLiteral("/sub/out")));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/precious.txt"), box + QStringLiteral("/file-link")));
    connect();

    ASSERT_TRUE(add(QStringLiteral("getfolder*") + box + QStringLiteral("*") + local + QStringLiteral("/box"),
                    QStringLiteral("box")));
    ASSERT_TRUE(settled());
    EXPECT_EQ(readAll(local + QStringLiteral("/box/own.txt")), QByteArray("mine"));
    EXPECT_TRUE(QFileInfo(local + QStringLiteral("/box/sub")).isDir());
    EXPECT_FALSE(QFileInfo::exists(local + QStringLiteral("/box/sub/out")));
    EXPECT_FALSE(QFileInfo::exists(local + QStringLiteral("/box/sub/out/precious.txt")));

    ui.messages.clear();
    ASSERT_TRUE(add(QStringLiteral("deletefolder*") + box));
    ASSERT_TRUE(settled());
    EXPECT_TRUE(queue().model().isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(QFileInfo::exists(box));
    EXPECT_EQ(fileTree(outside), (std::map<QString, QByteArray>{{QStringLiteral("/precious.txt"), "keep me"}}));
}

TEST_F(SftpQueue, ADownloadContinuesItsLocalPartialFile)
{
    const QByteArray content = randomBytes(900 * 1024 + 7, 3);
    makeFile(remoteRoot + QStringLiteral("/big.bin"), content);
    // The partial file's first byte differs from the server's: a resume keeps it, a fresh
    // download would not.
    QByteArray partial = content.left(300 * 1024);
    partial[0] = static_cast<char>(~partial[0]);
    makeFile(local + QStringLiteral("/big.bin"), partial);
    connect();
    ASSERT_TRUE(add(QStringLiteral("list*") + remoteRoot + QStringLiteral("*@refresh")));
    ASSERT_TRUE(settled());

    const tFolderObject *folder = controller->browsers().state().findCachedFolder(normalizeRemotePath(remoteRoot));
    ASSERT_NE(folder, nullptr);
    const tFolderEntryObject *entry = nullptr;
    for (const auto &e : folder->folderEntries)
        entry = e.entry.name == QLatin1String("big.bin") ? &e.entry : entry;
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->size, content.size());
    QueueItem *item = queue().addToQueue(QStringLiteral("getfile*") + remoteRoot + QStringLiteral("/big.bin*") + local +
                                             QStringLiteral("/big.bin"),
                                         entry);
    ASSERT_TRUE(item);
    item->transferAction = TransferAction::Resume;
    ASSERT_TRUE(settled());
    EXPECT_TRUE(queue().model().isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
    const QByteArray got = readAll(local + QStringLiteral("/big.bin"));
    ASSERT_EQ(got.size(), content.size());
    EXPECT_EQ(got.at(0), partial.at(0));
    EXPECT_EQ(got.mid(1), content.mid(1));
}

TEST_F(SftpQueue, ADownloadCutByALostConnectionWaitsAndContinuesItsPartialFile)
{
    QByteArray content(64 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((static_cast<quint64>(i) * 7919u) >> 5);
    makeFile(remoteRoot + QStringLiteral("/big.bin"), content);
    QStringList log;
    QObject::connect(&sessions(), &SessionSupervisor::displayLine,
                     [&](tkftpclient *, const QString &line) { log << line; });
    connect();
    const QString target = local + QStringLiteral("/big.bin");
    const tFolderEntryObject entry = entryNamed(QStringLiteral("big.bin"), content.size());
    QueueItem *item =
        queue().addToQueue(QStringLiteral("getfile*") + remoteRoot + QStringLiteral("/big.bin*") + target, &entry);
    ASSERT_TRUE(item);
    const std::uint64_t id = item->id();
    tkftpclient *main = sessions().mainSession();
    ASSERT_TRUE(waitFor(
        [&] {
            queue().timer_checkQueue();
            return main->ByteCount > 0;
        },
        20000));
    server.dropConnections();
    // The socket ends first; the close reaches the queue through the event loop after it.
    ASSERT_TRUE(waitFor(
        [&] {
            sessions().timer_threads();
            const QueueItem *waiting = queue().model().itemById(id);
            return !main->connectedOrResolving() && sessions().isFullyDisconnected() && waiting && !waiting->running();
        },
        20000));
    item = queue().model().itemById(id);
    ASSERT_TRUE(item) << "the item left the queue";
    EXPECT_FALSE(item->running());
    const qint64 partial = QFileInfo(target).size();
    ASSERT_GT(partial, 0);
    ASSERT_LT(partial, content.size()) << "the transfer ended before the connection was dropped";

    connect();
    ASSERT_TRUE(settled(60000));
    EXPECT_TRUE(queue().model().isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(readAll(target) == content);
    EXPECT_FALSE(log.filter(QStringLiteral(" from byte ")).isEmpty()) << "downloaded again from the start";
}

TEST_F(SftpQueue, ARefusedLoginIsOneMessageAndTheNextConnectWorks)
{
    // A key the server does not know, and no agent or password to fall back on.
    const QString stranger = home.path() + QStringLiteral("/stranger_ed25519");
    ASSERT_TRUE(makeSshKey(stranger));
    int failures = 0;
    QObject::connect(&queue(), &QueueController::loginFailed, [&] { ++failures; });
    sessions().setCurrentSite(site(stranger));
    ASSERT_TRUE(controller->connection().acConnect(ConnectController::Caller::SiteManager));
    tkftpclient *main = sessions().mainSession();
    ASSERT_TRUE(waitFor(
        [&] {
            sessions().timer_threads();
            return failures > 0 && sessions().isFullyDisconnected();
        },
        20000));
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(ui.messages.size(), 1) << ui.messages.join(QLatin1Char('\n')).toStdString();

    ui.messages.clear();
    connect();
    EXPECT_TRUE(main->loggedIn);
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
}

TEST_F(SftpQueue, AConnectionSetToGoThroughAnFtpProxyIsRefusedNotMadeDirectly)
{
    write(controller->setup(), Keys::connectionType, 2);
    write(controller->setup(), Keys::ConnectionTypeAddress, QStringLiteral("127.0.0.1"));
    int failures = 0;
    QObject::connect(&queue(), &QueueController::loginFailed, [&] { ++failures; });
    sessions().setCurrentSite(site(server.clientKey()));
    ASSERT_TRUE(controller->connection().acConnect(ConnectController::Caller::SiteManager));
    ASSERT_TRUE(waitFor(
        [&] {
            sessions().timer_threads();
            return failures > 0 && sessions().isFullyDisconnected();
        },
        20000));
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(sessions().mainSession()->loggedIn);
    EXPECT_TRUE(sessions().mainSession()->lastReply().contains(QLatin1String("standard FTP proxy")))
        << sessions().mainSession()->lastReply().toStdString();
    EXPECT_EQ(ui.messages.size(), 1) << ui.messages.join(QLatin1Char('\n')).toStdString();
}

TEST_F(SftpQueue, AnUnknownHostIsAskedAndTrustAlwaysGoesToTheProgramsOwnFile)
{
    ASSERT_TRUE(QFile::remove(home.path() + QStringLiteral("/.ssh/known_hosts")));
    ui.hostKeyAnswers.push_back(CertificateChoice::TrustAlways);
    connect();
    ASSERT_EQ(ui.hostKeyQuestions.size(), 1u);
    EXPECT_EQ(ui.hostKeyQuestions[0].port, server.port());
    EXPECT_TRUE(ui.hostKeyQuestions[0].fingerprint.startsWith(QLatin1String("SHA256:")));
    const QString own = home.programData() + QStringLiteral("known_hosts");
    const QString keyBlob = server.hostKeyLine().section(QLatin1Char(' '), 1, 1);
    EXPECT_TRUE(QString::fromUtf8(readAll(own)).contains(keyBlob)) << readAll(own).toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(own).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SftpQueue, ThePadlockNamesTheSshConnection)
{
    QString encryption;
    QObject::connect(&controller->status(), &StatusController::encryptionChanged,
                     [&](const QString &text) { encryption = text; });
    connect();
    controller->status().timer_updateinterface();
    const SftpSession &ssh = sessions().mainSession()->sftp()->session();
    ASSERT_FALSE(ssh.cipher().isEmpty());
    for (const QString &part : {ssh.serverBanner(), ssh.keyExchange(), ssh.hostKey().type, ssh.cipher()})
        EXPECT_TRUE(encryption.contains(part)) << encryption.toStdString() << " lacks " << part.toStdString();
}

// Servers that take only a password, asked either as SSH's password method or as a
// keyboard-interactive prompt, through the window's connect flow: a stored password logs in
// and a download runs; a wrong one is one message and the next connect works. Without a
// stored password the user is asked (masked); an accepted answer holds for this run, a
// refused one is asked anew. The password never shows in the log or in a message.
TEST(SftpPasswordQueue, PasswordAndKeyboardInteractiveLoginsThroughTheWindow)
{
    const ScopedEnv noAgent("SSH_AUTH_SOCK", QByteArray());
    const QString password = QStringLiteral("s3cret p\u00e4ssword");
    const QString wrong = QStringLiteral("n0t-th1s-0ne");
    const QByteArray content = randomBytes(300 * 1024 + 7, 3);
    for (const char *method : {"password", "keyboard-interactive"}) {
        SCOPED_TRACE(method);
        const TempHome home;
        ParamikoSftpServer server;
        ASSERT_TRUE(server.start(QLatin1String(method), QStringLiteral("alice"), password))
            << server.failure().toStdString();
        makeFile(server.root() + QStringLiteral("/data.bin"), content);
        makeFile(home.path() + QStringLiteral("/.ssh/known_hosts"), server.knownHostsLine());

        RecordingUserInterface ui;
        MainController controller(ui);
        controller.FormCreate({});
        controller.tick().setEnabled(false);
        SessionSupervisor &sessions = controller.sessions();
        QueueController &queue = controller.queue();
        QStringList log, written;
        QObject::connect(&sessions, &SessionSupervisor::displayLine,
                         [&](tkftpclient *, const QString &line) { log << line; });
        QObject::connect(&controller, &MainController::logWritten, [&](const QString &line) { written << line; });
        tkftpclient *main = sessions.mainSession();
        int failures = 0; // of the main session's logins
        QObject::connect(&queue, &QueueController::loginFailed, [&](tkftpclient *session, int) {
            if (session == main)
                ++failures;
        });
        // Connects with `stored` as the site's password; true when logged in, false when the
        // login was refused (one failure, fully disconnected).
        const auto login = [&](const QString &stored) {
            tSiteRecord site;
            site.name = QStringLiteral("password site");
            site.Host = QStringLiteral("127.0.0.1");
            site.Port = QString::number(server.port());
            site.User = QStringLiteral("alice");
            site.Pass = stored;
            site.protocol = SiteProtocol::Sftp;
            sessions.setCurrentSite(site);
            const int before = failures;
            EXPECT_TRUE(controller.connection().acConnect(ConnectController::Caller::SiteManager));
            EXPECT_TRUE(waitFor(
                [&] {
                    sessions.timer_threads();
                    return (main->loggedIn && main->idleState()) ||
                           (failures > before && sessions.isFullyDisconnected());
                },
                20000))
                << log.join(QLatin1Char('\n')).toStdString();
            return main->loggedIn;
        };
        const auto disconnect = [&] {
            ASSERT_TRUE(controller.connection().acDisconnect());
            ASSERT_TRUE(waitFor(
                [&] {
                    sessions.timer_threads();
                    return sessions.isFullyDisconnected();
                },
                20000));
        };

        EXPECT_FALSE(login(wrong));
        EXPECT_EQ(ui.messages.size(), 1) << ui.messages.join(QLatin1Char('\n')).toStdString();
        ui.messages.clear();
        ASSERT_TRUE(login(password));
        EXPECT_EQ(main->sftp()->session().authenticatedBy(), QLatin1String(method));
        const QString target = QDir(home.path()).filePath(QStringLiteral("data.bin"));
        const tFolderEntryObject entry = entryNamed(QStringLiteral("data.bin"), content.size());
        ASSERT_TRUE(queue.addToQueue(QStringLiteral("getfile*/data.bin*") + target, &entry));
        ASSERT_TRUE(waitFor(
            [&] {
                sessions.timer_threads();
                queue.timer_checkQueue();
                return queue.model().isEmpty() && main->idleState();
            },
            30000))
            << log.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(readAll(target) == content);
        EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(ui.textPrompts.isEmpty()) << "asked although a password was stored";
        disconnect();

        // No stored password: asked; a refused answer is asked again on the next connect,
        // an accepted one is not.
        ui.textAnswers = {{true, wrong}, {true, password}};
        EXPECT_FALSE(login(QString()));
        EXPECT_EQ(
            ui.textPrompts,
            QStringList{QStringLiteral("SFTP password|Password for alice@127.0.0.1:%1:|masked").arg(server.port())});
        ui.messages.clear();
        ASSERT_TRUE(login(QString()));
        disconnect();
        ASSERT_TRUE(login(QString()));
        EXPECT_EQ(ui.textPrompts.size(), 2) << ui.textPrompts.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(ui.textAnswers.empty());
        EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();

        // The log window shows the SSH side's lines whole, with a marker as FTP lines have.
        EXPECT_FALSE(written
                         .filter(QRegularExpression(
                             QStringLiteral("^.Connecting to 127\\.0\\.0\\.1 port %1$").arg(server.port())))
                         .isEmpty())
            << written.join(QLatin1Char('\n')).toStdString();
        for (const QString &line : log + written + ui.messages) {
            EXPECT_FALSE(line.contains(password)) << line.toStdString();
            EXPECT_FALSE(line.contains(wrong)) << line.toStdString();
        }
        controller.FormCloseQuery();
    }
}

} // namespace
