#pragma once

#include "settings/u_tmbSetup.h"

#include <cstdint>

// Each settings key with the default its readers pass, in one place. Readers write
// `read(setup, Keys::detailedLog)`, writers `write(setup, Keys::detailedLog, false)`.
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
struct TextKey {
    const char *name;
    const char *def;
    QString key() const { return QString::fromLatin1(name); }
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
    return s.getString(k.key(), QString::fromUtf8(k.def));
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

// Window layout and run bookkeeping.
inline constexpr IntKey l{"l", -9999};
inline constexpr IntKey t{"t", 0};
inline constexpr IntKey w{"w", 0};
inline constexpr IntKey h{"h", 0};
inline constexpr IntKey windowState{"windowState", 0};
inline constexpr IntKey panelBottomHeight{"panelBottomHeight", 111};
inline constexpr IntKey logHeight{"logHeight", 52};
inline constexpr IntKey gamePanelWidth{"gamePanelWidth", 184};
inline constexpr IntKey lPanelWidth{"lPanelWidth", 372};
inline constexpr IntKey lastRunVersion{"lastRunVersion", -1};
inline constexpr IntKey appRuns{"appRuns", 0};
inline constexpr BoolKey neverShowAppFeedback{"neverShowAppFeedback", false};

// Start-up and shut-down.
inline constexpr BoolKey detailedLog{"detailedLog", true};
inline constexpr BoolKey noPleaseWaitWindow{"noPleaseWaitWindow", false};
inline constexpr BoolKey disableLogo{"disableLogo", false};
inline constexpr BoolKey useCustomLogo{"useCustomLogo", false};
inline constexpr TextKey customlogo{"customlogo", ""};
inline constexpr BoolKey sharedFavorites{"sharedFavorites", false};
inline constexpr TextKey sharedFavoritesFolder{"sharedFavoritesFolder", "/srv/shared kestrin ftp pro favorites/"};
inline constexpr BoolKey ravuzAroEnabled{"ravuzAroEnabled", false};
inline constexpr BoolKey logAutoScroll{"logAutoScroll", true};
inline constexpr BoolKey disableBandwidthMeter{"disableBandwidthMeter", false};
inline constexpr BoolKey DeleteQuickConnectData{"DeleteQuickConnectData", false};
inline constexpr BoolKey autoSaveQueue{"autoSaveQueue", true};
inline constexpr IntKey startupAction{"startupAction", 1};
inline constexpr BoolKey askForLaunchPassword{"askForLaunchPassword", false};
inline constexpr TextKey launchPassword{"launchPassword", ""};
inline constexpr BoolKey confirmCloseWhenConnected{"confirmCloseWhenConnected", true};
inline constexpr BoolKey deleteLocalFolderHistory{"deleteLocalFolderHistory", false};
inline constexpr BoolKey connectionHistoryDeleteOnExit{"connectionHistoryDeleteOnExit", false};

// File lists.
inline constexpr TextKey lFilter{"lFilter", ""};
inline constexpr TextKey rFilter{"rFilter", ""};
inline constexpr BoolKey lFilterAlwaysFolders{"lFilterAlwaysFolders", true};
inline constexpr BoolKey rFilterAlwaysFolders{"rFilterAlwaysFolders", true};
inline constexpr BoolKey lFilterWildcard{"lFilterWildcard", false};
inline constexpr BoolKey rFilterWildcard{"rFilterWildcard", false};
inline constexpr BoolKey filesizeInBytes{"filesizeInBytes", false};
inline constexpr BoolKey hideFileIcons{"hideFileIcons", false};
inline constexpr BoolKey displayshortcuticon{"displayshortcuticon", true};
inline constexpr BoolKey markCachedFolders{"markCachedFolders", true};
inline constexpr BoolKey shadeFilenameColumn{"shadeFilenameColumn", true};
inline constexpr BoolKey autoSelectFolder{"autoSelectFolder", true};
inline constexpr BoolKey showFilters{"showFilters", false};
inline constexpr BoolKey switchBrowserWindows{"switchBrowserWindows", false};

// Connection.
inline constexpr IntKey connectionType{"connectionType", 1};
inline constexpr TextKey ConnectionTypeAddress{"ConnectionTypeAddress", ""};
inline constexpr TextKey ConnectionTypePort{"ConnectionTypePort", "21"};
inline constexpr IntKey keepAliveSecsStart{"keepAliveSecsStart", 30};
inline constexpr IntKey keepAliveSecsEnd{"keepAliveSecsEnd", 60};

} // namespace Keys

namespace Keys {

// Main window, log window and diagnostics.
inline constexpr IntKey toolbarTheme{"toolbarTheme", 2};
inline constexpr IntKey toolbarFontSize{"toolbarFontSize", 1};
inline constexpr BoolKey showLogWin{"showLogWin", true};
inline constexpr BoolKey showMeter{"showMeter", true};
inline constexpr BoolKey minimizeToTray{"minimizeToTray", false};
inline constexpr BoolKey disableBackgroundImages{"disableBackgroundImages", false};
inline constexpr BoolKey disableSound{"disableSound", true};
inline constexpr TextKey sndOnError{"sndOnError", ""};
inline constexpr IntKey transferMode{"transferMode", 0};

// FTP engine: seconds without a byte from the server before a request fails.
inline constexpr IntKey replyTimeout{"replyTimeout", 30};

} // namespace Keys

// Queue
namespace Keys {

inline constexpr IntKey xferAction{"xferAction", 3};
inline constexpr BoolKey confirmDragDrop{"confirmDragDrop", false};

// Running the queue.
inline constexpr BoolKey forceRemoteLowercase{"forceRemoteLowercase", false};
inline constexpr BoolKey autoCloseXferActionPrompt{"autoCloseXferActionPrompt", true};
inline constexpr IntKey autoCloseXferActionPromptSecs{"autoCloseXferActionPromptSecs", 60};
inline constexpr BoolKey listHiddenFiles{"listHiddenFiles", false};
inline constexpr BoolKey autoRefreshFolders{"autoRefreshFolders", true};
inline constexpr IntKey statFilesReceived{"statFilesReceived", 0};
inline constexpr IntKey statFilesSent{"statFilesSent", 0};
inline constexpr BoolKey setOriginalFileDate{"setOriginalFileDate", false};
inline constexpr BoolKey showLoginMsg{"showLoginMsg", true};
inline constexpr TextKey sndOnXferDone{"sndOnXferDone", ""};
inline constexpr TextKey sndOnConnect{"sndOnConnect", ""};
// How deep a folder transfer or deletion may descend before it stops with an error.
inline constexpr IntKey folderDepthLimit{"folderDepthLimit", 64};

} // namespace Keys
