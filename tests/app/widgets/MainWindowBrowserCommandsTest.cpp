// The file list commands in the real window against pyftpdlib: a drag from the local list to
// the remote list uploads, the list menu's Delete asks and removes, Compare Folders selects
// the differing rows, and the menu's transfer item follows the active side.
#include "app/widgets/BrowserCommandBinder.h"
#include "app/widgets/BrowserPane.h"
#include "app/widgets/Commands.h"
#include "app/widgets/LoginMessageWindow.h"
#include "app/widgets/MainWindow.h"
#include "app/widgets/ProgramWindow.h"
#include "browser/widgets/FileBrowsers.h"
#include "browser/widgets/FileListView.h"
#include "browser/widgets/TFormChMod.h"
#include "queue/QueueCommand.h"
#include "queue/widgets/QueuePanel.h"
#include "queue/widgets/QueueView.h"
#include "settings/SettingsCatalogue.h"
#include "status/widgets/MainStatusBar.h"
#include "support/FtpServers.h"
#include "support/ModalCloser.h"
#include "support/StartupSiteManager.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace Qt::StringLiterals;

QStringList selectedNames(QTreeView *list)
{
    QStringList names;
    for (const QModelIndex &i : list->selectionModel()->selectedRows())
        names << i.data().toString();
    names.sort();
    return names;
}

int rowOf(QTreeView *list, const QString &name)
{
    for (int row = 0; row < list->model()->rowCount(); ++row)
        if (list->model()->index(row, 0).data().toString() == name)
            return row;
    return -1;
}

class WindowCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.failure().toStdString();
        remoteRoot = server.localWritable();
        local = home.path() + QStringLiteral("/work/");
        makeFile(local + QStringLiteral("up.txt"), "goes up");
        makeFile(local + QStringLiteral("same.txt"), "same");
        makeFile(local + QStringLiteral("bin.dat"), "delete me");
        makeFile(remoteRoot + QStringLiteral("/same.txt"), "same");
        makeFile(remoteRoot + QStringLiteral("/there.txt"), "only there");
        QDir().mkpath(remoteRoot + QStringLiteral("/docs"));

        window = std::make_unique<ProgramWindow>();
        MainController &c = window->controller();
        c.FormCreate({});
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(waitFor([&] { return c.started(); }, 5000));
        closeStartupSiteManager(*window);
        c.browsers().setLocalFolder(local);
        c.browsers().refreshLocalView();
        // The login message window would take the focus the tests give to the lists.
        write(c.setup(), Keys::showLoginMsg, loginMessage);
        SessionSupervisor &s = c.sessions();
        s.setCurrentSite(siteOf(server));
        c.browsers().setRemoteFolder(QStringLiteral("/"));
        s.setConnectionWanted(true);
        ASSERT_TRUE(
            waitFor([&] { return s.mainSession()->loggedIn && rowOf(remote(), QStringLiteral("docs")) >= 0; }, 15000));
    }
    void TearDown() override
    {
        if (window)
            window->controller().sessions().setConnectionWanted(false);
    }
    QTreeView *localList() const { return window->localList(); }
    QTreeView *remote() const { return window->remoteList(); }
    bool queueDone()
    {
        return waitFor([&] { return window->controller().queue().model().isEmpty(); }, 15000);
    }

    TempHome home;
    PyftpdlibServer server;
    std::unique_ptr<MainWindow> window;
    QString remoteRoot, local;
    bool loginMessage = false;
};

class WindowCommandsWithLoginMessage : public WindowCommands {
protected:
    void SetUp() override
    {
        loginMessage = true;
        WindowCommands::SetUp();
    }
};

TEST_F(WindowCommands, DraggingLocalRowsOntoARemoteFolderUploadsIntoIt)
{
    QTreeView *from = localList();
    const QModelIndex up = from->model()->index(rowOf(from, QStringLiteral("up.txt")), 0);
    std::unique_ptr<QMimeData> mime(from->model()->mimeData({up}));
    ASSERT_TRUE(mime->hasUrls()) << "local rows also travel as file URLs";
    QWidget *target = remote()->viewport();
    const QPoint docs =
        remote()->visualRect(remote()->model()->index(rowOf(remote(), QStringLiteral("docs")), 0)).center();
    QDragEnterEvent enter(docs, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDragMoveEvent move(docs, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(docs), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(remoteRoot + QStringLiteral("/docs/up.txt")); }, 15000));
    ASSERT_TRUE(queueDone());
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/docs/up.txt")), "goes up");
}

