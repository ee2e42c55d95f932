// The FTP engine's data side against a scripted server: the two replies of a transfer in
// either order with the data close, failures, REST, uploads, abort, PORT and PASV.
#include "ftp/FtpCli.h"

#include "support/FtpRecorder.h"
#include "support/ScriptedFtpServer.h"
#include "support/ServerProcess.h"
#include "support/WaitFor.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

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
    // Scripts PASV or PORT, then the transfer command; in active mode the server connects
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
            srv.on(QStringLiteral("PASV")).pasv();
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
    QString port() const { return passive ? QStringLiteral("PASV") : srv.transcript().value(2); }
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
    EXPECT_TRUE(s.shown(QStringLiteral("! Error writing local file")));
}

TEST(FtpDownloadLocal, ALocalFileThatCannotBeCreatedFailsWith550)
{
    Session s(true);
    s.srv.on(QStringLiteral("PASV")).pasv();
    ASSERT_TRUE(s.login());
    s.ftp.SetLocalFileName(s.dir.filePath(QStringLiteral("no/such/folder/x")));
    EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 550);
    EXPECT_EQ(s.ftp.LastResponse(), QStringLiteral("Unable to open local file ") + s.ftp.LocalFileName());
    EXPECT_EQ(s.commands(), QStringList{QStringLiteral("PASV")}); // no RETR
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
        s.srv.on(QStringLiteral("PASV")).pasv();
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
        QStringList expected{QStringLiteral("PASV")};
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
         426, QStringLiteral("! 426 Unable to open local file %1")},
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
        s.srv.on(QStringLiteral("PASV")).reply(QString::fromLatin1(reply));
        ASSERT_TRUE(s.login());
        EXPECT_EQ(s.run([&] { s.ftp.StartReceive(); }), 500);
        EXPECT_EQ(s.commands(), QStringList{QStringLiteral("PASV")}); // no RETR
        EXPECT_FALSE(QFile::exists(s.local()));                       // nothing created or truncated
        EXPECT_TRUE(s.ftp.ErrorMessage().startsWith(QStringLiteral("500 Invalid PASV reply")));
    }
}

TEST(FtpPasv, AForeignAddressIsReplacedByTheServersOwn)
{
    Session s(true);
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
        s.srv.on(QStringLiteral("PASV")).reply(reply);
        if (!upload) // RETR goes out at once; an upload waits for the data connection
            s.srv.on(QStringLiteral("RETR f")).delay(200).reply(QStringLiteral("425 no data connection"));
        ASSERT_TRUE(s.login());
        EXPECT_EQ(s.run([&] { upload ? s.ftp.StartPut() : s.ftp.StartReceive(); }), 550);
        EXPECT_EQ(s.ftp.ErrorMessage(), QStringLiteral("Unable to establish data connection, error #10061"));
        EXPECT_EQ(s.ftp.State(), TFtpEngineState::stReady);
    }
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

} // namespace
