#include "status/widgets/LogView.h"
#include "status/LogModel.h"

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

class LogViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.setLogModel(&log);
        view.resize(400, 60);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    void write(int count)
    {
        for (int i = 0; i < count; ++i)
            log.writeLog(QStringLiteral("<line %1").arg(i));
        QApplication::processEvents();
    }

    bool lastRowVisible() const
    {
        const QRect row = view.visualRect(log.index(log.rowCount() - 1));
        return view.viewport()->rect().intersects(row);
    }

    LogModel log;
    LogView view;
};

TEST(LogViewFont, TakesTheDesktopFixedFontThenKnownMonospaceFamilies)
{
    QFont desktop(QStringLiteral("Desktop Mono"));
    desktop.setPointSize(10);
    struct Case {
        const char *what;
        QStringList fixed; // the families the machine draws fixed-pitch
        QString chosen;
    };
    const Case cases[] = {
        {"the desktop's own",
         {QStringLiteral("Desktop Mono"), QStringLiteral("DejaVu Sans Mono")},
         QStringLiteral("Desktop Mono")},
        {"the first known family that is fixed",
         {QStringLiteral("Liberation Mono"), QStringLiteral("Courier New")},
         QStringLiteral("Liberation Mono")},
        // A "Courier New" replaced by a font reported proportional is passed over.
        {"none: the desktop's", {}, QStringLiteral("Desktop Mono")},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        QStringList asked;
        const QFont font = LogView::chooseFixedFont(desktop, [&](const QFont &f) {
            asked << f.family();
            return k.fixed.contains(f.family());
        });
        EXPECT_EQ(font.family(), k.chosen);
        EXPECT_EQ(font.pixelSize(), 11);
        EXPECT_EQ(asked.first(), QStringLiteral("Desktop Mono"));
    }
    EXPECT_TRUE(LogView::monospaceFamilies().indexOf(QStringLiteral("DejaVu Sans Mono")) <
                LogView::monospaceFamilies().indexOf(QStringLiteral("Courier New")));
}

TEST_F(LogViewTest, UsesTheChosenFixedFontAndTwelvePixelRows)
{
    write(3);
    EXPECT_EQ(view.font(), LogView::fixedFont());
    EXPECT_EQ(view.font().pixelSize(), 11);
    EXPECT_EQ(view.visualRect(log.index(1)).height(), LogView::kRowHeight);
    EXPECT_EQ(view.selectionMode(), QAbstractItemView::ExtendedSelection);
}

TEST_F(LogViewTest, FollowsNewLinesOnlyWithAutoScroll)
{
    view.setFollowNewLines(false);
    write(200);
    EXPECT_EQ(view.verticalScrollBar()->value(), 0);
    EXPECT_FALSE(lastRowVisible());

    view.setFollowNewLines(true);
    write(1);
    EXPECT_TRUE(lastRowVisible());
}

TEST_F(LogViewTest, CopiesTheSelectedRowsToTheClipboard)
{
    log.writeLog(QStringLiteral(">LIST"));
    log.writeLog(QString(LogModel::kInfo) + QStringLiteral("skipped"));
    log.writeLog(QStringLiteral("<226 Done"));
    view.selectionModel()->select(log.index(2), QItemSelectionModel::Select);
    view.selectionModel()->select(log.index(0), QItemSelectionModel::Select);
    view.copySelectedToClipboard();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("LIST\r\n226 Done\r\n"));
}

} // namespace