TEST_F(WindowCommands, TheListMenuDeletesAfterAskingAndCompareSelectsTheDifferences)
{
    Commands &c = *window->findChild<Commands *>();
    // The menu's transfer item and default item follow the side that was right-clicked.
    window->controller().browsers().setLocalActive(false);
    window->browserCommandBinder()->prepareListMenu();
    EXPECT_EQ(window->browserCommandBinder()->transferItem()->text(), QStringLiteral("Receive"));
    EXPECT_EQ(window->listMenu()->defaultAction(), c.acOpen);

    QTreeView *list = localList();
    list->setFocus();
    ASSERT_TRUE(waitFor([&] { return window->controller().browsers().localActive(); }, 2000));
    window->browserCommandBinder()->prepareListMenu();
    EXPECT_EQ(window->browserCommandBinder()->transferItem()->text(), QStringLiteral("Send"));
    list->setCurrentIndex(list->model()->index(rowOf(list, QStringLiteral("bin.dat")), 0));
    const QString asked = closeModalOpenedBy([&] { c.acDelete->trigger(); },
                                             [](QWidget *modal) {
                                                 if (auto *box = qobject_cast<QMessageBox *>(modal))
                                                     box->button(QMessageBox::Yes)->click();
                                             });
    EXPECT_EQ(asked, QStringLiteral("Continue to delete the file \"bin.dat\"?\n\nIt goes to the trash."));
    EXPECT_FALSE(QFileInfo::exists(local + QStringLiteral("bin.dat")));
    EXPECT_EQ(rowOf(list, QStringLiteral("bin.dat")), -1);

    // The Compare Folders dialog, confirmed with "Ignore File Size" checked.
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            poll.stop();
            dialog->findChild<QCheckBox *>()->setChecked(true);
            dialog->accept();
        }
    });
    poll.start();
    c.toCompareFolders->trigger();
    EXPECT_TRUE(read(window->controller().setup(), Keys::compareIgnoreSize));
    EXPECT_EQ(selectedNames(localList()), QStringList{QStringLiteral("up.txt")});
    EXPECT_EQ(selectedNames(remote()), (QStringList{QStringLiteral("docs"), QStringLiteral("there.txt")}));
}

