// What the commands of the main window do. Each handler runs under the error guard with
// its own site id.
#include "app/DebugReports.h"
#include "app/widgets/AboutBox.h"
#include "app/widgets/AppArt.h"
#include "app/widgets/BrowserCommandBinder.h"
#include "app/widgets/BrowserPane.h"
#include "app/widgets/Commands.h"
#include "app/widgets/FeedbackWindow.h"
#include "app/widgets/HelpBrowser.h"
#include "app/widgets/LoginMessageWindow.h"
#include "app/widgets/MainWindow.h"
#include "base/Guard.h"
#include "browser/widgets/FileBrowsers.h"
#include "queue/widgets/QueuePanel.h"
#include "settings/SettingsCatalogue.h"
#include "status/widgets/LogView.h"
#include "status/widgets/MeterPanel.h"
#include "ui/ToolbarLook.h"

#include <QApplication>
#include <QSplitter>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QToolBar>
#include <QTreeView>

namespace {

const QString kHomepage = QStringLiteral("https://kestrin-ftp.example/");

void setIcons(QStyle *style, std::initializer_list<std::pair<QAction *, QStyle::StandardPixmap>> icons)
{
    for (const auto &[action, pixmap] : icons)
        action->setIcon(style->standardIcon(pixmap));
}

} // namespace

void MainWindow::on(QAction *action, const char *siteId, std::function<void()> work)
{
    connect(action, &QAction::triggered, this, [siteId, work = std::move(work)] { guarded(siteId, work); });
}

void MainWindow::bindCommands()
{
    Commands &c = *m_commands;
    QStyle *s = style();
    setIcons(s, {{c.acConnect, QStyle::SP_DriveNetIcon},
                 {c.acDisconnect, QStyle::SP_DialogCancelButton},
                 {c.acSend, QStyle::SP_ArrowUp},
                 {c.acReceive, QStyle::SP_ArrowDown},
                 {c.acStop, QStyle::SP_BrowserStop},
                 {c.acRefresh, QStyle::SP_BrowserReload},
                 {c.acOpen, QStyle::SP_DirOpenIcon},
                 {c.acEdit, QStyle::SP_FileDialogContentsView},
                 {c.acRename, QStyle::SP_FileDialogDetailedView},
                 {c.acDelete, QStyle::SP_TrashIcon},
                 {c.acFolderNew, QStyle::SP_FileDialogNewFolder},
                 {c.acSiteMgr, QStyle::SP_DirHomeIcon},
                 {c.acHistory, QStyle::SP_FileDialogListView},
                 {c.acVuzidIRA, QStyle::SP_CommandLink}});
    c.acRavuzAro->setIcon(AppArt::appIcon());
    c.acFilters->setIcon(AppArt::filterIcon());
    c.toChMod->setIcon(AppArt::permissionsIcon());
    c.toSynchronize->setIcon(s->standardIcon(QStyle::SP_DialogApplyButton));
    // Window-wide shortcuts (F1, Ctrl+U, Ctrl+E, Ctrl+G) must work whatever has the focus;
    // the list shortcuts stay with their lists.
    for (QAction *a : c.all()) {
        if (!a->shortcut().isEmpty() && a->shortcutContext() == Qt::WindowShortcut)
            addAction(a);
    }
    on(c.acClose, "nnqkcl", [this] { close(); });
    on(c.acStop, "jlkjas", [this] { m_controller.sessionLoss().acStop(); });
    on(c.acWindowQueueBrowser, "nnqfqb", [this] { m_qLv->setFocus(Qt::ShortcutFocusReason); });
    on(c.acWindowLogWindow, "nnqflg", [this] {
        if (!m_log->isHidden())
            m_log->setFocus(Qt::ShortcutFocusReason);
    });
    on(c.acWindowLocalBrowser, "nnqflb", [this] {
        m_lLv->setFocus(Qt::ShortcutFocusReason);
        m_controller.browsers().setLocalActive(true);
    });
    // The remote list shows once logged in; until then its folder box takes the focus.
    on(c.acWindowsRemoteBrowser, "nnqfrb", [this] {
        if (m_rPanel->logoShown())
            m_rPanel->combo()->setFocus(Qt::ShortcutFocusReason);
        else
            m_rlv->setFocus(Qt::ShortcutFocusReason);
        m_controller.browsers().setLocalActive(false);
    });
    on(c.acViewSwitchBrowsers, "nnqswb", [this] { setBrowsersSwitched(!browsersSwitched()); });
    on(c.acFilters, "nnqflt", [this] { setFiltersShown(m_commands->acFilters->isChecked()); });
    // The mode items keep "transferMode" in step with their mark; the transfers read it.
    const std::pair<QAction *, int> modes[] = {{c.acModeAuto, 0}, {c.acModeBinary, 1}, {c.acModeAscii, 2}};
    for (const auto &[command, value] : modes)
        on(command, "nnqtmd", [this, value = value] { write(m_controller.setup(), Keys::transferMode, value); });
    on(c.acEditOptions, "nnqopt", [this] { openOptions(); });
    on(c.acMeterConfigure, "nnqmcf", [this] { openOptions(QStringLiteral("Bandwidth Meter")); });
    on(c.acIc, "nnqmtr", [this] { setMeterShown(m_commands->acIc->isChecked()); });
    on(c.acMeterHide, "nnqmth", [this] { setMeterShown(false); });
    bindToolbarCommands();
    bindLogCommands();
    bindHelpCommands();
    m_browserBinder = new BrowserCommandBinder(
        m_controller, {m_commands, m_browsers, m_lPanel, m_rPanel, m_queue->list(), m_lvPopUp}, this);
    bindDebugCommands();
}

