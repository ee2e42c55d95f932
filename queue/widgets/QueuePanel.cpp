#include "queue/widgets/QueuePanel.h"

#include "app/widgets/CaptionBar.h"
#include "ui/PendingListModel.h"

#include <QHeaderView>
#include <QProgressBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

struct Column {
    const char *caption;
    int width;
};

// The queue list with its default columns; the queue's own model replaces the pending one.
QTreeView *makeList(std::initializer_list<Column> columns, QWidget *parent)
{
    auto *view = new QTreeView(parent);
    view->setObjectName(QStringLiteral("qLv"));
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

} // namespace

QueuePanel::QueuePanel(QWidget *parent) : QWidget(parent)
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

    m_qLv = makeList({{"Action", 250}, {"Size", 75}, {"Status", 100}, {"Progress", 65}, {"Time left", 65}}, this);
    layout->addWidget(m_qLv, 1);

    m_prog = new QProgressBar(this);
    m_prog->setObjectName(QStringLiteral("prog"));
    m_prog->setFixedHeight(8);
    m_prog->setTextVisible(false);
    m_prog->setRange(0, 100);
    m_prog->setValue(0);
    layout->addWidget(m_prog);
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
