#pragma once

#include "browser/widgets/HeaderStyles.h"
#include "browser/widgets/LocalBrowser.h"
#include "browser/widgets/RemoteBrowser.h"
#include "browser/widgets/SystemFileIcons.h"

#include <QObject>

class BrowserController;
class tSetupClass;

// The two file browsers of the main window with what they share: the system icons, the
// header style group and each other as drag partners. The window places local().list()
// and remote().list() in its panes and attaches the panes' rows.
class FileBrowsers : public QObject {
    Q_OBJECT
public:
    FileBrowsers(BrowserController &browsers, tSetupClass &setup, QWidget *parent);

    LocalBrowser &local() { return m_local; }
    RemoteBrowser &remote() { return m_remote; }
    HeaderStyles &headerStyles() { return m_styles; }

    // The column layouts in "lvl.dat" (local) and "lvr.dat" (remote) of the program data
    // folder. A missing or unreadable file leaves the standard layout; a file that cannot be
    // written is skipped.
    void loadLayouts(const QString &programData);
    void saveLayouts(const QString &programData);

private:
    SystemFileIcons m_icons;
    HeaderStyles m_styles;
    LocalBrowser m_local;
    RemoteBrowser m_remote;
};
