// The FTP engine's data side against a scripted server: the two replies of a transfer in
// either order with the data close, failures, REST, uploads, abort, PORT, EPRT, EPSV and PASV.
#include "ftp/FtpCli.h"

#include "support/FtpRecorder.h"
#include "support/ScriptedFtpServer.h"
#include "support/ScriptedPeer.h"
#include "support/ServerProcess.h"
#include "support/WaitFor.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Step = ScriptedFtpServer::Step;

QByteArray pattern(int size, int offset = 7)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + offset) & 0xFF);
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A scripted server with the login already scripted, and an engine logged in to it.
struct Session {
    ScriptedFtpServer srv;
    TFtpClient ftp;
    FtpRecorder rec{ftp};
    QTemporaryDir dir;
    bool passive;

    explicit Session(bool passiveMode) : passive(passiveMode)
    {
        srv.greet().reply(QStringLiteral("220 ready"));
        srv.on(QStringLiteral("USER bob")).reply(QStringLiteral("331 password please"));
        srv.on(QStringLiteral("PASS *")).reply(QStringLiteral("230 in"));
        ftp.SetHostName(QStringLiteral("127.0.0.1"));
        ftp.SetPort(QString::number(srv.port()));
        ftp.SetUserName(QStringLiteral("bob"));
        ftp.SetPassWord(QStringLiteral("secret"));
        ftp.SetPassive(passive);
        ftp.SetLocalFileName(local());
        ftp.SetHostFileName(QStringLiteral("f"));
    }
    QString local() const { return dir.filePath(QStringLiteral("local.bin")); }
    bool login()
    {
        ftp.StartConnect();
        return rec.waitDone(1) && rec.lastError() == 0;
    }
    // Scripts EPSV or PORT, then the transfer command; in active mode the server connects
    // to the client's listener first.
    Step &transfer(const QString &command)
    {
        portOnly();
        Step &s = srv.on(command);
        if (!passive)
            s.connectActive();
        return s;
    }
    void portOnly()
    {
        if (passive)
            srv.on(QStringLiteral("EPSV")).epsv();
        else
            srv.on(QStringLiteral("PORT *")).reply(QStringLiteral("200 PORT ok"));
    }
    int run(const std::function<void()> &start)
    {
        const qsizetype before = rec.done.size();
        start();
        return rec.waitDone(before + 1) ? rec.lastError() : -1;
    }
    QStringList commands() const { return srv.transcript().mid(2); } // after USER and PASS
    QString port() const { return passive ? QStringLiteral("EPSV") : srv.transcript().value(2); }
    // The server listens on ::1 and the client connects there; false without IPv6 loopback.
    bool useIPv6()
    {
        if (!ServerProcess::hasIPv6Loopback() || !srv.listenIPv6())
            return false;
        ftp.SetHostName(QStringLiteral("::1"));
        ftp.SetPort(QString::number(srv.port()));
        return true;
    }
    // A server of the old kind: it does not know EPSV, so the client falls back to PASV.
    void refuseEpsv() { srv.on(QStringLiteral("EPSV")).reply(QStringLiteral("500 'EPSV': command not understood.")); }
    bool shown(const QString &line) const { return rec.display.contains(line); }
};

const QByteArray kPayload = pattern(70000);

// --- downloads: replies and the data close in every order ---------------------------------------

struct DownloadCase {
    const char *name;
    std::function<void(Step &)> script; // after RETR f
    int error;                          // -2: any failure
    bool completeFile;
    bool failedLine; // "! RETR/LIST/NLST Failed"
};

void PrintTo(const DownloadCase &c, std::ostream *os)
{
    *os << c.name;
}

const DownloadCase kDownloads[] = {
    {"226-after-close",
     [](Step &s) { s.reply(QStringLiteral("150 go")).dataSend(kPayload).dataClose().reply(QStringLiteral("226 ok")); },
     0, true, false},
    {"226-before-close",
     [](Step &s) {
         s.reply(QStringLiteral("150 go")).reply(QStringLiteral("226 ok")).delay(150).dataSend(kPayload).dataClose();
     },
     0, true, false},
    {"first-reply-425", [](Step &s) { s.reply(QStringLiteral("425 no data connection")); }, 425, false, false},
    {"first-reply-550", [](Step &s) { s.reply(QStringLiteral("550 no such file")); }, 550, false, false},
    {"final-426",
     [](Step &s) {
         s.reply(QStringLiteral("150 go")).dataSend(pattern(100)).dataClose().reply(QStringLiteral("426 broken"));
     },
     426, false, true},
    {"reset-then-226",
     [](Step &s) {
         s.reply(QStringLiteral("150 go")).dataSend(kPayload).dataReset().delay(100).reply(QStringLiteral("226 ok"));
     },
     -2, false, false},
};

class FtpDownload : public ::testing::TestWithParam<std::tuple<DownloadCase, bool>> {};

TEST_P(FtpDownload, EndsWhenReplyAndCloseAreBothIn)
{
    const auto &[c, passive] = GetParam();
    Session s(passive);
    c.script(s.transfer(QStringLiteral("RETR f")));
    ASSERT_TRUE(s.login());
    const int error = s.run([&] { s.ftp.StartReceive(); });
    if (c.error == -2)
        EXPECT_NE(error, 0) << s.rec.display.join(QLatin1Char('\n')).toStdString();
    else
        EXPECT_EQ(error, c.error) << s.rec.display.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(s.rec.lastType(), TFtpRequest::rqReceive);
    EXPECT_EQ(s.commands(), (QStringList{s.port(), QStringLiteral("RETR f")}));
    if (c.completeFile) {
        EXPECT_EQ(readFile(s.local()), kPayload);
        EXPECT_EQ(s.ftp.ByteCount, kPayload.size());
        EXPECT_EQ(s.rec.display.filter(QStringLiteral("! %1 bytes received/sent in ").arg(kPayload.size())).size(), 1);
    }
    EXPECT_EQ(s.shown(QStringLiteral("! RETR/LIST/NLST Failed")), c.failedLine);
    EXPECT_EQ(s.ftp.State(), TFtpEngineState::stReady);
    EXPECT_EQ(s.rec.done.size(), 2); // one completion, never a second
    EXPECT_TRUE(s.srv.errors().isEmpty()) << s.srv.errors().join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, FtpDownload, ::testing::Combine(::testing::ValuesIn(kDownloads), ::testing::Bool()),
                         [](const auto &info) {
                             QString n =
                                 QString::fromLatin1(std::get<0>(info.param).name) +
                                 (std::get<1>(info.param) ? QStringLiteral("_passive") : QStringLiteral("_active"));
                             return n.replace(QLatin1Char('-'), QLatin1Char('_')).toStdString();
                         });

TEST(FtpDownloadLocal, AFailingLocalWriteFailsTheTransferThoughTheServerSays226)
{
    Session s(true);
    s.transfer(QStringLiteral("RETR f"))
        .reply(QStringLiteral("150 go"))
        .dataSend(kPayload)
        .dataClose()
        .reply(QStringLiteral("226 ok"));
    ASSERT_TRUE(s.login());
    s.ftp.SetLocalFileName(QStringLiteral("/dev/full")); // every write fails: disk full
    EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 550);
    // The system's reason is named.
    EXPECT_TRUE(s.shown(QStringLiteral("! Error writing local file: No space left on device")))
        << s.rec.display.join(QLatin1Char('\n')).toStdString();
}

