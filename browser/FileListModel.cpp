#include "browser/FileListModel.h"

#include "base/Guard.h"
#include "browser/FileIconSource.h"
#include "browser/LocalFiles.h"
#include "settings/SettingsCatalogue.h"
#include "status/ReadableColor.h"

#include <QColor>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QMimeData>
#include <QPalette>
#include <QUrl>

#include <algorithm>

namespace {

const char *const kHeaders[] = {"Name", "Size", "Type", "Date", "Attr"};
const QColor kShade(247, 247, 247);

// The shaded column: light grey on a light palette, a little lighter than the base on a
// dark one, so its text stays readable.
QColor shadeColor()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return kShade;
    const QColor base = QGuiApplication::palette().color(QPalette::Base);
    return ReadableColor::isDark(base) ? ReadableColor::shade(base, 0.06) : kShade;
}

} // namespace

QString sizeText(std::int64_t size, bool inBytes)
{
    if (size < 0)
        return {};
    return inBytes ? formatBytes(size) + u'b' : formatKilobytes(size);
}

QString dateText(std::int32_t packed, const QString &dateFormat, const QString &timeFormat)
{
    const QDateTime when = unpackFileTime(packed);
    if (!when.isValid())
        return QStringLiteral("Invalid Date");
    const QLocale locale;
    return locale.toString(when.date(), dateFormat) + u' ' + locale.toString(when.time(), timeFormat);
}

FileListModel::FileListModel(Side side, BrowserState &state, const tSetupClass &setup, QObject *parent)
    : QAbstractItemModel(parent), m_side(side), m_state(state), m_setup(setup)
{
    const QLocale locale;
    m_dateFormat = locale.dateFormat(QLocale::ShortFormat);
    m_timeFormat = locale.timeFormat(QLocale::ShortFormat);
}

FileListModel::~FileListModel() = default;

int FileListModel::entryCount() const
{
    if (m_side == Side::Local)
        return static_cast<int>(m_state.lEntries.size());
    return static_cast<int>(m_state.remoteEntries().size());
}

const tFolderEntryObject *FileListModel::entryAt(int index) const
{
    if (index < 0)
        return nullptr;
    if (m_side == Side::Local) {
        const auto &list = m_state.lEntries;
        return static_cast<std::size_t>(index) < list.size() ? &list[index].entry : nullptr;
    }
    const auto &list = m_state.remoteEntries();
    return static_cast<std::size_t>(index) < list.size() ? &list[index].entry : nullptr;
}

std::vector<int> FileListModel::rebuild(const PreparedFilter &filter, const QString &folder,
                                        const QString &folderJustLeft)
{
    // The folder just left, when it lies directly in `folder`: its bare name.
    QString leftName;
    if (folderJustLeft.size() > folder.size() + 1 && folderJustLeft.startsWith(folder) && folderJustLeft.endsWith(u'/'))
        leftName = folderJustLeft.mid(folder.size(), folderJustLeft.size() - folder.size() - 1);

    beginResetModel();
    m_rows.clear();
    m_sorter.invalidate();
    tListCounters counters;
    std::vector<int> select;
    const int count = entryCount();
    m_rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        // One entry that cannot be added is reported and left out; the rest still show.
        guarded("lvaddrw", [&] {
            const tFolderEntryObject &e = *entryAt(i);
            if (!filter.accepts(e))
                return;
            m_rows.push_back(i);
            if (!leftName.isEmpty() && e.name == leftName)
                select.push_back(i);
            if (e.isFolder) {
                ++counters.folders;
            } else {
                ++counters.files;
                counters.fileBytes += e.size;
            }
        });
    }
    (m_side == Side::Local ? m_state.localCounters : m_state.remoteCounters) = counters;
    endResetModel();
    return select;
}

void FileListModel::clearRows()
{
    beginResetModel();
    m_rows.clear();
    m_sorter.invalidate();
    (m_side == Side::Local ? m_state.localCounters : m_state.remoteCounters) = {};
    endResetModel();
}

void FileListModel::sortRows(int column, Qt::SortOrder order, bool shade)
{
    if (column < 0 || column >= columnCount())
        column = Name;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> entriesBefore;
    entriesBefore.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex &i : before)
        entriesBefore.push_back(m_rows[i.row()]);

    guarded("lvsort", [&] { m_sorter.sort(m_rows, *this, column, order, m_types); });
    m_sortColumn = column;
    m_sortOrder = order;
    m_shadedColumn = shade ? column : -1;

    if (!before.isEmpty()) {
        // Entry index -> new row; every row holds a different entry.
        const int largest = *std::max_element(m_rows.begin(), m_rows.end());
        std::vector<int> rowOf(static_cast<std::size_t>(largest) + 1, -1);
        for (std::size_t r = 0; r < m_rows.size(); ++r)
            rowOf[m_rows[r]] = static_cast<int>(r);
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype k = 0; k < before.size(); ++k)
            after.append(index(rowOf[entriesBefore[k]], before[k].column()));
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FileListModel::sort(int column, Qt::SortOrder order)
{
    sortRows(column, order, read(m_setup, Keys::shadeFilenameColumn));
}

int FileListModel::entryIndex(int row) const
{
    return row >= 0 && static_cast<std::size_t>(row) < m_rows.size() ? m_rows[row] : -1;
}

