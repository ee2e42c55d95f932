#include "app/tkftpclient.h"

#include "app/SftpRemote.h"
#include "app/jobs/QueueJob.h"
#include "sftp/SftpSession.h"

#include <QScopeGuard>

tkftpclient::tkftpclient(const QString &name, QObject *parent) : TFtpClient(parent)
{
    setObjectName(name);
}

tkftpclient::~tkftpclient() = default;

QueueItem *tkftpclient::currentItem() const
{
    return m_job ? &m_job->item() : nullptr;
}

std::uint64_t tkftpclient::requestToken() const
{
    return m_job ? m_job->token() : 0;
}

RemoteRequest remoteRequestOf(TFtpRequest request)
{
    switch (request) {
    case TFtpRequest::rqConnect:
        return RemoteRequest::Connect;
    case TFtpRequest::rqCwd:
        return RemoteRequest::ChangeFolder;
    case TFtpRequest::rqPwd:
        return RemoteRequest::PrintFolder;
    case TFtpRequest::rqTypeSet:
        return RemoteRequest::TypeSwitch;
    case TFtpRequest::rqDir:
        return RemoteRequest::List;
    case TFtpRequest::rqReceive:
    case TFtpRequest::rqRestGet:
        return RemoteRequest::Get;
    case TFtpRequest::rqPut:
    case TFtpRequest::rqRestPut:
        return RemoteRequest::Put;
    case TFtpRequest::rqSize:
        return RemoteRequest::Size;
    case TFtpRequest::rqMkd:
        return RemoteRequest::MakeFolder;
    case TFtpRequest::rqRmd:
        return RemoteRequest::RemoveFolder;
    case TFtpRequest::rqDele:
        return RemoteRequest::Delete;
    case TFtpRequest::rqRename:
        return RemoteRequest::Rename;
    case TFtpRequest::rqQuote:
        return RemoteRequest::Quote;
    default:
        return RemoteRequest::Other;
    }
}

// --- the protocol ---------------------------------------------------------------------------

void tkftpclient::useSftp(bool on)
{
    m_sftpInUse = on;
    if (!on || m_sftp)
        return;
    m_sftp = std::make_unique<SftpRemote>();
    m_sftpNew = true;
    connect(m_sftp.get(), &SftpRemote::requestFinished, this,
            [this](RemoteRequest request, int code) { emit sftpRequestDone(request, code); });
    // Display lines start with a marker and a blank, as the FTP engine's do ("> " command,
    // "< " reply, "! " note); the SSH side's lines are notes.
    connect(m_sftp.get(), &SftpRemote::logLine, this, [this](const QString &line) {
        emit sftpDisplay(line.startsWith(QLatin1String("! ")) ? line : QStringLiteral("! ") + line);
    });
    connect(m_sftp.get(), &SftpRemote::listingText, this, [this](const QString &text) {
        if (m_sftpInUse)
            emit sftpListing(text);
    });
    connect(m_sftp.get(), &SftpRemote::progress, this, [this](std::int64_t bytes) {
        ByteCount = bytes;
        bool abort = false;
        emit sftpProgress(bytes, &abort);
        if (abort)
            m_sftp->abortTransfer();
    });
    connect(m_sftp.get(), &SftpRemote::closed, this, [this](int code) {
        if (m_sftpInUse)
            emit sftpClosed(code);
    });
}

bool tkftpclient::connectedOrResolving() const
{
    if (m_sftpInUse)
        return m_sftp->connectedOrConnecting();
    return IsConnected() || State() == TFtpEngineState::stDnsLookup;
}

bool tkftpclient::connectedNow() const
{
    return m_sftpInUse ? m_sftp->connectedOrConnecting() : IsConnected();
}

bool tkftpclient::idleState() const
{
    if (m_sftpInUse)
        return !m_sftp->busy() && !m_sftp->session().busy();
    return State() == TFtpEngineState::stReady || State() == TFtpEngineState::stInternalReady;
}

bool tkftpclient::readyForRequest() const
{
    // Exactly ready: an FTP engine in its internal-ready state is between two steps of a
    // request.
    if (m_sftpInUse)
        return m_sftp->ready();
    return IsConnected() && State() == TFtpEngineState::stReady;
}

