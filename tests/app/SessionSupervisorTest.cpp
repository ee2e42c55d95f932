// The two sessions and their supervisor, headless, against real servers from Debian and a
// scripted FTP proxy.
#include "app/SessionSupervisor.h"
#include "settings/SettingsCatalogue.h"
#include "support/BugRecorder.h"
#include "support/FtpServers.h"
#include "support/QueueTestPeer.h"
#include "support/RecordingUserInterface.h"
#include "support/ScriptedFtpServer.h"
#include "support/ServerProcess.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

struct Done {
    tkftpclient *session;
    RemoteRequest request;
    int error;
};

class Sessions : public ::testing::Test {
protected:
    Sessions() : sup(setup, ui, [this](const QString &line) { log << line; })
    {
        QObject::connect(&sup, &SessionSupervisor::requestDone, &sup,
                         [this](tkftpclient *s, RemoteRequest rq, int error) {
                             done.push_back({s, rq, error});
                         });
        sup.currentRemoteFolder = [this] { return rFolder; };
    }
    ~Sessions() override
    {
        sup.setConnectionWanted(false);
        sup.timer_threads();
    }

    void siteAt(quint16 port, const QString &user = QStringLiteral("anna"),
                const QString &pass = QStringLiteral("secret"))
    {
        tSiteRecord site;
        site.name = QStringLiteral("Test Site");
        site.Host = QStringLiteral("127.0.0.1");
        site.Port = QString::number(port);
        site.User = user;
        site.Pass = pass;
        sup.setCurrentSite(site);
    }
    // Waits for the connect request of session s to complete; returns its error code.
    int connectResult(tkftpclient &s)
    {
        int error = -1;
        waitFor(
            [&] {
                for (const Done &d : done)
                    if (d.session == &s && d.request == RemoteRequest::Connect)
                        error = d.error;
                return error >= 0;
            },
            15000);
        return error;
    }

    tSetupClass setup;
    RecordingUserInterface ui;
    BugRecorder bugs;
    QStringList log;
    QString rFolder;
    std::vector<Done> done;
    SessionSupervisor sup;
};

TEST_F(Sessions, AreCreatedNamedAndConfigured)
{
    EXPECT_EQ(sup.mainSession()->objectName(), QStringLiteral("mainFTP"));
    EXPECT_EQ(sup.xferSession()->objectName(), QStringLiteral("xferFTP"));
    for (tkftpclient *s : {sup.mainSession(), sup.xferSession()}) {
        EXPECT_EQ(s->DataSocket().ComponentOptions(), unsigned(wsoNoReceiveLoop | wsoTcpNoDelay));
        EXPECT_EQ(s->ShareMode(), TFtpShareMode::ftpShareDenyNone);
        EXPECT_EQ(s->DisplayFileMode(), 1);
        EXPECT_FALSE(s->DisplayFileFlag());
        EXPECT_EQ(s->Timeout(), 15);
        EXPECT_FALSE(s->busy());
    }
    EXPECT_TRUE(sup.isFullyDisconnected());
    sup.exchangeRoles();
    EXPECT_EQ(sup.mainSession(), &sup.xferFTP());
    EXPECT_EQ(sup.xferSession(), &sup.mainFTP());
}

TEST_F(Sessions, SharedHandlersFeedTheirTargets)
{
    for (tkftpclient *s : {sup.mainSession(), sup.xferSession()}) {
        QString block = QStringLiteral("drwxr-xr-x 2 a b 4096 Jan  1 2020 pub\r\n");
        QString received;
        const QMetaObject::Connection c = QObject::connect(&sup, &SessionSupervisor::listingReceived, &sup,
                                                           [&](tkftpclient *from, const QString &text) {
                                                               if (from == s)
                                                                   received += text;
                                                           });
        s->OnDisplayFile(s, block);
        s->OnDisplayFile(s, block);
        QObject::disconnect(c);
        EXPECT_EQ(received, block + block);
        QString command = QStringLiteral("MKD new/");
        s->OnCommand(s, command);
        EXPECT_EQ(command, QStringLiteral("MKD new"));
        bool canClose = true;
        s->OnBgException(s, std::runtime_error("socket trouble"), canClose);
    }
    ASSERT_EQ(bugs.reports().size(), 2u);
    EXPECT_EQ(bugs.reports()[0].siteId, QStringLiteral("bgex001"));
    EXPECT_EQ(bugs.reports()[0].message, QStringLiteral("socket trouble"));
}

