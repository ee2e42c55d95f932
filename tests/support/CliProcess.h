#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <sys/resource.h>
#include <unistd.h>

// How one run of the command-line program ended.
struct CliResult {
    int exitCode = -1; // -1: it did not start, crashed, or was killed at the time limit
    QString out, err;
    qint64 ms = 0;
    long peakKiB = 0; // the largest peak resident size among the children waited for so far
};

// Runs `program` with `args` in a session of its own, without a controlling terminal, so
// nothing can be asked on the terminal the tests run in; killed after `timeoutMs`.
inline CliResult runCliProcess(const QString &program, const QStringList &args, int timeoutMs,
                               const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([] { ::setsid(); });
    QElapsedTimer clock;
    clock.start();
    p.start(program, args);
    CliResult r;
    if (!p.waitForStarted(10000))
        return r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = QStringLiteral("still running after %1 ms").arg(timeoutMs);
        return r;
    }
    r.ms = clock.elapsed();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    r.peakKiB = usage.ru_maxrss;
    return r;
}
