#include "browser/widgets/LocalBrowser.h"

#include "app/MainController.h"

LocalBrowser::LocalBrowser(MainController &controller, QWidget *listParent, QObject *parent)
    : FileBrowser(Side::Local, controller, listParent, parent)
{
}

void LocalBrowser::refreshLocalView()
{
    browsers().refreshLocalView();
}
