#pragma once

#include "app/BrowserCommands.h"

#include <QObject>
#include <QPointer>

class BrowserPane;
class Commands;
class FileBrowsers;
class FileListView;
class MainController;
class QAction;
class QMenu;
class QueueView;
class QWidget;

// Ties the file list commands to the window: the named commands, the list menu (its transfer
// item and default item follow the active side), double click and Enter, Backspace, the
// navigation rows, drops between the lists, onto the queue list and from the desktop, and
// the selections that Group Select and Compare Folders ask for. The work is the controller's.
class BrowserCommandBinder : public QObject {
    Q_OBJECT
public:
    struct Parts {
        Commands *commands;
        FileBrowsers *browsers;
        BrowserPane *localPane;
        BrowserPane *remotePane;
        QueueView *queue;
        QMenu *listMenu;
    };
    BrowserCommandBinder(MainController &controller, const Parts &parts, QObject *parent);

    // The list menu's transfer item: "Send" or "Receive" after the active side.
    QAction *transferItem() const { return m_transfer; }
    // Prepares the list menu for the active side, as a right click does.
    void prepareListMenu();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using Side = BrowserCommands::Side;
    Side active() const;
    FileListView *list(Side side) const;
    std::vector<int> selection(Side side) const;
    void on(QAction *action, const char *siteId, std::function<void()> work);
    void bindNamedCommands();
    void bindLists();
    void bindPanes();
    void select(Side side, const std::vector<int> &entries);
    // The folder box shows the folder its list shows, whatever was typed into it.
    void showListedFolder(Side side);
    BrowserPane *pane(Side side) const { return side == Side::Local ? m_parts.localPane : m_parts.remotePane; }

    MainController &m_controller;
    BrowserCommands &m_commands;
    Parts m_parts;
    QAction *m_transfer = nullptr;
};
