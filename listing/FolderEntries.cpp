#include "listing/FolderEntries.h"

#include "listing/ProgramDateTime.h"

#include <QTime>

std::int32_t packFileTime(const QDate &date, const QTime &time)
{
    if (!date.isValid() || !time.isValid() || date.year() < 1980 || date.year() > 2107)
        return 0;
    const auto packed = static_cast<std::uint32_t>(date.year() - 1980) << 25 |
                        static_cast<std::uint32_t>(date.month()) << 21 | static_cast<std::uint32_t>(date.day()) << 16 |
                        static_cast<std::uint32_t>(time.hour()) << 11 | static_cast<std::uint32_t>(time.minute()) << 5 |
                        static_cast<std::uint32_t>(time.second() / 2);
    return static_cast<std::int32_t>(packed);
}

std::int32_t packFileTime(double programDateTime)
{
    return packFileTime(ProgramDateTime::date(programDateTime),
                        QTime::fromMSecsSinceStartOfDay(ProgramDateTime::msecsOfDay(programDateTime)));
}

QDateTime unpackFileTime(std::int32_t packed)
{
    const auto bits = static_cast<std::uint32_t>(packed);
    const QDate date(static_cast<int>(bits >> 25) + 1980, static_cast<int>(bits >> 21 & 0xF),
                     static_cast<int>(bits >> 16 & 0x1F));
    const QTime time(static_cast<int>(bits >> 11 & 0x1F), static_cast<int>(bits >> 5 & 0x3F),
                     static_cast<int>(bits & 0x1F) * 2);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

std::int32_t permissionDigits(std::uint32_t mode)
{
    return static_cast<std::int32_t>((mode >> 6 & 7) * 100 + (mode >> 3 & 7) * 10 + (mode & 7));
}
