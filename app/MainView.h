#pragma once

#include <QString>

class tSetupClass;

// The window's size, position and panel sizes as start-up restores them and shut-down
// stores them. Sizes are in device-independent pixels.
struct WindowGeometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int windowState = 0; // 0 normal, 1 minimised, 2 maximised
    int panelBottomHeight = 0;
    int logHeight = 0;
    int gamePanelWidth = 0;
    int lPanelWidth = 0;

    // The window as it is designed: 795 x 500, panes at their designed sizes.
    static WindowGeometry designed() { return {0, 0, 795, 500, 0, 111, 52, 184, 372}; }
};

// What start-up and shut-down ask of the main window. The controller runs the steps in
// their order and calls these for the visual ones; with no window (tests, headless use)
// the defaults do nothing.
class MainView {
public:
    virtual ~MainView() = default;

    virtual void showWaitText(const QString &) {}
    virtual void startWaitCloseTimer() {}
    // Layout files of the three lists; a missing or unreadable file is skipped.
    virtual void loadListLayouts(const QString & /*programData*/, bool /*includeQueue*/) {}
    // A file that cannot be written is skipped.
    virtual void saveListLayouts(const QString & /*programData*/) {}
    virtual void loadToolbarPositions(const QString & /*path*/) {}
    // Raises FileError when the file cannot be written.
    virtual void saveToolbarPositions(const QString & /*path*/) {}
    // The designed geometry, used for keys that are not stored yet.
    virtual WindowGeometry designedGeometry() const { return WindowGeometry::designed(); }
    // The current geometry with the normal (restored) rectangle of a maximised window.
    virtual WindowGeometry currentGeometry() const { return designedGeometry(); }
    virtual void applyGeometry(const WindowGeometry &, bool /*keepStoredPosition*/) {}
    virtual void setDebugMenuVisible(bool) {}
    virtual void applyInterfaceSettings() {}
    // Runs after the timer_startup steps that touch the window (logo, check marks, panels).
    virtual void startupWindowSteps() {}
    virtual void localFolderHistoryChanged() {}
    // Closes the main window through the normal close path.
    virtual void closeMainWindow() {}
    // Offers the feedback window at exit (modal) and stores its "never again" choice.
    virtual void offerFeedback() {}
};
