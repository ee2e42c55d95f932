// The command line against a real server on 127.0.0.1, beside the usual terminal tools in
// the same run: a tree of folders x files of 4 KiB downloaded with `kestrin-ftp-cli get`,
// `lftp -c mirror --parallel=1` and `wget -r`, each as a process, each into a fresh folder.
// With --mirror: `kestrin-ftp-cli mirror --parallel 1` beside `lftp -c mirror --parallel=1`,
// each into a fresh folder and then again into the same folder with nothing changed.
//
//   bench_cli_tree [--server vsftpd|pyftpdlib] [--folders N] [--files N] [--runs N] [--parallel N] [--mirror]
//
// --parallel N (the download, not --mirror): ours with `--parallel N` (N transfer
// connections), lftp with `mirror --parallel=N`; wget has no such option and stays on one.
#include "support/FtpServers.h"
#include "support/TempHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

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

int filesBelow(const QString &root)
{
    int n = 0;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
}

// CPU seconds (user + system) of every finished child so far.
double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Seconds a tool took, or -1 when it failed; *cpu gets the CPU seconds it used.
double runTool(const QString &program, const QStringList &args, const QString &workingFolder, double *cpu)
{
    const double cpuBefore = childCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QProcess p;
    p.setWorkingDirectory(workingFolder);
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        return -1;
    }
    *cpu = childCpuSeconds() - cpuBefore;
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

// "median (min to max)" of a tool's runs.
QString spread(const std::vector<double> &v)
{
    if (v.empty())
        return QStringLiteral("-");
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    return QStringLiteral("%1 s (%2 to %3)").arg(median(v), 0, 'f', 2).arg(*lo, 0, 'f', 2).arg(*hi, 0, 'f', 2);
}

struct Server {
    RealFtpServer &server;
    QString host; // 127.0.0.1:port
    QString base; // the writable folder, ending in "/"
};

QStringList lftpMirror(const Server &s, const QString &target)
{
    return {QStringLiteral("-c"),
            QStringLiteral("set ftp:passive-mode on; set net:max-retries 1; open -u '%1,%2' ftp://%3; "
                           "mirror --parallel=1 %4tree %5")
                .arg(s.server.user(), s.server.password(), s.host, s.base, target)};
}

