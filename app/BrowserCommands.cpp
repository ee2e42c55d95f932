#include "app/BrowserCommands.h"

#include "app/BrowserController.h"
#include "app/QueueController.h"
#include "app/SessionSupervisor.h"
#include "app/UserInterface.h"
#include "app/tkftpclient.h"
#include "base/Guard.h"
#include "base/TextUtil.h"
#include "browser/CompareFolders.h"
#include "browser/LocalFileOps.h"
#include "browser/PermissionCode.h"
#include "queue/QueueCommand.h"
#include "settings/SettingsCatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <utility>

namespace {

const QString kDragToServer = QStringLiteral("Continue drag'n'drop operation to FTP server?");
const QString kDragFromServer = QStringLiteral("Continue drag'n'drop operation from FTP server?");
const QString kSetEditor = QStringLiteral(" Set the default editor in the configuration dialog.");

QString kindWord(const tFolderEntryObject &e)
{
    return e.isFolder ? QStringLiteral("folder") : QStringLiteral("file");
}

// "/pub/incoming/" -> "/pub/"; the root (and an empty folder) has no parent.
QString folderParent(const QString &folder)
{
    if (folder.size() <= 1)
        return {};
    return parentFolderOf(folder);
}

} // namespace

BrowserCommands::BrowserCommands(tSetupClass &setup, UserInterface &ui, BrowserController &browsers,
                                 QueueController &queue, SessionSupervisor &sessions, QObject *parent)
    : QObject(parent), m_setup(setup), m_ui(ui), m_browsers(browsers), m_queue(queue), m_sessions(sessions),
      m_temporaryFolder(QDir::tempPath())
{
    connect(&m_browsers, &BrowserController::viewRefreshed, this,
            [this](Side side, const QString &folder, const QString &) { selectNewFolder(side, folder); });
}

void BrowserCommands::selectWhenShown(Side side, const QString &folder, const QString &name)
{
    m_newFolder[side == Side::Local ? 0 : 1] = {folder, name};
}

void BrowserCommands::selectNewFolder(Side side, const QString &shownFolder)
{
    NewFolder &pending = m_newFolder[side == Side::Local ? 0 : 1];
    if (pending.name.isEmpty())
        return;
    const NewFolder wanted = std::exchange(pending, {});
    if (shownFolder != wanted.parent)
        return;
    // The lists rebuild on the same signal: the selection follows once they have.
    QMetaObject::invokeMethod(
        this,
        [this, side, wanted] {
            const bool local = side == Side::Local;
            const BrowserState &st = m_browsers.state();
            if ((local ? st.lFolder : st.rFolder) != wanted.parent)
                return;
            for (int i = 0;; ++i) {
                const tFolderEntryObject *e = entryAt(side, i);
                if (!e)
                    return;
                if (e->isFolder && e->name == wanted.name) {
                    emit selectionRequested(side, {i});
                    return;
                }
            }
        },
        Qt::QueuedConnection);
}

bool BrowserCommands::loggedIn() const
{
    return m_sessions.mainSession() && m_sessions.mainSession()->loggedIn;
}

ListMenuState BrowserCommands::menuState() const
{
    ListMenuState s;
    s.transferIsSend = m_browsers.localActive();
    s.openIsDefault = read(m_setup, Keys::fileDoubleclickAction) == 0;
    s.remoteUsable = loggedIn();
    s.canCompare = !m_browsers.rFolder().isEmpty();
    return s;
}

const tFolderEntryObject *BrowserCommands::entryAt(Side side, int index) const
{
    const BrowserState &st = m_browsers.state();
    if (side == Side::Local) {
        if (index >= 0 && static_cast<size_t>(index) < st.lEntries.size())
            return &st.lEntries[static_cast<size_t>(index)].entry;
        return nullptr;
    }
    const tRemoteEntryList &r = st.remoteEntries();
    if (index >= 0 && static_cast<size_t>(index) < r.size())
        return &r[static_cast<size_t>(index)].entry;
    return nullptr;
}

std::vector<tFolderEntryObject> BrowserCommands::entriesAt(Side side, const Selection &selected) const
{
    std::vector<tFolderEntryObject> result;
    for (int i : selected) {
        if (const tFolderEntryObject *e = entryAt(side, i))
            result.push_back(*e);
    }
    return result;
}

