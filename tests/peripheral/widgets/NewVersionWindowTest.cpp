// The "New Version Check" window: its texts through a check that gets no answer, and the
// Check Now button disabled only while the check runs.
#include "peripheral/widgets/NewVersionWindow.h"
#include "app/VersionCheck.h"
#include "support/ServerProcess.h"
#include "support/TempHome.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

TEST(NewVersionWindow, CheckNowWithoutAnAnswerReadsNoNewVersionAndCanBePressedAgain)
{
    TempHome home;
    VersionCheck check(2800);
    check.loadChoices(home.path() + QStringLiteral("/newVersion.dat"));
    // Nothing listens there: the connection is refused at once.
    check.setEndpoint(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(ServerProcess::freePort())));
    NewVersionWindow window(check);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("New Version Check - Kestrin FTP Pro"));
    EXPECT_EQ(window.latestLabel()->text(), QStringLiteral(": Unchecked"));
    EXPECT_EQ(window.statusLabel()->text(), QStringLiteral("Unchecked"));

    QTest::mouseClick(window.checkNowButton(), Qt::LeftButton);
    EXPECT_FALSE(window.checkNowButton()->isEnabled());
    EXPECT_EQ(window.latestLabel()->text(), QStringLiteral(": Checking ..."));
    EXPECT_EQ(window.statusLabel()->text(), QStringLiteral("Checking ... Wait"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.checkNowButton()->isEnabled(); }, 10000));
    EXPECT_EQ(window.latestLabel()->text(), QStringLiteral(": v2.8"));
    EXPECT_EQ(window.statusLabel()->text(), QStringLiteral("No New Version"));

    // Closing keeps the choices.
    window.findChild<QCheckBox *>(QStringLiteral("s_notifyNewBeta"))->setChecked(false);
    window.accept();
    VersionCheck again(2800);
    again.loadChoices(home.path() + QStringLiteral("/newVersion.dat"));
    EXPECT_FALSE(again.notifyBeta());
    EXPECT_TRUE(again.notifyNonBeta());
}

TEST(NewVersionWindow, OnlyALaterReleaseReadsAsNew)
{
    EXPECT_EQ(NewVersionWindow::statusText(2810, 2800), QStringLiteral("New Version Available"));
    EXPECT_EQ(NewVersionWindow::statusText(2700, 2800), QStringLiteral("No New Version"));
    EXPECT_EQ(NewVersionWindow::latestText(2813), QStringLiteral(": v2.81 b3"));
}
