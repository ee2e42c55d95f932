// The command line's small jobs against a real server on 127.0.0.1, beside curl and lftp in
// the same run. Each job is a process of its own, started and waited for here (wait4), so
// its wall time and its peak resident size are its own:
//   - the 1 KiB job: start, log in, fetch one file of 1 KiB from a small folder;
//   - one file of 1 KiB from a folder of N entries;
//   - `ls` of that folder (N entries), printed to /dev/null.
//
//   bench_cli_jobs [--server vsftpd|pyftpdlib] [--entries N] [--runs N] [--cli PROGRAM]
// (--cli: another build of kestrin-ftp-cli, to compare before and after a change)
#include "support/FtpServers.h"
#include "support/TempHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Run {
    double seconds = -1; // -1: the tool failed
    long peakKiB = 0;
};

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Runs the program with its standard output into `out` (a file or /dev/null) and stderr
// into /dev/null; the time from fork to its end and its own peak resident size.
Run runTool(const QStringList &argv, const QString &out)
{
    std::vector<std::string> args;
    for (const QString &a : argv)
        args.push_back(a.toStdString());
    std::vector<char *> pointers;
    for (std::string &a : args)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    const std::string outPath = out.toStdString();
    Run run;
    const double start = now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int null = ::open("/dev/null", O_RDWR);
        if (fd < 0 || null < 0)
            _exit(127);
        ::dup2(null, STDIN_FILENO);
        ::dup2(fd, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execvp(pointers[0], pointers.data());
        _exit(127);
    }
    if (pid < 0)
        return run;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return run;
    const double seconds = now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", args[0].c_str(), WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        return run;
    }
    run.seconds = seconds;
    run.peakKiB = usage.ru_maxrss;
    return run;
}

// "median (min-max)" of the runs' times in ms, and the largest peak in MiB.
struct Summary {
    double median = -1, low = -1, high = -1, peakMiB = 0;
    bool failed = false;
};

Summary summarize(const std::vector<Run> &runs)
{
    Summary s;
    std::vector<double> times;
    for (const Run &r : runs) {
        if (r.seconds < 0) {
            s.failed = true;
            continue;
        }
        times.push_back(r.seconds * 1000);
        s.peakMiB = std::max(s.peakMiB, static_cast<double>(r.peakKiB) / 1024.0);
    }
    if (times.empty())
        return s;
    std::sort(times.begin(), times.end());
    s.median = times[times.size() / 2];
    s.low = times.front();
    s.high = times.back();
    return s;
}

