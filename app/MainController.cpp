#include "app/MainController.h"

#include "base/Errors.h"
#include "base/Guard.h"
#include "base/TextCodec.h"
#include "settings/SettingsCatalogue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString kSection = QString(tSetupClass::kSeparator);

QString withSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

QString homeFolder()
{
    return withSlash(QDir::homePath());
}

} // namespace

MainController::MainController(UserInterface &ui, MainView *view, QObject *parent)
    : QObject(parent), m_ui(ui), m_view(view ? view : &m_nullView)
{
    setup.encoded = true;
    m_startTime = QDateTime::currentDateTime();
    tick.timer_startup.setHandler([this](QObject *) { guarded("sdf312", [this] { timerStartup(); }); });
    displayFeed.setLogWriter([this](const QString &line) { writeLog(line); });
}

MainController::~MainController() = default;

void MainController::setView(MainView *view)
{
    m_view = view ? view : &m_nullView;
}

void MainController::writeLog(const QString &line)
{
    guarded("nnlgwr", [&] { log.writeLog(line); });
    emit logWritten(line);
}

void MainController::FormCreate(const QStringList &args)
{
    guarded("3j", [&] {
        m_view->showWaitText(QStringLiteral("Launching Kestrin FTP Pro ..."));
        folders = DataFolders::locate();
        folders.create();
        sharedProfilesFolder = folders.sharedProfiles;
        loadSettings();
        loadLocalFolderHistory();
        createSessions();
        m_view->loadListLayouts(folders.programData, read(setup, Keys::lastRunVersion) >= 0);
        m_view->loadToolbarPositions(folders.dataFile(QStringLiteral("ftpm.dat")));
        restoreWindowGeometry();
        m_debugMode = false;
        for (const QString &arg : args) {
            if (arg.compare(QLatin1String("-tmbdebug"), Qt::CaseInsensitive) == 0)
                m_debugMode = true;
        }
        m_view->setDebugMenuVisible(m_debugMode);
        m_diagnostics.setDebugMode(m_debugMode);
        m_diagnostics.setFilePath(folders.base + QLatin1String(Diagnostics::kFileName));
        // The bandwidth meter's history is initialised here once the meter exists.
        tick.setEnabled(true);
        m_view->applyInterfaceSettings();
    });
}

void MainController::loadSettings()
{
    if (QFileInfo::exists(folders.dataFile(QStringLiteral("setupIDs.dat"))))
        convertOldFormat(setup, folders.programData, [this](const QString &line) { writeLog(line); });
    else
        setup.load(folders.dataFile(QStringLiteral("setup.dat")));
}

void MainController::loadLocalFolderHistory()
{
    lFolderHistory.clear();
    QFile file(folders.dataFile(QStringLiteral("lFolderHistory.dat")));
    if (file.open(QIODevice::ReadOnly)) {
        const QString text = TextCodec::decodeStored(file.readAll());
        for (QString line : text.split(QLatin1Char('\n'))) {
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
            if (!line.isEmpty())
                lFolderHistory.append(line);
        }
    } else {
        lFolderHistory.append(homeFolder());
    }
    initialLocalFolder = lFolderHistory.isEmpty() ? homeFolder() : lFolderHistory.first();
    m_view->localFolderHistoryChanged();
}

void MainController::restoreWindowGeometry()
{
    const WindowGeometry designed = m_view->designedGeometry();
    const bool keepPosition = read(setup, Keys::l) != Keys::l.def;
    auto readInt = [this](const IntKey &key, int current) {
        return static_cast<int>(setup.getInt(key.key(), current));
    };
    WindowGeometry g;
    g.left = readInt(Keys::l, designed.left);
    g.width = readInt(Keys::w, designed.width);
    g.height = readInt(Keys::h, designed.height);
    g.top = readInt(Keys::t, designed.top);
    g.windowState = static_cast<int>(read(setup, Keys::windowState));
    g.panelBottomHeight = readInt(Keys::panelBottomHeight, designed.panelBottomHeight);
    g.logHeight = readInt(Keys::logHeight, designed.logHeight);
    g.gamePanelWidth = readInt(Keys::gamePanelWidth, designed.gamePanelWidth);
    g.lPanelWidth = readInt(Keys::lPanelWidth, designed.lPanelWidth);
    m_view->applyGeometry(g, keepPosition);
}

