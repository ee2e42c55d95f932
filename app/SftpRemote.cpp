#include "app/SftpRemote.h"

#include "base/TextCodec.h"
#include "browser/LocalFiles.h"
#include "sftp/SftpSession.h"

#include <QTimeZone>

namespace {

// A listing goes to the listing path in blocks of about this many bytes of text.
constexpr qsizetype kListingBlock = 64 * 1024;

QString factsLine(const SftpEntry &e, const QString &name)
{
    QString facts;
    switch (e.type) {
    case SftpEntryType::File:
        facts = QStringLiteral("type=file;");
        break;
    case SftpEntryType::Folder:
        facts = QStringLiteral("type=dir;");
        break;
    case SftpEntryType::Link:
        facts = QStringLiteral("type=OS.unix=slink;");
        break;
    case SftpEntryType::Other:
        facts = QStringLiteral("type=OS.unix=other;");
        break;
    }
    if (e.hasSize)
        facts += QStringLiteral("size=%1;").arg(e.size);
    if (e.modified.isValid())
        facts += QStringLiteral("modify=") + e.modified.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")) +
                 QLatin1Char(';');
    if (e.hasPermissions)
        facts += QStringLiteral("UNIX.mode=0%1;").arg(e.permissions & 07777, 0, 8);
    return facts + QLatin1Char(' ') + name + QStringLiteral("\r\n");
}

} // namespace

SftpRemote::SftpRemote(QObject *parent) : QObject(parent), m_session(std::make_unique<SftpSession>())
{
    connect(m_session.get(), &SftpSession::requestDone, this, &SftpRemote::onDone);
    connect(m_session.get(), &SftpSession::logLine, this, &SftpRemote::logLine);
    connect(m_session.get(), &SftpSession::progress, this,
            [this](uint64_t bytes, uint64_t) { emit progress(static_cast<std::int64_t>(bytes) - m_offset); });
    connect(m_session.get(), &SftpSession::sessionClosed, this, [this] {
        m_connecting = false;
        // A request cut by the close ends with the close, not with a completion of its own.
        m_running.reset();
        m_next = nullptr;
        emit closed(m_closeCode);
    });
}

SftpRemote::~SftpRemote()
{
    m_session->disconnect(this);
}

int SftpRemote::codeOf(SftpError error)
{
    switch (error) {
    case SftpError::None:
        return 0;
    case SftpError::Network:
    case SftpError::Protocol:
        return RemoteCode::ConnectionLost;
    case SftpError::Timeout:
        return RemoteCode::TimedOut;
    case SftpError::HostKeyRefused:
    case SftpError::HostKeyChanged:
        return RemoteCode::HostKeyRefused;
    case SftpError::AuthFailed:
        return RemoteCode::LoginRefused;
    case SftpError::LocalFile:
        return RemoteCode::LocalFile;
    case SftpError::Incomplete:
    case SftpError::Cancelled:
        return RemoteCode::Incomplete;
    case SftpError::NotConnected:
    case SftpError::Busy:
        return RemoteCode::NotConnected;
    case SftpError::Remote:
        break;
    }
    return RemoteCode::Refused;
}

bool SftpRemote::connectedOrConnecting() const
{
    // Connected until the close has been handed on: a new connection started before that
    // would be taken for the one that closed.
    return m_connecting || m_session->connected() || m_session->closing();
}

bool SftpRemote::ready() const
{
    return m_session->authenticated() && !m_connecting && !m_running && !m_session->busy();
}

QString SftpRemote::decode(const QByteArray &bytes)
{
    if (m_utf8 && !TextCodec::isValidUtf8(bytes)) {
        m_utf8 = false;
        emit logLine(QStringLiteral("! The server's names are not UTF-8; they are read and sent as Windows-1252"));
    }
    return m_utf8 ? QString::fromUtf8(bytes) : TextCodec::fromWindows1252(bytes);
}

QString SftpRemote::resolve(const QString &path) const
{
    if (path.startsWith(QLatin1Char('/')))
        return path;
    const QString folder = m_utf8 ? QString::fromUtf8(m_folder) : TextCodec::fromWindows1252(m_folder);
    if (path.isEmpty())
        return folder;
    if (folder.endsWith(QLatin1Char('/')))
        return folder + path;
    return folder + QLatin1Char('/') + path;
}

