// The command line against a real server on 127.0.0.1, beside the usual terminal tools in
// the same run: a tree of folders x files downloaded with `kestrin-ftp-cli get`,
// `lftp -c mirror --parallel=N` and `wget -r`, each as a process, each into a fresh folder.
// With --mirror: `kestrin-ftp-cli mirror --parallel 1` beside `lftp -c mirror --parallel=1`,
// each into a fresh folder and then again into the same folder with nothing changed.
//
//   bench_cli_tree [--server vsftpd|pyftpdlib] [--folders N] [--files N] [--runs N] [--parallel N]
//                  [--mixed] [--upload] [--tls] [--mirror] [--cli PATH] [--wrap "PROGRAM ARGS"]
//
// The files are 4 KiB each, or with --mixed 1 KiB to 1 MiB (spread evenly over the powers
// of two between, from a fixed seed: the same tree on every run and machine).
// --parallel N: ours with `--parallel N` (N transfer connections), lftp with
// `mirror --parallel=N`; wget has no such option and stays on one.
// --upload: the tree goes up instead, `kestrin-ftp-cli put DIR URL` beside
// `lftp -c mirror -R --parallel=N` (wget does not upload).
// --tls: vsftpd with explicit TLS required on the login and every data connection; ours
// with an ftpes:// URL and the server certificate's fingerprint, lftp with ftp:ssl-force
// and ftp:ssl-protect-data (wget is left out).
// --cli PATH: another kestrin-ftp-cli binary (an older build, to compare in one run).
// --wrap "PROGRAM ARGS": only ours, once, started as PROGRAM ARGS kestrin-ftp-cli ... (the
// words split at spaces, no shell), e.g. --wrap "strace -f -c -o /tmp/ours.txt" to count
// the system calls of one run.
#include "BenchTrees.h"
#include "support/FtpServers.h"
#include "support/TempHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string_view>
#include <vector>

