// TFtpClient: PORT and PASV, the data connection, the receive and send routines, progress
// and the transfer statistics.
#include "ftp/FtpCli.h"

#include "ftp/FtpTransferText.h"
#include "ftp/WSocketResolve.h"

#include <QMetaObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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
    Run(&TFtpClient::BeginPort);
}

bool TFtpClient::BeginPort(QString &why)
{
    if (!Ready(why))
        return false;
    if (!m_connected) {
        why = QStringLiteral("FTP component not connected");
        return false;
    }
    m_data.OnSessionAvailable = nullptr;
    m_data.OnSessionConnected = nullptr;
    DetachData();
    m_data.SetTlsOnConnect(false); // TLS of an accepted connection starts after the accept
    m_data.SetProto(QStringLiteral("tcp"));
    const bool ipv6 = WSocketIsIPv6Literal(m_control.Addr()); // the server's address family
    m_data.SetAddr(ipv6 ? QStringLiteral("::") : QStringLiteral("0.0.0.0"));
    m_data.SetPort(QStringLiteral("0"));
    // Passive: EPSV, which names only a port and works over either family; PASV once this
    // session's server has refused EPSV (an IPv4 server of the old kind).
    QString line = !ipv6 && m_epsvRefused ? QStringLiteral("PASV") : QStringLiteral("EPSV");
    m_eprtLine.clear();
    if (!m_passive) {
        m_data.SetSocksServer(QString()); // a listener never goes through a proxy
        m_data.SetLingerOnOff(TSocketLingerOnOff::wsLingerOn);
        m_data.SetLingerTimeout(10);
        m_data.Listen();
        QString listenAddr, localAddr;
        uint16_t listenPort = 0, controlPort = 0;
        m_data.GetSockName(listenAddr, listenPort);
        m_control.GetSockName(localAddr, controlPort);
        // Active: PORT on IPv4 (EPRT once the server has refused PORT), EPRT on IPv6.
        if (ipv6) {
            line = m_eprtLine = FtpEprtLine(localAddr, listenPort);
        } else {
            const bool loopback = m_control.GetPeerAddr() == QLatin1String("127.0.0.1");
            const QString address = loopback ? QStringLiteral("127.0.0.1") : localAddr;
            m_eprtLine = FtpEprtLine(address, listenPort);
            line = m_portRefused ? m_eprtLine : FtpPortLine(WSocketResolveHost(address), listenPort);
        }
    }
    m_portCommand = line.section(QLatin1Char(' '), 0, 0);
    ByteCount = 0;
    m_lastStep = TFtpStep::Port;
    return ExecAsync(TFtpRequest::rqPort, line, {200, 227, 229}, why, &TFtpClient::PasvReply);
}

// Connects the data socket to the address of the saved 227 reply. A reply without a usable
// address, or a failing connect, fails the transfer start with failCode.
bool TFtpClient::ConnectPassiveData(void (TFtpClient::*connected)(int), int failCode)
{
    const QString prefix = QString::number(failCode);
    // EPSV names only the port: the data connection goes to the server's own address.
    const bool extended = m_pasvResponse.startsWith(QLatin1String("229"));
    const auto epsvPort = extended ? FtpParseEpsv(m_pasvResponse) : std::nullopt;
    auto pasv = extended ? std::optional<FtpPasvAddress>() : FtpParsePasv(m_pasvResponse);
    if (epsvPort)
        pasv = FtpPasvAddress{m_control.Addr(), *epsvPort};
    if (!pasv || pasv->port < 1024) {
        FailTransferStart(
            failCode,
            prefix + (extended ? QStringLiteral(" Invalid EPSV reply: ") : QStringLiteral(" Invalid PASV reply: ")) +
                m_pasvResponse,
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
    m_socksErrorText.clear();
    try {
        m_data.SetAddr(host);
        m_data.SetPort(QString::number(pasv->port));
        m_data.SetProto(QStringLiteral("tcp"));
        m_data.SetLocalAddr(m_localAddr);
        ApplySocks(m_data);
        if (connected == &TFtpClient::DownloadConnected)
            PrepareDataTls();
        m_data.OnSessionConnected = [this, connected](TWSocket *, int error) {
            Guarded([&] { (this->*connected)(error); });
        };
        m_data.SetLingerOnOff(TSocketLingerOnOff::wsLingerOff);
        m_data.SetLingerTimeout(0);
        m_data.Connect();
    } catch (const std::exception &e) {
        const QString cls = dynamic_cast<const ESocketException *>(&e) ? QStringLiteral("ESocketException")
                                                                       : QStringLiteral("Exception");
        FailTransferStart(
            failCode, prefix + QLatin1Char(' ') + cls + QStringLiteral(": ") + QString::fromLocal8Bit(e.what()), false);
        return false;
    }
    return true;
}

// --- the data connection ------------------------------------------------------------------------

namespace {

// The address of the peer of a connected handle, or "" when it cannot be read.
QString peerAddress(int fd)
{
    WSocketAddress peer;
    peer.length = sizeof peer.storage;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer.storage), &peer.length) != 0)
        return {};
    return WSocketAddressText(peer.data());
}

} // namespace

