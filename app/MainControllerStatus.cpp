// The status, meter and version-check parts of the controller: their tick actions and the
// events they follow.
#include "app/MainController.h"

#include "base/Guard.h"
#include "settings/SettingsCatalogue.h"
#include "status/LogModel.h"

void MainController::wireStatus()
{
    m_tick.timer_updateinterface.setHandler(
        [this](QObject *) { guarded("uiupd01", [this] { m_status.timer_updateinterface(); }); });
    m_tick.timer_fancycolors.setHandler([this](QObject *) {
        guarded("fncy001", [this] { m_status.timer_fancycolors(read(m_setup, Keys::disableFancyColors)); });
    });
    m_tick.timer_xferstats.setHandler(
        [this](QObject *) { guarded("xfst001", [this] { m_status.timer_xferstats(); }); });
    m_tick.timer_meter.setHandler(
        [this](QObject *) { guarded("mtr0001", [this] { m_meter.timer_meter(m_started); }); });
    m_tick.timer_checkForNewVersion.setHandler([this](QObject *) {
        guarded("nvchk01", [this] {
            m_versionCheck.timer_checkForNewVersion(m_started && !m_debugMode && read(m_setup, Keys::noticeNewVersion));
        });
    });
    connect(&m_versionCheck, &VersionCheck::logLine, this, &MainController::writeLog);
    // A site that asked for encryption where available and got none says so once.
    connect(&m_status, &StatusController::plainConnectionChanged, this, [this](bool plain) {
        if (plain && m_sessions.currentSite().encryption == SiteEncryption::ExplicitIfAvailable)
            writeLog(QString(LogModel::kInfo) +
                     QStringLiteral("The server offers no encryption: this connection is plain FTP, not encrypted."));
    });
    // The check boxes of the version window are loaded once the data folders are known.
    connect(this, &MainController::startupTickRan, this, [this] {
        if (!m_folders.programData.isEmpty())
            m_versionCheck.loadChoices(m_folders.dataFile(QStringLiteral("newVersion.dat")));
    });
    // A closed main session leaves no current remote folder behind, and the cache it
    // listed into is freed, so no view reads entries of a connection that is gone.
    connect(&m_sessions, &SessionSupervisor::sessionClosed, this, [this](tkftpclient *session, int) {
        if (session == m_sessions.mainSession())
            m_browsers.forgetRemoteFolder();
    });
}