namespace {

using bench::makeTree;
using bench::treeSizes;

using bench::childCpuSeconds;
using bench::Count;
using bench::filesBelow;

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
            const int got = filesBelow(target).files;
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

// Our fingerprint of the server's certificate, read from the refusal of a run without one.
QString certificateFingerprint(const QString &cli, const QString &url)
{
    QProcess p;
    p.start(cli, {QStringLiteral("ls"), url});
    if (!p.waitForFinished(60000))
        return {};
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("--trust-fingerprint ((?:[0-9A-F]{2}:){31}[0-9A-F]{2})"))
            .match(QString::fromUtf8(p.readAllStandardError()));
    return m.hasMatch() ? m.captured(1) : QString();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TempHome::isolateProcess();
    QString serverName = QStringLiteral("vsftpd");
    QString cli = QStringLiteral(KESTRIN_CLI_PATH);
    int folders = 20, files = 100, runs = 3, parallel = 1;
    QStringList wrap;
    QStringList args = QCoreApplication::arguments();
    const bool mirror = args.removeAll(QStringLiteral("--mirror")) > 0;
    const bool mixed = args.removeAll(QStringLiteral("--mixed")) > 0;
    const bool upload = args.removeAll(QStringLiteral("--upload")) > 0;
    const bool tls = args.removeAll(QStringLiteral("--tls")) > 0;
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
        else if (args[i] == QLatin1String("--cli"))
            cli = args[i + 1];
        else if (args[i] == QLatin1String("--wrap"))
            wrap = args[i + 1].split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    TempHome home;
    std::unique_ptr<RealFtpServer> server;
    if (tls) {
        auto vsftpd = std::make_unique<VsftpdServer>();
        vsftpd->setTls(VsftpdServer::Tls::Explicit);
        server = std::move(vsftpd);
        serverName = QStringLiteral("vsftpd, explicit TLS");
    } else {
        server = makeRealServer(serverName == QLatin1String("pyftpdlib") ? ServerKind::Pyftpdlib : ServerKind::Vsftpd);
    }
    if (!server->start()) {
        std::fprintf(stderr, "server did not start: %s\n", qPrintable(server->failure()));
        return 1;
    }
    const int want = folders * files;
    const std::vector<qint64> sizes = treeSizes(want, mixed);
    qint64 wantBytes = 0;
    for (const qint64 size : sizes)
        wantBytes += size;
    // A download takes the tree from the server's folder, an upload from a local one.
    const QString localTree = home.path() + QStringLiteral("/src/tree");
    if (!makeTree(upload ? localTree : server->localWritable() + QStringLiteral("/tree"), folders, files, sizes)) {
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

    const QString login = server->user() + QLatin1Char(':') + server->password() + QLatin1Char('@') + host;
    QStringList oursOptions{QStringLiteral("-q"), QStringLiteral("--parallel"), QString::number(parallel)};
    QString lftpSettings = QStringLiteral("set ftp:passive-mode on; set net:max-retries 1; ");
    if (tls) {
        const QString fingerprint = certificateFingerprint(cli, QStringLiteral("ftpes://%1%2").arg(login, base));
        if (fingerprint.isEmpty()) {
            std::fprintf(stderr, "no certificate fingerprint from %s\n", qPrintable(cli));
            return 1;
        }
        oursOptions << QStringLiteral("--trust-fingerprint") << fingerprint;
        lftpSettings +=
            QStringLiteral("set ftp:ssl-force true; set ftp:ssl-protect-data true; set ssl:verify-certificate no; ");
    }
    const QString scheme = tls ? QStringLiteral("ftpes://") : QStringLiteral("ftp://");
    // Ours and lftp's arguments for one run into (a download) or from (an upload) `out`.
    const auto oursArgs = [&](const QString &out, int run) -> QStringList {
        if (upload)
            return oursOptions + QStringList{QStringLiteral("put"), localTree,
                                             scheme + login + base + QStringLiteral("up%1/ours").arg(run)};
        return oursOptions + QStringList{QStringLiteral("get"), scheme + login + base + QStringLiteral("tree"),
                                         out + QStringLiteral("/ours")};
    };
    const auto lftpArgs = [&](const QString &out, int run) -> QStringList {
        const QString open = QStringLiteral("open -u '%1,%2' ftp://%3; ").arg(server->user(), server->password(), host);
        const QString mirrorLine =
            upload
                ? QStringLiteral("mirror -R --parallel=%1 %2 %3up%4/lftp").arg(parallel).arg(localTree, base).arg(run)
                : QStringLiteral("mirror --parallel=%1 %2tree %3/lftp/tree").arg(parallel).arg(base, out);
        return QStringList{QStringLiteral("-c"), lftpSettings + open + mirrorLine};
    };
    // Where a run's copy of the tree lands, for counting.
    const auto landed = [&](const QString &out, int run, const char *tool) -> QString {
        if (upload)
            return server->localWritable() + QStringLiteral("/up%1/").arg(run) + QLatin1String(tool);
        return out + QLatin1Char('/') + QLatin1String(tool);
    };
    const bool withWget = !upload && !tls;

    if (!wrap.isEmpty()) {
        const QString out = home.path() + QStringLiteral("/wrapped");
        QDir().mkpath(out);
        double cpu = 0;
        const double t = runTool(wrap.first(), wrap.mid(1) + QStringList{cli} + oursArgs(out, 0), out, &cpu);
        const Count got = filesBelow(landed(out, 0, "ours"));
        std::printf("wrapped: %.2f s, %.2f CPU s, %d of %d files\n", t, cpu, got.files, want);
        return t < 0 || got.files != want ? 1 : 0;
    }

    std::vector<double> ours, lftp, wget;
    std::vector<double> oursCpu, lftpCpu, wgetCpu;
    double cpu = 0;
    for (int run = 0; run < runs; ++run) {
        const QString out = home.path() + QStringLiteral("/run%1").arg(run);
        for (const char *sub : {"ours", "lftp", "wget"})
            QDir().mkpath(out + QLatin1Char('/') + QLatin1String(sub));
        if (upload) {
            // Made here, so open to the server's own user (vsftpd's anonymous login).
            const QString up = server->localWritable() + QStringLiteral("/up%1").arg(run);
            QDir().mkpath(up);
            QFile::setPermissions(up, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                          QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                          QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
        }
        ours.push_back(runTool(cli, oursArgs(out, run), out, &cpu));
        oursCpu.push_back(cpu);
        lftp.push_back(runTool(QStringLiteral("lftp"), lftpArgs(out, run), out, &cpu));
        lftpCpu.push_back(cpu);
        if (withWget) {
            wget.push_back(runTool(QStringLiteral("wget"),
                                   {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-nH"),
                                    QStringLiteral("--user=") + server->user(),
                                    QStringLiteral("--password=") + server->password(), QStringLiteral("-P"),
                                    out + QStringLiteral("/wget"), QStringLiteral("ftp://%1%2tree/").arg(host, base)},
                                   out, &cpu));
            wgetCpu.push_back(cpu);
        }
        for (const char *tool : {"ours", "lftp", "wget"}) {
            if (!withWget && tool == std::string_view("wget"))
                continue;
            const Count got = filesBelow(landed(out, run, tool));
            if (got.files != want || got.bytes != wantBytes)
                std::fprintf(stderr, "%s: %d of %d files, %lld of %lld bytes\n", tool, got.files, want,
                             static_cast<long long>(got.bytes), static_cast<long long>(wantBytes));
        }
        // Each run's copies go before the next: the disk and its cache hold one tree more, not runs more.
        QDir(out).removeRecursively();
        if (upload)
            QDir(server->localWritable() + QStringLiteral("/up%1").arg(run)).removeRecursively();
    }
    std::printf("%s: tree %d folders x %d files (%s, %.1f MiB), %d connection(s), median (min to max) of %d runs\n",
                upload ? "upload" : "download", folders, files, mixed ? "1 KiB to 1 MiB" : "4 KiB each",
                static_cast<double>(wantBytes) / 1048576.0, parallel, runs);
    std::printf("kestrin-ftp-cli %s %s, lftp mirror%s %s", upload ? "put" : "get", qPrintable(spread(ours)),
                upload ? " -R" : "", qPrintable(spread(lftp)));
    if (withWget)
        std::printf(", wget -r %s", qPrintable(spread(wget)));
    std::printf("\n");
    const double o = median(ours), l = median(lftp);
    std::printf("CPU seconds: ours %.2f, lftp %.2f", median(oursCpu), median(lftpCpu));
    if (withWget)
        std::printf(", wget %.2f", median(wgetCpu));
    std::printf("; CPU ms per file: ours %.3f, lftp %.3f", median(oursCpu) * 1000 / want,
                median(lftpCpu) * 1000 / want);
    if (withWget)
        std::printf(", wget %.3f", median(wgetCpu) * 1000 / want);
    std::printf("\nratio lftp/ours %.2f", l / o);
    if (withWget)
        std::printf(", wget/ours %.2f", median(wget) / o);
    std::printf("\n");
    return 0;
}
