#include "app/FolderSync.h"

#include "app/BrowserController.h"
#include "app/QueueController.h"
#include "app/ServerTimeOffset.h"
#include "app/SessionSupervisor.h"
#include "app/UserInterface.h"
#include "app/tkftpclient.h"
#include "browser/LocalFileOps.h"
#include "browser/SyncTrees.h"
#include "queue/QueueCommand.h"
#include "settings/SettingsCatalogue.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

namespace {

QString counted(int n, const char *one, const char *many)
{
    return QString::number(n) + QLatin1Char(' ') + QString::fromLatin1(n == 1 ? one : many);
}

} // namespace

QString syncDeleteQuestion(const SyncPlan &plan, SyncDirection direction)
{
    QStringList parts;
    if (const int files = plan.count(SyncAction::DeleteFile))
        parts << counted(files, "file", "files");
    if (const int folders = plan.count(SyncAction::DeleteFolder))
        parts << counted(folders, "folder", "folders");
    const QString where =
        direction == SyncDirection::Upload ? QStringLiteral("on the server") : QStringLiteral("on this computer");
    return QStringLiteral("Synchronize will delete %1 %2. Continue?").arg(parts.join(QStringLiteral(" and ")), where);
}

FolderSync::FolderSync(tSetupClass &setup, UserInterface &ui, BrowserController &browsers, QueueController &queue,
                       SessionSupervisor &sessions, QObject *parent)
    : QObject(parent), m_setup(setup), m_ui(ui), m_browsers(browsers), m_queue(queue), m_sessions(sessions)
{
    // Another connection may reach a server in another time zone.
    connect(&m_queue, &QueueController::mainSessionLoggedIn, this, [this] { m_serverOffset.reset(); });
    connect(&m_browsers, &BrowserController::viewRefreshed, this, [this](BrowserController::Side side) {
        if (side == BrowserController::Side::Remote)
            emit treesChanged();
    });
}

bool FolderSync::available() const
{
    return m_sessions.mainSession() && m_sessions.mainSession()->loggedIn && !m_browsers.rFolder().isEmpty();
}

SyncOptions FolderSync::initialOptions()
{
    SyncOptions o;
    // The side the user works on is the source, as Send and Receive go.
    o.direction = m_browsers.localActive() ? SyncDirection::Upload : SyncDirection::Download;
    o.depthLimit = static_cast<int>(read(m_setup, Keys::folderDepthLimit));
    o.serverOffsetSecs = serverOffset(m_browsers.rFolder(), o.depthLimit);
    return o;
}

std::int64_t FolderSync::serverOffset(const QString &remoteRoot, int depthLimit)
{
    if (m_serverOffset)
        return *m_serverOffset;
    tkftpclient *s = m_sessions.mainSession();
    if (!s || !s->loggedIn || s->busy() || !s->idleState())
        return 0;
    const bool machineListings =
        s->attributeListings() || (read(m_setup, Keys::useMlsd) && s->hasFeature(QStringLiteral("MLST")));
    const int waitMs = static_cast<int>(read(m_setup, Keys::replyTimeout) + 5) * 1000;
    // The queue has no job on the idle session and leaves this request's completion alone.
    const SessionRequest request = [&](const std::function<void()> &start) {
        std::optional<int> result;
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        const QMetaObject::Connection c = QObject::connect(&m_sessions, &SessionSupervisor::requestDone, &loop,
                                                           [&](tkftpclient *session, RemoteRequest, int error) {
                                                               if (session == s) {
                                                                   result = error;
                                                                   loop.quit();
                                                               }
                                                           });
        start();
        if (!result) {
            deadline.start(waitMs);
            loop.exec();
        }
        QObject::disconnect(c);
        return result.value_or(-1);
    };
    bool asked = false;
    const std::optional<std::int64_t> offset = probeServerTimeOffset(
        *s, machineListings, remoteSyncTree(m_browsers.state(), remoteRoot, depthLimit), remoteRoot, request, &asked);
    if (offset || asked)
        m_serverOffset = offset.value_or(0);
    return offset.value_or(0);
}

SyncPlan FolderSync::plan(const QString &localRoot, const QString &remoteRoot, const SyncOptions &options) const
{
    const SyncTree local = localSyncTree(localRoot, options.depthLimit);
    const SyncTree remote = remoteSyncTree(m_browsers.state(), remoteRoot, options.depthLimit);
    return options.direction == SyncDirection::Upload ? planSync(local, remote, options)
                                                      : planSync(remote, local, options);
}

QStringList FolderSync::unlistedRemoteFolders(const QString &remoteRoot, int depthLimit) const
{
    const SyncTree remote = remoteSyncTree(m_browsers.state(), remoteRoot, depthLimit);
    if (remote.empty())
        return {QString()};
    return unlistedFolders(remote, depthLimit);
}

void FolderSync::listUnlisted(const QString &remoteRoot, int depthLimit)
{
    if (!available())
        return;
    const QStringList folders = unlistedRemoteFolders(remoteRoot, depthLimit);
    if (folders.isEmpty())
        return;
    for (const QString &folder : folders)
        queueCommand(QStringLiteral("list"), {remoteRoot + folder}, nullptr);
    // Each listing shows its folder; this one brings the list back to where the user was.
    queueCommand(QStringLiteral("list"), {remoteRoot, flagText(QueueFlag::Refresh)}, nullptr);
    m_queue.timer_checkQueue();
}

