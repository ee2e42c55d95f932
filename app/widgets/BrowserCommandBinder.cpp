#include "app/widgets/BrowserCommandBinder.h"

#include "app/MainController.h"
#include "app/widgets/BrowserPane.h"
#include "app/widgets/Commands.h"
#include "base/Guard.h"
#include "browser/widgets/FileBrowsers.h"
#include "queue/widgets/QueueView.h"
#include "settings/SettingsCatalogue.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QToolButton>
#include <QUrl>

#include <algorithm>

BrowserCommandBinder::BrowserCommandBinder(MainController &controller, const Parts &parts, QObject *parent)
    : QObject(parent), m_controller(controller), m_commands(controller.browserCommands()), m_parts(parts)
{
    bindNamedCommands();
    bindLists();
    bindPanes();
    connect(&m_commands, &BrowserCommands::selectionRequested, this,
            [this](Side side, const std::vector<int> &entries) { select(side, entries); });
    // Compare Folders needs a remote folder, Synchronize a logged-in session as well; their
    // menu items and buttons say so.
    const auto compareState = [this] {
        m_parts.commands->toCompareFolders->setEnabled(m_commands.menuState().canCompare);
        m_parts.commands->toSynchronize->setEnabled(m_controller.folderSync().available());
    };
    connect(&controller.browsers(), &BrowserController::folderShown, this, compareState);
    connect(&controller.queue(), &QueueController::mainSessionLoggedIn, this, compareState);
    compareState();
}

BrowserCommandBinder::Side BrowserCommandBinder::active() const
{
    return m_controller.browsers().localActive() ? Side::Local : Side::Remote;
}

FileListView *BrowserCommandBinder::list(Side side) const
{
    return side == Side::Local ? m_parts.browsers->local().list() : m_parts.browsers->remote().list();
}

std::vector<int> BrowserCommandBinder::selection(Side side) const
{
    FileListView *view = list(side);
    QModelIndexList rows = view->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    std::vector<int> entries;
    for (const QModelIndex &i : rows) {
        const int e = view->fileModel()->entryIndex(i.row());
        if (e >= 0)
            entries.push_back(e);
    }
    return entries;
}

void BrowserCommandBinder::on(QAction *action, const char *siteId, std::function<void()> work)
{
    connect(action, &QAction::triggered, this, [siteId, work = std::move(work)] { guarded(siteId, work); });
}

void BrowserCommandBinder::select(Side side, const std::vector<int> &entries)
{
    FileListView *view = list(side);
    view->clearSelection();
    view->selectEntries(entries);
}

void BrowserCommandBinder::bindNamedCommands()
{
    Commands &c = *m_parts.commands;
    BrowserCommands &b = m_commands;
    on(c.acOpen, "bcopen", [this, &b] { b.open(active(), selection(active())); });
    on(c.acEdit, "bcedit", [this, &b] { b.edit(active(), selection(active())); });
    on(c.acRename, "bcrena", [this, &b] { b.rename(active(), selection(active())); });
    const auto deleteQueueRows = [this] {
        if (!read(m_controller.setup(), Keys::confirmDeleteFromQueue) ||
            m_controller.ui().confirm(QStringLiteral("Continue to delete?")))
            m_parts.queue->deleteSelected();
    };
    on(c.acDelete, "bcdele", [this, &b, deleteQueueRows] {
        if (m_parts.queue->hasFocus()) {
            deleteQueueRows();
            return;
        }
        b.deleteEntries(active(), selection(active()));
    });
    // The Del key in the queue list asks the same question as the Delete command.
    disconnect(m_parts.queue, &QueueView::deleteRequested, m_parts.queue, &QueueView::deleteSelected);
    connect(m_parts.queue, &QueueView::deleteRequested, this,
            [deleteQueueRows] { guarded("bcqdel", deleteQueueRows); });
    on(c.acFolderNew, "bcnewf", [this, &b] { b.newFolder(active()); });
    on(c.acFolderChange, "bcchgf", [this, &b] { b.changeFolder(active()); });
    on(c.acRefresh, "bcrefr", [this, &b] { b.refresh(active()); });
    on(c.acSend, "bcsend", [this, &b] { b.send(selection(Side::Local)); });
    on(c.acReceive, "bcrecv", [this, &b] { b.receive(selection(Side::Remote)); });
    on(c.acSelectAll, "bcsela", [this] { list(active())->selectAll(); });
    on(c.acEditGroupSelect, "bcgrps", [this, &b] { b.groupSelect(active()); });
    on(c.toCompareFolders, "bccomp", [&b] { b.compareFolders(); });
    on(c.toSynchronize, "bcsync", [this] { m_controller.folderSync().synchronize(); });
    on(c.toChMod, "bcchmd", [this, &b] { b.changePermissions(selection(Side::Remote)); });
    const auto showFolder = [this] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(m_controller.browsers().lFolder()));
    };
    on(c.acOpenInExplorer, "bcoiex", showFolder);
    on(c.acOpenExplorer, "bcoexp", showFolder);

    m_transfer = new QAction(QStringLiteral("Send"), this);
    m_transfer->setObjectName(QStringLiteral("lvTransfer"));
    on(m_transfer, "bcxfer", [this, &b] {
        if (active() == Side::Local)
            b.send(selection(Side::Local));
        else
            b.receive(selection(Side::Remote));
    });
    // The list menu shows one transfer item in place of Send and Receive.
    QMenu *menu = m_parts.listMenu;
    menu->insertAction(c.acSend, m_transfer);
    menu->removeAction(c.acSend);
    menu->removeAction(c.acReceive);
}

