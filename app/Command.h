#pragma once

#include <QObject>
#include <QString>

#include <functional>

// A named command of the main window that is not tied to a widget: the periodic actions
// run by the master tick and other commands that code runs directly. Its handler receives
// the object that triggered it (the command itself when run through execute()).
class Command : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(QObject *sender)>;

    explicit Command(const QString &name, QObject *parent = nullptr) : QObject(parent) { setObjectName(name); }

    void setHandler(Handler handler) { m_handler = std::move(handler); }
    void execute() { execute(this); }
    void execute(QObject *sender)
    {
        if (m_handler)
            m_handler(sender);
    }

private:
    Handler m_handler;
};
