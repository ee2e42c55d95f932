// The scripted server is the yardstick of every protocol test, so it is checked itself
// against a plain Qt client.
#include "support/ScriptedFtpServer.h"
#include "support/WaitFor.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {

QByteArray readUntil(QTcpSocket &s, const QByteArray &end)
{
    QByteArray got;
    waitFor([&] {
        got += s.readAll();
        return got.endsWith(end);
    });
    return got;
}

TEST(ScriptedFtpServer, FollowsTheScriptAndRecordsTheTranscript)
{
    ScriptedFtpServer srv;
    srv.greet().replySplit(QStringLiteral("220 ready"), 2);
    srv.on(QStringLiteral("USER anna")).reply(QStringLiteral("331 password please"));
    srv.on(QStringLiteral("PASS *")).reply(QStringLiteral("230 in"));
    srv.on(QStringLiteral("PASV")).pasv();
    srv.on(QStringLiteral("RETR f"))
        .reply(QStringLiteral("150 go"))
        .dataSend("hello")
        .dataClose()
        .reply(QStringLiteral("226 done"));
    srv.on(QStringLiteral("QUIT")).reply(QStringLiteral("221 bye")).dropControl();

    QTcpSocket c;
    c.connectToHost(QHostAddress::LocalHost, srv.port());
    EXPECT_EQ(readUntil(c, "\r\n"), QByteArray("220 ready\r\n"));
    c.write("USER anna\r\nPASS secret\r\n"); // both in one write
    EXPECT_EQ(readUntil(c, "230 in\r\n"), QByteArray("331 password please\r\n230 in\r\n"));
    c.write("NOOP\r\n"); // not in the script
    EXPECT_EQ(readUntil(c, "\r\n"), QByteArray("500 Unexpected command.\r\n"));
    c.write("PASV\r\n");
    const QByteArray pasv = readUntil(c, "\r\n");
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^227 Entering Passive Mode \\(127,0,0,1,(\\d+),(\\d+)\\)\\.\r\n$"))
            .match(QString::fromLatin1(pasv));
    ASSERT_TRUE(m.hasMatch()) << pasv.constData();
    QTcpSocket data;
    data.connectToHost(QHostAddress::LocalHost,
                       static_cast<quint16>(m.captured(1).toInt() * 256 + m.captured(2).toInt()));
    c.write("RETR f\n");
    QByteArray payload;
    waitFor([&] {
        payload += data.readAll();
        return data.state() == QAbstractSocket::UnconnectedState;
    });
    EXPECT_EQ(payload, QByteArray("hello"));
    EXPECT_EQ(readUntil(c, "226 done\r\n"), QByteArray("150 go\r\n226 done\r\n"));
    c.write("QUIT\r\n");
    EXPECT_TRUE(waitFor([&] { return c.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(srv.transcript(),
              (QStringList{QStringLiteral("USER anna"), QStringLiteral("PASS secret"), QStringLiteral("NOOP"),
                           QStringLiteral("PASV"), QStringLiteral("RETR f"), QStringLiteral("QUIT")}));
    EXPECT_EQ(srv.errors(), QStringList{QStringLiteral("expected \"PASV\", got \"NOOP\"")});
    EXPECT_TRUE(srv.finished());
}

TEST(ScriptedFtpServer, ConnectsToThePortAddressAndReceivesUploads)
{
    QTcpServer clientListener;
    ASSERT_TRUE(clientListener.listen(QHostAddress::LocalHost, 0));
    const quint16 p = clientListener.serverPort();

    ScriptedFtpServer srv;
    srv.greet().reply(QStringLiteral("220 ready"));
    srv.on(QStringLiteral("PORT *")).reply(QStringLiteral("200 ok"));
    srv.on(QStringLiteral("STOR up"))
        .reply(QStringLiteral("150 go"))
        .connectActive()
        .dataReceive()
        .reply(QStringLiteral("226 stored"));

    QTcpSocket c;
    c.connectToHost(QHostAddress::LocalHost, srv.port());
    readUntil(c, "\r\n");
    c.write(QStringLiteral("PORT 127,0,0,1,%1,%2\r\nSTOR up\r\n").arg(p >> 8).arg(p & 0xFF).toLatin1());
    ASSERT_TRUE(waitFor([&] { return clientListener.hasPendingConnections(); }));
    QTcpSocket *data = clientListener.nextPendingConnection();
    data->write(QByteArray(3000, 'x'));
    data->disconnectFromHost();
    EXPECT_EQ(readUntil(c, "226 stored\r\n"), QByteArray("200 ok\r\n150 go\r\n226 stored\r\n"));
    EXPECT_EQ(srv.received(), QByteArray(3000, 'x'));
    EXPECT_TRUE(srv.errors().isEmpty()) << srv.errors().join(QLatin1Char('\n')).toStdString();
}

} // namespace