bool makeFile(const QString &path, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(QByteArray(size, 'k')) == size;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TempHome::isolateProcess();
    QString serverName = QStringLiteral("vsftpd");
    QString cli = QStringLiteral(KESTRIN_CLI_PATH);
    int entries = 100000, runs = 5;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--server"))
            serverName = args[i + 1];
        else if (args[i] == QLatin1String("--entries"))
            entries = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--runs"))
            runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--cli"))
            cli = args[i + 1];
    }
    TempHome home;
    std::unique_ptr<RealFtpServer> server =
        makeRealServer(serverName == QLatin1String("pyftpdlib") ? ServerKind::Pyftpdlib : ServerKind::Vsftpd);
    if (!server->start()) {
        std::fprintf(stderr, "server did not start: %s\n", qPrintable(server->failure()));
        return 1;
    }
    // A small folder with the 1 KiB file; a big one whose last entry by name is the file.
    const QString local = server->localWritable();
    QDir().mkpath(local + QStringLiteral("/small"));
    QDir().mkpath(local + QStringLiteral("/big"));
    bool made = makeFile(local + QStringLiteral("/small/one.bin"), 1024) &&
                makeFile(local + QStringLiteral("/big/zz-one.bin"), 1024);
    for (int i = 1; made && i < entries; ++i)
        made = makeFile(local + QStringLiteral("/big/file-%1.dat").arg(i, 7, 10, QLatin1Char('0')), 0);
    if (!made) {
        std::fprintf(stderr, "cannot make the test data\n");
        return 1;
    }
    QString base = server->writablePath();
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    const QString host = QStringLiteral("127.0.0.1:%1").arg(server->port());
    const QString url = QStringLiteral("ftp://%1:%2@%3%4").arg(server->user(), server->password(), host, base);
    // curl takes the login apart from the URL: the password holds an "@".
    const QString plainUrl = QStringLiteral("ftp://%1%2").arg(host, base);
    const QString curlLogin = server->user() + QLatin1Char(':') + server->password();
    const QString lftpOpen =
        QStringLiteral("set net:max-retries 1; set ftp:passive-mode on; open -u '%1,%2' ftp://%3; ")
            .arg(server->user(), server->password(), host);
    const QString got = home.path() + QStringLiteral("/got.bin");
    const QString devNull = QStringLiteral("/dev/null");

    struct Job {
        const char *what;
        QStringList ours, curl, lftp;
        bool fetches; // the job's result is the 1 KiB file
    };
    const Job jobs[] = {
        {"1 KiB job (small folder)",
         {cli, QStringLiteral("-q"), QStringLiteral("--overwrite"), QStringLiteral("get"),
          url + QStringLiteral("small/one.bin"), got},
         {QStringLiteral("curl"), QStringLiteral("-s"), QStringLiteral("-u"), curlLogin, QStringLiteral("-o"), got,
          plainUrl + QStringLiteral("small/one.bin")},
         {QStringLiteral("lftp"), QStringLiteral("-c"),
          lftpOpen + QStringLiteral("get %1small/one.bin -o %2").arg(base, got)},
         true},
        {"one file from the big folder",
         {cli, QStringLiteral("-q"), QStringLiteral("--overwrite"), QStringLiteral("get"),
          url + QStringLiteral("big/zz-one.bin"), got},
         {QStringLiteral("curl"), QStringLiteral("-s"), QStringLiteral("-u"), curlLogin, QStringLiteral("-o"), got,
          plainUrl + QStringLiteral("big/zz-one.bin")},
         {QStringLiteral("lftp"), QStringLiteral("-c"),
          lftpOpen + QStringLiteral("get %1big/zz-one.bin -o %2").arg(base, got)},
         true},
        {"ls of the big folder",
         {cli, QStringLiteral("ls"), url + QStringLiteral("big/")},
         {QStringLiteral("curl"), QStringLiteral("-s"), QStringLiteral("-u"), curlLogin,
          plainUrl + QStringLiteral("big/")},
         {QStringLiteral("lftp"), QStringLiteral("-c"), lftpOpen + QStringLiteral("ls %1big").arg(base)},
         false},
    };

    std::printf("server %s, big folder of %d entries, %d runs each; wall ms median (min-max), peak RSS MiB\n",
                qPrintable(serverName), entries, runs);
    std::printf("| job | kestrin-ftp-cli | curl | lftp | ours/curl | peak MiB ours / curl / lftp |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const Job &job : jobs) {
        std::vector<Run> ours, curl, lftp;
        // Taken in turns, so a change in the machine's load falls on all three alike; a
        // fetch counts only when the whole file arrived.
        auto measure = [&](const QStringList &argv) {
            QFile::remove(got);
            Run r = runTool(argv, devNull);
            if (job.fetches && QFileInfo(got).size() != 1024)
                r.seconds = -1;
            return r;
        };
        for (int run = 0; run < runs; ++run) {
            ours.push_back(measure(job.ours));
            curl.push_back(measure(job.curl));
            lftp.push_back(measure(job.lftp));
        }
        const Summary o = summarize(ours), c = summarize(curl), l = summarize(lftp);
        auto cell = [](const Summary &s) {
            return s.median < 0 ? std::string("failed")
                                : QStringLiteral("%1 (%2-%3)%4")
                                      .arg(s.median, 0, 'f', 1)
                                      .arg(s.low, 0, 'f', 1)
                                      .arg(s.high, 0, 'f', 1)
                                      .arg(s.failed ? QStringLiteral(" some failed") : QString())
                                      .toStdString();
        };
        std::printf("| %s | %s | %s | %s | %.2f | %.1f / %.1f / %.1f |\n", job.what, cell(o).c_str(), cell(c).c_str(),
                    cell(l).c_str(), c.median > 0 ? o.median / c.median : 0.0, o.peakMiB, c.peakMiB, l.peakMiB);
        std::fflush(stdout);
    }
    return 0;
}
