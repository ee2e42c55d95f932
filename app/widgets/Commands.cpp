#include "app/widgets/Commands.h"

#include <QActionGroup>

namespace {

QActionGroup *exclusive(QObject *parent, std::initializer_list<QAction *> actions)
{
    auto *group = new QActionGroup(parent);
    group->setExclusive(true);
    for (QAction *a : actions) {
        a->setCheckable(true);
        group->addAction(a);
    }
    return group;
}

void checkable(std::initializer_list<QAction *> actions)
{
    for (QAction *a : actions)
        a->setCheckable(true);
}

// Shortcuts that belong to a list's menu work only while that list (or its menu) has the
// focus, so Ctrl+A in the log and Ctrl+A in a file list do not collide.
void listShortcut(QAction *action, const QKeySequence &key)
{
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
}

// The hints the status bar's hint panel shows while the pointer rests on a command, and
// the tooltips of toolbar buttons. Commands with a configurable shortcut get theirs
// (with the key) when the shortcuts are applied.
struct Hint {
    QAction *Commands::*command;
    const char *text;
};

const Hint kHints[] = {
    {&Commands::acConnect, "Connect to the FTP server"},
    {&Commands::acDisconnect, "Disconnect from the FTP server"},
    {&Commands::acSiteMgr, "Manage your favorite FTP sites"},
    {&Commands::acHistory, "Connection history"},
    {&Commands::acPasteUrl, "Connect to the FTP address on the clipboard"},
    {&Commands::acVuzidIRA, "VuzidIRA Connect: Makes it easy to connect to FTP various sites fast ..."},
    {&Commands::acClose, "Close Kestrin FTP Pro"},
    {&Commands::acOpenFavoritesManager, "Manage your favorite FTP sites"},
    {&Commands::acOpenConnectionHistory, "Connection history"},
    {&Commands::acSend, "Send file(s) / folder(s)"},
    {&Commands::acReceive, "Receive file(s) / folder(s)"},
    {&Commands::acStop, "Stop the running transfers or a pending reconnect"},
    {&Commands::acRavuzAro, "With RavuzAro enabled you can download or upload files and browse directories on the "
                            "FTP site at the same time ..."},
    {&Commands::acModeAuto, "Transfer text files as ASCII and other files as binary"},
    {&Commands::acModeAscii, "Transfer every file as ASCII text"},
    {&Commands::acModeBinary, "Transfer every file byte for byte"},
    {&Commands::acRefresh, "Refresh folder"},
    {&Commands::acOpen, "Open file / folder"},
    {&Commands::acEdit, "Edit file"},
    {&Commands::acRename, "Rename file / folder"},
    {&Commands::acDelete, "Delete files / folders  -  (Shortcut: Del)"},
    {&Commands::acFolderNew, "Create new folder"},
    {&Commands::acFolderChange, "Change to another folder"},
    {&Commands::acOpenInExplorer, "Show the local folder in the file manager  -  (Shortcut: Ctrl+E)"},
    {&Commands::acOpenExplorer, "Show the local folder in the file manager"},
    {&Commands::acSelectAll, "Select every file and folder  -  (Shortcut: Ctrl+A)"},
    {&Commands::acEditGroupSelect, "Select the files whose names match a mask  -  (Shortcut: Ctrl+G)"},
    {&Commands::acFilters, "Turn on / off name filter"},
    {&Commands::acWindowLocalBrowser, "Move the keyboard focus to the local file list"},
    {&Commands::acWindowsRemoteBrowser, "Move the keyboard focus to the remote file list"},
    {&Commands::acWindowLogWindow, "Move the keyboard focus to the log"},
    {&Commands::acWindowQueueBrowser, "Move the keyboard focus to the transfer queue"},
    {&Commands::acViewSwitchBrowsers, "Exchange the places of the local and remote file lists"},
    {&Commands::toCompareFolders, "Select the files that differ between the local and the remote folder"},
    {&Commands::toChMod, "Change file(s) / folder(s) permission"},
    {&Commands::acEditOptions, "Setup various program settings"},
    {&Commands::acLogwin, "Show or hide the log"},
    {&Commands::acLogClear, "Remove every line from the log"},
    {&Commands::acLogCopyToClipboard, "Copy the selected log lines to the clipboard"},
    {&Commands::acLogSelectAll, "Select every log line"},
    {&Commands::acLogAutoScroll, "Keep the newest log line in view"},
    {&Commands::acLogShowLoginMessage, "Show what the server said at login"},
    {&Commands::acIc, "Show or hide the bandwidth meter"},
    {&Commands::acMeterReset, "Start the bandwidth meter afresh"},
    {&Commands::acMeterConfigure, "Bandwidth meter settings"},
    {&Commands::acMeterDisabled, "Stop drawing the bandwidth meter"},
    {&Commands::acMeterHide, "Hide the bandwidth meter"},
    {&Commands::acTbStandard, "Show or hide the standard buttons"},
    {&Commands::acTbAdvanced, "Show or hide the advanced buttons"},
    {&Commands::acTbConnection, "Show or hide the quick connect bar"},
    {&Commands::acTbSizeSmall, "Small toolbar buttons"},
    {&Commands::acTbSizeNormal, "Normal toolbar buttons"},
    {&Commands::acTbSizeLarge, "Large toolbar buttons"},
    {&Commands::acTbThemeStandard, "Plain toolbars"},
    {&Commands::acTbThemeStripes, "Striped toolbars"},
    {&Commands::acTbThemeOfficeXP, "Toolbars with a shaded background"},
    {&Commands::acHelpWelcome, "Open the help"},
    {&Commands::acHelpAddSite, "How to add a site to the favorites manager"},
    {&Commands::acHelpConnect, "How to connect to an FTP site"},
    {&Commands::acHelpSendFile, "How to send a file to an FTP site"},
    {&Commands::acTrayShow, "Show the Kestrin FTP Pro window"},
    {&Commands::acTrayClose, "Close Kestrin FTP Pro"},
    {&Commands::acDebugRawListing, "Open the last listing the server sent"},
    {&Commands::acDebugSetupVariables, "Open the settings as stored"},
    {&Commands::acDebugInfo, "Open the window's and folders' details"},
    {&Commands::acDebugEntries, "Open the entries of both lists"},
    {&Commands::acDebugRFolders, "Open the cached remote folders"},
    {&Commands::acDebugThreadInfo, "Write the sessions' login state into the log"},
    {&Commands::acHelpContents, "Open the help at its contents"},
    {&Commands::acCheckNewVersion, "Look for a newer version of Kestrin FTP Pro"},
    {&Commands::acGiveFeedback, "Tell the makers what you think"},
    {&Commands::acHomepage, "Open the Kestrin FTP Pro web page"},
    {&Commands::acAbout, "Version and licence of Kestrin FTP Pro"},
};

} // namespace

