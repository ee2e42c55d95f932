#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <random>

class BrowserController;
class ConnectController;
class DataFolders;
class Diagnostics;
class MasterTick;
class QueueController;
class SessionSupervisor;
class tkftpclient;
class tSetupClass;

// What happens when a session's control connection ends, and what keeps it from ending:
//   - the close of either session (ftpCtrlSessionClosed): a lost main connection is
//     retried after "retryDelay" seconds, at most "maxRetries" times in a row; a closed
//     transfer session switches RavuzAro off for this run; the queue is reset to waiting;
//   - a refused login (loginFailed): one message and the attempt ends; only a reconnect
//     that could not reach the server is retried like a lost connection;
//   - the reconnect timer (timer_retryConnect, every 500 ms) and the keep-alive sender
//     (timer_antitimeout, every second, idle sessions only);
//   - Stop: cancels a pending reconnect, or pauses the queue and ends the running transfers.
// The retry time and count live in SessionSupervisor, where Connect and Disconnect reset
// them; the title shows them while a reconnect is pending.
//
// The retry count is reset by a completed transfer or an empty queue, not by a login: a
// transfer that always loses the connection stops after "maxRetries" attempts.
//
// User-interface thread only. Handlers run inside engine events; they change sessions only
// by dropping items and starting requests on idle sessions (see docs/architecture.md).
class SessionLoss : public QObject {
    Q_OBJECT
public:
    using LogWriter = std::function<void(const QString &line)>;

    struct Parts {
        tSetupClass &setup;
        Diagnostics &diagnostics;
        const DataFolders &folders;
        BrowserController &browsers;
        SessionSupervisor &sessions;
        QueueController &queue;
        ConnectController &connection;
        MasterTick &tick;
    };

    // Connects to the sessions' close and request events and installs the two timers'
    // handlers; constructed before the other close receivers so it sees the session as it
    // was (logged in, its remote folder still current).
    SessionLoss(const Parts &parts, LogWriter writeLog, QObject *parent = nullptr);

    void ftpCtrlSessionClosed(tkftpclient *session, int error);
    void loginFailed(tkftpclient *session, int error);
    void timer_retryConnect();
    void timer_antitimeout();
    void acStop();

    bool retryPending() const;
    // Whether the queue is saved to "[recovery].dat" before it waits again after a lost
    // connection (on by default). The command line turns it off: its items are its own, and
    // the run itself is the recovery.
    void setSavesRecoveryQueue(bool on) { m_savesRecoveryQueue = on; }
    // Picks which of the three keep-alive commands goes out; tests give it a fixed seed.
    std::mt19937 &random() { return m_random; }

private:
    void mainClosed(tkftpclient &main, bool connectFailed, int error);
    void transferClosed(tkftpclient &xfer);
    // An extra session of the transfer pool closed.
    void extraClosed(tkftpclient &extra, int error);
    // Resets every item to waiting ("autoSaveQueue"), saving the queue for recovery first;
    // or empties the queue.
    void rebuildQueue();
    void resetRetries();

    Parts m_p;
    LogWriter m_writeLog;
    // When the main session last logged in (for the duration line of a disconnect).
    QDateTime m_connectedAt;
    // The running connect was started by the reconnect timer.
    bool m_reconnecting = false;
    // Set while the close handling runs: the queue it empties does not reset the count.
    bool m_closing = false;
    bool m_savesRecoveryQueue = true;
    std::mt19937 m_random{std::random_device{}()};
};
