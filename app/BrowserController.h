#pragma once

#include "browser/BrowserState.h"
#include "browser/FileFilter.h"
#include "browser/FileListModel.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

class tSetupClass;
class UserInterface;

// The state behind the two file lists and what changes it: the current local and remote
// folders with their entries and the remote folder cache, the local folder history, the
// filter rows and which side is active. Views read the state through the const accessors,
// change it only through the methods below, and redraw on the signals.
//
// User-interface thread only. Signals are emitted synchronously from inside the methods;
// a receiver must not call back into a refresh of the same side.
class BrowserController : public QObject {
    Q_OBJECT
public:
    using Side = FileListModel::Side;
    // The local folder history and the folder boxes keep this many folders.
    static constexpr int kFolderHistoryItems = 10;

    BrowserController(tSetupClass &setup, UserInterface &ui, QObject *parent = nullptr);

    // The entries, folders and cache; the file list models read it.
    BrowserState &state() { return m_state; }
    const BrowserState &state() const { return m_state; }
    const QString &lFolder() const { return m_state.lFolder; }
    const QString &rFolder() const { return m_state.rFolder; }

    // Makes `folder` the current local folder (a "/" is added at the end when missing); the
    // list shows it at the next refreshLocalView.
    void setLocalFolder(const QString &folder);
    // Rescans lFolder and has the local list rebuilt. A folder that does not exist gives an
    // empty list and the message "Folder does not exist on your computer". The folder joins
    // the local folder history. The folder shown is then watched: when other programs add,
    // remove or rename entries in it, the list is rescanned by itself (changes that come in
    // a burst give one rescan; a folder that vanished is not complained about).
    void refreshLocalView();
    // Shows the cached entries of rFolder in the remote list; nothing when it is not cached.
    void refreshRemoteView();
    // Makes a remote folder (any spelling; it is normalised) the current one.
    void setRemoteFolder(const QString &folder);
    // The main session closed: no remote folder is current any more and the cache with its
    // entries is freed; the remote list empties before anything is freed.
    void forgetRemoteFolder();

    // Most recent first; the local folder box offers these.
    const QStringList &localFolderHistory() const { return m_history; }
    // The folder start-up shows: the first of the history, or the home folder.
    QString initialLocalFolder() const;
    // "lFolderHistory.dat": one folder per line. A missing file gives the home folder.
    void loadLocalFolderHistory(const QString &path);
    // Writes the history with the current folder on top (or nothing when the setting
    // "deleteLocalFolderHistory" is on), atomically. Raises FileError when it cannot.
    void saveLocalFolderHistory(const QString &path);

    const FileFilter &filter(Side side) const { return side == Side::Local ? m_lFilter : m_rFilter; }
    bool filtersShown() const { return m_showFilters; }
    // The filter rows' switch; the setting "showFilters" follows it.
    void setFiltersShown(bool shown);
    // The stored filter texts and check boxes, and whether the filter rows show.
    void loadFilters();
    void setFilterText(Side side, const QString &text);
    // Both check boxes are settings of their own and are written at once.
    void setFilterAlwaysFolders(Side side, bool on);
    void setFilterWildcard(Side side, bool on);

    // The local side is the active browser: the local list or folder box had the focus last.
    bool localActive() const { return m_localActive; }
    void setLocalActive(bool local);

signals:
    // The side's folder box shows `folder`.
    void folderShown(BrowserController::Side side, const QString &folder);
    // The side's entry list is about to be replaced: models drop their rows first.
    void entriesAboutToChange(BrowserController::Side side);
    // The side now shows `folder`; `justLeft` is the folder shown before, which the list may
    // select when it lies directly inside `folder`.
    void viewRefreshed(BrowserController::Side side, const QString &folder, const QString &justLeft);
    void localFolderHistoryChanged();

private:
    FileFilter &filterRef(Side side) { return side == Side::Local ? m_lFilter : m_rFilter; }
    void rememberLocalFolder(const QString &folder);
    void scanLocalFolder(bool quiet);
    void watchLocalFolder(const QString &folder);

    tSetupClass &m_setup;
    UserInterface &m_ui;
    BrowserState m_state;
    QStringList m_history;
    FileFilter m_lFilter;
    FileFilter m_rFilter;
    bool m_showFilters = false;
    bool m_localActive = true;
    QFileSystemWatcher m_localWatcher;
    QTimer m_localChanged;
};
