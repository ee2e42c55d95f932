#pragma once

#include "sites/SiteRecord.h"

#include <QString>

class MainController;

// Connects to a site profile as the site manager and the links bar do: an old connection
// is closed first (the user may decline; the wait is bounded), the profile's record becomes
// the current site record (marked as coming from the site manager, named by its profile),
// RavuzAro follows the profile's smart-transfer choice, and Connect runs.
//
// Returns true when a new connection was started. A record without a host connects nothing.
// Processes events while it waits for the old connection to close.
bool connectToProfile(MainController &controller, const tSiteRecord &site, const QString &name);
