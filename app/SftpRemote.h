#pragma once

#include "app/RemoteSession.h"
#include "sftp/SftpTypes.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class SftpSession;

// The SFTP half of a program session: the remote-session requests turned into SftpSession
// requests, one completion each (requestFinished with a RemoteRequest and a RemoteCode).
//
// SFTP has no current folder of its own, so one is kept here: it starts at the login folder
// and changes only when a change of folder was found to name a folder. A listing is written
// as machine-listing lines ("type=...;size=...;modify=...;UNIX.mode=... name"), which the
// program's listing parser reads as it reads an FTP server's; a link stays a link (the
// attributes are the link's own).
//
// Names travel byte-exact: they are read as UTF-8 until a name is not valid UTF-8, and as
// Windows-1252 from then on, and paths go back in the same set; a path that set cannot hold
// is refused, never sent with a character replaced.
class SftpRemote : public QObject {
    Q_OBJECT
public:
    explicit SftpRemote(QObject *parent = nullptr);
    ~SftpRemote() override;

    SftpSession &session() { return *m_session; }

    // Connect, host key, authenticate, the login folder: one Connect completion.
    void connectAndLogin();
    // While set, a connect ends at once, refused, with this reason (a connection the user's
    // settings cannot make as asked is not made another way).
    void setConnectRefusal(const QString &reason) { m_refusal = reason; }
    void changeFolder(const QString &folder);
    void printFolder();
    void listFolder(const ListingRequest &request);
    void getFile(const QString &remote, const QString &local, std::int64_t offset, std::int64_t listedSize = -1);
    void putFile(const QString &local, const QString &remote, std::int64_t offset);
    void querySize(const QString &remote);
    void makeFolder(const QString &path);
    void removeFolder(const QString &path);
    void deleteFile(const QString &path);
    void rename(const QString &from, const QString &to);
    void changeMode(const QString &path, const QString &mode);
    // The file's own time (lstat), as modifiedTimeResult().
    void queryModifiedTime(const QString &remote);
    void setModifiedTime(const QString &remote, const QDateTime &modified);
    // Completes at once: SFTP moves bytes as they are.
    void setTextMode();
    void keepAlive();
    void abortTransfer();
    // Closes the connection now; a running request ends without its completion (the close
    // is reported instead).
    void closeNow();

    // Connected or on the way there.
    bool connectedOrConnecting() const;
    // Logged in and no request running.
    bool ready() const;
    bool busy() const { return m_running.has_value(); }
    std::optional<RemoteRequest> runningRequest() const { return m_running; }

    QString lastReply() const { return m_lastReply; }
    QString folderResult() const { return m_folderResult; }
    std::int64_t sizeResult() const { return m_sizeResult; }
    QDateTime modifiedTimeResult() const { return m_modifiedResult; }
    std::int64_t announcedSize() const { return m_announced; }
    // What the last download's local file holds (a device or a pipe: the bytes written).
    std::int64_t downloadedLength() const;
    std::int64_t offset() const { return m_offset; }
    bool listingCut() const { return m_listingCut; }
    // The code the connection's end is reported with: what the last failure said.
    int closeCode() const { return m_closeCode; }

    // An absolute remote path for `path` (relative paths start at the current folder).
    QString resolve(const QString &path) const;

signals:
    void requestFinished(RemoteRequest request, int code);
    void logLine(const QString &line);
    void listingText(const QString &text);
    // Bytes of the running transfer beyond its offset.
    void progress(std::int64_t bytes);
    void closed(int code);

private:
    void onDone(SftpRequest request, SftpError error, const QString &text);
    void complete(RemoteRequest request, int code, const QString &text = QString());
    // Starts `request`; `start` gets the encoded paths. False (and a completion) when a
    // path cannot be written in the server's character set.
    bool encodePaths(RemoteRequest request, const QStringList &paths, QList<QByteArray> &encoded);
    QString decode(const QByteArray &bytes);
    void writeListing();
    static int codeOf(SftpError error);

    std::unique_ptr<SftpSession> m_session;
    // The remote request running now and what its SFTP steps do next.
    std::optional<RemoteRequest> m_running;
    std::function<void(SftpError, const QString &)> m_next;
    QByteArray m_folder; // the current folder, as the server's bytes
    bool m_utf8 = true;
    bool m_connecting = false;
    QString m_lastReply, m_folderResult;
    std::int64_t m_sizeResult = -1;
    QDateTime m_modifiedResult;
    std::int64_t m_announced = -1;
    QString m_downloadPath; // the local file of the last download
    std::int64_t m_offset = 0;
    std::int64_t m_maxBytes = 0;
    bool m_listingCut = false;
    int m_closeCode = 0;
    QString m_refusal;
};
