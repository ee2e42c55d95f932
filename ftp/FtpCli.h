#pragma once

#include "ftp/FtpLocalFile.h"
#include "ftp/FtpReply.h"
#include "ftp/FtpTypes.h"
#include "ftp/WSocket.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

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
//
// Servers are not trusted to follow the protocol: malformed or stale replies, silence, data
// connections from other hosts, a REST that was ignored and names in another character set
// are refused or handled as docs/engine.md lists; none of them ends as a success.
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
    // The most a listing (LIST, MLSD, NLST) may bring: bytes and lines, 0 for no limit. A
    // listing that reaches either is cut: its data connection is dropped, the request fails
    // with 552 and ListingCut() is true until the next transfer starts.
    void SetListingLimits(int64_t maxBytes, int64_t maxLines)
    {
        m_listingMaxBytes = maxBytes;
        m_listingMaxLines = maxLines;
    }
    bool ListingCut() const { return m_listingCut; }
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
    // How long the engine waits for the server when nothing at all arrives (greeting,
    // replies, a data connection to open or to move); 0 waits without end. When it passes,
    // the request fails with 10060 and the control connection is closed.
    int ReplyTimeoutMs() const { return m_replyTimeoutMs; }
    void SetReplyTimeoutMs(int ms) { m_replyTimeoutMs = ms; }
    // After a successful login, ask FEAT and, when the server offers UTF8, send
    // "OPTS UTF8 ON". Neither reply can fail the login.
    bool NegotiateUtf8() const { return m_negotiateUtf8; }
    void SetNegotiateUtf8(bool v) { m_negotiateUtf8 = v; }
    // Whether the FEAT reply after the login named this feature ("MLST", "UTF8", ...);
    // false when FEAT was not asked (negotiation off) or failed.
    bool ServerHasFeature(const QString &name) const { return m_features.contains(name.toUpper()); }

    // --- encryption (FTP over TLS; FtpCliTls.cpp, docs/engine.md) -------------------------
    TFtpTlsMode TlsMode() const { return m_tlsMode; }
    void SetTlsMode(TFtpTlsMode mode) { m_tlsMode = mode; }
    // With TLS on the control connection, ask for clear data connections (PROT C).
    bool ClearDataChannel() const { return m_clearData; }
    void SetClearDataChannel(bool v) { m_clearData = v; }
    // SHA-256 fingerprints ("AB:CD:...") of certificates the user trusts for this server:
    // accepted without asking although the system does not trust them. An answer of
    // "trust once" or "always" adds the certificate here for the rest of the session.
    QStringList TrustedFingerprints() const { return m_trustedFingerprints; }
    void SetTrustedFingerprints(const QStringList &v) { m_trustedFingerprints = v; }
    // How long an OnCertificate question may stay unanswered before the connection fails.
    int CertificateTimeoutMs() const { return m_certificateTimeoutMs; }
    void SetCertificateTimeoutMs(int ms) { m_certificateTimeoutMs = ms; }
    bool TlsActive() const { return m_control.TlsActive(); }
    // Data connections are encrypted (PROT P accepted).
    bool DataProtected() const { return m_protectData; }
    // "TLSv1.3, TLS_AES_256_GCM_SHA384" while the control connection is encrypted.
    QString TlsDescription() const { return m_control.TlsDescription(); }
    // The certificate of the control connection, once its handshake is through.
    TTlsCertificate PeerCertificate() const { return m_peerCertificate; }
    // Answers an OnCertificate question left Pending. Ignored when none is open.
    void AnswerCertificate(TCertificateAnswer answer);

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
    // The size the last download's 150 reply announced, "(N bytes)"; -1 when it named none.
    int64_t AnnouncedSize() const { return m_announcedSize; }
    // What the last download's local file holds: a regular file's length as it was closed
    // (taken from the open descriptor, no look-up by name); for standard output, a device or
    // a pipe, which keep no length, the bytes written to it.
    int64_t DownloadedLength() const
    {
        const int64_t kept = m_localFile.lengthAtClose();
        return kept >= 0 ? kept : ByteCount;
    }
    QString DirResult() const { return m_dirResult; }
    int RequestResult() const { return m_requestResult; }
    bool IsConnected() const { return m_control.State() != TSocketState::wsClosed; }
    // The server's character set for names, as far as seen on this connection: UTF-8
    // until a reply or a listing line is not valid UTF-8, Windows-1252 from then on. Names
    // go back to the server in the same set, so they travel as the bytes they came in.
    bool ServerUsesUtf8() const { return m_encoding == Encoding::Utf8; }
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
    // Ends the running transfer from this side and keeps the control connection: the data
    // connection is dropped and the transfer fails (426) whatever the server says next. A
    // passive upload whose data connection is still being opened ends at once, since no
    // reply and no close would come to end it.
    void AbortTransfer();
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
    // The folder as a machine listing (MLSD, RFC 3659): PASV or PORT, then MLSD; it
    // completes as rqDir. Only for servers that list MLST in their FEAT reply.
    void StartMlsdDir();
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
    // The server's certificate is not trusted by the system or not issued for the host,
    // and its fingerprint is not among TrustedFingerprints. The handler sets Answer, or
    // leaves it Pending and calls AnswerCertificate later (within CertificateTimeoutMs).
    // Without a handler the certificate is refused. Nothing is sent to the server before
    // the answer.
    std::function<void(TFtpClient *Sender, const TTlsCertificate &Cert, TCertificateAnswer &Answer)> OnCertificate;

