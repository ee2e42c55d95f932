#pragma once

#include <QDate>
#include <QDateTime>

// The program's date-time value: a day count since 30 December 1899 with the time of day as
// the fraction (06:00 on 31 December 1899 is 1.25). Days before the epoch are negative and
// keep the fraction positive in size (-1.25 is 06:00 on 29 December 1899). Plain doubles
// keep listing entries cheap: no time-zone work happens until a value is shown or stored.
namespace ProgramDateTime {

constexpr int kMsecsPerDay = 86'400'000;
// QDate's Julian day of 30 December 1899, day 0.
constexpr qint64 kEpochJulianDay = 2'415'019;

// Days from 30 December 1899 to a date of the proleptic Gregorian calendar, as QDate counts
// them; for years 1 to 9999 with a valid month and day. Parsers call this for every line, so
// it is plain arithmetic rather than a QDate.
constexpr qint64 dayNumber(int year, int month, int day)
{
    const int y = year - (month <= 2 ? 1 : 0); // the year counted from March, so leap days come last
    const int era = y / 400;                   // y >= 0 for years from 1 on
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    // 719,468 days from 1 March of year 0 to 1 January 1970; 25,569 from the epoch to 1970.
    return qint64{era} * 146'097 + dayOfEra - 719'468 + 25'569;
}

// The value of a day number and a time of day.
constexpr double encode(qint64 days, int msecsOfDay)
{
    const double fraction = static_cast<double>(msecsOfDay) / kMsecsPerDay;
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

double encode(const QDate &date, int msecsOfDay);
// The calendar date and time of day of a local date-time.
double fromDateTime(const QDateTime &local);

QDate date(double value);
// Milliseconds since midnight, rounded to the nearest millisecond.
int msecsOfDay(double value);
// The same calendar date and time of day as a local date-time.
QDateTime toDateTime(double value);

} // namespace ProgramDateTime
