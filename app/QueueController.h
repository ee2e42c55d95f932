#pragma once

#include "app/jobs/QueueJob.h"
#include "queue/QueueModel.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

class BrowserController;
class SessionSupervisor;
class tkftpclient;
class tSetupClass;
class UserInterface;

// One folder download or deletion, from the item the user queued to the last item it
// made: the folders it has listed (a server that shows a folder twice, or a link back up
// the tree, ends it), and for a deletion the folders to remove once they are empty. It
// lives while any of its items is in the queue, so the same folder can be fetched or
// deleted again later.
struct FolderExpansion {
    QSet<QString> listed;
    QStringList pendingDelete;
    // Items of it still queued, and those of them that list a folder for deletion.
    int items = 0;
    int deleteListings = 0;
    // An item of it failed: the folders it would remove last are left alone.
    bool failed = false;
};

// The queue's running half: addToQueue with its cached-folder shortcut, the pump
// timer_checkQueue that gives the first waiting item a job on a usable session, the
// transfer type choice with the ASCII masks, the queue's running/paused state, and the
// one end of every item, finish(), which emits itemFinished.
//
// An item's road: addToQueue parses the command once and the model keeps the fields;
// the pump makes a job (app/jobs) that owns the item's running state; the sessions'
// requestDone reaches the job that waits on that session; the job ends through finish().
//
// User-interface thread only. A job may run a modal prompt (the overwrite question);
// while one is open every further pump run does nothing, and after it returns the job
// goes on only if its item is still queued and bound to the same connected session.
class QueueController : public QObject {
    Q_OBJECT
public:
    using LogWriter = std::function<void(const QString &line)>;

    QueueController(tSetupClass &setup, UserInterface &ui, BrowserController &browsers, SessionSupervisor &sessions,
                    LogWriter writeLog, QObject *parent = nullptr);
    ~QueueController() override;

    QueueModel &model() { return m_model; }
    const QueueModel &model() const { return m_model; }

    // Creates a queue item (see QueueModel::addToQueue). A "list" of a cached folder that
    // is not stale and has no "@refresh" shows the cached entries at once and queues
    // nothing (null is returned). A refused command shows why and queues nothing.
    QueueItem *addToQueue(const QString &command, const tFolderEntryObject *entry = nullptr, bool atFront = false);

    // One pump run (every 500 ms from the master tick, and after completions and commands
    // that add work). Starts at most one item; skipped items do not count.
    void timer_checkQueue();
    // The pause button: running <-> paused.
    void toggleQueue();
    bool promptOpen() const { return m_promptOpen; }

    // The ASCII masks of the "Auto" transfer mode, tried in order.
    const QStringList &asciiMasks() const { return m_asciiMasks; }
    void setAsciiMasks(const QStringList &masks) { m_asciiMasks = masks; }
    // Whether a file of this name is transferred as text (the transfer mode, or the masks).
    bool isAsciiFile(const QString &fileName) const;
    // Whether the session's current transfer type suits a file of this name.
    bool typeIsRight(const RemoteSession &session, const QString &fileName) const;
    // Switches to text or binary transfers, whichever the session is not in.
    void toggleType(RemoteSession &session);

    // In debug mode every job's step change is written to the log.
    void setTraceSteps(bool on) { m_traceSteps = on; }
    bool traceSteps() const { return m_traceSteps; }

    // Whether a login of the main session lists the site's remote folder (on by default;
    // the command line lists only what its verb needs).
    void setListsAtLogin(bool on) { m_listsAtLogin = on; }

    // While a receiver is set, the listings of `list` items go to it as they arrive, in
    // blocks of whole lines, instead of into the remote folder cache: the command line's
    // `ls` prints a folder without holding it. `machine`: MLSD where the server offers it
    // (and the setting allows), else LIST.
    struct ListingStream {
        std::function<void(const QString &lines)> receive;
        bool machine = false;
    };
    void setListingStream(ListingStream stream) { m_listingStream = std::move(stream); }
    const ListingStream &listingStream() const { return m_listingStream; }

    // While the program shuts down, items leaving the queue run no removal hook.
    void setTerminating(bool on) { m_terminating = on; }

    // The completion of every request of both sessions: the session's job judges it, a
    // login is completed here; then the pump runs.
    void ftpCtrlRequestDone(tkftpclient *session, RemoteRequest request, int error);
    // Listing bytes a session received, for the job whose listing it is.
    void listingReceived(tkftpclient *session, const QString &text);
    // Set by Disconnect, cleared when a connection starts: completions are then ignored.
    void setDisconnecting(bool on) { m_disconnecting = on; }
    // A session's connection ended: its running item ends Interrupted and waits again, a
    // transfer under way continuing its own partial file (local or remote) without asking.
    void interrupt(tkftpclient &session, int code, const QString &text);

