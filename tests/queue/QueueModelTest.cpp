#include "queue/QueueModel.h"
#include "queue/OverwritePrompt.h"
#include "queue/QueueIconSource.h"
#include "settings/SettingsCatalogue.h"
#include "support/QtPrinters.h"

#include <QIconEngine>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

QString u8(const char *text)
{
    return QString::fromUtf8(text);
}

tFolderEntryObject entryNamed(const QString &name, std::int64_t size)
{
    tFolderEntryObject e;
    e.name = name;
    e.size = size;
    return e;
}

// Icon indexes that tell what they were looked up by: 1000 the folder, 2000 + n the n-th
// distinct file name asked for.
class RecordingIcons : public QueueIconSource {
public:
    QStringList fileNames;
    std::int32_t folderIconIndex() override { return 1000; }
    std::int32_t fileIconIndex(const QString &name) override
    {
        fileNames << name;
        return 2000 + static_cast<std::int32_t>(fileNames.size()) - 1;
    }
    QIcon iconAt(std::int32_t index) override { return iconWithKey(index); }
    QIcon stateImage(std::int32_t kind) override { return iconWithKey(-kind); }
    // An icon that says which number it stands for through its name.
    static QIcon iconWithKey(int key) { return QIcon(new NamedEngine(QString::number(key))); }

private:
    class NamedEngine : public QIconEngine {
    public:
        explicit NamedEngine(QString name) : m_name(std::move(name)) {}
        void paint(QPainter *, const QRect &, QIcon::Mode, QIcon::State) override {}
        QIconEngine *clone() const override { return new NamedEngine(m_name); }
        QString iconName() override { return m_name; }

    private:
        QString m_name;
    };
};

class QueueModelFixture : public testing::Test {
protected:
    tSetupClass setup;
    RecordingIcons icons;
    QueueModel model{setup};

    QueueModelFixture() { model.setIconSource(&icons); }

    QueueItem *add(const QString &command, const QString &entryName = {}, std::int64_t size = 0, bool atFront = false)
    {
        const tFolderEntryObject entry = entryNamed(entryName, size);
        const QueueModel::AddResult result = model.addToQueue(command, entryName.isEmpty() ? nullptr : &entry, atFront);
        EXPECT_TRUE(result.item) << result.message.toStdString();
        return result.item;
    }
    // Items named by their last field (so "getfile*/r/A*/l/A" is "A").
    QueueItem *addNamed(const char *name)
    {
        const QString n = u8(name);
        return add(u8("makefolder*/") + n, {}, 0);
    }
    QStringList order() const
    {
        QStringList names;
        for (int row = 0; row < model.itemCount(); ++row)
            names << model.itemAt(row)->command().section(u'/', -1);
        return names;
    }
    QString text(int row, int column, const QModelIndex &parent = {}) const
    {
        return model.data(model.index(row, column, parent)).toString();
    }
};

// --- adding --------------------------------------------------------------------------------

