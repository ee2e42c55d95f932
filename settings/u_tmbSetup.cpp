#include "settings/u_tmbSetup.h"

#include "base/Errors.h"
#include "base/Files.h"
#include "base/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

const QString tSetupClass::kMissing = QString(tSetupClass::kSeparator) + QStringLiteral("na") + tSetupClass::kSeparator;

namespace {

bool keyLess(const tSetupClass::Entry &a, const tSetupClass::Entry &b)
{
    return QString::compare(a.key, b.key, Qt::CaseInsensitive) < 0;
}

// Splits file bytes into lines: CR LF, a lone CR or a lone LF end a line; a last line
// without an ending counts too.
std::vector<QByteArray> splitLines(const QByteArray &data)
{
    std::vector<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype n = data.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = data[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.emplace_back(data.mid(start, i - start));
        if (c == '\r' && i + 1 < n && data[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.emplace_back(data.mid(start));
    return lines;
}

QByteArray joinLines(const std::vector<QByteArray> &lines)
{
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + "\r\n";
    return bytes;
}

} // namespace

bool parseInt64(const QString &text, std::int64_t *out)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i >= n)
        return false;
    // Accumulate as a negative number so that the smallest 64-bit value parses too.
    std::int64_t value = 0;
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        const int digit = c - u'0';
        if (value < (kMin + digit) / 10)
            return false;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == kMin)
            return false;
        value = -value;
    }
    *out = value;
    return true;
}

bool tSetupClass::load(const QString &path)
{
    bool ok = false;
    const QByteArray data = readWholeFile(path, &ok);
    if (!ok)
        return !QFileInfo::exists(path);
    const std::vector<QByteArray> lines = splitLines(data);
    m_indexValid = false;
    m_entries.reserve(m_entries.size() + lines.size());
    bool whole = true;
    for (const QByteArray &raw : lines) {
        const QString line = TextCodec::decodeStored(encoded ? Base64::decodeLenient(raw) : raw);
        const qsizetype sep = line.indexOf(kSeparator);
        if (sep <= 0 && !raw.isEmpty())
            whole = false;
        m_entries.push_back({sep < 0 ? QString() : line.left(sep), line});
    }
    return whole;
}

bool tSetupClass::save(const QString &path, QString *error) const
{
    std::vector<QByteArray> lines;
    lines.reserve(m_entries.size());
    for (const Entry &e : m_entries) {
        const QByteArray bytes = TextCodec::encodeStored(e.line);
        lines.push_back(encoded ? Base64::encode(bytes) : bytes);
    }
    return saveFileAtomically(path, joinLines(lines), error, FileAccess::OwnerOnly);
}

void tSetupClass::rebuildIndex() const
{
    m_index.clear();
    m_index.reserve(static_cast<qsizetype>(m_entries.size()));
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const QString folded = m_entries[i].key.toCaseFolded();
        if (!m_index.contains(folded)) // the first entry of a key wins
            m_index.insert(folded, static_cast<int>(i));
    }
    m_indexValid = true;
}

int tSetupClass::indexOf(const QString &key) const
{
    if (!m_indexValid)
        rebuildIndex();
    return m_index.value(key.toCaseFolded(), -1);
}

QString tSetupClass::getRaw(const QString &key) const
{
    const int i = indexOf(key);
    if (i < 0)
        return kMissing;
    const QString &line = m_entries[static_cast<size_t>(i)].line;
    const qsizetype sep = line.indexOf(kSeparator);
    return line.mid(sep + 1, kReadLimit);
}

QString tSetupClass::getString(const QString &key, const QString &def) const
{
    const QString raw = getRaw(key);
    return raw == kMissing ? def : raw;
}

bool tSetupClass::getBool(const QString &key, bool def) const
{
    const QString raw = getRaw(key).toLower();
    if (raw == QLatin1String("true"))
        return true;
    if (raw == QLatin1String("false"))
        return false;
    return def;
}

