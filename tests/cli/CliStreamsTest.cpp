// kestrin-ftp-cli with "-" as the local side and with devices, against real servers:
// `get URL - | sha256sum`, `>>` appending, /dev/null, `put - URL` from a file and a pipe.
#include "support/FtpServers.h"
#include "support/TempHome.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

QByteArray pattern(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((static_cast<quint64>(i) * 7919u) >> 5);
    return bytes;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QString urlOf(const RealFtpServer &server, const QString &name)
{
    QString base = server.writablePath();
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return QStringLiteral("ftp://%1:%2@127.0.0.1:%3%4%5")
        .arg(server.user(), server.password())
        .arg(server.port())
        .arg(base, name);
}

// Starts the command line; the caller wires its standard streams before.
bool finishes(QProcess &p, int timeoutMs = 60000)
{
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        return false;
    }
    return p.exitStatus() == QProcess::NormalExit;
}

class CliStreams : public RealServerTest<ServerKind> {
protected:
    void SetUp() override { startServer(GetParam()); }
    TempHome home;
};

TEST_P(CliStreams, DownloadsGoToPipesAppendedFilesAndDevicesWhole)
{
    ASSERT_TRUE(serverUp());
    const QByteArray data = pattern(3 * 1024 * 1024 + 17);
    writeFile(m_server->localWritable() + QStringLiteral("/data.bin"), data);
    const QString url = urlOf(*m_server, QStringLiteral("data.bin"));

    // get URL - | sha256sum
    {
        QProcess cli, sum;
        cli.setStandardOutputProcess(&sum);
        sum.start(QStringLiteral("sha256sum"), {});
        cli.start(QStringLiteral(KESTRIN_CLI_PATH), {QStringLiteral("get"), url, QStringLiteral("-")});
        ASSERT_TRUE(finishes(cli));
        ASSERT_TRUE(finishes(sum));
        EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
        EXPECT_EQ(sum.readAllStandardOutput().left(64),
                  QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
        // Nothing about existing targets: standard output has none.
        EXPECT_FALSE(cli.readAllStandardError().contains("skipped"));
    }
    // get URL - >> file: after what the file held, nothing of it cut.
    {
        const QString log = home.path() + QStringLiteral("/appended.bin");
        writeFile(log, "earlier lines\n");
        QProcess cli;
        cli.setStandardOutputFile(log, QIODevice::Append);
        cli.start(QStringLiteral(KESTRIN_CLI_PATH),
                  {QStringLiteral("-q"), QStringLiteral("get"), url, QStringLiteral("-")});
        ASSERT_TRUE(finishes(cli));
        EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
        EXPECT_TRUE(contents(log) == QByteArray("earlier lines\n") + data);
    }
    // /dev/null is written, not truncated, and the item is whole.
    {
        QProcess cli;
        cli.start(QStringLiteral(KESTRIN_CLI_PATH),
                  {QStringLiteral("--json"), QStringLiteral("get"), url, QStringLiteral("/dev/null")});
        ASSERT_TRUE(finishes(cli));
        ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
        const QJsonObject o = QJsonDocument::fromJson(cli.readAllStandardOutput().trimmed()).object();
        EXPECT_EQ(o.value(QStringLiteral("outcome")).toString(), QStringLiteral("ok"));
        EXPECT_EQ(o.value(QStringLiteral("bytes")).toInteger(), data.size());
    }
}

TEST_P(CliStreams, UploadsReadStandardInputFromAFileOrAPipe)
{
    ASSERT_TRUE(serverUp());
    const QByteArray data = pattern(2 * 1024 * 1024 + 5);
    const QString source = home.path() + QStringLiteral("/source.bin");
    writeFile(source, data);
    struct Case {
        const char *what;
        bool pipe;
        QString name;
    };
    for (const Case &c : {Case{"from a file", false, QStringLiteral("from-file.bin")},
                          Case{"from a pipe", true, QStringLiteral("from-pipe.bin")}}) {
        SCOPED_TRACE(c.what);
        QProcess cli;
        if (!c.pipe)
            cli.setStandardInputFile(source);
        cli.start(QStringLiteral(KESTRIN_CLI_PATH),
                  {QStringLiteral("--json"), QStringLiteral("put"), QStringLiteral("-"), urlOf(*m_server, c.name)});
        ASSERT_TRUE(cli.waitForStarted(10000));
        if (c.pipe) {
            // In pieces, as a producer in a pipeline writes it.
            for (qsizetype at = 0; at < data.size(); at += 256 * 1024)
                cli.write(data.mid(at, 256 * 1024));
            cli.closeWriteChannel();
        }
        ASSERT_TRUE(finishes(cli));
        ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
        EXPECT_TRUE(contents(m_server->localWritable() + QLatin1Char('/') + c.name) == data);
        const QJsonObject o = QJsonDocument::fromJson(cli.readAllStandardOutput().trimmed()).object();
        EXPECT_EQ(o.value(QStringLiteral("outcome")).toString(), QStringLiteral("ok"));
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, CliStreams, ::testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd),
                         [](const auto &info) {
                             return info.param == ServerKind::Pyftpdlib ? std::string("pyftpdlib")
                                                                        : std::string("vsftpd");
                         });

} // namespace
