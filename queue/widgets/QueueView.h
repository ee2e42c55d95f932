#pragma once

#include "browser/FileListModel.h"
#include "queue/QueueModel.h"

#include <QTreeView>

#include <vector>

// The queue list qLv: the queue's items with their detail rows, the five columns, the
// kind pictures and progress bars (QueueItemDelegate), and the background of the paused
// queue (the button face colour instead of the window colour).
//
// Dragging selected items within the list moves them while the mouse moves: at every
// drag-over where the row under the mouse and the current row are both items, the
// selection takes as many single steps down (or up) as the row under the mouse lies below
// (or above) the current row. The drop itself does nothing more. Rows dragged from the two
// file lists are forwarded by entriesDropped; the Delete key by deleteRequested.
class QueueView : public QTreeView {
    Q_OBJECT
public:
    explicit QueueView(QueueModel *model, QWidget *parent = nullptr);

    QueueModel *queueModel() const { return m_model; }

    // The selected item rows, ascending; selected detail rows do not count.
    std::vector<int> selectedItemRows() const;
    // Selects every item (not the detail rows).
    void selectAllItems();
    // The queue menu's Move on the selection; the selection follows the items.
    void moveSelection(QueueModel::Move how);
    // Removes the selected items (their detail rows with them).
    void deleteSelected();
    // The columns share the width: Action takes what the others leave and follows the
    // list's width; Size, Status and Time left are widened (never narrowed) to hold their
    // widest usual text in the list's font, so the rate and the time left stay readable.
    // Runs when the font changes; call it again after restoring a stored layout.
    void fitColumns();
    // The widest texts the figure columns are made to hold.
    static QString widestStatusSample() { return QStringLiteral("888,888.888KB @ 88,888.8KB/s"); }
    static QString widestTimeLeftSample() { return QStringLiteral("888m 88s"); }

signals:
    void deleteRequested();
    // Entries of a file list were dropped here: Send for the local list, Receive for the
    // remote one.
    void entriesDropped(FileListModel::Side source, const std::vector<int> &entries);

protected:
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    enum class DragKind { None, OwnRows, LocalEntries, RemoteEntries };
    DragKind dragKind(const QMimeData *mime, std::vector<int> *entries = nullptr) const;
    void followDrag(const QPoint &pos);
    void showPaused(bool paused);

    QueueModel *m_model;
};
