// TFtpClient: reading reply lines from the control connection, and what each command does
// with its final reply.
#include "ftp/FtpCli.h"

#include "ftp/FtpTransferText.h"

#include <algorithm>
#include <vector>

void TFtpClient::ControlDataAvailable(int error)
{
    const int room = m_buffer.room();
    std::vector<char> bytes(static_cast<size_t>(room > 0 ? room : 1));
    // A line that fills the whole buffer can never end: receiving nothing closes the
    // connection, as does the peer's close.
    const int n = room > 0 ? m_control.Receive(bytes.data(), room) : 0;
    if (n == 0) {
        if (room <= 0) {
            m_requestResult = 500;
            SetErrorMessage(QStringLiteral("500 Reply line too long"));
            TriggerDisplay(QStringLiteral("! Reply line too long, connection closed"));
        }
        m_control.Close();
        return;
    }
    if (n < 0)
        return;
    // The server is talking: the wait for it starts again.
    if (m_replyTimer.isActive() && !m_certificatePending)
        ArmReplyTimer();
    m_buffer.append(bytes.data(), n);
    ProcessReplyBuffer(error);
}

void TFtpClient::ProcessReplyBuffer(int error)
{
    // With implicit TLS the greeting may arrive while the user is still asked about the
    // certificate: it waits in the buffer until the certificate is accepted.
    if (m_certificatePending)
        return;
    QByteArray line;
    qsizetype used = 0;
    while (!m_buffer.isEmpty() && m_buffer.takeLine(line, (m_options & ftpAcceptLF) != 0, used)) {
        const bool stale = m_staleBytes > 0;
        m_staleBytes = std::max<qsizetype>(0, m_staleBytes - used);
        HandleReplyLine(line, stale, error);
        if (!m_connected)
            break; // the line closed the connection; what follows is no longer ours
    }
}

void TFtpClient::HandleReplyLine(const QByteArray &bytes, bool stale, int error)
{
    if (FtpHasControlByte(bytes)) {
        // A NUL or another control byte has no place in a reply: whatever the line says,
        // it is not taken as an answer.
        QByteArray shown = bytes;
        for (char &c : shown) {
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                c = '?';
        }
        TriggerDisplay(QStringLiteral("< ") + DecodeFromServer(shown));
        return ProtocolError(QStringLiteral("500 Protocol error: a reply line holds a control character"));
    }
    m_lastResponse = DecodeFromServer(bytes);
    if (OnResponse)
        OnResponse(this);
    const bool waitingBanner = m_state == TFtpEngineState::stWaitingBanner;
    if (stale || (!waitingBanner && m_state != TFtpEngineState::stWaitingResponse)) {
        // Nothing asked for this line (it came before the command that is now out, or
        // while no command was out): it is shown and dropped, never taken as a reply.
        TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
        return;
    }
    const FtpReplyLine reply = FtpClassifyLine(bytes);
    if (m_multiCode != 0) {
        // Inside a multi-line reply only "ddd " with the opening line's code ends it.
        if (reply.kind != FtpReplyLine::Kind::Final || reply.code != m_multiCode) {
            TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
            // FEAT lists one feature per line, " UTF8" among them when names may be UTF-8.
            if (m_lastStep == TFtpStep::Feat) {
                const QString feature = m_lastResponse.trimmed().section(QLatin1Char(' '), 0, 0).toUpper();
                if (feature == QLatin1String("UTF8"))
                    m_serverOffersUtf8 = true;
                if (feature == QLatin1String("MLST"))
                    m_mlstFacts = m_lastResponse.trimmed().section(QLatin1Char(' '), 1, 1);
                if (!feature.isEmpty() && !m_features.contains(feature))
                    m_features << feature;
            }
            return;
        }
        m_multiCode = 0;
    } else if (reply.kind == FtpReplyLine::Kind::Text || !reply.inRange()) {
        TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
        if (waitingBanner)
            return ProtocolError(QStringLiteral("500 Not an FTP server greeting: \"%1\"").arg(m_lastResponse));
        if (reply.kind != FtpReplyLine::Kind::Text)
            return ProtocolError(QStringLiteral("500 Protocol error: reply code %1 out of range").arg(reply.code));
        return; // text before a reply: shown and skipped
    } else if (reply.kind == FtpReplyLine::Kind::Opening) {
        m_multiCode = reply.code;
        TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
        return;
    }
    if (waitingBanner) {
        TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
        return WaitingBannerLine(reply.code, error);
    }
    if (!m_next) {
        // Its command has had its reply (a repeated 227 while a passive upload opens its
        // data connection, say): no later line is taken for it.
        TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
        return;
    }
    (this->*m_next)();
}