Commands::Commands(QObject *parent) : QObject(parent)
{
    makeConnectionCommands();
    makeListCommands();
    makeViewCommands();
    makeHelpCommands();
    for (const Hint &h : kHints)
        setHint(this->*h.command, QString::fromUtf8(h.text));
}

void Commands::setHint(QAction *action, const QString &hint)
{
    action->setToolTip(hint);
    action->setStatusTip(hint);
}

QAction *Commands::make(const char *name, const char *caption, const char *menuText)
{
    auto *action = new QAction(QString::fromUtf8(menuText ? menuText : caption), this);
    action->setObjectName(QString::fromLatin1(name));
    action->setIconText(QString::fromUtf8(caption));
    m_all.append(action);
    return action;
}

QAction *Commands::find(const QString &name) const
{
    for (QAction *a : m_all) {
        if (a->objectName() == name)
            return a;
    }
    return nullptr;
}

void Commands::makeConnectionCommands()
{
    acConnect = make("acConnect", "Connect");
    acDisconnect = make("acDisconnect", "Disconnect");
    acSiteMgr = make("acSiteMgr", "Favorites");
    acHistory = make("acHistory", "History");
    acPasteUrl = make("acPasteUrl", "Paste URL");
    acVuzidIRA = make("acVuzidIRA", "VuzidIRA");
    acVuzidIRA->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    acClose = make("acClose", "Close");
    acOpenFavoritesManager = make("acOpenFavoritesManager", "Open Favorites Manager");
    acOpenConnectionHistory = make("acOpenConnectionHistory", "Open Connection History");

    acSend = make("acSend", "Send");
    acReceive = make("acReceive", "Receive");
    acStop = make("acStop", "Stop");
    acRavuzAro = make("acRavuzAro", "RavuzAro", "Enable RavuzAro");
    acRavuzAro->setCheckable(true);
    acModeAuto = make("acModeAuto", "Auto");
    acModeAscii = make("acModeAscii", "ASCII");
    acModeBinary = make("acModeBinary", "Binary");
    modeGroup = exclusive(this, {acModeAuto, acModeAscii, acModeBinary});
}