void MainWindow::bindToolbarCommands()
{
    Commands &c = *m_commands;
    const std::pair<QAction *, QToolBar *> toggles[] = {
        {c.acTbStandard, m_tbGeneral}, {c.acTbAdvanced, m_tbTools}, {c.acTbConnection, m_tbConnection}};
    for (const auto &[command, bar] : toggles) {
        on(command, "nnqtbv", [command = command, bar = bar] { bar->setVisible(command->isChecked()); });
    }
    const std::pair<QAction *, int> sizes[] = {{c.acTbSizeSmall, 0}, {c.acTbSizeNormal, 1}, {c.acTbSizeLarge, 2}};
    for (const auto &[command, value] : sizes) {
        on(command, "nnqtbs", [this, value = value] {
            write(m_controller.setup(), Keys::toolbarFontSize, value);
            applyInterfaceSettings();
        });
    }
    const std::pair<QAction *, int> themes[] = {
        {c.acTbThemeStandard, 0}, {c.acTbThemeStripes, 1}, {c.acTbThemeOfficeXP, 2}};
    for (const auto &[command, value] : themes) {
        on(command, "nnqtbt", [this, value = value] {
            write(m_controller.setup(), Keys::toolbarTheme, value);
            applyInterfaceSettings();
        });
    }
}

void MainWindow::applyToolbarLook()
{
    Commands &c = *m_commands;
    const tSetupClass &s = m_controller.setup();
    const auto size = read(s, Keys::toolbarFontSize);
    // Any other stored size changes nothing.
    if (size >= 0 && size <= 2) {
        ToolbarLook::applySize(toolbars(), static_cast<ToolbarLook::Size>(size), QApplication::font());
        (size == 0 ? c.acTbSizeSmall : size == 1 ? c.acTbSizeNormal : c.acTbSizeLarge)->setChecked(true);
    }
    const ToolbarLook::Theme theme = ToolbarLook::themeFromSetting(read(s, Keys::toolbarTheme));
    ToolbarLook::applyTheme(toolbars(), theme);
    (theme == ToolbarLook::Theme::Standard  ? c.acTbThemeStandard
     : theme == ToolbarLook::Theme::Stripes ? c.acTbThemeStripes
                                            : c.acTbThemeOfficeXP)
        ->setChecked(true);
}

void MainWindow::setLogWindowShown(bool shown)
{
    m_commands->acLogwin->setChecked(shown);
    write(m_controller.setup(), Keys::showLogWin, shown);
    if (shown == !m_log->isHidden())
        return;
    // Handle 1 is the splitter below the log.
    m_vertical->handle(1)->setVisible(shown);
    if (!shown) {
        m_log->hide();
        return;
    }
    // Give the log back a useful height when the splitter left it none.
    const int height =
        m_log->height() >= LogView::kRowHeight * 2 ? m_log->height() : static_cast<int>(Keys::logHeight.def);
    m_log->show();
    QList<int> sizes = m_vertical->sizes();
    if (sizes.size() == 3 && sizes[0] < height) {
        sizes[1] = std::max(50, sizes[1] - (height - sizes[0]));
        sizes[0] = height;
        m_vertical->setSizes(sizes);
    }
}

