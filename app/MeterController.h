#pragma once

#include "app/MonotonicClock.h"
#include "status/MeterModel.h"

#include <QObject>

#include <optional>

class SessionSupervisor;
class tSetupClass;
class tkftpclient;

// The bandwidth meter's running half: counts the protocol lines of both sessions (replies
// as received, commands as sent) and the bytes the transfer statistics hand it, and takes
// one sample per second from the master tick. The graph observes sampled().
//
// User-interface thread only.
class MeterController : public QObject {
    Q_OBJECT
public:
    MeterController(const tSetupClass &setup, SessionSupervisor &sessions, QObject *parent = nullptr);

    const MeterModel &model() const { return m_model; }
    MeterModel &model() { return m_model; }
    void setClock(MonotonicClock clock) { m_clock = std::move(clock); }

    // The meter action of the master tick (every second). Samples only once start-up has
    // finished and while the meter is not disabled.
    void timer_meter(bool startupDone);
    // "Reset Meter".
    void resetMeter();
    // A protocol line of the display feed: "<" replies count as received, ">" commands as sent.
    void countLine(const QString &line);

signals:
    // The rings changed: the graph redraws.
    void sampled();

private:
    const tSetupClass &m_setup;
    MeterModel m_model;
    MonotonicClock m_clock = steadyClock();
    std::optional<std::int64_t> m_lastSampleMs;
};
