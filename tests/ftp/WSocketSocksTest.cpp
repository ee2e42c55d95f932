// The SOCKS client inside TWSocket: scripted proxies for every reply and for broken ones,
// then real proxies from Debian (microsocks, dante-server) carrying a real exchange.
#include "ftp/SocksMessages.h"
#include "ftp/WSocket.h"

#include "support/ScriptedPeer.h"
#include "support/ServerProcess.h"
#include "support/SocketEvents.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Peer = ScriptedPeer;

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (int b : list)
        out.append(static_cast<char>(b));
    return out;
}

// What the client must send: the destination is 127.0.0.1:2121, the user alice/secret.
const QByteArray kGreetNone = bytes({5, 1, 0});
const QByteArray kGreetAuth = bytes({5, 1, 2});
const QByteArray kAuth = Socks::AuthRequest("alice", "secret");
const QByteArray kConnect5 = Socks::Connect5("127.0.0.1", 2121);
const QByteArray kConnect4 = Socks::Connect4(2121, 0x7F000001, "alice");
const QByteArray kConnect4A = Socks::Connect4A(2121, "alice", "127.0.0.1");
const QByteArray kReply5 = bytes({5, 0, 0, 1, 10, 1, 2, 3, 0x1F, 0x90});
const QByteArray kReply4 = bytes({0, 90, 0x1F, 0x90, 10, 1, 2, 3});
const QByteArray kBanner = QByteArrayLiteral("220 ready\r\n");

Peer::Step rd(const QByteArray &b)
{
    return Peer::Read{static_cast<int>(b.size())};
}
Peer::Step wr(const QByteArray &b, int piece = 0)
{
    return Peer::Write{b, piece};
}

struct ProxyCase {
    const char *name;
    const char *level;
    bool auth;
    std::vector<Peer::Step> script;
    QByteArray expectSent;    // everything the proxy must have read
    int code;                 // 0: the path opens; else the failure code
    QStringList expectEvents; // must appear in this order among the logged events
};

// Test names show the case instead of its bytes.
void PrintTo(const ProxyCase &c, std::ostream *os)
{
    *os << c.name;
}

class ScriptedProxy : public ::testing::TestWithParam<ProxyCase> {};

TEST_P(ScriptedProxy, HandshakeEndsWithTheRightCodeAndACleanClose)
{
    const ProxyCase &c = GetParam();
    Peer proxy(c.script);
    TWSocket s;
    SocketEvents ev(s);
    s.SetAddr(QStringLiteral("127.0.0.1"));
    s.SetPort(QStringLiteral("2121"));
    s.SetSocksServer(QStringLiteral("127.0.0.1"));
    s.SetSocksPort(QString::number(proxy.port()));
    s.SetSocksLevel(QString::fromLatin1(c.level));
    s.SetSocksUsercode(QStringLiteral("alice"));
    s.SetSocksPassword(QStringLiteral("secret"));
    if (c.auth)
        s.SetSocksAuthentication(TSocksAuthentication::socksAuthenticateUsercode);
    int dataSent = 0;
    s.OnDataSent = [&](TWSocket *, int) { ++dataSent; };
    s.Connect();
    if (c.code == 0) {
        ASSERT_TRUE(waitFor([&] { return ev.data == kBanner; })) << ev.log.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(s.State(), TSocketState::wsConnected);
        EXPECT_EQ(s.SocksState(), TSocksState::PassThrough);
        s.Close();
    } else {
        ASSERT_TRUE(waitFor([&] { return ev.closedCount > 0; })) << ev.log.join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(ev.hasPrefix(QStringLiteral("socks-error %1 ").arg(c.code)));
        EXPECT_EQ(ev.log.last(), QStringLiteral("closed %1").arg(c.code));
    }
    proxy.finish();
    drainEvents();
    EXPECT_EQ(ev.closedCount, 1) << ev.log.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(s.State(), TSocketState::wsClosed);
    EXPECT_TRUE(s.SocksServer().isEmpty());
    EXPECT_EQ(dataSent, 0); // the proxy's own messages are no business of the owner
    EXPECT_EQ(proxy.received().toHex().toStdString(), c.expectSent.toHex().toStdString());
    qsizetype at = 0;
    for (const QString &e : c.expectEvents) {
        const qsizetype found = ev.log.indexOf(e, at);
        EXPECT_GE(found, 0) << e.toStdString() << " in " << ev.log.join(QLatin1Char('|')).toStdString();
        at = found < 0 ? at : found + 1;
    }
}

