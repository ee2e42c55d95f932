#include "app/widgets/MainWindow.h"
#include "app/widgets/BrowserPane.h"
#include "app/widgets/Commands.h"
#include "app/widgets/HelpBrowser.h"
#include "app/widgets/ProgramWindow.h"
#include "base/Guard.h"
#include "queue/QueueModel.h"
#include "settings/SettingsCatalogue.h"
#include "sites/widgets/SiteManagerWindow.h"
#include "status/widgets/LogView.h"
#include "status/widgets/MainStatusBar.h"
#include "status/widgets/MeterPanel.h"
#include "support/ModalCloser.h"
#include "support/QtPrinters.h"
#include "support/ScopedEnv.h"
#include "support/StartupSiteManager.h"
#include "support/TempHome.h"
#include "support/UrlRecorder.h"
#include "ui/BugWindow.h"
#include "ui/CaptionBar.h"
#include "ui/ToolbarLook.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { window = open({}); }

    std::unique_ptr<MainWindow> open(const QStringList &args)
    {
        auto w = std::make_unique<ProgramWindow>();
        w->setManualFolder(QStringLiteral(KESTRIN_SOURCE_DIR "/manual/"));
        w->controller().FormCreate(args);
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        // The first tick runs the one-time start-up steps.
        EXPECT_TRUE(QTest::qWaitFor([&w] { return w->controller().started(); }, 5000));
        closeStartupSiteManager(*w);
        return w;
    }

    QMenu *menu(QWidget *parent, const QString &title) const
    {
        for (QAction *a : parent->actions()) {
            if (a->menu() && a->text() == title)
                return a->menu();
        }
        return nullptr;
    }

    Commands &c() { return window->commands(); }
    tSetupClass &setup() { return window->controller().setup(); }

    TempHome home;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, CommandsCarryTheirCaptionsAndDefaultShortcuts)
{
    struct {
        const char *name, *caption, *shortcut;
    } const table[] = {
        {"acConnect", "Connect", "Ctrl+Alt+C"},
        {"acDisconnect", "Disconnect", ""},
        {"acSiteMgr", "Favorites", "F8"},
        {"acHistory", "History", "F9"},
        {"acPasteUrl", "Paste URL", ""},
        {"acClose", "Close", ""},
        {"acSend", "Send", "Ctrl+S"},
        {"acReceive", "Receive", "Ctrl+R"},
        {"acStop", "Stop", ""},
        {"acRavuzAro", "RavuzAro", ""},
        {"acRefresh", "Refresh", "F5"},
        {"acOpen", "Open", ""},
        {"acEdit", "Edit", ""},
        {"acRename", "Rename", "F2"},
        {"acDelete", "Delete", "Del"},
        {"acFolderNew", "New folder", "Ctrl+N"},
        {"acFolderChange", "Change folder", ""},
        {"acOpenInExplorer", "Open in File Manager", "Ctrl+E"},
        {"acOpenExplorer", "Open File Manager", ""},
        {"acSelectAll", "Select All", "Ctrl+A"},
        {"acEditGroupSelect", "Group Select", "Ctrl+G"},
        {"acWindowLocalBrowser", "Local Browser", ""},
        {"acWindowsRemoteBrowser", "Remote Browser", ""},
        {"acViewSwitchBrowsers", "Switch browsers", ""},
        {"acFilters", "Filters", "Ctrl+F"},
        {"toCompareFolders", "Compare Folders", ""},
        {"toSynchronize", "Synchronize", ""},
        {"toChMod", "Permissions", "Ctrl+Alt+P"},
        {"acEditOptions", "Options", "Ctrl+O"},
        {"acLogwin", "Log Window", ""},
        {"acLogClear", "Clear", ""},
        {"acLogCopyToClipboard", "Copy selected to clipboard", "Ctrl+C"},
        {"acLogSelectAll", "Select all", "Ctrl+A"},
        {"acLogAutoScroll", "Auto Scroll", ""},
        {"acIc", "Information Control", ""},
        {"acTbStandard", "Standard Buttons", ""},
        {"acTbAdvanced", "Advanced Buttons", ""},
        {"acTbConnection", "Quick Connect Bar", ""},
        {"acTbSizeSmall", "Small", ""},
        {"acTbSizeNormal", "Normal", ""},
        {"acTbSizeLarge", "Large", ""},
        {"acTbThemeStandard", "Standard", ""},
        {"acTbThemeStripes", "Stripes", ""},
        {"acTbThemeOfficeXP", "OfficeXP", ""},
        {"acVuzidIRA", "VuzidIRA", "Ctrl+U"},
        {"acHelpWelcome", "Help", "F1"},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.name);
        auto *action = window->findChild<QAction *>(QString::fromLatin1(row.name));
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->iconText(), QString::fromLatin1(row.caption));
        EXPECT_EQ(action->shortcut().toString(), QString::fromLatin1(row.shortcut));
    }
    // Menu captions that differ from the command's own caption.
    EXPECT_EQ(c().acIc->text(), QStringLiteral("Bandwidth Meter"));
    EXPECT_EQ(c().acRavuzAro->text(), QStringLiteral("Enable RavuzAro"));
    EXPECT_EQ(c().toChMod->text(), QStringLiteral("Change Permissions"));
}

