#pragma once

#include "browser/BrowserState.h"

#include <QString>
#include <QStringList>

class tSetupClass;

// The values the Debug menu's "Info" command writes, gathered by the window.
struct DebugInfo {
    int width = 0;
    int height = 0;
    QString rFolder;
    int llvTag = 0;
    int rlvTag = 0;
    QString appRuns;
    QString appDataFolder;
    QString dataFolder;
    bool siteFromSiteManager = false;
    QString lastSelectedLocal;
    QString lastSelectedRemote;
    qint64 mainSessionTag = 0;
};

// The files of the hidden Debug menu. Each is written into the system's temporary folder
// with CR LF after every line; the caller then asks the desktop to open it.
namespace DebugReports {

inline constexpr int kFtpCliVersion = 282;

// Writes the lines to the named file in the temporary folder and returns its path.
// Raises FileError when it cannot be written.
QString writeTempFile(const QString &name, const QStringList &lines);

// "View setup variables": the store's keys, and its entry lines, one per line.
QStringList setupKeys(const tSetupClass &setup);
QStringList setupEntryLines(const tSetupClass &setup);

// "Info": one line per value, the label padded with blanks to 26 characters.
QStringList infoLines(const DebugInfo &info);
QString infoLine(const QString &label, const QString &value);

// "lEntries / rEntries": both lists under their headings.
QStringList entriesLines(const QStringList &localEntries, const QStringList &remoteEntries);
// The names of an entry list, one per line.
QStringList entryNames(const tLocalEntryList &entries);
QStringList entryNames(const tRemoteEntryList &entries);
// "rFolders": every cached remote folder with its refresh state and its entries (name,
// size, attributes), the folders separated by lines of "-".
QStringList cachedFolderLines(const tFolderMap &folders);

} // namespace DebugReports