TEST(FtpDownloadLocal, ALocalFileThatCannotBeCreatedFailsWith550)
{
    Session s(true);
    s.srv.on(QStringLiteral("EPSV")).epsv();
    ASSERT_TRUE(s.login());
    s.ftp.SetLocalFileName(s.dir.filePath(QStringLiteral("no/such/folder/x")));
    EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 550);
    EXPECT_EQ(s.ftp.LastResponse(), QStringLiteral("Unable to open local file ") + s.ftp.LocalFileName() +
                                        QStringLiteral(": No such file or directory"));
    EXPECT_EQ(s.commands(), QStringList{QStringLiteral("EPSV")}); // no RETR
}

// What a finished download's file holds, as the engine tells it from the descriptor it
// closed: a new file, one continued after REST, a longer old file replaced (cut to the new
// length), and a device, which keeps no length, where the bytes written count.
TEST(FtpDownloadLocal, TheDownloadedLengthIsWhatTheClosedFileHolds)
{
    const QByteArray head = pattern(1000, 1), tail = pattern(3000, 2);
    struct Case {
        const char *name;
        QByteArray before; // the local file before; empty: none
        bool resume;
        const char *local; // nullptr: the session's file
        std::int64_t length;
    };
    const Case cases[] = {
        {"new file", {}, false, nullptr, 3000},
        {"continued after REST", head, true, nullptr, 4000},
        {"longer old file replaced", pattern(9000, 3), false, nullptr, 3000},
        {"a device", {}, false, "/dev/null", 3000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Session s(true);
        s.srv.on(QStringLiteral("EPSV")).epsv();
        if (c.resume)
            s.srv.on(QStringLiteral("REST 1000")).reply(QStringLiteral("350 restarting"));
        s.srv.on(QStringLiteral("RETR f"))
            .reply(QStringLiteral("150 go"))
            .dataSend(tail)
            .dataClose()
            .reply(QStringLiteral("226 ok"));
        if (!c.before.isEmpty())
            writeFile(s.local(), c.before);
        if (c.local)
            s.ftp.SetLocalFileName(QString::fromLatin1(c.local));
        ASSERT_TRUE(s.login());
        EXPECT_EQ(s.run([&] { c.resume ? s.ftp.StartRestGet() : s.ftp.StartReceive(); }), 0);
        EXPECT_EQ(s.ftp.DownloadedLength(), c.length);
        if (!c.local) {
            EXPECT_EQ(QFileInfo(s.local()).size(), c.length);
        }
    }
}

// --- listings into OnDisplayFile ------------------------------------------------------------------------

TEST(FtpListing, DisplayFileGetsBlocksInMode1AndLinesInMode0AndNoFileIsWritten)
{
    const QByteArray listing = "-rw-r--r-- 1 a b 5 Jan 1 2020 one\r\ndrwxr-xr-x 2 a b 0 Jan 1 2020 two\r\n";
    for (int mode : {1, 0}) {
        Session s(true);
        s.transfer(QStringLiteral("LIST"))
            .reply(QStringLiteral("150 here"))
            .dataSend(listing)
            .dataClose()
            .reply(QStringLiteral("226 ok"));
        ASSERT_TRUE(s.login());
        QStringList pieces;
        s.ftp.OnDisplayFile = [&](TFtpClient *, QString &msg) { pieces << msg; };
        s.ftp.SetDisplayFileFlag(true);
        s.ftp.SetDisplayFileMode(mode);
        s.ftp.SetHostFileName(QString());
        EXPECT_EQ(s.run([&] { s.ftp.StartDir(); }), 0);
        EXPECT_EQ(s.rec.lastType(), TFtpRequest::rqDir);
        EXPECT_FALSE(QFile::exists(s.local())) << "mode " << mode;
        if (mode == 1)
            EXPECT_EQ(pieces.join(QString()), QString::fromLatin1(listing));
        else
            EXPECT_EQ(pieces, (QStringList{QStringLiteral("-rw-r--r-- 1 a b 5 Jan 1 2020 one"),
                                           QStringLiteral("drwxr-xr-x 2 a b 0 Jan 1 2020 two")}));
    }
}

// --- REST and resumed downloads --------------------------------------------------------------------------

TEST(FtpRestGet, RestartsAtTheLocalSizeOnlyWhereTheServerAgrees)
{
    const QByteArray head = pattern(1000, 1), tail = pattern(3000, 2);
    struct Case {
        const char *name;
        bool localFile;
        const char *restReply; // nullptr: no REST expected
        int error;
        QByteArray after;
    };
    const Case cases[] = {
        {"350 appends from 1000", true, "350 restarting", 0, head + tail},
        {"500 fails without RETR", true, "500 no REST here", 500, head},
        {"no local file, no REST", false, nullptr, 0, tail},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Session s(true);
        s.srv.on(QStringLiteral("EPSV")).epsv();
        if (c.restReply)
            s.srv.on(QStringLiteral("REST 1000")).reply(QString::fromLatin1(c.restReply));
        if (c.error == 0)
            s.srv.on(QStringLiteral("RETR f"))
                .reply(QStringLiteral("150 go"))
                .dataSend(tail)
                .dataClose()
                .reply(QStringLiteral("226 ok"));
        if (c.localFile)
            writeFile(s.local(), head);
        ASSERT_TRUE(s.login());
        EXPECT_EQ(s.run([&] { s.ftp.StartRestGet(); }), c.error);
        EXPECT_EQ(s.rec.lastType(), TFtpRequest::rqRestGet);
        QStringList expected{QStringLiteral("EPSV")};
        if (c.restReply)
            expected << QStringLiteral("REST 1000");
        if (c.error == 0)
            expected << QStringLiteral("RETR f");
        EXPECT_EQ(s.commands(), expected);
        EXPECT_EQ(readFile(s.local()), c.after);
        EXPECT_EQ(s.ftp.ResumeAt, c.error == 0 ? 0 : 1000);
    }
}

// --- uploads -----------------------------------------------------------------------------------------------

class FtpUpload : public ::testing::TestWithParam<bool> {};

TEST_P(FtpUpload, SendsTheWholeFileInBlocksAndClosesWhenDone)
{
    Session s(GetParam());
    const QByteArray content = pattern(2500);
    writeFile(s.local(), content);
    s.transfer(QStringLiteral("STOR f"))
        .reply(QStringLiteral("150 send"))
        .dataReceive()
        .reply(QStringLiteral("226 ok"));
    ASSERT_TRUE(s.login());
    s.ftp.DataSendBlock = 1460;
    QList<int64_t> counts;
    s.ftp.OnProgress = [&](TFtpClient *, int64_t count, bool &) { counts << count; };
    EXPECT_EQ(s.run([&] { s.ftp.StartRestPut(); }), 0); // ResumeAt 0: no REST
    EXPECT_EQ(s.rec.lastType(), TFtpRequest::rqPut);
    EXPECT_EQ(s.commands(), (QStringList{s.port(), QStringLiteral("STOR f")}));
    EXPECT_EQ(s.srv.received(), content);
    EXPECT_EQ(s.ftp.ByteCount, 2500);
    // Progress before each block: 0, 1460, then at the end of the file 2500.
    ASSERT_GE(counts.size(), 3);
    EXPECT_EQ(counts.mid(0, 3), (QList<int64_t>{0, 1460, 2500}));
    EXPECT_EQ(s.rec.display.filter(QStringLiteral("! 2500 bytes received/sent in ")).size(), 1);
}

TEST_P(FtpUpload, RestartUploadSendsRestAndTheRestOfTheFile)
{
    Session s(GetParam());
    const QByteArray content = pattern(5000);
    writeFile(s.local(), content);
    s.portOnly();
    s.srv.on(QStringLiteral("REST 1000")).reply(QStringLiteral("350 restarting"));
    Step &stor = s.srv.on(QStringLiteral("STOR f"));
    if (!s.passive)
        stor.connectActive();
    stor.reply(QStringLiteral("150 send")).dataReceive().reply(QStringLiteral("226 ok"));
    ASSERT_TRUE(s.login());
    s.ftp.ResumeAt = 1000;
    EXPECT_EQ(s.run([&] { s.ftp.StartRestPut(); }), 0) << s.rec.display.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(s.rec.lastType(), TFtpRequest::rqPut);
    EXPECT_EQ(s.srv.received(), content.mid(1000));
    EXPECT_EQ(s.ftp.ResumeAt, 0);
}

TEST_P(FtpUpload, RefusalsAndFailuresEndWithTheirCodes)
{
    struct Case {
        const char *name;
        std::function<void(Session &)> setup;
        int error;
        QString shown;
    };
    const Case cases[] = {
        {"STOR refused",
         [](Session &s) { s.transfer(QStringLiteral("STOR f")).reply(QStringLiteral("553 not allowed")); }, 553,
         QString()},
        {"final 451",
         [](Session &s) {
             s.transfer(QStringLiteral("STOR f"))
                 .reply(QStringLiteral("150 send"))
                 .dataReceive()
                 .reply(QStringLiteral("451 disk trouble"));
         },
         451, QStringLiteral("! STOR Failed")},
        {"cancelled",
         [](Session &s) {
             s.portOnly();
             s.ftp.OnReadyToTransmit = [](TFtpClient *, bool &cancel) { cancel = true; };
         },
         426, QStringLiteral("! 426 Transmit cancelled by application")},
        {"no local file",
         [](Session &s) {
             s.portOnly();
             s.ftp.SetLocalFileName(s.dir.filePath(QStringLiteral("missing")));
         },
         426, QStringLiteral("! 426 Unable to open local file %1: No such file or directory")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Session s(GetParam());
        writeFile(s.local(), pattern(3000));
        c.setup(s);
        ASSERT_TRUE(s.login());
        EXPECT_EQ(s.run([&] { s.ftp.StartPut(); }), c.error);
        EXPECT_EQ(s.rec.lastType(), TFtpRequest::rqPut);
        if (!c.shown.isEmpty()) {
            const QString text = c.shown.contains(QLatin1String("%1")) ? c.shown.arg(s.ftp.LocalFileName()) : c.shown;
            EXPECT_TRUE(s.shown(text)) << s.rec.display.join(QLatin1Char('\n')).toStdString();
        }
        EXPECT_EQ(s.ftp.State(), TFtpEngineState::stReady);
    }
}

TEST_P(FtpUpload, AppendSendsAppeAndReportsItsOwnRequestType)
{
    Session s(GetParam());
    const QByteArray content = pattern(4000);
    writeFile(s.local(), content);
    s.transfer(QStringLiteral("APPE f"))
        .reply(QStringLiteral("150 send"))
        .dataReceive()
        .reply(QStringLiteral("226 ok"));
    ASSERT_TRUE(s.login());
    EXPECT_EQ(s.run([&] { s.ftp.StartAppend(); }), 0);
    EXPECT_EQ(s.rec.lastType(), TFtpRequest::rqAppend);
    EXPECT_EQ(s.srv.received(), content);
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpUpload, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "passive" : "active"; });

TEST_P(FtpUpload, ServerClosingTheDataConnectionEarlyFailsThoughItSays226)
{
    Session s(GetParam());
    writeFile(s.local(), pattern(8 * 1024 * 1024));
    s.transfer(QStringLiteral("STOR f"))
        .reply(QStringLiteral("150 send"))
        .dataReset()
        .delay(200)
        .reply(QStringLiteral("226 ok"));
    ASSERT_TRUE(s.login());
    EXPECT_GT(s.run([&] { s.ftp.StartPut(); }), 0) << s.rec.display.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(s.ftp.State(), TFtpEngineState::stReady);
}

TEST(FtpUploadActive, StartsWhenTheServerConnectsOnlyAfterItsGoReply)
{
    Session s(false);
    const QByteArray content = pattern(300000);
    writeFile(s.local(), content);
    s.portOnly();
    s.srv.on(QStringLiteral("STOR f"))
        .reply(QStringLiteral("150 send"))
        .delay(100)
        .connectActive()
        .dataReceive()
        .reply(QStringLiteral("226 ok"));
    ASSERT_TRUE(s.login());
    EXPECT_EQ(s.run([&] { s.ftp.StartPut(); }), 0);
    EXPECT_EQ(s.srv.received(), content);
}

// --- abort from OnProgress -----------------------------------------------------------------------------------

TEST(FtpAbort, AbortFromOnProgressClosesTheDataConnectionAndFailsTheTransfer)
{
    // The server's answer decides the code; a 226 after an abort still leaves a partial file.
    for (const char *answer : {"426 transfer aborted", "226 ok anyway"}) {
        SCOPED_TRACE(answer);
        Session s(true);
        s.transfer(QStringLiteral("RETR f"))
            .reply(QStringLiteral("150 go"))
            .dataSend(pattern(4 * 1024 * 1024))
            .dataReceive()
            .reply(QString::fromLatin1(answer));
        ASSERT_TRUE(s.login());
        s.ftp.OnProgress = [&](TFtpClient *ftp, int64_t, bool &abort) { abort = ftp->ByteCount > 0; };
        EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 426);
        EXPECT_TRUE(s.shown(QStringLiteral("! Abort requested")));
        EXPECT_LT(QFile(s.local()).size(), 4 * 1024 * 1024);
    }
}

