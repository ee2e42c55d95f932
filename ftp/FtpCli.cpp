// TFtpClient: properties, usage errors, the command executor and request completion.
#include "ftp/FtpCli.h"

#include "base/TextCodec.h"

#include <QMetaObject>

TFtpClient::TFtpClient(QObject *parent) : QObject(parent)
{
    m_control.OnDnsLookupDone = [this](TWSocket *, int error) { Guarded([&] { ControlDnsLookupDone(error); }); };
    m_control.OnSessionConnected = [this](TWSocket *, int error) { Guarded([&] { ControlSessionConnected(error); }); };
    m_control.OnDataAvailable = [this](TWSocket *, int error) { Guarded([&] { ControlDataAvailable(error); }); };
    m_control.OnSessionClosed = [this](TWSocket *, int error) { Guarded([&] { ControlSessionClosed(error); }); };
    m_control.OnTlsDone = [this](TWSocket *, int error) { Guarded([&] { ControlTlsDone(error); }); };
    // The proxy's own words for a failed SOCKS handshake, for the message the user sees.
    for (TWSocket *s : {&m_control, &m_data})
        s->OnSocksError = [this](TWSocket *, int, const QString &msg) { m_socksErrorText = msg; };
    m_replyTimer.setSingleShot(true);
    connect(&m_replyTimer, &QTimer::timeout, this, [this] { Guarded([this] { ReplyTimedOut(); }); });
}

TFtpClient::~TFtpClient()
{
    m_replyTimer.stop();
    m_control.OnSessionClosed = nullptr;
    m_control.OnDnsLookupDone = nullptr;
    m_data.OnSessionClosed = nullptr;
}

// --- properties with behaviour -----------------------------------------------------------

TFtpShareMode TFtpClient::ShareMode() const
{
    switch (m_shareFlags) {
    case 0:
        return TFtpShareMode::ftpShareCompat;
    case 32:
        return TFtpShareMode::ftpShareDenyWrite;
    case 48:
        return TFtpShareMode::ftpShareDenyRead;
    case 64:
        return TFtpShareMode::ftpShareDenyNone;
    default:
        return TFtpShareMode::ftpShareExclusive;
    }
}

void TFtpClient::SetShareMode(TFtpShareMode mode)
{
    static const int flags[] = {0, 16, 32, 48, 64};
    m_shareFlags = flags[static_cast<int>(mode)];
}

void TFtpClient::SetConnectionType(TFtpConnectionType type)
{
    if (m_connected)
        return HandleError(QStringLiteral("FTP component connected"));
    QString level;
    switch (type) {
    case TFtpConnectionType::ftpProxy:
        m_passive = true;
        break;
    case TFtpConnectionType::ftpSocks4:
        level = QStringLiteral("4");
        break;
    case TFtpConnectionType::ftpSocks4A:
        level = QStringLiteral("4A");
        break;
    case TFtpConnectionType::ftpSocks5:
        level = QStringLiteral("5");
        break;
    default:
        type = TFtpConnectionType::ftpDirect;
        break;
    }
    m_connectionType = type;
    const auto auth =
        level.isEmpty() ? TSocksAuthentication::socksNoAuthentication : TSocksAuthentication::socksAuthenticateUsercode;
    for (TWSocket *s : {&m_control, &m_data}) {
        s->SetSocksAuthentication(auth);
        if (!level.isEmpty() && s->State() == TSocketState::wsClosed)
            s->SetSocksLevel(level);
    }
    if (!level.isEmpty())
        m_passive = true;
}

void TFtpClient::SetPassive(bool v)
{
    m_passive = m_connectionType == TFtpConnectionType::ftpDirect ? v : true;
}

void TFtpClient::SetSocksServer(const QString &v)
{
    m_socksServer = v.trimmed();
    m_control.SetSocksServer(v);
    m_data.SetSocksServer(v);
}

void TFtpClient::SetSocksPort(const QString &v)
{
    m_socksPort = v.trimmed();
    m_control.SetSocksPort(v);
    m_data.SetSocksPort(v);
}

void TFtpClient::SetSocksUserCode(const QString &v)
{
    m_control.SetSocksUsercode(v);
    m_data.SetSocksUsercode(v);
}

void TFtpClient::SetSocksPassword(const QString &v)
{
    m_control.SetSocksPassword(v);
    m_data.SetSocksPassword(v);
}

void TFtpClient::SetMultiThreaded(bool v)
{
    m_multiThreaded = v;
    m_control.SetMultiThreaded(v);
    m_data.SetMultiThreaded(v);
}

// --- state, display and usage errors ------------------------------------------------------

