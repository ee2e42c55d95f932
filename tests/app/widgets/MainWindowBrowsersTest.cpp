#include "app/widgets/BrowserPane.h"
#include "app/widgets/LogoWidget.h"
#include "app/widgets/MainWindow.h"
#include "app/widgets/ProgramWindow.h"
#include "browser/widgets/FileBrowsers.h"
#include "browser/widgets/FileListView.h"
#include "support/TempHome.h"
#include "ui/CaptionBar.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<MainWindow> launch()
{
    auto w = std::make_unique<ProgramWindow>();
    w->controller().FormCreate({});
    w->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    EXPECT_TRUE(QTest::qWaitFor([&w] { return w->controller().started(); }, 5000));
    return w;
}

TEST(MainWindowBrowsers, StartUpShowsTheLocalFolderInTheLocalList)
{
    TempHome home;
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("projects")));
    QFile file(home.path() + QStringLiteral("/notes.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1500, 'n'));
    file.close();

    auto w = launch();
    auto *list = qobject_cast<FileListView *>(w->localList());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->objectName(), QStringLiteral("lLv"));
    EXPECT_EQ(w->remoteList()->objectName(), QStringLiteral("rlv"));
    const QString folder = home.path() + u'/';
    EXPECT_EQ(w->controller().browsers().lFolder(), folder);
    EXPECT_EQ(w->localPane()->combo()->currentText(), folder);
    QStringList shown;
    for (int row = 0; row < list->model()->rowCount(); ++row)
        shown << list->model()->index(row, 0).data().toString();
    EXPECT_TRUE(shown.contains(QStringLiteral("projects")));
    const int notes = static_cast<int>(shown.indexOf(QStringLiteral("notes.txt")));
    ASSERT_GE(notes, 0);
    EXPECT_EQ(list->model()->index(notes, FileListModel::Size).data().toString(), QStringLiteral("1KB"));
    EXPECT_LT(shown.indexOf(QStringLiteral("projects")), notes) << "folders first";
    EXPECT_EQ(w->controller().browsers().state().localCounters.files, 1);
}

TEST(MainWindowBrowsers, CaptionPressesChooseTheActiveSide)
{
    TempHome home;
    auto w = launch();
    MainController &c = w->controller();
    QTest::mouseClick(w->remotePane()->captionBar(), Qt::LeftButton);
    EXPECT_FALSE(c.browsers().localActive());
    QTest::mouseClick(w->localPane()->captionBar(), Qt::LeftButton);
    EXPECT_TRUE(c.browsers().localActive());
    QTest::mouseClick(w->remotePane()->logo(), Qt::LeftButton);
    EXPECT_FALSE(c.browsers().localActive());
    QTest::mouseClick(w->findChild<CaptionBar *>(QStringLiteral("icShape")), Qt::LeftButton);
    EXPECT_TRUE(c.browsers().localActive());
}

TEST(MainWindowBrowsers, HeaderMenuAndStyleReachTheQueueList)
{
    TempHome home;
    auto w = launch();
    QHeaderView *queueHeader = w->queueList()->header();
    EXPECT_EQ(queueHeader->contextMenuPolicy(), Qt::CustomContextMenu);
    QMenu menu;
    w->browsers().headerStyles().fillMenu(&menu, queueHeader);
    QStringList captions;
    for (QAction *a : menu.actions())
        captions << a->text();
    EXPECT_EQ(captions,
              (QStringList{QStringLiteral("Action"), QStringLiteral("Size"), QStringLiteral("Status"),
                           QStringLiteral("Progress"), QStringLiteral("Time left"), QStringLiteral("Theme")}));
    menu.actions()[3]->trigger();
    EXPECT_TRUE(queueHeader->isSectionHidden(3));
    menu.actions().last()->menu()->actions()[0]->trigger(); // "Thick"
    EXPECT_FALSE(w->queueList()->header()->styleSheet().isEmpty());
    EXPECT_EQ(w->queueList()->header()->styleSheet(), w->localList()->header()->styleSheet());
    EXPECT_EQ(w->remoteList()->header()->styleSheet(), w->localList()->header()->styleSheet());
}

} // namespace
