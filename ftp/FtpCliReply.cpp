// TFtpClient: reading reply lines from the control connection and the generic reply handler.
#include "ftp/FtpCli.h"

#include "ftp/FtpTransferText.h"

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
    m_buffer.append(bytes.data(), n);
    QByteArray line;
    while (!m_buffer.isEmpty() && m_buffer.takeLine(line, (m_options & ftpAcceptLF) != 0)) {
        HandleReplyLine(line, error);
        if (!m_connected)
            break; // the line closed the connection; what follows is no longer ours
    }
}

void TFtpClient::HandleReplyLine(const QByteArray &bytes, int error)
{
    m_lastResponse = FtpDecodeLine(bytes);
    if (OnResponse)
        OnResponse(this);
    const FtpReplyCode code = FtpReadCode(m_lastResponse);
    switch (m_state) {
    case TFtpEngineState::stWaitingBanner:
        TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
        if (code.isFinal())
            WaitingBannerLine(code, error);
        break;
    case TFtpEngineState::stWaitingResponse:
        if (!code.isFinal()) {
            TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
            break;
        }
        if (!m_next)
            return HandleError(QStringLiteral("Program error: FNext is nil"));
        (this->*m_next)();
        break;
    default:
        TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
        break;
    }
}

void TFtpClient::WaitingBannerLine(const FtpReplyCode &code, int error)
{
    m_awaitingReply = false;
    m_statusCode = code.code;
    if (code.code != 220) {
        SetErrorMessage(m_lastResponse);
        m_requestResult = code.code;
        m_control.Close();
        return;
    }
    ChangeState(TFtpEngineState::stConnected);
    if (OnSessionConnected)
        OnSessionConnected(this, error);
    TriggerRequestDone(0);
}

void TFtpClient::GenericReply()
{
    TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
    const FtpReplyCode code = FtpReadCode(m_lastResponse);
    if (!code.isFinal())
        return;
    m_awaitingReply = false;
    m_statusCode = code.code;
    bool ok = false;
    if (m_okCount == 0) {
        ok = code.code < 500;
    } else {
        for (int i = 0; i < m_okCount && !ok; ++i)
            ok = m_okCodes[static_cast<size_t>(i)] == code.code;
    }
    if (ok) {
        m_requestResult = 0;
    } else {
        m_requestResult = code.code;
        SetErrorMessage(m_lastResponse);
    }
    if (m_passive && code.code == 227) {
        m_pasvResponse = m_lastResponse;
        // A 227 without an address and port cannot open a data connection: the request
        // fails here instead of reporting success.
        if (ok && m_lastStep == TFtpStep::Port && !FtpParsePasv(m_lastResponse)) {
            m_requestResult = 500;
            SetErrorMessage(QStringLiteral("500 Invalid PASV reply: ") + m_lastResponse);
            TriggerDisplay(QStringLiteral("! Invalid PASV reply"));
        }
    }
    if (ok) {
        if (m_lastStep == TFtpStep::Size)
            m_sizeResult = FtpSizeResult(m_lastResponse);
        else if (m_lastStep == TFtpStep::Cwd || m_lastStep == TFtpStep::Mkd || m_lastStep == TFtpStep::Pwd ||
                 m_lastStep == TFtpStep::Cdup)
            m_dirResult = FtpDirResult(m_lastResponse);
    }
    if (m_doneAction)
        (this->*m_doneAction)();
    else
        TriggerRequestDone(m_requestResult);
}
