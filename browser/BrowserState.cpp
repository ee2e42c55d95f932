#include "browser/BrowserState.h"

#include "base/Guard.h"

namespace {

// Later folder transfers build local paths from remote names, so a name must be exactly one
// path component: no separator, and none of the bytes that end or split a text.
bool isSingleComponentName(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (QChar c : name) {
        const char16_t u = c.unicode();
        if (u == u'/' || u == u'\0' || u == u'\r' || u == u'\n')
            return false;
    }
    return true;
}

void reportListingProblem(const QString &hostName, const QString &message, const QString &rawLine)
{
    reportBug(QStringLiteral("server: ") + hostName,
              QStringLiteral("Unable to list all entries on server.\r\n") + message + QStringLiteral("\r\n") + rawLine);
}

tNamedEntry<tFtpFolderEntryObject> cachedEntry(const tTmbFtpEntry &parsed)
{
    tNamedEntry<tFtpFolderEntryObject> item;
    item.name = parsed.name;
    tFtpFolderEntryObject &entry = item.entry;
    entry.attr = parsed.permissions;
    entry.name = parsed.name;
    entry.isFolder = parsed.isFolder;
    entry.isLink = parsed.isLink;
    entry.time = packFileTime(parsed.modified);
    entry.size = parsed.size;
    return item;
}

} // namespace

QString normalizeRemotePath(const QString &path)
{
    if (path.isEmpty())
        return path;
    QString result;
    result.reserve(path.size() + 2);
    const auto append = [&result](QChar c) {
        if (c == u'\\')
            c = u'/';
        if (c == u'/' && result.endsWith(u'/'))
            return;
        result.append(c);
    };
    append(u'/');
    for (QChar c : path)
        append(c);
    append(u'/');
    return result;
}

const tRemoteEntryList &BrowserState::remoteEntries() const
{
    static const tRemoteEntryList kNone;
    return rEntries ? *rEntries : kNone;
}

tFolderObject *BrowserState::findCachedFolder(const QString &path) const
{
    const auto it = rFolders.find(path);
    return it == rFolders.end() ? nullptr : it->second.get();
}

void BrowserState::markFolderStale(const QString &path)
{
    guarded("rcmkstl", [&] {
        if (tFolderObject *folder = findCachedFolder(path))
            folder->needsRefresh = true;
    });
}

bool BrowserState::isFolderStale(const QString &path) const
{
    bool stale = false;
    guarded("rcisstl", [&] {
        const tFolderObject *folder = findCachedFolder(path);
        stale = folder && folder->needsRefresh;
    });
    return stale;
}

tFolderObject &BrowserState::storeListing(const QString &path, const std::vector<tTmbFtpEntry> &entries,
                                          const QString &hostName)
{
    auto it = rFolders.find(path);
    if (it == rFolders.end())
        it = rFolders.emplace(path, std::make_unique<tFolderObject>()).first;
    tFolderObject &folder = *it->second;
    folder.folderEntries.clear();
    folder.needsRefresh = false;
    folder.folderEntries.reserve(entries.size());

    bool reported = false;
    for (const tTmbFtpEntry &parsed : entries) {
        if (parsed.status == ListingStatus::Ok && (parsed.name == u"." || parsed.name == u".."))
            continue;
        const bool unsafeName = parsed.status == ListingStatus::Ok && !isSingleComponentName(parsed.name);
        if (parsed.isError() || unsafeName) {
            if (!reported)
                reportListingProblem(hostName,
                                     unsafeName ? QStringLiteral("invalid file or folder name") : parsed.message,
                                     parsed.rawLine);
            reported = true;
            continue;
        }
        if (parsed.status == ListingStatus::Ok)
            folder.folderEntries.push_back(cachedEntry(parsed));
    }
    return folder;
}

void BrowserState::clearFolderCache()
{
    // A view must never read the entries of a freed folder.
    rEntries = nullptr;
    guarded("rcclrfc", [&] { rFolders.clear(); });
}
