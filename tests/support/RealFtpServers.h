#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// Real FTP servers from Debian, started for one test on a free 127.0.0.1 port with a
// fresh temporary root, and stopped when the object goes away. start() waits (bounded)
// until the server accepts connections; on failure it returns false and error() says why.

class RealFtpServer {
public:
    virtual ~RealFtpServer();
    RealFtpServer(const RealFtpServer &) = delete;
    RealFtpServer &operator=(const RealFtpServer &) = delete;

    virtual bool start() = 0;
    quint16 port() const { return m_port; }
    QString error() const { return m_error; }
    // The folder the logged-in user sees as "/", ending without "/".
    virtual QString userRoot() const = 0;
    QString user() const { return m_user; }
    QString password() const { return m_password; }
    virtual QString name() const = 0;

protected:
    RealFtpServer() = default;
    bool waitUntilAccepting(int timeoutMs);
    void stop();

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    quint16 m_port = 0;
    QString m_error;
    QString m_user;
    QString m_password;
};

// pyftpdlib: user "anna" with password "secret", full rights over userRoot().
class PyFtpdServer : public RealFtpServer {
public:
    PyFtpdServer();
    ~PyFtpdServer() override { stop(); }
    bool start() override;
    QString userRoot() const override;
    QString name() const override { return QStringLiteral("pyftpdlib"); }
};

// vsftpd, run as root: the local user "kestrin-ftptest" (created by scripts/test.sh) with
// a writable chroot at userRoot(), and anonymous access to a read-only root with a
// writable "pub" folder. Without root rights or without that user, start() fails with
// a reason suitable for GTEST_SKIP.
class VsftpdServer : public RealFtpServer {
public:
    static constexpr const char *kUser = "kestrin-ftptest";
    static constexpr const char *kPassword = "kestrin-test-pw";

    VsftpdServer();
    ~VsftpdServer() override { stop(); }
    bool start() override;
    QString userRoot() const override;
    QString anonymousRoot() const;
    QString name() const override { return QStringLiteral("vsftpd"); }
};
