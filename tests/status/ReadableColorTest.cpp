#include "status/ReadableColor.h"
#include "status/LogModel.h"

#include <gtest/gtest.h>

namespace {

// The log's line colours on the backgrounds a desktop may give: they read well on all of
// them, and on white they are left exactly as they were.
TEST(ReadableColorTest, LogColoursReadOnLightAndDarkBackgrounds)
{
    const QColor backgrounds[] = {Qt::white, QColor(255, 255, 220), QColor(42, 42, 42), QColor(25, 35, 45),
                                  Qt::black, QColor(128, 128, 128)};
    for (const QChar marker : {u'+', u' ', u'-', u'!', u'?'}) {
        const QColor wanted = LogModel::markerColor(marker);
        EXPECT_EQ(ReadableColor::on(wanted, Qt::white), wanted) << static_cast<int>(marker.unicode());
        for (const QColor &bg : backgrounds) {
            const QColor shown = ReadableColor::on(wanted, bg);
            EXPECT_GE(ReadableColor::contrast(shown, bg), 4.5)
                << "marker " << static_cast<int>(marker.unicode()) << " on " << bg.name().toStdString() << " shown as "
                << shown.name().toStdString();
        }
    }
}

TEST(ReadableColorTest, ShadesStayCloseToTheBackgroundAndKeepTextReadable)
{
    struct Case {
        QColor background, text;
    };
    const Case cases[] = {{Qt::white, Qt::black}, {QColor(42, 42, 42), QColor(230, 230, 230)}};
    for (const Case &c : cases) {
        const QColor shaded = ReadableColor::shade(c.background, 0.06);
        EXPECT_NE(shaded, c.background);
        EXPECT_LT(ReadableColor::contrast(shaded, c.background), 1.3);
        EXPECT_GE(ReadableColor::contrast(c.text, shaded), 7.0) << shaded.name().toStdString();
    }
}

} // namespace