void MainController::timerStartup()
{
    writeLog(kSection + QStringLiteral("Kestrin FTP Pro 2.8 - Copyright (c) Tamberlyn. Free to use, no warranty."));
    if (read(setup, Keys::detailedLog)) {
        const double seconds = static_cast<double>(m_startTime.msecsTo(QDateTime::currentDateTime())) / 1000.0;
        writeLog(kSection + QStringLiteral("Kestrin FTP Pro was started up in %1 seconds.").arg(seconds, 0, 'f', 2));
    }
    m_view->startWaitCloseTimer();
    if (read(setup, Keys::lastRunVersion) != kVersion)
        setup.setBool(Keys::neverShowAppFeedback.key(), false);
    useSharedProfilesFolder();
    try {
        const QString path = folders.dataFile(QStringLiteral("connectionHistory.dat"));
        if (QFileInfo::exists(path))
            loadEncodedList(connectionHistory, path);
    } catch (const KestrinError &) {
        // A damaged history starts empty; nothing to report.
    }
    loadFilters();
    fillQuickConnect();
    loadAsciiMasks();
    lFolder = withSlash(initialLocalFolder);
    if (sessions)
        sessions->setRavuzAro(read(setup, Keys::ravuzAroEnabled));
    m_view->startupWindowSteps();
    // The links bar is drawn and the recovery queue loaded here once they exist.
    runStartupAction();
    askLaunchPassword();
    m_started = true;
}

void MainController::useSharedProfilesFolder()
{
    guarded("nnllnq", [this] {
        if (!read(setup, Keys::sharedFavorites))
            return;
        const QString folder = read(setup, Keys::sharedFavoritesFolder);
        if (QFileInfo(folder).isDir()) {
            sharedProfilesFolder = withSlash(folder);
            return;
        }
        m_ui.showMessage(QStringLiteral(
            "Shared Favorites Disabled!\r\rThe shared favorites function was disabled because the shared folder "
            "does not exist. Create the folder and restart Kestrin FTP Pro. To change the shared folder position, "
            "enter setup and select \"sharing\"."));
    });
}

void MainController::loadFilters()
{
    lFilterState = {read(setup, Keys::lFilter), read(setup, Keys::lFilterAlwaysFolders),
                    read(setup, Keys::lFilterWildcard)};
    rFilterState = {read(setup, Keys::rFilter), read(setup, Keys::rFilterAlwaysFolders),
                    read(setup, Keys::rFilterWildcard)};
    showFilters = read(setup, Keys::showFilters);
}

void MainController::fillQuickConnect()
{
    if (read(setup, Keys::DeleteQuickConnectData) || connectionHistory.isEmpty())
        return;
    const QStringList fields = connectionHistory.first().split(tSetupClass::kSeparator);
    auto field = [&fields](int i) { return i < fields.size() ? fields[i] : QString(); };
    quickConnect = {field(0), field(1), field(2), field(3)};
}

void MainController::loadAsciiMasks()
{
    asciiMasks.clear();
    const QString path = folders.dataFile(QStringLiteral("asciiFiles.dat"));
    if (!QFileInfo::exists(path)) {
        asciiMasks = {QStringLiteral("*.*htm*"), QStringLiteral("*.php")};
        return;
    }
    try {
        loadEncodedList(asciiMasks, path);
    } catch (const KestrinError &) {
        // An unreadable mask file leaves the list as far as it was read.
    }
}

void MainController::runStartupAction()
{
    // 1 site manager, 2 Connect, 3 VuzidIRA, 4 connection history: run here once those
    // windows exist; 0 and other values do nothing.
}

void MainController::askLaunchPassword()
{
    if (!read(setup, Keys::askForLaunchPassword))
        return;
    QString typed;
    if (!m_ui.askText(QStringLiteral("Password - Kestrin FTP Pro"), QStringLiteral("What is the launch password:"),
                      typed, true)) {
        m_view->closeMainWindow();
        return;
    }
    if (typed.toLower() != read(setup, Keys::launchPassword).toLower()) {
        m_ui.showMessage(QStringLiteral("Wrong password"));
        m_view->closeMainWindow();
    }
}

void MainController::createSessions()
{
    sessions = std::make_unique<SessionSupervisor>(setup, m_ui, [this](const QString &line) { writeLog(line); });
    sessions->onDisplayLine = [this](tkftpclient &s, const QString &line) {
        const auto which = &s == sessions->mainSession ? DisplayFeed::Session::Main : DisplayFeed::Session::Transfer;
        displayFeed.display(which, s, s.loggedIn, line);
    };
    tick.timer_threads.setHandler([this](QObject *) { guarded("thr0001", [this] { sessions->timer_threads(); }); });
}

