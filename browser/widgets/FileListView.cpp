#include "browser/widgets/FileListView.h"

#include "base/Guard.h"
#include "browser/widgets/HeaderStyles.h"

#include <QApplication>
#include <QDataStream>
#include <QDragMoveEvent>
#include <QHeaderView>
#include <QIODevice>
#include <QMenu>
#include <QMimeData>
#include <QStyledItemDelegate>
#include <QUrl>

#include <span>

namespace {

constexpr quint32 kLayoutMagic = 0x4B4C5631; // "KLV1"
constexpr int kLocalWidths[] = {125, 50, 75, 100};
constexpr int kRemoteWidths[] = {125, 50, 50, 75, 50};

// Draws a marked folder's name in the bold version of the list's own font.
class FileListDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(FileListModel::MarkedFolderRole).toBool())
            option->font.setBold(true);
    }
};

} // namespace

FileListView::FileListView(FileListModel *model, QWidget *parent) : QTreeView(parent), m_model(model)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setItemDelegate(new FileListDelegate(this));
    setDragDropMode(QAbstractItemView::DragDrop);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setModel(model);

    QHeaderView *h = header();
    h->setSectionsMovable(true);
    h->setSectionsClickable(true);
    h->setSortIndicatorShown(true);
    h->setStretchLastSection(false);
    h->setFixedHeight(20);
    h->setSortIndicator(FileListModel::Name, Qt::AscendingOrder);
    const bool local = model->side() == FileListModel::Side::Local;
    const std::span<const int> widths =
        local ? std::span<const int>(kLocalWidths) : std::span<const int>(kRemoteWidths);
    for (std::size_t column = 0; column < widths.size(); ++column)
        h->resizeSection(static_cast<int>(column), widths[column]);
    connect(h, &QHeaderView::sortIndicatorChanged, this, &FileListView::onSortIndicatorChanged);
    h->setContextMenuPolicy(Qt::CustomContextMenu);
    // The menu goes to whichever group the list belongs to at the time of the click.
    connect(h, &QHeaderView::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (m_styles)
            m_styles->showMenu(header(), pos);
    });
    setHeaderStyles(new HeaderStyles(this));
}

void FileListView::setHeaderStyles(HeaderStyles *group)
{
    m_styles = group;
    group->addHeader(header());
}

int FileListView::headerStyle() const
{
    return m_styles ? m_styles->style() : HeaderStyles::XP;
}

void FileListView::onSortIndicatorChanged(int column, Qt::SortOrder order)
{
    // The model reads "shadeFilenameColumn" now, as each click does.
    guarded("lvhdrcl", [&] { m_model->sort(column, order); });
}

void FileListView::resort()
{
    m_model->sort(header()->sortIndicatorSection(), header()->sortIndicatorOrder());
}

void FileListView::selectEntries(const std::vector<int> &entries)
{
    QItemSelection selection;
    QModelIndex first;
    for (const int entry : entries) {
        const int row = m_model->rowOfEntry(entry);
        if (row < 0)
            continue;
        const QModelIndex index = m_model->index(row, 0);
        selection.select(index, m_model->index(row, m_model->columnCount() - 1));
        if (!first.isValid() || row < first.row())
            first = index;
    }
    if (!first.isValid())
        return;
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    scrollTo(first, QAbstractItemView::PositionAtCenter);
}

QByteArray FileListView::saveLayout() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << kLayoutMagic << static_cast<qint32>(headerStyle()) << static_cast<qint32>(m_model->columnCount())
        << header()->saveState();
    return bytes;
}

bool FileListView::restoreLayout(const QByteArray &bytes)
{
    QDataStream in(bytes);
    quint32 magic = 0;
    qint32 style = HeaderStyles::XP;
    qint32 columns = 0;
    QByteArray state;
    in >> magic >> style >> columns >> state;
    // The header would take the layout of a list with other columns and show columns that
    // do not exist, so such a layout is refused.
    if (in.status() != QDataStream::Ok || magic != kLayoutMagic || style < HeaderStyles::Thick ||
        style > HeaderStyles::XP || columns != m_model->columnCount())
        return false;
    const QByteArray before = header()->saveState();
    if (!header()->restoreState(state))
        return false;
    if (header()->count() != m_model->columnCount()) {
        header()->restoreState(before);
        return false;
    }
    // The style is shared: it applies to every list of the group.
    if (m_styles)
        m_styles->setStyle(style);
    resort();
    return true;
}

