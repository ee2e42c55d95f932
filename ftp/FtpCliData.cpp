// TFtpClient: PORT and PASV, the data connection, the receive and send routines, progress
// and the transfer statistics.
#include "ftp/FtpCli.h"

#include "ftp/FtpTransferText.h"
#include "ftp/WSocketResolve.h"

#include <QMetaObject>

#include <sys/socket.h>

#include <chrono>

namespace {

int64_t nowTick()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

// --- PORT / PASV ------------------------------------------------------------------------------

void TFtpClient::StartPort()
{
    if (!CheckReady())
        return;
    if (!m_connected)
        return HandleError(QStringLiteral("FTP component not connected"));
    m_data.OnSessionAvailable = nullptr;
    m_data.OnSessionClosed = nullptr;
    m_data.OnDataAvailable = nullptr;
    m_data.OnDataSent = nullptr;
    m_data.OnSessionConnected = nullptr;
    if (m_data.State() != TSocketState::wsClosed)
        m_data.Close();
    m_data.SetProto(QStringLiteral("tcp"));
    m_data.SetAddr(QStringLiteral("0.0.0.0"));
    m_data.SetPort(QStringLiteral("0"));
    QString line = QStringLiteral("PASV");
    if (!m_passive) {
        m_data.SetSocksServer(QString()); // a listener never goes through a proxy
        m_data.SetLingerOnOff(TSocketLingerOnOff::wsLingerOn);
        m_data.SetLingerTimeout(10);
        m_data.Listen();
        QString listenAddr, localAddr;
        uint16_t listenPort = 0, controlPort = 0;
        m_data.GetSockName(listenAddr, listenPort);
        m_control.GetSockName(localAddr, controlPort);
        const bool loopback = m_control.GetPeerAddr() == QLatin1String("127.0.0.1");
        line = FtpPortLine(loopback ? 0x7F000001u : WSocketResolveHost(localAddr), listenPort);
    }
    ByteCount = 0;
    m_lastStep = TFtpStep::Port;
    ExecAsync(TFtpRequest::rqPort, line, {200, 227});
}

// Connects the data socket to the address of the saved 227 reply. A reply without a usable
// address, or a failing connect, fails the transfer start with failPrefix's code.
bool TFtpClient::ConnectPassiveData(void (TFtpClient::*connected)(int), const QString &failPrefix)
{
    const auto pasv = FtpParsePasv(m_pasvResponse);
    if (!pasv) {
        FailTransferStart(failPrefix.toInt(), failPrefix + QStringLiteral(" Invalid PASV reply: ") + m_pasvResponse,
                          false);
        return false;
    }
    // The server names the address to connect to. Trusting a different one would let a
    // hostile server aim the client at any host and port (FTP bounce): connect to the
    // server we are talking to, at the port it gave.
    QString host = pasv->host;
    const QString peer = m_control.Addr();
    if (!peer.isEmpty() && host != peer) {
        TriggerDisplay(
            QStringLiteral("! PASV address %1 differs from the server's address %2; connecting to %2").arg(host, peer));
        host = peer;
    }
    try {
        m_data.SetAddr(host);
        m_data.SetPort(QString::number(pasv->port));
        m_data.SetProto(QStringLiteral("tcp"));
        m_data.SetLocalAddr(m_localAddr);
        ApplySocks(m_data);
        m_data.OnSessionConnected = [this, connected](TWSocket *, int error) { (this->*connected)(error); };
        m_data.SetLingerOnOff(TSocketLingerOnOff::wsLingerOff);
        m_data.SetLingerTimeout(0);
        m_data.Connect();
    } catch (const std::exception &e) {
        const QString cls = dynamic_cast<const ESocketException *>(&e) ? QStringLiteral("ESocketException")
                                                                       : QStringLiteral("Exception");
        FailTransferStart(failPrefix.toInt(),
                          failPrefix + QLatin1Char(' ') + cls + QStringLiteral(": ") + QString::fromLocal8Bit(e.what()),
                          false);
        return false;
    }
    return true;
}

// --- the data connection ------------------------------------------------------------------------

// Active mode: the server connected to our listener. The accepted connection takes the
// listener's place in the data socket.
void TFtpClient::DataAccept(bool upload)
{
    const int fd = m_data.Accept();
    m_data.OnSessionClosed = nullptr;
    m_data.Close();
    if (fd < 0)
        return;
    m_data.OnSessionClosed = [this](TWSocket *, int error) { DataClosed(error); };
    if (upload) {
        m_data.OnDataAvailable = [this](TWSocket *, int) { DataDiscard(); };
        m_data.OnDataSent = [this](TWSocket *, int error) { DataSend(error); };
        m_data.SetLingerOnOff(TSocketLingerOnOff::wsLingerOff);
        m_data.SetLingerTimeout(10);
    } else {
        m_data.OnDataAvailable = [this](TWSocket *, int) { DataReceive(); };
        m_data.OnDataSent = nullptr;
        m_data.SetLingerOnOff(TSocketLingerOnOff::wsLingerOn);
        m_data.SetLingerTimeout(10);
    }
    m_data.Dup(fd);
    if (!upload) {
        m_startTick = nowTick();
        return;
    }
    int sendBuffer = 0;
    socklen_t length = sizeof sendBuffer;
    if (::getsockopt(m_data.Handle(), SOL_SOCKET, SO_SNDBUF, &sendBuffer, &length) != 0)
        return HandleError(QStringLiteral("winsock.getsockopt(SO_SNDBUF) failed"));
    m_dataConnected = true;
    if (m_go && m_startTick == 0)
        PostStartUpload();
}

void TFtpClient::DownloadConnected(int error)
{
    m_startTick = nowTick();
    if (error != 0) {
        m_data.OnSessionClosed = nullptr;
        FailTransferStart(550, QStringLiteral("Unable to establish data connection, error #%1").arg(error), false);
        return;
    }
    m_data.OnSessionClosed = [this](TWSocket *, int e) { DataClosed(e); };
    m_data.OnDataAvailable = [this](TWSocket *, int) { DataReceive(); };
    m_data.OnDataSent = nullptr;
}

void TFtpClient::UploadConnected(int error)
{
    m_data.OnDataAvailable = nullptr;
    m_data.OnDataSent = nullptr;
    m_dataConnected = true;
    m_startTick = nowTick();
    if (error != 0) {
        m_data.OnSessionClosed = nullptr;
        FailTransferStart(550, QStringLiteral("Unable to establish data connection, error #%1").arg(error), false);
        return;
    }
    m_data.OnSessionClosed = [this](TWSocket *, int e) { DataClosed(e); };
    SendUploadCommand();
}

void TFtpClient::DataClosed(int error)
{
    m_localFile.close();
    m_dataClosed = true;
    m_closeError = error;
    EndCheck();
}

void TFtpClient::NoteDataError(int code, const QString &text)
{
    TriggerDisplay(text);
    if (m_dataError == 0)
        m_dataError = code;
}

// --- receive ----------------------------------------------------------------------------------------

void TFtpClient::DataReceive()
{
    if (!Progress())
        return;
    const int size = DataReceiveBlock > 0 ? DataReceiveBlock : 4096;
    if (m_block.size() != static_cast<size_t>(size))
        m_block.assign(static_cast<size_t>(size), 0);
    const int n = m_data.Receive(m_block.data(), size);
    if (n > 0) {
        ByteCount += n;
        if (m_localFile.isOpen() && !m_localFile.write(m_block.data(), n)) {
            m_localFile.close();
            NoteDataError(550, QStringLiteral("! Error writing local file"));
            m_data.ShutDown(SHUT_RDWR);
        }
        if (m_displayFileFlag)
            DeliverDisplayFile(m_block.data(), n);
    } else if (n < 0 && m_data.State() == TSocketState::wsConnected && m_data.LastError() != WsaError::WouldBlock) {
        NoteDataError(m_data.LastError(), QStringLiteral("! Data: Receive error %1").arg(m_data.LastError()));
        m_data.ShutDown(SHUT_RDWR);
    }
}

void TFtpClient::DeliverDisplayFile(const char *data, int length)
{
    if (!OnDisplayFile)
        return;
    if (m_displayFileMode == 1) {
        QString text = FtpDecodeLine(QByteArray(data, length));
        OnDisplayFile(this, text);
        return;
    }
    // Mode 0: every piece between CR and LF characters separately; a line split across
    // two blocks arrives as two pieces.
    int start = 0;
    for (int i = 0; i <= length; ++i) {
        if (i < length && data[i] != '\r' && data[i] != '\n')
            continue;
        if (i > start) {
            QString piece = FtpDecodeLine(QByteArray(data + start, i - start));
            OnDisplayFile(this, piece);
        }
        start = i + 1;
    }
}

// Active uploads: whatever the server sends on the data connection is read and dropped.
void TFtpClient::DataDiscard()
{
    char discard[2048];
    m_data.Receive(discard, sizeof discard);
}

// --- send ----------------------------------------------------------------------------------------------

void TFtpClient::PostStartUpload()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_transfer != Transfer::Upload || m_startTick != 0)
                return;
            m_startTick = nowTick();
            try {
                DataSend(0);
            } catch (const std::exception &e) {
                // Nothing may escape into the event loop.
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

// Reads the next block of the file and sends it. The socket calls back (OnDataSent) once
// its queue is empty, so at most one block ever waits in it. While the system takes whole
// blocks at once, a few more go out in the same event: fewer trips through the event loop,
// the same progress report before every block.
void TFtpClient::DataSend(int error)
{
    constexpr int kBlocksPerEvent = 8;
    if (!m_localFile.isOpen() || !Progress())
        return;
    if (error != 0) {
        NoteDataError(error, QStringLiteral("! Error #%1 sending data").arg(error));
        m_data.Close();
        return;
    }
    for (int i = 0; SendNextBlock() && m_data.AllSent() && i + 1 < kBlocksPerEvent; ++i) {
        if (!m_localFile.isOpen() || !Progress())
            return;
    }
}

// False when nothing more can go out in this event.
bool TFtpClient::SendNextBlock()
{
    if (m_eof || !m_go || !m_dataConnected)
        return false;
    const int size = DataSendBlock > 0 ? DataSendBlock : 1460;
    if (m_block.size() != static_cast<size_t>(size))
        m_block.assign(static_cast<size_t>(size), 0);
    const int64_t n = m_localFile.read(m_block.data(), size);
    if (n < 0) {
        NoteDataError(426, QStringLiteral("! Error reading file"));
        m_data.Close();
        return false;
    }
    if (n == 0) {
        // Everything has been handed to the system; the delayed close lets the event that
        // called us return first. The close is graceful, so no queued byte is lost.
        m_eof = true;
        m_data.CloseDelayed();
        return false;
    }
    if (m_data.State() != TSocketState::wsConnected) {
        // The server closed the data connection before the file was through.
        NoteDataError(WsaError::NotConnected, QStringLiteral("! Error #%1 sending data").arg(WsaError::NotConnected));
        m_localFile.close();
        return false;
    }
    ByteCount += n;
    m_data.Send(m_block.data(), static_cast<int>(n));
    return m_data.State() == TSocketState::wsConnected;
}

// --- progress and statistics ----------------------------------------------------------------------------

bool TFtpClient::Progress()
{
    bool abort = false;
    if (OnProgress)
        OnProgress(this, ByteCount + ResumeAt, abort);
    if (m_timeout > 0)
        m_waitDeadline.setRemainingTime(static_cast<qint64>(m_timeout) * 1000);
    if (!abort)
        return true;
    // The file is incomplete whatever the server says next.
    NoteDataError(426, QStringLiteral("! Abort requested"));
    m_data.Close();
    return false;
}

void TFtpClient::ShowTransferStats()
{
    m_stopTick = nowTick();
    TriggerDisplay(FtpTransferStatsLine(ByteCount, m_startTick == 0 ? 0 : m_stopTick - m_startTick));
}
