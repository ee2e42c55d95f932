#pragma once

#include "browser/BrowserState.h"
#include "browser/FileFilter.h"
#include "browser/FileListSorter.h"
#include "browser/FileTypeNames.h"

#include <QAbstractItemModel>

#include <functional>

#include <vector>

class FileIconSource;
class tSetupClass;

// One file list (the local list lLv or the remote list rlv) as a model over the entry list
// of its side. A row holds only the index of its entry in lEntries or rEntries; entries the
// filter hides have no row. The rows and the entry list are rebuilt together, but the
// remote entries are replaced a moment before the list is rebuilt: a row whose index is
// not valid in the entry list at that moment shows empty cells.
//
// Display texts and raw sort values are separate roles. Nothing is formatted until a cell is
// painted, so a 100,000-entry folder costs its sort and nothing else.
//
// User-interface thread only.
class FileListModel : public QAbstractItemModel, private EntrySource {
    Q_OBJECT
public:
    enum class Side { Local, Remote };
    enum Column { Name, Size, Type, Date, Attr };
    enum Role {
        SortValueRole = Qt::UserRole + 1, // raw value of the cell: name, bytes, type text, packed date, code
        EntryIndexRole,                   // the row's index into the entry list
        IsFolderRole,
        MarkedFolderRole, // the name is drawn bold: a remote folder cached and fresh
    };
    static constexpr const char *kEntriesMimeType = "application/x-kestrin-entries";

    // state and setup must outlive the model; settings are read at each use.
    FileListModel(Side side, BrowserState &state, const tSetupClass &setup, QObject *parent = nullptr);
    ~FileListModel() override;

    Side side() const { return m_side; }
    // Makes the drag data of dragged rows (their entry indices, in list order); the model
    // adds its own entry payload. Without one the model makes plain drag data.
    using DragDataFactory = std::function<QMimeData *(const std::vector<int> &entries)>;
    void setDragDataFactory(DragDataFactory factory) { m_dragData = std::move(factory); }
    void setIconSource(FileIconSource *icons) { m_icons = icons; }
    FileTypeNames &typeNames() { return m_types; }

    // Rebuilds the rows from the side's entry list (in list order, unsorted), keeping the
    // entries the filter accepts, and sets the side's counters. Returns the entry indices of
    // the folder the list showed before, when that folder lies directly in `folder`:
    // `folderJustLeft` equals folder + name + "/".
    std::vector<int> rebuild(const PreparedFilter &filter, const QString &folder, const QString &folderJustLeft);
    // Empties the list (and its counters) without touching the entries.
    void clearRows();

    // Sorts the rows; the shaded column (background 247,247,247) becomes `column` when
    // `shade` is set, none otherwise. Selections and the current row follow their entries.
    void sortRows(int column, Qt::SortOrder order, bool shade);
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    int shadedColumn() const { return m_shadedColumn; }

    int entryIndex(int row) const;
    // -1 when no row holds the entry.
    int rowOfEntry(int entryIndex) const;
    // The row's entry, or null when the row's index is not valid in the entry list now.
    const tFolderEntryObject *entryOfRow(int row) const;
    const std::vector<int> &rows() const { return m_rows; }

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    void sort(int column, Qt::SortOrder order) override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    // EntrySource
    int entryCount() const override;
    const tFolderEntryObject *entryAt(int index) const override;

    QString cellText(const tFolderEntryObject &e, int column) const;
    QVariant sortValue(const tFolderEntryObject &e, int column) const;
    QVariant icon(int entryIndex, const tFolderEntryObject &e) const;
    bool isMarkedFolder(const tFolderEntryObject &e) const;

    Side m_side;
    BrowserState &m_state;
    const tSetupClass &m_setup;
    FileIconSource *m_icons = nullptr;
    DragDataFactory m_dragData;
    mutable FileTypeNames m_types;
    FileListSorter m_sorter;
    std::vector<int> m_rows;
    int m_sortColumn = Name;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    int m_shadedColumn = -1;
    QString m_dateFormat, m_timeFormat;
};

// The Size column's text: empty for a negative size, else kilobytes ("1KB" for 1023 bytes),
// or with `inBytes` the byte count followed by "b".
QString sizeText(std::int64_t size, bool inBytes);
// The Date column's text in the user's short formats, "Invalid Date" when the packed value
// does not decode to a date.
QString dateText(std::int32_t packed, const QString &dateFormat, const QString &timeFormat);
