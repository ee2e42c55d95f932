#include "ftp/WSocket.h"

#include "ftp/WSocketResolve.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <thread>

// Shared between a socket and its lookup threads: a finished lookup posts its result only
// while the socket still exists.
struct TDnsTicket {
    std::mutex mutex;
    TWSocket *target = nullptr;
};

namespace {

bool isWildcard(const QString &address)
{
    return address == QLatin1String("0.0.0.0") || address == QLatin1String("::");
}

bool setOption(int fd, int level, int name, int value)
{
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

} // namespace

QString SocketStateName(TSocketState state)
{
    static const char *const names[] = {"wsInvalidState", "wsOpened",    "wsBound",     "wsConnecting",
                                        "wsConnected",    "wsAccepting", "wsListening", "wsClosed"};
    return QString::fromLatin1(names[static_cast<int>(state)]);
}

TWSocket::TWSocket(QObject *parent) : QObject(parent), m_dnsTicket(std::make_shared<TDnsTicket>())
{
    m_dnsTicket->target = this;
    m_proto = QStringLiteral("tcp");
    m_protoAssigned = true;
    m_localAddr = QStringLiteral("0.0.0.0");
    m_localPort = QStringLiteral("0");
    m_tlsTimer.setSingleShot(true);
    connect(&m_tlsTimer, &QTimer::timeout, this, [this] {
        if (m_tlsState == TTlsState::Handshaking)
            Dispatch([this] { FailTls(TlsError::HandshakeTimeout, QStringLiteral("TLS handshake timed out")); });
        else if (m_closeAfterTicket)
            PostClose(); // no ticket came: the close goes ahead
    });
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        if (m_state == TSocketState::wsConnecting && !m_addrFallbacks.isEmpty())
            Dispatch([this] { ConnectNextFallback(WsaError::TimedOut); });
    });
    ResetToDefaults();
}

TWSocket::~TWSocket()
{
    {
        std::lock_guard lock(m_dnsTicket->mutex);
        m_dnsTicket->target = nullptr;
    }
    m_destroying = true;
    OnChangeState = nullptr;
    OnSessionClosed = nullptr;
    ReleaseTls(false);
    if (m_handle >= 0) {
        Unwatch();
        ::close(m_handle);
        m_handle = -1;
    }
}

// --- state and error reporting ------------------------------------------------------------

void TWSocket::ChangeState(TSocketState newState)
{
    const TSocketState old = m_state;
    if (old == newState)
        return;
    m_state = newState;
    if (OnChangeState)
        OnChangeState(this, old, newState);
}

void TWSocket::RaiseException(const QString &message)
{
    m_lastErrorMessage = message;
    if (OnError)
        OnError(this);
    else
        throw ESocketException(message);
}

void TWSocket::SocketError(const QString &operation, int error)
{
    m_lastError = error;
    if (error == WsaError::ConnReset || error == WsaError::NotConnected) {
        const bool wasOpen = m_state != TSocketState::wsClosed;
        CloseHandleAndReset(error, wasOpen);
    }
    RaiseException(QStringLiteral("Error %1 in function %2\r\n%3").arg(error).arg(operation, WSocketErrorDesc(error)));
}

void TWSocket::FireSessionClosed(int error)
{
    if (m_destroying || m_closeReported)
        return;
    m_closeReported = true;
    if (OnSessionClosed)
        OnSessionClosed(this, error);
}

// Closes the handle without a shutdown, reports the end (when asked and not yet done), and
// restores the defaults unless a handler has already started a new connection.
void TWSocket::CloseHandleAndReset(int closedError, bool reportClosed)
{
    ReleaseTls(false);
    if (m_handle >= 0) {
        Unwatch();
        ::close(m_handle);
        m_handle = -1;
        ++m_generation;
    }
    ChangeState(TSocketState::wsClosed);
    if (reportClosed)
        FireSessionClosed(closedError);
    if (m_handle < 0 && m_state == TSocketState::wsClosed) {
        try {
            ResetToDefaults();
        } catch (...) { // nothing in it may stop a close
        }
    }
}

