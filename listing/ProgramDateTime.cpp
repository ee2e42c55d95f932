#include "listing/ProgramDateTime.h"

#include <QTime>

#include <cmath>

namespace ProgramDateTime {
namespace {
// Whole days and the non-negative fraction, rounded to milliseconds so that a value made
// from an exact minute decodes to that minute.
void split(double value, qint64 &days, int &msecs)
{
    double whole = std::trunc(value);
    auto ms = static_cast<qint64>(std::llround(std::fabs(value - whole) * kMsecsPerDay));
    days = static_cast<qint64>(whole);
    if (ms >= kMsecsPerDay) {
        ms -= kMsecsPerDay;
        days += value < 0 ? -1 : 1;
    }
    msecs = static_cast<int>(ms);
}
} // namespace

double encode(const QDate &date, int msecsOfDay)
{
    return encode(date.toJulianDay() - kEpochJulianDay, msecsOfDay);
}

double fromDateTime(const QDateTime &local)
{
    return encode(local.date(), local.time().msecsSinceStartOfDay());
}

QDate date(double value)
{
    qint64 days = 0;
    int msecs = 0;
    split(value, days, msecs);
    return QDate::fromJulianDay(kEpochJulianDay + days);
}

int msecsOfDay(double value)
{
    qint64 days = 0;
    int msecs = 0;
    split(value, days, msecs);
    return msecs;
}

QDateTime toDateTime(double value)
{
    return QDateTime(date(value), QTime::fromMSecsSinceStartOfDay(msecsOfDay(value)));
}

} // namespace ProgramDateTime
