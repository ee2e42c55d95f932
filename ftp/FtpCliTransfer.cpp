// TFtpClient: the transfer commands RETR, LIST, NLST, STOR and APPE with their two replies,
// the end of a transfer, REST, and the composite requests that move files.
#include "ftp/FtpCli.h"

#include <QFile>

#include <algorithm>
#include <utility>

// --- downloads --------------------------------------------------------------------------------------

void TFtpClient::StartRetr()
{
    Run(&TFtpClient::BeginRetr);
}

void TFtpClient::StartList()
{
    Run(&TFtpClient::BeginList);
}

void TFtpClient::StartNlst()
{
    Run(&TFtpClient::BeginNlst);
}

bool TFtpClient::BeginRetr(QString &why)
{
    return BeginDownload(TFtpRequest::rqReceive, QStringLiteral("RETR"), why);
}

bool TFtpClient::BeginList(QString &why)
{
    return BeginDownload(TFtpRequest::rqDir, QStringLiteral("LIST"), why);
}

bool TFtpClient::BeginMlsd(QString &why)
{
    return BeginDownload(TFtpRequest::rqDir, QStringLiteral("MLSD"), why);
}

bool TFtpClient::BeginNlst(QString &why)
{
    return BeginDownload(TFtpRequest::rqLs, QStringLiteral("NLST"), why);
}

bool TFtpClient::BeginDownload(TFtpRequest rq, const QString &command, QString &why)
{
    if (!m_connected) {
        why = command + QStringLiteral(": not connected");
        return false;
    }
    if (m_localFileName.isEmpty() && !m_displayFileFlag) {
        why = QStringLiteral("LocalFileName empty");
        return false;
    }
    if (!NoLineBreaks({&m_hostFileName}, why))
        return false;
    const QString line = m_hostFileName.isEmpty() ? command : command + QLatin1Char(' ') + m_hostFileName;
    bool fits = true;
    EncodeForServer(line, &fits);
    if (!fits) {
        why = QStringLiteral("Name refused: it has characters the server's character set (Windows-1252) cannot hold");
        return false;
    }
    if (!m_composite)
        m_requestType = rq;
    m_dataCommand = command;
    m_upload = false;
    SetPhase(Phase::Commanded);
    m_requestDone = false;
    ByteCount = 0;
    m_closeError = m_dataError = 0;
    m_dataErrorText.clear();
    m_startTick = 0;
    m_announcedSize = -1;
    m_pendingCr = false;
    m_listingTail.clear();
    m_listingLines = 0;
    m_listingCut = false;
    // A resumed download may bring the rest of the file and no more; the size a SIZE
    // reply gave for this very file tells how much that is.
    m_resumeLimit = ResumeAt > 0 && !m_sizeName.isEmpty() && m_sizeName == m_hostFileName && m_sizeResult >= 0
                        ? std::max<int64_t>(0, m_sizeResult - ResumeAt)
                        : -1;
    m_data.OnSessionAvailable = [this](TWSocket *, int) { Guarded([this] { DataAccept(); }); };
    m_localFile.close();
    if (!m_displayFileFlag && !m_localFile.openForWrite(m_localFileName, std::max<int64_t>(ResumeAt, 0))) {
        FailTransferStart(
            550, QStringLiteral("Unable to open local file %1: %2").arg(m_localFileName, m_localFile.errorText()),
            false);
        return true;
    }
    if (m_passive && !ConnectPassiveData(&TFtpClient::DownloadConnected, 550))
        return true;
    // The command goes out at once; the data connection may come up before or after.
    ChangeState(TFtpEngineState::stWaitingResponse);
    m_next = &TFtpClient::DownloadFirstReply;
    m_awaitingReply = true;
    m_waitingFor = QStringLiteral("the reply to ") + command;
    SendCommand(line);
    return true;
}

