// kestrin-ftp-cli mirror as a process against real servers: trees down and up byte-exact,
// reruns that transfer nothing (the server's record shows it), --delete and --dry-run
// following the printed plan.
#include "support/CliProcess.h"
#include "support/FtpServers.h"
#include "support/QtPrinters.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>

namespace {

// Test files in the server's folder are made by the test's user; the server's user must be
// able to replace and delete them.
void openToServer(const QString &root)
{
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    ::chmod(QFile::encodeName(root).constData(), 0777);
    while (it.hasNext()) {
        const QString path = it.next();
        ::chmod(QFile::encodeName(path).constData(), QFileInfo(path).isDir() ? 0777 : 0666);
    }
}

class CliMirror : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override
    {
        m_server = makeRealServer(GetParam());
        m_server->setRecordTransfers(true);
        if (m_server->start())
            return;
        if (!m_server->skipReason().isEmpty())
            GTEST_SKIP() << m_server->skipReason().toStdString();
        FAIL() << m_server->failure().toStdString();
    }

    QString url(const QString &path) const
    {
        QString base = m_server->writablePath();
        if (!base.endsWith(QLatin1Char('/')))
            base += QLatin1Char('/');
        return QStringLiteral("ftp://%1:%2@127.0.0.1:%3%4%5")
            .arg(m_server->user(), m_server->password())
            .arg(m_server->port())
            .arg(base, path);
    }

    // Runs the program with the local time zone `zone`: the server lists its times in UTC
    // (vsftpd's LIST) or gives UTC (MLSD), so the zone shows whether the offset is applied.
    CliResult mirror(const QStringList &args, const QString &zone = QStringLiteral("UTC"))
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TZ"), zone);
        return runCliProcess(QStringLiteral(KESTRIN_CLI_PATH), QStringList{QStringLiteral("mirror")} + args, 120000,
                             env);
    }

    // The commands that changed files (RETR STOR DELE RMD MKD) the server received since
    // `from` commands into its record.
    QStringList changesSince(qsizetype from) const
    {
        QStringList changes;
        const QStringList all = m_server->recordedCommands();
        for (qsizetype i = from; i < all.size(); ++i) {
            const QString verb = all[i].section(QLatin1Char(' '), 0, 0).toUpper();
            if (QSet<QString>{QStringLiteral("RETR"), QStringLiteral("STOR"), QStringLiteral("DELE"),
                              QStringLiteral("RMD"), QStringLiteral("MKD")}
                    .contains(verb))
                changes << all[i];
        }
        return changes;
    }
    qsizetype recorded() const { return m_server->recordedCommands().size(); }

    TempHome home;
    std::unique_ptr<RealFtpServer> m_server;
};

