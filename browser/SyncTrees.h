#pragma once

#include "browser/BrowserState.h"
#include "browser/SyncPlan.h"

#include <QString>

// The two trees a synchronisation compares, as far as they are known now.

// The local folder `root` (ending in "/") read from the disk, down to `depthLimit` levels
// below it. Links are listed as links and never entered; a folder that cannot be read has
// no listing.
SyncTree localSyncTree(const QString &root, int depthLimit);

// The remote folder `root` (canonical, ending in "/") and the folders below it, down to
// `depthLimit` levels, as far as the folder cache holds them. A folder that is not cached,
// or whose cached listing is stale, has no listing.
SyncTree remoteSyncTree(const BrowserState &state, const QString &root, int depthLimit);
