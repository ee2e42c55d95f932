// TFtpClient: FTP over TLS (RFC 4217). After the greeting: AUTH TLS, the handshake, the
// certificate, PBSZ 0 and PROT P (or C). With implicit TLS the handshake comes first and
// the greeting after it. Data connections resume the control connection's TLS session
// and must show its certificate.
#include "ftp/FtpCli.h"

namespace {

// A refusal of the client's own (no server reply stands behind it).
constexpr int kRefused = 534;

QString describe(const TTlsCertificate &c)
{
    return QStringLiteral("subject %1; issuer %2; valid %3 to %4; SHA-256 %5")
        .arg(c.subject, c.issuer, c.notBefore.toString(Qt::ISODate), c.notAfter.toString(Qt::ISODate), c.sha256);
}

} // namespace

bool TFtpClient::TlsRequired() const
{
    return m_tlsMode == TFtpTlsMode::ExplicitRequired || m_tlsMode == TFtpTlsMode::Implicit;
}

// The last line of defence: whatever path led here, no user name or password goes out on a
// connection that was meant to be encrypted and is not.
bool TFtpClient::RefuseClearCredentials(QString &why) const
{
    if (!TlsRequired() || m_control.TlsActive())
        return false;
    why = QStringLiteral("Login refused: encryption is required and the connection is not encrypted");
    return true;
}

void TFtpClient::SecureAfterGreeting()
{
    if (m_tlsMode == TFtpTlsMode::Implicit)
        return SendSecurityCommand(QStringLiteral("PBSZ 0"), {200}, &TFtpClient::PbszReply);
    SendSecurityCommand(QStringLiteral("AUTH TLS"), {234}, &TFtpClient::AuthReply);
}

// A command of the Open request itself (it is not a step of its own).
void TFtpClient::SendSecurityCommand(const QString &line, std::initializer_list<int> okCodes, ReplyAction action)
{
    ChangeState(TFtpEngineState::stInternalReady);
    QString why;
    if (!ExecAsync(TFtpRequest::rqOpen, line, okCodes, why, action))
        FailSecurity(500, why);
}

void TFtpClient::AuthReply(bool ok)
{
    if (!ok) {
        const QString reply = m_lastResponse;
        if (m_tlsMode == TFtpTlsMode::Explicit) {
            m_requestResult = 0;
            m_errorMessage.clear();
            TriggerDisplay(QStringLiteral("! The server does not offer TLS (%1): continuing WITHOUT encryption; the "
                                          "password and the files travel in clear text")
                               .arg(reply));
            return TriggerRequestDone(0);
        }
        return FailSecurity(m_statusCode >= 400 ? m_statusCode : kRefused,
                            QStringLiteral("The server refused AUTH TLS (%1); encryption is required, so no "
                                           "password was sent")
                                .arg(reply));
    }
    ChangeState(TFtpEngineState::stWaitingResponse);
    m_awaitingReply = true;
    m_waitingFor = QStringLiteral("the TLS handshake");
    ArmReplyTimer();
    m_control.SetTlsHostName(m_hostName);
    m_control.StartTls();
}

void TFtpClient::ControlTlsDone(int error)
{
    if (error != 0) {
        // With implicit TLS the failed handshake is a failed connect, which the connect
        // event reports.
        if (m_tlsMode == TFtpTlsMode::Implicit && !m_connected)
            return;
        return FailSecurity(error, QStringLiteral("TLS handshake failed: ") + m_control.LastErrorMessage());
    }
    TriggerDisplay(QStringLiteral("! TLS: ") + m_control.TlsDescription());
    JudgeCertificate();
}

void TFtpClient::JudgeCertificate()
{
    m_peerCertificate = m_control.PeerCertificate();
    if (m_peerCertificate.isNull())
        return FailSecurity(kRefused, QStringLiteral("The server showed no certificate"));
    if (m_peerCertificate.trusted())
        return CertificateAccepted();
    if (m_trustedFingerprints.contains(m_peerCertificate.sha256, Qt::CaseInsensitive)) {
        TriggerDisplay(QStringLiteral("! Certificate trusted by the user: ") + m_peerCertificate.sha256);
        return CertificateAccepted();
    }
    TriggerDisplay(QStringLiteral("! ") + m_peerCertificate.problems() + QStringLiteral(" Certificate: ") +
                   describe(m_peerCertificate));
    m_certificatePending = true;
    m_awaitingReply = true;
    if (m_certificateTimeoutMs > 0)
        m_replyTimer.start(m_certificateTimeoutMs);
    else
        m_replyTimer.stop();
    TCertificateAnswer answer = OnCertificate ? TCertificateAnswer::Pending : TCertificateAnswer::Refuse;
    if (OnCertificate)
        OnCertificate(this, m_peerCertificate, answer);
    if (answer != TCertificateAnswer::Pending)
        AnswerCertificate(answer);
}

