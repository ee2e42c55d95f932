#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// Release numbers: thousands = major version, the next two digits = minor, the last
// digit = beta number (0 for a release that is not a beta). 2800 reads "2.8", 2850 "2.85",
// 2813 "2.81 b3".
namespace ReleaseNumber {

QString text(std::int64_t number);
bool isBeta(std::int64_t number);

// The version server's answer body: "200", the section sign (byte 0xA7, or its UTF-8
// form), the release number. Anything else, or a number that is not a positive decimal
// integer, gives nothing.
std::optional<std::int64_t> parseAnswer(const QByteArray &body);

// Only a later release than ours is news; an older one (a server rolled back) is not.
inline bool isNewer(std::int64_t latest, std::int64_t own)
{
    return latest > own;
}

} // namespace ReleaseNumber
