#!/usr/bin/env bash
# Makes the pictures of docs/ again from the current build, under Xvfb, with a temporary
# home: docs/main-window.png (first start on a 1280 x 800 screen),
# docs/main-window-1920.png (first start on a 1920 x 1080 screen), docs/options-general.png and
# docs/options-toolbar.png (two pages of the options dialog) and docs/file-browsers.png (the
# local list on a small sample folder, so the picture shows no path of the machine it was
# made on), docs/list-menu.png (the local list's menu open over the window) and
# docs/permissions.png (the permission dialog at code 644), docs/site-manager.png,
# docs/site-manager-sftp.png, docs/quick-connect-sftp.png and docs/links-bar.png,
# docs/transfer.png and docs/reconnecting.png.
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/kestrin-ftp
[ -x "$program" ] || { echo "build the program first (scripts/run.sh or cmake --build build)" >&2; exit 1; }

demo=/tmp/kestrin-demo
rm -rf "$demo"
mkdir -p "$demo/home" "$demo/Documents/Invoices" "$demo/Documents/Photos"
printf 'Meeting at ten.\n' >"$demo/Documents/notes.txt"
head -c 48000 /dev/zero >"$demo/Documents/report.pdf"
head -c 2100000 /dev/zero >"$demo/Documents/holiday.jpg"
printf '<html></html>\n' >"$demo/Documents/index.html"
printf 'a,b\n1,2\n' >"$demo/Documents/budget.csv"
touch -d '2026-12-01 09:30' "$demo/Documents"/* "$demo/Documents"

shot() {
  env HOME="$demo/home" XDG_DATA_HOME="$demo/home/.local/share" \
    xvfb-run -a -s "-screen 0 ${screen:-1280x800}x24" "$program" --screenshot "$@"
}

shot docs/main-window.png
screen=1920x1080 shot docs/main-window-1920.png
rm -rf "$demo/home" && mkdir -p "$demo/home"
shot docs/options-general.png --options General
shot docs/options-toolbar.png --options Toolbar
data="$demo/home/.local/share/Tamberlyn/Kestrin FTP Pro/Program Data"
mkdir -p "$data"
printf '%s\r\n' "$demo/Documents/" >"$data/lFolderHistory.dat"
shot docs/file-browsers.png
# The queue list with items, detail rows and the stop mark: drawn by its window test.
KESTRIN_SHOTS="$PWD/docs" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" build/tests/kestrin_gui_tests \
  --gtest_filter='MainWindowQueue.ItemsShowWithDetailRowsIconsAndTheStopMark:CertificateDialog.*' >/dev/null
shot docs/list-menu.png --show list-menu
shot docs/permissions.png --show permissions
rm -rf "$demo"

# docs/transfer.png: the window in the middle of a throttled download from a pyftpdlib server
# the test starts on 127.0.0.1 (needs the widget tests built).
KESTRIN_TRANSFER_SCREENSHOT="$PWD/docs/transfer.png" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x900x24" build/tests/kestrin_gui_tests --gtest_filter='TransferStatusWindow.Shows*'

# docs/reconnecting.png: the last listing kept, greyed, while a lost connection waits for
# its reconnect (the server the test starts on 127.0.0.1 is stopped under the program).
KESTRIN_SHOTS="$PWD/docs" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" build/tests/kestrin_gui_tests \
  --gtest_filter='WindowCommands.ALostConnectionKeepsTheLastListingGreyedUntilTheRetryIsGivenUp' >/dev/null

# docs/site-manager.png and docs/links-bar.png: the site manager with a site for a pyftpdlib
# server the test starts on 127.0.0.1, and the links bar with three links; docs/site-manager-sftp.png
# and docs/quick-connect-sftp.png: an SFTP site's page and the quick-connect bar with SFTP chosen.
KESTRIN_SITES_SHOTS="$PWD/docs" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" build/tests/kestrin_gui_tests \
  --gtest_filter='SiteManager.ASiteMadeInTheWindowConnectsWithItsSavedFields:SiteManager.AProfileInTheLinksBarFolderIsAButtonThatConnects:SiteManager.AnSftpSiteKeepsItsProtocolPortAndKeyFile:ConnectWindows.ProtocolChoiceMovesTheDefaultPortAndTurnsEncryptionOff' >/dev/null
