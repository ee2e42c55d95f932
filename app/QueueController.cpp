#include "app/QueueController.h"

#include "app/BrowserController.h"
#include "app/SessionSupervisor.h"
#include "app/Sound.h"
#include "app/UserInterface.h"
#include "app/jobs/CommandJob.h"
#include "app/jobs/DownloadJob.h"
#include "app/jobs/FolderJob.h"
#include "app/jobs/UploadJob.h"
#include "base/Guard.h"
#include "base/TextUtil.h"
#include "browser/LocalFiles.h"
#include "settings/SettingsCatalogue.h"

#include <QScopeGuard>

#include <algorithm>

namespace {

// Whether a completion of this request type is the one a job waiting at `step` asked
// for; anything else (a late completion of an aborted request) is not its answer.
bool answers(JobStep step, RemoteRequest rq)
{
    switch (step) {
    case JobStep::ChangeFolder:
        return rq == RemoteRequest::ChangeFolder;
    case JobStep::PrintFolder:
        return rq == RemoteRequest::PrintFolder;
    case JobStep::TypeSwitch:
        return rq == RemoteRequest::TypeSwitch;
    case JobStep::SizeQuery:
    case JobStep::SizeCheck:
        return rq == RemoteRequest::Size;
    case JobStep::Listing:
    case JobStep::LinkCheck:
        return rq == RemoteRequest::List;
    case JobStep::Transfer:
        return isTransferRequest(rq);
    case JobStep::FileTime:
        return rq == RemoteRequest::ModifiedTime || rq == RemoteRequest::SetModifiedTime;
    case JobStep::Command:
        return rq == RemoteRequest::MakeFolder || rq == RemoteRequest::RemoveFolder || rq == RemoteRequest::Delete ||
               rq == RemoteRequest::Rename || rq == RemoteRequest::Chmod || rq == RemoteRequest::Quote;
    case JobStep::Starting:
    case JobStep::OverwritePrompt:
    case JobStep::Finished:
        break;
    }
    return false;
}

bool listsForDeletion(const QueueItem &item)
{
    return item.verb() == QueueVerb::DeleteFolder && !item.has(QueueFlag::FolderEmpty);
}

} // namespace

QueueController::QueueController(tSetupClass &setup, UserInterface &ui, BrowserController &browsers,
                                 SessionSupervisor &sessions, LogWriter writeLog, QObject *parent)
    : QObject(parent), m_setup(setup), m_ui(ui), m_browsers(browsers), m_sessions(sessions),
      m_writeLog(std::move(writeLog)), m_model(setup)
{
    connect(&m_model, &QueueModel::itemRemoved, this, &QueueController::onItemRemoved);
    connect(&m_model, &QueueModel::queueEmptied, this, &QueueController::onQueueEmptied);
    // The progress cell follows the bytes of the running transfer.
    connect(&m_sessions, &SessionSupervisor::progress, this, [this](tkftpclient *session, qint64 count, bool *) {
        if (QueueItem *item = session->currentItem())
            m_model.setProgressBytes(item, count + session->ResumeAt);
    });
}

QueueController::~QueueController()
{
    m_terminating = true;
    // Sessions outlive the queue: no session may point at a job once the jobs go.
    for (auto &[session, job] : m_jobs)
        const_cast<tkftpclient *>(session)->m_job = nullptr;
    m_jobs.clear();
}

QueueItem *QueueController::addToQueue(const QString &command, const tFolderEntryObject *entry, bool atFront)
{
    const ParsedQueueCommand parsed = parseQueueCommand(command, entry);
    if (!parsed.ok()) {
        m_ui.showMessage(parsed.error);
        return nullptr;
    }
    if (parsed.verb == QueueVerb::List) {
        const QString folder = parsed.normalizedFolder();
        BrowserState &state = m_browsers.state();
        const bool refresh = parsed.has(QueueFlag::Refresh);
        if (!folder.isEmpty() && !refresh && state.findCachedFolder(folder) && !state.isFolderStale(folder)) {
            m_browsers.setRemoteFolder(folder);
            m_browsers.refreshRemoteView();
            return nullptr;
        }
        if (refresh)
            state.markFolderStale(folder);
    }
    const QueueModel::AddResult added = m_model.addParsed(command, parsed, entry, atFront);
    if (!added.message.isEmpty())
        m_ui.showMessage(added.message);
    return added.item;
}