void TFtpClient::AnswerCertificate(TCertificateAnswer answer)
{
    if (!m_certificatePending || answer == TCertificateAnswer::Pending)
        return;
    m_certificatePending = false;
    Guarded([&] {
        if (answer == TCertificateAnswer::Refuse) {
            return FailSecurity(kRefused, QStringLiteral("Certificate refused: ") + m_peerCertificate.problems());
        }
        if (!m_trustedFingerprints.contains(m_peerCertificate.sha256, Qt::CaseInsensitive))
            m_trustedFingerprints << m_peerCertificate.sha256;
        TriggerDisplay(QStringLiteral("! Certificate accepted by the user: ") + m_peerCertificate.sha256);
        CertificateAccepted();
    });
}

void TFtpClient::CertificateAccepted()
{
    if (m_tlsMode == TFtpTlsMode::Implicit) {
        // Now the greeting counts (it may be in the buffer already).
        m_awaitingReply = true;
        m_waitingFor = QStringLiteral("the server's greeting");
        ArmReplyTimer();
        return ProcessReplyBuffer(0);
    }
    SendSecurityCommand(QStringLiteral("PBSZ 0"), {200}, &TFtpClient::PbszReply);
}

// PBSZ has to come before PROT; its answer matters only through PROT's.
void TFtpClient::PbszReply(bool)
{
    m_requestResult = 0;
    SendSecurityCommand(m_clearData ? QStringLiteral("PROT C") : QStringLiteral("PROT P"), {200},
                        &TFtpClient::ProtReply);
}

void TFtpClient::ProtReply(bool ok)
{
    const QString reply = m_lastResponse;
    if (m_clearData) {
        // A server that refuses clear data connections protects them all.
        m_protectData = !ok;
    } else if (ok) {
        m_protectData = true;
    } else if (m_tlsMode == TFtpTlsMode::Explicit) {
        m_protectData = false;
        TriggerDisplay(
            QStringLiteral("! The server refused encrypted data connections (%1): files travel in clear text")
                .arg(reply));
    } else {
        return FailSecurity(m_statusCode >= 400 ? m_statusCode : kRefused,
                            QStringLiteral("The server refused encrypted data connections (%1); encryption is "
                                           "required, so no password was sent")
                                .arg(reply));
    }
    TriggerDisplay(m_protectData ? QStringLiteral("! Data connections are encrypted")
                                 : QStringLiteral("! Data connections are not encrypted"));
    m_requestResult = 0;
    m_errorMessage.clear();
    TriggerRequestDone(0);
}

// The connection cannot be made secure as asked: the request fails with the reason and
// the control connection closes, so nothing else is sent.
void TFtpClient::FailSecurity(int code, const QString &text)
{
    TriggerDisplay(QStringLiteral("! ") + text);
    m_requestResult = code;
    m_statusCode = code;
    m_errorMessage = QStringLiteral("%1 %2").arg(code).arg(text);
    m_lastResponse = m_errorMessage;
    m_composite = false;
    m_steps.reset();
    m_awaitingReply = false;
    m_certificatePending = false;
    m_next = nullptr;
    if (m_control.State() != TSocketState::wsClosed)
        m_control.Close(); // ends the request through the close event
    TriggerRequestDone(code);
}

// --- data connections -----------------------------------------------------------------------

// A download's data connection: TLS right after the connect; the download goes on once
// the handshake is through (its command is out already).
void TFtpClient::PrepareDataTls()
{
    if (!m_protectData)
        return;
    m_data.SetTlsOnConnect(true);
    m_data.SetTlsHostName(m_hostName);
    // Servers check that the data connection comes from the client that logged in by the
    // session it resumes (vsftpd's require_ssl_reuse).
    m_data.SetTlsSessionCache(m_control.TlsSessionCache());
}

// TLS on a data connection that is open already (an upload's, an accepted one).
void TFtpClient::StartDataTls()
{
    if (!m_protectData)
        return;
    m_data.SetTlsHostName(m_hostName);
    m_data.SetTlsSessionCache(m_control.TlsSessionCache());
    m_data.OnTlsDone = [this](TWSocket *, int error) { Guarded([&] { DataTlsDone(error); }); };
    m_data.StartTls();
}

// An encrypted data connection must be encrypted indeed and show the control connection's
// certificate: another one means another peer.
bool TFtpClient::DataTlsAcceptable(QString &why) const
{
    if (!m_protectData)
        return true;
    if (!m_data.TlsActive()) {
        why = QStringLiteral("The data connection is not encrypted");
        return false;
    }
    if (m_data.PeerCertificate().sha256 != m_peerCertificate.sha256) {
        why = QStringLiteral("The data connection shows another certificate than the server's");
        return false;
    }
    return true;
}

// The end of the handshake StartDataTls began.
void TFtpClient::DataTlsDone(int error)
{
    QString why;
    if (error != 0)
        why = QStringLiteral("TLS on the data connection failed: ") + m_data.LastErrorMessage();
    else if (DataTlsAcceptable(why))
        return;
    NoteDataError(error != 0 ? error : 426, QStringLiteral("! ") + why);
    SetErrorMessage(QStringLiteral("426 ") + why);
    if (m_data.State() != TSocketState::wsClosed)
        m_data.Close();
}
