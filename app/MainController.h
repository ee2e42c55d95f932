#pragma once

#include "app/DataFolders.h"
#include "app/Diagnostics.h"
#include "app/MainView.h"
#include "app/MasterTick.h"
#include "app/SessionSupervisor.h"
#include "app/UserInterface.h"
#include "browser/BrowserState.h"
#include "browser/FileFilter.h"
#include "settings/u_tmbSetup.h"
#include "status/DisplayFeed.h"
#include "status/LogModel.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>

#include <memory>

// The non-visual half of the main window: it owns what the program keeps for the whole
// run and runs start-up, the periodic actions and shut-down. It works with no window at
// all (a default MainView); the Qt window plugs itself in as the view.
//
// User-interface thread only.
class MainController : public QObject {
    Q_OBJECT
public:
    static constexpr int kVersion = 2800;

    // ui must outlive the controller. view may be null (headless).
    explicit MainController(UserInterface &ui, MainView *view = nullptr, QObject *parent = nullptr);
    ~MainController() override;

    // Builds all state; the last steps enable the master tick. args are the command line
    // arguments without the program name.
    void FormCreate(const QStringList &args);
    // Shut-down. Returns false when the window must stay open.
    bool FormCloseQuery();

    using FilterState = FileFilter;
    struct QuickConnect {
        QString address, user, password, port;
    };

    tSetupClass setup{false};
    DataFolders folders;
    MasterTick tick;

    // Folders, entries and the remote folder cache behind the two file lists.
    BrowserState browser;
    QStringList lFolderHistory; // most recent first
    QString initialLocalFolder;
    QString &lFolder = browser.lFolder; // current local folder, ends in "/"
    QStringList asciiMasks;
    QStringList connectionHistory;
    QString sharedProfilesFolder;
    FilterState lFilterState, rFilterState;
    bool showFilters = false;
    QuickConnect quickConnect;
    // The local side is the active browser: the local list or folder box had the focus last.
    bool localActive = true;

    bool started() const { return m_started; }
    bool debugMode() const { return m_debugMode; }
    UserInterface &ui() { return m_ui; }
    MainView &view() { return *m_view; }
    void setView(MainView *view);
    QDateTime programStartTime() const { return m_startTime; }
    void setProgramStartTime(const QDateTime &t) { m_startTime = t; }

    // Appends a line to the log; its first character is the marker.
    void writeLog(const QString &line);

    // The log list's rows; the window shows them.
    LogModel log;
    // Turns the FTP sessions' display lines into log lines.
    DisplayFeed displayFeed;
    Diagnostics &diagnostics() { return m_diagnostics; }
    // The two FTP sessions and their supervisor; created by FormCreate.
    std::unique_ptr<SessionSupervisor> sessions;
    bool mainSessionLoggedIn() const { return sessions && sessions->mainSession->loggedIn; }
    bool transferSessionLoggedIn() const { return sessions && sessions->xferSession->loggedIn; }

signals:
    void logWritten(const QString &line);

private:
    void timerStartup();
    void loadSettings();
    void loadLocalFolderHistory();
    void restoreWindowGeometry();
    void useSharedProfilesFolder();
    void loadFilters();
    void fillQuickConnect();
    void loadAsciiMasks();
    void runStartupAction();
    void askLaunchPassword();
    void saveEverything();
    void storeWindowKeys();
    void saveLocalFolderHistory();
    void createSessions();
    void disconnectForShutDown();

    UserInterface &m_ui;
    MainView m_nullView;
    MainView *m_view;
    QDateTime m_startTime;
    bool m_started = false;
    bool m_debugMode = false;
    Diagnostics m_diagnostics{m_ui, setup};
};
