#pragma once

#include "ftp/FtpTypes.h"
#include "listing/u_tmbFtpParser.h"
#include "queue/QueueModel.h"

#include <QSet>

#include <QObject>
#include <QStringList>

#include <cstdint>
#include <functional>

class BrowserController;
class SessionSupervisor;
class tkftpclient;
class tSetupClass;
class UserInterface;

// The queue's running half: addToQueue with its cached-folder shortcut, the pump
// timer_checkQueue that starts the first waiting item on a usable session, the transfer
// type choice with the ASCII masks, the queue's running/paused state, and the removal hook
// that releases an item's session. The completion of the requests it starts arrives through
// the sessions' requestDone signal and is handled by the completion part of this class
// (QueueCompletion.cpp).
//
// User-interface thread only. The pump may run a modal prompt (the overwrite question);
// while one is open every further pump run does nothing, and after it returns the pump goes
// on only if its item is still queued and bound to the same connected session.
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
    bool typeIsRight(const tkftpclient &session, const QString &fileName) const;
    // Starts TYPE A or TYPE I, whichever the session is not in.
    void toggleType(tkftpclient &session);
    // The marker file name of a session's listings ("list_mainFTP.txt" in the temporary
    // folder); the engine writes no such file.
    QString listingFile(const tkftpclient &session) const;
    void setTemporaryFolder(const QString &folder) { m_temporaryFolder = folder; }

    // While the program shuts down, items leaving the queue run no removal hook.
    void setTerminating(bool on) { m_terminating = on; }

    // The completion of every request of both sessions (QueueCompletion.cpp): advances,
    // expands, finishes or fails the session's item, completes a login, then runs the pump.
    void ftpCtrlRequestDone(tkftpclient *session, TFtpRequest request, int error);
    // Set by Disconnect, cleared when a connection starts: completions are then ignored.
    void setDisconnecting(bool on) { m_disconnecting = on; }
    // A session's connection ended: folder work listed on it is forgotten.
    void sessionClosed(tkftpclient *session);

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
    // An item failed (it is about to leave the queue, or stays marked "Error").
    void itemFailed(const QueueItem &item);

private:
    enum class RunResult { Done, RunAgain };

    // Holds the prompt-open flag for the time a prompt shows; cleared on every way out.
    class PromptGuard {
    public:
        explicit PromptGuard(bool &flag) : m_flag(flag) { m_flag = true; }
        ~PromptGuard() { m_flag = false; }
        PromptGuard(const PromptGuard &) = delete;
        PromptGuard &operator=(const PromptGuard &) = delete;

    private:
        bool &m_flag;
    };

    RunResult pumpOnce();
    tkftpclient *sessionFor(const QueueItem &item) const;
    static bool usable(const tkftpclient &session);
    void markRunning(QueueItem &item, tkftpclient &session);
    RunResult startWork(QueueItem &item, tkftpclient &session);
    RunResult startDownload(QueueItem &item, tkftpclient &session);
    void startUpload(QueueItem &item, tkftpclient &session);
    // STOR, or REST + STOR for a resume, once the type is right (else the type first).
    void startPut(QueueItem &item, tkftpclient &session);
    // The overwrite prompt for the item; its answer lands in the item's transferAction.
    void askOverwrite(QueueItem &item, tkftpclient &session);
    void startListing(QueueItem &item, tkftpclient &session, const QString &folder);
    void expandPutFolder(QueueItem &item, tkftpclient &session);
    // Marks the request the item now waits for; the completion checks the token.
    void expect(QueueItem &item, tkftpclient &session, QueueStep step);
    // Whether an item the pump let go of (a prompt ran) may still be worked on.
    bool stillBound(std::uint64_t itemId, const tkftpclient &session) const;
    // Queues a command made by an expansion; a refused one is written to the log.
    void queueQuietly(const QString &command, const tFolderEntryObject *entry);
    void onItemRemoved(QueueItem *item);

    // QueueCompletion.cpp
    using Fields = QStringList;
    void handleDone(tkftpclient &s, QueueItem *item, TFtpRequest rq, int error);
    // False when the handler raised an error half-way.
    bool handleItemDone(tkftpclient &s, QueueItem &item, TFtpRequest rq, int error);
    void abandon(tkftpclient &s, std::uint64_t itemId);
    void doneCwd(tkftpclient &s, QueueItem &item, int error);
    void donePwd(tkftpclient &s, QueueItem &item, int error);
    void doneTypeSet(tkftpclient &s, QueueItem &item, int error);
    void doneDir(tkftpclient &s, QueueItem &item, int error);
    void doneReceive(tkftpclient &s, QueueItem &item, int error);
    void doneSize(tkftpclient &s, QueueItem &item, int error);
    void donePut(tkftpclient &s, QueueItem &item, int error);
    void doneCommand(tkftpclient &s, QueueItem &item, TFtpRequest rq, int error);
    void doneConnect(tkftpclient &s, int error);
    void startDir(tkftpclient &s, QueueItem &item);
    void startRetr(tkftpclient &s, QueueItem &item);
    void expandListing(tkftpclient &s, QueueItem &item, const std::vector<tTmbFtpEntry> &parsed);
    void finishFolderDeletion();
    bool verifyDownload(tkftpclient &s, QueueItem &item, QString *problem) const;
    void finishDownload(tkftpclient &s, QueueItem &item);
    void failItem(tkftpclient &s, QueueItem &item, const QString &message);
    void failTransfer(tkftpclient &s, QueueItem &item, const QString &message);
    void reportError(tkftpclient &s, const QString &message);
    void refreshAfterChange(const QString &folder);
    void refreshLocal(const QString &localPath);
    void removeFinished(tkftpclient &s, QueueItem &item);
    // Whether resuming is sound: the target is smaller than the source and the file goes
    // in binary.
    bool resumeMakesSense(const tkftpclient &s, const QueueItem &item) const;
    void onQueueEmptied();

    tSetupClass &m_setup;
    UserInterface &m_ui;
    BrowserController &m_browsers;
    SessionSupervisor &m_sessions;
    LogWriter m_writeLog;
    QueueModel m_model;
    QStringList m_asciiMasks;
    QString m_temporaryFolder;
    bool m_promptOpen = false;
    bool m_disconnecting = false;
    // Folders a recursive deletion listed, to be removed once empty, with the server
    // they belong to; and the folders folder work has listed, against loops.
    QStringList m_pendingDelete;
    QString m_pendingDeleteHost;
    QSet<QString> m_expandedFolders;
    bool m_terminating = false;
    std::uint64_t m_nextToken = 0;
};
