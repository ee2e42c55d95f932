// "Preserve time stamps" through the window's queue, against pyftpdlib (MDTM and MFMT),
// vsftpd (MDTM only: uploads keep the transfer's time, said in the log) and OpenSSH's sshd
// (the SFTP attributes): trees both ways with the option on and off, and a download that
// stops part-way, whose file gets the remote time only once the resume made it whole.
#include "app/MainController.h"
#include "settings/SettingsCatalogue.h"
#include "support/Entries.h"
#include "support/FtpServers.h"
#include "support/QueueSettled.h"
#include "support/RecordingUserInterface.h"
#include "support/ScopedEnv.h"
#include "support/SshServer.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

enum class Backend { Pyftpdlib, Vsftpd, Sftp };

struct TimesRow {
    Backend backend;
    const char *name;
    // Whether the server can give an uploaded file the local file's time.
    bool setsRemoteTimes;
};

const TimesRow kRows[] = {
    {Backend::Pyftpdlib, "pyftpdlib", true},
    {Backend::Vsftpd, "vsftpd", false},
    {Backend::Sftp, "sshd", true},
};

// Times with odd seconds, far from now: a time rounded to two seconds, or taken from the
// clock, shows.
QDateTime stamp(int k)
{
    return QDateTime(QDate(2021, 3, 4), QTime(5, 6, 7), QTimeZone::utc()).addSecs(k * 86400 + k * 3607);
}

void setMtime(const QString &path, const QDateTime &when)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite)) << path.toStdString();
    ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime)) << path.toStdString();
}

qint64 mtime(const QString &path)
{
    return QFileInfo(path).lastModified().toSecsSinceEpoch();
}

// The files of the small tree each test sends, by path below the tree's root.
const QStringList kTreeFiles = {QStringLiteral("/a.txt"), QStringLiteral("/sub/b c.bin"),
                                QStringLiteral("/sub/deeper/\u00e9t\u00e9.txt")};

// Makes the tree below `root`, each file with its own old time.
void makeTree(const QString &root)
{
    for (int k = 0; k < kTreeFiles.size(); ++k) {
        makeFile(root + kTreeFiles[k], patternBytes(1000 + k * 4099));
        setMtime(root + kTreeFiles[k], stamp(k));
    }
    QDir().mkpath(root + QStringLiteral("/empty"));
}

class QueueFileTimes : public ::testing::TestWithParam<TimesRow> {
protected:
    void SetUp() override
    {
        local = home.path() + QStringLiteral("/local");
        QDir().mkpath(local);
        if (GetParam().backend == Backend::Sftp) {
            startForTest(ssh);
            if (IsSkipped() || HasFailure())
                return;
            remoteLocal = remotePath = ssh.scratch();
            QDir().mkpath(remoteLocal);
            makeFile(home.path() + QStringLiteral("/.ssh/known_hosts"),
                     QStringLiteral("[127.0.0.1]:%1 %2\n").arg(ssh.port()).arg(ssh.hostKeyLine()).toUtf8());
        } else {
            ftp = makeRealServer(GetParam().backend == Backend::Pyftpdlib ? ServerKind::Pyftpdlib : ServerKind::Vsftpd);
            if (!ftp->start()) {
                if (!ftp->skipReason().isEmpty())
                    GTEST_SKIP() << ftp->skipReason().toStdString();
                FAIL() << ftp->failure().toStdString();
            }
            remoteLocal = ftp->localWritable();
            remotePath = ftp->writablePath();
        }
        controller = std::make_unique<MainController>(ui);
        controller->FormCreate({});
        controller->tick().setEnabled(false); // the pump and the supervisor are run by hand
        controller->tick().timerTimer();
        write(controller->setup(), Keys::simultaneousTransfers, 2);
        write(controller->setup(), Keys::confirmCloseWhenConnected, false);
        QObject::connect(controller.get(), &MainController::logWritten, controller.get(),
                         [this](const QString &line) { log << line; });
    }
    void TearDown() override
    {
        if (controller)
            controller->FormCloseQuery();
    }

    SessionSupervisor &sessions() { return controller->sessions(); }
    QueueController &queue() { return controller->queue(); }

