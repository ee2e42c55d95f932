#pragma once

#include "browser/FileListModel.h"
#include "listing/FolderEntries.h"
#include "queue/QueueItem.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <vector>

class BrowserController;
class QMimeData;
class QueueController;
class SessionSupervisor;
class tSetupClass;
class UserInterface;

// What the list menus show for the side that is active.
struct ListMenuState {
    bool transferIsSend = true; // the transfer item shows "Send" (else "Receive")
    bool openIsDefault = true;  // the default (bold) item is Open (else the transfer item)
    bool remoteUsable = false;  // the main session is logged in: remote commands do something
    bool canCompare = false;    // a remote folder is shown
};

// The commands given from the two file lists: open, edit, rename, delete, new folder, change
// folder, go up, send, receive, drops, group select, refresh, compare folders and change
// permissions. Local commands change the file system here; remote commands only queue
// commands, which the queue pump runs. Remote commands do nothing while the main session is
// not logged in.
//
// The views own the selection: every command takes the selected entries as indices into
// lEntries or rEntries, in list order, and commands that select rows answer through
// selectionRequested. Names that a queue command cannot carry ("*", CR, LF, NUL) are refused
// with a message naming the file; nothing is queued for them.
//
// User-interface thread only. Questions run nested event loops; after one returns the
// command looks at the entries again through their names, not their old indices.
class BrowserCommands : public QObject {
    Q_OBJECT
public:
    using Side = FileListModel::Side;
    using Selection = std::vector<int>;

    BrowserCommands(tSetupClass &setup, UserInterface &ui, BrowserController &browsers, QueueController &queue,
                    SessionSupervisor &sessions, QObject *parent = nullptr);

    // Private edit folders are made below this folder (the program's Temporary folder).
    void setTemporaryFolder(const QString &folder) { m_temporaryFolder = folder; }
    bool loggedIn() const;
    ListMenuState menuState() const;

    void open(Side side, const Selection &selected);
    // Double click or Enter: a file is transferred when "fileDoubleclickAction" says so;
    // anything else opens.
    void activate(Side side, const Selection &selected);
    void edit(Side side, const Selection &selected);
    void rename(Side side, const Selection &selected);
    void deleteEntries(Side side, const Selection &selected);
    void newFolder(Side side);
    void refresh(Side side);
    void goUp(Side side);
    void changeFolder(Side side);
    // Enter in a folder box, or a folder chosen from its history. A local folder may be
    // relative to lFolder or begin with "~"; one that does not exist is refused with a
    // message and the list stays. A remote folder is listed (queued at the end); while not
    // connected a message says so.
    void folderBoxEntered(Side side, const QString &text);

    // Send the local entries into rFolder, or into the remote folder entry `targetEntry`.
    void send(const Selection &local, int targetEntry = -1);
    // Receive the remote entries into lFolder, or into the local folder entry `targetEntry`.
    void receive(const Selection &remote, int targetEntry = -1);
    // Rows of one list dropped onto the other (or onto the queue list, target -1): asks
    // first when "confirmDragDrop" holds, then sends or receives.
    void entriesDropped(Side source, const Selection &entries, int targetEntry = -1);
    // Local files or folders dragged in from the desktop onto the remote list (into the
    // remote folder entry `targetEntry`, or rFolder).
    void sendLocalPaths(const QStringList &paths, int targetEntry = -1);

    // Remote entries dragged out of the program: drag data whose file URLs are made when the
    // drop target asks for them, by downloading the entries (downloadForDrop). Without a
    // logged-in session the data carries no URLs.
    QMimeData *remoteDragData(const Selection &remote);
    // Downloads the entries of the remote folder `folder` at the front of the queue into a new
    // private folder (mode 0700) under the Temporary folder and waits for them, at most the
    // drop timeout. Returns the URLs of the entries that arrived whole, in the given order; a
    // file or folder that did not is left out, its partial copy removed, and the user is told
    // which ones and why once the drop is over.
    QList<QUrl> downloadForDrop(const QString &folder, const std::vector<tFolderEntryObject> &entries);
    void setDropTimeout(int ms) { m_dropTimeoutMs = ms; }

    // The rows whose lower-cased names match the mask the user types; empty mask: nothing.
    void groupSelect(Side side);
    // The Compare Folders dialog, then selects the differing rows of both lists.
    void compareFolders();
    // The permission dialog for the selected remote entries, then one chmod each.
    void changePermissions(const Selection &remote);

    // The question before a deletion: what goes (the name, or how many files and folders),
    // that folders go with everything in them, and where (the server, or the trash).
    // Links count as files: they are removed themselves.
    struct DeleteItem {
        QString name;
        bool folder = false;
        bool link = false;
    };
    static QString deleteQuestion(Side side, const std::vector<DeleteItem> &items);

    // Starts an editor on a local file (the default editor or the desktop's application, as
    // the settings say); false, after telling the user why, when none could be started.
    static bool launchEditor(tSetupClass &setup, UserInterface &ui, const QString &file);

signals:
    // The side's list selects exactly these entries (indices into its entry list).
    void selectionRequested(BrowserCommands::Side side, const std::vector<int> &entries);

private:
    const tFolderEntryObject *entryAt(Side side, int index) const;
    // The named entries, skipping stale indices.
    std::vector<tFolderEntryObject> entriesAt(Side side, const Selection &selected) const;
    // Builds and queues one command; a name the command cannot carry is refused with a
    // message. False when nothing was queued.
    bool queue(const QString &verb, const QStringList &fields, const tFolderEntryObject *entry, bool atFront,
               std::optional<TransferAction> transferAction = std::nullopt);
    bool remoteNameExists(const QString &name) const;
    void deleteLocal(const std::vector<tFolderEntryObject> &entries);
    void transferEntries(Side from, const std::vector<tFolderEntryObject> &entries, const QString &target);
    QString makeEditFolder();
    // A new folder only the user can enter, below the Temporary folder; empty on failure.
    QString makePrivateFolder(const QString &prefix);
    // Shows the message once the event that is being handled (a drop) is over.
    void tellLater(const QString &text);
    // A folder just made is selected when its parent is next shown (the local refresh
    // follows at once, the remote one when the listing after the creation arrives).
    void selectWhenShown(Side side, const QString &folder, const QString &name);
    void selectNewFolder(Side side, const QString &shownFolder);

    tSetupClass &m_setup;
    UserInterface &m_ui;
    BrowserController &m_browsers;
    QueueController &m_queue;
    SessionSupervisor &m_sessions;
    QString m_temporaryFolder;
    struct NewFolder {
        QString parent, name;
    };
    NewFolder m_newFolder[2]; // local, remote
    int m_dropTimeoutMs = 10 * 60 * 1000;
};
