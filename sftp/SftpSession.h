#pragma once

#include "ftp/WSocket.h"
#include "sftp/SftpTypes.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <utility>

class QSocketNotifier;
struct _LIBSSH2_SESSION;
struct _LIBSSH2_SFTP;
struct _LIBSSH2_SFTP_HANDLE;
struct _LIBSSH2_SFTP_ATTRIBUTES;

// One SSH connection with its SFTP channel, driven from the event loop.
//
// The TCP connection is made by TWSocket (direct, SOCKS 4/4A/5, IPv4 and IPv6); once it
// stands, the descriptor is handed to libssh2 in non-blocking mode. Every libssh2 call that
// would block returns at once; the session then waits for the directions libssh2 names
// (read, write) with socket notifiers, and each wait is bounded by timeoutMs(): a wait
// that runs out ends the request with Timeout and closes the connection.
//
// One request at a time. Each request ends with exactly one requestDone, always posted (never
// inside the call that started it). Start with connectToHost(), then checkHostKey(), then
// authenticate(); the rest need an authenticated session.
//
// Questions (an unknown host key, a key file's passphrase) go out as signals; the owner
// answers with answerHostKey() / answerPassphrase(), bounded by questionTimeoutMs().
class SftpSession : public QObject {
    Q_OBJECT
public:
    explicit SftpSession(QObject *parent = nullptr);
    ~SftpSession() override;
    SftpSession(const SftpSession &) = delete;
    SftpSession &operator=(const SftpSession &) = delete;

    // --- settings (before connectToHost) ---
    void setHost(const QString &host, int port = 22);
    QString host() const { return m_host; }
    int port() const { return m_port; }
    void setUser(const QString &user) { m_user = user; }
    // Used for keyboard-interactive and password authentication; never logged.
    void setPassword(const QString &password) { m_password = password; }
    // A key file tried after the agent and before the usual ~/.ssh keys.
    void setKeyFile(const QString &path) { m_keyFile = path; }
    // The folder holding id_ed25519, id_ecdsa, id_rsa (default: ~/.ssh).
    void setKeyFolder(const QString &path) { m_keyFolder = path; }
    // Read-only known hosts (default: ~/.ssh/known_hosts) and the program's own file, which
    // "trust always" adds to.
    void setUserKnownHostsFile(const QString &path) { m_userKnownHosts = path; }
    void setOwnKnownHostsFile(const QString &path) { m_ownKnownHosts = path; }
    // SOCKS proxy: level "4", "4A" or "5"; an empty server connects directly.
    void setSocks(const QString &server, const QString &port, const QString &level, const QString &user = QString(),
                  const QString &password = QString());
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }
    void setQuestionTimeoutMs(int ms) { m_questionTimeoutMs = ms; }
    // A listing with more entries than this fails (a server cannot make it grow without end).
    void setListingLimit(int entries) { m_listingLimit = entries; }

    // --- requests ---
    void connectToHost();
    void checkHostKey();
    void authenticate();
    void list(const QByteArray &path);
    void stat(const QByteArray &path);
    // Downloads to localPath. offset 0 writes the file anew; a larger offset keeps that many
    // bytes of the local file and fetches the rest (resume). listedSize (-1: unknown) is the
    // size a listing showed: with it the first read goes out beside the question for the
    // file's size instead of after its answer. The file's own size still decides.
    void get(const QByteArray &remotePath, const QString &localPath, uint64_t offset = 0, int64_t listedSize = -1);
    // Uploads localPath. offset 0 writes the remote file anew; a larger offset sends the
    // local file from there on into the remote file at the same place (resume).
    void put(const QString &localPath, const QByteArray &remotePath, uint64_t offset = 0);
    void makeFolder(const QByteArray &path, unsigned mode = 0755);
    void removeFolder(const QByteArray &path);
    void deleteFile(const QByteArray &path);
    // Never replaces an existing target.
    void rename(const QByteArray &from, const QByteArray &to);
    void chmod(const QByteArray &path, unsigned mode);
    void setTimes(const QByteArray &path, const QDateTime &modified, const QDateTime &accessed = QDateTime());
    // The canonical form of a path; "." gives the login folder.
    void realPath(const QByteArray &path);
    // A round trip to the server that shows the connection is alive.
    void keepAlive();
    void disconnectFromHost();
    // Drops the connection at once, without a goodbye: a running request ends without its
    // requestDone, and sessionClosed follows when a connection was open.
    void closeNow();
    // Ends a running transfer: it finishes with Cancelled (the partial file stays).
    void abortTransfer() { m_abort = true; }

    // --- answers to the questions ---
    void answerHostKey(SftpHostKeyAnswer answer);
    // accepted false: the key file is skipped.
    void answerPassphrase(bool accepted, const QString &passphrase);
    // accepted false (or an empty password): password logins are not tried.
    void answerPassword(bool accepted, const QString &password);

    // --- state and results ---
    bool busy() const { return m_request.has_value(); }
    bool connected() const { return m_ssh != nullptr; }
    // A connection ended and its sessionClosed is on its way: until it arrives, the session
    // is not ready for a new connection.
    bool closing() const { return m_closePending; }
    bool authenticated() const { return m_sftp != nullptr; }
    QList<SftpEntry> entries() const { return m_entries; }
    SftpEntry statResult() const { return m_statResult; }
    QByteArray realPathResult() const { return m_realPath; }
    // Bytes transferred by the last get/put (including the offset it started from).
    uint64_t transferred() const { return m_position; }
    QString lastErrorText() const { return m_errorText; }
    // What the handshake negotiated; empty before it.
    QString serverBanner() const { return m_banner; }
    QString keyExchange() const { return m_kex; }
    QString cipher() const { return m_cipher; }
    SftpHostKey hostKey() const { return m_hostKey; }
    // How the last authentication succeeded: "agent", "key file PATH", "keyboard-interactive", "password".
    QString authenticatedBy() const { return m_authenticatedBy; }

