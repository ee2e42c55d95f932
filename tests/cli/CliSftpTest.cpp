// kestrin-ftp-cli with sftp:// URLs against OpenSSH's sshd started on loopback: trees both
// ways byte-exact, ls, rmdir -r beside a link out of the tree, host keys and logins with
// their exit status.
#include "support/CliProcess.h"
#include "support/ScopedEnv.h"
#include "support/SshServer.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>

namespace {

CliResult runCli(const QStringList &args)
{
    return runCliProcess(QStringLiteral(KESTRIN_CLI_PATH), args, 120000);
}

class CliSftp : public ::testing::Test {
protected:
    void SetUp() override
    {
        startForTest(server);
        if (IsSkipped() || HasFailure())
            return;
        remote = server.scratch();
        QDir().mkpath(remote);
        knownHosts = home.path() + QStringLiteral("/.ssh/known_hosts");
        knownLine = QStringLiteral("[127.0.0.1]:%1 %2\n").arg(server.port()).arg(server.hostKeyLine()).toUtf8();
    }

    QString url(const QString &path) const
    {
        return QStringLiteral("sftp://%1@127.0.0.1:%2%3/%4").arg(server.user()).arg(server.port()).arg(remote, path);
    }
    // The options that log in with the server's client key.
    QStringList keyed(const QStringList &args) const
    {
        return QStringList{QStringLiteral("--key"), server.clientKey()} + args;
    }
    void knowTheHost() { makeFile(knownHosts, knownLine); }

    ScopedEnv noAgent{"SSH_AUTH_SOCK", QByteArray()};
    ScopedEnv noPassword{"KESTRIN_FTP_PASSWORD", QByteArray()};
    TempHome home;
    OpenSshServer server;
    QString remote, knownHosts;
    QByteArray knownLine;
};

TEST_F(CliSftp, TreeTravelsBothWaysByteExactIsListedAndDeleted)
{
    knowTheHost();
    const QString src = remote + QStringLiteral("/src");
    makeFile(src + QStringLiteral("/zero.txt"), QByteArray());
    makeFile(src + QStringLiteral("/gr\u00FC\u00DFe/\u00E4rger \u00F8.bin"), "umlaut");
    makeFile(src + QStringLiteral("/deep/a/big.bin"), patternBytes(3 * 1024 * 1024 + 5));
    QDir().mkpath(src + QStringLiteral("/empty"));
    const auto want = fileTree(src);
    const QString local = home.path() + QStringLiteral("/dl");
    QDir().mkpath(local);

    CliResult r = runCli(keyed({QStringLiteral("-q"), QStringLiteral("get"), url(QStringLiteral("src")), local}));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(fileTree(local + QStringLiteral("/src")), want);

    r = runCli(keyed(
        {QStringLiteral("-q"), QStringLiteral("put"), local + QStringLiteral("/src"), url(QStringLiteral("copy"))}));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(fileTree(remote + QStringLiteral("/copy")), want);

    r = runCli(keyed({QStringLiteral("ls"), url(QStringLiteral("copy/"))}));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(
        r.out.contains(QRegularExpression(QStringLiteral("^- +0 .* zero\\.txt$"), QRegularExpression::MultilineOption)))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(
        QRegularExpression(QStringLiteral("^d .* gr\u00FC\u00DFe$"), QRegularExpression::MultilineOption)))
        << r.out.toStdString();
    EXPECT_EQ(r.out.count(QLatin1Char('\n')), 4) << r.out.toStdString();

    // A link in the tree to a folder outside it goes, and what it points at stays.
    makeFile(remote + QStringLiteral("/outside/keep.txt"), "keep");
    ASSERT_TRUE(QFile::link(remote + QStringLiteral("/outside"), remote + QStringLiteral("/copy/deep/out")));
    r = runCli(
        keyed({QStringLiteral("-q"), QStringLiteral("rmdir"), QStringLiteral("-r"), url(QStringLiteral("copy"))}));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(remote + QStringLiteral("/copy")));
    EXPECT_EQ(readAll(remote + QStringLiteral("/outside/keep.txt")), QByteArray("keep"));
}

// A host alias of ~/.ssh/config names the server, its port, the user and the key, as it
// does for ssh; the URL's own user wins over the file's.
TEST_F(CliSftp, AHostAliasOfTheSshConfigurationFindsTheServerAndItsKey)
{
    knowTheHost();
    makeFile(remote + QStringLiteral("/here.txt"), "x");
    makeFile(home.path() + QStringLiteral("/.ssh/config"), QStringLiteral("Host box\n  HostName 127.0.0.1\n  Port %1\n"
                                                                          "  User nobody-here\n  IdentityFile %2\n")
                                                               .arg(server.port())
                                                               .arg(server.clientKey())
                                                               .toUtf8());
    CliResult r = runCli({QStringLiteral("ls"), QStringLiteral("sftp://%1@box%2/").arg(server.user(), remote)});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("here.txt"))) << r.out.toStdString();
    // The file's user, who does not exist, is refused: the alias really gave it.
    r = runCli({QStringLiteral("ls"), QStringLiteral("sftp://box%1/").arg(remote)});
    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
}

// How the host key and the login decide a run's exit status.
struct LoginCase {
    const char *name;
    bool known;           // the key is in ~/.ssh/known_hosts
    int fingerprintGiven; // 0 none, 1 the server's, 2 another
    bool key;             // the client key is offered
    int exitCode;
};

class CliSftpLogin : public CliSftp, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(CliSftpLogin, HostKeyAndLoginGiveTheExitStatus)
{
    const LoginCase &c = GetParam();
    if (c.known)
        knowTheHost();
    makeFile(remote + QStringLiteral("/here.txt"), "x");
    QStringList args;
    if (c.fingerprintGiven) {
        QString fingerprint;
        const QString publicKey = home.path() + QStringLiteral("/host.pub");
        makeFile(publicKey, server.hostKeyLine().toUtf8() + '\n');
        QString out;
        ASSERT_TRUE(runSshTool(
            QStringLiteral("ssh-keygen"),
            {QStringLiteral("-l"), QStringLiteral("-E"), QStringLiteral("sha256"), QStringLiteral("-f"), publicKey},
            &out));
        fingerprint = out.section(QLatin1Char(' '), 1, 1);
        if (c.fingerprintGiven == 2)
            fingerprint = QStringLiteral("SHA256:") + QString(43, QLatin1Char('A'));
        args << QStringLiteral("--trust-fingerprint") << fingerprint;
    }
    if (c.key)
        args << QStringLiteral("--key") << server.clientKey();
    const CliResult r = runCli(args + QStringList{QStringLiteral("ls"), url(QString())});
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
    if (c.exitCode == 0)
        EXPECT_TRUE(r.out.contains(QStringLiteral("here.txt"))) << r.out.toStdString();
    else
        EXPECT_FALSE(r.err.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, CliSftpLogin,
                         ::testing::Values(LoginCase{"KnownHost", true, 0, true, 0},
                                           LoginCase{"FingerprintGiven", false, 1, true, 0},
                                           LoginCase{"UnknownHostWithoutTerminal", false, 0, true, 3},
                                           LoginCase{"WrongFingerprint", false, 2, true, 3},
                                           LoginCase{"NoUsableKey", true, 0, false, 3}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
