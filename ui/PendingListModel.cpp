#include "ui/PendingListModel.h"

PendingListModel::PendingListModel(QStringList columns, QObject *parent)
    : QAbstractTableModel(parent), m_columns(std::move(columns))
{
}

int PendingListModel::rowCount(const QModelIndex &) const
{
    return 0;
}

int PendingListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant PendingListModel::data(const QModelIndex &, int) const
{
    return {};
}

QVariant PendingListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= m_columns.size())
        return {};
    return m_columns.at(section);
}
