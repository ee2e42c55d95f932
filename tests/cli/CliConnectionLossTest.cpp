// kestrin-ftp-cli against a server that loses the connection on purpose (mid-file, between
// files, after the passive reply, a reply that never comes, a data connection that never
// closes): every file reported "ok" is whole, the run always ends in bounded time, and with
// reconnects left the download resumes and completes byte-identical. The same server holds
// back or cuts a listing to show that `ls` prints as the lines arrive.
#include "support/CliProcess.h"
#include "support/ServerProcess.h"
#include "support/TempHome.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using Result = CliResult;

Result runCli(const QStringList &args, int timeoutMs = 60000)
{
    return runCliProcess(QStringLiteral(KESTRIN_CLI_PATH), args, timeoutMs);
}

QByteArray pattern(qint64 size, unsigned seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(((static_cast<quint64>(i) + seed) * 7919u) >> 3);
    return bytes;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The test server that misbehaves as its faults say (see faulty_ftp_server.py), serving a
// root with "one.bin" and a folder "two" of two files.
class FaultyServer {
public:
    bool start(const QStringList &faults)
    {
        const QString root = m_root.path();
        QDir().mkpath(root + QStringLiteral("/two"));
        for (const auto &[name, size, seed] :
             {std::tuple{"/one.bin", 3000000, 1u}, std::tuple{"/two/a.bin", 1500000, 2u},
              std::tuple{"/two/b.bin", 700000, 3u}}) {
            QFile f(root + QLatin1String(name));
            if (!f.open(QIODevice::WriteOnly) || f.write(pattern(size, seed)) != size)
                return false;
        }
        m_port = ServerProcess::freePort();
        return m_process.start(QStringLiteral("/usr/bin/python3"),
                               QStringList{QStringLiteral(KESTRIN_SOURCE_DIR "/tests/support/faulty_ftp_server.py"),
                                           QString::number(m_port), root, QStringLiteral("anna"),
                                           QStringLiteral("pw")} +
                                   faults,
                               m_port);
    }
    QString url(const QString &path) const
    {
        return QStringLiteral("ftp://anna:pw@127.0.0.1:%1/%2").arg(m_port).arg(path);
    }
    QString root() const { return m_root.path(); }
    QStringList commands() const
    {
        QStringList all;
        for (const QString &line : m_process.readWholeLog().split(QLatin1Char('\n'))) {
            if (line.startsWith(QStringLiteral("<- ")))
                all << line.mid(3);
        }
        return all;
    }

private:
    QTemporaryDir m_root;
    ServerProcess m_process;
    uint16_t m_port = 0;
};

std::vector<QJsonObject> jsonLines(const QString &out)
{
    std::vector<QJsonObject> lines;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines.push_back(QJsonDocument::fromJson(line.toUtf8()).object());
    return lines;
}

struct Fault {
    const char *what;
    QStringList faults;
    QString remote; // "one.bin" or the folder "two"
};

const Fault kFaults[] = {
    {"dropped mid-file", {QStringLiteral("drop-mid-retr:1")}, QStringLiteral("one.bin")},
    {"dropped between files", {QStringLiteral("drop-after-retr:1")}, QStringLiteral("two")},
    {"dropped after the passive reply", {QStringLiteral("drop-on-retr:1")}, QStringLiteral("one.bin")},
    {"no reply within the timeout", {QStringLiteral("mute-retr:1")}, QStringLiteral("two")},
    {"data connection never closes", {QStringLiteral("hold-data:1")}, QStringLiteral("two")},
};

TEST(CliConnectionLoss, WithoutReconnectsNothingUnfinishedIsOkAndTheRunEndsWithTheConnectionStatus)
{
    TempHome home;
    for (const Fault &c : kFaults) {
        SCOPED_TRACE(c.what);
        FaultyServer server;
        ASSERT_TRUE(server.start(c.faults));
        const QString local =
            home.path() + QStringLiteral("/dl-") + QString::number(qHash(QString::fromLatin1(c.what)));
        QDir().mkpath(local);
        // One connection: the loss of the only session ends the run. (With a pool, an extra
        // session's loss puts its item back for the sessions still connected.)
        const Result r = runCli({QStringLiteral("--json"), QStringLiteral("--retries"), QStringLiteral("0"),
                                 QStringLiteral("--parallel"), QStringLiteral("1"), QStringLiteral("--timeout"),
                                 QStringLiteral("2"), QStringLiteral("get"), server.url(c.remote), local},
                                30000);
        ASSERT_EQ(r.exitCode, 3) << r.err.toStdString() << r.out.toStdString();
        EXPECT_LT(r.ms, 15000);
        int unfinished = 0;
        for (const QJsonObject &o : jsonLines(r.out)) {
            if (o.value(QStringLiteral("verb")).toString() != QStringLiteral("getfile"))
                continue;
            const QString target = o.value(QStringLiteral("target")).toString();
            const QString source = o.value(QStringLiteral("source")).toString();
            const QString outcome = o.value(QStringLiteral("outcome")).toString();
            if (outcome == QStringLiteral("ok")) {
                EXPECT_EQ(contents(target), contents(server.root() + source))
                    << "reported ok: " << source.toStdString();
            } else {
                EXPECT_EQ(outcome, QStringLiteral("interrupted")) << source.toStdString();
                EXPECT_FALSE(o.value(QStringLiteral("error")).toString().isEmpty());
                ++unfinished;
            }
        }
        EXPECT_GE(unfinished, 1) << r.out.toStdString();
        // A session lost after its login is never called a failed login.
        EXPECT_FALSE(r.err.contains(QStringLiteral("log in"), Qt::CaseInsensitive)) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(QStringLiteral("recovery"))) << r.err.toStdString();
    }
}

