#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <sys/types.h>

// A real server from Debian started by a test: runs in a process group of its own on a
// free 127.0.0.1 port, is waited for until it accepts connections (bounded), and is
// stopped with its whole group (only the processes it started) when the object goes.
class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess();
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;

    // Before start(): the loopback address the server listens on ("127.0.0.1" or "::1").
    void setHost(const QString &host) { m_host = host; }
    QString host() const { return m_host; }
    // Starts program with arguments; true once the port accepts connections.
    bool start(const QString &program, const QStringList &arguments, uint16_t port, int timeoutMs = 10000);
    void stop();
    bool running() const { return m_pid > 0; }
    // The server's process id, -1 when it is not running.
    pid_t pid() const { return m_pid; }
    uint16_t port() const { return m_port; }
    // Where the server's own output goes (for diagnostics in failure messages).
    QString logFile() const { return m_logFile; }
    QString readLog() const;
    // The whole log, for transcripts.
    QString readWholeLog() const;

    // A port on host (127.0.0.1 or ::1) that nothing listens on right now.
    static uint16_t freePort(const QString &host = QStringLiteral("127.0.0.1"));
    // True when a TCP connect to host:port succeeds.
    static bool accepts(uint16_t port, const QString &host = QStringLiteral("127.0.0.1"));
    // True when this machine has the IPv6 loopback address ::1 (a socket binds to it).
    static bool hasIPv6Loopback();

private:
    pid_t m_pid = -1;
    uint16_t m_port = 0;
    QString m_host = QStringLiteral("127.0.0.1");
    QString m_logFile;
};

// microsocks (SOCKS 5), optionally requiring a user name and password.
class MicrosocksServer {
public:
    // host: the loopback address it listens on, 127.0.0.1 or ::1.
    bool start(const QString &user = QString(), const QString &password = QString(),
               const QString &host = QStringLiteral("127.0.0.1"));
    uint16_t port() const { return m_process.port(); }
    QString log() const { return m_process.readLog(); }

private:
    ServerProcess m_process;
};

// dante-server (SOCKS 4 and 5) with a temporary configuration that allows 127.0.0.0/8.
// danted switches user ids for its helper processes, so it needs to run as root; start()
// returns false with skipReason() set when it cannot run here, and with failure() set
// when it should have started and did not.
class DanteServer {
public:
    bool start();
    uint16_t port() const { return m_process.port(); }
    QString skipReason() const { return m_skipReason; }
    QString failure() const { return m_failure; }
    QString log() const { return m_process.readLog(); }

private:
    QTemporaryDir m_dir;
    ServerProcess m_process;
    QString m_skipReason;
    QString m_failure;
};