void MainWindow::setMeterShown(bool shown)
{
    m_commands->acIc->setChecked(shown);
    write(m_controller.setup(), Keys::showMeter, shown);
    m_meter->setVisible(shown);
}

void MainWindow::bindLogCommands()
{
    Commands &c = *m_commands;
    // Start-up sets both from "logAutoScroll"; until then they agree on following.
    c.acLogAutoScroll->setChecked(m_log->followNewLines());
    on(c.acLogwin, "nnqlgw", [this] { setLogWindowShown(m_commands->acLogwin->isChecked()); });
    on(c.acLogCopyToClipboard, "nnqlgc", [this] { m_log->copySelectedToClipboard(); });
    on(c.acLogSelectAll, "nnqlga", [this] { m_log->selectAll(); });
    on(c.acLogClear, "nnqlgx", [this] { m_controller.log().clear(); });
    on(c.acLogAutoScroll, "nnqlgs", [this] {
        const bool on = m_commands->acLogAutoScroll->isChecked();
        m_log->setFollowNewLines(on);
        write(m_controller.setup(), Keys::logAutoScroll, on);
    });
    on(c.acLogShowLoginMessage, "nnqlgm", [this] {
        if (!m_controller.mainSessionLoggedIn()) {
            m_ui.showMessage(
                QStringLiteral("Error:\r - Cannot show login message\r\rReason:\r - Not connected to FTP server"));
            return;
        }
        showLoginMessage();
    });
    // At login, when "showLoginMsg" says so; after the completion that reported the login
    // has returned.
    connect(
        &m_controller.queue(), &QueueController::mainSessionLoggedIn, this,
        [this] {
            guarded("nnqlgl", [this] {
                if (m_controller.mainSessionLoggedIn() && read(m_controller.setup(), Keys::showLoginMsg))
                    showLoginMessage();
            });
        },
        Qt::QueuedConnection);
}

LoginMessageWindow *MainWindow::loginMessageWindow() const
{
    return m_loginMessages;
}

void MainWindow::showLoginMessage()
{
    if (!m_loginMessages)
        m_loginMessages = new LoginMessageWindow(m_controller.setup(), this);
    m_loginMessages->showLines(m_controller.sessions().mainSession()->loginMessages);
    m_loginMessages->show();
    m_loginMessages->raise();
}

void MainWindow::setFiltersShown(bool shown)
{
    m_commands->acFilters->setChecked(shown);
    m_controller.browsers().setFiltersShown(shown);
    for (FileBrowser *side :
         {static_cast<FileBrowser *>(&m_browsers->local()), static_cast<FileBrowser *>(&m_browsers->remote())}) {
        side->applyFilterRow();
        side->scheduleRebuild();
    }
}

bool MainWindow::browsersSwitched() const
{
    return m_panes->indexOf(m_rPanel) == 0;
}

void MainWindow::setBrowsersSwitched(bool switched)
{
    if (switched != browsersSwitched()) {
        // Each pane takes its width along; the one now on the right fills what the window
        // gains.
        const QList<int> sizes = m_panes->sizes();
        m_panes->insertWidget(0, switched ? m_rPanel : m_lPanel);
        m_panes->setStretchFactor(0, 0);
        m_panes->setStretchFactor(1, 1);
        if (sizes.size() == 2 && sizes[0] > 0 && sizes[1] > 0)
            m_panes->setSizes({sizes[1], sizes[0]});
    }
    write(m_controller.setup(), Keys::switchBrowserWindows, switched);
}

void MainWindow::bindHelpCommands()
{
    Commands &c = *m_commands;
    const std::pair<QAction *, const char *> topics[] = {{c.acHelpWelcome, "welcome.htm"},
                                                         {c.acHelpContents, HelpBrowser::kContents},
                                                         {c.acHelpAddSite, "addToSiteMgr.htm"},
                                                         {c.acHelpConnect, "howToConnect.htm"},
                                                         {c.acHelpSendFile, "howToSendFile.htm"}};
    for (const auto &[command, topic] : topics)
        on(command, "nnqhlp", [this, topic = topic] { showHelpTopic(QString::fromLatin1(topic)); });
    on(c.acHomepage, "nnqhom", [this] { m_ui.openUrl(QUrl(kHomepage)); });
    on(c.acAbout, "nnqabt", [this] {
        AboutBox box(this);
        box.exec();
    });
    on(c.acGiveFeedback, "nnqfbk", [this] { offerFeedback(); });
    on(c.acRavuzAro, "nnqrav", [this] {
        SessionSupervisor &s = m_controller.sessions();
        s.acRavuzAro();
        // A refused switch keeps its old state, so the mark follows the sessions.
        m_commands->acRavuzAro->setChecked(s.ravuzAro());
    });
}

