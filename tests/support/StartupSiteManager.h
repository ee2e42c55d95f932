#pragma once

#include "sites/widgets/SiteManagerWindow.h"

#include <QPointer>
#include <QTest>
#include <QWidget>

#include <algorithm>

// A first start opens the site manager over the main window (start-up action 1, the
// default). Tests that work in the main window close it first, as the user would, and
// wait until it is gone and the main window is the active one again. Returns false when
// that did not happen in time.
inline bool closeStartupSiteManager(QWidget &mainWindow)
{
    QList<QPointer<SiteManagerWindow>> open;
    for (SiteManagerWindow *siteManager : mainWindow.findChildren<SiteManagerWindow *>())
        open.append(siteManager);
    if (open.isEmpty())
        return true;
    for (const auto &siteManager : open)
        siteManager->close();
    const bool gone = QTest::qWaitFor(
        [&open] { return std::all_of(open.cbegin(), open.cend(), [](const auto &p) { return p.isNull(); }); }, 5000);
    mainWindow.activateWindow();
    return QTest::qWaitForWindowActive(&mainWindow) && gone;
}
