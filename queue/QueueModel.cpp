#include "queue/QueueModel.h"

#include "browser/LocalFiles.h"
#include "queue/QueueIconSource.h"
#include "settings/SettingsCatalogue.h"

#include <QCoreApplication>
#include <QMimeData>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

const char *const kHeaders[] = {"Action", "Size", "Status", "Progress", "Time left"};
const int kWidths[] = {250, 75, 100, 65, 65};

// Shared texts: every waiting item holds the same string data.
const QString &queuedText()
{
    static const QString text = QStringLiteral("Queued");
    return text;
}
const QString &inProgressText()
{
    static const QString text = QStringLiteral("In Progress");
    return text;
}

bool rightAligned(int column)
{
    return column == QueueModel::Size || column == QueueModel::Status || column == QueueModel::TimeLeft;
}

} // namespace

int QueueModel::defaultColumnWidth(int column)
{
    return column >= 0 && column < ColumnCount ? kWidths[column] : 0;
}

QueueModel::QueueModel(const tSetupClass &setup, QObject *parent) : QAbstractItemModel(parent), m_setup(setup) {}

QueueModel::~QueueModel() = default;

// ---- adding ---------------------------------------------------------------------------

TransferAction transferActionOf(std::int64_t settingValue)
{
    switch (settingValue) {
    case 0:
        return TransferAction::Overwrite;
    case 1:
        return TransferAction::Resume;
    case 2:
        return TransferAction::Skip;
    default:
        return TransferAction::Ask;
    }
}

void QueueItem::setCommand(const QString &command)
{
    m_command = command;
    m_separators.clear();
    for (qsizetype at = command.indexOf(u'*'); at >= 0; at = command.indexOf(u'*', at + 1))
        m_separators.append(static_cast<std::int32_t>(at));
}

QStringView QueueItem::fieldView(int i) const
{
    if (i < 0 || i > m_separators.size())
        return {};
    const qsizetype start = i == 0 ? 0 : m_separators[i - 1] + 1;
    const qsizetype end = i == m_separators.size() ? m_command.size() : m_separators[i];
    return QStringView(m_command).mid(start, end - start);
}

QString QueueItem::displayName() const
{
    if (entry)
        return entry->name;
    const QStringView path = fieldView(1);
    return path.mid(path.lastIndexOf(u'/') + 1).toString();
}

QueueModel::AddResult QueueModel::addToQueue(const QString &command, const tFolderEntryObject *entry, bool atFront)
{
    return addParsed(command, parseQueueCommand(command, entry), entry, atFront);
}

QueueModel::AddResult QueueModel::addParsed(const QString &command, const ParsedQueueCommand &parsed,
                                            const tFolderEntryObject *entry, bool atFront)
{
    AddResult result;
    if (!parsed.ok()) {
        result.message = parsed.error;
        return result;
    }
    auto item = std::make_unique<QueueItem>();
    item->setCommand(command);
    fill(*item, parsed, entry);
    item->m_id = ++m_lastId;
    QueueItem *raw = item.get();

    const int row = atFront ? 0 : itemCount();
    beginInsertRows({}, row, row);
    if (atFront) {
        raw->m_pos = --m_front;
        m_items.push_front(std::move(item));
    } else {
        raw->m_pos = m_front + static_cast<std::int64_t>(m_items.size());
        m_items.push_back(std::move(item));
    }
    m_byId.emplace(raw->m_id, raw);
    count(*raw, +1);
    endInsertRows();

    result.item = raw;
    result.message = parsed.unknownMessage;
    return result;
}

