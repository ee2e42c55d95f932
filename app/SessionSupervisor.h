#pragma once

#include "app/tkftpclient.h"
#include "sites/SiteRecord.h"

#include <QDateTime>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

class SftpSession;
class tSetupClass;
class UserInterface;

// The program's FTP sessions and what keeps them connected: "mainFTP" carries browsing
// (and everything while RavuzAro is off), "xferFTP" carries file transfers while RavuzAro
// is on. The two roles are held as references that can be exchanged; the supervisor
// (timer_threads) opens and drops sessions as the connection-wanted flag and the RavuzAro
// switch require.
//
// Transfers run side by side on a pool: the transfer session (RavuzAro on) or the main
// session (off), followed by extra sessions "xferFTP2" ... up to "Simultaneous transfers"
// members in all. Extras are opened while there is more transfer work than sessions, and an
// idle extra with nothing to do is closed after idleCloseSeconds. A server refusing an extra
// login lowers the pool's size for the rest of the connection (one log line).
//
// User-interface thread only. The engine events of both sessions arrive here and go out as
// the signals below, emitted synchronously from inside the engine's event (see the
// re-entrancy rule in docs/architecture.md: a receiver may start new requests on an idle
// session, but must not destroy the session or run a nested wait on it).
class SessionSupervisor : public QObject {
    Q_OBJECT
public:
    using LogWriter = std::function<void(const QString &line)>;

    SessionSupervisor(tSetupClass &setup, UserInterface &ui, LogWriter writeLog, QObject *parent = nullptr);
    ~SessionSupervisor() override;

    tkftpclient &mainFTP() { return *m_mainFTP; }
    tkftpclient &xferFTP() { return *m_xferFTP; }
    // The sessions in their current roles.
    tkftpclient *mainSession() const { return m_mainSession; }
    tkftpclient *xferSession() const { return m_xferSession; }
    // True from the moment the user starts a connection until the user disconnects or the
    // main session's connection ends.
    bool connectionWanted() const { return m_connectionWanted; }
    void setConnectionWanted(bool wanted) { m_connectionWanted = wanted; }
    // The site being connected: the connect flow sets it, the supervisor connects to it.
    const tSiteRecord &currentSite() const { return m_currentSite; }
    void setCurrentSite(const tSiteRecord &site) { m_currentSite = site; }
    // No site: an empty host keeps anything (a retry, the supervisor) from connecting.
    void forgetCurrentSite() { m_currentSite.Host = QString(); }
    // The site the main session last connected to, as it was then: a reconnect after a
    // lost connection goes back to it, whatever the connect flow has done since.
    const tSiteRecord &connectedSite() const { return m_connectedSite; }

    // Automatic reconnection after a lost connection (app/SessionLoss): when the next
    // attempt is due (invalid: none pending), and the attempts made since the count was
    // last reset (a completed transfer, an empty queue, or a user's Connect, Disconnect
    // or Stop).
    QDateTime retryTime() const { return m_retryTime; }
    std::int32_t retryCount() const { return m_retryCount; }
    bool retryPending() const { return m_retryTime.isValid(); }
    // One more attempt, due `delaySeconds` from now.
    void scheduleRetry(std::int64_t delaySeconds);
    // No attempt pending; with resetCount the attempts are forgotten too.
    void cancelRetry(bool resetCount);
    void resetRetryCount() { m_retryCount = 0; }

    // Active or passive for the next data connection, from the setting at that moment, so
    // a change in the options takes effect without a reconnect (direct connections only;
    // proxies and SOCKS always use passive).
    void applyDataConnection(tkftpclient &session);

    bool ravuzAro() const { return m_ravuzAro; }
    void setRavuzAro(bool on) { m_ravuzAro = on; }

    // The current remote folder; the transfer session waits until one is shown. The
    // controller that owns the browsers installs it; unset, the transfer session never
    // connects.
    std::function<QString()> currentRemoteFolder;
    // Runs after a session is configured for a connect, before it starts (the trusted
    // certificates of the server go in here).
    std::function<void(tkftpclient &)> prepareConnect;
    // Runs once for each SFTP session when it is made (its questions are put to the user
    // from here on).
    std::function<void(SftpSession &)> prepareSftp;
    // The program's own known-hosts file for SFTP ("trust always" adds to it); empty: none.
    std::function<QString()> ownKnownHostsFile;

