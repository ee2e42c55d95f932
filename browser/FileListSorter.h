#pragma once

#include "browser/FileTypeNames.h"
#include "listing/FolderEntries.h"

#include <QCollator>

#include <vector>

// The entry list behind a file list, as the sorter reads it.
class EntrySource {
public:
    virtual ~EntrySource() = default;
    virtual int entryCount() const = 0;
    // Null when index is not a valid index of the list (while the list is being replaced).
    virtual const tFolderEntryObject *entryAt(int index) const = 0;
};

// Orders the rows of a file list. Folders come before files; then the column's value
// decides (names by the locale's case-sensitive collation, sizes, type texts, dates older
// first, permission codes), and equal values are ordered by name. The sort is stable, and
// descending order is the exact reverse of the comparison, so files come first.
//
// Collating 100,000 names one comparison at a time is too slow for a header click, so the
// sorter ranks all names of the entry list once (by collation keys) and sorts by the ranks;
// type texts are ranked the same way. The ranks belong to one entry list: invalidate() them
// whenever the list is refilled.
class FileListSorter {
public:
    enum Column { Name, Size, Type, Date, Attr };

    FileListSorter();

    void invalidate();
    // rows holds entry indices; indices that are not valid in `entries` sort after all others.
    void sort(std::vector<int> &rows, const EntrySource &entries, int column, Qt::SortOrder order,
              FileTypeNames &types);

private:
    void rankNames(const EntrySource &entries);
    void rankTypes(const EntrySource &entries, FileTypeNames &types);

    QCollator m_collator;
    std::vector<int> m_nameRanks;
    std::vector<int> m_typeRanks;
    bool m_namesRanked = false;
    bool m_typesRanked = false;
};
