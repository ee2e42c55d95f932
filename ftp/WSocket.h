#pragma once

#include "ftp/TlsSupport.h"
#include "ftp/WSocketBuffer.h"
#include "ftp/WSocketErrors.h"
#include "ftp/WSocketResolve.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

class QSocketNotifier;
class TWSocket;
struct TDnsTicket;

// Numbering is fixed: the FTP engine compares these values.
enum class TSocketState {
    wsInvalidState = 0,
    wsOpened = 1,
    wsBound = 2,
    wsConnecting = 3,
    wsConnected = 4,
    wsAccepting = 5,
    wsListening = 6,
    wsClosed = 7,
};

enum TWSocketOption : unsigned {
    wsoNoReceiveLoop = 1u << 0, // one OnDataAvailable per readiness notification
    wsoTcpNoDelay = 1u << 1,    // TCP_NODELAY on connect
};

enum class TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum class TSocksAuthentication { socksNoAuthentication, socksAuthenticateUsercode };
enum class TSocksAuthState { authBegin = 0, authAccepted = 1, authRejected = 2, authNotNeeded = 3 };
// Where a SOCKS handshake stands; any other value met while data arrives is an internal error.
enum class TSocksState { PassThrough = 0, NegotiatingMethods = 1, Authenticating = 2, Connecting = 3 };

QString SocketStateName(TSocketState state);

// Where TLS stands on a connection.
enum class TTlsState { None, Handshaking, Established, Failed };

// Event-driven TCP socket (IPv4 and IPv6) with a built-in SOCKS 4 / 4A / 5 client and TLS (client
// side, OpenSSL on the non-blocking handle).
//
// TLS: StartTls begins a handshake on an open connection; with SetTlsOnConnect the
// handshake follows the connect (and the SOCKS handshake) by itself and OnSessionConnected
// comes only once it is through, with its error. Either way OnTlsDone reports the end of
// the handshake; afterwards Send, Receive and the data events carry plain bytes exactly
// as on a clear connection. The handshake is bounded (TlsHandshakeTimeoutMs). The socket
// does not judge the certificate: PeerCertificate() tells its owner what it is.
//
// Thread: a socket lives on the thread that created it (which must run a Qt event loop);
// every event is delivered there, one at a time. No call blocks, except the host-name
// conversion inside Connect when Addr holds a name rather than a dotted address.
//
// Re-entrancy: handlers may call any operation of the socket. Close fires OnSessionClosed
// synchronously inside the caller; DnsLookup of a dotted address fires OnDnsLookupDone
// inside the call. OnDataSent and CloseDelayed always run later from the event loop.
// An exception escaping a handler is passed to OnBgException and then aborts the socket.
// A handler must not delete its own socket (use deleteLater()).
class TWSocket : public QObject {
    Q_OBJECT
public:
    using SocketEvent = std::function<void(TWSocket *Sender, int Error)>;

    explicit TWSocket(QObject *parent = nullptr);
    ~TWSocket() override;
    TWSocket(const TWSocket &) = delete;
    TWSocket &operator=(const TWSocket &) = delete;