TEST_F(MainWindowTest, ViewMenuAndToolbarMenuShareOneCheckMark)
{
    QMenu *toolbarsInView = menu(menu(window->menuBar(), QStringLiteral("&View")), QStringLiteral("Toolbars"));
    QMenu *toolbarsInDock = menu(window->toolbarMenu(), QStringLiteral("Toolbars"));
    ASSERT_TRUE(toolbarsInView && toolbarsInDock);
    QAction *viaView = toolbarsInView->actions().at(0);
    QAction *viaDock = toolbarsInDock->actions().at(0);
    ASSERT_EQ(viaView, c().acTbStandard);
    ASSERT_EQ(viaDock, c().acTbStandard);
    ASSERT_TRUE(viaView->isChecked());

    viaView->trigger();
    EXPECT_FALSE(viaDock->isChecked());
    EXPECT_TRUE(window->tbGeneral()->isHidden());
    viaDock->trigger();
    EXPECT_TRUE(viaView->isChecked());
    EXPECT_FALSE(window->tbGeneral()->isHidden());

    // The dock's right-click menu shows the same three command objects.
    std::unique_ptr<QMenu> popup(window->createPopupMenu());
    EXPECT_EQ(menu(popup.get(), QStringLiteral("Toolbars"))->actions(), toolbarsInDock->actions());
}

TEST_F(MainWindowTest, AToolbarClosedByItsCloseButtonClearsItsMark)
{
    const std::pair<QToolBar *, QAction *> bars[] = {{window->tbGeneral(), c().acTbStandard},
                                                     {window->tbTools(), c().acTbAdvanced},
                                                     {window->tbConnection(), c().acTbConnection}};
    for (const auto &[bar, command] : bars) {
        SCOPED_TRACE(bar->objectName().toStdString());
        auto *close = bar->findChild<QToolButton *>(QStringLiteral("closeButton"));
        ASSERT_NE(close, nullptr);
        ASSERT_TRUE(command->isChecked());
        QTest::mouseClick(close, Qt::LeftButton);
        EXPECT_TRUE(bar->isHidden());
        EXPECT_FALSE(command->isChecked());
        command->trigger();
        EXPECT_FALSE(bar->isHidden());
        EXPECT_TRUE(command->isChecked());
    }
    // Hiding the whole window (minimising to the tray) is not closing a toolbar.
    window->hide();
    EXPECT_TRUE(c().acTbConnection->isChecked());
}

TEST_F(MainWindowTest, ThemesAreStoredAndVisiblyApplied)
{
    const std::pair<QAction *, ToolbarLook::Theme> themes[] = {{c().acTbThemeStandard, ToolbarLook::Theme::Standard},
                                                               {c().acTbThemeStripes, ToolbarLook::Theme::Stripes},
                                                               {c().acTbThemeOfficeXP, ToolbarLook::Theme::OfficeXP}};
    QList<QImage> looks;
    for (const auto &[command, theme] : themes) {
        command->trigger();
        SCOPED_TRACE(command->objectName().toStdString());
        EXPECT_EQ(read(setup(), Keys::toolbarTheme), static_cast<int>(theme));
        EXPECT_TRUE(command->isChecked());
        for (QToolBar *bar : window->toolbars())
            EXPECT_EQ(bar->styleSheet(), ToolbarLook::styleSheet(theme));
        looks << window->tbGeneral()->grab().toImage();
    }
    EXPECT_NE(looks[0], looks[1]);
    EXPECT_NE(looks[1], looks[2]);
    EXPECT_NE(looks[0], looks[2]);
}