QueueItem *QueueController::queueQuietly(const QString &command, const tFolderEntryObject *entry,
                                         std::uint64_t expansionId)
{
    const QueueModel::AddResult added = m_model.addToQueue(command, entry, false);
    if (!added.item) {
        m_writeLog(QString(QChar(0xA4)) + added.message);
        return nullptr;
    }
    const auto found = m_expansions.find(expansionId);
    if (expansionId != 0 && found != m_expansions.end()) {
        added.item->expansionId = expansionId;
        ++found->second.items;
        if (listsForDeletion(*added.item))
            ++found->second.deleteListings;
    }
    return added.item;
}

FolderExpansion &QueueController::expansionOf(QueueItem &item)
{
    const auto found = m_expansions.find(item.expansionId);
    if (item.expansionId != 0 && found != m_expansions.end())
        return found->second;
    // The item starts an expansion of its own (the user's folder, or one from a saved queue).
    item.expansionId = ++m_lastExpansion;
    FolderExpansion &expansion = m_expansions[item.expansionId];
    expansion.items = 1;
    expansion.deleteListings = listsForDeletion(item) ? 1 : 0;
    return expansion;
}

void QueueController::toggleQueue()
{
    m_model.setPaused(!m_model.isPaused());
}

void QueueController::timer_checkQueue()
{
    // An item that ends without a request (a skip, a stop mark) lets the next one start in
    // the same run: a loop, so that skipping thousands of existing files never deepens the
    // stack.
    // Every further run starts or ends an item, so the queue's length bounds the loop.
    for (int runs = m_model.itemCount() + Keys::kMaxSimultaneousTransfers; runs > 0; --runs) {
        RunResult result = RunResult::Done;
        guarded("ioioass", [&] { result = pumpOnce(); });
        if (result != RunResult::RunAgain)
            return;
    }
}

