// SFTP against OpenSSH's sshd on 127.0.0.1 (the test fixture: its own host key, key
// authentication, internal-sftp), each client run as a process, alternating in one run:
//
//  - one big file (1 GiB by default) down and up: `kestrin-ftp-cli get/put sftp://...
//    --key KEY` beside OpenSSH's `sftp -b BATCH` and `curl sftp://` (host key checked with
//    --hostpubsha256). Sizes checked on every run, SHA-256 on the first.
//  - a tree of folders x files (4 KiB each, and 1 KiB to 1 MiB from the same fixed seed as
//    bench_cli_tree) downloaded with `kestrin-ftp-cli --parallel N get` beside
//    `lftp -c mirror --parallel=N` over sftp (lftp starts ssh with the key, a known-hosts file
//    and BatchMode, so it never asks).
//
//   bench_sftp [--mib N] [--runs N] [--folders N] [--files N] [--parallel N] [--only big|tree|mixed]
//              [--before PATH] [--cli PATH] [--wrap "PROGRAM ARGS"]
//
// --before PATH: another kestrin-ftp-cli binary (an older build) run beside the others as
// "before", so a change is measured in one sitting.
// --wrap "PROGRAM ARGS": only ours, once per direction of the big file, started as
// PROGRAM ARGS kestrin-ftp-cli ... (words split at spaces, no shell), e.g.
// --wrap "strace -f -c -o /tmp/ours.txt".
// Every file lives under the temporary folder (TMPDIR, else /tmp): say which file system.
#include "BenchTrees.h"
#include "support/SshServer.h"
#include "support/TempHome.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

namespace {

using bench::makeTree;
using bench::treeSizes;

// A file of pseudo-random bytes (nothing for a compressor to gain), from a fixed seed.
bool makeBigFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::mt19937_64 random(37);
    std::vector<quint64> block(1 << 17); // 1 MiB
    for (qint64 done = 0; done < size;) {
        for (quint64 &word : block)
            word = random();
        const qint64 n = std::min<qint64>(size - done, static_cast<qint64>(block.size() * sizeof(quint64)));
        if (file.write(reinterpret_cast<const char *>(block.data()), n) != n)
            return false;
        done += n;
    }
    return true;
}

QByteArray sha256Of(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result().toHex();
}

using bench::childCpuSeconds;
using bench::Count;
using bench::filesBelow;

