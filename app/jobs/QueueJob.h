#pragma once

#include "app/RemoteSession.h"

#include <QString>

#include <cstdint>

class QueueController;
class QueueItem;
class tkftpclient;

// What a running queue item waits for. A job changes it only through QueueJob::expect,
// which the debug log traces, and a completion is judged against it.
enum class JobStep {
    Starting,        // bound, nothing asked yet
    OverwritePrompt, // the overwrite question is showing
    TypeSwitch,      // text or binary transfers
    SizeQuery,       // the remote file's size before an upload
    ChangeFolder,    // change folder (CWD)
    PrintFolder,     // the current folder (PWD)
    Listing,         // LIST or MLSD, or an SFTP listing
    LinkCheck,       // LIST after MLSD: which folders are links
    Transfer,        // get or put
    SizeCheck,       // the size after a download whose length differs from the listing's
    FileTime,        // after a whole transfer: the remote file's time asked or set
    Command,         // one command: delete, remove or make folder, rename, change permissions
    Finished,
};
const char *jobStepName(JobStep step);

// How a queue item ended.
struct QueueOutcome {
    enum class Kind {
        Done,        // the work is complete (a transfer: every byte is there)
        Skipped,     // the target existed and the item was told to leave it
        Failed,      // the server or the local side refused; `code` and `text` say why
        Stopped,     // the user stopped it; a partial file stays for a resume
        Interrupted, // the connection was lost; the item waits to run again
    };
    Kind kind = Kind::Done;
    // The engine's code: an FTP reply code, a socket error (10000 and up), 0 when none.
    int code = 0;
    // Why, in the user's words, for Failed and Interrupted.
    QString text;

    static QueueOutcome done() { return {}; }
    static QueueOutcome skipped() { return {Kind::Skipped, 0, {}}; }
    static QueueOutcome failed(int code, const QString &text) { return {Kind::Failed, code, text}; }
    static QueueOutcome stopped() { return {Kind::Stopped, 0, {}}; }
    static QueueOutcome interrupted(int code, const QString &text) { return {Kind::Interrupted, code, text}; }

    bool ok() const { return kind == Kind::Done || kind == Kind::Skipped; }
    // "done", "skipped", "failed", "stopped", "interrupted".
    static const char *name(Kind kind);
};

// The running half of one queue item: made by the pump when it binds the item to a
// session, gone when the item ends (QueueController::finish). It starts the verb's
// requests and judges their completions, each request beside the handling of its reply;
// everything the running work needs lives here, not in the item or the session.
//
// User-interface thread only. A job's methods may run nested event loops (the overwrite
// question, the editing questions); after one returns, the job checks that it is still
// bound (`alive`) before it goes on.
class QueueJob {
public:
    QueueJob(QueueController &queue, QueueItem &item, tkftpclient &session);
    virtual ~QueueJob();
    QueueJob(const QueueJob &) = delete;
    QueueJob &operator=(const QueueJob &) = delete;

    QueueItem &item() const { return m_item; }
    std::uint64_t itemId() const { return m_itemId; }
    // The session the job runs on, as the job talks to it.
    RemoteSession &session() const;
    // The program's session object (the queue controller's bookkeeping).
    tkftpclient &owner() const { return m_session; }
    JobStep step() const { return m_step; }
    // The token of the request the job waits for; a completion carrying another is stale.
    std::uint64_t token() const { return m_token; }
    // The transfer's restart offset, for the progress and the rate.
    std::int64_t resumeAt() const { return m_resumeAt; }
    bool finished() const { return m_step == JobStep::Finished; }

    // Starts the work. A job may finish at once (a skip, a refused start).
    virtual void start() = 0;
    // The completion of the request the job waits for at step().
    virtual void requestDone(RemoteRequest request, int error) = 0;
    // Listing bytes of the job's running listing, decoded, as they arrive.
    virtual void listingData(const QString &text);
    // A job that cannot go on (an error inside its own handling) ends with this outcome.
    virtual QueueOutcome abandonOutcome() const;
    // The connection was lost while the job ran. A job whose work is already whole (a
    // transfer waiting only for its file time) ends itself and returns true; otherwise the
    // queue ends it as interrupted.
    virtual bool endAfterLoss();

protected:
    // Marks the request the job waits for next (a new token) before it is started.
    void expect(JobStep step);
    // Ends the job; nothing of it may be touched afterwards but locals.
    void finish(const QueueOutcome &outcome, const QString &message = QString());
    // Ends the job as failed: `message` is the outcome's text and, with the advice to start
    // the queue again, the error window's.
    void fail(int code, const QString &message);
    // After a nested event loop: the item is still queued and bound to this job and its
    // session is still connected.
    bool alive() const;
    void setResumeAt(std::int64_t offset) { m_resumeAt = offset; }
    // Active or passive for the data connection the next request opens (FTP).
    void prepareDataConnection();

    QueueController &m_queue;

private:
    friend class QueueController;
    QueueItem &m_item;
    const std::uint64_t m_itemId;
    tkftpclient &m_session;
    JobStep m_step = JobStep::Starting;
    std::uint64_t m_token = 0;
    std::int64_t m_resumeAt = 0;
};
