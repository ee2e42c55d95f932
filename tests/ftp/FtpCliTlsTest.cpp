// FTP over TLS: the engine against vsftpd with TLS (explicit and implicit, data connections
// that must resume the control connection's session), the certificate decision, and
// scripted servers that refuse AUTH TLS.
#include "ftp/FtpCli.h"

#include "support/FtpRecorder.h"
#include "support/FtpServers.h"
#include "support/ScriptedFtpServer.h"
#include "support/ServerProcess.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    auto *gen = QRandomGenerator::global();
    for (char &c : bytes)
        c = static_cast<char>(gen->bounded(256));
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

bool anyLineStarts(const QStringList &lines, const QString &prefix)
{
    for (const QString &line : lines) {
        if (line.startsWith(prefix))
            return true;
    }
    return false;
}

// vsftpd with TLS; the engine connects to "localhost", the name in the test's certificate,
// which no authority the system trusts has signed.
class TlsVsftpd : public ::testing::Test {
protected:
    void startServer(VsftpdServer::Tls tls, bool clearDataAllowed = false)
    {
        auto server = std::make_unique<VsftpdServer>();
        server->setTls(tls);
        server->setClearDataAllowed(clearDataAllowed);
        if (!server->start()) {
            if (!server->skipReason().isEmpty())
                GTEST_SKIP() << server->skipReason().toStdString();
            FAIL() << server->failure().toStdString();
        }
        m_server = std::move(server);
        m_ftp.SetHostName(QStringLiteral("localhost"));
        m_ftp.SetPort(QString::number(m_server->port()));
        m_ftp.SetUserName(m_server->user());
        m_ftp.SetPassWord(m_server->password());
        m_ftp.SetTlsMode(tls == VsftpdServer::Tls::Implicit ? TFtpTlsMode::Implicit : TFtpTlsMode::ExplicitRequired);
        m_ftp.SetPassive(true);
        m_ftp.SetTimeout(20);
        m_ftp.SetReplyTimeoutMs(15000);
    }
    bool up() const { return !IsSkipped() && !HasFatalFailure(); }
    int run(const std::function<void()> &start)
    {
        const qsizetype before = m_rec.done.size();
        start();
        return m_rec.waitDone(before + 1, 30000) ? m_rec.lastError() : -1;
    }
    std::string log() const
    {
        const QString text =
            m_rec.display.join(QLatin1Char('\n')) + QStringLiteral("\n--- server:\n") + m_server->log();
        return text.toStdString();
    }
    // Logged in: into the writable folder, then `size` random bytes up and back down; the
    // server's copy and ours are compared with what was sent.
    void roundTrip(const QString &name, qsizetype size)
    {
        m_ftp.SetHostDirName(m_server->writablePath());
        ASSERT_EQ(run([&] { m_ftp.StartCwd(); }), 0) << log();
        const QByteArray bytes = randomBytes(size);
        const QString up = m_local.filePath(QStringLiteral("up.bin"));
        ASSERT_TRUE(writeFile(up, bytes));
        m_ftp.SetLocalFileName(up);
        m_ftp.SetHostFileName(name);
        ASSERT_EQ(run([&] { m_ftp.StartPut(); }), 0) << log();
        EXPECT_EQ(readFile(m_server->localWritable() + QLatin1Char('/') + name), bytes);
        const QString down = m_local.filePath(QStringLiteral("down.bin"));
        m_ftp.SetLocalFileName(down);
        ASSERT_EQ(run([&] { m_ftp.StartReceive(); }), 0) << log();
        EXPECT_EQ(readFile(down), bytes);
    }
    void trustWhenAsked()
    {
        m_ftp.OnCertificate = [this](TFtpClient *, const TTlsCertificate &cert, TCertificateAnswer &answer) {
            m_asked << cert;
            answer = TCertificateAnswer::TrustOnce;
        };
    }

    std::unique_ptr<VsftpdServer> m_server;
    TFtpClient m_ftp;
    FtpRecorder m_rec{m_ftp};
    QList<TTlsCertificate> m_asked;
    QTemporaryDir m_local;
};

