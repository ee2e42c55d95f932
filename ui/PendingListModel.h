#pragma once

#include <QAbstractTableModel>
#include <QStringList>

// The columns of a list whose rows are not built yet (the file lists and the queue): a
// header with the column captions and no rows. The list's own model replaces it
// with QAbstractItemView::setModel(); the column layout files work either way.
class PendingListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PendingListModel(QStringList columns, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QStringList m_columns;
};