void QueueModel::fill(QueueItem &item, const ParsedQueueCommand &parsed, const tFolderEntryObject *entry) const
{
    const QueueVerbInfo &info = parsed.info();
    item.m_verb = parsed.verb;
    for (const QueueFlag flag : {QueueFlag::Refresh, QueueFlag::IgnoreError, QueueFlag::FolderEmpty}) {
        if (parsed.has(flag))
            item.m_flags |= QueueItem::flagBit(flag);
    }
    item.statusText = queuedText();
    item.transferAction = transferActionOf(read(m_setup, Keys::xferAction));
    if (entry)
        item.entry = *entry;
    item.kind = info.kind;
    item.actionText = queueActionText(parsed, entry);
    switch (info.icon) {
    case QueueIconChoice::Folder:
        item.iconIndex = m_icons ? m_icons->folderIconIndex() : -1;
        break;
    case QueueIconChoice::EntryName:
        item.iconIndex = m_icons && entry ? m_icons->fileIconIndex(entry->name) : -1;
        break;
    case QueueIconChoice::FirstField:
        item.iconIndex = m_icons ? m_icons->fileIconIndex(parsed.field(1)) : -1;
        break;
    case QueueIconChoice::StopMark:
    case QueueIconChoice::None:
        item.iconIndex = -1;
        break;
    }
}

QueueItem *QueueModel::insertStopMark()
{
    return addToQueue(QStringLiteral("stopqueue"), nullptr, true).item;
}

void QueueModel::count(const QueueItem &item, int sign)
{
    const std::int64_t bytes = std::max<std::int64_t>(item.entrySize(), 0);
    if (item.verb() == QueueVerb::GetFile) {
        m_counters.downloads += sign;
        m_counters.downloadBytes += sign * bytes;
    } else if (item.verb() == QueueVerb::PutFile) {
        m_counters.uploads += sign;
        m_counters.uploadBytes += sign * bytes;
    }
}

// ---- finding --------------------------------------------------------------------------

QueueItem *QueueModel::itemAt(int row) const
{
    return row >= 0 && row < itemCount() ? m_items[static_cast<std::size_t>(row)].get() : nullptr;
}

int QueueModel::rowOf(const QueueItem *item) const
{
    return item ? static_cast<int>(item->m_pos - m_front) : -1;
}

QueueItem *QueueModel::itemById(std::uint64_t id) const
{
    const auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : it->second;
}

QueueItem *QueueModel::itemOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    if (auto *parentItem = static_cast<QueueItem *>(index.internalPointer()))
        return parentItem;
    return itemAt(index.row());
}

QModelIndex QueueModel::indexOf(const QueueItem *item, int column) const
{
    if (!item || column < 0 || column >= ColumnCount)
        return {};
    return createIndex(rowOf(item), column);
}

QueueItem *QueueModel::firstWaiting() const
{
    // Only the items the sessions run are passed over, so this looks at few items.
    for (const ItemPtr &item : m_items) {
        if (!item->m_running)
            return item.get();
    }
    return nullptr;
}

// ---- removing -------------------------------------------------------------------------

void QueueModel::detachRange(int first, int last, std::vector<ItemPtr> &out)
{
    const auto begin = m_items.begin() + first;
    const auto end = m_items.begin() + last + 1;
    const std::int64_t length = last - first + 1;
    beginRemoveRows({}, first, last);
    for (auto it = begin; it != end; ++it) {
        count(**it, -1);
        m_byId.erase((*it)->m_id);
        out.push_back(std::move(*it));
    }
    m_items.erase(begin, end);
    // Renumber the shorter side: the items in front move back by the gap, or those behind
    // move forward.
    const int behind = itemCount() - first;
    if (first < behind) {
        for (int r = 0; r < first; ++r)
            m_items[static_cast<std::size_t>(r)]->m_pos += length;
        m_front += length;
    } else {
        for (int r = first; r < itemCount(); ++r)
            m_items[static_cast<std::size_t>(r)]->m_pos -= length;
    }
    endRemoveRows();
}

void QueueModel::announceRemoved(std::vector<ItemPtr> removed)
{
    if (removed.empty())
        return;
    // The items are out of the queue and the counters are down before anyone hears of
    // them; a handler that releases a session or adds work sees a consistent queue.
    for (const ItemPtr &item : removed)
        emit itemRemoved(item.get());
    removed.clear();
    if (m_items.empty())
        emit queueEmptied();
}