// Active mode: a connection came in on our listener. Only the server we talk to may open
// it: anyone else is turned away and the listener goes on waiting, so the file never holds
// another host's bytes. The accepted connection takes the listener's place.
void TFtpClient::DataAccept()
{
    const int fd = m_data.Accept();
    if (fd < 0)
        return;
    const QString from = peerAddress(fd);
    const QString server = m_control.GetPeerAddr();
    if (from.isEmpty() || from != server) {
        ::close(fd);
        TriggerDisplay(QStringLiteral("! Data connection from %1 refused: the server is %2")
                           .arg(from.isEmpty() ? QStringLiteral("an unknown address") : from, server));
        return;
    }
    if (m_replyTimer.isActive())
        ArmReplyTimer();
    m_data.OnSessionClosed = nullptr;
    m_data.Close();
    m_data.OnSessionClosed = [this](TWSocket *, int error) { Guarded([&] { DataClosed(error); }); };
    if (m_upload) {
        m_data.OnDataAvailable = [this](TWSocket *, int) { Guarded([this] { DataDiscard(); }); };
        m_data.OnDataSent = [this](TWSocket *, int error) { Guarded([&] { DataSend(error); }); };
        m_data.SetLingerOnOff(TSocketLingerOnOff::wsLingerOff);
        m_data.SetLingerTimeout(10);
    } else {
        m_data.OnDataAvailable = [this](TWSocket *, int) { Guarded([this] { DataReceive(); }); };
        m_data.OnDataSent = nullptr;
        m_data.SetLingerOnOff(TSocketLingerOnOff::wsLingerOn);
        m_data.SetLingerTimeout(10);
    }
    m_data.Dup(fd);
    StartDataTls(); // the client is the TLS client also on a connection the server opened
    if (!m_upload) {
        m_startTick = nowTick();
        return;
    }
    int sendBuffer = 0;
    socklen_t length = sizeof sendBuffer;
    if (::getsockopt(m_data.Handle(), SOL_SOCKET, SO_SNDBUF, &sendBuffer, &length) != 0)
        return HandleError(QStringLiteral("winsock.getsockopt(SO_SNDBUF) failed"));
    if (m_phase == Phase::Moving && m_startTick == 0)
        PostStartUpload();
}

QString TFtpClient::DataConnectFailureText(int error) const
{
    if (error > 20000 && error <= 20017 && !m_socksErrorText.isEmpty())
        return QStringLiteral("Unable to establish data connection: ") + ConnectFailureText(error);
    if (error >= TlsError::HandshakeFailed && error <= TlsError::Protocol)
        return QStringLiteral("Unable to establish data connection: TLS: %1 (error #%2)")
            .arg(m_data.LastErrorMessage())
            .arg(error);
    return QStringLiteral("Unable to establish data connection: ") + WSocketErrorDesc(error);
}