TEST_F(Sessions, SupervisorLogsTheMainSessionInWithEachDirectConnectionType)
{
    PyftpdlibServer srv;
    ASSERT_TRUE(srv.start()) << srv.failure().toStdString();
    const struct {
        int type;
        const char *logLine;
        bool passive;
    } rows[] = {{0, "\u00A7Connecting to Test Site. Please wait ...", false},
                {1, "\u00A7Connecting to Test Site in passive mode. Please wait ...", true}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.type);
        setup.setInt(QStringLiteral("connectionType"), r.type);
        siteAt(srv.port(), srv.user(), srv.password());
        log.clear();
        done.clear();
        sup.setConnectionWanted(true);
        sup.timer_threads();
        EXPECT_EQ(connectResult(*sup.mainSession()), 0);
        EXPECT_TRUE(sup.mainSession()->IsConnected());
        EXPECT_EQ(sup.mainSession()->Passive(), r.passive);
        EXPECT_EQ(log, QStringList{QString::fromUtf8(r.logLine)});
        EXPECT_FALSE(sup.xferSession()->IsConnected()); // RavuzAro is off
        EXPECT_FALSE(sup.isFullyDisconnected());

        sup.setConnectionWanted(false);
        sup.timer_threads();
        EXPECT_FALSE(sup.mainSession()->IsConnected());
        EXPECT_TRUE(sup.isFullyDisconnected());
    }
    EXPECT_TRUE(bugs.reports().empty());
}

TEST_F(Sessions, TransferSessionWaitsForAFolderAndIsDroppedWhenRavuzAroGoesOff)
{
    PyftpdlibServer srv;
    ASSERT_TRUE(srv.start()) << srv.failure().toStdString();
    siteAt(srv.port(), srv.user(), srv.password());
    sup.setRavuzAro(true);
    sup.setConnectionWanted(true);
    sup.timer_threads();
    ASSERT_EQ(connectResult(*sup.mainSession()), 0);
    sup.timer_threads(); // still no remote folder shown
    EXPECT_FALSE(sup.xferSession()->connectedOrResolving());

    rFolder = QStringLiteral("/");
    sup.timer_threads();
    ASSERT_EQ(connectResult(*sup.xferSession()), 0);
    EXPECT_TRUE(sup.xferSession()->IsConnected());

    // Not wanted any more: both sessions are dropped; wanted again: both come back.
    sup.setConnectionWanted(false);
    sup.timer_threads();
    EXPECT_FALSE(sup.mainSession()->connectedOrResolving());
    EXPECT_FALSE(sup.xferSession()->connectedOrResolving());
    done.clear();
    sup.setConnectionWanted(true);
    sup.timer_threads();
    ASSERT_EQ(connectResult(*sup.mainSession()), 0);
    ASSERT_EQ(connectResult(*sup.xferSession()), 0);

    // A transfer runs on the transfer session: RavuzAro cannot be switched off.
    QueueTestPeer::occupy(*sup.xferSession(), reinterpret_cast<QueueJob *>(&rFolder));
    sup.acRavuzAro();
    EXPECT_TRUE(sup.ravuzAro());
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].startsWith(QStringLiteral("You cannot disable the RavuzAro feature right now")));
    QueueTestPeer::occupy(*sup.xferSession(), nullptr);

    sup.acRavuzAro();
    EXPECT_FALSE(sup.ravuzAro());
    EXPECT_EQ(setup.getRaw(QStringLiteral("ravuzAroEnabled")), QStringLiteral("false"));
    sup.timer_threads();
    EXPECT_FALSE(sup.xferSession()->connectedOrResolving());
    EXPECT_TRUE(sup.mainSession()->IsConnected());
}

TEST_F(Sessions, StandardProxyLogsInWithUserAtHost)
{
    ScriptedFtpServer proxy;
    proxy.greet().reply(QStringLiteral("220 proxy ready"));
    proxy.on(QStringLiteral("USER anna@ftp.example.com")).reply(QStringLiteral("331 password"));
    proxy.on(QStringLiteral("PASS secret")).reply(QStringLiteral("230 through"));
    // After the login the session asks what the server offers (for UTF-8 names).
    proxy.on(QStringLiteral("FEAT")).reply(QStringLiteral("211 no features"));
    setup.setInt(QStringLiteral("connectionType"), 2);
    setup.setString(QStringLiteral("ConnectionTypeAddress"), QStringLiteral("127.0.0.1"));
    setup.setString(QStringLiteral("ConnectionTypePort"), QString::number(proxy.port()));
    tSiteRecord site;
    site.name = QStringLiteral("Behind Proxy");
    site.Host = QStringLiteral("ftp.example.com");
    site.Port = QStringLiteral("21");
    site.User = QStringLiteral("anna");
    site.Pass = QStringLiteral("secret");
    site.encryption = SiteEncryption::Plain;
    sup.setCurrentSite(site);
    sup.setConnectionWanted(true);
    sup.timer_threads();
    EXPECT_EQ(connectResult(*sup.mainSession()), 0);
    EXPECT_EQ(sup.mainSession()->ConnectionType(), TFtpConnectionType::ftpProxy);
    EXPECT_EQ(log, QStringList{QStringLiteral(
                       "\u00A7Connecting to Behind Proxy through standard proxy server. Please wait ...")});
    EXPECT_EQ(proxy.transcript(), (QStringList{QStringLiteral("USER anna@ftp.example.com"),
                                               QStringLiteral("PASS secret"), QStringLiteral("FEAT")}));
    EXPECT_TRUE(proxy.errors().isEmpty()) << proxy.errors().join(QLatin1Char('\n')).toStdString();
}

