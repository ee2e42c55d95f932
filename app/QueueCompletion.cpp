// The second half of the queue: what happens when a request of a session ends. Each
// request type has its handler beside the step that follows it; every failure pauses the
// queue and tells the user, transfers stay in the queue for a retry, and nothing is counted
// as done before its bytes are all there.
#include "app/BrowserCommands.h"
#include "app/BrowserController.h"
#include "app/QueueController.h"
#include "app/SessionSupervisor.h"
#include "app/Sound.h"
#include "app/UserInterface.h"
#include "base/Guard.h"
#include "browser/LocalFiles.h"
#include "settings/SettingsCatalogue.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace {

const QString kQueueDisabled = QStringLiteral(
    "\n\nThe queue has been disabled because this error occurred. To enable it again, press the \"start queue\" "
    "button.");

// The folder a path is in (a file) or under (a folder path ending in "/"): the path cut back
// to its last "/" before the final character.
QString folderOf(const QString &path)
{
    QString folder = path.left(path.size() - 1);
    const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : folder.left(slash + 1);
}

// A listed name that may become a path component here: not empty, not "." or "..", no
// separator of either kind, no "*" (the queue's field separator) and no control character.
bool safeName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    return std::none_of(name.begin(), name.end(), [](QChar c) {
        return c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char('*') || c.unicode() < 0x20 ||
               c.unicode() == 0x7F;
    });
}

int depthOf(const QString &folder)
{
    return static_cast<int>(folder.count(QLatin1Char('/'))) - 1;
}

} // namespace

void QueueController::ftpCtrlRequestDone(tkftpclient *session, TFtpRequest request, int error)
{
    if (!session)
        return;
    guarded("rqdone", [&] {
        m_sessions.rescheduleKeepAlive(*session);
        session->SetDisplayFileFlag(false);
        QueueItem *item = session->currentItem;
        // A completion that no longer belongs to the item (it was removed, or another request
        // was started for it since) is ignored.
        if (item && item->requestToken != session->requestToken)
            item = nullptr;
        if (m_disconnecting)
            return;
        if (!item && request != TFtpRequest::rqConnect && session->HostFileName() != QLatin1String("[antitimeout]"))
            return;
        handleDone(*session, item, request, error);
    });
    timer_checkQueue();
}

void QueueController::handleDone(tkftpclient &s, QueueItem *item, TFtpRequest rq, int error)
{
    if (rq == TFtpRequest::rqConnect) {
        guarded("rqcon", [&] { doneConnect(s, error); });
        return;
    }
    if (rq == TFtpRequest::rqQuote && s.HostFileName() == QLatin1String("[antitimeout]"))
        return; // a keep-alive command; the keep-alive was rescheduled above
    if (!item)
        return;
    const std::uint64_t id = item->id();
    if (!handleItemDone(s, *item, rq, error))
        abandon(s, id);
}

void QueueController::abandon(tkftpclient &s, std::uint64_t itemId)
{
    // A handler that failed half-way must not leave its item holding the session.
    QueueItem *item = m_model.itemById(itemId);
    if (!item || s.currentItem != item)
        return;
    if (item->verb() == QueueVerb::GetFile || item->verb() == QueueVerb::PutFile)
        failTransfer(s, *item, QStringLiteral("The transfer could not go on.") + kQueueDisabled);
    else
        failItem(s, *item, QStringLiteral("The queue entry could not go on.") + kQueueDisabled);
}

