#include "sites/ConnectionHistory.h"

#include "base/Files.h"
#include "base/TextCodec.h"
#include "sites/SecretStore.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>

namespace {

bool unsafeField(const QString &field)
{
    return field.contains(ConnectionHistory::kSeparator) || field.contains(u'\r') || field.contains(u'\n');
}

const QString kSftpMark = QStringLiteral("sftp");

bool sameKey(const ConnectionHistory::Entry &a, const QString &host, const QString &user, const QString &password,
             const QString &port, SiteProtocol protocol)
{
    return a.host.compare(host, Qt::CaseInsensitive) == 0 && a.user == user && a.password == password &&
           a.port == port && a.protocol == protocol;
}

// Five fields (FTP) or seven whose sixth says "sftp".
bool isEntryLine(const QString &line)
{
    const qsizetype separators = line.count(ConnectionHistory::kSeparator);
    if (separators == ConnectionHistory::kFields - 1)
        return true;
    return separators == ConnectionHistory::kSftpFields - 1 &&
           line.section(ConnectionHistory::kSeparator, 5, 5) == kSftpMark;
}

bool wellFormed(const QString &line)
{
    return isEntryLine(line) && !line.contains(u'\r') && !line.contains(u'\n');
}

} // namespace

const QString ConnectionHistory::kKeyringMarker = QStringLiteral("PassInKeyring=");

void ConnectionHistory::setSecretStore(SecretStore *store, bool storeNew)
{
    m_secrets = store;
    m_storeNew = storeNew;
}

QString ConnectionHistory::secretKey(const QString &id)
{
    return QStringLiteral("connection history/") + id;
}

QString ConnectionHistory::join(const Entry &e)
{
    const QString sep(kSeparator);
    const QString line = e.host + sep + e.user + sep + e.password + sep + e.port + sep + e.rFolder;
    return e.protocol == SiteProtocol::Sftp ? line + sep + kSftpMark + sep + e.keyFile : line;
}

ConnectionHistory::Entry ConnectionHistory::split(const QString &line)
{
    const QStringList f = line.split(kSeparator);
    auto field = [&f](int i) { return i < f.size() ? f[i] : QString(); };
    const bool sftp = f.size() == kSftpFields && field(5) == kSftpMark;
    return {field(0),
            field(1),
            field(2),
            field(3),
            field(4),
            sftp ? SiteProtocol::Sftp : SiteProtocol::Ftp,
            sftp ? field(6) : QString()};
}

ConnectionHistory::Entry ConnectionHistory::entry(qsizetype index) const
{
    if (index < 0 || index >= m_lines.size())
        return {};
    return split(m_lines[index]);
}

void ConnectionHistory::setLines(const QStringList &lines)
{
    m_lines.clear();
    for (const QString &line : lines) {
        if (isEntryLine(line))
            m_lines.append(line);
    }
}

bool ConnectionHistory::add(const tSiteRecord &site, bool saveRFolder, int maxEntries)
{
    const bool sftp = site.protocol == SiteProtocol::Sftp;
    Entry e{site.Host.text(),
            site.User.text(),
            site.Pass.text(),
            site.Port.text(),
            saveRFolder ? site.rFolder.text() : QString(),
            site.protocol,
            sftp ? site.keyFile : QString()};
    for (const QString *field : {&e.host, &e.user, &e.password, &e.port, &e.rFolder, &e.keyFile}) {
        if (unsafeField(*field))
            return false;
    }
    const qsizetype old = find(e.host, e.user, e.password, e.port, e.protocol);
    if (old >= 0)
        m_lines.removeAt(old);
    m_lines.prepend(join(e));
    trim(maxEntries);
    return true;
}

qsizetype ConnectionHistory::find(const QString &host, const QString &user, const QString &password,
                                  const QString &port, SiteProtocol protocol) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (sameKey(split(m_lines[i]), host, user, password, port, protocol))
            return i;
    }
    return -1;
}

