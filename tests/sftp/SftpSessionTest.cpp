// The SFTP session against a real OpenSSH server started on loopback: listings, transfers,
// file commands, host keys and the ways of logging in.
#include "sftp/SftpSession.h"
#include "app/SftpQuestions.h"
#include "sftp/SftpKnownHosts.h"

#include "support/RecordingUserInterface.h"
#include "support/ScopedEnv.h"
#include "support/SshServer.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Done {
    SftpRequest request = SftpRequest::Connect;
    SftpError error = SftpError::None;
    QString text;
};

// Starts one request and waits (bounded) for its end.
Done run(SftpSession &session, const std::function<void()> &start, int timeoutMs = 30000)
{
    std::optional<Done> done;
    const auto connection =
        QObject::connect(&session, &SftpSession::requestDone, [&](SftpRequest r, SftpError e, const QString &t) {
            if (!done)
                done = Done{r, e, t};
        });
    start();
    const bool ended = waitFor([&] { return done.has_value(); }, timeoutMs);
    QObject::disconnect(connection);
    if (!ended)
        return {SftpRequest::Connect, SftpError::Cancelled, QStringLiteral("the test's wait ran out")};
    return *done;
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(static_cast<quint32>(size));
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(generator.bounded(256));
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The fingerprint as OpenSSH's own tool prints it for a public key file.
QString sshKeygenFingerprint(const QString &publicKeyFile)
{
    QString out;
    runSshTool(
        QStringLiteral("ssh-keygen"),
        {QStringLiteral("-l"), QStringLiteral("-E"), QStringLiteral("sha256"), QStringLiteral("-f"), publicKeyFile},
        &out);
    return out.section(QLatin1Char(' '), 1, 1);
}

class SftpSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        startForTest(server);
        if (IsSkipped() || HasFailure())
            return;
        root = server.scratch();
        userKnownHosts = home.path() + QStringLiteral("/.ssh/known_hosts");
        ownKnownHosts = home.programData() + QStringLiteral("known_hosts");
        knownLine = QStringLiteral("[127.0.0.1]:%1 %2\n").arg(server.port()).arg(server.hostKeyLine()).toUtf8();
    }

    void configure(SftpSession &session, const QString &keyFile)
    {
        session.setHost(QStringLiteral("127.0.0.1"), server.port());
        session.setUser(server.user());
        session.setKeyFile(keyFile);
        session.setKeyFolder(home.path() + QStringLiteral("/.ssh"));
        session.setUserKnownHostsFile(userKnownHosts);
        session.setOwnKnownHostsFile(ownKnownHosts);
        session.setTimeoutMs(20000);
        QObject::connect(&session, &SftpSession::logLine,
                         [this](const QString &line) { logText += line + QLatin1Char('\n'); });
    }

    // Connects with the server's key in the user's known hosts and logs in with the client key.
    void open(SftpSession &session)
    {
        ASSERT_TRUE(writeFile(userKnownHosts, knownLine));
        configure(session, server.clientKey());
        for (const auto &request : std::vector<std::function<void()>>{
                 [&] { session.connectToHost(); }, [&] { session.checkHostKey(); }, [&] { session.authenticate(); }}) {
            const Done done = run(session, request);
            ASSERT_EQ(done.error, SftpError::None) << done.text.toStdString() << "\n" << server.log().toStdString();
        }
    }

    QByteArray remote(const QString &relative) const { return QFile::encodeName(root + QLatin1Char('/') + relative); }

    ScopedEnv noAgent{"SSH_AUTH_SOCK", QByteArray()};
    TempHome home;
    OpenSshServer server;
    QString root, userKnownHosts, ownKnownHosts, logText;
    QByteArray knownLine;
};