TEST_F(Sessions, EachEncryptionChoiceMeetsAServerWithoutTls)
{
    const struct {
        SiteEncryption choice;
        bool loggedIn;
        bool authSent;
    } rows[] = {
        {SiteEncryption::Plain, true, false},
        {SiteEncryption::ExplicitIfAvailable, true, true},
        {SiteEncryption::ExplicitRequired, false, true},
        {SiteEncryption::Implicit, false, false},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(static_cast<int>(r.choice));
        ScriptedFtpServer server;
        server.greet().reply(QStringLiteral("220 plain only"));
        if (r.authSent)
            server.on(QStringLiteral("AUTH TLS")).reply(QStringLiteral("502 not here"));
        server.on(QStringLiteral("USER anna")).reply(QStringLiteral("331 password"));
        server.on(QStringLiteral("PASS secret")).reply(QStringLiteral("230 in"));
        server.on(QStringLiteral("FEAT")).reply(QStringLiteral("211 no features"));
        siteAt(server.port());
        tSiteRecord site = sup.currentSite();
        site.encryption = r.choice;
        sup.setCurrentSite(site);
        done.clear();
        sup.setConnectionWanted(true);
        sup.timer_threads();
        const int result = connectResult(*sup.mainSession());
        EXPECT_EQ(result == 0, r.loggedIn) << result;
        const QStringList said = server.transcript();
        EXPECT_EQ(said.contains(QStringLiteral("AUTH TLS")), r.authSent) << said.join(u'|').toStdString();
        // No password ever goes out where encryption was required and did not happen.
        EXPECT_EQ(said.contains(QStringLiteral("PASS secret")), r.loggedIn) << said.join(u'|').toStdString();
        sup.setConnectionWanted(false);
        sup.timer_threads();
        waitFor([&] { return sup.isFullyDisconnected(); }, 5000);
    }
}

TEST_F(Sessions, SocksFiveCarriesTheControlConnection)
{
    PyftpdlibServer srv;
    ASSERT_TRUE(srv.start()) << srv.failure().toStdString();
    MicrosocksServer socks;
    ASSERT_TRUE(socks.start());
    setup.setInt(QStringLiteral("connectionType"), 3);
    setup.setString(QStringLiteral("ConnectionTypeAddress"), QStringLiteral("127.0.0.1"));
    setup.setString(QStringLiteral("ConnectionTypePort"), QString::number(socks.port()));
    siteAt(srv.port(), srv.user(), srv.password());
    sup.setConnectionWanted(true);
    sup.timer_threads();
    EXPECT_EQ(connectResult(*sup.mainSession()), 0);
    EXPECT_EQ(sup.mainSession()->ConnectionType(), TFtpConnectionType::ftpSocks5);
    EXPECT_EQ(log, QStringList{QStringLiteral("\u00A7Connecting to Test Site through SOCKS. Please wait ...")});
    // The control connection's peer is the proxy, not the FTP server: the proxy carried it.
    EXPECT_TRUE(sup.mainSession()->IsConnected());
    EXPECT_EQ(sup.mainSession()->ControlSocket().GetPeerPort(), QString::number(socks.port()));
}

TEST_F(Sessions, KeepAliveIsDueBetweenStartPlusOneAndEndSeconds)
{
    const struct {
        int start, end, minSecs, maxSecs;
    } rows[] = {{0, 0, 2, 2}, {30, 30, 31, 31}, {10, 5, 11, 11}, {30, 60, 31, 60}, {-4, 1, 2, 2}};
    tkftpclient &s = *sup.mainSession();
    for (const auto &r : rows) {
        setup.setInt(QStringLiteral("keepAliveSecsStart"), r.start);
        setup.setInt(QStringLiteral("keepAliveSecsEnd"), r.end);
        for (int i = 0; i < 50; ++i) {
            const QDateTime before = QDateTime::currentDateTime();
            sup.rescheduleKeepAlive(s);
            const qint64 ms = before.msecsTo(s.keepAliveDue);
            EXPECT_GE(ms, r.minSecs * 1000 - 50) << r.start << "/" << r.end;
            EXPECT_LE(ms, r.maxSecs * 1000 + 50) << r.start << "/" << r.end;
        }
    }
}

TEST_F(Sessions, CommandsLoseATrailingSlashUnlessItIsTheRoot)
{
    const struct {
        const char *in, *out;
    } rows[] = {{"MKD new/", "MKD new"},
                {"CWD /pub/", "CWD /pub"},
                {"CWD /", "CWD /"},
                {"LIST", "LIST"},
                {"/", "/"},
                {"RNTO dir/", "RNTO dir"},
                {"SITE CHMOD 755 dir/", "SITE CHMOD 755 dir"},
                // Not a path: sent whole.
                {"PASS abc/", "PASS abc/"},
                {"USER me/", "USER me/"},
                {"SITE EXEC x/", "SITE EXEC x/"}};
    for (const auto &r : rows) {
        QString cmd = QString::fromLatin1(r.in);
        SessionSupervisor::stripTrailingSlash(cmd);
        EXPECT_EQ(cmd, QString::fromLatin1(r.out)) << r.in;
    }
}

} // namespace
