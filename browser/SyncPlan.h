#pragma once

#include "listing/FolderEntries.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// Synchronising two folder trees: which entries to make, transfer or delete so that the
// target side holds what the source side holds. Pure: the trees come in as listings, the
// plan goes out as data; nothing here touches a file, the queue or the server.

// One entry of a folder listing, as either side lists it.
struct SyncEntry {
    enum class Kind { File, Folder, Link, Special }; // Special: a device, fifo or socket
    Kind kind = Kind::File;
    // Name, size, packed modification time (0: unknown) and permissions as listed.
    // `entry.isFolder` is set for folders only, never for links.
    tFolderEntryObject entry;

    const QString &name() const { return entry.name; }
};

// A remote list entry as the plan sees it: a link is a link, whatever it points to.
SyncEntry syncEntryOf(const tFtpFolderEntryObject &listed);

// A folder tree as listings give it: the listing of every folder that was listed, under its
// path relative to the tree's root ("" for the root, "docs/", "docs/old/"). A folder without
// a listing here is not known: its contents are neither compared nor deleted.
using SyncTree = std::map<QString, std::vector<SyncEntry>>;

enum class SyncDirection { Upload, Download };

enum class SyncRule {
    MissingOnly,       // transfer what the target lacks
    MissingOrSize,     // ... and files whose sizes differ
    MissingOrNewer,    // ... and files the source has newer than the target
    MissingSizeOrNewer // ... and files whose sizes differ or that the source has newer
};

struct SyncOptions {
    SyncDirection direction = SyncDirection::Upload;
    SyncRule rule = SyncRule::MissingOrNewer;
    // Delete on the target side what the source lacks.
    bool deleteExtra = false;
    // Times closer than this count as equal (listings often show minutes only).
    int timeToleranceSecs = 60;
    // How far the server's clock runs ahead of the local one, as listed times show it.
    std::int64_t serverOffsetSecs = 0;
    // Folders deeper than this below the root are neither entered nor made.
    int depthLimit = 64;
};

enum class SyncAction { MakeFolder, Transfer, DeleteFile, DeleteFolder };

struct SyncStep {
    SyncAction action = SyncAction::Transfer;
    // Relative to the roots, "/" between components, no "/" at the end: "docs/a.txt".
    QString path;
    // MakeFolder and Transfer: the source entry; deletions: the target entry.
    tFolderEntryObject entry;
    // A transfer over an existing target file (else the target has nothing of that name).
    bool replaces = false;
};

struct SyncSkip {
    QString path; // as in SyncStep; a folder ends in "/"
    QString reason;
};

struct SyncPlan {
    // In the order to run them: folders made before their contents (parents first), then
    // the transfers, then the deletions (files first, then folders deepest first).
    std::vector<SyncStep> steps;
    // Entries left alone, with why: links, names that cannot be file names, folders not
    // listed or too deep, a file on one side where the other has a folder.
    std::vector<SyncSkip> skipped;
    // Source files that the rule leaves as they are.
    int unchanged = 0;

    bool operator==(const SyncPlan &other) const;
    int count(SyncAction action) const;
    // Bytes of the entries of an action (transfers: source sizes; file deletions: target
    // sizes; folders count nothing).
    std::int64_t bytes(SyncAction action) const;
    int deletions() const { return count(SyncAction::DeleteFile) + count(SyncAction::DeleteFolder); }
};

inline bool operator==(const SyncStep &a, const SyncStep &b)
{
    return a.action == b.action && a.path == b.path && a.replaces == b.replaces && a.entry.name == b.entry.name &&
           a.entry.size == b.entry.size && a.entry.time == b.entry.time && a.entry.isFolder == b.entry.isFolder;
}
inline bool operator==(const SyncSkip &a, const SyncSkip &b)
{
    return a.path == b.path && a.reason == b.reason;
}

SyncPlan planSync(const SyncTree &source, const SyncTree &target, const SyncOptions &options);

// Folders that a listed folder of the tree shows but that have no listing of their own,
// within the depth limit ("docs/", "docs/old/"), in tree order. Links are not among them.
QStringList unlistedFolders(const SyncTree &tree, int depthLimit);

// How far a server's listed times run ahead of the local wall clock, from one file's listed
// time (packed, as the listing gave it in the server's zone) and its MDTM time (UTC), the
// latter shown in `localZone`. Listed times show minutes at best, so the difference is taken
// between whole minutes and rounded to the quarter hour that time zones keep to. None when
// the listed time shows no time of day (00:00: old files are listed with their date only)
// or when the difference is more than a day.
std::optional<std::int64_t> serverTimeOffset(std::int32_t listedTime, const QDateTime &mdtmUtc,
                                             const QTimeZone &localZone);

// A listed name that may become a single path component on both sides and in a queue
// command: not empty, not "." or "..", no "/", "\", "*" and no control character.
bool syncableName(const QString &name);