bool tkftpclient::transferRunning() const
{
    if (m_sftpInUse)
        return m_sftp->runningRequest() && isTransferRequest(*m_sftp->runningRequest());
    return isTransferRequest(remoteRequestOf(RequestType()));
}

QString tkftpclient::encryptionText() const
{
    if (m_sftpInUse) {
        const SftpSession &s = m_sftp->session();
        return QStringLiteral("SSH: %1; key exchange %2; host key %3; cipher %4")
            .arg(s.serverBanner(), s.keyExchange(), s.hostKey().type, s.cipher());
    }
    if (!TlsActive())
        return QString();
    return TlsDescription() + (DataProtected() ? QStringLiteral("; data connections encrypted")
                                               : QStringLiteral("; data connections NOT encrypted"));
}

void tkftpclient::startLogin()
{
    if (m_sftpInUse)
        m_sftp->connectAndLogin();
    else
        StartConnect();
    m_quoteFor.reset();
}

void tkftpclient::closeNow()
{
    if (m_sftpInUse)
        m_sftp->closeNow();
    else
        AbortAndWait();
}

// --- requests -------------------------------------------------------------------------------

void tkftpclient::changeFolder(const QString &folder)
{
    if (m_sftpInUse)
        return m_sftp->changeFolder(folder);
    SetHostFileName(QString());
    SetHostDirName(folder);
    StartCwd();
}

void tkftpclient::printFolder()
{
    if (m_sftpInUse)
        return m_sftp->printFolder();
    StartPwd();
}

void tkftpclient::listFolder(const ListingRequest &request)
{
    if (m_sftpInUse)
        return m_sftp->listFolder(request);
    SetDisplayFileFlag(true);
    SetHostFileName(request.options);
    SetListingLimits(request.maxBytes, request.maxEntries);
    if (request.machine)
        StartMlsdDir();
    else
        StartDir();
}

void tkftpclient::startTransfer(const QString &remote, const QString &local, std::int64_t offset)
{
    ByteCount = 0;
    ResumeAt = offset;
    SetHostFileName(remote);
    SetLocalFileName(local);
}

void tkftpclient::getFile(const QString &remote, const QString &local, std::int64_t offset, std::int64_t listedSize)
{
    startTransfer(remote, local, offset);
    if (m_sftpInUse)
        return m_sftp->getFile(remote, local, offset, listedSize);
    if (offset > 0)
        StartRestGet();
    else
        StartReceive();
}

void tkftpclient::putFile(const QString &local, const QString &remote, std::int64_t offset)
{
    startTransfer(remote, local, offset);
    if (m_sftpInUse)
        return m_sftp->putFile(local, remote, offset);
    if (offset > 0)
        StartRestPut();
    else
        StartPut();
}

void tkftpclient::querySize(const QString &remote)
{
    SetHostFileName(remote);
    if (m_sftpInUse)
        return m_sftp->querySize(remote);
    StartSize();
}

void tkftpclient::makeFolder(const QString &path)
{
    SetHostFileName(path);
    if (m_sftpInUse)
        return m_sftp->makeFolder(path);
    StartMkd();
}

void tkftpclient::removeFolder(const QString &path)
{
    SetHostFileName(path);
    if (m_sftpInUse)
        return m_sftp->removeFolder(path);
    StartRmd();
}

void tkftpclient::deleteFile(const QString &path)
{
    SetHostFileName(path);
    if (m_sftpInUse)
        return m_sftp->deleteFile(path);
    StartDele();
}

void tkftpclient::rename(const QString &from, const QString &to)
{
    SetHostFileName(from);
    SetLocalFileName(to);
    if (m_sftpInUse)
        return m_sftp->rename(from, to);
    StartRename();
}

void tkftpclient::changeMode(const QString &path, const QString &mode)
{
    if (m_sftpInUse)
        return m_sftp->changeMode(path, mode);
    m_quoteFor.reset();
    SetLocalFileName(QStringLiteral("SITE CHMOD ") + mode + QLatin1Char(' ') + path);
    SetHostFileName(QStringLiteral("*chmod*"));
    StartQuote();
}