void TFtpClient::DownloadFirstReply()
{
    TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
    const int code = FtpReadCode(m_lastResponse).code;
    m_statusCode = code;
    if (code != 125 && (code < 150 || code > 159)) {
        SetErrorMessage(m_lastResponse);
        m_awaitingReply = false;
        // Refused: the user's file stays as it was, and one made for this download goes.
        if (!m_displayFileFlag && m_localFile.created() && ByteCount == 0) {
            m_localFile.close();
            QFile::remove(m_localFileName);
        }
        return EndTransfer(code);
    }
    // Accepted: now an older, longer file may be cut to what this download writes.
    if (!m_displayFileFlag && m_localFile.isOpen() && !m_localFile.cutHere()) {
        SetErrorMessage(QStringLiteral("Unable to write local file ") + m_localFileName);
        return EndTransfer(550);
    }
    m_next = &TFtpClient::TransferFinalReply;
    m_announcedSize = FtpAnnouncedSize(m_lastResponse);
    if (m_phase == Phase::Commanded)
        SetPhase(Phase::Moving);
    if (ResumeAt > 0 && m_resumeLimit < 0) {
        // No SIZE known: the size the server announces, "(N bytes)", counts.
        const int64_t announced = FtpAnnouncedSize(m_lastResponse);
        if (announced >= 0) {
            m_resumeLimit = std::max<int64_t>(0, announced - ResumeAt);
            // Bytes may have come before this reply.
            if (ByteCount > m_resumeLimit && !StoreReceived(nullptr, 0))
                EndTransfer(m_dataError);
        }
    }
}

// --- uploads ------------------------------------------------------------------------------------------

void TFtpClient::StartStor()
{
    Run(&TFtpClient::BeginStor);
}

void TFtpClient::StartAppe()
{
    Run(&TFtpClient::BeginAppe);
}

bool TFtpClient::BeginStor(QString &why)
{
    return BeginUpload(false, why);
}

bool TFtpClient::BeginAppe(QString &why)
{
    return BeginUpload(true, why);
}

bool TFtpClient::BeginUpload(bool append, QString &why)
{
    if (!m_connected) {
        why = QStringLiteral("STOR/APPE: not connected");
        return false;
    }
    if (m_localFileName.isEmpty()) {
        why = QStringLiteral("LocalFileName empty");
        return false;
    }
    if (!NoLineBreaks({&m_hostFileName}, why))
        return false;
    const QString command = append ? QStringLiteral("APPE") : QStringLiteral("STOR");
    bool fits = true;
    EncodeForServer(m_hostFileName, &fits);
    if (!fits) {
        why = QStringLiteral("Name refused: it has characters the server's character set (Windows-1252) cannot hold");
        return false;
    }
    m_requestType = append ? TFtpRequest::rqAppend : TFtpRequest::rqPut;
    m_dataCommand = command;
    m_upload = true;
    SetPhase(Phase::Connecting);
    m_requestDone = false;
    m_startTick = 0;
    ByteCount = 0;
    m_closeError = m_dataError = 0;
    m_dataErrorText.clear();
    m_resumeLimit = -1;
    m_lastSentCr = false;
    bool cancel = false;
    if (OnReadyToTransmit)
        OnReadyToTransmit(this, cancel);
    if (cancel) {
        FailTransferStart(426, QStringLiteral("426 Transmit cancelled by application"), true);
        return true;
    }
    m_data.OnSessionAvailable = [this](TWSocket *, int) { Guarded([this] { DataAccept(); }); };
    if (!m_localFile.openForRead(m_localFileName, std::max<int64_t>(ResumeAt, 0))) {
        // The reason is the transfer's answer: the server's last reply said nothing of it.
        m_lastResponse =
            QStringLiteral("426 Unable to open local file %1: %2").arg(m_localFileName, m_localFile.errorText());
        FailTransferStart(426, m_lastResponse, true);
        return true;
    }
    if (m_passive) {
        // STOR/APPE goes out once the data connection is up (UploadConnected); meanwhile
        // the engine is busy and waits for the server like for a reply.
        ChangeState(TFtpEngineState::stWaitingResponse);
        m_awaitingReply = true;
        m_waitingFor = QStringLiteral("the data connection");
        ArmReplyTimer();
        ConnectPassiveData(&TFtpClient::UploadConnected, 426);
        return true;
    }
    SendUploadCommand();
    return true;
}

void TFtpClient::SendUploadCommand()
{
    ChangeState(TFtpEngineState::stWaitingResponse);
    SetPhase(Phase::Commanded);
    m_next = &TFtpClient::UploadFirstReply;
    m_awaitingReply = true;
    m_waitingFor = QStringLiteral("the reply to ") + m_dataCommand;
    SendCommand(m_dataCommand + QLatin1Char(' ') + m_hostFileName);
}