TEST_F(QueueModelFixture, DownloadItemShowsItsRowsAndCountsUntilRemoved)
{
    QueueItem *item = add(u8("GETFILE*/a/b.txt*/home/me/x/b.txt"), u8("b.txt"), 2048);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->kind, 1);
    EXPECT_EQ(item->verb(), QueueVerb::GetFile);
    EXPECT_EQ(item->command(), u8("GETFILE*/a/b.txt*/home/me/x/b.txt"));
    EXPECT_EQ(item->statusText, u8("Queued"));
    EXPECT_EQ(item->transferAction, TransferAction::Ask);
    EXPECT_FALSE(item->running());
    EXPECT_EQ(item->field(1), u8("/a/b.txt"));
    ASSERT_TRUE(item->entry);
    EXPECT_EQ(item->entry->size, 2048);

    EXPECT_EQ(text(0, QueueModel::Action), u8("Receive File: \"b.txt\""));
    EXPECT_EQ(text(0, QueueModel::Size), u8("2KB"));
    EXPECT_EQ(text(0, QueueModel::Status), u8("Queued"));
    const QModelIndex top = model.index(0, 0);
    ASSERT_EQ(model.rowCount(top), 2);
    EXPECT_EQ(text(0, QueueModel::Action, top), u8("Receive To: \"/home/me/x/\""));
    EXPECT_EQ(text(1, QueueModel::Action, top), u8("Receive From: \"/a/\""));
    for (int column = 1; column < QueueModel::ColumnCount; ++column)
        EXPECT_EQ(text(0, column, top), QString()) << column;
    const QModelIndex detail = model.index(1, QueueModel::Status, top);
    EXPECT_EQ(model.parent(detail), top);
    EXPECT_EQ(model.itemOf(detail), item);
    EXPECT_EQ(model.rowCount(detail), 0);
    EXPECT_TRUE(model.data(detail, QueueModel::IsDetailRole).toBool());
    EXPECT_EQ(model.data(detail, QueueModel::KindRole).toInt(), kDetailLineKind);

    EXPECT_EQ(model.counters().downloads, 1);
    EXPECT_EQ(model.counters().downloadBytes, 2048);
    model.removeItem(item);
    EXPECT_EQ(model.counters().downloads, 0);
    EXPECT_EQ(model.counters().downloadBytes, 0);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(QueueModelFixture, RefusedCommandQueuesNothing)
{
    add(u8("list*/pub/"));
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    const QueueModel::AddResult result = model.addToQueue(u8("getfile*/pub/a.txt*/home/me/a.txt"), nullptr, true);
    EXPECT_EQ(result.item, nullptr);
    EXPECT_TRUE(result.message.startsWith(u8("Cannot queue \"/pub/a.txt\""))) << result.message.toStdString();
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(model.itemCount(), 1);
    EXPECT_EQ(model.counters().downloads, 0);
}

TEST_F(QueueModelFixture, UnknownVerbIsQueuedEmptyWithItsMessage)
{
    const QueueModel::AddResult result = model.addToQueue(u8("frobnicate*x"));
    ASSERT_TRUE(result.item);
    EXPECT_EQ(result.message, u8("Unknown queue entry: frobnicate*x"));
    EXPECT_EQ(result.item->kind, 0);
    EXPECT_EQ(result.item->actionText, QString());
    EXPECT_EQ(result.item->statusText, u8("Queued"));
}

TEST_F(QueueModelFixture, AtFrontGoesBeforeRunningItems)
{
    QueueItem *running = add(u8("getfile*/r/a*/l/a"), u8("a"), 1);
    model.startItem(running);
    add(u8("list*/r/"), {}, 0, /*atFront=*/true);
    QueueItem *mark = model.insertStopMark();
    EXPECT_EQ(model.rowOf(mark), 0);
    EXPECT_EQ(model.rowOf(running), 2);
    EXPECT_EQ(model.itemAt(1)->verb(), QueueVerb::List);
    EXPECT_EQ(mark->iconIndex, -1);
    EXPECT_EQ(mark->kind, 5);
    // The first waiting item is looked for past the running one.
    EXPECT_EQ(model.firstWaiting(), mark);
    model.removeItemRows({0, 1});
    EXPECT_EQ(model.firstWaiting(), nullptr);
}

TEST_F(QueueModelFixture, TransferActionComesFromTheSettingAtCreation)
{
    EXPECT_EQ(add(u8("getfile*/r/a*/l/a"), u8("a"))->transferAction, TransferAction::Ask);
    setup.setInt(Keys::xferAction.key(), 1);
    EXPECT_EQ(add(u8("getfile*/r/a*/l/a"), u8("a"))->transferAction, TransferAction::Resume);
}

