#pragma once

#include "browser/widgets/FileBrowser.h"

// The local list lLv: the entries of the current local folder lFolder, scanned afresh on
// every refresh.
class LocalBrowser : public FileBrowser {
    Q_OBJECT
public:
    LocalBrowser(BrowserController &browsers, tSetupClass &setup, QWidget *listParent, QObject *parent = nullptr);

    // Has the controller rescan lFolder; the list rebuilds on its signal.
    void refreshLocalView();
    void refresh() override { refreshLocalView(); }
};