void QueueModel::removeItem(QueueItem *item)
{
    if (!item || itemById(item->m_id) != item)
        return;
    removeItemRows({rowOf(item)});
}

std::vector<int> QueueModel::normalizedRows(std::vector<int> rows, int count)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(), [count](int r) { return r < 0 || r >= count; }), rows.end());
    return rows;
}

void QueueModel::removeItemRows(std::vector<int> rows)
{
    rows = normalizedRows(std::move(rows), itemCount());
    std::vector<ItemPtr> removed;
    removed.reserve(rows.size());
    // Runs of consecutive rows, from the last run back, so the rows still to go keep
    // their numbers.
    std::vector<ItemPtr> run;
    std::size_t end = rows.size();
    while (end > 0) {
        std::size_t begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        run.clear();
        detachRange(rows[begin], rows[end - 1], run);
        std::move(run.rbegin(), run.rend(), std::back_inserter(removed));
        end = begin;
    }
    std::reverse(removed.begin(), removed.end()); // queue order
    announceRemoved(std::move(removed));
}

void QueueModel::removeAll()
{
    if (m_items.empty())
        return;
    std::vector<ItemPtr> removed;
    removed.reserve(m_items.size());
    detachRange(0, itemCount() - 1, removed);
    announceRemoved(std::move(removed));
}

// ---- moving ---------------------------------------------------------------------------

std::vector<int> QueueModel::moveItemRows(std::vector<int> rows, Move how)
{
    rows = normalizedRows(std::move(rows), itemCount());
    if (rows.empty())
        return rows;
    switch (how) {
    case Move::Up:
        return shiftItemRows(std::move(rows), -1);
    case Move::Down:
        return shiftItemRows(std::move(rows), 1);
    case Move::ToTop:
        return shiftItemRows(rows, -rows.front());
    case Move::ToBottom:
        return shiftItemRows(rows, itemCount() - 1 - rows.back());
    }
    return rows;
}

std::vector<int> QueueModel::shiftItemRows(std::vector<int> rows, int steps)
{
    rows = normalizedRows(std::move(rows), itemCount());
    if (rows.empty() || steps == 0)
        return rows;
    // Each single step moves every selected item past one unselected neighbour, so after
    // s steps the selected items sit s rows further and the unselected ones of the range
    // fill the other places in their old order.
    const int s = steps < 0 ? std::min(-steps, rows.front()) : std::min(steps, itemCount() - 1 - rows.back());
    if (s == 0)
        return rows;
    const int lo = steps < 0 ? rows.front() - s : rows.front();
    const int hi = steps < 0 ? rows.back() : rows.back() + s;
    const int shift = steps < 0 ? -s : s;

    std::vector<int> order(static_cast<std::size_t>(hi - lo + 1), -1); // new slot -> old row
    std::vector<char> selected(order.size(), 0);
    for (int r : rows) {
        selected[static_cast<std::size_t>(r - lo)] = 1;
        order[static_cast<std::size_t>(r + shift - lo)] = r;
    }
    std::size_t slot = 0;
    for (int r = lo; r <= hi; ++r) {
        if (selected[static_cast<std::size_t>(r - lo)])
            continue;
        while (order[slot] != -1)
            ++slot;
        order[slot] = r;
    }
    reorder(lo, order);
    for (int &r : rows)
        r += shift;
    return rows;
}