TEST(CliConnectionLoss, AServerThatAlwaysDropsEndsAfterTheLastReconnect)
{
    TempHome home;
    FaultyServer server;
    ASSERT_TRUE(server.start({QStringLiteral("drop-mid-retr")}));
    const Result r = runCli({QStringLiteral("--json"), QStringLiteral("--retries"), QStringLiteral("2"),
                             QStringLiteral("--retry-delay"), QStringLiteral("0"), QStringLiteral("get"),
                             server.url(QStringLiteral("one.bin")), home.path()},
                            30000);
    ASSERT_EQ(r.exitCode, 3) << r.err.toStdString();
    EXPECT_EQ(server.commands().filter(QRegularExpression(QStringLiteral("^RETR "))).size(), 3)
        << "the download and its two reconnects";
    EXPECT_EQ(r.err.count(QStringLiteral("reconnecting in")), 2) << r.err.toStdString();
    const std::vector<QJsonObject> lines = jsonLines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.out.toStdString();
    EXPECT_EQ(lines[0].value(QStringLiteral("outcome")).toString(), QStringLiteral("interrupted"));
    EXPECT_LT(QFileInfo(home.path() + QStringLiteral("/one.bin")).size(), 3000000);
}

TEST(CliReconnect, AfterALostConnectionTheTransferResumesAndCompletesByteIdentical)
{
    TempHome home;
    // The single file loses the connection twice: once mid-file, once after the passive
    // reply of the next attempt.
    Fault twice{"dropped mid-file, then after the passive reply",
                {QStringLiteral("drop-mid-retr:1"), QStringLiteral("drop-on-retr:1")},
                QStringLiteral("one.bin")};
    std::vector<Fault> cases(std::begin(kFaults), std::end(kFaults));
    cases.push_back(twice);
    for (const Fault &c : cases) {
        SCOPED_TRACE(c.what);
        FaultyServer server;
        ASSERT_TRUE(server.start(c.faults));
        const QString local =
            home.path() + QStringLiteral("/dl-") + QString::number(qHash(QString::fromLatin1(c.what)));
        QDir().mkpath(local);
        // One connection, whose loss the reconnect mends (an extra pool session's loss would
        // only put its item back for the main session).
        const Result r = runCli({QStringLiteral("--parallel"), QStringLiteral("1"), QStringLiteral("--timeout"),
                                 QStringLiteral("2"), QStringLiteral("get"), server.url(c.remote), local},
                                30000);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_LT(r.ms, 10000);
        if (c.remote == QStringLiteral("one.bin")) {
            EXPECT_TRUE(contents(local + QStringLiteral("/one.bin")) ==
                        contents(server.root() + QStringLiteral("/one.bin")));
        } else {
            for (const QString &name : {QStringLiteral("/two/a.bin"), QStringLiteral("/two/b.bin")})
                EXPECT_TRUE(contents(local + name) == contents(server.root() + name)) << name.toStdString();
        }
        // One line per attempt, the delay doubling; nothing about a recovery file or a login.
        const QStringList attempts = r.err.split(QLatin1Char('\n')).filter(QStringLiteral("reconnecting in"));
        ASSERT_EQ(attempts.size(), c.faults.size()) << r.err.toStdString();
        EXPECT_TRUE(attempts[0].contains(QStringLiteral("reconnecting in 1 s (attempt 1 of 3)")))
            << attempts[0].toStdString();
        EXPECT_FALSE(r.err.contains(QStringLiteral("recovery"))) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(QStringLiteral("log in"), Qt::CaseInsensitive)) << r.err.toStdString();
    }
}

