// The menu bar, the four toolbars and the context menus. Every entry shows a shared
// command object, so captions and check marks agree everywhere.
#include "app/widgets/BrowserPane.h"
#include "app/widgets/Commands.h"
#include "app/widgets/MainWindow.h"
#include "queue/widgets/QueuePanel.h"
#include "status/widgets/LogView.h"
#include "status/widgets/MeterPanel.h"

#include <QActionGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QWidgetAction>

namespace {

void addAll(QWidget *target, std::initializer_list<QAction *> actions)
{
    for (QAction *a : actions) {
        if (a)
            target->addAction(a);
        else if (auto *menu = qobject_cast<QMenu *>(target))
            menu->addSeparator();
        else if (auto *bar = qobject_cast<QToolBar *>(target))
            bar->addSeparator();
    }
}

QMenu *subMenu(QMenu *parent, const QString &caption, std::initializer_list<QAction *> actions)
{
    QMenu *menu = parent->addMenu(caption);
    addAll(menu, actions);
    return menu;
}

} // namespace

void MainWindow::buildMenus()
{
    Commands &c = *m_commands;
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("tMainMenu"));
    bar->setWindowTitle(QStringLiteral("Main"));

    addAll(bar->addMenu(QStringLiteral("&File")),
           {c.acSiteMgr, c.acPasteUrl, c.acVuzidIRA, nullptr, c.acConnect, c.acHistory, nullptr, c.acClose});
    addAll(bar->addMenu(QStringLiteral("&Edit")), {c.acSelectAll, c.acEditGroupSelect});
    buildViewMenu();

    QMenu *transfer = bar->addMenu(QStringLiteral("&Transfer"));
    addAll(transfer, {c.acSend, c.acReceive, nullptr, c.acStop, nullptr});
    subMenu(transfer, QStringLiteral("Mode"), {c.acModeAuto, nullptr, c.acModeAscii, c.acModeBinary});
    addAll(transfer, {nullptr, c.acRavuzAro});

    addAll(bar->addMenu(QStringLiteral("T&ools")),
           {c.acOpenExplorer, c.toCompareFolders, c.toSynchronize, c.toChMod, nullptr, c.acEditOptions});
    buildHelpMenu();
    buildDebugMenu();
}

void MainWindow::buildViewMenu()
{
    Commands &c = *m_commands;
    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    QMenu *bars =
        subMenu(view, QStringLiteral("Toolbars"), {c.acTbStandard, c.acTbAdvanced, c.acTbConnection, nullptr});
    subMenu(bars, QStringLiteral("Size"), {c.acTbSizeSmall, c.acTbSizeNormal, c.acTbSizeLarge});
    subMenu(bars, QStringLiteral("Theme"), {c.acTbThemeStandard, c.acTbThemeStripes, c.acTbThemeOfficeXP});
    subMenu(view, QStringLiteral("Focus"),
            {c.acWindowLocalBrowser, c.acWindowsRemoteBrowser, c.acWindowLogWindow, c.acWindowQueueBrowser});
    addAll(view, {nullptr, c.acRefresh, nullptr, c.acIc, c.acLogwin, nullptr});
    subMenu(view, QStringLiteral("More"), {c.acViewSwitchBrowsers});
}

void MainWindow::buildHelpMenu()
{
    Commands &c = *m_commands;
    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    addAll(help, {c.acHelpContents});
    subMenu(help, QStringLiteral("How to ..."), {c.acHelpAddSite, c.acHelpConnect, c.acHelpSendFile});
    addAll(help, {nullptr, c.acCheckNewVersion, c.acGiveFeedback, nullptr, c.acHomepage, nullptr, c.acAbout});
}