TEST_F(WindowCommands, DeleteWithTheQueueFocusedRemovesTheSelectedQueueRowsNotFiles)
{
    MainController &mc = window->controller();
    Commands &c = *window->findChild<Commands *>();
    auto *queue = window->findChild<QueueView *>();
    ASSERT_NE(queue, nullptr);
    mc.queue().model().setPaused(true); // the rows stay queued
    for (const QString &folder : {u"/q1"_s, u"/q2"_s, u"/q3"_s})
        ASSERT_NE(mc.queue().addToQueue(QStringLiteral("makefolder*") + folder), nullptr);
    const auto queued = [&] {
        QStringList left;
        for (int row = 0; row < mc.queue().model().itemCount(); ++row)
            left << mc.queue().model().itemAt(row)->field(1);
        return left;
    };
    // A local row is selected as well: Delete must leave it alone.
    localList()->setCurrentIndex(localList()->model()->index(rowOf(localList(), QStringLiteral("bin.dat")), 0));

    enum class Via { Command, DelKey, MenuDelete, ClearButton };
    QAction *menuDelete = nullptr;
    for (QAction *a : window->queuePanel()->menu()->actions())
        if (a->text() == u"Delete"_s)
            menuDelete = a;
    ASSERT_NE(menuDelete, nullptr);
    struct Case {
        const char *what;
        bool confirmSetting;
        QMessageBox::StandardButton answer; // NoButton: no question expected
        Via via;
        QString selected;
        QStringList left;
    };
    const Case cases[] = {
        {"No keeps the rows", true, QMessageBox::No, Via::Command, u"/q2"_s, {u"/q1"_s, u"/q2"_s, u"/q3"_s}},
        {"Del key asks too", true, QMessageBox::Yes, Via::DelKey, u"/q2"_s, {u"/q1"_s, u"/q3"_s}},
        {"the queue menu's Delete asks", true, QMessageBox::Yes, Via::MenuDelete, u"/q3"_s, {u"/q1"_s}},
        {"clear asks before emptying", true, QMessageBox::No, Via::ClearButton, u"/q1"_s, {u"/q1"_s}},
        {"no question when switched off", false, QMessageBox::NoButton, Via::ClearButton, u"/q1"_s, {}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        write(mc.setup(), Keys::confirmDeleteFromQueue, k.confirmSetting);
        window->activateWindow(); // back from the question's window
        queue->setFocus();
        ASSERT_TRUE(waitFor([&] { return queue->hasFocus(); }, 2000));
        const int row = static_cast<int>(queued().indexOf(k.selected));
        ASSERT_GE(row, 0);
        queue->selectionModel()->select(queue->model()->index(row, 0),
                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        const QString asked = closeModalOpenedBy(
            [&] {
                switch (k.via) {
                case Via::Command:
                    c.acDelete->trigger();
                    break;
                case Via::DelKey:
                    QTest::keyClick(queue, Qt::Key_Delete);
                    break;
                case Via::MenuDelete:
                    menuDelete->trigger();
                    break;
                case Via::ClearButton:
                    QTest::mouseClick(window->queuePanel()->clearButton(), Qt::LeftButton);
                    break;
                }
            },
            [&](QWidget *modal) {
                if (auto *box = qobject_cast<QMessageBox *>(modal))
                    box->button(k.answer)->click();
            });
        EXPECT_EQ(asked, k.answer == QMessageBox::NoButton ? QString() : QStringLiteral("Continue to delete?"));
        EXPECT_EQ(queued(), k.left);
    }
    EXPECT_TRUE(QFileInfo::exists(local + QStringLiteral("bin.dat")));
    EXPECT_EQ(readAll(remoteRoot + QStringLiteral("/there.txt")), "only there");
    EXPECT_TRUE(QFileInfo(remoteRoot + QStringLiteral("/docs")).isDir());
    EXPECT_FALSE(QFileInfo::exists(remoteRoot + QStringLiteral("/q2")));
}

TEST_F(WindowCommandsWithLoginMessage, TheLoginMessageWindowShowsTheLoginLinesAtLoginAndFromTheLogMenu)
{
    ASSERT_TRUE(
        waitFor([&] { return window->loginMessageWindow() && window->loginMessageWindow()->isVisible(); }, 5000));
    LoginMessageWindow *shown = window->loginMessageWindow();
    EXPECT_EQ(shown->windowTitle(), u"Login Message - Kestrin FTP Pro"_s);
    EXPECT_FALSE(shown->isModal());
    const QStringList lines = shown->shownLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString &l) { return l.startsWith(u"<220"_s); }))
        << lines.join(u'|').toStdString();
    EXPECT_TRUE(lines.contains(u">USER "_s + server.user())) << lines.join(u'|').toStdString();
    for (const QString &line : lines)
        EXPECT_FALSE(line.contains(server.password())) << line.toStdString();

    // The check box is "showLoginMsg": read when shown, written when the window closes.
    EXPECT_TRUE(shown->alwaysShow()->isChecked());
    shown->alwaysShow()->setChecked(false);
    QTest::mouseClick(shown->findChild<QPushButton *>(), Qt::LeftButton);
    EXPECT_FALSE(shown->isVisible());
    EXPECT_FALSE(read(window->controller().setup(), Keys::showLoginMsg));

    window->commands().acLogShowLoginMessage->trigger();
    EXPECT_TRUE(shown->isVisible());
    EXPECT_EQ(shown->shownLines(), lines);
    EXPECT_FALSE(shown->alwaysShow()->isChecked());
}

