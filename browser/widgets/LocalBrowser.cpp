#include "browser/widgets/LocalBrowser.h"

#include "app/BrowserController.h"

LocalBrowser::LocalBrowser(BrowserController &browsers, tSetupClass &setup, QWidget *listParent, QObject *parent)
    : FileBrowser(Side::Local, browsers, setup, listParent, parent)
{
}

void LocalBrowser::refreshLocalView()
{
    browsers().refreshLocalView();
}