// A listener on 127.0.0.1 whose accept queue is full: a further connect to it stays
// pending (the system drops its SYN), so a data connection stays "being opened".
class JammedListener {
public:
    JammedListener()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(m_listener, 0) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&a), &length) != 0)
            return;
        m_port = ntohs(a.sin_port);
        for (int i = 0; i < 4; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
            m_fillers.push_back(fd);
        }
    }
    ~JammedListener()
    {
        for (int fd : m_fillers)
            ::close(fd);
        ::close(m_listener);
    }
    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    quint16 m_port = 0;
    std::vector<int> m_fillers;
};

TEST(FtpAbortTransfer, APassiveUploadStillOpeningItsDataConnectionEndsAtOnceWith426)
{
    JammedListener jammed;
    ASSERT_NE(jammed.port(), 0);
    Session s(true);
    writeFile(s.local(), pattern(100));
    s.srv.on(QStringLiteral("PASV"))
        .reply(QStringLiteral("227 Entering Passive Mode (127,0,0,1,%1,%2)")
                   .arg(jammed.port() >> 8)
                   .arg(jammed.port() & 0xFF));
    ASSERT_TRUE(s.login());
    s.ftp.SetReplyTimeoutMs(30000); // far beyond the wait below: only the abort can end it
    bool opening = false;
    s.ftp.OnReadyToTransmit = [&](TFtpClient *, bool &) { opening = true; };
    const qsizetype before = s.rec.done.size();
    s.ftp.StartPut();
    ASSERT_TRUE(waitFor([&] { return opening; }, 5000));
    drainEvents();
    ASSERT_EQ(s.rec.done.size(), before) << "the data connection was expected to stay pending";

    s.ftp.AbortTransfer();
    ASSERT_TRUE(s.rec.waitDone(before + 1, 2000));
    EXPECT_EQ(s.rec.lastError(), 426);
    EXPECT_FALSE(s.commands().contains(QStringLiteral("STOR f"))) << "STOR never goes out";
    EXPECT_TRUE(s.ftp.IsConnected()) << "the control connection stays";
    EXPECT_EQ(s.ftp.State(), TFtpEngineState::stReady);
}

