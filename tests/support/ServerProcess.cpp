#include "support/ServerProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

ServerProcess::~ServerProcess()
{
    stop();
}

namespace {

// The loopback socket address of host ("127.0.0.1" or "::1") and port.
socklen_t loopbackAddress(const QString &host, uint16_t port, sockaddr_storage &storage)
{
    storage = {};
    if (host == QLatin1String("::1")) {
        auto *sin6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        sin6->sin6_family = AF_INET6;
        sin6->sin6_addr = in6addr_loopback;
        sin6->sin6_port = htons(port);
        return sizeof(sockaddr_in6);
    }
    auto *sin = reinterpret_cast<sockaddr_in *>(&storage);
    sin->sin_family = AF_INET;
    sin->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sin->sin_port = htons(port);
    return sizeof(sockaddr_in);
}

} // namespace

uint16_t ServerProcess::freePort(const QString &host)
{
    sockaddr_storage address{};
    socklen_t len = loopbackAddress(host, 0, address);
    const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), len) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &len) == 0)
        port = address.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6 *>(&address)->sin6_port)
                                             : ntohs(reinterpret_cast<sockaddr_in *>(&address)->sin_port);
    ::close(fd);
    return port;
}

bool ServerProcess::accepts(uint16_t port, const QString &host)
{
    sockaddr_storage address{};
    const socklen_t len = loopbackAddress(host, port, address);
    const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), len) == 0;
    ::close(fd);
    return ok;
}

bool ServerProcess::hasIPv6Loopback()
{
    return freePort(QStringLiteral("::1")) != 0;
}

bool ServerProcess::start(const QString &program, const QStringList &arguments, uint16_t port, int timeoutMs)
{
    stop();
    m_port = port;
    m_logFile = QDir::temp().filePath(QStringLiteral("kestrin-server-%1-%2.log").arg(::getpid()).arg(port));
    std::vector<QByteArray> args;
    args.push_back(program.toLocal8Bit());
    for (const QString &a : arguments)
        args.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray log = m_logFile.toLocal8Bit();

    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::setpgid(0, 0);
        const int out = ::open(log.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        const int in = ::open("/dev/null", O_RDONLY);
        if (in >= 0)
            ::dup2(in, 0);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    m_pid = pid;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (accepts(port, m_host))
            return true;
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) { // the server gave up
            m_pid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop();
    return false;
}

void ServerProcess::stop()
{
    if (m_pid <= 0)
        return;
    ::kill(-m_pid, SIGTERM);
    QDeadlineTimer deadline(5000);
    int status = 0;
    bool reaped = false;
    while (!(reaped = ::waitpid(m_pid, &status, WNOHANG) == m_pid) && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(-m_pid, SIGKILL); // helpers of the group that outlived their parent
    if (!reaped)
        ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

QString ServerProcess::readLog() const
{
    QFile f(m_logFile);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(f.readAll().right(4000));
}

QString ServerProcess::readWholeLog() const
{
    QFile f(m_logFile);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool MicrosocksServer::start(const QString &user, const QString &password, const QString &host)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("microsocks"));
    if (program.isEmpty())
        return false;
    const uint16_t port = ServerProcess::freePort(host);
    m_process.setHost(host);
    QStringList args{QStringLiteral("-i"), host, QStringLiteral("-p"), QString::number(port)};
    if (!user.isEmpty())
        args << QStringLiteral("-u") << user << QStringLiteral("-P") << password;
    return m_process.start(program, args, port);
}

bool DanteServer::start()
{
    QString program = QStringLiteral("/usr/sbin/danted");
    if (!QFile::exists(program)) {
        m_failure = QStringLiteral("danted is not installed (scripts/install-deps.sh installs dante-server)");
        return false;
    }
    if (::geteuid() != 0) {
        m_skipReason = QStringLiteral("danted needs root to start its helper processes");
        return false;
    }
    const uint16_t port = ServerProcess::freePort();
    const QString conf = m_dir.filePath(QStringLiteral("danted.conf"));
    QFile f(conf);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QStringLiteral("logoutput: stderr\n"
                           "internal: 127.0.0.1 port = %1\n"
                           "external: 127.0.0.1\n"
                           "socksmethod: none\n"
                           "clientmethod: none\n"
                           "user.privileged: root\n"
                           "user.unprivileged: root\n"
                           "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                           "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 protocol: tcp }\n")
                .arg(port)
                .toLatin1());
    f.close();
    const QString pidFile = m_dir.filePath(QStringLiteral("danted.pid"));
    if (!m_process.start(
            program,
            {QStringLiteral("-f"), conf, QStringLiteral("-p"), pidFile, QStringLiteral("-N"), QStringLiteral("1")},
            port)) {
        m_failure = QStringLiteral("danted did not start: ") + m_process.readLog();
        return false;
    }
    return true;
}