TEST_F(TlsVsftpd, ExplicitLoginListingAndFilesBothWaysAreEncrypted)
{
    startServer(VsftpdServer::Tls::Explicit);
    if (!up())
        return;
    trustWhenAsked();
    ASSERT_EQ(run([&] { m_ftp.StartConnect(); }), 0) << log();
    EXPECT_TRUE(m_ftp.TlsActive());
    EXPECT_TRUE(m_ftp.DataProtected());
    EXPECT_TRUE(m_ftp.TlsDescription().startsWith(QLatin1String("TLSv1."))) << m_ftp.TlsDescription().toStdString();
    ASSERT_EQ(m_asked.size(), 1);
    EXPECT_EQ(m_asked[0].subject, QStringLiteral("CN=localhost"));
    EXPECT_EQ(m_asked[0].issuer, QStringLiteral("CN=localhost"));
    EXPECT_FALSE(m_asked[0].chainTrusted); // self-signed
    EXPECT_TRUE(m_asked[0].hostMatches);
    EXPECT_EQ(m_asked[0].sha256.size(), 32 * 3 - 1);
    EXPECT_TRUE(m_asked[0].notBefore.isValid() && m_asked[0].notBefore < m_asked[0].notAfter);
    const QStringList sent = m_rec.display.filter(QRegularExpression(QStringLiteral("^> ")));
    ASSERT_GE(sent.size(), 4) << log();
    EXPECT_EQ(sent.mid(0, 4), (QStringList{QStringLiteral("> AUTH TLS"), QStringLiteral("> PBSZ 0"),
                                           QStringLiteral("> PROT P"), QStringLiteral("> USER ") + m_server->user()}));

    m_ftp.SetHostDirName(m_server->writablePath());
    ASSERT_EQ(run([&] { m_ftp.StartCwd(); }), 0) << log();
    // Sizes around the edges: nothing, one byte, and many records and send-queue blocks.
    for (const qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(10 * 1024 * 1024 + 17)}) {
        const QByteArray bytes = randomBytes(size);
        const QString up = m_local.filePath(QStringLiteral("up.bin"));
        QFile f(up);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        m_ftp.SetLocalFileName(up);
        m_ftp.SetHostFileName(QStringLiteral("f%1.bin").arg(size));
        ASSERT_EQ(run([&] { m_ftp.StartPut(); }), 0) << size << log();
        EXPECT_EQ(readFile(m_server->localWritable() + QStringLiteral("/f%1.bin").arg(size)), bytes) << size;

        const QString down = m_local.filePath(QStringLiteral("down.bin"));
        m_ftp.SetLocalFileName(down);
        ASSERT_EQ(run([&] { m_ftp.StartReceive(); }), 0) << size << log();
        EXPECT_EQ(readFile(down), bytes) << size;
    }

    QStringList listing;
    m_ftp.OnDisplayFile = [&](TFtpClient *, QString &line) { listing << line; };
    m_ftp.SetDisplayFileFlag(true);
    m_ftp.SetHostFileName(QString());
    ASSERT_EQ(run([&] { m_ftp.StartDir(); }), 0) << log();
    m_ftp.SetDisplayFileFlag(false);
    EXPECT_TRUE(anyLineStarts(listing.filter(QStringLiteral("f1.bin")), QStringLiteral("-")))
        << listing.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(run([&] { m_ftp.StartQuit(); }), 0);
}

// Active mode: the server connects to the client's listening socket and the client still
// speaks TLS first on it (as the TLS client), resuming the control connection's session.
TEST_F(TlsVsftpd, ActiveDataConnectionsAreEncryptedBothWays)
{
    startServer(VsftpdServer::Tls::Explicit);
    if (!up())
        return;
    trustWhenAsked();
    m_ftp.SetPassive(false);
    ASSERT_EQ(run([&] { m_ftp.StartConnect(); }), 0) << log();
    roundTrip(QStringLiteral("active.bin"), 1024 * 1024 + 3);
    EXPECT_FALSE(m_rec.display.filter(QRegularExpression(QStringLiteral("^> PORT "))).isEmpty()) << log();
    EXPECT_EQ(run([&] { m_ftp.StartQuit(); }), 0);
}

// Through a SOCKS 5 proxy the TLS handshakes start once the proxy has connected: the
// control connection and each data connection (which resumes the control session).
TEST_F(TlsVsftpd, ExplicitTlsThroughSocksFiveCarriesFilesBothWays)
{
    startServer(VsftpdServer::Tls::Explicit);
    if (!up())
        return;
    MicrosocksServer socks;
    ASSERT_TRUE(socks.start());
    trustWhenAsked();
    int viaProxy = 0;
    m_ftp.ControlSocket().OnSocksConnected = [&](TWSocket *, int error) { viaProxy += error == 0; };
    m_ftp.SetConnectionType(TFtpConnectionType::ftpSocks5);
    m_ftp.SetSocksServer(QStringLiteral("127.0.0.1"));
    m_ftp.SetSocksPort(QString::number(socks.port()));
    ASSERT_EQ(run([&] { m_ftp.StartConnect(); }), 0) << log();
    EXPECT_EQ(viaProxy, 1);
    EXPECT_TRUE(m_ftp.TlsActive() && m_ftp.DataProtected());
    roundTrip(QStringLiteral("socks.bin"), 512 * 1024 + 7);
    EXPECT_EQ(run([&] { m_ftp.StartQuit(); }), 0);
}

