// TFtpClient: the transfer commands RETR, LIST, NLST, STOR and APPE with their two replies,
// the end of a transfer, REST, and the composite requests that move files.
#include "ftp/FtpCli.h"

#include <algorithm>

// --- downloads --------------------------------------------------------------------------------------

void TFtpClient::StartRetr()
{
    StartDownload(TFtpRequest::rqReceive, QStringLiteral("RETR"));
}

void TFtpClient::StartList()
{
    StartDownload(TFtpRequest::rqDir, QStringLiteral("LIST"));
}

void TFtpClient::StartNlst()
{
    StartDownload(TFtpRequest::rqLs, QStringLiteral("NLST"));
}

void TFtpClient::StartDownload(TFtpRequest rq, const QString &command)
{
    if (!m_connected)
        return HandleError(command + QStringLiteral(": not connected"));
    if (m_localFileName.isEmpty() && !m_displayFileFlag)
        return HandleError(QStringLiteral("LocalFileName empty"));
    if (!RefuseLineBreaks({&m_hostFileName}))
        return;
    ++m_stepStarts;
    if (!m_composite)
        m_requestType = rq;
    m_dataCommand = command;
    m_transfer = Transfer::Download;
    m_replyComplete = m_dataClosed = m_requestDone = false;
    ByteCount = 0;
    m_closeError = m_dataError = 0;
    m_startTick = 0;
    m_data.OnSessionAvailable = [this](TWSocket *, int) { DataAccept(false); };
    m_localFile.close();
    if (!m_displayFileFlag && !m_localFile.openForWrite(m_localFileName, std::max<int64_t>(ResumeAt, 0)))
        return FailTransferStart(550, QStringLiteral("Unable to open local file ") + m_localFileName, false);
    if (m_passive && !ConnectPassiveData(&TFtpClient::DownloadConnected, QStringLiteral("550")))
        return;
    // The command goes out at once; the data connection may come up before or after.
    ChangeState(TFtpEngineState::stWaitingResponse);
    m_next = &TFtpClient::DownloadFirstReply;
    m_awaitingReply = true;
    SendCommand(m_hostFileName.isEmpty() ? command : command + QLatin1Char(' ') + m_hostFileName);
}

void TFtpClient::DownloadFirstReply()
{
    TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
    const int code = FtpReadCode(m_lastResponse).code;
    m_statusCode = code;
    if (code == 125 || (code >= 150 && code <= 159)) {
        m_next = &TFtpClient::DownloadFinalReply;
        return;
    }
    FailTransfer(code);
}

void TFtpClient::DownloadFinalReply()
{
    TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
    if (m_replyComplete || m_transfer == Transfer::None)
        return; // a stray line while the data connection is still open
    const int code = FtpReadCode(m_lastResponse).code;
    m_statusCode = code;
    m_awaitingReply = false;
    if (code == 125 || code == 226 || code == 250) {
        m_replyComplete = true;
        EndCheck();
        return;
    }
    FailTransferReply(code, QStringLiteral("! RETR/LIST/NLST Failed"));
}

// A final reply that is not a success ends the transfer: local file and data connection
// are closed and the request fails with the reply's code.
void TFtpClient::FailTransferReply(int code, const QString &notice)
{
    SetErrorMessage(m_lastResponse);
    m_transfer = Transfer::None;
    m_localFile.close();
    m_data.OnSessionClosed = nullptr;
    m_data.Close();
    TriggerDisplay(notice);
    m_requestResult = code;
    TriggerRequestDone(code);
}

// --- uploads ------------------------------------------------------------------------------------------

void TFtpClient::StartStor()
{
    StartUpload(false);
}

void TFtpClient::StartAppe()
{
    StartUpload(true);
}

