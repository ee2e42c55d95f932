#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <vector>

// The entries behind the local and remote file lists.

// What the directory scan saw of a local item, kept with its entry and copied along with it.
// Nothing reads it beyond the entry's own fields; it is there for diagnostics dumps.
struct tLocalFindData {
    std::uint32_t mode = 0; // st_mode: type and permission bits
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0; // nanoseconds since the Unix epoch, UTC
    std::int64_t accessedNs = 0;
    std::int64_t changedNs = 0;
};

// One file or folder of a list.
struct tFolderEntryObject {
    // Bytes. Local folders carry -1; remote folders the size their listing line shows.
    std::int64_t size = 0;
    bool isFolder = false;
    // Packed FAT date-time in local time (see packFileTime); 0 means no valid date.
    std::int32_t time = 0;
    // Permission bits written as three decimal digits, rwxr-xr-x being 755. Local entries
    // read them from the file system; remote entries take the listing's code, -1 for DOS
    // lines and 0 for a malformed permission field.
    std::int32_t attr = 0;
    QString name;            // bare name, no path
    tLocalFindData findData; // local entries only
};

// One entry of a remote folder.
struct tFtpFolderEntryObject : tFolderEntryObject {
    bool isLink = false;
};

// A list entry under its key: the bare name for remote entries; the full path while a local
// scan runs, which the local list then turns into the bare name.
template <typename Entry> struct tNamedEntry {
    QString name;
    Entry entry;
};

using tLocalEntryList = std::vector<tNamedEntry<tFolderEntryObject>>;
using tRemoteEntryList = std::vector<tNamedEntry<tFtpFolderEntryObject>>;

// Value type of the list views' icon cache.
struct tImageListIndex {
    std::int32_t imageIndex = 0;
};

// Files, folders and file bytes of the entries a list shows.
struct tListCounters {
    std::int32_t files = 0;
    std::int32_t folders = 0;
    std::int64_t fileBytes = 0;
};

// The packed FAT date-time: bits 25-31 year minus 1980, 21-24 month, 16-20 day, 11-15 hour,
// 5-10 minute, 0-4 seconds divided by 2. Dates outside 1980..2107 have no packed form and
// give 0; years from 2044 on set the top bit, so such values are negative.
std::int32_t packFileTime(const QDate &date, const QTime &time);
// From the program's date-time value (listing/ProgramDateTime.h).
std::int32_t packFileTime(double programDateTime);
// The local date-time of a packed value; invalid when it does not decode to a valid date
// (0 among others).
QDateTime unpackFileTime(std::int32_t packed);
// "rwxr-xr-x"-style permission bits of a mode as three decimal digits (0755 gives 755).
std::int32_t permissionDigits(std::uint32_t mode);
