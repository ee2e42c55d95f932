#include "browser/CompareFolders.h"

#include <QHash>

namespace {

template <typename Entries> QHash<QString, const tFolderEntryObject *> byName(const Entries &entries)
{
    QHash<QString, const tFolderEntryObject *> index;
    index.reserve(static_cast<qsizetype>(entries.size()));
    // With duplicate names (a listing may repeat one) the first entry stands for the name.
    for (const auto &e : entries)
        if (!index.contains(e.entry.name))
            index.insert(e.entry.name, &e.entry);
    return index;
}

bool differs(const tFolderEntryObject &mine, const tFolderEntryObject *other, bool ignoreSize)
{
    if (!other || mine.isFolder != other->isFolder)
        return true;
    return !mine.isFolder && !ignoreSize && mine.size != other->size;
}

template <typename Mine, typename Other> std::vector<int> marked(const Mine &mine, const Other &other, bool ignoreSize)
{
    const auto index = byName(other);
    std::vector<int> result;
    for (size_t i = 0; i < mine.size(); ++i) {
        if (differs(mine[i].entry, index.value(mine[i].entry.name, nullptr), ignoreSize))
            result.push_back(static_cast<int>(i));
    }
    return result;
}

} // namespace

FolderDifferences compareFolders(const tLocalEntryList &local, const tRemoteEntryList &remote, bool ignoreSize)
{
    return {marked(local, remote, ignoreSize), marked(remote, local, ignoreSize)};
}
