#pragma once

#include "support/ServerProcess.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>

// Runs an OpenSSH tool (ssh-keygen, ssh-add) with an argument list, bounded; true when it
// ended with status 0. *output receives what it wrote.
bool runSshTool(const QString &program, const QStringList &arguments, QString *output = nullptr,
                const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

// Makes an ed25519 key pair at path (and path.pub), encrypted when passphrase is not empty.
bool makeSshKey(const QString &path, const QString &passphrase = QString());

// OpenSSH's sshd on a free 127.0.0.1 port: its own ed25519 host key made in a temporary
// folder, key authentication for the user running the tests (keys listed in a temporary
// authorized-keys file), and the internal SFTP server. start() returns false with
// skipReason() set when sshd is not installed, and with failure() when it did not start.
class OpenSshServer {
public:
    bool start();
    ~OpenSshServer() { stop(); }
    // Ends the server and the processes it started for the connections (each runs in a
    // session of its own, outside the server's process group).
    void stop();
    // Ends the connections' processes at once, as a crash would; the server goes on listening.
    void dropConnections();
    uint16_t port() const { return m_process.port(); }
    QString user() const { return m_user; }
    QString skipReason() const { return m_skipReason; }
    QString failure() const { return m_failure; }
    QString log() const { return m_process.readLog(); }
    // The host key's public line ("ssh-ed25519 AAAA...").
    QString hostKeyLine() const { return m_hostKeyLine; }
    // A private key (unencrypted) the server accepts for user().
    QString clientKey() const { return m_dir.filePath(QStringLiteral("client_ed25519")); }
    // Lets the server accept the public half of a key file (path.pub).
    bool authorise(const QString &keyPath);
    // A temporary folder for the test's own files.
    QString scratch() const { return m_dir.filePath(QStringLiteral("scratch")); }

private:
    QTemporaryDir m_dir;
    ServerProcess m_process;
    QString m_user, m_skipReason, m_failure, m_hostKeyLine;
};

// Starts the server for a test's SetUp: skips the test where sshd is not installed, fails it
// when the server does not come up. SetUp returns at once when the test is skipped or failed.
void startForTest(OpenSshServer &server);

// The small paramiko server (tests/support/paramiko_sftp_server.py) on a free 127.0.0.1
// port, offering one way to log in: "password" or "keyboard-interactive". Its SFTP side
// serves root() read-only.
class ParamikoSftpServer {
public:
    bool start(const QString &method, const QString &user, const QString &password);
    uint16_t port() const { return m_process.port(); }
    QString root() const { return m_dir.filePath(QStringLiteral("root")); }
    QString failure() const { return m_failure; }
    // "[127.0.0.1]:port ssh-ed25519 AAAA..." for a known-hosts file.
    QByteArray knownHostsLine() const { return m_knownLine; }

private:
    QTemporaryDir m_dir;
    ServerProcess m_process;
    QString m_failure;
    QByteArray m_knownLine;
};

// ssh-agent on a socket in a temporary folder; stopped (by its process id) when the object
// goes.
class SshAgent {
public:
    ~SshAgent();
    bool start();
    QString socket() const { return m_dir.filePath(QStringLiteral("agent.sock")); }
    bool add(const QString &keyPath);

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};