void QueueModel::reorder(int lo, const std::vector<int> &order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::NoLayoutChangeHint);
    const int hi = lo + static_cast<int>(order.size()) - 1;
    std::vector<ItemPtr> taken;
    taken.reserve(order.size());
    for (int r = lo; r <= hi; ++r)
        taken.push_back(std::move(m_items[static_cast<std::size_t>(r)]));
    std::vector<int> newRowOfOld(order.size());
    for (std::size_t slot = 0; slot < order.size(); ++slot) {
        const std::size_t old = static_cast<std::size_t>(order[slot] - lo);
        ItemPtr &target = m_items[static_cast<std::size_t>(lo) + slot];
        target = std::move(taken[old]);
        target->m_pos = m_front + lo + static_cast<std::int64_t>(slot);
        newRowOfOld[old] = lo + static_cast<int>(slot);
    }
    // Detail rows keep their indexes (they point at their item); top-level rows in the
    // range follow their items.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList from, to;
    for (const QModelIndex &i : before) {
        if (i.internalPointer() || i.row() < lo || i.row() > hi)
            continue;
        from.append(i);
        to.append(createIndex(newRowOfOld[static_cast<std::size_t>(i.row() - lo)], i.column()));
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::NoLayoutChangeHint);
}

// ---- state ----------------------------------------------------------------------------

void QueueModel::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    if (!paused) {
        for (ItemPtr &item : m_items)
            item->stopRequested = false;
    }
    emit pausedChanged(paused);
}

void QueueModel::setWhenXferDone(WhenEmpty choice)
{
    if (choice == m_whenXferDone)
        return;
    m_whenXferDone = choice;
    emit whenXferDoneChanged(choice);
}

void QueueModel::startItem(QueueItem *item)
{
    if (!item)
        return;
    item->m_running = true;
    item->statusText = inProgressText();
    item->progressBytes = 0;
    itemChanged(item);
    emit itemStarted(indexOf(item));
}

void QueueModel::releaseItem(QueueItem *item, const QString &status)
{
    if (!item)
        return;
    item->m_running = false;
    item->statusText = status;
    item->timeLeftText.clear();
    itemChanged(item);
}

void QueueModel::setStatusText(QueueItem *item, const QString &text)
{
    if (item && item->statusText != text) {
        item->statusText = text;
        itemChanged(item);
    }
}

void QueueModel::setTimeLeftText(QueueItem *item, const QString &text)
{
    if (item && item->timeLeftText != text) {
        item->timeLeftText = text;
        emit dataChanged(indexOf(item, TimeLeft), indexOf(item, TimeLeft));
    }
}

void QueueModel::setProgressBytes(QueueItem *item, std::int64_t bytes)
{
    if (item && item->progressBytes != bytes) {
        item->progressBytes = bytes;
        emit dataChanged(indexOf(item, Progress), indexOf(item, Progress));
    }
}

void QueueModel::itemChanged(QueueItem *item)
{
    if (item)
        emit dataChanged(indexOf(item, 0), indexOf(item, ColumnCount - 1));
}

int QueueModel::progressPercent(const QueueItem &item)
{
    const std::int32_t k = item.kind;
    if ((k != 1 && k != 9 && k != 16 && k != 37) || !item.running() || item.stopRequested ||
        item.statusText == inProgressText() || item.entrySize() <= 0)
        return -1;
    const double percent =
        std::round(100.0 / static_cast<double>(item.entrySize()) * static_cast<double>(item.progressBytes));
    // A file that grew on the way must not draw a bar wider than its cell.
    return static_cast<int>(std::clamp(percent, 0.0, 100.0));
}

// ---- QAbstractItemModel ---------------------------------------------------------------

QModelIndex QueueModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= ColumnCount)
        return {};
    if (!parent.isValid())
        return row < itemCount() ? createIndex(row, column) : QModelIndex();
    if (parent.internalPointer() || parent.model() != this)
        return {}; // detail rows have no children
    QueueItem *item = itemAt(parent.row());
    if (!item || row >= queueDetailLineCount(item->verb()))
        return {};
    return createIndex(row, column, item);
}

QModelIndex QueueModel::parent(const QModelIndex &child) const
{
    const auto *item = static_cast<const QueueItem *>(child.internalPointer());
    if (!child.isValid() || !item)
        return {};
    return createIndex(rowOf(item), 0);
}

int QueueModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return itemCount();
    if (parent.internalPointer() || parent.column() != 0)
        return 0;
    const QueueItem *item = itemAt(parent.row());
    return item ? queueDetailLineCount(item->verb()) : 0;
}

int QueueModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

