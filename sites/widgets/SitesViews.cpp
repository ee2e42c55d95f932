#include "sites/widgets/SitesViews.h"

#include "app/ConnectController.h"
#include "app/MainController.h"
#include "app/SessionSupervisor.h"
#include "settings/SettingsCatalogue.h"
#include "sites/widgets/SiteManagerWindow.h"
#include "ui/QtUserInterface.h"

#include <QAction>
#include <QDir>
#include <QPointer>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

SitesViews::SitesViews(MainController &controller, const Actions &actions, QToolBar *linksBar, Hooks hooks,
                       QWidget *window)
    : QObject(window), m_controller(controller), m_actions(actions), m_bar(linksBar), m_hooks(std::move(hooks)),
      m_window(window)
{
    setObjectName(QStringLiteral("sitesViews"));
    for (QAction *a : {m_actions.siteManager, m_actions.openFavoritesManager})
        if (a)
            connect(a, &QAction::triggered, this, [this] { openSiteManager(); });
    connect(&m_controller.connection(), &ConnectController::siteManagerRequested, this, [this] { openSiteManager(); });
    // The folder is chosen at start-up; the bar is built once it is known.
    connect(&m_controller, &MainController::startupDataLoaded, this, &SitesViews::rebuildLinksBar);
    connect(&m_controller.setup(), &tSetupClass::valueChanged, this, [this](const QString &key) {
        // A profile's smart-transfer choice switches RavuzAro: the command shows it.
        if (m_actions.ravuzAro && key.compare(Keys::ravuzAroEnabled.key(), Qt::CaseInsensitive) == 0)
            m_actions.ravuzAro->setChecked(m_controller.sessions().ravuzAro());
        if (key.compare(Keys::toolbarFontSize.key(), Qt::CaseInsensitive) == 0)
            rebuildLinksBar();
    });
    if (m_bar)
        m_bar->hide();
}

SiteProfiles SitesViews::profiles() const
{
    const QString folder = m_controller.sharedProfilesFolder();
    const bool own = QDir::cleanPath(folder) == QDir::cleanPath(m_controller.folders().sharedProfiles);
    SiteProfiles profiles(folder, own);
    m_controller.secrets().attach(profiles);
    return profiles;
}

SiteManagerWindow *SitesViews::openSiteManager()
{
    if (m_controller.sharedProfilesFolder().isEmpty())
        return nullptr; // before start-up has chosen the folder
    if (m_siteManager) {
        m_siteManager->raise();
        m_siteManager->activateWindow();
        return m_siteManager;
    }
    m_siteManager = new SiteManagerWindow(m_controller, profiles(), {m_hooks.openOptions, m_hooks.showHelp}, m_window);
    connect(m_siteManager, &SiteManagerWindow::profilesChanged, this, &SitesViews::rebuildLinksBar);
    // Closing rebuilds the bar too: renames and moves made in the window show at once.
    connect(m_siteManager, &QObject::destroyed, this, &SitesViews::rebuildLinksBar);
    // The main window waits while the site manager is open; the questions and messages
    // it asks open above it, not behind it above the main window.
    m_siteManager->setWindowModality(Qt::ApplicationModal);
    if (auto *qt = dynamic_cast<QtUserInterface *>(&m_controller.ui())) {
        QPointer<QWidget> before = qt->owner();
        qt->setOwner(m_siteManager);
        connect(m_siteManager, &QObject::destroyed, this, [qt, before] { qt->setOwner(before); });
    }
    // Centred on the main window.
    if (m_window)
        m_siteManager->move(m_window->geometry().center() - m_siteManager->rect().center());
    m_siteManager->show();
    return m_siteManager;
}

void SitesViews::rebuildLinksBar()
{
    if (!m_bar || m_controller.sharedProfilesFolder().isEmpty())
        return;
    const QStringList names = profiles().linkNames();
    m_bar->setUpdatesEnabled(false);
    // The old buttons go later (each with its action): this may run from inside one of
    // their click handlers.
    for (QAction *a : m_bar->actions()) {
        m_bar->removeAction(a);
        a->deleteLater();
    }
    m_buttons.clear();
    const int size = static_cast<int>(read(m_controller.setup(), Keys::toolbarFontSize));
    QFont font = m_bar->font();
    if (size == 0)
        font.setPointSizeF(font.pointSizeF() * 0.85);
    else if (size == 2)
        font.setPointSizeF(font.pointSizeF() * 1.2);
    const QIcon icon = m_bar->style()->standardIcon(QStyle::SP_DriveNetIcon);
    for (const QString &name : names) {
        auto *button = new QToolButton(m_bar);
        button->setObjectName(QStringLiteral("link"));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setIcon(icon);
        button->setText(name);
        button->setToolTip(QStringLiteral("Click to connect to: ") + name);
        button->setFont(font);
        button->setAutoRaise(true);
        connect(button, &QToolButton::clicked, this, [this, name] { connectLink(name); });
        m_bar->addWidget(button);
        m_buttons.append(button);
    }
    m_bar->setVisible(!names.isEmpty());
    m_bar->setUpdatesEnabled(true);
}

void SitesViews::connectLink(const QString &linkName)
{
    if (m_controller.sharedProfilesFolder().isEmpty())
        return;
    // A site manager that is not shown reads the profile as the shown one would and
    // remembers the link as its selection when it closes.
    auto *window = new SiteManagerWindow(m_controller, profiles(), {m_hooks.openOptions, m_hooks.showHelp}, m_window);
    window->selectPath(SiteProfiles::kLinksBar + QLatin1Char('\\') + linkName);
    if (window->site().Host.isEmpty() || window->selectedPath().isEmpty()) {
        window->close(); // the profile is gone: the lookup fell back to the root
        return;
    }
    window->connectSite();
}
