// The real-server fixtures must really start, log users in and refuse bad passwords, or
// every integration test built on them would test nothing.
#include "support/RealFtpServers.h"
#include "support/WaitFor.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {

// A minimal FTP exchange over a plain socket: the reply line to each command.
class RawFtp {
public:
    explicit RawFtp(quint16 port) { m_socket.connectToHost(QHostAddress::LocalHost, port); }
    QByteArray reply()
    {
        waitFor([this] {
            m_buffer += m_socket.readAll();
            return lastLineComplete();
        });
        const QByteArray all = m_buffer;
        m_buffer.clear();
        return all;
    }
    QByteArray send(const QByteArray &command)
    {
        m_socket.write(command + "\r\n");
        return reply();
    }

private:
    // A reply ends with a line "ddd text" (a blank after the code).
    bool lastLineComplete() const
    {
        if (!m_buffer.endsWith("\r\n"))
            return false;
        const qsizetype start = m_buffer.lastIndexOf("\r\n", m_buffer.size() - 3);
        const QByteArray last = m_buffer.mid(start < 0 ? 0 : start + 2);
        return last.size() >= 4 && last[3] == ' ';
    }
    QTcpSocket m_socket;
    QByteArray m_buffer;
};

template <typename Server> void checkLogins(Server &srv)
{
    if (!srv.start())
        GTEST_SKIP() << srv.error().toStdString();
    RawFtp good(srv.port());
    EXPECT_TRUE(good.reply().startsWith("220 ")) << srv.name().toStdString();
    EXPECT_TRUE(good.send("USER " + srv.user().toUtf8()).startsWith("331 "));
    EXPECT_TRUE(good.send("PASS " + srv.password().toUtf8()).startsWith("230"));
    const QByteArray made = good.send("MKD made");
    EXPECT_TRUE(made.startsWith("257 ")) << made.constData();
    EXPECT_TRUE(QFileInfo(srv.userRoot() + QStringLiteral("/made")).isDir());

    RawFtp bad(srv.port());
    bad.reply();
    bad.send("USER " + srv.user().toUtf8());
    EXPECT_TRUE(bad.send("PASS wrong").startsWith("530"));
}

TEST(RealFtpServers, PyftpdlibLogsInAndRefusesAWrongPassword)
{
    PyFtpdServer srv;
    checkLogins(srv);
}

TEST(RealFtpServers, VsftpdLogsInAndRefusesAWrongPassword)
{
    VsftpdServer srv;
    checkLogins(srv);
}

} // namespace
