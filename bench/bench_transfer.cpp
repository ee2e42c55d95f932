// Transfer throughput of the FTP engine against curl, one run, the same vsftpd (or
// pyftpdlib) on 127.0.0.1 and the same file: download and upload, ours with the engine's
// blocks and with the small 4096/1460-byte blocks for comparison, and our peak memory.
//
// With --tls the same against vsftpd with explicit TLS (control and data connections
// encrypted, its session resumed on each data connection), beside curl --ssl-reqd and lftp
// with ftp:ssl-force.
//
//   bench_transfer [--mib N] [--rounds R] [--server vsftpd|pyftpdlib] [--tls]
#include "ftp/FtpCli.h"

#include "support/FtpRecorder.h"
#include "support/FtpServers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

long peakRssKib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool writeRandomFile(const QString &path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    std::vector<quint32> block(1 << 18); // 1 MiB
    QRandomGenerator gen(42);
    for (qint64 done = 0; done < size; done += 1 << 20) {
        gen.fillRange(block.data(), block.size());
        if (f.write(reinterpret_cast<const char *>(block.data()), 1 << 20) != 1 << 20)
            return false;
    }
    return true;
}

struct Bench {
    RealFtpServer &server;
    QTemporaryDir local;
    TFtpClient ftp;
    FtpRecorder rec{ftp};

    bool tls = false;

    Bench(RealFtpServer &s, bool withTls) : server(s), tls(withTls)
    {
        if (tls) {
            ftp.SetTlsMode(TFtpTlsMode::ExplicitRequired);
            // The server's certificate is the one the fixture made for this run.
            ftp.OnCertificate = [](TFtpClient *, const TTlsCertificate &, TCertificateAnswer &answer) {
                answer = TCertificateAnswer::TrustOnce;
            };
        }
        ftp.SetHostName(QStringLiteral("127.0.0.1"));
        ftp.SetPort(QString::number(server.port()));
        ftp.SetUserName(server.user());
        ftp.SetPassWord(server.password());
        ftp.SetPassive(true);
        ftp.SetTimeout(60);
    }
    int run(const std::function<void()> &start)
    {
        const qsizetype before = rec.done.size();
        start();
        return rec.waitDone(before + 1, 600000) ? rec.lastError() : -1;
    }
    bool login()
    {
        if (run([&] { ftp.StartConnect(); }) != 0)
            return false;
        ftp.SetHostDirName(server.writablePath());
        return run([&] { ftp.StartCwd(); }) == 0 && run([&] { ftp.StartTypeBinary(); }) == 0;
    }
    // Seconds for one transfer, or -1 on failure.
    double ours(bool upload, int receiveBlock, int sendBlock)
    {
        ftp.DataReceiveBlock = receiveBlock;
        ftp.DataSendBlock = sendBlock;
        QElapsedTimer t;
        t.start();
        int error;
        if (upload) {
            ftp.SetLocalFileName(local.filePath(QStringLiteral("big.bin")));
            ftp.SetHostFileName(QStringLiteral("up-ours.bin"));
            error = run([&] { ftp.StartPut(); });
        } else {
            ftp.SetLocalFileName(local.filePath(QStringLiteral("down-ours.bin")));
            ftp.SetHostFileName(QStringLiteral("big.bin"));
            error = run([&] { ftp.StartReceive(); });
        }
        const double s = t.nsecsElapsed() / 1e9;
        if (error != 0) {
            std::fprintf(stderr, "engine transfer failed with %d\n", error);
            return -1;
        }
        return s;
    }
    double curl(bool upload)
    {
        const QString base = QStringLiteral("ftp://127.0.0.1:%1%2/").arg(server.port()).arg(server.writablePath());
        QStringList args{QStringLiteral("-s"), QStringLiteral("-S"), QStringLiteral("-u"),
                         server.user() + QLatin1Char(':') + server.password()};
        if (tls)
            args << QStringLiteral("--ssl-reqd") << QStringLiteral("-k");
        if (upload)
            args << QStringLiteral("-T") << local.filePath(QStringLiteral("big.bin"))
                 << base + QStringLiteral("up-curl.bin");
        else
            args << QStringLiteral("-o") << local.filePath(QStringLiteral("down-curl.bin"))
                 << base + QStringLiteral("big.bin");
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.start(QStringLiteral("curl"), args);
        if (!p.waitForFinished(600000) || p.exitCode() != 0) {
            std::fprintf(stderr, "curl failed: %s\n", p.readAllStandardError().constData());
            return -1;
        }
        return t.nsecsElapsed() / 1e9;
    }
    double lftp(bool upload)
    {
        QString script = QStringLiteral("set net:max-retries 1; set ftp:passive-mode true; ");
        if (tls)
            script += QStringLiteral("set ftp:ssl-force true; set ftp:ssl-protect-data true; "
                                     "set ssl:verify-certificate no; ");
        else
            script += QStringLiteral("set ftp:ssl-allow false; ");
        script +=
            QStringLiteral("open -u %1,%2 -p %3 127.0.0.1; ").arg(server.user(), server.password()).arg(server.port());
        const QString remote = server.writablePath() + QLatin1Char('/');
        if (upload)
            script += QStringLiteral("put %1 -o %2up-lftp.bin").arg(local.filePath(QStringLiteral("big.bin")), remote);
        else
            script +=
                QStringLiteral("get %1big.bin -o %2").arg(remote, local.filePath(QStringLiteral("down-lftp.bin")));
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.start(QStringLiteral("lftp"), {QStringLiteral("-c"), script});
        if (!p.waitForFinished(600000) || p.exitCode() != 0) {
            std::fprintf(stderr, "lftp failed: %s\n", p.readAllStandardError().constData());
            return -1;
        }
        return t.nsecsElapsed() / 1e9;
    }
};