void TWSocket::InternalClose(bool shutdownFirst, int closedError)
{
    if (m_handle < 0) {
        ChangeState(TSocketState::wsClosed);
        try {
            ResetToDefaults();
        } catch (...) {
        }
        return;
    }
    if (m_state == TSocketState::wsClosed)
        return;
    ReleaseTls(shutdownFirst);
    if (shutdownFirst)
        ::shutdown(m_handle, SHUT_WR);
    // close() releases the descriptor even when it reports an error, so there is nothing
    // to retry; only a bad descriptor is worth a report.
    Unwatch();
    const int fd = m_handle;
    m_handle = -1;
    ++m_generation;
    if (::close(fd) != 0 && errno == EBADF) {
        ChangeState(TSocketState::wsClosed);
        SocketError(QStringLiteral("Disconnect (closesocket)"), WsaError::BadFile);
        return;
    }
    CloseHandleAndReset(closedError, true);
}

void TWSocket::ResetToDefaults()
{
    m_proto = QStringLiteral("tcp");
    m_protoAssigned = true;
    m_protoResolved = false;
    m_addrAssigned = false;
    m_portAssigned = false;
    m_addrResolved = false;
    m_portResolved = false;
    m_addrFallbacks.clear();
    m_connectTimer.stop();
    m_localPort = QStringLiteral("0");
    m_localPortResolved = false;
    m_localAddr = QStringLiteral("0.0.0.0");
    m_lingerOnOff = TSocketLingerOnOff::wsLingerOn;
    m_lingerTimeout = 0;
    ChangeState(TSocketState::wsClosed);
    m_sendQueue.Clear();
    m_readCount = 0;
    m_closeReported = false;
    m_socksState = TSocksState::PassThrough;
    m_socksServer.clear();
    m_socksPort.clear();
    m_socksLevel = QStringLiteral("5");
    m_socksReply.clear();
    m_socksHeld.clear();
    m_tlsOnConnect = false;
    m_tlsHostName.clear();
    m_tlsSessions.reset();
}

// --- property setters ----------------------------------------------------------------------

bool TWSocket::RequireClosed(const QString &message)
{
    if (m_state == TSocketState::wsClosed)
        return true;
    RaiseException(message);
    return false;
}

void TWSocket::SetAddr(const QString &value)
{
    if (!RequireClosed(QStringLiteral("Cannot change Addr if not closed")))
        return;
    m_addr = WSocketStripBrackets(value);
    m_addrAssigned = !m_addr.isEmpty();
    m_addrResolved = false;
}

void TWSocket::SetAddrFallbacks(const QStringList &addresses)
{
    if (!RequireClosed(QStringLiteral("Cannot change Addr if not closed")))
        return;
    m_addrFallbacks.clear();
    for (const QString &address : addresses)
        m_addrFallbacks.append(WSocketStripBrackets(address));
}

int TWSocket::Family() const
{
    if (m_handle < 0)
        return 0;
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    if (::getsockname(m_handle, reinterpret_cast<sockaddr *>(&local), &len) != 0)
        return 0;
    return local.ss_family;
}

void TWSocket::SetPort(const QString &value)
{
    if (!RequireClosed(QStringLiteral("Cannot change Port if not closed")))
        return;
    m_port = value.trimmed();
    m_portAssigned = !m_port.isEmpty();
    m_portResolved = false;
}

void TWSocket::SetProto(const QString &value)
{
    if (!RequireClosed(QStringLiteral("Cannot change Proto if not closed")))
        return;
    m_proto = value.trimmed();
    m_protoAssigned = !m_proto.isEmpty();
    m_protoResolved = false;
}

