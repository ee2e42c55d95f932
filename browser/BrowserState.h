#pragma once

#include "listing/FolderEntries.h"
#include "listing/u_tmbFtpParser.h"

#include <QString>

#include <map>
#include <memory>
#include <vector>

// The canonical form of a remote folder path, used by every cache key, by rFolder and by
// the path of every list command: empty stays empty; otherwise it begins and ends with "/",
// "\" becomes "/" and runs of "/" collapse into one. Nothing else is resolved, so ".." stays
// as the user or the server wrote it.
QString normalizeRemotePath(const QString &path);

// One cached remote folder.
struct tFolderObject {
    // In the order the listing delivered them; duplicate names are kept.
    tRemoteEntryList folderEntries;
    // The content may be out of date; the next request to list it goes to the server.
    bool needsRefresh = false;
};

// Remote paths compare exactly, letter case included: on the usual Unix server /Pub/ and
// /pub/ are two folders with their own contents, and showing one for the other would be a
// wrong listing. A server that ignores case at worst gets a second slot for the same folder.
struct RemotePathLess {
    bool operator()(const QString &a, const QString &b) const { return a < b; }
};
using tFolderMap = std::map<QString, std::unique_ptr<tFolderObject>, RemotePathLess>;

// The model state of the two file lists: current folders, entry lists, the remote folder
// cache and the list counters. Owned by the application controller for the whole run.
// User-interface thread only.
class BrowserState {
public:
    QString lFolder; // current local folder, ends in "/" once one has been shown
    QString rFolder; // current remote folder in canonical form, empty while none is shown
    tLocalEntryList lEntries;
    // The entries the remote list shows: those of one cached folder, or none. Not owned;
    // clearing the cache unbinds it.
    tRemoteEntryList *rEntries = nullptr;
    tFolderMap rFolders;
    QString lastSelectedTn_local;
    QString lastSelectedTn_remote;
    tListCounters localCounters;
    tListCounters remoteCounters;

    // rEntries, or an empty list while it is unbound.
    const tRemoteEntryList &remoteEntries() const;

    tFolderObject *findCachedFolder(const QString &path) const;
    // Marks a cached folder stale; does nothing for a folder that is not cached.
    void markFolderStale(const QString &path);
    // False for a folder that is not cached.
    bool isFolderStale(const QString &path) const;
    // Replaces (or creates) the cached folder's entries with the usable entries of a parsed
    // listing. Error lines, and entries whose name could not be a single path component, are
    // left out; the first of them is reported as a bug with the session's host name. "." and
    // ".." are left out silently. The folder object stays the same across calls, so an
    // rEntries binding to it stays valid.
    tFolderObject &storeListing(const QString &path, const std::vector<tTmbFtpEntry> &entries, const QString &hostName);
    // Frees every cached folder and unbinds rEntries.
    void clearFolderCache();
};
