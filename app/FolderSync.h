#pragma once

#include "browser/SyncPlan.h"
#include "queue/QueueItem.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class BrowserController;
class QueueController;
class SessionSupervisor;
class tSetupClass;
class UserInterface;

// Synchronize: makes the target folder tree like the source tree, from the current local
// and remote folders. The local tree is read from the disk; the remote tree is what the
// folder cache holds below the remote folder (listings that are missing or stale can be
// queued from the window, and the preview follows as they arrive). The plan (browser/
// SyncPlan) becomes ordinary queue items: remote folders made, files sent or received,
// remote files and folders deleted; for a download, local folders are made and local
// deletions moved to the trash when the plan is queued.
//
// Nothing is queued that the preview did not show: after the window (a nested event loop)
// the plan is made again and must equal the one shown; deletions need the user's yes to a
// question that names their count.
//
// User-interface thread only.
class FolderSync : public QObject {
    Q_OBJECT
public:
    FolderSync(tSetupClass &setup, UserInterface &ui, BrowserController &browsers, QueueController &queue,
               SessionSupervisor &sessions, QObject *parent = nullptr);

    // Logged in, with a remote folder shown.
    bool available() const;
    // The Synchronize window for lFolder and rFolder; Start queues the plan.
    void synchronize();

    // The plan between the local folder and the remote folder as far as both are known now.
    SyncPlan plan(const QString &localRoot, const QString &remoteRoot, const SyncOptions &options) const;
    // Remote folders below `remoteRoot` that have no fresh listing in the cache.
    QStringList unlistedRemoteFolders(const QString &remoteRoot, int depthLimit) const;
    // Queues a listing of each of them, then of `remoteRoot` again (so that the remote list
    // ends where it was). Deeper folders show up as their parents arrive.
    void listUnlisted(const QString &remoteRoot, int depthLimit);
    // How far the server's listed times run ahead of local ones, found once per connection
    // (app/ServerTimeOffset) from the files listed below `remoteRoot`; 0 until it is known.
    // Asks MDTM on the main session when it is idle, waiting at most the reply timeout.
    std::int64_t serverOffset(const QString &remoteRoot, int depthLimit);
    // Queues the plan; false, after telling the user, when a local change it needed failed.
    bool queuePlan(const QString &localRoot, const QString &remoteRoot, SyncDirection direction, const SyncPlan &plan);

signals:
    // A remote listing arrived: a preview may be out of date.
    void treesChanged();

private:
    bool queueCommand(const QString &verb, const QStringList &fields, const tFolderEntryObject *entry,
                      std::optional<TransferAction> transferAction = std::nullopt);
    void deleteLocal(const QString &localRoot, const SyncPlan &plan);
    SyncOptions initialOptions();

    // The offset of the connection, once found (or once its server gave no answer to ask).
    std::optional<std::int64_t> m_serverOffset;

    tSetupClass &m_setup;
    UserInterface &m_ui;
    BrowserController &m_browsers;
    QueueController &m_queue;
    SessionSupervisor &m_sessions;
};

// What the deletion question says: "Synchronize will delete 3 files and 1 folder on the
// server. Continue?"
QString syncDeleteQuestion(const SyncPlan &plan, SyncDirection direction);
