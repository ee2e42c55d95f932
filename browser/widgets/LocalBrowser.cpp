#include "browser/widgets/LocalBrowser.h"

#include "app/MainController.h"
#include "base/Guard.h"
#include "browser/LocalFiles.h"

#include <QFileInfo>

LocalBrowser::LocalBrowser(MainController &controller, QWidget *listParent, QObject *parent)
    : FileBrowser(Side::Local, controller, listParent, parent)
{
}

void LocalBrowser::rememberLocalFolder(const QString &folder)
{
    // The folder box's drop-down is the local folder history that shut-down saves; both
    // follow the same rule.
    QStringList &history = controller().lFolderHistory;
    if (history.contains(folder))
        return;
    history.prepend(folder);
    while (history.size() > kFolderHistoryItems)
        history.removeLast();
}

void LocalBrowser::refreshLocalView()
{
    guarded("lvrefl", [this] {
        if (!model())
            return;
        BrowserState &state = controller().browser;
        const QString folder = state.lFolder;
        if (folder.isEmpty()) {
            // No folder has been shown yet: nothing to list and nothing to complain about.
            model()->clearRows();
            state.lastSelectedTn_local = folder;
            return;
        }
        showInFolderBox(folder);
        rememberLocalFolder(folder);
        model()->clearRows();
        state.lEntries.clear();
        scanFolder(folder, state.lEntries, false, QStringLiteral("*.*"));
        // The scan keys entries by their full path; the list wants the bare name.
        for (auto &item : state.lEntries)
            item.name = item.entry.name;
        fillList(folder, state.lastSelectedTn_local);
        if (!QFileInfo(folder).isDir())
            controller().ui().showMessage(QStringLiteral("Folder does not exist on your computer: \r\r\n") + folder);
    });
}