TEST_P(CliMirror, DownAndUpAreByteExactAndARerunTransfersNothing)
{
    const QString remote = m_server->localWritable();
    const QString src = remote + QStringLiteral("/src");
    makeFile(src + QStringLiteral("/a.txt"), "alpha");
    makeFile(src + QStringLiteral("/with blank.txt"), "blank\r\nline\n");
    makeFile(src + QStringLiteral("/sub/b.bin"), patternBytes(300 * 1024));
    makeFile(src + QStringLiteral("/sub/deep/gr\u00FC\u00DFe.txt"), "umlaut");
    makeFile(src + QStringLiteral("/zero"), QByteArray());
    QDir().mkpath(src + QStringLiteral("/empty"));
    openToServer(src);
    const auto want = fileTree(src);
    const QString local = home.path() + QStringLiteral("/dl");

    // Down, on a clock five hours behind the server's listed times: without the offset
    // every remote file would look newer on the rerun.
    const QString west = QStringLiteral("America/New_York");
    CliResult r = mirror({QStringLiteral("-q"), url(QStringLiteral("src")), local}, west);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(fileTree(local), want);
    qsizetype mark = recorded();
    r = mirror({QStringLiteral("-q"), url(QStringLiteral("src")), local}, west);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(changesSince(mark), QStringList()) << "a rerun with nothing changed transfers nothing";

    // Up into a folder that does not exist yet, on a clock 5:45 ahead: without the offset
    // every local file would look newer than its fresh remote copy.
    const QString east = QStringLiteral("Asia/Kathmandu");
    r = mirror({QStringLiteral("-q"), QStringLiteral("-R"), local, url(QStringLiteral("copy"))}, east);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(fileTree(remote + QStringLiteral("/copy")), want);
    mark = recorded();
    r = mirror({QStringLiteral("-q"), QStringLiteral("-R"), local, url(QStringLiteral("copy"))}, east);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(changesSince(mark), QStringList()) << "a rerun with nothing changed transfers nothing";

    // What changed goes, and only that: a new size, a newer file of the same size, a new file.
    makeFile(local + QStringLiteral("/sub/b.bin"), patternBytes(200 * 1024));
    makeFile(local + QStringLiteral("/a.txt"), "ALPHA");
    QFile touched(local + QStringLiteral("/a.txt"));
    ASSERT_TRUE(touched.open(QIODevice::ReadWrite));
    ASSERT_TRUE(touched.setFileTime(QDateTime::currentDateTime().addSecs(3600), QFileDevice::FileModificationTime));
    touched.close();
    makeFile(local + QStringLiteral("/sub/deep/new.txt"), "new");
    mark = recorded();
    r = mirror({QStringLiteral("-q"), QStringLiteral("-R"), local, url(QStringLiteral("copy"))}, east);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QStringList sent = changesSince(mark);
    for (QString &command : sent)
        command = command.section(QStringLiteral("/copy/"), 1);
    sent.sort();
    EXPECT_EQ(sent,
              (QStringList{QStringLiteral("a.txt"), QStringLiteral("sub/b.bin"), QStringLiteral("sub/deep/new.txt")}));
    EXPECT_EQ(fileTree(remote + QStringLiteral("/copy")), fileTree(local));
}

