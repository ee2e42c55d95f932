#pragma once

#include "app/RemoteSession.h"
#include "ftp/FtpCli.h"
#include "status/DisplayFeed.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

class QueueItem;
class QueueJob;
class SftpRemote;

// One of the program's sessions: the FTP engine plus what the program keeps per session,
// and the remote-session requests the queue's jobs use. An FTP site's requests go to the
// FTP engine this class is; an SFTP site's to an SftpRemote made for it (useSftp). Either
// way each request ends with one completion through the session supervisor, and the
// questions asked of a session that differ by protocol (connected, ready, the last reply,
// abort, close) are answered here for the protocol in use.
//
// A session is busy while a queue job runs on it; the queue controller alone binds and
// releases jobs.
//
// User-interface thread only.
class tkftpclient : public TFtpClient, public SessionDisplay, public RemoteSession {
    Q_OBJECT
public:
    explicit tkftpclient(const QString &name, QObject *parent = nullptr);
    ~tkftpclient() override;

    // The engine's ByteCount at the previous progress event of the running item.
    std::int64_t lastByteCount = 0;
    // Set by a successful connect request, cleared when the control connection closes.
    bool loggedIn = false;
    // When this session, if idle, next sends a keep-alive command (UTC, set after every
    // request: a local time would look up the time zone each time).
    QDateTime keepAliveDue;
    // Since when this session, connected, has had no job (for closing idle pool extras).
    QDateTime idleSince;
    // loginMessages and recentLines come from SessionDisplay: the display feed fills them;
    // lastListing comes from RemoteSession.

    // The job running on this session, and its item; none while idle.
    QueueJob *job() const { return m_job; }
    QueueItem *currentItem() const;
    // The token of the request the running job waits for; 0 when idle.
    std::uint64_t requestToken() const;
    bool busy() const { return m_job != nullptr; }

    // --- the protocol -------------------------------------------------------------------
    // SFTP from the next connect on (made on first use), or FTP. Only while closed.
    void useSftp(bool on);
    bool isSftp() const { return m_sftpInUse; }
    // The SFTP side; null until an SFTP site was first used.
    SftpRemote *sftp() const { return m_sftp.get(); }
    // True once after the SFTP side was made (for installing its question handlers).
    bool sftpJustMade() { return std::exchange(m_sftpNew, false); }

    // --- connection state, for the protocol in use ----------------------------------------
    // Connected, or on its way there (looking up the host name, logging in).
    bool connectedOrResolving() const;
    // The connection is open (or opening).
    bool connectedNow() const;
    // No request running (closed or between requests).
    bool idleState() const;
    // Connected and between requests: a new request may start.
    bool readyForRequest() const;
    // A transfer (get or put) is running.
    bool transferRunning() const;
    // What protects the connection, for the padlock: the TLS version and cipher (and whether
    // data connections are encrypted), or the SSH server's banner, key exchange, host-key
    // type and cipher; empty for plain FTP.
    QString encryptionText() const;
    // Connect and log in; one Connect completion.
    void startLogin();
    // Closes the connection now (bounded); a running request ends with it.
    void closeNow();

    // --- RemoteSession ------------------------------------------------------------------
    QString sessionName() const override { return objectName(); }
    void changeFolder(const QString &folder) override;
    void printFolder() override;
    void listFolder(const ListingRequest &request) override;
    void getFile(const QString &remote, const QString &local, std::int64_t offset, std::int64_t listedSize) override;
    void putFile(const QString &local, const QString &remote, std::int64_t offset) override;
    void querySize(const QString &remote) override;
    void makeFolder(const QString &path) override;
    void removeFolder(const QString &path) override;
    void deleteFile(const QString &path) override;
    void rename(const QString &from, const QString &to) override;
    void changeMode(const QString &path, const QString &mode) override;
    void setTextMode(bool text) override;
    void queryModifiedTime(const QString &remote) override;
    void setModifiedTime(const QString &remote, const QDateTime &modified) override;
    void keepAlive(const QString &ftpCommand) override;
    void abortTransfer() override;
    QString lastReply() const override;
    QString folderResult() const override;
    std::int64_t sizeResult() const override;
    QDateTime modifiedTimeResult() const override;
    bool canQueryModifiedTime() const override;
    bool canSetModifiedTime() const override;
    std::int64_t announcedSize() const override;
    std::int64_t downloadedLength() const override;
    std::int64_t bytesMoved() const override { return ByteCount; }
    bool binaryMode() const override { return m_sftpInUse || Binary(); }
    bool hasTextMode() const override { return !m_sftpInUse; }
    bool hasFeature(const QString &name) const override;
    bool listingCut() const override;
    bool attributeListings() const override { return m_sftpInUse; }
    QString remoteHost() const override { return HostName(); }

    // The neutral completion of an FTP engine request and its code: a raw command sent for a
    // file-time request completes as that request, a success only when the reply says so
    // (MDTM: a 213 time; MFMT: a 2xx reply).
    std::pair<RemoteRequest, int> ftpCompletion(TFtpRequest request, int error);

signals:
    // The SFTP side's events, which the session supervisor passes on as it passes the FTP
    // engine's.
    void sftpRequestDone(RemoteRequest request, int code);
    void sftpDisplay(const QString &line);
    void sftpListing(const QString &text);
    void sftpProgress(std::int64_t bytes, bool *abort);
    void sftpClosed(int code);

private:
    friend class QueueController;
    friend class QueueTestPeer;
    void startTransfer(const QString &remote, const QString &local, std::int64_t offset);
    // Sends an FTP raw command for a file-time request.
    void startTimeCommand(RemoteRequest asked, const QString &command);
    QueueJob *m_job = nullptr;
    // The file-time request an FTP raw command was sent for.
    std::optional<RemoteRequest> m_quoteFor;
    bool m_sftpInUse = false;
    bool m_sftpNew = false;
    std::unique_ptr<SftpRemote> m_sftp;
};

// The neutral name of an FTP engine request.
RemoteRequest remoteRequestOf(TFtpRequest request);
