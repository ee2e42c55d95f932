// Hostile input on the headless controller: a server whose listing never ends, special files
// and links in an upload tree, names that cannot travel. Each ends in bounded time with the
// item's outcome saying what happened, and nothing is left out without a word.
#include "app/MainController.h"
#include "app/SessionSupervisor.h"
#include "app/tkftpclient.h"
#include "settings/SettingsCatalogue.h"
#include "support/Entries.h"
#include "support/RecordingUserInterface.h"
#include "support/ServerProcess.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString kUser = QStringLiteral("kestrin");
const QString kPassword = QStringLiteral("pw");

// pyftpdlib with the misbehaviours named in flags (tests/support/pyftpdlib_hostile_server.py).
class HostileServer {
public:
    explicit HostileServer(QStringList flags = {}) : m_flags(std::move(flags)) {}
    bool start()
    {
        const uint16_t port = ServerProcess::freePort();
        QStringList args{QStringLiteral(KESTRIN_SOURCE_DIR "/tests/support/pyftpdlib_hostile_server.py"),
                         QString::number(port), m_root.path(), kUser, kPassword};
        args << m_flags;
        return m_process.start(QStringLiteral("/usr/bin/python3"), args, port);
    }
    QString root() const { return m_root.path(); }
    uint16_t port() const { return m_process.port(); }

private:
    QStringList m_flags;
    QTemporaryDir m_root;
    ServerProcess m_process;
};

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        controller = std::make_unique<MainController>(ui);
        controller->FormCreate({});
        ASSERT_TRUE(waitFor([&] { return controller->started(); }, 5000));
        tSetupClass &setup = controller->setup();
        write(setup, Keys::maxRetries, 0);
        write(setup, Keys::keepAlive, false);
        write(setup, Keys::confirmDisconnectWhenQueueNotEmpty, false);
        QObject::connect(&controller->queue(), &QueueController::itemFinished, &listening,
                         [this](std::uint64_t, const QueueOutcome &o) { outcomes.push_back(o); });
    }
    void TearDown() override
    {
        if (controller)
            controller->FormCloseQuery();
    }
    SessionSupervisor &sessions() { return controller->sessions(); }
    QString log() const { return controller->log().lines().join(QLatin1Char('\n')); }

    // Connects; the login lists the home folder, which the caller waits for.
    void connectTo(const HostileServer &server)
    {
        ASSERT_TRUE(controller->connection().connectQuick(
            {QStringLiteral("127.0.0.1"), kUser, kPassword, QString::number(server.port())}));
    }

    TempHome home;
    RecordingUserInterface ui;
    std::unique_ptr<MainController> controller;
    QObject listening;
    std::vector<QueueOutcome> outcomes;
};

// A listing that never ends is cut at the limit, by bytes or by entries: the item fails with
// a message naming the limit, soon and without the memory growing with the stream, and the
// control connection stays usable.
TEST_F(HostileInput, AnEndlessListingIsCutAtTheLimitAndTheItemFails)
{
    struct Case {
        const char *name;
        int maxMiB;
        int maxEntries;
    };
    for (const Case &c : {Case{"bytes", 2, 100000000}, Case{"entries", 100000, 5000}}) {
        SCOPED_TRACE(c.name);
        HostileServer server({QStringLiteral("endless-list")});
        ASSERT_TRUE(server.start());
        write(controller->setup(), Keys::listingMaxMiB, c.maxMiB);
        write(controller->setup(), Keys::listingMaxEntries, c.maxEntries);
        outcomes.clear();
        ui.messages.clear();
        const long rssBefore = peakResidentKiB();
        QElapsedTimer clock;
        clock.start();
        connectTo(server);
        ASSERT_TRUE(waitFor([&] { return !outcomes.empty(); }, 30000)) << log().toStdString();
        EXPECT_LT(clock.elapsed(), 30000);
        EXPECT_LT(peakResidentKiB() - rssBefore, 200 * 1024) << "KiB grown while the listing ran";
        EXPECT_EQ(outcomes.front().kind, QueueOutcome::Kind::Failed);
        EXPECT_TRUE(outcomes.front().text.contains(QStringLiteral("was cut"))) << outcomes.front().text.toStdString();
        EXPECT_TRUE(outcomes.front().text.contains(QString::number(c.name[0] == 'b' ? c.maxMiB : c.maxEntries)))
            << outcomes.front().text.toStdString();
        EXPECT_FALSE(ui.messages.isEmpty()) << "the window tells the user";
        // The server's reply to the cut came in: the session is free for the next request.
        EXPECT_TRUE(waitFor(
            [&] {
                tkftpclient *s = sessions().mainSession();
                return s->loggedIn && s->IsConnected() && s->State() == TFtpEngineState::stReady;
            },
            15000))
            << log().toStdString();
        ASSERT_TRUE(controller->connection().acDisconnect());
        ASSERT_TRUE(waitFor([&] { return sessions().isFullyDisconnected(); }, 10000));
    }
}