void Commands::makeListCommands()
{
    acRefresh = make("acRefresh", "Refresh");
    acOpen = make("acOpen", "Open");
    acEdit = make("acEdit", "Edit");
    acRename = make("acRename", "Rename");
    acDelete = make("acDelete", "Delete");
    listShortcut(acDelete, QKeySequence(Qt::Key_Delete));
    acFolderNew = make("acFolderNew", "New folder");
    acFolderChange = make("acFolderChange", "Change folder");
    acOpenInExplorer = make("acOpenInExplorer", "Open in File Manager");
    acOpenInExplorer->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    acOpenExplorer = make("acOpenExplorer", "Open File Manager");
    acSelectAll = make("acSelectAll", "Select All");
    listShortcut(acSelectAll, QKeySequence(Qt::CTRL | Qt::Key_A));
    acEditGroupSelect = make("acEditGroupSelect", "Group Select");
    acEditGroupSelect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    acFilters = make("acFilters", "Filters");
    acFilters->setCheckable(true);
    toCompareFolders = make("toCompareFolders", "Compare Folders");
    toSynchronize = make("toSynchronize", "Synchronize", "Synchronize...");
    toSynchronize->setToolTip(QStringLiteral("Make the remote folder like the local one, or the other way round: "
                                             "a preview shows every transfer and deletion before anything starts"));
    toSynchronize->setStatusTip(toSynchronize->toolTip());
    toChMod = make("toChMod", "Permissions", "Change Permissions");
    acEditOptions = make("acEditOptions", "Options");

    acLogShowLoginMessage = make("acLogShowLoginMessage", "Show Login Message");
    acLogCopyToClipboard = make("acLogCopyToClipboard", "Copy selected to clipboard");
    listShortcut(acLogCopyToClipboard, QKeySequence(Qt::CTRL | Qt::Key_C));
    acLogSelectAll = make("acLogSelectAll", "Select all");
    listShortcut(acLogSelectAll, QKeySequence(Qt::CTRL | Qt::Key_A));
    acLogClear = make("acLogClear", "Clear");
    acLogAutoScroll = make("acLogAutoScroll", "Auto Scroll");
    acLogwin = make("acLogwin", "Log Window");
    checkable({acLogAutoScroll, acLogwin});
}

void Commands::makeViewCommands()
{
    acWindowLocalBrowser = make("acWindowLocalBrowser", "Local Browser");
    acWindowsRemoteBrowser = make("acWindowsRemoteBrowser", "Remote Browser");
    acWindowLogWindow = make("acWindowLogWindow", "Log Window");
    acWindowQueueBrowser = make("acWindowQueueBrowser", "Queue Browser");
    acViewSwitchBrowsers = make("acViewSwitchBrowsers", "Switch browsers");

    acIc = make("acIc", "Information Control", "Bandwidth Meter");
    acIc->setCheckable(true);
    acMeterReset = make("acMeterReset", "Reset Meter");
    acMeterConfigure = make("acMeterConfigure", "Configure");
    acMeterDisabled = make("acMeterDisabled", "Disabled");
    acMeterDisabled->setCheckable(true);
    acMeterHide = make("acMeterHide", "Hide");

    acTbStandard = make("acTbStandard", "Standard Buttons");
    acTbAdvanced = make("acTbAdvanced", "Advanced Buttons");
    acTbConnection = make("acTbConnection", "Quick Connect Bar");
    checkable({acTbStandard, acTbAdvanced, acTbConnection});
    acTbSizeSmall = make("acTbSizeSmall", "Small");
    acTbSizeNormal = make("acTbSizeNormal", "Normal");
    acTbSizeLarge = make("acTbSizeLarge", "Large");
    sizeGroup = exclusive(this, {acTbSizeSmall, acTbSizeNormal, acTbSizeLarge});
    acTbThemeStandard = make("acTbThemeStandard", "Standard");
    acTbThemeStripes = make("acTbThemeStripes", "Stripes");
    acTbThemeOfficeXP = make("acTbThemeOfficeXP", "OfficeXP");
    themeGroup = exclusive(this, {acTbThemeStandard, acTbThemeStripes, acTbThemeOfficeXP});
}

void Commands::makeHelpCommands()
{
    acHelpWelcome = make("acHelpWelcome", "Help");
    acHelpWelcome->setShortcut(QKeySequence(Qt::Key_F1));
    acHelpContents = make("acHelpContents", "Contents");
    acHelpAddSite = make("acHelpAddSite", "Add a site to the favorites manager");
    acHelpConnect = make("acHelpConnect", "Connect to an FTP site");
    acHelpSendFile = make("acHelpSendFile", "Send a file to an FTP site");
    acCheckNewVersion = make("acCheckNewVersion", "Check for New Version");
    acGiveFeedback = make("acGiveFeedback", "Give Feedback");
    acHomepage = make("acHomepage", "Homepage");
    acAbout = make("acAbout", "About");

    acTrayShow = make("acTrayShow", "Show");
    acTrayClose = make("acTrayClose", "Close");

    acDebugRawListing = make("acDebugRawListing", "Last Raw Listing");
    acDebugSetupVariables = make("acDebugSetupVariables", "View setup variables");
    acDebugInfo = make("acDebugInfo", "Info");
    acDebugEntries = make("acDebugEntries", "lEntries / rEntries");
    acDebugRFolders = make("acDebugRFolders", "rFolders");
    acDebugThreadInfo = make("acDebugThreadInfo", "ftp thread info");
}