// Seconds a program took, or -1 when it failed; *cpu gets the CPU seconds it used.
double runTool(const QStringList &argv, const QString &workingFolder, double *cpu)
{
    const double cpuBefore = childCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QProcess p;
    p.setWorkingDirectory(workingFolder);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(argv.first(), argv.mid(1));
    if (!p.waitForFinished(1800000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed (exit %d): %s%s\n", qPrintable(argv.first()), p.exitCode(),
                     p.readAllStandardError().constData(), p.readAllStandardOutput().constData());
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

// A tool's figures over the runs.
struct Tool {
    QString name;
    std::vector<double> seconds, cpu;
};

// "median (min to max)" of the runs' rates in MiB/s, or of their seconds.
QString spread(const std::vector<double> &seconds, double mib)
{
    if (seconds.empty() || *std::min_element(seconds.begin(), seconds.end()) <= 0)
        return QStringLiteral("failed");
    std::vector<double> v;
    for (const double s : seconds)
        v.push_back(mib > 0 ? mib / s : s);
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    return QStringLiteral("%1 (%2 to %3)%4")
        .arg(median(v), 0, 'f', mib > 0 ? 0 : 2)
        .arg(*lo, 0, 'f', mib > 0 ? 0 : 2)
        .arg(*hi, 0, 'f', mib > 0 ? 0 : 2)
        .arg(mib > 0 ? QStringLiteral(" MiB/s") : QStringLiteral(" s"));
}

void printTools(const char *title, const std::vector<Tool> &tools, double mib)
{
    std::printf("%s, median (min to max) of %zu runs\n", title, tools.front().seconds.size());
    for (const Tool &t : tools)
        std::printf("  %-22s %-34s CPU %.2f s\n", qPrintable(t.name), qPrintable(spread(t.seconds, mib)),
                    median(t.cpu));
    const double ours = median(tools.front().seconds);
    for (size_t i = 1; i < tools.size(); ++i)
        std::printf("  time %s / ours: %.2f\n", qPrintable(tools[i].name), median(tools[i].seconds) / ours);
    std::fflush(stdout);
}

double loadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TempHome::isolateProcess();
    // Every client logs in with the key it is given, never through an agent.
    qunsetenv("SSH_AUTH_SOCK");
    QString cli = QStringLiteral(KESTRIN_CLI_PATH), before, only;
    int runs = 5, folders = 20, files = 100, parallel = 4;
    qint64 mib = 1024;
    QStringList wrap;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--mib"))
            mib = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--runs"))
            runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--folders"))
            folders = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--files"))
            files = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--parallel"))
            parallel = std::clamp(args[i + 1].toInt(), 1, 10);
        else if (args[i] == QLatin1String("--only"))
            only = args[i + 1];
        else if (args[i] == QLatin1String("--before"))
            before = args[i + 1];
        else if (args[i] == QLatin1String("--cli"))
            cli = args[i + 1];
        else if (args[i] == QLatin1String("--wrap"))
            wrap = args[i + 1].split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }

    TempHome home;
    OpenSshServer server;
    if (!server.start()) {
        std::fprintf(stderr, "sshd did not start: %s%s\n", qPrintable(server.skipReason()),
                     qPrintable(server.failure()));
        return 1;
    }
    const QString port = QString::number(server.port());
    const QString key = server.clientKey();
    // Ours reads ~/.ssh/known_hosts (HOME is the temporary one); OpenSSH's tools get the same file.
    const QString knownHosts = home.path() + QStringLiteral("/.ssh/known_hosts");
    QDir().mkpath(home.path() + QStringLiteral("/.ssh"));
    {
        QFile known(knownHosts);
        if (!known.open(QIODevice::WriteOnly) ||
            known.write(QStringLiteral("[127.0.0.1]:%1 %2\n").arg(port, server.hostKeyLine()).toUtf8()) < 0) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(knownHosts));
            return 1;
        }
    }
    // curl checks the host key by the SHA-256 of its blob, base64 without padding (as ssh-keygen -l shows it).
    const QByteArray hostBlob = QByteArray::fromBase64(server.hostKeyLine().section(QLatin1Char(' '), 1, 1).toLatin1());
    const QString hostSha256 = QString::fromLatin1(
        QCryptographicHash::hash(hostBlob, QCryptographicHash::Sha256).toBase64(QByteArray::OmitTrailingEquals));
    const QStringList sshOptions{QStringLiteral("-F"), QStringLiteral("/dev/null"),
                                 QStringLiteral("-i"), key,
                                 QStringLiteral("-o"), QStringLiteral("IdentitiesOnly=yes"),
                                 QStringLiteral("-o"), QStringLiteral("UserKnownHostsFile=") + knownHosts,
                                 QStringLiteral("-o"), QStringLiteral("GlobalKnownHostsFile=/dev/null"),
                                 QStringLiteral("-o"), QStringLiteral("StrictHostKeyChecking=yes"),
                                 QStringLiteral("-o"), QStringLiteral("BatchMode=yes")};
    const QString user = server.user();
    const QString remote = server.scratch();
    const QString urlBase = QStringLiteral("sftp://%1@127.0.0.1:%2").arg(user, port);
    const QString work = home.path() + QStringLiteral("/work");
    QDir().mkpath(work);
    std::printf("sshd (OpenSSH, internal-sftp) on 127.0.0.1:%s; files under %s; load average %.2f\n", qPrintable(port),
                qPrintable(QDir::tempPath()), loadAverage());
    std::fflush(stdout);

    // Our binaries: this build, and the older one when given.
    QList<QPair<QString, QString>> ourBinaries{{QStringLiteral("kestrin-ftp-cli"), cli}};
    if (!before.isEmpty())
        ourBinaries.append({QStringLiteral("kestrin-ftp-cli before"), before});

    if (only.isEmpty() || only == QLatin1String("big")) {
        const QString big = remote + QStringLiteral("/big.bin");
        const qint64 size = mib * 1024 * 1024;
        if (!makeBigFile(big, size)) {
            std::fprintf(stderr, "cannot make %s\n", qPrintable(big));
            return 1;
        }
        const QByteArray wantHash = sha256Of(big);
        const QString downFolder = work + QStringLiteral("/down");
        const QString upFolder = remote + QStringLiteral("/up");
        QDir().mkpath(downFolder);
        QDir().mkpath(upFolder);
        const QString batch = work + QStringLiteral("/batch");
        // One client's run: its arguments given where the file goes.
        struct Client {
            QString name;
            std::function<QStringList(const QString &target)> down, up;
        };
        std::vector<Client> clients;
        for (const auto &[name, binary] : ourBinaries)
            clients.push_back(
                {name,
                 [&, binary](const QString &target) {
                     return QStringList{binary, QStringLiteral("-q"),  QStringLiteral("--key"),
                                        key,    QStringLiteral("get"), urlBase + big,
                                        target};
                 },
                 [&, binary](const QString &target) {
                     return QStringList{
                         binary, QStringLiteral("-q"), QStringLiteral("--key"), key, QStringLiteral("put"),
                         big,    urlBase + target};
                 }});
        const auto sftpRun = [&](const QString &command) {
            QFile file(batch);
            if (file.open(QIODevice::WriteOnly))
                file.write(command.toUtf8() + '\n');
            return QStringList{QStringLiteral("sftp"), QStringLiteral("-q"),
                               QStringLiteral("-b"),   batch,
                               QStringLiteral("-P"),   port} +
                   sshOptions + QStringList{user + QStringLiteral("@127.0.0.1")};
        };
        clients.push_back(
            {QStringLiteral("sftp -b"),
             [&](const QString &target) { return sftpRun(QStringLiteral("get \"%1\" \"%2\"").arg(big, target)); },
             [&](const QString &target) { return sftpRun(QStringLiteral("put \"%1\" \"%2\"").arg(big, target)); }});
        const QStringList curlOptions{
            QStringLiteral("curl"),     QStringLiteral("-sS"),        QStringLiteral("--key"),           key,
            QStringLiteral("--pubkey"), key + QStringLiteral(".pub"), QStringLiteral("--hostpubsha256"), hostSha256};
        clients.push_back({QStringLiteral("curl"),
                           [&](const QString &target) {
                               return curlOptions + QStringList{QStringLiteral("-o"), target, urlBase + big};
                           },
                           [&](const QString &target) {
                               return curlOptions + QStringList{QStringLiteral("-T"), big, urlBase + target};
                           }});

        if (!wrap.isEmpty()) {
            double cpu = 0;
            const QString down = downFolder + QStringLiteral("/wrapped.bin");
            const QString up = upFolder + QStringLiteral("/wrapped.bin");
            const double d = runTool(wrap + clients.front().down(down), work, &cpu);
            std::printf("wrapped get: %.2f s (%.0f MiB/s), %.2f CPU s, %lld bytes\n", d, static_cast<double>(mib) / d,
                        cpu, static_cast<long long>(QFileInfo(down).size()));
            const double u = runTool(wrap + clients.front().up(up), work, &cpu);
            std::printf("wrapped put: %.2f s (%.0f MiB/s), %.2f CPU s, %lld bytes\n", u, static_cast<double>(mib) / u,
                        cpu, static_cast<long long>(QFileInfo(up).size()));
            return d < 0 || u < 0 ? 1 : 0;
        }

        std::vector<Tool> down(clients.size()), up(clients.size());
        for (size_t c = 0; c < clients.size(); ++c)
            down[c].name = up[c].name = clients[c].name;
        for (int run = 0; run < runs; ++run) {
            for (const bool upload : {false, true}) {
                for (size_t c = 0; c < clients.size(); ++c) {
                    const QString target =
                        (upload ? upFolder : downFolder) + QStringLiteral("/%1-%2.bin").arg(c).arg(run);
                    double cpu = 0;
                    const QStringList argv = upload ? clients[c].up(target) : clients[c].down(target);
                    const double t = runTool(argv, work, &cpu);
                    Tool &tool = upload ? up[c] : down[c];
                    tool.seconds.push_back(t);
                    tool.cpu.push_back(cpu);
                    const qint64 got = QFileInfo(target).size();
                    if (t > 0 && got != size) {
                        std::fprintf(stderr, "%s %s: %lld of %lld bytes\n", qPrintable(clients[c].name),
                                     upload ? "put" : "get", static_cast<long long>(got), static_cast<long long>(size));
                        tool.seconds.back() = -1;
                    } else if (t > 0 && run == 0 && sha256Of(target) != wantHash) {
                        std::fprintf(stderr, "%s %s: the SHA-256 differs\n", qPrintable(clients[c].name),
                                     upload ? "put" : "get");
                        tool.seconds.back() = -1;
                    }
                    QFile::remove(target);
                }
            }
        }
        const QByteArray title = QStringLiteral("%1 MiB file").arg(mib).toUtf8();
        printTools(QByteArray(title + " download").constData(), down, static_cast<double>(mib));
        printTools(QByteArray(title + " upload").constData(), up, static_cast<double>(mib));
        std::printf("sizes checked on every run, SHA-256 on the first; load average now %.2f\n", loadAverage());
        QFile::remove(big);
    }

    for (const bool mixed : {false, true}) {
        if (!only.isEmpty() && only != (mixed ? QLatin1String("mixed") : QLatin1String("tree")))
            continue;
        const std::vector<qint64> sizes = treeSizes(folders * files, mixed);
        qint64 wantBytes = 0;
        for (const qint64 s : sizes)
            wantBytes += s;
        const QString tree = remote + QStringLiteral("/tree");
        QDir(tree).removeRecursively();
        if (!makeTree(tree, folders, files, sizes)) {
            std::fprintf(stderr, "cannot make the tree\n");
            return 1;
        }
        struct Client {
            QString name;
            std::function<QStringList(const QString &target)> args;
        };
        std::vector<Client> clients;
        for (const auto &[name, binary] : ourBinaries)
            clients.push_back({name, [&, binary](const QString &target) {
                                   return QStringList{binary,
                                                      QStringLiteral("-q"),
                                                      QStringLiteral("--parallel"),
                                                      QString::number(parallel),
                                                      QStringLiteral("--key"),
                                                      key,
                                                      QStringLiteral("get"),
                                                      urlBase + tree,
                                                      target};
                               }});
        // lftp starts "PROGRAM -p PORT -l USER 127.0.0.1 -s sftp"; ssh logs in with the key
        // and never asks (BatchMode), so lftp's own password question never comes either.
        const QString connectProgram = QStringLiteral("ssh -a -x ") + sshOptions.join(QLatin1Char(' '));
        clients.push_back({QStringLiteral("lftp mirror"), [&](const QString &target) {
                               return QStringList{
                                   QStringLiteral("lftp"), QStringLiteral("-c"),
                                   QStringLiteral("set sftp:connect-program \"%1\"; set net:max-retries "
                                                  "1; mirror --parallel=%2 %3%4 %5")
                                       .arg(connectProgram)
                                       .arg(parallel)
                                       .arg(QStringLiteral("sftp://%1:@127.0.0.1:%2").arg(user, port), tree, target)};
                           }});
        std::vector<Tool> tools(clients.size());
        for (size_t c = 0; c < clients.size(); ++c)
            tools[c].name = clients[c].name;
        for (int run = 0; run < runs; ++run) {
            for (size_t c = 0; c < clients.size(); ++c) {
                const QString target = work + QStringLiteral("/tree%1-%2").arg(c).arg(run);
                double cpu = 0;
                const double t = runTool(clients[c].args(target), work, &cpu);
                tools[c].seconds.push_back(t);
                tools[c].cpu.push_back(cpu);
                const Count got = filesBelow(target);
                if (t > 0 && (got.files != folders * files || got.bytes != wantBytes)) {
                    std::fprintf(stderr, "%s: %d of %d files, %lld of %lld bytes\n", qPrintable(clients[c].name),
                                 got.files, folders * files, static_cast<long long>(got.bytes),
                                 static_cast<long long>(wantBytes));
                    tools[c].seconds.back() = -1;
                }
                QDir(target).removeRecursively();
            }
        }
        const QByteArray title = QStringLiteral("tree %1 folders x %2 files (%3, %4 MiB), %5 connections")
                                     .arg(folders)
                                     .arg(files)
                                     .arg(mixed ? QStringLiteral("1 KiB to 1 MiB") : QStringLiteral("4 KiB each"))
                                     .arg(static_cast<double>(wantBytes) / 1048576.0, 0, 'f', 1)
                                     .arg(parallel)
                                     .toUtf8();
        printTools(title.constData(), tools, 0);
        std::printf("load average now %.2f\n", loadAverage());
        QDir(tree).removeRecursively();
    }
    return 0;
}