TEST_F(SftpSessionTest, ListingShowsNamesByteExactAndLinksAsLinks)
{
    const QByteArray latin1Name("caf\xe9-\xff.bin"); // not UTF-8
    const QString tree = root + QStringLiteral("/tree");
    ASSERT_TRUE(writeFile(tree + QStringLiteral("/nested/deeper/leaf.txt"), "leaf"));
    ASSERT_TRUE(QDir().mkpath(tree + QStringLiteral("/empty")));
    ASSERT_TRUE(writeFile(tree + QStringLiteral("/Grüße ñ 日本.txt"), randomBytes(1000)));
    const QByteArray rawPath = QFile::encodeName(tree) + '/' + latin1Name;
    const int fd = ::open(rawPath.constData(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ::close(fd);
    // A link to a folder outside the tree, and one to a file.
    ASSERT_EQ(::symlink(QFile::encodeName(root).constData(),
                        QFile::encodeName(tree + QStringLiteral("/outside")).constData()),
              0);
    ASSERT_EQ(::symlink("nested/deeper/leaf.txt", QFile::encodeName(tree + QStringLiteral("/leaf-link")).constData()),
              0);
    ASSERT_EQ(::chmod(QFile::encodeName(tree + QStringLiteral("/Grüße ñ 日本.txt")).constData(), 0640), 0);

    SftpSession session;
    ASSERT_NO_FATAL_FAILURE(open(session));
    Done done = run(session, [&] { session.list(remote(QStringLiteral("tree"))); });
    ASSERT_EQ(done.error, SftpError::None) << done.text.toStdString();

    struct Expected {
        QByteArray name;
        SftpEntryType type;
        std::optional<uint64_t> size;
    };
    const Expected expected[] = {
        {"nested", SftpEntryType::Folder, {}},
        {"empty", SftpEntryType::Folder, {}},
        {QStringLiteral("Grüße ñ 日本.txt").toUtf8(), SftpEntryType::File, 1000},
        {latin1Name, SftpEntryType::File, 0},
        {"outside", SftpEntryType::Link, {}},
        {"leaf-link", SftpEntryType::Link, {}},
    };
    const QList<SftpEntry> entries = session.entries();
    EXPECT_EQ(entries.size(), std::size(expected));
    for (const Expected &e : expected) {
        SCOPED_TRACE(e.name.toStdString());
        const auto it =
            std::find_if(entries.begin(), entries.end(), [&](const SftpEntry &x) { return x.name == e.name; });
        ASSERT_NE(it, entries.end());
        EXPECT_EQ(it->type, e.type);
        if (e.size) {
            EXPECT_EQ(it->size, *e.size);
        }
        // Mode and time of the entry itself, as lstat sees it on the server's disk.
        struct stat st {};
        const QByteArray path = QFile::encodeName(tree) + '/' + e.name;
        ASSERT_EQ(::lstat(path.constData(), &st), 0);
        EXPECT_EQ(it->permissions, st.st_mode & 07777);
        EXPECT_EQ(it->modified, QDateTime::fromSecsSinceEpoch(st.st_mtime, QTimeZone::utc()));
        EXPECT_EQ(it->modified.offsetFromUtc(), 0);
    }

    // An entry is described by itself, never by what a link points to.
    done = run(session, [&] { session.stat(remote(QStringLiteral("tree/outside"))); });
    ASSERT_EQ(done.error, SftpError::None) << done.text.toStdString();
    EXPECT_EQ(session.statResult().type, SftpEntryType::Link);
    EXPECT_EQ(session.statResult().name, "outside");

    done = run(session, [&] { session.list(remote(QStringLiteral("tree/empty"))); });
    EXPECT_EQ(done.error, SftpError::None);
    EXPECT_TRUE(session.entries().isEmpty());

    // A refusal leaves the session usable.
    done = run(session, [&] { session.list(remote(QStringLiteral("tree/missing"))); });
    EXPECT_EQ(done.error, SftpError::Remote);
    EXPECT_TRUE(done.text.contains(QStringLiteral("no such file"))) << done.text.toStdString();
    done = run(session, [&] { session.realPath("."); });
    ASSERT_EQ(done.error, SftpError::None) << done.text.toStdString();
    const passwd *pw = ::getpwuid(::geteuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(session.realPathResult(), QByteArray(pw->pw_dir));
    // The temporary folder's removal cannot name a file whose name is not UTF-8.
    ::unlink(rawPath.constData());
}

struct TransferCase {
    const char *name;
    bool download;
    qsizetype present; // bytes already at the target (a resume starts after them)
    qsizetype offset;  // the offset asked for
    SftpError error;
    // A download's size as a listing showed it (-1: none): the first read is sized by it
    // before the file's own size is in, which must decide when the two differ.
    qint64 listed = -1;
};

void PrintTo(const TransferCase &c, std::ostream *os)
{
    *os << c.name;
}

class SftpTransferTest : public SftpSessionTest, public ::testing::WithParamInterface<TransferCase> {};

TEST_P(SftpTransferTest, TransfersAreByteIdentical)
{
    const TransferCase &c = GetParam();
    // Several of the session's chunks, and not a whole number of them.
    const QByteArray content = randomBytes(3 * 1024 * 1024 + 12345);
    const QString remoteFile = root + QStringLiteral("/Übertragung ä.bin");
    const QString localFile = home.path() + QStringLiteral("/local copy.bin");
    const QString source = c.download ? remoteFile : localFile;
    const QString target = c.download ? localFile : remoteFile;
    ASSERT_TRUE(writeFile(source, content));
    if (c.present >= 0) {
        ASSERT_TRUE(writeFile(target, content.left(c.present)));
    }

    SftpSession session;
    ASSERT_NO_FATAL_FAILURE(open(session));
    uint64_t lastProgress = 0;
    QObject::connect(&session, &SftpSession::progress, [&](uint64_t bytes, uint64_t) { lastProgress = bytes; });
    const Done done = run(session, [&] {
        if (c.download)
            session.get(QFile::encodeName(remoteFile), localFile, static_cast<uint64_t>(c.offset), c.listed);
        else
            session.put(localFile, QFile::encodeName(remoteFile), static_cast<uint64_t>(c.offset));
    });
    ASSERT_EQ(done.error, c.error) << done.text.toStdString();
    if (c.error == SftpError::None) {
        EXPECT_TRUE(readFile(target) == content);
        EXPECT_EQ(session.transferred(), static_cast<uint64_t>(content.size()));
        EXPECT_EQ(lastProgress, static_cast<uint64_t>(content.size()));
    } else {
        // A refused resume leaves the partial file as it was.
        EXPECT_TRUE(readFile(target) == content.left(c.present));
        const Done after = run(session, [&] { session.keepAlive(); });
        EXPECT_EQ(after.error, SftpError::None);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sftp, SftpTransferTest,
    ::testing::Values(TransferCase{"GetNew", true, -1, 0, SftpError::None},
                      TransferCase{"GetListedSize", true, -1, 0, SftpError::None, 3 * 1024 * 1024 + 12345},
                      TransferCase{"GetListedSmaller", true, -1, 0, SftpError::None, 4000},
                      TransferCase{"GetListedLarger", true, -1, 0, SftpError::None, 5 * 1024 * 1024},
                      TransferCase{"GetResumeListedSize", true, 1024 * 1024 + 7, 1024 * 1024 + 7, SftpError::None,
                                   3 * 1024 * 1024 + 12345},
                      TransferCase{"GetOverPartialFromStart", true, 5000, 0, SftpError::None},
                      TransferCase{"GetResume", true, 1024 * 1024 + 7, 1024 * 1024 + 7, SftpError::None},
                      TransferCase{"PutNew", false, -1, 0, SftpError::None},
                      TransferCase{"PutResume", false, 2 * 1024 * 1024 + 1, 2 * 1024 * 1024 + 1, SftpError::None},
                      // A resume point that is not where the target ends would leave a hole
                      // or old bytes in the file.
                      TransferCase{"PutResumePastRemoteEnd", false, 1000, 2000, SftpError::Remote},
                      TransferCase{"GetResumePastLocalEnd", true, 1000, 2000, SftpError::LocalFile}),
    [](const ::testing::TestParamInfo<TransferCase> &info) { return std::string(info.param.name); });

// A transfer stopped while requests are in flight ends as Cancelled with a first part of
// the file at the target; the session goes on, and resuming from that part completes it.
TEST_F(SftpSessionTest, AStoppedTransferKeepsItsPartAndResumesToTheWholeFile)
{
    const QByteArray content = randomBytes(8 * 1024 * 1024 + 3);
    const QString remoteFile = root + QStringLiteral("/stopped.bin");
    const QString localFile = home.path() + QStringLiteral("/stopped.bin");
    for (const bool download : {true, false}) {
        SCOPED_TRACE(download ? "get" : "put");
        const QString source = download ? remoteFile : localFile;
        const QString target = download ? localFile : remoteFile;
        ASSERT_TRUE(writeFile(source, content));
        QFile::remove(target);
        SftpSession session;
        ASSERT_NO_FATAL_FAILURE(open(session));
        const auto transfer = [&](uint64_t offset) {
            if (download)
                session.get(QFile::encodeName(remoteFile), localFile, offset);
            else
                session.put(localFile, QFile::encodeName(remoteFile), offset);
        };
        const auto stop = QObject::connect(&session, &SftpSession::progress, [&] { session.abortTransfer(); });
        Done done = run(session, [&] { transfer(0); });
        QObject::disconnect(stop);
        ASSERT_EQ(done.error, SftpError::Cancelled) << done.text.toStdString();
        const QByteArray part = readFile(target);
        EXPECT_LT(part.size(), content.size());
        EXPECT_TRUE(part == content.left(part.size()));

        done = run(session, [&] { transfer(static_cast<uint64_t>(part.size())); });
        ASSERT_EQ(done.error, SftpError::None) << done.text.toStdString();
        EXPECT_TRUE(readFile(target) == content);
    }
}

TEST_F(SftpSessionTest, FileCommandsChangeTheServerFolderAndNeverFollowLinks)
{
    const QString outside = root + QStringLiteral("/outside-target");
    ASSERT_TRUE(writeFile(outside + QStringLiteral("/keep.txt"), "keep"));
    ASSERT_TRUE(writeFile(root + QStringLiteral("/work/a.txt"), "a"));
    ASSERT_TRUE(writeFile(root + QStringLiteral("/work/b.txt"), "b"));
    ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(),
                        QFile::encodeName(root + QStringLiteral("/work/link")).constData()),
              0);

    SftpSession session;
    ASSERT_NO_FATAL_FAILURE(open(session));
    const QDateTime when = QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7), QTimeZone::utc());
    struct Step {
        const char *what;
        std::function<void()> start;
        SftpError error;
        std::function<bool()> check;
    };
    const auto at = [this](const char *relative) -> QString {
        return root + QLatin1Char('/') + QString::fromUtf8(relative);
    };
    const Step steps[] = {
        {"mkdir", [&] { session.makeFolder(remote(QStringLiteral("work/new ü"))); }, SftpError::None,
         [&] { return QFileInfo(at("work/new ü")).isDir(); }},
        {"mkdir existing", [&] { session.makeFolder(remote(QStringLiteral("work/new ü"))); }, SftpError::Remote,
         [&] { return QFileInfo(at("work/new ü")).isDir(); }},
        {"rename", [&] { session.rename(remote(QStringLiteral("work/a.txt")), remote(QStringLiteral("work/c.txt"))); },
         SftpError::None, [&] { return !QFileInfo::exists(at("work/a.txt")) && readFile(at("work/c.txt")) == "a"; }},
        {"rename onto existing",
         [&] { session.rename(remote(QStringLiteral("work/c.txt")), remote(QStringLiteral("work/b.txt"))); },
         SftpError::Remote, [&] { return readFile(at("work/c.txt")) == "a" && readFile(at("work/b.txt")) == "b"; }},
        {"chmod", [&] { session.chmod(remote(QStringLiteral("work/b.txt")), 0604); }, SftpError::None,
         [&] {
             struct stat st {};
             return ::stat(QFile::encodeName(at("work/b.txt")).constData(), &st) == 0 && (st.st_mode & 07777) == 0604;
         }},
        {"set times", [&] { session.setTimes(remote(QStringLiteral("work/b.txt")), when); }, SftpError::None,
         [&] { return QFileInfo(at("work/b.txt")).lastModified().toUTC() == when; }},
        {"rmdir not empty", [&] { session.removeFolder(remote(QStringLiteral("work"))); }, SftpError::Remote,
         [&] { return QFileInfo(at("work")).isDir(); }},
        // Deleting the link removes the link, not what it points to.
        {"delete link", [&] { session.deleteFile(remote(QStringLiteral("work/link"))); }, SftpError::None,
         [&] {
             return !QFileInfo(at("work/link")).isSymLink() &&
                    readFile(outside + QStringLiteral("/keep.txt")) == "keep";
         }},
        {"delete", [&] { session.deleteFile(remote(QStringLiteral("work/b.txt"))); }, SftpError::None,
         [&] { return !QFileInfo::exists(at("work/b.txt")); }},
        {"delete missing", [&] { session.deleteFile(remote(QStringLiteral("work/b.txt"))); }, SftpError::Remote,
         [&] { return true; }},
        {"rmdir", [&] { session.removeFolder(remote(QStringLiteral("work/new ü"))); }, SftpError::None,
         [&] { return !QFileInfo::exists(at("work/new ü")); }},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        const Done done = run(session, step.start);
        EXPECT_EQ(done.error, step.error) << done.text.toStdString();
        EXPECT_TRUE(step.check());
    }
    EXPECT_TRUE(session.authenticated());
}