TEST(CliReconnect, ADownloadCutMidFileContinuesWhereItStopped)
{
    TempHome home;
    FaultyServer server;
    ASSERT_TRUE(server.start({QStringLiteral("drop-mid-retr:1")}));
    const Result r = runCli({QStringLiteral("get"), server.url(QStringLiteral("one.bin")), home.path()}, 30000);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList commands = server.commands();
    const qsizetype rest = commands.indexOf(QRegularExpression(QStringLiteral("^REST [1-9]\\d*$")));
    ASSERT_GE(rest, 0) << commands.join(QLatin1Char('|')).toStdString();
    // The server sent half of the file before it dropped the connection; the download goes
    // on from what reached the disk, never from further than that.
    const qint64 offset = commands[rest].mid(5).toLongLong();
    EXPECT_LE(offset, 1500000);
    EXPECT_GE(offset, 1024 * 1024);
}

// The server announces the file's size, sends half of it and calls the transfer complete:
// the file is not done, its half stays, and the next run continues it to the end.
TEST(CliGet, AFileCutShortUnderA226IsAFailureAndResumesLater)
{
    TempHome home;
    FaultyServer server;
    ASSERT_TRUE(server.start({QStringLiteral("short-retr:1")}));
    const QString target = home.path() + QStringLiteral("/one.bin");
    const Result cut = runCli(
        {QStringLiteral("--json"), QStringLiteral("get"), server.url(QStringLiteral("one.bin")), home.path()}, 30000);
    ASSERT_EQ(cut.exitCode, 4) << cut.err.toStdString();
    const std::vector<QJsonObject> lines = jsonLines(cut.out);
    ASSERT_EQ(lines.size(), 1u) << cut.out.toStdString();
    EXPECT_EQ(lines[0].value(QStringLiteral("outcome")).toString(), QStringLiteral("failed"));
    EXPECT_TRUE(lines[0]
                    .value(QStringLiteral("error"))
                    .toString()
                    .contains(QStringLiteral("partial file, 1500000 of 3000000 bytes")))
        << cut.out.toStdString();
    ASSERT_EQ(QFileInfo(target).size(), 1500000) << "the partial file is kept for a resume";

    const Result resumed = runCli(
        {QStringLiteral("--resume"), QStringLiteral("get"), server.url(QStringLiteral("one.bin")), home.path()}, 30000);
    ASSERT_EQ(resumed.exitCode, 0) << resumed.err.toStdString();
    EXPECT_TRUE(server.commands().contains(QStringLiteral("REST 1500000")))
        << server.commands().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(contents(target) == contents(server.root() + QStringLiteral("/one.bin")));
}

TEST(CliReconnect, AnUploadCutMidFileContinuesItsOwnPartialFileWhateverTheExistingTargetChoice)
{
    // The server keeps the first MiB and drops the connection. The partial file it holds
    // is the upload's own: after the reconnect it is continued, never taken for an existing
    // target and skipped, asked about or reported done while partial.
    TempHome home;
    const QString file = home.path() + QStringLiteral("/up.bin");
    const QByteArray data = pattern(3000000, 5);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(data), data.size());
    }
    for (const char *choice : {"", "--skip", "--resume", "--overwrite"}) {
        SCOPED_TRACE(choice);
        FaultyServer server;
        ASSERT_TRUE(server.start({QStringLiteral("drop-mid-stor:1")}));
        QStringList args{QStringLiteral("--json"), QStringLiteral("--timeout"), QStringLiteral("5")};
        if (*choice)
            args << QString::fromLatin1(choice);
        const Result r = runCli(args << QStringLiteral("put") << file << server.url(QStringLiteral("up.bin")), 30000);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString() << r.out.toStdString();
        EXPECT_TRUE(contents(server.root() + QStringLiteral("/up.bin")) == data);
        const std::vector<QJsonObject> lines = jsonLines(r.out);
        ASSERT_EQ(lines.size(), 1u) << r.out.toStdString();
        EXPECT_EQ(lines[0].value(QStringLiteral("outcome")).toString(), QStringLiteral("ok"));
        EXPECT_EQ(lines[0].value(QStringLiteral("bytes")).toInteger(), data.size());
        // Continued from the MiB the server kept, not sent again from the start.
        const QStringList commands = server.commands();
        EXPECT_TRUE(commands.contains(QStringLiteral("REST 1048576"))) << commands.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(commands.filter(QRegularExpression(QStringLiteral("^STOR "))).size(), 2)
            << commands.join(QLatin1Char('|')).toStdString();
    }
}

