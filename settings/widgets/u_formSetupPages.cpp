// The pages of the options dialog that are plain bound controls.
#include "settings/SettingsCatalogue.h"
#include "settings/widgets/OptionsPage.h"
#include "settings/widgets/u_formSetup.h"

#include <QCheckBox>
#include <QIntValidator>
#include <QLineEdit>
#include <QSpinBox>

namespace {

QStringList texts(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}

} // namespace

void TFormSetup::buildAdvanced()
{
    OptionsPage *p = addPage(QStringLiteral("advanced"), "advanced");
    p->group(QStringLiteral(" Options "));
    p->check(Keys::monitorClipboardForFTPUrls, QStringLiteral("Monitor clipboard for FTP URLs"));
    p->check(Keys::minimizeToTray, QStringLiteral("Minimize application to system tray"));
    p->check(Keys::noPleaseWaitWindow, QStringLiteral("Never show \"work in progress\" waiting window"));
    p->check(Keys::detailedLog, QStringLiteral("Show detailed technical info in logwindow (startup time, etc)"));
    p->check(Keys::noticeNewVersion, QStringLiteral("Show notice when a new version of Kestrin FTP Pro is available"));
    p->group(QStringLiteral(" Logo (restart kestrin ftp to make custom logo changes active) "));
    p->note(QStringLiteral("Path to custom logo:"));
    p->fileText(Keys::customlogo, QString(), [this] {
        return browseFile(QStringLiteral("Custom logo"), QStringLiteral("Image Files (*.bmp *.BMP *.png *.PNG)"));
    });
    p->check(Keys::useCustomLogo, QStringLiteral("Use custom logo"));
    p->check(Keys::disableLogo, QStringLiteral("Disable Logo"));
    p->finish();
}

void TFormSetup::buildBandwidthMeter()
{
    OptionsPage *p = addPage(QStringLiteral("bandwidth meter"), "bandwidth");
    p->check(Keys::disableBandwidthMeter, QStringLiteral("Disable bandwidth meter updating"));
    p->choice(Keys::advancedBandwidthMeterInfoMode, QStringLiteral("Show advanced transfer details when:"),
              texts({"Mouse is over meter", "Always show it", "Never show it"}));
    p->finish();
}

void TFormSetup::buildConnection()
{
    OptionsPage *p = addPage(QStringLiteral("connection"), "connection");
    p->group(QStringLiteral(" Connection retries "));
    p->number(Keys::maxRetries, QStringLiteral("Max retries:"), 0, 999);
    p->number(Keys::retryDelay, QStringLiteral("Retry delay:"), 0, 86400, QStringLiteral(" seconds."));
    p->number(Keys::replyTimeout, QStringLiteral("Server reply timeout:"), 1, 3600, QStringLiteral(" seconds."));
    p->group(QStringLiteral(" Anonymous sessions password "));
    p->text(Keys::anonPass, QString());
    p->group(QStringLiteral(" Options "));
    p->check(Keys::setOriginalFileDate, QStringLiteral("Use FTP file date on downloaded files"));
    p->check(Keys::listHiddenFiles, QStringLiteral("List hidden files and folders on FTP server"));
    p->check(Keys::autoRefreshFolders, QStringLiteral("Auto refresh local and FTP folders when needed"));
    p->check(Keys::autoSaveQueue, QStringLiteral("Auto save queue on disconnection"));
    p->check(Keys::forceRemoteLowercase, QStringLiteral("Convert FTP filenames to lowercase when sending"));
    p->finish();
}

void TFormSetup::buildAntiTimeout()
{
    OptionsPage *p = addPage(QStringLiteral("anti timeout"), "antitimeout");
    p->check(Keys::keepAlive, QStringLiteral("Enable FTP anti-timeout technology"));
    p->note(QStringLiteral("Send anti-timeout pulse to FTP server between ..."));
    p->number(Keys::keepAliveSecsStart, QString(), 1, 86400);
    p->number(Keys::keepAliveSecsEnd, QStringLiteral("and"), 1, 86400,
              QStringLiteral(" seconds after last user activity"));
    p->number(Keys::antiTimeoutMinutesToMaintain, QStringLiteral("Stop sending anti-timeout pulse after"), 1, 10000,
              QStringLiteral(" minutes of inactivity"));
    p->finish();
}

