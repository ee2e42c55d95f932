#include "status/LogModel.h"

#include <QBrush>
#include <QSignalSpy>

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

const QString kInfo = QString(LogModel::kInfo);
const QString kError = QString(LogModel::kError);

struct MaskCase {
    const char *name;
    QString text;
    QString shown;
};

class PasswordMasking : public ::testing::TestWithParam<MaskCase> {};

TEST_P(PasswordMasking, HidesEverythingAfterTheFirstPassAndBlank)
{
    LogModel log;
    log.writeLog(GetParam().text);
    ASSERT_EQ(log.rowCount(), 1);
    EXPECT_EQ(log.lines().at(0), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Log, PasswordMasking,
    ::testing::Values(MaskCase{"pass-command", QStringLiteral(">PASS s3cret word"),
                               QStringLiteral(">PASS [*** hidden ***]")},
                      MaskCase{"user-command-unchanged", QStringLiteral(">USER anna"), QStringLiteral(">USER anna")},
                      MaskCase{"lower-case", QStringLiteral(">pass hunter2"), QStringLiteral(">pass [*** hidden ***]")},
                      MaskCase{"bypass-cut-after-blank", QStringLiteral("<230 bypass mode granted"),
                               QStringLiteral("<230 bypass [*** hidden ***]")},
                      MaskCase{"password-shown-whole", QStringLiteral("<331 Password required for anna"),
                               QStringLiteral("<331 Password required for anna")},
                      MaskCase{"first-occurrence-wins", QStringLiteral("!a pass b pass c"),
                               QStringLiteral("!a pass [*** hidden ***]")},
                      MaskCase{"pass-without-blank-at-end", QStringLiteral(">PASS"), QStringLiteral(">PASS")}),
    [](const auto &info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

TEST(LogModel, ShowsTheLineWithoutItsMarkerInTheMarkersColour)
{
    struct {
        QString line;
        QColor colour;
    } const cases[] = {{QStringLiteral(">PASS x"), QColor(0, 128, 0)},
                       {QStringLiteral("<230 ok"), QColor(0, 0, 0)},
                       {kError + QStringLiteral("failed"), QColor(255, 0, 0)},
                       {kInfo + QStringLiteral("note"), QColor(0, 0, 255)},
                       {QStringLiteral("!notice"), QColor(0, 0, 255)}};
    LogModel log;
    for (const auto &c : cases)
        log.writeLog(c.line);
    for (int row = 0; row < log.rowCount(); ++row) {
        const QModelIndex index = log.index(row);
        SCOPED_TRACE(cases[row].line.toStdString());
        EXPECT_EQ(index.data(Qt::ForegroundRole).value<QBrush>().color(), cases[row].colour);
        EXPECT_EQ(index.data(Qt::DisplayRole).toString(), log.lines().at(row).mid(1));
    }
    EXPECT_EQ(log.index(0).data().toString(), QStringLiteral("PASS [*** hidden ***]"));
}

TEST(LogModel, KeepsTheNewestThousandLines)
{
    LogModel log;
    QSignalSpy removed(&log, &QAbstractItemModel::rowsRemoved);
    for (int i = 0; i < LogModel::kMaxRows + 5; ++i)
        log.writeLog(kInfo + QStringLiteral("line %1").arg(i));
    EXPECT_EQ(log.rowCount(), LogModel::kMaxRows);
    EXPECT_EQ(removed.count(), 5);
    EXPECT_EQ(log.lines().first(), kInfo + QStringLiteral("line 5"));
    EXPECT_EQ(log.lines().last(), kInfo + QStringLiteral("line 1004"));
}

TEST(LogModel, CopiesRowsInListOrderWithoutMarkersEachEndedByCrLf)
{
    LogModel log;
    log.writeLog(QStringLiteral(">USER anna"));
    log.writeLog(QStringLiteral("<331 Password required"));
    log.writeLog(kInfo + QStringLiteral("not copied"));
    log.writeLog(QStringLiteral("<230 Logged in"));
    log.writeLog(QStringLiteral("<") + QString(1200, QLatin1Char('x')));

    EXPECT_EQ(log.copyText({3, 0, 1, 3}), QStringLiteral("USER anna\r\n331 Password required\r\n230 Logged in\r\n"));
    EXPECT_EQ(log.copyText({4}), QString(999, QLatin1Char('x')) + QStringLiteral("\r\n"));
    EXPECT_EQ(log.copyText({}), QString());
}

TEST(LogModel, ClearRemovesEveryRow)
{
    LogModel log;
    log.writeLog(kInfo + QStringLiteral("a"));
    log.writeLog(kInfo + QStringLiteral("b"));
    log.clear();
    EXPECT_EQ(log.rowCount(), 0);
    log.writeLog(kInfo + QStringLiteral("c"));
    EXPECT_EQ(log.lines(), QStringList{kInfo + QStringLiteral("c")});
}

} // namespace