void TFtpClient::StartUpload(bool append)
{
    if (!m_connected)
        return HandleError(QStringLiteral("STOR/APPE: not connected"));
    if (m_localFileName.isEmpty())
        return HandleError(QStringLiteral("LocalFileName empty"));
    if (!RefuseLineBreaks({&m_hostFileName}))
        return;
    ++m_stepStarts;
    m_requestType = append ? TFtpRequest::rqAppend : TFtpRequest::rqPut;
    m_append = append;
    m_dataCommand = append ? QStringLiteral("APPE") : QStringLiteral("STOR");
    m_transfer = Transfer::Upload;
    m_replyComplete = m_dataClosed = m_requestDone = false;
    m_go = m_dataConnected = m_eof = false;
    m_startTick = 0;
    ByteCount = 0;
    m_closeError = m_dataError = 0;
    bool cancel = false;
    if (OnReadyToTransmit)
        OnReadyToTransmit(this, cancel);
    if (cancel)
        return FailTransferStart(426, QStringLiteral("426 Transmit cancelled by application"), true);
    m_data.OnSessionAvailable = [this](TWSocket *, int) { DataAccept(true); };
    if (!m_localFile.openForRead(m_localFileName, std::max<int64_t>(ResumeAt, 0)))
        return FailTransferStart(426, QStringLiteral("426 Unable to open local file ") + m_localFileName, true);
    if (m_passive) {
        // STOR/APPE goes out once the data connection is up (UploadConnected).
        ConnectPassiveData(&TFtpClient::UploadConnected, QStringLiteral("426"));
        return;
    }
    SendUploadCommand();
}

void TFtpClient::SendUploadCommand()
{
    ChangeState(TFtpEngineState::stWaitingResponse);
    m_next = &TFtpClient::UploadFirstReply;
    m_awaitingReply = true;
    SendCommand(m_dataCommand + QLatin1Char(' ') + m_hostFileName);
}

void TFtpClient::UploadFirstReply()
{
    TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
    const int code = FtpReadCode(m_lastResponse).code;
    m_statusCode = code;
    if (code != 125 && code != 150)
        return FailTransfer(code);
    m_go = true;
    m_next = &TFtpClient::UploadFinalReply;
    if (m_passive) {
        m_data.OnDataSent = [this](TWSocket *, int error) { DataSend(error); };
        DataSend(0);
    } else if (m_dataConnected && m_startTick == 0) {
        PostStartUpload();
    }
}

void TFtpClient::UploadFinalReply()
{
    TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
    if (m_replyComplete || m_transfer == Transfer::None)
        return;
    const int code = FtpReadCode(m_lastResponse).code;
    m_statusCode = code;
    m_awaitingReply = false;
    if (code == 226 || code == 250) {
        m_replyComplete = true;
        EndCheck();
        return;
    }
    FailTransferReply(code, QStringLiteral("! STOR Failed"));
}

// --- the end of a transfer ------------------------------------------------------------------------

// The first reply refused the transfer.
void TFtpClient::FailTransfer(int code)
{
    SetErrorMessage(m_lastResponse);
    m_next = nullptr;
    m_awaitingReply = false;
    m_transfer = Transfer::None;
    m_data.OnSessionClosed = nullptr;
    m_data.Close();
    m_localFile.close();
    ResumeAt = 0;
    m_requestResult = code;
    TriggerRequestDone(code);
}

// The transfer could not start (local file, data connection, cancel). showIt: the text
// is the error message and is shown; otherwise it becomes the last response.
void TFtpClient::FailTransferStart(int code, const QString &response, bool showIt)
{
    if (showIt) {
        m_errorMessage = response;
        TriggerDisplay(QStringLiteral("! ") + response);
    } else {
        m_lastResponse = response;
        SetErrorMessage(response);
    }
    m_statusCode = code;
    m_awaitingReply = false;
    m_transfer = Transfer::None;
    m_localFile.close();
    m_data.OnSessionClosed = nullptr;
    if (m_data.State() != TSocketState::wsClosed)
        m_data.Close();
    m_requestResult = code;
    TriggerRequestDone(code);
}

// Both the success reply and the close of the data connection are in, in either order.
void TFtpClient::EndCheck()
{
    if (m_transfer == Transfer::None || !m_replyComplete || !m_dataClosed)
        return;
    m_transfer = Transfer::None;
    ShowTransferStats();
    ResumeAt = 0;
    const int result = m_closeError != 0 ? m_closeError : m_dataError;
    if (result != 0)
        SetErrorMessage(QStringLiteral("%1 %2 data connection failed").arg(result).arg(m_dataCommand));
    m_requestResult = result;
    TriggerRequestDone(result);
}

