#pragma once

#include "app/UserInterface.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTreeWidget;

// The Synchronize window: direction, rule and deletions, and a preview of the plan grouped
// by action with counts and bytes. The preview is made again whenever an option changes or
// a remote listing arrives; Start is offered only while the plan has something to do.
class SynchronizeDialog : public QDialog {
    Q_OBJECT
public:
    SynchronizeDialog(SyncQuestion &question, QWidget *parent = nullptr);

    // The options shown; the plan the preview shows.
    SyncOptions options() const;
    const SyncPlan &shownPlan() const { return m_plan; }

    QTreeWidget *preview() const { return m_preview; }
    QPushButton *startButton() const { return m_start; }
    QPushButton *listButton() const { return m_list; }

public slots:
    void replan();

private:
    void showPlan();

    SyncQuestion &m_question;
    SyncPlan m_plan;
    QRadioButton *m_upload = nullptr;
    QRadioButton *m_download = nullptr;
    QComboBox *m_rule = nullptr;
    QSpinBox *m_tolerance = nullptr;
    QSpinBox *m_offset = nullptr;
    QCheckBox *m_delete = nullptr;
    QTreeWidget *m_preview = nullptr;
    QLabel *m_unlisted = nullptr;
    QPushButton *m_list = nullptr;
    QPushButton *m_start = nullptr;
};
