#pragma once

#include "listing/FolderEntries.h"

#include <cstdint>

// A folder entry as a listing gives it, for queue and browser tests.
inline tFolderEntryObject entryNamed(const QString &name, std::int64_t size, bool folder = false)
{
    tFolderEntryObject e;
    e.name = name;
    e.size = size;
    e.isFolder = folder;
    return e;
}
