#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>

// What an SftpSession was asked to do; every request ends with one requestDone naming it.
enum class SftpRequest {
    Connect,      // TCP (direct or through SOCKS) and the SSH handshake
    HostKey,      // the server's key checked against the known hosts, or put to the user
    Authenticate, // agent, key files, keyboard-interactive, password; then the SFTP channel
    List,
    Stat,
    Get,
    Put,
    MakeFolder,
    RemoveFolder,
    Delete,
    Rename,
    Chmod,
    SetTimes,
    RealPath,
    KeepAlive,
    Disconnect,
};

QString sftpRequestName(SftpRequest request);

// How a request ended. Remote is a refusal by the server (the SFTP status is in the text);
// the session stays usable after Remote, LocalFile, Incomplete, Busy and NotConnected.
// After Network, Timeout, Protocol and the host-key and authentication failures the
// session is closed (sessionClosed) and can connect again.
enum class SftpError {
    None = 0,
    Network,        // the connection failed or was lost
    Timeout,        // a wait ran past its bound
    Protocol,       // the SSH layer failed (handshake, channel)
    HostKeyRefused, // unknown key not accepted by the user
    HostKeyChanged, // the key differs from the one known for this host
    AuthFailed,
    Remote,
    LocalFile,
    Incomplete, // a transfer ended before all its bytes were there
    Busy,       // another request is running
    NotConnected,
    Cancelled,
};

enum class SftpEntryType { File, Folder, Link, Other };

// One entry as the server's attributes describe it (never followed through a link).
struct SftpEntry {
    QByteArray name; // byte-exact, as the server sent it
    SftpEntryType type = SftpEntryType::Other;
    bool hasSize = false;
    uint64_t size = 0;
    QDateTime modified; // UTC; invalid when the server sent no time
    bool hasPermissions = false;
    unsigned permissions = 0; // the nine rwx bits and setuid/setgid/sticky
};

// The server's key as the handshake showed it.
struct SftpHostKey {
    QString host;
    int port = 22;
    QString type;        // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa", ...
    QString fingerprint; // "SHA256:" and the unpadded base64 of the key's SHA-256
    QByteArray blob;     // the key in the SSH wire form
};

enum class SftpHostKeyAnswer { Cancel, TrustOnce, TrustAlways };
