#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;

// A small borderless always-on-top window shown during long operations. text() shows a
// message and stops the close timer; a caller that has finished starts the timer, and the
// window closes 250 ms later.
class TFormWait : public QWidget {
    Q_OBJECT
public:
    explicit TFormWait(QWidget *parent = nullptr);

    void text(const QString &message);
    void startCloseTimer() { m_closeTimer.start(); }
    // With "noPleaseWaitWindow" set the window does nothing at all.
    void setDisabled(bool disabled) { m_disabled = disabled; }
    QString message() const;
    QTimer &closeTimer() { return m_closeTimer; }

private:
    QLabel *m_message;
    QTimer m_closeTimer;
    bool m_disabled = false;
};
