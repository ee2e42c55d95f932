#pragma once

#include "browser/widgets/FileBrowser.h"

// The remote list rlv: the entries of the cached folder rFolder.
class RemoteBrowser : public FileBrowser {
    Q_OBJECT
public:
    RemoteBrowser(MainController &controller, QWidget *listParent, QObject *parent = nullptr);

    // Binds rEntries to the cached folder rFolder and rebuilds the list. When rFolder is not
    // cached the list keeps what it shows.
    void refreshRemoteView();
    void refresh() override { refreshRemoteView(); }
};