bool SftpRemote::encodePaths(RemoteRequest request, const QStringList &paths, QList<QByteArray> &encoded)
{
    m_running = request;
    encoded.clear();
    for (const QString &path : paths) {
        const QString full = resolve(path);
        bool ok = true;
        QByteArray bytes = m_utf8 ? full.toUtf8() : TextCodec::toWindows1252(full, &ok);
        if (!ok || bytes.contains('\0')) {
            // A replaced character would name another file, or none.
            const QString why =
                QStringLiteral("Name refused: %1 has characters the server's character set cannot hold").arg(full);
            QMetaObject::invokeMethod(
                this, [this, request, why] { complete(request, RemoteCode::Refused, why); }, Qt::QueuedConnection);
            return false;
        }
        // A final "/" names the same folder; a lone "/" stays.
        while (bytes.size() > 1 && bytes.endsWith('/'))
            bytes.chop(1);
        encoded << bytes;
    }
    return true;
}

void SftpRemote::complete(RemoteRequest request, int code, const QString &text)
{
    m_running.reset();
    m_next = nullptr;
    if (!text.isEmpty())
        m_lastReply = text;
    emit requestFinished(request, code);
}

void SftpRemote::onDone(SftpRequest request, SftpError error, const QString &text)
{
    Q_UNUSED(request);
    if (!m_running)
        return; // a request this side no longer waits for (closed in between)
    const bool lost = error == SftpError::Network || error == SftpError::Timeout || error == SftpError::Protocol;
    if (lost)
        m_closeCode = codeOf(error);
    // A connection lost during a request is reported by the close that follows, so the work
    // under way waits to run again instead of failing.
    if (lost && *m_running != RemoteRequest::Connect)
        return;
    if (m_next) {
        const auto next = m_next;
        next(error, text);
        return;
    }
    complete(*m_running, codeOf(error), text);
}

// --- requests -------------------------------------------------------------------------------

void SftpRemote::connectAndLogin()
{
    m_running = RemoteRequest::Connect;
    m_connecting = true;
    m_closeCode = 0;
    m_utf8 = true;
    m_folder.clear();
    m_lastReply.clear();
    if (!m_refusal.isEmpty()) {
        m_connecting = false;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_running == RemoteRequest::Connect)
                    complete(RemoteRequest::Connect, RemoteCode::Refused, m_refusal);
            },
            Qt::QueuedConnection);
        return;
    }
    const auto failed = [this](SftpError error, const QString &text) {
        m_connecting = false;
        complete(RemoteRequest::Connect, codeOf(error), text);
    };
    m_next = [this, failed](SftpError error, const QString &text) {
        if (error != SftpError::None)
            return failed(error, text);
        m_lastReply = m_session->serverBanner();
        m_next = [this, failed](SftpError error, const QString &text) {
            if (error != SftpError::None)
                return failed(error, text);
            m_next = [this, failed](SftpError error, const QString &text) {
                if (error != SftpError::None)
                    return failed(error, text);
                m_next = [this, failed](SftpError error, const QString &text) {
                    if (error != SftpError::None)
                        return failed(error, text);
                    m_folder = m_session->realPathResult();
                    m_connecting = false;
                    complete(RemoteRequest::Connect, 0,
                             QStringLiteral("Logged in (%1); the folder is %2")
                                 .arg(m_session->authenticatedBy(), decode(m_folder)));
                };
                m_session->realPath(".");
            };
            m_session->authenticate();
        };
        m_session->checkHostKey();
    };
    m_session->connectToHost();
}