// An upload tree holding what an upload must not take: a fifo (opening it blocking would
// wait for ever), a socket, links to a folder and a file outside the tree, a name with a
// line feed. Returns the regular files that must arrive.
std::map<QString, QByteArray> hostileUploadTree(const QString &tree, const QString &outside)
{
    makeFile(outside + QStringLiteral("/secret.txt"), "outside");
    makeFile(tree + QStringLiteral("/a.txt"), "aaa");
    makeFile(tree + QStringLiteral("/sub/b.txt"), "bbbb");
    makeFile(tree + QStringLiteral("/line\nfeed.txt"), "lf");
    mkfifo(QFile::encodeName(tree + QStringLiteral("/sub/pipe")).constData(), 0600);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(tree + QStringLiteral("/sock"));
    std::memcpy(address.sun_path, socketPath.constData(), std::min<size_t>(socketPath.size(), 100));
    ::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::close(sock);
    QFile::link(outside, tree + QStringLiteral("/out"));
    QFile::link(outside + QStringLiteral("/secret.txt"), tree + QStringLiteral("/sub/secret-link.txt"));
    return {{QStringLiteral("a.txt"), "aaa"}, {QStringLiteral("sub/b.txt"), "bbbb"}};
}

std::map<QString, QByteArray> filesBelow(const QString &root)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (QFileInfo(path).isDir())
            continue;
        QFile f(path);
        files[path.mid(root.size() + 1)] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("?");
    }
    return files;
}

