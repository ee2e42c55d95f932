#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <deque>
#include <functional>

class QTcpServer;
class QTcpSocket;

// A fake FTP server on 127.0.0.1 that follows a script: the greeting, then for each
// command the client is expected to send, the replies and data-connection actions that
// answer it. It records every command it received (the transcript) and every departure
// from the script, so tests assert the exact conversation.
//
//   ScriptedFtpServer srv;
//   srv.greet().reply("220 ready");
//   srv.on("USER anna").reply("331 password please");
//   srv.on("PASS *").reply("230 in");                 // "*" at the end matches any rest
//   srv.on("PASV").pasv();                             // 227 with a real data listener
//   srv.on("RETR f").reply("150 go").dataSend(bytes).dataClose().reply("226 done");
//   ... run the client ...
//   EXPECT_EQ(srv.transcript(), (QStringList{"USER anna", "PASS x", "PASV", "RETR f"}));
//   EXPECT_TRUE(srv.errors().isEmpty());
//
// Lives on the test's thread and runs on its event loop.
class ScriptedFtpServer : public QObject {
    Q_OBJECT
public:
    class Step {
    public:
        // Sends text followed by CR LF.
        Step &reply(const QString &text);
        // Sends bytes exactly as given (no line ending added).
        Step &raw(const QByteArray &bytes);
        // Sends text + CR LF in pieces of pieceSize bytes, each piece in its own write,
        // with a short pause between pieces so they arrive as separate reads.
        Step &replySplit(const QString &text, int pieceSize);
        Step &delay(int ms);
        // Closes the control connection (after what was written is flushed).
        Step &dropControl();
        // Opens a passive data listener and replies with 227. In the format, %1 becomes
        // "127,0,0,1,p1,p2", %2 becomes "p1,p2" and %3 the decimal port of the listener.
        Step &pasv(const QString &format = QStringLiteral("227 Entering Passive Mode (%1)."));
        // The same, the 227 line sent in pieces of pieceSize bytes like replySplit.
        Step &pasvSplit(int pieceSize, const QString &format = QStringLiteral("227 Entering Passive Mode (%1)."));
        // Opens a passive data listener and replies with 229 "(|||port|)" (EPSV).
        Step &epsv();
        // Connects to the address of the last PORT or EPRT command received (active mode).
        Step &connectActive();
        // Waits for the data connection, then sends bytes over it.
        Step &dataSend(const QByteArray &bytes);
        // The same in pieces of pieceSize bytes, each in its own write with a short pause,
        // so the client reads them separately.
        Step &dataSendSplit(const QByteArray &bytes, int pieceSize);
        // Waits until the client closes the data connection, keeping what it sent.
        Step &dataReceive();
        // Closes the data connection after flushing.
        Step &dataClose();
        // Resets the data connection (RST): the client sees a connection error.
        Step &dataReset();
        // Runs a test callback at this point of the script.
        Step &call(std::function<void()> fn);

    private:
        friend class ScriptedFtpServer;
        enum class Kind {
            Send,
            Delay,
            DropControl,
            Pasv,
            ConnectActive,
            DataSend,
            DataReceive,
            DataClose,
            DataReset,
            Call
        };
        struct Action {
            Kind kind;
            QByteArray bytes;
            int number = 0;
            std::function<void()> fn;
        };
        Action &add(Kind kind, const QByteArray &bytes = QByteArray(), int number = 0);

        QString m_expect; // empty for the greeting
        bool m_greeting = false;
        std::vector<Action> m_actions;
    };

    explicit ScriptedFtpServer(QObject *parent = nullptr);
    ~ScriptedFtpServer() override;
    // Listens on ::1 instead of 127.0.0.1 (data listeners too); false when it cannot.
    bool listenIPv6();

    quint16 port() const;

    Step &greet();
    Step &on(const QString &command);

    QStringList transcript() const { return m_transcript; }
    // The commands exactly as their bytes came (without CR LF): names in any character set.
    QList<QByteArray> rawTranscript() const { return m_rawTranscript; }
    QStringList errors() const { return m_errors; }
    // Bytes the client sent over data connections (dataReceive), in order.
    QByteArray received() const { return m_received; }
    int connectionCount() const { return m_connections; }
    // True once every step has run to its end.
    bool finished() const { return m_steps.empty() && !m_running; }
    bool controlConnected() const;

private:
    void onNewConnection();
    void onReadyRead();
    void onDataConnection(QTcpSocket *socket);
    void dispatchLines();
    void startStep(Step step);
    void runNext();
    bool runAction(const Step::Action &a);
    bool dataReady() const;
    QByteArray openPasv(const QByteArray &format);
    void connectActive();

    QTcpServer *m_server;
    QTcpServer *m_dataServer = nullptr;
    QPointer<QTcpSocket> m_control;
    QPointer<QTcpSocket> m_data;
    bool m_dataFinished = false; // the client closed the data connection
    QByteArray m_lineBuffer;
    QStringList m_pendingLines;
    std::deque<Step> m_steps;
    std::vector<Step::Action> m_current;
    size_t m_next = 0;
    bool m_running = false;
    bool m_waiting = false;
    QStringList m_transcript;
    QList<QByteArray> m_rawTranscript;
    QList<QByteArray> m_pendingRaw;
    QStringList m_errors;
    QByteArray m_received;
    QString m_lastPort;
    int m_connections = 0;
};
