// kestrin-ftp-cli as a process against a server and local trees that misbehave: a listing
// that never ends, special files and links in an upload tree, remote names with control
// characters. Each run ends in bounded time with the documented status, and every entry
// left out is named on stderr.
#include "support/CliProcess.h"
#include "support/ServerProcess.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kUser = QStringLiteral("kestrin");
const QString kPassword = QStringLiteral("pw");

using Result = CliResult;

Result runCli(const QStringList &args, int timeoutMs = 60000)
{
    return runCliProcess(QStringLiteral(KESTRIN_CLI_PATH), args, timeoutMs);
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

class CliHostileInput : public ::testing::Test {
protected:
    bool startServer(const QStringList &flags = {})
    {
        const uint16_t port = ServerProcess::freePort();
        QStringList args{QStringLiteral(KESTRIN_SOURCE_DIR "/tests/support/pyftpdlib_hostile_server.py"),
                         QString::number(port), root.path(), kUser, kPassword};
        args << flags;
        return server.start(QStringLiteral("/usr/bin/python3"), args, port);
    }
    QString url(const QString &path) const
    {
        return QStringLiteral("ftp://%1:%2@127.0.0.1:%3/%4").arg(kUser, kPassword).arg(server.port()).arg(path);
    }

    TempHome home;
    QTemporaryDir root;
    ServerProcess server;
};

// A listing that never ends: the run fails the item (status 4) with the limit named, soon,
// and the program's memory stays far below what the stream would take: for `ls`, which
// prints the lines as they come, and for a folder download, which keeps them until the end.
TEST_F(CliHostileInput, AnEndlessListingFailsTheItemInBoundedTimeAndMemory)
{
    ASSERT_TRUE(startServer({QStringLiteral("endless-list")}));
    const QString local = home.path() + QStringLiteral("/dl");
    QDir().mkpath(local);
    for (const QStringList &verb :
         {QStringList{QStringLiteral("ls"), url({})}, QStringList{QStringLiteral("get"), url({}), local}}) {
        SCOPED_TRACE(verb.first().toStdString());
        const Result r = runCli(QStringList{QStringLiteral("--listing-limit"), QStringLiteral("4")} + verb);
        ASSERT_EQ(r.exitCode, 4) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("was cut"))) << r.err.toStdString();
        EXPECT_LT(r.ms, 30000);
        EXPECT_LT(r.peakKiB, 400 * 1024);
    }
}

