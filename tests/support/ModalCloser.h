#pragma once

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#include <functional>

// Runs an action that opens a modal window, closes that window as soon as it appears and
// reports what it was: a message box's text, or the window's object name. Before closing,
// inspect (if given) may look at or change the window.
inline QString closeModalOpenedBy(const std::function<void()> &action,
                                  const std::function<void(QWidget *)> &inspect = {})
{
    QString seen;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            seen = box->text();
        else
            seen = modal->objectName();
        if (inspect)
            inspect(modal);
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
    });
    poll.start();
    action();
    poll.stop();
    return seen;
}
