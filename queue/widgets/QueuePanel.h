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

// The queue's side of the bottom panel: the caption bar qshap with the buttons pauseBtn
// and clearBtn, the queue list qLv over the controller's queue model and the progress bar
// prog under it. The pause button starts and stops the queue; "clear" selects every item
// and deletes them.
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
};
