#include "browser/SyncTrees.h"

#include <QDir>
#include <QFileInfo>

namespace {

SyncEntry localEntry(const QFileInfo &info)
{
    SyncEntry e;
    e.entry.name = info.fileName();
    if (info.isSymLink()) {
        e.kind = SyncEntry::Kind::Link;
    } else if (info.isDir()) {
        e.kind = SyncEntry::Kind::Folder;
        e.entry.isFolder = true;
    } else if (!info.isFile()) {
        e.kind = SyncEntry::Kind::Special;
    }
    e.entry.size = e.entry.isFolder ? -1 : info.size();
    const QDateTime modified = info.lastModified();
    e.entry.time = packFileTime(modified.date(), modified.time());
    return e;
}

void scanLocal(const QString &root, const QString &relative, int depthLimit, SyncTree &tree)
{
    const QDir dir(root + relative);
    if (!dir.exists() || !dir.isReadable())
        return;
    std::vector<SyncEntry> &entries = tree[relative];
    const QFileInfoList infos =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &info : infos)
        entries.push_back(localEntry(info));
    const int depth = static_cast<int>(relative.count(QLatin1Char('/')));
    if (depth >= depthLimit)
        return;
    for (const SyncEntry &e : entries) { // map nodes stay put while the recursion adds more
        if (e.kind == SyncEntry::Kind::Folder && syncableName(e.name()))
            scanLocal(root, relative + e.name() + QLatin1Char('/'), depthLimit, tree);
    }
}

void collectRemote(const BrowserState &state, const QString &root, const QString &relative, int depthLimit,
                   SyncTree &tree)
{
    const tFolderObject *cached = state.findCachedFolder(root + relative);
    if (!cached || cached->needsRefresh)
        return;
    std::vector<SyncEntry> &entries = tree[relative];
    for (const auto &listed : cached->folderEntries)
        entries.push_back(syncEntryOf(listed.entry));
    const int depth = static_cast<int>(relative.count(QLatin1Char('/')));
    if (depth >= depthLimit)
        return;
    for (const SyncEntry &e : entries) { // map nodes stay put while the recursion adds more
        if (e.kind == SyncEntry::Kind::Folder && syncableName(e.name()))
            collectRemote(state, root, relative + e.name() + QLatin1Char('/'), depthLimit, tree);
    }
}

} // namespace

SyncTree localSyncTree(const QString &root, int depthLimit)
{
    SyncTree tree;
    scanLocal(root, QString(), depthLimit, tree);
    return tree;
}

SyncTree remoteSyncTree(const BrowserState &state, const QString &root, int depthLimit)
{
    SyncTree tree;
    if (!root.isEmpty())
        collectRemote(state, root, QString(), depthLimit, tree);
    return tree;
}