void MainWindow::buildDebugMenu()
{
    Commands &c = *m_commands;
    m_debugMenu = menuBar()->addMenu(QStringLiteral("Debug"));
    m_debugMenu->setObjectName(QStringLiteral("debugMenu"));
    addAll(m_debugMenu, {c.acDebugRawListing, c.acDebugSetupVariables, c.acDebugInfo, c.acDebugEntries,
                         c.acDebugRFolders, c.acDebugThreadInfo});
    m_debugMenu->menuAction()->setVisible(false);
}

QToolBar *MainWindow::addBar(const char *name, const char *caption)
{
    QToolBar *bar = addToolBar(QString::fromLatin1(caption));
    bar->setObjectName(QString::fromLatin1(name));
    bar->setMovable(true);
    bar->installEventFilter(this);
    return bar;
}

void MainWindow::addCloseButton(QToolBar *bar)
{
    // The bar's own close button, after its items; hiding the bar clears the command's mark.
    auto *close = new QToolButton(bar);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    close->setToolTip(QStringLiteral("Close this toolbar"));
    close->setAutoRaise(true);
    close->setIconSize(QSize(10, 10));
    connect(close, &QToolButton::clicked, bar, &QWidget::close);
    bar->addWidget(close);
}

void MainWindow::buildToolbars()
{
    Commands &c = *m_commands;
    // Two rows fit the standard window width: the standard buttons with their captions, then the
    // advanced buttons (captions in their hints) beside the quick-connect boxes.
    m_tbGeneral = addBar("tbGeneral", "Standard Buttons");
    addToolBarBreak();
    m_tbTools = addBar("tbTools", "Advanced Buttons");
    m_tbConnection = addBar("tbConnection", "Quick Connect Bar");
    // The links bar has no close button: no command brings it back.
    m_tbLinks = addBar("tbLinks", "Links Bar");

    m_connectMenu = new QMenu(this);
    m_connectMenu->setObjectName(QStringLiteral("connectMenu"));
    addAll(m_connectMenu, {c.acOpenFavoritesManager, c.acOpenConnectionHistory, nullptr});
    auto *label = new QWidgetAction(m_connectMenu);
    auto *labelText = new QLabel(QStringLiteral("<b>Recent Connection History</b>"));
    labelText->setContentsMargins(8, 2, 8, 2);
    label->setDefaultWidget(labelText);
    m_connectMenu->addAction(label);
    m_connectMenu->addSeparator();
    m_connectButton = new QToolButton(m_tbGeneral);
    m_connectButton->setObjectName(QStringLiteral("connectButton"));
    m_connectButton->setDefaultAction(c.acConnect);
    m_connectButton->setMenu(m_connectMenu);
    m_connectButton->setPopupMode(QToolButton::MenuButtonPopup);
    m_connectButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_connectButton->setAutoRaise(true);
    m_tbGeneral->addWidget(m_connectButton);
    addAll(m_tbGeneral, {c.acDisconnect, nullptr, c.acSend, c.acReceive, nullptr, c.acStop, c.acRefresh, nullptr,
                         c.acOpen, c.acEdit, c.acRename, c.acDelete, c.acFolderNew});
    addAll(m_tbTools, {c.acSiteMgr, c.acHistory, c.acVuzidIRA, nullptr, c.acRavuzAro, nullptr, c.acFilters,
                       c.toSynchronize, c.toChMod});
    m_tbGeneral->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_tbTools->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // Toolbar size changes must reach the drop-down button as well.
    connect(m_tbGeneral, &QToolBar::iconSizeChanged, m_connectButton, &QToolButton::setIconSize);
    buildQuickConnectBar();

    for (QToolBar *bar : {m_tbGeneral, m_tbTools, m_tbConnection})
        addCloseButton(bar);
}

