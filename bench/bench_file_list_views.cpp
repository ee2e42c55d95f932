// The remote list with a folder of the size our users have: how long a cached folder of
// 100,000 entries takes to appear in the view (rebuild, sort, first paint), and how long a
// header click takes to re-sort it by each column and paint it again. Run offscreen.
#include "app/MainController.h"
#include "browser/widgets/FileListView.h"
#include "browser/widgets/RemoteBrowser.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>

#include <memory>

namespace {

class SilentUserInterface : public UserInterface {
public:
    void showMessage(const QString &) override {}
    bool confirm(const QString &) override { return false; }
    bool askText(const QString &, const QString &, QString &, bool) override { return false; }
    void showBugWindow(const QString &, const QString &) override {}
};

// A folder as a big server shows it: one entry in ten a folder, a handful of extensions,
// sizes, dates over twenty years and a few permission codes.
tRemoteEntryList bigFolder(int count)
{
    const char *const extensions[] = {"txt", "html", "jpg", "tar.gz", "pdf", "c", "log", "dat"};
    const std::int32_t attrs[] = {644, 755, 600, 664, -1};
    tRemoteEntryList entries;
    entries.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int scrambled = static_cast<int>(static_cast<std::int64_t>(i) * 7919 % count);
        tNamedEntry<tFtpFolderEntryObject> item;
        const bool folder = i % 10 == 0;
        item.name = folder ? QStringLiteral("Folder %1").arg(scrambled)
                           : QStringLiteral("file_%1.%2").arg(scrambled).arg(QLatin1String(extensions[i % 8]));
        item.entry.name = item.name;
        item.entry.isFolder = folder;
        item.entry.size = folder ? 4096 : static_cast<std::int64_t>(scrambled) * 1237 % 50'000'000;
        item.entry.time = packFileTime(QDate(2005 + scrambled % 20, 1 + scrambled % 12, 1 + scrambled % 28),
                                       QTime(scrambled % 24, scrambled % 60));
        item.entry.attr = attrs[i % 5];
        entries.push_back(std::move(item));
    }
    return entries;
}

struct Window {
    SilentUserInterface ui;
    MainController controller{ui};
    QWidget frame;
    RemoteBrowser remote{controller.browsers(), controller.setup(), &frame};

    explicit Window(int count)
    {
        remote.list()->setGeometry(0, 0, 600, 500);
        frame.resize(600, 500);
        frame.show();
        tFolderObject &folder = controller.browsers().state().storeListing(QStringLiteral("/big/"), {}, QString());
        folder.folderEntries = bigFolder(count);
        controller.browsers().setRemoteFolder(QStringLiteral("/big/"));
    }
    void paint()
    {
        // Lays the rows out and paints what is visible, as the next frame on screen would.
        remote.list()->viewport()->repaint();
        QApplication::processEvents();
    }
};

void BM_RemoteFolderAppears(benchmark::State &state)
{
    Window w(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        w.remote.refreshRemoteView();
        w.paint();
    }
    if (w.remote.model()->rowCount() != state.range(0))
        state.SkipWithError("rows missing");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RemoteFolderAppears)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One header click on a column (alternating the direction, so each click sorts) and the paint.
void BM_ResortByColumn(benchmark::State &state)
{
    Window w(static_cast<int>(state.range(1)));
    w.remote.refreshRemoteView();
    w.paint();
    const int column = static_cast<int>(state.range(0));
    QHeaderView *header = w.remote.list()->header();
    Qt::SortOrder order = Qt::DescendingOrder;
    for (auto _ : state) {
        header->setSortIndicator(column, order);
        w.paint();
        order = order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    }
    state.SetLabel(w.remote.model()->headerData(column, Qt::Horizontal).toString().toStdString());
}
BENCHMARK(BM_ResortByColumn)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {10'000, 100'000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The first click on a column after the folder was shown: the click that also ranks the
// names (and, for Type, the type texts) of the freshly shown entries.
void BM_FirstResortAfterShowing(benchmark::State &state)
{
    Window w(static_cast<int>(state.range(1)));
    const int column = static_cast<int>(state.range(0));
    QHeaderView *header = w.remote.list()->header();
    for (auto _ : state) {
        state.PauseTiming();
        header->setSortIndicator(column == 0 ? 1 : 0, Qt::AscendingOrder);
        w.remote.refreshRemoteView();
        w.paint();
        state.ResumeTiming();
        header->setSortIndicator(column, Qt::DescendingOrder);
        w.paint();
    }
    state.SetLabel(w.remote.model()->headerData(column, Qt::Horizontal).toString().toStdString());
}
BENCHMARK(BM_FirstResortAfterShowing)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {100'000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