TEST_F(WindowCommands, ATypedRemoteFolderIsListedAndTheBoxFollowsTheListing)
{
    QComboBox *box = window->remotePane()->combo();
    window->activateWindow();
    box->setFocus();
    box->lineEdit()->setText(u"docs"_s); // relative to the login folder
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return window->controller().browsers().rFolder() == u"/docs/"_s; }, 10000));
    EXPECT_TRUE(waitFor([&] { return box->currentText() == u"/docs/"_s; }, 2000)) << box->currentText().toStdString();
    // A folder the server does not have leaves the list and the box where they were.
    box->setFocus();
    box->lineEdit()->setText(u"/nowhere"_s);
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(box->currentText(), u"/docs/"_s);
    EXPECT_TRUE(queueDone());
    EXPECT_EQ(window->controller().browsers().rFolder(), u"/docs/"_s);
    EXPECT_EQ(box->currentText(), u"/docs/"_s);
}

TEST_F(WindowCommands, APlainConnectionShowsAnOpenLockAndSaysSoOnceInTheLog)
{
    auto *bar = qobject_cast<MainStatusBar *>(window->statusBar());
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(waitFor([&] { return bar->showsPlainConnection(); }, 5000));
    EXPECT_TRUE(bar->firstPanel()->toolTip().startsWith(u"Not encrypted"_s));
    EXPECT_FALSE(bar->firstPanel()->pixmap().isNull());
    const QString line = u"\u00A7The server offers no encryption: this connection is plain FTP, not encrypted."_s;
    EXPECT_EQ(window->controller().log().lines().count(line), 1);

    window->commands().acDisconnect->trigger();
    EXPECT_TRUE(waitFor([&] { return !bar->showsPlainConnection(); }, 5000));
    EXPECT_TRUE(bar->firstPanel()->pixmap().isNull());
}

TEST_F(WindowCommands, ALostConnectionKeepsTheLastListingGreyedUntilTheRetryIsGivenUp)
{
    write(window->controller().setup(), Keys::retryDelay, 60); // the retry stays pending
    BrowserPane *pane = window->remotePane();
    ASSERT_FALSE(pane->logoShown());
    const QSize listSize = remote()->size();
    server.stop();
    ASSERT_TRUE(waitFor([&] { return pane->reconnectingShown(); }, 10000));
    EXPECT_TRUE(window->controller().sessionLoss().retryPending());
    auto *stale = pane->findChild<QLabel *>(u"rStaleListing"_s);
    ASSERT_NE(stale, nullptr);
    EXPECT_TRUE(stale->isVisible());
    EXPECT_EQ(stale->pixmap().deviceIndependentSize().toSize(), listSize);
    // With KESTRIN_SHOTS set, the window's picture in this state is saved there.
    if (const QByteArray shots = qgetenv("KESTRIN_SHOTS"); !shots.isEmpty()) {
        EXPECT_TRUE(window->grab().save(QString::fromLocal8Bit(shots) + u"/reconnecting.png"_s));
    }
    // Stop gives the reconnect up: the logo takes the listing's place.
    window->commands().acStop->trigger();
    EXPECT_TRUE(waitFor([&] { return pane->logoShown(); }, 5000));
}

TEST(PermissionDialog, BoxesAndCodeFollowEachOther)
{
    TFormChMod dialog;
    dialog.setCode(QStringLiteral("644"));
    QStringList checked;
    for (int i = 0; i < 9; ++i)
        checked << (dialog.box(i)->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    EXPECT_EQ(checked.join(QString()), QStringLiteral("110100100"));
    EXPECT_TRUE(dialog.okButton()->isEnabled());
    dialog.box(2)->click(); // owner execute
    EXPECT_EQ(dialog.code(), QStringLiteral("744"));
    dialog.codeEdit()->setText(QStringLiteral("800"));
    EXPECT_FALSE(dialog.okButton()->isEnabled());
    for (int i = 0; i < 9; ++i)
        EXPECT_FALSE(dialog.box(i)->isChecked());
    dialog.box(8)->click();
    EXPECT_EQ(dialog.code(), QStringLiteral("1"));
    EXPECT_TRUE(dialog.okButton()->isEnabled());
    dialog.setCode(QString()); // a field the listing could not read
    EXPECT_FALSE(dialog.okButton()->isEnabled());
}

} // namespace
