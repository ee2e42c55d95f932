#include "sites/widgets/ConnectViews.h"

#include "app/MainController.h"
#include "base/Guard.h"
#include "sites/widgets/HistoryWindow.h"
#include "sites/widgets/VuzidIRAWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

ConnectViews::ConnectViews(MainController &controller, const Actions &actions, const Boxes &boxes, QMenu *connectMenu,
                           QTreeView *remoteList, QWidget *window, std::function<void()> configureHistory)
    : QObject(window), m_controller(controller), m_boxes(boxes), m_connectMenu(connectMenu), m_remoteList(remoteList),
      m_fixedItems(static_cast<int>(connectMenu->actions().size())), m_window(window),
      m_configureHistory(std::move(configureHistory))
{
    ConnectController &c = m_controller.connection();
    auto on = [this](QAction *action, const char *siteId, std::function<void()> work) {
        connect(action, &QAction::triggered, this, [siteId, work = std::move(work)] { guarded(siteId, work); });
    };
    on(actions.connect, "nnccon", [this] {
        readBoxes();
        m_controller.connection().acConnect(ConnectController::Caller::ConnectAction);
    });
    on(actions.disconnect, "nncdis", [this] { m_controller.connection().acDisconnect(); });
    on(actions.pasteUrl, "nncpst", [this] {
        readBoxes();
        m_controller.connection().acPasteUrl(QApplication::clipboard()->text());
    });
    on(actions.vuzidira, "nncvuz", [this] { openVuzidira(QString()); });
    on(actions.history, "nnchis", [this] { openHistory(); });
    on(actions.openHistory, "nnchis", [this] { openHistory(); });

    for (QLineEdit *box : {m_boxes.address, m_boxes.user, m_boxes.password, m_boxes.port}) {
        connect(box, &QLineEdit::textEdited, this, [this] { readBoxes(); });
        // Enter in any box connects.
        connect(box, &QLineEdit::returnPressed, this, [this] {
            guarded("nncent", [this] {
                readBoxes();
                m_controller.connection().acConnect(ConnectController::Caller::ConnectAction);
            });
        });
    }
    for (int i = 0; i < kEncryptionChoiceCount; ++i)
        m_boxes.encryption->addItem(encryptionChoiceText(static_cast<SiteEncryption>(i)));
    connect(m_boxes.encryption, &QComboBox::currentIndexChanged, this, [this] { readBoxes(); });
    for (int i = 0; i < kProtocolChoiceCount; ++i)
        m_boxes.protocol->addItem(protocolChoiceText(static_cast<SiteProtocol>(i)));
    connect(m_boxes.protocol, &QComboBox::currentIndexChanged, this, [this] { readBoxes(); });
    connect(&c, &ConnectController::quickConnectChanged, this, &ConnectViews::showQuickConnect);
    connect(&c, &ConnectController::vuzidiraRequested, this, &ConnectViews::openVuzidira);
    connect(&c, &ConnectController::historyWindowRequested, this, [this] { openHistory(); });
    connect(m_connectMenu, &QMenu::aboutToShow, this, &ConnectViews::rebuildConnectMenu);
    // The desktop tells when the clipboard changes: nothing polls it.
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &ConnectViews::clipboardChanged);
    // The first listing of each connection gets columns wide enough for its names and dates.
    connect(&m_controller, &MainController::siteLoggedIn, this, [this] { m_fitPending = true; });
    connect(&m_controller.browsers(), &BrowserController::viewRefreshed, this,
            [this](BrowserController::Side side, const QString &, const QString &) {
                if (side != BrowserController::Side::Remote || !m_fitPending)
                    return;
                m_fitPending = false;
                // After the list has taken the new rows.
                QTimer::singleShot(0, this, [this] { guarded("nncfit", [this] { fitRemoteColumns(); }); });
            });
    showQuickConnect();
}

