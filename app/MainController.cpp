#include "app/MainController.h"

#include "app/Sound.h"

#include "base/Errors.h"
#include "base/Files.h"
#include "base/Guard.h"
#include "settings/SettingsCatalogue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kSection = QString(tSetupClass::kSeparator);

QString withSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

} // namespace

MainController::MainController(UserInterface &ui, QObject *parent)
    : QObject(parent), m_ui(ui), m_sessions(m_setup, m_ui, [this](const QString &line) { writeLog(line); }),
      m_queue(m_setup, m_ui, m_browsers, m_sessions, [this](const QString &line) { writeLog(line); }),
      m_meter(m_setup, m_sessions), m_status(m_browsers, m_sessions, m_queue.model(), m_meter),
      m_connect(m_setup, m_ui, m_diagnostics, m_sessions, m_queue, [this](const QString &line) { writeLog(line); }),
      m_savedQueues(m_setup, m_ui, m_queue, [this](const QString &line) { writeLog(line); })
{
    m_setup.encoded = true;
    m_startTime = QDateTime::currentDateTime();
    m_tick.timer_startup.setHandler([this](QObject *) { guarded("sdf312", [this] { timerStartup(); }); });
    m_displayFeed.setLogWriter([this](const QString &line) { writeLog(line); });
    wireSessions();
    wireQueue();
    wireStatus();
}

MainController::~MainController()
{
    stopSounds();
}

void MainController::setView(MainView *view)
{
    m_view = view ? view : &m_nullView;
}

void MainController::writeLog(const QString &line)
{
    guarded("nnlgwr", [&] { m_log.writeLog(line); });
    // Listeners get the line as the log holds it: a password is never passed on.
    emit logWritten(LogModel::maskPassword(line));
}

void MainController::FormCreate(const QStringList &args)
{
    guarded("3j", [&] {
        emit waitTextChanged(QStringLiteral("Launching Kestrin FTP Pro ..."));
        m_folders = DataFolders::locate();
        m_folders.create();
        m_savedQueues.setFolder(m_folders.savedQueue);
        m_browserCommands.setTemporaryFolder(m_folders.temporary);
        m_sharedProfilesFolder = m_folders.sharedProfiles;
        loadSettings();
        m_browsers.loadLocalFolderHistory(m_folders.dataFile(QStringLiteral("lFolderHistory.dat")));
        m_view->loadListLayouts(m_folders.programData, read(m_setup, Keys::lastRunVersion) >= 0);
        m_view->loadToolbarPositions(m_folders.dataFile(QStringLiteral("ftpm.dat")));
        restoreWindowGeometry();
        m_debugMode = false;
        for (const QString &arg : args) {
            if (arg.compare(QLatin1String("-tmbdebug"), Qt::CaseInsensitive) == 0)
                m_debugMode = true;
        }
        emit debugModeChanged(m_debugMode);
        m_diagnostics.setDebugMode(m_debugMode);
        m_queue.setTraceSteps(m_debugMode);
        m_diagnostics.setFilePath(m_folders.base + QLatin1String(Diagnostics::kFileName));
        // The bandwidth meter's history is initialised here once the meter exists.
        m_tick.setEnabled(true);
        emit interfaceSettingsChanged();
    });
}

void MainController::loadSettings()
{
    if (QFileInfo::exists(m_folders.dataFile(QStringLiteral("setupIDs.dat"))))
        convertOldFormat(m_setup, m_folders.programData, [this](const QString &line) { writeLog(line); });
    else if (const QString setup = m_folders.dataFile(QStringLiteral("setup.dat")); !m_setup.load(setup))
        noteDamaged(setup);
    m_secrets.loadLaunchPassword();
}

void MainController::noteDamaged(const QString &path)
{
    const QString copy = keepDamagedCopy(path);
    const QString line = copy.isEmpty() ? QStringLiteral("%1 (no copy could be made)").arg(path)
                                        : QStringLiteral("%1, copied to %2").arg(path, copy);
    writeLog(kSection + QStringLiteral("A data file could not be read completely: ") + line);
    m_damagedFiles << line;
}