    // The engine's TLS mode for a site's encryption choice.
    static TFtpTlsMode tlsModeOf(SiteEncryption encryption);

    // The session supervisor, run every 500 ms and at once on connect and disconnect.
    void timer_threads();
    // Not wanted, main control connection closed and the main engine ready.
    bool isFullyDisconnected();
    void rescheduleKeepAlive(tkftpclient &session);
    // The RavuzAro toggle; refuses while the transfer session carries a transfer.
    void acRavuzAro();
    // Swaps the roles of the two sessions.
    void exchangeRoles() { std::swap(m_mainSession, m_xferSession); }

    // --- the transfer pool -----------------------------------------------------------
    // Every session there is: main, transfer and the extras (for installing handlers).
    std::vector<tkftpclient *> allSessions() const;
    // The sessions that may carry transfers now, in order of preference: the first member
    // (transfer session with RavuzAro on, else the main session) and poolSize() - 1 extras.
    std::vector<tkftpclient *> transferSessions() const;
    // Whether the session is one of the extras (never the main or the transfer session).
    bool isExtra(const tkftpclient *session) const;
    // The pool's size now: the connected site's own number or the setting (1 to 10),
    // lowered by refusals during this connection.
    int poolSize() const;
    // How many transfers could run at once now; the queue's pump tells it on every run.
    void setTransferDemand(int count) { m_demand = count; }
    int transferDemand() const { return m_demand; }
    // An extra session was refused (connect, 421/530 at login, or closed before login): the
    // pool shrinks to the members still connected, logged the first time only.
    void extraRefused(tkftpclient &session, int error);
    // Opens extras for the demand the pump reported and closes idle ones, as the 500 ms
    // supervisor does; for a caller without that timer (the command line runs it after
    // every event). Nothing while no connection is wanted.
    void superviseTransferPool();
    // Seconds an idle extra with no work waits before it is closed.
    void setIdleCloseSeconds(int seconds) { m_idleCloseSeconds = seconds; }

    // The rule the command handler applies: "new/" is sent as "new", "/" stays.
    static void stripTrailingSlash(QString &command);
    // For tests: the random source of the keep-alive schedule.
    std::mt19937 &random() { return m_random; }

signals:
    // A protocol line of a session for the log.
    void displayLine(tkftpclient *session, const QString &line);
    // The completion of a session's request, whichever protocol it speaks.
    void requestDone(tkftpclient *session, RemoteRequest request, int error);
    void sessionConnected(tkftpclient *session, int error);
    void sessionClosed(tkftpclient *session, int error);
    // Bytes moved by the running transfer; a receiver sets *abort to end it.
    void progress(tkftpclient *session, qint64 count, bool *abort);
    // Listing text a session received (whole lines, decoded).
    void listingReceived(tkftpclient *session, const QString &text);

private:
    void configure(tkftpclient &session);
    void configureSftp(tkftpclient &session);
    void connectSession(tkftpclient &session);
    void dropSession(tkftpclient &session);
    void installHandlers(tkftpclient &session);
    void superviseExtras();

    tSetupClass &m_setup;
    UserInterface &m_ui;
    LogWriter m_writeLog;
    std::unique_ptr<tkftpclient> m_mainFTP;
    std::unique_ptr<tkftpclient> m_xferFTP;
    tkftpclient *m_mainSession = nullptr;
    tkftpclient *m_xferSession = nullptr;
    bool m_connectionWanted = false;
    tSiteRecord m_currentSite;
    tSiteRecord m_connectedSite;
    QDateTime m_retryTime;
    std::int32_t m_retryCount = 0;
    bool m_ravuzAro = false;
    std::vector<std::unique_ptr<tkftpclient>> m_extras;
    // Lowered by a refused extra login; reset when the main session connects.
    int m_poolCap = 10;
    bool m_poolCapLogged = false;
    int m_demand = 0;
    int m_idleCloseSeconds = 30;
    std::mt19937 m_random{std::random_device{}()};
};
