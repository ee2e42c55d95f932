// The queue list in the real window: items with their detail rows, icons and the stop mark,
// the pause button, and the picture of it for the documentation.
#include "app/widgets/MainWindow.h"
#include "app/widgets/ProgramWindow.h"
#include "queue/widgets/QueuePanel.h"
#include "settings/SettingsCatalogue.h"
#include "support/Entries.h"
#include "support/TempHome.h"

#include <QIcon>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

TEST(MainWindowQueue, ItemsShowWithDetailRowsIconsAndTheStopMark)
{
    TempHome home;
    auto w = std::make_unique<ProgramWindow>();
    // A taller window and bottom panel than the designed ones, so the queue shows in full.
    tSetupClass &setup = w->controller().setup();
    write(setup, Keys::w, 900);
    write(setup, Keys::h, 640);
    write(setup, Keys::panelBottomHeight, 250);
    w->controller().FormCreate({});
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    ASSERT_TRUE(QTest::qWaitFor([&w] { return w->controller().started(); }, 5000));
    QueueController &q = w->controller().queue();
    const tFolderEntryObject report = entryNamed(QStringLiteral("report 2026.pdf"), 2'450'000);
    const tFolderEntryObject photo = entryNamed(QStringLiteral("holiday.jpg"), 5'600'000);
    const tFolderEntryObject site = entryNamed(QStringLiteral("site"), 0, true);
    q.addToQueue(QStringLiteral("getfile*/pub/docs/report 2026.pdf*") + home.path() +
                     QStringLiteral("/report 2026.pdf"),
                 &report);
    q.addToQueue(QStringLiteral("putfile*") + home.path() + QStringLiteral("/holiday.jpg*/upload/holiday.jpg"), &photo);
    q.addToQueue(QStringLiteral("getfolder*/www/site*") + home.path() + QStringLiteral("/site"), &site);
    q.addToQueue(QStringLiteral("makefolder*/upload/2026"));
    q.model().insertStopMark();

    QTreeView *list = w->queueList();
    const QAbstractItemModel *model = list->model();
    ASSERT_EQ(model->rowCount(), 5);
    EXPECT_EQ(model->index(0, 0).data().toString(),
              QStringLiteral("Stop transfer queue here (drag to move stop point)"));
    const QModelIndex download = model->index(1, 0);
    EXPECT_EQ(download.data().toString(), QStringLiteral("Receive File: \"report 2026.pdf\""));
    ASSERT_EQ(model->rowCount(download), 2);
    EXPECT_EQ(model->index(0, 0, download).data().toString(),
              QStringLiteral("Receive To: \"") + home.path() + QStringLiteral("/\""));
    EXPECT_EQ(model->index(1, 0, download).data().toString(), QStringLiteral("Receive From: \"/pub/docs/\""));
    EXPECT_FALSE(download.data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(model->index(1, 1).data().toString(), QStringLiteral("2.392KB"));
    EXPECT_EQ(model->index(1, 2).data().toString(), QStringLiteral("Queued"));

    // The pause button starts and stops the queue and names what it will do.
    QToolButton *pause = w->queuePanel()->pauseButton();
    EXPECT_EQ(pause->text(), QStringLiteral("stop queue"));
    QTest::mouseClick(pause, Qt::LeftButton);
    EXPECT_TRUE(q.model().isPaused());
    EXPECT_EQ(pause->text(), QStringLiteral("start queue"));

    list->expandAll();
    // KESTRIN_SHOTS=<folder>: the picture of the window for the documentation.
    const QString shots = qEnvironmentVariable("KESTRIN_SHOTS");
    if (!shots.isEmpty()) {
        QCoreApplication::processEvents();
        EXPECT_TRUE(w->grab().save(shots + QStringLiteral("/queue.png")));
    }
}

} // namespace