    // --- properties -------------------------------------------------------------------
    // A host name, a dotted IPv4 address or an IPv6 address (brackets around it are dropped).
    QString Addr() const { return m_addr; }
    void SetAddr(const QString &value);
    // Addresses tried in order after Addr when connecting to it fails (not through a
    // proxy): a host with several addresses connects over the first one that answers. The
    // failures before the last address are not reported; each attempt that still has a
    // next address is bounded by ConnectAttemptTimeoutMs. Forgotten at every close.
    QStringList AddrFallbacks() const { return m_addrFallbacks; }
    void SetAddrFallbacks(const QStringList &addresses);
    int ConnectAttemptTimeoutMs() const { return m_connectAttemptTimeoutMs; }
    void SetConnectAttemptTimeoutMs(int ms) { m_connectAttemptTimeoutMs = ms; }
    // The address family of the open handle (AF_INET, AF_INET6), or 0 without one.
    int Family() const;
    QString Port() const { return m_port; }
    void SetPort(const QString &value);
    QString Proto() const { return m_proto; }
    void SetProto(const QString &value);
    QString LocalAddr() const { return m_localAddr; }
    void SetLocalAddr(const QString &value);
    QString LocalPort() const { return m_localPort; }
    void SetLocalPort(const QString &value);
    QString DnsResult() const { return m_dnsResultList.isEmpty() ? QString() : m_dnsResultList.first(); }
    QStringList DnsResultList() const { return m_dnsResultList; }
    TSocketState State() const { return m_state; }
    uint32_t ReadCount() const { return m_readCount; }
    int LastError() const { return m_lastError; }
    // The last error text reported, also when OnError took it instead of an exception.
    QString LastErrorMessage() const { return m_lastErrorMessage; }
    unsigned ComponentOptions() const { return m_options; }
    void SetComponentOptions(unsigned options) { m_options = options; }
    TSocketLingerOnOff LingerOnOff() const { return m_lingerOnOff; }
    void SetLingerOnOff(TSocketLingerOnOff value) { m_lingerOnOff = value; }
    int LingerTimeout() const { return m_lingerTimeout; }
    void SetLingerTimeout(int seconds) { m_lingerTimeout = seconds; }
    bool MultiThreaded() const { return m_multiThreaded; }
    void SetMultiThreaded(bool value) { m_multiThreaded = value; }
    int Handle() const { return m_handle; }
    bool AllSent() const { return !m_sendQueue.HasUnsent(); }
    // Chunks in the send queue (each up to 1460 bytes).
    size_t SendChunkCount() const { return m_sendQueue.ChunkCount(); }

    QString SocksServer() const { return m_socksServer; }
    void SetSocksServer(const QString &value);
    QString SocksPort() const { return m_socksPort; }
    void SetSocksPort(const QString &value);
    QString SocksLevel() const { return m_socksLevel; }
    void SetSocksLevel(const QString &value);
    QString SocksUsercode() const { return m_socksUsercode; }
    void SetSocksUsercode(const QString &value) { m_socksUsercode = value; }
    QString SocksPassword() const { return m_socksPassword; }
    void SetSocksPassword(const QString &value) { m_socksPassword = value; }
    TSocksAuthentication SocksAuthentication() const { return m_socksAuthentication; }
    void SetSocksAuthentication(TSocksAuthentication value) { m_socksAuthentication = value; }
    TSocksState SocksState() const { return m_socksState; }
    // Bound address and port from the proxy's reply to the connect request.
    QString SocksBoundAddr() const { return m_socksBoundAddr; }
    QString SocksBoundPort() const { return m_socksBoundPort; }

    // --- TLS -----------------------------------------------------------------------------
    // The name the certificate is checked against and sent as SNI (the host the user asked
    // for, not the address it resolved to). Forgotten at every close, like the SOCKS server.
    QString TlsHostName() const { return m_tlsHostName; }
    void SetTlsHostName(const QString &value) { m_tlsHostName = value; }
    bool TlsOnConnect() const { return m_tlsOnConnect; }
    void SetTlsOnConnect(bool value);
    // The sessions this connection resumes from and adds to. A data connection gets the
    // control connection's, so it resumes the control connection's session. Without one,
    // the handshake makes a new cache. Forgotten at every close.
    void SetTlsSessionCache(TTlsSessionCachePtr cache) { m_tlsSessions = std::move(cache); }
    TTlsSessionCachePtr TlsSessionCache() const { return m_tlsSessions; }
    int TlsHandshakeTimeoutMs() const { return m_tlsHandshakeTimeoutMs; }
    void SetTlsHandshakeTimeoutMs(int ms) { m_tlsHandshakeTimeoutMs = ms; }
    TTlsState TlsState() const { return m_tlsState; }
    bool TlsActive() const { return m_tlsState == TTlsState::Established; }
    bool TlsSessionReused() const;
    // The peer sent its TLS close notify: the stream ended where the peer meant it to.
    bool TlsCloseNotifyReceived() const { return m_tlsCloseNotify; }
    // "TLSv1.3, TLS_AES_256_GCM_SHA384"; empty without TLS.
    QString TlsDescription() const;
    TTlsCertificate PeerCertificate() const;
    void StartTls();

