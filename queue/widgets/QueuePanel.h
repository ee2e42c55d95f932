#pragma once

#include <QWidget>

class CaptionBar;
class QProgressBar;
class QToolButton;
class QTreeView;

// The queue's side of the bottom panel: the caption bar qshap with the buttons pauseBtn
// and clearBtn, the queue list qLv and the progress bar prog under it.
class QueuePanel : public QWidget {
    Q_OBJECT
public:
    explicit QueuePanel(QWidget *parent = nullptr);

    QTreeView *list() const { return m_qLv; }
    CaptionBar *caption() const { return m_qshap; }
    QToolButton *pauseButton() const { return m_pauseBtn; }
    QToolButton *clearButton() const { return m_clearBtn; }
    QProgressBar *progressBar() const { return m_prog; }

private:
    QToolButton *addCaptionButton(const QString &name, const QString &caption, const QString &hint);

    CaptionBar *m_qshap;
    QToolButton *m_pauseBtn;
    QToolButton *m_clearBtn;
    QTreeView *m_qLv;
    QProgressBar *m_prog;
};