bool QueueModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant QueueModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return {};
    const int column = index.column();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue((rightAligned(column) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    if (const auto *owner = static_cast<const QueueItem *>(index.internalPointer()))
        return detailData(*owner, index.row(), column, role);
    const QueueItem *item = itemAt(index.row());
    return item ? topLevelData(*item, column, role) : QVariant();
}

QString QueueModel::sizeText(const QueueItem &item) const
{
    const std::int64_t size = item.entrySize();
    if (size < 0)
        return {};
    return read(m_setup, Keys::filesizeInBytes) ? QString::number(size) : formatKilobytes(size);
}

QVariant QueueModel::topLevelData(const QueueItem &item, int column, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case Action:
            return item.actionText;
        case Size:
            return sizeText(item);
        case Status:
            return item.statusText;
        case TimeLeft:
            return item.timeLeftText;
        default:
            return QString();
        }
    case SortValueRole:
        if (column == Size)
            return QVariant::fromValue<qint64>(item.entrySize());
        if (column == Progress)
            return progressPercent(item);
        return topLevelData(item, column, Qt::DisplayRole);
    case Qt::DecorationRole:
        if (column == Action && m_icons && item.iconIndex >= 0)
            return m_icons->iconAt(item.iconIndex);
        return {};
    case StateImageRole:
        if (column == Action && m_icons)
            return m_icons->stateImage(item.kind);
        return {};
    case KindRole:
        return item.kind;
    case IconIndexRole:
        return item.iconIndex;
    case ProgressRole:
        return column == Progress ? progressPercent(item) : -1;
    case IsDetailRole:
        return false;
    case ItemIdRole:
        return QVariant::fromValue<qulonglong>(item.id());
    default:
        return {};
    }
}

QVariant QueueModel::detailData(const QueueItem &item, int line, int column, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
    case SortValueRole: {
        if (column != Action)
            return QString();
        ParsedQueueCommand parsed;
        parsed.verb = item.verb();
        parsed.fields = splitCommand(item.command());
        return queueDetailLine(parsed, line);
    }
    case StateImageRole:
        if (column == Action && m_icons)
            return m_icons->stateImage(kDetailLineKind);
        return {};
    case KindRole:
        return kDetailLineKind;
    case IconIndexRole:
        return -1;
    case ProgressRole:
        return -1;
    case IsDetailRole:
        return true;
    case ItemIdRole:
        return QVariant::fromValue<qulonglong>(item.id());
    default:
        return {};
    }
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(kHeaders[section]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue((rightAligned(section) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags QueueModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    if (index.internalPointer())
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

QStringList QueueModel::mimeTypes() const
{
    return {QString::fromLatin1(kRowsMimeType)};
}

QMimeData *QueueModel::mimeData(const QModelIndexList &indexes) const
{
    // The process, then the id of every dragged item once: the list can tell a drag of
    // its own rows from anything else. The rows move while the mouse moves, so the drop
    // itself carries nothing to do.
    QStringList fields = {QString::number(QCoreApplication::applicationPid())};
    std::vector<std::uint64_t> seen;
    for (const QModelIndex &i : indexes) {
        const QueueItem *item = i.internalPointer() ? nullptr : itemAt(i.row());
        if (item && std::find(seen.begin(), seen.end(), item->id()) == seen.end()) {
            seen.push_back(item->id());
            fields << QString::number(item->id());
        }
    }
    auto *mime = new QMimeData;
    mime->setData(QString::fromLatin1(kRowsMimeType), fields.join(u' ').toUtf8());
    return mime;
}

Qt::DropActions QueueModel::supportedDragActions() const
{
    // Copy: a "move" drop would make the view try to remove the dragged rows.
    return Qt::CopyAction;
}

Qt::DropActions QueueModel::supportedDropActions() const
{
    return Qt::CopyAction;
}

void QueueModel::setTransferActionForAll(TransferAction action)
{
    for (const ItemPtr &item : m_items)
        item->transferAction = action;
}
