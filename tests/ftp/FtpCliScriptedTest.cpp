// The FTP engine against a scripted server: exact command transcripts, reply framing,
// composite requests, failures and unsafe input.
#include "ftp/FtpCli.h"

#include "support/FtpRecorder.h"
#include "support/ScriptedPeer.h"
#include "support/ServerProcess.h"
#include "support/WaitFor.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

using Peer = ScriptedPeer;
using Steps = std::vector<Peer::Step>;

Peer::Step say(const char *text)
{
    return Peer::Write{QByteArray(text)};
}
Peer::Step cmd()
{
    return Peer::ReadLine{};
}
const Peer::Step kBanner = say("220 scripted server ready\r\n");
const Peer::Step kRest = Peer::ReadUntilClosed{};

struct Engine {
    TFtpClient ftp;
    FtpRecorder rec{ftp};

    explicit Engine(uint16_t port)
    {
        ftp.SetHostName(QStringLiteral("127.0.0.1"));
        ftp.SetPort(QString::number(port));
        ftp.SetUserName(QStringLiteral("bob"));
        ftp.SetPassWord(QStringLiteral("secret"));
    }
    // Logs in (USER/PASS answered 331/230 by the script) and waits for the completion.
    bool connect()
    {
        ftp.StartConnect();
        return rec.waitDone() && rec.lastError() == 0;
    }
};

// The login steps of a script: banner, USER -> 331, PASS -> 230.
Steps login(Steps then)
{
    Steps s{kBanner, cmd(), say("331 password please\r\n"), cmd(), say("230 logged in\r\n")};
    s.insert(s.end(), then.begin(), then.end());
    return s;
}

struct LoginCase {
    const char *name;
    Steps script;
    unsigned options;
    const char *transcript;
    int error;
    int displayedReplies; // "< " lines shown
};

// Test names show the case instead of its bytes.
void PrintTo(const LoginCase &c, std::ostream *os)
{
    *os << c.name;
}

class FtpLogin : public ::testing::TestWithParam<LoginCase> {};

