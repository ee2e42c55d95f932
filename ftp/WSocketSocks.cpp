// The SOCKS 4, 4A and 5 client inside TWSocket's connect path.
#include "ftp/SocksMessages.h"
#include "ftp/WSocket.h"
#include "ftp/WSocketResolve.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

namespace {
constexpr int kReplyCapacity = 127;
}

void TWSocket::SocksConnect()
{
    if (m_proto.toLower() != QLatin1String("tcp"))
        return RaiseException(QStringLiteral("tcp is the only protocol supported thru socks server"));
    const QByteArray host = m_addr.toUtf8();
    if (m_socksLevel == QLatin1String("5") && host.size() > 255)
        return RaiseException(QStringLiteral("connect: host name too long for socks server"));
    if (m_socksAuthentication == TSocksAuthentication::socksAuthenticateUsercode &&
        (m_socksUsercode.toUtf8().size() > 255 || m_socksPassword.toUtf8().size() > 255))
        return RaiseException(QStringLiteral("connect: socks user code or password longer than 255 bytes"));
    WSocketAddress serverAddress;
    try {
        ConvertForConnect();
        serverAddress = WSocketResolveAddress(m_socksServer, WSocketResolvePort(m_socksPort, m_proto));
        m_socksDestPort = m_portValue;
    } catch (const ESocketException &e) {
        return RaiseException(QStringLiteral("connect: ") + e.message());
    }
    m_socksState = TSocksState::NegotiatingMethods;
    m_socksReply.clear();
    m_socksHeld.clear();
    m_socksBoundAddr.clear();
    m_socksBoundPort.clear();
    ConnectTo(serverAddress);
}

void TWSocket::SocksSendRaw(const QByteArray &bytes)
{
    // Queued like any data, but without the owner's OnDataSent.
    m_sendQueue.Append(bytes.constData(), static_cast<int>(bytes.size()));
    TryToSend();
    UpdateWriteWatch();
}

// The TCP connection to the proxy itself is up (or failed).
void TWSocket::SocksSessionConnected(int error)
{
    const uint64_t generation = m_generation;
    if (OnSocksConnected)
        OnSocksConnected(this, error);
    if (generation != m_generation)
        return;
    if (error != 0) {
        m_socksState = TSocksState::PassThrough;
        if (OnSessionConnected)
            OnSessionConnected(this, error);
        return;
    }
    if (m_socksLevel != QLatin1String("5")) {
        SocksSendConnectRequest();
        return;
    }
    // Without a user code there is nothing to authenticate with: offer "no authentication",
    // so that a proxy that needs none accepts the connection. A proxy that does need a
    // password refuses either way.
    m_socksOfferedPassword =
        m_socksAuthentication == TSocksAuthentication::socksAuthenticateUsercode && !m_socksUsercode.isEmpty();
    SocksSendRaw(
        Socks::Greeting(m_socksOfferedPassword ? Socks::Method::UserPassword : Socks::Method::NoAuthentication));
}

void TWSocket::SocksSendConnectRequest()
{
    m_socksState = TSocksState::Connecting;
    m_socksReply.clear();
    const QByteArray user = m_socksUsercode.toUtf8();
    if (m_socksLevel != QLatin1String("5") && WSocketIsIPv6Literal(m_addr)) {
        // SOCKS 4 and 4A carry IPv4 addresses and names only.
        return SocksFail(SocksError::UnresolvableDestination,
                         QStringLiteral("socks %1 cannot reach an IPv6 address").arg(m_socksLevel));
    }
    if (m_socksLevel == QLatin1String("4")) {
        uint32_t destination = 0;
        try {
            destination = WSocketResolveHost(m_addr);
        } catch (const ESocketException &e) {
            return SocksFail(SocksError::UnresolvableDestination, QStringLiteral("ESocketException ") + e.message());
        }
        SocksSendRaw(Socks::Connect4(m_socksDestPort, destination, user));
    } else if (m_socksLevel == QLatin1String("4A")) {
        SocksSendRaw(Socks::Connect4A(m_socksDestPort, user, m_addr.toUtf8()));
    } else {
        const auto ipv6 = WSocketIsIPv6Literal(m_addr) ? WSocketNumericAddress(m_addr, 0) : std::nullopt;
        if (ipv6)
            SocksSendRaw(Socks::Connect5IPv6(reinterpret_cast<const sockaddr_in6 *>(&ipv6->storage)->sin6_addr.s6_addr,
                                             m_socksDestPort));
        else
            SocksSendRaw(Socks::Connect5(m_addr.toUtf8(), m_socksDestPort));
    }
}

// Reads what the proxy sent into the reply buffer. False when the handshake is over (failed).
bool TWSocket::SocksReadReply()
{
    char buffer[kReplyCapacity];
    const int room = kReplyCapacity - static_cast<int>(m_socksReply.size());
    if (room <= 0)
        return true;
    const ssize_t n = ::recv(m_handle, buffer, static_cast<size_t>(room), 0);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return true;
        SocksFail(WSocketErrnoToError(errno), QStringLiteral("data receive error"));
        return false;
    }
    m_socksReply.append(buffer, static_cast<int>(n));
    return true;
}

void TWSocket::SocksDataAvailable(int error)
{
    if (error != 0)
        return SocksFail(error, QStringLiteral("data receive error"));
    const qsizetype before = m_socksReply.size();
    if (!SocksReadReply())
        return;
    if (m_socksReply.size() == before)
        return; // nothing new (the proxy may have closed; the close path decides)
    m_consumed += static_cast<uint64_t>(m_socksReply.size() - before);
    switch (m_socksState) {
    case TSocksState::NegotiatingMethods:
        if (m_socksLevel != QLatin1String("5"))
            return SocksFail(SocksError::LogicError, QStringLiteral("TWSocket logic error"));
        return SocksGreetingReply();
    case TSocksState::Authenticating:
        return SocksAuthReply();
    case TSocksState::Connecting:
        return SocksConnectReply();
    default:
        return SocksFail(SocksError::InternalError, QStringLiteral("internal error"));
    }
}

void TWSocket::SocksGreetingReply()
{
    const Socks::Verdict v = Socks::JudgeGreetingReply(m_socksReply);
    if (v.needMore())
        return;
    if (v.failed())
        return SocksFail(v.code, v.text);
    m_socksReply.clear();
    const uint64_t generation = m_generation;
    if (v.method == 0) {
        if (m_socksOfferedPassword && OnSocksAuthState)
            OnSocksAuthState(this, TSocksAuthState::authNotNeeded);
        if (generation == m_generation)
            SocksSendConnectRequest();
        return;
    }
    if (!m_socksOfferedPassword) // the server picked a method we did not offer
        return SocksFail(SocksError::MethodNotAcceptable, QStringLiteral("authentication method not acceptable"));
    m_socksState = TSocksState::Authenticating;
    if (OnSocksAuthState)
        OnSocksAuthState(this, TSocksAuthState::authBegin);
    if (generation == m_generation)
        SocksSendRaw(Socks::AuthRequest(m_socksUsercode.toUtf8(), m_socksPassword.toUtf8()));
}

void TWSocket::SocksAuthReply()
{
    const Socks::Verdict v = Socks::JudgeAuthReply(m_socksReply);
    if (v.needMore())
        return;
    if (v.failed())
        return SocksFail(v.code, v.text);
    m_socksReply.clear();
    const uint64_t generation = m_generation;
    if (OnSocksAuthState)
        OnSocksAuthState(this, TSocksAuthState::authAccepted);
    if (generation == m_generation)
        SocksSendConnectRequest();
}

void TWSocket::SocksConnectReply()
{
    const Socks::Verdict v = m_socksLevel == QLatin1String("5") ? Socks::JudgeConnect5Reply(m_socksReply)
                                                                : Socks::JudgeConnect4Reply(m_socksReply);
    if (v.needMore()) {
        if (m_socksReply.size() >= kReplyCapacity)
            return SocksFail(SocksError::LogicError, QStringLiteral("too much data availaible"));
        return;
    }
    if (v.failed())
        return SocksFail(v.code, v.text);
    m_socksBoundAddr = v.boundAddress;
    m_socksBoundPort = QString::number(v.boundPort);
    m_socksHeld = m_socksReply.mid(v.used);
    m_socksReply.clear();
    SocksSucceed();
}

void TWSocket::SocksSucceed()
{
    const uint64_t generation = m_generation;
    m_socksState = TSocksState::PassThrough;
    m_sentSinceDrained = false;
    if (m_tlsOnConnect) {
        // TLS starts where the proxy's path ends. The destination cannot have spoken yet:
        // in TLS the client speaks first.
        if (!m_socksHeld.isEmpty()) {
            m_socksHeld.clear();
            m_tlsConnectPending = true;
            return FailTls(TlsError::HandshakeFailed, QStringLiteral("the server spoke before the TLS handshake"));
        }
        m_tlsConnectPending = true;
        return BeginTlsHandshake();
    }
    if (OnSessionConnected)
        OnSessionConnected(this, 0);
    // Destination bytes that came with the reply are announced once here; the receive
    // loop goes on delivering them while the owner reads.
    if (generation == m_generation && m_handle >= 0 && OnDataAvailable)
        OnDataAvailable(this, 0);
}

void TWSocket::SocksFail(int code, const QString &text)
{
    const uint64_t generation = m_generation;
    m_lastErrorMessage = text;
    if (OnSocksError)
        OnSocksError(this, code, text);
    if (generation != m_generation)
        return;
    m_socksState = TSocksState::PassThrough;
    if (OnSessionConnected)
        OnSessionConnected(this, code);
    if (generation != m_generation || m_handle < 0)
        return;
    m_sendQueue.Clear();
    ::shutdown(m_handle, SHUT_WR);
    CloseHandleAndReset(code, true);
}