namespace {

QString asFolder(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

// Whether path lies in one of the folders (each ending in "/").
bool insideAny(const QStringList &folders, const QString &path)
{
    return std::any_of(folders.cbegin(), folders.cend(), [&](const QString &f) { return path.startsWith(f); });
}

// The remote path a transfer writes or reads, and the local one.
QString remotePathOf(const QueueItem &item)
{
    return item.verb() == QueueVerb::PutFile ? item.field(2) : item.field(1);
}
QString localPathOf(const QueueItem &item)
{
    return item.verb() == QueueVerb::PutFile ? item.field(1) : item.field(2);
}

} // namespace

QueueController::Pick QueueController::pickNext()
{
    // The queue is walked in order. A non-transfer item starts only as the first waiting
    // one, on the main session (a folder to make on any idle session, once the folders
    // above it are made). A transfer may start beside the transfers before it, but
    // never before a folder it goes into is made, never on a file another unfinished
    // transfer before it uses, and never past a waiting listing, deletion, rename, folder
    // upload or stop mark.
    Pick pick;
    const std::vector<tkftpclient *> pool = m_sessions.transferSessions();
    tkftpclient *idle = nullptr;
    // Extras work only beside a logged-in main session (a lost connection stops them too).
    const tkftpclient *main = m_sessions.mainSession();
    const bool extrasOk = main->connectedNow() && main->loggedIn;
    for (tkftpclient *s : pool) {
        // The main session last: with RavuzAro off it is also the one for browsing.
        if (usable(*s) && (extrasOk || !m_sessions.isExtra(s)) && (!idle || idle == main))
            idle = s;
    }
    const bool paused = m_model.isPaused();
    QStringList folders; // folders still to be made, ending in "/"
    QSet<QString> busyPaths;
    int demand = 0;
    bool seenWaiting = false;
    for (int row = 0; row < m_model.itemCount(); ++row) {
        QueueItem *item = m_model.itemAt(row);
        if (!item->isTransfer()) {
            const QueueVerb verb = item->verb();
            // A folder is made only once every folder above it that is still queued is made.
            bool insideUnmade = false;
            if (verb == QueueVerb::MakeFolder) {
                const QString folder = asFolder(item->field(1));
                insideUnmade = insideAny(folders, folder);
                folders.append(folder);
            }
            if (item->running())
                continue;
            if (!seenWaiting) {
                seenWaiting = true;
                tkftpclient *session = sessionFor(*item);
                // Making a folder needs no particular session: while its own is busy, any idle
                // one of the pool makes it, so the transfers waiting for it can start.
                if (verb == QueueVerb::MakeFolder && (!session || !usable(*session)))
                    session = idle;
                if (!m_promptOpen && (!paused || verb == QueueVerb::List) && !insideUnmade && session &&
                    usable(*session)) {
                    pick = {item, session};
                    break;
                }
            }
            // Transfers may pass a folder still to be made (not going into it) and a folder
            // download still to be listed (its files come after it); anything else waits.
            if (verb != QueueVerb::MakeFolder && verb != QueueVerb::GetFolder)
                break;
            continue;
        }
        const QString remote = remotePathOf(*item);
        const QString local = localPathOf(*item);
        bool blocked = busyPaths.contains(QLatin1Char('r') + remote) || busyPaths.contains(QLatin1Char('l') + local);
        busyPaths.insert(QLatin1Char('r') + remote);
        busyPaths.insert(QLatin1Char('l') + local);
        if (item->running()) {
            ++demand;
            continue;
        }
        seenWaiting = true;
        if (paused)
            break;
        // While the overwrite question shows, only items that cannot ask it start.
        blocked = blocked || (m_promptOpen && item->transferAction == TransferAction::Ask);
        if (blocked)
            continue;
        ++demand;
        // A file for a folder still being made waits for it, but counts as work already, so
        // the pool's sessions log in meanwhile.
        if (item->verb() == QueueVerb::PutFile && insideAny(folders, remote))
            continue;
        if (!pick.item && idle)
            pick = {item, idle};
        if (demand >= static_cast<int>(pool.size()) && (pick.item || !idle))
            break;
    }
    m_sessions.setTransferDemand(demand);
    return pick;
}

QueueController::RunResult QueueController::pumpOnce()
{
    Pick pick;
    if (!guarded("nqnas", [&] { pick = pickNext(); }) || !pick.item)
        return RunResult::Done;
    QueueItem *item = pick.item;
    tkftpclient *session = pick.session;
    if (runWithoutRequest(*item))
        return RunResult::RunAgain;
    std::shared_ptr<QueueJob> job;
    if (!guarded("jlkslkjdlk", [&] {
            job = makeJob(*item, *session);
            bindJob(*item, *session, job);
        }))
        return RunResult::Done;
    if (!guarded("qnnalas", [&] { job->start(); }) && !job->finished()) {
        // A start operation refused to run: the item fails instead of blocking its session.
        finish(*job, job->abandonOutcome(), job->abandonOutcome().text);
    }
    // Another idle session may take the next item in this run.
    return RunResult::RunAgain;
}

void QueueController::bindJob(QueueItem &item, tkftpclient &session, const std::shared_ptr<QueueJob> &job)
{
    m_jobs[&session] = job;
    session.m_job = job.get();
    session.lastByteCount = 0;
    session.ResumeAt = 0;
    session.idleSince = QDateTime();
    m_model.startItem(&item);
}

std::shared_ptr<QueueJob> QueueController::makeJob(QueueItem &item, tkftpclient &session)
{
    switch (item.verb()) {
    case QueueVerb::List:
        return std::make_shared<ListingJob>(*this, item, session);
    case QueueVerb::GetFolder:
        return std::make_shared<FolderJob>(*this, item, session);
    case QueueVerb::DeleteFolder:
        if (!item.has(QueueFlag::FolderEmpty))
            return std::make_shared<FolderJob>(*this, item, session);
        return std::make_shared<CommandJob>(*this, item, session);
    case QueueVerb::GetFile:
    case QueueVerb::OpenFile:
    case QueueVerb::EditFile:
        return std::make_shared<DownloadJob>(*this, item, session);
    case QueueVerb::PutFile:
        return std::make_shared<UploadJob>(*this, item, session);
    default:
        return std::make_shared<CommandJob>(*this, item, session);
    }
}

bool QueueController::runWithoutRequest(QueueItem &item)
{
    switch (item.verb()) {
    case QueueVerb::PutFolder:
        guarded("qnnalas", [&] { expandPutFolder(item); });
        return true;
    case QueueVerb::StopQueue:
        finishWaiting(item, QueueOutcome::done(), QString());
        if (!m_model.isPaused())
            m_model.setPaused(true);
        return true;
    case QueueVerb::Unknown: {
        // An unknown verb would hold its session for ever: it leaves the queue failed. Its
        // message was shown when it was queued.
        finishWaiting(item, QueueOutcome::failed(0, unknownQueueEntryMessage(item.command())), QString());
        return true;
    }
    default:
        return false;
    }
}

void QueueController::finishWaiting(QueueItem &item, const QueueOutcome &outcome, const QString &message)
{
    emit itemFinished(item.id(), outcome);
    m_model.removeItem(&item);
    if (!message.isEmpty())
        m_ui.showMessage(message);
}

tkftpclient *QueueController::sessionFor(const QueueItem &item) const
{
    if (m_sessions.ravuzAro() && item.isTransfer())
        return m_sessions.xferSession();
    return m_sessions.mainSession();
}

bool QueueController::usable(const tkftpclient &session)
{
    // Exactly ready: an engine in its internal-ready state is between two steps of a request.
    return !session.busy() && session.readyForRequest() && session.loggedIn;
}

void QueueController::expandPutFolder(QueueItem &item)
{
    QString localFolder = item.field(1);
    const QString remoteFolder = item.field(2);
    emit waitTextChanged(QStringLiteral("Preparing to send folder ..."));
    queueQuietly(QStringLiteral("makefolder*") + remoteFolder + QStringLiteral("*@ignoreerror"), nullptr);
    if (!localFolder.endsWith(QLatin1Char('/')))
        localFolder += QLatin1Char('/');
    tLocalEntryList scanned;
    std::vector<SkippedLocalEntry> skipped;
    scanUploadTree(localFolder, scanned, skipped);
    // Every folder is queued before the files: the scan gives a folder before what is in
    // it, so parents still come before their children, and the files then go up on all the
    // pool's sessions at once instead of waiting at each folder for its making.
    // The scan gives full paths; the part after the folder begins with "/" for the remote
    // side.
    const auto targetOf = [&](const auto &found) -> QString {
        return remoteFolder + found.name.mid(localFolder.size() - 1);
    };
    for (const auto &found : scanned) {
        if (found.entry.isFolder)
            queueQuietly(QStringLiteral("makefolder*") + targetOf(found) + QStringLiteral("*@ignoreerror"), nullptr);
    }
    for (const auto &found : scanned) {
        if (!found.entry.isFolder)
            queueQuietly(QStringLiteral("putfile*") + found.name + QLatin1Char('*') + targetOf(found), &found.entry);
    }
    emit waitEnded();
    QStringList lines;
    for (const SkippedLocalEntry &s : skipped) {
        reportSkipped(s.path, s.reason);
        lines << escapeControls(s.path) + QStringLiteral(": ") + s.reason;
    }
    finishWaiting(item, QueueOutcome::done(), QString());
    showSkipped(localFolder, lines);
}

void QueueController::reportSkipped(const QString &path, const QString &reason)
{
    ++m_skippedCount;
    m_writeLog(QString(QChar(0xA4)) + QStringLiteral("Skipped \"%1\": %2").arg(escapeControls(path), reason));
    emit entrySkipped(path, reason);
}

void QueueController::showSkipped(const QString &where, const QStringList &lines)
{
    if (lines.isEmpty() || !m_showsSkipped)
        return;
    // A long list stays in the log; the message names the first entries.
    constexpr qsizetype shown = 20;
    QString text = QStringLiteral("%1 entries of %2 were left out:\r\r").arg(lines.size()).arg(escapeControls(where)) +
                   lines.mid(0, shown).join(QStringLiteral("\r"));
    if (lines.size() > shown)
        text += QStringLiteral("\r... and %1 more (see the log)").arg(lines.size() - shown);
    m_ui.showMessage(text);
}

bool QueueController::askOverwrite(QueueJob &job, std::int64_t localSize, std::int64_t remoteSize, bool resumePossible,
                                   const QDateTime &localModified, const QDateTime &remoteModified)
{
    OverwriteQuestion question = overwriteQuestion(job.item(), localSize, remoteSize, localModified, remoteModified);
    if (question.resumeEnabled && !resumePossible) {
        question.resumeEnabled = false; // a text transfer cannot continue at a byte offset
        question.defaultChoice = OverwriteChoice::Skip;
    }
    question.autoClose = read(m_setup, Keys::autoCloseXferActionPrompt);
    question.countdownStart = OverwriteQuestion::countdownFor(read(m_setup, Keys::autoCloseXferActionPromptSecs));
    const std::uint64_t id = job.itemId();
    if (m_promptOpen) {
        // Another session's question is showing: one at a time. This item waits again and
        // is started once that question is answered.
        job.m_step = JobStep::Finished;
        tkftpclient &session = job.owner();
        if (session.m_job == &job)
            session.m_job = nullptr;
        if (const auto found = m_jobs.find(&session); found != m_jobs.end() && found->second.get() == &job) {
            const std::shared_ptr<QueueJob> hold = std::move(found->second);
            m_jobs.erase(found);
            m_model.releaseItem(&job.item(), QStringLiteral("Queued"));
        }
        return false;
    }
    OverwriteAnswer answer;
    {
        // Holds the prompt-open flag for the time the prompt shows; cleared on every way out.
        m_promptOpen = true;
        const auto clear = qScopeGuard([this] { m_promptOpen = false; });
        answer = m_ui.askOverwrite(question);
    }
    // The item may have left the queue while the prompt was open.
    QueueItem *still = m_model.itemById(id);
    if (!still)
        return false;
    const auto action = static_cast<TransferAction>(static_cast<int>(answer.choice));
    still->transferAction = action;
    if (answer.applyToAll)
        m_model.setTransferActionForAll(action);
    return still == &job.item() && job.owner().job() == &job && job.owner().connectedNow();
}

bool QueueController::isAsciiFile(const QString &fileName) const
{
    switch (read(m_setup, Keys::transferMode)) {
    case 2:
        return true;
    case 1:
        return false;
    default:
        break;
    }
    const QString name = fileName.toLower();
    return std::any_of(m_asciiMasks.begin(), m_asciiMasks.end(),
                       [&name](const QString &mask) { return wildcardMatch(name, mask.toLower()); });
}

bool QueueController::typeIsRight(const RemoteSession &session, const QString &fileName) const
{
    return !session.hasTextMode() || session.binaryMode() != isAsciiFile(fileName);
}

void QueueController::toggleType(RemoteSession &session)
{
    session.setTextMode(session.binaryMode());
}

// --- completions ---------------------------------------------------------------------------

void QueueController::ftpCtrlRequestDone(tkftpclient *session, RemoteRequest request, int error)
{
    if (!session)
        return;
    guarded("rqdone", [&] {
        m_sessions.rescheduleKeepAlive(*session);
        session->SetDisplayFileFlag(false);
        if (m_disconnecting)
            return;
        if (request == RemoteRequest::Connect) {
            guarded("rqcon", [&] { completeLogin(*session, error); });
            return;
        }
        const auto found = m_jobs.find(session);
        if (found == m_jobs.end())
            return; // a keep-alive, or a completion for an item that was removed
        // Held here: the job may finish, and leave m_jobs, inside its own handler.
        const std::shared_ptr<QueueJob> job = found->second;
        if (!answers(job->step(), request))
            return;
        QueueItem &item = job->item();
        // A transfer stopped before its data moved (the type, the size query) goes no
        // further: it ends "Stopped" instead of starting the transfer. One whose bytes are
        // all there (only its file time was asked or set) is done.
        if (item.stopRequested && item.isTransfer() && job->step() != JobStep::Transfer &&
            job->step() != JobStep::FileTime) {
            finish(*job, QueueOutcome::stopped(), QString());
            return;
        }
        if (!guarded("rqjob", [&] { job->requestDone(request, error); }) && !job->finished()) {
            // A handler that failed half-way must not leave its item holding the session.
            const QueueOutcome outcome = job->abandonOutcome();
            finish(*job, outcome, outcome.text);
        }
    });
    timer_checkQueue();
}

void QueueController::listingReceived(tkftpclient *session, const QString &text)
{
    const auto found = m_jobs.find(session);
    if (found != m_jobs.end() &&
        (found->second->step() == JobStep::Listing || found->second->step() == JobStep::LinkCheck))
        found->second->listingData(text);
}

void QueueController::finish(QueueJob &job, const QueueOutcome &outcome, const QString &message)
{
    if (job.m_step == JobStep::Finished)
        return;
    const JobStep lastStep = job.m_step;
    job.m_step = JobStep::Finished;
    QueueItem &item = job.item();
    tkftpclient &session = job.owner();
    if (session.m_job == &job)
        session.m_job = nullptr;
    std::shared_ptr<QueueJob> hold;
    if (const auto found = m_jobs.find(&session); found != m_jobs.end() && found->second.get() == &job) {
        hold = std::move(found->second);
        m_jobs.erase(found);
    }
    using Kind = QueueOutcome::Kind;
    const bool failed = outcome.kind == Kind::Failed;
    // Transfers stay for a retry (their partial files are kept); other work that failed
    // leaves the queue.
    const bool stays =
        outcome.kind == Kind::Stopped || outcome.kind == Kind::Interrupted ||
        (failed && (item.isTransfer() || lastStep == JobStep::Transfer || lastStep == JobStep::SizeCheck));
    if (failed && item.expansionId != 0) {
        if (const auto found = m_expansions.find(item.expansionId); found != m_expansions.end())
            found->second.failed = true;
    }
    emit itemFinished(job.itemId(), outcome);
    if ((failed || outcome.kind == Kind::Stopped) && !m_model.isPaused())
        m_model.setPaused(true);
    if (stays) {
        const QString status = outcome.kind == Kind::Interrupted ? QStringLiteral("Queued")
                               : outcome.kind == Kind::Stopped   ? QStringLiteral("Stopped")
                                                                 : QStringLiteral("Error");
        m_model.releaseItem(&item, status);
    } else {
        m_model.removeItem(&item);
    }
    if (failed && !message.isEmpty())
        reportError(message, session.recentLines);
}

void QueueController::interrupt(tkftpclient &session, int code, const QString &text)
{
    const auto found = m_jobs.find(&session);
    if (found == m_jobs.end())
        return;
    const std::shared_ptr<QueueJob> job = found->second;
    if (job->endAfterLoss())
        return;
    QueueItem &item = job->item();
    // A transfer that was under way continues its own partial file when it runs again: a
    // download the local one, an upload the one on the server.
    const bool download = item.verb() == QueueVerb::GetFile;
    if ((download || item.verb() == QueueVerb::PutFile) && job->step() == JobStep::Transfer) {
        // Bytes gone into a pipe or a device, or read from one, cannot be taken back, nor
        // continued from: a second run would write the start again behind them, or send the
        // rest of the stream as the whole file.
        const QString local = item.field(download ? 2 : 1);
        if (session.ByteCount > 0 && !keepsLength(local)) {
            const QueueOutcome failed = QueueOutcome::failed(
                code, text + (download ? QStringLiteral(" The download into ") : QStringLiteral(" The upload from ")) +
                          local + QStringLiteral(" cannot be continued."));
            finish(*job, failed, failed.text);
            return;
        }
        item.resumesOwnPartial = true;
    }
    finish(*job, QueueOutcome::interrupted(code, text), QString());
}

void QueueController::reportError(const QString &message, const QStringList &recentLines)
{
    const QString sound = read(m_setup, Keys::sndOnError);
    if (!read(m_setup, Keys::disableSound) && !sound.isEmpty())
        playSoundFile(sound);
    m_ui.showErrorWindow(message, recentLines.join(QLatin1Char('\n')));
}

void QueueController::refreshAfterChange(const QString &folder)
{
    if (!read(m_setup, Keys::autoRefreshFolders))
        return;
    for (int row = 0; row < m_model.itemCount(); ++row) {
        const QueueItem *other = m_model.itemAt(row);
        if (other->verb() == QueueVerb::List && other->field(1) == folder)
            return; // a listing of it is queued already
    }
    m_browsers.state().markFolderStale(folder);
    if (folder == m_browsers.rFolder())
        queueQuietly(QStringLiteral("list*") + folder + QStringLiteral("*@refresh"), nullptr);
}

bool QueueController::remotePathKnownFree(const QString &path) const
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (!path.startsWith(QLatin1Char('/')) || slash == path.size() - 1)
        return false;
    if (m_remotePathsWritten.contains(path.toCaseFolded()))
        return false;
    const QString folder = normalizeRemotePath(path.left(slash + 1));
    if (m_remoteFoldersMade.contains(folder))
        return true;
    const tFolderObject *cached = m_browsers.state().findCachedFolder(folder);
    if (!cached || cached->needsRefresh)
        return false;
    const QStringView name = QStringView(path).mid(slash + 1);
    return std::none_of(cached->folderEntries.begin(), cached->folderEntries.end(),
                        [&](const auto &e) { return name.compare(e.entry.name, Qt::CaseInsensitive) == 0; });
}

