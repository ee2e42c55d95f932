#pragma once

#include "app/BrowserCommands.h"
#include "app/BrowserController.h"
#include "app/CertificateTrust.h"
#include "app/ConnectController.h"
#include "app/DataFolders.h"
#include "app/DesktopSecrets.h"
#include "app/Diagnostics.h"
#include "app/FolderSync.h"
#include "app/MainView.h"
#include "app/MasterTick.h"
#include "app/MeterController.h"
#include "app/QueueController.h"
#include "app/SavedQueues.h"
#include "app/SessionLoss.h"
#include "app/SessionSupervisor.h"
#include "app/SftpQuestions.h"
#include "app/StatusController.h"
#include "app/UserInterface.h"
#include "app/VersionCheck.h"
#include "base/Version.h"
#include "settings/u_tmbSetup.h"
#include "status/DisplayFeed.h"
#include "status/LogModel.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>

// The non-visual half of the main window and the root of the program's state: it owns
// everything the program keeps for the whole run and runs start-up, the periodic actions
// and shut-down. It is made of sub-controllers, one file each:
//   browsers()  folders, entries, the remote folder cache, filters, local folder history
//   sessions()  the two FTP sessions and their supervisor, engine events as signals
//   queue()     the transfer queue, its pump and the completion of its requests
//   browserCommands()  the file lists' commands, compare folders and permissions
//   folderSync()  Synchronize: the local and remote trees made alike through the queue
// and the stores they share (settings, data folders, the log, the master tick). The
// program entry owns it; the window observes it through its signals and calls its methods,
// and never writes its state. It runs with no window at all.
//
// User-interface thread only. See docs/architecture.md for which calls run nested event
// loops and what a handler may do while they do.
class MainController : public QObject {
    Q_OBJECT
public:
    static constexpr int kVersion = Version::kVersionNumber;

    using QuickConnect = ConnectController::QuickConnect;

    // ui must outlive the controller.
    explicit MainController(UserInterface &ui, QObject *parent = nullptr);
    ~MainController() override;

    // The window's persisted state; null (the default) for no window. The view must stay
    // alive until it is unset.
    void setView(MainView *view);

    // Builds all state; the last steps enable the master tick. args are the command line
    // arguments without the program name.
    void FormCreate(const QStringList &args);
    // Shut-down. Returns false when the window must stay open.
    bool FormCloseQuery();

    tSetupClass &setup() { return m_setup; }
    const tSetupClass &setup() const { return m_setup; }
    const DataFolders &folders() const { return m_folders; }
    MasterTick &tick() { return m_tick; }
    UserInterface &ui() { return m_ui; }
    Diagnostics &diagnostics() { return m_diagnostics; }
    // The log list's rows; the window shows them.
    LogModel &log() { return m_log; }
    // Passwords in the desktop's secret store.
    DesktopSecrets &secrets() { return m_secrets; }
    BrowserController &browsers() { return m_browsers; }
    const BrowserController &browsers() const { return m_browsers; }
    // The two FTP sessions and their supervisor; they exist from construction on.
    SessionSupervisor &sessions() { return m_sessions; }
    QueueController &queue() { return m_queue; }
    // Named saved queues and the recovery queue "[recovery].dat".
    SavedQueues &savedQueues() { return m_savedQueues; }
    // Server certificates the engine cannot trust by itself, and the user's trusted ones.
    CertificateTrust &certificates() { return m_certificates; }
    // Status texts, the bandwidth meter and the new-version check (MainControllerStatus.cpp).
    StatusController &status() { return m_status; }
    MeterController &meter() { return m_meter; }
    VersionCheck &versionCheck() { return m_versionCheck; }
    // The commands of the two file lists, compare folders and permissions.
    BrowserCommands &browserCommands() { return m_browserCommands; }
    // Synchronize: plans from both trees, queued after the preview.
    FolderSync &folderSync() { return m_folderSync; }
    // Connect and Disconnect, quick connect, URLs, the clipboard watcher, the connection history.
    ConnectController &connection() { return m_connect; }
    // A lost connection and its reconnect, the keep-alive, Stop.
    SessionLoss &sessionLoss() { return m_loss; }