    // --- operations ---------------------------------------------------------------------
    void DnsLookup(const QString &host);
    void CancelDnsLookup();
    void Connect();
    void Listen();
    int Accept();
    void Dup(int handle);
    int Send(const void *data, int length);
    int SendStr(const QByteArray &text);
    int Receive(void *buffer, int size);
    // Everything that can be read now (held proxy bytes first).
    QByteArray ReceiveStr();
    void Close();
    void CloseDelayed();
    void Abort();
    void ShutDown(int how);
    // Hands the connected descriptor to another owner (an SSH library reading it itself):
    // the socket stops watching it, forgets it without closing it and is closed and reset,
    // with no close event. `held` receives the bytes that came with a proxy's reply and
    // belong to the stream. Returns -1 (and keeps nothing) when not connected.
    int ReleaseHandle(QByteArray &held);
    // Local address and port of the handle; returns 0 or a socket error number.
    int GetSockName(QString &address, uint16_t &port);
    QString GetPeerAddr();
    QString GetPeerPort();
    void SetLingerOption();
    void ResetToDefaults();

    // --- events -------------------------------------------------------------------------
    SocketEvent OnDnsLookupDone;
    SocketEvent OnSessionConnected;
    SocketEvent OnSocksConnected;
    SocketEvent OnDataAvailable;
    SocketEvent OnDataSent;
    SocketEvent OnSessionAvailable;
    SocketEvent OnSessionClosed;
    SocketEvent OnTlsDone;
    std::function<void(TWSocket *Sender, TSocketState OldState, TSocketState NewState)> OnChangeState;
    std::function<void(TWSocket *Sender)> OnError;
    std::function<void(TWSocket *Sender, const std::exception &E, bool &CanClose)> OnBgException;
    std::function<void(TWSocket *Sender, int Error, const QString &Msg)> OnSocksError;
    std::function<void(TWSocket *Sender, TSocksAuthState AuthState)> OnSocksAuthState;

private:
    // WSocket.cpp: state, errors, properties, connect, listen, close
    void ChangeState(TSocketState newState);
    void RaiseException(const QString &message);
    void SocketError(const QString &operation, int error);
    void SocketError(const QString &operation) { SocketError(operation, WSocketErrnoToError(errno)); }
    bool RequireClosed(const QString &message);
    void ConvertForConnect();
    void ConnectTo(const WSocketAddress &address);
    bool ConnectNextFallback(int error);
    bool SetupNewHandle(const char *createOperation, int family);
    void CloseHandleAndReset(int closedError, bool reportClosed);
    void InternalClose(bool shutdownFirst, int closedError);
    void FireSessionClosed(int error);
    void FinishDnsLookup(uint64_t id, int error, const QStringList &addresses);

    // WSocketIo.cpp: readiness dispatch, receive loop, send queue
    void Watch(bool accepting);
    void Unwatch();
    void UpdateWriteWatch();
    void OnReadReady(int fd);
    void OnWriteReady(int fd);
    void CompleteConnect(int error);
    void HandleReadable(int error);
    void HandlePeerClosed(int error);
    void HandleWritable(int error);
    void PostWritable();
    void ReceiveLoop(int error, bool forceLoop);
    bool DeliverData(int error);
    int BytesPending() const;
    void TryToSend();
    void Dispatch(const std::function<void()> &body);
    void HandleBgException(const std::exception &e);

    // WSocketTls.cpp: the TLS layer
    void BeginTlsHandshake();
    void DriveTlsHandshake();
    void FinishTlsHandshake(int error);
    void FailTls(int code, const QString &text);
    void ReleaseTls(bool notifyPeer);
    int TlsReceive(char *buffer, int size);
    void TlsTryToSend();
    bool TlsBusy() const { return m_ssl && m_tlsState != TTlsState::Established; }
    void AfterTlsCloseNotify();
    bool TlsCloseWaitsForTicket();
    void PostClose();
    static int TlsNewSession(SSL *ssl, SSL_SESSION *session);

