// TWSocket on 127.0.0.1: lookups, connect, send queue, receive loop, close and defaults.
#include "ftp/WSocket.h"

#include "support/ScriptedPeer.h"
#include "support/ServerProcess.h"
#include "support/SocketEvents.h"
#include "support/WaitFor.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Peer = ScriptedPeer;

void aimAt(TWSocket &s, uint16_t port)
{
    s.SetAddr(QStringLiteral("127.0.0.1"));
    s.SetPort(QString::number(port));
}

QByteArray pattern(int size)
{
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = static_cast<char>('a' + (i * 31 + i / 251) % 26);
    return out;
}

TEST(WSocketDns, EmptyAndDottedNamesAnswerInsideTheCall)
{
    TWSocket s;
    SocketEvents ev(s);
    int errors = 0;
    s.OnError = [&](TWSocket *) { ++errors; };

    s.DnsLookup(QString());
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(s.LastErrorMessage(), QStringLiteral("DNS lookup: invalid host name."));
    EXPECT_EQ(ev.log, QStringList{QStringLiteral("dns 10022")});

    ev.log.clear();
    s.DnsLookup(QStringLiteral("10.0.0.1"));
    EXPECT_EQ(ev.log, QStringList{QStringLiteral("dns 0")}); // before the call returned
    EXPECT_EQ(s.DnsResult(), QStringLiteral("10.0.0.1"));

    // Without OnError the text is raised, after the event.
    s.OnError = nullptr;
    ev.log.clear();
    EXPECT_THROW(s.DnsLookup(QString()), ESocketException);
    EXPECT_EQ(ev.log, QStringList{QStringLiteral("dns 10022")});
}