void TWSocket::SetLocalAddr(const QString &value)
{
    if (!RequireClosed(QStringLiteral("Cannot change LocalAddr if not closed")))
        return;
    const QString text = value.trimmed();
    if (text.isEmpty()) {
        m_localAddr = QStringLiteral("0.0.0.0");
        return;
    }
    const auto numeric = WSocketNumericAddress(text, 0);
    if (!numeric) {
        RaiseException(QStringLiteral("SetLocalAddr(): Invalid IP address"));
        return;
    }
    m_localAddr = WSocketAddressText(numeric->data());
}

void TWSocket::SetLocalPort(const QString &value)
{
    if (!RequireClosed(QStringLiteral("Cannot change LocalPort if not closed")))
        return;
    m_localPort = value.trimmed();
    m_localPortResolved = false;
}

void TWSocket::SetSocksServer(const QString &value)
{
    if (!RequireClosed(QStringLiteral("Can't change socks server if not closed")))
        return;
    m_socksServer = value.trimmed();
}

void TWSocket::SetSocksPort(const QString &value)
{
    if (!RequireClosed(QStringLiteral("Can't change socks port if not closed")))
        return;
    m_socksPort = value.trimmed();
}

void TWSocket::SetSocksLevel(const QString &value)
{
    if (!RequireClosed(QStringLiteral("Can't change socks level if not closed")))
        return;
    const QString level = value.trimmed().toUpper();
    if (level != QLatin1String("4") && level != QLatin1String("4A") && level != QLatin1String("5")) {
        RaiseException(QStringLiteral("Invalid socks level. Must be 4, 4A or 5."));
        return;
    }
    m_socksLevel = level;
}

// --- host lookup -----------------------------------------------------------------------------

void TWSocket::DnsLookup(const QString &host)
{
    if (host.isEmpty()) {
        m_lastErrorMessage = QStringLiteral("DNS lookup: invalid host name.");
        try {
            RaiseException(m_lastErrorMessage);
        } catch (...) {
            // The lookup still ends with its event; the caller sees the text afterwards.
            if (OnDnsLookupDone)
                OnDnsLookupDone(this, WsaError::InvalidArgument);
            throw;
        }
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, WsaError::InvalidArgument);
        return;
    }
    m_dnsPending = false;
    ++m_dnsId; // a lookup still running is forgotten without an event
    m_dnsResultList.clear();
    if (const auto numeric = WSocketNumericAddress(host, 0)) {
        m_dnsResultList.append(WSocketAddressText(numeric->data()));
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, 0);
        return;
    }
    const uint64_t id = m_dnsId;
    m_dnsPending = true;
    try {
        std::thread([ticket = m_dnsTicket, id, host] {
            const WSocketLookupResult r = WSocketLookupHost(host);
            std::lock_guard lock(ticket->mutex);
            if (TWSocket *target = ticket->target) {
                QMetaObject::invokeMethod(
                    target, [target, id, r] { target->FinishDnsLookup(id, r.error, r.addresses); },
                    Qt::QueuedConnection);
            }
        }).detach();
    } catch (const std::system_error &e) {
        m_dnsPending = false;
        RaiseException(QStringLiteral("%1: can't start DNS lookup, error #%2").arg(host).arg(e.code().value()));
    }
}

void TWSocket::FinishDnsLookup(uint64_t id, int error, const QStringList &addresses)
{
    if (!m_dnsPending || id != m_dnsId)
        return;
    m_dnsPending = false;
    m_dnsResultList = addresses;
    Dispatch([&] {
        if (OnDnsLookupDone)
            OnDnsLookupDone(this, error);
    });
}

void TWSocket::CancelDnsLookup()
{
    if (!m_dnsPending)
        return;
    m_dnsPending = false;
    ++m_dnsId;
    if (OnDnsLookupDone)
        OnDnsLookupDone(this, WsaError::Interrupted);
}

// --- connect, listen, accept, dup ------------------------------------------------------------