// --dry-run prints the plan and changes nothing; the same run with --delete then does what
// it printed, deletions included, in each direction. A link in an uploaded tree is left
// out, said on stderr, and gives status 5.
TEST_P(CliMirror, DeleteDoesWhatTheDryRunPrinted)
{
    struct Case {
        const char *what;
        bool upload;
    };
    for (const Case c : {Case{"down", false}, Case{"up", true}}) {
        SCOPED_TRACE(c.what);
        const QString tag = QString::fromLatin1(c.what);
        const QString remoteFolder = m_server->localWritable() + QStringLiteral("/") + tag;
        const QString localFolder = home.path() + QStringLiteral("/") + tag;
        const QString source = c.upload ? localFolder : remoteFolder;
        const QString target = c.upload ? remoteFolder : localFolder;
        makeFile(target + QStringLiteral("/keep.txt"), "same");
        makeFile(target + QStringLiteral("/changed.txt"), "old");
        makeFile(target + QStringLiteral("/extra.txt"), "extra");
        makeFile(target + QStringLiteral("/dir/inner.txt"), "inner");
        makeFile(target + QStringLiteral("/dir/stale.txt"), "stale");
        makeFile(target + QStringLiteral("/gone/x.txt"), "x");
        makeFile(target + QStringLiteral("/gone/sub/y.txt"), "y");
        makeFile(source + QStringLiteral("/keep.txt"), "same");
        makeFile(source + QStringLiteral("/changed.txt"), "new content");
        makeFile(source + QStringLiteral("/fresh.txt"), "fresh");
        makeFile(source + QStringLiteral("/dir/inner.txt"), "inner");
        makeFile(source + QStringLiteral("/newdir/n.txt"), "n");
        if (c.upload) {
            ASSERT_TRUE(QFile::link(source + QStringLiteral("/keep.txt"), source + QStringLiteral("/link")));
        }
        openToServer(remoteFolder);
        const int status = c.upload ? 5 : 0;
        const QStringList args =
            c.upload ? QStringList{QStringLiteral("-R"), localFolder, url(tag)} : QStringList{url(tag), localFolder};

        const auto sourceBefore = fileTree(source);
        const auto targetBefore = fileTree(target);
        const qsizetype mark = recorded();
        CliResult r = mirror(QStringList{QStringLiteral("--delete"), QStringLiteral("--dry-run")} + args);
        EXPECT_EQ(r.exitCode, status) << r.err.toStdString();
        QStringList plan = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        plan.sort();
        EXPECT_EQ(plan, (QStringList{QStringLiteral("copy fresh.txt"), QStringLiteral("copy newdir/n.txt"),
                                     QStringLiteral("delete dir/stale.txt"), QStringLiteral("delete extra.txt"),
                                     QStringLiteral("delete gone/sub/y.txt"), QStringLiteral("delete gone/x.txt"),
                                     QStringLiteral("mkdir newdir/"), QStringLiteral("replace changed.txt"),
                                     QStringLiteral("rmdir gone/"), QStringLiteral("rmdir gone/sub/")}));
        EXPECT_EQ(r.err.contains(QStringLiteral("skipped ") + source + QStringLiteral("/link: links are not followed")),
                  c.upload)
            << r.err.toStdString();
        EXPECT_EQ(fileTree(source), sourceBefore);
        EXPECT_EQ(fileTree(target), targetBefore);
        EXPECT_EQ(changesSince(mark), QStringList());

        // The same plan as JSON lines, each step "planned", still nothing changed.
        r = mirror(QStringList{QStringLiteral("--delete"), QStringLiteral("--dry-run"), QStringLiteral("--json")} +
                   args);
        EXPECT_EQ(r.exitCode, status) << r.err.toStdString();
        QStringList planned;
        for (const QString &line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            EXPECT_EQ(o.value(QStringLiteral("outcome")).toString(), QStringLiteral("planned")) << line.toStdString();
            planned << o.value(QStringLiteral("verb")).toString();
        }
        planned.sort();
        const QString transfer = c.upload ? QStringLiteral("putfile") : QStringLiteral("getfile");
        QStringList steps{QStringLiteral("deletefile"),
                          QStringLiteral("deletefile"),
                          QStringLiteral("deletefile"),
                          QStringLiteral("deletefile"),
                          QStringLiteral("deletefolder"),
                          QStringLiteral("deletefolder"),
                          transfer,
                          transfer,
                          transfer,
                          QStringLiteral("makefolder")};
        steps.sort();
        EXPECT_EQ(planned, steps);
        EXPECT_EQ(fileTree(target), targetBefore);

        r = mirror(QStringList{QStringLiteral("--delete"), QStringLiteral("--json")} + args);
        EXPECT_EQ(r.exitCode, status) << r.err.toStdString();
        QStringList deleted;
        for (const QString &line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            EXPECT_EQ(o.value(QStringLiteral("outcome")).toString(), QStringLiteral("ok")) << line.toStdString();
            const QString verb = o.value(QStringLiteral("verb")).toString();
            if (verb == QLatin1String("deletefile") || verb == QLatin1String("deletefolder"))
                deleted << QStringLiteral("delete ") + o.value(QStringLiteral("source")).toString();
        }
        deleted.sort();
        QString base = localFolder;
        if (c.upload) {
            base = m_server->writablePath();
            if (!base.endsWith(QLatin1Char('/')))
                base += QLatin1Char('/');
            base += tag;
        }
        EXPECT_EQ(deleted, (QStringList{QStringLiteral("delete ") + base + QStringLiteral("/dir/stale.txt"),
                                        QStringLiteral("delete ") + base + QStringLiteral("/extra.txt"),
                                        QStringLiteral("delete ") + base + QStringLiteral("/gone"),
                                        QStringLiteral("delete ") + base + QStringLiteral("/gone/sub"),
                                        QStringLiteral("delete ") + base + QStringLiteral("/gone/sub/y.txt"),
                                        QStringLiteral("delete ") + base + QStringLiteral("/gone/x.txt")}));
        auto want = fileTree(source);
        want.erase(QStringLiteral("/link"));
        EXPECT_EQ(fileTree(target), want);
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, CliMirror, ::testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd),
                         [](const auto &info) {
                             return info.param == ServerKind::Pyftpdlib ? std::string("pyftpdlib")
                                                                        : std::string("vsftpd");
                         });

} // namespace
