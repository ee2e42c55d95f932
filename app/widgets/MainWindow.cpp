#include "app/widgets/MainWindow.h"

#include "app/widgets/AppArt.h"
#include "app/widgets/BrowserPane.h"
#include "app/widgets/Commands.h"
#include "app/widgets/DesktopPaths.h"
#include "app/widgets/HelpBrowser.h"
#include "app/widgets/LogoWidget.h"
#include "app/widgets/StatusBinding.h"
#include "base/Errors.h"
#include "base/Files.h"
#include "base/Guard.h"
#include "browser/widgets/FileBrowsers.h"
#include "queue/widgets/QueuePanel.h"
#include "queue/widgets/QueueView.h"
#include "settings/SettingsCatalogue.h"
#include "sites/widgets/ConnectViews.h"
#include "sites/widgets/SitesViews.h"
#include "status/widgets/LogView.h"
#include "status/widgets/MainStatusBar.h"
#include "status/widgets/MeterPanel.h"
#include "ui/u_formWait.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <utility>

MainWindow::MainWindow(MainController &controller, QWidget *parent)
    : QMainWindow(parent), m_controller(controller), m_ui(controller.ui()), m_commands(new Commands(this)),
      m_wait(new TFormWait(this)), m_manualFolder(DesktopPaths::manualFolder())
{
    setObjectName(QStringLiteral("TFormMain"));
    setWindowTitle(QStringLiteral("Kestrin FTP Pro"));
    setWindowIcon(AppArt::appIcon());
    setMinimumSize(550, 200);
    buildRegions();
    buildToolbars();
    buildMenus();
    buildContextMenus();
    bindCommands();
    m_commands->installEventFilter(this);
    bindConnectViews();
    setupTray();
    observeController();
    const WindowGeometry g = WindowGeometry::designed();
    resize(g.width, g.height);
    applyPanelSizes(g);
}

void MainWindow::bindConnectViews()
{
    const Commands &c = *m_commands;
    m_connectViews = new ConnectViews(
        m_controller, {c.acConnect, c.acDisconnect, c.acPasteUrl, c.acVuzidIRA, c.acHistory, c.acOpenConnectionHistory},
        {m_tbAddress, m_tbUsername, m_tbPassword, m_tbPort, m_tbEncryption, m_tbProtocol}, m_connectMenu, m_rlv, this,
        [this] {
            write(m_controller.setup(), Keys::defaultSetupTab, QStringLiteral("History"));
            openOptions(QStringLiteral("History"));
        });
    // Site profiles: the site manager and the links bar.
    new SitesViews(m_controller, {c.acSiteMgr, c.acOpenFavoritesManager, c.acRavuzAro}, m_tbLinks,
                   {[this] { openOptions(); }, [this](const QString &topic) { showHelpTopic(topic); }}, this);
}

