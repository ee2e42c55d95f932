// Queue files with 10,000 and 100,000 downloads: what one rewrite of the recovery queue
// costs (the file's text made from the model and written through a temporary file renamed
// over the old one), and reading the text back into records.
#include "bench/QueueBenchItems.h"
#include "queue/QueueFile.h"
#include "queue/QueueModel.h"
#include "settings/u_tmbSetup.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void fill(QueueModel &model, int count)
{
    for (const QueueBenchItem &item : queueBenchDownloads(count, false))
        model.addToQueue(item.command, &item.entry);
}

void BM_SaveQueueFile(benchmark::State &state)
{
    tSetupClass setup;
    QueueModel model(setup);
    fill(model, static_cast<int>(state.range(0)));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("[recovery].dat"));
    for (auto _ : state) {
        if (!saveQueueFile(model, path))
            state.SkipWithError("the queue file could not be written");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SaveQueueFile)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeQueueFile(benchmark::State &state)
{
    tSetupClass setup;
    QueueModel model(setup);
    fill(model, static_cast<int>(state.range(0)));
    const QByteArray bytes = encodeQueueFile(model);
    for (auto _ : state) {
        const QueueFileContents contents = decodeQueueFile(bytes);
        benchmark::DoNotOptimize(contents.records.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DecodeQueueFile)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
