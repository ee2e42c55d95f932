// TFtpClient: opening the control connection, its close, and Abort.
#include "ftp/FtpCli.h"

#include "ftp/WSocketErrors.h"

void TFtpClient::StartOpen()
{
    Run(&TFtpClient::BeginOpen);
}

bool TFtpClient::BeginOpen(QString &why)
{
    if (!Ready(why))
        return false;
    if (m_connected) {
        why = QStringLiteral("FTP component already connected");
        return false;
    }
    if (!m_composite)
        m_requestType = TFtpRequest::rqOpen;
    m_requestDone = false;
    m_buffer.clear();
    m_staleBytes = 0;
    m_multiCode = 0;
    m_requestResult = 0;
    m_awaitingReply = false;
    m_socksErrorText.clear();
    // A new connection may be to another server: its character set is learnt afresh.
    m_encoding = Encoding::Utf8;
    m_serverOffersUtf8 = false;
    m_features.clear();
    m_mlstFacts.clear();
    m_sizeName.clear();
    m_protectData = false;
    m_epsvRefused = false;
    m_portRefused = false;
    m_certificatePending = false;
    m_peerCertificate = {};
    m_waitingFor = QStringLiteral("the connection");
    ArmReplyTimer();
    ChangeState(TFtpEngineState::stDnsLookup);
    const QString host = m_connectionType == TFtpConnectionType::ftpProxy ? m_proxyServer : m_hostName;
    try {
        m_control.DnsLookup(host);
    } catch (const ESocketException &) {
        // An empty host name: the lookup has already ended with its error event, which
        // finished the request; nothing more to report here.
    }
    return true;
}

void TFtpClient::FailOpen(int error, const QString &response)
{
    SetResponse(500, response);
    TriggerRequestDone(error);
}

void TFtpClient::ControlDnsLookupDone(int error)
{
    if (m_requestDone)
        return; // the request already ended (the reply timer ran out during the lookup)
    if (error != 0) {
        return FailOpen(error, QStringLiteral("500 ") + WSocketErrorDesc(error));
    }
    try {
        // A host with several addresses connects over the first one that answers.
        m_control.SetAddr(m_control.DnsResult());
        m_control.SetAddrFallbacks(m_control.DnsResultList().mid(1));
        m_control.SetLocalAddr(m_localAddr);
        m_control.SetProto(QStringLiteral("tcp"));
        const bool viaProxy = m_connectionType == TFtpConnectionType::ftpProxy && !ProxyPort.isEmpty();
        const bool implicit = m_tlsMode == TFtpTlsMode::Implicit;
        // Implicit TLS has its own well-known port.
        const bool defaultPort = m_port.compare(QLatin1String("ftp"), Qt::CaseInsensitive) == 0 || m_port.isEmpty();
        m_control.SetPort(viaProxy ? ProxyPort : implicit && defaultPort ? QStringLiteral("990") : m_port);
        ApplySocks(m_control);
        m_control.SetTlsOnConnect(implicit);
        m_control.SetTlsHostName(m_hostName);
        ChangeState(TFtpEngineState::stWaitingBanner);
        m_awaitingReply = true; // the connection, then the banner
        m_waitingFor = QStringLiteral("the server's greeting");
        ArmReplyTimer();
        m_control.Connect();
    } catch (const ESocketException &e) {
        SetResponse(500, QStringLiteral("500 ESocketException: ") + e.message());
        TriggerRequestDone(500);
    }
}

void TFtpClient::ControlSessionConnected(int error)
{
    if (error != 0) {
        m_awaitingReply = false;
        SetResponse(500, QStringLiteral("500 ") + ConnectFailureText(error));
        m_composite = false; // the steps after Open are dropped
        m_steps.reset();
        TriggerRequestDone(error);
        if (m_control.State() != TSocketState::wsClosed)
            m_control.Close();
        ChangeState(TFtpEngineState::stReady);
        return;
    }
    m_connected = true;
}

void TFtpClient::ControlSessionClosed(int error)
{
    m_certificatePending = false; // an answer that comes now has nothing to act on
    if (m_connected) {
        m_connected = false;
        if (m_state != TFtpEngineState::stAbort)
            ChangeState(TFtpEngineState::stNotConnected);
        if (OnSessionClosed)
            OnSessionClosed(this, error);
    }
    if (m_state != TFtpEngineState::stAbort)
        ChangeState(TFtpEngineState::stInternalReady);
    // A connection that ends while a command still waits for its reply is a failure, not
    // the success of the previous reply.
    if (m_awaitingReply && m_requestResult == 0 && !m_requestDone) {
        const bool aborted = m_state == TFtpEngineState::stAbort;
        m_requestResult = aborted ? 426 : 421;
        SetErrorMessage(aborted ? QStringLiteral("426 Operation aborted.")
                                : QStringLiteral("421 Connection closed before the reply"));
    }
    m_awaitingReply = false;
    TriggerRequestDone(m_requestResult);
}

// A failed connect: a SOCKS failure in the proxy's own words, else the socket error text.
QString TFtpClient::ConnectFailureText(int error) const
{
    if (error > 20000 && error <= 20017 && !m_socksErrorText.isEmpty()) {
        QString text = m_socksErrorText;
        if (text.startsWith(QLatin1String("socks "), Qt::CaseInsensitive))
            text = text.mid(6);
        return QStringLiteral("SOCKS proxy: %1 (error #%2)").arg(text).arg(error);
    }
    if (error >= TlsError::HandshakeFailed && error <= TlsError::Protocol)
        return QStringLiteral("TLS: %1 (error #%2)").arg(m_control.LastErrorMessage()).arg(error);
    // The system's own words ("Connection refused", "No route to host").
    return WSocketErrorDesc(error);
}

void TFtpClient::Abort()
{
    const bool wasLookup = m_state == TFtpEngineState::stDnsLookup;
    m_certificatePending = false;
    ChangeState(TFtpEngineState::stAbort);
    m_replyTimer.stop();
    if (m_phase != Phase::Idle) {
        // An interrupted transfer is a failure even if its success reply was already in.
        m_requestResult = 426;
        SetErrorMessage(QStringLiteral("426 Operation aborted."));
    }
    TearDownTransfer();
    if (wasLookup)
        m_control.CancelDnsLookup();
    if (m_control.State() != TSocketState::wsClosed)
        m_control.Close();
    if (m_data.State() != TSocketState::wsClosed)
        m_data.Close();
    m_connected = false;
    ChangeState(TFtpEngineState::stReady);
}

void TFtpClient::ApplySocks(TWSocket &socket) const
{
    static const char *const levels[] = {"", "", "4", "4A", "5"};
    const char *level = levels[static_cast<int>(m_connectionType)];
    if (*level == 0 || m_socksServer.isEmpty()) {
        socket.SetSocksServer(QString()); // the connection type alone decides
        return;
    }
    socket.SetSocksServer(m_socksServer);
    socket.SetSocksPort(m_socksPort);
    socket.SetSocksLevel(QString::fromLatin1(level));
    socket.SetSocksAuthentication(TSocksAuthentication::socksAuthenticateUsercode);
}