void MainWindow::observeController()
{
    m_controller.setView(this);
    connect(&m_controller, &MainController::waitTextChanged, m_wait, &TFormWait::text);
    connect(&m_controller, &MainController::startupTickRan, m_wait, &TFormWait::startCloseTimer);
    connect(&m_controller, &MainController::debugModeChanged, this,
            [this](bool on) { m_debugMenu->menuAction()->setVisible(on); });
    connect(&m_controller, &MainController::interfaceSettingsChanged, this, &MainWindow::applyInterfaceSettings);
    connect(&m_controller, &MainController::startupDataLoaded, this, &MainWindow::fillStartupState);
    // Closed from inside a tick or a dialog: let that finish first.
    connect(&m_controller, &MainController::closeRequested, this, &QWidget::close, Qt::QueuedConnection);
    connect(&m_controller.browsers(), &BrowserController::localFolderHistoryChanged, this,
            &MainWindow::showLocalFolderHistory);
    // Once logged in the remote list takes the logo's place.
    connect(&m_controller, &MainController::siteLoggedIn, this, [this] { m_rPanel->setLogoShown(false); });
    // A lost connection that is being made again keeps its last listing in view, greyed;
    // looked at once the close handling (which forgets the listing) is over.
    connect(
        &m_controller, &MainController::siteClosed, this,
        [this] {
            if (m_controller.mainSessionLoggedIn())
                return;
            if (m_controller.sessionLoss().retryPending()) {
                m_rPanel->setReconnecting(m_browsers->remote().lastPicture());
                m_reconnectWatch->start();
            } else {
                m_rPanel->setLogoShown(!read(m_controller.setup(), Keys::disableLogo));
            }
        },
        Qt::QueuedConnection);
    // Stop, or the last failed try, ends the wait: the logo comes back.
    m_reconnectWatch = new QTimer(this);
    m_reconnectWatch->setInterval(250);
    connect(m_reconnectWatch, &QTimer::timeout, this, [this] {
        if (!m_rPanel->reconnectingShown()) {
            m_reconnectWatch->stop();
        } else if (!m_controller.sessionLoss().retryPending() && !m_controller.mainSessionLoggedIn() &&
                   m_controller.sessions().isFullyDisconnected()) {
            m_reconnectWatch->stop();
            m_rPanel->setLogoShown(!read(m_controller.setup(), Keys::disableLogo));
        }
    });
    bindStatusViews(*this);
}

MainWindow::~MainWindow()
{
    // The toolbar watch must not run against deleted commands while the children go.
    for (QToolBar *bar : toolbars())
        bar->removeEventFilter(this);
    m_commands->removeEventFilter(this);
    m_controller.setView(nullptr);
}

QList<QToolBar *> MainWindow::toolbars() const
{
    return {m_tbGeneral, m_tbConnection, m_tbLinks, m_tbTools};
}

HelpBrowser *MainWindow::helpBrowser()
{
    if (!m_help)
        m_help = new HelpBrowser(this);
    m_help->setManualFolder(m_manualFolder);
    return m_help;
}

void MainWindow::showHelpTopic(const QString &topic)
{
    helpBrowser()->showTopic(topic);
}

void MainWindow::loadListLayouts(const QString &programData, bool includeQueue)
{
    m_browsers->loadLayouts(programData); // "lvl.dat" and "lvr.dat"
    if (!includeQueue)
        return;
    bool ok = false;
    const QByteArray state = readWholeFile(programData + QStringLiteral("lvq.dat"), &ok);
    if (ok)
        m_qLv->header()->restoreState(state);
    // Layouts stored before the columns shared the width hold fixed widths only.
    m_queue->list()->fitColumns();
}

void MainWindow::saveListLayouts(const QString &programData)
{
    m_browsers->saveLayouts(programData);
    saveFileAtomically(programData + QStringLiteral("lvq.dat"), m_qLv->header()->saveState()); // failures are skipped
}

void MainWindow::loadToolbarPositions(const QString &path)
{
    bool ok = false;
    const QByteArray state = readWholeFile(path, &ok);
    if (ok)
        restoreState(state);
}

void MainWindow::saveToolbarPositions(const QString &path)
{
    if (!saveFileAtomically(path, saveState()))
        throw FileError(QStringLiteral("Cannot write the toolbar positions to \"%1\"").arg(path));
}

WindowGeometry MainWindow::firstStartGeometry(const QSize &available)
{
    WindowGeometry g = WindowGeometry::designed();
    if (available.isEmpty())
        return g;
    const auto share = [](int room, int least, int most) {
        return std::min(room, std::clamp(room * 85 / 100, least, most));
    };
    g.width = share(available.width(), g.width, 1600);
    g.height = share(available.height(), g.height, 1000);
    // The regions keep their designed shares of the window.
    const WindowGeometry d = WindowGeometry::designed();
    g.lPanelWidth = d.lPanelWidth * g.width / d.width;
    g.gamePanelWidth = d.gamePanelWidth * g.width / d.width;
    g.logHeight = d.logHeight * g.height / d.height;
    g.panelBottomHeight = d.panelBottomHeight * g.height / d.height;
    return g;
}

