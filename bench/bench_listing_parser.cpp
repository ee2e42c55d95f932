// Parsing a large Unix listing: a folder of a million entries must never make the parser the
// slow part of showing it. Bytes are the characters of the lines plus one line end each.
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

void BM_ParseUnixListing(benchmark::State &state)
{
    std::int64_t bytes = 0;
    const QStringList lines = makeUnixListing(static_cast<int>(state.range(0)), bytes);
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

} // namespace

BENCHMARK(BM_ParseUnixListing)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
