// libFuzzer target for the listing parser. The input is a listing as the data connection
// delivers it: bytes, lines ending in LF or CR LF, decoded the way the session decodes them.
// Each listing goes through both entry points (LIST and MLSD), and the parser's promises
// are checked: one entry per line, the line kept unchanged, a usable entry has a name taken
// from its line, an unusable one says why.
#include "base/TextCodec.h"
#include "listing/u_tmbFtpParser.h"

#include <QDateTime>
#include <QStringList>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void checkEntries(const QStringList &lines, const std::vector<tTmbFtpEntry> &entries)
{
    check(entries.size() == static_cast<std::size_t>(lines.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const tTmbFtpEntry &e = entries[i];
        check(e.rawLine == lines[static_cast<qsizetype>(i)]);
        if (e.status == ListingStatus::Ok) {
            check(e.message.isEmpty());
            // Only a Unix link with nothing before its arrow gives an empty name; the folder
            // cache refuses it.
            check(!e.name.isEmpty() || (e.style == ListingStyle::Unix && e.isLink));
            // z/VM names join file name and type with a dot; every other name is line text.
            check(e.style == ListingStyle::Zvm || e.rawLine.contains(e.name));
        } else {
            check(!e.message.isEmpty());
        }
        // A line that continues a VMS entry follows that entry.
        if (e.status == ListingStatus::Continuation)
            check(i > 0 && entries[i - 1].status == ListingStatus::Ok && entries[i - 1].style == ListingStyle::Vms);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QStringList lines;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        lines << TextCodec::decodeStored(line);
    }
    // A fixed moment keeps every run reproducible.
    static const QDateTime now(QDate(2026, 6, 15), QTime(20, 0));
    std::vector<tTmbFtpEntry> entries;
    parseListing(lines, entries, now);
    checkEntries(lines, entries);
    entries.clear();
    parseMlsdListing(lines, entries);
    checkEntries(lines, entries);
    return 0;
}