bool QueueController::handleItemDone(tkftpclient &s, QueueItem &it, TFtpRequest rq, int error)
{
    QueueItem *item = &it;
    // A transfer stopped before its data moved (a folder change, the type, the size query)
    // goes no further: it is released as "Stopped" instead of starting the transfer.
    if (item->stopRequested && (item->verb() == QueueVerb::GetFile || item->verb() == QueueVerb::PutFile) &&
        rq != TFtpRequest::rqReceive && rq != TFtpRequest::rqRestGet && rq != TFtpRequest::rqPut &&
        rq != TFtpRequest::rqRestPut)
        return guarded("rqstp", [&] { failTransfer(s, *item, QString()); });
    switch (rq) {
    case TFtpRequest::rqCwd:
        return guarded("rqcwd", [&] { doneCwd(s, *item, error); });
    case TFtpRequest::rqPwd:
        return guarded("rqpwd", [&] { donePwd(s, *item, error); });
    case TFtpRequest::rqTypeSet:
        return guarded("rqtyp", [&] { doneTypeSet(s, *item, error); });
    case TFtpRequest::rqDir:
        return guarded("rqdir", [&] { doneDir(s, *item, error); });
    case TFtpRequest::rqReceive:
    case TFtpRequest::rqRestGet:
        return guarded("rqrcv", [&] { doneReceive(s, *item, error); });
    case TFtpRequest::rqSize:
        return guarded("rqsiz", [&] { doneSize(s, *item, error); });
    case TFtpRequest::rqPut:
    case TFtpRequest::rqRestPut:
        return guarded("rqput", [&] { donePut(s, *item, error); });
    case TFtpRequest::rqMkd:
    case TFtpRequest::rqRmd:
    case TFtpRequest::rqDele:
    case TFtpRequest::rqRename:
    case TFtpRequest::rqQuote:
        return guarded("rqcmd", [&] { doneCommand(s, *item, rq, error); });
    default:
        reportBug(QStringLiteral("lalkq"), QStringLiteral("Unknown request done!"));
        return false;
    }
}

// --- listings: [CWD ->] PWD -> [TYPE A ->] LIST ----------------------------------------------

void QueueController::doneCwd(tkftpclient &s, QueueItem &item, int error)
{
    if (error != 0) {
        failItem(s, item, QStringLiteral("Unable to change FTP folder!") + kQueueDisabled);
        return;
    }
    expect(item, s, QueueStep::PrintFolder);
    s.StartPwd();
}

void QueueController::donePwd(tkftpclient &s, QueueItem &item, int error)
{
    const Fields f = splitCommand(item.command);
    const bool ignoreError = hasFlag(f, QueueFlag::IgnoreError);
    // A reply without a folder is no folder: relative paths must never be built from it.
    if ((error != 0 || s.DirResult().isEmpty()) && !ignoreError) {
        failItem(s, item, QStringLiteral("Unable to get folder name") + kQueueDisabled);
        return;
    }
    item.folder = normalizeRemotePath(s.DirResult());
    BrowserState &state = m_browsers.state();
    if (item.verb() == QueueVerb::List && state.findCachedFolder(item.folder) && !state.isFolderStale(item.folder)) {
        m_browsers.setRemoteFolder(item.folder);
        m_browsers.refreshRemoteView();
        removeFinished(s, item);
        return;
    }
    if (s.LocalFileName() != listingFile(s)) {
        failItem(s, item, QStringLiteral("Unknown what to do after PWD"));
        return;
    }
    if (item.verb() == QueueVerb::GetFolder || item.verb() == QueueVerb::DeleteFolder) {
        // Folder work must end: a server whose CWD always succeeds, or a link back up the
        // tree, would list the same folder again and again.
        const int limit = static_cast<int>(read(m_setup, Keys::folderDepthLimit));
        if (depthOf(item.folder) > limit) {
            failItem(s, item,
                     QStringLiteral("Folder \"%1\" lies more than %2 levels deep; the folder transfer stops here.")
                             .arg(item.folder)
                             .arg(limit) +
                         kQueueDisabled);
            return;
        }
        const QString asked = normalizeRemotePath(f.value(1));
        if (m_expandedFolders.contains(item.folder) || QString::compare(asked, item.folder, Qt::CaseInsensitive) != 0) {
            failItem(s, item,
                     QStringLiteral("The server showed folder \"%1\" again (asked for \"%2\"); the folder transfer "
                                    "stops here.")
                             .arg(item.folder, asked) +
                         kQueueDisabled);
            return;
        }
        m_expandedFolders.insert(item.folder);
    }
    s.SetHostFileName(read(m_setup, Keys::listHiddenFiles) ? QStringLiteral("-latr") : QString());
    if (s.Binary()) {
        expect(item, s, QueueStep::TypeSwitch);
        s.StartTypeAscii();
        return;
    }
    startDir(s, item);
}

void QueueController::startDir(tkftpclient &s, QueueItem &item)
{
    // A listing starts empty: nothing of an earlier, broken one may join it.
    s.listingBuffer.clear();
    s.SetDisplayFileFlag(true);
    expect(item, s, QueueStep::Listing);
    s.listingIsMlsd = read(m_setup, Keys::useMlsd) && s.ServerHasFeature(QStringLiteral("MLST"));
    if (s.listingIsMlsd) {
        s.SetHostFileName(QString()); // MLSD takes no LIST options
        s.StartMlsdDir();
    } else {
        s.StartDir();
    }
}

