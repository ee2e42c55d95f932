#include "app/SiteConnect.h"

#include "app/ConnectController.h"
#include "app/MainController.h"
#include "app/SessionSupervisor.h"
#include "settings/SettingsCatalogue.h"

bool connectToProfile(MainController &controller, const tSiteRecord &site, const QString &name)
{
    if (site.Host.isEmpty())
        return false;
    SessionSupervisor &sessions = controller.sessions();
    ConnectController &connect = controller.connection();
    if (!connect.waitForDisconnect())
        return false;
    // Copied after the wait: the caller's record is its own, events could not change it.
    tSiteRecord current = site;
    current.fromSiteManager = true;
    current.name = name;
    sessions.setCurrentSite(current);
    if (sessions.ravuzAro() != site.smartXfer) {
        sessions.setRavuzAro(site.smartXfer);
        write(controller.setup(), Keys::ravuzAroEnabled, site.smartXfer);
    }
    return connect.acConnect(ConnectController::Caller::SiteManager);
}