double best(const std::vector<double> &v)
{
    return v.empty() ? -1 : *std::min_element(v.begin(), v.end());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qint64 mib = 1024;
    int rounds = 3;
    QString kind = QStringLiteral("vsftpd");
    QStringList args = app.arguments();
    const bool tls = args.removeAll(QStringLiteral("--tls")) > 0;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--mib"))
            mib = args[i + 1].toLongLong();
        else if (args[i] == QLatin1String("--rounds"))
            rounds = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--server"))
            kind = args[i + 1];
    }
    std::unique_ptr<RealFtpServer> server;
    if (kind == QLatin1String("pyftpdlib"))
        server = std::make_unique<PyftpdlibServer>();
    else {
        auto vsftpd = std::make_unique<VsftpdServer>();
        if (tls)
            vsftpd->setTls(VsftpdServer::Tls::Explicit);
        server = std::move(vsftpd);
    }
    if (!server->start()) {
        std::fprintf(stderr, "server did not start: %s\n", qPrintable(server->failure()));
        return 1;
    }
    Bench b(*server, tls);
    const qint64 size = mib << 20;
    if (!writeRandomFile(b.local.filePath(QStringLiteral("big.bin")), size) ||
        !QFile::copy(b.local.filePath(QStringLiteral("big.bin")),
                     server->localWritable() + QStringLiteral("/big.bin"))) {
        std::fprintf(stderr, "could not write the test file\n");
        return 1;
    }
    if (!b.login()) {
        std::fprintf(stderr, "login failed\n");
        return 1;
    }
    const long rssBefore = peakRssKib();
    struct Row {
        const char *name;
        std::vector<double> down, up;
    };
    Row small{"ours, 4096/1460-byte blocks", {}, {}};
    Row large{"ours, 256 KiB blocks", {}, {}};
    Row curl{"curl", {}, {}};
    Row lftp{"lftp", {}, {}};
    // Interleaved, the order turning each round, so that a change in the machine's load
    // hits every contender alike. Before each transfer the old copies go and the disk is
    // synced (not timed): no one pays for another's write-back.
    const std::function<double()> runs[8] = {
        [&] { return b.ours(false, 256 * 1024, 256 * 1024); },
        [&] { return b.curl(false); },
        [&] { return b.lftp(false); },
        [&] { return b.ours(false, 4096, 1460); },
        [&] { return b.ours(true, 256 * 1024, 256 * 1024); },
        [&] { return b.curl(true); },
        [&] { return b.lftp(true); },
        [&] { return b.ours(true, 4096, 1460); },
    };
    std::vector<double> *results[8] = {&large.down, &curl.down, &lftp.down, &small.down,
                                       &large.up,   &curl.up,   &lftp.up,   &small.up};
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < 8; ++k) {
            const int i = (k / 4) * 4 + (k + r) % 4; // downloads first, then uploads
            for (const char *name : {"down-ours.bin", "down-curl.bin", "down-lftp.bin"})
                QFile::remove(b.local.filePath(QString::fromLatin1(name)));
            for (const char *name : {"up-ours.bin", "up-curl.bin", "up-lftp.bin"})
                QFile::remove(server->localWritable() + QLatin1Char('/') + QString::fromLatin1(name));
            ::sync();
            results[i]->push_back(runs[i]());
        }
    }
    const long rssAfter = peakRssKib();
    std::printf("%s%s, %lld MiB file on 127.0.0.1, best of %d rounds (MiB/s)\n", qPrintable(kind),
                tls ? " with explicit TLS" : "", mib, rounds);
    std::printf("%-30s %12s %12s\n", "", "download", "upload");
    for (const Row *row : {&large, &small, &curl, &lftp})
        std::printf("%-30s %12.0f %12.0f\n", row->name, mib / best(row->down), mib / best(row->up));
    std::printf("ratio ours/curl (256 KiB blocks): download %.2f, upload %.2f\n", best(curl.down) / best(large.down),
                best(curl.up) / best(large.up));
    std::printf("ratio ours/lftp (256 KiB blocks): download %.2f, upload %.2f\n", best(lftp.down) / best(large.down),
                best(lftp.up) / best(large.up));
    std::printf("ratio ours/curl (4096/1460 blocks): download %.2f, upload %.2f\n", best(curl.down) / best(small.down),
                best(curl.up) / best(small.up));
    std::printf("our peak memory: %ld KiB after login, %ld KiB after all transfers\n", rssBefore, rssAfter);
    return 0;
}
