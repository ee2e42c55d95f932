#pragma once

#include "queue/OverwritePrompt.h"

#include <QDialog>
#include <QTimer>

class QCheckBox;
class QLabel;
class QPushButton;

// The overwrite prompt "Transfer Action Prompt": a transfer's target exists; the user picks
// Resume, Overwrite or Skip, optionally for every item of the queue. A one-second countdown
// presses the default button by itself while its check box is checked, so an unattended
// queue never stops for good. Closing the window any other way counts as Skip.
class TFormXFerAction : public QDialog {
    Q_OBJECT
public:
    explicit TFormXFerAction(const OverwriteQuestion &question, QWidget *parent = nullptr);

    OverwriteAnswer answer() const { return m_answer; }
    int countdown() const { return m_countdown; }
    QPushButton *resumeButton() const { return m_resume; }
    QPushButton *overwriteButton() const { return m_overwrite; }
    QPushButton *skipButton() const { return m_skip; }
    QCheckBox *applyToAllBox() const { return m_applyToAll; }
    QCheckBox *autoCloseBox() const { return m_autoClose; }
    // One countdown step, as the timer runs it every second.
    void timerStep();
    // The close box or Escape: Skip.
    void reject() override;

private:
    void choose(OverwriteChoice choice);
    QPushButton *defaultButton() const;

    OverwriteQuestion m_question;
    OverwriteAnswer m_answer;
    int m_countdown;
    QTimer m_timer;
    QPushButton *m_resume;
    QPushButton *m_overwrite;
    QPushButton *m_skip;
    QCheckBox *m_applyToAll;
    QCheckBox *m_autoClose;
};
