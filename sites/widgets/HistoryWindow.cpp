#include "sites/widgets/HistoryWindow.h"

#include "base/Guard.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

HistoryWindow::HistoryWindow(ConnectController &connection, std::function<void()> configure, QWidget *parent)
    : QDialog(parent), m_connection(connection), m_configure(std::move(configure)), m_lv(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("TformHistory"));
    setWindowTitle(QStringLiteral("Connection History - Kestrin FTP Pro"));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setSizeGripEnabled(true);

    auto *bar = new QToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QStyle *s = style();
    bar->addAction(s->standardIcon(QStyle::SP_DriveNetIcon), QStringLiteral("Connect"), this,
                   [this] { guarded("nnhscn", [this] { connectSelected(); }); });
    bar->addAction(s->standardIcon(QStyle::SP_TrashIcon), QStringLiteral("Delete"), this,
                   [this] { guarded("nnhsdl", [this] { deleteSelected(); }); });
    bar->addAction(s->standardIcon(QStyle::SP_FileDialogDetailedView), QStringLiteral("Configure"), this, [this] {
        guarded("nnhscf", [this] {
            if (m_configure)
                m_configure();
        });
    });

    m_lv->setObjectName(QStringLiteral("lv"));
    m_lv->setHeaderLabels({QStringLiteral("Hostname"), QStringLiteral("Username"), QStringLiteral("Password"),
                           QStringLiteral("Port"), QStringLiteral("Last Remote Folder"), QStringLiteral("Protocol")});
    m_lv->setRootIsDecorated(false);
    m_lv->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lv->setAllColumnsShowFocus(true);
    connect(m_lv, &QTreeWidget::itemDoubleClicked, this, [this] { guarded("nnhscn", [this] { connectSelected(); }); });
    connect(&m_connection, &ConnectController::historyChanged, this, &HistoryWindow::fill);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(bar);
    layout->addWidget(m_lv);
    fill();
    resize(640, 300);
}

void HistoryWindow::fill()
{
    m_lv->clear();
    const ConnectionHistory &h = m_connection.history();
    const QIcon site = style()->standardIcon(QStyle::SP_DriveNetIcon);
    for (qsizetype i = 0; i < h.size(); ++i) {
        const ConnectionHistory::Entry e = h.entry(i);
        auto *row = new QTreeWidgetItem(m_lv, {e.host, e.user, QStringLiteral("[** hidden **]"), e.port, e.rFolder,
                                               protocolChoiceText(e.protocol)});
        row->setIcon(0, site);
    }
    for (int c = 0; c < m_lv->columnCount(); ++c)
        m_lv->resizeColumnToContents(c);
}

void HistoryWindow::connectSelected()
{
    QList<qsizetype> rows;
    for (QTreeWidgetItem *item : m_lv->selectedItems())
        rows << m_lv->indexOfTopLevelItem(item);
    if (rows.isEmpty())
        return;
    const qsizetype first = *std::min_element(rows.begin(), rows.end());
    // The window goes away on close: nothing of it is used after this point.
    ConnectController &connection = m_connection;
    close();
    connection.connectHistoryEntry(first);
}

void HistoryWindow::deleteSelected()
{
    QList<qsizetype> rows;
    for (QTreeWidgetItem *item : m_lv->selectedItems())
        rows << m_lv->indexOfTopLevelItem(item);
    if (!rows.isEmpty())
        m_connection.deleteHistoryEntries(rows);
}
