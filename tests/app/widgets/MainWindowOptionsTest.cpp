#include "app/widgets/Commands.h"
#include "app/widgets/ListLook.h"
#include "app/widgets/MainWindow.h"
#include "app/widgets/ProgramWindow.h"
#include "settings/SettingsCatalogue.h"
#include "settings/widgets/OptionsPage.h"
#include "settings/widgets/SetupControls.h"
#include "settings/widgets/u_formSetup.h"
#include "support/ModalCloser.h"
#include "support/StartupSiteManager.h"
#include "support/TempHome.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MainWindowOptions : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Something for the local list to show: it opens on the home folder.
        QFile file(QDir::home().filePath(QStringLiteral("readme.txt")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        window = std::make_unique<ProgramWindow>();
        window->controller().FormCreate({});
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(QTest::qWaitFor([this] { return window->controller().started(); }, 5000));
        closeStartupSiteManager(*window);
    }
    // Opens the options dialog with command, lets edit work on it, and reports which page
    // it opened on.
    QString throughDialog(QAction *command, const std::function<void(TFormSetup &)> &edit)
    {
        QString page;
        closeModalOpenedBy([command] { command->trigger(); },
                           [&](QWidget *modal) {
                               auto *dialog = qobject_cast<TFormSetup *>(modal);
                               ASSERT_NE(dialog, nullptr);
                               page = dialog->currentPage()->caption();
                               edit(*dialog);
                           });
        return page;
    }
    template <typename W> static W *control(TFormSetup &d, const char *name)
    {
        return d.findChild<W *>(QString::fromLatin1(name));
    }

    Commands &c() { return window->commands(); }
    tSetupClass &setup() { return window->controller().setup(); }

    TempHome home;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowOptions, OkAppliesShortcutsFontsAndToolbarSizeToTheWindow)
{
    QWidget *send = window->tbGeneral()->widgetForAction(c().acSend);
    const qreal normalSize = send->font().pointSizeF();
    EXPECT_EQ(
        throughDialog(
            c().acEditOptions,
            [](TFormSetup &d) {
                ASSERT_TRUE(d.selectNode(QStringLiteral("Shortcuts")));
                control<HotKeyEdit>(d, "s_scConnect")->setKeySequence(QKeySequence(QStringLiteral("Ctrl+Shift+K")));
                control<HotKeyEdit>(d, "s_scHistory")->clear();
                ASSERT_TRUE(d.selectNode(QStringLiteral("Font")));
                control<QSlider>(d, "s_fontSize")->setValue(14);
                control<QSlider>(d, "s_fontSpace")->setValue(26);
                ASSERT_TRUE(d.selectNode(QStringLiteral("Toolbar")));
                control<QComboBox>(d, "s_toolbarFontSize")->setCurrentIndex(2);
                d.okButton()->click();
            }),
        QStringLiteral("general"));

    EXPECT_EQ(read(setup(), Keys::scConnect), QStringLiteral("CTRL+SHIFT+K"));
    EXPECT_EQ(c().acConnect->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+K")));
    EXPECT_EQ(c().acConnect->toolTip(), QStringLiteral("Connect / disconnect FTP server  -  (Shortcut: CTRL+SHIFT+K)"));
    EXPECT_TRUE(c().acHistory->shortcut().isEmpty());
    EXPECT_EQ(c().acHistory->toolTip(), QStringLiteral("Connection history  -  (Shortcut: None)"));
    // The new key reaches the command from anywhere in the window.
    QSignalSpy connects(c().acConnect, &QAction::triggered);
    QApplication::setActiveWindow(window.get());
    window->localList()->setFocus();
    // With no host in the quick-connect bar, Connect says so in a titled error message.
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    EXPECT_TRUE(closeModalOpenedBy(
                    [&] { QTest::keyClick(window->localList(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier); },
                    [&](QWidget *modal) {
                        title = modal->windowTitle();
                        if (auto *box = qobject_cast<QMessageBox *>(modal))
                            icon = box->icon();
                    })
                    .startsWith(QStringLiteral("Specify an FTP hostname")));
    EXPECT_EQ(title, QStringLiteral("Missing FTP hostname"));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(connects.count(), 1);

    for (QTreeView *list : {window->localList(), window->remoteList(), window->queueList()}) {
        EXPECT_EQ(list->font().pointSize(), 14);
        EXPECT_EQ(ListLook::rowHeight(list), 26);
    }
    const QModelIndex first = window->localList()->model()->index(0, 0);
    ASSERT_TRUE(first.isValid());
    EXPECT_EQ(window->localList()->visualRect(first).height(), 26);

    EXPECT_TRUE(c().acTbSizeLarge->isChecked());
    EXPECT_GT(send->font().pointSizeF(), normalSize);
}

TEST_F(MainWindowOptions, MeterConfigureOpensTheMeterPageAndCancelChangesNothing)
{
    const QString before = read(setup(), Keys::scConnect);
    EXPECT_EQ(throughDialog(c().acMeterConfigure,
                            [](TFormSetup &d) {
                                ASSERT_TRUE(d.selectNode(QStringLiteral("Shortcuts")));
                                control<HotKeyEdit>(d, "s_scConnect")->clear();
                                d.reject();
                            }),
              QStringLiteral("bandwidth meter"));
    EXPECT_EQ(read(setup(), Keys::scConnect), before);
    EXPECT_EQ(c().acConnect->shortcut(), QKeySequence(QStringLiteral("Ctrl+Alt+C")));
}

} // namespace
