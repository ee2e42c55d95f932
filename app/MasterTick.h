#pragma once

#include "app/Command.h"

#include <QObject>
#include <QTimer>

#include <cstdint>

// The 50 ms master tick that drives every periodic action at fixed multiples of the tick.
// Created disabled; start-up enables it once the main window is built and shut-down stops
// it as soon as closing is accepted.
class MasterTick : public QObject {
    Q_OBJECT
public:
    explicit MasterTick(QObject *parent = nullptr);

    Command timer_startup{QStringLiteral("timer_startup")};
    Command timer_fancycolors{QStringLiteral("timer_fancycolors")};
    Command timer_updateinterface{QStringLiteral("timer_updateinterface")};
    Command timer_xferstats{QStringLiteral("timer_xferstats")};
    Command timer_checkQueue{QStringLiteral("timer_checkQueue")};
    Command timer_threads{QStringLiteral("timer_threads")};
    Command timer_retryConnect{QStringLiteral("timer_retryConnect")};
    Command timer_checkclipboard{QStringLiteral("timer_checkclipboard")};
    Command timer_meter{QStringLiteral("timer_meter")};
    Command timer_antitimeout{QStringLiteral("timer_antitimeout")};
    Command timer_checkForNewVersion{QStringLiteral("timer_checkForNewVersion")};

    void setEnabled(bool enabled);
    bool isEnabled() const { return m_timer.isActive(); }

    // One tick: counts and runs the actions due on the new count.
    void timerTimer();

    std::int32_t tag() const { return m_tag; }
    void setTag(std::int32_t tag) { m_tag = tag; }
    QTimer &timer() { return m_timer; }

private:
    void runDueActions();

    QTimer m_timer;
    std::int32_t m_tag = 0;
};
