#pragma once

#include "browser/widgets/FileBrowser.h"

// The local list lLv: the entries of the current local folder lFolder, scanned afresh on
// every refresh.
class LocalBrowser : public FileBrowser {
    Q_OBJECT
public:
    LocalBrowser(MainController &controller, QWidget *listParent, QObject *parent = nullptr);

    // Rescans lFolder and rebuilds the list. A folder that does not exist gives an empty
    // list and the message "Folder does not exist on your computer".
    void refreshLocalView();
    void refresh() override { refreshLocalView(); }

private:
    void rememberLocalFolder(const QString &folder);
};
