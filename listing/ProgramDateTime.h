#pragma once

#include <QDate>
#include <QDateTime>

// The program's date-time value: a day count since 30 December 1899 with the time of day as
// the fraction (06:00 on 31 December 1899 is 1.25). Days before the epoch are negative and
// keep the fraction positive in size (-1.25 is 06:00 on 29 December 1899). Plain doubles
// keep listing entries cheap: no time-zone work happens until a value is shown or stored.
namespace ProgramDateTime {

constexpr int kMsecsPerDay = 86'400'000;

double encode(const QDate &date, int msecsOfDay);
// The calendar date and time of day of a local date-time.
double fromDateTime(const QDateTime &local);

QDate date(double value);
// Milliseconds since midnight, rounded to the nearest millisecond.
int msecsOfDay(double value);
// The same calendar date and time of day as a local date-time.
QDateTime toDateTime(double value);

} // namespace ProgramDateTime
