#pragma once

#include "ftp/FtpLocalFile.h"
#include "ftp/FtpReply.h"
#include "ftp/FtpTypes.h"
#include "ftp/WSocket.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>

#include <array>
#include <bitset>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <vector>

// Asynchronous FTP client: a Start operation sends one or more commands on the control
// connection, reads and judges the replies, and reports once through OnRequestDone with the
// request type and 0 or the failing code. Transfers (RETR, LIST, NLST, STOR, APPE) open a
// second, data connection (PASV or PORT) and stream the local file through one fixed block:
// memory does not grow with the file. A transfer ends when both its success reply and the
// close of the data connection are in, in either order.
//
// Thread: lives on the thread that created it; every event comes from that thread's event
// loop. OnRequestDone is always posted, never fired inside a Start call, so a handler may
// start the next request. Usage errors go to OnUsageError, or are thrown as FtpException
// when it is unassigned. Do not delete the engine inside one of its handlers. OnProgress
// comes before each data block and may abort the transfer; the data connection is then
// closed inside the call.
class TFtpClient : public QObject {
    Q_OBJECT
public:
    explicit TFtpClient(QObject *parent = nullptr);
    ~TFtpClient() override;
    TFtpClient(const TFtpClient &) = delete;
    TFtpClient &operator=(const TFtpClient &) = delete;

    // --- published properties ------------------------------------------------------------
    QString HostName() const { return m_hostName; }
    void SetHostName(const QString &v) { m_hostName = v; }
    QString Port() const { return m_port; }
    void SetPort(const QString &v) { m_port = v; }
    QString LocalAddr() const { return m_localAddr; }
    void SetLocalAddr(const QString &v) { m_localAddr = v; }
    QString UserName() const { return m_userName; }
    void SetUserName(const QString &v) { m_userName = v; }
    QString PassWord() const { return m_passWord; }
    void SetPassWord(const QString &v) { m_passWord = v; }
    QString HostDirName() const { return m_hostDirName; }
    void SetHostDirName(const QString &v) { m_hostDirName = v; }
    QString HostFileName() const { return m_hostFileName; }
    void SetHostFileName(const QString &v) { m_hostFileName = v; }
    QString LocalFileName() const { return m_localFileName; }
    void SetLocalFileName(const QString &v) { m_localFileName = v; }
    bool DisplayFileFlag() const { return m_displayFileFlag; }
    void SetDisplayFileFlag(bool v) { m_displayFileFlag = v; }
    bool Binary() const { return m_typeLetter == QLatin1Char('I'); }
    void SetBinary(bool v) { m_typeLetter = v ? QLatin1Char('I') : QLatin1Char('A'); }
    QString ErrorMessage() const { return m_errorMessage; }
    TFtpShareMode ShareMode() const;
    void SetShareMode(TFtpShareMode mode);
    int ShareFlags() const { return m_shareFlags; }
    unsigned Options() const { return m_options; }
    void SetOptions(unsigned v) { m_options = v; }
    TFtpConnectionType ConnectionType() const { return m_connectionType; }
    void SetConnectionType(TFtpConnectionType type);
    QString ProxyServer() const { return m_proxyServer; }
    void SetProxyServer(const QString &v) { m_proxyServer = v; }
    // Kept by the engine as well: a socket forgets its SOCKS server at every close, and a
    // second connection must not silently bypass the proxy the user chose.
    QString SocksServer() const { return m_socksServer; }
    void SetSocksServer(const QString &v);
    QString SocksPort() const { return m_socksPort; }
    void SetSocksPort(const QString &v);
    QString SocksUserCode() const { return m_control.SocksUsercode(); }
    void SetSocksUserCode(const QString &v);
    QString SocksPassword() const { return m_control.SocksPassword(); }
    void SetSocksPassword(const QString &v);
    int Timeout() const { return m_timeout; }
    void SetTimeout(int seconds) { m_timeout = seconds; }
    bool MultiThreaded() const { return m_multiThreaded; }
    void SetMultiThreaded(bool v);