private:
    using Handler = void (TFtpClient::*)();
    // What runs when a command's final reply has been judged (ok: an accepted code). Each
    // single command names its own beside its request; none means "the request is done".
    using ReplyAction = void (TFtpClient::*)(bool ok);
    // Starts one step of a request; false, with the reason, when it could not start.
    using Starter = bool (TFtpClient::*)(QString &why);
    static constexpr int kMaxCodes = 16;

    // The phase of the transfer in progress. Either end of a transfer (the success reply,
    // the close of the data connection) may come first; the transfer is over when both are
    // in, or at the first failure (EndTransfer).
    enum class Phase {
        Idle,       // no transfer
        Connecting, // passive upload: the data connection is being opened, STOR/APPE waits
        Commanded,  // the transfer command is out, its first reply is not
        Moving,     // the server accepted the transfer (1xx): data moves
        ReplyIn,    // the success reply is in; waiting for the data connection to close
        ClosedIn,   // the data connection closed; waiting for the final reply
    };
    enum class Encoding { Utf8, Windows1252 };

    // FtpCli.cpp: state, usage errors, the executor, completion, the event barrier
    void ChangeState(TFtpEngineState state);
    void SetPhase(Phase phase);
    void TriggerDisplay(const QString &text);
    void HandleError(const QString &text);
    void Run(Starter starter);
    bool Ready(QString &why) const;
    bool NoLineBreaks(std::initializer_list<const QString *> operands, QString &why) const;
    bool ExecAsync(TFtpRequest rq, const QString &line, std::initializer_list<int> okCodes, QString &why,
                   ReplyAction action = nullptr);
    void SetErrorMessage(const QString &line);
    void SetResponse(int32_t code, const QString &line);
    void TriggerRequestDone(int error);
    void PostRequestDone(int error);
    void Guarded(const std::function<void()> &body, bool endRequest = true);
    void ArmReplyTimer();
    void ReplyTimedOut();
    QByteArray EncodeForServer(const QString &text, bool *ok = nullptr) const;
    QString DecodeFromServer(const QByteArray &bytes);

    // FtpCliReply.cpp: reading replies and the per-command reply actions
    void ControlDataAvailable(int error);
    void ProcessReplyBuffer(int error);
    void HandleReplyLine(const QByteArray &bytes, bool stale, int error);
    void ProtocolError(const QString &text);
    void WaitingBannerLine(int code, int error);
    void GenericReply();
    void ReplyDone(bool ok);
    void SizeReply(bool ok);
    void DirReply(bool ok);
    void PwdReply(bool ok);
    void PasvReply(bool ok);
    bool PortFallback();
    void ResendPortCommand(const QString &line);
    void QuitReply(bool ok);
    void FeatReply(bool ok);

    // FtpCliTls.cpp: AUTH TLS, the certificate, PBSZ and PROT; TLS on data connections
    bool TlsRequired() const;
    void SecureAfterGreeting();
    void SendSecurityCommand(const QString &line, std::initializer_list<int> okCodes, ReplyAction action);
    void AuthReply(bool ok);
    void ControlTlsDone(int error);
    void JudgeCertificate();
    void CertificateAccepted();
    void PbszReply(bool ok);
    void ProtReply(bool ok);
    void FailSecurity(int code, const QString &text);
    void PrepareDataTls();
    void StartDataTls();
    bool DataTlsAcceptable(QString &why) const;
    void DataTlsDone(int error);
    bool RefuseClearCredentials(QString &why) const;

    // FtpCliSteps.cpp: the single-command starters and composite requests
    bool BeginUser(QString &why);
    bool BeginPass(QString &why);
    bool BeginCwd(QString &why);
    bool BeginSyst(QString &why);
    bool BeginQuit(QString &why);
    bool BeginAbor(QString &why);
    bool BeginSize(QString &why);
    bool BeginMkd(QString &why);
    bool BeginRmd(QString &why);
    bool BeginDele(QString &why);
    bool BeginRnto(QString &why);
    bool BeginRnfr(QString &why);
    bool BeginPwd(QString &why);
    bool BeginQuote(QString &why);
    bool BeginCdup(QString &why);
    bool BeginTypeSet(QString &why);
    bool BeginFeat(QString &why);
    bool BeginOptsUtf8(QString &why);
    bool BeginOptsMlst(QString &why);
    QString MlstFactsToAsk() const;
    bool BeginComposite(TFtpRequest rq, std::initializer_list<TFtpStep> steps, QString &why);
    void StartComposite(TFtpRequest rq, std::initializer_list<TFtpStep> steps);
    void NextStep();
    void RunStep(TFtpStep step);
    void FailStep(const QString &why);

    // FtpCliOpen.cpp: lookup, connect, close, abort
    bool BeginOpen(QString &why);
    void ControlDnsLookupDone(int error);
    void ControlSessionConnected(int error);
    void ControlSessionClosed(int error);
    void FailOpen(int error, const QString &response);
    void ApplySocks(TWSocket &socket) const;
    QString ConnectFailureText(int error) const;

    // FtpCliData.cpp: PORT/PASV and the data connection
    bool BeginPort(QString &why);
    bool ConnectPassiveData(void (TFtpClient::*connected)(int), int failCode);
    void DataAccept();
    QString DataConnectFailureText(int error) const;
    void DownloadConnected(int error);
    void UploadConnected(int error);
    void DataReceive();
    bool StoreReceived(const char *data, int length);
    bool WriteLocal(const char *data, int length);
    void DrainData();
    void DataDiscard();
    void DataSend(int error);
    bool SendNextBlock();
    void PostStartUpload();
    void DataClosed(int error);
    void NoteDataError(int code, const QString &text);
    void DetachData();

    // FtpCliTransfer.cpp: transfer commands, their replies, the end of a transfer, REST
    bool BeginRetr(QString &why);
    bool BeginList(QString &why);
    bool BeginNlst(QString &why);
    bool BeginMlsd(QString &why);
    bool BeginStor(QString &why);
    bool BeginAppe(QString &why);
    bool BeginRest(QString &why);
    bool BeginDownload(TFtpRequest rq, const QString &command, QString &why);
    bool BeginUpload(bool append, QString &why);
    void SendUploadCommand();
    void DownloadFirstReply();
    void UploadFirstReply();
    void TransferFinalReply();
    void TransferComplete();
    void FailTransferStart(int code, const QString &response, bool showIt);
    void TearDownTransfer();
    void EndTransfer(int code);
    void DeliverDisplayFile(const char *data, int length, bool flush);
    bool WithinListingLimits(const char *data, int length);

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
    int m_replyTimeoutMs = 30000;
    bool m_negotiateUtf8 = false;

    TFtpEngineState m_state = TFtpEngineState::stReady;
    TFtpRequest m_requestType = TFtpRequest::rqNone;
    int32_t m_statusCode = 0;
    QString m_lastResponse;
    int64_t m_sizeResult = 0;
    QString m_sizeName; // the remote file a valid SIZE result belongs to
    QString m_dirResult;
    int m_requestResult = 0;

    FtpReplyBuffer m_buffer;
    // Bytes of the buffer that arrived before the last command went out: the lines they
    // make up cannot be its reply.
    qsizetype m_staleBytes = 0;
    int m_multiCode = 0; // the code of the multi-line reply being read, or 0
    std::array<int, kMaxCodes> m_okCodes{};
    int m_okCount = 0; // 0: any code below 500 succeeds
    Handler m_next = nullptr;
    ReplyAction m_replyAction = nullptr;
    std::bitset<static_cast<size_t>(TFtpStep::None)> m_steps;
    TFtpStep m_lastStep = TFtpStep::None;
    bool m_composite = false;
    int m_compositeResult = 0;
    QString m_savedResponse;
    int32_t m_savedCode = -1;
    bool m_requestDone = false;
    bool m_connected = false;
    bool m_awaitingReply = false; // a command or the banner has no final reply yet
    QString m_pasvResponse;
    // The data connection command last sent: "EPSV", "PASV", "PORT" or "EPRT".
    QString m_portCommand;
    QString m_eprtLine;         // the EPRT line for the listener, should PORT be refused
    bool m_epsvRefused = false; // this session's server refused EPSV: PASV from now on
    bool m_portRefused = false; // this session's server refused PORT: EPRT from now on
    QDeadlineTimer m_waitDeadline;
    QTimer m_replyTimer;
    QString m_waitingFor; // what the reply timer waits for, for its message
    QString m_socksErrorText;
    Encoding m_encoding = Encoding::Utf8;
    bool m_serverOffersUtf8 = false;
    // The facts of FEAT's MLST line ("type*;size*;modify*;unix.mode;").
    QString m_mlstFacts;
    // The features of the server's last FEAT reply (first word of each line, upper case).
    QStringList m_features;

    // encryption
    TFtpTlsMode m_tlsMode = TFtpTlsMode::None;
    bool m_clearData = false;
    bool m_protectData = false;
    QStringList m_trustedFingerprints;
    int m_certificateTimeoutMs = 120000;
    bool m_certificatePending = false; // an OnCertificate question is open
    TTlsCertificate m_peerCertificate;

    // transfer state
    Phase m_phase = Phase::Idle;
    bool m_upload = false;
    QString m_dataCommand; // "RETR", "LIST", "NLST", "STOR", "APPE" for messages
    TFtpLocalFile m_localFile;
    int m_closeError = 0;
    // An error the data side met itself (a failed local write or read, a receive or send
    // error, an abort): the transfer fails with it even if the server then reports success.
    int m_dataError = 0;
    QString m_dataErrorText; // what NoteDataError said first, without the "! "
    // Bytes a resumed download may still bring: the remote size less the restart offset;
    // -1 when the remote size is not known.
    int64_t m_resumeLimit = -1;
    int64_t m_listingMaxBytes = 0, m_listingMaxLines = 0;
    int64_t m_listingLines = 0; // line ends of the running listing so far
    bool m_listingCut = false;
    // The size the 150 reply of a download announced, "(N bytes)"; -1 when none.
    int64_t m_announcedSize = -1;
    int64_t m_startTick = 0;
    int64_t m_stopTick = 0;
    std::vector<char> m_block; // the one buffer a transfer streams through
    // Text mode: the block with its line ends changed; a CR received last (its LF may come
    // in the next block); whether the last byte sent was a CR.
    std::vector<char> m_textBlock;
    bool m_pendingCr = false;
    bool m_lastSentCr = false;
    QByteArray m_listingTail; // listing bytes after the last line end, kept for the next block
};