void TFtpClient::ChangeState(TFtpEngineState state)
{
    if (m_state == state)
        return;
    m_state = state;
    if (OnStateChange)
        OnStateChange(this);
}

void TFtpClient::SetPhase(Phase phase)
{
    m_phase = phase;
}

void TFtpClient::TriggerDisplay(const QString &text)
{
    if (!OnDisplay)
        return;
    QString msg = text;
    OnDisplay(this, msg);
}

void TFtpClient::HandleError(const QString &text)
{
    if (OnUsageError) {
        QString msg = text;
        OnUsageError(this, msg);
        return;
    }
    throw FtpException(text);
}

// A public Start operation: a step that cannot start is a usage error of the caller.
void TFtpClient::Run(Starter starter)
{
    QString why;
    if (!(this->*starter)(why))
        HandleError(why);
}

bool TFtpClient::Ready(QString &why) const
{
    if (m_state == TFtpEngineState::stReady || m_state == TFtpEngineState::stInternalReady)
        return true;
    why = QStringLiteral("FTP component not ready");
    return false;
}

// A CR or LF inside a path, name or password would end the command early and make the
// rest a second command of the attacker's choosing: such a request is refused unsent.
bool TFtpClient::NoLineBreaks(std::initializer_list<const QString *> operands, QString &why) const
{
    for (const QString *text : operands) {
        if (text->contains(QLatin1Char('\r')) || text->contains(QLatin1Char('\n'))) {
            why = QStringLiteral("Line break in command refused: a name, path or password contains CR or LF");
            return false;
        }
    }
    return true;
}

void TFtpClient::SetErrorMessage(const QString &line)
{
    if (m_errorMessage.isEmpty())
        m_errorMessage = line;
}

void TFtpClient::SetResponse(int32_t code, const QString &line)
{
    m_lastResponse = line;
    m_statusCode = code;
    m_requestResult = code;
    SetErrorMessage(line);
}

// --- the server's character set --------------------------------------------------------------

QByteArray TFtpClient::EncodeForServer(const QString &text, bool *ok) const
{
    if (m_encoding == Encoding::Windows1252)
        return TextCodec::toWindows1252(text, ok);
    if (ok)
        *ok = true;
    return text.toUtf8();
}

// One line of a reply or a listing. A line that is not valid UTF-8 shows the server speaks
// a single-byte set; from then on every line is read, and every name sent, as Windows-1252,
// so a name goes back as the bytes it came in.
QString TFtpClient::DecodeFromServer(const QByteArray &bytes)
{
    if (m_encoding == Encoding::Utf8 && !TextCodec::isValidUtf8(bytes)) {
        m_encoding = Encoding::Windows1252;
        TriggerDisplay(QStringLiteral("! The server does not speak UTF-8; names are read and sent as Windows-1252"));
    }
    return m_encoding == Encoding::Utf8 ? QString::fromUtf8(bytes) : TextCodec::fromWindows1252(bytes);
}

// --- commands -------------------------------------------------------------------------------

void TFtpClient::SendCommand(const QString &cmd)
{
    QString line = cmd;
    if (OnCommand)
        OnCommand(this, line);
    TriggerDisplay(QStringLiteral("> ") + line);
    // Whatever is already in the receive buffer came before this command: not its reply.
    m_staleBytes = m_buffer.size();
    m_multiCode = 0;
    if (m_control.State() == TSocketState::wsConnected)
        m_control.SendStr(EncodeForServer(line) + "\r\n");
    ArmReplyTimer();
}

bool TFtpClient::ExecAsync(TFtpRequest rq, const QString &line, std::initializer_list<int> okCodes, QString &why,
                           ReplyAction action)
{
    const bool exempt = line == QLatin1String("ABOR") || line == QLatin1String("STAT") || line == QLatin1String("QUIT");
    if (!exempt) {
        if (!Ready(why))
            return false;
        if (!m_connected) {
            why = QStringLiteral("FTP component not connected");
            return false;
        }
    }
    if (!NoLineBreaks({&line}, why))
        return false;
    bool fits = true;
    EncodeForServer(line, &fits);
    if (!fits) {
        // Sending "?" in place of a character would name another file, or none.
        why = QStringLiteral("Name refused: it has characters the server's character set (Windows-1252) cannot hold");
        return false;
    }
    if (!m_composite)
        m_requestType = rq;
    m_okCount = 0;
    for (int code : okCodes) {
        if (m_okCount < kMaxCodes)
            m_okCodes[static_cast<size_t>(m_okCount++)] = code;
    }
    m_requestDone = false;
    m_next = &TFtpClient::GenericReply;
    m_replyAction = action;
    m_errorMessage.clear();
    m_waitingFor = QStringLiteral("the reply to ") + line.section(QLatin1Char(' '), 0, 0);
    ChangeState(TFtpEngineState::stWaitingResponse);
    m_awaitingReply = true;
    SendCommand(line);
    if (m_control.State() != TSocketState::wsConnected) {
        // ABOR, STAT and QUIT pass the checks but go nowhere without a connection: no reply
        // will ever come, so the request ends now instead of waiting forever.
        m_awaitingReply = false;
        m_requestResult = WsaError::NotConnected;
        SetErrorMessage(QStringLiteral("Not connected"));
        TriggerRequestDone(WsaError::NotConnected);
    }
    return true;
}