    // --- public fields and queries ------------------------------------------------------
    QString ProxyPort = QStringLiteral("ftp");
    bool Passive() const { return m_passive; }
    void SetPassive(bool v);
    int DisplayFileMode() const { return m_displayFileMode; }
    void SetDisplayFileMode(int v) { m_displayFileMode = v > 1 ? 0 : v; }
    TFtpEngineState State() const { return m_state; }
    TFtpRequest RequestType() const { return m_requestType; }
    int32_t StatusCode() const { return m_statusCode; }
    QString LastResponse() const { return m_lastResponse; }
    // 64-bit: files over 4 GiB are ordinary.
    int64_t ByteCount = 0;
    int64_t ResumeAt = 0;
    // Largest piece read from the data connection per call, and the size of the block an
    // upload reads from its file and sends per data-sent event. Events and byte counts mean
    // the same at any size; larger blocks mean fewer system calls and events per byte.
    int DataReceiveBlock = 256 * 1024;
    int DataSendBlock = 256 * 1024;
    int64_t SizeResult() const { return m_sizeResult; }
    QString DirResult() const { return m_dirResult; }
    int RequestResult() const { return m_requestResult; }
    bool IsConnected() const { return m_control.State() != TSocketState::wsClosed; }
    TWSocket &ControlSocket() { return m_control; }
    TWSocket &DataSocket() { return m_data; }

    // --- operations ---------------------------------------------------------------------
    void SendCommand(const QString &cmd);
    void StartOpen();
    void StartUser();
    void StartPass();
    void StartConnect();
    void StartQuit();
    void Abort();
    void StartTypeSet();
    void StartTypeBinary();
    void StartTypeAscii();
    void StartPwd();
    void StartCwd();
    void StartCdup();
    void StartSyst();
    void StartSystemSession();
    void StartSize();
    void StartSizeSession();
    void StartMkd();
    void StartMkdSession();
    void StartRmd();
    void StartRmdSession();
    void StartDele();
    void StartDeleteSession();
    void StartRnfr();
    void StartRnto();
    void StartRename();
    void StartRenameSession();
    void StartQuote();
    void StartQuoteSession();
    void StartAbor();
    void StartRest();

    // Data side (FtpCliData.cpp, FtpCliTransfer.cpp).
    void StartPort();
    void StartRetr();
    void StartList();
    void StartNlst();
    void StartStor();
    void StartAppe();
    void StartReceive();
    void StartDir();
    void StartLs();
    void StartPut();
    void StartAppend();
    void StartRestGet();
    void StartRestPut();
    void StartGetSession();
    void StartDirSession();
    void StartLsSession();
    void StartPutSession();
    void StartAppendSession();
    void StartRestGetSession();
    void StartRestPutSession();
    // Called before each data block: fires OnProgress; false when the handler asked to
    // abort (the data connection is then closed).
    virtual bool Progress();
    // Writes the statistics line of the transfer that just ended through OnDisplay.
    virtual void ShowTransferStats();

    // Runs op, then waits (pumping events) until the engine is ready again. True when the
    // request succeeded; false on a failure, an exception from op, or the timeout.
    bool RunAndWait(const std::function<void()> &op);
    bool WaitUntilReady();
    bool AbortAndWait();

    // --- events -------------------------------------------------------------------------
    std::function<void(TFtpClient *Sender, QString &Msg)> OnDisplay;
    std::function<void(TFtpClient *Sender, QString &Msg)> OnDisplayFile;
    std::function<void(TFtpClient *Sender, QString &Cmd)> OnCommand;
    std::function<void(TFtpClient *Sender)> OnResponse;
    std::function<void(TFtpClient *Sender, int64_t Count, bool &Abort)> OnProgress;
    std::function<void(TFtpClient *Sender, int Error)> OnSessionConnected;
    std::function<void(TFtpClient *Sender, int Error)> OnSessionClosed;
    std::function<void(TFtpClient *Sender, TFtpRequest RqType, int Error)> OnRequestDone;
    std::function<void(TFtpClient *Sender)> OnStateChange;
    std::function<void(TFtpClient *Sender, bool &bCancel)> OnReadyToTransmit;
    std::function<void(TFtpClient *Sender, const std::exception &E, bool &CanClose)> OnBgException;
    std::function<void(TFtpClient *Sender, QString &Msg)> OnUsageError;

private:
    using Handler = void (TFtpClient::*)();
    static constexpr int kMaxCodes = 16;

    // FtpCli.cpp: state, usage errors, the executor, completion
    void ChangeState(TFtpEngineState state);
    void TriggerDisplay(const QString &text);
    void HandleError(const QString &text);
    bool CheckReady();
    bool RefuseLineBreaks(std::initializer_list<const QString *> operands);
    void ExecAsync(TFtpRequest rq, const QString &line, std::initializer_list<int> okCodes,
                   Handler doneAction = nullptr);
    void SetErrorMessage(const QString &line);
    void SetResponse(int32_t code, const QString &line);
    void FailTransferReply(int code, const QString &notice);
    void TriggerRequestDone(int error);
    void PostRequestDone(int error);
    void QuitDone();

