#include "app/widgets/MainWindow.h"

#include "base/Errors.h"
#include "settings/SettingsCatalogue.h"
#include "ui/u_formWait.h"

#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QSaveFile>
#include <QScreen>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <utility>

namespace {

QByteArray readFile(const QString &path, bool *ok)
{
    QFile file(path);
    *ok = file.open(QIODevice::ReadOnly);
    return *ok ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), m_ui(this), m_controller(std::make_unique<MainController>(m_ui, this)),
      m_wait(new TFormWait(this))
{
    setObjectName(QStringLiteral("TFormMain"));
    setWindowTitle(QStringLiteral("Kestrin FTP Pro"));
    setMinimumSize(550, 200);
    buildFrame();
    const WindowGeometry g = WindowGeometry::designed();
    resize(g.width, g.height);
}

MainWindow::~MainWindow()
{
    // The controller's tick must not run against a half-destroyed window.
    m_controller->tick.setEnabled(false);
    m_controller->setView(nullptr);
}

QTreeView *MainWindow::makeList(const QString &name, const QStringList &columns)
{
    auto *view = new QTreeView(this);
    view->setObjectName(name);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    auto *model = new QStandardItemModel(0, static_cast<int>(columns.size()), view);
    model->setHorizontalHeaderLabels(columns);
    view->setModel(model);
    view->header()->setSectionsMovable(true);
    return view;
}

void MainWindow::buildFrame()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction *acClose = file->addAction(QStringLiteral("Close"));
    acClose->setObjectName(QStringLiteral("acClose"));
    connect(acClose, &QAction::triggered, this, &QWidget::close);
    m_debugMenu = menuBar()->addMenu(QStringLiteral("Debug"));
    m_debugMenu->setObjectName(QStringLiteral("debugMenu"));
    m_debugMenu->menuAction()->setVisible(false);

    const std::pair<const char *, const char *> toolbars[] = {{"tbGeneral", "Standard Buttons"},
                                                              {"tbConnection", "Quick Connect Bar"},
                                                              {"tbLinks", "Links Bar"},
                                                              {"tbTools", "Advanced Buttons"}};
    for (const auto &[name, caption] : toolbars) {
        QToolBar *bar = addToolBar(QString::fromLatin1(caption));
        bar->setObjectName(QString::fromLatin1(name));
    }

    const QStringList fileColumns = {QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Type"),
                                     QStringLiteral("Date"), QStringLiteral("Attr")};
    m_lLv = makeList(QStringLiteral("lLv"), fileColumns);
    m_rlv = makeList(QStringLiteral("rlv"), fileColumns);
    m_qLv = makeList(QStringLiteral("qLv"), {QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Status"),
                                             QStringLiteral("Target")});

    m_log = new QLabel(this);
    m_log->setObjectName(QStringLiteral("lvLog"));
    m_lPanel = m_lLv;
    m_gamePanel = new QLabel(QStringLiteral(" bandwidth meter"), this);
    m_gamePanel->setObjectName(QStringLiteral("gamepanel"));

    m_panes = new QSplitter(Qt::Horizontal, this);
    m_panes->setObjectName(QStringLiteral("Splitter3"));
    m_panes->addWidget(m_lLv);
    m_panes->addWidget(m_rlv);
    m_panes->setStretchFactor(1, 1);

    m_bottom = new QSplitter(Qt::Horizontal, this);
    m_bottom->setObjectName(QStringLiteral("Splitter4"));
    m_bottom->addWidget(m_gamePanel);
    m_bottom->addWidget(m_qLv);
    m_bottom->setStretchFactor(1, 1);
    m_bottomPanel = m_bottom;

    m_vertical = new QSplitter(Qt::Vertical, this);
    m_vertical->addWidget(m_log);
    m_vertical->addWidget(m_panes);
    m_vertical->addWidget(m_bottom);
    m_vertical->setStretchFactor(1, 1);
    setCentralWidget(m_vertical);
    statusBar()->setObjectName(QStringLiteral("stat"));
}