void QueueController::doneTypeSet(tkftpclient &s, QueueItem &item, int error)
{
    if (error != 0) {
        failItem(s, item, QStringLiteral("Unable to set transfer type") + kQueueDisabled);
        return;
    }
    switch (item.verb()) {
    case QueueVerb::DeleteFolder:
    case QueueVerb::List:
    case QueueVerb::GetFolder:
        startDir(s, item);
        break;
    case QueueVerb::PutFile:
        if (!item.remoteSizeKnown && read(m_setup, Keys::xferAction) != 0) {
            // Binary first, then the size: servers refuse SIZE in ASCII mode.
            expect(item, s, QueueStep::SizeQuery);
            s.StartSize();
        } else {
            startPut(item, s);
        }
        break;
    case QueueVerb::GetFile:
    case QueueVerb::OpenFile:
    case QueueVerb::EditFile:
        startRetr(s, item);
        break;
    default:
        failItem(s, item, QStringLiteral("Unknown what to do after TypeSetAsync"));
        break;
    }
}

void QueueController::startRetr(tkftpclient &s, QueueItem &item)
{
    item.startTime = QDateTime::currentDateTime();
    expect(item, s, QueueStep::Transfer);
    if (item.transferAction == 1 && resumeMakesSense(s, item))
        s.StartRestGet();
    else
        s.StartReceive();
}

void QueueController::doneDir(tkftpclient &s, QueueItem &item, int error)
{
    const Fields f = splitCommand(item.command);
    // A listing cut by an error reply is not the folder's content: nothing is stored or
    // expanded from it.
    if (error != 0) {
        s.listingBuffer.clear();
        failItem(s, item, QStringLiteral("Unable to list folder \r\r") + f.value(1) + kQueueDisabled);
        return;
    }
    s.lastListing = s.listingBuffer;
    s.listingBuffer.clear();
    QStringList lines = s.lastListing.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the line end of the last line
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    std::vector<tTmbFtpEntry> parsed;
    if (s.listingIsMlsd)
        parseMlsdListing(lines, parsed);
    else
        parseListing(lines, parsed);
    m_browsers.state().storeListing(item.folder, parsed, s.HostName());
    if (item.verb() == QueueVerb::DeleteFolder) {
        if (m_pendingDeleteHost != s.HostName()) {
            m_pendingDelete.clear();
            m_pendingDeleteHost = s.HostName();
        }
        if (!m_pendingDelete.contains(item.folder))
            m_pendingDelete.append(item.folder);
    }
    if (item.verb() == QueueVerb::DeleteFolder || item.verb() == QueueVerb::GetFolder)
        expandListing(s, item, parsed);
    if (item.verb() == QueueVerb::List) {
        m_browsers.setRemoteFolder(item.folder);
        m_browsers.refreshRemoteView();
    }
    const bool deletion = item.verb() == QueueVerb::DeleteFolder;
    removeFinished(s, item);
    if (deletion)
        finishFolderDeletion();
}

void QueueController::expandListing(tkftpclient &s, QueueItem &item, const std::vector<tTmbFtpEntry> &parsed)
{
    Q_UNUSED(s);
    const Fields f = splitCommand(item.command);
    const bool download = item.verb() == QueueVerb::GetFolder;
    const QString remote = f.value(1);
    const QString local = f.value(2);
    QSet<QString> targets;
    const auto skip = [this](const QString &name, const QString &why) {
        m_writeLog(QString(QChar(0xA4)) + QStringLiteral("Skipped \"%1\": %2").arg(name, why));
    };
    for (const tTmbFtpEntry &e : parsed) {
        if (e.isError() || e.status == ListingStatus::Total)
            continue;
        if (e.name == QLatin1String(".") || e.name == QLatin1String(".."))
            continue;
        if (!safeName(e.name)) {
            skip(e.name, QStringLiteral("the name cannot be a file name here"));
            continue;
        }
        tFolderEntryObject entry;
        entry.name = e.name;
        entry.size = e.size;
        entry.isFolder = e.isFolder && !e.isLink;
        entry.attr = e.permissions;
        entry.time = packFileTime(e.modified);
        const QString remotePath = item.folder + e.name;
        if (!download) {
            // A link is removed itself, never entered.
            const bool folder = e.isFolder && !e.isLink;
            queueQuietly((folder ? QStringLiteral("deletefolder*") : QStringLiteral("deletefile*")) + remotePath,
                         folder ? nullptr : &entry);
            continue;
        }
        if (e.isLink) {
            skip(remotePath, QStringLiteral("links are not followed"));
            continue;
        }
        if (e.isSpecial()) {
            skip(remotePath, QStringLiteral("a device, fifo or socket is not a file to download"));
            continue;
        }
        // Two listed names must not land on one local file.
        if (targets.contains(e.name)) {
            skip(remotePath, QStringLiteral("another entry of this folder has the same name"));
            continue;
        }
        targets.insert(e.name);
        const QString localPath = local + QLatin1Char('/') + e.name;
        queueQuietly((entry.isFolder ? QStringLiteral("getfolder*") : QStringLiteral("getfile*")) + remote +
                         QLatin1Char('/') + e.name + QLatin1Char('*') + localPath,
                     &entry);
    }
}

