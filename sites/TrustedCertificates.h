#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Certificates the user chose to trust always, per server: the SHA-256 fingerprints the
// engine accepts without asking (TFtpClient::SetTrustedFingerprints). One file, one line
// per certificate ("host:port AB:CD:..."), replaced atomically and readable by the user
// alone (mode 0600). Lines that are not of that form are skipped when read and dropped at
// the next save.
class TrustedCertificates {
public:
    explicit TrustedCertificates(QString path) : m_path(std::move(path)) {}

    // Reads the file; a missing file is an empty store. False (with the reason) when the
    // file exists and cannot be read.
    bool load(QString *error = nullptr);
    QStringList fingerprints(const QString &host, int port) const;
    // The server is known with other certificates than this one: its certificate changed,
    // which the program shows as a warning rather than a first meeting.
    bool changedFor(const QString &host, int port, const QString &sha256) const;
    // Adds the fingerprint (once) and saves. False (with the reason) when it is no SHA-256
    // fingerprint or the file cannot be written; the store is then unchanged.
    bool trust(const QString &host, int port, const QString &sha256, QString *error = nullptr);
    bool forget(const QString &host, int port, const QString &sha256, QString *error = nullptr);

    // "AB:CD:..." in upper case from any spelling with or without colons; empty when the
    // text is not 32 bytes of hex.
    static QString normalise(const QString &sha256);

private:
    struct Entry {
        QString server; // "host:port", host in lower case
        QString sha256;
    };
    static QString serverKey(const QString &host, int port);
    bool save(const QList<Entry> &entries, QString *error) const;

    QString m_path;
    QList<Entry> m_entries;
};