void TFormSetup::buildGeneral()
{
    OptionsPage *p = addPage(QStringLiteral("general"), "general");
    p->choice(Keys::startupAction, QStringLiteral("When starting Kestrin FTP Pro:"),
              texts({"Do nothing special", "Open site manager", "Connect to last used site", "Open VuzidIRA connect",
                     "Open connection history"}));
    p->choice(Keys::fileDoubleclickAction, QStringLiteral("File doubleclick action"),
              texts({"Open File", "Transfer File"}));
    p->group(QStringLiteral(" Default editor "));
    p->fileText(Keys::defaultEditor, QString(),
                [this] { return browseFile(QStringLiteral("Default editor"), QString()); });
    p->check(Keys::defaultEditorAlways, QStringLiteral("Always use default editor for editing files"));
    p->finish();
}

void TFormSetup::buildDisplay()
{
    OptionsPage *p = addPage(QStringLiteral("display"), "display");
    p->group(QStringLiteral(" File Views "));
    p->check(Keys::filesizeInBytes, QStringLiteral("Show filesizes in bytes instead of KB"));
    p->check(Keys::fullRowSelect, QStringLiteral("Use full row selection"));
    p->check(Keys::autoSelectFolder, QStringLiteral("Auto select last used folder"));
    p->check(Keys::markCachedFolders, QStringLiteral("Mark cached FTP folders with bold font"));
    p->check(Keys::hideFileIcons, QStringLiteral("Hide file icons from listview"));
    p->check(Keys::shadeFilenameColumn, QStringLiteral("Shade \"sort-by\" column"));
    p->check(Keys::disableFancyColors, QStringLiteral("Disable all fancy color fadings"));
    p->check(Keys::showLogWin, QStringLiteral("Show log window on main window"));
    p->check(Keys::showMeter, QStringLiteral("Show bandwidth meter on main window"));
    p->check(Keys::disableBackgroundImages, QStringLiteral("Disable background images"));
    p->check(Keys::displayshortcuticon, QStringLiteral("Display shortcut icon on linked files and folders"));
    p->finish();
}

void TFormSetup::buildFirewall()
{
    OptionsPage *p = addPage(QStringLiteral("firewall"), "firewall");
    p->group(QStringLiteral(" FTP connection type "));
    p->choice(Keys::connectionType, QStringLiteral("Type:"),
              texts({"Direct", "Direct (Passive)", "Std. Proxy", "Socks "}));
    p->text(Keys::ConnectionTypeAddress, QStringLiteral("Firewall address:"));
    QLineEdit *port = p->text(Keys::ConnectionTypePort, QStringLiteral("Firewall port:"));
    port->setValidator(new QIntValidator(1, 65535, port));
    p->finish();
}

void TFormSetup::buildPrompts()
{
    OptionsPage *p = addPage(QStringLiteral("prompts"), "prompts");
    p->group(QStringLiteral(" Confirmations "));
    p->check(Keys::confirmDeleteOnServer, QStringLiteral("Prompt before deleting files and folders on FTP server"));
    p->check(Keys::confirmDeleteLocally, QStringLiteral("Prompt before deleting files and folders locally"));
    p->check(Keys::confirmDragDrop, QStringLiteral("Prompt before performing drag'n'drop operations"));
    p->check(Keys::confirmDeleteFromQueue, QStringLiteral("Prompt before deleting from transfer queue"));
    p->check(Keys::confirmDisconnectWhenQueueNotEmpty,
             QStringLiteral("Prompt before disconnect if queue is not empty"));
    p->check(Keys::confirmCloseWhenConnected, QStringLiteral("Prompt before application close if connected"));
    p->group(QStringLiteral(" FTP Login "));
    p->check(Keys::showLoginMsg, QStringLiteral("Show FTP server login message when connected"));
    p->finish();
}