void QueueController::noteRemoteFolderMade(const QString &folder)
{
    if (folder.startsWith(QLatin1Char('/')))
        m_remoteFoldersMade.insert(normalizeRemotePath(folder));
}

void QueueController::noteRemotePathWritten(const QString &path)
{
    m_remotePathsWritten.insert(path.toCaseFolded());
}

void QueueController::refreshLocal(const QString &localPath)
{
    if (read(m_setup, Keys::autoRefreshFolders) && folderPart(localPath) == m_browsers.lFolder())
        m_browsers.refreshLocalView();
}

// --- logins --------------------------------------------------------------------------------

void QueueController::completeLogin(tkftpclient &s, int error)
{
    if (m_sessions.isExtra(&s)) {
        // An extra pool session: a refusal only makes the pool smaller, quietly.
        if (error != 0)
            m_sessions.extraRefused(s, error);
        else
            s.loggedIn = true;
        return;
    }
    if (error != 0) {
        m_sessions.xferSession()->closeNow();
        emit loginFailed(&s, error);
        return;
    }
    s.loggedIn = true;
    if (&s != m_sessions.mainSession()) {
        tkftpclient *main = m_sessions.mainSession();
        const QueueItem *running = main->currentItem();
        if (main->connectedNow() && running && running->isTransfer())
            m_sessions.exchangeRoles();
        return;
    }
    const QString sound = read(m_setup, Keys::sndOnConnect);
    if (!read(m_setup, Keys::disableSound) && !sound.isEmpty())
        playSoundFile(sound);
    // What the last connection knew of the server's folders may have changed meanwhile.
    m_remoteFoldersMade.clear();
    m_remotePathsWritten.clear();
    emit mainSessionLoggedIn();
    const tSiteRecord &site = m_sessions.currentSite();
    if (!site.lFolder.isEmpty()) {
        m_browsers.setLocalFolder(site.lFolder.text());
        m_browsers.refreshLocalView();
    }
    if (m_listsAtLogin)
        addToQueue(QStringLiteral("list*") + site.rFolder.text(), nullptr, true);
}