    bool started() const { return m_started; }
    bool debugMode() const { return m_debugMode; }
    QDateTime programStartTime() const { return m_startTime; }
    void setProgramStartTime(const QDateTime &t) { m_startTime = t; }

    // The ASCII masks of the transfer mode choice (the queue uses them); shut-down saves them.
    const QStringList &asciiMasks() const { return m_queue.asciiMasks(); }
    void setAsciiMasks(const QStringList &masks) { m_queue.setAsciiMasks(masks); }
    // Connection history entries, most recent first; shut-down saves them.
    const QStringList &connectionHistory() const { return m_connect.history().lines(); }
    void setConnectionHistory(const QStringList &entries) { m_connect.history().setLines(entries); }
    const QString &sharedProfilesFolder() const { return m_sharedProfilesFolder; }
    const QuickConnect &quickConnect() const { return m_connect.quickConnect(); }

    bool mainSessionLoggedIn() const { return m_sessions.mainSession()->loggedIn; }
    bool transferSessionLoggedIn() const { return m_sessions.xferSession()->loggedIn; }

    // Appends a line to the log; its first character is the marker.
    void writeLog(const QString &line);

signals:
    void logWritten(const QString &line);
    // The wait window's text while start-up or shut-down runs.
    void waitTextChanged(const QString &text);
    // The first tick has run: the wait window may close.
    void startupTickRan();
    void debugModeChanged(bool on);
    // The interface settings (toolbar look, log and meter, logo, tray) are to be applied
    // to the window.
    void interfaceSettingsChanged();
    // Start-up has loaded the filters, the quick-connect data and the local folder, and the
    // local list has been refreshed: the window fills its rows and marks.
    void startupDataLoaded();
    // Something asks the window to close through its normal close path (which runs
    // FormCloseQuery). Receivers should close with a queued call.
    void closeRequested();
    // The main session has logged in: the remote list replaces the logo.
    void siteLoggedIn();
    // The main session's connection ended (lost or closed by the user): the logo returns.
    void siteClosed();

private:
    void timerStartup();
    void loadSettings();
    // A data file that could not be read completely: copied aside before anything writes
    // over it, logged, and named in the one message tellDamagedFiles shows at start-up.
    void noteDamaged(const QString &path);
    void tellDamagedFiles();
    QStringList m_damagedFiles;
    void restoreWindowGeometry();
    void useSharedProfilesFolder();
    void loadAsciiMasks();
    void runStartupAction();
    // False when the program is to close (cancelled or wrong password).
    bool askLaunchPassword();
    void saveEverything();
    void storeWindowKeys();
    void wireSessions();
    void wireQueue();
    void wireStatus();
    void disconnectForShutDown();

    UserInterface &m_ui;
    MainView m_nullView;
    MainView *m_view = &m_nullView;
    tSetupClass m_setup{false};
    DataFolders m_folders;
    MasterTick m_tick;
    LogModel m_log;
    // Turns the FTP sessions' display lines into log lines.
    DisplayFeed m_displayFeed;
    Diagnostics m_diagnostics{m_ui, m_setup};
    BrowserController m_browsers{m_setup, m_ui};
    SessionSupervisor m_sessions;
    QueueController m_queue;
    MeterController m_meter;
    StatusController m_status;
    ConnectController m_connect;
    SavedQueues m_savedQueues;
    // Made before the constructor wires the other receivers of a session's close: it must
    // see the session still logged in and its remote folder still current.
    SessionLoss m_loss{{m_setup, m_diagnostics, m_folders, m_browsers, m_sessions, m_queue, m_connect, m_tick},
                       [this](const QString &line) { writeLog(line); }};
    VersionCheck m_versionCheck{kVersion};
    BrowserCommands m_browserCommands{m_setup, m_ui, m_browsers, m_queue, m_sessions};
    FolderSync m_folderSync{m_setup, m_ui, m_browsers, m_queue, m_sessions};
    CertificateTrust m_certificates{m_ui, [this](const QString &line) { writeLog(line); }};
    // Host keys and key passphrases of SFTP sessions, put to the user.
    SftpQuestions m_sftpQuestions{m_ui};
    DesktopSecrets m_secrets{m_setup, [this](const QString &line) { writeLog(line); }};
    QString m_sharedProfilesFolder;
    QDateTime m_startTime;
    bool m_started = false;
    bool m_debugMode = false;
};