TEST_F(MainWindowTest, SizesAreStoredAndApplied)
{
    QWidget *send = window->tbGeneral()->widgetForAction(c().acSend);
    QWidget *address = window->tbConnection()->findChild<QWidget *>(QStringLiteral("tbAddress"));
    ASSERT_TRUE(send && address);
    c().acTbSizeSmall->trigger();
    EXPECT_EQ(read(setup(), Keys::toolbarFontSize), 0);
    const qreal small = send->font().pointSizeF();
    const int smallIcon = window->tbGeneral()->iconSize().width();
    c().acTbSizeLarge->trigger();
    EXPECT_EQ(read(setup(), Keys::toolbarFontSize), 2);
    EXPECT_TRUE(c().acTbSizeLarge->isChecked());
    EXPECT_FALSE(c().acTbSizeSmall->isChecked());
    EXPECT_GT(send->font().pointSizeF(), small);
    EXPECT_EQ(address->font(), send->font());
    EXPECT_GT(window->tbGeneral()->iconSize().width(), smallIcon);
    // The items keep their size through a theme change.
    c().acTbThemeStripes->trigger();
    EXPECT_EQ(send->font().pointSizeF(), window->tbGeneral()->font().pointSizeF());
}

TEST_F(MainWindowTest, TransferModeItemsShareOneMarkAndStoreTheMode)
{
    EXPECT_TRUE(c().acModeAuto->isChecked());
    const std::pair<QAction *, int> modes[] = {{c().acModeAscii, 2}, {c().acModeBinary, 1}, {c().acModeAuto, 0}};
    for (const auto &[command, value] : modes) {
        command->trigger();
        EXPECT_EQ(read(setup(), Keys::transferMode), value);
        EXPECT_EQ(c().modeGroup->checkedAction(), command);
    }
}

TEST_F(MainWindowTest, F1OpensTheWelcomeTopicInTheHelpBrowser)
{
    window->activateWindow();
    window->localList()->setFocus();
    QTest::keyClick(window->localList(), Qt::Key_F1);
    HelpBrowser *help = window->helpBrowser();
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->currentTopic(), QStringLiteral("welcome.htm"));
    EXPECT_TRUE(help->browser()->toPlainText().contains(QStringLiteral("Welcome")));
}

TEST_F(MainWindowTest, HelpEntriesOpenTheirTopics)
{
    const std::pair<QAction *, const char *> entries[] = {{c().acHelpContents, "index.htm"},
                                                          {c().acHelpAddSite, "addToSiteMgr.htm"},
                                                          {c().acHelpConnect, "howToConnect.htm"},
                                                          {c().acHelpSendFile, "howToSendFile.htm"}};
    for (const auto &[command, topic] : entries) {
        command->trigger();
        SCOPED_TRACE(topic);
        EXPECT_EQ(window->helpBrowser()->currentTopic(), QString::fromLatin1(topic));
        EXPECT_FALSE(window->helpBrowser()->browser()->toPlainText().contains(QStringLiteral("not found")));
    }
    window->setManualFolder(home.path());
    c().acHelpWelcome->trigger();
    EXPECT_TRUE(window->helpBrowser()->browser()->toPlainText().contains(QStringLiteral("Help topic not found")));
}