int FileListModel::rowOfEntry(int entryIndex) const
{
    const auto it = std::find(m_rows.begin(), m_rows.end(), entryIndex);
    return it == m_rows.end() ? -1 : static_cast<int>(it - m_rows.begin());
}

const tFolderEntryObject *FileListModel::entryOfRow(int row) const
{
    return entryAt(entryIndex(row));
}

QModelIndex FileListModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || column < 0 || row >= rowCount() || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex FileListModel::parent(const QModelIndex &) const
{
    return {};
}

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int FileListModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return m_side == Side::Local ? 4 : 5;
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int entry = m_rows[index.row()];
    if (role == EntryIndexRole)
        return entry;
    const int column = index.column();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue((column == Size || column == Attr ? Qt::AlignRight : Qt::AlignLeft) |
                                   Qt::AlignVCenter);
    if (role == Qt::BackgroundRole)
        return column == m_shadedColumn ? QVariant(shadeColor()) : QVariant();
    // The entry list may be shorter than the rows for a moment: such cells stay empty.
    const tFolderEntryObject *e = entryAt(entry);
    if (!e)
        return {};
    QVariant result;
    guarded("lvcell", [&] {
        switch (role) {
        case Qt::DisplayRole:
            result = cellText(*e, column);
            break;
        case SortValueRole:
            result = sortValue(*e, column);
            break;
        case IsFolderRole:
            result = e->isFolder;
            break;
        case Qt::DecorationRole:
            if (column == Name)
                result = icon(entry, *e);
            break;
        case MarkedFolderRole:
            result = column == Name && isMarkedFolder(*e);
            break;
        default:
            break;
        }
    });
    return result;
}

QString FileListModel::cellText(const tFolderEntryObject &e, int column) const
{
    switch (column) {
    case Name:
        return e.name;
    case Size:
        return sizeText(e.size, read(m_setup, Keys::filesizeInBytes));
    case Type:
        return m_types.typeText(e);
    case Date:
        return dateText(e.time, m_dateFormat, m_timeFormat);
    case Attr:
        return e.attr < 0 ? QStringLiteral("n/a") : QString::number(e.attr);
    default:
        return {};
    }
}

QVariant FileListModel::sortValue(const tFolderEntryObject &e, int column) const
{
    switch (column) {
    case Name:
        return e.name;
    case Size:
        return QVariant::fromValue<qint64>(e.size);
    case Type:
        return m_types.typeText(e);
    case Date:
        return QVariant::fromValue<qint64>(static_cast<std::uint32_t>(e.time));
    case Attr:
        return e.attr;
    default:
        return {};
    }
}

QVariant FileListModel::icon(int entryIndex, const tFolderEntryObject &e) const
{
    if (!m_icons || read(m_setup, Keys::hideFileIcons))
        return {};
    QIcon result = e.isFolder ? m_icons->folderIcon() : m_icons->fileIcon(e.name);
    if (m_side == Side::Remote && m_state.remoteEntries()[entryIndex].entry.isLink &&
        read(m_setup, Keys::displayshortcuticon))
        result = m_icons->withLinkOverlay(result);
    return result;
}

bool FileListModel::isMarkedFolder(const tFolderEntryObject &e) const
{
    if (m_side != Side::Remote || !e.isFolder || m_state.rFolder.isEmpty() || !read(m_setup, Keys::markCachedFolders))
        return false;
    const tFolderObject *cached = m_state.findCachedFolder(m_state.rFolder + e.name + u'/');
    return cached && !cached->needsRefresh;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(kHeaders[section]);
    // A click on a column that is not the sort column sorts ascending.
    if (role == Qt::InitialSortOrderRole)
        return QVariant::fromValue(Qt::AscendingOrder);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue((section == Size || section == Attr ? Qt::AlignRight : Qt::AlignLeft) |
                                   Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList FileListModel::mimeTypes() const
{
    return {QString::fromLatin1(kEntriesMimeType), QStringLiteral("text/uri-list")};
}

QMimeData *FileListModel::mimeData(const QModelIndexList &indexes) const
{
    // The process, "local" or "remote", then the entry index of every dragged row once: a
    // drop can tell rows of this program's other list from anything else.
    QStringList fields = {QString::number(QCoreApplication::applicationPid()),
                          m_side == Side::Local ? QStringLiteral("local") : QStringLiteral("remote")};
    std::vector<int> seen;
    for (const QModelIndex &i : indexes) {
        const int entry = entryIndex(i.row());
        if (entry >= 0 && std::find(seen.begin(), seen.end(), entry) == seen.end()) {
            seen.push_back(entry);
            fields << QString::number(entry);
        }
    }
    QMimeData *mime = m_dragData ? m_dragData(seen) : nullptr;
    if (!mime)
        mime = new QMimeData;
    mime->setData(QString::fromLatin1(kEntriesMimeType), fields.join(u' ').toUtf8());
    // Local rows also travel as file URLs, so the desktop's file manager can take them.
    if (m_side == Side::Local && !m_state.lFolder.isEmpty()) {
        QList<QUrl> urls;
        for (const int entry : seen)
            urls << QUrl::fromLocalFile(m_state.lFolder + m_state.lEntries[static_cast<size_t>(entry)].entry.name);
        mime->setUrls(urls);
    }
    return mime;
}

Qt::DropActions FileListModel::supportedDragActions() const
{
    return Qt::CopyAction;
}
