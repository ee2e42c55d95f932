// The overwrite prompt window: its default button, its countdown and the ways out.
#include "queue/widgets/u_XferAction.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

OverwriteQuestion question(bool resume, int countdownSetting, bool autoClose = true)
{
    OverwriteQuestion q;
    q.message = QStringLiteral("The file ...");
    q.resumeEnabled = resume;
    q.defaultChoice = resume ? OverwriteChoice::Resume : OverwriteChoice::Skip;
    q.autoClose = autoClose;
    q.countdownStart = OverwriteQuestion::countdownFor(countdownSetting);
    return q;
}

TEST(XferActionPrompt, CountdownPressesTheDefaultWhenItReachesZero)
{
    struct Case {
        const char *name;
        bool resume;
        int seconds;
        int firstShown;
        OverwriteChoice taken;
    };
    const Case cases[] = {
        {"resume-default", true, 60, 60, OverwriteChoice::Resume},
        {"skip-default", false, 60, 60, OverwriteChoice::Skip},
        {"short-setting-counts-from-five", true, 2, 5, OverwriteChoice::Resume},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TFormXFerAction prompt(question(c.resume, c.seconds));
        prompt.open();
        EXPECT_EQ(prompt.countdown(), c.firstShown);
        EXPECT_EQ(prompt.autoCloseBox()->text(),
                  QStringLiteral("Close this window in %1 second(s), and select default choice").arg(c.firstShown));
        EXPECT_EQ(prompt.resumeButton()->isEnabled(), c.resume);
        for (int i = 1; i < c.firstShown; ++i)
            prompt.timerStep();
        EXPECT_TRUE(prompt.isVisible()) << "one second is left";
        prompt.timerStep();
        EXPECT_FALSE(prompt.isVisible());
        EXPECT_EQ(prompt.answer().choice, c.taken);
    }
}

TEST(XferActionPrompt, UncheckedCountdownWaitsAndTheCloseBoxSkips)
{
    TFormXFerAction prompt(question(true, 5));
    prompt.open();
    prompt.autoCloseBox()->setChecked(false);
    for (int i = 0; i < 20; ++i)
        prompt.timerStep();
    EXPECT_TRUE(prompt.isVisible());
    prompt.applyToAllBox()->setChecked(true);
    prompt.reject();
    EXPECT_EQ(prompt.answer().choice, OverwriteChoice::Skip);
    EXPECT_TRUE(prompt.answer().applyToAll);

    TFormXFerAction chosen(question(false, 60));
    chosen.open();
    chosen.overwriteButton()->click();
    EXPECT_EQ(chosen.answer().choice, OverwriteChoice::Overwrite);
    EXPECT_FALSE(chosen.answer().applyToAll);
}

TEST(XferActionPrompt, BothDatesShowUnderTheMessageWhenKnown)
{
    OverwriteQuestion dated = question(false, 60);
    dated.dates = QStringLiteral("Server copy: 2026-12-10 18:30, local copy: 2026-12-10 09:05");
    TFormXFerAction prompt(dated);
    prompt.show();
    const auto *dates = prompt.findChild<QLabel *>(QStringLiteral("dates"));
    ASSERT_NE(dates, nullptr);
    EXPECT_TRUE(dates->isVisible());
    EXPECT_EQ(dates->text(), dated.dates);

    TFormXFerAction undated(question(false, 60));
    undated.show();
    EXPECT_FALSE(undated.findChild<QLabel *>(QStringLiteral("dates"))->isVisible());
}

} // namespace
