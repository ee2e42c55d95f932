#pragma once

#include "sites/SiteRecord.h"
#include "support/ServerProcess.h"

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// Real FTP servers from Debian for the tests, each on a free 127.0.0.1 port with a
// temporary root folder. root() is the folder the login lands in; writable() the folder
// (inside it, as a server path) where the test may create and delete.
class RealFtpServer {
public:
    virtual ~RealFtpServer() = default;
    virtual bool start() = 0;
    // Before start(): listen on "::1" instead of "127.0.0.1". start() then skips (with
    // skipReason) on a machine without the IPv6 loopback address.
    void setHost(const QString &host) { m_process.setHost(host); }
    QString host() const { return m_process.host(); }
    uint16_t port() const { return m_process.port(); }
    QString user() const { return m_user; }
    QString password() const { return m_password; }
    // Local folder that the server path writablePath() shows.
    QString localWritable() const { return m_localWritable; }
    QString writablePath() const { return m_writablePath; }
    QString failure() const { return m_failure; }
    // Set when the server cannot run on this machine at all (vsftpd without root): the
    // test is then skipped with this reason instead of failing.
    QString skipReason() const { return m_skipReason; }
    QString log() const { return m_process.readLog(); }
    // Ends the server at once: the connections it holds close as a crash would close them.
    void stop() { m_process.stop(); }
    // Before start(): at most this many connections at once; more are refused with 421.
    void setConnectionLimit(int connections) { m_connectionLimit = connections; }
    // Before start(): every command and reply is written to the server's record.
    void setRecordTransfers(bool on) { m_recordTransfers = on; }
    // Before start(): text mode (TYPE A) converts line ends both ways. pyftpdlib always
    // does; vsftpd only when asked, otherwise it sends and stores the bytes as they are.
    void setConvertsText(bool on) { m_convertsText = on; }
    // From that record: the most file transfers (RETR or STOR until their final reply) that
    // were under way at the same moment, on different connections, and how many
    // connections ever sent one.
    struct Overlap {
        int mostAtOnce = 0;
        int connections = 0;
    };
    Overlap transferOverlap() const;
    // From that record: the commands received so far on all connections, in order
    // ("RETR /pub/a").
    QStringList recordedCommands() const;

protected:
    // One line of the record as (connection, command or reply); false for other lines.
    virtual bool protocolLine(const QString &line, QString &connection, QString &text) const = 0;
    virtual QString record() const = 0;
    int m_connectionLimit = 0;
    bool m_recordTransfers = false;
    bool m_convertsText = false;

    // False, with skipReason set, when the host is ::1 and the machine has no IPv6 loopback.
    bool hostAvailable();

    QTemporaryDir m_dir;
    ServerProcess m_process;
    QString m_user, m_password, m_localWritable, m_writablePath, m_failure, m_skipReason;
};

// A self-signed certificate for CN=localhost, valid for a day, made with openssl into the
// two PEM files. False, with *error (when given) telling why, when openssl failed.
bool makeTestCertificate(const QString &cert, const QString &key, QString *error = nullptr);

// pyftpdlib (python3-pyftpdlib) with one user whose home is the temporary root.
class PyftpdlibServer : public RealFtpServer {
public:
    bool start() override;
    // Before start(): the server logs every command it receives.
    void setLogCommands(bool on) { m_logCommands = on; }
    // Before start(): each data connection moves at most this many bytes a second.
    void setDataRate(int bytesPerSecond) { m_rate = bytesPerSecond; }

    // The commands received so far, in order ("CWD /pub"; the password shows as stars).
    QStringList receivedCommands() const;

private:
    bool protocolLine(const QString &line, QString &connection, QString &text) const override;
    QString record() const override;
    bool m_logCommands = false;
    int m_rate = 0;
};

// vsftpd with anonymous login (root not writable, /pub writable); any other user name is
// checked by the system and refused with 530. Needs root, like vsftpd itself.
class VsftpdServer : public RealFtpServer {
public:
    enum class Tls { None, Explicit, Implicit };
    bool start() override;
    // Before start(): TLS with a self-signed certificate for CN=localhost made for this run;
    // the login and every data connection must be encrypted, and data connections must
    // resume the control connection's session (require_ssl_reuse).
    void setTls(Tls tls) { m_tls = tls; }
    // Before start(), with TLS: clear data connections (PROT C) are allowed too.
    void setClearDataAllowed(bool on) { m_clearDataAllowed = on; }

private:
    bool protocolLine(const QString &line, QString &connection, QString &text) const override;
    QString record() const override;
    Tls m_tls = Tls::None;
    bool m_clearDataAllowed = false;
};

enum class ServerKind { Pyftpdlib, Vsftpd };

// The site record of a running test server: its address, port, user and password.
tSiteRecord siteOf(const RealFtpServer &server, const QString &name = QStringLiteral("site"));

std::unique_ptr<RealFtpServer> makeRealServer(ServerKind kind);

// The base of every test that runs against a real server: startServer() starts it, and
// skips the test with the server's skipReason() when it cannot run here, or fails it.
// SetUp goes on only while !IsSkipped() && !HasFatalFailure().
template <typename Param> class RealServerTest : public ::testing::TestWithParam<Param> {
protected:
    // `prepare` sets the server up before it starts.
    void startServer(ServerKind kind, const std::function<void(RealFtpServer &)> &prepare = {})
    {
        m_server = makeRealServer(kind);
        if (prepare)
            prepare(*m_server);
        if (m_server->start())
            return;
        if (!m_server->skipReason().isEmpty())
            GTEST_SKIP() << m_server->skipReason().toStdString();
        FAIL() << m_server->failure().toStdString();
    }
    bool serverUp() const { return !this->IsSkipped() && !this->HasFatalFailure(); }

    std::unique_ptr<RealFtpServer> m_server;
};