    void connect()
    {
        tSiteRecord site;
        if (ftp) {
            site = siteOf(*ftp);
        } else {
            site.name = QStringLiteral("sftp site");
            site.Host = QStringLiteral("127.0.0.1");
            site.Port = QString::number(ssh.port());
            site.User = ssh.user();
            site.protocol = SiteProtocol::Sftp;
            site.keyFile = ssh.clientKey();
        }
        sessions().setCurrentSite(site);
        ASSERT_TRUE(controller->connection().acConnect(ConnectController::Caller::SiteManager));
        tkftpclient *main = sessions().mainSession();
        ASSERT_TRUE(waitFor([&] { return main->loggedIn && main->idleState(); }, 20000))
            << main->lastReply().toStdString();
        ASSERT_TRUE(settled());
    }
    // A name in the server's writable folder, as the server shows it.
    QString remote(const QString &name) const
    {
        return remotePath.endsWith(QLatin1Char('/')) ? QString(remotePath + name)
                                                     : QString(remotePath + QLatin1Char('/') + name);
    }
    // Runs the queue until it is empty or paused and every session is idle.
    bool settled(int ms = 30000) { return queueSettled(sessions(), queue(), ms); }
    // Queues a folder transfer and runs it to its end; every item must succeed.
    void transferFolder(const QString &verb, const QString &from, const QString &to)
    {
        const tFolderEntryObject folder = entryNamed(QFileInfo(from).fileName(), 0, true);
        ASSERT_TRUE(queue().addToQueue(verb + QLatin1Char('*') + from + QLatin1Char('*') + to, &folder));
        ASSERT_TRUE(settled());
        ASSERT_TRUE(queue().model().isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
    }

    ScopedEnv noAgent{"SSH_AUTH_SOCK", QByteArray()};
    TempHome home;
    RecordingUserInterface ui;
    OpenSshServer ssh;
    std::unique_ptr<RealFtpServer> ftp;
    std::unique_ptr<MainController> controller;
    QStringList log;
    // The folder the test may write on the server: as this machine's path and as the
    // server shows it.
    QString remoteLocal, remotePath;
    QString local;
};

TEST_P(QueueFileTimes, TreesKeepTheirSourceTimesOnlyWithTheOption)
{
    makeTree(remoteLocal + QStringLiteral("/tree"));
    makeTree(local + QStringLiteral("/up"));
    connect();
    for (const bool preserve : {true, false}) {
        SCOPED_TRACE(preserve ? "preserve on" : "preserve off");
        write(controller->setup(), Keys::preserveFileTimes, preserve);
        const QString suffix = preserve ? QStringLiteral("-on") : QStringLiteral("-off");
        const qint64 before = QDateTime::currentSecsSinceEpoch() - 2;
        log.clear();
        transferFolder(QStringLiteral("getfolder"), remote(QStringLiteral("tree")),
                       local + QStringLiteral("/tree") + suffix);
        transferFolder(QStringLiteral("putfolder"), local + QStringLiteral("/up"),
                       remote(QStringLiteral("up") + suffix));
        for (int k = 0; k < kTreeFiles.size(); ++k) {
            const QString down = local + QStringLiteral("/tree") + suffix + kTreeFiles[k];
            const QString up = remoteLocal + QStringLiteral("/up") + suffix + kTreeFiles[k];
            EXPECT_EQ(readAll(down), patternBytes(1000 + k * 4099)) << down.toStdString();
            EXPECT_EQ(readAll(up), patternBytes(1000 + k * 4099)) << up.toStdString();
            if (preserve) {
                EXPECT_EQ(mtime(down), stamp(k).toSecsSinceEpoch()) << down.toStdString();
            } else {
                EXPECT_GE(mtime(down), before) << down.toStdString();
            }
            if (preserve && GetParam().setsRemoteTimes) {
                EXPECT_EQ(mtime(up), stamp(k).toSecsSinceEpoch()) << up.toStdString();
            } else {
                EXPECT_GE(mtime(up), before) << up.toStdString();
            }
        }
        // A server that cannot set times says so once per file, and the uploads succeed.
        const qsizetype cannot = log.filter(QStringLiteral("cannot set file times")).size();
        EXPECT_EQ(cannot, preserve && !GetParam().setsRemoteTimes ? kTreeFiles.size() : 0)
            << log.join(QLatin1Char('\n')).toStdString();
    }
}

TEST_P(QueueFileTimes, AStoppedDownloadGetsTheRemoteTimeOnlyOnceItsResumeMadeItWhole)
{
    const QByteArray content = patternBytes(8 * 1024 * 1024 + 5);
    const QString remoteFile = remoteLocal + QStringLiteral("/big.bin");
    makeFile(remoteFile, content);
    setMtime(remoteFile, stamp(7));
    write(controller->setup(), Keys::preserveFileTimes, true);
    connect();
    // The first block cuts the transfer.
    bool cut = false;
    QObject::connect(&sessions(), &SessionSupervisor::progress, controller.get(),
                     [&](tkftpclient *, qint64 count, bool *abort) {
                         if (!cut && count > 0)
                             *abort = cut = true;
                     });
    const QString target = local + QStringLiteral("/big.bin");
    const tFolderEntryObject entry = entryNamed(QStringLiteral("big.bin"), content.size());
    QueueItem *item = queue().addToQueue(
        QStringLiteral("getfile*") + remote(QStringLiteral("big.bin")) + QLatin1Char('*') + target, &entry);
    ASSERT_TRUE(item);
    const std::uint64_t id = item->id();
    const qint64 before = QDateTime::currentSecsSinceEpoch() - 2;
    ASSERT_TRUE(settled());
    ASSERT_TRUE(cut);
    item = queue().model().itemById(id);
    ASSERT_TRUE(item) << "the cut download left the queue";
    ASSERT_LT(QFileInfo(target).size(), content.size());
    EXPECT_GE(mtime(target), before) << "a partial file got the remote time";

    ui.messages.clear();
    item->transferAction = TransferAction::Resume;
    queue().model().setPaused(false);
    ASSERT_TRUE(settled());
    EXPECT_TRUE(queue().model().isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(readAll(target) == content);
    EXPECT_EQ(mtime(target), stamp(7).toSecsSinceEpoch());
}

INSTANTIATE_TEST_SUITE_P(Servers, QueueFileTimes, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<TimesRow> &info) { return info.param.name; });

} // namespace
