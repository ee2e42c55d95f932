// Parsing a large listing: a folder of a million entries must never make the parser the
// slow part of showing it. Bytes are the characters of the lines plus one line end each.
// One listing is Unix only (the common case); the other mixes every format the parser
// reads, line by line, so each recogniser and the fall-through between them is paid for.
// A third holds the same formats in runs: what a listing that changes kind looks like
// (one server's lines, a header, then another kind), where the kind is kept while lines agree.
#include "listing/u_tmbFtpParser.h"

#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QStringList>

namespace {

QStringList makeUnixListing(int lineCount, std::int64_t &bytes)
{
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    QStringList lines;
    lines.reserve(lineCount + 1);
    lines << QStringLiteral("total %1").arg(lineCount * 8);
    bytes = 0;
    for (int i = 0; i < lineCount; ++i) {
        const bool folder = i % 10 == 0;
        const QString dateText =
            i % 3 == 0 ? QStringLiteral("%1 %2  2019").arg(QLatin1String(kMonths[i % 12])).arg(1 + i % 28, 2)
                       : QStringLiteral("%1 %2 %3:%4")
                             .arg(QLatin1String(kMonths[i % 12]))
                             .arg(1 + i % 28, 2)
                             .arg(i % 24, 2, 10, QLatin1Char('0'))
                             .arg(i % 60, 2, 10, QLatin1Char('0'));
        lines << QStringLiteral("%1 %2 ftpuser  ftpgroup %3 %4 %5")
                     .arg(folder ? QStringLiteral("drwxr-xr-x") : QStringLiteral("-rw-r--r--"))
                     .arg(folder ? 3 : 1, 3)
                     .arg(static_cast<qint64>(i) * 7919 % 100'000'000, 12)
                     .arg(dateText)
                     .arg(folder ? QStringLiteral("folder_%1").arg(i)
                                 : QStringLiteral("photo %1 of the summer trip.jpg").arg(i));
    }
    for (const QString &line : lines)
        bytes += line.size() + 1;
    return lines;
}

// One line of each format in turn, or runs of `runLength` lines of each; numbers and names
// vary with the line number.
QStringList makeMixedListing(int lineCount, std::int64_t &bytes, int onlyFormat = -1, int runLength = 1)
{
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char *const kVmsMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                             "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    QStringList lines;
    lines.reserve(lineCount);
    bytes = 0;
    for (int i = 0; i < lineCount; ++i) {
        const int day = 1 + i % 28;
        const int month = 1 + i % 12;
        const qint64 size = static_cast<qint64>(i) * 7919 % 100'000'000;
        const QString name = QStringLiteral("photo %1 of the summer trip.jpg").arg(i);
        QString line;
        switch (onlyFormat >= 0 ? onlyFormat : i / runLength % 12) {
        case 0:
            line = QStringLiteral("-rw-r--r--   1 ftpuser  ftpgroup %1 %2 %3 %4:%5 %6")
                       .arg(size, 12)
                       .arg(QLatin1String(kMonths[month - 1]))
                       .arg(day, 2)
                       .arg(i % 24, 2, 10, QLatin1Char('0'))
                       .arg(i % 60, 2, 10, QLatin1Char('0'))
                       .arg(name);
            break;
        case 1:
            line = QStringLiteral("drwxr-xr-x   3 ftpuser  ftpgroup         4096 2019-%1-%2 10:%3 folder_%4")
                       .arg(month, 2, 10, QLatin1Char('0'))
                       .arg(day, 2, 10, QLatin1Char('0'))
                       .arg(i % 60, 2, 10, QLatin1Char('0'))
                       .arg(i);
            break;
        case 2:
            line =
                QStringLiteral("-rw-r--r--   1 ftpuser  ftpgroup %1 %2. Okt. 2019 %3").arg(size, 12).arg(day).arg(name);
            break;
        case 3:
            line = QStringLiteral("%1-%2-19  %3:15PM %4 %5")
                       .arg(month, 2, 10, QLatin1Char('0'))
                       .arg(day, 2, 10, QLatin1Char('0'))
                       .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                       .arg(size, 20)
                       .arg(name);
            break;
        case 4:
            // Built in two parts: "%3101500" would be read as the placeholder %31.
            line = QStringLiteral("type=file;size=%1;modify=2019%2%3")
                       .arg(size)
                       .arg(month, 2, 10, QLatin1Char('0'))
                       .arg(day, 2, 10, QLatin1Char('0')) +
                   QStringLiteral("101500;perm=rw;unix.mode=0644; ") + name;
            break;
        case 5:
            line = QStringLiteral("+i8388621.%1,m%2,r,s%3,up644\t%4").arg(i).arg(1'500'000'000 + i).arg(size).arg(name);
            break;
        case 6:
            line = QStringLiteral("FILE%1.TXT;1  %2/%3  %4-%5-2019 10:30:13  [FTP,USER]  (RWED,RWED,RE,)")
                       .arg(i)
                       .arg(size % 10'000)
                       .arg(size % 10'000 + 3)
                       .arg(day)
                       .arg(QLatin1String(kVmsMonths[month - 1]));
            break;
        case 7:
            line = QStringLiteral("%1      A    %2-%3-19  10:57  %4")
                       .arg(size, 9)
                       .arg(month, 2, 10, QLatin1Char('0'))
                       .arg(day, 2, 10, QLatin1Char('0'))
                       .arg(name);
            break;
        case 8:
            line = QStringLiteral("WYOSPT 3420   2019/%1/%2  1  200  FB      80  8053  PS  USER.DATA%3")
                       .arg(month, 2, 10, QLatin1Char('0'))
                       .arg(day, 2, 10, QLatin1Char('0'))
                       .arg(i);
            break;
        case 9:
            line = QStringLiteral("- [RWCEAFMS] ftpuser %1       %2 %3 10:20    %4")
                       .arg(size, 12)
                       .arg(QLatin1String(kMonths[month - 1]))
                       .arg(day, 2)
                       .arg(name);
            break;
        case 10:
            line = QStringLiteral("QSYS            %1 %2/%3/19 15:09:55 *STMF %4")
                       .arg(size)
                       .arg(month, 2, 10, QLatin1Char('0'))
                       .arg(day, 2, 10, QLatin1Char('0'))
                       .arg(name);
            break;
        default:
            line = QStringLiteral("%1    %2-%3-2019  05:23:30   %4")
                       .arg(size)
                       .arg(QLatin1String(kMonths[month - 1]))
                       .arg(day, 2, 10, QLatin1Char('0'))
                       .arg(name);
            break;
        }
        bytes += line.size() + 1;
        lines << line;
    }
    return lines;
}

void runParser(benchmark::State &state, const QStringList &lines, std::int64_t bytes)
{
    const QDateTime now(QDate(2026, 6, 15), QTime(20, 0));
    for (auto _ : state) {
        std::vector<tTmbFtpEntry> entries;
        parseListing(lines, entries, now);
        benchmark::DoNotOptimize(entries.data());
        state.PauseTiming(); // freeing the entries is the cache's work, not the parser's
        entries = {};
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * lines.size());
    state.SetBytesProcessed(state.iterations() * bytes);
}

// Every generated line must be one the parser reads, or the figure would time errors.
void runCheckedParser(benchmark::State &state, const QStringList &lines, std::int64_t bytes)
{
    std::vector<tTmbFtpEntry> check;
    parseListing(lines, check, QDateTime(QDate(2026, 6, 15), QTime(20, 0)));
    for (const tTmbFtpEntry &e : check) {
        if (e.status != ListingStatus::Ok) {
            state.SkipWithError(("unread line: " + e.rawLine.toStdString()).c_str());
            return;
        }
    }
    runParser(state, lines, bytes);
}

// The mixed listing, or with a second argument only the lines of that format (0 to 11, in
// the order of makeMixedListing), to see where the time of the mix goes.
void BM_ParseMixedListing(benchmark::State &state)
{
    std::int64_t bytes = 0;
    const QStringList lines =
        makeMixedListing(static_cast<int>(state.range(0)), bytes, static_cast<int>(state.range(1)));
    runCheckedParser(state, lines, bytes);
}

// The mixed listing's formats in runs of the second argument's number of lines each.
void BM_ParseMixedRuns(benchmark::State &state)
{
    std::int64_t bytes = 0;
    const QStringList lines =
        makeMixedListing(static_cast<int>(state.range(0)), bytes, -1, static_cast<int>(state.range(1)));
    runCheckedParser(state, lines, bytes);
}

void BM_ParseUnixListing(benchmark::State &state)
{
    std::int64_t bytes = 0;
    const QStringList lines = makeUnixListing(static_cast<int>(state.range(0)), bytes);
    runParser(state, lines, bytes);
}

// Not parsing: one entry per line of the Unix listing with its line and a name copied from
// it, in the same block of entries the parser fills (huge pages asked for): the memory every
// parser of this output type pays. On a machine where page faults are dear this floor is
// much of the figure, so it is timed in the same run.
void BM_EntriesOnlyFloor(benchmark::State &state)
{
    std::int64_t bytes = 0;
    const QStringList lines = makeUnixListing(static_cast<int>(state.range(0)), bytes);
    for (auto _ : state) {
        std::vector<tTmbFtpEntry> entries;
        reserveListingEntries(entries, static_cast<std::size_t>(lines.size()));
        for (const QString &line : lines) {
            tTmbFtpEntry &entry = entries.emplace_back();
            entry.rawLine = line;
            entry.name = line.sliced(line.size() - std::min<qsizetype>(line.size(), 30));
        }
        benchmark::DoNotOptimize(entries.data());
        state.PauseTiming();
        entries = {};
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * lines.size());
    state.SetBytesProcessed(state.iterations() * bytes);
}

} // namespace

BENCHMARK(BM_EntriesOnlyFloor)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseUnixListing)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseMixedListing)->Args({1'000'000, -1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseMixedRuns)->Args({1'000'000, 1000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseMixedListing)
    ->ArgsProduct({{100'000}, benchmark::CreateDenseRange(0, 11, 1)})
    ->Unit(benchmark::kMillisecond);
