#pragma once

#include "support/ServerProcess.h"

#include <QString>
#include <QTemporaryDir>

// Real FTP servers from Debian for the tests, each on a free 127.0.0.1 port with a
// temporary root folder. root() is the folder the login lands in; writable() the folder
// (inside it, as a server path) where the test may create and delete.
class RealFtpServer {
public:
    virtual ~RealFtpServer() = default;
    virtual bool start() = 0;
    uint16_t port() const { return m_process.port(); }
    QString user() const { return m_user; }
    QString password() const { return m_password; }
    // Local folder that the server path writablePath() shows.
    QString localWritable() const { return m_localWritable; }
    QString writablePath() const { return m_writablePath; }
    QString failure() const { return m_failure; }
    QString log() const { return m_process.readLog(); }

protected:
    QTemporaryDir m_dir;
    ServerProcess m_process;
    QString m_user, m_password, m_localWritable, m_writablePath, m_failure;
};

// pyftpdlib (python3-pyftpdlib) with one user whose home is the temporary root.
class PyftpdlibServer : public RealFtpServer {
public:
    bool start() override;
};

// vsftpd with anonymous login (root not writable, /pub writable); any other user name is
// checked by the system and refused with 530. Needs root, like vsftpd itself.
class VsftpdServer : public RealFtpServer {
public:
    bool start() override;
};
