#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

#include <functional>

// Runs the event loop until cond() holds or the timeout passes; returns cond().
inline bool waitFor(const std::function<bool()> &cond, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!cond()) {
        if (deadline.hasExpired())
            return cond();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 20);
    }
    return true;
}

// Runs the event loop for everything already posted (several rounds, no waiting).
inline void drainEvents()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}