// Both mirrors into a fresh folder, then again with nothing changed, `runs` times.
int benchMirror(const Server &s, const QString &home, int folders, int files, int runs)
{
    const QString cliUrl =
        QStringLiteral("ftp://%1:%2@%3%4tree").arg(s.server.user(), s.server.password(), s.host, s.base);
    const int want = folders * files;
    std::vector<double> oursFirst, oursRerun, lftpFirst, lftpRerun;
    std::vector<double> oursCpu, lftpCpu, oursRerunCpu, lftpRerunCpu;
    double cpu = 0;
    const QStringList ours{QStringLiteral("-q"), QStringLiteral("--parallel"), QStringLiteral("1"),
                           QStringLiteral("mirror"), cliUrl};
    for (int run = 0; run < runs; ++run) {
        const QString out = home + QStringLiteral("/mirror%1").arg(run);
        QDir().mkpath(out);
        const QString oursTarget = out + QStringLiteral("/ours"), lftpTarget = out + QStringLiteral("/lftp");
        oursFirst.push_back(runTool(QStringLiteral(KESTRIN_CLI_PATH), ours + QStringList{oursTarget}, out, &cpu));
        oursCpu.push_back(cpu);
        lftpFirst.push_back(runTool(QStringLiteral("lftp"), lftpMirror(s, lftpTarget), out, &cpu));
        lftpCpu.push_back(cpu);
        oursRerun.push_back(runTool(QStringLiteral(KESTRIN_CLI_PATH), ours + QStringList{oursTarget}, out, &cpu));
        oursRerunCpu.push_back(cpu);
        lftpRerun.push_back(runTool(QStringLiteral("lftp"), lftpMirror(s, lftpTarget), out, &cpu));
        lftpRerunCpu.push_back(cpu);
        for (const QString &target : {oursTarget, lftpTarget}) {
            const int got = filesBelow(target);
            if (got != want)
                std::fprintf(stderr, "%s: %d of %d files\n", qPrintable(target), got, want);
        }
    }
    std::printf("tree %d folders x %d files of 4 KiB, one connection each, median (min to max) of %d runs\n", folders,
                files, runs);
    std::printf("first run: kestrin-ftp-cli mirror %s, lftp mirror %s\n", qPrintable(spread(oursFirst)),
                qPrintable(spread(lftpFirst)));
    std::printf("rerun:     kestrin-ftp-cli mirror %s, lftp mirror %s\n", qPrintable(spread(oursRerun)),
                qPrintable(spread(lftpRerun)));
    std::printf("CPU seconds first/rerun: ours %.2f / %.2f, lftp %.2f / %.2f\n", median(oursCpu), median(oursRerunCpu),
                median(lftpCpu), median(lftpRerunCpu));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TempHome::isolateProcess();
    QString serverName = QStringLiteral("vsftpd");
    int folders = 20, files = 100, runs = 3, parallel = 1;
    bool mirror = false;
    QStringList args = QCoreApplication::arguments();
    if (args.removeAll(QStringLiteral("--mirror")) > 0)
        mirror = true;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--server"))
            serverName = args[i + 1];
        else if (args[i] == QLatin1String("--folders"))
            folders = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--files"))
            files = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--runs"))
            runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--parallel"))
            parallel = std::clamp(args[i + 1].toInt(), 1, 10);
    }
    TempHome home;
    std::unique_ptr<RealFtpServer> server =
        makeRealServer(serverName == QLatin1String("pyftpdlib") ? ServerKind::Pyftpdlib : ServerKind::Vsftpd);
    if (!server->start()) {
        std::fprintf(stderr, "server did not start: %s\n", qPrintable(server->failure()));
        return 1;
    }
    if (!makeTree(server->localWritable() + QStringLiteral("/tree"), folders, files)) {
        std::fprintf(stderr, "cannot make the test data\n");
        return 1;
    }
    QString base = server->writablePath();
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    const QString host = QStringLiteral("127.0.0.1:%1").arg(server->port());
    std::printf("server %s\n", qPrintable(serverName));
    if (mirror)
        return benchMirror({*server, host, base}, home.path(), folders, files, runs);
    const QString cliUrl = QStringLiteral("ftp://%1:%2@%3%4tree").arg(server->user(), server->password(), host, base);
    const int want = folders * files;

    std::vector<double> ours, lftp, wget;
    std::vector<double> oursCpu, lftpCpu, wgetCpu;
    double cpu = 0;
    for (int run = 0; run < runs; ++run) {
        const QString out = home.path() + QStringLiteral("/run%1").arg(run);
        for (const char *sub : {"ours", "lftp", "wget"})
            QDir().mkpath(out + QLatin1Char('/') + QLatin1String(sub));
        ours.push_back(runTool(QStringLiteral(KESTRIN_CLI_PATH),
                               {QStringLiteral("-q"), QStringLiteral("--parallel"), QString::number(parallel),
                                QStringLiteral("get"), cliUrl, out + QStringLiteral("/ours")},
                               out, &cpu));
        oursCpu.push_back(cpu);
        lftp.push_back(runTool(
            QStringLiteral("lftp"),
            {QStringLiteral("-c"), QStringLiteral("set ftp:passive-mode on; set net:max-retries 1; open -u '%1,%2' "
                                                  "ftp://%3; mirror --parallel=%6 %4tree %5/lftp/tree")
                                       .arg(server->user(), server->password(), host, base, out,
                                            QString::number(parallel))},
            out, &cpu));
        lftpCpu.push_back(cpu);
        wget.push_back(runTool(QStringLiteral("wget"),
                               {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-nH"),
                                QStringLiteral("--user=") + server->user(),
                                QStringLiteral("--password=") + server->password(), QStringLiteral("-P"),
                                out + QStringLiteral("/wget"), QStringLiteral("ftp://%1%2tree/").arg(host, base)},
                               out, &cpu));
        wgetCpu.push_back(cpu);
        for (const char *sub : {"ours", "lftp", "wget"}) {
            const int got = filesBelow(out + QLatin1Char('/') + QLatin1String(sub));
            if (got != want)
                std::fprintf(stderr, "%s: %d of %d files\n", sub, got, want);
        }
    }
    const double o = median(ours), l = median(lftp), w = median(wget);
    std::printf("tree %d folders x %d files of 4 KiB, %d connection(s), median (min to max) of %d runs\n", folders,
                files, parallel, runs);
    std::printf("kestrin-ftp-cli get %s, lftp mirror %s, wget -r %s\n", qPrintable(spread(ours)),
                qPrintable(spread(lftp)), qPrintable(spread(wget)));
    std::printf("CPU seconds: ours %.2f, lftp %.2f, wget %.2f\n", median(oursCpu), median(lftpCpu), median(wgetCpu));
    std::printf("ratio lftp/ours %.2f, wget/ours %.2f\n", l / o, w / o);
    return 0;
}