// The upload takes the regular files only; every entry left out is named in the log and in
// one message, and counted. The fifo does not stop the queue.
TEST_F(HostileInput, AnUploadTreeSkipsSpecialFilesAndLinksAndSaysSo)
{
    HostileServer server;
    ASSERT_TRUE(server.start());
    connectTo(server);
    ASSERT_TRUE(
        waitFor([&] { return sessions().mainSession()->loggedIn && controller->queue().model().isEmpty(); }, 15000));
    ui.messages.clear();
    const QString tree = home.path() + QStringLiteral("/tree");
    const auto want = hostileUploadTree(tree, home.path() + QStringLiteral("/outside"));
    const tFolderEntryObject folder = entryNamed(QStringLiteral("tree"), -1, true);
    ASSERT_NE(controller->queue().addToQueue(QStringLiteral("putfolder*") + tree + QStringLiteral("*/up"), &folder),
              nullptr);
    ASSERT_TRUE(waitFor([&] { return controller->queue().model().isEmpty(); }, 30000)) << log().toStdString();
    EXPECT_EQ(filesBelow(server.root() + QStringLiteral("/up")), want);
    EXPECT_EQ(controller->queue().skippedCount(), 5) << log().toStdString();
    for (const char *name : {"sub/pipe", "sock", "out", "sub/secret-link.txt", "line\\nfeed.txt"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(log().contains(QStringLiteral("Skipped \"") + tree + QLatin1Char('/') + QLatin1String(name)));
    }
    ASSERT_EQ(ui.messages.size(), 1) << ui.messages.join(u'|').toStdString();
    EXPECT_TRUE(ui.messages.front().startsWith(QStringLiteral("5 entries of"))) << ui.messages.front().toStdString();
    for (const QueueOutcome &o : outcomes)
        EXPECT_TRUE(o.ok()) << o.text.toStdString();
}

// A fifo put on its own fails at once with the reason instead of holding the program.
TEST_F(HostileInput, AFifoSentOnItsOwnFailsAsNotARegularFile)
{
    HostileServer server;
    ASSERT_TRUE(server.start());
    connectTo(server);
    ASSERT_TRUE(
        waitFor([&] { return sessions().mainSession()->loggedIn && controller->queue().model().isEmpty(); }, 15000));
    outcomes.clear();
    const QString fifo = home.path() + QStringLiteral("/pipe");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const tFolderEntryObject entry = entryNamed(QStringLiteral("pipe"), 0);
    ASSERT_NE(controller->queue().addToQueue(QStringLiteral("putfile*") + fifo + QStringLiteral("*/pipe"), &entry),
              nullptr);
    ASSERT_TRUE(waitFor([&] { return !outcomes.empty(); }, 15000)) << log().toStdString();
    EXPECT_EQ(outcomes.front().kind, QueueOutcome::Kind::Failed);
    EXPECT_TRUE(outcomes.front().text.contains(QStringLiteral("Not a regular file")))
        << outcomes.front().text.toStdString();
}

// A file that grows while it is sent did not go out as one version: the item fails. The
// file grows when the first bytes have gone out, long before its end is read. The bytes the
// item reports (the command line's --json "bytes") are those that were sent.
TEST_F(HostileInput, AFileThatChangesWhileItIsSentFails)
{
    HostileServer server;
    ASSERT_TRUE(server.start());
    connectTo(server);
    ASSERT_TRUE(
        waitFor([&] { return sessions().mainSession()->loggedIn && controller->queue().model().isEmpty(); }, 15000));
    outcomes.clear();
    const QString file = home.path() + QStringLiteral("/growing.bin");
    makeFile(file, QByteArray(32 * 1024 * 1024, 'g'));
    bool grown = false;
    QObject::connect(&sessions(), &SessionSupervisor::progress, &listening, [&](tkftpclient *, qint64, bool *) {
        if (std::exchange(grown, true))
            return;
        QFile f(file);
        if (f.open(QIODevice::Append))
            f.write(QByteArray(1000, 'x'));
    });
    std::int64_t reportedBytes = -1;
    QObject::connect(&controller->queue(), &QueueController::itemFinished, &listening,
                     [&](std::uint64_t id, const QueueOutcome &) {
                         if (const QueueItem *item = controller->queue().model().itemById(id))
                             reportedBytes = item->progressBytes;
                     });
    const tFolderEntryObject entry = entryNamed(QStringLiteral("growing.bin"), 32 * 1024 * 1024);
    ASSERT_NE(
        controller->queue().addToQueue(QStringLiteral("putfile*") + file + QStringLiteral("*/growing.bin"), &entry),
        nullptr);
    ASSERT_TRUE(waitFor([&] { return !outcomes.empty(); }, 30000)) << log().toStdString();
    EXPECT_TRUE(grown);
    EXPECT_EQ(outcomes.front().kind, QueueOutcome::Kind::Failed);
    EXPECT_TRUE(outcomes.front().text.contains(QStringLiteral("changed while it was sent")))
        << outcomes.front().text.toStdString();
    const QString received = server.root() + QStringLiteral("/growing.bin");
    EXPECT_TRUE(waitFor([&] { return QFileInfo(received).size() == reportedBytes; }, 10000))
        << "reported " << reportedBytes << ", the server holds " << QFileInfo(received).size();
    EXPECT_EQ(reportedBytes, 32 * 1024 * 1024 + 1000);
}

// The connection is lost in the middle of a queue of downloads: no item is reported done
// and none leaves the queue; the partial file is not taken for a whole one.
TEST_F(HostileInput, ALostConnectionEndsNoItemAsDone)
{
    auto server = std::make_unique<HostileServer>(QStringList{QStringLiteral("slow")});
    for (const char *name : {"one.bin", "two.bin", "three.bin"})
        makeFile(server->root() + QLatin1Char('/') + QLatin1String(name), QByteArray(4 * 1024 * 1024, 'd'));
    ASSERT_TRUE(server->start());
    connectTo(*server);
    ASSERT_TRUE(
        waitFor([&] { return sessions().mainSession()->loggedIn && controller->queue().model().isEmpty(); }, 15000));
    outcomes.clear();
    const QString local = home.path() + QStringLiteral("/dl/");
    QDir().mkpath(local);
    for (const char *name : {"one.bin", "two.bin", "three.bin"}) {
        const tFolderEntryObject entry = entryNamed(QLatin1String(name), 4 * 1024 * 1024);
        ASSERT_NE(controller->queue().addToQueue(QStringLiteral("getfile*/") + QLatin1String(name) + QLatin1Char('*') +
                                                     local + QLatin1String(name),
                                                 &entry),
                  nullptr);
    }
    ASSERT_TRUE(waitFor([&] { return QFileInfo(local + QStringLiteral("one.bin")).size() > 0; }, 15000));
    server.reset(); // the server goes away mid-file
    ASSERT_TRUE(waitFor([&] { return !sessions().mainSession()->loggedIn; }, 15000));
    ASSERT_TRUE(waitFor([&] { return controller->queue().model().itemCount() == 3; }, 5000));
    for (const QueueOutcome &o : outcomes)
        EXPECT_NE(o.kind, QueueOutcome::Kind::Done) << "nothing ends done on a lost connection";
    EXPECT_LT(QFileInfo(local + QStringLiteral("one.bin")).size(), 4 * 1024 * 1024);
}

// Damaged data files are copied aside before anything writes over them, and the user is told
// once which files and where the copies are; the program starts with what could be read.
TEST(DamagedDataFiles, AreCopiedAsideAndNamedInOneMessage)
{
    TempHome home;
    RecordingUserInterface ui;
    QString folder;
    {
        MainController first(ui);
        first.FormCreate({});
        ASSERT_TRUE(waitFor([&] { return first.started(); }, 5000));
        folder = first.folders().dataFile(QString());
        first.FormCloseQuery();
    }
    const QByteArray damagedSetup = QByteArray("AAAA\n"); // decodes to three NUL bytes, no entry
    const QByteArray damagedHistory = QByteArray("\x01\x02 not an entry\n", 17);
    for (const auto &[name, bytes] :
         {std::pair{"setup.dat", damagedSetup}, {"connectionHistory.dat", damagedHistory}}) {
        QFile f(folder + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    ui.messages.clear();
    {
        MainController second(ui);
        second.FormCreate({});
        ASSERT_TRUE(waitFor([&] { return second.started(); }, 5000));
        second.FormCloseQuery();
    }
    for (const auto &[name, bytes] :
         {std::pair{"setup-damaged.dat", damagedSetup}, {"connectionHistory-damaged.dat", damagedHistory}}) {
        SCOPED_TRACE(name);
        QFile copy(folder + QLatin1String(name));
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_EQ(copy.readAll(), bytes);
        EXPECT_EQ(copy.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
    }
    ASSERT_EQ(ui.messages.size(), 1) << ui.messages.join(u'|').toStdString();
    EXPECT_TRUE(ui.messages.front().contains(QStringLiteral("setup-damaged.dat")));
    EXPECT_TRUE(ui.messages.front().contains(QStringLiteral("connectionHistory-damaged.dat")));
    EXPECT_TRUE(ui.bugs.isEmpty());
}

} // namespace