TEST(FtpWaitTransfer, EveryDataBlockMovesTheWaitDeadlineOn)
{
    // Two pauses of 700 ms: together longer than the 1-second timeout, each shorter.
    Session s(true);
    s.transfer(QStringLiteral("RETR f"))
        .reply(QStringLiteral("150 go"))
        .dataSend(pattern(1000))
        .delay(700)
        .dataSend(pattern(1000, 3))
        .delay(700)
        .dataSend(pattern(1000, 5))
        .dataClose()
        .reply(QStringLiteral("226 ok"));
    ASSERT_TRUE(s.login());
    s.ftp.SetTimeout(1);
    EXPECT_TRUE(s.ftp.RunAndWait([&] { s.ftp.StartReceive(); })) << s.ftp.ErrorMessage().toStdString();
    EXPECT_EQ(QFile(s.local()).size(), 3000);
}

// --- PORT and PASV ----------------------------------------------------------------------------------------------

TEST(FtpPort, ActiveModeOnLoopbackSendsTheListenerPort)
{
    Session s(false);
    s.transfer(QStringLiteral("RETR f"))
        .reply(QStringLiteral("150 go"))
        .dataSend(kPayload)
        .dataClose()
        .reply(QStringLiteral("226 ok"));
    ASSERT_TRUE(s.login());
    EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^PORT 127,0,0,1,\\d{1,3},\\d{1,3}$")).match(s.port()).hasMatch())
        << s.port().toStdString();
    EXPECT_EQ(readFile(s.local()), kPayload); // the server reached the port we named
}

TEST(FtpPasv, RepliesWithoutSixNumbersInBracketsFailThePortStep)
{
    for (const char *reply : {"227 Entering Passive Mode 127,0,0,1,4,1", "227 Entering Passive Mode (127,0,0,1,4)",
                              "227 Entering Passive Mode (127,0,0,1,300,1)", "227 ok (a,b,c,d,e,f)", "227 ()",
                              "227 Entering Passive Mode (127,0,0,1,4,1,9)"}) {
        SCOPED_TRACE(reply);
        Session s(true);
        s.refuseEpsv();
        s.srv.on(QStringLiteral("PASV")).reply(QString::fromLatin1(reply));
        ASSERT_TRUE(s.login());
        EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 500);
        EXPECT_EQ(s.commands(), (QStringList{QStringLiteral("EPSV"), QStringLiteral("PASV")})); // no RETR
        EXPECT_FALSE(QFile::exists(s.local())); // nothing created or truncated
        EXPECT_TRUE(s.ftp.ErrorMessage().startsWith(QStringLiteral("500 Invalid PASV reply")));
    }
}

TEST(FtpPasv, AForeignAddressIsReplacedByTheServersOwn)
{
    Session s(true);
    s.refuseEpsv();
    s.srv.on(QStringLiteral("PASV")).pasv(QStringLiteral("227 Entering Passive Mode (10,9,8,7,%2)"));
    s.srv.on(QStringLiteral("RETR f"))
        .reply(QStringLiteral("150 go"))
        .dataSend(kPayload)
        .dataClose()
        .reply(QStringLiteral("226 ok"));
    ASSERT_TRUE(s.login());
    EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 0);
    EXPECT_EQ(readFile(s.local()), kPayload);
    EXPECT_TRUE(s.shown(QStringLiteral(
        "! PASV address 10.9.8.7 differs from the server's address 127.0.0.1; connecting to 127.0.0.1")));
}

TEST(FtpPasv, ReplyArrivingInFragmentsIsReadWhole)
{
    for (int piece : {1, 2, 7}) {
        SCOPED_TRACE(piece);
        Session s(true);
        s.refuseEpsv();
        s.srv.on(QStringLiteral("PASV")).pasvSplit(piece);
        s.srv.on(QStringLiteral("RETR f"))
            .reply(QStringLiteral("150 go"))
            .dataSend(kPayload)
            .dataClose()
            .reply(QStringLiteral("226 ok"));
        ASSERT_TRUE(s.login());
        EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 0);
        EXPECT_EQ(readFile(s.local()), kPayload);
    }
}

TEST(FtpPasv, ADataConnectionThatCannotBeMadeFailsWith550)
{
    const quint16 closed = ServerProcess::freePort(); // nothing listens there
    const QString reply =
        QStringLiteral("227 Entering Passive Mode (127,0,0,1,%1,%2)").arg(closed >> 8).arg(closed & 0xFF);
    for (bool upload : {false, true}) {
        SCOPED_TRACE(upload ? "upload" : "download");
        Session s(true);
        writeFile(s.local(), pattern(100));
        s.refuseEpsv();
        s.srv.on(QStringLiteral("PASV")).reply(reply);
        if (!upload) // RETR goes out at once; an upload waits for the data connection
            s.srv.on(QStringLiteral("RETR f")).delay(200).reply(QStringLiteral("425 no data connection"));
        ASSERT_TRUE(s.login());
        EXPECT_EQ(s.run([&] { upload ? s.ftp.StartPut() : s.ftp.StartReceive(); }), 550);
        EXPECT_EQ(s.ftp.ErrorMessage(), QStringLiteral("Unable to establish data connection: Connection refused"));
        EXPECT_EQ(s.ftp.State(), TFtpEngineState::stReady);
    }
}

// --- waits that end ------------------------------------------------------------------------------------------

struct StallCase {
    const char *name;
    bool passive;
    std::function<void(Session &)> script;
    std::function<void(TFtpClient &)> start;
    int error;
    QByteArray file; // the local file afterwards; null: not checked
    QStringList commands;
};

void PrintTo(const StallCase &c, std::ostream *os)
{
    *os << c.name;
}

void receive(TFtpClient &f)
{
    f.StartReceive();
}
void put(TFtpClient &f)
{
    f.StartPut();
}

class FtpTransferWait : public ::testing::TestWithParam<StallCase> {};

