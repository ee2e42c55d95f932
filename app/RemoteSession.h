#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

// What a remote session was asked to do; each request ends with one completion naming it.
enum class RemoteRequest {
    Connect,      // connect and log in (SFTP: host key, authentication, the login folder)
    ChangeFolder, // the session's current folder
    PrintFolder,  // the current folder, as folderResult()
    TypeSwitch,   // text or binary transfers
    List,         // the current folder's listing, as text through the listing path
    Get,
    Put,
    Size,
    MakeFolder,
    RemoveFolder,
    Delete,
    Rename,
    Chmod,
    ModifiedTime,    // one file's modification time, as modifiedTimeResult()
    SetModifiedTime, // give one file a modification time
    Quote,           // a raw command (FTP only)
    KeepAlive,       // a round trip that keeps an idle connection open
    Other,
};

inline bool isTransferRequest(RemoteRequest request)
{
    return request == RemoteRequest::Get || request == RemoteRequest::Put;
}

// Codes a completion carries: 0 for success; below 10000 the server (or this side) refused,
// 10000 and up the connection failed. FTP completions carry the reply code or the socket
// error; SFTP completions these.
namespace RemoteCode {
constexpr int Incomplete = 426;     // a transfer ended before all its bytes were there
constexpr int LoginRefused = 530;   // authentication failed
constexpr int HostKeyRefused = 531; // the server's key was not accepted, or it changed
constexpr int Refused = 550;        // the server refused the request
constexpr int ListingCut = 552;     // a listing passed its limits
constexpr int LocalFile = 553;      // the local file could not be read or written
constexpr int ConnectionLost = 10054;
constexpr int NotConnected = 10057;
constexpr int TimedOut = 10060;
} // namespace RemoteCode

// How a folder is to be listed.
struct ListingRequest {
    // A machine-readable listing where the server offers one (FTP: MLSD); SFTP listings
    // always arrive as machine-readable lines.
    bool machine = false;
    // Options for a plain listing ("-a", "-latr"); SFTP takes none.
    QString options;
    // The most a listing may bring (bytes of text and entries; 0 for no limit). A listing
    // that passes either fails with RemoteCode::ListingCut and listingCut() is true.
    std::int64_t maxBytes = 0;
    std::int64_t maxEntries = 0;
};

// One connection to a server, as the queue's jobs use it: requests in the protocol's
// neutral words, one completion per request (carried by the session supervisor's
// requestDone), and the results a job reads afterwards. The FTP engine and the SFTP session
// are behind it (tkftpclient). Paths are the remote paths the program shows: absolute, or
// relative to the session's current folder.
//
// User-interface thread only. A request is started only on a session that is connected,
// logged in and idle; every completion is posted, never delivered inside the call.
class RemoteSession {
public:
    virtual ~RemoteSession() = default;

    // The session's name for the log ("mainFTP", "xferFTP2").
    virtual QString sessionName() const = 0;

    // --- requests ---
    virtual void changeFolder(const QString &folder) = 0;
    virtual void printFolder() = 0;
    // Lists the current folder; its text arrives through the listing path as it comes.
    virtual void listFolder(const ListingRequest &request) = 0;
    // offset 0 writes the local file anew; a larger one keeps that many bytes and fetches
    // the rest. listedSize is the size a listing showed (-1: none); SFTP asks for the first
    // data with it before the file's own size is in (which still decides).
    virtual void getFile(const QString &remote, const QString &local, std::int64_t offset, std::int64_t listedSize) = 0;
    // offset 0 writes the remote file anew; a larger one continues it from there.
    virtual void putFile(const QString &local, const QString &remote, std::int64_t offset) = 0;
    virtual void querySize(const QString &remote) = 0;
    virtual void makeFolder(const QString &path) = 0;
    virtual void removeFolder(const QString &path) = 0;
    virtual void deleteFile(const QString &path) = 0;
    // Never meant to replace an existing target.
    virtual void rename(const QString &from, const QString &to) = 0;
    // mode: octal digits ("644").
    virtual void changeMode(const QString &path, const QString &mode) = 0;
    // Text or binary transfers from now on (completes at once where the protocol has no
    // text mode).
    virtual void setTextMode(bool text) = 0;
    // The modification time of one remote file (UTC, whole seconds), as
    // modifiedTimeResult(). Only where canQueryModifiedTime().
    virtual void queryModifiedTime(const QString &remote) = 0;
    // Gives a remote file a modification time (UTC; whole seconds are kept). Only where
    // canSetModifiedTime().
    virtual void setModifiedTime(const QString &remote, const QDateTime &modified) = 0;
    // A round trip on an idle connection; `ftpCommand` is what an FTP session sends.
    virtual void keepAlive(const QString &ftpCommand) = 0;
    // Ends a running transfer from this side; it completes as failed, the partial file kept.
    virtual void abortTransfer() = 0;

    // --- results ---
    // The server's last answer (FTP: the last reply line; SFTP: what the last request ended with).
    virtual QString lastReply() const = 0;
    virtual QString folderResult() const = 0;
    // The size a Size request found.
    virtual std::int64_t sizeResult() const = 0;
    // The time the last ModifiedTime request found (UTC); invalid when it found none.
    virtual QDateTime modifiedTimeResult() const = 0;
    // Whether the server can tell and set a file's modification time (FTP: MDTM and MFMT
    // in its FEAT reply; SFTP: always, through the file's attributes).
    virtual bool canQueryModifiedTime() const = 0;
    virtual bool canSetModifiedTime() const = 0;
    // The size the last download announced it would bring; -1 when none.
    virtual std::int64_t announcedSize() const = 0;
    // What the last download's local file holds: a regular file's length, read without a
    // look-up by name where the protocol can; for a device or a pipe the bytes written to it.
    virtual std::int64_t downloadedLength() const = 0;
    // Bytes the running or last transfer moved, not counting its restart offset.
    virtual std::int64_t bytesMoved() const = 0;
    virtual bool binaryMode() const = 0;
    // Whether text transfers differ from binary ones (FTP's TYPE A); false for SFTP.
    virtual bool hasTextMode() const = 0;
    // A feature the server announced ("MLST"); SFTP offers every listing as machine lines.
    virtual bool hasFeature(const QString &name) const = 0;
    virtual bool listingCut() const = 0;
    // Listings are made from the entries' own attributes (SFTP): always machine lines, and a
    // link is always marked as a link, so no second listing is needed to tell them apart.
    virtual bool attributeListings() const = 0;
    // The host the session is connected to, for the folder cache.
    virtual QString remoteHost() const = 0;

    // The raw text of the last complete listing (for `ls --raw` and the debug menu).
    QString lastListing;
};