// --- REST ------------------------------------------------------------------------------------------

void TFtpClient::StartRest()
{
    m_lastStep = TFtpStep::Rest;
    // A restart upload's caller sets the offset itself (normally the size of the partial
    // remote file); otherwise the local file's size is where a download goes on.
    if (m_requestType != TFtpRequest::rqRestPut && m_requestType != TFtpRequest::rqRestPutSession &&
        !(m_options & ftpNoAutoResumeAt))
        ResumeAt = TFtpLocalFile::sizeOf(m_localFileName);
    if (ResumeAt > 0)
        return ExecAsync(TFtpRequest::rqRest, QStringLiteral("REST ") + QString::number(ResumeAt), {});
    // Nothing to skip: no command; the step succeeds and a composite request goes on.
    ++m_stepStarts;
    if (!m_composite)
        m_requestType = TFtpRequest::rqRest;
    m_requestResult = 0;
    m_requestDone = false;
    TriggerRequestDone(0);
}

// --- composite requests ----------------------------------------------------------------------------

void TFtpClient::StartReceive()
{
    StartComposite(TFtpRequest::rqReceive, {TFtpStep::Port, TFtpStep::Get});
}

void TFtpClient::StartDir()
{
    StartComposite(TFtpRequest::rqDir, {TFtpStep::Port, TFtpStep::Dir});
}

void TFtpClient::StartLs()
{
    StartComposite(TFtpRequest::rqLs, {TFtpStep::Port, TFtpStep::Ls});
}

void TFtpClient::StartPut()
{
    StartComposite(TFtpRequest::rqPut, {TFtpStep::Port, TFtpStep::Put});
}

void TFtpClient::StartAppend()
{
    StartComposite(TFtpRequest::rqAppend, {TFtpStep::Port, TFtpStep::Append});
}

void TFtpClient::StartRestGet()
{
    StartComposite(TFtpRequest::rqRestGet, {TFtpStep::Port, TFtpStep::Rest, TFtpStep::Get});
}

void TFtpClient::StartRestPut()
{
    StartComposite(TFtpRequest::rqRestPut, {TFtpStep::Port, TFtpStep::Rest, TFtpStep::Put});
}

void TFtpClient::StartGetSession()
{
    StartComposite(TFtpRequest::rqGetSession, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd,
                                               TFtpStep::TypeSet, TFtpStep::Port, TFtpStep::Get, TFtpStep::Quit});
}

void TFtpClient::StartDirSession()
{
    StartComposite(TFtpRequest::rqDirSession, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd,
                                               TFtpStep::Port, TFtpStep::Dir, TFtpStep::Quit});
}

void TFtpClient::StartLsSession()
{
    StartComposite(TFtpRequest::rqLsSession, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd,
                                              TFtpStep::Port, TFtpStep::Ls, TFtpStep::Quit});
}

void TFtpClient::StartPutSession()
{
    StartComposite(TFtpRequest::rqPutSession, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd,
                                               TFtpStep::TypeSet, TFtpStep::Port, TFtpStep::Put, TFtpStep::Quit});
}

void TFtpClient::StartAppendSession()
{
    StartComposite(TFtpRequest::rqPutSession, {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd,
                                               TFtpStep::TypeSet, TFtpStep::Port, TFtpStep::Append, TFtpStep::Quit});
}

void TFtpClient::StartRestGetSession()
{
    StartComposite(TFtpRequest::rqRestGetSession,
                   {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd, TFtpStep::TypeSet, TFtpStep::Port,
                    TFtpStep::Rest, TFtpStep::Get, TFtpStep::Quit});
}

void TFtpClient::StartRestPutSession()
{
    StartComposite(TFtpRequest::rqRestPutSession,
                   {TFtpStep::Open, TFtpStep::User, TFtpStep::Pass, TFtpStep::Cwd, TFtpStep::TypeSet, TFtpStep::Port,
                    TFtpStep::Rest, TFtpStep::Put, TFtpStep::Quit});
}
