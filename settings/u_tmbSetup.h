#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

// The settings store: named text values with typed reads that take their default at the
// call site. Keys compare without regard to letter case; lookups go through a hash of the
// case-folded keys. In the file each entry is one line "key§value", base64-encoded when
// `encoded` is set. Every write that changes a value emits valueChanged, so views re-read
// only what changed.
//
// User-interface thread only; no locks. valueChanged is emitted from inside the write: a
// receiver may read the store but should not write the same key again.
class tSetupClass : public QObject {
    Q_OBJECT
public:
    // The four characters a raw read returns for a key that has no entry.
    static const QString kMissing;
    // The separator between key and value: the section sign, byte 0xA7 on disk.
    static constexpr QChar kSeparator = QChar(0xA7);
    // Raw reads return at most this many characters of a value.
    static constexpr int kReadLimit = 999;

    struct Entry {
        QString key;
        QString line; // key, separator, value
    };

    // A new store keeps its entries sorted by key. The program's main store starts
    // unsorted (file order, new keys appended) until an existing entry is written.
    explicit tSetupClass(bool sorted = true, QObject *parent = nullptr) : QObject(parent), m_sorted(sorted) {}

    bool encoded = false;

    // Appends the file's entries. False when the file exists and could not be read, or holds
    // a line that is no "key§value" entry (the file is damaged; what could be read is kept).
    bool load(const QString &path);
    // Writes every entry, replacing the file atomically and readable by its owner only (the
    // store may hold the launch password). On failure the old file stays, the store is
    // unchanged, and false is returned with the reason in *error.
    bool save(const QString &path, QString *error = nullptr) const;

    QString getRaw(const QString &key) const;
    QString getString(const QString &key, const QString &def) const;
    bool getBool(const QString &key, bool def) const;
    std::int64_t getInt(const QString &key, std::int64_t def) const;

    void setString(const QString &key, const QString &value);
    void setBool(const QString &key, bool value);
    void setInt(const QString &key, std::int64_t value);

    bool exists(const QString &key) const { return getRaw(key) != kMissing; }

    const std::vector<Entry> &settingEntries() const { return m_entries; }
    bool isSorted() const { return m_sorted; }

    // Used by the old-format conversion: append as read, then sort and drop repeats.
    void appendEntry(const QString &key, const QString &line);
    void sortEntries();
    void removeAdjacentDuplicateKeys();

signals:
    // A key's value was written with a different text than it had (or it had none).
    void valueChanged(const QString &key);

private:
    int indexOf(const QString &key) const;
    void rebuildIndex() const;

    std::vector<Entry> m_entries;
    bool m_sorted;
    // Case-folded key -> position of its first entry in m_entries; rebuilt when positions move.
    mutable QHash<QString, int> m_index;
    mutable bool m_indexValid = false;
};

// Parses a signed 64-bit decimal integer: leading blanks and one sign allowed, nothing
// after the digits. Returns false on any other text or on overflow.
bool parseInt64(const QString &text, std::int64_t *out);

// Encoded list files: one base64 line per text, CR LF after each. Errors (a missing or
// unwritable file) are raised as FileError to the caller.
void saveEncodedList(const QStringList &list, const QString &path);
void loadEncodedList(QStringList &list, const QString &path);

// Reads the two files of the older settings format from dataFolder into store, deletes
// them, and leaves the store sorted without repeated keys. writeLog receives the
// program message announcing the conversion.
void convertOldFormat(tSetupClass &store, const QString &dataFolder,
                      const std::function<void(const QString &)> &writeLog = {});