void BrowserCommandBinder::prepareListMenu()
{
    const ListMenuState s = m_commands.menuState();
    m_transfer->setText(s.transferIsSend ? QStringLiteral("Send") : QStringLiteral("Receive"));
    m_transfer->setIcon(s.transferIsSend ? m_parts.commands->acSend->icon() : m_parts.commands->acReceive->icon());
    m_parts.listMenu->setDefaultAction(s.openIsDefault ? m_parts.commands->acOpen : m_transfer);
    m_parts.commands->toCompareFolders->setEnabled(s.canCompare);
    m_parts.commands->toSynchronize->setEnabled(m_controller.folderSync().available());
}

void BrowserCommandBinder::bindLists()
{
    for (const Side side : {Side::Local, Side::Remote}) {
        FileListView *view = list(side);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint &at) {
            guarded("bcmenu", [&] {
                m_controller.browsers().setLocalActive(view == list(Side::Local));
                prepareListMenu();
                m_parts.listMenu->popup(view->viewport()->mapToGlobal(at));
            });
        });
        // Double click and Enter.
        connect(view, &QAbstractItemView::activated, this,
                [this, side] { guarded("bcactv", [&] { m_commands.activate(side, selection(side)); }); });
        auto *up = new QShortcut(QKeySequence(Qt::Key_Backspace), view, nullptr, nullptr, Qt::WidgetShortcut);
        connect(up, &QShortcut::activated, this, [this, side] { guarded("bcgoup", [&] { m_commands.goUp(side); }); });
        connect(view, &FileListView::entriesDropped, this,
                [this](FileListView *source, const std::vector<int> &entries, int target) {
                    guarded("bcdrop", [&] {
                        m_commands.entriesDropped(source == list(Side::Local) ? Side::Local : Side::Remote, entries,
                                                  target);
                    });
                });
    }
    // Remote rows dragged out to the desktop carry file URLs, downloaded when asked for.
    list(Side::Remote)->fileModel()->setDragDataFactory([this](const std::vector<int> &entries) {
        return m_commands.remoteDragData(entries);
    });
    connect(list(Side::Remote), &FileListView::localFilesDropped, this, [this](const QStringList &paths, int target) {
        guarded("bcdesk", [&] { m_commands.sendLocalPaths(paths, target); });
    });
    connect(m_parts.queue, &QueueView::entriesDropped, this, [this](Side source, const std::vector<int> &entries) {
        guarded("bcqdrp", [&] { m_commands.entriesDropped(source, entries, -1); });
    });
}

void BrowserCommandBinder::bindPanes()
{
    const std::pair<Side, BrowserPane *> panes[] = {{Side::Local, m_parts.localPane},
                                                    {Side::Remote, m_parts.remotePane}};
    for (const auto &[side, pane] : panes) {
        connect(pane->goUp(), &QToolButton::clicked, this,
                [this, side = side] { guarded("bcpgup", [&] { m_commands.goUp(side); }); });
        connect(pane->browse(), &QToolButton::clicked, this, [this, side = side] {
            guarded("bcpbrw", [&] {
                list(side)->setFocus(Qt::OtherFocusReason);
                m_commands.changeFolder(side);
            });
        });
        // A folder chosen from the drop-down history. Enter in the box is taken by the event
        // filter before the box sees it, so it never arrives here as well.
        connect(pane->combo(), &QComboBox::activated, this, [this, side = side](int index) {
            guarded("bcpbox", [&] {
                m_commands.folderBoxEntered(side, this->pane(side)->combo()->itemText(index));
                showListedFolder(side);
            });
        });
        pane->combo()->installEventFilter(this);
        pane->combo()->lineEdit()->installEventFilter(this);
    }
}

void BrowserCommandBinder::showListedFolder(Side side)
{
    const BrowserController &b = m_controller.browsers();
    QComboBox *box = pane(side)->combo();
    const QString &folder = side == Side::Local ? b.lFolder() : b.rFolder();
    if (box->currentText() != folder)
        box->setEditText(folder);
}

bool BrowserCommandBinder::eventFilter(QObject *watched, QEvent *event)
{
    for (const Side side : {Side::Local, Side::Remote}) {
        // Keys and focus reach the box or its edit field, whichever holds the focus.
        QComboBox *box = pane(side)->combo();
        QLineEdit *edit = box->lineEdit();
        if (watched != edit && watched != box)
            continue;
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                const QString typed = edit->text();
                guarded("bcpent", [&] { m_commands.folderBoxEntered(side, typed); });
                // A remote folder shows here once its listing has arrived.
                showListedFolder(side);
                return true;
            }
            if (key->key() == Qt::Key_Escape) {
                showListedFolder(side);
                return true;
            }
        } else if (event->type() == QEvent::FocusOut && !box->view()->isVisible()) {
            // What was typed and not entered is dropped; the drop-down taking the focus is
            // still choosing.
            showListedFolder(side);
        }
    }
    return QObject::eventFilter(watched, event);
}