TEST(CliConnectionLoss, AnUploadFromStandardInputIsNotContinuedFromTheWrongPlace)
{
    // Bytes read from a pipe are gone: after the loss the item fails rather than sending the
    // rest of the stream as if it were the whole file, or continuing it.
    TempHome home;
    FaultyServer server;
    ASSERT_TRUE(server.start({QStringLiteral("drop-mid-stor:1")}));
    QProcess cli;
    cli.setChildProcessModifier([] { ::setsid(); });
    cli.start(QStringLiteral(KESTRIN_CLI_PATH), {QStringLiteral("--json"), QStringLiteral("put"), QStringLiteral("-"),
                                                 server.url(QStringLiteral("piped.bin"))});
    ASSERT_TRUE(cli.waitForStarted(10000));
    cli.write(pattern(3000000, 6));
    cli.closeWriteChannel();
    ASSERT_TRUE(cli.waitForFinished(30000));
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_EQ(cli.exitCode(), 4) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("cannot be continued"))) << err.toStdString();
    const std::vector<QJsonObject> lines = jsonLines(QString::fromUtf8(cli.readAllStandardOutput()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].value(QStringLiteral("outcome")).toString(), QStringLiteral("failed"));
    EXPECT_EQ(server.commands().filter(QRegularExpression(QStringLiteral("^STOR "))).size(), 1);
}

TEST(CliConnectionLoss, ADownloadToStandardOutputIsNotWrittenTwice)
{
    // What went into a pipe cannot be taken back: after the loss the item fails instead of
    // starting again behind the half already written.
    TempHome home;
    FaultyServer server;
    ASSERT_TRUE(server.start({QStringLiteral("drop-mid-retr:1")}));
    const Result r = runCli({QStringLiteral("get"), server.url(QStringLiteral("one.bin")), QStringLiteral("-")}, 30000);
    EXPECT_EQ(r.exitCode, 4) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("cannot be continued"))) << r.err.toStdString();
    EXPECT_FALSE(server.commands().contains(QRegularExpression(QStringLiteral("^REST [1-9]"))));
}

// `ls` prints each entry as its line arrives: the first entry is out while the server still
// holds back the rest of the listing.
TEST(CliLs, EntriesArePrintedAsTheListingArrives)
{
    TempHome home;
    FaultyServer server;
    ASSERT_TRUE(server.start({QStringLiteral("hold-list:1")}));
    QProcess cli;
    cli.setChildProcessModifier([] { ::setsid(); });
    cli.start(QStringLiteral(KESTRIN_CLI_PATH), {QStringLiteral("ls"), server.url(QStringLiteral("two/"))});
    ASSERT_TRUE(cli.waitForStarted(10000));
    QByteArray out;
    QDeadlineTimer deadline(20000);
    while (!out.contains("a.bin\n") && !deadline.hasExpired() && cli.state() == QProcess::Running) {
        cli.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        out += cli.readAllStandardOutput();
    }
    const bool printedBeforeTheEnd = out.contains("a.bin\n") && !out.contains("b.bin");
    QFile gate(server.root() + QStringLiteral("/.go"));
    ASSERT_TRUE(gate.open(QIODevice::WriteOnly));
    gate.close();
    ASSERT_TRUE(cli.waitForFinished(30000));
    out += cli.readAllStandardOutput();
    EXPECT_TRUE(printedBeforeTheEnd) << out.toStdString();
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^- +1500000 2024-01-01 00:00 a\\.bin\n"
                                                  "- +700000 2024-01-01 00:00 b\\.bin\n$"))
                    .match(QString::fromUtf8(out))
                    .hasMatch())
        << out.toStdString();
}

