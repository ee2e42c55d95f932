#pragma once

#include "sftp/SftpTypes.h"

#include <QString>
#include <QStringList>

struct _LIBSSH2_SESSION;

// The known-hosts files in OpenSSH's format (plain and hashed host names, "[host]:port"
// for other ports than 22). Only lines for the key type the server showed are compared, so
// a host known with another type of key is asked about, not refused.
namespace SftpKnownHosts {

enum class Verdict { Known, Unknown, Changed };

struct Result {
    Verdict verdict = Verdict::Unknown;
    // For Changed: the fingerprint of the key known before, and the file that holds it.
    QString knownFingerprint;
    QString file;
};

// Checks the key against every file (missing files count as empty). A line that matches
// makes the host known; otherwise a line for the host with another key of the same type
// makes it changed.
Result check(_LIBSSH2_SESSION *session, const QStringList &files, const SftpHostKey &key);

// "SHA256:" and the unpadded base64 of the SHA-256 of the key's wire form.
QString fingerprint(const QByteArray &blob);

// The host as a known-hosts line names it: "host" for port 22, "[host]:port" otherwise.
QByteArray hostField(const QString &host, int port);

// Adds the key to the file: the old lines and the new one are written to a temporary file
// that replaces the old one, mode 0600. False with *error set when it could not be written.
bool append(const QString &file, const SftpHostKey &key, QString *error);

} // namespace SftpKnownHosts