void QueueController::finishFolderDeletion()
{
    for (int row = 0; row < m_model.itemCount(); ++row) {
        const QueueItem *other = m_model.itemAt(row);
        if (other->verb() == QueueVerb::DeleteFolder && !hasFlag(splitCommand(other->command), QueueFlag::FolderEmpty))
            return; // more listings of the tree are to come
    }
    if (m_pendingDelete.isEmpty())
        return;
    QStringList folders = m_pendingDelete;
    m_pendingDelete.clear();
    // Deepest first: a folder always sorts after its parent.
    std::sort(folders.begin(), folders.end());
    for (auto it = folders.crbegin(); it != folders.crend(); ++it)
        queueQuietly(QStringLiteral("deletefolder*") + *it + QStringLiteral("*@folderempty"), nullptr);
    queueQuietly(QStringLiteral("list*") + m_browsers.rFolder(), nullptr);
}

// --- downloads -----------------------------------------------------------------------------

bool QueueController::verifyDownload(tkftpclient &s, QueueItem &item, QString *problem) const
{
    // Text transfers change line ends, so only binary sizes can be checked.
    if (!s.Binary() || !item.entry || item.entry->size <= 0)
        return true;
    const std::int64_t have = localFileSize(s.LocalFileName());
    const std::int64_t want = item.entry->size;
    if (have == want)
        return true;
    *problem = QStringLiteral("partial file, %1 of %2 bytes").arg(have).arg(want);
    return false;
}

void QueueController::doneReceive(tkftpclient &s, QueueItem &item, int error)
{
    const Fields f = splitCommand(item.command);
    const QString name = item.entry ? item.entry->name : f.value(1);
    QString problem;
    if (error != 0 || item.stopRequested) {
        failTransfer(s, item, QStringLiteral("Unable to download file\r\r") + name + kQueueDisabled);
    } else if (!verifyDownload(s, item, &problem)) {
        // The partial file stays for a resume; it is not counted as received.
        failTransfer(s, item,
                     QStringLiteral("Unable to download file\r\r") + name + QStringLiteral(" (") + problem +
                         QLatin1Char(')') + kQueueDisabled);
    } else {
        finishDownload(s, item);
    }
    refreshLocal(f.value(2));
}

void QueueController::finishDownload(tkftpclient &s, QueueItem &item)
{
    write(m_setup, Keys::statFilesReceived, read(m_setup, Keys::statFilesReceived) + 1);
    const QString sound = read(m_setup, Keys::sndOnXferDone);
    if (!read(m_setup, Keys::disableSound) && !sound.isEmpty())
        playSoundFile(sound);
    const QString local = s.LocalFileName();
    emit downloadFinished(item, local);
    if (read(m_setup, Keys::setOriginalFileDate) && item.entry && item.entry->time > 1)
        setLocalFileTimes(local, unpackFileTime(item.entry->time));
    if (item.verb() == QueueVerb::OpenFile) {
        m_ui.openWithDesktop(local);
    } else if (item.verb() == QueueVerb::EditFile) {
        const QString remote = s.HostFileName();
        const std::optional<tFolderEntryObject> entry = item.entry;
        removeFinished(s, item);
        // The editing questions run event loops: the item is gone first.
        m_ui.showMessage(QStringLiteral("Press OK to edit the received file"));
        if (!BrowserCommands::launchEditor(m_setup, m_ui, local)) {
            m_writeLog(QString(QChar(0xA7)) + QStringLiteral("File editing canceled."));
            return;
        }
        if (m_ui.confirm(QStringLiteral("When you are finished editing the file, press the OK button to save the file "
                                        "changes to the FTP server.\r\r\nRemember to save the file in the editor "
                                        "and close it before pressing OK."))) {
            QueueItem *upload =
                addToQueue(QStringLiteral("putFile*") + local + QLatin1Char('*') + remote, entry ? &*entry : nullptr);
            if (upload)
                upload->transferAction = 0;
        } else {
            m_writeLog(QString(QChar(0xA7)) + QStringLiteral("File editing canceled."));
            QFile::remove(local);
        }
        return;
    }
    removeFinished(s, item);
}