TEST_P(FtpTransferWait, SilenceFailsWithTimeoutAndMovementNever)
{
    const StallCase &c = GetParam();
    Session s(c.passive);
    writeFile(s.local(), pattern(5000));
    c.script(s);
    ASSERT_TRUE(s.login());
    s.ftp.SetReplyTimeoutMs(1000);
    EXPECT_EQ(s.run([&] { c.start(s.ftp); }), c.error) << s.rec.display.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(s.ftp.State(), TFtpEngineState::stReady);
    if (c.error != 0) {
        EXPECT_TRUE(s.ftp.ErrorMessage().startsWith(QStringLiteral("Timeout"))) << s.ftp.ErrorMessage().toStdString();
        EXPECT_FALSE(s.ftp.IsConnected());
        EXPECT_EQ(s.rec.sessionClosed, 1);
    }
    if (!c.file.isNull()) {
        EXPECT_EQ(readFile(s.local()), c.file);
    }
    QStringList commands = c.commands;
    if (!commands.isEmpty() && commands.first() == QLatin1String("PORT"))
        commands.first() = s.port();
    EXPECT_EQ(s.commands(), commands);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FtpTransferWait,
    ::testing::Values(
        StallCase{"first_reply_then_silence",
                  true,
                  [](Session &s) { s.transfer(QStringLiteral("RETR f")).reply(QStringLiteral("150 go")); },
                  receive,
                  10060,
                  QByteArray(),
                  {QStringLiteral("EPSV"), QStringLiteral("RETR f")}},
        StallCase{"active_listener_never_called",
                  false,
                  [](Session &s) {
                      s.portOnly();
                      s.srv.on(QStringLiteral("RETR f")).reply(QStringLiteral("150 go"));
                  },
                  receive,
                  10060,
                  QByteArray(),
                  {QStringLiteral("PORT"), QStringLiteral("RETR f")}},
        StallCase{"data_goes_silent_and_what_came_is_kept",
                  true,
                  [](Session &s) {
                      s.transfer(QStringLiteral("RETR f")).reply(QStringLiteral("150 go")).dataSend(pattern(1000));
                  },
                  receive,
                  10060,
                  pattern(1000),
                  {QStringLiteral("EPSV"), QStringLiteral("RETR f")}},
        StallCase{"final_reply_never_comes",
                  true,
                  [](Session &s) {
                      s.transfer(QStringLiteral("RETR f"))
                          .reply(QStringLiteral("150 go"))
                          .dataSend(pattern(1000))
                          .dataClose();
                  },
                  receive,
                  10060,
                  pattern(1000),
                  {QStringLiteral("EPSV"), QStringLiteral("RETR f")}},
        StallCase{"upload_never_answered",
                  true,
                  [](Session &s) {
                      s.srv.on(QStringLiteral("EPSV")).epsv();
                      s.srv.on(QStringLiteral("STOR f"));
                  },
                  put,
                  10060,
                  QByteArray(),
                  {QStringLiteral("EPSV"), QStringLiteral("STOR f")}},
        StallCase{"slow_but_moving_download",
                  true,
                  [](Session &s) {
                      s.transfer(QStringLiteral("RETR f"))
                          .reply(QStringLiteral("150 go"))
                          .dataSend(pattern(1000))
                          .delay(700)
                          .dataSend(pattern(1000, 3))
                          .delay(700)
                          .dataSend(pattern(1000, 5))
                          .dataClose()
                          .reply(QStringLiteral("226 ok"));
                  },
                  receive,
                  0,
                  pattern(1000) + pattern(1000, 3) + pattern(1000, 5),
                  {QStringLiteral("EPSV"), QStringLiteral("RETR f")}}),
    [](const auto &info) { return std::string(info.param.name); });

// The passive session uploads log in, upload and quit in one request.
TEST(FtpPutSession, PassiveSessionUploadsRunEndToEnd)
{
    const QByteArray content = pattern(6000);
    const struct {
        const char *name;
        std::function<void(TFtpClient &)> start;
        QStringList commands;
        QByteArray received;
        TFtpRequest type;
    } rows[] = {
        {"put",
         [](TFtpClient &f) { f.StartPutSession(); },
         {QStringLiteral("TYPE I"), QStringLiteral("EPSV"), QStringLiteral("STOR f"), QStringLiteral("QUIT")},
         content,
         TFtpRequest::rqPut},
        {"append",
         [](TFtpClient &f) { f.StartAppendSession(); },
         {QStringLiteral("TYPE I"), QStringLiteral("EPSV"), QStringLiteral("APPE f"), QStringLiteral("QUIT")},
         content,
         TFtpRequest::rqAppend},
        {"rest_put",
         [](TFtpClient &f) {
             f.ResumeAt = 1000;
             f.StartRestPutSession();
         },
         {QStringLiteral("TYPE I"), QStringLiteral("EPSV"), QStringLiteral("REST 1000"), QStringLiteral("STOR f"),
          QStringLiteral("QUIT")},
         content.mid(1000),
         TFtpRequest::rqPut},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        Session s(true);
        writeFile(s.local(), content);
        for (const QString &command : r.commands) {
            Step &step = command == QLatin1String("EPSV") ? s.srv.on(command).epsv() : s.srv.on(command);
            if (command.startsWith(QLatin1String("STOR")) || command.startsWith(QLatin1String("APPE")))
                step.reply(QStringLiteral("150 send")).dataReceive().reply(QStringLiteral("226 ok"));
            else if (command == QLatin1String("QUIT"))
                step.reply(QStringLiteral("221 bye"));
            else if (command != QLatin1String("EPSV"))
                step.reply(command.startsWith(QLatin1String("REST")) ? QStringLiteral("350 ok")
                                                                     : QStringLiteral("200 ok"));
        }
        EXPECT_EQ(s.run([&] { r.start(s.ftp); }), 0) << s.rec.display.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(s.rec.lastType(), r.type);
        EXPECT_EQ(s.commands(), r.commands);
        EXPECT_EQ(s.srv.received(), r.received);
        EXPECT_TRUE(s.srv.errors().isEmpty()) << s.srv.errors().join(QLatin1Char('\n')).toStdString();
    }
}

// --- data connections ------------------------------------------------------------------------------------------

// Only the server may open the active data connection: a connection from any other address
// is closed at once and the listener goes on waiting for the server.
TEST(FtpPort, AConnectionFromAnotherHostIsTurnedAway)
{
    Session s(false);
    s.portOnly();
    QTcpSocket intruder;
    s.srv.on(QStringLiteral("RETR f"))
        .call([&] {
            // Another address of this machine's loopback stands for a foreign host.
            const QStringList port = s.srv.transcript().value(2).mid(5).split(QLatin1Char(','));
            if (!intruder.bind(QHostAddress(QStringLiteral("127.0.0.2"))))
                return;
            intruder.connectToHost(QHostAddress::LocalHost,
                                   static_cast<quint16>(port.value(4).toUInt() * 256 + port.value(5).toUInt()));
            intruder.write("NOT THE FILE");
        })
        .delay(300)
        .connectActive()
        .reply(QStringLiteral("150 go"))
        .dataSend(kPayload)
        .dataClose()
        .reply(QStringLiteral("226 ok"));
    ASSERT_TRUE(s.login());
    EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 0) << s.rec.display.join(QLatin1Char('\n')).toStdString();
    if (intruder.state() == QAbstractSocket::UnconnectedState &&
        intruder.error() != QAbstractSocket::RemoteHostClosedError)
        GTEST_SKIP() << "no second loopback address to connect from";
    EXPECT_EQ(readFile(s.local()), kPayload);
    EXPECT_EQ(s.rec.display.filter(QStringLiteral("! Data connection from 127.0.0.2 refused")).size(), 1)
        << s.rec.display.join(QLatin1Char('\n')).toStdString();
}

TEST(FtpPasv, APortBelow1024IsRefused)
{
    Session s(true);
    s.refuseEpsv();
    s.srv.on(QStringLiteral("PASV")).reply(QStringLiteral("227 Entering Passive Mode (127,0,0,1,0,22)"));
    ASSERT_TRUE(s.login());
    EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 500);
    EXPECT_EQ(s.commands(), (QStringList{QStringLiteral("EPSV"), QStringLiteral("PASV")}));
    EXPECT_TRUE(s.ftp.ErrorMessage().startsWith(QStringLiteral("500 PASV port 22 refused")))
        << s.ftp.ErrorMessage().toStdString();
    EXPECT_FALSE(QFile::exists(s.local()));
}

