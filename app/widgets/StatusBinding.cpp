#include "app/widgets/StatusBinding.h"

#include "app/MainController.h"
#include "app/widgets/BrowserPane.h"
#include "app/widgets/Commands.h"
#include "app/widgets/MainWindow.h"
#include "base/Guard.h"
#include "peripheral/widgets/NewVersionWindow.h"
#include "queue/widgets/QueuePanel.h"
#include "settings/SettingsCatalogue.h"
#include "status/widgets/MainStatusBar.h"
#include "status/widgets/MeterGraph.h"
#include "status/widgets/MeterPanel.h"
#include "ui/CaptionBar.h"

#include <QAction>
#include <QPointer>
#include <QProgressBar>
#include <QToolButton>

namespace {

void showVersionWindow(MainWindow &w)
{
    // One window at a time: a background result while the window is open shows in it.
    static QPointer<NewVersionWindow> open;
    if (open)
        return;
    NewVersionWindow window(w.controller().versionCheck(), &w);
    open = &window;
    window.exec();
}

void bindMeter(MainWindow &w, MainController &c)
{
    MeterGraph *graph = w.meterPanel()->graph();
    graph->setModel(&c.meter().model());
    const tSetupClass &setup = c.setup();
    graph->setOptions([&setup] {
        return MeterGraph::Options{read(setup, Keys::disableBandwidthMeter),
                                   static_cast<int>(read(setup, Keys::advancedBandwidthMeterInfoMode))};
    });
    QObject::connect(&c.meter(), &MeterController::sampled, graph, &MeterGraph::samplesChanged);
    QObject::connect(&c.setup(), &tSetupClass::valueChanged, graph, [graph](const QString &key) {
        if (key.compare(Keys::disableBandwidthMeter.key(), Qt::CaseInsensitive) == 0 ||
            key.compare(Keys::advancedBandwidthMeterInfoMode.key(), Qt::CaseInsensitive) == 0)
            graph->update();
    });
    Commands &cmd = w.commands();
    cmd.acMeterDisabled->setChecked(read(setup, Keys::disableBandwidthMeter));
    QObject::connect(cmd.acMeterReset, &QAction::triggered, &c.meter(),
                     [&c] { guarded("nnqmrs", [&c] { c.meter().resetMeter(); }); });
    QObject::connect(cmd.acMeterDisabled, &QAction::toggled, &c.meter(), [&c](bool on) {
        guarded("nnqmds", [&c, on] { write(c.setup(), Keys::disableBandwidthMeter, on); });
    });
}

} // namespace

void bindStatusViews(MainWindow &w)
{
    MainController &c = w.controller();
    StatusController &s = c.status();
    QObject::connect(&s, &StatusController::titleChanged, &w, [&w](const QString &t) { w.setWindowTitle(t); });
    QObject::connect(&s, &StatusController::localCaptionChanged, w.localPane()->captionBar(), &CaptionBar::setCaption);
    QObject::connect(&s, &StatusController::remoteCaptionChanged, w.remotePane()->captionBar(),
                     &CaptionBar::setCaption);
    QueuePanel *queue = w.queuePanel();
    QObject::connect(&s, &StatusController::queueCaptionChanged, queue->caption(), &CaptionBar::setCaption);
    QObject::connect(&s, &StatusController::pauseTextChanged, queue->pauseButton(), &QToolButton::setText);
    QObject::connect(&s, &StatusController::pauseImageChanged, queue->pauseButton(),
                     [button = queue->pauseButton()](int image) { button->setDown(image == 1); });
    if (auto *bar = qobject_cast<MainStatusBar *>(w.statusBar())) {
        QObject::connect(&s, &StatusController::encryptionChanged, bar, &MainStatusBar::setEncryption);
        QObject::connect(&s, &StatusController::plainConnectionChanged, bar, &MainStatusBar::setPlainConnection);
    }
    QObject::connect(&s, &StatusController::progressChanged, queue->progressBar(),
                     [bar = queue->progressBar()](int percent) { bar->setValue(std::max(percent, 0)); });
    const QColor highlight = w.palette().color(QPalette::Highlight);
    s.setCaptionGradients({highlight.darker(130), highlight.lighter(150)},
                          {QColor(128, 128, 128), QColor(192, 192, 192)});
    CaptionBar *bars[3] = {w.localPane()->captionBar(), w.remotePane()->captionBar(), queue->caption()};
    for (int i = 0; i < 3; ++i) {
        const auto shown = s.captionGradient(static_cast<StatusController::Caption>(i));
        bars[i]->setColors(shown.from, shown.to);
    }
    QObject::connect(&s, &StatusController::captionColorsChanged, &w,
                     [bars0 = bars[0], bars1 = bars[1], bars2 = bars[2]](StatusController::Caption which,
                                                                         const QColor &from, const QColor &to) {
                         CaptionBar *bar = which == StatusController::Caption::Local    ? bars0
                                           : which == StatusController::Caption::Remote ? bars1
                                                                                        : bars2;
                         bar->setColors(from, to);
                     });
    bindMeter(w, c);

    VersionCheck &check = c.versionCheck();
    QObject::connect(w.commands().acCheckNewVersion, &QAction::triggered, &w,
                     [&w] { guarded("nnchkv", [&w] { showVersionWindow(w); }); });
    // Shown after the socket event that delivered the answer has returned.
    QObject::connect(
        &check, &VersionCheck::newVersionFound, &w, [&w] { guarded("nnchkw", [&w] { showVersionWindow(w); }); },
        Qt::QueuedConnection);
}