signals:
    void requestDone(SftpRequest request, SftpError error, const QString &text);
    // What was asked and what came back; never a password or passphrase.
    void logLine(const QString &line);
    void hostKeyQuestion(const SftpHostKey &key);
    void passphraseQuestion(const QString &keyFile);
    // No password was set and the server takes one: the owner asks the user and answers with
    // answerPassword(). Asked at most once per authentication, after keys and the agent.
    void passwordQuestion(const QString &user, const QString &host, int port);
    void progress(uint64_t bytes, uint64_t total);
    // The connection ended (disconnect, failure or loss).
    void sessionClosed();

private:
    enum class Flow { Again, Wait, Yield, Done };
    using Step = std::function<Flow()>;

    bool begin(SftpRequest request, bool needsSftp);
    void setStep(Step step) { m_step = std::move(step); }
    void pump();
    void schedulePump();
    void waitForSocket();
    void watchIdle();
    void onSocketReady();
    void onTimeout();
    Flow finish(SftpError error, const QString &text = QString());
    Flow fail(SftpError error, const QString &text);
    Flow failLibssh2(int rc, const QString &what);
    // Starts a request that is one libssh2 call, repeated while libssh2 would block: a
    // failure is reported as "could not <what>", success ends the request with `done`.
    void runSingleCall(SftpRequest request, const QString &asked, std::function<int()> call, const QString &what,
                       const QString &done = QString());
    Flow failSftp(const QString &what, const QByteArray &path);
    QString libssh2Message() const;
    void teardown();
    void log(const QString &line) { emit logLine(line); }

    // connect and handshake
    void onDnsDone(int error);
    void onSocketConnected(int error);
    Flow handshake();
    // authentication
    void buildAuthPlan();
    QString passwordForLogin() const;
    Flow nextAuth();
    Flow openSftp();
    // transfers
    Flow getLoop();
    // After the last byte: the read that shows the end of the file and the handle's close go
    // out together, and the download ends when both are answered.
    Flow confirmEnd();
    Flow endDownload();
    bool startEarlyRead();
    Flow putLoop();
    // Closes the open remote handle (waiting as needed), then runs `then`.
    Flow closeHandle(std::function<Flow()> then);
    int attributesOfOpenFile(_LIBSSH2_SFTP_ATTRIBUTES &attrs);
    int statRemotePath(int how, _LIBSSH2_SFTP_ATTRIBUTES &attrs);
    Flow verifyUpload();

    static SftpEntry entryFrom(const QByteArray &name, const void *attributes);

    // settings
    QString m_host;
    int m_port = 22;
    QString m_user, m_password, m_keyFile, m_keyFolder, m_userKnownHosts, m_ownKnownHosts;
    QString m_socksServer, m_socksPort, m_socksLevel, m_socksUser, m_socksPassword;
    int m_timeoutMs = 30000;
    int m_questionTimeoutMs = 120000;
    int m_listingLimit = 1000000;

    // connection
    TWSocket m_socket;
    int m_fd = -1;
    // Received stream bytes libssh2 has not taken yet, from m_heldPos on: first what came
    // with a proxy's reply, then each recv() from the socket.
    QByteArray m_held;
    qsizetype m_heldPos = 0;
    _LIBSSH2_SESSION *m_ssh = nullptr;
    _LIBSSH2_SFTP *m_sftp = nullptr;
    _LIBSSH2_SFTP_HANDLE *m_handle = nullptr;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_timer;
    bool m_hostKeyChecked = false;
    bool m_pumpPosted = false;
    bool m_pumping = false;

    // the running request
    std::optional<SftpRequest> m_request;
    Step m_step;
    QString m_errorText;
    bool m_abort = false;

    // questions
    bool m_waitingForAnswer = false;
    std::optional<SftpHostKeyAnswer> m_hostKeyAnswer;
    std::optional<std::pair<bool, QString>> m_passphraseAnswer;

    // authentication
    QStringList m_authPlan; // "agent", "key:PATH", "keyboard-interactive", "password"
    QString m_serverMethods;
    QString m_passphrase;
    bool m_passphraseAsked = false;
    std::optional<std::pair<bool, QString>> m_passwordAnswer;
    QString m_typedPassword; // the user's answer, for this authentication only
    bool m_closePending = false;
    bool m_fstatUnsupported = false; // the server answers attributes by path only
    struct AgentState;
    std::unique_ptr<AgentState> m_agent;

    // results and transfer state
    QList<SftpEntry> m_entries;
    SftpEntry m_statResult;
    QByteArray m_realPath;
    QString m_banner, m_kex, m_cipher, m_authenticatedBy;
    SftpHostKey m_hostKey;
    QFile m_local;
    QByteArray m_buffer;
    qsizetype m_bufferSent = 0;
    bool m_localAtEnd = false;
    uint64_t m_position = 0;
    uint64_t m_total = 0;
    QByteArray m_remotePath;
    // A download's size as a listing showed it (-1: unknown), and a read started before the
    // file's own size was in: whether it went out, and its result once libssh2 gave one.
    int64_t m_listedSize = -1;
    bool m_earlyRead = false;
    std::optional<ssize_t> m_earlyResult;
    // The end of a download: the end-of-file read and the close, each asked and answered.
    bool m_endAsked = false, m_closeAsked = false;
    std::optional<ssize_t> m_endResult;
    QString m_endStatus; // the server's status when the end-of-file read was refused
    std::optional<int> m_closeResult;

    friend struct SftpSessionAccess;
};