// Lines printed cannot be taken back: a listing the lost connection cut after its first
// line fails (status 4) instead of being listed and printed again after the reconnect.
TEST(CliLs, AListingCutAfterItsFirstLinesFailsInsteadOfPrintingThemTwice)
{
    TempHome home;
    FaultyServer server;
    ASSERT_TRUE(server.start({QStringLiteral("drop-mid-list:1")}));
    const Result r = runCli({QStringLiteral("ls"), server.url(QStringLiteral("two/"))}, 30000);
    EXPECT_EQ(r.exitCode, 4) << r.err.toStdString();
    EXPECT_EQ(r.out.count(QStringLiteral("a.bin")), 1) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("not the whole folder"))) << r.err.toStdString();
}

TEST(CliGet, OneFileIsFoundWithSizeWithoutListingItsFolder)
{
    TempHome home;
    FaultyServer server;
    ASSERT_TRUE(server.start({}));
    const Result r = runCli({QStringLiteral("get"), server.url(QStringLiteral("two/a.bin")), home.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(contents(home.path() + QStringLiteral("/a.bin")) ==
                contents(server.root() + QStringLiteral("/two/a.bin")));
    const QStringList commands = server.commands();
    EXPECT_TRUE(commands.contains(QStringLiteral("SIZE /two/a.bin"))) << commands.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(commands.filter(QRegularExpression(QStringLiteral("^(LIST|NLST|MLSD)"))).isEmpty())
        << commands.join(QLatin1Char('|')).toStdString();
}

TEST(CliGet, AnUnreadableEpsvReplyFallsBackToPasvForTheSession)
{
    TempHome home;
    FaultyServer server;
    ASSERT_TRUE(server.start({QStringLiteral("bad-epsv")}));
    const Result r = runCli({QStringLiteral("get"), server.url(QStringLiteral("two")), home.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const QString &name : {QStringLiteral("/two/a.bin"), QStringLiteral("/two/b.bin")})
        EXPECT_TRUE(contents(home.path() + name) == contents(server.root() + name)) << name.toStdString();
    // Asked once by each session (the files may go on two); the listings and both files go
    // over PASV.
    const QStringList commands = server.commands();
    EXPECT_EQ(commands.count(QStringLiteral("EPSV")),
              commands.filter(QRegularExpression(QStringLiteral("^USER "))).size())
        << commands.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(commands.count(QStringLiteral("PASV")),
              commands.filter(QRegularExpression(QStringLiteral("^(LIST|RETR) "))).size() +
                  commands.count(QStringLiteral("LIST")))
        << commands.join(QLatin1Char('|')).toStdString();
}

TEST(CliPut, MissingRemoteFoldersAreMadeAndARefusedOneIsNamed)
{
    TempHome home;
    const QString file = home.path() + QStringLiteral("/up.bin");
    const QByteArray data = pattern(70000, 9);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    QDir().mkpath(home.path() + QStringLiteral("/tree/sub"));
    QFile::copy(file, home.path() + QStringLiteral("/tree/sub/in.bin"));

    FaultyServer server;
    ASSERT_TRUE(server.start({}));
    Result r =
        runCli({QStringLiteral("--json"), QStringLiteral("put"), file, server.url(QStringLiteral("new/deeper/"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(contents(server.root() + QStringLiteral("/new/deeper/up.bin")) == data);
    r = runCli({QStringLiteral("--json"), QStringLiteral("put"), home.path() + QStringLiteral("/tree"),
                server.url(QStringLiteral("a/b/tree"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(contents(server.root() + QStringLiteral("/a/b/tree/sub/in.bin")) == data);
    // The queue's own markers never appear as a target.
    EXPECT_FALSE(r.out.contains(QLatin1Char('@'))) << r.out.toStdString();

    FaultyServer refusing;
    ASSERT_TRUE(refusing.start({QStringLiteral("refuse-mkd")}));
    r = runCli({QStringLiteral("--json"), QStringLiteral("put"), file, refusing.url(QStringLiteral("gone/up.bin"))});
    EXPECT_EQ(r.exitCode, 4) << r.err.toStdString();
    const std::vector<QJsonObject> lines = jsonLines(r.out);
    ASSERT_EQ(lines.size(), 1u) << r.out.toStdString();
    EXPECT_EQ(lines[0].value(QStringLiteral("outcome")).toString(), QStringLiteral("failed"));
    EXPECT_EQ(lines[0].value(QStringLiteral("error")).toString(),
              QStringLiteral("cannot make the remote folder /gone: 550 Permission denied"));
}

} // namespace
