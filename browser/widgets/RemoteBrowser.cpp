#include "browser/widgets/RemoteBrowser.h"

#include "app/MainController.h"

RemoteBrowser::RemoteBrowser(MainController &controller, QWidget *listParent, QObject *parent)
    : FileBrowser(Side::Remote, controller, listParent, parent)
{
}

void RemoteBrowser::refreshRemoteView()
{
    browsers().refreshRemoteView();
}