// The server broke the protocol: the request fails and the connection closes, so nothing
// it sends from here on can be taken as an answer.
void TFtpClient::ProtocolError(const QString &text)
{
    TriggerDisplay(QStringLiteral("! ") + text + QStringLiteral(", connection closed"));
    if (!m_requestDone && m_state != TFtpEngineState::stReady) {
        m_requestResult = 500;
        m_statusCode = 500;
        m_errorMessage = text;
        m_composite = false;
        m_steps.reset();
    }
    m_awaitingReply = false;
    m_next = nullptr;
    if (m_control.State() != TSocketState::wsClosed)
        m_control.Close();
}

void TFtpClient::WaitingBannerLine(int code, int error)
{
    m_awaitingReply = false;
    m_statusCode = code;
    if (code != 220) {
        SetErrorMessage(m_lastResponse);
        m_requestResult = code;
        m_control.Close();
        return;
    }
    ChangeState(TFtpEngineState::stConnected);
    if (OnSessionConnected)
        OnSessionConnected(this, error);
    if (m_tlsMode != TFtpTlsMode::None && m_connected)
        return SecureAfterGreeting();
    TriggerRequestDone(0);
}

void TFtpClient::GenericReply()
{
    m_next = nullptr; // one reply per command
    TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
    const int code = FtpReadCode(m_lastResponse).code;
    m_awaitingReply = false;
    m_statusCode = code;
    bool ok = false;
    if (m_okCount == 0) {
        ok = code < 500;
    } else {
        for (int i = 0; i < m_okCount && !ok; ++i)
            ok = m_okCodes[static_cast<size_t>(i)] == code;
    }
    if (ok) {
        m_requestResult = 0;
    } else {
        m_requestResult = code;
        SetErrorMessage(m_lastResponse);
    }
    const ReplyAction action = m_replyAction ? m_replyAction : &TFtpClient::ReplyDone;
    m_replyAction = nullptr;
    (this->*action)(ok);
}

void TFtpClient::ReplyDone(bool)
{
    TriggerRequestDone(m_requestResult);
}

void TFtpClient::SizeReply(bool ok)
{
    if (ok) {
        m_sizeResult = FtpSizeResult(m_lastResponse);
        m_sizeName = m_sizeResult >= 0 ? m_hostFileName : QString();
    }
    ReplyDone(ok);
}

// CWD, MKD, CDUP: a quoted path in the reply is taken when there is a well-formed one.
void TFtpClient::DirReply(bool ok)
{
    if (ok)
        m_dirResult = FtpDirResult(m_lastResponse);
    ReplyDone(ok);
}

// PWD exists to learn the path: one that is not closed or holds control characters is no
// folder name, and the request fails.
void TFtpClient::PwdReply(bool ok)
{
    if (ok) {
        QString path;
        if (FtpParseDirResult(m_lastResponse, path)) {
            m_dirResult = path;
        } else {
            m_dirResult.clear();
            m_requestResult = 500;
            SetErrorMessage(QStringLiteral("500 Invalid path in reply: ") + m_lastResponse);
            TriggerDisplay(QStringLiteral("! Invalid path in PWD reply"));
        }
    }
    ReplyDone(ok);
}