TEST(WSocketDns, NameLookupCompletesFromTheEventLoopAndCanBeCancelled)
{
    TWSocket s;
    SocketEvents ev(s);
    s.DnsLookup(QStringLiteral("localhost"));
    EXPECT_TRUE(ev.log.isEmpty()); // never inside the call
    ASSERT_TRUE(waitFor([&] { return !ev.log.isEmpty(); }));
    EXPECT_EQ(ev.log, QStringList{QStringLiteral("dns 0")});
    EXPECT_EQ(s.DnsResult(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(s.DnsResultList().first(), QStringLiteral("127.0.0.1"));

    ev.log.clear();
    s.DnsLookup(QStringLiteral("localhost"));
    s.CancelDnsLookup();
    EXPECT_EQ(ev.log, QStringList{QStringLiteral("dns 10004")});
    s.CancelDnsLookup(); // nothing pending: nothing happens
    // The finished lookup thread's answer is dropped: no second event.
    EXPECT_FALSE(waitFor([&] { return ev.log.size() > 1; }, 300));
    EXPECT_EQ(ev.log.size(), 1);
}

TEST(WSocketConnect, RefusedPortReportsConnectionRefused)
{
    TWSocket s;
    SocketEvents ev(s);
    QStringList states;
    s.OnChangeState = [&](TWSocket *, TSocketState, TSocketState n) { states << SocketStateName(n); };
    aimAt(s, ServerProcess::freePort());
    s.Connect();
    EXPECT_EQ(s.State(), TSocketState::wsConnecting);
    ASSERT_TRUE(waitFor([&] { return s.State() == TSocketState::wsClosed; }));
    ASSERT_FALSE(ev.log.isEmpty());
    EXPECT_EQ(ev.log.first(), QStringLiteral("connected 10061"));
    EXPECT_EQ(WSocketErrorDesc(10061), QStringLiteral("Connection refused"));
    EXPECT_LE(ev.closedCount, 1);
    EXPECT_EQ(states.first(), QStringLiteral("wsOpened"));
    EXPECT_EQ(states.last(), QStringLiteral("wsClosed"));
}

// A host with several addresses: the first refuses (nothing listens on ::1 at that port),
// the next one answers. The owner sees one successful connect, never the refusal, and the
// socket names the address it reached. With every address refusing, the owner sees one
// refusal.
TEST(WSocketConnect, AFirstAddressThatRefusesMovesOnToTheNext)
{
    if (!ServerProcess::hasIPv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback address (::1)";
    Peer peer({Peer::Write{"hello"}, Peer::Read{3}});
    // The peer listens on 127.0.0.1; make sure nothing listens on ::1 at the same port.
    ASSERT_FALSE(ServerProcess::accepts(peer.port(), QStringLiteral("::1")));
    TWSocket s;
    SocketEvents ev(s);
    s.SetAddr(QStringLiteral("[::1]"));
    s.SetAddrFallbacks({QStringLiteral("127.0.0.1")});
    s.SetPort(QString::number(peer.port()));
    s.SetConnectAttemptTimeoutMs(600000); // only the refusal itself can move the walk on in time
    s.Connect();
    ASSERT_TRUE(waitFor([&] { return ev.data == "hello"; })) << ev.log.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(ev.log.first(), QStringLiteral("connected 0"));
    EXPECT_EQ(s.GetPeerAddr(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(s.Addr(), QStringLiteral("127.0.0.1"));
    s.SendStr("bye");
    s.Close();

    TWSocket t;
    SocketEvents tev(t);
    const uint16_t closed = ServerProcess::freePort();
    t.SetAddr(QStringLiteral("::1"));
    t.SetAddrFallbacks({QStringLiteral("127.0.0.1")});
    t.SetPort(QString::number(closed));
    t.Connect();
    ASSERT_TRUE(waitFor([&] { return t.State() == TSocketState::wsClosed; }));
    EXPECT_EQ(tev.log.filter(QStringLiteral("connected")), QStringList{QStringLiteral("connected 10061")});
    EXPECT_TRUE(t.AddrFallbacks().isEmpty()); // forgotten at the close
}

// An address that never answers (a listener on ::1 whose queue is full drops the connect
// request) holds the walk up only for the attempt's time limit.
TEST(WSocketConnect, AnAddressThatNeverAnswersIsLeftAfterTheAttemptTimeout)
{
    if (!ServerProcess::hasIPv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback address (::1)";
    Peer peer({Peer::Write{"hello"}, Peer::Read{3}});
    sockaddr_in6 silent{};
    silent.sin6_family = AF_INET6;
    silent.sin6_addr = in6addr_loopback;
    silent.sin6_port = htons(peer.port());
    const int listener = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&silent), sizeof silent), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    // One connection fills the queue; it is never accepted.
    const int filler = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ::connect(filler, reinterpret_cast<sockaddr *>(&silent), sizeof silent);

    TWSocket s;
    SocketEvents ev(s);
    s.SetAddr(QStringLiteral("::1"));
    s.SetAddrFallbacks({QStringLiteral("127.0.0.1")});
    s.SetPort(QString::number(peer.port()));
    s.SetConnectAttemptTimeoutMs(300);
    s.Connect();
    EXPECT_TRUE(waitFor([&] { return ev.data == "hello"; })) << ev.log.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(ev.log.value(0), QStringLiteral("connected 0"));
    EXPECT_EQ(s.GetPeerAddr(), QStringLiteral("127.0.0.1"));
    s.SendStr("bye");
    s.Close();
    ::close(filler);
    ::close(listener);
}

TEST(WSocketConnect, LocalAddressBindsAndLocalPortShowsTheChosenPort)
{
    Peer peer({Peer::ReadUntilClosed{}});
    TWSocket s;
    s.SetLocalAddr(QStringLiteral("127.0.0.1"));
    aimAt(s, peer.port());
    s.Connect();
    ASSERT_TRUE(waitFor([&] { return s.State() == TSocketState::wsConnected; }));
    QString address;
    uint16_t port = 0;
    ASSERT_EQ(s.GetSockName(address, port), 0);
    EXPECT_EQ(address, QStringLiteral("127.0.0.1"));
    EXPECT_NE(port, 0);
    EXPECT_EQ(s.LocalPort(), QString::number(port));
    s.Close();
    EXPECT_EQ(s.LocalPort(), QStringLiteral("0"));
    EXPECT_EQ(s.GetSockName(address, port), 10038);
}

TEST(WSocketConnect, UsageErrorsAndSettersRefusedWhileOpen)
{
    TWSocket s;
    EXPECT_THROW(s.Connect(), ESocketException); // nothing set
    try {
        s.SetAddr(QStringLiteral("127.0.0.1"));
        s.Connect();
        FAIL() << "no error";
    } catch (const ESocketException &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Connect: No Port Specified"));
    }
    s.SetPort(QStringLiteral("99999"));
    try {
        s.Connect();
        FAIL() << "no error";
    } catch (const ESocketException &e) {
        EXPECT_EQ(e.message(), QStringLiteral("connect: WSocketResolvePort: Invalid Port."));
    }
    EXPECT_THROW(s.SetLocalAddr(QStringLiteral("1.2.3")), ESocketException);
    s.SetLocalAddr(QStringLiteral(" 127.000.0.1 "));
    EXPECT_EQ(s.LocalAddr(), QStringLiteral("127.0.0.1"));
    s.SetSocksLevel(QStringLiteral("4a"));
    EXPECT_EQ(s.SocksLevel(), QStringLiteral("4A"));
    EXPECT_THROW(s.SetSocksLevel(QStringLiteral("6")), ESocketException);

    Peer peer({Peer::ReadUntilClosed{}});
    aimAt(s, peer.port());
    s.Connect();
    const std::pair<std::function<void()>, const char *> setters[] = {
        {[&] { s.SetAddr(QStringLiteral("1.1.1.1")); }, "Cannot change Addr if not closed"},
        {[&] { s.SetPort(QStringLiteral("1")); }, "Cannot change Port if not closed"},
        {[&] { s.SetProto(QStringLiteral("udp")); }, "Cannot change Proto if not closed"},
        {[&] { s.SetLocalAddr(QStringLiteral("1.1.1.1")); }, "Cannot change LocalAddr if not closed"},
        {[&] { s.SetLocalPort(QStringLiteral("1")); }, "Cannot change LocalPort if not closed"},
        {[&] { s.SetSocksLevel(QStringLiteral("4")); }, "Can't change socks level if not closed"},
        {[&] { s.SetSocksPort(QStringLiteral("1")); }, "Can't change socks port if not closed"},
        {[&] { s.SetSocksServer(QStringLiteral("1.1.1.1")); }, "Can't change socks server if not closed"},
        {[&] { s.Connect(); }, "Connect: Socket already in use"},
    };
    int errors = 0;
    s.OnError = [&](TWSocket *) { ++errors; };
    for (const auto &[call, text] : setters) {
        call();
        EXPECT_EQ(s.LastErrorMessage().toStdString(), text);
    }
    EXPECT_EQ(errors, 9);
    EXPECT_EQ(s.Addr(), QStringLiteral("127.0.0.1"));
    s.Close();
}

TEST(WSocketSend, SendWhileNotConnectedFailsWith10057)
{
    TWSocket s;
    SocketEvents ev(s);
    int errors = 0;
    s.OnError = [&](TWSocket *) { ++errors; };
    // Never opened: the error, and no connection to report closed.
    EXPECT_EQ(s.Send("x", 1), -1);
    EXPECT_EQ(s.LastError(), 10057);
    EXPECT_EQ(s.LastErrorMessage(), QStringLiteral("Error 10057 in function Send\r\nSocket is not connected"));
    EXPECT_EQ(ev.closedCount, 0);

    // Still connecting: the connection ends with OnSessionClosed(10057).
    Peer peer({Peer::ReadUntilClosed{}});
    aimAt(s, peer.port());
    s.Connect();
    ASSERT_EQ(s.State(), TSocketState::wsConnecting);
    EXPECT_EQ(s.Send("x", 1), -1);
    EXPECT_EQ(errors, 2);
    EXPECT_EQ(s.State(), TSocketState::wsClosed);
    EXPECT_EQ(ev.log, QStringList{QStringLiteral("closed 10057")});
    drainEvents();
    EXPECT_EQ(ev.closedCount, 1);

    s.OnError = nullptr;
    EXPECT_THROW(s.Send("x", 1), ESocketException);
}

// Sends size bytes once connected, closes after OnDataSent; the peer must read them all.
void sendAndCheck(int size)
{
    Peer peer({Peer::ReadUntilClosed{}});
    TWSocket s;
    SocketEvents ev(s);
    const QByteArray data = pattern(size);
    int sentEvents = 0;
    bool insideSend = false;
    size_t chunksAfterSend = 0;
    s.OnDataSent = [&](TWSocket *sock, int error) {
        EXPECT_FALSE(insideSend);
        EXPECT_EQ(error, 0);
        EXPECT_TRUE(sock->AllSent());
        ++sentEvents;
    };
    s.OnSessionConnected = [&](TWSocket *sock, int error) {
        ASSERT_EQ(error, 0);
        insideSend = true;
        EXPECT_EQ(sock->Send(data.constData(), static_cast<int>(data.size())), size);
        chunksAfterSend = sock->SendChunkCount();
        insideSend = false;
    };
    aimAt(s, peer.port());
    s.Connect();
    ASSERT_TRUE(waitFor([&] { return sentEvents > 0; }, 20000));
    EXPECT_GE(chunksAfterSend, 1u);
    drainEvents();
    EXPECT_EQ(sentEvents, 1);
    s.Close();
    ASSERT_TRUE(peer.finish());
    EXPECT_EQ(peer.received().size(), data.size());
    EXPECT_TRUE(peer.received() == data);
}

TEST(WSocketSend, DataSentFiresOnceFromTheEventLoopAfterTheLastByte)
{
    sendAndCheck(5000);
    // Far more than the kernel takes at once: the rest goes out on write readiness.
    sendAndCheck(8 * 1024 * 1024);
}

TEST(WSocketReceive, PeerCloseDeliversPendingBytesBeforeOneSessionClosed)
{
    const QByteArray data = pattern(3000);
    Peer peer({Peer::Write{data}, Peer::Close{}});
    TWSocket s;
    SocketEvents ev(s);
    QByteArray got;
    QStringList order;
    s.SetComponentOptions(wsoNoReceiveLoop);
    s.OnDataAvailable = [&](TWSocket *sock, int) {
        char buffer[100]; // small reads leave bytes pending when the close arrives
        const int n = sock->Receive(buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, n);
    };
    s.OnSessionClosed = [&](TWSocket *, int error) {
        order << QStringLiteral("closed %1 after %2").arg(error).arg(got.size());
    };
    aimAt(s, peer.port());
    s.Connect();
    ASSERT_TRUE(waitFor([&] { return s.State() == TSocketState::wsClosed; }));
    s.Close(); // a local close after the peer's: no second report
    drainEvents();
    EXPECT_EQ(order, QStringList{QStringLiteral("closed 0 after 3000")});
    EXPECT_TRUE(got == data);
}

TEST(WSocketReceive, HandlerThatNeverReadsDoesNotFreezeTheEventLoop)
{
    Peer peer({Peer::Write{QByteArrayLiteral("unread")}, Peer::ReadUntilClosed{}});
    TWSocket s;
    int calls = 0;
    s.OnDataAvailable = [&](TWSocket *, int) { ++calls; };
    aimAt(s, peer.port());
    s.Connect();
    bool timerRan = false;
    ASSERT_TRUE(waitFor([&] { return calls > 0; }));
    QTimer::singleShot(0, [&] { timerRan = true; });
    ASSERT_TRUE(waitFor([&] { return timerRan && calls > 1; })); // called again, loop alive
    char buffer[16];
    EXPECT_EQ(s.Receive(buffer, sizeof buffer), 6);
    EXPECT_EQ(s.ReadCount(), 6u);
    EXPECT_EQ(s.Receive(buffer, sizeof buffer), -1);
    EXPECT_EQ(s.LastError(), 10035);
    s.Close();
}

TEST(WSocketClose, DefaultsComeBackAfterEveryClose)
{
    TWSocket s;
    s.SetComponentOptions(wsoTcpNoDelay);
    s.SetSocksUsercode(QStringLiteral("alice"));
    s.SetSocksLevel(QStringLiteral("4"));
    s.SetSocksServer(QStringLiteral("127.0.0.1"));
    s.SetSocksPort(QStringLiteral("1"));
    s.SetLocalPort(QStringLiteral("0"));
    s.SetLingerOnOff(TSocketLingerOnOff::wsLingerOff);
    s.Close();
    EXPECT_TRUE(s.SocksServer().isEmpty());
    EXPECT_TRUE(s.SocksPort().isEmpty());
    EXPECT_EQ(s.SocksLevel(), QStringLiteral("5"));
    EXPECT_EQ(s.LingerOnOff(), TSocketLingerOnOff::wsLingerOn);
    EXPECT_EQ(s.ComponentOptions(), unsigned(wsoTcpNoDelay));
    EXPECT_EQ(s.SocksUsercode(), QStringLiteral("alice"));

    // A connection, closed: Port must be set again; then the next connection is direct
    // although a SOCKS server was set before the first.
    Peer first({Peer::ReadUntilClosed{}});
    aimAt(s, first.port());
    s.Connect();
    ASSERT_TRUE(waitFor([&] { return s.State() == TSocketState::wsConnected; }));
    s.Close();
    EXPECT_EQ(s.Port(), QString::number(first.port())); // the text stays, unassigned
    try {
        s.Connect();
        FAIL() << "no error";
    } catch (const ESocketException &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Connect: No Port Specified"));
    }
    Peer second({Peer::Read{5}, Peer::Write{QByteArrayLiteral("world")}, Peer::Close{}});
    SocketEvents ev(s);
    s.OnSessionConnected = [](TWSocket *sock, int) { sock->SendStr(QByteArrayLiteral("hello")); };
    aimAt(s, second.port()); // Addr is forgotten as well
    s.Connect();
    ASSERT_TRUE(waitFor([&] { return ev.closedCount == 1; }));
    EXPECT_TRUE(second.finish());
    EXPECT_EQ(second.received(), QByteArrayLiteral("hello")); // no SOCKS greeting went first
    EXPECT_EQ(ev.data, QByteArrayLiteral("world"));
}

TEST(WSocketListen, AcceptAndDupCarryAConnection)
{
    TWSocket listener;
    listener.SetAddr(QStringLiteral("127.0.0.1"));
    listener.SetPort(QStringLiteral("0"));
    listener.Listen();
    ASSERT_EQ(listener.State(), TSocketState::wsListening);
    QString address;
    uint16_t port = 0;
    ASSERT_EQ(listener.GetSockName(address, port), 0);
    EXPECT_EQ(address, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(listener.GetPeerAddr(), QStringLiteral("error"));

    TWSocket server;
    SocketEvents serverEv(server);
    listener.OnSessionAvailable = [&](TWSocket *l, int error) {
        EXPECT_EQ(error, 0);
        const int handle = l->Accept();
        l->Close();
        server.Dup(handle);
    };
    TWSocket client;
    SocketEvents clientEv(client);
    client.OnSessionConnected = [](TWSocket *sock, int) { sock->SendStr(QByteArrayLiteral("ping")); };
    aimAt(client, port);
    client.Connect();
    ASSERT_TRUE(waitFor([&] { return serverEv.data == "ping"; }));
    EXPECT_EQ(server.State(), TSocketState::wsConnected);
    EXPECT_EQ(server.GetPeerAddr(), QStringLiteral("127.0.0.1"));
    QString clientAddr;
    uint16_t clientPort = 0;
    client.GetSockName(clientAddr, clientPort);
    EXPECT_EQ(server.GetPeerPort(), QString::number(clientPort));
    server.SendStr(QByteArrayLiteral("pong"));
    ASSERT_TRUE(waitFor([&] { return clientEv.data == "pong"; }));
    server.Close();
    ASSERT_TRUE(waitFor([&] { return clientEv.closedCount == 1; }));
    EXPECT_EQ(clientEv.log.last(), QStringLiteral("closed 0"));
    EXPECT_EQ(listener.State(), TSocketState::wsClosed);
    int errors = 0;
    listener.OnError = [&](TWSocket *) { ++errors; };
    EXPECT_EQ(listener.Accept(), -1);
    EXPECT_EQ(listener.LastErrorMessage(), QStringLiteral("not a listening socket"));
}

TEST(WSocketEvents, ExceptionFromAHandlerGoesToBgExceptionAndAborts)
{
    for (bool canClose : {true, false}) {
        Peer peer({Peer::Write{QByteArrayLiteral("boom")}, Peer::ReadUntilClosed{}});
        TWSocket s;
        SocketEvents ev(s);
        QString caught;
        s.OnDataAvailable = [](TWSocket *sock, int) {
            sock->ReceiveStr();
            throw ESocketException(QStringLiteral("handler failed"));
        };
        s.OnBgException = [&](TWSocket *, const std::exception &e, bool &close) {
            caught = QString::fromLocal8Bit(e.what());
            close = canClose;
        };
        aimAt(s, peer.port());
        s.Connect();
        ASSERT_TRUE(waitFor([&] { return !caught.isEmpty(); }));
        EXPECT_EQ(caught, QStringLiteral("handler failed"));
        drainEvents();
        if (canClose) {
            EXPECT_EQ(s.State(), TSocketState::wsClosed);
            EXPECT_EQ(ev.log.last(), QStringLiteral("closed 0"));
        } else {
            EXPECT_EQ(s.State(), TSocketState::wsConnected);
            s.Close();
        }
    }
}

TEST(WSocketClose, CloseDelayedRunsAfterTheHandlerAndClosedFiresOnce)
{
    Peer peer({Peer::Write{QByteArrayLiteral("x")}, Peer::ReadUntilClosed{}});
    TWSocket s;
    SocketEvents ev(s);
    bool closedInsideHandler = false;
    s.OnDataAvailable = [&](TWSocket *sock, int) {
        sock->ReceiveStr();
        sock->CloseDelayed();
        closedInsideHandler = sock->State() == TSocketState::wsClosed;
    };
    aimAt(s, peer.port());
    s.Connect();
    ASSERT_TRUE(waitFor([&] { return ev.closedCount > 0; }));
    EXPECT_FALSE(closedInsideHandler);
    EXPECT_TRUE(peer.finish());
    s.Close();
    drainEvents();
    EXPECT_EQ(ev.closedCount, 1);
}

} // namespace
