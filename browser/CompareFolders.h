#pragma once

#include "listing/FolderEntries.h"

#include <vector>

// Which entries of the two current folders differ, so that the user can send or receive
// exactly those. Names compare as the local file system does: letter case counts, so A.txt
// and a.txt are two different entries.
struct FolderDifferences {
    // Entry indices (into lEntries and rEntries), ascending.
    std::vector<int> local;
    std::vector<int> remote;
};

// An entry is marked when the other side has no entry of that name, when the other side's
// entry of that name is of the other kind (a file here, a folder there), or, unless sizes
// are ignored, when both are files of different sizes. Folders present on both sides are
// never marked, whatever size their listing shows. Dates are not compared.
FolderDifferences compareFolders(const tLocalEntryList &local, const tRemoteEntryList &remote, bool ignoreSize);