TEST_F(QueueModelFixture, IconsFollowTheVerb)
{
    const QueueItem *download = add(u8("getfile*/r/pic.gif*/l/pic.gif"), u8("pic.gif"));
    const QueueItem *remove = add(u8("deletefile*/r/old.txt"), u8("entry-name.bin"));
    const QueueItem *chmod = add(u8("chmodfile*/r/run.cgi*755"));
    const QueueItem *list = add(u8("list*/r/"));
    EXPECT_EQ(icons.fileNames, (QStringList{u8("pic.gif"), u8("/r/old.txt"), u8("/r/run.cgi")}));
    EXPECT_EQ(download->iconIndex, 2000);
    EXPECT_EQ(remove->iconIndex, 2001);
    EXPECT_EQ(chmod->iconIndex, 2002);
    EXPECT_EQ(list->iconIndex, 1000);

    const auto iconName = [&](const QModelIndex &index, int role) {
        return model.data(index, role).value<QIcon>().name();
    };
    EXPECT_EQ(iconName(model.index(0, 0), Qt::DecorationRole), u8("2000"));
    EXPECT_EQ(iconName(model.index(0, 0), QueueModel::StateImageRole), u8("-1"));
    EXPECT_EQ(iconName(model.index(3, 0), QueueModel::StateImageRole), u8("-30"));
    const QModelIndex detail = model.index(0, 0, model.index(0, 0));
    EXPECT_TRUE(model.data(detail, Qt::DecorationRole).isNull());
    EXPECT_EQ(iconName(detail, QueueModel::StateImageRole), u8("-26"));
    // Other columns carry no pictures.
    EXPECT_TRUE(model.data(model.index(0, QueueModel::Status), Qt::DecorationRole).isNull());
}

