#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <vector>

// Turns the lines of a LIST reply into entries. Unix long listings (with their numeric,
// ISO and localized date variants) and the fixed columns of Windows (DOS/IIS) servers come
// first; machine listings (MLSD facts, EPLF) and the listings of VMS, OS/2, MVS and z/VM,
// Netware, OS/400, VxWorks, HP NonStop, OS-9, Nortel and Connect:Enterprise servers are
// recognised as well. Every line is judged on its own, so a listing may mix them; the kind
// of the line before is tried first, since a listing seldom changes kind. The parser is
// pure: text in, entries out, with the current moment passed in because lines without a
// year are dated relative to it.

// Line statuses. 0 is a usable entry, 201 a "total" line; codes above 399 are line errors.
namespace ListingStatus {
inline constexpr std::int32_t Ok = 0;
inline constexpr std::int32_t Total = 201;
// An MLSD "cdir" or "pdir" entry: the listed folder itself or its parent, not an entry of it.
inline constexpr std::int32_t FolderItself = 202;
// A column header some servers put above their entries (MVS datasets and members).
inline constexpr std::int32_t Header = 203;
// The second line of a VMS entry whose name filled the line before; the entry is on that line.
inline constexpr std::int32_t Continuation = 204;
// A message the server put among the entries ("%RMS-E-FNF, file not found" for an empty
// VMS folder): no entry, and not a fault of the listing either.
inline constexpr std::int32_t ServerMessage = 205;
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
// Machine listings (MLSD/MLST facts, EPLF).
inline constexpr std::int32_t FactsNoName = 431;
inline constexpr std::int32_t FactsBadFact = 432;
inline constexpr std::int32_t FactsBadModify = 433;
inline constexpr std::int32_t EplfBadEntry = 434;

// Codes above this one are line errors.
inline constexpr std::int32_t LastNonError = 399;
} // namespace ListingStatus

// The kind of line an entry came from. Unix variants (numeric or localized dates, sizes
// with units) are Unix style.
enum class ListingStyle : std::int32_t {
    Unix = 0,
    Dos = 1,
    Mlsd = 2,
    Eplf = 3,
    Vms = 4,
    Os2 = 5,
    Mvs = 6,
    Zvm = 7,
    Netware = 8,
    Os400 = 9,
    VxWorks = 10,
    HpNonStop = 11,
    Os9 = 12,
    Nortel = 13,
    ConnectEnterprise = 14,
};

// Entries that are neither files nor folders. The queue must not download or upload them:
// reading a device or a fifo on the server can block or never end.
enum class SpecialFile : std::uint8_t {
    None = 0,
    CharDevice,
    BlockDevice,
    Fifo,
    Socket,
    Other, // a machine listing's type that is none of the above, nor file, folder or link
};

struct tTmbFtpEntry {
    // The texts first and the flags last: a listing of a million lines is a million of
    // these, and padding between the fields would be paid for in every one.
    QString message; // why the line is not usable; empty for usable entries
    QString rawLine; // the input line, unchanged
    QString name;
    // Size in bytes; -1 when the line gives a size that is not one (a 20-digit value beyond
    // the signed 64-bit range, such as 2^64 - 1, which servers write for "unknown").
    std::int64_t size = 0;
    // Date and time of the line in the program's date-time value (ProgramDateTime.h), in
    // local time; 0 (30 December 1899) when the line carries no date.
    double modified = 0.0;
    std::int32_t status = ListingStatus::Ok;
    ListingStyle style = ListingStyle::Unix;
    // Unix permission bits as three decimal digits (rwxr-xr-x is 755); 0 when the permission
    // field is not exactly 10 characters; -1 for DOS-style entries.
    std::int32_t permissions = 0;
    bool isFolder = false;
    // A symbolic link: from the Unix type letter, an MLSD type of OS.unix=slink or a
    // unix.mode fact whose file-type bits say link, the mode of Unix numerical listings.
    bool isLink = false;
    SpecialFile special = SpecialFile::None;

    bool isError() const { return status > ListingStatus::LastNonError; }
    bool isSpecial() const { return special != SpecialFile::None; }
};

// Appends exactly one entry per line, in line order, whatever the line holds. `now` is the
// local moment that dates without a year are inferred from.
void parseListing(const QStringList &lines, std::vector<tTmbFtpEntry> &entries, const QDateTime &now);
// The same, dated relative to the current local time.
void parseListing(const QStringList &lines, std::vector<tTmbFtpEntry> &entries);
// Room for `count` more entries, as parseListing makes it: a big listing's block of entries
// is asked to be backed by huge pages (Linux), so that filling it costs a few dozen page
// faults instead of tens of thousands.
void reserveListingEntries(std::vector<tTmbFtpEntry> &entries, std::size_t count);

// Machine listings. MLSD answers with one line per entry: facts ("type=file;size=12;"),
// one blank, then the name, which is everything after the first "; " (blanks included).
// "cdir" and "pdir" entries get status FolderItself. `modify` is UTC on the wire and
// local time in the entry. The listing variant treats every line as a fact line; use it
// for the data of an MLSD command.
void parseMlsdListing(const QStringList &lines, std::vector<tTmbFtpEntry> &entries);
tTmbFtpEntry parseMlsdLine(const QString &line);
// The fact line of an MLST reply ("250-" lines) begins with one blank before the facts.
tTmbFtpEntry parseMlstLine(const QString &line);

// The predicates the line classification is built on, exposed for their tests.
namespace ListingParser {
// A type letter ("-", "d", "l", "s" socket, "c" and "b" devices, "p" fifo, and the letters
// of other systems' kinds, which give SpecialFile::Other), then nine of "-rstwx" in any
// case. An eleventh character (an ACL or context mark) is not examined; a link count run
// together with the field ("-rw-r--r--+1", "drwxr-xr-x12") may follow.
bool isUnixPermissions(QStringView field);
// Unix permission text as written in the line to its three-digit decimal code.
std::int32_t permissionCode(QStringView field);
// Fixed DOS/IIS columns: date separators in columns 3 and 6, "AM"/"PM" in 16-17 and
// "<DIR>" or nothing in 25-29.
bool isDosLine(QStringView line);
} // namespace ListingParser
