#pragma once

#include <QAction>
#include <QList>
#include <QObject>

class QActionGroup;

// The main window's named commands. Each is one QAction with the command's caption and
// default shortcut; every menu entry and toolbar button that shows a command uses this
// same object, so a caption, check mark or enabled state is shared by all of them.
//
// text() is the caption menus show; iconText() is the command's caption as toolbar buttons
// show it. They differ only where a menu names the command differently: "Enable RavuzAro"
// (RavuzAro), "Change Permissions" (the toolbar's "Permissions") and "Bandwidth Meter"
// (Information Control).
class Commands : public QObject {
    Q_OBJECT
public:
    explicit Commands(QObject *parent = nullptr);

    QAction *find(const QString &name) const;
    // The command's hint: its tooltip and the text of the status bar's hint panel.
    static void setHint(QAction *action, const QString &hint);
    const QList<QAction *> &all() const { return m_all; }

    // Connection (File menu).
    QAction *acConnect, *acDisconnect, *acSiteMgr, *acHistory, *acPasteUrl, *acVuzidIRA, *acClose;
    QAction *acOpenFavoritesManager, *acOpenConnectionHistory;
    // Transfers.
    QAction *acSend, *acReceive, *acStop, *acRavuzAro, *acModeAuto, *acModeAscii, *acModeBinary;
    // File lists.
    QAction *acRefresh, *acOpen, *acEdit, *acRename, *acDelete, *acFolderNew, *acFolderChange;
    QAction *acOpenInExplorer, *acOpenExplorer, *acSelectAll, *acEditGroupSelect, *acFilters;
    QAction *acWindowLocalBrowser, *acWindowsRemoteBrowser, *acWindowLogWindow, *acWindowQueueBrowser;
    QAction *acViewSwitchBrowsers, *toCompareFolders, *toSynchronize, *toChMod, *acEditOptions;
    // Log.
    QAction *acLogwin, *acLogClear, *acLogCopyToClipboard, *acLogSelectAll, *acLogAutoScroll, *acLogShowLoginMessage;
    // Meter.
    QAction *acIc, *acMeterReset, *acMeterConfigure, *acMeterDisabled, *acMeterHide;
    // Toolbars.
    QAction *acTbStandard, *acTbAdvanced, *acTbConnection;
    QAction *acTbSizeSmall, *acTbSizeNormal, *acTbSizeLarge;
    QAction *acTbThemeStandard, *acTbThemeStripes, *acTbThemeOfficeXP;
    // Help.
    QAction *acHelpWelcome, *acHelpContents, *acHelpAddSite, *acHelpConnect, *acHelpSendFile;
    QAction *acCheckNewVersion, *acGiveFeedback, *acHomepage, *acAbout;
    // Notification-area icon.
    QAction *acTrayShow, *acTrayClose;
    // Debug menu.
    QAction *acDebugRawListing, *acDebugSetupVariables, *acDebugInfo, *acDebugEntries, *acDebugRFolders;
    QAction *acDebugThreadInfo;

    QActionGroup *sizeGroup, *themeGroup, *modeGroup;

private:
    QAction *make(const char *name, const char *caption, const char *menuText = nullptr);
    void makeConnectionCommands();
    void makeListCommands();
    void makeViewCommands();
    void makeHelpCommands();

    QList<QAction *> m_all;
};
