#include "browser/widgets/RemoteBrowser.h"

#include "app/MainController.h"
#include "base/Guard.h"

RemoteBrowser::RemoteBrowser(MainController &controller, QWidget *listParent)
    : FileBrowser(Side::Remote, controller, listParent)
{
}

void RemoteBrowser::refreshRemoteView()
{
    guarded("lvrefr", [this] {
        BrowserState &state = controller().browser;
        showInFolderBox(state.rFolder);
        tFolderObject *folder = state.findCachedFolder(state.rFolder);
        if (!folder)
            return;
        state.rEntries = &folder->folderEntries;
        fillList(state.rFolder, state.lastSelectedTn_remote);
    });
}