    // FtpCliReply.cpp: reading replies
    void ControlDataAvailable(int error);
    void HandleReplyLine(const QByteArray &bytes, int error);
    void WaitingBannerLine(const FtpReplyCode &code, int error);
    void GenericReply();

    // FtpCliOpen.cpp: lookup, connect, close, abort
    void ControlDnsLookupDone(int error);
    void ControlSessionConnected(int error);
    void ControlSessionClosed(int error);
    void FailOpen(int error, const QString &response);
    void ApplySocks(TWSocket &socket) const;

    // FtpCliData.cpp: PORT/PASV and the data connection
    enum class Transfer { None, Download, Upload };
    bool ConnectPassiveData(void (TFtpClient::*connected)(int), const QString &failPrefix);
    void DataAccept(bool upload);
    void DownloadConnected(int error);
    void UploadConnected(int error);
    void DataReceive();
    void DataDiscard();
    void DataSend(int error);
    bool SendNextBlock();
    void PostStartUpload();
    void DataClosed(int error);
    void NoteDataError(int code, const QString &text);

    // FtpCliTransfer.cpp: transfer commands, their replies, REST
    void StartDownload(TFtpRequest rq, const QString &command);
    void StartUpload(bool append);
    void SendUploadCommand();
    void DownloadFirstReply();
    void DownloadFinalReply();
    void UploadFirstReply();
    void UploadFinalReply();
    void FailTransfer(int code);
    void FailTransferStart(int code, const QString &response, bool showIt);
    void EndCheck();
    void DeliverDisplayFile(const char *data, int length);

    // FtpCliSteps.cpp: composite requests
    void StartComposite(TFtpRequest rq, std::initializer_list<TFtpStep> steps);
    void NextStep();
    void RunStep(TFtpStep step);

    TWSocket m_control;
    TWSocket m_data;

    QString m_hostName, m_port = QStringLiteral("ftp"), m_localAddr = QStringLiteral("0.0.0.0");
    QString m_userName, m_passWord, m_hostDirName, m_hostFileName, m_localFileName;
    bool m_displayFileFlag = false;
    QChar m_typeLetter = QLatin1Char('I');
    QString m_errorMessage;
    int m_shareFlags = 16;
    unsigned m_options = ftpAcceptLF;
    TFtpConnectionType m_connectionType = TFtpConnectionType::ftpDirect;
    QString m_proxyServer;
    QString m_socksServer, m_socksPort;
    int m_timeout = 15;
    bool m_multiThreaded = false;
    bool m_passive = false;
    int m_displayFileMode = 0;

    TFtpEngineState m_state = TFtpEngineState::stReady;
    TFtpRequest m_requestType = TFtpRequest::rqNone;
    int32_t m_statusCode = 0;
    QString m_lastResponse;
    int64_t m_sizeResult = 0;
    QString m_dirResult;
    int m_requestResult = 0;

    FtpReplyBuffer m_buffer;
    std::array<int, kMaxCodes> m_okCodes{};
    int m_okCount = 0; // 0: any code below 500 succeeds
    Handler m_next = nullptr;
    Handler m_doneAction = nullptr;
    std::bitset<static_cast<size_t>(TFtpStep::None)> m_steps;
    TFtpStep m_lastStep = TFtpStep::None;
    bool m_composite = false;
    int m_compositeResult = 0;
    QString m_savedResponse;
    int32_t m_savedCode = -1;
    bool m_requestDone = false;
    bool m_connected = false;
    uint64_t m_stepStarts = 0;    // commands sent and opens begun, to see whether a step started
    bool m_awaitingReply = false; // a command or the banner has no final reply yet
    QString m_pasvResponse;
    QDeadlineTimer m_waitDeadline;

    // transfer state
    Transfer m_transfer = Transfer::None;
    QString m_dataCommand; // "RETR", "LIST", "NLST" for messages
    bool m_append = false;
    TFtpLocalFile m_localFile;
    bool m_replyComplete = false;
    bool m_dataClosed = false;
    int m_closeError = 0;
    // An error the data side met itself (a failed local write or read, a receive or send
    // error, an abort): the transfer fails with it even if the server then reports success.
    int m_dataError = 0;
    bool m_go = false;
    bool m_dataConnected = false;
    bool m_eof = false;
    int64_t m_startTick = 0;
    int64_t m_stopTick = 0;
    std::vector<char> m_block; // the one buffer a transfer streams through
};
