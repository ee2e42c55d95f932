#pragma once

#include "settings/u_tmbSetup.h"

#include <QStringList>

#include <cstdint>
#include <variant>
#include <vector>

// Each settings key with the default its readers pass, in one place. Readers write
// `read(setup, Keys::detailedLog)`, writers `write(setup, Keys::detailedLog, false)`.
// The options dialog binds a control named "s_" plus the key and starts it at the same
// default, so the dialog always shows what the program is using.
struct BoolKey {
    const char *name;
    bool def;
    QString key() const { return QString::fromLatin1(name); }
};
struct IntKey {
    const char *name;
    std::int64_t def;
    QString key() const { return QString::fromLatin1(name); }
};
// Texts, and shortcuts as texts like "CTRL+ALT+C" (empty for no shortcut).
struct TextKey {
    const char *name;
    const char *def;
    QString key() const { return QString::fromLatin1(name); }
    QString defText() const { return QString::fromUtf8(def); }
};

inline bool read(const tSetupClass &s, const BoolKey &k)
{
    return s.getBool(k.key(), k.def);
}
inline std::int64_t read(const tSetupClass &s, const IntKey &k)
{
    return s.getInt(k.key(), k.def);
}
inline QString read(const tSetupClass &s, const TextKey &k)
{
    return s.getString(k.key(), k.defText());
}

inline bool defaultOf(const BoolKey &k)
{
    return k.def;
}
inline std::int64_t defaultOf(const IntKey &k)
{
    return k.def;
}
inline QString defaultOf(const TextKey &k)
{
    return k.defText();
}

inline void write(tSetupClass &s, const BoolKey &k, bool value)
{
    s.setBool(k.key(), value);
}
inline void write(tSetupClass &s, const IntKey &k, std::int64_t value)
{
    s.setInt(k.key(), value);
}
inline void write(tSetupClass &s, const TextKey &k, const QString &value)
{
    s.setString(k.key(), value);
}