TEST_F(MainWindowTest, ShowsItsRegionsAtTheirStandardSizesWithTheirCaptions)
{
    // The first start fits the screen; at the designed 795 x 500 the regions have their
    // designed sizes, and on any screen their designed shares.
    const WindowGeometry first =
        MainWindow::firstStartGeometry(QGuiApplication::primaryScreen()->availableGeometry().size());
    EXPECT_EQ(window->size(), QSize(first.width, first.height));
    EXPECT_EQ(window->minimumSize(), QSize(550, 200));
    const WindowGeometry g = window->currentGeometry();
    EXPECT_EQ(g.logHeight, first.logHeight);
    EXPECT_EQ(g.lPanelWidth, first.lPanelWidth);
    EXPECT_EQ(g.panelBottomHeight, first.panelBottomHeight);
    EXPECT_EQ(g.gamePanelWidth, first.gamePanelWidth);
    const WindowGeometry designed = MainWindow::firstStartGeometry(QSize(800, 570));
    EXPECT_EQ(QList<int>({designed.width, designed.height, designed.logHeight, designed.lPanelWidth,
                          designed.panelBottomHeight, designed.gamePanelWidth}),
              QList<int>({795, 500, 52, 372, 111, 184}));
    EXPECT_EQ(window->statusBar()->height(), 19);
    EXPECT_EQ(window->localPane()->captionBar()->caption(), QStringLiteral("my computer"));
    EXPECT_EQ(window->localPane()->captionBar()->subCaption(), QStringLiteral("kestrin ftp pro"));
    EXPECT_EQ(window->remotePane()->captionBar()->caption(), QStringLiteral("ftp server  -  not connected"));
    EXPECT_TRUE(window->remotePane()->logoShown());
    EXPECT_FALSE(window->remoteList()->isVisible());
    for (const char *name : {"lLv", "rlv", "qLv", "lvLog", "lNavPanel", "rFilterPanel", "image1", "pauseBtn", "prog",
                             "Splitter1", "Splitter2", "Splitter3", "Splitter4", "gamepanel", "bottompanel", "stat"})
        EXPECT_NE(window->findChild<QWidget *>(QString::fromLatin1(name)), nullptr) << name;
}

TEST_F(MainWindowTest, LogWindowCommandHidesTheLogWithItsSplitterAndSavesTheChoice)
{
    auto *splitter1 = window->findChild<QWidget *>(QStringLiteral("Splitter1"));
    ASSERT_TRUE(c().acLogwin->isChecked());
    c().acLogwin->trigger();
    EXPECT_FALSE(window->logView()->isVisible());
    EXPECT_FALSE(splitter1->isVisible());
    EXPECT_FALSE(read(setup(), Keys::showLogWin));
    c().acLogwin->trigger();
    EXPECT_TRUE(window->logView()->isVisible());
    EXPECT_TRUE(read(setup(), Keys::showLogWin));
    EXPECT_GE(window->logView()->height(), 2 * LogView::kRowHeight);

    c().acIc->trigger();
    EXPECT_FALSE(window->meterPanel()->isVisible());
    EXPECT_FALSE(read(setup(), Keys::showMeter));
}

TEST_F(MainWindowTest, LogMenuCommandsCopyClearAndRememberAutoScroll)
{
    MainController &controller = window->controller();
    controller.writeLog(QStringLiteral(">USER anna"));
    controller.writeLog(QStringLiteral(">PASS secret"));
    controller.writeLog(QStringLiteral("<230 Logged in"));
    EXPECT_EQ(window->logMenu()->actions(),
              (QList<QAction *>{c().acLogShowLoginMessage, c().acLogCopyToClipboard, c().acLogSelectAll, c().acLogClear,
                                c().acLogAutoScroll}));
    c().acLogSelectAll->trigger();
    c().acLogCopyToClipboard->trigger();
    EXPECT_TRUE(QApplication::clipboard()->text().endsWith(
        QStringLiteral("USER anna\r\nPASS [*** hidden ***]\r\n230 Logged in\r\n")));
    c().acLogClear->trigger();
    EXPECT_EQ(controller.log().rowCount(), 0);

    ASSERT_TRUE(c().acLogAutoScroll->isChecked());
    c().acLogAutoScroll->trigger();
    EXPECT_FALSE(window->logView()->followNewLines());
    EXPECT_FALSE(read(setup(), Keys::logAutoScroll));
}

