// Caption colours step toward their target by at most 25 per part and stop on it.
#include "status/CaptionFade.h"

#include <gtest/gtest.h>

TEST(CaptionFade, StepsEachPartTowardTheTargetAndStopsOnIt)
{
    const QColor from(128, 128, 128), target(10, 36, 240);
    EXPECT_EQ(CaptionFade::stepColor(from, target, CaptionFade::kStep), QColor(103, 103, 153));
    EXPECT_EQ(CaptionFade::stepColor(from, target, CaptionFade::kJump), target);
    QColor c = from;
    int ticks = 0;
    while (c != target && ticks < 100) {
        c = CaptionFade::stepColor(c, target, CaptionFade::kStep);
        ++ticks;
    }
    EXPECT_EQ(c, target);
    EXPECT_EQ(ticks, 5); // 128 -> 10 and 128 -> 240 both take five steps, the last one shorter
    const CaptionFade::Gradient g{from, from};
    EXPECT_EQ(CaptionFade::stepGradient(g, {target, from}, 255), (CaptionFade::Gradient{target, from}));
}
