// The file browsers at the sizes our users have: storing a big remote listing in the folder
// cache, looking folders up in a cache that has seen thousands of folders, and scanning a
// big local folder. Each runs at two sizes so that the per-item cost shows whether it grows.
#include "browser/BrowserState.h"
#include "browser/LocalFiles.h"
#include "listing/u_tmbFtpParser.h"

#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <map>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::vector<tTmbFtpEntry> parsedListing(int lineCount)
{
    QStringList lines;
    lines.reserve(lineCount);
    for (int i = 0; i < lineCount; ++i) {
        lines << QStringLiteral("%1   1 ftpuser  ftpgroup %2 Mar %3 12:%4 entry %5.dat")
                     .arg(i % 10 == 0 ? QStringLiteral("drwxr-xr-x") : QStringLiteral("-rw-r--r--"))
                     .arg(static_cast<qint64>(i) * 7919 % 100'000'000, 12)
                     .arg(1 + i % 28, 2)
                     .arg(i % 60, 2, 10, QLatin1Char('0'))
                     .arg(i);
    }
    std::vector<tTmbFtpEntry> entries;
    parseListing(lines, entries, QDateTime(QDate(2026, 6, 15), QTime(20, 0)));
    return entries;
}

void BM_StoreListing(benchmark::State &state)
{
    const std::vector<tTmbFtpEntry> entries = parsedListing(static_cast<int>(state.range(0)));
    BrowserState browser;
    const QString path = QStringLiteral("/home/user/big/");
    for (auto _ : state) {
        // Listing the same folder again replaces its entries, as a refresh does.
        benchmark::DoNotOptimize(&browser.storeListing(path, entries, QStringLiteral("ftp.example.com")));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StoreListing)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

void BM_FindCachedFolder(benchmark::State &state)
{
    BrowserState browser;
    const int folders = static_cast<int>(state.range(0));
    for (int i = 0; i < folders; ++i)
        browser.storeListing(QStringLiteral("/home/user/projects/site%1/htdocs/images/").arg(i), {}, QString());
    // Looked up in another letter case, as a path typed by the user may be.
    QStringList keys;
    for (int i = 0; i < 1000; ++i)
        keys << QStringLiteral("/HOME/user/Projects/site%1/htdocs/images/").arg(i * 7 % folders);
    qsizetype next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(browser.findCachedFolder(keys[next]));
        next = (next + 1) % keys.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindCachedFolder)->Arg(1'000)->Arg(10'000);

// One folder of empty files per size, made once and removed at exit.
const QString &folderOfFiles(int count)
{
    static std::map<int, std::unique_ptr<QTemporaryDir>> made;
    auto &dir = made[count];
    if (!dir) {
        dir = std::make_unique<QTemporaryDir>();
        for (int i = 0; i < count; ++i) {
            const QByteArray path = QFile::encodeName(dir->path() + QStringLiteral("/file %1.txt").arg(i));
            ::close(::open(path.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        }
    }
    static QString path;
    path = dir->path();
    return path;
}

void BM_ScanFolder(benchmark::State &state)
{
    const QString folder = folderOfFiles(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        tLocalEntryList entries;
        scanFolder(folder, entries, false, QStringLiteral("*.*"));
        benchmark::DoNotOptimize(entries.data());
        if (entries.size() != static_cast<std::size_t>(state.range(0)))
            state.SkipWithError("the scan missed files");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ScanFolder)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace
