// TFtpClient: properties, usage errors, the command executor and request completion.
#include "ftp/FtpCli.h"

#include <QMetaObject>

TFtpClient::TFtpClient(QObject *parent) : QObject(parent)
{
    m_control.OnDnsLookupDone = [this](TWSocket *, int error) { ControlDnsLookupDone(error); };
    m_control.OnSessionConnected = [this](TWSocket *, int error) { ControlSessionConnected(error); };
    m_control.OnDataAvailable = [this](TWSocket *, int error) { ControlDataAvailable(error); };
    m_control.OnSessionClosed = [this](TWSocket *, int error) { ControlSessionClosed(error); };
}

TFtpClient::~TFtpClient()
{
    m_control.OnSessionClosed = nullptr;
    m_control.OnDnsLookupDone = nullptr;
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

bool TFtpClient::CheckReady()
{
    if (m_state == TFtpEngineState::stReady || m_state == TFtpEngineState::stInternalReady)
        return true;
    HandleError(QStringLiteral("FTP component not ready"));
    return false;
}

// A CR or LF inside a path, name or password would end the command early and make the
// rest a second command of the attacker's choosing: such a request is refused unsent.
bool TFtpClient::RefuseLineBreaks(std::initializer_list<const QString *> operands)
{
    for (const QString *text : operands) {
        if (text->contains(QLatin1Char('\r')) || text->contains(QLatin1Char('\n'))) {
            HandleError(QStringLiteral("Line break in command refused: a name, path or password contains CR or LF"));
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

// --- commands -------------------------------------------------------------------------------

void TFtpClient::SendCommand(const QString &cmd)
{
    QString line = cmd;
    if (OnCommand)
        OnCommand(this, line);
    TriggerDisplay(QStringLiteral("> ") + line);
    if (m_control.State() == TSocketState::wsConnected)
        m_control.SendStr(line.toUtf8() + "\r\n");
}

void TFtpClient::ExecAsync(TFtpRequest rq, const QString &line, std::initializer_list<int> okCodes, Handler doneAction)
{
    const bool exempt = line == QLatin1String("ABOR") || line == QLatin1String("STAT") || line == QLatin1String("QUIT");
    if (!exempt) {
        if (!CheckReady())
            return;
        if (!m_connected)
            return HandleError(QStringLiteral("FTP component not connected"));
    }
    if (!RefuseLineBreaks({&line}))
        return;
    if (!m_composite)
        m_requestType = rq;
    m_okCount = 0;
    for (int code : okCodes) {
        if (m_okCount < kMaxCodes)
            m_okCodes[static_cast<size_t>(m_okCount++)] = code;
    }
    m_requestDone = false;
    m_next = &TFtpClient::GenericReply;
    m_doneAction = doneAction;
    m_errorMessage.clear();
    ChangeState(TFtpEngineState::stWaitingResponse);
    m_awaitingReply = true;
    ++m_stepStarts;
    SendCommand(line);
    if (m_control.State() != TSocketState::wsConnected) {
        // ABOR, STAT and QUIT pass the checks but go nowhere without a connection: no reply
        // will ever come, so the request ends now instead of waiting forever.
        m_awaitingReply = false;
        m_requestResult = WsaError::NotConnected;
        SetErrorMessage(QStringLiteral("Not connected"));
        TriggerRequestDone(WsaError::NotConnected);
    }
}

// --- completion -------------------------------------------------------------------------------

void TFtpClient::TriggerRequestDone(int error)
{
    if (m_requestDone)
        return;
    m_requestDone = true;
    if (error == 0 && m_composite) {
        // With a passive upload next, the engine stays busy until STOR has gone out. A REST
        // still to come must find it ready, or a passive restart upload could never run.
        const bool passivePutNext = m_passive && m_steps.test(static_cast<size_t>(TFtpStep::Put)) &&
                                    !m_steps.test(static_cast<size_t>(TFtpStep::Rest));
        if (m_state != TFtpEngineState::stAbort && !passivePutNext)
            ChangeState(TFtpEngineState::stInternalReady);
        NextStep();
        return;
    }
    ChangeState(TFtpEngineState::stReady);
    // The request is over: nothing of its transfer may act any more.
    m_transfer = Transfer::None;
    m_localFile.close();
    m_data.OnSessionClosed = nullptr;
    m_data.OnDataAvailable = nullptr;
    m_data.OnDataSent = nullptr;
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
            try {
                if (OnRequestDone)
                    OnRequestDone(this, m_requestType, error);
            } catch (const std::exception &e) {
                bool canClose = true;
                if (OnBgException) {
                    try {
                        OnBgException(this, e, canClose);
                    } catch (...) { // the handler of a handler's failure must not fail the loop
                    }
                }
            }
        },
        Qt::QueuedConnection);
}

void TFtpClient::QuitDone()
{
    if (m_control.State() != TSocketState::wsClosed)
        m_control.Close();
    else
        TriggerRequestDone(m_requestResult);
}
