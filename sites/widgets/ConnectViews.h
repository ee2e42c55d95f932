#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class MainController;
class HistoryWindow;
class QAction;
class QComboBox;
class QLineEdit;
class QMenu;
class QTreeView;
class QWidget;
class VuzidIRAWindow;

// Binds the main window's connection parts to the connect flow: the quick-connect boxes,
// the Connect, Disconnect, Paste URL, VuzidIRA and History commands, the recent
// connections under the Connect button, the VuzidIRA and history windows, and the
// clipboard watcher. It only passes on what the user did; the controller decides.
class ConnectViews : public QObject {
    Q_OBJECT
public:
    struct Actions {
        QAction *connect, *disconnect, *pasteUrl, *vuzidira, *history, *openHistory;
    };
    struct Boxes {
        QLineEdit *address, *user, *password, *port;
        QComboBox *encryption; // FTP only: disabled while SFTP is chosen
        QComboBox *protocol;
    };

    // window is the main window (parent of the windows opened here); configureHistory opens
    // the options on their history page.
    // remoteList is the remote file list: its columns are widened to fit the first listing
    // of a connection.
    ConnectViews(MainController &controller, const Actions &actions, const Boxes &boxes, QMenu *connectMenu,
                 QTreeView *remoteList, QWidget *window, std::function<void()> configureHistory);

    void openVuzidira(const QString &url);
    HistoryWindow *openHistory();
    VuzidIRAWindow *vuzidira() const { return m_vuzidira; }
    // Rebuilds the recent connections under the Connect button (done each time it opens).
    void rebuildConnectMenu();

private:
    void showQuickConnect();
    void readBoxes();
    void clipboardChanged();
    // Widens (never narrows) the remote list's columns to what they show.
    void fitRemoteColumns();

    MainController &m_controller;
    Boxes m_boxes;
    QMenu *m_connectMenu;
    QTreeView *m_remoteList;
    bool m_fitPending = false;
    int m_fixedItems;
    QWidget *m_window;
    std::function<void()> m_configureHistory;
    VuzidIRAWindow *m_vuzidira = nullptr;
    QPointer<HistoryWindow> m_history;
};