void TWSocket::ConvertForConnect()
{
    if (!m_protoResolved) {
        WSocketResolveProto(m_proto);
        m_protoResolved = true;
    }
    if (!m_portResolved) {
        m_portValue = WSocketResolvePort(m_port, m_proto);
        m_portResolved = true;
    }
    if (!m_localPortResolved) {
        m_localPortValue = WSocketResolvePort(m_localPort, m_proto);
        m_localPortResolved = true;
    }
}

void TWSocket::Connect()
{
    if (m_handle >= 0 && m_state != TSocketState::wsClosed)
        return RaiseException(QStringLiteral("Connect: Socket already in use"));
    if (!m_portAssigned)
        return RaiseException(QStringLiteral("Connect: No Port Specified"));
    if (!m_addrAssigned)
        return RaiseException(QStringLiteral("Connect: No IP Address Specified"));
    if (!m_protoAssigned)
        return RaiseException(QStringLiteral("Connect: No Protocol Specified"));
    if (UsingSocks())
        return SocksConnect();
    try {
        ConvertForConnect();
        if (!m_addrResolved) {
            m_addrValue = WSocketResolveAddress(m_addr, m_portValue);
            m_addrResolved = true;
        }
    } catch (const ESocketException &e) {
        return RaiseException(QStringLiteral("connect: ") + e.message());
    }
    ConnectTo(m_addrValue);
}

// A failed attempt moves on to the next address, if there is one; the handle of the failed
// attempt is closed without events, since the connection as a whole is still being made.
bool TWSocket::ConnectNextFallback(int error)
{
    if (m_addrFallbacks.isEmpty() || m_socksState != TSocksState::PassThrough)
        return false;
    m_connectTimer.stop();
    while (!m_addrFallbacks.isEmpty()) {
        const QString next = m_addrFallbacks.takeFirst();
        const auto address = WSocketNumericAddress(next, m_portValue);
        if (!address)
            continue; // the list comes from the resolver: only numeric addresses belong in it
        if (m_handle >= 0) {
            Unwatch();
            ::close(m_handle);
            m_handle = -1;
            ++m_generation;
        }
        m_lastError = error;
        m_addr = next;
        m_addrValue = *address;
        ConnectTo(m_addrValue);
        return true;
    }
    return false;
}

bool TWSocket::SetupNewHandle(const char *createOperation, int family)
{
    m_sendQueue.Clear();
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, WSocketResolveProto(m_proto));
    if (fd < 0) {
        SocketError(QString::fromLatin1(createOperation));
        return false;
    }
    m_handle = fd;
    ++m_generation;
    m_closeReported = false;
    ChangeState(TSocketState::wsOpened);
    return true;
}

