// The queue end to end on the headless controller, against a real server on 127.0.0.1, beside
// the command-line tools on the same server in the same run:
//  - a tree of folders x files of 4 KiB downloaded with getfolder, beside `lftp -c mirror`;
//  - a folder of many entries from the list command to the cached, parsed folder shown as the
//    current remote folder, beside `curl` fetching the bare listing.
//
//   bench_queue_tree [--server vsftpd|pyftpdlib] [--folders N] [--files N] [--entries N]
#include "app/MainController.h"

#include "support/FtpServers.h"
#include "support/RecordingUserInterface.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <sys/resource.h>

#include <cstdio>
#include <memory>

namespace {

long peakRssKib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool makeTree(const QString &root, int folders, int files)
{
    const QByteArray block(4096, 'k');
    for (int d = 0; d < folders; ++d) {
        const QString folder = root + QStringLiteral("/d%1").arg(d);
        if (!QDir().mkpath(folder))
            return false;
        for (int f = 0; f < files; ++f) {
            QFile file(folder + QStringLiteral("/f%1.bin").arg(f));
            if (!file.open(QIODevice::WriteOnly) || file.write(block) != block.size())
                return false;
        }
    }
    return true;
}

bool makeBigFolder(const QString &folder, int entries)
{
    if (!QDir().mkpath(folder))
        return false;
    for (int i = 0; i < entries; ++i) {
        QFile file(folder + QStringLiteral("/entry_%1.dat").arg(i, 6, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly))
            return false;
    }
    return true;
}

// Seconds a command took, or -1 when it failed.
double runTool(const QString &program, const QStringList &args)
{
    QElapsedTimer clock;
    clock.start();
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        return -1;
    }
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

bool settled(MainController &c, int ms)
{
    return waitFor(
        [&] {
            SessionSupervisor &s = c.sessions();
            return !s.mainSession()->busy() && s.mainSession()->State() == TFtpEngineState::stReady &&
                   (c.queue().model().isEmpty() || c.queue().model().isPaused());
        },
        ms);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString serverName = QStringLiteral("vsftpd");
    int folders = 20, files = 100, entries = 100000;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--server"))
            serverName = args[i + 1];
        else if (args[i] == QLatin1String("--folders"))
            folders = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--files"))
            files = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--entries"))
            entries = args[i + 1].toInt();
    }
    TempHome home;
    std::unique_ptr<RealFtpServer> server =
        makeRealServer(serverName == QLatin1String("pyftpdlib") ? ServerKind::Pyftpdlib : ServerKind::Vsftpd);
    if (!server->start()) {
        std::fprintf(stderr, "server did not start: %s\n", qPrintable(server->failure()));
        return 1;
    }
    const QString remoteBase = server->writablePath().endsWith(QLatin1Char('/'))
                                   ? server->writablePath()
                                   : server->writablePath() + QLatin1Char('/');
    if (!makeTree(server->localWritable() + QStringLiteral("/tree"), folders, files) ||
        !makeBigFolder(server->localWritable() + QStringLiteral("/big"), entries)) {
        std::fprintf(stderr, "cannot make the test data\n");
        return 1;
    }
    const QString local = home.path() + QStringLiteral("/local");
    QDir().mkpath(local);

    RecordingUserInterface ui;
    MainController c(ui);
    c.FormCreate({});
    c.tick().setEnabled(false);
    c.tick().timerTimer();
    SessionSupervisor &s = c.sessions();
    s.setCurrentSite(siteOf(*server, QStringLiteral("bench")));
    s.setConnectionWanted(true);
    s.timer_threads();
    if (!waitFor([&] { return s.mainSession()->loggedIn; }, 20000) || !settled(c, 20000)) {
        std::fprintf(stderr, "login failed\n");
        return 1;
    }

    // The tree: ours, then lftp's mirror into another folder.
    tFolderEntryObject folder;
    folder.name = QStringLiteral("tree");
    folder.isFolder = true;
    QElapsedTimer clock;
    clock.start();
    c.queue().addToQueue(
        QStringLiteral("getfolder*") + remoteBase + QStringLiteral("tree*") + local + QStringLiteral("/tree"), &folder);
    c.queue().timer_checkQueue();
    if (!settled(c, 600000) || c.queue().model().isPaused()) {
        std::fprintf(stderr, "getfolder failed: %s\n", qPrintable(ui.messages.join(QLatin1Char('\n'))));
        return 1;
    }
    const double oursTree = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const QString url = QStringLiteral("ftp://127.0.0.1:%1").arg(server->port());
    const double lftpTree = runTool(
        QStringLiteral("lftp"),
        {QStringLiteral("-c"), QStringLiteral("set ftp:passive-mode on; set net:max-retries 1; open -u '%1,%2' %3; "
                                              "mirror --parallel=1 %4tree %5/lftp-tree")
                                   .arg(server->user(), server->password(), url, remoteBase, local)});

    // The big folder: from the list command to the parsed folder on show.
    const long rssBefore = peakRssKib();
    clock.restart();
    c.queue().addToQueue(QStringLiteral("list*") + remoteBase + QStringLiteral("big*@refresh"));
    c.queue().timer_checkQueue();
    if (!settled(c, 600000) || c.browsers().state().remoteEntries().size() != static_cast<size_t>(entries)) {
        std::fprintf(stderr, "list failed: %zu entries\n", c.browsers().state().remoteEntries().size());
        return 1;
    }
    const double oursList = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const long rssAfter = peakRssKib();
    const double curlList =
        runTool(QStringLiteral("curl"),
                {QStringLiteral("-s"), QStringLiteral("--user"), server->user() + QLatin1Char(':') + server->password(),
                 QStringLiteral("-o"), QStringLiteral("/dev/null"), url + remoteBase + QStringLiteral("big/")});

    std::printf("server %s, tree %d folders x %d files of 4 KiB, folder of %d entries\n", qPrintable(serverName),
                folders, files, entries);
    std::printf("tree:   ours (getfolder, one connection) %.2f s, lftp mirror %.2f s, ratio lftp/ours %.2f\n", oursTree,
                lftpTree, lftpTree / oursTree);
    std::printf("folder: ours (list to parsed folder on show) %.2f s, curl bare listing %.2f s\n", oursList, curlList);
    std::printf("peak RSS %ld KiB before the big listing, %ld KiB after\n", rssBefore, rssAfter);
    c.FormCloseQuery();
    return 0;
}
