#include "queue/widgets/QueuePanel.h"

#include "app/SavedQueues.h"
#include "queue/QueueModel.h"
#include "queue/widgets/QueueIcons.h"
#include "queue/widgets/QueueView.h"
#include "ui/CaptionBar.h"

#include <QActionGroup>
#include <QMenu>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>

QueuePanel::QueuePanel(QueueModel &model, QWidget *parent)
    : QWidget(parent), m_icons(std::make_unique<QueueIcons>()), m_model(model)
{
    setObjectName(QStringLiteral("queuePanel"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_qshap = new CaptionBar(
        QStringLiteral(" ftp queue  -  0 files in queue (0 kb)  -  0 from ftp (0 kb)  -  0 to ftp (0 kb)"), QString(),
        this);
    m_qshap->setObjectName(QStringLiteral("qshap"));
    m_pauseBtn = addCaptionButton(QStringLiteral("pauseBtn"), QStringLiteral("stop queue"),
                                  QStringLiteral("Start or stop the file transfer queue"));
    m_clearBtn = addCaptionButton(QStringLiteral("clearBtn"), QStringLiteral("clear"),
                                  QStringLiteral("Clear all entries in the queue"));
    layout->addWidget(m_qshap);

    m_model.setIconSource(m_icons.get());
    m_qLv = new QueueView(&m_model, this);
    m_qLv->setContextMenuPolicy(Qt::ActionsContextMenu);
    layout->addWidget(m_qLv, 1);
    connect(m_qLv, &QueueView::deleteRequested, m_qLv, &QueueView::deleteSelected);
    connect(m_pauseBtn, &QToolButton::clicked, this, &QueuePanel::pauseClicked);
    // "clear" and the menu's Delete go the same way as the Delete key, so whoever handles
    // that (asking "Continue to delete?") handles them too.
    connect(m_clearBtn, &QToolButton::clicked, this, [this] {
        m_qLv->selectAllItems();
        emit m_qLv->deleteRequested();
    });
    connect(&m_model, &QueueModel::pausedChanged, this, &QueuePanel::showPaused);
    showPaused(m_model.isPaused());
    buildMenu();

    m_prog = new QProgressBar(this);
    m_prog->setObjectName(QStringLiteral("prog"));
    m_prog->setFixedHeight(8);
    m_prog->setTextVisible(false);
    m_prog->setRange(0, 100);
    m_prog->setValue(0);
    layout->addWidget(m_prog);
}

QueuePanel::~QueuePanel()
{
    // The model outlives the panel: it must not keep our icon source.
    if (m_model.iconSource() == m_icons.get())
        m_model.setIconSource(nullptr);
}

void QueuePanel::showPaused(bool paused)
{
    m_pauseBtn->setText(paused ? QStringLiteral("start queue") : QStringLiteral("stop queue"));
}

void QueuePanel::buildMenu()
{
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("queuePop"));
    const auto add = [this](QMenu *menu, const QString &text, auto &&work) {
        QAction *action = menu->addAction(text);
        connect(action, &QAction::triggered, this, work);
        return action;
    };
    add(m_menu, QStringLiteral("Select All"), [this] { m_qLv->selectAllItems(); });
    add(m_menu, QStringLiteral("Delete"), [this] { emit m_qLv->deleteRequested(); });
    QMenu *move = m_menu->addMenu(QStringLiteral("Move"));
    const std::pair<const char *, QueueModel::Move> moves[] = {{"To Top", QueueModel::Move::ToTop},
                                                               {"To Bottom", QueueModel::Move::ToBottom},
                                                               {"Up", QueueModel::Move::Up},
                                                               {"Down", QueueModel::Move::Down}};
    for (const auto &[text, how] : moves)
        add(move, QString::fromLatin1(text), [this, how = how] { m_qLv->moveSelection(how); });
    QMenu *whenEmpty = m_menu->addMenu(QStringLiteral("When empty"));
    auto *choices = new QActionGroup(whenEmpty);
    const std::pair<const char *, QueueModel::WhenEmpty> options[] = {
        {"Do nothing", QueueModel::WhenEmpty::DoNothing},
        {"Disconnect from site", QueueModel::WhenEmpty::Disconnect},
        {"Close application", QueueModel::WhenEmpty::CloseApplication}};
    for (const auto &[text, choice] : options) {
        QAction *a =
            add(whenEmpty, QString::fromLatin1(text), [this, choice = choice] { m_model.setWhenXferDone(choice); });
        a->setCheckable(true);
        a->setChecked(m_model.whenXferDone() == choice);
        choices->addAction(a);
        connect(&m_model, &QueueModel::whenXferDoneChanged, a,
                [a, choice = choice](QueueModel::WhenEmpty now) { a->setChecked(now == choice); });
    }
    m_menu->addSeparator();
    add(m_menu, QStringLiteral("Insert stop mark"), [this] { m_model.insertStopMark(); });
    m_qLv->addActions(m_menu->actions());
}

void QueuePanel::attachSavedQueues(SavedQueues &queues)
{
    m_savedQueues = &queues;
    m_queueMgr = new QMenu(QStringLiteral("Queue mgr."), m_menu);
    m_queueMgr->setObjectName(QStringLiteral("queueMgr"));
    connect(m_queueMgr->addAction(QStringLiteral("Save queue")), &QAction::triggered, this,
            [this] { m_savedQueues->saveQueueCommand(); });
    m_loadQueue = m_queueMgr->addMenu(QStringLiteral("Load queue"));
    m_deleteQueue = m_queueMgr->addMenu(QStringLiteral("Delete queue"));
    // The list shows the menu's actions in a menu of its own, so the refresh hangs on the
    // submenus, which are the same objects wherever they show.
    connect(m_queueMgr, &QMenu::aboutToShow, this, &QueuePanel::refreshSavedQueueMenus);
    QAction *entry = m_menu->addMenu(m_queueMgr);
    m_qLv->addAction(entry);
    refreshSavedQueueMenus();
}

void QueuePanel::refreshSavedQueueMenus()
{
    if (!m_savedQueues)
        return;
    m_loadQueue->clear();
    m_deleteQueue->clear();
    for (const QString &name : m_savedQueues->savedQueueNames()) {
        // The names are file names: "&" must show as itself, not as a shortcut mark.
        QString text = name;
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        connect(m_loadQueue->addAction(text), &QAction::triggered, this,
                [this, name] { m_savedQueues->loadQueueCommand(name); });
        connect(m_deleteQueue->addAction(text), &QAction::triggered, this,
                [this, name] { m_savedQueues->deleteQueueCommand(name); });
    }
    m_loadQueue->setEnabled(!m_loadQueue->isEmpty());
    m_deleteQueue->setEnabled(!m_deleteQueue->isEmpty());
}

QToolButton *QueuePanel::addCaptionButton(const QString &name, const QString &caption, const QString &hint)
{
    auto *button = new QToolButton(m_qshap);
    button->setObjectName(name);
    button->setText(caption);
    button->setToolTip(hint);
    button->setAutoRaise(true);
    button->setFixedHeight(16);
    button->setStyleSheet(QStringLiteral("QToolButton { color: white; padding: 0 3px; }"));
    m_qshap->addLeading(button);
    return button;
}