void MainController::tellDamagedFiles()
{
    if (m_damagedFiles.isEmpty())
        return;
    m_ui.showMessage(QStringLiteral("These files could not be read completely; the program goes on with what "
                                    "could be read, and a copy of each was kept:\r\r") +
                     std::exchange(m_damagedFiles, {}).join(QStringLiteral("\r")));
}

void MainController::restoreWindowGeometry()
{
    const WindowGeometry designed = m_view->designedGeometry();
    const bool keepPosition = read(m_setup, Keys::l) != Keys::l.def;
    auto readInt = [this](const IntKey &key, int current) {
        return static_cast<int>(m_setup.getInt(key.key(), current));
    };
    WindowGeometry g;
    g.left = readInt(Keys::l, designed.left);
    g.width = readInt(Keys::w, designed.width);
    g.height = readInt(Keys::h, designed.height);
    g.top = readInt(Keys::t, designed.top);
    g.windowState = static_cast<int>(read(m_setup, Keys::windowState));
    g.panelBottomHeight = readInt(Keys::panelBottomHeight, designed.panelBottomHeight);
    g.logHeight = readInt(Keys::logHeight, designed.logHeight);
    g.gamePanelWidth = readInt(Keys::gamePanelWidth, designed.gamePanelWidth);
    g.lPanelWidth = readInt(Keys::lPanelWidth, designed.lPanelWidth);
    m_view->applyGeometry(g, keepPosition);
}

void MainController::timerStartup()
{
    writeLog(kSection + QStringLiteral("Kestrin FTP Pro %1 - Copyright (c) Tamberlyn. Free to use, no warranty.")
                            .arg(QLatin1String(Version::kVersionText)));
    if (read(m_setup, Keys::detailedLog)) {
        const double seconds = static_cast<double>(m_startTime.msecsTo(QDateTime::currentDateTime())) / 1000.0;
        writeLog(kSection + QStringLiteral("Kestrin FTP Pro was started up in %1 seconds.").arg(seconds, 0, 'f', 2));
    }
    emit startupTickRan();
    if (read(m_setup, Keys::lastRunVersion) != kVersion)
        write(m_setup, Keys::neverShowAppFeedback, false);
    useSharedProfilesFolder();
    m_secrets.attach(m_connect.history());
    if (const QString history = m_folders.dataFile(QStringLiteral("connectionHistory.dat"));
        !m_connect.loadHistory(history))
        noteDamaged(history);
    m_certificates.load(m_folders.dataFile(QStringLiteral("trustedCertificates.dat")));
    m_browsers.loadFilters();
    m_connect.fillQuickConnectFromHistory();
    loadAsciiMasks();
    m_browsers.setLocalFolder(m_browsers.initialLocalFolder());
    m_sessions.setRavuzAro(read(m_setup, Keys::ravuzAroEnabled));
    // The local list shows the first folder of the local folder history.
    m_browsers.refreshLocalView();
    emit startupDataLoaded();
    tellDamagedFiles();
    // The launch password comes before anything that connects or shows the user's queue:
    // the recovery queue and the start-up action.
    if (!askLaunchPassword()) {
        m_started = true;
        return;
    }
    // The links bar is drawn here once it exists.
    m_savedQueues.loadRecovery();
    runStartupAction();
    m_started = true;
}

void MainController::useSharedProfilesFolder()
{
    guarded("nnllnq", [this] {
        if (!read(m_setup, Keys::sharedFavorites))
            return;
        const QString folder = read(m_setup, Keys::sharedFavoritesFolder);
        if (QFileInfo(folder).isDir()) {
            m_sharedProfilesFolder = withSlash(folder);
            return;
        }
        m_ui.showMessage(QStringLiteral(
            "Shared Favorites Disabled!\r\rThe shared favorites function was disabled because the shared folder "
            "does not exist. Create the folder and restart Kestrin FTP Pro. To change the shared folder position, "
            "enter setup and select \"sharing\"."));
    });
}

void MainController::loadAsciiMasks()
{
    const QString path = m_folders.dataFile(QStringLiteral("asciiFiles.dat"));
    if (!QFileInfo::exists(path)) {
        m_queue.setAsciiMasks(AsciiMasks::defaults());
        return;
    }
    QStringList masks;
    try {
        loadEncodedList(masks, path);
    } catch (const KestrinError &) {
        // An unreadable mask file leaves the list as far as it was read.
    }
    m_queue.setAsciiMasks(masks);
}

