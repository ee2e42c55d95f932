#include "sites/TrustedCertificates.h"

#include "base/Files.h"

#include <QFile>

QString TrustedCertificates::normalise(const QString &sha256)
{
    QString hex = sha256.trimmed().toUpper();
    hex.remove(QLatin1Char(':'));
    if (hex.size() != 64)
        return {};
    for (const QChar c : hex) {
        if (!c.isDigit() && (c < QLatin1Char('A') || c > QLatin1Char('F')))
            return {};
    }
    QStringList pairs;
    for (qsizetype i = 0; i < hex.size(); i += 2)
        pairs << hex.mid(i, 2);
    return pairs.join(QLatin1Char(':'));
}

QString TrustedCertificates::serverKey(const QString &host, int port)
{
    return host.trimmed().toLower() + QLatin1Char(':') + QString::number(port);
}

bool TrustedCertificates::load(QString *error)
{
    m_entries.clear();
    if (!QFile::exists(m_path))
        return true;
    bool ok = false;
    const QByteArray bytes = readWholeFile(m_path, &ok);
    if (!ok) {
        if (error)
            *error = QStringLiteral("Cannot read %1").arg(m_path);
        return false;
    }
    for (const QString &line : QString::fromUtf8(bytes).split(QLatin1Char('\n'))) {
        const QStringList parts = line.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() != 2 || !parts[0].contains(QLatin1Char(':')))
            continue;
        const QString fingerprint = normalise(parts[1]);
        if (!fingerprint.isEmpty())
            m_entries.append({parts[0].toLower(), fingerprint});
    }
    return true;
}

QStringList TrustedCertificates::fingerprints(const QString &host, int port) const
{
    const QString key = serverKey(host, port);
    QStringList out;
    for (const Entry &e : m_entries) {
        if (e.server == key)
            out << e.sha256;
    }
    return out;
}

bool TrustedCertificates::changedFor(const QString &host, int port, const QString &sha256) const
{
    const QStringList known = fingerprints(host, port);
    return !known.isEmpty() && !known.contains(normalise(sha256));
}

bool TrustedCertificates::trust(const QString &host, int port, const QString &sha256, QString *error)
{
    const QString fingerprint = normalise(sha256);
    if (fingerprint.isEmpty() || host.trimmed().isEmpty() || host.contains(QLatin1Char(' ')) ||
        host.contains(QLatin1Char('\n'))) {
        if (error)
            *error = QStringLiteral("Not a host and a SHA-256 fingerprint");
        return false;
    }
    if (fingerprints(host, port).contains(fingerprint))
        return true;
    QList<Entry> entries = m_entries;
    entries.append({serverKey(host, port), fingerprint});
    if (!save(entries, error))
        return false;
    m_entries = entries;
    return true;
}

bool TrustedCertificates::forget(const QString &host, int port, const QString &sha256, QString *error)
{
    const QString key = serverKey(host, port);
    const QString fingerprint = normalise(sha256);
    QList<Entry> entries = m_entries;
    entries.removeIf([&](const Entry &e) { return e.server == key && e.sha256 == fingerprint; });
    if (entries.size() == m_entries.size())
        return true;
    if (!save(entries, error))
        return false;
    m_entries = entries;
    return true;
}

bool TrustedCertificates::save(const QList<Entry> &entries, QString *error) const
{
    QByteArray bytes;
    for (const Entry &e : entries)
        bytes += (e.server + QLatin1Char(' ') + e.sha256 + QLatin1Char('\n')).toUtf8();
    return saveFileAtomically(m_path, bytes, error, FileAccess::OwnerOnly);
}