// An upload tree with a fifo, a socket, links out of the tree and a name with a line feed:
// the regular files arrive, each entry left out is named on stderr, and the run ends with
// status 5 instead of 0. A fifo put on its own fails (status 4); neither run hangs.
TEST_F(CliHostileInput, SpecialFilesAndLinksInAnUploadAreSkippedAndReported)
{
    ASSERT_TRUE(startServer());
    const QString tree = home.path() + QStringLiteral("/tree");
    const QString outside = home.path() + QStringLiteral("/outside");
    makeFile(outside + QStringLiteral("/secret.txt"), "outside");
    makeFile(tree + QStringLiteral("/a.txt"), "aaa");
    makeFile(tree + QStringLiteral("/sub/b.txt"), "bbbb");
    makeFile(tree + QStringLiteral("/line\nfeed.txt"), "lf");
    makeFile(tree + QStringLiteral("/star*.txt"), "star");
    ASSERT_EQ(mkfifo(QFile::encodeName(tree + QStringLiteral("/sub/pipe")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(outside, tree + QStringLiteral("/out")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/"), tree + QStringLiteral("/root")));

    Result r = runCli({QStringLiteral("-q"), QStringLiteral("put"), tree, url(QStringLiteral("up"))});
    ASSERT_EQ(r.exitCode, 5) << r.err.toStdString();
    const std::map<QString, QByteArray> want{{QStringLiteral("a.txt"), "aaa"}, {QStringLiteral("sub/b.txt"), "bbbb"}};
    EXPECT_EQ(filesBelow(root.path() + QStringLiteral("/up")), want);
    for (const QString &skipped : {QStringLiteral("sub/pipe"), QStringLiteral("out"), QStringLiteral("root"),
                                   QStringLiteral("line\\nfeed.txt"), QStringLiteral("star*.txt")}) {
        SCOPED_TRACE(skipped.toStdString());
        EXPECT_TRUE(r.err.contains(QStringLiteral("skipped ") + tree + QLatin1Char('/') + skipped))
            << r.err.toStdString();
    }
    EXPECT_TRUE(r.err.contains(QStringLiteral("5 entries were skipped"))) << r.err.toStdString();

    r = runCli({QStringLiteral("put"), tree + QStringLiteral("/sub/pipe"), url(QStringLiteral("pipe"))}, 30000);
    EXPECT_EQ(r.exitCode, 4) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Not a regular file"))) << r.err.toStdString();
}

// A folder that cannot be read is no empty folder: it is reported and the status says so.
// (root reads every folder, so this holds only for other users.)
TEST_F(CliHostileInput, AnUnreadableLocalFolderIsReported)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads folders without read permission";
    ASSERT_TRUE(startServer());
    const QString tree = home.path() + QStringLiteral("/tree");
    makeFile(tree + QStringLiteral("/a.txt"), "aaa");
    makeFile(tree + QStringLiteral("/closed/c.txt"), "c");
    ASSERT_TRUE(QFile::setPermissions(tree + QStringLiteral("/closed"), QFileDevice::Permissions()));
    const Result r = runCli({QStringLiteral("-q"), QStringLiteral("put"), tree, url(QStringLiteral("up"))});
    QFile::setPermissions(tree + QStringLiteral("/closed"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(r.exitCode, 5) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("closed/: the folder cannot be read: Permission denied")))
        << r.err.toStdString();
}

// Remote names holding control characters and remote links are left out of a download,
// each named on stderr with the control characters escaped: no byte of an escape sequence
// reaches the terminal, and `ls` shows the same names escaped.
TEST_F(CliHostileInput, RemoteControlCharacterNamesAndLinksAreSkippedAndPrintedEscaped)
{
    makeFile(root.path() + QStringLiteral("/src/good.txt"), "good");
    makeFile(root.path() + QStringLiteral("/src/red\x1b[31mname.txt"), "esc");
    ASSERT_TRUE(QFile::link(root.path() + QStringLiteral("/src/good.txt"), root.path() + QStringLiteral("/src/link")));
    ASSERT_TRUE(startServer());
    const QString local = home.path() + QStringLiteral("/dl");
    QDir().mkpath(local);

    Result r = runCli({QStringLiteral("-q"), QStringLiteral("get"), url(QStringLiteral("src")), local});
    ASSERT_EQ(r.exitCode, 5) << r.err.toStdString();
    EXPECT_EQ(filesBelow(local), (std::map<QString, QByteArray>{{QStringLiteral("src/good.txt"), "good"}}));
    EXPECT_TRUE(r.err.contains(QStringLiteral("red\\x1b[31mname.txt"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("/src/link: links are not followed"))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QChar(0x1b)));

    r = runCli({QStringLiteral("ls"), QStringLiteral("--raw"), url(QStringLiteral("src/"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("red\\x1b[31mname.txt"))) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(QChar(0x1b)));
}

// A `run` file line with an unknown or empty command fails (status 4); the lines around it
// still run.
TEST_F(CliHostileInput, ARunFileLineWithAnUnknownOrEmptyCommandFailsTheRun)
{
    ASSERT_TRUE(startServer());
    const QString commands = home.path() + QStringLiteral("/commands.txt");
    for (const char *bad : {"bogus*/x", "*/x"}) {
        SCOPED_TRACE(bad);
        makeFile(commands, QByteArray("makefolder*/before\n") + bad + "\nmakefolder*/after\n");
        const Result r = runCli({QStringLiteral("-q"), QStringLiteral("run"), url({}), commands});
        EXPECT_EQ(r.exitCode, 4) << r.err.toStdString();
        EXPECT_EQ(r.err.count(QLatin1String(bad)), 1) << "said once: " << r.err.toStdString();
        EXPECT_TRUE(QFileInfo(root.path() + QStringLiteral("/after")).isDir());
        QDir(root.path() + QStringLiteral("/before")).removeRecursively();
        QDir(root.path() + QStringLiteral("/after")).removeRecursively();
    }
}

} // namespace