void FolderSync::synchronize()
{
    if (!available())
        return;
    const QString localRoot = m_browsers.lFolder();
    const QString remoteRoot = m_browsers.rFolder();
    SyncQuestion q;
    q.localFolder = localRoot;
    q.remoteFolder = remoteRoot;
    q.options = initialOptions();
    q.plan = [this, localRoot, remoteRoot](const SyncOptions &o) { return plan(localRoot, remoteRoot, o); };
    const int depth = q.options.depthLimit;
    q.unlisted = [this, remoteRoot, depth] { return unlistedRemoteFolders(remoteRoot, depth); };
    q.listUnlisted = [this, remoteRoot, depth] { listUnlisted(remoteRoot, depth); };
    q.notifier = this;
    if (!m_ui.askSynchronize(q))
        return;
    // The window and the question below run event loops: listings may have come in, files
    // may have changed. What is queued must be what the user saw.
    const auto unchanged = [&] {
        if (available() && plan(localRoot, remoteRoot, q.options) == q.shown)
            return true;
        m_ui.showMessage(QStringLiteral("The folders changed while the Synchronize window was open, so nothing was "
                                        "queued. Open Synchronize again to see the new plan."));
        return false;
    };
    if (q.shown.steps.empty() || !unchanged())
        return;
    if (q.shown.deletions() > 0 && (!m_ui.confirm(syncDeleteQuestion(q.shown, q.options.direction)) || !unchanged()))
        return;
    if (queuePlan(localRoot, remoteRoot, q.options.direction, q.shown))
        m_queue.timer_checkQueue();
}

bool FolderSync::queueCommand(const QString &verb, const QStringList &fields, const tFolderEntryObject *entry,
                              std::optional<TransferAction> transferAction)
{
    QString error;
    const QString command = buildCommand(verb, fields, &error);
    if (command.isEmpty()) {
        m_ui.showMessage(error);
        return false;
    }
    QueueItem *item = m_queue.addToQueue(command, entry, false);
    if (item && transferAction)
        item->transferAction = *transferAction;
    return true;
}

bool FolderSync::queuePlan(const QString &localRoot, const QString &remoteRoot, SyncDirection direction,
                           const SyncPlan &plan)
{
    const bool up = direction == SyncDirection::Upload;
    // The plan's names are all queueable; a folder above them may still hold a "*".
    for (const QString &root : {localRoot, remoteRoot}) {
        if (!fieldIsQueueable(root)) {
            m_ui.showMessage(
                QStringLiteral("The folder\r\r") + root +
                QStringLiteral("\r\rholds a character that a queue entry cannot carry. Nothing was queued."));
            return false;
        }
    }
    // A replacement the preview showed is what the user chose; anything else that turns
    // up at the target meanwhile gets the usual question.
    for (const SyncStep &s : plan.steps) {
        const QString local = localRoot + s.path;
        const QString remote = remoteRoot + s.path;
        switch (s.action) {
        case SyncAction::MakeFolder:
            if (up) {
                queueCommand(QStringLiteral("makefolder"), {remote}, nullptr);
            } else if (!QDir().mkdir(local) && !QFileInfo(local).isDir()) {
                m_ui.showMessage(QStringLiteral("Unable to create folder\r\r") + local +
                                 QStringLiteral("\r\rThe rest of the plan was not queued."));
                return false;
            }
            break;
        case SyncAction::Transfer:
            if (up)
                queueCommand(QStringLiteral("putfile"), {local, remote}, &s.entry,
                             s.replaces ? std::optional(TransferAction::Overwrite) : std::nullopt);
            else
                queueCommand(QStringLiteral("getfile"), {remote, local}, &s.entry,
                             s.replaces ? std::optional(TransferAction::Overwrite) : std::nullopt);
            break;
        case SyncAction::DeleteFile:
            if (up)
                queueCommand(QStringLiteral("deletefile"), {remote}, &s.entry);
            break;
        case SyncAction::DeleteFolder:
            if (up)
                queueCommand(QStringLiteral("deletefolder"), {remote, flagText(QueueFlag::FolderEmpty)}, nullptr);
            break;
        }
    }
    if (up)
        m_browsers.state().markFolderStale(remoteRoot);
    else
        deleteLocal(localRoot, plan);
    m_browsers.refreshLocalView();
    return true;
}

void FolderSync::deleteLocal(const QString &localRoot, const SyncPlan &plan)
{
    // The names deleted here are ones the source lacks, so no download of the plan writes
    // there: the deletions need not wait for the queue. Files go to the trash, where the
    // user can get them back; the folders they leave empty are removed deepest first.
    QStringList failed;
    for (const SyncStep &s : plan.steps) {
        const QString path = localRoot + s.path;
        if (s.action == SyncAction::DeleteFile && !moveToTrash(path))
            failed << path;
        else if (s.action == SyncAction::DeleteFolder && !QDir().rmdir(path))
            failed << path;
    }
    if (!failed.isEmpty())
        m_ui.showMessage(QStringLiteral("These items could not be moved to the trash or removed:\r\n") +
                         failed.join(QStringLiteral("\r\n")));
}