    // --- used by the jobs -------------------------------------------------------------
    tSetupClass &setup() { return m_setup; }
    UserInterface &ui() { return m_ui; }
    BrowserController &browsers() { return m_browsers; }
    SessionSupervisor &sessions() { return m_sessions; }
    void writeLog(const QString &line) { m_writeLog(line); }
    // An entry a folder transfer leaves out: written to the log (control characters
    // escaped), counted and announced with entrySkipped. showSkipped then tells the user
    // once about a batch of them (the window's message; off for the command line, which
    // prints each entry itself).
    void reportSkipped(const QString &path, const QString &reason);
    void showSkipped(const QString &where, const QStringList &lines);
    void setShowsSkippedInWindow(bool on) { m_showsSkipped = on; }
    // Entries left out since the controller started.
    int skippedCount() const { return m_skippedCount; }
    // Queues a command made by the running work (an expansion, a refresh) at the end; a
    // refused one is written to the log.
    QueueItem *queueQuietly(const QString &command, const tFolderEntryObject *entry, std::uint64_t expansionId = 0);
    // The expansion an item belongs to; one is made for an item that starts one.
    FolderExpansion &expansionOf(QueueItem &item);
    // The overwrite question for a job's item; its answer lands in the item's
    // transferAction. False when the item is gone or unbound afterwards.
    bool askOverwrite(QueueJob &job, std::int64_t localSize, std::int64_t remoteSize, bool resumePossible,
                      const QDateTime &localModified, const QDateTime &remoteModified);
    // Marks the folder stale and lists it again when it is shown (no listing of it queued).
    void refreshAfterChange(const QString &folder);
    // What this connection's queue knows of remote paths, so an upload need not ask the
    // server whether its target exists. A path is known to be free when its folder was
    // made by a "makefolder" of this connection (MKD succeeded: it was new and empty), or
    // the folder's listing is cached and not stale and shows no entry of that name (letter
    // case ignored, as some servers do); and no upload or rename of this connection wrote
    // to it (letter case ignored as well). Absolute paths only; a login of the main session
    // forgets it all.
    bool remotePathKnownFree(const QString &path) const;
    void noteRemoteFolderMade(const QString &folder);
    void noteRemotePathWritten(const QString &path);
    // Refreshes the local list when the path lies in the shown local folder.
    void refreshLocal(const QString &localPath);
    // Ends a job: the session is free, the item leaves the queue (Done, Skipped, a failed
    // command) or stays (a failed, stopped or interrupted transfer), itemFinished is
    // emitted, a failure pauses the queue and shows `message` (the error window).
    void finish(QueueJob &job, const QueueOutcome &outcome, const QString &message);
    // A fresh request token (never 0, never reused).
    std::uint64_t nextToken() { return ++m_lastToken; }
    // A download wrote all its bytes to `localFile`; the item is about to leave the queue.
    void announceDownload(const QueueItem &item, const QString &localFile) { emit downloadFinished(item, localFile); }

signals:
    // The main session logged in: the remote list shows instead of the logo, and the login
    // messages may be shown.
    void mainSessionLoggedIn();
    // A session's login failed; the session-loss handling takes it from here.
    void loginFailed(tkftpclient *session, int error);
    // The queue became empty while connected and "When empty" asks for this.
    void disconnectRequested();
    void closeRequested();
    // A long expansion (putfolder) runs: the wait window shows the text until waitEnded.
    void waitTextChanged(const QString &text);
    void waitEnded();
    // A download item wrote all its bytes to `localFile` and is about to leave the queue.
    void downloadFinished(const QueueItem &item, const QString &localFile);
    // An item's job ended, or an item that never ran ended (a skip before any request, an
    // unknown verb, a stop mark). Emitted while the item is still in the model
    // (model().itemById(id) finds it); Done, Skipped and failed commands leave the queue
    // right after.
    void itemFinished(std::uint64_t id, const QueueOutcome &outcome);
    // A folder transfer left an entry out (a link, a special file, an unreadable folder, a
    // name that cannot travel); `path` is as found, unescaped.
    void entrySkipped(const QString &path, const QString &reason);

private:
    friend class QueueTestPeer;
    enum class RunResult { Done, RunAgain };
    struct Pick {
        QueueItem *item = nullptr;
        tkftpclient *session = nullptr;
    };

    // The next item that may start and the session for it (none: nothing starts now); tells
    // the supervisor how many transfers could run.
    Pick pickNext();

    // Gives the item its job on the session: the item runs, the session is busy.
    void bindJob(QueueItem &item, tkftpclient &session, const std::shared_ptr<QueueJob> &job);
    RunResult pumpOnce();
    tkftpclient *sessionFor(const QueueItem &item) const;
    static bool usable(const tkftpclient &session);
    std::shared_ptr<QueueJob> makeJob(QueueItem &item, tkftpclient &session);
    // Items that need no request end in the pump: putfolder's expansion, the stop mark,
    // an unknown verb.
    bool runWithoutRequest(QueueItem &item);
    void expandPutFolder(QueueItem &item);
    void finishWaiting(QueueItem &item, const QueueOutcome &outcome, const QString &message);
    void reportError(const QString &message, const QStringList &recentLines);
    void completeLogin(tkftpclient &s, int error);
    void onItemRemoved(QueueItem *item);
    void onQueueEmptied();

    tSetupClass &m_setup;
    UserInterface &m_ui;
    BrowserController &m_browsers;
    SessionSupervisor &m_sessions;
    LogWriter m_writeLog;
    int m_skippedCount = 0;
    bool m_showsSkipped = true;
    QueueModel m_model;
    QStringList m_asciiMasks;
    bool m_promptOpen = false;
    bool m_disconnecting = false;
    bool m_terminating = false;
    bool m_listsAtLogin = true;
    bool m_traceSteps = false;
    ListingStream m_listingStream;
    std::uint64_t m_lastToken = 0;
    std::uint64_t m_lastExpansion = 0;
    // The running jobs by session; a job is held by a local copy while one of its methods
    // runs, so finish() may drop it here.
    std::unordered_map<const tkftpclient *, std::shared_ptr<QueueJob>> m_jobs;
    std::unordered_map<std::uint64_t, FolderExpansion> m_expansions;
    // Folders made by this connection (canonical form), and paths written to (case-folded).
    QSet<QString> m_remoteFoldersMade;
    QSet<QString> m_remotePathsWritten;
};
