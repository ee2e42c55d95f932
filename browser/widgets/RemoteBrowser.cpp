#include "browser/widgets/RemoteBrowser.h"

#include "app/MainController.h"

RemoteBrowser::RemoteBrowser(MainController &controller, QWidget *listParent, QObject *parent)
    : FileBrowser(Side::Remote, controller, listParent, parent)
{
    // A lost connection forgets the listing; the window shows its picture while reconnecting.
    setKeepsLastPicture(true);
}

void RemoteBrowser::refreshRemoteView()
{
    browsers().refreshRemoteView();
}