void TFormSetup::buildTransfer()
{
    OptionsPage *p = addPage(QStringLiteral("transfer"), "transfer");
    p->group(QStringLiteral(" File transfer options "));
    p->choice(Keys::xferAction, QStringLiteral("If file already exists at destination, then "),
              texts({"overwrite the file", "resume the file", "skip file transfer", "prompt for action"}));
    QCheckBox *autoClose =
        p->check(Keys::autoCloseXferActionPrompt, QStringLiteral("Auto select default choice after (seconds):"));
    QSpinBox *secs = p->number(Keys::autoCloseXferActionPromptSecs, QString(), 1, 3600);
    secs->setEnabled(autoClose->isChecked());
    connect(autoClose, &QCheckBox::toggled, secs, &QWidget::setEnabled);
    p->number(Keys::simultaneousTransfers, QStringLiteral("Simultaneous transfers:"), 1,
              Keys::kMaxSimultaneousTransfers);
    p->check(Keys::preserveFileTimes, QStringLiteral("Preserve time stamps"));
    p->group(QStringLiteral(" Folder transfers "));
    p->number(Keys::folderDepthLimit, QStringLiteral("Deepest folder level to transfer:"), 1, 10000);
    p->group(QStringLiteral(" Folder listings "));
    p->number(Keys::listingMaxMiB, QStringLiteral("Largest folder listing (MiB):"), 1, 1048576);
    p->number(Keys::listingMaxEntries, QStringLiteral("Most entries in one folder listing:"), 1000, 2000000000);
    p->finish();
}

void TFormSetup::buildSecurity()
{
    OptionsPage *p = addPage(QStringLiteral("security"), "security");
    p->group(QStringLiteral(" History "));
    p->check(Keys::DeleteQuickConnectData, QStringLiteral("Delete quick connect bar FTP history on exit"));
    p->check(Keys::deleteLocalFolderHistory, QStringLiteral("Delete local folder history on exit"));
    p->check(Keys::connectionHistoryDeleteOnExit, QStringLiteral("Delete connection history on exit"));
    p->group(QStringLiteral(" Password "));
    p->check(Keys::askForLaunchPassword, QStringLiteral("Ask for password when launching Kestrin FTP Pro"));
    QLineEdit *password = p->text(Keys::launchPassword, QStringLiteral("Password:"));
    password->setEchoMode(QLineEdit::Password);
    p->check(Keys::useKeyring, QStringLiteral("Keep passwords in the desktop's keyring"));
    p->finish();
}

void TFormSetup::buildHistory()
{
    OptionsPage *p = addPage(QStringLiteral("history"), "history");
    p->group(QStringLiteral(" Connection history settings "));
    p->number(Keys::connectionHistorySize, QStringLiteral("Max entries in history list:"), 1, 99);
    p->note(QStringLiteral("For connection history security settings, check the security setup page"));
    p->check(Keys::connectionHistorySaveRFolder, QStringLiteral("Save last used FTP folder in history"));
    p->finish();
}

void TFormSetup::buildSharing()
{
    OptionsPage *p = addPage(QStringLiteral("sharing"), "TabSheet1");
    p->group(QStringLiteral(" Favorite Sites "));
    p->check(Keys::sharedFavorites, QStringLiteral("Store favorites is the folder specified below"));
    QLineEdit *folder = p->text(Keys::sharedFavoritesFolder, QStringLiteral("User specified favorites folder"));
    // A folder path always ends in "/", whatever the user typed.
    connect(folder, &QLineEdit::editingFinished, folder, [folder] {
        if (!folder->text().isEmpty() && !folder->text().endsWith(QLatin1Char('/')))
            folder->setText(folder->text() + QLatin1Char('/'));
    });
    p->note(QStringLiteral("If you make all Kestrin FTP Pro users point to the same folder, they will all share the "
                           "same favorite sites. Ideal for schools and other places where users need to access the "
                           "same FTP sites."));
    p->note(QStringLiteral("Note: Restart Kestrin FTP Pro to make it work."));
    p->finish();
}
