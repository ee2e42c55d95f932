#pragma once

#include "sites/SiteRecord.h"

class SecretStore;

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// The most recent distinct logins (host, user name, password, port, protocol) with the remote
// folder last used there, newest first. Each entry is held as its stored line: the fields
// joined by "§". An FTP login is five fields, as it always was, so every older file reads as
// FTP; an SFTP login adds two, "sftp" and the key file it used (may be empty). The key of an
// entry is host, user, password, port and protocol; two keys match when their hosts are equal
// ignoring letter case and the rest are equal exactly.
//
// The file is an encoded list (one base64 line per entry line, CR LF line ends). It holds
// passwords, so it is written atomically with mode 0600.
//
// With a secret store, passwords go there instead: the entry line keeps an empty password
// and one more line, "PassInKeyring=" followed by one key per entry (comma-separated,
// empty for an entry whose password is in the file), says which. That line has no "§",
// so a reader that does not know it drops it and sees empty passwords.
class ConnectionHistory {
public:
    static const QString kKeyringMarker; // "PassInKeyring="

    static constexpr QChar kSeparator = QChar(0xA7);
    static constexpr int kFields = 5;     // an FTP entry
    static constexpr int kSftpFields = 7; // an SFTP entry: "sftp" and the key file follow

    struct Entry {
        QString host, user, password, port, rFolder;
        SiteProtocol protocol = SiteProtocol::Ftp;
        QString keyFile; // SFTP: the key file the login named; empty for none
    };

    const QStringList &lines() const { return m_lines; }
    qsizetype size() const { return m_lines.size(); }
    bool isEmpty() const { return m_lines.isEmpty(); }
    // The entry at a position (0 is the newest); empty fields for a position out of range.
    Entry entry(qsizetype index) const;
    // Replaces the whole list (lines in stored form); lines that are no entry (not five
    // fields, nor seven of an SFTP entry) are dropped.
    void setLines(const QStringList &lines);

    // Records a login: an entry with the same key is removed, the new one goes on top
    // (with the site's rFolder when saveRFolder, and an SFTP site's key file), then the list
    // is cut to maxEntries.
    // Returns false, recording nothing, when a field holds "§", CR or LF: such a line
    // would split into the wrong fields when read back.
    bool add(const tSiteRecord &site, bool saveRFolder, int maxEntries);
    // The newest entry whose key matches, or -1.
    qsizetype find(const QString &host, const QString &user, const QString &password, const QString &port,
                   SiteProtocol protocol = SiteProtocol::Ftp) const;
    // Fills Host, User, Pass, Port, rFolder, protocol and keyFile of site from the matching
    // entry (the stored spelling wins), or from the arguments with an empty rFolder and key
    // file; name becomes the host. Other fields are left alone.
    void lookup(const QString &host, const QString &user, const QString &password, const QString &port,
                tSiteRecord &site, SiteProtocol protocol = SiteProtocol::Ftp) const;
    // Removes entries beyond maxEntries (at least one is kept).
    void trim(int maxEntries);
    // Removes the entries at the given positions.
    void remove(QList<qsizetype> positions);
    void clear() { m_lines.clear(); }

    // Reads the file; a missing file gives an empty history. A damaged file keeps what
    // could be read. Returns false when the file exists but cannot be read; damaged() then,
    // and when a line was no entry, is true.
    bool load(const QString &path);
    bool damaged() const { return m_damaged; }
    // Writes the file (an empty history writes an empty file). Returns false with *error.
    bool save(const QString &path, QString *error = nullptr) const;

    // Passwords in a secret store (nullptr: none). With storeNew, save puts passwords
    // there; without, it writes them into the file and removes the store's entries. An entry
    // whose stored password could not be read keeps its mark, so a later save loses nothing.
    void setSecretStore(SecretStore *store, bool storeNew);
    static QString secretKey(const QString &id);

    static QString join(const Entry &e);
    static Entry split(const QString &line);

private:
    QStringList m_lines;
    bool m_damaged = false;
    SecretStore *m_secrets = nullptr;
    bool m_storeNew = false;
    // The store's key of a line (as held in m_lines), and what the store is known to hold.
    mutable QHash<QString, QString> m_ids;
    mutable QHash<QString, QString> m_known;
};