void ConnectViews::fitRemoteColumns()
{
    if (!m_remoteList || !m_remoteList->model())
        return;
    QHeaderView *header = m_remoteList->header();
    for (int col = 0; col < m_remoteList->model()->columnCount(); ++col) {
        if (m_remoteList->isColumnHidden(col))
            continue;
        const int wanted = std::max(static_cast<QAbstractItemView *>(m_remoteList)->sizeHintForColumn(col),
                                    header->sectionSizeHint(col));
        if (wanted > m_remoteList->columnWidth(col))
            m_remoteList->setColumnWidth(col, wanted);
    }
}

void ConnectViews::showQuickConnect()
{
    const ConnectController::QuickConnect &q = m_controller.connection().quickConnect();
    const std::pair<QLineEdit *, const QString *> boxes[] = {{m_boxes.address, &q.address},
                                                             {m_boxes.user, &q.user},
                                                             {m_boxes.password, &q.password},
                                                             {m_boxes.port, &q.port}};
    for (const auto &[box, text] : boxes) {
        if (box->text() != *text)
            box->setText(*text);
    }
    const int encryption = static_cast<int>(q.encryption);
    if (m_boxes.encryption->currentIndex() != encryption) {
        const QSignalBlocker quiet(m_boxes.encryption);
        m_boxes.encryption->setCurrentIndex(encryption);
    }
    const int protocol = static_cast<int>(q.protocol);
    if (m_boxes.protocol->currentIndex() != protocol) {
        const QSignalBlocker quiet(m_boxes.protocol);
        m_boxes.protocol->setCurrentIndex(protocol);
    }
    m_boxes.encryption->setEnabled(q.protocol == SiteProtocol::Ftp);
}

void ConnectViews::readBoxes()
{
    m_controller.connection().setQuickConnect(
        {m_boxes.address->text(), m_boxes.user->text(), m_boxes.password->text(), m_boxes.port->text(),
         static_cast<SiteEncryption>(std::max(0, m_boxes.encryption->currentIndex())),
         static_cast<SiteProtocol>(std::max(0, m_boxes.protocol->currentIndex()))});
}

void ConnectViews::clipboardChanged()
{
    guarded("nnclip", [this] {
        // Never over another modal window (nor while the program is not started or hidden).
        if (QApplication::activeModalWidget() || !m_controller.started() || !m_window->isVisible())
            return;
        m_controller.connection().clipboardChanged(QApplication::clipboard()->text());
    });
}

void ConnectViews::openVuzidira(const QString &url)
{
    guarded("nncvzo", [this, &url] {
        if (!m_vuzidira)
            m_vuzidira = new VuzidIRAWindow(m_controller.connection(), m_controller.ui(), m_window);
        if (!url.isEmpty())
            m_vuzidira->setUrl(url);
        m_vuzidira->show();
        m_vuzidira->raise();
        m_vuzidira->activateWindow();
    });
}

HistoryWindow *ConnectViews::openHistory()
{
    if (m_history) {
        m_history->raise();
        return m_history;
    }
    m_history = new HistoryWindow(m_controller.connection(), m_configureHistory, m_window);
    m_history->show();
    return m_history;
}

void ConnectViews::rebuildConnectMenu()
{
    const QList<QAction *> items = m_connectMenu->actions();
    for (int i = m_fixedItems; i < items.size(); ++i) {
        m_connectMenu->removeAction(items[i]);
        items[i]->deleteLater();
    }
    const ConnectionHistory &h = m_controller.connection().history();
    const QIcon site = m_window->style()->standardIcon(QStyle::SP_DriveNetIcon);
    for (qsizetype i = 0; i < h.size(); ++i) {
        const ConnectionHistory::Entry e = h.entry(i);
        // An SFTP login is named with its scheme: the same host may be in the list for FTP.
        const QString host = e.protocol == SiteProtocol::Sftp ? QStringLiteral("sftp://") + e.host : e.host;
        QAction *item = m_connectMenu->addAction(site, host + QStringLiteral("  as  ") + e.user);
        item->setToolTip(QStringLiteral("Click to connect to site: ") + host + QStringLiteral("  with username: ") +
                         e.user);
        item->setStatusTip(item->toolTip());
        connect(item, &QAction::triggered, this,
                [this, i] { guarded("nncrec", [this, i] { m_controller.connection().connectHistoryEntry(i); }); });
    }
}