void MainWindow::offerFeedback()
{
    FeedbackWindow window(read(m_controller.setup(), Keys::neverShowAppFeedback), this);
    connect(&window, &FeedbackWindow::writeRequested, this, [this](const QUrl &mail) { m_ui.openUrl(mail); });
    window.exec();
    write(m_controller.setup(), Keys::neverShowAppFeedback, window.neverShow());
}

void MainWindow::openDebugFile(const QString &name, const QStringList &lines)
{
    m_ui.openUrl(QUrl::fromLocalFile(DebugReports::writeTempFile(name, lines)));
}

void MainWindow::bindDebugCommands()
{
    Commands &c = *m_commands;
    on(c.acDebugRawListing, "nnqdb1", [this] {
        const QString raw = m_controller.sessions().mainSession()->lastListing;
        openDebugFile(QStringLiteral("Kestrin FTP Debug.txt"), raw.isEmpty() ? QStringList() : QStringList{raw});
    });
    on(c.acDebugSetupVariables, "nnqdb2", [this] {
        openDebugFile(QStringLiteral("kftpdebug.txt"), DebugReports::setupKeys(m_controller.setup()));
        openDebugFile(QStringLiteral("kftpdebug2.txt"), DebugReports::setupEntryLines(m_controller.setup()));
    });
    on(c.acDebugInfo, "nnqdb3", [this] {
        DebugInfo info;
        info.width = width();
        info.height = height();
        info.appRuns = QString::number(read(m_controller.setup(), Keys::appRuns));
        info.appDataFolder = m_controller.folders().programData;
        info.dataFolder = m_controller.sharedProfilesFolder();
        const BrowserState &state = m_controller.browsers().state();
        info.rFolder = state.rFolder;
        info.lastSelectedLocal = state.lastSelectedTn_local;
        info.lastSelectedRemote = state.lastSelectedTn_remote;
        openDebugFile(QStringLiteral("Kestrin FTP Debug.txt"), DebugReports::infoLines(info));
    });
    on(c.acDebugEntries, "nnqdb4", [this] {
        const BrowserState &state = m_controller.browsers().state();
        openDebugFile(QStringLiteral("Kestrin FTP Pro Debug.txt"),
                      DebugReports::entriesLines(DebugReports::entryNames(state.lEntries),
                                                 DebugReports::entryNames(state.remoteEntries())));
    });
    on(c.acDebugRFolders, "nnqdb5", [this] {
        openDebugFile(QStringLiteral("Kestrin FTP Pro Debug.txt"),
                      DebugReports::cachedFolderLines(m_controller.browsers().state().rFolders));
    });
    on(c.acDebugThreadInfo, "nnqdb6", [this] {
        const QString main = m_controller.mainSessionLoggedIn() ? QStringLiteral("-1") : QStringLiteral("0");
        m_controller.writeLog(QString(LogModel::kInfo) + QStringLiteral("mFTP.loggedIn: ") + main);
        m_controller.writeLog(QString(LogModel::kInfo) + QStringLiteral("xFTP.loggedIn: ") +
                              (m_controller.transferSessionLoggedIn() ? QStringLiteral("-1") : QStringLiteral("0")));
    });
}

void MainWindow::setupTray()
{
    m_tray = new QSystemTrayIcon(AppArt::appIcon(), this);
    m_tray->setObjectName(QStringLiteral("trayIcon"));
    m_tray->setToolTip(QStringLiteral("Kestrin FTP Pro"));
    m_tray->setContextMenu(m_trayPop);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            guarded("nnqtr1", [this] { restoreFromTray(); });
    });
    on(m_commands->acTrayShow, "nnqtr2", [this] { restoreFromTray(); });
    on(m_commands->acTrayClose, "nnqtr3", [this] { close(); });
}