void TWSocket::ConnectTo(const WSocketAddress &address)
{
    if (!SetupNewHandle("Connect (socket)", address.family()))
        return;
    if (!setOption(m_handle, SOL_SOCKET, SO_REUSEADDR, 1))
        return SocketError(QStringLiteral("setsockopt(SO_REUSEADDR)"));
    if ((m_options & wsoTcpNoDelay) && !setOption(m_handle, IPPROTO_TCP, TCP_NODELAY, 1))
        return SocketError(QStringLiteral("setsockopt(IPPROTO_TCP, TCP_NODELAY)"));
    SetLingerOption();
    if (!setOption(m_handle, SOL_SOCKET, SO_KEEPALIVE, 1))
        return SocketError(QStringLiteral("setsockopt(SO_KEEPALIVE)"));
    if (m_localPortValue != 0 || !isWildcard(m_localAddr)) {
        // A wildcard local address stands for either family: the one of the destination.
        const auto numeric = isWildcard(m_localAddr) ? std::nullopt : WSocketNumericAddress(m_localAddr, 0);
        WSocketAddress local = numeric ? *numeric : WSocketAnyAddress(address.family(), 0);
        local.setPort(m_localPortValue);
        if (::bind(m_handle, local.data(), local.length) != 0) {
            const int error = WSocketErrnoToError(errno);
            m_lastError = error;
            return RaiseException(QStringLiteral("winsock.bind failed, error #%1").arg(error));
        }
        QString boundAddr;
        uint16_t boundPort = 0;
        if (const int error = GetSockName(boundAddr, boundPort); error != 0)
            return RaiseException(QStringLiteral("winsock.getsockname failed, error #%1").arg(error));
        m_localPort = QString::number(boundPort);
    }
    Watch(false);
    if (!m_addrFallbacks.isEmpty() && m_socksState == TSocksState::PassThrough)
        m_connectTimer.start(m_connectAttemptTimeoutMs);
    if (::connect(m_handle, address.data(), address.length) == 0 || errno == EINPROGRESS) {
        ChangeState(TSocketState::wsConnecting);
        UpdateWriteWatch();
        return;
    }
    const int error = WSocketErrnoToError(errno);
    if (errno == ECONNREFUSED || errno == ENETUNREACH || errno == EHOSTUNREACH || errno == ETIMEDOUT) {
        // A refusal the system knows at once is reported like one that arrives later, as
        // the connect event, so that callers see one path for a failed connection.
        ChangeState(TSocketState::wsConnecting);
        const uint64_t generation = m_generation;
        QMetaObject::invokeMethod(
            this,
            [this, generation, error] {
                if (generation == m_generation && m_state == TSocketState::wsConnecting)
                    Dispatch([&] { CompleteConnect(error); });
            },
            Qt::QueuedConnection);
        return;
    }
    SocketError(QStringLiteral("Connect"), error);
}

void TWSocket::Listen()
{
    if (!m_portAssigned || !m_protoAssigned || !m_addrAssigned) {
        m_lastError = WsaError::InvalidArgument;
        return RaiseException(!m_portAssigned    ? QStringLiteral("listen: port not assigned")
                              : !m_protoAssigned ? QStringLiteral("listen: protocol not assigned")
                                                 : QStringLiteral("listen: address not assigned"));
    }
    if (UsingSocks())
        return RaiseException(QStringLiteral("Listening is not supported thru socks server"));
    try {
        ConvertForConnect();
        m_addrValue = WSocketResolveAddress(m_addr, m_portValue);
        m_addrResolved = true;
    } catch (const ESocketException &e) {
        return RaiseException(QStringLiteral("listen: ") + e.message());
    }
    if (!SetupNewHandle("socket", m_addrValue.family()))
        return;
    if (::bind(m_handle, m_addrValue.data(), m_addrValue.length) != 0) {
        const int error = WSocketErrnoToError(errno);
        ::close(m_handle);
        m_handle = -1;
        ++m_generation;
        ChangeState(TSocketState::wsClosed);
        return SocketError(QStringLiteral("Bind"), error);
    }
    ChangeState(TSocketState::wsBound);
    if (::listen(m_handle, 5) != 0)
        return SocketError(QStringLiteral("Listen"));
    ChangeState(TSocketState::wsListening);
    Watch(true);
}

int TWSocket::Accept()
{
    if (m_state != TSocketState::wsListening) {
        RaiseException(QStringLiteral("not a listening socket"));
        return -1;
    }
    const int fd = ::accept4(m_handle, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        SocketError(QStringLiteral("Accept"));
        return -1;
    }
    return fd;
}

void TWSocket::Dup(int handle)
{
    if (handle < 0)
        return SocketError(QStringLiteral("Dup"), WsaError::InvalidArgument);
    if (m_handle >= 0 && m_state != TSocketState::wsClosed) {
        ReleaseTls(false);
        Unwatch();
        const int old = m_handle;
        m_handle = -1;
        ++m_generation;
        ChangeState(TSocketState::wsClosed);
        if (::close(old) != 0 && errno == EBADF)
            return SocketError(QStringLiteral("Dup (closesocket)"), WsaError::BadFile);
    }
    const int flags = ::fcntl(handle, F_GETFL);
    if (flags >= 0)
        ::fcntl(handle, F_SETFL, flags | O_NONBLOCK);
    m_handle = handle;
    ++m_generation;
    m_closeReported = false;
    m_sendQueue.Clear();
    SetLingerOption();
    Watch(false);
    ChangeState(TSocketState::wsConnected);
}