// --- uploads: [TYPE I ->] SIZE -> (prompt) -> [TYPE ->] STOR ----------------------------------

void QueueController::doneSize(tkftpclient &s, QueueItem &item, int error)
{
    const Fields f = splitCommand(item.command);
    item.remoteSizeKnown = true;
    item.remoteSize = error == 0 ? s.SizeResult() : -1;
    if (item.remoteSize < 0) {
        // No size from the server: the cached listing of the folder may still know the file,
        // so an existing file is never overwritten unasked.
        const QString remote = s.HostFileName();
        if (const tFolderObject *cached = m_browsers.state().findCachedFolder(folderOf(remote + QLatin1Char('x')))) {
            const QString name = remote.mid(remote.lastIndexOf(QLatin1Char('/')) + 1);
            for (const auto &e : cached->folderEntries) {
                if (e.entry.name == name && !e.entry.isFolder)
                    item.remoteSize = e.entry.size;
            }
        }
    }
    if (item.remoteSize >= 0 &&
        (item.transferAction == 3 || (item.transferAction == 1 && !resumeMakesSense(s, item)))) {
        const std::uint64_t id = item.id();
        {
            PromptGuard prompt(m_promptOpen);
            item.step = QueueStep::OverwritePrompt;
            askOverwrite(item, s);
        }
        if (!stillBound(id, s))
            return;
    }
    if (item.transferAction == 2 && item.remoteSize >= 0) {
        removeFinished(s, item);
        return;
    }
    startPut(item, s);
}

void QueueController::donePut(tkftpclient &s, QueueItem &item, int error)
{
    const Fields f = splitCommand(item.command);
    const QString name = item.entry ? item.entry->name : f.value(1);
    QString remote = f.value(2);
    if (error != 0 || item.stopRequested) {
        failTransfer(s, item, QStringLiteral("Unable to upload file\r\r") + name + kQueueDisabled);
    } else {
        write(m_setup, Keys::statFilesSent, read(m_setup, Keys::statFilesSent) + 1);
        removeFinished(s, item);
    }
    remote.chop(1);
    if (!remote.contains(QLatin1Char('/')))
        remote.prepend(QLatin1Char('/'));
    refreshAfterChange(remote.left(remote.lastIndexOf(QLatin1Char('/')) + 1));
}

// --- single commands -----------------------------------------------------------------------

void QueueController::doneCommand(tkftpclient &s, QueueItem &item, TFtpRequest rq, int error)
{
    const Fields f = splitCommand(item.command);
    const bool ignoreError = hasFlag(f, QueueFlag::IgnoreError);
    const QString path = f.value(1);
    const QString name = item.entry ? item.entry->name : path;
    switch (rq) {
    case TFtpRequest::rqMkd:
        if (error == 0 || ignoreError) {
            removeFinished(s, item);
            refreshAfterChange(folderOf(path));
        } else {
            failItem(s, item, QStringLiteral("Unable to create folder\r\r") + path + kQueueDisabled);
        }
        break;
    case TFtpRequest::rqRmd:
        if (error == 0)
            removeFinished(s, item);
        else
            failItem(s, item, QStringLiteral("Unable to delete folder\r\r") + path + kQueueDisabled);
        break;
    case TFtpRequest::rqDele:
        if (error == 0) {
            removeFinished(s, item);
            refreshAfterChange(folderOf(path));
        } else {
            failItem(s, item, QStringLiteral("Unable to delete file \r\r") + name + kQueueDisabled);
        }
        break;
    case TFtpRequest::rqRename:
        if (error == 0 || ignoreError) {
            removeFinished(s, item);
            refreshAfterChange(folderOf(path));
        } else {
            const QString what = item.verb() == QueueVerb::RenameFile ? QStringLiteral("Unable to rename file \r\r")
                                                                      : QStringLiteral("Unable to rename folder \r\r");
            failItem(s, item, what + path + kQueueDisabled);
        }
        break;
    default: // rqQuote: a permission change
        if (error == 0) {
            removeFinished(s, item);
            refreshAfterChange(folderOf(path));
        } else {
            failItem(s, item, QStringLiteral("Unable to change permission\r\r") + path + kQueueDisabled);
        }
        break;
    }
}