void MainWindow::buildQuickConnectBar()
{
    auto box = [this](const QString &label, const QString &name, int width) {
        m_tbConnection->addWidget(new QLabel(label, m_tbConnection));
        auto *edit = new QLineEdit(m_tbConnection);
        edit->setObjectName(name);
        edit->setFixedWidth(width);
        m_tbConnection->addWidget(edit);
        return edit;
    };
    m_tbAddress = box(QStringLiteral(" Address"), QStringLiteral("tbAddress"), 110);
    m_tbUsername = box(QStringLiteral(" Username"), QStringLiteral("tbUsername"), 75);
    m_tbPassword = box(QStringLiteral(" Password"), QStringLiteral("tbPassword"), 70);
    m_tbPassword->setEchoMode(QLineEdit::Password);
    // Wide enough for five digits in any font.
    m_tbPort = box(QStringLiteral(" Port"), QStringLiteral("tbPort"),
                   m_tbConnection->fontMetrics().horizontalAdvance(QStringLiteral("655350")) + 12);
    m_tbPort->setMaxLength(5);
    m_tbConnection->addWidget(new QLabel(QStringLiteral(" "), m_tbConnection));
    m_tbProtocol = new QComboBox(m_tbConnection);
    m_tbProtocol->setObjectName(QStringLiteral("tbProtocol"));
    m_tbProtocol->setToolTip(QStringLiteral("FTP or SFTP (over SSH). An sftp:// address chooses by itself."));
    m_tbConnection->addWidget(m_tbProtocol);
    m_tbEncryption = new QComboBox(m_tbConnection);
    m_tbEncryption->setObjectName(QStringLiteral("tbEncryption"));
    m_tbEncryption->setToolTip(QStringLiteral("How an FTP connection is encrypted (SFTP always is). An ftps:// or "
                                              "ftpes:// address chooses by itself."));
    m_tbConnection->addWidget(m_tbEncryption);
}

void MainWindow::buildContextMenus()
{
    Commands &c = *m_commands;
    m_logPop = new QMenu(this);
    m_logPop->setObjectName(QStringLiteral("logPop"));
    addAll(m_logPop,
           {c.acLogShowLoginMessage, c.acLogCopyToClipboard, c.acLogSelectAll, c.acLogClear, c.acLogAutoScroll});
    m_log->addActions(m_logPop->actions());

    m_lvPopUp = new QMenu(this);
    m_lvPopUp->setObjectName(QStringLiteral("lvPopUp"));
    addAll(m_lvPopUp, {c.acOpen, c.acEdit, nullptr, c.acSend, c.acReceive, nullptr, c.acRename, c.acDelete,
                       c.acFolderNew, c.acFolderChange, nullptr, c.acRefresh, c.acSelectAll, c.acEditGroupSelect});
    addAll(m_lvPopUp, {nullptr, c.toCompareFolders, c.toSynchronize, c.toChMod, c.acOpenInExplorer, c.acFilters});
    for (QTreeView *list : {m_lLv, m_rlv})
        list->addActions(m_lvPopUp->actions());

    m_queuePop = m_queue->menu();

    m_tbPopUp = new QMenu(this);
    m_tbPopUp->setObjectName(QStringLiteral("tbPopUp"));
    subMenu(m_tbPopUp, QStringLiteral("Toolbars"), {c.acTbStandard, c.acTbAdvanced, c.acTbConnection});
    subMenu(m_tbPopUp, QStringLiteral("Theme"), {c.acTbThemeStandard, c.acTbThemeStripes, c.acTbThemeOfficeXP});
    subMenu(m_tbPopUp, QStringLiteral("Size"), {c.acTbSizeSmall, c.acTbSizeNormal, c.acTbSizeLarge});

    m_meterPop = new QMenu(this);
    m_meterPop->setObjectName(QStringLiteral("meterPop"));
    addAll(m_meterPop, {c.acMeterReset, nullptr, c.acMeterConfigure, nullptr, c.acMeterDisabled, c.acMeterHide});
    connect(m_meter->area(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { m_meterPop->popup(m_meter->area()->mapToGlobal(at)); });

    m_trayPop = new QMenu(this);
    m_trayPop->setObjectName(QStringLiteral("trayPop"));
    addAll(m_trayPop, {c.acTrayShow, c.acTrayClose});
}