void TFtpClient::UploadFirstReply()
{
    TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
    const int code = FtpReadCode(m_lastResponse).code;
    m_statusCode = code;
    if (code != 125 && code != 150) {
        SetErrorMessage(m_lastResponse);
        m_awaitingReply = false;
        return EndTransfer(code);
    }
    m_next = &TFtpClient::TransferFinalReply;
    if (m_phase != Phase::Commanded)
        return; // the data connection is already gone: the final reply decides
    SetPhase(Phase::Moving);
    if (m_passive) {
        m_data.OnDataSent = [this](TWSocket *, int error) { Guarded([&] { DataSend(error); }); };
        DataSend(0);
    } else if (m_data.State() == TSocketState::wsConnected && m_startTick == 0) {
        PostStartUpload();
    }
}

// --- the final reply and the end of a transfer ------------------------------------------------------

void TFtpClient::TransferFinalReply()
{
    TriggerDisplay(QStringLiteral("< ") + m_lastResponse);
    if (m_phase == Phase::Idle || m_phase == Phase::ReplyIn)
        return; // a stray line while the data connection is still open
    const int code = FtpReadCode(m_lastResponse).code;
    m_statusCode = code;
    m_awaitingReply = false;
    const bool ok = code == 226 || code == 250 || (!m_upload && code == 125);
    if (ok) {
        if (m_phase == Phase::ClosedIn)
            return TransferComplete();
        SetPhase(Phase::ReplyIn);
        return;
    }
    SetErrorMessage(m_lastResponse);
    TriggerDisplay(m_upload ? QStringLiteral("! STOR Failed") : QStringLiteral("! RETR/LIST/NLST Failed"));
    EndTransfer(code);
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
    EndTransfer(code);
}

// Both the success reply and the close of the data connection are in, in either order.
void TFtpClient::TransferComplete()
{
    ShowTransferStats();
    const int result = m_closeError != 0 ? m_closeError : m_dataError;
    if (result != 0 && m_closeError == 0 && !m_dataErrorText.isEmpty()) {
        // This side failed the transfer (a local file error, a cut listing): its reason, not
        // the server's success reply, is what the transfer ended with.
        m_lastResponse = QStringLiteral("%1 %2").arg(result).arg(m_dataErrorText);
        SetErrorMessage(m_lastResponse);
    } else if (result != 0) {
        SetErrorMessage(QStringLiteral("%1 %2 data connection failed").arg(result).arg(m_dataCommand));
    }
    EndTransfer(result);
}

// Lets go of everything a transfer holds: what already arrived is written, the listing's
// last line delivered, the local file closed and the data connection closed.
void TFtpClient::TearDownTransfer()
{
    if (m_phase == Phase::Idle)
        return;
    if (!m_upload) {
        DrainData();
        if (m_displayFileFlag)
            DeliverDisplayFile(nullptr, 0, true);
        // A CR that ended the file was not the first half of a line end.
        if (std::exchange(m_pendingCr, false) && m_localFile.isOpen())
            m_localFile.write("\r", 1);
    }
    SetPhase(Phase::Idle);
    m_next = nullptr;
    m_sizeName.clear(); // a SIZE result speaks for the next transfer only
    m_localFile.close();
    DetachData();
}

// Every way a transfer ends comes here: success (code 0) or the failing code.
void TFtpClient::EndTransfer(int code)
{
    TearDownTransfer();
    ResumeAt = 0;
    m_requestResult = code;
    TriggerRequestDone(code);
}

// --- REST ------------------------------------------------------------------------------------------

void TFtpClient::StartRest()
{
    Run(&TFtpClient::BeginRest);
}

bool TFtpClient::BeginRest(QString &why)
{
    m_lastStep = TFtpStep::Rest;
    // A restart upload's caller sets the offset itself (normally the size of the partial
    // remote file); otherwise the local file's size is where a download goes on.
    if (m_requestType != TFtpRequest::rqRestPut && m_requestType != TFtpRequest::rqRestPutSession &&
        !(m_options & ftpNoAutoResumeAt))
        ResumeAt = TFtpLocalFile::sizeOf(m_localFileName);
    if (ResumeAt > 0)
        return ExecAsync(TFtpRequest::rqRest, QStringLiteral("REST ") + QString::number(ResumeAt), {}, why);
    // Nothing to skip: no command; the step succeeds and a composite request goes on.
    if (!m_composite)
        m_requestType = TFtpRequest::rqRest;
    m_requestResult = 0;
    m_requestDone = false;
    TriggerRequestDone(0);
    return true;
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

void TFtpClient::StartMlsdDir()
{
    StartComposite(TFtpRequest::rqDir, {TFtpStep::Port, TFtpStep::Mlsd});
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