bool BrowserCommands::queue(const QString &verb, const QStringList &fields, const tFolderEntryObject *entry,
                            bool atFront, std::optional<TransferAction> transferAction)
{
    QString error;
    const QString command = buildCommand(verb, fields, &error);
    if (command.isEmpty()) {
        m_ui.showMessage(error);
        return false;
    }
    QueueItem *item = m_queue.addToQueue(command, entry, atFront);
    if (item && transferAction)
        item->transferAction = *transferAction;
    return true;
}

bool BrowserCommands::remoteNameExists(const QString &name) const
{
    for (const auto &e : m_browsers.state().remoteEntries()) {
        if (e.entry.name == name)
            return true;
    }
    return false;
}

// --- open, activate, go up, folders ------------------------------------------------------

void BrowserCommands::open(Side side, const Selection &selected)
{
    const std::vector<tFolderEntryObject> entries = entriesAt(side, selected);
    if (entries.empty())
        return;
    const tFolderEntryObject &e = entries.front();
    if (side == Side::Local) {
        const QString path = m_browsers.lFolder() + e.name;
        if (e.isFolder) {
            m_browsers.setLocalFolder(path + QLatin1Char('/'));
            m_browsers.refreshLocalView();
        } else {
            m_ui.openWithDesktop(path);
        }
        return;
    }
    if (!loggedIn())
        return;
    const QString remote = m_browsers.rFolder() + e.name;
    if (e.isFolder)
        queue(QStringLiteral("list"), {remote}, &e, true);
    else
        queue(QStringLiteral("openfile"), {remote, m_browsers.lFolder() + e.name}, &e, true);
    m_queue.timer_checkQueue();
}

void BrowserCommands::activate(Side side, const Selection &selected)
{
    const tFolderEntryObject *first = selected.empty() ? nullptr : entryAt(side, selected.front());
    if (first && !first->isFolder && read(m_setup, Keys::fileDoubleclickAction) != 0) {
        if (side == Side::Local)
            send(selected);
        else
            receive(selected);
        return;
    }
    open(side, selected);
}

void BrowserCommands::goUp(Side side)
{
    if (side == Side::Local) {
        const QString parent = folderParent(m_browsers.lFolder());
        if (parent.isEmpty())
            return;
        m_browsers.setLocalFolder(parent);
        m_browsers.refreshLocalView();
        return;
    }
    const QString parent = folderParent(m_browsers.rFolder());
    if (parent.isEmpty() || !loggedIn())
        return;
    queue(QStringLiteral("list"), {parent}, nullptr, true);
    m_queue.timer_checkQueue();
}

