#include "queue/widgets/QueueView.h"

#include "queue/widgets/QueueItemDelegate.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>
#include <QStyle>

QueueView::QueueView(QueueModel *model, QWidget *parent) : QTreeView(parent), m_model(model)
{
    setObjectName(QStringLiteral("qLv"));
    setModel(model);
    setItemDelegate(new QueueItemDelegate(this));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(true);
    for (int column = 0; column < QueueModel::ColumnCount; ++column)
        header()->resizeSection(column, QueueModel::defaultColumnWidth(column));
    fitColumns();

    connect(model, &QueueModel::itemStarted, this, [this](const QModelIndex &index) { expand(index); });
    connect(model, &QueueModel::pausedChanged, this, &QueueView::showPaused);
    showPaused(model->isPaused());
}

void QueueView::fitColumns()
{
    QHeaderView *h = header();
    h->setSectionResizeMode(QueueModel::Action, QHeaderView::Stretch);
    const QFontMetrics metrics(font());
    // Room for the cell's margins and the sort glyph of a header.
    const int padding = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 16;
    const std::pair<int, QString> figures[] = {{QueueModel::Size, QStringLiteral("888,888.888KB")},
                                               {QueueModel::Status, widestStatusSample()},
                                               {QueueModel::TimeLeft, widestTimeLeftSample()}};
    for (const auto &[column, sample] : figures) {
        const int wanted = metrics.horizontalAdvance(sample) + padding;
        if (h->sectionSize(column) < wanted)
            h->resizeSection(column, wanted);
    }
}

void QueueView::changeEvent(QEvent *event)
{
    QTreeView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitColumns();
}

void QueueView::showPaused(bool paused)
{
    viewport()->setBackgroundRole(paused ? QPalette::Button : QPalette::Base);
    viewport()->update();
}

std::vector<int> QueueView::selectedItemRows() const
{
    std::vector<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex &index : selectionModel()->selectedRows()) {
        if (!index.parent().isValid())
            rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void QueueView::selectAllItems()
{
    if (m_model->isEmpty())
        return;
    const QItemSelection all(m_model->index(0, 0),
                             m_model->index(m_model->itemCount() - 1, QueueModel::ColumnCount - 1));
    selectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
}

void QueueView::moveSelection(QueueModel::Move how)
{
    m_model->moveItemRows(selectedItemRows(), how);
    if (currentIndex().isValid())
        scrollTo(currentIndex());
}

void QueueView::deleteSelected()
{
    m_model->removeItemRows(selectedItemRows());
}

void QueueView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        emit deleteRequested();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

QueueView::DragKind QueueView::dragKind(const QMimeData *mime, std::vector<int> *entries) const
{
    if (!mime)
        return DragKind::None;
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid());
    const QString rowsType = QString::fromLatin1(QueueModel::kRowsMimeType);
    if (mime->hasFormat(rowsType)) {
        const QList<QByteArray> fields = mime->data(rowsType).split(' ');
        return fields.value(0) == pid ? DragKind::OwnRows : DragKind::None;
    }
    // The file lists write the process, "local" or "remote", then the entry indices.
    const QList<QByteArray> fields = mime->data(QString::fromLatin1(FileListModel::kEntriesMimeType)).split(' ');
    if (fields.size() < 2 || fields[0] != pid)
        return DragKind::None;
    DragKind kind = DragKind::None;
    if (fields[1] == "local")
        kind = DragKind::LocalEntries;
    else if (fields[1] == "remote")
        kind = DragKind::RemoteEntries;
    if (entries && kind != DragKind::None) {
        for (qsizetype i = 2; i < fields.size(); ++i)
            entries->push_back(fields[i].toInt());
    }
    return kind;
}

void QueueView::followDrag(const QPoint &pos)
{
    const QModelIndex over = indexAt(pos);
    const QModelIndex focus = currentIndex();
    if (!over.isValid() || !focus.isValid() || over.parent().isValid() || focus.parent().isValid())
        return;
    // Only a selection that holds the current row follows it; otherwise every drag-over
    // would move the selection again by the same distance.
    if (!selectionModel()->isRowSelected(focus.row(), QModelIndex()))
        return;
    const int steps = over.row() - focus.row();
    if (steps != 0)
        m_model->shiftItemRows(selectedItemRows(), steps);
}

void QueueView::dragEnterEvent(QDragEnterEvent *event)
{
    if (dragKind(event->mimeData()) == DragKind::None) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void QueueView::dragMoveEvent(QDragMoveEvent *event)
{
    const DragKind kind = dragKind(event->mimeData());
    if (kind == DragKind::None) {
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    if (kind == DragKind::OwnRows)
        followDrag(pos);
    const QRect area = viewport()->rect();
    if (pos.y() - area.top() < autoScrollMargin() || area.bottom() - pos.y() < autoScrollMargin())
        startAutoScroll();
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void QueueView::dragLeaveEvent(QDragLeaveEvent *event)
{
    stopAutoScroll();
    event->accept();
}

void QueueView::dropEvent(QDropEvent *event)
{
    stopAutoScroll();
    std::vector<int> entries;
    const DragKind kind = dragKind(event->mimeData(), &entries);
    if (kind == DragKind::None) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (kind == DragKind::LocalEntries)
        emit entriesDropped(FileListModel::Side::Local, entries);
    else if (kind == DragKind::RemoteEntries)
        emit entriesDropped(FileListModel::Side::Remote, entries);
}