TEST_F(MainWindowTest, LogKeysWorkInTheLogWithoutCollidingWithTheListKeys)
{
    // Ctrl+A belongs to both the log menu and the Edit menu; each must act where the focus is.
    window->controller().writeLog(QStringLiteral("<first"));
    window->controller().writeLog(QStringLiteral("<second"));
    QApplication::setActiveWindow(window.get());
    int listSelectAll = 0;
    QObject::connect(c().acSelectAll, &QAction::triggered, [&listSelectAll] { ++listSelectAll; });

    window->logView()->setFocus();
    QTest::keyClick(window->logView(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(window->logView()->selectionModel()->selectedRows().size(), window->controller().log().rowCount());
    EXPECT_EQ(listSelectAll, 0);
    QTest::keyClick(window->logView(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QApplication::clipboard()->text().endsWith(QStringLiteral("first\r\nsecond\r\n")));

    window->localList()->setFocus();
    QTest::keyClick(window->localList(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(listSelectAll, 1);
}

TEST_F(MainWindowTest, ShowLoginMessageWhileNotConnectedExplainsWhy)
{
    const QString shown = closeModalOpenedBy([this] { c().acLogShowLoginMessage->trigger(); });
    EXPECT_EQ(shown, QStringLiteral("Error:\n - Cannot show login message\n\nReason:\n - Not connected to FTP server"));
}

TEST_F(MainWindowTest, FocusQueueBrowserFocusesTheQueueList)
{
    QApplication::setActiveWindow(window.get());
    c().acWindowQueueBrowser->trigger();
    EXPECT_TRUE(window->queueList()->hasFocus());
}

QStringList rowNames(QTreeView *list)
{
    QStringList names;
    for (int row = 0; row < list->model()->rowCount(); ++row)
        names << list->model()->index(row, 0).data().toString();
    names.sort();
    return names;
}

TEST_F(MainWindowTest, FiltersFromTheKeyAndTheToolbarButtonShowTheRowsAndFilterBothLists)
{
    const QString folder = home.path() + QStringLiteral("/filtered/");
    QDir().mkpath(folder + QStringLiteral("img"));
    for (const char *name : {"report.htm", "a.txt"}) {
        QFile f(folder + QString::fromLatin1(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    BrowserController &b = window->controller().browsers();
    b.setFilterText(BrowserController::Side::Local, QStringLiteral("htm"));
    b.setLocalFolder(folder);
    b.refreshLocalView();
    const QStringList all{QStringLiteral("a.txt"), QStringLiteral("img"), QStringLiteral("report.htm")};
    ASSERT_EQ(rowNames(window->localList()), all);
    ASSERT_TRUE(window->localPane()->filterPanel()->isHidden());

    QApplication::setActiveWindow(window.get());
    window->localList()->setFocus();
    QTest::keyClick(window->localList(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(c().acFilters->isChecked());
    EXPECT_TRUE(read(setup(), Keys::showFilters));
    EXPECT_FALSE(window->localPane()->filterPanel()->isHidden());
    EXPECT_FALSE(window->remotePane()->filterPanel()->isHidden());
    EXPECT_EQ(window->localPane()->filter()->text(), QStringLiteral("htm"));
    const QStringList filtered{QStringLiteral("img"), QStringLiteral("report.htm")};
    EXPECT_TRUE(QTest::qWaitFor([&] { return rowNames(window->localList()) == filtered; }, 3000))
        << rowNames(window->localList()).join(u',').toStdString();

    // The funnel button on the Advanced Buttons bar is the same command.
    QWidget *funnel = window->tbTools()->widgetForAction(c().acFilters);
    ASSERT_NE(funnel, nullptr);
    QTest::mouseClick(funnel, Qt::LeftButton);
    EXPECT_FALSE(c().acFilters->isChecked());
    EXPECT_FALSE(read(setup(), Keys::showFilters));
    EXPECT_TRUE(window->localPane()->filterPanel()->isHidden());
    EXPECT_TRUE(window->remotePane()->filterPanel()->isHidden());
    EXPECT_TRUE(QTest::qWaitFor([&] { return rowNames(window->localList()) == all; }, 3000));
    EXPECT_TRUE(window->listMenu()->actions().contains(c().acFilters));
}

TEST_F(MainWindowTest, SwitchBrowsersExchangesThePanesAndStartUpKeepsTheChoice)
{
    QSplitter *panes = window->panesSplitter();
    ASSERT_EQ(panes->widget(0), window->localPane());
    const QList<int> before = panes->sizes();
    c().acViewSwitchBrowsers->trigger();
    EXPECT_EQ(panes->widget(0), window->remotePane());
    EXPECT_EQ(panes->widget(1), window->localPane());
    EXPECT_TRUE(read(setup(), Keys::switchBrowserWindows));
    // Each pane keeps its width, so the stored local width means the same on either side.
    EXPECT_EQ(panes->sizes(), QList<int>({before[1], before[0]}));
    // The right-hand pane follows the window's width.
    const int right = panes->sizes().at(1);
    window->resize(window->width() + 100, window->height());
    EXPECT_TRUE(QTest::qWaitFor([&] { return panes->sizes().at(1) > right; }, 2000));

    write(setup(), Keys::neverShowAppFeedback, true);
    const int localWidth = window->localPane()->width();
    ASSERT_TRUE(window->close());
    window.reset();
    window = open({});
    EXPECT_EQ(window->panesSplitter()->widget(0), window->remotePane());
    EXPECT_EQ(window->localPane()->width(), localWidth);
    c().acViewSwitchBrowsers->trigger();
    EXPECT_EQ(window->panesSplitter()->widget(0), window->localPane());
    EXPECT_FALSE(read(setup(), Keys::switchBrowserWindows));
}

TEST_F(MainWindowTest, FocusCommandsMoveTheFocusAndTheActiveSide)
{
    QApplication::setActiveWindow(window.get());
    BrowserController &b = window->controller().browsers();
    c().acWindowsRemoteBrowser->trigger();
    // Not connected: the remote list is not shown, its folder box takes the focus.
    EXPECT_TRUE(window->remotePane()->combo()->hasFocus());
    EXPECT_FALSE(b.localActive());
    c().acWindowLocalBrowser->trigger();
    EXPECT_TRUE(window->localList()->hasFocus());
    EXPECT_TRUE(b.localActive());
    window->remotePane()->setLogoShown(false);
    c().acWindowsRemoteBrowser->trigger();
    EXPECT_TRUE(window->remoteList()->hasFocus());
    EXPECT_FALSE(b.localActive());
    c().acWindowLogWindow->trigger();
    EXPECT_TRUE(window->logView()->hasFocus());
}

TEST_F(MainWindowTest, TheHintPanelShowsTheHintOfTheCommandUnderThePointer)
{
    auto *bar = qobject_cast<MainStatusBar *>(window->statusBar());
    ASSERT_NE(bar, nullptr);
    // A toolbar button carries its command's hint; hovering it sends the hint up to the window.
    QWidget *send = window->tbGeneral()->widgetForAction(c().acSend);
    ASSERT_NE(send, nullptr);
    QStatusTipEvent tip(send->statusTip());
    QCoreApplication::sendEvent(send, &tip);
    EXPECT_TRUE(bar->hintPanel()->text().startsWith(QStringLiteral("Send file(s) / folder(s)")));
    EXPECT_FALSE(bar->firstPanel()->isHidden());
    // An item of a context menu under the pointer sends its hint to its command.
    c().acDelete->showStatusText();
    EXPECT_EQ(bar->hintPanel()->text(), QStringLiteral("Delete files / folders  -  (Shortcut: Del)"));
    // Every command in the menus and toolbars has a hint.
    for (QAction *a : c().all()) {
        if (!a->associatedObjects().isEmpty()) {
            EXPECT_FALSE(a->statusTip().isEmpty()) << a->objectName().toStdString();
        }
    }
}

TEST_F(MainWindowTest, TypedLocalFoldersGoThereOrSayWhyAndTheBoxShowsTheListedFolder)
{
    const QString base = home.path() + QStringLiteral("/typed/");
    QDir().mkpath(base + QStringLiteral("inner"));
    QFile(base + QStringLiteral("inner/file.txt")).open(QIODevice::WriteOnly);
    BrowserController &b = window->controller().browsers();
    b.setLocalFolder(base);
    b.refreshLocalView();
    QComboBox *box = window->localPane()->combo();
    QApplication::setActiveWindow(window.get());
    const auto enter = [&](const QString &typed) {
        box->setFocus();
        box->lineEdit()->setText(typed);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    };
    struct Case {
        const char *what;
        QString typed, shown, message;
    };
    const Case cases[] = {
        {"a full path", base + QStringLiteral("inner"), base + QStringLiteral("inner/"), {}},
        {"relative to the shown folder", QStringLiteral(".."), base, {}},
        {"a folder that is not there", base + QStringLiteral("missing"), base,
         QStringLiteral("Folder does not exist on your computer: \n\n") + base + QStringLiteral("missing")},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        const QString message = closeModalOpenedBy([&] { enter(k.typed); });
        EXPECT_EQ(message, k.message);
        EXPECT_EQ(b.lFolder(), k.shown);
        EXPECT_EQ(box->currentText(), k.shown);
    }
    enter(base + QStringLiteral("inner/"));
    EXPECT_EQ(rowNames(window->localList()), QStringList{QStringLiteral("file.txt")});
    // Typed but not entered: leaving the box shows the listed folder again.
    QApplication::setActiveWindow(window.get());
    box->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return box->lineEdit()->hasFocus(); }, 2000));
    box->lineEdit()->setText(QStringLiteral("/half typed"));
    window->localList()->setFocus();
    EXPECT_EQ(box->currentText(), base + QStringLiteral("inner/"));
    // A folder chosen from the drop-down history goes there too.
    const int index = box->findText(base);
    ASSERT_GE(index, 0);
    emit box->activated(index);
    EXPECT_EQ(b.lFolder(), base);
    EXPECT_EQ(box->currentText(), base);
}

TEST_F(MainWindowTest, ATypedRemoteFolderWhileNotConnectedSaysWhy)
{
    QComboBox *box = window->remotePane()->combo();
    QApplication::setActiveWindow(window.get());
    box->setFocus();
    box->lineEdit()->setText(QStringLiteral("/pub/"));
    const QString message = closeModalOpenedBy([&] { QTest::keyClick(box->lineEdit(), Qt::Key_Return); });
    EXPECT_EQ(message, QStringLiteral("Error:\n - Cannot change folder\n\nReason:\n - Not connected to FTP server"));
    EXPECT_EQ(box->currentText(), QString());
}

TEST_F(MainWindowTest, TheSiteManagerOpensCentredAndItsQuestionsOpenAboveIt)
{
    c().acSiteMgr->trigger();
    QPointer<SiteManagerWindow> sites = window->findChild<SiteManagerWindow *>();
    ASSERT_TRUE(sites && sites->isVisible());
    const QPoint offset = sites->geometry().center() - window->geometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
    QWidget *parentOfQuestion = nullptr;
    closeModalOpenedBy([this] { window->controller().ui().showMessage(QStringLiteral("asked")); },
                       [&](QWidget *modal) { parentOfQuestion = modal->parentWidget(); });
    EXPECT_EQ(parentOfQuestion, sites.data());
    sites->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sites.isNull(); }, 2000));
    closeModalOpenedBy([this] { window->controller().ui().showMessage(QStringLiteral("asked")); },
                       [&](QWidget *modal) { parentOfQuestion = modal->parentWidget(); });
    EXPECT_EQ(parentOfQuestion, window.get());
}

TEST_F(MainWindowTest, DebugMenuFollowsTheSwitchInAnyLetterCase)
{
    EXPECT_FALSE(window->debugMenu()->menuAction()->isVisible());
    EXPECT_FALSE(window->controller().diagnostics().debugMode());
    window.reset();
    window = open({QStringLiteral("-TMBDebug")});
    EXPECT_TRUE(window->debugMenu()->menuAction()->isVisible());
    EXPECT_TRUE(window->controller().diagnostics().debugMode());
    EXPECT_EQ(window->controller().diagnostics().filePath(),
              window->controller().folders().base + QStringLiteral("!KestrinFTPProBugs.txt"));

    window->controller().writeLog(QStringLiteral("<first"));
    c().acDebugThreadInfo->trigger();
    EXPECT_EQ(window->controller().log().lines().mid(window->controller().log().rowCount() - 2),
              (QStringList{QStringLiteral("\u00A7mFTP.loggedIn: 0"), QStringLiteral("\u00A7xFTP.loggedIn: 0")}));
}

TEST_F(MainWindowTest, AnErrorInAHandlerOpensTheBugWindowAndInDebugModeWritesTheFile)
{
    window.reset();
    window = open({QStringLiteral("-tmbdebug")});
    window->controller().diagnostics().install(); // as the program entry does
    const QString file = window->controller().diagnostics().filePath();
    reportBug(QStringLiteral("nnbbasj"), QStringLiteral("Access violation"));
    reportBug(QStringLiteral("qnnalas"), QStringLiteral("List index out of bounds"));

    QStringList reports;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *bug = qobject_cast<BugWindow *>(w); bug && bug->isVisible()) {
            reports << bug->siteId();
            bug->close();
        }
    }
    reports.sort();
    EXPECT_EQ(reports, (QStringList{QStringLiteral("nnbbasj"), QStringLiteral("qnnalas")}));
    QFile diagnostics(file);
    ASSERT_TRUE(diagnostics.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = diagnostics.readAll().split('\n');
    EXPECT_EQ(lines.size(), 9); // eight CR LF lines and the empty rest after the last
    EXPECT_EQ(lines[5], QByteArray("Bug Data1: qnnalas\r"));
}

TEST_F(MainWindowTest, DebugCommandsWriteTheirFilesIntoTheTemporaryFolderAndOpenThem)
{
    // A temporary folder of this test's own, so that parallel runs never share the files.
    const ScopedEnv temporary("TMPDIR", home.path().toLocal8Bit());
    UrlRecorder opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
    setup().setString(Keys::appRuns.key(), QStringLiteral("12"));
    c().acDebugSetupVariables->trigger();
    c().acDebugInfo->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

    ASSERT_EQ(opened.urls.size(), 3);
    const QString temp = home.path() + QLatin1Char('/');
    EXPECT_EQ(opened.urls[0].toLocalFile(), temp + QStringLiteral("kftpdebug.txt"));
    EXPECT_EQ(opened.urls[1].toLocalFile(), temp + QStringLiteral("kftpdebug2.txt"));
    EXPECT_EQ(opened.urls[2].toLocalFile(), temp + QStringLiteral("Kestrin FTP Debug.txt"));
    QFile keys(opened.urls[0].toLocalFile());
    ASSERT_TRUE(keys.open(QIODevice::ReadOnly));
    EXPECT_TRUE(keys.readAll().contains("appRuns\r\n"));
    QFile info(opened.urls[2].toLocalFile());
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    const QByteArray text = info.readAll();
    EXPECT_TRUE(text.startsWith(
        QStringLiteral("form widthXheight         : %1x%2\r\n").arg(window->width()).arg(window->height()).toLatin1()));
    EXPECT_TRUE(text.contains("App Runs                  : 12\r\n"));
}

TEST_F(MainWindowTest, TrayShowRestoresTheWindowAndMinimisingWithoutATrayKeepsIt)
{
    window->hide();
    c().acTrayShow->trigger();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->trayIcon()->isVisible());
    EXPECT_EQ(window->trayMenu()->actions(), (QList<QAction *>{c().acTrayShow, c().acTrayClose}));

    // This test desktop has no notification area: the window must not vanish.
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    write(setup(), Keys::minimizeToTray, true);
    window->applyInterfaceSettings();
    window->showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isMinimized(); }, 2000));
    // Hiding into the tray would be a zero-time timer posted by the state change.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isHidden());
}

