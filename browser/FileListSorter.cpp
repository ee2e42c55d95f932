#include "browser/FileListSorter.h"

#include <QHash>

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace {

enum class Kind : std::uint8_t { Folder, File, Missing };

struct SortRecord {
    std::int64_t value;
    int nameRank;
    int entry;
    Kind kind;
};

bool lessThan(const SortRecord &a, const SortRecord &b)
{
    if (a.kind != b.kind)
        return a.kind < b.kind;
    if (a.value != b.value)
        return a.value < b.value;
    return a.nameRank < b.nameRank;
}

std::int64_t columnValue(const tFolderEntryObject &e, int column, int typeRank)
{
    switch (column) {
    case FileListSorter::Size:
        return e.size;
    case FileListSorter::Type:
        return typeRank;
    case FileListSorter::Date:
        // Unsigned, so that dates from 2044 on (whose packed value has the top bit set) stay
        // after older ones; 0, no valid date, stays first.
        return static_cast<std::uint32_t>(e.time);
    case FileListSorter::Attr:
        return e.attr;
    default:
        return 0;
    }
}

} // namespace

FileListSorter::FileListSorter()
{
    m_collator.setCaseSensitivity(Qt::CaseSensitive);
}

void FileListSorter::invalidate()
{
    m_namesRanked = false;
    m_typesRanked = false;
}

void FileListSorter::rankNames(const EntrySource &entries)
{
    const int count = entries.entryCount();
    std::vector<QCollatorSortKey> keys;
    keys.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const tFolderEntryObject *e = entries.entryAt(i);
        keys.push_back(m_collator.sortKey(e ? e->name : QString()));
    }
    std::vector<int> order(static_cast<std::size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&keys](int a, int b) { return keys[a].compare(keys[b]) < 0; });
    m_nameRanks.assign(static_cast<std::size_t>(count), 0);
    for (std::size_t i = 1; i < order.size(); ++i) {
        const bool same = keys[order[i]].compare(keys[order[i - 1]]) == 0;
        m_nameRanks[order[i]] = same ? m_nameRanks[order[i - 1]] : static_cast<int>(i);
    }
    m_namesRanked = true;
}

void FileListSorter::rankTypes(const EntrySource &entries, FileTypeNames &types)
{
    const int count = entries.entryCount();
    QHash<QString, int> distinct;
    std::vector<int> textIndex(static_cast<std::size_t>(count), 0);
    QStringList texts;
    for (int i = 0; i < count; ++i) {
        const tFolderEntryObject *e = entries.entryAt(i);
        const QString text = e ? types.typeText(*e) : QString();
        auto it = distinct.constFind(text);
        if (it == distinct.constEnd()) {
            it = distinct.insert(text, static_cast<int>(texts.size()));
            texts.append(text);
        }
        textIndex[i] = *it;
    }
    std::vector<int> order(static_cast<std::size_t>(texts.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return m_collator.compare(texts[a], texts[b]) < 0; });
    std::vector<int> rankOfText(order.size(), 0);
    for (std::size_t i = 1; i < order.size(); ++i) {
        const bool same = m_collator.compare(texts[order[i]], texts[order[i - 1]]) == 0;
        rankOfText[order[i]] = same ? rankOfText[order[i - 1]] : static_cast<int>(i);
    }
    m_typeRanks.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        m_typeRanks[i] = rankOfText[textIndex[i]];
    m_typesRanked = true;
}

void FileListSorter::sort(std::vector<int> &rows, const EntrySource &entries, int column, Qt::SortOrder order,
                          FileTypeNames &types)
{
    if (!m_namesRanked || m_nameRanks.size() != static_cast<std::size_t>(entries.entryCount()))
        rankNames(entries);
    if (column == Type && (!m_typesRanked || m_typeRanks.size() != m_nameRanks.size()))
        rankTypes(entries, types);

    std::vector<SortRecord> records;
    records.reserve(rows.size());
    for (const int index : rows) {
        const tFolderEntryObject *e = entries.entryAt(index);
        if (!e || static_cast<std::size_t>(index) >= m_nameRanks.size()) {
            records.push_back({0, 0, index, Kind::Missing});
            continue;
        }
        const int typeRank = column == Type ? m_typeRanks[index] : 0;
        records.push_back(
            {columnValue(*e, column, typeRank), m_nameRanks[index], index, e->isFolder ? Kind::Folder : Kind::File});
    }
    if (order == Qt::AscendingOrder)
        std::stable_sort(records.begin(), records.end(), lessThan);
    else
        std::stable_sort(records.begin(), records.end(),
                         [](const SortRecord &a, const SortRecord &b) { return lessThan(b, a); });
    for (std::size_t i = 0; i < records.size(); ++i)
        rows[i] = records[i].entry;
}
