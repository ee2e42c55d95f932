#include "browser/widgets/RemoteBrowser.h"

#include "app/MainController.h"
#include "base/Guard.h"

RemoteBrowser::RemoteBrowser(MainController &controller, QWidget *listParent, QObject *parent)
    : FileBrowser(Side::Remote, controller, listParent, parent)
{
}

void RemoteBrowser::refreshRemoteView()
{
    guarded("lvrefr", [this] {
        if (!model())
            return;
        BrowserState &state = controller().browser;
        showInFolderBox(state.rFolder);
        tFolderObject *folder = state.findCachedFolder(state.rFolder);
        if (!folder)
            return;
        state.rEntries = &folder->folderEntries;
        fillList(state.rFolder, state.lastSelectedTn_remote);
    });
}
