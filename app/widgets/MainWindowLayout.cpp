// The regions of the main window: log, the two panes, the bottom panel and the status bar.
#include "app/widgets/BrowserPane.h"
#include "app/widgets/LogoWidget.h"
#include "app/widgets/MainWindow.h"
#include "browser/widgets/FileBrowsers.h"
#include "queue/widgets/QueuePanel.h"
#include "queue/widgets/QueueView.h"
#include "status/widgets/LogView.h"
#include "status/widgets/MainStatusBar.h"
#include "status/widgets/MeterPanel.h"
#include "ui/CaptionBar.h"

#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

void MainWindow::buildRegions()
{
    m_log = new LogView(this);
    m_log->setLogModel(&m_controller.log());
    m_log->setMinimumHeight(LogView::kRowHeight);

    m_browsers = new FileBrowsers(m_controller.browsers(), m_controller.setup(), this);
    m_lLv = m_browsers->local().list();
    m_rlv = m_browsers->remote().list();
    for (QTreeView *list : {m_lLv, m_rlv})
        list->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_lPanel = new BrowserPane(BrowserPane::Side::Local, m_lLv, this);
    m_rPanel = new BrowserPane(BrowserPane::Side::Remote, m_rlv, this);
    m_rPanel->setLogoShown(true);

    m_panes = new QSplitter(Qt::Horizontal, this);
    m_panes->setObjectName(QStringLiteral("Splitter3"));
    m_panes->setHandleWidth(3);
    m_panes->setChildrenCollapsible(false);
    m_panes->addWidget(m_lPanel);
    m_panes->addWidget(m_rPanel);
    m_panes->setStretchFactor(1, 1);

    m_vertical = new QSplitter(Qt::Vertical, this);
    m_vertical->setObjectName(QStringLiteral("mainSplitter"));
    m_vertical->setHandleWidth(3);
    m_vertical->setChildrenCollapsible(false);
    m_vertical->addWidget(m_log);
    m_vertical->addWidget(m_panes);
    m_vertical->addWidget(buildBottomPanel());
    m_vertical->setStretchFactor(1, 1);
    // Handle 1 sits below the log and is hidden with it; handle 2 is above the bottom panel.
    m_vertical->handle(1)->setObjectName(QStringLiteral("Splitter1"));
    m_vertical->handle(2)->setObjectName(QStringLiteral("Splitter2"));
    setCentralWidget(m_vertical);
    setStatusBar(new MainStatusBar(this));
    attachBrowsers();
}

void MainWindow::attachBrowsers()
{
    const std::pair<FileBrowser *, BrowserPane *> sides[] = {{&m_browsers->local(), m_lPanel},
                                                             {&m_browsers->remote(), m_rPanel}};
    for (const auto &[browser, pane] : sides)
        browser->attachRow(
            {pane->combo(), pane->filterPanel(), pane->filter(), pane->alwaysFolders(), pane->wildcard()});
    // A press on a caption bar makes its side the active one: the local caption and the
    // meter's for the local side; the remote caption, the empty remote pane and the logo for
    // the remote side.
    m_browsers->local().addFocusSource(m_lPanel->captionBar());
    m_browsers->local().addFocusSource(m_meter->caption());
    for (QWidget *source : {static_cast<QWidget *>(m_rPanel->captionBar()), static_cast<QWidget *>(m_rPanel),
                            static_cast<QWidget *>(m_rPanel->logo())})
        m_browsers->remote().addFocusSource(source);
    // One header style and one header menu for the three lists.
    m_browsers->headerStyles().addHeader(m_qLv->header(), true);
}

QWidget *MainWindow::buildBottomPanel()
{
    m_bottomPanel = new QWidget(this);
    m_bottomPanel->setObjectName(QStringLiteral("bottompanel"));
    m_bottomPanel->setMinimumSize(25, 25);

    m_meter = new MeterPanel(m_bottomPanel);
    m_queue = new QueuePanel(m_controller.queue().model(), m_bottomPanel);
    connect(m_queue, &QueuePanel::pauseClicked, this, [this] { m_controller.queue().toggleQueue(); });
    m_queue->attachSavedQueues(m_controller.savedQueues());
    m_qLv = m_queue->list();

    m_bottom = new QSplitter(Qt::Horizontal, m_bottomPanel);
    m_bottom->setObjectName(QStringLiteral("Splitter4"));
    m_bottom->setHandleWidth(3);
    m_bottom->setChildrenCollapsible(false);
    m_bottom->addWidget(m_meter);
    m_bottom->addWidget(m_queue);
    m_bottom->setStretchFactor(1, 1);

    auto *layout = new QVBoxLayout(m_bottomPanel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_bottom);
    return m_bottomPanel;
}