void tkftpclient::setTextMode(bool text)
{
    if (m_sftpInUse)
        return m_sftp->setTextMode();
    if (text)
        StartTypeAscii();
    else
        StartTypeBinary();
}

void tkftpclient::queryModifiedTime(const QString &remote)
{
    SetHostFileName(remote);
    if (m_sftpInUse)
        return m_sftp->queryModifiedTime(remote);
    startTimeCommand(RemoteRequest::ModifiedTime, QStringLiteral("MDTM ") + remote);
}

void tkftpclient::setModifiedTime(const QString &remote, const QDateTime &modified)
{
    SetHostFileName(remote);
    if (m_sftpInUse)
        return m_sftp->setModifiedTime(remote, modified);
    startTimeCommand(RemoteRequest::SetModifiedTime, QStringLiteral("MFMT ") +
                                                         modified.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")) +
                                                         QLatin1Char(' ') + remote);
}

void tkftpclient::startTimeCommand(RemoteRequest asked, const QString &command)
{
    m_quoteFor = asked;
    SetLocalFileName(command);
    // A command that could not start completes nothing: no later raw command may be taken
    // for it.
    auto forget = qScopeGuard([this] { m_quoteFor.reset(); });
    StartQuote();
    forget.dismiss();
}

std::pair<RemoteRequest, int> tkftpclient::ftpCompletion(TFtpRequest request, int error)
{
    const RemoteRequest neutral = remoteRequestOf(request);
    if (neutral != RemoteRequest::Quote || !m_quoteFor)
        return {neutral, error};
    const RemoteRequest asked = *std::exchange(m_quoteFor, std::nullopt);
    if (error != 0)
        return {asked, error};
    // A raw command succeeds on any reply below 500; a 4xx reply or a 213 without a time
    // is a refusal here.
    const bool ok = asked == RemoteRequest::ModifiedTime ? modifiedTimeResult().isValid()
                                                         : StatusCode() >= 200 && StatusCode() < 300;
    return {asked, ok ? 0 : (StatusCode() >= 400 ? StatusCode() : RemoteCode::Refused)};
}

void tkftpclient::keepAlive(const QString &ftpCommand)
{
    SetHostFileName(QStringLiteral("[antitimeout]"));
    if (m_sftpInUse)
        return m_sftp->keepAlive();
    m_quoteFor.reset();
    SetLocalFileName(ftpCommand);
    StartQuote();
}

void tkftpclient::abortTransfer()
{
    if (m_sftpInUse)
        m_sftp->abortTransfer();
    else
        AbortTransfer();
}

// --- results --------------------------------------------------------------------------------

QString tkftpclient::lastReply() const
{
    return m_sftpInUse ? m_sftp->lastReply() : LastResponse();
}

QString tkftpclient::folderResult() const
{
    return m_sftpInUse ? m_sftp->folderResult() : DirResult();
}

std::int64_t tkftpclient::sizeResult() const
{
    return m_sftpInUse ? m_sftp->sizeResult() : SizeResult();
}

std::int64_t tkftpclient::announcedSize() const
{
    return m_sftpInUse ? m_sftp->announcedSize() : AnnouncedSize();
}

std::int64_t tkftpclient::downloadedLength() const
{
    return m_sftpInUse ? m_sftp->downloadedLength() : DownloadedLength();
}

QDateTime tkftpclient::modifiedTimeResult() const
{
    if (m_sftpInUse)
        return m_sftp->modifiedTimeResult();
    return FtpMdtmResult(LastResponse().trimmed());
}

bool tkftpclient::canQueryModifiedTime() const
{
    return m_sftpInUse || ServerHasFeature(QStringLiteral("MDTM"));
}

bool tkftpclient::canSetModifiedTime() const
{
    return m_sftpInUse || ServerHasFeature(QStringLiteral("MFMT"));
}

bool tkftpclient::hasFeature(const QString &name) const
{
    // Every SFTP listing carries the entries' attributes, as a machine listing does.
    if (m_sftpInUse)
        return name.compare(QLatin1String("MLST"), Qt::CaseInsensitive) == 0;
    return ServerHasFeature(name);
}

bool tkftpclient::listingCut() const
{
    return m_sftpInUse ? m_sftp->listingCut() : ListingCut();
}