void MainController::runStartupAction()
{
    // 1 site manager, 2 Connect, 3 VuzidIRA, 4 connection history; 0 and other values do
    // nothing.
    guarded("nnstart", [this] { m_connect.runStartupAction(static_cast<int>(read(m_setup, Keys::startupAction))); });
}

bool MainController::askLaunchPassword()
{
    if (!read(m_setup, Keys::askForLaunchPassword))
        return true;
    if (m_secrets.launchPasswordUnreadable()) {
        // The keyring holds the password and does not answer: it cannot be checked.
        m_ui.showMessage(QStringLiteral("The launch password is kept in the desktop's keyring, which cannot be "
                                        "read now. Unlock the keyring and start Kestrin FTP Pro again."));
        emit closeRequested();
        return false;
    }
    QString typed;
    if (!m_ui.askText(QStringLiteral("Password - Kestrin FTP Pro"), QStringLiteral("What is the launch password:"),
                      typed, true)) {
        emit closeRequested();
        return false;
    }
    if (typed.toLower() != read(m_setup, Keys::launchPassword).toLower()) {
        m_ui.showMessage(QStringLiteral("Wrong password"));
        emit closeRequested();
        return false;
    }
    return true;
}

void MainController::wireSessions()
{
    connect(&m_sessions, &SessionSupervisor::displayLine, this, [this](tkftpclient *s, const QString &line) {
        const auto which = s == m_sessions.mainSession() ? DisplayFeed::Session::Main : DisplayFeed::Session::Transfer;
        m_displayFeed.display(which, *s, s->loggedIn, line);
    });
    // The transfer session joins once the main session shows a remote folder.
    m_sessions.currentRemoteFolder = [this] { return m_browsers.rFolder(); };
    // Certificates the engine cannot trust by itself are put to the user.
    for (tkftpclient *session : m_sessions.allSessions())
        m_certificates.install(*session);
    m_sessions.prepareConnect = [this](tkftpclient &session) { m_certificates.prepare(session); };
    m_sessions.prepareSftp = [this](SftpSession &session) { m_sftpQuestions.install(session); };
    // "Trust always" keeps SFTP host keys in the program's own file, never in ~/.ssh.
    m_sessions.ownKnownHostsFile = [this] {
        return m_folders.programData.isEmpty() ? QString() : m_folders.dataFile(QStringLiteral("known_hosts"));
    };
    m_tick.timer_threads.setHandler([this](QObject *) { guarded("thr0001", [this] { m_sessions.timer_threads(); }); });
}

void MainController::wireQueue()
{
    m_tick.timer_checkQueue.setHandler([this](QObject *) { m_queue.timer_checkQueue(); });
    connect(&m_sessions, &SessionSupervisor::requestDone, &m_queue, &QueueController::ftpCtrlRequestDone);
    connect(&m_sessions, &SessionSupervisor::listingReceived, &m_queue, &QueueController::listingReceived);
    connect(&m_queue, &QueueController::mainSessionLoggedIn, this, &MainController::siteLoggedIn);
    connect(&m_sessions, &SessionSupervisor::sessionClosed, this, [this](tkftpclient *session, int) {
        if (session == m_sessions.mainSession())
            emit siteClosed();
    });
    // A refused login goes to the session-loss handling (m_loss), which ends the attempt.
    // Last of the close receivers: the session is logged out.
    connect(&m_sessions, &SessionSupervisor::sessionClosed, &m_connect,
            [this](tkftpclient *session, int) { m_connect.sessionClosed(session); });
    connect(&m_queue, &QueueController::waitTextChanged, this, &MainController::waitTextChanged);
    connect(&m_queue, &QueueController::waitEnded, this, &MainController::startupTickRan);
    connect(&m_queue, &QueueController::closeRequested, this, &MainController::closeRequested);
    // "When empty: Disconnect from site" is the user's Disconnect, run by the queue.
    connect(&m_queue, &QueueController::disconnectRequested, this, [this] { m_connect.acDisconnect(); });
}

