#pragma once

#include "app/MainController.h"
#include "app/MainView.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class BrowserCommandBinder;
class BrowserPane;
class FileBrowsers;
class CaptionBar;
class ConnectViews;
class Commands;
class HelpBrowser;
class LogView;
class LoginMessageWindow;
class MeterPanel;
class QueuePanel;
class UserInterface;
class QComboBox;
class QLineEdit;
class QMenu;
class QSplitter;
class QSystemTrayIcon;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;
class TFormWait;

// The main window `TFormMain`: the visual half of the program's one permanent window. It
// observes the controller (owned by the program entry): it redraws on the controller's
// signals, calls its methods for every command, and answers the few questions shut-down
// asks of the window (layouts, geometry, the feedback offer) as its MainView. Regions from
// top to bottom: toolbars, the log, the local and remote panes side by side, the bottom
// panel (bandwidth meter and queue) and the status bar.
class MainWindow : public QMainWindow, public MainView {
    Q_OBJECT
public:
    // The controller must outlive the window.
    explicit MainWindow(MainController &controller, QWidget *parent = nullptr);
    ~MainWindow() override;

    MainController &controller() { return m_controller; }
    Commands &commands() { return *m_commands; }
    // The quick-connect bar, the connect commands and windows, the clipboard watcher.
    ConnectViews &connectViews() { return *m_connectViews; }
    QMenu *debugMenu() const { return m_debugMenu; }

    QToolBar *tbGeneral() const { return m_tbGeneral; }
    QToolBar *tbConnection() const { return m_tbConnection; }
    QToolBar *tbTools() const { return m_tbTools; }
    QList<QToolBar *> toolbars() const;

    BrowserPane *localPane() const { return m_lPanel; }
    BrowserPane *remotePane() const { return m_rPanel; }
    // The two file browsers: the local list lLv and the remote list rlv with their models.
    FileBrowsers &browsers() { return *m_browsers; }
    // The file list commands' ties to the lists, panes and menus.
    BrowserCommandBinder *browserCommandBinder() const { return m_browserBinder; }
    QMenu *listMenu() const { return m_lvPopUp; }
    QTreeView *localList() const { return m_lLv; }
    QTreeView *remoteList() const { return m_rlv; }
    QTreeView *queueList() const { return m_qLv; }
    LogView *logView() const { return m_log; }
    MeterPanel *meterPanel() const { return m_meter; }
    QueuePanel *queuePanel() const { return m_queue; }

    QMenu *logMenu() const { return m_logPop; }
    QMenu *toolbarMenu() const { return m_tbPopUp; }
    QMenu *trayMenu() const { return m_trayPop; }

    QSystemTrayIcon *trayIcon() const { return m_tray; }
    HelpBrowser *helpBrowser();
    // Where the help pages are: manual/ beside the program unless set otherwise.
    void setManualFolder(const QString &folder) { m_manualFolder = folder; }
    void showHelpTopic(const QString &topic);

    void setLogWindowShown(bool shown);
    void setMeterShown(bool shown);
    // Filters: both filter rows shown or hidden, "showFilters" stored, both lists rebuilt
    // after the filter delay.
    void setFiltersShown(bool shown);
    // Switch browsers: the remote pane on the left when `switched`; "switchBrowserWindows"
    // follows.
    void setBrowsersSwitched(bool switched);
    bool browsersSwitched() const;
    QSplitter *panesSplitter() const { return m_panes; }
    // The login message window with the main session's login lines, shown without waiting.
    void showLoginMessage();
    LoginMessageWindow *loginMessageWindow() const;
    // Restyles and resizes the toolbars from "toolbarTheme" and "toolbarFontSize".
    void applyToolbarLook();

    // MainView
    void loadListLayouts(const QString &programData, bool includeQueue) override;
    void saveListLayouts(const QString &programData) override;
    void loadToolbarPositions(const QString &path) override;
    void saveToolbarPositions(const QString &path) override;
    WindowGeometry designedGeometry() const override;
    WindowGeometry currentGeometry() const override;
    void applyGeometry(const WindowGeometry &g, bool keepStoredPosition) override;
    void offerFeedback() override;