// PROT C when the user asks for clear data connections and the server allows them: the
// login stays encrypted, the files travel in clear and arrive whole.
TEST_F(TlsVsftpd, AClearDataChannelWhenAskedCarriesFilesInClear)
{
    startServer(VsftpdServer::Tls::Explicit, true);
    if (!up())
        return;
    trustWhenAsked();
    m_ftp.SetClearDataChannel(true);
    ASSERT_EQ(run([&] { m_ftp.StartConnect(); }), 0) << log();
    EXPECT_TRUE(m_ftp.TlsActive());
    EXPECT_FALSE(m_ftp.DataProtected());
    EXPECT_TRUE(m_rec.display.contains(QStringLiteral("> PROT C"))) << log();
    roundTrip(QStringLiteral("clear.bin"), 256 * 1024 + 5);
}

// Interrupted transfers resume over TLS: REST with the partial size, the rest appended,
// byte-identical both ways.
TEST_F(TlsVsftpd, ResumedDownloadAndUploadAreByteIdentical)
{
    startServer(VsftpdServer::Tls::Explicit);
    if (!up())
        return;
    trustWhenAsked();
    ASSERT_EQ(run([&] { m_ftp.StartConnect(); }), 0) << log();
    m_ftp.SetHostDirName(m_server->writablePath());
    ASSERT_EQ(run([&] { m_ftp.StartCwd(); }), 0) << log();
    ASSERT_EQ(run([&] { m_ftp.StartTypeBinary(); }), 0) << log(); // servers resume binary transfers only
    const QByteArray content = randomBytes(2 * 1024 * 1024 + 123);
    const qsizetype part = 700 * 1024 + 7;
    const QString serverDown = m_server->localWritable() + QStringLiteral("/down.bin");
    const QString localDown = m_local.filePath(QStringLiteral("down.bin"));
    ASSERT_TRUE(writeFile(serverDown, content) && writeFile(localDown, content.left(part)));
    m_ftp.SetHostFileName(QStringLiteral("down.bin"));
    m_ftp.SetLocalFileName(localDown);
    ASSERT_EQ(run([&] { m_ftp.StartRestGet(); }), 0) << log();
    EXPECT_TRUE(m_rec.display.contains(QStringLiteral("> REST %1").arg(part))) << log();
    EXPECT_EQ(readFile(localDown), content);

    const QString serverUp = m_server->localWritable() + QStringLiteral("/up.bin");
    const QString localUp = m_local.filePath(QStringLiteral("up.bin"));
    ASSERT_TRUE(writeFile(localUp, content) && writeFile(serverUp, content.left(part)));
    // The server writes as the owner of its folder; the partial file must be its own.
    struct stat folder {};
    ASSERT_EQ(::stat(QFile::encodeName(m_server->localWritable()).constData(), &folder), 0);
    ASSERT_EQ(::chown(QFile::encodeName(serverUp).constData(), folder.st_uid, folder.st_gid), 0);
    m_ftp.SetHostFileName(QStringLiteral("up.bin"));
    m_ftp.SetLocalFileName(localUp);
    m_ftp.ResumeAt = part;
    ASSERT_EQ(run([&] { m_ftp.StartRestPut(); }), 0) << log();
    EXPECT_EQ(readFile(serverUp), content);
}