WindowGeometry MainWindow::designedGeometry() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return firstStartGeometry(screen ? screen->availableGeometry().size() : QSize());
}

WindowGeometry MainWindow::currentGeometry() const
{
    const QRect r = (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
    WindowGeometry g;
    g.left = r.left();
    g.top = r.top();
    g.width = r.width();
    g.height = r.height();
    g.windowState = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    g.panelBottomHeight = m_bottomPanel->height();
    g.logHeight = m_log->height();
    g.gamePanelWidth = m_meter->width();
    g.lPanelWidth = m_lPanel->width();
    return g;
}

void MainWindow::applyGeometry(const WindowGeometry &g, bool keepStoredPosition)
{
    const QSize size(std::max(g.width, minimumWidth()), std::max(g.height, minimumHeight()));
    if (keepStoredPosition) {
        setGeometry(QRect(QPoint(g.left, g.top), size));
    } else {
        resize(size);
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - QPoint(size.width() / 2, size.height() / 2));
    }
    applyPanelSizes(g);
    // The state is applied once the window is on screen, so that the platform records the
    // normal rectangle first and restoring gives back the stored size.
    m_pendingState = g.windowState;
    if (isVisible())
        applyPendingState();
}

void MainWindow::applyPanelSizes(const WindowGeometry &g)
{
    if (!isVisible()) {
        m_pendingPanels = g;
        return;
    }
    m_pendingPanels.reset();
    const int middle = std::max(50, m_vertical->height() - g.logHeight - g.panelBottomHeight);
    m_vertical->setSizes({g.logHeight, middle, g.panelBottomHeight});
    // The stored width is the local pane's, on whichever side it is.
    const int other = std::max(50, m_panes->width() - g.lPanelWidth);
    m_panes->setSizes(browsersSwitched() ? QList<int>{other, g.lPanelWidth} : QList<int>{g.lPanelWidth, other});
    m_bottom->setSizes({g.gamePanelWidth, std::max(50, m_bottom->width() - g.gamePanelWidth)});
}

void MainWindow::applyPendingState()
{
    const int state = std::exchange(m_pendingState, 0);
    if (state == 2)
        showMaximized();
    else if (state == 1)
        showMinimized();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_pendingPanels)
        applyPanelSizes(*m_pendingPanels);
    if (m_pendingState != 0)
        QMetaObject::invokeMethod(this, &MainWindow::applyPendingState, Qt::QueuedConnection);
}

void MainWindow::applyInterfaceSettings()
{
    const tSetupClass &s = m_controller.setup();
    // Each step stands alone: a failing one is reported and the next still runs.
    guarded("aps1tb", [this] { applyToolbarLook(); });
    guarded("aps2ft", [this] { applyListFonts(); });
    guarded("aps3bg", [&] { m_log->setBackgroundPicture(!read(s, Keys::disableBackgroundImages)); });
    guarded("aps5tm", [&] {
        const auto mode = read(s, Keys::transferMode);
        QAction *checked = mode == 0   ? m_commands->acModeAuto
                           : mode == 1 ? m_commands->acModeBinary
                           : mode == 2 ? m_commands->acModeAscii
                                       : nullptr;
        if (checked)
            checked->setChecked(true);
    });
    guarded("aps6lm", [&] {
        setLogWindowShown(read(s, Keys::showLogWin));
        setMeterShown(read(s, Keys::showMeter));
    });
    guarded("aps7lg",
            [&] { m_rPanel->setLogoShown(!read(s, Keys::disableLogo) && !m_controller.mainSessionLoggedIn()); });
    trimConnectionHistory();
    guarded("aps9tw", [&] {
        m_minimizeToTray = read(s, Keys::minimizeToTray);
        m_wait->setDisabled(read(s, Keys::noPleaseWaitWindow));
    });
    guarded("apsask", [this] { applyShortcuts(); });
    guarded("apsmtr", [&] { m_commands->acMeterDisabled->setChecked(read(s, Keys::disableBandwidthMeter)); });
}