bool MainController::FormCloseQuery()
{
    guarded("akalajs", [this] {
        if (!read(setup, Keys::neverShowAppFeedback))
            m_view->offerFeedback();
    });
    bool stay = false;
    guarded("akalajs", [this, &stay] {
        stay = mainSessionLoggedIn() && read(setup, Keys::confirmCloseWhenConnected) &&
               !m_ui.confirm(
                   QStringLiteral("You are currently connected to an FTP site. Still want to close application?"));
    });
    if (stay)
        return false;
    // An error before this point still lets the settings be saved: closing never costs the
    // user the state of this run.
    guarded("nnlqlks", [this] {
        tick.setEnabled(false);
        m_view->showWaitText(QStringLiteral("Closing Down ..."));
        // Playing sounds are stopped, and the queue saved for recovery, here once those exist.
        if (sessions && !sessions->isFullyDisconnected())
            disconnectForShutDown();
    });
    saveEverything();
    return true;
}

void MainController::disconnectForShutDown()
{
    // Closing drops both sessions without the questions an interactive disconnect asks,
    // then lets their closing events run.
    sessions->connectionWanted = false;
    sessions->timer_threads();
    QDeadlineTimer deadline(10000);
    while (!sessions->isFullyDisconnected() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void MainController::saveEverything()
{
    // Each file is saved on its own: one that cannot be written is reported and the others
    // are still written, so a single bad file never costs the user the rest of their state.
    // Files are replaced atomically, so a failed write leaves the previous file intact.
    guarded("nnlqlks", [this] { m_view->saveToolbarPositions(folders.dataFile(QStringLiteral("ftpm.dat"))); });
    guarded("nnlqlks", [this] { m_view->saveListLayouts(folders.programData); });
    guarded("nnlqlks", [this] { saveLocalFolderHistory(); });
    storeWindowKeys();
    setup.save(folders.dataFile(QStringLiteral("setup.dat")));
    guarded("nnlqlks", [this] { saveEncodedList(asciiMasks, folders.dataFile(QStringLiteral("asciiFiles.dat"))); });
    guarded("nnlqlks", [this] {
        if (read(setup, Keys::connectionHistoryDeleteOnExit))
            connectionHistory.clear();
        saveEncodedList(connectionHistory, folders.dataFile(QStringLiteral("connectionHistory.dat")));
    });
}

void MainController::saveLocalFolderHistory()
{
    if (read(setup, Keys::deleteLocalFolderHistory)) {
        lFolderHistory.clear();
    } else if (!lFolder.isEmpty()) {
        lFolderHistory.removeAll(lFolder);
        lFolderHistory.prepend(lFolder);
    }
    QSaveFile file(folders.dataFile(QStringLiteral("lFolderHistory.dat")));
    if (!file.open(QIODevice::WriteOnly))
        throw FileError(QStringLiteral("Cannot write the local folder history: ") + file.errorString());
    for (const QString &folder : std::as_const(lFolderHistory))
        file.write(TextCodec::encodeStored(folder) + "\r\n");
    if (!file.commit())
        throw FileError(QStringLiteral("Cannot write the local folder history: ") + file.errorString());
}

void MainController::storeWindowKeys()
{
    const WindowGeometry g = m_view->currentGeometry();
    setup.setInt(Keys::appRuns.key(), read(setup, Keys::appRuns) + 1);
    setup.setInt(Keys::gamePanelWidth.key(), g.gamePanelWidth);
    setup.setInt(Keys::h.key(), g.height);
    setup.setInt(Keys::l.key(), g.left);
    setup.setInt(Keys::logHeight.key(), g.logHeight);
    setup.setString(Keys::lFilter.key(), lFilterState.text);
    setup.setInt(Keys::panelBottomHeight.key(), g.panelBottomHeight);
    setup.setString(Keys::rFilter.key(), rFilterState.text);
    setup.setInt(Keys::t.key(), g.top);
    setup.setInt(Keys::w.key(), g.width);
    setup.setInt(Keys::windowState.key(), g.windowState);
    setup.setInt(Keys::lastRunVersion.key(), kVersion);
    setup.setInt(Keys::lPanelWidth.key(), g.lPanelWidth);
}
