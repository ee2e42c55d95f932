#include "sites/ConnectionHistory.h"

#include "base/Files.h"
#include "base/TextCodec.h"

#include <QFileInfo>

#include <algorithm>

namespace {

bool unsafeField(const QString &field)
{
    return field.contains(ConnectionHistory::kSeparator) || field.contains(u'\r') || field.contains(u'\n');
}

bool sameKey(const ConnectionHistory::Entry &a, const QString &host, const QString &user, const QString &password,
             const QString &port)
{
    return a.host.compare(host, Qt::CaseInsensitive) == 0 && a.user == user && a.password == password && a.port == port;
}

} // namespace

QString ConnectionHistory::join(const Entry &e)
{
    const QString sep(kSeparator);
    return e.host + sep + e.user + sep + e.password + sep + e.port + sep + e.rFolder;
}

ConnectionHistory::Entry ConnectionHistory::split(const QString &line)
{
    const QStringList f = line.split(kSeparator);
    auto field = [&f](int i) { return i < f.size() ? f[i] : QString(); };
    return {field(0), field(1), field(2), field(3), field(4)};
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
        if (line.count(kSeparator) == kFields - 1)
            m_lines.append(line);
    }
}

bool ConnectionHistory::add(const tSiteRecord &site, bool saveRFolder, int maxEntries)
{
    Entry e{site.Host.text(), site.User.text(), site.Pass.text(), site.Port.text(),
            saveRFolder ? site.rFolder.text() : QString()};
    for (const QString *field : {&e.host, &e.user, &e.password, &e.port, &e.rFolder}) {
        if (unsafeField(*field))
            return false;
    }
    const qsizetype old = find(e.host, e.user, e.password, e.port);
    if (old >= 0)
        m_lines.removeAt(old);
    m_lines.prepend(join(e));
    trim(maxEntries);
    return true;
}

qsizetype ConnectionHistory::find(const QString &host, const QString &user, const QString &password,
                                  const QString &port) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (sameKey(split(m_lines[i]), host, user, password, port))
            return i;
    }
    return -1;
}

void ConnectionHistory::lookup(const QString &host, const QString &user, const QString &password, const QString &port,
                               tSiteRecord &site) const
{
    const qsizetype at = find(host, user, password, port);
    if (at >= 0) {
        const Entry e = entry(at);
        site.Host = e.host;
        site.User = e.user;
        site.Pass = e.password;
        site.Port = e.port;
        site.rFolder = e.rFolder;
    } else {
        site.Host = host;
        site.User = user;
        site.Pass = password;
        site.Port = port;
        site.rFolder = QString();
    }
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
    if (!QFileInfo::exists(path))
        return true;
    bool ok = false;
    const QByteArray data = readWholeFile(path, &ok);
    if (!ok)
        return false;
    QStringList lines;
    for (QByteArray raw : data.split('\n')) {
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.isEmpty())
            continue;
        // Decoded to text first, then split: a UTF-8 byte A7 inside "ç" is no separator.
        lines.append(TextCodec::decodeStored(Base64::decodeLenient(raw)));
    }
    setLines(lines);
    return true;
}

bool ConnectionHistory::save(const QString &path, QString *error) const
{
    QByteArray bytes;
    for (const QString &line : m_lines) {
        if (line.contains(u'\r') || line.contains(u'\n') || line.count(kSeparator) != kFields - 1)
            continue;
        bytes += Base64::encode(TextCodec::encodeStored(line));
        bytes += "\r\n";
    }
    return saveFileAtomically(path, bytes, error, FileAccess::OwnerOnly);
}