void SftpRemote::changeFolder(const QString &folder)
{
    QList<QByteArray> paths;
    if (!encodePaths(RemoteRequest::ChangeFolder, {folder}, paths))
        return;
    m_next = [this](SftpError error, const QString &text) {
        if (error != SftpError::None)
            return complete(RemoteRequest::ChangeFolder, codeOf(error), text);
        const QByteArray canonical = m_session->realPathResult();
        // The canonical path names no link; only a folder becomes the current folder.
        m_next = [this, canonical](SftpError error, const QString &text) {
            if (error != SftpError::None)
                return complete(RemoteRequest::ChangeFolder, codeOf(error), text);
            if (m_session->statResult().type != SftpEntryType::Folder)
                return complete(RemoteRequest::ChangeFolder, RemoteCode::Refused,
                                QStringLiteral("%1 is not a folder").arg(decode(canonical)));
            m_folder = canonical;
            complete(RemoteRequest::ChangeFolder, 0, QStringLiteral("The folder is %1").arg(decode(canonical)));
        };
        m_session->stat(canonical);
    };
    m_session->realPath(paths.front());
}

void SftpRemote::printFolder()
{
    m_running = RemoteRequest::PrintFolder;
    m_folderResult = decode(m_folder);
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_running == RemoteRequest::PrintFolder)
                complete(RemoteRequest::PrintFolder, m_folder.isEmpty() ? RemoteCode::Refused : 0);
        },
        Qt::QueuedConnection);
}

void SftpRemote::listFolder(const ListingRequest &request)
{
    m_listingCut = false;
    m_maxBytes = request.maxBytes;
    m_session->setListingLimit(request.maxEntries > 0 ? static_cast<int>(std::min<std::int64_t>(
                                                            request.maxEntries, std::numeric_limits<int>::max()))
                                                      : std::numeric_limits<int>::max());
    m_running = RemoteRequest::List;
    m_next = [this, maxEntries = request.maxEntries](SftpError error, const QString &text) {
        if (error != SftpError::None) {
            m_listingCut = maxEntries > 0 && m_session->entries().size() >= maxEntries;
            return complete(RemoteRequest::List, m_listingCut ? RemoteCode::ListingCut : codeOf(error), text);
        }
        writeListing();
    };
    m_session->list(m_folder);
}

void SftpRemote::writeListing()
{
    QString block;
    std::int64_t total = 0;
    for (const SftpEntry &e : m_session->entries()) {
        const QString name = decode(e.name);
        // A line end inside a name would split it into two listing lines.
        if (name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n'))) {
            emit logLine(QStringLiteral("Left out an entry whose name holds a line end: %1")
                             .arg(QString(name)
                                      .replace(QLatin1Char('\r'), QLatin1Char(' '))
                                      .replace(QLatin1Char('\n'), QLatin1Char(' '))));
            continue;
        }
        const QString line = factsLine(e, name);
        total += line.size();
        if (m_maxBytes > 0 && total > m_maxBytes) {
            m_listingCut = true;
            return complete(RemoteRequest::List, RemoteCode::ListingCut,
                            QStringLiteral("the listing passed %1 bytes").arg(m_maxBytes));
        }
        block += line;
        if (block.size() >= kListingBlock)
            emit listingText(std::exchange(block, QString()));
    }
    if (!block.isEmpty())
        emit listingText(block);
    complete(RemoteRequest::List, 0, QStringLiteral("%1 entries").arg(m_session->entries().size()));
}

void SftpRemote::getFile(const QString &remote, const QString &local, std::int64_t offset, std::int64_t listedSize)
{
    QList<QByteArray> paths;
    m_offset = offset;
    m_announced = -1;
    m_downloadPath = local;
    if (!encodePaths(RemoteRequest::Get, {remote}, paths))
        return;
    m_next = [this](SftpError error, const QString &text) {
        // The session ends a download only when the bytes reach the size the remote file had.
        if (error == SftpError::None)
            m_announced = static_cast<std::int64_t>(m_session->transferred());
        complete(RemoteRequest::Get, codeOf(error), text);
    };
    m_session->get(paths.front(), local, static_cast<uint64_t>(offset), listedSize);
}

std::int64_t SftpRemote::downloadedLength() const
{
    return keepsLength(m_downloadPath) ? localFileSize(m_downloadPath)
                                       : static_cast<std::int64_t>(m_session->transferred());
}

void SftpRemote::putFile(const QString &local, const QString &remote, std::int64_t offset)
{
    QList<QByteArray> paths;
    m_offset = offset;
    if (!encodePaths(RemoteRequest::Put, {remote}, paths))
        return;
    m_session->put(local, paths.front(), static_cast<uint64_t>(offset));
}