void TFtpClient::DownloadConnected(int error)
{
    m_startTick = nowTick();
    if (error != 0) {
        m_data.OnSessionClosed = nullptr;
        FailTransferStart(550, DataConnectFailureText(error), false);
        return;
    }
    if (QString why; !DataTlsAcceptable(why)) {
        m_data.OnSessionClosed = nullptr;
        FailTransferStart(550, QStringLiteral("550 ") + why, false);
        return;
    }
    if (m_replyTimer.isActive())
        ArmReplyTimer();
    m_data.OnSessionClosed = [this](TWSocket *, int e) { Guarded([&] { DataClosed(e); }); };
    m_data.OnDataAvailable = [this](TWSocket *, int) { Guarded([this] { DataReceive(); }); };
    m_data.OnDataSent = nullptr;
}

void TFtpClient::UploadConnected(int error)
{
    m_data.OnDataAvailable = nullptr;
    m_data.OnDataSent = nullptr;
    m_startTick = nowTick();
    if (error != 0) {
        m_data.OnSessionClosed = nullptr;
        FailTransferStart(550, DataConnectFailureText(error), false);
        return;
    }
    m_data.OnSessionClosed = [this](TWSocket *, int e) { Guarded([&] { DataClosed(e); }); };
    // Servers start TLS on a data connection only once the transfer command is in, so the
    // handshake runs beside STOR; what the upload sends meanwhile waits in the queue.
    StartDataTls();
    SendUploadCommand();
}

void TFtpClient::DataClosed(int error)
{
    if (m_phase == Phase::Idle)
        return;
    m_closeError = error;
    if (m_upload && m_localFile.isOpen()) {
        // The file is not through (the end of the file closes it): whatever the server
        // says next, the remote copy is incomplete.
        if (m_dataError == 0)
            NoteDataError(426, QStringLiteral("! Data connection closed before the whole file was sent"));
        m_localFile.close();
    }
    if (m_protectData && !m_upload && m_dataCommand == QLatin1String("RETR") && !m_data.TlsCloseNotifyReceived()) {
        // Without the close notify the end of the stream may be an attacker's cut: the
        // file counts as whole only when its length is the one the server gave.
        const bool sizeKnown = !m_sizeName.isEmpty() && m_sizeName == m_hostFileName && m_sizeResult >= 0;
        const int64_t expected = sizeKnown ? m_sizeResult : m_announcedSize;
        if (expected < 0 || ByteCount + ResumeAt != expected)
            NoteDataError(426, QStringLiteral("! The encrypted data connection ended without a TLS close notify and "
                                              "the file's length is not the one the server gave: it may be cut short"));
    }
    if (m_phase == Phase::ReplyIn)
        return TransferComplete();
    SetPhase(Phase::ClosedIn);
}

void TFtpClient::NoteDataError(int code, const QString &text)
{
    TriggerDisplay(text);
    if (m_dataError == 0) {
        m_dataError = code;
        m_dataErrorText = text.startsWith(QLatin1String("! ")) ? text.mid(2) : text;
    }
}

// Nothing of the data connection may act on the engine any more; the connection closes.
void TFtpClient::DetachData()
{
    m_data.OnSessionClosed = nullptr;
    m_data.OnDataAvailable = nullptr;
    m_data.OnDataSent = nullptr;
    m_data.OnTlsDone = nullptr;
    if (m_data.State() != TSocketState::wsClosed)
        m_data.Close();
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
        if (m_replyTimer.isActive())
            ArmReplyTimer();
        if (!StoreReceived(m_block.data(), n))
            EndTransfer(m_dataError);
    } else if (n < 0 && m_data.State() == TSocketState::wsConnected && m_data.LastError() != WsaError::WouldBlock) {
        NoteDataError(m_data.LastError(), QStringLiteral("! Data: Receive error %1").arg(m_data.LastError()));
        m_data.ShutDown(SHUT_RDWR);
    }
}