void TFtpClient::PasvReply(bool ok)
{
    if (!ok && PortFallback())
        return;
    if (!m_passive || (m_statusCode != 227 && m_statusCode != 229))
        return ReplyDone(ok);
    m_pasvResponse = m_lastResponse;
    if (!ok)
        return ReplyDone(ok);
    // A reply without a port cannot open a data connection, and one aimed at a port below
    // 1024 could reach a system service: the request fails here. An EPSV reply is read
    // strictly; a malformed one is never guessed at.
    const bool extended = m_statusCode == 229;
    const QString name = extended ? QStringLiteral("EPSV") : QStringLiteral("PASV");
    std::optional<uint16_t> port;
    if (extended) {
        port = FtpParseEpsv(m_lastResponse);
    } else if (const auto pasv = FtpParsePasv(m_lastResponse)) {
        port = pasv->port;
    }
    if (!port && extended && !m_epsvRefused && !WSocketIsIPv6Literal(m_control.Addr())) {
        // An EPSV reply that cannot be read is treated as a refusal: PASV for the rest of the
        // session (IPv4 only; PASV cannot carry an IPv6 address).
        m_epsvRefused = true;
        TriggerDisplay(QStringLiteral("! Invalid EPSV reply; using PASV"));
        ResendPortCommand(QStringLiteral("PASV"));
        return;
    }
    if (!port) {
        m_requestResult = 500;
        SetErrorMessage(QStringLiteral("500 Invalid %1 reply: ").arg(name) + m_lastResponse);
        TriggerDisplay(QStringLiteral("! Invalid %1 reply").arg(name));
    } else if (*port < 1024) {
        m_requestResult = 500;
        SetErrorMessage(
            QStringLiteral("500 %1 port %2 refused: ports below 1024 belong to system services").arg(name).arg(*port));
        TriggerDisplay(QStringLiteral("! %1 port %2 refused").arg(name).arg(*port));
    }
    ReplyDone(ok);
}

// The server refused the data connection command: EPSV on IPv4 falls back to PASV, PORT to
// EPRT, each once, and the session remembers it. True when the other command went out.
bool TFtpClient::PortFallback()
{
    if (m_statusCode < 500)
        return false;
    const bool ipv6 = WSocketIsIPv6Literal(m_control.Addr()); // the server's address family
    if (m_portCommand == QLatin1String("EPSV") && !ipv6) {
        m_epsvRefused = true;
        TriggerDisplay(QStringLiteral("! EPSV refused; using PASV"));
        ResendPortCommand(QStringLiteral("PASV"));
        return true;
    }
    if (m_portCommand == QLatin1String("PORT") && !m_eprtLine.isEmpty()) {
        m_portRefused = true;
        TriggerDisplay(QStringLiteral("! PORT refused; using EPRT"));
        ResendPortCommand(m_eprtLine);
        return true;
    }
    if (ipv6 && (m_portCommand == QLatin1String("EPSV") || m_portCommand == QLatin1String("EPRT"))) {
        // PASV and PORT carry IPv4 addresses only: over IPv6 there is nothing to fall back to.
        TriggerDisplay(QStringLiteral("! %1 refused; PASV and PORT cannot carry an IPv6 address").arg(m_portCommand));
    }
    return false;
}

void TFtpClient::ResendPortCommand(const QString &line)
{
    m_portCommand = line.section(QLatin1Char(' '), 0, 0);
    m_requestResult = 0;
    m_errorMessage.clear();
    m_next = &TFtpClient::GenericReply;
    m_replyAction = &TFtpClient::PasvReply;
    m_waitingFor = QStringLiteral("the reply to ") + m_portCommand;
    m_awaitingReply = true;
    ArmReplyTimer();
    SendCommand(line);
}

void TFtpClient::QuitReply(bool)
{
    if (m_control.State() != TSocketState::wsClosed)
        m_control.Close();
    else
        TriggerRequestDone(m_requestResult);
}

// FEAT and OPTS UTF8 only inform: whatever the server answers, the login stands.
void TFtpClient::FeatReply(bool ok)
{
    if (ok && m_lastStep == TFtpStep::Feat && m_serverOffersUtf8)
        m_steps.set(static_cast<size_t>(TFtpStep::OptsUtf8));
    if (ok && m_lastStep == TFtpStep::Feat && !MlstFactsToAsk().isEmpty())
        m_steps.set(static_cast<size_t>(TFtpStep::OptsMlst));
    m_requestResult = 0;
    m_errorMessage.clear();
    ReplyDone(true);
}
