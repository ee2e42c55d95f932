#include "sftp/SftpKnownHosts.h"

#include "base/Files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <libssh2.h>

namespace SftpKnownHosts {

namespace {

int keyBit(const QString &type)
{
    if (type == QLatin1String("ssh-rsa"))
        return LIBSSH2_KNOWNHOST_KEY_SSHRSA;
    if (type == QLatin1String("ssh-dss"))
        return LIBSSH2_KNOWNHOST_KEY_SSHDSS;
    if (type == QLatin1String("ecdsa-sha2-nistp256"))
        return LIBSSH2_KNOWNHOST_KEY_ECDSA_256;
    if (type == QLatin1String("ecdsa-sha2-nistp384"))
        return LIBSSH2_KNOWNHOST_KEY_ECDSA_384;
    if (type == QLatin1String("ecdsa-sha2-nistp521"))
        return LIBSSH2_KNOWNHOST_KEY_ECDSA_521;
    if (type == QLatin1String("ssh-ed25519"))
        return LIBSSH2_KNOWNHOST_KEY_ED25519;
    return LIBSSH2_KNOWNHOST_KEY_UNKNOWN;
}

} // namespace

QString fingerprint(const QByteArray &blob)
{
    const QByteArray digest = QCryptographicHash::hash(blob, QCryptographicHash::Sha256);
    return QStringLiteral("SHA256:") +
           QString::fromLatin1(digest.toBase64(QByteArray::Base64Encoding | QByteArray::OmitTrailingEquals));
}

QByteArray hostField(const QString &host, int port)
{
    if (port == 22)
        return host.toUtf8();
    return '[' + host.toUtf8() + "]:" + QByteArray::number(port);
}

Result check(LIBSSH2_SESSION *session, const QStringList &files, const SftpHostKey &key)
{
    Result result;
    const QByteArray host = key.host.toUtf8();
    const QByteArray type = key.type.toLatin1();
    const int mask = LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW | keyBit(key.type);
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (const QByteArray &raw : lines) {
            const QByteArray line = raw.trimmed();
            // Comments, and marked lines (@cert-authority, @revoked), which this check does
            // not take as a trusted key.
            if (line.isEmpty() || line.startsWith('#') || line.startsWith('@'))
                continue;
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 3 || fields.at(1) != type)
                continue;
            // One line at a time, so that every line for the host is compared, not only
            // the first the library finds.
            LIBSSH2_KNOWNHOSTS *hosts = libssh2_knownhost_init(session);
            if (!hosts)
                return result;
            const QByteArray text = line + '\n';
            struct libssh2_knownhost *entry = nullptr;
            int verdict = LIBSSH2_KNOWNHOST_CHECK_FAILURE;
            if (libssh2_knownhost_readline(hosts, text.constData(), static_cast<size_t>(text.size()),
                                           LIBSSH2_KNOWNHOST_FILE_OPENSSH) == 0)
                verdict = libssh2_knownhost_checkp(hosts, host.constData(), key.port, key.blob.constData(),
                                                   static_cast<size_t>(key.blob.size()), mask, &entry);
            if (verdict == LIBSSH2_KNOWNHOST_CHECK_MATCH) {
                libssh2_knownhost_free(hosts);
                return {Verdict::Known, QString(), path};
            }
            if (verdict == LIBSSH2_KNOWNHOST_CHECK_MISMATCH && result.verdict == Verdict::Unknown) {
                result.verdict = Verdict::Changed;
                result.file = path;
                if (entry && entry->key)
                    result.knownFingerprint = fingerprint(QByteArray::fromBase64(QByteArray(entry->key)));
            }
            libssh2_knownhost_free(hosts);
        }
    }
    return result;
}

bool append(const QString &path, const SftpHostKey &key, QString *error)
{
    bool ok = false;
    QByteArray bytes = readWholeFile(path, &ok);
    if (!ok && QFileInfo::exists(path)) {
        if (error)
            *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes += '\n';
    bytes += hostField(key.host, key.port) + ' ' + key.type.toLatin1() + ' ' + key.blob.toBase64() + '\n';
    QDir().mkpath(QFileInfo(path).path());
    return saveFileAtomically(path, bytes, error, FileAccess::OwnerOnly);
}

} // namespace SftpKnownHosts
