#include "status/LogModel.h"

#include <QBrush>

#include <algorithm>

namespace {
const QString kHidden = QStringLiteral("[*** hidden ***]");
constexpr int kCopyLength = 999;
} // namespace

LogModel::LogModel(QObject *parent) : QAbstractListModel(parent) {}

void LogModel::writeLog(const QString &text)
{
    if (m_lines.size() >= kMaxRows) {
        beginRemoveRows(QModelIndex(), 0, 0);
        m_lines.removeFirst();
        endRemoveRows();
    }
    const int row = static_cast<int>(m_lines.size());
    beginInsertRows(QModelIndex(), row, row);
    m_lines.append(maskPassword(text));
    endInsertRows();
}

void LogModel::clear()
{
    beginResetModel();
    m_lines.clear();
    endResetModel();
}

int LogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QVariant LogModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_lines.size())
        return {};
    const QString &line = m_lines.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return line.mid(1);
    case Qt::ForegroundRole:
        return QBrush(markerColor(line.isEmpty() ? QChar() : line.front()));
    case LineRole:
        return line;
    default:
        return {};
    }
}

QString LogModel::maskPassword(const QString &text)
{
    const qsizetype at = text.indexOf(QLatin1String("pass "), 0, Qt::CaseInsensitive);
    if (at < 0)
        return text;
    return text.left(at + 5) + kHidden;
}

QColor LogModel::markerColor(QChar marker)
{
    if (marker == kCommand)
        return QColor(0, 128, 0);
    if (marker == kReply)
        return QColor(0, 0, 0);
    if (marker == kError)
        return QColor(255, 0, 0);
    return QColor(0, 0, 255);
}

QString LogModel::copyText(QList<int> rows) const
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QString text;
    for (int row : std::as_const(rows)) {
        if (row < 0 || row >= m_lines.size())
            continue;
        text += m_lines.at(row).mid(1, kCopyLength) + QLatin1String("\r\n");
    }
    return text;
}