struct HostKeyCase {
    const char *name;
    enum { None, Plain, Hashed, Other } userFile;
    std::optional<CertificateChoice> answer; // asked, with this answer
    SftpError error;
};

void PrintTo(const HostKeyCase &c, std::ostream *os)
{
    *os << c.name;
}

class SftpHostKeyTest : public SftpSessionTest, public ::testing::WithParamInterface<HostKeyCase> {};

TEST_P(SftpHostKeyTest, KnownHostsDecideOrTheUserIsAsked)
{
    const HostKeyCase &c = GetParam();
    const QString fingerprint = sshKeygenFingerprint(server.scratch() + QStringLiteral("/../host_ed25519.pub"));
    ASSERT_TRUE(fingerprint.startsWith(QStringLiteral("SHA256:")));
    QString otherFingerprint;
    if (c.userFile == HostKeyCase::Plain || c.userFile == HostKeyCase::Hashed) {
        ASSERT_TRUE(writeFile(userKnownHosts,
                              "# a comment\nother.example ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIA\n" + knownLine));
        if (c.userFile == HostKeyCase::Hashed) {
            ASSERT_TRUE(
                runSshTool(QStringLiteral("ssh-keygen"), {QStringLiteral("-H"), QStringLiteral("-f"), userKnownHosts}));
            ASSERT_FALSE(readFile(userKnownHosts).contains("127.0.0.1"));
        }
    } else if (c.userFile == HostKeyCase::Other) {
        const QString other = home.path() + QStringLiteral("/other_host_key");
        ASSERT_TRUE(makeSshKey(other));
        otherFingerprint = sshKeygenFingerprint(other + QStringLiteral(".pub"));
        const QList<QByteArray> fields = readFile(other + QStringLiteral(".pub")).split(' ');
        ASSERT_TRUE(writeFile(userKnownHosts, QStringLiteral("[127.0.0.1]:%1 ").arg(server.port()).toUtf8() +
                                                  fields.value(0) + ' ' + fields.value(1) + '\n'));
    }

    RecordingUserInterface ui;
    if (c.answer)
        ui.hostKeyAnswers.push_back(*c.answer);
    SftpQuestions questions(ui);
    SftpSession session;
    configure(session, server.clientKey());
    questions.install(session);
    bool closed = false;
    QObject::connect(&session, &SftpSession::sessionClosed, [&] { closed = true; });

    ASSERT_EQ(run(session, [&] { session.connectToHost(); }).error, SftpError::None);
    EXPECT_EQ(session.hostKey().fingerprint, fingerprint);
    const Done checked = run(session, [&] { session.checkHostKey(); });
    EXPECT_EQ(checked.error, c.error) << checked.text.toStdString();
    ASSERT_EQ(ui.hostKeyQuestions.size(), c.answer ? 1u : 0u);
    if (c.answer) {
        EXPECT_EQ(ui.hostKeyQuestions[0].fingerprint, fingerprint);
        EXPECT_EQ(ui.hostKeyQuestions[0].keyType, QStringLiteral("ssh-ed25519"));
        EXPECT_EQ(ui.hostKeyQuestions[0].port, server.port());
    }
    if (c.error != SftpError::None) {
        EXPECT_TRUE(waitFor([&] { return closed; }));
        EXPECT_FALSE(session.connected());
        if (c.error == SftpError::HostKeyChanged) {
            EXPECT_TRUE(checked.text.contains(fingerprint)) << checked.text.toStdString();
            EXPECT_TRUE(checked.text.contains(otherFingerprint)) << checked.text.toStdString();
        }
        return;
    }
    const Done login = run(session, [&] { session.authenticate(); });
    EXPECT_EQ(login.error, SftpError::None) << login.text.toStdString();

    // "Always" lands in the program's own file, which the next session trusts; the user's
    // own file is never written.
    const bool always = c.answer == CertificateChoice::TrustAlways;
    EXPECT_EQ(QFileInfo::exists(ownKnownHosts), always);
    if (always) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(ownKnownHosts).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_FALSE(QFileInfo::exists(userKnownHosts));
        SftpSession again;
        configure(again, server.clientKey());
        questions.install(again);
        ASSERT_EQ(run(again, [&] { again.connectToHost(); }).error, SftpError::None);
        EXPECT_EQ(run(again, [&] { again.checkHostKey(); }).error, SftpError::None);
        EXPECT_EQ(ui.hostKeyQuestions.size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sftp, SftpHostKeyTest,
    ::testing::Values(
        HostKeyCase{"KnownPlain", HostKeyCase::Plain, {}, SftpError::None},
        HostKeyCase{"KnownHashed", HostKeyCase::Hashed, {}, SftpError::None},
        HostKeyCase{"UnknownCancelled", HostKeyCase::None, CertificateChoice::Cancel, SftpError::HostKeyRefused},
        HostKeyCase{"UnknownTrustedOnce", HostKeyCase::None, CertificateChoice::TrustOnce, SftpError::None},
        HostKeyCase{"UnknownTrustedAlways", HostKeyCase::None, CertificateChoice::TrustAlways, SftpError::None},
        HostKeyCase{"Changed", HostKeyCase::Other, {}, SftpError::HostKeyChanged}),
    [](const ::testing::TestParamInfo<HostKeyCase> &info) { return std::string(info.param.name); });

TEST_F(SftpSessionTest, LogsInWithAgentKeyFilesAndPassphrases)
{
    const QString sshFolder = home.path() + QStringLiteral("/.ssh");
    const QString agentKey = home.path() + QStringLiteral("/agent_key");
    const QString lockedKey = sshFolder + QStringLiteral("/id_ed25519");
    const QString strangerKey = home.path() + QStringLiteral("/stranger");
    const QString passphrase = QStringLiteral("correct horse");
    ASSERT_TRUE(makeSshKey(agentKey) && server.authorise(agentKey));
    ASSERT_TRUE(QDir().mkpath(sshFolder));
    ASSERT_TRUE(makeSshKey(lockedKey, passphrase) && server.authorise(lockedKey));
    ASSERT_TRUE(makeSshKey(strangerKey));
    SshAgent agent;
    ASSERT_TRUE(agent.start());
    ASSERT_TRUE(agent.add(agentKey));

    struct Case {
        const char *name;
        bool useAgent;
        QString keyFile;
        std::optional<QString> passphraseAnswer; // asked, with this answer (none: cancelled)
        bool asked;
        SftpError error;
        QString by;
    };
    const Case cases[] = {
        {"agent", true, strangerKey, {}, false, SftpError::None, QStringLiteral("agent")},
        {"named key file",
         false,
         server.clientKey(),
         {},
         false,
         SftpError::None,
         QStringLiteral("key file ") + server.clientKey()},
        // The named key is refused; the usual key in ~/.ssh is tried next, with its passphrase.
        {"encrypted key with passphrase", false, strangerKey, passphrase, true, SftpError::None,
         QStringLiteral("key file ") + lockedKey},
        {"encrypted key, wrong passphrase",
         false,
         strangerKey,
         QStringLiteral("wrong"),
         true,
         SftpError::AuthFailed,
         {}},
        {"encrypted key, passphrase cancelled", false, strangerKey, {}, true, SftpError::AuthFailed, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<ScopedEnv> agentEnv;
        if (c.useAgent)
            agentEnv.emplace("SSH_AUTH_SOCK", QFile::encodeName(agent.socket()));
        RecordingUserInterface ui;
        if (c.passphraseAnswer)
            ui.textAnswers.push_back({true, *c.passphraseAnswer});
        else
            ui.textAnswers.push_back({false, QString()});
        SftpQuestions questions(ui);
        SftpSession session;
        ASSERT_TRUE(writeFile(userKnownHosts, knownLine));
        logText.clear();
        configure(session, c.keyFile);
        questions.install(session);
        ASSERT_EQ(run(session, [&] { session.connectToHost(); }).error, SftpError::None);
        ASSERT_EQ(run(session, [&] { session.checkHostKey(); }).error, SftpError::None);
        const Done done = run(session, [&] { session.authenticate(); });
        EXPECT_EQ(done.error, c.error) << done.text.toStdString() << "\n" << logText.toStdString();
        EXPECT_EQ(session.authenticatedBy(), c.by);
        EXPECT_EQ(ui.textPrompts.size(), c.asked ? 1 : 0);
        if (c.asked) {
            EXPECT_TRUE(ui.textPrompts.value(0).contains(lockedKey));
            EXPECT_TRUE(ui.textPrompts.value(0).endsWith(QStringLiteral("|masked")));
        }
        EXPECT_FALSE(logText.contains(passphrase));
        if (c.error == SftpError::None) {
            EXPECT_EQ(run(session, [&] { session.realPath("."); }).error, SftpError::None);
        } else {
            EXPECT_TRUE(done.text.contains(QStringLiteral("publickey"))) << done.text.toStdString();
        }
    }
}

// Passwords go by keyboard-interactive or the password method, whichever the server
// offers; a wrong one fails the login, and no password reaches the log.
TEST(SftpPasswordTest, LogsInWithPasswordOrKeyboardInteractive)
{
    const ScopedEnv noAgent("SSH_AUTH_SOCK", QByteArray());
    const TempHome home;
    const QString password = QStringLiteral("s3cret pässword");
    struct Case {
        const char *method;
        QString given;
        SftpError error;
    };
    const Case cases[] = {
        {"password", password, SftpError::None},
        {"password", QStringLiteral("wrong"), SftpError::AuthFailed},
        {"keyboard-interactive", password, SftpError::None},
        {"keyboard-interactive", QStringLiteral("wrong"), SftpError::AuthFailed},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.given.toStdString());
        ParamikoSftpServer server;
        ASSERT_TRUE(server.start(QLatin1String(c.method), QStringLiteral("alice"), password))
            << server.failure().toStdString();
        ASSERT_TRUE(writeFile(server.root() + QStringLiteral("/hello.txt"), "hello"));
        const QString knownHosts = home.path() + QStringLiteral("/known_hosts");
        ASSERT_TRUE(writeFile(knownHosts, server.knownHostsLine()));
        SftpSession session;
        session.setHost(QStringLiteral("127.0.0.1"), server.port());
        session.setUser(QStringLiteral("alice"));
        session.setPassword(c.given);
        session.setKeyFolder(home.path() + QStringLiteral("/.ssh"));
        session.setUserKnownHostsFile(knownHosts);
        QString log;
        QObject::connect(&session, &SftpSession::logLine,
                         [&](const QString &line) { log += line + QLatin1Char('\n'); });
        ASSERT_EQ(run(session, [&] { session.connectToHost(); }).error, SftpError::None);
        ASSERT_EQ(run(session, [&] { session.checkHostKey(); }).error, SftpError::None);
        const Done done = run(session, [&] { session.authenticate(); });
        EXPECT_EQ(done.error, c.error) << done.text.toStdString() << "\n" << log.toStdString();
        if (c.error == SftpError::None) {
            EXPECT_EQ(session.authenticatedBy(), QLatin1String(c.method));
            EXPECT_EQ(run(session, [&] { session.stat("/hello.txt"); }).error, SftpError::None);
            EXPECT_EQ(session.statResult().size, 5u);
        }
        EXPECT_FALSE(log.contains(c.given));
        EXPECT_FALSE(done.text.contains(c.given));
    }
}

// A download is done only when the server has shown the file's end and closed it: a file
// longer than its size said, or a refused close, fails the download (the session goes on),
// whether the first read went out before the size was in or after it.
TEST(SftpDownloadEndTest, TheEndOfFileAndTheCloseDecide)
{
    const ScopedEnv noAgent("SSH_AUTH_SOCK", QByteArray());
    const TempHome home;
    const QString password = QStringLiteral("pw");
    ParamikoSftpServer server;
    ASSERT_TRUE(server.start(QStringLiteral("password"), QStringLiteral("alice"), password))
        << server.failure().toStdString();
    const QByteArray content = randomBytes(70000);
    for (const char *name : {"whole.bin", "grows.bin", "close-refused.bin"})
        ASSERT_TRUE(writeFile(server.root() + QLatin1Char('/') + QLatin1String(name), content));
    ASSERT_TRUE(writeFile(server.root() + QStringLiteral("/empty.bin"), QByteArray()));
    const QString knownHosts = home.path() + QStringLiteral("/known_hosts");
    ASSERT_TRUE(writeFile(knownHosts, server.knownHostsLine()));
    SftpSession session;
    session.setHost(QStringLiteral("127.0.0.1"), server.port());
    session.setUser(QStringLiteral("alice"));
    session.setPassword(password);
    session.setKeyFolder(home.path() + QStringLiteral("/.ssh"));
    session.setUserKnownHostsFile(knownHosts);
    ASSERT_EQ(run(session, [&] { session.connectToHost(); }).error, SftpError::None);
    ASSERT_EQ(run(session, [&] { session.checkHostKey(); }).error, SftpError::None);
    ASSERT_EQ(run(session, [&] { session.authenticate(); }).error, SftpError::None);

    struct Case {
        const char *name;
        qint64 listed;
        SftpError error;
        const char *says; // in the failure's text
        qsizetype copied; // the bytes of `content` a whole copy holds
    };
    const Case cases[] = {
        {"whole.bin", -1, SftpError::None, "", 70000},
        {"whole.bin", 70000, SftpError::None, "", 70000},
        {"empty.bin", 5000, SftpError::None, "", 0},
        {"grows.bin", -1, SftpError::Incomplete, "grew", 0},
        {"grows.bin", 69999, SftpError::Incomplete, "grew", 0},
        {"close-refused.bin", -1, SftpError::Remote, "closing", 0},
        {"close-refused.bin", 70000, SftpError::Remote, "closing", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " listed " + std::to_string(c.listed));
        const QString local = home.path() + QStringLiteral("/copy.bin");
        QFile::remove(local);
        const QByteArray remotePath = QByteArray("/") + c.name;
        const Done done = run(session, [&] { session.get(remotePath, local, 0, c.listed); });
        EXPECT_EQ(done.error, c.error) << done.text.toStdString();
        EXPECT_TRUE(done.text.contains(QLatin1String(c.says))) << done.text.toStdString();
        if (c.error == SftpError::None) {
            EXPECT_TRUE(readFile(local) == content.left(c.copied));
        }
        EXPECT_EQ(run(session, [&] { session.stat("/whole.bin"); }).error, SftpError::None);
    }
}

// A server that takes the connection and never speaks: the handshake's wait ends at the
// timeout with a clear error, and the same session connects afterwards.
TEST_F(SftpSessionTest, SilentServerEndsInTimeoutAndTheSessionConnectsAgain)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    QList<QTcpSocket *> held;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] { held << silent.nextPendingConnection(); });
    SftpSession session;
    configure(session, server.clientKey());
    session.setHost(QStringLiteral("127.0.0.1"), silent.serverPort());
    session.setTimeoutMs(800);
    const Done done = run(
        session, [&] { session.connectToHost(); }, 10000);
    EXPECT_EQ(done.error, SftpError::Timeout) << done.text.toStdString();
    EXPECT_TRUE(done.text.contains(QStringLiteral("did not answer"))) << done.text.toStdString();
    EXPECT_FALSE(session.connected());

    session.setHost(QStringLiteral("127.0.0.1"), server.port());
    session.setTimeoutMs(20000);
    EXPECT_EQ(run(session, [&] { session.connectToHost(); }).error, SftpError::None);
    qDeleteAll(held);
}