// --- close ------------------------------------------------------------------------------------

void TWSocket::Close()
{
    InternalClose(true, 0);
}

void TWSocket::CloseDelayed()
{
    if (m_tlsState == TTlsState::Handshaking) {
        // The close comes once TLS is up, so the peer gets the close notify after the
        // bytes still queued, not a connection cut before TLS began.
        m_closeAfterHandshake = true;
        return;
    }
    if (TlsCloseWaitsForTicket())
        return;
    PostClose();
}

void TWSocket::PostClose()
{
    const uint64_t generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == m_generation)
                Dispatch([&] { Close(); });
        },
        Qt::QueuedConnection);
}

void TWSocket::Abort()
{
    CancelDnsLookup();
    m_sendQueue.Clear();
    if (m_handle >= 0 && m_state == TSocketState::wsConnected) {
        m_lingerOnOff = TSocketLingerOnOff::wsLingerOff;
        SetLingerOption();
    }
    InternalClose(false, 0);
}

int TWSocket::ReleaseHandle(QByteArray &held)
{
    held.clear();
    if (m_handle < 0 || m_state != TSocketState::wsConnected || m_tlsState != TTlsState::None)
        return -1;
    held = m_socksHeld;
    Unwatch();
    const int fd = m_handle;
    m_handle = -1;
    ++m_generation;
    m_closeReported = true;
    ChangeState(TSocketState::wsClosed);
    ResetToDefaults();
    return fd;
}

void TWSocket::ShutDown(int how)
{
    if (m_handle >= 0)
        ::shutdown(m_handle, how);
}

void TWSocket::SetLingerOption()
{
    if (m_lingerOnOff == TSocketLingerOnOff::wsLingerNoSet)
        return;
    if (m_handle < 0)
        return RaiseException(QStringLiteral("Cannot set linger option at this time"));
    // On Linux, lingering with a timeout of 0 makes close() reset the connection and throw
    // away whatever is still queued for sending; a graceful close must never lose data, so
    // that combination is applied as the system's ordinary graceful close.
    linger value{};
    value.l_onoff = m_lingerOnOff == TSocketLingerOnOff::wsLingerOn && m_lingerTimeout > 0 ? 1 : 0;
    value.l_linger = value.l_onoff ? m_lingerTimeout : 0;
    if (::setsockopt(m_handle, SOL_SOCKET, SO_LINGER, &value, sizeof value) != 0)
        SocketError(QStringLiteral("setsockopt(SO_LINGER)"));
}

// --- addresses -----------------------------------------------------------------------------

int TWSocket::GetSockName(QString &address, uint16_t &port)
{
    WSocketAddress local;
    local.length = sizeof local.storage;
    if (m_handle < 0)
        return WsaError::NotSocket;
    if (::getsockname(m_handle, reinterpret_cast<sockaddr *>(&local.storage), &local.length) != 0)
        return WSocketErrnoToError(errno);
    address = WSocketAddressText(local.data());
    port = local.port();
    return 0;
}

QString TWSocket::GetPeerAddr()
{
    WSocketAddress peer;
    peer.length = sizeof peer.storage;
    if (m_state != TSocketState::wsConnected ||
        ::getpeername(m_handle, reinterpret_cast<sockaddr *>(&peer.storage), &peer.length) != 0)
        return QStringLiteral("error");
    return WSocketAddressText(peer.data());
}

QString TWSocket::GetPeerPort()
{
    WSocketAddress peer;
    peer.length = sizeof peer.storage;
    if (m_state != TSocketState::wsConnected ||
        ::getpeername(m_handle, reinterpret_cast<sockaddr *>(&peer.storage), &peer.length) != 0)
        return QStringLiteral("error");
    return QString::number(peer.port());
}
