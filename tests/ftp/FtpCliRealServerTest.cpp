// The FTP engine's control commands against real servers: pyftpdlib and vsftpd.
#include "ftp/FtpCli.h"

#include "support/FtpRecorder.h"
#include "support/FtpServers.h"
#include "support/ServerProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Kind = ServerKind;

class RealFtp : public RealServerTest<Kind> {
protected:
    void SetUp() override
    {
        startServer(GetParam());
        if (!serverUp())
            return;
        m_ftp.SetHostName(QStringLiteral("127.0.0.1"));
        m_ftp.SetPort(QString::number(m_server->port()));
        m_ftp.SetUserName(m_server->user());
        m_ftp.SetPassWord(m_server->password());
        m_ftp.SetTimeout(20);
    }
    // Runs one request and returns its code from OnRequestDone.
    int run(const std::function<void()> &start, TFtpRequest expectedType)
    {
        const qsizetype before = m_rec.done.size();
        start();
        if (!m_rec.waitDone(before + 1, 20000))
            return -1;
        EXPECT_EQ(m_rec.lastType(), expectedType);
        return m_rec.lastError();
    }
    QString log() const { return m_rec.display.join(QLatin1Char('\n')) + QStringLiteral("\n") + m_server->log(); }

    TFtpClient m_ftp;
    FtpRecorder m_rec{m_ftp};
};