    // WSocketSocks.cpp: the SOCKS client
    bool UsingSocks() const { return !m_socksServer.isEmpty(); }
    void SocksConnect();
    void SocksSessionConnected(int error);
    void SocksDataAvailable(int error);
    bool SocksReadReply();
    void SocksGreetingReply();
    void SocksAuthReply();
    void SocksConnectReply();
    void SocksSendConnectRequest();
    void SocksSendRaw(const QByteArray &bytes);
    void SocksFail(int code, const QString &text);
    void SocksSucceed();

    // properties
    QString m_addr, m_port, m_proto, m_localAddr, m_localPort;
    bool m_addrAssigned = false, m_portAssigned = false, m_protoAssigned = false;
    bool m_addrResolved = false, m_portResolved = false, m_protoResolved = false, m_localPortResolved = false;
    WSocketAddress m_addrValue;
    QStringList m_addrFallbacks;
    int m_connectAttemptTimeoutMs = 10000;
    QTimer m_connectTimer; // bounds an attempt that has a next address to try
    uint16_t m_portValue = 0, m_localPortValue = 0;
    QStringList m_dnsResultList;
    TSocketState m_state = TSocketState::wsClosed;
    uint32_t m_readCount = 0;
    uint64_t m_consumed = 0; // bytes handed to the owner by Receive, for the loop's progress test
    int m_lastError = 0;
    QString m_lastErrorMessage;
    unsigned m_options = 0;
    TSocketLingerOnOff m_lingerOnOff = TSocketLingerOnOff::wsLingerOn;
    int m_lingerTimeout = 0;
    bool m_multiThreaded = false;

    // connection
    int m_handle = -1;
    uint64_t m_generation = 0; // bumped whenever the handle changes; stale notifications are ignored
    bool m_closeReported = false;
    bool m_destroying = false;
    // Made once and kept for the socket's life: each connection points them at its
    // descriptor, so no notifier is made and deleted per connection.
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    bool m_writeWatched = false; // the write notifier is pointed at the current handle
    bool m_writablePosted = false;
    bool m_sentSinceDrained = false; // the owner sent since the last OnDataSent
    TSendQueue m_sendQueue;

    // lookup
    std::shared_ptr<TDnsTicket> m_dnsTicket;
    uint64_t m_dnsId = 0;
    bool m_dnsPending = false;

    // SOCKS
    QString m_socksServer, m_socksPort, m_socksLevel = QStringLiteral("5"), m_socksUsercode, m_socksPassword;
    TSocksAuthentication m_socksAuthentication = TSocksAuthentication::socksNoAuthentication;
    TSocksState m_socksState = TSocksState::PassThrough;
    bool m_socksOfferedPassword = false;
    uint16_t m_socksDestPort = 0;
    QByteArray m_socksReply; // reply bytes collected so far (at most 127)
    QByteArray m_socksHeld;  // destination bytes that came with the proxy's reply
    QString m_socksBoundAddr, m_socksBoundPort;

    // TLS
    SSL *m_ssl = nullptr;
    TTlsState m_tlsState = TTlsState::None;
    QString m_tlsHostName;
    bool m_tlsOnConnect = false;
    bool m_tlsConnectPending = false; // OnSessionConnected waits for the handshake
    TTlsSessionCachePtr m_tlsSessions;
    int m_tlsHandshakeTimeoutMs = 30000;
    QTimer m_tlsTimer;
    bool m_tlsWantWrite = false; // the handshake or a read waits for write readiness
    int m_tlsRetryLength = 0;    // a write that would block is retried with this length
    bool m_tlsCloseNotify = false;
    bool m_closeAfterHandshake = false; // CloseDelayed came during the handshake
    bool m_tlsTicketSeen = false;       // the peer sent a session on this connection
    bool m_closeAfterTicket = false;    // CloseDelayed waits for that session
    QByteArray m_tlsWriteCopy;          // the front of the send queue in one piece
};
