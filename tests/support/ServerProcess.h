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

    // Starts program with arguments; true once the port accepts connections.
    bool start(const QString &program, const QStringList &arguments, uint16_t port, int timeoutMs = 10000);
    void stop();
    bool running() const { return m_pid > 0; }
    uint16_t port() const { return m_port; }
    // Where the server's own output goes (for diagnostics in failure messages).
    QString logFile() const { return m_logFile; }
    QString readLog() const;
    // The whole log, for transcripts.
    QString readWholeLog() const;

    // A port on 127.0.0.1 that nothing listens on right now.
    static uint16_t freePort();
    // True when a TCP connect to 127.0.0.1:port succeeds.
    static bool accepts(uint16_t port);

private:
    pid_t m_pid = -1;
    uint16_t m_port = 0;
    QString m_logFile;
};

// microsocks (SOCKS 5), optionally requiring a user name and password.
class MicrosocksServer {
public:
    bool start(const QString &user = QString(), const QString &password = QString());
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