// Counts and keeps a received block. False when the transfer cannot go on: the server sent
// more than a resumed file can hold from its offset, so it ignored REST and the bytes would
// splice two copies together. The local file is then cut back to where it stood.
bool TFtpClient::StoreReceived(const char *data, int length)
{
    ByteCount += length;
    if (m_resumeLimit >= 0 && ByteCount > m_resumeLimit) {
        m_localFile.truncate(ResumeAt);
        m_localFile.close();
        const QString text = QStringLiteral("451 The server ignored REST: it sent more than the file holds after "
                                            "byte %1; the local file is back to %1 bytes")
                                 .arg(ResumeAt);
        m_dataError = 451;
        m_resumeLimit = -1; // said once
        m_errorMessage = text;
        m_lastResponse = text;
        m_statusCode = 451;
        TriggerDisplay(QStringLiteral("! ") + text);
        return false;
    }
    if (m_localFile.isOpen() && !WriteLocal(data, length)) {
        m_localFile.close();
        NoteDataError(550, QStringLiteral("! Error writing local file: ") + m_localFile.errorText());
        m_data.ShutDown(SHUT_RDWR);
    }
    if (m_displayFileFlag && !m_listingCut && !WithinListingLimits(data, length))
        return true;
    if (m_displayFileFlag && !m_listingCut)
        DeliverDisplayFile(data, length, false);
    return true;
}

// A listing is text the engine keeps until its lines are complete, and a server may send
// one that never ends. Once it passes the limits the data connection is dropped (the
// server's reply to the cut then ends the request, or the reply timeout does) and nothing
// more of it is delivered or kept.
bool TFtpClient::WithinListingLimits(const char *data, int length)
{
    for (int i = 0; i < length; ++i) {
        if (data[i] == '\n')
            ++m_listingLines;
    }
    const bool tooLong = m_listingMaxBytes > 0 && ByteCount > m_listingMaxBytes;
    const bool tooMany = m_listingMaxLines > 0 && m_listingLines > m_listingMaxLines;
    if (!tooLong && !tooMany)
        return true;
    m_listingCut = true;
    m_listingTail.clear();
    m_listingTail.squeeze();
    NoteDataError(552, tooLong ? QStringLiteral("! Listing cut: more than %1 bytes").arg(m_listingMaxBytes)
                               : QStringLiteral("! Listing cut: more than %1 entries").arg(m_listingMaxLines));
    if (m_data.State() != TSocketState::wsClosed)
        m_data.Abort();
    return false;
}

// Writes received file bytes. In text mode (TYPE A) the wire carries CR LF line ends; this
// system's text files end their lines with LF, so each CR LF is written as LF. A CR at the
// end of a block waits for the next block to see whether an LF follows.
bool TFtpClient::WriteLocal(const char *data, int length)
{
    if (m_typeLetter != QLatin1Char('A'))
        return m_localFile.write(data, length);
    m_textBlock.clear();
    m_textBlock.reserve(static_cast<size_t>(length) + 1);
    int i = 0;
    if (m_pendingCr && length > 0) {
        m_pendingCr = false;
        if (data[0] != '\n')
            m_textBlock.push_back('\r');
    }
    for (; i < length; ++i) {
        const char c = data[i];
        if (c == '\r') {
            if (i + 1 == length) {
                m_pendingCr = true;
                continue;
            }
            if (data[i + 1] == '\n')
                continue;
        }
        m_textBlock.push_back(c);
    }
    return m_textBlock.empty() || m_localFile.write(m_textBlock.data(), static_cast<int64_t>(m_textBlock.size()));
}

// Whatever already arrived on the data connection still goes to the file, also when the
// transfer fails, so a partial file can be resumed from its true length.
void TFtpClient::DrainData()
{
    if (m_data.State() != TSocketState::wsConnected || (!m_localFile.isOpen() && !m_displayFileFlag))
        return;
    const int size = DataReceiveBlock > 0 ? DataReceiveBlock : 4096;
    if (m_block.size() != static_cast<size_t>(size))
        m_block.assign(static_cast<size_t>(size), 0);
    for (;;) {
        const int n = m_data.Receive(m_block.data(), size);
        if (n <= 0 || !StoreReceived(m_block.data(), n))
            return;
    }
}

