#include "app/widgets/MainWindow.h"
#include "app/widgets/ProgramWindow.h"
#include "support/ModalCloser.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<MainWindow> launch(const QStringList &args = {})
{
    auto w = std::make_unique<ProgramWindow>();
    w->controller().FormCreate(args);
    w->show();
    EXPECT_TRUE(waitFor([&] { return w->controller().started(); }));
    return w;
}

TEST(MainWindowStart, TheFirstStartFitsTheScreen)
{
    struct Case {
        QSize available, window;
    };
    const Case cases[] = {
        {{1280, 770}, {1088, 654}}, // a laptop below its panel
        {{1920, 1050}, {1600, 892}},
        {{3840, 2100}, {1600, 1000}}, // large screens do not get a huge window
        {{800, 570}, {795, 500}},     // the designed size is the least
        {{640, 450}, {640, 450}},     // but the window never leaves a small screen
        {{}, {795, 500}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.available.width());
        const WindowGeometry g = MainWindow::firstStartGeometry(k.available);
        EXPECT_EQ(QSize(g.width, g.height), k.window);
        EXPECT_GT(g.lPanelWidth, g.width / 3);
        EXPECT_LT(g.lPanelWidth, g.width / 2);
        EXPECT_LT(g.logHeight + g.panelBottomHeight, g.height / 2);
    }
}

TEST(MainWindowStart, GeometryAndLayoutsSurviveACloseAndRestart)
{
    TempHome home;
    {
        auto w = launch();
        const WindowGeometry first =
            MainWindow::firstStartGeometry(QGuiApplication::primaryScreen()->availableGeometry().size());
        EXPECT_EQ(w->size(), QSize(first.width, first.height));
        EXPECT_FALSE(w->debugMenu()->menuAction()->isVisible());
        w->setGeometry(60, 70, 900, 650);
        w->showMaximized();
        waitFor([&] { return w->isMaximized(); }, 2000);
        bool closed = false;
        EXPECT_EQ(closeModalOpenedBy([&] { closed = w->close(); }), QStringLiteral("feedbackWindow"));
        EXPECT_TRUE(closed);
    }
    for (const char *name : {"setup.dat", "lvl.dat", "lvr.dat", "lvq.dat", "ftpm.dat", "lFolderHistory.dat"})
        EXPECT_TRUE(QFile::exists(home.programData() + QString::fromLatin1(name))) << name;

    auto w = launch({QStringLiteral("-TMBDEBUG")});
    EXPECT_TRUE(w->debugMenu()->menuAction()->isVisible());
    EXPECT_TRUE(waitFor([&] { return w->isMaximized(); }, 2000));
    // The rectangle the window manager restores to is the one it had before it was maximised.
    EXPECT_EQ(w->normalGeometry(), QRect(60, 70, 900, 650));
    bool closed = false;
    closeModalOpenedBy([&] { closed = w->close(); });
    EXPECT_TRUE(closed);
}

} // namespace
