#include "browser/widgets/RemoteBrowser.h"

#include "app/BrowserController.h"

RemoteBrowser::RemoteBrowser(BrowserController &browsers, tSetupClass &setup, QWidget *listParent, QObject *parent)
    : FileBrowser(Side::Remote, browsers, setup, listParent, parent)
{
    // A lost connection forgets the listing; the window shows its picture while reconnecting.
    setKeepsLastPicture(true);
}

void RemoteBrowser::refreshRemoteView()
{
    browsers().refreshRemoteView();
}