TEST_P(FtpLogin, SendsExactlyTheseCommandsAndEndsOnce)
{
    const LoginCase &c = GetParam();
    Peer server(c.script);
    Engine e(server.port());
    e.ftp.SetOptions(c.options);
    e.ftp.StartConnect();
    ASSERT_TRUE(e.rec.waitDone());
    drainEvents();
    EXPECT_EQ(e.rec.done.size(), 1);
    EXPECT_EQ(e.rec.lastType(), TFtpRequest::rqConnect);
    EXPECT_EQ(e.rec.lastError(), c.error) << e.rec.display.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(e.ftp.State(), TFtpEngineState::stReady);
    e.ftp.Abort();
    server.finish();
    EXPECT_EQ(server.received().toStdString(), c.transcript);
    EXPECT_EQ(e.rec.display.filter(QRegularExpression(QStringLiteral("^< "))).size(), c.displayedReplies)
        << e.rec.display.join(QLatin1Char('|')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, FtpLogin,
    ::testing::Values(
        LoginCase{"user_and_password", login({kRest}), ftpAcceptLF, "USER bob\r\nPASS secret\r\n", 0, 3},
        LoginCase{"user_230_sends_no_pass",
                  {kBanner, cmd(), say("230 no password needed\r\n"), kRest},
                  ftpAcceptLF,
                  "USER bob\r\n",
                  0,
                  2},
        LoginCase{"three_line_230_completes_at_the_last_line",
                  {kBanner, cmd(), say("331 pw\r\n"), cmd(), say("230-Welcome\r\n230-to the server\r\n"),
                   Peer::Pause{50}, say("230 done\r\n"), kRest},
                  ftpAcceptLF,
                  "USER bob\r\nPASS secret\r\n",
                  0,
                  5},
        LoginCase{"multi_line_banner_and_bare_lf",
                  {say("220-hello\n220 ready\n"), cmd(), say("230 ok\n"), kRest},
                  ftpAcceptLF,
                  "USER bob\r\n",
                  0,
                  3},
        LoginCase{"empty_and_text_lines_are_skipped",
                  {kBanner, cmd(), say("\r\nplease wait\r\n331 pw\r\n"), cmd(), say("230 ok\r\n"), kRest},
                  ftpAcceptLF,
                  "USER bob\r\nPASS secret\r\n",
                  0,
                  5},
        LoginCase{"reply_split_into_single_bytes",
                  {kBanner, cmd(), Peer::Write{QByteArrayLiteral("331 pw\r\n"), 1}, cmd(), say("230 ok\r\n"), kRest},
                  ftpAcceptLF,
                  "USER bob\r\nPASS secret\r\n",
                  0,
                  3},
        LoginCase{"wrong_password",
                  {kBanner, cmd(), say("331 pw\r\n"), cmd(), say("530 Login incorrect.\r\n"), kRest},
                  ftpAcceptLF,
                  "USER bob\r\nPASS secret\r\n",
                  530,
                  3},
        LoginCase{"banner_421_ends_with_421", {say("421 Too many users\r\n"), Peer::Close{}}, ftpAcceptLF, "", 421, 1}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FtpReplies, BareLfEndsALineOnlyWithAcceptLF)
{
    for (bool acceptLF : {true, false}) {
        SCOPED_TRACE(acceptLF);
        Peer server({say("220 first\n"), Peer::Pause{100}, say("\r\n"), kRest});
        Engine e(server.port());
        e.ftp.SetOptions(acceptLF ? unsigned(ftpAcceptLF) : 0u);
        e.ftp.StartOpen();
        ASSERT_TRUE(e.rec.waitDone());
        EXPECT_EQ(e.rec.lastError(), 0);
        drainEvents();
        ASSERT_TRUE(waitFor([&] { return !acceptLF || e.rec.display.size() >= 2; }));
        // With acceptLF the banner is complete at the LF and the CR LF after it is an empty
        // line of its own; without it the line ends only at the CR LF.
        const QStringList expected = acceptLF ? QStringList{QStringLiteral("< 220 first"), QStringLiteral("< ")}
                                              : QStringList{QStringLiteral("< 220 first")};
        EXPECT_EQ(e.rec.display, expected);
        e.ftp.Abort();
    }
}

TEST(FtpOpen, BannerOf421EndsWith421WithoutSessionConnected)
{
    Peer server({say("421 Service not available\r\n"), kRest});
    Engine e(server.port());
    e.ftp.StartOpen();
    ASSERT_TRUE(e.rec.waitDone());
    EXPECT_EQ(e.rec.done.first(), std::make_pair(TFtpRequest::rqOpen, 421));
    EXPECT_EQ(e.rec.sessionConnected, 0);
    EXPECT_EQ(e.ftp.ErrorMessage(), QStringLiteral("421 Service not available"));
    EXPECT_FALSE(e.ftp.IsConnected());
}

TEST(FtpOpen, RefusedPortAndUnknownHostReportTheSocketError)
{
    Engine e(ServerProcess::freePort());
    e.ftp.StartConnect();
    ASSERT_TRUE(e.rec.waitDone());
    EXPECT_EQ(e.rec.done.first(), std::make_pair(TFtpRequest::rqConnect, 10061));
    EXPECT_EQ(e.ftp.LastResponse(), QStringLiteral("500 Connection refused"));
    EXPECT_EQ(e.ftp.StatusCode(), 500);
    EXPECT_EQ(e.ftp.State(), TFtpEngineState::stReady);

    e.ftp.SetHostName(QString());
    e.ftp.StartOpen();
    ASSERT_TRUE(e.rec.waitDone(2));
    EXPECT_EQ(e.rec.lastError(), 10022);
    EXPECT_EQ(e.ftp.LastResponse(), QStringLiteral("500 Invalid argument"));
}

TEST(FtpOpen, AbortDuringTheLookupEndsWith10004)
{
    Engine e(21);
    e.ftp.SetHostName(QStringLiteral("localhost")); // a name: the lookup runs in the background
    e.ftp.StartConnect();
    ASSERT_EQ(e.ftp.State(), TFtpEngineState::stDnsLookup);
    e.ftp.Abort();
    EXPECT_EQ(e.ftp.State(), TFtpEngineState::stReady);
    ASSERT_TRUE(e.rec.waitDone());
    drainEvents();
    EXPECT_EQ(e.rec.done, (QList<std::pair<TFtpRequest, int>>{{TFtpRequest::rqConnect, 10004}}));
}

TEST(FtpOpen, AbortWhileConnectingOrWaitingForTheBannerIsNoSuccess)
{
    for (bool banner : {false, true}) {
        SCOPED_TRACE(banner);
        Peer server({Peer::Pause{banner ? 0 : 200}, kRest}); // never sends a banner
        Engine e(server.port());
        e.ftp.StartOpen();
        if (banner) {
            ASSERT_TRUE(waitFor(
                [&] { return e.ftp.IsConnected() && e.ftp.ControlSocket().State() == TSocketState::wsConnected; }));
        }
        e.ftp.Abort();
        ASSERT_TRUE(e.rec.waitDone());
        EXPECT_EQ(e.rec.done.first(), std::make_pair(TFtpRequest::rqOpen, 426));
        EXPECT_EQ(e.ftp.State(), TFtpEngineState::stReady);
        EXPECT_EQ(e.rec.sessionConnected, 0);
    }
}

TEST(FtpOpen, ProxyUserLineNamesTheTarget)
{
    const struct {
        const char *port;
        const char *line;
    } rows[] = {{"2121", "USER bob@ftp.target.test:2121\r\n"},
                {"FTP", "USER bob@ftp.target.test\r\n"},
                {"21", "USER bob@ftp.target.test\r\n"}};
    for (const auto &r : rows) {
        Peer proxy({kBanner, cmd(), say("230 through\r\n"), kRest});
        Engine e(0);
        e.ftp.SetConnectionType(TFtpConnectionType::ftpProxy);
        EXPECT_TRUE(e.ftp.Passive());
        e.ftp.SetProxyServer(QStringLiteral("127.0.0.1"));
        e.ftp.ProxyPort = QString::number(proxy.port());
        e.ftp.SetHostName(QStringLiteral("ftp.target.test"));
        e.ftp.SetPort(QString::fromLatin1(r.port));
        ASSERT_TRUE(e.connect());
        e.ftp.Abort();
        proxy.finish();
        EXPECT_EQ(proxy.received().toStdString(), r.line);
    }
}

struct CommandCase {
    const char *name;
    std::function<void(TFtpClient &)> start;
    const char *reply;
    const char *command;
    TFtpRequest type;
    int error;
};

// Test names show the case instead of its bytes.
void PrintTo(const CommandCase &c, std::ostream *os)
{
    *os << c.name;
}

class FtpCommands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(FtpCommands, SendTheLineAndJudgeTheReply)
{
    const CommandCase &c = GetParam();
    Peer server(login({cmd(), Peer::Write{QByteArray(c.reply)}, kRest}));
    Engine e(server.port());
    e.ftp.SetHostFileName(QStringLiteral("file.txt"));
    e.ftp.SetHostDirName(QStringLiteral("/pub"));
    e.ftp.SetLocalFileName(QStringLiteral("SITE CHMOD 644 file.txt"));
    ASSERT_TRUE(e.connect());
    c.start(e.ftp);
    ASSERT_TRUE(e.rec.waitDone(2));
    EXPECT_EQ(e.rec.lastType(), c.type);
    EXPECT_EQ(e.rec.lastError(), c.error);
    EXPECT_EQ(e.ftp.State(), TFtpEngineState::stReady);
    e.ftp.Abort();
    server.finish();
    EXPECT_EQ(server.received().toStdString(), std::string("USER bob\r\nPASS secret\r\n") + c.command);
    if (c.error != 0) {
        EXPECT_EQ(e.ftp.ErrorMessage().toStdString() + "\r\n", c.reply);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FtpCommands,
    ::testing::Values(CommandCase{"cwd", [](TFtpClient &f) { f.StartCwd(); }, "250 ok\r\n", "CWD /pub\r\n",
                                  TFtpRequest::rqCwd, 0},
                      CommandCase{"cwd_refused", [](TFtpClient &f) { f.StartCwd(); }, "550 No such directory\r\n",
                                  "CWD /pub\r\n", TFtpRequest::rqCwd, 550},
                      CommandCase{"mkd", [](TFtpClient &f) { f.StartMkd(); }, "257 \"/file.txt\" created\r\n",
                                  "MKD file.txt\r\n", TFtpRequest::rqMkd, 0},
                      CommandCase{"rmd", [](TFtpClient &f) { f.StartRmd(); }, "250 removed\r\n", "RMD file.txt\r\n",
                                  TFtpRequest::rqRmd, 0},
                      CommandCase{"dele_refused", [](TFtpClient &f) { f.StartDele(); }, "450 busy\r\n",
                                  "DELE file.txt\r\n", TFtpRequest::rqDele, 450},
                      CommandCase{"size", [](TFtpClient &f) { f.StartSize(); }, "213 4096\r\n", "SIZE file.txt\r\n",
                                  TFtpRequest::rqSize, 0},
                      CommandCase{"syst", [](TFtpClient &f) { f.StartSyst(); }, "215 UNIX Type: L8\r\n", "SYST\r\n",
                                  TFtpRequest::rqSyst, 0},
                      CommandCase{"type_ascii", [](TFtpClient &f) { f.StartTypeAscii(); }, "200 Type set to A\r\n",
                                  "TYPE A\r\n", TFtpRequest::rqTypeSet, 0},
                      CommandCase{"quote_any_code_below_500", [](TFtpClient &f) { f.StartQuote(); },
                                  "421 odd but below 500\r\n", "SITE CHMOD 644 file.txt\r\n", TFtpRequest::rqQuote, 0},
                      CommandCase{"quote_500", [](TFtpClient &f) { f.StartQuote(); }, "500 Unknown command\r\n",
                                  "SITE CHMOD 644 file.txt\r\n", TFtpRequest::rqQuote, 500},
                      CommandCase{"rename_rnfr_550_sends_no_rnto", [](TFtpClient &f) { f.StartRename(); },
                                  "550 No such file\r\n", "RNFR file.txt\r\n", TFtpRequest::rqRename, 550},
                      CommandCase{"rest",
                                  [](TFtpClient &f) {
                                      // Without the option REST takes the local file's size.
                                      f.SetOptions(f.Options() | ftpNoAutoResumeAt);
                                      f.ResumeAt = 1000;
                                      f.StartRest();
                                  },
                                  "350 Restarting\r\n", "REST 1000\r\n", TFtpRequest::rqRest, 0},
                      CommandCase{"quit_closes", [](TFtpClient &f) { f.StartQuit(); }, "221 Bye\r\n", "QUIT\r\n",
                                  TFtpRequest::rqQuit, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FtpResults, PwdWithADoubledQuoteAndSize)
{
    Peer server(login({cmd(), say("257 \"/home/a \"\"quoted\"\" dir\" is the current directory\r\n"), cmd(),
                       say("213 123456789\r\n"), kRest}));
    Engine e(server.port());
    ASSERT_TRUE(e.connect());
    e.ftp.StartPwd();
    ASSERT_TRUE(e.rec.waitDone(2));
    EXPECT_EQ(e.ftp.DirResult(), QStringLiteral("/home/a \"quoted\" dir"));
    e.ftp.SetHostFileName(QStringLiteral("big.iso"));
    e.ftp.StartSize();
    ASSERT_TRUE(e.rec.waitDone(3));
    EXPECT_EQ(e.ftp.SizeResult(), 123456789);
    e.ftp.Abort();
}

TEST(FtpComposite, SessionRequestsRunTheirStepsAndRestoreThePreQuitReply)
{
    Peer server(login({cmd(), say("250 CWD ok\r\n"), cmd(), say("213 77\r\n"), cmd(), say("221 Goodbye\r\n"), kRest}));
    Engine e(server.port());
    e.ftp.SetHostDirName(QStringLiteral("/pub"));
    e.ftp.SetHostFileName(QStringLiteral("a.bin"));
    e.ftp.StartSizeSession();
    ASSERT_TRUE(e.rec.waitDone());
    EXPECT_EQ(e.rec.done.first(), std::make_pair(TFtpRequest::rqSize, 0));
    EXPECT_EQ(e.ftp.SizeResult(), 77);
    EXPECT_EQ(e.ftp.LastResponse(), QStringLiteral("213 77")); // the reply before QUIT
    EXPECT_EQ(e.ftp.StatusCode(), 213);
    EXPECT_FALSE(e.ftp.IsConnected());
    server.finish();
    EXPECT_EQ(server.received(), QByteArrayLiteral("USER bob\r\nPASS secret\r\nCWD /pub\r\nSIZE a.bin\r\nQUIT\r\n"));
}

TEST(FtpComposite, AFailingStepEndsTheRequestAndSkipsQuit)
{
    Peer server(login({cmd(), say("550 Permission denied\r\n"), kRest}));
    Engine e(server.port());
    e.ftp.SetHostFileName(QStringLiteral("x"));
    e.ftp.StartDeleteSession(); // no HostDirName: CWD is skipped
    ASSERT_TRUE(e.rec.waitDone());
    EXPECT_EQ(e.rec.done.first(), std::make_pair(TFtpRequest::rqDeleteSession, 550));
    EXPECT_TRUE(e.ftp.IsConnected());
    e.ftp.Abort();
    server.finish();
    EXPECT_EQ(server.received(), QByteArrayLiteral("USER bob\r\nPASS secret\r\nDELE x\r\n"));
}

TEST(FtpUsage, RefusalsAreUsageErrorsAndSendNothing)
{
    Engine e(21);
    auto message = [&](const std::function<void()> &f) {
        try {
            f();
        } catch (const FtpException &ex) {
            return ex.message();
        }
        return QStringLiteral("nothing raised");
    };
    EXPECT_EQ(message([&] { e.ftp.StartPwd(); }), QStringLiteral("FTP component not connected"));
    // QUIT passes the checks but has nowhere to go: it ends at once instead of hanging.
    e.ftp.StartQuit();
    ASSERT_TRUE(e.rec.waitDone());
    EXPECT_EQ(e.rec.done.last(), std::make_pair(TFtpRequest::rqQuit, 10057));
    EXPECT_EQ(e.ftp.State(), TFtpEngineState::stReady);
    e.ftp.SetUserName(QString());
    Peer server({kBanner, kRest});
    e.ftp.SetPort(QString::number(server.port()));
    e.ftp.StartOpen();
    ASSERT_TRUE(e.rec.waitDone(2));
    EXPECT_EQ(message([&] { e.ftp.StartUser(); }), QStringLiteral("UserName emtpy"));
    EXPECT_EQ(message([&] { e.ftp.StartOpen(); }), QStringLiteral("FTP component already connected"));
    EXPECT_EQ(message([&] { e.ftp.StartConnect(); }), QStringLiteral("FTP component already connected"));
    EXPECT_EQ(message([&] { e.ftp.SetConnectionType(TFtpConnectionType::ftpSocks5); }),
              QStringLiteral("FTP component connected"));
    QStringList usage;
    e.ftp.OnUsageError = [&](TFtpClient *, QString &msg) { usage << msg; };
    e.ftp.StartCwd();
    EXPECT_EQ(usage, QStringList{QStringLiteral("HostDirName emtpy")});
    e.ftp.Abort();
    server.finish();
    EXPECT_EQ(server.received(), QByteArray());
}

// A CR or LF inside a name, path or password would smuggle in a second command.
TEST(FtpUnsafeInput, LineBreaksInOperandsAreNeverSent)
{
    Peer server(login({cmd(), say("250 ok\r\n"), kRest}));
    Engine e(server.port());
    ASSERT_TRUE(e.connect());
    const std::function<void(TFtpClient &)> attempts[] = {
        [](TFtpClient &f) {
            f.SetHostFileName(QStringLiteral("a\r\nDELE important"));
            f.StartDele();
        },
        [](TFtpClient &f) {
            f.SetHostDirName(QStringLiteral("/x\nRMD /"));
            f.StartCwd();
        },
        [](TFtpClient &f) {
            f.SetLocalFileName(QStringLiteral("new\rname"));
            f.StartRnto();
        },
        [](TFtpClient &f) {
            f.SetHostFileName(QStringLiteral("a\nb"));
            f.StartRename();
        },
    };
    for (const auto &attempt : attempts) {
        EXPECT_THROW(attempt(e.ftp), FtpException);
        EXPECT_EQ(e.ftp.State(), TFtpEngineState::stReady);
    }
    e.ftp.SetHostFileName(QStringLiteral("fine.txt"));
    e.ftp.StartDele();
    ASSERT_TRUE(e.rec.waitDone(2));
    EXPECT_EQ(e.rec.lastError(), 0);
    e.ftp.Abort();
    server.finish();
    EXPECT_EQ(server.received(), QByteArrayLiteral("USER bob\r\nPASS secret\r\nDELE fine.txt\r\n"));

    // Before the connection is even opened: a password with a line break.
    Peer second({kBanner, kRest});
    Engine f(second.port());
    f.ftp.SetPassWord(QStringLiteral("pw\r\nSITE EXEC rm"));
    EXPECT_THROW(f.ftp.StartConnect(), FtpException);
    EXPECT_FALSE(f.ftp.IsConnected());
}

TEST(FtpBrokenServer, OverlongReplyLineAndDroppedConnectionFailTheRequest)
{
    {
        Peer server({kBanner, cmd(), Peer::Write{QByteArray(40000, 'x')}, kRest});
        Engine e(server.port());
        e.ftp.StartConnect();
        ASSERT_TRUE(e.rec.waitDone());
        EXPECT_NE(e.rec.lastError(), 0);
        EXPECT_FALSE(e.ftp.IsConnected());
        EXPECT_EQ(e.ftp.State(), TFtpEngineState::stReady);
    }
    {
        Peer server({kBanner, cmd(), Peer::Close{}});
        Engine e(server.port());
        e.ftp.StartConnect();
        ASSERT_TRUE(e.rec.waitDone());
        EXPECT_EQ(e.rec.lastError(), 421);
        EXPECT_EQ(e.rec.sessionClosed, 1);
    }
}

TEST(FtpWait, SilentServerEndsWaitUntilReadyWithTimeout)
{
    Peer server({kBanner, cmd(), kRest}); // USER is never answered
    Engine e(server.port());
    e.ftp.SetTimeout(1);
    EXPECT_FALSE(e.ftp.RunAndWait([&] { e.ftp.StartConnect(); }));
    EXPECT_EQ(e.ftp.ErrorMessage(), QStringLiteral("426 Timeout"));
    EXPECT_EQ(e.ftp.StatusCode(), 426);
    EXPECT_EQ(e.ftp.State(), TFtpEngineState::stReady);
    EXPECT_FALSE(e.ftp.IsConnected());
    ASSERT_TRUE(e.rec.waitDone());
    EXPECT_NE(e.rec.lastError(), 0);
}

TEST(FtpWait, RunAndWaitReportsTheOutcome)
{
    Peer server(login({cmd(), say("550 no\r\n"), kRest}));
    Engine e(server.port());
    EXPECT_TRUE(e.ftp.RunAndWait([&] { e.ftp.StartConnect(); }));
    e.ftp.SetHostDirName(QStringLiteral("/none"));
    EXPECT_FALSE(e.ftp.RunAndWait([&] { e.ftp.StartCwd(); }));
    EXPECT_EQ(e.ftp.ErrorMessage(), QStringLiteral("550 no"));
    EXPECT_FALSE(e.ftp.RunAndWait([] { throw FtpException(QStringLiteral("refused")); }));
    e.ftp.AbortAndWait(); // its outcome is the last request's result (550 here)
    EXPECT_FALSE(e.ftp.IsConnected());
    EXPECT_EQ(e.ftp.State(), TFtpEngineState::stReady);
}

TEST(FtpProperties, SettersWithBehaviour)
{
    TFtpClient ftp;
    ftp.SetPassive(true);
    EXPECT_TRUE(ftp.Passive());
    ftp.SetPassive(false);
    EXPECT_FALSE(ftp.Passive());
    for (auto type : {TFtpConnectionType::ftpProxy, TFtpConnectionType::ftpSocks4, TFtpConnectionType::ftpSocks4A,
                      TFtpConnectionType::ftpSocks5}) {
        ftp.SetConnectionType(TFtpConnectionType::ftpDirect);
        ftp.SetPassive(false);
        ftp.SetConnectionType(type);
        ftp.SetPassive(false); // stays passive through a proxy
        EXPECT_TRUE(ftp.Passive());
    }
    EXPECT_EQ(ftp.ControlSocket().SocksLevel(), QStringLiteral("5"));
    EXPECT_EQ(ftp.DataSocket().SocksAuthentication(), TSocksAuthentication::socksAuthenticateUsercode);
    ftp.SetConnectionType(static_cast<TFtpConnectionType>(9));
    EXPECT_EQ(ftp.ConnectionType(), TFtpConnectionType::ftpDirect);
    EXPECT_EQ(ftp.ControlSocket().SocksAuthentication(), TSocksAuthentication::socksNoAuthentication);

    const std::pair<TFtpShareMode, int> shares[] = {{TFtpShareMode::ftpShareCompat, 0},
                                                    {TFtpShareMode::ftpShareExclusive, 16},
                                                    {TFtpShareMode::ftpShareDenyWrite, 32},
                                                    {TFtpShareMode::ftpShareDenyRead, 48},
                                                    {TFtpShareMode::ftpShareDenyNone, 64}};
    for (const auto &[mode, flags] : shares) {
        ftp.SetShareMode(mode);
        EXPECT_EQ(ftp.ShareFlags(), flags);
        EXPECT_EQ(ftp.ShareMode(), mode);
    }
    ftp.SetDisplayFileMode(1);
    EXPECT_EQ(ftp.DisplayFileMode(), 1);
    ftp.SetDisplayFileMode(5);
    EXPECT_EQ(ftp.DisplayFileMode(), 0);
    EXPECT_EQ(ftp.State(), TFtpEngineState::stReady);
    EXPECT_EQ(ftp.Port(), QStringLiteral("ftp"));
    EXPECT_TRUE(ftp.Binary());
    EXPECT_EQ(ftp.Timeout(), 15);
}

// --- servers that bend or break the protocol ------------------------------------------------------

// A whole conversation: the connect request, then each further request once the one before
// it succeeded. errors holds the outcome of every request, the connect first.
struct Conversation {
    const char *name;
    Steps script;
    std::vector<std::function<void(TFtpClient &)>> requests;
    const char *transcript;
    std::vector<int> errors;
    const char *message = ""; // the start of ErrorMessage after the last request
    bool closes = false;      // the engine closed the control connection
    std::function<void(TFtpClient &, uint16_t port)> setup = nullptr;
};

void PrintTo(const Conversation &c, std::ostream *os)
{
    *os << c.name;
}

class FtpMisbehavingServer : public ::testing::TestWithParam<Conversation> {};

TEST_P(FtpMisbehavingServer, FailsClearlyOrSucceedsOnlyOnRealReplies)
{
    const Conversation &c = GetParam();
    Peer server(c.script);
    Engine e(server.port());
    e.ftp.SetReplyTimeoutMs(1000);
    if (c.setup)
        c.setup(e.ftp, server.port());
    e.ftp.StartConnect();
    for (size_t i = 0; i < c.errors.size(); ++i) {
        ASSERT_TRUE(e.rec.waitDone(static_cast<qsizetype>(i + 1), 5000)) << "request " << i << " never ended";
        if (i < c.requests.size() && e.rec.lastError() == 0)
            c.requests[i](e.ftp);
    }
    drainEvents();
    std::vector<int> errors;
    for (const auto &d : e.rec.done)
        errors.push_back(d.second);
    EXPECT_EQ(errors, c.errors) << e.rec.display.join(QLatin1Char('|')).toStdString();
    if (*c.message) {
        EXPECT_TRUE(e.ftp.ErrorMessage().startsWith(QString::fromUtf8(c.message)))
            << e.ftp.ErrorMessage().toStdString();
    } else {
        EXPECT_TRUE(e.ftp.ErrorMessage().isEmpty()) << e.ftp.ErrorMessage().toStdString();
    }
    EXPECT_EQ(e.ftp.State(), TFtpEngineState::stReady);
    if (c.closes) {
        EXPECT_FALSE(e.ftp.IsConnected());
    }
    e.ftp.Abort();
    server.finish();
    EXPECT_EQ(server.received().toStdString(), c.transcript);
}

void cwdPub(TFtpClient &f)
{
    f.SetHostDirName(QStringLiteral("/pub"));
    f.StartCwd();
}
void pwd(TFtpClient &f)
{
    f.StartPwd();
}
void syst(TFtpClient &f)
{
    f.StartSyst();
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FtpMisbehavingServer,
    ::testing::Values(
        Conversation{"multi_line_reply_ends_only_at_its_own_code",
                     login({cmd(), say("250-Directory notes\r\n550 this line is text\r\n250-still text\r\n"),
                            Peer::Pause{50}, say("250 done\r\n"), cmd(), say("257 \"/pub\" is current\r\n"), kRest}),
                     {cwdPub, pwd},
                     "USER bob\r\nPASS secret\r\nCWD /pub\r\nPWD\r\n",
                     {0, 0, 0}},
        Conversation{"nul_byte_is_a_protocol_error",
                     login({cmd(), Peer::Write{QByteArray("215 UNIX\0 Type\r\n", 16)}, kRest}),
                     {syst},
                     "USER bob\r\nPASS secret\r\nSYST\r\n",
                     {0, 500},
                     "500 Protocol error",
                     true},
        Conversation{"lone_cr_is_a_protocol_error",
                     login({cmd(), say("215 UNIX\rType\r\n"), kRest}),
                     {syst},
                     "USER bob\r\nPASS secret\r\nSYST\r\n",
                     {0, 500},
                     "500 Protocol error",
                     true},
        Conversation{"greeting_without_a_code",
                     {say("Welcome!\r\n220 ready\r\n"), kRest},
                     {},
                     "",
                     {500},
                     "500 Not an FTP",
                     true},
        Conversation{"greeting_empty_line", {say("\r\n"), kRest}, {}, "", {500}, "500 Not an FTP", true},
        Conversation{
            "greeting_code_out_of_range", {say("600 hello\r\n"), kRest}, {}, "", {500}, "500 Not an FTP", true},
        Conversation{"stale_230_in_the_greeting_packet_is_no_login",
                     {say("220 hi\r\n230 logged in\r\n"), cmd(), say("331 pw\r\n"), cmd(), say("530 no\r\n"), kRest},
                     {},
                     "USER bob\r\nPASS secret\r\n",
                     {530},
                     "530 no"},
        Conversation{"pwd_path_not_closed",
                     login({cmd(), say("257 \"/home/a is current\r\n"), kRest}),
                     {pwd},
                     "USER bob\r\nPASS secret\r\nPWD\r\n",
                     {0, 500},
                     "500 Invalid path"},
        Conversation{"pwd_path_with_a_control_character",
                     login({cmd(), say("257 \"/a\tb\" is current\r\n"), kRest}),
                     {pwd},
                     "USER bob\r\nPASS secret\r\nPWD\r\n",
                     {0, 500},
                     "500 Invalid path"}),
    [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Waiting, FtpMisbehavingServer,
    ::testing::Values(Conversation{"greeting_never_comes", {kRest}, {}, "", {10060}, "Timeout", true},
                      Conversation{
                          "user_never_answered", {kBanner, cmd(), kRest}, {}, "USER bob\r\n", {10060}, "Timeout", true},
                      Conversation{"multi_line_reply_never_finished",
                                   {kBanner, cmd(), say("331-one\r\n331-two\r\n"), kRest},
                                   {},
                                   "USER bob\r\n",
                                   {10060},
                                   "Timeout",
                                   true},
                      Conversation{"cwd_never_answered",
                                   login({cmd(), kRest}),
                                   {cwdPub},
                                   "USER bob\r\nPASS secret\r\nCWD /pub\r\n",
                                   {0, 10060},
                                   "Timeout",
                                   true},
                      Conversation{"usage_error_in_a_later_step_ends_the_request",
                                   {kBanner, kRest},
                                   {},
                                   "",
                                   {500},
                                   "500 Line break",
                                   false,
                                   [](TFtpClient &f, uint16_t port) {
                                       // Through an FTP proxy the host goes into the USER line.
                                       f.SetConnectionType(TFtpConnectionType::ftpProxy);
                                       f.SetProxyServer(QStringLiteral("127.0.0.1"));
                                       f.ProxyPort = QString::number(port);
                                       f.SetHostName(QStringLiteral("ftp.example\r\nDELE x"));
                                   }}),
    [](const auto &info) { return std::string(info.param.name); });

// The engine that negotiates UTF-8 asks FEAT after the login and switches UTF8 on when it
// is offered; a machine listing's facts that are offered but not sent (permissions, on
// pyftpdlib) are asked for with OPTS MLST. The caller still sees the login's reply.
TEST(FtpFeatures, OptsUtf8AndMlstOnlyWhenFeatOffersThem)
{
    const struct {
        const char *name;
        Steps feat;
        const char *transcript;
    } rows[] = {
        {"offered",
         {cmd(), say("211-Features:\r\n MDTM\r\n UTF8\r\n211 End\r\n"), cmd(), say("200 UTF8 on\r\n")},
         "USER bob\r\nPASS secret\r\nFEAT\r\nOPTS UTF8 ON\r\n"},
        {"not_offered", {cmd(), say("211-Features:\r\n MDTM\r\n211 End\r\n")}, "USER bob\r\nPASS secret\r\nFEAT\r\n"},
        {"feat_unknown", {cmd(), say("500 FEAT not understood\r\n")}, "USER bob\r\nPASS secret\r\nFEAT\r\n"},
        {"mlst_mode_offered",
         {cmd(),
          say("211-Features:\r\n MLST type*;perm*;size*;modify*;unique*;unix.mode;unix.uid;\r\n UTF8\r\n211 End\r\n"),
          cmd(), say("200 UTF8 on\r\n"), cmd(), say("200 MLST OPTS type;perm;size;modify;unique;unix.mode;\r\n")},
         "USER bob\r\nPASS secret\r\nFEAT\r\nOPTS UTF8 ON\r\nOPTS MLST type;perm;size;modify;unique;unix.mode;\r\n"},
        {"mlst_refused_login_stands",
         {cmd(), say("211-Features:\r\n MLST type*;size*;modify;\r\n211 End\r\n"), cmd(), say("501 no\r\n")},
         "USER bob\r\nPASS secret\r\nFEAT\r\nOPTS MLST type;size;modify;\r\n"},
        {"mlst_already_sends_them",
         {cmd(), say("211-Features:\r\n MLST type*;size*;modify*;UNIX.mode*;\r\n211 End\r\n")},
         "USER bob\r\nPASS secret\r\nFEAT\r\n"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        Steps script = login(r.feat);
        script.push_back(kRest);
        Peer server(script);
        Engine e(server.port());
        e.ftp.SetNegotiateUtf8(true);
        ASSERT_TRUE(e.connect()) << e.rec.display.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(e.ftp.LastResponse(), QStringLiteral("230 logged in"));
        EXPECT_TRUE(e.ftp.ErrorMessage().isEmpty());
        e.ftp.Abort();
        server.finish();
        EXPECT_EQ(server.received().toStdString(), r.transcript);
    }
}

TEST(FtpEvents, OnCommandMayRewriteTheLineBeforeItIsShownAndSent)
{
    Peer server(login({cmd(), say("200 ok\r\n"), kRest}));
    Engine e(server.port());
    ASSERT_TRUE(e.connect());
    e.ftp.OnCommand = [](TFtpClient *, QString &line) {
        if (line == QLatin1String("SYST"))
            line = QStringLiteral("NOOP");
    };
    e.ftp.StartSyst();
    ASSERT_TRUE(e.rec.waitDone(2));
    EXPECT_EQ(e.rec.lastError(), 200); // 200 is not an accepted reply to SYST
    EXPECT_TRUE(e.rec.display.contains(QStringLiteral("> NOOP")));
    e.ftp.Abort();
    server.finish();
    EXPECT_TRUE(server.received().endsWith("NOOP\r\n"));
}

TEST(FtpEvents, ExceptionFromOnRequestDoneGoesToOnBgException)
{
    Peer server({kBanner, kRest});
    Engine e(server.port());
    QString caught;
    e.ftp.OnRequestDone = [](TFtpClient *, TFtpRequest, int) { throw FtpException(QStringLiteral("handler bug")); };
    e.ftp.OnBgException = [&](TFtpClient *, const std::exception &ex, bool &) {
        caught = QString::fromLocal8Bit(ex.what());
    };
    e.ftp.StartOpen();
    ASSERT_TRUE(waitFor([&] { return !caught.isEmpty(); }));
    EXPECT_EQ(caught, QStringLiteral("handler bug"));
    EXPECT_TRUE(e.ftp.IsConnected()); // nothing else follows
    e.ftp.Abort();
}

} // namespace