// --- removal -------------------------------------------------------------------------------

void QueueController::onItemRemoved(QueueItem *item)
{
    if (m_terminating)
        return;
    guarded("qrmhk", [&] {
        // Removed while running (the user deleted it): the session lets go of it and its data
        // connection ends a running transfer; the engine's later completion finds no job.
        for (auto found = m_jobs.begin(); found != m_jobs.end(); ++found) {
            if (&found->second->item() != item)
                continue;
            const std::shared_ptr<QueueJob> job = found->second;
            tkftpclient &session = job->owner();
            job->m_step = JobStep::Finished;
            session.m_job = nullptr;
            m_jobs.erase(found);
            session.abortTransfer();
            emit itemFinished(item->id(), QueueOutcome::stopped());
            break;
        }
        if (item->expansionId == 0)
            return;
        const auto found = m_expansions.find(item->expansionId);
        if (found == m_expansions.end())
            return;
        FolderExpansion &expansion = found->second;
        --expansion.items;
        if (listsForDeletion(*item) && --expansion.deleteListings == 0 && !expansion.failed &&
            !expansion.pendingDelete.isEmpty()) {
            // Every folder of the tree has been listed and emptied: remove them, deepest
            // first (a folder always sorts after its parent), then show the change.
            QStringList folders = std::exchange(expansion.pendingDelete, {});
            std::sort(folders.begin(), folders.end());
            for (auto it = folders.crbegin(); it != folders.crend(); ++it)
                queueQuietly(QStringLiteral("deletefolder*") + *it + QStringLiteral("*@folderempty"), nullptr);
            queueQuietly(QStringLiteral("list*") + m_browsers.rFolder(), nullptr);
        }
        if (expansion.items <= 0)
            m_expansions.erase(found);
    });
}

void QueueController::onQueueEmptied()
{
    if (m_terminating || m_sessions.isFullyDisconnected())
        return;
    // Runs after the handler that emptied the queue has returned, never inside it.
    switch (m_model.whenXferDone()) {
    case QueueModel::WhenEmpty::Disconnect:
        QMetaObject::invokeMethod(this, &QueueController::disconnectRequested, Qt::QueuedConnection);
        break;
    case QueueModel::WhenEmpty::CloseApplication:
        QMetaObject::invokeMethod(this, &QueueController::closeRequested, Qt::QueuedConnection);
        break;
    case QueueModel::WhenEmpty::DoNothing:
        break;
    }
}
