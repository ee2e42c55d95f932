#include "settings/SettingsCatalogue.h"

namespace Keys {

const std::vector<AnyKey> &mainStoreKeys()
{
    static const std::vector<AnyKey> keys = {
        // Layout and bookkeeping.
        &l, &t, &w, &h, &windowState, &panelBottomHeight, &logHeight, &gamePanelWidth, &lPanelWidth, &lastRunVersion,
        &appRuns, &neverShowAppFeedback, &defaultSetupTab, &siteMgrSelNodePath, &statFilesReceived, &statFilesSent,
        // File lists and views.
        &lFilter, &rFilter, &lFilterAlwaysFolders, &rFilterAlwaysFolders, &lFilterWildcard, &rFilterWildcard,
        &showFilters, &switchBrowserWindows, &compareIgnoreSize, &filesizeInBytes, &fullRowSelect, &autoSelectFolder,
        &markCachedFolders, &hideFileIcons, &shadeFilenameColumn, &displayshortcuticon, &fileDoubleclickAction,
        &defaultEditor, &defaultEditorAlways, &confirmDeleteOnServer, &confirmDeleteLocally, &confirmDragDrop,
        &confirmDeleteFromQueue,
        // Connection, sites and history.
        &anonPass, &startupAction, &monitorClipboardForFTPUrls, &ravuzAroEnabled, &connectionType,
        &ConnectionTypeAddress, &ConnectionTypePort, &maxRetries, &retryDelay, &replyTimeout, &keepAlive,
        &keepAliveSecsStart, &keepAliveSecsEnd, &antiTimeoutMinutesToMaintain, &confirmDisconnectWhenQueueNotEmpty,
        &confirmCloseWhenConnected, &showLoginMsg, &connectionHistorySize, &connectionHistorySaveRFolder,
        &connectionHistoryDeleteOnExit, &DeleteQuickConnectData, &deleteLocalFolderHistory, &sharedFavorites,
        &sharedFavoritesFolder, &askForLaunchPassword, &launchPassword, &useKeyring,
        // Transfers and queue.
        &transferMode, &xferAction, &simultaneousTransfers, &autoCloseXferActionPrompt, &autoCloseXferActionPromptSecs,
        &forceRemoteLowercase, &setOriginalFileDate, &preserveFileTimes, &listHiddenFiles, &useMlsd,
        &autoRefreshFolders, &autoSaveQueue, &folderDepthLimit, &listingMaxMiB, &listingMaxEntries,
        // Log, meter, sound and appearance.
        &showLogWin, &logAutoScroll, &detailedLog, &showMeter, &disableBandwidthMeter, &advancedBandwidthMeterInfoMode,
        &disableFancyColors, &disableBackgroundImages, &disableSound, &sndOnConnect, &sndOnDisconnect, &sndOnXferDone,
        &sndOnError, &disableLogo, &useCustomLogo, &customlogo, &minimizeToTray, &noPleaseWaitWindow, &noticeNewVersion,
        &toolbarTheme, &toolbarFontSize, &fontFace, &fontSize, &fontSpace,
        // Shortcuts.
        &scConnect, &scNewFolder, &scChMod, &scFavorites, &scReceive, &scRefresh, &scRename, &scSend, &scOptions,
        &scFilters, &scHistory};
    return keys;
}

QString nameOf(const AnyKey &key)
{
    return std::visit([](const auto *k) { return k->key(); }, key);
}

} // namespace Keys

namespace AsciiMasks {

QStringList defaults()
{
    return {QStringLiteral("*.*htm*"), QStringLiteral("*.php")};
}

QStringList resetList()
{
    return {QStringLiteral("*.*htm*"), QStringLiteral("*.php*")};
}

} // namespace AsciiMasks
