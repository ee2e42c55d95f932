#pragma once

#include "sites/SiteProfiles.h"
#include "sites/widgets/SiteManagerWindow.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class MainController;
class QAction;
class QToolBar;
class QToolButton;

// Binds the site profiles to the main window: the Favorites commands and the start-up
// action open the site manager; the links bar `tbLinks` shows one button per profile in
// "[links bar]" and connects to it with a click.
class SitesViews : public QObject {
    Q_OBJECT
public:
    struct Actions {
        QAction *siteManager;          // "Favorites"
        QAction *openFavoritesManager; // under the Connect button
        QAction *ravuzAro;             // follows a profile's smart-transfer choice
    };
    struct Hooks {
        std::function<void()> openOptions;
        std::function<void(const QString &)> showHelp;
    };

    SitesViews(MainController &controller, const Actions &actions, QToolBar *linksBar, Hooks hooks, QWidget *window);

    // The profiles in the folder chosen at start-up.
    SiteProfiles profiles() const;
    // Shows the site manager (one at a time); the main window is disabled while it is shown.
    SiteManagerWindow *openSiteManager();
    SiteManagerWindow *siteManager() const { return m_siteManager; }
    // lnkredrawClick: one button per link name, the bar shown only when it has buttons.
    void rebuildLinksBar();
    // The links bar's buttons, in order.
    const QList<QToolButton *> &linkButtons() const { return m_buttons; }
    // LinkBtnClick: connects to the link's profile through a site manager that is not shown.
    void connectLink(const QString &linkName);

private:
    MainController &m_controller;
    Actions m_actions;
    QToolBar *m_bar;
    Hooks m_hooks;
    QWidget *m_window;
    QPointer<SiteManagerWindow> m_siteManager;
    QList<QToolButton *> m_buttons;
};