// A reply line after a command's reply belongs to nothing: a second 227 while a passive
// upload opens its data connection must not end the upload as a success before STOR.
TEST(FtpPasv, ASecond227DoesNotEndAPassiveUpload)
{
    Session s(true);
    const QByteArray content = pattern(3000);
    writeFile(s.local(), content);
    // Both lines in one write, so they arrive in one read.
    s.refuseEpsv();
    s.srv.on(QStringLiteral("PASV"))
        .pasv(QStringLiteral("227 Entering Passive Mode (%1).\r\n227 Entering Passive Mode (127,0,0,1,4,1)"));
    s.srv.on(QStringLiteral("STOR f")).reply(QStringLiteral("150 send")).dataReceive().reply(QStringLiteral("226 ok"));
    ASSERT_TRUE(s.login());
    EXPECT_EQ(s.run([&] { s.ftp.StartPut(); }), 0) << s.rec.display.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(s.commands(), (QStringList{QStringLiteral("EPSV"), QStringLiteral("PASV"), QStringLiteral("STOR f")}));
    EXPECT_EQ(s.srv.received(), content);
}

// A download that fails on its final reply keeps every byte that had arrived, so it can be
// resumed from the true length of the file.
// (Passive: the data connection is up before RETR, so the bytes are surely on it.)
TEST(FtpDownloadLocal, AFailedFinalReplyKeepsWhatArrived)
{
    Session s(true);
    const QByteArray part = pattern(60000);
    // The data first, then both replies in one piece: the 426 is read at once.
    s.transfer(QStringLiteral("RETR f")).dataSend(part).raw("150 go\r\n426 connection lost\r\n");
    ASSERT_TRUE(s.login());
    // One small read per event: the 426 is read while most of the data still waits.
    s.ftp.DataReceiveBlock = 1024;
    s.ftp.DataSocket().SetComponentOptions(wsoNoReceiveLoop);
    EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 426);
    EXPECT_EQ(readFile(s.local()), part);
}

// A server that ignores REST sends the whole file again; appended, it would splice two
// copies. The transfer fails and the file is cut back to its length before the resume.
TEST(FtpRestGet, AServerThatIgnoresRestIsCaughtAndTheFileRestored)
{
    const QByteArray whole = pattern(4000, 9);
    const struct {
        const char *name;
        const char *sizeReply; // nullptr: no SIZE asked
        const char *goReply;
        QByteArray sent;
        int error;
        QByteArray after;
    } rows[] = {
        {"size known, REST ignored", "213 4000", "150 go", whole, 451, whole.left(1000)},
        {"size announced, REST ignored", nullptr, "150 Opening BINARY mode data connection for f (4000 bytes)", whole,
         451, whole.left(1000)},
        {"size announced, REST honoured", nullptr, "150 Opening BINARY mode data connection for f (4000 bytes)",
         whole.mid(1000), 0, whole},
        {"size unknown", nullptr, "150 go", whole.mid(1000), 0, whole},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        Session s(true);
        writeFile(s.local(), whole.left(1000));
        if (r.sizeReply)
            s.srv.on(QStringLiteral("SIZE f")).reply(QString::fromLatin1(r.sizeReply));
        s.srv.on(QStringLiteral("EPSV")).epsv();
        s.srv.on(QStringLiteral("REST 1000")).reply(QStringLiteral("350 restarting"));
        s.srv.on(QStringLiteral("RETR f"))
            .reply(QString::fromLatin1(r.goReply))
            .dataSend(r.sent)
            .dataClose()
            .reply(QStringLiteral("226 ok"));
        ASSERT_TRUE(s.login());
        if (r.sizeReply) {
            EXPECT_EQ(s.run([&] { s.ftp.StartSize(); }), 0);
        }
        EXPECT_EQ(s.run([&] { s.ftp.StartRestGet(); }), r.error) << s.rec.display.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(readFile(s.local()), r.after);
        QStringList commands{QStringLiteral("EPSV"), QStringLiteral("REST 1000"), QStringLiteral("RETR f")};
        if (r.sizeReply)
            commands.prepend(QStringLiteral("SIZE f"));
        EXPECT_EQ(s.commands(), commands);
        if (r.error != 0) {
            EXPECT_TRUE(s.ftp.ErrorMessage().startsWith(QStringLiteral("451 The server ignored REST")));
        }
    }
}

// --- names and character sets --------------------------------------------------------------------------------

// A character whose bytes arrive in two reads decodes whole: listings are cut into lines
// before they are decoded.
TEST(FtpListing, ALineSplitAcrossReadsDecodesWhole)
{
    const QByteArray listing = QByteArrayLiteral("-rw-r--r-- 1 a b 5 Jan 1 2020 caf\xc3\xa9.txt\r\n"
                                                 "-rw-r--r-- 1 a b 5 Jan 1 2020 \xe6\x97\xa5\xe6\x9c\xac.txt\r\n"
                                                 "drwxr-xr-x 2 a b 0 Jan 1 2020 na\xc3\xafve");
    for (int mode : {1, 0}) {
        SCOPED_TRACE(mode);
        Session s(true);
        s.transfer(QStringLiteral("LIST"))
            .reply(QStringLiteral("150 here"))
            .dataSendSplit(listing, 3)
            .dataClose()
            .reply(QStringLiteral("226 ok"));
        ASSERT_TRUE(s.login());
        QStringList pieces;
        s.ftp.OnDisplayFile = [&](TFtpClient *, QString &msg) { pieces << msg; };
        s.ftp.SetDisplayFileFlag(true);
        s.ftp.SetDisplayFileMode(mode);
        s.ftp.SetHostFileName(QString());
        EXPECT_EQ(s.run([&] { s.ftp.StartDir(); }), 0);
        if (mode == 1)
            EXPECT_EQ(pieces.join(QString()), QString::fromUtf8(listing));
        else
            EXPECT_EQ(pieces, QString::fromUtf8(listing).split(QStringLiteral("\r\n")));
        EXPECT_TRUE(s.ftp.ServerUsesUtf8());
    }
}

