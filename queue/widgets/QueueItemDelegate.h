#pragma once

#include <QStyledItemDelegate>

// Cells of the queue list: the kind's picture before the icon and text of column "Action",
// and the bar of column "Progress" filling its cell while a transfer shows one.
class QueueItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    static constexpr int kStateImageSize = 16;
    static constexpr int kStateImageSlot = 18;
};
