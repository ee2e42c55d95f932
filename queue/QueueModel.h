#pragma once

#include "queue/QueueItem.h"

#include <QAbstractItemModel>

#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

class QueueIconSource;
class tSetupClass;

// The transfer queue: the ordered list of queue items, shown by the queue list qLv. Each
// item is a top-level row; "getfile" and "putfile" items have two detail rows under them
// (display only: never executed, moved, counted or removed on their own).
//
// Every per-item operation costs O(1) away from the middle of the queue: adding at either
// end, removing the first or last item, finding an item's row, the counters. Removing or
// moving in the middle costs the distance to the nearer end. Display texts are made when a
// cell is painted, so 100,000 queued items cost their records and nothing else.
//
// User-interface thread only. itemRemoved handlers may add and remove items.
class QueueModel : public QAbstractItemModel {
    Q_OBJECT
    Q_PROPERTY(bool paused READ isPaused WRITE setPaused NOTIFY pausedChanged)
public:
    enum Column { Action, Size, Status, Progress, TimeLeft, ColumnCount };
    enum Role {
        SortValueRole = Qt::UserRole + 1, // raw value: text, or the entry's bytes for Size
        KindRole,                         // kind code; kDetailLineKind for a detail row
        IconIndexRole,                    // platform icon index, -1 for none
        StateImageRole,                   // QIcon: the program's image of the kind
        ProgressRole,                     // percent 0..100 of the bar in Progress, -1: no bar
        IsDetailRole,
        ItemIdRole, // QueueItem::id of the row's item (a detail row: its item's)
    };
    // "When empty": what removing the last item does while not fully disconnected.
    enum class WhenEmpty { DoNothing = 0, Disconnect = 1, CloseApplication = 2 };
    enum class Move { Up, Down, ToTop, ToBottom };

    static constexpr const char *kRowsMimeType = "application/x-kestrin-queue-rows";
    static int defaultColumnWidth(int column);

    struct Counters {
        int downloads = 0;
        std::int64_t downloadBytes = 0;
        int uploads = 0;
        std::int64_t uploadBytes = 0;
    };

    struct AddResult {
        // The new item; null when the command was refused.
        QueueItem *item = nullptr;
        // To be shown to the user when not empty: why the command was refused, or that
        // its verb is unknown (such an item is queued all the same).
        QString message;
    };

    // setup must outlive the model; settings are read at each use.
    explicit QueueModel(const tSetupClass &setup, QObject *parent = nullptr);
    ~QueueModel() override;

    void setIconSource(QueueIconSource *icons) { m_icons = icons; }
    QueueIconSource *iconSource() const { return m_icons; }

    // Creates one item from a command text and a copy of `entry` (null for none), as the
    // first row (before running items too) or as the last. A refused command queues
    // nothing. The "list" shortcut that serves a cached folder without queueing belongs to
    // the caller: parseQueueCommand tells it the verb, the folder and the flags.
    AddResult addToQueue(const QString &command, const tFolderEntryObject *entry = nullptr, bool atFront = false);
    // The same for a command the caller has parsed already (parseQueueCommand), so a
    // command is split and judged once.
    AddResult addParsed(const QString &command, const ParsedQueueCommand &parsed, const tFolderEntryObject *entry,
                        bool atFront);
    // The stop mark "stopqueue" at the front.
    QueueItem *insertStopMark();

    int itemCount() const { return static_cast<int>(m_items.size()); }
    bool isEmpty() const { return m_items.empty(); }
    QueueItem *itemAt(int row) const;
    // -1 for null.
    int rowOf(const QueueItem *item) const;
    // Null when no item of the queue has this id (any more).
    QueueItem *itemById(std::uint64_t id) const;
    // The item of a top-level row or the item a detail row belongs to.
    QueueItem *itemOf(const QModelIndex &index) const;
    QModelIndex indexOf(const QueueItem *item, int column = 0) const;
    // The first item that is not running, looking past running ones: the pump's candidate.
    QueueItem *firstWaiting() const;