// A server whose names are Windows-1252 gets them back as the same bytes: listed, fetched,
// renamed and deleted. A name that set cannot hold is refused, never sent with "?".
TEST(FtpNames, ASingleByteServerGetsItsNamesBackByteForByte)
{
    const QByteArray name = QByteArrayLiteral("r\xe4ksm\xf6rg\xe5s.txt");
    Session s(true);
    s.transfer(QStringLiteral("LIST"))
        .reply(QStringLiteral("150 here"))
        .dataSend("-rw-r--r-- 1 a b 5 Jan 1 2020 " + name + "\r\n")
        .dataClose()
        .reply(QStringLiteral("226 ok"));
    s.transfer(QStringLiteral("RETR *"))
        .reply(QStringLiteral("150 go"))
        .dataSend("smorgas")
        .dataClose()
        .reply(QStringLiteral("226 ok"));
    s.srv.on(QStringLiteral("RNFR *")).reply(QStringLiteral("350 ready"));
    s.srv.on(QStringLiteral("RNTO *")).reply(QStringLiteral("250 renamed"));
    s.srv.on(QStringLiteral("DELE *")).reply(QStringLiteral("250 deleted"));
    ASSERT_TRUE(s.login());
    QString listing;
    s.ftp.OnDisplayFile = [&](TFtpClient *, QString &msg) { listing += msg; };
    s.ftp.SetDisplayFileFlag(true);
    s.ftp.SetDisplayFileMode(1);
    s.ftp.SetHostFileName(QString());
    ASSERT_EQ(s.run([&] { s.ftp.StartDir(); }), 0);
    const QString shown = listing.trimmed().section(QLatin1Char(' '), -1);
    EXPECT_EQ(shown, QStringLiteral("r\u00e4ksm\u00f6rg\u00e5s.txt"));
    EXPECT_FALSE(s.ftp.ServerUsesUtf8());

    s.ftp.SetDisplayFileFlag(false);
    s.ftp.SetHostFileName(shown);
    ASSERT_EQ(s.run([&] { s.ftp.StartReceive(); }), 0);
    EXPECT_EQ(readFile(s.local()), QByteArray("smorgas"));
    s.ftp.SetLocalFileName(shown + QStringLiteral(".bak"));
    ASSERT_EQ(s.run([&] { s.ftp.StartRename(); }), 0);
    s.ftp.SetHostFileName(shown + QStringLiteral(".bak"));
    ASSERT_EQ(s.run([&] { s.ftp.StartDele(); }), 0);

    s.ftp.SetHostFileName(QStringLiteral("\u65e5\u672c.txt"));
    EXPECT_THROW(s.ftp.StartDele(), FtpException);
    const QList<QByteArray> raw = s.srv.rawTranscript().mid(2);
    EXPECT_EQ(raw, (QList<QByteArray>{"EPSV", "LIST", "EPSV", "RETR " + name, "RNFR " + name, "RNTO " + name + ".bak",
                                      "DELE " + name + ".bak"}));
}

// A SOCKS proxy that fails says why in its own words, not as an unknown socket error.
TEST(FtpSocks, AProxyRefusalReachesTheUserInTheProxysWords)
{
    ScriptedPeer proxy({ScriptedPeer::Read{3}, ScriptedPeer::Write{QByteArray("\x05\x00", 2)}, ScriptedPeer::Read{16},
                        ScriptedPeer::Write{QByteArray("\x05\x05\x00\x01\x00\x00\x00\x00\x00\x00", 10)},
                        ScriptedPeer::ReadUntilClosed{}});
    TFtpClient ftp;
    FtpRecorder rec(ftp);
    ftp.SetHostName(QStringLiteral("127.0.0.1"));
    ftp.SetPort(QStringLiteral("2121"));
    ftp.SetUserName(QStringLiteral("bob"));
    ftp.SetPassWord(QStringLiteral("secret"));
    ftp.SetConnectionType(TFtpConnectionType::ftpSocks5);
    ftp.SetSocksServer(QStringLiteral("127.0.0.1"));
    ftp.SetSocksPort(QString::number(proxy.port()));
    ftp.StartConnect();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_EQ(rec.lastError(), 20008);
    EXPECT_EQ(ftp.LastResponse(), QStringLiteral("500 SOCKS proxy: connection refused (error #20008)"));
    ftp.Abort();
}

TEST(FtpUsage, TransfersRefuseToStartWithoutConnectionOrLocalFile)
{
    TFtpClient ftp;
    QStringList errors;
    ftp.OnUsageError = [&](TFtpClient *, QString &msg) { errors << msg; };
    ftp.SetLocalFileName(QStringLiteral("x"));
    ftp.StartRetr();
    ftp.StartList();
    ftp.StartNlst();
    ftp.StartStor();
    ftp.StartAppe();
    EXPECT_EQ(errors, (QStringList{QStringLiteral("RETR: not connected"), QStringLiteral("LIST: not connected"),
                                   QStringLiteral("NLST: not connected"), QStringLiteral("STOR/APPE: not connected"),
                                   QStringLiteral("STOR/APPE: not connected")}));
}

// --- EPSV and EPRT ----------------------------------------------------------------------------------------------

// A 229 reply gives a port only when it is exactly "(<d><d><d>port<d>)": a reply that is
// anything else is never guessed at (each malformed reply still names the real listener's
// port, so a lenient reader would have gone on to RETR); the session asks PASV instead, as
// when EPSV is refused, and the transfer goes on over it.
TEST(FtpEpsv, RepliesAreReadStrictly)
{
    struct Case {
        const char *reply; // %3: the listener's port
        bool good;
    };
    const Case cases[] = {
        {"229 Entering Extended Passive Mode (|||%3|)", true},
        {"229 Entering Extended Passive Mode (!!!%3!).", true},
        {"229 ok (~~~%3~) more text", true},
        {"229 Entering Extended Passive Mode |||%3|", false},  // no bracket
        {"229 Entering Extended Passive Mode (||%3|)", false}, // two delimiters before the port
        {"229 Entering Extended Passive Mode (||||%3|)", false},
        {"229 Entering Extended Passive Mode (|||%3)", false}, // no closing delimiter
        {"229 Entering Extended Passive Mode (|||%3|", false}, // no closing bracket
        {"229 Entering Extended Passive Mode (|||%3||)", false},
        {"229 Entering Extended Passive Mode (|!|%3|)", false}, // mixed delimiters
        {"229 Entering Extended Passive Mode (|||%3!)", false},
        {"229 Entering Extended Passive Mode (   %3 )", false},             // blank is below 33
        {"229 Entering Extended Passive Mode (\x7f\x7f\x7f%3\x7f)", false}, // DEL is above 126
        {"229 Entering Extended Passive Mode (111%31)", false},             // a digit delimiter hides the port
        {"229 Entering Extended Passive Mode (||| %3|)", false},            // blank inside the number
        {"229 Entering Extended Passive Mode (|||+%3|)", false},
        {"229 Entering Extended Passive Mode (|||%30000|)", false}, // more than five digits
        {"229 Entering Extended Passive Mode (|||70000|)", false},
        {"229 Entering Extended Passive Mode (|||0|)", false},
        {"229 Entering Extended Passive Mode (|||-1|)", false},
        {"229 Entering Extended Passive Mode (|||0x1f90|)", false},
        {"229 Entering Extended Passive Mode (|||127.0.0.1|%3|)", false},
        {"229 Entering Extended Passive Mode (|||)", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reply);
        Session s(true);
        s.srv.on(QStringLiteral("EPSV")).pasv(QString::fromLatin1(c.reply));
        if (!c.good)
            s.srv.on(QStringLiteral("PASV")).pasv();
        s.srv.on(QStringLiteral("RETR f"))
            .reply(QStringLiteral("150 go"))
            .dataSend(kPayload)
            .dataClose()
            .reply(QStringLiteral("226 ok"));
        ASSERT_TRUE(s.login());
        EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 0) << s.rec.display.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(readFile(s.local()), kPayload);
        if (c.good)
            continue;
        EXPECT_EQ(s.commands(),
                  (QStringList{QStringLiteral("EPSV"), QStringLiteral("PASV"), QStringLiteral("RETR f")}));
        EXPECT_TRUE(s.rec.display.contains(QStringLiteral("! Invalid EPSV reply; using PASV")))
            << s.rec.display.join(QLatin1Char('\n')).toStdString();
    }
}

TEST(FtpEpsv, APortBelow1024IsRefused)
{
    Session s(true);
    s.srv.on(QStringLiteral("EPSV")).reply(QStringLiteral("229 Entering Extended Passive Mode (|||21|)"));
    ASSERT_TRUE(s.login());
    EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 500);
    EXPECT_TRUE(s.ftp.ErrorMessage().startsWith(QStringLiteral("500 EPSV port 21 refused")))
        << s.ftp.ErrorMessage().toStdString();
    EXPECT_FALSE(QFile::exists(s.local()));
}

