#pragma once

#include "browser/SyncPlan.h"
#include "cli/CliOptions.h"
#include "cli/TerminalUserInterface.h"
#include "listing/u_tmbFtpParser.h"
#include "sites/FtpUrl.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class MainController;
class QueueItem;
struct tFolderEntryObject;

// Runs one verb of the command line on a headless MainController: the very queue, pump
// and completion the window uses. It connects, turns the verb into queue commands (listing
// a remote folder first where a command needs the entry of a remote file), pumps the queue
// until it is empty, reports each finished item and disconnects.
class CliRunner : public QObject {
    Q_OBJECT
public:
    explicit CliRunner(const CliOptions &options);
    ~CliRunner() override;

    // The exit status (CliExit).
    int run();
    // Ctrl-C or a termination signal: the running transfer is aborted, the queue stops.
    void interrupt();

private:
    struct Started {
        QString verb, source, target;
        QElapsedTimer clock;
    };

    // The server to connect to, from the URL or the --site profile; a CliExit status.
    int prepareSite();
    static QString profilesFolder();
    bool connectToServer();
    void disconnectFromServer();
    void applySettings();
    bool queueVerb();
    bool queueRun(const QString &file);
    // mirror: lists both trees, plans, and queues the plan and runs it (or prints it).
    bool queueMirror();
    // The remote tree below root (ending in "/"), listed fresh folder by folder; none when
    // the run was interrupted or the connection lost.
    std::optional<SyncTree> listRemoteTree(const QString &root, int depthLimit);
    // How far the server's listed times run ahead of local ones: 0 with machine listings;
    // else from one file's listed time and its MDTM reply, asked once per run.
    std::int64_t serverTimeOffsetOf(const SyncTree &remote, const QString &root);
    // A --dry-run line (text or --json) for one step of the plan.
    void reportPlanned(const SyncStep &step, const QString &source, const QString &target, bool upload);
    // The --json line of a change mirror made on the local side itself; an error counts
    // as a failed item.
    void reportLocal(const QString &verb, const QString &path, const QString &error);
    // Queues a command, finding a remote entry for verbs that need one. False when refused.
    bool queueCommand(const QString &command);
    // Lists a remote folder (fresh from the server) and waits for it. False on failure.
    bool listFolder(const QString &folder);
    // The entry of a remote path from a fresh listing of its folder; false when it is not there.
    bool remoteEntry(const QString &path, tFolderEntryObject &entry);
    // Pumps until the queue is empty; failed items are reported and the queue goes on.
    void runQueue();
    // Runs the event loop until done() holds (looked at after each event of the sessions and
    // the queue), the run is interrupted, or ms pass (negative: no bound of its own).
    bool waitUntil(const std::function<bool()> &done, int ms);
    // Looks at the running wait's condition; queued after the event that may have changed it.
    void wake();
    void wakeLater();
    // Takes out the failed items (reported already), lets the queue go on, and pumps it.
    void drive();
    // The size of a remote file from SIZE on the idle main session; false when the server
    // gives none (a folder, a missing file, no SIZE).
    bool remoteFileSize(const QString &path, qint64 &size);
    // Makes the remote folder and those above it that are missing, as --ftp-create-dirs
    // does. False with *why naming the folder the server refused and its reply.
    bool makeRemoteFolders(const QString &folder, QString *why);
    // One request on the idle main session (start() starts it), its completion awaited; the
    // engine's error code, -1 when none came.
    int sessionRequest(const std::function<void()> &start);
    // Prints a block of a listing's whole lines as `ls` shows them (parsed, or as they came
    // with --raw); `end` says no more lines follow.
    void printListing(const QString &block, bool end);
    void itemStarted(QueueItem *item);
    void itemFinished(QueueItem *item, const QString &outcome, const QString &error);
    void report(const QJsonObject &o);
    // The main session's connection ended after the first login: a reconnect is announced
    // and timed, or, with none left, the run ends with the connection status.
    void connectionEnded();
    void retryDue();
    // The delay before the next reconnect: the first one's, doubled per attempt, up to 30 s.
    void setNextRetryDelay();
    // Items the lost connection interrupted, reported once the run gives up on them.
    void reportInterruptedItems();
    void showProgress(QueueItem *item, qint64 bytes);
    void note(const QString &text) const;
    void watchSkippedEntries();
    int statusWithSkips(int status) const;
    QString remotePath(const QString &path) const;

    CliOptions m_options;
    TerminalUserInterface m_ui;
    std::unique_ptr<MainController> m_controller;
    FtpUrl m_url;                               // the server and, in path, the remote path the verb names
    tSiteRecord m_site;                         // where and how to connect; an empty password is looked up
    QString m_baseFolder = QStringLiteral("/"); // relative remote paths are below it (ends in "/")
    std::function<void()> m_wake;
    bool m_wakePosted = false; // a wake is queued already: one is enough
    bool m_interrupted = false;
    bool m_loginFailed = false;
    int m_loginError = 0; // the engine's code of a failed first connect or login
    bool m_loggedInOnce = false;
    // The connection was lost and no reconnect is left.
    bool m_connectionLost = false;
    bool m_disconnecting = false;
    QTimer m_retryTimer;
    QDateTime m_announcedRetry;
    // Why each interrupted item stopped, until it runs again or is reported.
    QHash<quint64, QString> m_interruptedItems;
    int m_failed = 0;
    QHash<quint64, Started> m_started;
    QSet<quint64> m_reported;
    // Failed items reported and still in the queue, taken out by the next drive().
    std::vector<std::uint64_t> m_failedItems;
    QElapsedTimer m_progressClock;
    bool m_progressShown = false;
    bool m_stderrIsTty = false;
    // `ls`: the line that waits for the next block, the output of one block, the parsed
    // entries (kept to reuse their memory), whether anything was printed, an unreadable line said.
    QString m_heldListingLine;
    QByteArray m_listingOut;
    std::vector<tTmbFtpEntry> m_parsed;
    bool m_listingPrinted = false;
    bool m_listingProblemSaid = false;
};
