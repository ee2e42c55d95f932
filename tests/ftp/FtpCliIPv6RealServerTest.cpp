// The FTP engine over IPv6 against real servers listening on ::1 (pyftpdlib and vsftpd):
// login, listing, files both ways byte-identical, passive (EPSV) and active (EPRT), and
// through a SOCKS 5 proxy that itself listens on ::1.
#include "ftp/FtpCli.h"

#include "support/FtpRecorder.h"
#include "support/FtpServers.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

enum class Route { Passive, Active, Socks5 };

struct V6Case {
    const char *name;
    ServerKind kind;
    Route route;
};

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator gen(static_cast<quint32>(size) + 29);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(gen.generate());
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class RealIPv6 : public ::testing::TestWithParam<V6Case> {
protected:
    void SetUp() override
    {
        if (!ServerProcess::hasIPv6Loopback())
            GTEST_SKIP() << "this machine has no IPv6 loopback address (::1)";
        m_server = makeRealServer(GetParam().kind);
        m_server->setHost(QStringLiteral("::1"));
        if (auto *py = dynamic_cast<PyftpdlibServer *>(m_server.get()))
            py->setLogCommands(true);
        if (!m_server->start()) {
            if (!m_server->skipReason().isEmpty())
                GTEST_SKIP() << m_server->skipReason().toStdString();
            FAIL() << m_server->failure().toStdString();
        }
        m_ftp.SetHostName(QStringLiteral("::1"));
        m_ftp.SetPort(QString::number(m_server->port()));
        m_ftp.SetUserName(m_server->user());
        m_ftp.SetPassWord(m_server->password());
        m_ftp.SetPassive(GetParam().route != Route::Active);
        if (GetParam().route == Route::Socks5) {
            ASSERT_TRUE(m_socks.start(QString(), QString(), QStringLiteral("::1"))) << "microsocks did not start";
            m_ftp.SetConnectionType(TFtpConnectionType::ftpSocks5);
            m_ftp.SetSocksServer(QStringLiteral("::1"));
            m_ftp.SetSocksPort(QString::number(m_socks.port()));
            m_ftp.ControlSocket().OnSocksConnected = [this](TWSocket *, int error) { m_viaProxy += error == 0; };
        }
    }
    int run(const std::function<void()> &start)
    {
        const qsizetype before = m_rec.done.size();
        start();
        return m_rec.waitDone(before + 1, 30000) ? m_rec.lastError() : -1;
    }
    std::string log() const
    {
        const QString text = m_rec.display.join(QLatin1Char('\n')) + QStringLiteral("\n") + m_server->log();
        return text.toStdString();
    }
    // The data connection commands the engine sent ("EPSV", "EPRT |2|::1|port|", ...).
    QStringList dataCommands() const
    {
        QStringList sent;
        for (const QString &line : m_rec.display) {
            for (const char *command : {"> EPSV", "> PASV", "> EPRT", "> PORT"}) {
                if (line.startsWith(QLatin1String(command)))
                    sent << line.mid(2);
            }
        }
        return sent;
    }

    std::unique_ptr<RealFtpServer> m_server;
    MicrosocksServer m_socks;
    int m_viaProxy = 0;
    QTemporaryDir m_local;
    TFtpClient m_ftp;
    FtpRecorder m_rec{m_ftp};
};

TEST_P(RealIPv6, LoginListingAndFilesBothWaysByteIdentical)
{
    ASSERT_EQ(run([&] { m_ftp.StartConnect(); }), 0) << log();
    m_ftp.SetHostDirName(m_server->writablePath());
    ASSERT_EQ(run([&] { m_ftp.StartCwd(); }), 0) << log();
    ASSERT_EQ(run([&] { m_ftp.StartTypeBinary(); }), 0) << log();

    const QByteArray content = randomBytes(300000);
    const QString up = m_local.filePath(QStringLiteral("up.bin"));
    {
        QFile f(up);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    m_ftp.SetHostFileName(QStringLiteral("v6.bin"));
    m_ftp.SetLocalFileName(up);
    ASSERT_EQ(run([&] { m_ftp.StartPut(); }), 0) << log();
    EXPECT_EQ(readFile(m_server->localWritable() + QStringLiteral("/v6.bin")), content);

    const QString listing = m_local.filePath(QStringLiteral("listing.txt"));
    m_ftp.SetHostFileName(QString());
    m_ftp.SetLocalFileName(listing);
    ASSERT_EQ(run([&] { m_ftp.StartDir(); }), 0) << log();
    EXPECT_TRUE(readFile(listing).contains("v6.bin")) << readFile(listing).toStdString();

    const QString back = m_local.filePath(QStringLiteral("back.bin"));
    m_ftp.SetHostFileName(QStringLiteral("v6.bin"));
    m_ftp.SetLocalFileName(back);
    ASSERT_EQ(run([&] { m_ftp.StartReceive(); }), 0) << log();
    EXPECT_EQ(readFile(back), content);

    // Every data connection used the IPv6 command of its mode, never PASV or PORT.
    const QStringList sent = dataCommands();
    ASSERT_EQ(sent.size(), 3) << log();
    for (const QString &command : sent) {
        if (GetParam().route == Route::Active)
            EXPECT_TRUE(command.startsWith(QLatin1String("EPRT |2|::1|"))) << command.toStdString();
        else
            EXPECT_EQ(command, QStringLiteral("EPSV"));
    }
    if (auto *py = dynamic_cast<PyftpdlibServer *>(m_server.get())) {
        const QStringList received = py->receivedCommands();
        EXPECT_EQ(
            received.filter(GetParam().route == Route::Active ? QStringLiteral("EPRT") : QStringLiteral("EPSV")).size(),
            3)
            << received.join(QLatin1Char('|')).toStdString();
    }
    if (GetParam().route == Route::Socks5) {
        EXPECT_EQ(m_viaProxy, 1); // the control connection went through the proxy
    }
    EXPECT_EQ(run([&] { m_ftp.StartQuit(); }), 0) << log();
}

INSTANTIATE_TEST_SUITE_P(V6, RealIPv6,
                         ::testing::Values(V6Case{"pyftpdlib_epsv", ServerKind::Pyftpdlib, Route::Passive},
                                           V6Case{"pyftpdlib_eprt", ServerKind::Pyftpdlib, Route::Active},
                                           V6Case{"pyftpdlib_socks5", ServerKind::Pyftpdlib, Route::Socks5},
                                           V6Case{"vsftpd_epsv", ServerKind::Vsftpd, Route::Passive},
                                           V6Case{"vsftpd_eprt", ServerKind::Vsftpd, Route::Active},
                                           V6Case{"vsftpd_socks5", ServerKind::Vsftpd, Route::Socks5}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
