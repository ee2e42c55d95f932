#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <vector>

// Turns the lines of a LIST reply into entries. Two styles are understood: Unix long
// listings and the fixed columns of Windows (DOS/IIS) servers; every line is judged on its
// own, so a listing may mix them. The parser is pure: text in, entries out, with the
// current moment passed in because Unix lines without a year are dated relative to it.

// Line statuses. 0 is a usable entry, 201 a "total" line; codes above 399 are line errors.
namespace ListingStatus {
inline constexpr std::int32_t Ok = 0;
inline constexpr std::int32_t Total = 201;
inline constexpr std::int32_t UnknownEntry = 411;
inline constexpr std::int32_t UnixNameMissing = 417;
inline constexpr std::int32_t DosBadDate = 420;
inline constexpr std::int32_t TooShort = 421;
inline constexpr std::int32_t UnixBadDay = 422;
inline constexpr std::int32_t UnixBadDate = 455;
inline constexpr std::int32_t BadSize = 462;
inline constexpr std::int32_t DosNameMissing = 477;
inline constexpr std::int32_t UnixNoMonth = 481;
inline constexpr std::int32_t UnixBadTime = 484;
inline constexpr std::int32_t UnixNoTimeOrYear = 487;

// Codes above this one are line errors.
inline constexpr std::int32_t LastNonError = 399;
} // namespace ListingStatus

enum class ListingStyle : std::int32_t { Unix = 0, Dos = 1 };

struct tTmbFtpEntry {
    std::int32_t status = ListingStatus::Ok;
    QString message; // why the line is not usable; empty for usable entries
    QString rawLine; // the input line, unchanged
    ListingStyle style = ListingStyle::Unix;
    QString name;
    bool isFolder = false;
    bool isLink = false; // Unix style only
    std::int64_t size = 0;
    // Unix permission bits as three decimal digits (rwxr-xr-x is 755); 0 when the permission
    // field is not exactly 10 characters; -1 for DOS-style entries.
    std::int32_t permissions = 0;
    // Date and time of the line in the program's date-time value (ProgramDateTime.h).
    double modified = 0.0;

    bool isError() const { return status > ListingStatus::LastNonError; }
};

// Appends exactly one entry per line, in line order, whatever the line holds. `now` is the
// local moment that dates without a year are inferred from.
void parseListing(const QStringList &lines, std::vector<tTmbFtpEntry> &entries, const QDateTime &now);
// The same, dated relative to the current local time.
void parseListing(const QStringList &lines, std::vector<tTmbFtpEntry> &entries);

// The predicates the line classification is built on, exposed for their tests.
namespace ListingParser {
// 10 or 11 characters: "-", "d", "l" or "s", then nine of "-rstwx" (an eleventh character,
// such as an ACL mark, is not examined). Expects the field already lower-cased.
bool isUnixPermissions(QStringView field);
// Unix permission text as written in the line to its three-digit decimal code.
std::int32_t permissionCode(QStringView field);
// Fixed DOS/IIS columns: date separators in columns 3 and 6, "AM"/"PM" in 16-17 and
// "<DIR>" or nothing in 25-29.
bool isDosLine(QStringView line);
} // namespace ListingParser