void MainWindow::showWaitText(const QString &text)
{
    m_wait->text(text);
}

void MainWindow::startWaitCloseTimer()
{
    m_wait->startCloseTimer();
}

void MainWindow::loadListLayouts(const QString &programData, bool includeQueue)
{
    const std::pair<QTreeView *, const char *> lists[] = {{m_lLv, "lvl.dat"}, {m_rlv, "lvr.dat"}, {m_qLv, "lvq.dat"}};
    for (const auto &[list, name] : lists) {
        if (list == m_qLv && !includeQueue)
            continue;
        bool ok = false;
        const QByteArray state = readFile(programData + QString::fromLatin1(name), &ok);
        if (ok)
            list->header()->restoreState(state);
    }
}

void MainWindow::saveListLayouts(const QString &programData)
{
    const std::pair<QTreeView *, const char *> lists[] = {{m_lLv, "lvl.dat"}, {m_rlv, "lvr.dat"}, {m_qLv, "lvq.dat"}};
    for (const auto &[list, name] : lists)
        writeFile(programData + QString::fromLatin1(name), list->header()->saveState()); // failures are skipped
}

void MainWindow::loadToolbarPositions(const QString &path)
{
    bool ok = false;
    const QByteArray state = readFile(path, &ok);
    if (ok)
        restoreState(state);
}

void MainWindow::saveToolbarPositions(const QString &path)
{
    if (!writeFile(path, saveState()))
        throw FileError(QStringLiteral("Cannot write the toolbar positions to \"%1\"").arg(path));
}

WindowGeometry MainWindow::currentGeometry() const
{
    const QRect r = (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
    WindowGeometry g;
    g.left = r.left();
    g.top = r.top();
    g.width = r.width();
    g.height = r.height();
    g.windowState = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    g.panelBottomHeight = m_bottomPanel->height();
    g.logHeight = m_log->height();
    g.gamePanelWidth = m_gamePanel->width();
    g.lPanelWidth = m_lPanel->width();
    return g;
}

void MainWindow::applyGeometry(const WindowGeometry &g, bool keepStoredPosition)
{
    const QSize size(std::max(g.width, minimumWidth()), std::max(g.height, minimumHeight()));
    if (keepStoredPosition) {
        setGeometry(QRect(QPoint(g.left, g.top), size));
    } else {
        resize(size);
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - QPoint(size.width() / 2, size.height() / 2));
    }
    const int middle = std::max(50, size.height() - g.logHeight - g.panelBottomHeight);
    m_vertical->setSizes({g.logHeight, middle, g.panelBottomHeight});
    m_panes->setSizes({g.lPanelWidth, std::max(50, size.width() - g.lPanelWidth)});
    m_bottom->setSizes({g.gamePanelWidth, std::max(50, size.width() - g.gamePanelWidth)});
    // The state is applied once the window is on screen, so that the platform records the
    // normal rectangle first and restoring gives back the stored size.
    m_pendingState = g.windowState;
    if (isVisible())
        applyPendingState();
}

void MainWindow::applyPendingState()
{
    const int state = std::exchange(m_pendingState, 0);
    if (state == 2)
        showMaximized();
    else if (state == 1)
        showMinimized();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_pendingState != 0)
        QMetaObject::invokeMethod(this, &MainWindow::applyPendingState, Qt::QueuedConnection);
}

void MainWindow::setDebugMenuVisible(bool visible)
{
    m_debugMenu->menuAction()->setVisible(visible);
}

void MainWindow::applyInterfaceSettings()
{
    m_wait->setDisabled(read(m_controller->setup, Keys::noPleaseWaitWindow));
}

void MainWindow::closeMainWindow()
{
    // Closed from inside a tick or a dialog: let that finish first.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_controller->FormCloseQuery())
        event->accept();
    else
        event->ignore();
}