TEST_F(TlsVsftpd, ImplicitTlsLogsInAndDownloads)
{
    startServer(VsftpdServer::Tls::Implicit);
    if (!up())
        return;
    trustWhenAsked();
    const QByteArray bytes = randomBytes(200000);
    QFile f(m_server->localWritable() + QStringLiteral("/get.bin"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    ASSERT_EQ(run([&] { m_ftp.StartConnect(); }), 0) << log();
    EXPECT_TRUE(m_ftp.TlsActive());
    EXPECT_FALSE(m_rec.display.contains(QStringLiteral("> AUTH TLS")));
    m_ftp.SetHostDirName(m_server->writablePath());
    ASSERT_EQ(run([&] { m_ftp.StartCwd(); }), 0) << log();
    m_ftp.SetHostFileName(QStringLiteral("get.bin"));
    m_ftp.SetLocalFileName(m_local.filePath(QStringLiteral("get.bin")));
    ASSERT_EQ(run([&] { m_ftp.StartReceive(); }), 0) << log();
    EXPECT_EQ(readFile(m_local.filePath(QStringLiteral("get.bin"))), bytes);
}

// An untrusted certificate never passes by itself: without a handler it is refused, an
// unanswered question ends within its bound, and only a fingerprint the user trusted lets
// the same server in without asking. No user name goes out before the certificate is
// accepted.
TEST_F(TlsVsftpd, UntrustedCertificateIsRefusedUntilItsFingerprintIsTrusted)
{
    startServer(VsftpdServer::Tls::Explicit);
    if (!up())
        return;
    ASSERT_EQ(run([&] { m_ftp.StartConnect(); }), 534) << log();
    EXPECT_TRUE(m_ftp.ErrorMessage().contains(QLatin1String("Certificate refused")))
        << m_ftp.ErrorMessage().toStdString();
    EXPECT_FALSE(m_ftp.IsConnected());
    EXPECT_FALSE(anyLineStarts(m_rec.display, QStringLiteral("> USER")));
    const QString fingerprint = m_ftp.PeerCertificate().sha256;
    ASSERT_FALSE(fingerprint.isEmpty());

    // A question nobody answers.
    m_ftp.SetCertificateTimeoutMs(300);
    m_ftp.OnCertificate = [](TFtpClient *, const TTlsCertificate &, TCertificateAnswer &) {};
    ASSERT_EQ(run([&] { m_ftp.StartConnect(); }), 10060) << log();
    EXPECT_TRUE(m_ftp.ErrorMessage().contains(QLatin1String("no answer about the server's certificate")))
        << m_ftp.ErrorMessage().toStdString();
    EXPECT_FALSE(anyLineStarts(m_rec.display, QStringLiteral("> USER")));

    // An answer that comes later, from the event loop.
    m_ftp.SetCertificateTimeoutMs(20000);
    m_ftp.OnCertificate = [](TFtpClient *ftp, const TTlsCertificate &, TCertificateAnswer &) {
        QMetaObject::invokeMethod(
            ftp, [ftp] { ftp->AnswerCertificate(TCertificateAnswer::Refuse); }, Qt::QueuedConnection);
    };
    ASSERT_EQ(run([&] { m_ftp.StartConnect(); }), 534) << log();

    // An answer that comes after the connection was aborted acts on nothing.
    bool questionOpen = false;
    m_ftp.OnCertificate = [&](TFtpClient *, const TTlsCertificate &, TCertificateAnswer &) { questionOpen = true; };
    m_ftp.StartConnect();
    ASSERT_TRUE(waitFor([&] { return questionOpen; }, 20000)) << log();
    const qsizetype doneBefore = m_rec.done.size();
    m_ftp.Abort();
    m_ftp.AnswerCertificate(TCertificateAnswer::TrustOnce);
    QCoreApplication::processEvents(); // a completion is posted: it would be delivered now
    EXPECT_LE(m_rec.done.size(), doneBefore + 1);
    EXPECT_FALSE(m_ftp.IsConnected());
    EXPECT_FALSE(anyLineStarts(m_rec.display, QStringLiteral("> PBSZ")));

    int asked = 0;
    m_ftp.OnCertificate = [&](TFtpClient *, const TTlsCertificate &, TCertificateAnswer &) { ++asked; };
    m_ftp.SetTrustedFingerprints({fingerprint.toLower()});
    ASSERT_EQ(run([&] { m_ftp.StartConnect(); }), 0) << log();
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(m_ftp.TlsActive());
}

// --- servers without TLS -------------------------------------------------------------------------

struct RefusedCase {
    const char *name;
    TFtpTlsMode mode;
    int error;
    QStringList transcript;
    QString shown; // a line the log must hold, in part
};

class AuthRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(AuthRefused, RequiredFailsBeforeTheLoginOptionalGoesOnInClearAndSaysSo)
{
    const RefusedCase &c = GetParam();
    ScriptedFtpServer srv;
    srv.greet().reply(QStringLiteral("220 ready"));
    srv.on(QStringLiteral("AUTH TLS")).reply(QStringLiteral("500 AUTH not understood"));
    if (c.error == 0) {
        srv.on(QStringLiteral("USER bob")).reply(QStringLiteral("331 password please"));
        srv.on(QStringLiteral("PASS *")).reply(QStringLiteral("230 in"));
    }
    TFtpClient ftp;
    FtpRecorder rec{ftp};
    ftp.SetHostName(QStringLiteral("127.0.0.1"));
    ftp.SetPort(QString::number(srv.port()));
    ftp.SetUserName(QStringLiteral("bob"));
    ftp.SetPassWord(QStringLiteral("secret"));
    ftp.SetTlsMode(c.mode);
    ftp.StartConnect();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_EQ(rec.lastError(), c.error) << ftp.ErrorMessage().toStdString();
    // The server's transcript is complete once the client has gone or logged in.
    if (c.error != 0) {
        EXPECT_TRUE(waitFor([&] { return !srv.controlConnected(); }, 5000));
    }
    EXPECT_EQ(srv.transcript(), c.transcript);
    EXPECT_FALSE(rec.display.filter(c.shown).isEmpty()) << rec.display.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(ftp.IsConnected(), c.error == 0);
    EXPECT_FALSE(ftp.TlsActive());
}

INSTANTIATE_TEST_SUITE_P(
    Tls, AuthRefused,
    ::testing::Values(RefusedCase{"required",
                                  TFtpTlsMode::ExplicitRequired,
                                  500,
                                  {QStringLiteral("AUTH TLS")},
                                  QStringLiteral("encryption is required, so no password was sent")},
                      RefusedCase{
                          "optional",
                          TFtpTlsMode::Explicit,
                          0,
                          {QStringLiteral("AUTH TLS"), QStringLiteral("USER bob"), QStringLiteral("PASS secret")},
                          QStringLiteral("continuing WITHOUT encryption")}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

// The end of an encrypted download: a data connection cut without a TLS close notify counts
// as complete only when the bytes received match the size the server announced; anything
// else fails the transfer and keeps what arrived. Served by a small Python TLS server that
// can cut the connection on purpose.
TEST(TlsDownloadEnd, ACutWithoutCloseNotifyCountsOnlyWithTheAnnouncedSize)
{
    QTemporaryDir dir;
    const QString cert = dir.filePath(QStringLiteral("cert.pem"));
    const QString key = dir.filePath(QStringLiteral("key.pem"));
    QString why;
    ASSERT_TRUE(makeTestCertificate(cert, key, &why)) << why.toStdString();

    constexpr int kSize = 300000;
    const struct {
        int announced;
        int sent;
        bool notify;
        bool ok;
    } rows[] = {
        {kSize, kSize, false, true},         // complete, only the close notify missing
        {kSize, kSize - 4000, false, false}, // cut short: never a success
        {-1, kSize, false, false},           // nothing to compare with
        {-1, kSize, true, true},             // a proper TLS end needs no size
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << r.announced << " announced, " << r.sent << " sent, notify " << r.notify);
        ServerProcess server;
        const uint16_t port = ServerProcess::freePort();
        ASSERT_TRUE(server.start(QStringLiteral("/usr/bin/python3"),
                                 {QStringLiteral(KESTRIN_SOURCE_DIR "/tests/support/tls_truncating_server.py"),
                                  QString::number(port), cert, key, QString::number(r.announced),
                                  QString::number(r.sent), r.notify ? QStringLiteral("1") : QStringLiteral("0")},
                                 port))
            << server.readLog().toStdString();
        TFtpClient ftp;
        FtpRecorder rec(ftp);
        ftp.SetHostName(QStringLiteral("localhost"));
        ftp.SetPort(QString::number(port));
        ftp.SetUserName(QStringLiteral("u"));
        ftp.SetPassWord(QStringLiteral("p"));
        ftp.SetTlsMode(TFtpTlsMode::ExplicitRequired);
        ftp.SetPassive(true);
        ftp.SetReplyTimeoutMs(15000);
        ftp.OnCertificate = [](TFtpClient *, const TTlsCertificate &, TCertificateAnswer &answer) {
            answer = TCertificateAnswer::TrustOnce;
        };
        ftp.StartConnect();
        ASSERT_TRUE(rec.waitDone(1, 30000));
        ASSERT_EQ(rec.lastError(), 0) << rec.display.join(u'\n').toStdString() << server.readLog().toStdString();
        const QString local = dir.filePath(QStringLiteral("f.bin"));
        QFile::remove(local);
        ftp.SetLocalFileName(local);
        ftp.SetHostFileName(QStringLiteral("f.bin"));
        ftp.StartReceive();
        ASSERT_TRUE(rec.waitDone(2, 30000));
        EXPECT_EQ(rec.lastError() == 0, r.ok) << rec.lastError() << rec.display.join(u'\n').toStdString();
        // What arrived stays, for a resume; it is never more than was sent.
        EXPECT_EQ(QFileInfo(local).size(), r.sent);
    }
}