bool MainController::FormCloseQuery()
{
    guarded("akalajs", [this] {
        if (!read(m_setup, Keys::neverShowAppFeedback))
            m_view->offerFeedback();
    });
    bool stay = false;
    guarded("akalajs", [this, &stay] {
        stay = mainSessionLoggedIn() && read(m_setup, Keys::confirmCloseWhenConnected) &&
               !m_ui.confirm(
                   QStringLiteral("You are currently connected to an FTP site. Still want to close application?"));
    });
    if (stay)
        return false;
    // An error before this point still lets the settings be saved: closing never costs the
    // user the state of this run.
    guarded("nnlqlks", [this] {
        m_tick.setEnabled(false);
        m_queue.setTerminating(true);
        m_status.setTerminating(true);
        emit waitTextChanged(QStringLiteral("Closing Down ..."));
        stopSounds();
        if (!m_sessions.isFullyDisconnected())
            disconnectForShutDown();
    });
    // Written at once, not after the usual delay, and never again in this run.
    guarded("nnlqlks", [this] { m_savedQueues.finishRecovery(); });
    saveEverything();
    return true;
}

void MainController::disconnectForShutDown()
{
    // Closing drops both sessions without the questions an interactive disconnect asks,
    // then lets their closing events run.
    m_sessions.setConnectionWanted(false);
    m_sessions.timer_threads();
    QDeadlineTimer deadline(10000);
    while (!m_sessions.isFullyDisconnected() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void MainController::saveEverything()
{
    // Each file is saved on its own: one that cannot be written is reported and the others
    // are still written, so a single bad file never costs the user the rest of their state.
    // Files are replaced atomically, so a failed write leaves the previous file intact.
    guarded("nnlqlks", [this] { m_view->saveToolbarPositions(m_folders.dataFile(QStringLiteral("ftpm.dat"))); });
    guarded("nnlqlks", [this] { m_view->saveListLayouts(m_folders.programData); });
    guarded("nnlqlks",
            [this] { m_browsers.saveLocalFolderHistory(m_folders.dataFile(QStringLiteral("lFolderHistory.dat"))); });
    storeWindowKeys();
    const QString setupFile = m_folders.dataFile(QStringLiteral("setup.dat"));
    QString reason;
    if (!m_secrets.saveSettings(setupFile, &reason)) {
        // The previous file is still in place; the user learns that this run's changes are lost.
        m_ui.showMessage(QStringLiteral("Could not save the settings to \"%1\":\r%2\r\rThe settings of the "
                                        "previous run were kept.")
                             .arg(setupFile, reason));
    }
    guarded("nnlqlks",
            [this] { saveEncodedList(m_queue.asciiMasks(), m_folders.dataFile(QStringLiteral("asciiFiles.dat"))); });
    guarded("nnlqlks", [this] {
        const QString path = m_folders.dataFile(QStringLiteral("connectionHistory.dat"));
        QString reason;
        m_secrets.attach(m_connect.history());
        if (!m_connect.saveHistory(path, &reason))
            throw FileError(QStringLiteral("Cannot write \"%1\": %2").arg(path, reason));
    });
}

void MainController::storeWindowKeys()
{
    const WindowGeometry g = m_view->currentGeometry();
    write(m_setup, Keys::appRuns, read(m_setup, Keys::appRuns) + 1);
    write(m_setup, Keys::gamePanelWidth, g.gamePanelWidth);
    write(m_setup, Keys::h, g.height);
    write(m_setup, Keys::l, g.left);
    write(m_setup, Keys::logHeight, g.logHeight);
    write(m_setup, Keys::lFilter, m_browsers.filter(BrowserController::Side::Local).text);
    write(m_setup, Keys::panelBottomHeight, g.panelBottomHeight);
    write(m_setup, Keys::rFilter, m_browsers.filter(BrowserController::Side::Remote).text);
    write(m_setup, Keys::t, g.top);
    write(m_setup, Keys::w, g.width);
    write(m_setup, Keys::windowState, g.windowState);
    write(m_setup, Keys::lastRunVersion, kVersion);
    write(m_setup, Keys::lPanelWidth, g.lPanelWidth);
}