void FileListView::fillHeaderMenu(QMenu *menu)
{
    m_styles->fillMenu(menu, header());
}

void FileListView::keyboardSearch(const QString &search)
{
    if (search.isEmpty() || m_model->rowCount() == 0)
        return;
    const bool continuing =
        m_lastSearchKey.isValid() && m_lastSearchKey.elapsed() < QApplication::keyboardInputInterval();
    m_lastSearchKey.start();
    m_searchText = continuing ? m_searchText + search : search;
    // A longer text may still match the last hit; a new search starts after it, so that
    // typing the same letter again moves on to the next name.
    const int rows = m_model->rowCount();
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    const int start = continuing ? std::max(current, 0) : (current + 1) % rows;
    for (int k = 0; k < rows; ++k) {
        const int row = (start + k) % rows;
        const tFolderEntryObject *e = m_model->entryOfRow(row);
        if (e && e->name.startsWith(m_searchText, Qt::CaseInsensitive)) {
            const QModelIndex index = m_model->index(row, 0);
            selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            scrollTo(index);
            return;
        }
    }
}

bool FileListView::draggedFromPartner(const QMimeData *mime, std::vector<int> *entries) const
{
    if (!m_partner || !mime)
        return false;
    const QByteArray payload = mime->data(QString::fromLatin1(FileListModel::kEntriesMimeType));
    const QList<QByteArray> fields = payload.split(' ');
    if (fields.size() < 2 || fields[0].toLongLong() != QCoreApplication::applicationPid())
        return false;
    const QByteArray partnerSide = m_partner->fileModel()->side() == FileListModel::Side::Local ? "local" : "remote";
    if (fields[1] != partnerSide || m_partner->fileModel()->side() == m_model->side())
        return false;
    if (entries) {
        for (qsizetype i = 2; i < fields.size(); ++i)
            entries->push_back(fields[i].toInt());
    }
    return true;
}

bool FileListView::draggedFromDesktop(const QMimeData *mime, QStringList *paths) const
{
    if (!mime || m_model->side() != FileListModel::Side::Remote || !mime->hasUrls() ||
        mime->hasFormat(QString::fromLatin1(FileListModel::kEntriesMimeType)))
        return false;
    QStringList local;
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile())
            local << url.toLocalFile();
    }
    if (paths)
        *paths = local;
    return !local.isEmpty();
}

bool FileListView::acceptsDrag(const QMimeData *mime) const
{
    return draggedFromPartner(mime) || draggedFromDesktop(mime);
}

void FileListView::setDropRow(int row)
{
    if (row == m_dropRow)
        return;
    m_dropRow = row;
    viewport()->update();
}

bool FileListView::dropHighlights(int row) const
{
    if (row < 0 || row != m_dropRow)
        return false;
    const tFolderEntryObject *e = m_model->entryOfRow(row);
    return e && e->isFolder;
}

void FileListView::dragEnterEvent(QDragEnterEvent *event)
{
    if (acceptsDrag(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void FileListView::dragMoveEvent(QDragMoveEvent *event)
{
    if (!acceptsDrag(event->mimeData())) {
        setDropRow(-1);
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    setDropRow(indexAt(pos).row());
    const QRect area = viewport()->rect();
    const int margin = autoScrollMargin();
    if (pos.y() - area.top() < margin || area.bottom() - pos.y() < margin)
        startAutoScroll();
    event->acceptProposedAction();
}

void FileListView::dragLeaveEvent(QDragLeaveEvent *event)
{
    setDropRow(-1);
    event->accept();
}

void FileListView::dropEvent(QDropEvent *event)
{
    std::vector<int> entries;
    QStringList paths;
    const int target = m_model->entryIndex(indexAt(event->position().toPoint()).row());
    if (draggedFromDesktop(event->mimeData(), &paths)) {
        setDropRow(-1);
        event->acceptProposedAction();
        emit localFilesDropped(paths, target);
        return;
    }
    if (!draggedFromPartner(event->mimeData(), &entries)) {
        event->ignore();
        return;
    }
    setDropRow(-1);
    event->acceptProposedAction();
    emit entriesDropped(m_partner, entries, target);
}

void FileListView::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // A folder under a drag shows the focused selection colours; a file row shows none.
    if (dropHighlights(index.row())) {
        QStyleOptionViewItem highlighted(option);
        highlighted.state |= QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_Active;
        QTreeView::drawRow(painter, highlighted, index);
        return;
    }
    QTreeView::drawRow(painter, option, index);
}