QStringList events(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *e : list)
        out << QString::fromLatin1(e);
    return out;
}

const QByteArray kDone = QByteArray();

std::vector<ProxyCase> proxyCases()
{
    const auto until = Peer::ReadUntilClosed{};
    return {
        {"v5_replies_split_into_single_bytes",
         "5",
         false,
         {rd(kGreetNone), wr(bytes({5, 0}), 1), rd(kConnect5), wr(kReply5, 1), wr(kBanner), until},
         kGreetNone + kConnect5,
         0,
         events({"socks-connected 0", "connected 0"})},
        {"v5_reply_together_with_destination_bytes",
         "5",
         false,
         {rd(kGreetNone), wr(bytes({5, 0})), rd(kConnect5), wr(kReply5 + kBanner), until},
         kGreetNone + kConnect5,
         0,
         events({"connected 0"})},
        {"v5_user_password_accepted",
         "5",
         true,
         {rd(kGreetAuth), wr(bytes({5, 2})), rd(kAuth), wr(bytes({1, 0})), rd(kConnect5), wr(kReply5), wr(kBanner),
          until},
         kGreetAuth + kAuth + kConnect5,
         0,
         events({"auth 0", "auth 1", "connected 0"})},
        {"v5_user_password_not_needed",
         "5",
         true,
         {rd(kGreetAuth), wr(bytes({5, 0})), rd(kConnect5), wr(kReply5 + kBanner), until},
         kGreetAuth + kConnect5,
         0,
         events({"auth 3", "connected 0"})},
        {"v5_name_in_reply",
         "5",
         false,
         {rd(kGreetNone), wr(bytes({5, 0})), rd(kConnect5), wr(bytes({5, 0, 0, 3, 2, 'p', 'x', 0, 1}), 3), wr(kBanner),
          until},
         kGreetNone + kConnect5,
         0,
         events({"connected 0"})},
        {"v4_granted",
         "4",
         false,
         {rd(kConnect4), wr(kReply4 + kBanner), until},
         kConnect4,
         0,
         events({"socks-connected 0", "connected 0"})},
        {"v4a_granted_split",
         "4A",
         false,
         {rd(kConnect4A), wr(kReply4, 2), wr(kBanner), until},
         kConnect4A,
         0,
         events({"connected 0"})},
        {"v5_password_refused",
         "5",
         true,
         {rd(kGreetAuth), wr(bytes({5, 2})), rd(kAuth), wr(bytes({1, 1})), until},
         kGreetAuth + kAuth,
         20015,
         events({"auth 0", "connected 20015"})},
        {"v5_no_acceptable_method",
         "5",
         false,
         {rd(kGreetNone), wr(bytes({5, 0xFF})), until},
         kGreetNone,
         20003,
         events({"connected 20003"})},
        {"v5_password_chosen_but_not_offered",
         "5",
         false,
         {rd(kGreetNone), wr(bytes({5, 2})), until},
         kGreetNone,
         20003,
         {}},
        {"v5_general_failure",
         "5",
         false,
         {rd(kGreetNone), wr(bytes({5, 0})), rd(kConnect5), wr(bytes({5, 1, 0, 1, 0, 0, 0, 0, 0, 0})), until},
         kGreetNone + kConnect5,
         20004,
         {}},
        {"v5_refused",
         "5",
         false,
         {rd(kGreetNone), wr(bytes({5, 0})), rd(kConnect5), wr(bytes({5, 5})), until},
         kGreetNone + kConnect5,
         20008,
         {}},
        {"v5_unassigned",
         "5",
         false,
         {rd(kGreetNone), wr(bytes({5, 0})), rd(kConnect5), wr(bytes({5, 77})), until},
         kGreetNone + kConnect5,
         20012,
         {}},
        {"v5_unknown_address_type",
         "5",
         false,
         {rd(kGreetNone), wr(bytes({5, 0})), rd(kConnect5), wr(bytes({5, 0, 0, 7, 0, 0, 0, 0, 0, 0})), until},
         kGreetNone + kConnect5,
         20011,
         {}},
        {"v4_rejected", "4", false, {rd(kConnect4), wr(bytes({0, 91, 0, 0, 0, 0, 0, 0})), until}, kConnect4, 20016, {}},
        {"v4_refused", "4", false, {rd(kConnect4), wr(bytes({0, 92, 0, 0, 0, 0, 0, 0})), until}, kConnect4, 20008, {}},
        {"v4_ident_failed",
         "4",
         false,
         {rd(kConnect4), wr(bytes({0, 93, 0, 0, 0, 0, 0, 0})), until},
         kConnect4,
         20015,
         {}},
        {"v4_unassigned",
         "4A",
         false,
         {rd(kConnect4A), wr(bytes({0, 94, 0, 0, 0, 0, 0, 0})), until},
         kConnect4A,
         20012,
         {}},
        {"garbage_instead_of_greeting_reply",
         "5",
         false,
         {rd(kGreetNone), wr(QByteArrayLiteral("HTTP/1.0 400 Bad Request\r\n\r\n")), until},
         kGreetNone,
         20002,
         {}},
        {"garbage_instead_of_v4_reply",
         "4",
         false,
         {rd(kConnect4), wr(QByteArrayLiteral("SSH-2.0-OpenSSH\r\n")), until},
         kConnect4,
         20002,
         {}},
        {"too_much_data_after_greeting",
         "5",
         false,
         {rd(kGreetNone), wr(bytes({5, 0, 1, 2, 3})), until},
         kGreetNone,
         20001,
         {}},
        {"too_much_data_after_auth",
         "5",
         true,
         {rd(kGreetAuth), wr(bytes({5, 2})), rd(kAuth), wr(bytes({1, 0, 0, 0})), until},
         kGreetAuth + kAuth,
         20001,
         {}},
        {"endless_v5_reply",
         "5",
         false,
         {rd(kGreetNone), wr(bytes({5, 0})), rd(kConnect5), wr(bytes({5, 0, 0, 3, 255}) + QByteArray(400, 'x')), until},
         kGreetNone + kConnect5,
         20001,
         {}},
        {"closed_after_greeting",
         "5",
         false,
         {rd(kGreetNone), Peer::Close{}},
         kGreetNone,
         10053,
         events({"connected 10053"})},
        {"closed_while_authenticating",
         "5",
         true,
         {rd(kGreetAuth), wr(bytes({5, 2})), rd(kAuth), Peer::Close{}},
         kGreetAuth + kAuth,
         10053,
         events({"auth 0", "auth 2", "connected 10053"})},
        {"closed_before_v4_reply_complete",
         "4",
         false,
         {rd(kConnect4), wr(bytes({0, 90, 0})), Peer::Close{}},
         kConnect4,
         10053,
         {}},
    };
}