void ConnectionHistory::lookup(const QString &host, const QString &user, const QString &password, const QString &port,
                               tSiteRecord &site, SiteProtocol protocol) const
{
    const qsizetype at = find(host, user, password, port, protocol);
    if (at >= 0) {
        const Entry e = entry(at);
        site.Host = e.host;
        site.User = e.user;
        site.Pass = e.password;
        site.Port = e.port;
        site.rFolder = e.rFolder;
        site.keyFile = e.keyFile;
    } else {
        site.Host = host;
        site.User = user;
        site.Pass = password;
        site.Port = port;
        site.rFolder = QString();
        site.keyFile.clear();
    }
    site.protocol = protocol;
    site.name = site.Host.text();
}

void ConnectionHistory::trim(int maxEntries)
{
    const qsizetype keep = std::max(1, maxEntries);
    while (m_lines.size() > keep)
        m_lines.removeLast();
}

void ConnectionHistory::remove(QList<qsizetype> positions)
{
    std::sort(positions.begin(), positions.end(), std::greater<>());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    for (qsizetype at : positions) {
        if (at >= 0 && at < m_lines.size())
            m_lines.removeAt(at);
    }
}

bool ConnectionHistory::load(const QString &path)
{
    m_lines.clear();
    m_ids.clear();
    m_known.clear();
    m_damaged = false;
    if (!QFileInfo::exists(path))
        return true;
    bool ok = false;
    const QByteArray data = readWholeFile(path, &ok);
    if (!ok) {
        m_damaged = true;
        return false;
    }
    QStringList lines;
    QStringList ids;
    for (QByteArray raw : data.split('\n')) {
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.isEmpty())
            continue;
        // Decoded to text first, then split: a UTF-8 byte A7 inside "ç" is no separator.
        const QString line = TextCodec::decodeStored(Base64::decodeLenient(raw));
        if (line.startsWith(kKeyringMarker))
            ids = line.mid(kKeyringMarker.size()).split(u',');
        else if (isEntryLine(line))
            lines.append(line);
        else
            m_damaged = true;
    }
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString id = i < ids.size() ? ids[i].trimmed() : QString();
        Entry e = split(lines[i]);
        if (id.isEmpty() || !e.password.isEmpty())
            continue;
        QString secret;
        if (m_secrets && m_secrets->read(secretKey(id), secret) == SecretStore::Status::Ok) {
            e.password = secret;
            lines[i] = join(e);
            m_known.insert(id, secret);
        }
        m_ids.insert(lines[i], id);
    }
    setLines(lines);
    return true;
}

bool ConnectionHistory::save(const QString &path, QString *error) const
{
    QByteArray bytes;
    QStringList ids;
    QSet<QString> used;
    bool anyInStore = false;
    auto newId = [&] {
        QString id;
        do {
            id = QString::number(QRandomGenerator::global()->generate64(), 36);
        } while (used.contains(id) || m_known.contains(id));
        return id;
    };
    for (const QString &line : m_lines) {
        if (!wellFormed(line))
            continue;
        Entry e = split(line);
        QString id = m_ids.value(line);
        if (!e.password.isEmpty()) {
            if (m_secrets && m_storeNew) {
                if (id.isEmpty())
                    id = newId();
                const bool held = m_known.contains(id) && m_known.value(id) == e.password;
                if (held || m_secrets->write(secretKey(id), e.password) == SecretStore::Status::Ok) {
                    m_known.insert(id, e.password);
                    m_ids.insert(line, id);
                    e.password.clear();
                } else {
                    id.clear();
                }
            } else {
                id.clear();
            }
        }
        // An empty password with a key is one the store holds but did not give back: the
        // key stays so that the password is not lost.
        if (!id.isEmpty()) {
            used.insert(id);
            anyInStore = true;
        }
        ids.append(id);
        bytes += Base64::encode(TextCodec::encodeStored(join(e)));
        bytes += "\r\n";
    }
    if (anyInStore) {
        bytes += Base64::encode(TextCodec::encodeStored(kKeyringMarker + ids.join(u',')));
        bytes += "\r\n";
    }
    if (!saveFileAtomically(path, bytes, error, FileAccess::OwnerOnly))
        return false;
    // Entries the file no longer refers to leave the store.
    if (m_secrets) {
        for (auto it = m_known.begin(); it != m_known.end();) {
            if (used.contains(it.key()) || m_secrets->remove(secretKey(it.key())) != SecretStore::Status::Ok) {
                ++it;
                continue;
            }
            it = m_known.erase(it);
        }
    }
    return true;
}