    // The first start's geometry (no stored one) on a screen with this much room: the
    // designed 795 x 500 as the least, growing with the screen to show every toolbar, never
    // larger than the screen; the panes share the size.
    static WindowGeometry firstStartGeometry(const QSize &available);

    // applySettings: re-reads the settings the window holds (toolbar look, list fonts, log
    // and meter, logo, tray, command shortcuts, history length) all at once.
    void applyInterfaceSettings();
    // The options dialog, modal; page names the tree node to show first (empty: the last one).
    void openOptions(const QString &page = QString());

    // The toolbar menu of the dock (right click on the toolbars), a new menu each time.
    QMenu *createPopupMenu() override;

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // MainWindowLayout.cpp
    void buildRegions();
    void attachBrowsers();
    QWidget *buildBottomPanel();
    void observeController();
    void bindConnectViews();
    void fillStartupState();
    void showLocalFolderHistory();
    // MainMenus.cpp
    void buildMenus();
    void buildViewMenu();
    void buildHelpMenu();
    void buildDebugMenu();
    void buildToolbars();
    void buildQuickConnectBar();
    void buildContextMenus();
    QToolBar *addBar(const char *name, const char *caption);
    void addCloseButton(QToolBar *bar);
    // MainCommands.cpp
    void bindCommands();
    void bindToolbarCommands();
    void bindLogCommands();
    void bindHelpCommands();
    void bindDebugCommands();
    void setupTray();
    void on(QAction *action, const char *siteId, std::function<void()> work);
    void openDebugFile(const QString &name, const QStringList &lines);
    void restoreFromTray();
    void syncToolbarChecks();
    void applyCustomLogo();
    // MainSettings.cpp
    void applyListFonts();
    void applyShortcuts();
    void trimConnectionHistory();
    // Splitters share out only the space they have: sizes set before the window is shown
    // wait for the first show.
    void applyPanelSizes(const WindowGeometry &g);
    bool showHint(QEvent *event);
    void applyPendingState();

    MainController &m_controller;
    UserInterface &m_ui;
    Commands *m_commands;
    TFormWait *m_wait;
    QMenu *m_debugMenu = nullptr;
    QToolBar *m_tbGeneral = nullptr;
    QToolBar *m_tbConnection = nullptr;
    QToolBar *m_tbLinks = nullptr;
    QToolBar *m_tbTools = nullptr;
    QToolButton *m_connectButton = nullptr;
    QMenu *m_connectMenu = nullptr;
    QLineEdit *m_tbAddress = nullptr;
    QLineEdit *m_tbUsername = nullptr;
    QLineEdit *m_tbPassword = nullptr;
    QLineEdit *m_tbPort = nullptr;
    QComboBox *m_tbProtocol = nullptr;
    QComboBox *m_tbEncryption = nullptr;
    ConnectViews *m_connectViews = nullptr;

    LogView *m_log = nullptr;
    BrowserPane *m_lPanel = nullptr;
    BrowserPane *m_rPanel = nullptr;
    FileBrowsers *m_browsers = nullptr;
    BrowserCommandBinder *m_browserBinder = nullptr;
    QTreeView *m_lLv = nullptr;
    QTreeView *m_rlv = nullptr;
    QTreeView *m_qLv = nullptr;
    QWidget *m_bottomPanel = nullptr;
    MeterPanel *m_meter = nullptr;
    QueuePanel *m_queue = nullptr;
    QSplitter *m_vertical = nullptr;
    QSplitter *m_panes = nullptr;
    QSplitter *m_bottom = nullptr;

    QMenu *m_logPop = nullptr;
    QMenu *m_lvPopUp = nullptr;
    QMenu *m_lvHdrPopUp = nullptr;
    QMenu *m_queuePop = nullptr;
    QMenu *m_tbPopUp = nullptr;
    QMenu *m_meterPop = nullptr;
    QMenu *m_trayPop = nullptr;

    QPointer<LoginMessageWindow> m_loginMessages;
    QTimer *m_reconnectWatch = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    HelpBrowser *m_help = nullptr;
    QString m_manualFolder;
    bool m_minimizeToTray = false;
    std::optional<WindowGeometry> m_pendingPanels;
    int m_pendingState = 0;
};