INSTANTIATE_TEST_SUITE_P(Table, ScriptedProxy, ::testing::ValuesIn(proxyCases()),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(WSocketSocks, DestinationBytesThatCameWithTheReplyComeOutOfTheFirstReceive)
{
    Peer proxy({rd(kGreetNone), wr(bytes({5, 0})), rd(kConnect5), wr(kReply5 + kBanner), Peer::ReadUntilClosed{}});
    TWSocket s;
    QStringList order;
    s.OnSessionConnected = [&](TWSocket *, int e) { order << QStringLiteral("connected %1").arg(e); };
    s.OnDataAvailable = [&](TWSocket *sock, int) {
        char buffer[64];
        const int n = sock->Receive(buffer, sizeof buffer);
        if (n > 0)
            order << QStringLiteral("receive ") + QString::fromLatin1(buffer, n);
    };
    s.SetAddr(QStringLiteral("127.0.0.1"));
    s.SetPort(QStringLiteral("2121"));
    s.SetSocksServer(QStringLiteral("127.0.0.1"));
    s.SetSocksPort(QString::number(proxy.port()));
    s.Connect();
    ASSERT_TRUE(waitFor([&] { return order.size() >= 2; }));
    EXPECT_EQ(order,
              (QStringList{QStringLiteral("connected 0"), QStringLiteral("receive ") + QString::fromLatin1(kBanner)}));
    EXPECT_EQ(s.SocksBoundAddr(), QStringLiteral("10.1.2.3"));
    EXPECT_EQ(s.SocksBoundPort(), QStringLiteral("8080"));
    s.Close();
}

TEST(WSocketSocks, UnresolvableV4DestinationAndUsageErrors)
{
    Peer proxy({Peer::ReadUntilClosed{}});
    TWSocket s;
    SocketEvents ev(s);
    s.SetAddr(QString(300, QLatin1Char('h'))); // no name can be that long
    s.SetPort(QStringLiteral("21"));
    s.SetSocksServer(QStringLiteral("127.0.0.1"));
    s.SetSocksPort(QString::number(proxy.port()));
    s.SetSocksLevel(QStringLiteral("4"));
    s.Connect();
    ASSERT_TRUE(waitFor([&] { return ev.closedCount > 0; }));
    EXPECT_TRUE(ev.hasPrefix(QStringLiteral("socks-error 20017 ESocketException WSocketResolveHost: '")));
    EXPECT_TRUE(ev.has(QStringLiteral("connected 20017")));

    // SOCKS 4 and 4A carry no IPv6 address: refused before a request goes out.
    for (const char *level : {"4", "4A"}) {
        SCOPED_TRACE(level);
        Peer v4proxy({Peer::ReadUntilClosed{}});
        TWSocket t;
        SocketEvents tev(t);
        t.SetAddr(QStringLiteral("[2001:db8::1]"));
        t.SetPort(QStringLiteral("21"));
        t.SetSocksServer(QStringLiteral("127.0.0.1"));
        t.SetSocksPort(QString::number(v4proxy.port()));
        t.SetSocksLevel(QString::fromLatin1(level));
        t.Connect();
        ASSERT_TRUE(waitFor([&] { return tev.closedCount > 0; }));
        EXPECT_TRUE(tev.has(
            QStringLiteral("socks-error 20017 socks %1 cannot reach an IPv6 address").arg(QString::fromLatin1(level))))
            << tev.log.join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(tev.has(QStringLiteral("connected 20017")));
        ASSERT_TRUE(v4proxy.finish());
        EXPECT_TRUE(v4proxy.received().isEmpty());
    }

    s.SetSocksServer(QStringLiteral("127.0.0.1"));
    s.SetSocksPort(QStringLiteral("1080"));
    s.SetProto(QStringLiteral("udp"));
    s.SetAddr(QStringLiteral("127.0.0.1"));
    s.SetPort(QStringLiteral("21"));
    try {
        s.Connect();
        FAIL() << "no error";
    } catch (const ESocketException &e) {
        EXPECT_EQ(e.message(), QStringLiteral("tcp is the only protocol supported thru socks server"));
    }
    try {
        s.Listen();
        FAIL() << "no error";
    } catch (const ESocketException &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Listening is not supported thru socks server"));
    }
}

TEST(WSocketSocks, UnreachableProxyReportsTheSocketErrorTwice)
{
    TWSocket s;
    SocketEvents ev(s);
    s.SetAddr(QStringLiteral("127.0.0.1"));
    s.SetPort(QStringLiteral("21"));
    s.SetSocksServer(QStringLiteral("127.0.0.1"));
    s.SetSocksPort(QString::number(ServerProcess::freePort()));
    s.Connect();
    ASSERT_TRUE(waitFor([&] { return s.State() == TSocketState::wsClosed; }));
    drainEvents();
    ASSERT_GE(ev.log.size(), 2);
    EXPECT_EQ(ev.log[0], QStringLiteral("socks-connected 10061"));
    EXPECT_EQ(ev.log[1], QStringLiteral("connected 10061"));
    EXPECT_LE(ev.closedCount, 1);
}

// --- real proxies -----------------------------------------------------------------------------

enum class Proxy { Microsocks, MicrosocksAuth, Dante };

struct RealCase {
    const char *name;
    Proxy proxy;
    const char *level;
    const char *password; // nullptr: no authentication offered
    int code;
    QStringList authEvents;
};

// Test names show the case instead of its bytes.
void PrintTo(const RealCase &c, std::ostream *os)
{
    *os << c.name;
}

class RealSocksProxy : public ::testing::TestWithParam<RealCase> {
protected:
    static void SetUpTestSuite()
    {
        s_plain = std::make_unique<MicrosocksServer>();
        s_auth = std::make_unique<MicrosocksServer>();
        s_dante = std::make_unique<DanteServer>();
        s_plainUp = s_plain->start();
        s_authUp = s_auth->start(QStringLiteral("alice"), QStringLiteral("secret"));
        s_danteUp = s_dante->start();
    }
    static void TearDownTestSuite()
    {
        s_plain.reset();
        s_auth.reset();
        s_dante.reset();
    }
    static inline std::unique_ptr<MicrosocksServer> s_plain, s_auth;
    static inline std::unique_ptr<DanteServer> s_dante;
    static inline bool s_plainUp = false, s_authUp = false, s_danteUp = false;
};

TEST_P(RealSocksProxy, CarriesAnExchangeOrFailsWithTheRightCode)
{
    const RealCase &c = GetParam();
    uint16_t proxyPort = 0;
    switch (c.proxy) {
    case Proxy::Microsocks:
        ASSERT_TRUE(s_plainUp) << "microsocks did not start";
        proxyPort = s_plain->port();
        break;
    case Proxy::MicrosocksAuth:
        ASSERT_TRUE(s_authUp) << "microsocks did not start";
        proxyPort = s_auth->port();
        break;
    case Proxy::Dante:
        if (!s_danteUp && !s_dante->skipReason().isEmpty())
            GTEST_SKIP() << s_dante->skipReason().toStdString();
        ASSERT_TRUE(s_danteUp) << s_dante->failure().toStdString();
        proxyPort = s_dante->port();
        break;
    }
    Peer destination({Peer::Read{5}, Peer::Write{QByteArrayLiteral("world")}, Peer::ReadUntilClosed{}});
    TWSocket s;
    SocketEvents ev(s);
    s.OnSessionConnected = [&](TWSocket *sock, int error) {
        ev.log << QStringLiteral("connected %1").arg(error);
        if (error == 0)
            sock->SendStr(QByteArrayLiteral("hello"));
    };
    s.SetAddr(QStringLiteral("127.0.0.1"));
    s.SetPort(QString::number(destination.port()));
    s.SetSocksServer(QStringLiteral("127.0.0.1"));
    s.SetSocksPort(QString::number(proxyPort));
    s.SetSocksLevel(QString::fromLatin1(c.level));
    s.SetSocksUsercode(QStringLiteral("alice"));
    if (c.password) {
        s.SetSocksPassword(QString::fromLatin1(c.password));
        s.SetSocksAuthentication(TSocksAuthentication::socksAuthenticateUsercode);
    }
    s.Connect();
    if (c.code == 0) {
        ASSERT_TRUE(waitFor([&] { return ev.data == "world"; })) << ev.log.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(destination.received(), QByteArrayLiteral("hello"));
        s.Close();
    } else {
        ASSERT_TRUE(waitFor([&] { return ev.closedCount > 0; })) << ev.log.join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(ev.has(QStringLiteral("connected %1").arg(c.code))) << ev.log.join(QLatin1Char('|')).toStdString();
    }
    drainEvents();
    EXPECT_EQ(ev.closedCount, 1);
    QStringList auth;
    for (const QString &e : ev.log)
        if (e.startsWith(QStringLiteral("auth ")))
            auth << e;
    EXPECT_EQ(auth, c.authEvents);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RealSocksProxy,
    ::testing::Values(
        RealCase{"microsocks_v5", Proxy::Microsocks, "5", nullptr, 0, {}},
        // An open microsocks accepts only "no authentication": offering just
        // user/password leaves no common method.
        RealCase{"microsocks_v5_password_offered_to_open_proxy", Proxy::Microsocks, "5", "secret", 20003, {}},
        RealCase{"microsocks_v5_password", Proxy::MicrosocksAuth, "5", "secret", 0, events({"auth 0", "auth 1"})},
        RealCase{"microsocks_v5_wrong_password", Proxy::MicrosocksAuth, "5", "wrong", 20015, events({"auth 0"})},
        RealCase{"microsocks_v5_password_required", Proxy::MicrosocksAuth, "5", nullptr, 20003, {}},
        RealCase{"dante_v4", Proxy::Dante, "4", nullptr, 0, {}},
        RealCase{"dante_v5", Proxy::Dante, "5", nullptr, 0, {}}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