void BrowserCommands::changeFolder(Side side)
{
    QString chosen;
    if (side == Side::Local) {
        if (!m_ui.pickLocalFolder(m_browsers.lFolder(), chosen) || chosen.isEmpty())
            return;
        m_browsers.setLocalFolder(chosen); // one "/" at the end, also for the root
        m_browsers.refreshLocalView();
        return;
    }
    if (!loggedIn())
        return;
    // Every folder listed during the connection and the folders seen inside them. Names that
    // differ only in letter case are different folders on most servers: both are offered.
    QSet<QString> seen;
    QStringList folders;
    const auto add = [&](const QString &path) {
        if (!seen.contains(path)) {
            seen.insert(path);
            folders << path;
        }
    };
    add(QStringLiteral("/"));
    for (const auto &[key, folder] : m_browsers.state().rFolders) {
        add(key);
        for (const auto &e : folder->folderEntries) {
            if (e.entry.isFolder)
                add(key + e.entry.name + QLatin1Char('/'));
        }
    }
    std::sort(folders.begin(), folders.end(), [](const QString &a, const QString &b) {
        const int order = QString::compare(a, b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    if (!m_ui.pickRemoteFolder(folders, m_browsers.rFolder(), chosen) || chosen.isEmpty())
        return;
    queue(QStringLiteral("list"), {normalizeRemotePath(chosen)}, nullptr, true);
    m_queue.timer_checkQueue();
}

void BrowserCommands::folderBoxEntered(Side side, const QString &typed)
{
    const QString text = typed.trimmed();
    if (side == Side::Local) {
        if (text.isEmpty()) {
            changeFolder(Side::Local);
            return;
        }
        // "~" is the home folder; a relative path is taken from the shown folder.
        QString path = text;
        if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
            path = QDir::homePath() + path.mid(1);
        path = QDir::cleanPath(QDir(m_browsers.lFolder()).absoluteFilePath(path));
        if (!QFileInfo(path).isDir()) {
            // The list stays where it is rather than showing a folder that is not there.
            m_ui.showMessage(QStringLiteral("Folder does not exist on your computer: \r\r\n") + path);
            return;
        }
        m_browsers.setLocalFolder(path);
        m_browsers.refreshLocalView();
        return;
    }
    if (text.isEmpty())
        return;
    if (!loggedIn() || m_browsers.rFolder().isEmpty()) {
        m_ui.showMessage(QStringLiteral("Error:\r - Cannot change folder\r\rReason:\r - Not connected to FTP server"));
        return;
    }
    QString path = text;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    queue(QStringLiteral("list"), {path}, nullptr, false);
}

void BrowserCommands::refresh(Side side)
{
    if (side == Side::Remote) {
        if (!loggedIn())
            return;
        m_browsers.state().markFolderStale(m_browsers.rFolder());
        queue(QStringLiteral("list"), {m_browsers.rFolder(), flagText(QueueFlag::Refresh)}, nullptr, true);
        m_queue.timer_checkQueue();
        return;
    }
    m_browsers.refreshLocalView();
}

// --- new folder, rename, delete ------------------------------------------------------------

void BrowserCommands::newFolder(Side side)
{
    if (side == Side::Remote && !loggedIn())
        return;
    QString name = QStringLiteral("New Folder");
    if (!m_ui.askText(QStringLiteral("Create New Folder"), QStringLiteral("New Folder Name:"), name, false))
        return;
    if (side == Side::Local) {
        if (!isPlainFileName(name) || !QDir().mkdir(m_browsers.lFolder() + name)) {
            m_ui.showMessage(QStringLiteral("Could not Create Folder"));
            return;
        }
        selectWhenShown(Side::Local, m_browsers.lFolder(), name);
        refresh(Side::Local);
        return;
    }
    if (!isPlainFileName(name)) {
        m_ui.showMessage(QStringLiteral("Could not Create Folder"));
        return;
    }
    if (queue(QStringLiteral("makefolder"), {m_browsers.rFolder() + name}, nullptr, false))
        selectWhenShown(Side::Remote, m_browsers.rFolder(), name);
}

void BrowserCommands::rename(Side side, const Selection &selected)
{
    if (side == Side::Remote && !loggedIn())
        return;
    const std::vector<tFolderEntryObject> entries = entriesAt(side, selected);
    if (entries.empty())
        return;
    const tFolderEntryObject e = entries.front();
    const QString w = kindWord(e);
    QString name = e.name;
    if (!m_ui.askText(QStringLiteral("Rename ") + w, QStringLiteral("Rename ") + w + QStringLiteral(" To ..."), name,
                      false) ||
        name == e.name)
        return;
    const QString failed = QStringLiteral("Could not rename ") + w;
    if (!isPlainFileName(name)) {
        m_ui.showMessage(failed);
        return;
    }
    if (side == Side::Local) {
        const QString folder = m_browsers.lFolder();
        if (renameNoReplace(folder + e.name, folder + name) != LocalRenameResult::Renamed) {
            m_ui.showMessage(failed);
            return;
        }
        refresh(Side::Local);
        return;
    }
    // Servers replace an existing target on RNTO without asking; the listing shows it.
    if (remoteNameExists(name)) {
        m_ui.showMessage(failed);
        return;
    }
    const QString r = m_browsers.rFolder();
    queue(e.isFolder ? QStringLiteral("renamefolder") : QStringLiteral("renamefile"), {r + e.name, r + name}, &e,
          false);
}

void BrowserCommands::deleteEntries(Side side, const Selection &selected)
{
    if (side == Side::Remote && !loggedIn())
        return;
    if (side == Side::Local) {
        const std::vector<tFolderEntryObject> entries = entriesAt(side, selected);
        if (entries.empty())
            return;
        std::vector<DeleteItem> items;
        for (const tFolderEntryObject &e : entries)
            items.push_back({e.name, e.isFolder, false});
        if (read(m_setup, Keys::confirmDeleteLocally) && !m_ui.confirm(deleteQuestion(side, items)))
            return;
        deleteLocal(entries);
        return;
    }
    // Links are taken by name before the question: the entries may be replaced meanwhile.
    std::vector<std::pair<tFolderEntryObject, bool>> entries;
    const tRemoteEntryList &r = m_browsers.state().remoteEntries();
    for (int i : selected) {
        if (i >= 0 && static_cast<size_t>(i) < r.size())
            entries.emplace_back(r[static_cast<size_t>(i)].entry, r[static_cast<size_t>(i)].entry.isLink);
    }
    if (entries.empty())
        return;
    std::vector<DeleteItem> items;
    for (const auto &[e, link] : entries)
        items.push_back({e.name, e.isFolder, link});
    if (read(m_setup, Keys::confirmDeleteOnServer) && !m_ui.confirm(deleteQuestion(side, items)))
        return;
    if (!loggedIn())
        return;
    const QString folder = m_browsers.rFolder();
    for (const auto &[e, link] : entries) {
        // A link is removed itself (DELE), never entered.
        const bool asFolder = e.isFolder && !link;
        queue(asFolder ? QStringLiteral("deletefolder") : QStringLiteral("deletefile"), {folder + e.name}, &e, false);
    }
    m_browsers.state().markFolderStale(folder);
}

QString BrowserCommands::deleteQuestion(Side side, const std::vector<DeleteItem> &items)
{
    int files = 0, folders = 0;
    for (const DeleteItem &i : items)
        ++(i.folder && !i.link ? folders : files);
    QString what;
    if (items.size() == 1) {
        const DeleteItem &i = items.front();
        const QString kind = i.link     ? QStringLiteral("link")
                             : i.folder ? QStringLiteral("folder")
                                        : QStringLiteral("file");
        what = QStringLiteral("the %1 \"%2\"").arg(kind, i.name);
        if (folders == 1)
            what += QStringLiteral(" and everything in it");
    } else {
        const auto count = [](int n, const char *one, const char *many) -> QString {
            return QString::number(n) + QLatin1Char(' ') + QString::fromLatin1(n == 1 ? one : many);
        };
        QStringList parts;
        if (files > 0)
            parts << count(files, "file", "files");
        if (folders > 0)
            parts << count(folders, "folder", "folders");
        what = parts.join(QStringLiteral(" and "));
        if (folders > 0)
            what += folders == 1 ? QStringLiteral(" (the folder with everything in it)")
                                 : QStringLiteral(" (the folders with everything in them)");
    }
    if (side == Side::Remote)
        return QStringLiteral("Continue to delete %1 on the FTP server?").arg(what);
    return QStringLiteral("Continue to delete %1?\r\r%2 to the trash.")
        .arg(what, items.size() == 1 ? QStringLiteral("It goes") : QStringLiteral("They go"));
}

void BrowserCommands::deleteLocal(const std::vector<tFolderEntryObject> &entries)
{
    const QString folder = m_browsers.lFolder();
    QStringList notTrashed;
    for (const tFolderEntryObject &e : entries) {
        if (!moveToTrash(folder + e.name))
            notTrashed << folder + e.name;
    }
    if (!notTrashed.isEmpty() &&
        m_ui.confirm(QStringLiteral("These items could not be moved to the trash:\r\n") +
                     notTrashed.join(QStringLiteral("\r\n")) + QStringLiteral("\r\rDelete them permanently?"))) {
        QStringList failed;
        for (const QString &path : notTrashed)
            failed << removeLocalTree(path);
        if (!failed.isEmpty())
            m_ui.showMessage(QStringLiteral("Could not delete:\r\n") + failed.join(QStringLiteral("\r\n")));
    }
    refresh(Side::Local);
}

// --- transfers and drops --------------------------------------------------------------------

void BrowserCommands::transferEntries(Side from, const std::vector<tFolderEntryObject> &entries, const QString &target)
{
    const bool up = from == Side::Local;
    const QString source = up ? m_browsers.lFolder() : m_browsers.rFolder();
    for (const tFolderEntryObject &e : entries) {
        const QString verb = up ? (e.isFolder ? QStringLiteral("putFolder") : QStringLiteral("putFile"))
                                : (e.isFolder ? QStringLiteral("getFolder") : QStringLiteral("getFile"));
        queue(verb, {source + e.name, target + e.name}, &e, false);
    }
}

void BrowserCommands::send(const Selection &local, int targetEntry)
{
    if (!loggedIn())
        return;
    QString target = m_browsers.rFolder();
    if (const tFolderEntryObject *t = entryAt(Side::Remote, targetEntry); t && t->isFolder)
        target += t->name + QLatin1Char('/');
    transferEntries(Side::Local, entriesAt(Side::Local, local), target);
}

void BrowserCommands::receive(const Selection &remote, int targetEntry)
{
    if (!loggedIn())
        return;
    QString target = m_browsers.lFolder();
    if (const tFolderEntryObject *t = entryAt(Side::Local, targetEntry); t && t->isFolder)
        target += t->name + QLatin1Char('/');
    transferEntries(Side::Remote, entriesAt(Side::Remote, remote), target);
}

void BrowserCommands::entriesDropped(Side source, const Selection &entries, int targetEntry)
{
    if (!loggedIn() || entries.empty())
        return;
    // The entries are read again after the question: a listing may have come in meanwhile.
    const std::vector<tFolderEntryObject> before = entriesAt(source, entries);
    const Side target = source == Side::Local ? Side::Remote : Side::Local;
    const tFolderEntryObject *t = entryAt(target, targetEntry);
    const QString targetName = t && t->isFolder ? t->name : QString();
    if (read(m_setup, Keys::confirmDragDrop) && !m_ui.confirm(source == Side::Local ? kDragToServer : kDragFromServer))
        return;
    if (!loggedIn())
        return;
    QString folder = source == Side::Local ? m_browsers.rFolder() : m_browsers.lFolder();
    if (!targetName.isEmpty())
        folder += targetName + QLatin1Char('/');
    transferEntries(source, before, folder);
}

void BrowserCommands::sendLocalPaths(const QStringList &paths, int targetEntry)
{
    if (!loggedIn() || paths.isEmpty())
        return;
    QString target = m_browsers.rFolder();
    if (const tFolderEntryObject *t = entryAt(Side::Remote, targetEntry); t && t->isFolder)
        target += t->name + QLatin1Char('/');
    if (read(m_setup, Keys::confirmDragDrop) && !m_ui.confirm(kDragToServer))
        return;
    for (QString path : paths) {
        while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
            path.chop(1);
        const QFileInfo info(path);
        if (!info.exists())
            continue;
        tFolderEntryObject e;
        e.name = info.fileName();
        e.isFolder = info.isDir() && !info.isSymLink();
        e.size = e.isFolder ? -1 : info.size();
        queue(e.isFolder ? QStringLiteral("putFolder") : QStringLiteral("putFile"), {path, target + e.name}, &e, false);
    }
}

// --- edit -------------------------------------------------------------------------------------

QString BrowserCommands::makeEditFolder()
{
    // A fresh folder per edit: two files of one name never share a copy.
    return makePrivateFolder(QStringLiteral("edit"));
}

QString BrowserCommands::makePrivateFolder(const QString &prefix)
{
    // Mode 0700: nobody else can plant a link where a download will be written.
    QDir().mkpath(m_temporaryFolder);
    QTemporaryDir dir(m_temporaryFolder + QLatin1Char('/') + prefix + QStringLiteral("-XXXXXX"));
    if (!dir.isValid())
        return {};
    dir.setAutoRemove(false);
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return dir.path() + QLatin1Char('/');
}

void BrowserCommands::edit(Side side, const Selection &selected)
{
    const tFolderEntryObject *first = selected.empty() ? nullptr : entryAt(side, selected.front());
    if (!first || first->isFolder)
        return;
    if (side == Side::Local) {
        launchEditor(m_setup, m_ui, m_browsers.lFolder() + first->name);
        return;
    }
    if (!loggedIn())
        return;
    const tFolderEntryObject e = *first;
    const QString folder = makeEditFolder();
    if (folder.isEmpty()) {
        m_ui.showMessage(QStringLiteral("Unable to edit file.\r\r\nCould not create a folder for the copy in ") +
                         m_temporaryFolder);
        return;
    }
    // The private folder is new and empty: nothing of the user's is overwritten.
    if (queue(QStringLiteral("editfile"), {m_browsers.rFolder() + e.name, folder + e.name}, &e, false,
              TransferAction::Overwrite))
        m_queue.timer_checkQueue();
    else
        QDir(folder).rmdir(folder);
}

bool BrowserCommands::launchEditor(tSetupClass &setup, UserInterface &ui, const QString &file)
{
    const QString editor = read(setup, Keys::defaultEditor);
    const QString folder = QFileInfo(file).absolutePath();
    if (read(setup, Keys::defaultEditorAlways)) {
        if (editor.isEmpty()) {
            ui.showMessage(QStringLiteral("Unable to edit file.\r\r\nNo default editor assigned.") + kSetEditor);
            return false;
        }
        if (ui.startProgram(editor, {file}, folder))
            return true;
        ui.showMessage(QStringLiteral("Unable to edit file.\r\r\nCould not launch default editor.") + kSetEditor);
        return false;
    }
    if (ui.openWithDesktop(file))
        return true;
    if (editor.isEmpty()) {
        ui.showMessage(QStringLiteral("Unable to edit file.\r\r\nNo specific or default editor assigned.") +
                       kSetEditor);
        return false;
    }
    if (ui.startProgram(editor, {file}, folder))
        return true;
    ui.showMessage(QStringLiteral("Unable to edit file.\r\r\nCould not launch a specific or the default editor.") +
                   kSetEditor);
    return false;
}

// --- group select, compare, permissions ------------------------------------------------------

void BrowserCommands::groupSelect(Side side)
{
    QString mask = QStringLiteral("*.*");
    if (!m_ui.askText(QStringLiteral("Group Select"), QStringLiteral("Selection Mask: (ex: *ftp*.htm)"), mask, false) ||
        mask.isEmpty())
        return;
    const QString pattern = mask.toLower();
    std::vector<int> chosen;
    const auto pick = [&](const auto &entries) {
        for (size_t i = 0; i < entries.size(); ++i) {
            if (wildcardMatch(entries[i].entry.name.toLower(), pattern))
                chosen.push_back(static_cast<int>(i));
        }
    };
    if (side == Side::Local)
        pick(m_browsers.state().lEntries);
    else
        pick(m_browsers.state().remoteEntries());
    emit selectionRequested(side, chosen);
}

void BrowserCommands::compareFolders()
{
    if (m_browsers.rFolder().isEmpty())
        return;
    bool ignoreSize = read(m_setup, Keys::compareIgnoreSize);
    const bool ok = m_ui.askCompareFolders(m_browsers.lFolder(), m_browsers.rFolder(), ignoreSize);
    write(m_setup, Keys::compareIgnoreSize, ignoreSize);
    if (!ok)
        return;
    const BrowserState &st = m_browsers.state();
    const FolderDifferences d = ::compareFolders(st.lEntries, st.remoteEntries(), ignoreSize);
    emit selectionRequested(Side::Local, d.local);
    emit selectionRequested(Side::Remote, d.remote);
}

void BrowserCommands::changePermissions(const Selection &remote)
{
    const std::vector<tFolderEntryObject> entries = entriesAt(Side::Remote, remote);
    if (entries.empty()) {
        m_ui.showMessage(QStringLiteral("No files or folders selected for permission change."));
        return;
    }
    QString code = initialPermissionCode(entries.front().attr);
    if (!m_ui.askPermissions(code) || !decodePermissionCode(code).valid || !loggedIn())
        return;
    const QString folder = m_browsers.rFolder();
    for (const tFolderEntryObject &e : entries)
        queue(e.isFolder ? QStringLiteral("chmodfolder") : QStringLiteral("chmodfile"), {folder + e.name, code},
              nullptr, false);
}