// --- the reply timer ----------------------------------------------------------------------------

// (Re)starts the wait for the server: every byte on the control or the data connection
// starts it again, so only silence runs it out. Request completion stops it.
void TFtpClient::ArmReplyTimer()
{
    if (m_replyTimeoutMs > 0)
        m_replyTimer.start(m_replyTimeoutMs);
}

void TFtpClient::ReplyTimedOut()
{
    if (m_requestDone || m_state == TFtpEngineState::stReady)
        return;
    const QString text =
        m_certificatePending
            ? QStringLiteral("Timeout: no answer about the server's certificate within %1 s; connection closed")
                  .arg(m_certificateTimeoutMs / 1000.0)
            : QStringLiteral("Timeout: nothing from the server for %1 s while waiting for %2; connection closed")
                  .arg(m_replyTimeoutMs / 1000.0)
                  .arg(m_waitingFor.isEmpty() ? QStringLiteral("the server") : m_waitingFor);
    m_certificatePending = false;
    TriggerDisplay(QStringLiteral("! ") + text);
    m_lastResponse = text;
    m_statusCode = WsaError::TimedOut;
    m_requestResult = WsaError::TimedOut;
    m_errorMessage = text;
    m_awaitingReply = false;
    m_composite = false; // nothing more of this request runs
    m_steps.reset();
    if (m_state == TFtpEngineState::stDnsLookup) {
        TriggerRequestDone(WsaError::TimedOut);
        m_control.CancelDnsLookup();
        return;
    }
    // Closing the control connection ends the request (and tells the session it is gone).
    if (m_control.State() != TSocketState::wsClosed)
        m_control.Close();
    TriggerRequestDone(WsaError::TimedOut);
}

// --- completion -------------------------------------------------------------------------------

void TFtpClient::TriggerRequestDone(int error)
{
    if (m_requestDone)
        return;
    m_requestDone = true;
    if (error == 0 && m_composite) {
        if (m_state != TFtpEngineState::stAbort)
            ChangeState(TFtpEngineState::stInternalReady);
        NextStep();
        return;
    }
    m_replyTimer.stop();
    ChangeState(TFtpEngineState::stReady);
    // The request is over: nothing of its transfer may act any more.
    TearDownTransfer();
    if (m_data.State() != TSocketState::wsClosed)
        m_data.Close();
    if (m_savedCode != -1) {
        m_lastResponse = m_savedResponse;
        m_statusCode = m_savedCode;
        m_savedCode = -1;
    }
    m_composite = false;
    m_steps.reset();
    PostRequestDone(error);
}

void TFtpClient::PostRequestDone(int error)
{
    QMetaObject::invokeMethod(
        this,
        [this, error] {
            // An exception from the program's handler goes to OnBgException; nothing else
            // follows, whatever the handler had started.
            Guarded(
                [&] {
                    if (OnRequestDone)
                        OnRequestDone(this, m_requestType, error);
                },
                false);
        },
        Qt::QueuedConnection);
}

// The one barrier around every event the engine handles (socket events, its own posted
// events, the reply timer): an exception goes to OnBgException and never into the event
// loop. A request it interrupted fails instead of waiting for an event that will not come.
void TFtpClient::Guarded(const std::function<void()> &body, bool endRequest)
{
    try {
        body();
        return;
    } catch (const std::exception &e) {
        bool canClose = true;
        if (OnBgException) {
            try {
                OnBgException(this, e, canClose);
            } catch (...) { // the handler of a handler's failure must not fail the loop
            }
        }
        if (!endRequest || m_requestDone || m_state == TFtpEngineState::stReady)
            return;
        try {
            m_requestResult = 500;
            SetErrorMessage(QStringLiteral("500 Internal error: ") + QString::fromLocal8Bit(e.what()));
            m_composite = false;
            m_steps.reset();
            TriggerRequestDone(500);
        } catch (...) {
        }
    }
}
