#pragma once

#include <QWidget>

#include <memory>

class CaptionBar;
class QMenu;
class QProgressBar;
class QToolButton;
class QueueIcons;
class QueueModel;
class QueueView;
class SavedQueues;

// The queue's side of the bottom panel: the caption bar qshap with the buttons pauseBtn
// and clearBtn, the queue list qLv over the controller's queue model and the progress bar
// prog under it. The pause button starts and stops the queue; "clear" selects every item
// and deletes them. "clear", the menu's Delete and the Delete key all ask the list's
// deleteRequested, which deletes the selection unless the window asks first.
class QueuePanel : public QWidget {
    Q_OBJECT
public:
    // The model must outlive the panel.
    explicit QueuePanel(QueueModel &model, QWidget *parent = nullptr);
    ~QueuePanel() override;

    QueueView *list() const { return m_qLv; }
    CaptionBar *caption() const { return m_qshap; }
    QToolButton *pauseButton() const { return m_pauseBtn; }
    QToolButton *clearButton() const { return m_clearBtn; }
    QProgressBar *progressBar() const { return m_prog; }
    // The queue list's own menu: Select All, Delete, Move, When empty, Insert stop mark.
    QMenu *menu() const { return m_menu; }

    // Adds "Queue mgr." (Save queue, Load queue, Delete queue) to the menu, working on
    // `queues`, which must outlive the panel.
    void attachSavedQueues(SavedQueues &queues);
    // Fills "Load queue" and "Delete queue" with the saved queues found now; runs each time
    // one of them opens.
    void refreshSavedQueueMenus();
    QMenu *queueManagerMenu() const { return m_queueMgr; }
    QMenu *loadQueueMenu() const { return m_loadQueue; }
    QMenu *deleteQueueMenu() const { return m_deleteQueue; }

signals:
    // The pause button was pressed.
    void pauseClicked();

private:
    QToolButton *addCaptionButton(const QString &name, const QString &caption, const QString &hint);
    void showPaused(bool paused);
    void buildMenu();

    std::unique_ptr<QueueIcons> m_icons;
    QueueModel &m_model;
    CaptionBar *m_qshap;
    QToolButton *m_pauseBtn;
    QToolButton *m_clearBtn;
    QueueView *m_qLv;
    QProgressBar *m_prog;
    QMenu *m_menu = nullptr;
    SavedQueues *m_savedQueues = nullptr;
    QMenu *m_queueMgr = nullptr;
    QMenu *m_loadQueue = nullptr;
    QMenu *m_deleteQueue = nullptr;
};
