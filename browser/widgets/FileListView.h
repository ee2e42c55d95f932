#pragma once

#include "browser/FileListModel.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTreeView>

#include <vector>

class HeaderStyles;
class QMenu;

// The view of one file list (lLv or rlv): the standard columns, the sortable header with
// its menu (column visibility and header style), drag and drop between the two lists only,
// incremental search by name and bold names for marked folders.
//
// A left click on a header sorts by that column: ascending, or descending when it already
// sorts ascending by it. Other buttons do not sort.
class FileListView : public QTreeView {
    Q_OBJECT
public:
    explicit FileListView(FileListModel *model, QWidget *parent = nullptr);

    FileListModel *fileModel() const { return m_model; }
    // The other file list: rows dragged from it may be dropped here.
    void setPartner(FileListView *other) { m_partner = other; }
    // The group of headers that share a style; this list's header joins it. Until then the
    // list has a group of its own.
    void setHeaderStyles(HeaderStyles *group);
    int headerStyle() const;

    // Sorts again by the header's sort column and direction and shades that column when
    // "shadeFilenameColumn" holds, as a header click would.
    void resort();
    // Selects the rows of these entries, scrolls the first into the middle of the view and
    // makes it the current row.
    void selectEntries(const std::vector<int> &entries);

    // Column order, widths, visibility, sort column and direction, and header style.
    QByteArray saveLayout() const;
    // False (and the layout left as it is) for bytes that are not a layout of this list.
    bool restoreLayout(const QByteArray &bytes);

    // The header menu (HeaderStyles::fillMenu) of this list.
    void fillHeaderMenu(QMenu *menu);

    // The row a drag from the other list is over, -1 when none.
    int dropTargetRow() const { return m_dropRow; }
    // Whether the drop target row shows the drop highlight: folders do, files do not (a
    // selected file row keeps its selection colours).
    bool dropHighlights(int row) const;

    // Typing while the list has the focus: finds the next row, from the last hit on, whose
    // name begins with the typed text in any letter case.
    void keyboardSearch(const QString &search) override;

signals:
    // Rows of `source` were dropped here, on the entry targetEntry (-1: empty space).
    void entriesDropped(FileListView *source, const std::vector<int> &entries, int targetEntry);
    // Local files or folders from the desktop were dropped here (the remote list only).
    void localFilesDropped(const QStringList &paths, int targetEntry);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    void onSortIndicatorChanged(int column, Qt::SortOrder order);
    // The entry indices a drag carries, when it comes from the other list of this program.
    bool draggedFromPartner(const QMimeData *mime, std::vector<int> *entries = nullptr) const;
    // The local paths of a drag from outside this program, onto the remote list.
    bool draggedFromDesktop(const QMimeData *mime, QStringList *paths = nullptr) const;
    bool acceptsDrag(const QMimeData *mime) const;
    void setDropRow(int row);

    FileListModel *m_model;
    QPointer<FileListView> m_partner;
    QPointer<HeaderStyles> m_styles;
    int m_dropRow = -1;
    QString m_searchText;
    QElapsedTimer m_lastSearchKey;
};
