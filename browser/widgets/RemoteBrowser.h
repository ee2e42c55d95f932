#pragma once

#include "browser/widgets/FileBrowser.h"

// The remote list rlv: the entries of the cached folder rFolder.
class RemoteBrowser : public FileBrowser {
    Q_OBJECT
public:
    RemoteBrowser(BrowserController &browsers, tSetupClass &setup, QWidget *listParent, QObject *parent = nullptr);

    // Has the controller bind rEntries to the cached folder rFolder; the list rebuilds on its
    // signal. When rFolder is not cached the list keeps what it shows.
    void refreshRemoteView();
    void refresh() override { refreshRemoteView(); }
};
