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

// What start-up and shut-down must ask of the main window and get an answer to: the
// window's own layout files and geometry, and the modal feedback offer at exit. Everything
// the window only needs to hear about arrives as a signal of the controller instead. With
// no window (tests, headless use) the defaults do nothing.
class MainView {
public:
    virtual ~MainView() = default;

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
    // Offers the feedback window at exit (modal) and stores its "never again" choice.
    virtual void offerFeedback() {}
};