// The server goes away in the middle of a download: the transfer fails (it is not reported
// done), the partial file stays for a resume, and the session reports its end.
TEST_F(SftpSessionTest, ServerDroppingMidFileFailsTheTransfer)
{
    const QByteArray content = randomBytes(48 * 1024 * 1024);
    ASSERT_TRUE(writeFile(root + QStringLiteral("/big.bin"), content));
    const QString local = home.path() + QStringLiteral("/big.bin");
    SftpSession session;
    ASSERT_NO_FATAL_FAILURE(open(session));
    bool closed = false;
    QObject::connect(&session, &SftpSession::sessionClosed, [&] { closed = true; });
    bool stopped = false;
    QObject::connect(&session, &SftpSession::progress, [&](uint64_t, uint64_t) {
        if (!stopped) {
            stopped = true;
            server.dropConnections();
        }
    });
    const Done done = run(session, [&] { session.get(QFile::encodeName(root + QStringLiteral("/big.bin")), local); });
    EXPECT_TRUE(done.error == SftpError::Network || done.error == SftpError::Incomplete) << done.text.toStdString();
    EXPECT_LT(QFileInfo(local).size(), content.size());
    EXPECT_TRUE(content.startsWith(readFile(local)));
    EXPECT_TRUE(waitFor([&] { return closed || session.connected(); }));
}

} // namespace
