#pragma once

#include "sites/ConnectionHistory.h"
#include "sites/FtpUrl.h"

#include <QObject>
#include <QString>

#include <functional>

class Diagnostics;
class QueueController;
class SessionSupervisor;
class tkftpclient;
class tSetupClass;
class UserInterface;

// Every way of starting or ending a connection: the quick-connect boxes, the VuzidIRA
// window, FTP URLs (typed, pasted, or found on the clipboard), the connection history and
// the start-up action all end in acConnect, which fills the current site record, records
// the login in the history and wakes the session supervisor. The windows only gather what
// the user typed and hand it over; every decision is taken here.
//
// User-interface thread only. acDisconnect asks through the UserInterface port, and the
// waits for an old connection to close process events (bounded, see waitForDisconnect).
class ConnectController : public QObject {
    Q_OBJECT
public:
    using LogWriter = std::function<void(const QString &line)>;

    // Who runs Connect: it decides where the login data come from.
    enum class Caller { ConnectAction, SiteManager, VuzidIRA, ReconnectTimer };

    // The quick-connect bar's four boxes and its two choices.
    struct QuickConnect {
        QString address, user, password, port;
        // The bar's encryption choice (FTP only); an "ftps://" or "ftpes://" URL in the address
        // overrides it.
        SiteEncryption encryption = SiteEncryption::ExplicitIfAvailable;
        // The bar's protocol choice; a URL's scheme in the address overrides it.
        SiteProtocol protocol = SiteProtocol::Ftp;
        friend bool operator==(const QuickConnect &, const QuickConnect &) = default;
    };

    // The VuzidIRA window's boxes.
    struct SiteFields {
        QString host, port, user, password, path;
        SiteEncryption encryption = SiteEncryption::ExplicitIfAvailable;
        SiteProtocol protocol = SiteProtocol::Ftp;
        // SFTP: the private key to log in with; empty for none (the ssh agent, ~/.ssh/config
        // and the usual ~/.ssh keys are tried all the same).
        QString keyFile;
    };

    // The password given to anonymous logins when nothing else is set.
    static const QString kAnonymousPassword;
    // How long a wait for an old connection to close may take.
    static constexpr int kDisconnectWaitMs = 15000;

    ConnectController(tSetupClass &setup, UserInterface &ui, Diagnostics &diagnostics, SessionSupervisor &sessions,
                      QueueController &queue, LogWriter writeLog, QObject *parent = nullptr);

    ConnectionHistory &history() { return m_history; }
    const ConnectionHistory &history() const { return m_history; }
    // Reads the history file; an unreadable one gives an empty history without a message.
    // False when the file was damaged (what could be read is loaded).
    bool loadHistory(const QString &path);
    // Empties the history first when "connectionHistoryDeleteOnExit" is on. Returns false
    // with *error when the file cannot be written.
    bool saveHistory(const QString &path, QString *error = nullptr);
    // Removes history entries (the history window's Delete).
    void deleteHistoryEntries(const QList<qsizetype> &positions);

    const QuickConnect &quickConnect() const { return m_quick; }
    // The window's boxes changed: the controller keeps what they show. A change of protocol
    // (the bar's choice, or the scheme of a URL typed into the address) moves a port that was
    // the old protocol's default to the new one's (portAfterProtocolChange), and SFTP drops
    // the anonymous login the FTP rule filled in; the boxes are then told (quickConnectChanged).
    void setQuickConnect(const QuickConnect &boxes);
    // Start-up: the boxes show the newest history entry unless "DeleteQuickConnectData".
    void fillQuickConnectFromHistory();

    // Connect. Returns true when a new connection was started.
    bool acConnect(Caller caller);
    // The quick-connect bar's Connect (button, menu, Enter in a box).
    bool connectQuick(const QuickConnect &boxes);
    // The VuzidIRA window's Connect: waits for an old connection, then connects to the boxes.
    bool connectSite(const SiteFields &fields);
    // Connects to an FTP or SFTP link handed over by another start of the program, the way
    // the "Connect to URL" window does: the URL's parts become the site (user, password, port,
    // folder, protocol and encryption from the scheme), and an open connection is closed first
    // (the user is asked). A link that is no usable URL gives a message, without its password.
    bool connectLink(const QString &url);
    // Connect to a history entry (the history window, the Connect drop-down).
    bool connectHistoryEntry(qsizetype position);
    // The boxes the VuzidIRA window shows for a URL; false (with *error) for a refused URL.
    // "sftp://" gives SFTP on port 22 unless the URL names a port, with the user and password
    // the URL names (SFTP has no anonymous login) and fields.encryption left as it was.
    static bool fieldsFromUrl(const QString &url, SiteFields &fields, QString *error = nullptr);

    // Disconnect. Returns false when nothing was disconnected (nothing open, or the user
    // declined).
    bool acDisconnect();
    // Paste URL: clipboardText is what the clipboard holds now.
    void acPasteUrl(const QString &clipboardText);
    // The clipboard changed (the view watches it). Offers a connection to an FTP URL when
    // "monitorClipboardForFTPUrls" is on. The clipboard itself is never changed.
    void clipboardChanged(const QString &text);
    // Start-up action by number: 1 site manager, 2 Connect, 3 VuzidIRA, 4 history.
    void runStartupAction(int action);
    // The main session's login was refused: the attempt ends with one message.
    void loginFailed(tkftpclient *session, int error);
    // Records the current site (with the remote folder it showed) as the newest history
    // entry; a reconnect takes its login from there.
    void recordCurrentSite();
    // A session's control connection closed: it is no longer logged in. Runs after every
    // other receiver of the close, which may still need to know it was.
    void sessionClosed(tkftpclient *session);

    // Disconnects an old connection and waits, bounded, until it is closed. False when the
    // user declined or the connection did not close in time (the user was told).
    bool waitForDisconnect();

signals:
    // The quick-connect boxes are to show quickConnect().
    void quickConnectChanged();
    // The history changed (an add, a delete, a trim).
    void historyChanged();
    // Open the VuzidIRA window with this URL in its URL box (may be empty).
    void vuzidiraRequested(const QString &url);
    void historyWindowRequested();
    void siteManagerRequested();

private:
    void fail(const QString &message);
    // A site that cannot be connected as it is: the error sound and a titled message.
    void refuse(const QString &title, const QString &text);
    bool splitQuickAddress();
    // SFTP in the bar: clears the anonymous login the FTP rule filled in.
    void dropAnonymousLogin();
    // An SFTP host as typed: what ~/.ssh/config says of it (host name, user, port, key file),
    // where the user gave no user and no port other than 22. An empty user becomes the local
    // user's name, an empty port 22.
    void resolveSshAlias(QString &host, QString &user, QString &port, QString &keyFile) const;
    bool splitSiteHost(tSiteRecord &site);

    tSetupClass &m_setup;
    UserInterface &m_ui;
    Diagnostics &m_diagnostics;
    SessionSupervisor &m_sessions;
    QueueController &m_queue;
    LogWriter m_writeLog;
    ConnectionHistory m_history;
    QuickConnect m_quick;
    // The last URL the clipboard watcher offered: the same text is not offered twice.
    QString m_lastOfferedUrl;
    // A folder an FTP URL in the address box asked for; it wins over the history's.
    QString m_urlFolder;
};
