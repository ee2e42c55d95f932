#pragma once

#include <QElapsedTimer>

#include <cstdint>
#include <functional>

// Milliseconds on a clock that never goes back (a clock set back or a daylight-saving
// change does not move it). Tests put a clock of their own in its place.
using MonotonicClock = std::function<std::int64_t()>;

inline MonotonicClock steadyClock()
{
    QElapsedTimer timer;
    timer.start();
    return [timer] { return static_cast<std::int64_t>(timer.elapsed()); };
}
