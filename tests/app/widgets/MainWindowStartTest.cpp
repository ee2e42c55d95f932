#include "app/widgets/MainWindow.h"
#include "app/widgets/ProgramWindow.h"
#include "support/ModalCloser.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <QFile>
#include <QMenu>

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

TEST(MainWindowStart, GeometryAndLayoutsSurviveACloseAndRestart)
{
    TempHome home;
    {
        auto w = launch();
        EXPECT_EQ(w->size(), QSize(795, 500));
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
