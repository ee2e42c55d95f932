#pragma once

#include "browser/SyncPlan.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class tkftpclient;

// One request on an idle session: `start` starts it; the engine's error code comes back
// once it completed (0: done), -1 when none came in time.
using SessionRequest = std::function<int(const std::function<void()> &start)>;

// How far a server's listed times run ahead of the local wall clock (SyncOptions::
// serverOffsetSecs). Machine listings (MLSD) give UTC, which the listing makes local: 0.
// Otherwise one of the newest files of `tree` (folders relative to `root`, which ends in
// "/") whose listed time shows a time of day is asked with MDTM, and its listed time is
// compared with the reply (serverTimeOffset); at most three files are tried. None when no
// file gave an answer; *asked (when given) says whether any MDTM was sent.
std::optional<std::int64_t> probeServerTimeOffset(tkftpclient &session, bool machineListings, const SyncTree &tree,
                                                  const QString &root, const SessionRequest &request,
                                                  bool *asked = nullptr);