TEST_F(MainWindowTest, LayoutFilesBringBackColumnsAndToolbars)
{
    window->localList()->header()->resizeSection(0, 201);
    // The queue's Action column shares out the width; the others keep what they are given.
    window->queueList()->header()->resizeSection(QueueModel::Size, 303);
    QTest::mouseClick(window->tbConnection()->findChild<QToolButton *>(QStringLiteral("closeButton")), Qt::LeftButton);
    const QString folder = home.path() + QLatin1Char('/');
    window->saveListLayouts(folder);
    window->saveToolbarPositions(folder + QStringLiteral("ftpm.dat"));

    auto again = open({});
    again->loadListLayouts(folder, true);
    again->loadToolbarPositions(folder + QStringLiteral("ftpm.dat"));
    EXPECT_EQ(again->localList()->header()->sectionSize(0), 201);
    EXPECT_EQ(again->queueList()->header()->sectionSize(QueueModel::Size), 303);
    EXPECT_TRUE(again->tbConnection()->isHidden());
    EXPECT_FALSE(again->commands().acTbConnection->isChecked());
    EXPECT_TRUE(again->commands().acTbStandard->isChecked());
}

TEST_F(MainWindowTest, FeedbackAndAboutWindowsAreModal)
{
    EXPECT_EQ(closeModalOpenedBy([this] { c().acAbout->trigger(); }), QStringLiteral("aboutBox"));
    const QString seen = closeModalOpenedBy(
        [this] { c().acGiveFeedback->trigger(); },
        [](QWidget *w) { w->findChild<QCheckBox *>(QStringLiteral("neverShow"))->setChecked(true); });
    EXPECT_EQ(seen, QStringLiteral("feedbackWindow"));
    EXPECT_TRUE(read(setup(), Keys::neverShowAppFeedback));
}

TEST_F(MainWindowTest, CloseCommandClosesThroughShutDown)
{
    // After a first run the feedback window is offered once at exit.
    EXPECT_EQ(closeModalOpenedBy([this] { c().acClose->trigger(); }), QStringLiteral("feedbackWindow"));
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(QFile::exists(window->controller().folders().dataFile(QStringLiteral("setup.dat"))));
    EXPECT_TRUE(QFile::exists(window->controller().folders().dataFile(QStringLiteral("ftpm.dat"))));
}

} // namespace
