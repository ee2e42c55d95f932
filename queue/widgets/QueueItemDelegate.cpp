#include "queue/widgets/QueueItemDelegate.h"

#include "queue/QueueModel.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionProgressBar>

namespace {

QStyle *styleOf(const QStyleOptionViewItem &option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

} // namespace

void QueueItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (index.column() == QueueModel::Action) {
        const QIcon state = index.data(QueueModel::StateImageRole).value<QIcon>();
        if (!state.isNull()) {
            // The selection colours run under the picture too, as in the rest of the row.
            QStyleOptionViewItem background(option);
            initStyleOption(&background, QModelIndex());
            styleOf(option)->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, option.widget);
            const QRect slot(option.rect.left(), option.rect.top(), kStateImageSlot, option.rect.height());
            const QRect image =
                QStyle::alignedRect(option.direction, Qt::AlignCenter, QSize(kStateImageSize, kStateImageSize), slot);
            state.paint(painter, image);
            QStyleOptionViewItem rest(option);
            rest.rect.setLeft(option.rect.left() + kStateImageSlot);
            QStyledItemDelegate::paint(painter, rest, index);
            return;
        }
    }
    QStyledItemDelegate::paint(painter, option, index);
    if (index.column() != QueueModel::Progress)
        return;
    const int percent = index.data(QueueModel::ProgressRole).toInt();
    if (percent < 0)
        return;
    QStyleOptionProgressBar bar;
    bar.initFrom(option.widget);
    bar.rect = option.rect.adjusted(1, 1, -1, -1);
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = percent;
    bar.textVisible = false;
    bar.state = QStyle::State_Enabled | QStyle::State_Horizontal;
    styleOf(option)->drawControl(QStyle::CE_ProgressBar, &bar, painter, option.widget);
}

QSize QueueItemDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (index.column() == QueueModel::Action && !index.data(QueueModel::StateImageRole).value<QIcon>().isNull())
        size.rwidth() += kStateImageSlot;
    return size;
}
