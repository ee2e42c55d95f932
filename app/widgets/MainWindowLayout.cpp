// The regions of the main window: log, the two panes, the bottom panel and the status bar.
#include "app/widgets/BrowserPane.h"
#include "app/widgets/CaptionBar.h"
#include "app/widgets/LogoWidget.h"
#include "app/widgets/MainWindow.h"
#include "app/widgets/PendingListModel.h"
#include "browser/widgets/FileBrowsers.h"
#include "status/widgets/LogView.h"

#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

struct Column {
    const char *caption;
    int width;
};

// A file or queue list with its default columns; its own model replaces the pending one.
QTreeView *makeList(const QString &name, std::initializer_list<Column> columns, QWidget *parent)
{
    auto *view = new QTreeView(parent);
    view->setObjectName(name);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
    QStringList captions;
    for (const Column &c : columns)
        captions << QString::fromLatin1(c.caption);
    view->setModel(new PendingListModel(captions, view));
    QHeaderView *header = view->header();
    header->setSectionsMovable(true);
    header->setStretchLastSection(false);
    header->setFixedHeight(20);
    int i = 0;
    for (const Column &c : columns)
        header->resizeSection(i++, c.width);
    return view;
}

// The meter's drawing area until the meter draws into it: a dark field.
QWidget *meterField(QWidget *parent)
{
    auto *area = new QWidget(parent);
    area->setObjectName(QStringLiteral("img"));
    area->setAutoFillBackground(true);
    QPalette p = area->palette();
    p.setColor(QPalette::Window, QColor(16, 24, 40));
    area->setPalette(p);
    return area;
}

} // namespace

void MainWindow::buildRegions()
{
    m_log = new LogView(this);
    m_log->setLogModel(&m_controller->log);
    m_log->setMinimumHeight(LogView::kRowHeight);

    m_browsers = new FileBrowsers(*m_controller, this);
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
    buildStatusBar();
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
    if (auto *meterCaption = findChild<CaptionBar *>(QStringLiteral("icShape")))
        m_browsers->local().addFocusSource(meterCaption);
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

    m_gamePanel = new QWidget(m_bottomPanel);
    m_gamePanel->setObjectName(QStringLiteral("gamepanel"));
    m_gamePanel->setMinimumWidth(50);
    auto *meterLayout = new QVBoxLayout(m_gamePanel);
    meterLayout->setContentsMargins(0, 0, 0, 0);
    meterLayout->setSpacing(0);
    auto *icShape = new CaptionBar(QStringLiteral(" bandwidth meter"), QString(), m_gamePanel);
    icShape->setObjectName(QStringLiteral("icShape"));
    meterLayout->addWidget(icShape);
    m_meterArea = meterField(m_gamePanel);
    m_meterArea->setContextMenuPolicy(Qt::CustomContextMenu);
    meterLayout->addWidget(m_meterArea, 1);

    m_bottom = new QSplitter(Qt::Horizontal, m_bottomPanel);
    m_bottom->setObjectName(QStringLiteral("Splitter4"));
    m_bottom->setHandleWidth(3);
    m_bottom->setChildrenCollapsible(false);
    m_bottom->addWidget(m_gamePanel);
    m_bottom->addWidget(buildQueuePanel());
    m_bottom->setStretchFactor(1, 1);

    auto *layout = new QVBoxLayout(m_bottomPanel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_bottom);
    return m_bottomPanel;
}

QWidget *MainWindow::buildQueuePanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("queuePanel"));
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_qshap = new CaptionBar(
        QStringLiteral(" ftp queue  -  0 files in queue (0 kb)  -  0 from ftp (0 kb)  -  0 to ftp (0 kb)"), QString(),
        panel);
    m_qshap->setObjectName(QStringLiteral("qshap"));
    auto captionButton = [this](const QString &name, const QString &caption, const QString &hint) {
        auto *button = new QToolButton(m_qshap);
        button->setObjectName(name);
        button->setText(caption);
        button->setToolTip(hint);
        button->setAutoRaise(true);
        button->setFixedHeight(16);
        button->setStyleSheet(QStringLiteral("QToolButton { color: white; padding: 0 3px; }"));
        m_qshap->addLeading(button);
        return button;
    };
    m_pauseBtn = captionButton(QStringLiteral("pauseBtn"), QStringLiteral("stop queue"),
                               QStringLiteral("Start or stop the file transfer queue"));
    m_clearBtn = captionButton(QStringLiteral("clearBtn"), QStringLiteral("clear"),
                               QStringLiteral("Clear all entries in the queue"));
    layout->addWidget(m_qshap);

    m_qLv = makeList(QStringLiteral("qLv"),
                     {{"Action", 250}, {"Size", 75}, {"Status", 100}, {"Progress", 65}, {"Time left", 65}}, panel);
    layout->addWidget(m_qLv, 1);

    m_prog = new QProgressBar(panel);
    m_prog->setObjectName(QStringLiteral("prog"));
    m_prog->setFixedHeight(8);
    m_prog->setTextVisible(false);
    m_prog->setRange(0, 100);
    m_prog->setValue(0);
    layout->addWidget(m_prog);
    return panel;
}

void MainWindow::buildStatusBar()
{
    QStatusBar *stat = statusBar();
    stat->setObjectName(QStringLiteral("stat"));
    stat->setFixedHeight(19);
    stat->setSizeGripEnabled(true);
    auto *first = new QLabel(stat);
    first->setObjectName(QStringLiteral("statPanel0"));
    first->setFixedWidth(25);
    m_statHint = new QLabel(stat);
    m_statHint->setObjectName(QStringLiteral("statPanel1"));
    stat->addWidget(first);
    stat->addWidget(m_statHint, 1);
}
