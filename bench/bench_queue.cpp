// The queue model with 100,000 items: how long adding them takes (each a download with its
// entry, as Receive of a big folder queues them), reading every cell of every row through
// data() (what a view or a screen reader would ask), and taking them out again, all at
// once (the "clear" button) and one at a time from the front (completions).
#include "bench/QueueBenchItems.h"
#include "queue/QueueModel.h"
#include "settings/u_tmbSetup.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using Item = QueueBenchItem;

std::vector<Item> downloads(int count)
{
    return queueBenchDownloads(count, false);
}

void fill(QueueModel &model, const std::vector<Item> &items)
{
    for (const Item &item : items)
        model.addToQueue(item.command, &item.entry);
}

void BM_AddItems(benchmark::State &state)
{
    const std::vector<Item> items = downloads(static_cast<int>(state.range(0)));
    tSetupClass setup;
    for (auto _ : state) {
        state.PauseTiming();
        auto model = std::make_unique<QueueModel>(setup);
        state.ResumeTiming();
        fill(*model, items);
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AddItems)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DataOfAllRows(benchmark::State &state)
{
    tSetupClass setup;
    QueueModel model(setup);
    fill(model, downloads(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        qint64 chars = 0;
        for (int row = 0; row < model.rowCount(); ++row) {
            const QModelIndex item = model.index(row, 0);
            for (int column = 0; column < QueueModel::ColumnCount; ++column)
                chars += model.data(model.index(row, column), Qt::DisplayRole).toString().size();
            for (int line = 0; line < model.rowCount(item); ++line)
                chars += model.data(model.index(line, 0, item), Qt::DisplayRole).toString().size();
        }
        benchmark::DoNotOptimize(chars);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DataOfAllRows)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Removes every item, either at once or one at a time from the front.
void BM_RemoveItems(benchmark::State &state)
{
    const std::vector<Item> items = downloads(static_cast<int>(state.range(0)));
    const bool oneByOne = state.range(1) != 0;
    tSetupClass setup;
    QueueModel model(setup);
    for (auto _ : state) {
        state.PauseTiming();
        fill(model, items);
        state.ResumeTiming();
        if (oneByOne) {
            while (!model.isEmpty())
                model.removeItem(model.itemAt(0));
        } else {
            model.removeAll();
        }
    }
    state.SetLabel(oneByOne ? "one by one from the front" : "all at once");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RemoveItems)->ArgsProduct({{10'000, 100'000}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
