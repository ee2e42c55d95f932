// The queue list's "Queue mgr." menu over the headless controller: which saved queues it
// offers, and that its entries run the controller's commands.
#include "app/MainController.h"
#include "queue/widgets/QueuePanel.h"
#include "support/RecordingUserInterface.h"
#include "support/TempHome.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>

#include <gtest/gtest.h>

#include <memory>

namespace {

QStringList texts(const QMenu *menu)
{
    QStringList out;
    for (const QAction *a : menu->actions())
        out << a->text();
    return out;
}

QAction *actionNamed(const QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions()) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

TEST(QueuePanelSavedQueues, TheMenuOffersSavedQueuesWithoutDatFilesAndRunsTheCommands)
{
    TempHome home;
    RecordingUserInterface ui;
    MainController c(ui);
    c.FormCreate({});
    c.tick().setEnabled(false);
    c.tick().timerTimer();
    QueuePanel panel(c.queue().model());
    panel.attachSavedQueues(c.savedQueues());
    const QString folder = c.folders().savedQueue;
    for (const char *name : {"weekly", "weekly.dat", "[recovery].dat", "a&b"}) {
        QFile f(folder + QString::fromUtf8(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("list*/pub\r\n\r\n");
    }
    QDir(folder).mkpath(QStringLiteral("folder"));

    QMenu *mgr = panel.queueManagerMenu();
    ASSERT_NE(mgr, nullptr);
    EXPECT_TRUE(panel.menu()->actions().contains(mgr->menuAction()));
    EXPECT_EQ(texts(mgr), (QStringList{QStringLiteral("Save queue"), QStringLiteral("Load queue"),
                                       QStringLiteral("Delete queue")}));
    // The lists are made when the menu opens, from what the folder holds then.
    EXPECT_TRUE(texts(panel.loadQueueMenu()).isEmpty());
    emit mgr->aboutToShow();
    const QStringList offered{QStringLiteral("a&&b"), QStringLiteral("weekly")};
    EXPECT_EQ(texts(panel.loadQueueMenu()), offered);
    EXPECT_EQ(texts(panel.deleteQueueMenu()), offered);

    QAction *load = actionNamed(panel.loadQueueMenu(), QStringLiteral("weekly"));
    ASSERT_NE(load, nullptr);
    load->trigger();
    load->trigger();
    EXPECT_EQ(c.queue().model().itemCount(), 2);
    EXPECT_EQ(c.log().lines().last(), QStringLiteral("§Queue loaded from disk."));

    actionNamed(panel.deleteQueueMenu(), QStringLiteral("a&&b"))->trigger();
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("a&b")));
    emit mgr->aboutToShow();
    EXPECT_EQ(texts(panel.loadQueueMenu()), QStringList{QStringLiteral("weekly")});

    c.queue().model().removeAll();
    actionNamed(mgr, QStringLiteral("Save queue"))->trigger();
    EXPECT_EQ(c.log().lines().last(), QStringLiteral("§Queue is empty. Not saved."));
    EXPECT_TRUE(c.FormCloseQuery());
}

} // namespace