// A server that does not know EPSV gets PASV at once, and from then on only PASV for the
// rest of the session; a new session tries EPSV again.
TEST(FtpEpsv, ARefusedEpsvFallsBackToPasvForTheSession)
{
    Session s(true);
    s.refuseEpsv();
    s.srv.on(QStringLiteral("PASV")).pasv();
    s.srv.on(QStringLiteral("RETR f"))
        .reply(QStringLiteral("150 go"))
        .dataSend("one")
        .dataClose()
        .reply(QStringLiteral("226 ok"));
    s.srv.on(QStringLiteral("PASV")).pasv();
    s.srv.on(QStringLiteral("RETR f"))
        .reply(QStringLiteral("150 go"))
        .dataSend("two")
        .dataClose()
        .reply(QStringLiteral("226 ok"));
    ASSERT_TRUE(s.login());
    ASSERT_EQ(s.run([&] { s.ftp.StartReceive(); }), 0) << s.rec.display.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(readFile(s.local()), QByteArray("one"));
    ASSERT_EQ(s.run([&] { s.ftp.StartReceive(); }), 0) << s.rec.display.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(readFile(s.local()), QByteArray("two"));
    EXPECT_EQ(s.commands(), (QStringList{QStringLiteral("EPSV"), QStringLiteral("PASV"), QStringLiteral("RETR f"),
                                         QStringLiteral("PASV"), QStringLiteral("RETR f")}));
    EXPECT_TRUE(s.shown(QStringLiteral("! EPSV refused; using PASV")));
    EXPECT_TRUE(s.srv.errors().isEmpty()) << s.srv.errors().join(QLatin1Char('|')).toStdString();
}

// A refused PASV after the fallback is the server's last word: the transfer fails with it.
TEST(FtpEpsv, ARefusedPasvAfterTheFallbackFailsTheTransfer)
{
    Session s(true);
    s.refuseEpsv();
    s.srv.on(QStringLiteral("PASV")).reply(QStringLiteral("502 no passive mode here"));
    ASSERT_TRUE(s.login());
    EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 502);
    EXPECT_EQ(s.commands(), (QStringList{QStringLiteral("EPSV"), QStringLiteral("PASV")}));
    EXPECT_EQ(s.ftp.State(), TFtpEngineState::stReady);
    EXPECT_FALSE(QFile::exists(s.local()));
}

// Active mode on IPv4: PORT first; a server that refuses it gets EPRT for the same
// listener, and EPRT from then on.
TEST(FtpEprt, ARefusedPortIsRetriedAsEprtForTheSession)
{
    Session s(false);
    s.srv.on(QStringLiteral("PORT *")).reply(QStringLiteral("500 PORT not understood"));
    s.srv.on(QStringLiteral("EPRT *")).reply(QStringLiteral("200 EPRT ok"));
    s.srv.on(QStringLiteral("RETR f"))
        .connectActive()
        .reply(QStringLiteral("150 go"))
        .dataSend(kPayload)
        .dataClose()
        .reply(QStringLiteral("226 ok"));
    s.srv.on(QStringLiteral("EPRT *")).reply(QStringLiteral("200 EPRT ok"));
    s.srv.on(QStringLiteral("RETR f"))
        .connectActive()
        .reply(QStringLiteral("150 go"))
        .dataSend("again")
        .dataClose()
        .reply(QStringLiteral("226 ok"));
    ASSERT_TRUE(s.login());
    ASSERT_EQ(s.run([&] { s.ftp.StartReceive(); }), 0) << s.rec.display.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(readFile(s.local()), kPayload);
    ASSERT_EQ(s.run([&] { s.ftp.StartReceive(); }), 0) << s.rec.display.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(readFile(s.local()), QByteArray("again"));
    const QStringList sent = s.commands();
    ASSERT_EQ(sent.size(), 5);
    const QRegularExpression eprt(QStringLiteral("^EPRT \\|1\\|127\\.0\\.0\\.1\\|\\d+\\|$"));
    EXPECT_TRUE(sent[0].startsWith(QLatin1String("PORT 127,0,0,1,")));
    EXPECT_TRUE(eprt.match(sent[1]).hasMatch()) << sent[1].toStdString();
    EXPECT_TRUE(eprt.match(sent[3]).hasMatch()) << sent[3].toStdString();
    EXPECT_TRUE(s.shown(QStringLiteral("! PORT refused; using EPRT")));
}

// Over IPv6 the data connection commands are EPSV and EPRT; PASV and PORT cannot carry an
// IPv6 address, so a refusal ends the transfer cleanly instead of falling back.
TEST(FtpIPv6, EpsvAndEprtCarryTheDataAndRefusalsFailCleanly)
{
    {
        SCOPED_TRACE("EPSV");
        Session s(true);
        if (!s.useIPv6())
            GTEST_SKIP() << "this machine has no IPv6 loopback address (::1)";
        s.transfer(QStringLiteral("RETR f"))
            .reply(QStringLiteral("150 go"))
            .dataSend(kPayload)
            .dataClose()
            .reply(QStringLiteral("226 ok"));
        ASSERT_TRUE(s.login());
        ASSERT_EQ(s.run([&] { s.ftp.StartReceive(); }), 0) << s.rec.display.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(readFile(s.local()), kPayload);
        EXPECT_EQ(s.commands(), (QStringList{QStringLiteral("EPSV"), QStringLiteral("RETR f")}));
    }
    {
        SCOPED_TRACE("EPRT");
        Session s(false);
        ASSERT_TRUE(s.useIPv6());
        s.srv.on(QStringLiteral("EPRT *")).reply(QStringLiteral("200 EPRT ok"));
        s.srv.on(QStringLiteral("RETR f"))
            .connectActive()
            .reply(QStringLiteral("150 go"))
            .dataSend(kPayload)
            .dataClose()
            .reply(QStringLiteral("226 ok"));
        ASSERT_TRUE(s.login());
        ASSERT_EQ(s.run([&] { s.ftp.StartReceive(); }), 0) << s.rec.display.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(readFile(s.local()), kPayload);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^EPRT \\|2\\|::1\\|\\d+\\|$")).match(s.port()).hasMatch())
            << s.port().toStdString();
    }
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "EPSV refused" : "EPRT refused");
        Session s(passive);
        ASSERT_TRUE(s.useIPv6());
        s.srv.on(passive ? QStringLiteral("EPSV") : QStringLiteral("EPRT *"))
            .reply(QStringLiteral("500 command not understood"));
        s.srv.on(QStringLiteral("PWD")).reply(QStringLiteral("257 \"/\" is the current folder"));
        ASSERT_TRUE(s.login());
        EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 500);
        EXPECT_EQ(s.ftp.ErrorMessage(), QStringLiteral("500 command not understood"));
        EXPECT_TRUE(s.shown(QStringLiteral("! %1 refused; PASV and PORT cannot carry an IPv6 address")
                                .arg(passive ? QStringLiteral("EPSV") : QStringLiteral("EPRT"))));
        ASSERT_EQ(s.commands().size(), 1); // no PASV, no PORT, no RETR
        EXPECT_FALSE(QFile::exists(s.local()));
        EXPECT_EQ(s.ftp.State(), TFtpEngineState::stReady);
        // The session goes on.
        EXPECT_EQ(s.run([&] { s.ftp.StartPwd(); }), 0);
    }
}

} // namespace
