// The queue list qLv with 100,000 items: adding them while the list is on screen, painting
// one screen (the list laid out and its visible rows drawn), scrolling to the end and
// painting, and removing them all. Run offscreen.
#include "bench/QueueBenchItems.h"
#include "queue/widgets/QueueIcons.h"
#include "queue/widgets/QueueView.h"
#include "settings/u_tmbSetup.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>

#include <memory>

namespace {

using Item = QueueBenchItem;

std::vector<Item> downloads(int count)
{
    return queueBenchDownloads(count, true);
}

struct Window {
    tSetupClass setup;
    QueueIcons icons;
    QueueModel model{setup};
    QueueView view{&model};

    Window()
    {
        model.setIconSource(&icons);
        view.resize(700, 400);
        view.show();
        paint();
    }
    void fill(const std::vector<Item> &items)
    {
        for (const Item &item : items)
            model.addToQueue(item.command, &item.entry);
    }
    void paint()
    {
        // Lays the rows out and paints what is visible, as the next frame on screen would.
        view.viewport()->repaint();
        QApplication::processEvents();
    }
};

void BM_AddWhileShown(benchmark::State &state)
{
    const std::vector<Item> items = downloads(static_cast<int>(state.range(0)));
    Window w;
    for (auto _ : state) {
        w.fill(items);
        w.paint();
        state.PauseTiming();
        w.model.removeAll();
        w.paint();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AddWhileShown)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One screen painted again after a change of every row (the statistics rewrite the running
// rows; a full relayout is the worst case), then the same at the end of the list.
void BM_PaintOneScreen(benchmark::State &state)
{
    Window w;
    w.fill(downloads(static_cast<int>(state.range(0))));
    w.paint();
    const bool atEnd = state.range(1) != 0;
    if (atEnd) {
        w.view.verticalScrollBar()->setValue(w.view.verticalScrollBar()->maximum());
        w.paint();
    }
    for (auto _ : state) {
        w.view.viewport()->update();
        w.paint();
    }
    state.SetLabel(atEnd ? "scrolled to the end" : "top");
}
BENCHMARK(BM_PaintOneScreen)->ArgsProduct({{100'000}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

// The first paint of a freshly filled list: the view lays out all rows once.
void BM_FirstPaintAfterFilling(benchmark::State &state)
{
    const std::vector<Item> items = downloads(static_cast<int>(state.range(0)));
    Window w;
    for (auto _ : state) {
        state.PauseTiming();
        w.fill(items);
        state.ResumeTiming();
        w.paint();
        state.PauseTiming();
        w.model.removeAll();
        w.paint();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstPaintAfterFilling)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RemoveAllWhileShown(benchmark::State &state)
{
    const std::vector<Item> items = downloads(static_cast<int>(state.range(0)));
    Window w;
    for (auto _ : state) {
        state.PauseTiming();
        w.fill(items);
        w.paint();
        state.ResumeTiming();
        w.model.removeAll();
        w.paint();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RemoveAllWhileShown)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Completions: the first item removed, one at a time, with the list on screen.
void BM_RemoveFromFrontWhileShown(benchmark::State &state)
{
    const std::vector<Item> items = downloads(static_cast<int>(state.range(0)));
    const int removals = 1000;
    Window w;
    w.fill(items);
    w.paint();
    for (auto _ : state) {
        for (int i = 0; i < removals; ++i) {
            w.model.removeItem(w.model.itemAt(0));
            w.paint();
        }
        state.PauseTiming();
        for (int i = 0; i < removals; ++i)
            w.model.addToQueue(items[static_cast<std::size_t>(i)].command, &items[static_cast<std::size_t>(i)].entry);
        w.paint();
        state.ResumeTiming();
    }
    state.SetLabel("1000 removals, each painted");
    state.SetItemsProcessed(state.iterations() * removals);
}
BENCHMARK(BM_RemoveFromFrontWhileShown)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