void SftpRemote::querySize(const QString &remote)
{
    QList<QByteArray> paths;
    m_sizeResult = -1;
    if (!encodePaths(RemoteRequest::Size, {remote}, paths))
        return;
    m_next = [this](SftpError error, const QString &text) {
        if (error != SftpError::None)
            return complete(RemoteRequest::Size, codeOf(error), text);
        const SftpEntry entry = m_session->statResult();
        if (entry.type != SftpEntryType::File || !entry.hasSize)
            return complete(RemoteRequest::Size, RemoteCode::Refused, QStringLiteral("not a file with a size"));
        m_sizeResult = static_cast<std::int64_t>(entry.size);
        complete(RemoteRequest::Size, 0, QString::number(m_sizeResult));
    };
    m_session->stat(paths.front());
}

void SftpRemote::makeFolder(const QString &path)
{
    QList<QByteArray> paths;
    if (encodePaths(RemoteRequest::MakeFolder, {path}, paths))
        m_session->makeFolder(paths.front());
}

void SftpRemote::removeFolder(const QString &path)
{
    QList<QByteArray> paths;
    if (encodePaths(RemoteRequest::RemoveFolder, {path}, paths))
        m_session->removeFolder(paths.front());
}

void SftpRemote::deleteFile(const QString &path)
{
    QList<QByteArray> paths;
    if (encodePaths(RemoteRequest::Delete, {path}, paths))
        m_session->deleteFile(paths.front());
}

void SftpRemote::rename(const QString &from, const QString &to)
{
    QList<QByteArray> paths;
    if (encodePaths(RemoteRequest::Rename, {from, to}, paths))
        m_session->rename(paths[0], paths[1]);
}

void SftpRemote::changeMode(const QString &path, const QString &mode)
{
    bool ok = false;
    const unsigned bits = mode.toUInt(&ok, 8);
    if (!ok || bits > 07777) {
        m_running = RemoteRequest::Chmod;
        QMetaObject::invokeMethod(
            this,
            [this, mode] {
                complete(RemoteRequest::Chmod, RemoteCode::Refused, QStringLiteral("not a mode: %1").arg(mode));
            },
            Qt::QueuedConnection);
        return;
    }
    QList<QByteArray> paths;
    if (encodePaths(RemoteRequest::Chmod, {path}, paths))
        m_session->chmod(paths.front(), bits);
}

void SftpRemote::queryModifiedTime(const QString &remote)
{
    QList<QByteArray> paths;
    m_modifiedResult = QDateTime();
    if (!encodePaths(RemoteRequest::ModifiedTime, {remote}, paths))
        return;
    m_next = [this](SftpError error, const QString &text) {
        if (error != SftpError::None)
            return complete(RemoteRequest::ModifiedTime, codeOf(error), text);
        const SftpEntry entry = m_session->statResult();
        if (!entry.modified.isValid())
            return complete(RemoteRequest::ModifiedTime, RemoteCode::Refused,
                            QStringLiteral("the server gave no time"));
        m_modifiedResult = entry.modified.toUTC();
        complete(RemoteRequest::ModifiedTime, 0, m_modifiedResult.toString(Qt::ISODate));
    };
    m_session->stat(paths.front());
}

void SftpRemote::setModifiedTime(const QString &remote, const QDateTime &modified)
{
    QList<QByteArray> paths;
    if (encodePaths(RemoteRequest::SetModifiedTime, {remote}, paths))
        m_session->setTimes(paths.front(), modified);
}

void SftpRemote::setTextMode()
{
    m_running = RemoteRequest::TypeSwitch;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_running == RemoteRequest::TypeSwitch)
                complete(RemoteRequest::TypeSwitch, 0);
        },
        Qt::QueuedConnection);
}

void SftpRemote::keepAlive()
{
    m_running = RemoteRequest::KeepAlive;
    m_session->keepAlive();
}

void SftpRemote::abortTransfer()
{
    m_session->abortTransfer();
}

void SftpRemote::closeNow()
{
    m_running.reset();
    m_next = nullptr;
    m_connecting = false;
    m_session->closeNow();
}