TEST_F(QueueModelFixture, SizeColumnInKilobytesOrBytes)
{
    add(u8("getfile*/r/a*/l/a"), u8("a"), 1048576);
    add(u8("putfile*/l/b*/r/b"), u8("b"), 0);
    add(u8("getfolder*/r/d*/l/d"), u8("d"), -1);
    add(u8("list*/r/"));
    EXPECT_EQ(text(0, QueueModel::Size), u8("1.024KB"));
    EXPECT_EQ(text(1, QueueModel::Size), u8("0KB"));
    EXPECT_EQ(text(2, QueueModel::Size), QString());
    EXPECT_EQ(text(3, QueueModel::Size), QString());
    EXPECT_EQ(model.data(model.index(0, QueueModel::Size), QueueModel::SortValueRole).toLongLong(), 1048576);
    setup.setBool(Keys::filesizeInBytes.key(), true);
    EXPECT_EQ(text(0, QueueModel::Size), u8("1048576"));
    EXPECT_EQ(model.data(model.index(0, QueueModel::Size), Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
              Qt::AlignRight);
}

TEST_F(QueueModelFixture, HeaderHasTheFiveColumns)
{
    QStringList headers;
    std::vector<int> widths;
    for (int c = 0; c < model.columnCount(); ++c) {
        headers << model.headerData(c, Qt::Horizontal).toString();
        widths.push_back(QueueModel::defaultColumnWidth(c));
    }
    EXPECT_EQ(headers, (QStringList{u8("Action"), u8("Size"), u8("Status"), u8("Progress"), u8("Time left")}));
    EXPECT_EQ(widths, (std::vector<int>{250, 75, 100, 65, 65}));
}

// --- counters ------------------------------------------------------------------------------

// Adds and removes in every position; after each step the counters equal a count made
// from scratch over the queue.
TEST_F(QueueModelFixture, CountersFollowEveryAddAndRemoval)
{
    const struct {
        const char *command; // empty: remove the row
        std::int64_t size;
        bool front;
        int removeRow;
    } steps[] = {
        {"getfile*/r/a*/l/a", 100, false, 0},
        {"putfile*/l/b*/r/b", 2000, true, 0},
        {"list*/r/", 0, false, 0},
        {"getfile*/r/c*/l/c", 30000, true, 0},
        {"putfile*/l/d*/r/d", 400000, false, 0},
        {"getfolder*/r/e*/l/e", 5, false, 0},
        {"", 0, false, 1},
        {"getfile*/r/f*/l/f", 6000000000LL, false, 0},
        {"getfile*/r/g*/l/g*x", 7, false, 0}, // refused: a name held "*"
        {"", 0, false, 0},
        {"", 0, false, 3},
        {"", 0, false, 99}, // no such row
    };
    for (const auto &step : steps) {
        if (*step.command) {
            const tFolderEntryObject entry = entryNamed(u8("n"), step.size);
            model.addToQueue(u8(step.command), &entry, step.front);
        } else {
            model.removeItemRows({step.removeRow});
        }
        QueueModel::Counters expected;
        for (int row = 0; row < model.itemCount(); ++row) {
            const QueueItem *item = model.itemAt(row);
            if (item->verb() == QueueVerb::GetFile) {
                ++expected.downloads;
                expected.downloadBytes += item->entry->size;
            } else if (item->verb() == QueueVerb::PutFile) {
                ++expected.uploads;
                expected.uploadBytes += item->entry->size;
            }
        }
        const QueueModel::Counters &c = model.counters();
        EXPECT_EQ(c.downloads, expected.downloads) << step.command << step.removeRow;
        EXPECT_EQ(c.downloadBytes, expected.downloadBytes) << step.command << step.removeRow;
        EXPECT_EQ(c.uploads, expected.uploads) << step.command << step.removeRow;
        EXPECT_EQ(c.uploadBytes, expected.uploadBytes) << step.command << step.removeRow;
    }
    model.removeAll();
    EXPECT_EQ(model.counters().downloads + model.counters().uploads, 0);
    EXPECT_EQ(model.counters().downloadBytes + model.counters().uploadBytes, 0);
}

// --- moving --------------------------------------------------------------------------------

struct MoveCase {
    const char *label;
    std::vector<int> selected;
    QueueModel::Move how;
    const char *order; // afterwards, one letter per item
    std::vector<int> rows;
};

class QueueMoveTest : public QueueModelFixture, public testing::WithParamInterface<MoveCase> {};

TEST_P(QueueMoveTest, MovesTheSelectionAsTheQueueMenuDoes)
{
    const MoveCase &c = GetParam();
    for (const char *name : {"A", "B", "C", "D", "E", "F"})
        addNamed(name);
    QStringList expected;
    for (const char *p = c.order; *p; ++p)
        expected << QString(QLatin1Char(*p));
    EXPECT_EQ(model.moveItemRows(c.selected, c.how), c.rows);
    EXPECT_EQ(order(), expected);
}

using M = QueueModel::Move;
const MoveCase kMoves[] = {
    {"up-block", {2, 3}, M::Up, "ACDBEF", {1, 2}},
    {"up-with-gap", {1, 4}, M::Up, "BACEDF", {0, 3}},
    {"up-first-row-selected-moves-nothing", {0, 3}, M::Up, "ABCDEF", {0, 3}},
    {"down-block", {0, 1}, M::Down, "CABDEF", {1, 2}},
    {"down-last-row-selected-moves-nothing", {2, 5}, M::Down, "ABCDEF", {2, 5}},
    {"to-top-keeps-gaps", {2, 4}, M::ToTop, "CAEBDF", {0, 2}},
    {"to-bottom", {0, 2}, M::ToBottom, "BDEAFC", {3, 5}},
    {"unsorted-and-duplicate-rows", {3, 2, 3}, M::ToTop, "CDABEF", {0, 1}},
    {"rows-out-of-range-ignored", {-1, 4, 9}, M::Down, "ABCDFE", {5}},
};
INSTANTIATE_TEST_SUITE_P(Moves, QueueMoveTest, testing::ValuesIn(kMoves), [](const auto &info) {
    std::string name = info.param.label;
    for (char &ch : name)
        ch = ch == '-' ? '_' : ch;
    return name;
});

TEST_F(QueueModelFixture, DragStepsStopWhereASingleStepWouldDoNothing)
{
    for (const char *name : {"A", "B", "C", "D", "E", "F"})
        addNamed(name);
    EXPECT_EQ(model.shiftItemRows({1, 2}, 10), (std::vector<int>{4, 5}));
    EXPECT_EQ(order(), (QStringList{u8("A"), u8("D"), u8("E"), u8("F"), u8("B"), u8("C")}));
    EXPECT_EQ(model.shiftItemRows({4, 5}, -3), (std::vector<int>{1, 2}));
    EXPECT_EQ(order(), (QStringList{u8("A"), u8("B"), u8("C"), u8("D"), u8("E"), u8("F")}));
}

TEST_F(QueueModelFixture, IndexesFollowMovedItems)
{
    add(u8("getfile*/r/a*/l/a"), u8("a"), 1);
    addNamed("B");
    add(u8("putfile*/l/c*/r/c"), u8("c"), 1);
    QueueItem *c = model.itemAt(2);
    const QPersistentModelIndex cStatus = model.index(2, QueueModel::Status);
    const QPersistentModelIndex cDetail = model.index(1, 0, model.index(2, 0));
    const QPersistentModelIndex b = model.index(1, 0);
    model.moveItemRows({2}, M::ToTop);
    EXPECT_EQ(cStatus.row(), 0);
    EXPECT_EQ(cStatus.column(), QueueModel::Status);
    EXPECT_EQ(b.row(), 2);
    EXPECT_EQ(model.rowOf(c), 0);
    EXPECT_EQ(model.indexOf(c), model.index(0, 0));
    ASSERT_TRUE(cDetail.isValid());
    EXPECT_EQ(cDetail.parent().row(), 0);
    EXPECT_EQ(cDetail.data().toString(), u8("Send From: \"/l/\""));
}

// --- removal -------------------------------------------------------------------------------

TEST_F(QueueModelFixture, EveryRemovedItemIsAnnouncedOnceThenEmptiness)
{
    for (const char *name : {"A", "B", "C", "D", "E"})
        addNamed(name);
    QStringList announced;
    int rowsWhenAnnounced = -1;
    int emptied = 0;
    QObject::connect(&model, &QueueModel::itemRemoved, [&](QueueItem *item) {
        announced << item->command().section(u'/', -1);
        rowsWhenAnnounced = model.rowCount();
        // Already out of the queue: it cannot be found any more.
        EXPECT_EQ(model.itemById(item->id()), nullptr);
    });
    QObject::connect(&model, &QueueModel::queueEmptied, [&] { ++emptied; });

    model.removeItemRows({3, 0, 1});
    EXPECT_EQ(announced, (QStringList{u8("A"), u8("B"), u8("D")}));
    EXPECT_EQ(rowsWhenAnnounced, 2);
    EXPECT_EQ(order(), (QStringList{u8("C"), u8("E")}));
    EXPECT_EQ(emptied, 0);

    announced.clear();
    model.removeAll();
    EXPECT_EQ(announced, (QStringList{u8("C"), u8("E")}));
    EXPECT_EQ(emptied, 1);
    model.removeAll();
    EXPECT_EQ(emptied, 1);
}

TEST_F(QueueModelFixture, RemovalHandlerMayChangeTheQueue)
{
    for (const char *name : {"A", "B", "C"})
        addNamed(name);
    QueueItem *c = model.itemAt(2);
    QObject::connect(&model, &QueueModel::itemRemoved, [&](QueueItem *item) {
        if (item->command().endsWith(u8("A"))) {
            model.removeItem(c);
            addNamed("D");
        }
    });
    model.removeItem(model.itemAt(0));
    EXPECT_EQ(order(), (QStringList{u8("B"), u8("D")}));
    EXPECT_EQ(model.rowOf(model.itemAt(1)), 1);
}

TEST_F(QueueModelFixture, IdsAreNeverReused)
{
    QueueItem *a = addNamed("A");
    const std::uint64_t id = a->id();
    EXPECT_EQ(model.itemById(id), a);
    model.removeItem(a);
    EXPECT_EQ(model.itemById(id), nullptr);
    EXPECT_NE(addNamed("B")->id(), id);
}

// --- running state -------------------------------------------------------------------------

TEST_F(QueueModelFixture, PauseAndResumeClearStopRequests)
{
    QueueItem *a = addNamed("A");
    QSignalSpy changed(&model, &QueueModel::pausedChanged);
    model.setPaused(true);
    a->stopRequested = true;
    model.setPaused(true);
    EXPECT_TRUE(a->stopRequested);
    model.setPaused(false);
    EXPECT_FALSE(a->stopRequested);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_FALSE(model.property("paused").toBool());
}

TEST_F(QueueModelFixture, StartAndReleaseMarkTheItemRunningAndWaiting)
{
    QueueItem *a = add(u8("getfile*/r/a*/l/a"), u8("a"), 10);
    QSignalSpy started(&model, &QueueModel::itemStarted);
    model.startItem(a);
    EXPECT_TRUE(a->running());
    EXPECT_EQ(a->statusText, u8("In Progress"));
    ASSERT_EQ(started.count(), 1);
    EXPECT_EQ(started.at(0).at(0).value<QModelIndex>(), model.index(0, 0));
    model.setTimeLeftText(a, u8("0:10"));
    model.releaseItem(a, u8("Error"));
    EXPECT_FALSE(a->running());
    EXPECT_EQ(text(0, QueueModel::Status), u8("Error"));
    EXPECT_EQ(text(0, QueueModel::TimeLeft), QString());
}

TEST(QueueProgress, BarShowsOnlyForARunningTransferWithARate)
{
    tSetupClass setup;
    QueueModel model{setup};
    const struct {
        const char *label;
        std::int32_t kind;
        bool hasSession;
        bool stopping;
        const char *status;
        std::int64_t size;
        std::int64_t bytes;
        int percent;
    } cases[] = {
        {"download", 1, true, false, "12 KB/s", 1000, 255, 26},
        {"upload", 9, true, false, "12 KB/s", 3, 1, 33},
        {"open", 16, true, false, "x", 200, 200, 100},
        {"edit", 37, true, false, "x", 200, 0, 0},
        {"grown-file-stays-in-cell", 1, true, false, "x", 100, 250, 100},
        {"still-in-progress-text", 1, true, false, "In Progress", 1000, 500, -1},
        {"no-session", 1, false, false, "x", 1000, 500, -1},
        {"stopping", 1, true, true, "x", 1000, 500, -1},
        {"empty-file", 1, true, false, "x", 0, 0, -1},
        {"not-a-transfer", 30, true, false, "x", 1000, 500, -1},
    };
    for (const auto &c : cases) {
        QueueItem &item = *model.addToQueue(u8("makefolder*/x")).item;
        if (c.hasSession)
            model.startItem(&item);
        item.kind = c.kind;
        item.stopRequested = c.stopping;
        item.statusText = u8(c.status);
        item.entry = entryNamed(u8("f"), c.size);
        item.progressBytes = c.bytes;
        EXPECT_EQ(QueueModel::progressPercent(item), c.percent) << c.label;
        model.removeAll();
    }
}

// --- the overwrite question ----------------------------------------------------------------

TEST_F(QueueModelFixture, TheOverwriteQuestionShowsBothDatesAndNamesTheNewerCopy)
{
    const QDateTime morning(QDate(2026, 12, 10), QTime(9, 5));
    const QDateTime evening(QDate(2026, 12, 10), QTime(18, 30, 20));
    struct Case {
        const char *command;
        QDateTime local, remote;
        const char *dates;
    };
    const Case cases[] = {
        {"getfile*/r/a.txt*/l/a.txt", morning, evening,
         "Server copy: 2026-12-10 18:30, local copy: 2026-12-10 09:05 (the server copy is newer)"},
        {"putfile*/l/a.txt*/r/a.txt", evening, morning,
         "Local copy: 2026-12-10 18:30, server copy: 2026-12-10 09:05 (the local copy is newer)"},
        // Seconds apart in the same minute: neither is called newer.
        {"getfile*/r/a.txt*/l/a.txt", evening, evening.addSecs(-20),
         "Server copy: 2026-12-10 18:30, local copy: 2026-12-10 18:30"},
        {"putfile*/l/a.txt*/r/a.txt", morning, QDateTime(), "Local copy: 2026-12-10 09:05, server copy: date unknown"},
        {"getfile*/r/a.txt*/l/a.txt", QDateTime(), QDateTime(), ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        QueueItem *item = add(u8(c.command), u8("a.txt"), 10);
        ASSERT_NE(item, nullptr);
        const OverwriteQuestion q = overwriteQuestion(*item, 5, 10, c.local, c.remote);
        EXPECT_EQ(q.dates, u8(c.dates));
        EXPECT_TRUE(q.message.contains(QStringLiteral("\"a.txt\""))) << "the designed message stays";
        model.removeAll();
    }
}

} // namespace