    const Counters &counters() const { return m_counters; }

    // Removal: every item leaving the queue is announced by itemRemoved after its rows are
    // gone (it is deleted when the handlers return), then queueEmptied once if the queue
    // became empty.
    void removeItem(QueueItem *item);
    // Top-level rows in any order; duplicates and rows out of range are ignored.
    void removeItemRows(std::vector<int> rows);
    void removeAll();

    // Moves the top-level rows (any order; duplicates ignored) like the queue menu:
    // Up and Down move every selected item one row, or nothing when the first (last)
    // selected row is already the first (last) row; To Top and To Bottom repeat them until
    // they do nothing. Returns the rows the items are in afterwards, ascending.
    std::vector<int> moveItemRows(std::vector<int> rows, Move how);
    // `steps` single steps Down (positive) or Up (negative), stopping when a step would do
    // nothing: what a drag over the list does.
    std::vector<int> shiftItemRows(std::vector<int> rows, int steps);

    bool isPaused() const { return m_paused; }
    // Becoming running clears stopRequested on every item.
    void setPaused(bool paused);
    WhenEmpty whenXferDone() const { return m_whenXferDone; }
    void setWhenXferDone(WhenEmpty choice);
    // Every item's transferAction (the prompt's "apply to all", Stop's reset to ask).
    void setTransferActionForAll(TransferAction action);

    // Running items: marked running, status "In Progress"; itemStarted lets the list
    // expand the row. release makes the item wait again and writes its status ("Error",
    // "Stopped", "Queued") and empties the time left.
    void startItem(QueueItem *item);
    void releaseItem(QueueItem *item, const QString &status);

    void setStatusText(QueueItem *item, const QString &text);
    void setTimeLeftText(QueueItem *item, const QString &text);
    void setProgressBytes(QueueItem *item, std::int64_t bytes);
    // Repaints the item's row after its fields were written directly.
    void itemChanged(QueueItem *item);

    // The bar of the Progress cell in percent, -1 when none shows: only for a running
    // download, upload, open or edit that is not being stopped, whose status already
    // shows a rate (not "In Progress") and whose entry has a size above 0.
    static int progressPercent(const QueueItem &item);

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;

signals:
    void itemRemoved(QueueItem *item);
    void queueEmptied();
    void itemStarted(const QModelIndex &index);
    void pausedChanged(bool paused);
    void whenXferDoneChanged(QueueModel::WhenEmpty choice);

private:
    using ItemPtr = std::unique_ptr<QueueItem>;

    QVariant topLevelData(const QueueItem &item, int column, int role) const;
    QVariant detailData(const QueueItem &item, int line, int column, int role) const;
    QString sizeText(const QueueItem &item) const;
    void fill(QueueItem &item, const ParsedQueueCommand &parsed, const tFolderEntryObject *entry) const;
    void count(const QueueItem &item, int sign);
    // Takes rows [first, last] out of the queue into `out`, keeping positions consistent.
    void detachRange(int first, int last, std::vector<ItemPtr> &out);
    void announceRemoved(std::vector<ItemPtr> removed);
    // Puts the items of rows [lo, hi] in the order `order` (old rows), remapping
    // persistent indexes.
    void reorder(int lo, const std::vector<int> &order);
    static std::vector<int> normalizedRows(std::vector<int> rows, int count);

    const tSetupClass &m_setup;
    QueueIconSource *m_icons = nullptr;
    std::deque<ItemPtr> m_items;
    std::int64_t m_front = 0; // position of row 0
    std::unordered_map<std::uint64_t, QueueItem *> m_byId;
    std::uint64_t m_lastId = 0;
    Counters m_counters;
    bool m_paused = false;
    WhenEmpty m_whenXferDone = WhenEmpty::DoNothing;
};