namespace Keys {

// Window layout and run bookkeeping, written at shut-down.
inline constexpr IntKey l{"l", -9999}; // -9999: no layout saved yet
inline constexpr IntKey t{"t", 0};
inline constexpr IntKey w{"w", 0};
inline constexpr IntKey h{"h", 0};
inline constexpr IntKey windowState{"windowState", 0}; // 0 normal, 1 minimised, 2 maximised
inline constexpr IntKey panelBottomHeight{"panelBottomHeight", 111};
inline constexpr IntKey logHeight{"logHeight", 52};
inline constexpr IntKey gamePanelWidth{"gamePanelWidth", 184};
inline constexpr IntKey lPanelWidth{"lPanelWidth", 372};
inline constexpr IntKey lastRunVersion{"lastRunVersion", -1};
inline constexpr IntKey appRuns{"appRuns", 0};
inline constexpr BoolKey neverShowAppFeedback{"neverShowAppFeedback", false};
inline constexpr TextKey defaultSetupTab{"defaultSetupTab", "General"};
inline constexpr TextKey siteMgrSelNodePath{"siteMgrSelNodePath", ""};
inline constexpr IntKey statFilesReceived{"statFilesReceived", 0};
inline constexpr IntKey statFilesSent{"statFilesSent", 0};

// File lists and views.
inline constexpr TextKey lFilter{"lFilter", ""};
inline constexpr TextKey rFilter{"rFilter", ""};
inline constexpr BoolKey lFilterAlwaysFolders{"lFilterAlwaysFolders", true};
inline constexpr BoolKey rFilterAlwaysFolders{"rFilterAlwaysFolders", true};
inline constexpr BoolKey lFilterWildcard{"lFilterWildcard", false};
inline constexpr BoolKey rFilterWildcard{"rFilterWildcard", false};
inline constexpr BoolKey showFilters{"showFilters", false};
inline constexpr BoolKey switchBrowserWindows{"switchBrowserWindows", false};
inline constexpr BoolKey compareIgnoreSize{"compareIgnoreSize", true};
inline constexpr BoolKey filesizeInBytes{"filesizeInBytes", false};
inline constexpr BoolKey fullRowSelect{"fullRowSelect", false};
inline constexpr BoolKey autoSelectFolder{"autoSelectFolder", true};
inline constexpr BoolKey markCachedFolders{"markCachedFolders", true};
inline constexpr BoolKey hideFileIcons{"hideFileIcons", false};
inline constexpr BoolKey shadeFilenameColumn{"shadeFilenameColumn", true};
inline constexpr BoolKey displayshortcuticon{"displayshortcuticon", true};
inline constexpr IntKey fileDoubleclickAction{"fileDoubleclickAction", 0}; // 0 open, 1 transfer
inline constexpr TextKey defaultEditor{"defaultEditor", ""};
inline constexpr BoolKey defaultEditorAlways{"defaultEditorAlways", false};
inline constexpr BoolKey confirmDeleteOnServer{"confirmDeleteOnServer", true};
inline constexpr BoolKey confirmDeleteLocally{"confirmDeleteLocally", true};
inline constexpr BoolKey confirmDragDrop{"confirmDragDrop", false};
inline constexpr BoolKey confirmDeleteFromQueue{"confirmDeleteFromQueue", true};

// Connection, sites and history.
inline constexpr TextKey anonPass{"anonPass", "guest@kestrin-ftp.example"};
// 0 nothing, 1 site manager, 2 last used site, 3 VuzidIRA, 4 connection history.
inline constexpr IntKey startupAction{"startupAction", 1};
inline constexpr BoolKey monitorClipboardForFTPUrls{"monitorClipboardForFTPUrls", false};
inline constexpr BoolKey ravuzAroEnabled{"ravuzAroEnabled", false};
// 0 direct, 1 direct passive, 2 standard proxy, anything else SOCKS 5.
inline constexpr IntKey connectionType{"connectionType", 1};
inline constexpr TextKey ConnectionTypeAddress{"ConnectionTypeAddress", ""};
inline constexpr TextKey ConnectionTypePort{"ConnectionTypePort", "21"};
inline constexpr IntKey maxRetries{"maxRetries", 5};
inline constexpr IntKey retryDelay{"retryDelay", 60};     // seconds
inline constexpr IntKey replyTimeout{"replyTimeout", 30}; // seconds a server may take to answer
inline constexpr BoolKey keepAlive{"keepAlive", true};
inline constexpr IntKey keepAliveSecsStart{"keepAliveSecsStart", 30};
inline constexpr IntKey keepAliveSecsEnd{"keepAliveSecsEnd", 60};
// Stored by the options dialog only; nothing reads it yet.
inline constexpr IntKey antiTimeoutMinutesToMaintain{"antiTimeoutMinutesToMaintain", 30};
inline constexpr BoolKey confirmDisconnectWhenQueueNotEmpty{"confirmDisconnectWhenQueueNotEmpty", true};
inline constexpr BoolKey confirmCloseWhenConnected{"confirmCloseWhenConnected", true};
inline constexpr BoolKey showLoginMsg{"showLoginMsg", true};
inline constexpr IntKey connectionHistorySize{"connectionHistorySize", 10};
inline constexpr BoolKey connectionHistorySaveRFolder{"connectionHistorySaveRFolder", true};
inline constexpr BoolKey connectionHistoryDeleteOnExit{"connectionHistoryDeleteOnExit", false};
inline constexpr BoolKey DeleteQuickConnectData{"DeleteQuickConnectData", false};
inline constexpr BoolKey deleteLocalFolderHistory{"deleteLocalFolderHistory", false};
inline constexpr BoolKey sharedFavorites{"sharedFavorites", false};
inline constexpr TextKey sharedFavoritesFolder{"sharedFavoritesFolder", "/srv/shared kestrin ftp pro favorites/"};
inline constexpr BoolKey askForLaunchPassword{"askForLaunchPassword", false};
inline constexpr TextKey launchPassword{"launchPassword", ""};
// Passwords of site profiles in the desktop's secret store (when the program has one).
inline constexpr BoolKey useKeyring{"useKeyring", true};

// Transfers and queue.
inline constexpr IntKey transferMode{"transferMode", 0}; // 0 by the ASCII masks, 1 binary, 2 ASCII
// When the target exists: 0 overwrite, 1 resume, 2 skip, 3 ask.
inline constexpr IntKey xferAction{"xferAction", 3};
// How many sessions carry transfers side by side (1 to 10); a site profile may set its own.
inline constexpr IntKey simultaneousTransfers{"simultaneousTransfers", 2};
inline constexpr int kMaxSimultaneousTransfers = 10;
inline constexpr BoolKey autoCloseXferActionPrompt{"autoCloseXferActionPrompt", true};
inline constexpr IntKey autoCloseXferActionPromptSecs{"autoCloseXferActionPromptSecs", 60};
inline constexpr BoolKey forceRemoteLowercase{"forceRemoteLowercase", false};
inline constexpr BoolKey setOriginalFileDate{"setOriginalFileDate", false};
// After a whole transfer the target gets the source's modification time: a download the
// remote file's, an upload the local file's (where the server can set it).
inline constexpr BoolKey preserveFileTimes{"preserveFileTimes", false};
inline constexpr BoolKey listHiddenFiles{"listHiddenFiles", false};
// Folders are listed with MLSD (exact sizes, UTC times, names with blanks) where the server
// offers it. Off unless chosen: servers may show a link to a folder as a plain folder in
// MLSD, and deleting or downloading a tree must know its links so as never to follow one.
inline constexpr BoolKey useMlsd{"useMlsd", true};
inline constexpr BoolKey autoRefreshFolders{"autoRefreshFolders", true};
inline constexpr BoolKey autoSaveQueue{"autoSaveQueue", true};
// How deep a folder transfer descends before it stops with an error.
inline constexpr IntKey folderDepthLimit{"folderDepthLimit", 64};
// The most one folder listing may bring (a server may send one that never ends): MiB and
// entries (lines). A listing that passes either is cut and its item fails.
inline constexpr IntKey listingMaxMiB{"listingMaxMiB", 1024};
inline constexpr IntKey listingMaxEntries{"listingMaxEntries", 10000000};

// Log, meter, sound and appearance.
inline constexpr BoolKey showLogWin{"showLogWin", true};
inline constexpr BoolKey logAutoScroll{"logAutoScroll", true};
inline constexpr BoolKey detailedLog{"detailedLog", true};
inline constexpr BoolKey showMeter{"showMeter", true};
inline constexpr BoolKey disableBandwidthMeter{"disableBandwidthMeter", false};
// 0 while the mouse is over the meter, 1 always, 2 never.
inline constexpr IntKey advancedBandwidthMeterInfoMode{"advancedBandwidthMeterInfoMode", 0};
inline constexpr BoolKey disableFancyColors{"disableFancyColors", false};
inline constexpr BoolKey disableBackgroundImages{"disableBackgroundImages", false};
// Sounds play only while this is explicitly false.
inline constexpr BoolKey disableSound{"disableSound", true};
inline constexpr TextKey sndOnConnect{"sndOnConnect", ""};
inline constexpr TextKey sndOnDisconnect{"sndOnDisconnect", ""};
inline constexpr TextKey sndOnXferDone{"sndOnXferDone", ""};
inline constexpr TextKey sndOnError{"sndOnError", ""};
inline constexpr BoolKey disableLogo{"disableLogo", false};
inline constexpr BoolKey useCustomLogo{"useCustomLogo", false};
inline constexpr TextKey customlogo{"customlogo", ""};
inline constexpr BoolKey minimizeToTray{"minimizeToTray", false};
inline constexpr BoolKey noPleaseWaitWindow{"noPleaseWaitWindow", false};
// Stored by the options dialog only; nothing reads it yet.
inline constexpr BoolKey noticeNewVersion{"noticeNewVersion", true};
inline constexpr IntKey toolbarTheme{"toolbarTheme", 2};       // 0 Standard, 1 Stripes, 2 OfficeXP
inline constexpr IntKey toolbarFontSize{"toolbarFontSize", 1}; // 0 small, 1 normal, 2 large
inline constexpr TextKey fontFace{"fontFace", "Tahoma"};
inline constexpr IntKey fontSize{"fontSize", 8};    // points
inline constexpr IntKey fontSpace{"fontSpace", 18}; // row height in pixels

// Shortcuts of the main window's commands.
inline constexpr TextKey scConnect{"scConnect", "CTRL+ALT+C"};
inline constexpr TextKey scNewFolder{"scNewFolder", "CTRL+N"};
inline constexpr TextKey scChMod{"scChMod", "CTRL+ALT+P"};
inline constexpr TextKey scFavorites{"scFavorites", "F8"};
inline constexpr TextKey scReceive{"scReceive", "CTRL+R"};
inline constexpr TextKey scRefresh{"scRefresh", "F5"};
inline constexpr TextKey scRename{"scRename", "F2"};
inline constexpr TextKey scSend{"scSend", "CTRL+S"};
inline constexpr TextKey scOptions{"scOptions", "CTRL+O"};
inline constexpr TextKey scFilters{"scFilters", "CTRL+F"};
inline constexpr TextKey scHistory{"scHistory", "F9"};

// The new-version window's own store ("newVersion.dat").
inline constexpr BoolKey notifyNewNonBeta{"notifyNewNonBeta", true};
inline constexpr BoolKey notifyNewBeta{"notifyNewBeta", true};

// Every key of the main store above, for checks and listings.
using AnyKey = std::variant<const BoolKey *, const IntKey *, const TextKey *>;
const std::vector<AnyKey> &mainStoreKeys();
QString nameOf(const AnyKey &key);

} // namespace Keys

// The ASCII file masks ("asciiFiles.dat"): a transfer of a file that matches one of them
// uses ASCII mode while "transferMode" is 0.
namespace AsciiMasks {
// The list used while "asciiFiles.dat" does not exist.
QStringList defaults();
// What the options dialog's Reset puts in the list.
QStringList resetList();
} // namespace AsciiMasks