void MainWindow::fillStartupState()
{
    MainController &c = m_controller;
    syncToolbarChecks();
    m_commands->acRavuzAro->setChecked(read(c.setup(), Keys::ravuzAroEnabled));
    m_commands->acLogAutoScroll->setChecked(read(c.setup(), Keys::logAutoScroll));
    m_log->setFollowNewLines(m_commands->acLogAutoScroll->isChecked());
    m_commands->acMeterDisabled->setChecked(read(c.setup(), Keys::disableBandwidthMeter));
    applyCustomLogo();

    m_commands->acFilters->setChecked(c.browsers().filtersShown());
    m_browsers->local().applyFilterRow();
    m_browsers->remote().applyFilterRow();
    setBrowsersSwitched(read(c.setup(), Keys::switchBrowserWindows));
    m_tbAddress->setText(c.quickConnect().address);
    m_tbUsername->setText(c.quickConnect().user);
    m_tbPassword->setText(c.quickConnect().password);
    m_tbPort->setText(c.quickConnect().port);
}

void MainWindow::applyCustomLogo()
{
    const tSetupClass &s = m_controller.setup();
    if (read(s, Keys::disableLogo) || !read(s, Keys::useCustomLogo))
        return;
    const QString path = read(s, Keys::customlogo);
    QPixmap picture;
    if (!path.isEmpty() && QFile::exists(path) && picture.load(path))
        m_rPanel->logo()->setCustomPicture(picture);
}

void MainWindow::showLocalFolderHistory()
{
    QComboBox *box = m_lPanel->combo();
    box->clear();
    box->addItems(m_controller.browsers().localFolderHistory());
}

bool MainWindow::showHint(QEvent *event)
{
    // Hints of commands under the pointer go to the status bar's hint panel, beside the
    // first panel, instead of covering the whole bar.
    if (event->type() != QEvent::StatusTip)
        return false;
    auto *bar = qobject_cast<MainStatusBar *>(statusBar());
    if (!bar)
        return false;
    bar->hintPanel()->setText(static_cast<QStatusTipEvent *>(event)->tip());
    return true;
}

bool MainWindow::event(QEvent *event)
{
    return showHint(event) || QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_controller.FormCloseQuery()) {
        m_tray->hide();
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || !m_minimizeToTray)
        return;
    // Without a notification area the window would be lost: it then minimises normally.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    QTimer::singleShot(0, this, [this] {
        guarded("trymin", [this] {
            m_tray->show();
            hide();
        });
    });
}

void MainWindow::restoreFromTray()
{
    showNormal();
    raise();
    activateWindow();
    m_tray->hide();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Items of the context menus send their hints to the commands themselves.
    if (watched == m_commands && showHint(event))
        return true;
    // A toolbar hidden by any means (its close button, a restored layout) clears its
    // command's mark; a parent window being hidden leaves the toolbar not hidden itself.
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide) {
        const std::pair<QToolBar *, QAction *> bars[] = {{m_tbGeneral, m_commands->acTbStandard},
                                                         {m_tbTools, m_commands->acTbAdvanced},
                                                         {m_tbConnection, m_commands->acTbConnection}};
        for (const auto &[bar, command] : bars) {
            if (watched == bar)
                command->setChecked(!bar->isHidden());
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::syncToolbarChecks()
{
    m_commands->acTbStandard->setChecked(!m_tbGeneral->isHidden());
    m_commands->acTbAdvanced->setChecked(!m_tbTools->isHidden());
    m_commands->acTbConnection->setChecked(!m_tbConnection->isHidden());
}

QMenu *MainWindow::createPopupMenu()
{
    // QMainWindow deletes the menu it gets from here after use; hand it a copy that
    // shows the same shared commands.
    auto *menu = new QMenu(this);
    for (QAction *a : m_tbPopUp->actions())
        menu->addAction(a);
    return menu;
}
