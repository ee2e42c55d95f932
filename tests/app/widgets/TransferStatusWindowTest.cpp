// The real window during a real, throttled download from pyftpdlib: the title, captions,
// queue cells, progress bar and meter follow the transfer, and a disconnect leaves no
// remote folder behind. With KESTRIN_TRANSFER_SCREENSHOT set, the window's picture in the
// middle of the transfer is saved to that file.
#include "app/widgets/BrowserPane.h"
#include "app/widgets/ProgramWindow.h"
#include "queue/widgets/QueuePanel.h"
#include "settings/SettingsCatalogue.h"
#include "status/widgets/MeterGraph.h"
#include "status/widgets/MeterPanel.h"
#include "support/ServerProcess.h"
#include "support/TempHome.h"
#include "ui/CaptionBar.h"

#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

constexpr int kBytesPerSecond = 160 * 1024;

bool matches(const QString &text, const char *pattern)
{
    return QRegularExpression(QString::fromLatin1(pattern)).match(text).hasMatch();
}

TEST(TransferStatusWindow, ShowsProgressRateTimeLeftAndMeterDuringARealDownload)
{
    TempHome home;
    // For the picture the download runs longer, so the meter has a curve worth showing.
    const QByteArray shot = qgetenv("KESTRIN_TRANSFER_SCREENSHOT");
    const int kFileSize = (shot.isEmpty() ? 2 : 6) * 1024 * 1024;
    const QString kb = QString::number(kFileSize / 1024);
    QTemporaryDir root;
    {
        QFile big(root.path() + QStringLiteral("/big.bin"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        big.write(QByteArray(kFileSize, 'k'));
    }
    ServerProcess server;
    const uint16_t port = ServerProcess::freePort();
    ASSERT_TRUE(server.start(QStringLiteral("/usr/bin/python3"),
                             {QStringLiteral(KESTRIN_SOURCE_DIR "/tests/support/pyftpdlib_slow_server.py"),
                              QString::number(port), root.path(), QStringLiteral("kestrin"),
                              QStringLiteral("s3cret pass"), QString::number(kBytesPerSecond)},
                             port))
        << server.readLog().toStdString();

    auto w = std::make_unique<ProgramWindow>();
    MainController &c = w->controller();
    c.FormCreate({});
    write(c.setup(), Keys::advancedBandwidthMeterInfoMode, 1); // rate lines always
    w->resize(1100, 720);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.started(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return w->windowTitle() == QStringLiteral("Not connected - Kestrin FTP Pro 2.8"); }, 2000));
    EXPECT_EQ(w->remotePane()->captionBar()->caption(), QStringLiteral("ftp server  -  not connected"));

    SessionSupervisor &s = c.sessions();
    tSiteRecord site;
    site.name = QStringLiteral("slow site");
    site.Host = QStringLiteral("127.0.0.1");
    site.Port = QString::number(port);
    site.User = QStringLiteral("kestrin");
    site.Pass = QStringLiteral("s3cret pass");
    s.setCurrentSite(site);
    s.setConnectionWanted(true);
    c.browsers().setRemoteFolder(QStringLiteral("/"));
    s.timer_threads();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.mainSession()->loggedIn && c.queue().model().isEmpty(); }, 15000));

    tFolderEntryObject entry;
    entry.name = QStringLiteral("big.bin");
    entry.size = kFileSize;
    const QString local = home.path() + QStringLiteral("/big.bin");
    QueueItem *item = c.queue().addToQueue(QStringLiteral("getfile*/big.bin*") + local, &entry);
    ASSERT_NE(item, nullptr);
    const std::uint64_t id = item->id();

    // Past the first seconds the time left is a real figure and the meter has samples.
    const auto running = [&] { return c.queue().model().itemById(id); };
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QueueItem *it = running();
            return it && matches(it->timeLeftText, "^\\d+m \\d+s$") && c.meter().model().smoothedReceived(0) > 0 &&
                   c.meter().model().received(2) > 0;
        },
        12000))
        << (running() ? running()->statusText.toStdString() + " / " + running()->timeLeftText.toStdString() : "gone");
    QTest::qWait(1100); // one more meter second, so the curve has a slope to show
    QueueItem *it = running();
    ASSERT_NE(it, nullptr) << "the download ended before it could be watched";
    EXPECT_TRUE(matches(it->statusText, "^[0-9.]+KB @ \\d+[.,]\\dKB/s$")) << it->statusText.toStdString();
    EXPECT_TRUE(
        matches(w->windowTitle(), "^\\d+[.,]\\d% done - slow site \\(127\\.0\\.0\\.1\\) - Kestrin FTP Pro 2\\.8$"))
        << w->windowTitle().toStdString();
    EXPECT_GT(w->queuePanel()->progressBar()->value(), 0);
    EXPECT_LT(w->queuePanel()->progressBar()->value(), 100);
    EXPECT_EQ(
        w->queuePanel()->caption()->caption(),
        QStringLiteral(" ftp queue  -  1 files in queue (%1 kb)  -  1 from ftp (%1 kb)  -  0 to ftp (0 kb)").arg(kb));
    EXPECT_TRUE(w->remotePane()->captionBar()->caption().startsWith(QStringLiteral("ftp server  -  1 files (")))
        << w->remotePane()->captionBar()->caption().toStdString();
    EXPECT_GT(c.meter().model().received(1), 0);
    EXPECT_LE(c.meter().model().received(1), kFileSize);
    if (!shot.isEmpty()) {
        // Later in the transfer the curve has more seconds to show.
        EXPECT_TRUE(QTest::qWaitFor([&] { return w->queuePanel()->progressBar()->value() >= 90; }, 60000));
        EXPECT_TRUE(w->grab().save(QString::fromLocal8Bit(shot)));
    }

    ASSERT_TRUE(QTest::qWaitFor([&] { return !running(); }, 60000));
    EXPECT_EQ(QFileInfo(local).size(), kFileSize);

    // Disconnecting leaves no current remote folder and no cached entries behind.
    s.setConnectionWanted(false);
    s.timer_threads();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.isFullyDisconnected(); }, 10000));
    EXPECT_TRUE(c.browsers().rFolder().isEmpty());
    EXPECT_EQ(c.browsers().state().rEntries, nullptr);
    EXPECT_TRUE(c.browsers().state().rFolders.empty());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w->remotePane()->captionBar()->caption() == QStringLiteral("ftp server  -  not connected"); },
        2000));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Not connected - Kestrin FTP Pro 2.8"));
    // The logo takes the remote list's place again.
    EXPECT_TRUE(w->remotePane()->logoShown());
}

TEST(TransferStatusWindow, AMeterWithoutAreaDrawsNothing)
{
    MeterModel model;
    model.addReceived(50000);
    model.sample(1.0);
    MeterGraph graph;
    graph.setModel(&model);
    graph.setOptions([] { return MeterGraph::Options{false, 2}; }); // no rate lines
    graph.resize(0, 40);
    QPixmap canvas(10, 10);
    canvas.fill(Qt::red);
    graph.render(&canvas);
    EXPECT_EQ(canvas.toImage().pixelColor(5, 5), QColor(Qt::red));
    graph.resize(120, 60);
    QImage drawn(120, 60, QImage::Format_ARGB32);
    drawn.fill(Qt::red);
    graph.render(&drawn);
    // White ground, and the received area at the right (newest) edge near the bottom.
    EXPECT_EQ(drawn.pixelColor(30, 58), QColor(Qt::white));
    EXPECT_EQ(drawn.pixelColor(119, 58).rgba(), 0xFFC1C8D9u);
}

} // namespace
