#include "queue/widgets/QueueView.h"
#include "queue/widgets/QueueIcons.h"
#include "settings/u_tmbSetup.h"
#include "support/QtPrinters.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDragMoveEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QProxyStyle>
#include <QSignalSpy>
#include <QStyleOptionProgressBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

QString u8(const char *text)
{
    return QString::fromUtf8(text);
}

// Records the progress bars the list asks the style to draw.
class BarRecordingStyle : public QProxyStyle {
public:
    struct Bar {
        int progress;
        QRect rect;
    };
    std::vector<Bar> bars;

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element == CE_ProgressBar) {
            const auto *bar = qstyleoption_cast<const QStyleOptionProgressBar *>(option);
            if (bar)
                const_cast<BarRecordingStyle *>(this)->bars.push_back({bar->progress, bar->rect});
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

// The queue list on its own, shown offscreen, with six folder items A to F.
class QueueViewFixture : public testing::Test {
protected:
    tSetupClass setup;
    QueueIcons icons;
    BarRecordingStyle barStyle; // outlives the view that may use it
    QueueModel model{setup};
    QueueView view{&model};

    QueueViewFixture()
    {
        model.setIconSource(&icons);
        for (const char *name : {"A", "B", "C", "D", "E", "F"})
            model.addToQueue(u8("makefolder*/") + QString::fromLatin1(name));
        view.resize(500, 300);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    QStringList order() const
    {
        QStringList names;
        for (int row = 0; row < model.itemCount(); ++row)
            names << model.itemAt(row)->command().section(u'/', -1);
        return names;
    }
    QPoint centreOf(int row, const QModelIndex &parent = {}) const
    {
        return view.visualRect(model.index(row, 0, parent)).center();
    }
    void select(std::initializer_list<int> rows, int current)
    {
        view.selectionModel()->clear();
        view.selectionModel()->setCurrentIndex(model.index(current, 0), QItemSelectionModel::NoUpdate);
        for (int row : rows)
            view.selectionModel()->select(model.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Qt delivers drag-overs and drops to the widget that accepted the drag's entry, so
    // every drag here begins with one.
    bool enter(const QMimeData &mime, const QPoint &pos)
    {
        QDragEnterEvent event(pos, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &event);
        return event.isAccepted();
    }
    void dragOver(const QMimeData &mime, const QPoint &pos)
    {
        QDragMoveEvent event(pos, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &event);
        EXPECT_TRUE(event.isAccepted());
    }
    void drop(const QMimeData &mime, const QPoint &pos)
    {
        QDropEvent event(QPointF(pos), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &event);
    }
    std::unique_ptr<QMimeData> dragOfSelection() const
    {
        return std::unique_ptr<QMimeData>(model.mimeData(view.selectionModel()->selectedIndexes()));
    }
    static std::unique_ptr<QMimeData> fileListDrag(const QByteArray &payload)
    {
        auto mime = std::make_unique<QMimeData>();
        mime->setData(QString::fromLatin1(FileListModel::kEntriesMimeType), payload);
        return mime;
    }
};

TEST_F(QueueViewFixture, ColumnsShareTheWidthAndTheFiguresStayReadable)
{
    EXPECT_EQ(view.objectName(), u8("qLv"));
    QHeaderView *h = view.header();
    const auto fits = [&](int column, const QString &text) {
        return h->sectionSize(column) > QFontMetrics(view.font()).horizontalAdvance(text);
    };
    const auto total = [&] {
        int sum = 0;
        for (int column = 0; column < QueueModel::ColumnCount; ++column)
            sum += h->sectionSize(column);
        return sum;
    };
    // A rate as a transfer shows it, and the widest the column is made for.
    const QString rate = u8("81.920KB @ 160.0KB/s");
    for (const int width : {700, 1600}) {
        SCOPED_TRACE(width);
        view.resize(width, 300);
        ASSERT_TRUE(QTest::qWaitFor([&] { return total() == view.viewport()->width(); }, 2000))
            << total() << " " << view.viewport()->width();
        EXPECT_TRUE(fits(QueueModel::Status, rate));
        EXPECT_TRUE(fits(QueueModel::Status, QueueView::widestStatusSample()));
        EXPECT_TRUE(fits(QueueModel::TimeLeft, QueueView::widestTimeLeftSample()));
        EXPECT_GE(h->sectionSize(QueueModel::Progress), QueueModel::defaultColumnWidth(QueueModel::Progress));
    }
    // The width a maximised window adds goes to the names.
    const int wideAction = h->sectionSize(QueueModel::Action);
    view.resize(700, 300);
    ASSERT_TRUE(QTest::qWaitFor([&] { return total() == view.viewport()->width(); }, 2000));
    EXPECT_LT(h->sectionSize(QueueModel::Action), wideAction - 800);

    // A larger font widens the figure columns; a column the user made wider stays so.
    h->resizeSection(QueueModel::Size, 300);
    QFont big = view.font();
    big.setPointSize(big.pointSize() * 2);
    view.setFont(big);
    EXPECT_TRUE(fits(QueueModel::Status, QueueView::widestStatusSample()));
    EXPECT_EQ(h->sectionSize(QueueModel::Size), 300);
}

TEST_F(QueueViewFixture, DraggedSelectionFollowsTheMouse)
{
    select({1, 2}, 1);
    const std::unique_ptr<QMimeData> mime = dragOfSelection();
    ASSERT_TRUE(enter(*mime, centreOf(1)));
    dragOver(*mime, centreOf(3));
    EXPECT_EQ(order(), (QStringList{u8("A"), u8("D"), u8("E"), u8("B"), u8("C"), u8("F")}));
    EXPECT_EQ(view.selectedItemRows(), (std::vector<int>{3, 4}));
    EXPECT_EQ(view.currentIndex().row(), 3);

    // Over the current row again: nothing moves; then up past the top, which stops at it.
    dragOver(*mime, centreOf(3));
    dragOver(*mime, centreOf(0));
    EXPECT_EQ(order(), (QStringList{u8("B"), u8("C"), u8("A"), u8("D"), u8("E"), u8("F")}));
    EXPECT_EQ(view.selectedItemRows(), (std::vector<int>{0, 1}));

    drop(*mime, centreOf(5));
    EXPECT_EQ(order(), (QStringList{u8("B"), u8("C"), u8("A"), u8("D"), u8("E"), u8("F")}));
}

TEST_F(QueueViewFixture, DragOverADetailRowMovesNothing)
{
    const tFolderEntryObject entry{};
    model.addToQueue(u8("getfile*/r/G*/l/G"), &entry);
    view.expand(model.index(6, 0));
    select({0}, 0);
    const std::unique_ptr<QMimeData> mime = dragOfSelection();
    ASSERT_TRUE(enter(*mime, centreOf(0)));
    dragOver(*mime, centreOf(1, model.index(6, 0)));
    EXPECT_EQ(order().first(), u8("A"));
}

TEST_F(QueueViewFixture, MenuMovesKeepTheSelectionOnTheItems)
{
    select({2, 4}, 2);
    view.moveSelection(QueueModel::Move::ToTop);
    EXPECT_EQ(order(), (QStringList{u8("C"), u8("A"), u8("E"), u8("B"), u8("D"), u8("F")}));
    EXPECT_EQ(view.selectedItemRows(), (std::vector<int>{0, 2}));
    view.selectAllItems();
    EXPECT_EQ(view.selectedItemRows().size(), 6u);
    view.deleteSelected();
    EXPECT_TRUE(model.isEmpty());
}

TEST_F(QueueViewFixture, FileListDropsAndDeleteKeyAreForwarded)
{
    QSignalSpy dropped(&view, &QueueView::entriesDropped);
    QSignalSpy deleteAsked(&view, &QueueView::deleteRequested);
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid());

    const auto local = fileListDrag(pid + " local 4 7");
    ASSERT_TRUE(enter(*local, centreOf(2)));
    dragOver(*local, centreOf(2));
    drop(*local, centreOf(2));
    const auto remote = fileListDrag(pid + " remote 0");
    ASSERT_TRUE(enter(*remote, QPoint(10, 250)));
    drop(*remote, QPoint(10, 250));
    // Rows from another process or of another kind are not ours to run.
    EXPECT_FALSE(enter(*fileListDrag("1 local 4"), centreOf(2)));
    EXPECT_FALSE(enter(*fileListDrag(pid + " elsewhere 4"), centreOf(2)));
    QMimeData text;
    text.setText(u8("/etc/passwd"));
    EXPECT_FALSE(enter(text, centreOf(2)));
    EXPECT_EQ(order(), (QStringList{u8("A"), u8("B"), u8("C"), u8("D"), u8("E"), u8("F")}));

    ASSERT_EQ(dropped.count(), 2);
    EXPECT_EQ(dropped.at(0).at(0).value<FileListModel::Side>(), FileListModel::Side::Local);
    EXPECT_EQ(dropped.at(0).at(1).value<std::vector<int>>(), (std::vector<int>{4, 7}));
    EXPECT_EQ(dropped.at(1).at(0).value<FileListModel::Side>(), FileListModel::Side::Remote);

    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Delete);
    EXPECT_EQ(deleteAsked.count(), 1);
    EXPECT_EQ(model.itemCount(), 6);
}

TEST_F(QueueViewFixture, ProgressCellDrawsTheBarOfARunningTransfer)
{
    BarRecordingStyle &style = barStyle;
    view.setStyle(&style);
    tFolderEntryObject entry;
    entry.name = u8("big.iso");
    entry.size = 4000;
    QueueItem *item = model.addToQueue(u8("getfile*/r/big.iso*/l/big.iso"), &entry, true).item;
    ASSERT_TRUE(item);
    model.startItem(item);
    EXPECT_TRUE(view.isExpanded(model.index(0, 0)));
    model.setProgressBytes(item, 1000);

    // "In Progress" still: no rate written yet, so no bar.
    view.viewport()->repaint();
    EXPECT_TRUE(style.bars.empty());

    model.setStatusText(item, u8("120 KB/s"));
    view.viewport()->repaint();
    ASSERT_EQ(style.bars.size(), 1u);
    EXPECT_EQ(style.bars[0].progress, 25);
    const QRect cell = view.visualRect(model.index(0, QueueModel::Progress));
    EXPECT_TRUE(cell.contains(style.bars[0].rect)) << style.bars[0].rect.x() << "," << style.bars[0].rect.width();

    style.bars.clear();
    item->stopRequested = true;
    model.itemChanged(item);
    view.viewport()->repaint();
    EXPECT_TRUE(style.bars.empty());
    view.setStyle(nullptr);
}

TEST_F(QueueViewFixture, PausedQueueShowsTheButtonFaceColour)
{
    const auto emptyAreaColour = [&] {
        view.viewport()->repaint();
        const QImage image = view.viewport()->grab().toImage();
        return image.pixelColor(image.width() / 2, image.height() - 3);
    };
    const QColor running = emptyAreaColour();
    EXPECT_EQ(running, view.palette().color(QPalette::Base));
    model.setPaused(true);
    EXPECT_EQ(emptyAreaColour(), view.palette().color(QPalette::Button));
    model.setPaused(false);
    EXPECT_EQ(emptyAreaColour(), running);
}

} // namespace
