#pragma once

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <variant>
#include <vector>

// A TCP peer on 127.0.0.1 that plays a fixed script on a thread of its own with blocking
// sockets: read exact byte counts or lines, write replies (whole or in pieces with pauses), close.
// Tests use it as a fake SOCKS proxy or a fake destination and then check what it read.
class ScriptedPeer {
public:
    struct Read {
        int count; // bytes to read; the step fails if the connection ends first
    };
    struct Write {
        QByteArray bytes;
        int pieceSize = 0; // > 0: write in pieces of this size with a short pause between
    };
    struct Close {};
    struct ReadUntilClosed {};
    struct ReadLine {}; // one command line, up to and including CR LF
    struct Pause {
        int ms; // shapes timing only (a slow server); never used to wait for a result
    };
    using Step = std::variant<Read, Write, Close, ReadUntilClosed, ReadLine, Pause>;

    explicit ScriptedPeer(std::vector<Step> script);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer &) = delete;
    ScriptedPeer &operator=(const ScriptedPeer &) = delete;

    uint16_t port() const { return m_port; }
    // Waits (bounded) until the script has run to its end; true when every step worked.
    bool finish(int timeoutMs = 10000);
    QByteArray received() const;
    bool failed() const { return m_failed; }

private:
    void run();
    bool runStep(int fd, const Step &step);

    std::vector<Step> m_script;
    int m_listenFd = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    QByteArray m_received;
};