TEST_P(RealFtp, ControlCommandsSucceedWithTheRightCodes)
{
    const QString dir = m_server->writablePath();
    QFile file(m_server->localWritable() + QStringLiteral("/data.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(12345, 'k'));
    file.close();

    ASSERT_EQ(run([&] { m_ftp.StartConnect(); }, TFtpRequest::rqConnect), 0) << log().toStdString();
    EXPECT_EQ(m_ftp.StatusCode(), 230);
    m_ftp.SetHostDirName(dir);
    ASSERT_EQ(run([&] { m_ftp.StartCwd(); }, TFtpRequest::rqCwd), 0) << log().toStdString();
    EXPECT_EQ(m_ftp.StatusCode(), 250);
    ASSERT_EQ(run([&] { m_ftp.StartPwd(); }, TFtpRequest::rqPwd), 0);
    EXPECT_EQ(m_ftp.StatusCode(), 257);
    EXPECT_EQ(m_ftp.DirResult(), dir);
    ASSERT_EQ(run([&] { m_ftp.StartTypeBinary(); }, TFtpRequest::rqTypeSet), 0);
    EXPECT_EQ(m_ftp.StatusCode(), 200);

    m_ftp.SetHostFileName(QStringLiteral("data.bin"));
    ASSERT_EQ(run([&] { m_ftp.StartSize(); }, TFtpRequest::rqSize), 0) << log().toStdString();
    EXPECT_EQ(m_ftp.StatusCode(), 213);
    EXPECT_EQ(m_ftp.SizeResult(), 12345);

    m_ftp.SetHostFileName(QStringLiteral("new dir"));
    ASSERT_EQ(run([&] { m_ftp.StartMkd(); }, TFtpRequest::rqMkd), 0) << log().toStdString();
    EXPECT_EQ(m_ftp.StatusCode(), 257);
    EXPECT_TRUE(QDir(m_server->localWritable() + QStringLiteral("/new dir")).exists());
    ASSERT_EQ(run([&] { m_ftp.StartRmd(); }, TFtpRequest::rqRmd), 0);
    EXPECT_EQ(m_ftp.StatusCode(), 250);
    EXPECT_FALSE(QDir(m_server->localWritable() + QStringLiteral("/new dir")).exists());

    m_ftp.SetHostFileName(QStringLiteral("data.bin"));
    m_ftp.SetLocalFileName(QStringLiteral("renamed.bin"));
    ASSERT_EQ(run([&] { m_ftp.StartRename(); }, TFtpRequest::rqRename), 0) << log().toStdString();
    EXPECT_EQ(m_ftp.StatusCode(), 250);
    EXPECT_TRUE(QFile::exists(m_server->localWritable() + QStringLiteral("/renamed.bin")));

    m_ftp.SetHostFileName(QStringLiteral("missing.bin"));
    EXPECT_EQ(run([&] { m_ftp.StartRename(); }, TFtpRequest::rqRename), 550); // no RNTO follows
    m_ftp.SetHostFileName(QStringLiteral("renamed.bin"));
    ASSERT_EQ(run([&] { m_ftp.StartDele(); }, TFtpRequest::rqDele), 0);
    EXPECT_EQ(m_ftp.StatusCode(), 250);
    EXPECT_FALSE(QFile::exists(m_server->localWritable() + QStringLiteral("/renamed.bin")));

    m_ftp.SetLocalFileName(QStringLiteral("NOOP"));
    ASSERT_EQ(run([&] { m_ftp.StartQuote(); }, TFtpRequest::rqQuote), 0);
    EXPECT_EQ(m_ftp.StatusCode(), 200);
    m_ftp.SetLocalFileName(QStringLiteral("XYZZY"));
    EXPECT_GE(run([&] { m_ftp.StartQuote(); }, TFtpRequest::rqQuote), 500);

    ASSERT_EQ(run([&] { m_ftp.StartQuit(); }, TFtpRequest::rqQuit), 0);
    EXPECT_EQ(m_ftp.StatusCode(), 221);
    EXPECT_FALSE(m_ftp.IsConnected());
    EXPECT_EQ(m_rec.sessionClosed, 1);
}

TEST_P(RealFtp, NamesWithQuotesAndNonLatinLettersSurviveTheRoundTrip)
{
    ASSERT_EQ(run([&] { m_ftp.StartConnect(); }, TFtpRequest::rqConnect), 0) << log().toStdString();
    m_ftp.SetHostDirName(m_server->writablePath());
    ASSERT_EQ(run([&] { m_ftp.StartCwd(); }, TFtpRequest::rqCwd), 0);
    const QString prefix = m_server->writablePath() == QLatin1String("/") ? QStringLiteral("/")
                                                                          : m_server->writablePath() + QLatin1Char('/');
    for (const QString &name : {QStringLiteral("say \"hi\""), QStringLiteral("M\u00fcller \u65e5\u672c")}) {
        m_ftp.SetHostFileName(name);
        ASSERT_EQ(run([&] { m_ftp.StartMkd(); }, TFtpRequest::rqMkd), 0) << log().toStdString();
        EXPECT_TRUE(QDir(m_server->localWritable() + QLatin1Char('/') + name).exists()) << name.toStdString();
        m_ftp.SetHostDirName(name);
        ASSERT_EQ(run([&] { m_ftp.StartCwd(); }, TFtpRequest::rqCwd), 0);
        ASSERT_EQ(run([&] { m_ftp.StartPwd(); }, TFtpRequest::rqPwd), 0);
        EXPECT_EQ(m_ftp.DirResult(), prefix + name); // quotes doubled by the server, undone here
        ASSERT_EQ(run([&] { m_ftp.StartCdup(); }, TFtpRequest::rqCdup), 0) << log().toStdString();
    }
    m_ftp.Abort();
}

TEST_P(RealFtp, WrongLoginReports530)
{
    m_ftp.SetUserName(GetParam() == Kind::Vsftpd ? QStringLiteral("nosuchuser") : m_server->user());
    m_ftp.SetPassWord(QStringLiteral("wrong password"));
    EXPECT_EQ(run([&] { m_ftp.StartConnect(); }, TFtpRequest::rqConnect), 530) << log().toStdString();
    EXPECT_TRUE(m_ftp.ErrorMessage().startsWith(QStringLiteral("530"))) << m_ftp.ErrorMessage().toStdString();
    m_ftp.Abort();
}

TEST_P(RealFtp, SessionRequestLogsInWorksAndQuits)
{
    QDir().mkpath(m_server->localWritable() + QStringLiteral("/gone"));
    m_ftp.SetHostDirName(m_server->writablePath());
    m_ftp.SetHostFileName(QStringLiteral("gone"));
    EXPECT_EQ(run([&] { m_ftp.StartRmdSession(); }, TFtpRequest::rqRmdSession), 0) << log().toStdString();
    EXPECT_FALSE(QDir(m_server->localWritable() + QStringLiteral("/gone")).exists());
    EXPECT_FALSE(m_ftp.IsConnected());
    EXPECT_EQ(m_ftp.StatusCode(), 250); // the RMD reply, kept over QUIT's
}

// Through SOCKS: every connection goes through the proxy, also after a close (a socket
// forgets its SOCKS server when it closes; the engine sets it again).
TEST(RealFtpSocks, EveryConnectionGoesThroughTheProxy)
{
    PyftpdlibServer server;
    ASSERT_TRUE(server.start()) << server.failure().toStdString();
    MicrosocksServer socks5;
    ASSERT_TRUE(socks5.start(QStringLiteral("alice"), QStringLiteral("secret")));
    DanteServer dante;
    const bool danteUp = dante.start();

    struct Route {
        TFtpConnectionType type;
        uint16_t port;
    };
    std::vector<Route> routes{{TFtpConnectionType::ftpSocks5, socks5.port()}};
    if (danteUp)
        routes.push_back({TFtpConnectionType::ftpSocks4, dante.port()});
    for (const Route &route : routes) {
        TFtpClient ftp;
        FtpRecorder rec(ftp);
        int viaProxy = 0;
        ftp.ControlSocket().OnSocksConnected = [&](TWSocket *, int error) { viaProxy += error == 0; };
        ftp.SetHostName(QStringLiteral("127.0.0.1"));
        ftp.SetPort(QString::number(server.port()));
        ftp.SetUserName(server.user());
        ftp.SetPassWord(server.password());
        ftp.SetConnectionType(route.type);
        EXPECT_TRUE(ftp.Passive());
        ftp.SetSocksServer(QStringLiteral("127.0.0.1"));
        ftp.SetSocksPort(QString::number(route.port));
        ftp.SetSocksUserCode(QStringLiteral("alice"));
        ftp.SetSocksPassword(QStringLiteral("secret"));
        for (int round = 1; round <= 2; ++round) {
            ftp.StartConnect();
            ASSERT_TRUE(rec.waitDone(2 * round - 1));
            ASSERT_EQ(rec.lastError(), 0) << rec.display.join(QLatin1Char('|')).toStdString();
            ftp.StartQuit();
            ASSERT_TRUE(rec.waitDone(2 * round));
            EXPECT_EQ(rec.lastError(), 0);
            EXPECT_EQ(viaProxy, round);
        }
    }
    if (!danteUp && dante.skipReason().isEmpty())
        FAIL() << dante.failure().toStdString();
    if (!danteUp)
        GTEST_SKIP() << "SOCKS 4 part skipped: " << dante.skipReason().toStdString();
}

// A name with letters beyond ASCII is listed, fetched and deleted as the bytes it has on the
// server, with UTF-8 negotiated after the login.
TEST_P(RealFtp, NonAsciiNamesTravelByteExact)
{
    const QString name = QStringLiteral("caf\u00e9 r\u00e4ksm\u00f6rg\u00e5s.txt");
    QFile file(m_server->localWritable() + QLatin1Char('/') + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("hej");
    file.close();
    QTemporaryDir local;
    m_ftp.SetNegotiateUtf8(true);
    m_ftp.SetPassive(true);
    ASSERT_EQ(run([&] { m_ftp.StartConnect(); }, TFtpRequest::rqConnect), 0) << log().toStdString();
    EXPECT_EQ(m_ftp.StatusCode(), 230);
    m_ftp.SetHostDirName(m_server->writablePath());
    ASSERT_EQ(run([&] { m_ftp.StartCwd(); }, TFtpRequest::rqCwd), 0) << log().toStdString();
    QString listing;
    m_ftp.OnDisplayFile = [&](TFtpClient *, QString &msg) { listing += msg; };
    m_ftp.SetDisplayFileFlag(true);
    m_ftp.SetDisplayFileMode(1);
    m_ftp.SetHostFileName(QString());
    ASSERT_EQ(run([&] { m_ftp.StartDir(); }, TFtpRequest::rqDir), 0) << log().toStdString();
    EXPECT_TRUE(listing.contains(name)) << listing.toStdString();
    m_ftp.SetDisplayFileFlag(false);
    m_ftp.SetHostFileName(name);
    m_ftp.SetLocalFileName(local.filePath(QStringLiteral("copy.txt")));
    ASSERT_EQ(run([&] { m_ftp.StartReceive(); }, TFtpRequest::rqReceive), 0) << log().toStdString();
    QFile copy(local.filePath(QStringLiteral("copy.txt")));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray("hej"));
    ASSERT_EQ(run([&] { m_ftp.StartDele(); }, TFtpRequest::rqDele), 0) << log().toStdString();
    EXPECT_FALSE(QFile::exists(m_server->localWritable() + QLatin1Char('/') + name));
    m_ftp.Abort();
}

INSTANTIATE_TEST_SUITE_P(Servers, RealFtp, ::testing::Values(Kind::Pyftpdlib, Kind::Vsftpd),
                         [](const auto &info) { return info.param == Kind::Pyftpdlib ? "pyftpdlib" : "vsftpd"; });

} // namespace
