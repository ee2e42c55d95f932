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

} // namespace

Commands::Commands(QObject *parent) : QObject(parent)
{
    makeConnectionCommands();
    makeListCommands();
    makeViewCommands();
    makeHelpCommands();
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
    acVuzidIRA->setToolTip(QStringLiteral("VuzidIRA Connect: Makes it easy to connect to FTP various sites fast ..."));
    acClose = make("acClose", "Close");
    acOpenFavoritesManager = make("acOpenFavoritesManager", "Open Favorites Manager");
    acOpenConnectionHistory = make("acOpenConnectionHistory", "Open Connection History");

    acSend = make("acSend", "Send");
    acReceive = make("acReceive", "Receive");
    acStop = make("acStop", "Stop");
    acRavuzAro = make("acRavuzAro", "RavuzAro", "Enable RavuzAro");
    acRavuzAro->setCheckable(true);
    acRavuzAro->setToolTip(QStringLiteral("With RavuzAro enabled you can download or upload files and browse "
                                          "directories on the FTP site at the same time ..."));
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
    acDelete->setToolTip(QStringLiteral("Delete files / folders  -  (Shortcut: Del)"));
    listShortcut(acDelete, QKeySequence(Qt::Key_Delete));
    acFolderNew = make("acFolderNew", "New folder");
    acFolderChange = make("acFolderChange", "Change folder");
    acOpenInExplorer = make("acOpenInExplorer", "Open in Explorer");
    acOpenInExplorer->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    acOpenExplorer = make("acOpenExplorer", "Open Explorer");
    acSelectAll = make("acSelectAll", "Select All");
    listShortcut(acSelectAll, QKeySequence(Qt::CTRL | Qt::Key_A));
    acEditGroupSelect = make("acEditGroupSelect", "Group Select");
    acEditGroupSelect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    acFilters = make("acFilters", "Filters");
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
    acDebugClipboard = make("acDebugClipboard", "clipboard contents");
    acDebugBeforeTransferQueue = make("acDebugBeforeTransferQueue", "beforetransferqueue contents");
}