std::int64_t tSetupClass::getInt(const QString &key, std::int64_t def) const
{
    std::int64_t value = 0;
    return parseInt64(getRaw(key), &value) ? value : def;
}

void tSetupClass::setString(const QString &key, const QString &value)
{
    const QString line = key + kSeparator + value;
    const int i = indexOf(key);
    if (i >= 0) {
        Entry &existing = m_entries[static_cast<size_t>(i)];
        const bool changed = existing.line.mid(existing.line.indexOf(kSeparator) + 1) != value;
        existing = {key, line};
        // The first write to an existing entry turns the store sorted for good.
        if (!m_sorted)
            sortEntries();
        if (changed)
            emit valueChanged(key);
        return;
    }
    Entry entry{key, line};
    if (m_sorted) {
        m_entries.insert(std::upper_bound(m_entries.begin(), m_entries.end(), entry, keyLess), std::move(entry));
        m_indexValid = false;
    } else {
        m_index.insert(key.toCaseFolded(), static_cast<int>(m_entries.size()));
        m_entries.push_back(std::move(entry));
    }
    emit valueChanged(key);
}

void tSetupClass::setBool(const QString &key, bool value)
{
    setString(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

void tSetupClass::setInt(const QString &key, std::int64_t value)
{
    setString(key, QString::number(value));
}

void tSetupClass::appendEntry(const QString &key, const QString &line)
{
    m_entries.push_back({key, line});
    m_indexValid = false;
}

void tSetupClass::sortEntries()
{
    m_sorted = true;
    std::stable_sort(m_entries.begin(), m_entries.end(), keyLess);
    m_indexValid = false;
}

void tSetupClass::removeAdjacentDuplicateKeys()
{
    for (size_t i = m_entries.size(); i-- > 1;) {
        if (m_entries[i].key == m_entries[i - 1].key)
            m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
    }
    m_indexValid = false;
}

void saveEncodedList(const QStringList &list, const QString &path)
{
    std::vector<QByteArray> lines;
    lines.reserve(static_cast<size_t>(list.size()));
    for (const QString &text : list)
        lines.push_back(Base64::encode(TextCodec::encodeStored(text)));
    saveFileAtomicallyOrThrow(path, joinLines(lines), QStringLiteral("Cannot write"));
}

void loadEncodedList(QStringList &list, const QString &path)
{
    bool ok = false;
    const QByteArray data = readWholeFile(path, &ok);
    if (!ok)
        throw FileError(QStringLiteral("Cannot read \"%1\"").arg(path));
    for (const QByteArray &raw : splitLines(data))
        list.append(TextCodec::decodeStored(Base64::decodeLenient(raw)));
}

void convertOldFormat(tSetupClass &store, const QString &dataFolder,
                      const std::function<void(const QString &)> &writeLog)
{
    if (writeLog)
        writeLog(tSetupClass::kSeparator + QStringLiteral("Converting setup file from Kestrin FTP Pro 2.6 format ..."));
    const QDir dir(dataFolder);
    const QString idsPath = dir.filePath(QStringLiteral("setupIDs.dat"));
    const QString valuesPath = dir.filePath(QStringLiteral("setupValues.dat"));
    QStringList ids;
    QStringList values;
    try {
        loadEncodedList(ids, idsPath);
        loadEncodedList(values, valuesPath);
        // Deleting the old files ends the conversion for good; a failure leaves them.
        if (QFile::remove(idsPath))
            QFile::remove(valuesPath);
    } catch (const FileError &) {
        // What was read so far is still converted below.
    }
    // Pair by position; surplus lines in either file have no partner and are dropped.
    const qsizetype n = std::min(ids.size(), values.size());
    for (qsizetype i = 0; i < n; ++i)
        store.appendEntry(ids[i], values[i]);
    store.sortEntries();
    store.removeAdjacentDuplicateKeys();
}
