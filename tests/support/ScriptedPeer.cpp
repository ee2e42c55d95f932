#include "support/ScriptedPeer.h"

#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace {
constexpr int kStepTimeoutMs = 10000;

// Waits for fd to become readable while the peer is not being stopped.
bool waitReadable(int fd, const std::atomic<bool> &stop)
{
    QDeadlineTimer deadline(kStepTimeoutMs);
    while (!stop && !deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0)
            return true;
    }
    return false;
}
} // namespace

ScriptedPeer::ScriptedPeer(std::vector<Step> script) : m_script(std::move(script))
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sin;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&sin), sizeof sin) != 0 || ::listen(m_listenFd, 4) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&sin), &len) != 0) {
        m_failed = true;
        m_done = true;
        return;
    }
    m_port = ntohs(sin.sin_port);
    m_thread = std::thread([this] { run(); });
}

ScriptedPeer::~ScriptedPeer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

bool ScriptedPeer::finish(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_done && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return m_done && !m_failed;
}

QByteArray ScriptedPeer::received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

void ScriptedPeer::run()
{
    if (!waitReadable(m_listenFd, m_stop)) {
        m_failed = true;
        m_done = true;
        return;
    }
    const int fd = ::accept(m_listenFd, nullptr, nullptr);
    bool ok = fd >= 0;
    for (const Step &step : m_script) {
        if (!ok)
            break;
        ok = runStep(fd, step);
    }
    if (fd >= 0)
        ::close(fd);
    m_failed = !ok;
    m_done = true;
}

bool ScriptedPeer::runStep(int fd, const Step &step)
{
    if (const auto *read = std::get_if<Read>(&step)) {
        int left = read->count;
        char buffer[4096];
        while (left > 0) {
            if (!waitReadable(fd, m_stop))
                return false;
            const ssize_t n = ::recv(fd, buffer, std::min<size_t>(sizeof buffer, static_cast<size_t>(left)), 0);
            if (n <= 0)
                return false;
            std::lock_guard lock(m_mutex);
            m_received.append(buffer, static_cast<int>(n));
            left -= static_cast<int>(n);
        }
        return true;
    }
    if (const auto *write = std::get_if<Write>(&step)) {
        const qsizetype piece = write->pieceSize > 0 ? write->pieceSize : write->bytes.size();
        for (qsizetype at = 0; at < write->bytes.size(); at += piece) {
            const QByteArray part = write->bytes.mid(at, piece);
            if (::send(fd, part.constData(), static_cast<size_t>(part.size()), MSG_NOSIGNAL) != part.size())
                return false;
            if (write->pieceSize > 0) // let each piece arrive on its own
                std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
        return true;
    }
    if (std::holds_alternative<ReadLine>(step)) {
        QByteArray line;
        while (!line.endsWith("\r\n")) {
            char c = 0;
            if (!waitReadable(fd, m_stop) || ::recv(fd, &c, 1, 0) != 1)
                return false;
            line.append(c);
        }
        std::lock_guard lock(m_mutex);
        m_received.append(line);
        return true;
    }
    if (const auto *pause = std::get_if<Pause>(&step)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pause->ms));
        return true;
    }
    if (std::holds_alternative<ReadUntilClosed>(step)) {
        char buffer[4096];
        for (;;) {
            if (!waitReadable(fd, m_stop))
                return false;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return true;
            std::lock_guard lock(m_mutex);
            m_received.append(buffer, static_cast<int>(n));
        }
    }
    ::shutdown(fd, SHUT_RDWR);
    return true;
}