// --- logins --------------------------------------------------------------------------------

void QueueController::doneConnect(tkftpclient &s, int error)
{
    if (error != 0) {
        m_sessions.xferSession->AbortAndWait();
        emit loginFailed(&s, error);
        return;
    }
    s.loggedIn = true;
    if (&s != m_sessions.mainSession) {
        tkftpclient *main = m_sessions.mainSession;
        if (main->IsConnected() && main->currentItem &&
            (main->currentItem->verb() == QueueVerb::GetFile || main->currentItem->verb() == QueueVerb::PutFile))
            m_sessions.exchangeRoles();
        return;
    }
    const QString sound = read(m_setup, Keys::sndOnConnect);
    if (!read(m_setup, Keys::disableSound) && !sound.isEmpty())
        playSoundFile(sound);
    emit mainSessionLoggedIn();
    const tSiteRecord &site = m_sessions.currentSite;
    if (!site.lFolder.isEmpty()) {
        m_browsers.setLocalFolder(site.lFolder.text());
        m_browsers.refreshLocalView();
    }
    addToQueue(QStringLiteral("list*") + site.rFolder.text(), nullptr, true);
}

void QueueController::sessionClosed(tkftpclient *session)
{
    if (session == m_sessions.mainSession) {
        m_pendingDelete.clear();
        m_expandedFolders.clear();
    }
}

// --- shared steps --------------------------------------------------------------------------

bool QueueController::resumeMakesSense(const tkftpclient &s, const QueueItem &item) const
{
    Q_UNUSED(s);
    const Fields f = splitCommand(item.command);
    const QString name = item.entry ? item.entry->name : f.value(1);
    if (isAsciiFile(name))
        return false;
    if (item.verb() == QueueVerb::GetFile) {
        const std::int64_t local = localFileSize(f.value(2));
        return item.entry && local >= 0 && local < item.entry->size;
    }
    if (item.verb() == QueueVerb::PutFile) {
        const std::int64_t local = localFileSize(f.value(1));
        return item.remoteSizeKnown && item.remoteSize >= 0 && item.remoteSize < local;
    }
    return false;
}

void QueueController::removeFinished(tkftpclient &s, QueueItem &item)
{
    s.currentItem = nullptr;
    s.requestToken = 0;
    m_model.removeItem(&item);
}

void QueueController::reportError(tkftpclient &s, const QString &message)
{
    const QString sound = read(m_setup, Keys::sndOnError);
    if (!read(m_setup, Keys::disableSound) && !sound.isEmpty())
        playSoundFile(sound);
    m_ui.showErrorWindow(message, s.recentLines.join(QLatin1Char('\n')));
}

void QueueController::failItem(tkftpclient &s, QueueItem &item, const QString &message)
{
    emit itemFailed(item);
    if (!m_model.isPaused())
        m_model.setPaused(true);
    removeFinished(s, item);
    reportError(s, message);
}

void QueueController::failTransfer(tkftpclient &s, QueueItem &item, const QString &message)
{
    emit itemFailed(item);
    if (!m_model.isPaused())
        m_model.setPaused(true);
    const bool stopped = item.stopRequested;
    s.currentItem = nullptr;
    s.requestToken = 0;
    m_model.releaseItem(&item, stopped ? QStringLiteral("Stopped") : QStringLiteral("Error"));
    if (!stopped)
        reportError(s, message);
}

void QueueController::refreshAfterChange(const QString &folder)
{
    if (!read(m_setup, Keys::autoRefreshFolders))
        return;
    for (int row = 0; row < m_model.itemCount(); ++row) {
        const QueueItem *other = m_model.itemAt(row);
        if (other->verb() == QueueVerb::List && splitCommand(other->command).value(1) == folder)
            return; // a listing of it is queued already
    }
    m_browsers.state().markFolderStale(folder);
    if (folder == m_browsers.rFolder())
        queueQuietly(QStringLiteral("list*") + folder + QStringLiteral("*@refresh"), nullptr);
}

void QueueController::refreshLocal(const QString &localPath)
{
    if (read(m_setup, Keys::autoRefreshFolders) && folderPart(localPath) == m_browsers.lFolder())
        m_browsers.refreshLocalView();
}
