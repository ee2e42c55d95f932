#pragma once

#include "app/tkftpclient.h"
#include "sites/SiteRecord.h"

#include <QDateTime>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>

class tSetupClass;
class UserInterface;

// The program's two FTP sessions and what keeps them connected: "mainFTP" carries
// browsing (and everything while RavuzAro is off), "xferFTP" carries file transfers while
// RavuzAro is on. The two roles are held as references that can be exchanged; the
// supervisor (timer_threads) opens and drops sessions as the connection-wanted flag and
// the RavuzAro switch require.
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
    tkftpclient *mainSession = nullptr;
    tkftpclient *xferSession = nullptr;
    // True from the moment the user starts a connection until the user disconnects or the
    // main session's connection ends.
    bool connectionWanted = false;
    // The site being connected; the connect flow fills it, the supervisor reads it.
    tSiteRecord currentSite;
    // Automatic reconnection after a lost connection (app/SessionLoss): when the next
    // attempt is due (invalid: none pending), and the attempts made since the count was
    // last reset (a completed transfer, an empty queue, or a user's Connect, Disconnect
    // or Stop).
    QDateTime retryTime;
    std::int32_t retryCount = 0;

    bool ravuzAro() const { return m_ravuzAro; }
    void setRavuzAro(bool on) { m_ravuzAro = on; }

    // The current remote folder; the transfer session waits until one is shown. The
    // controller that owns the browsers installs it; unset, the transfer session never
    // connects.
    std::function<QString()> currentRemoteFolder;
    // Runs after a session is configured for a connect, before it starts (the trusted
    // certificates of the server go in here).
    std::function<void(tkftpclient &)> prepareConnect;

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
    void exchangeRoles() { std::swap(mainSession, xferSession); }

    // The rule the command handler applies: "new/" is sent as "new", "/" stays.
    static void stripTrailingSlash(QString &command);
    // For tests: the random source of the keep-alive schedule.
    std::mt19937 &random() { return m_random; }

signals:
    // A protocol line of a session for the log.
    void displayLine(tkftpclient *session, const QString &line);
    void requestDone(tkftpclient *session, TFtpRequest request, int error);
    void sessionConnected(tkftpclient *session, int error);
    void sessionClosed(tkftpclient *session, int error);
    // Bytes moved by the running transfer; a receiver sets *abort to end it.
    void progress(tkftpclient *session, qint64 count, bool *abort);

private:
    void configure(tkftpclient &session);
    void connectSession(tkftpclient &session);
    void dropSession(tkftpclient &session);
    void installHandlers(tkftpclient &session);

    tSetupClass &m_setup;
    UserInterface &m_ui;
    LogWriter m_writeLog;
    std::unique_ptr<tkftpclient> m_mainFTP;
    std::unique_ptr<tkftpclient> m_xferFTP;
    bool m_ravuzAro = false;
    std::mt19937 m_random{std::random_device{}()};
};