// Listings are cut into lines before they are decoded, so a character whose bytes came in
// two reads decodes whole, and each line is judged UTF-8 or not on its own. Mode 1 passes
// the complete lines of a block as one text, mode 0 each non-empty line; what follows the
// last line end waits for the next block, or for flush at the end of the transfer.
void TFtpClient::DeliverDisplayFile(const char *data, int length, bool flush)
{
    if (m_listingCut)
        return;
    m_listingTail.append(data, length);
    qsizetype end = m_listingTail.lastIndexOf('\n');
    if (flush)
        end = m_listingTail.size() - 1;
    if (end < 0 || m_listingTail.isEmpty())
        return;
    const QByteArray complete = m_listingTail.left(end + 1);
    m_listingTail.remove(0, end + 1);
    if (!OnDisplayFile)
        return;
    QString block;
    qsizetype start = 0;
    while (start < complete.size()) {
        qsizetype nl = complete.indexOf('\n', start);
        if (nl < 0)
            nl = complete.size() - 1;
        const QByteArray line = complete.mid(start, nl - start + 1);
        start = nl + 1;
        if (m_displayFileMode == 1) {
            block += DecodeFromServer(line);
            continue;
        }
        QByteArray bare = line;
        while (bare.endsWith('\n') || bare.endsWith('\r'))
            bare.chop(1);
        if (!bare.isEmpty()) {
            QString text = DecodeFromServer(bare);
            OnDisplayFile(this, text);
        }
    }
    if (m_displayFileMode == 1)
        OnDisplayFile(this, block);
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
            if (!m_upload || m_phase != Phase::Moving || m_startTick != 0)
                return;
            m_startTick = nowTick();
            Guarded([this] { DataSend(0); });
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
    if (m_replyTimer.isActive())
        ArmReplyTimer();
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

// False when nothing more can go out in this event. The file stays open until its end
// has been read: its close marks that everything went out.
bool TFtpClient::SendNextBlock()
{
    if (!m_localFile.isOpen() || (m_phase != Phase::Moving && m_phase != Phase::ReplyIn))
        return false;
    if (m_data.State() != TSocketState::wsConnected)
        return false; // active mode: the server has not connected yet
    const int size = DataSendBlock > 0 ? DataSendBlock : 1460;
    if (m_block.size() != static_cast<size_t>(size))
        m_block.assign(static_cast<size_t>(size), 0);
    const int64_t n = m_localFile.read(m_block.data(), size);
    if (n < 0) {
        NoteDataError(426, QStringLiteral("! Error reading file: ") + m_localFile.errorText());
        m_localFile.close();
        m_data.Close();
        return false;
    }
    if (n == 0) {
        // A file written to while it was sent (it grew, shrank or was rewritten) did not
        // go out as one version of it: the transfer fails whatever the server says.
        if (m_localFile.changedSinceOpen())
            NoteDataError(426, QStringLiteral("! The local file changed while it was sent: ") + m_localFileName);
        // Everything has been handed to the system; the delayed close lets the event that
        // called us return first. The close is graceful, so no queued byte is lost. On a
        // clear connection whose bytes are all with the system, the end of the data goes out
        // now: the server can answer while the events before the close still run.
        m_localFile.close();
        if (m_data.TlsState() == TTlsState::None && m_data.AllSent())
            m_data.ShutDown(SHUT_WR);
        m_data.CloseDelayed();
        return false;
    }
    ByteCount += n;
    if (m_typeLetter == QLatin1Char('A')) {
        // Text mode: this system's LF line ends go out as CR LF (a CR LF already there is
        // left as it is).
        m_textBlock.clear();
        m_textBlock.reserve(static_cast<size_t>(n) * 2);
        for (int64_t i = 0; i < n; ++i) {
            const char c = m_block[static_cast<size_t>(i)];
            if (c == '\n' && !m_lastSentCr)
                m_textBlock.push_back('\r');
            m_textBlock.push_back(c);
            m_lastSentCr = c == '\r';
        }
        m_data.Send(m_textBlock.data(), static_cast<int>(m_textBlock.size()));
    } else {
        m_data.Send(m_block.data(), static_cast<int>(n));
    }
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

// --- abort from this side ------------------------------------------------------------------------

void TFtpClient::AbortTransfer()
{
    if (m_phase == Phase::Idle)
        return;
    if (m_phase == Phase::Connecting) {
        // STOR/APPE has not gone out: the server knows of no transfer, so nothing it sends
        // would end this one.
        FailTransferStart(426, QStringLiteral("426 Transfer aborted before the data connection was open"), false);
        return;
    }
    NoteDataError(426, QStringLiteral("! Abort requested"));
    if (m_upload)
        m_localFile.close();
    if (m_data.State() != TSocketState::wsClosed)
        m_data.Abort();
}
