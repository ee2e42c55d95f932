#include "app/BrowserController.h"

#include "app/UserInterface.h"
#include "base/Files.h"
#include "base/Guard.h"
#include "base/TextCodec.h"
#include "browser/LocalFiles.h"
#include "settings/SettingsCatalogue.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString withSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

QString homeFolder()
{
    return withSlash(QDir::homePath());
}

} // namespace

BrowserController::BrowserController(tSetupClass &setup, UserInterface &ui, QObject *parent)
    : QObject(parent), m_setup(setup), m_ui(ui)
{
    // A copy of many files changes the folder many times: one rescan after it calms down.
    m_localChanged.setSingleShot(true);
    m_localChanged.setInterval(250);
    connect(&m_localWatcher, &QFileSystemWatcher::directoryChanged, this, [this](const QString &path) {
        if (withSlash(path) == m_state.lFolder)
            m_localChanged.start();
    });
    connect(&m_localChanged, &QTimer::timeout, this, [this] { scanLocalFolder(true); });
}

void BrowserController::setLocalFolder(const QString &folder)
{
    m_state.lFolder = folder.isEmpty() ? QString() : withSlash(folder);
}

void BrowserController::refreshLocalView()
{
    scanLocalFolder(false);
}

void BrowserController::scanLocalFolder(bool quiet)
{
    m_localChanged.stop();
    guarded("lvrefl", [this, quiet] {
        const QString folder = m_state.lFolder;
        const QString justLeft = m_state.lastSelectedTn_local;
        emit entriesAboutToChange(Side::Local);
        m_state.lEntries.clear();
        m_state.lastSelectedTn_local = folder;
        if (folder.isEmpty()) {
            // No folder has been shown yet: nothing to list and nothing to complain about.
            return;
        }
        emit folderShown(Side::Local, folder);
        rememberLocalFolder(folder);
        scanFolder(folder, m_state.lEntries, false, QStringLiteral("*.*"));
        // The scan keys entries by their full path; the list wants the bare name.
        for (auto &item : m_state.lEntries)
            item.name = item.entry.name;
        emit viewRefreshed(Side::Local, folder, justLeft);
        const bool exists = QFileInfo(folder).isDir();
        watchLocalFolder(exists ? folder : QString());
        if (!exists && !quiet)
            m_ui.showMessage(QStringLiteral("Folder does not exist on your computer: \r\r\n") + folder);
    });
}

void BrowserController::watchLocalFolder(const QString &folder)
{
    const QString path = folder.size() > 1 && folder.endsWith(QLatin1Char('/')) ? folder.chopped(1) : folder;
    const QStringList watched = m_localWatcher.directories();
    if (watched == QStringList{path})
        return;
    if (!watched.isEmpty())
        m_localWatcher.removePaths(watched);
    if (!path.isEmpty())
        m_localWatcher.addPath(path);
}

void BrowserController::refreshRemoteView()
{
    guarded("lvrefr", [this] {
        emit folderShown(Side::Remote, m_state.rFolder);
        tFolderObject *folder = m_state.findCachedFolder(m_state.rFolder);
        if (!folder)
            return;
        const QString justLeft = m_state.lastSelectedTn_remote;
        emit entriesAboutToChange(Side::Remote);
        m_state.rEntries = &folder->folderEntries;
        m_state.lastSelectedTn_remote = m_state.rFolder;
        emit viewRefreshed(Side::Remote, m_state.rFolder, justLeft);
    });
}

void BrowserController::setRemoteFolder(const QString &folder)
{
    m_state.rFolder = normalizeRemotePath(folder);
}

void BrowserController::forgetRemoteFolder()
{
    guarded("lvforg", [this] {
        const QString justLeft = m_state.lastSelectedTn_remote;
        emit entriesAboutToChange(Side::Remote);
        m_state.clearFolderCache();
        m_state.rFolder.clear();
        m_state.remoteCounters = {};
        m_state.lastSelectedTn_remote.clear();
        emit folderShown(Side::Remote, m_state.rFolder);
        emit viewRefreshed(Side::Remote, m_state.rFolder, justLeft);
    });
}

void BrowserController::rememberLocalFolder(const QString &folder)
{
    // The folder box's drop-down shows the same ten folders that shut-down saves.
    if (m_history.contains(folder))
        return;
    m_history.prepend(folder);
    while (m_history.size() > kFolderHistoryItems)
        m_history.removeLast();
}

QString BrowserController::initialLocalFolder() const
{
    return m_history.isEmpty() ? homeFolder() : m_history.first();
}

void BrowserController::loadLocalFolderHistory(const QString &path)
{
    m_history.clear();
    bool ok = false;
    const QByteArray bytes = readWholeFile(path, &ok);
    if (ok) {
        const QString text = TextCodec::decodeStored(bytes);
        for (QString line : text.split(QLatin1Char('\n'))) {
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
            if (!line.isEmpty())
                m_history.append(line);
        }
    } else {
        m_history.append(homeFolder());
    }
    emit localFolderHistoryChanged();
}

void BrowserController::saveLocalFolderHistory(const QString &path)
{
    if (read(m_setup, Keys::deleteLocalFolderHistory)) {
        m_history.clear();
    } else if (!m_state.lFolder.isEmpty()) {
        m_history.removeAll(m_state.lFolder);
        m_history.prepend(m_state.lFolder);
    }
    QByteArray bytes;
    for (const QString &folder : std::as_const(m_history))
        bytes += TextCodec::encodeStored(folder) + "\r\n";
    saveFileAtomicallyOrThrow(path, bytes, QStringLiteral("Cannot write the local folder history"));
}

void BrowserController::loadFilters()
{
    m_lFilter = {read(m_setup, Keys::lFilter), read(m_setup, Keys::lFilterAlwaysFolders),
                 read(m_setup, Keys::lFilterWildcard)};
    m_rFilter = {read(m_setup, Keys::rFilter), read(m_setup, Keys::rFilterAlwaysFolders),
                 read(m_setup, Keys::rFilterWildcard)};
    m_showFilters = read(m_setup, Keys::showFilters);
}

void BrowserController::setFilterText(Side side, const QString &text)
{
    filterRef(side).text = text;
}

void BrowserController::setFilterAlwaysFolders(Side side, bool on)
{
    filterRef(side).alwaysFolders = on;
    write(m_setup, side == Side::Local ? Keys::lFilterAlwaysFolders : Keys::rFilterAlwaysFolders, on);
}

void BrowserController::setFilterWildcard(Side side, bool on)
{
    filterRef(side).wildcard = on;
    write(m_setup, side == Side::Local ? Keys::lFilterWildcard : Keys::rFilterWildcard, on);
}

void BrowserController::setFiltersShown(bool shown)
{
    m_showFilters = shown;
    write(m_setup, Keys::showFilters, shown);
}

void BrowserController::setLocalActive(bool local)
{
    m_localActive = local;
}
