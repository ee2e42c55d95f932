#include "cli/CliRunner.h"

#include "app/DataFolders.h"
#include "app/MainController.h"
#include "base/TextUtil.h"
#include "browser/LocalFiles.h"
#include "listing/FolderEntries.h"
#include "queue/QueueFile.h"
#include "settings/SettingsCatalogue.h"
#include "settings/u_tmbSetup.h"
#include "sites/SiteProfiles.h"
#include "sites/SshConfig.h"

#include <QCoreApplication>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstdio>
#include <unistd.h>

namespace {

void printOut(const QString &text, FILE *to = stdout)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), to);
    std::fflush(to);
}

// "-" as the local side: the program's standard output or input, used as they are.
const QString kStdout = QStringLiteral("/dev/stdout");
const QString kStdin = QStringLiteral("/dev/stdin");

// A device, a pipe or the standard output: written as it is, never asked about, cut or
// continued like an existing file.
bool isStream(const QString &path)
{
    return !keepsLength(path) && (path == kStdout || path == kStdin || QFileInfo::exists(path)) &&
           !QFileInfo(path).isDir();
}

QString lastComponent(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

tFolderEntryObject localEntry(const QFileInfo &info)
{
    tFolderEntryObject e;
    e.name = info.fileName();
    e.isFolder = info.isDir();
    e.size = e.isFolder ? -1 : info.size();
    return e;
}

// "yyyy-MM-dd HH:mm" of a listing's packed time, "-" when it holds none. Read from the bits
// themselves: no date object, no time-zone lookup per entry.
QByteArray listingTime(std::int32_t packed)
{
    const auto bits = static_cast<std::uint32_t>(packed);
    const int year = static_cast<int>(bits >> 25) + 1980, month = static_cast<int>(bits >> 21 & 0xF),
              day = static_cast<int>(bits >> 16 & 0x1F), hour = static_cast<int>(bits >> 11 & 0x1F),
              minute = static_cast<int>(bits >> 5 & 0x3F);
    if (!QDate::isValid(year, month, day) || hour > 23 || minute > 59)
        return QByteArrayLiteral("               -");
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", year, month, day, hour, minute);
    return QByteArray(text);
}

// A saved queue file holds pairs: a command, then an empty line or "time*size*attributes*name".
bool looksLikeQueueFile(const QStringList &lines)
{
    static const QRegularExpression entry(QStringLiteral("^-?\\d+\\*-?\\d+\\*-?\\d+\\*"));
    if (lines.isEmpty() || lines.size() % 2 != 0)
        return false;
    for (qsizetype i = 1; i < lines.size(); i += 2) {
        if (!lines[i].isEmpty() && !entry.match(lines[i]).hasMatch())
            return false;
    }
    return true;
}

} // namespace

CliRunner::CliRunner(const CliOptions &options) : m_options(options), m_ui(options.existing, options.trustFingerprints)
{
    m_stderrIsTty = ::isatty(STDERR_FILENO) == 1;
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &CliRunner::retryDue);
}

CliRunner::~CliRunner() = default;

void CliRunner::note(const QString &text) const
{
    if (!m_options.quiet)
        TerminalUserInterface::printError(text);
}

QString CliRunner::remotePath(const QString &path) const
{
    if (path.isEmpty() || path == QLatin1String("."))
        return m_baseFolder;
    return path.startsWith(QLatin1Char('/')) ? path : m_baseFolder + path;
}

void CliRunner::applySettings()
{
    tSetupClass &setup = m_controller->setup();
    // The existing-target answer comes from the terminal port, so each skip is known.
    write(setup, Keys::xferAction, 3);
    // Files travel byte for byte; no line-end conversion behind a script's back.
    write(setup, Keys::transferMode, 1);
    write(setup, Keys::autoRefreshFolders, false);
    write(setup, Keys::ravuzAroEnabled, false);
    write(setup, Keys::disableSound, true);
    write(setup, Keys::replyTimeout, m_options.timeoutSeconds);
    write(setup, Keys::maxRetries, m_options.retries);
    write(setup, Keys::retryDelay, m_options.retryDelaySeconds);
    write(setup, Keys::listingMaxMiB, m_options.listingLimitMiB);
    write(setup, Keys::preserveFileTimes, m_options.preserve);
    if (m_options.parallel)
        write(setup, Keys::simultaneousTransfers, *m_options.parallel);
    QString host, port;
    if (!m_options.socks5.isEmpty() && splitProxyAddress(m_options.socks5, host, port)) {
        write(setup, Keys::connectionType, 3);
    } else if (!m_options.proxy.isEmpty() && splitProxyAddress(m_options.proxy, host, port)) {
        write(setup, Keys::connectionType, 2);
    } else {
        write(setup, Keys::connectionType, m_options.passive ? 1 : 0);
    }
    if (!host.isEmpty()) {
        write(setup, Keys::ConnectionTypeAddress, host);
        write(setup, Keys::ConnectionTypePort, port);
    }
}

int CliRunner::run()
{
    const int usage = prepareSite();
    if (usage != CliExit::kOk)
        return usage;
    m_controller = std::make_unique<MainController>(m_ui);
    // The run itself is the recovery: nothing goes into the window's recovery queue.
    m_controller->sessionLoss().setSavesRecoveryQueue(false);
    // Only what the verb needs is listed; a single file is found with SIZE.
    m_controller->queue().setListsAtLogin(false);
    // Certificates the user trusts always (in the window or here) hold for scripts too.
    const QString trustStore = DataFolders::locate().dataFile(QStringLiteral("trustedCertificates.dat"));
    m_controller->certificates().load(trustStore);
    m_ui.setTrustStorePath(trustStore);
    // SFTP host keys the user trusts always (in the window or here) are in the window's file.
    m_controller->sessions().ownKnownHostsFile = [] {
        return DataFolders::locate().dataFile(QStringLiteral("known_hosts"));
    };
    applySettings();
    // Only verbs that write a target that may exist have anything to skip.
    const bool writesTargets =
        m_options.verb == QLatin1String("put") || m_options.verb == QLatin1String("run") ||
        (m_options.verb == QLatin1String("get") && m_options.operands.value(1) != QLatin1String("-"));
    if (!m_options.existingGiven && writesTargets)
        note(QStringLiteral("existing targets are skipped (choose --overwrite or --resume to change that)"));
    if (m_options.verbose) {
        connect(m_controller.get(), &MainController::logWritten, this,
                [](const QString &line) { TerminalUserInterface::printError(line.mid(1)); });
    }
    QueueModel &model = m_controller->queue().model();
    connect(&model, &QueueModel::itemStarted, this, [this, &model](const QModelIndex &index) {
        if (QueueItem *item = model.itemOf(index))
            itemStarted(item);
    });
    // Each item's end, as the queue tells it. An item the lost connection put back waits
    // to run again and is not reported.
    connect(&m_controller->queue(), &QueueController::itemFinished, this,
            [this, &model](std::uint64_t id, const QueueOutcome &outcome) {
                QueueItem *item = model.itemById(id);
                if (!item || m_reported.contains(id))
                    return;
                using Kind = QueueOutcome::Kind;
                if (outcome.kind != Kind::Interrupted)
                    m_interruptedItems.remove(id);
                switch (outcome.kind) {
                case Kind::Done:
                    itemFinished(item, QStringLiteral("ok"), QString());
                    break;
                case Kind::Skipped:
                    itemFinished(item, QStringLiteral("skipped"), QString());
                    break;
                case Kind::Stopped:
                    itemFinished(item, m_interrupted ? QStringLiteral("interrupted") : QStringLiteral("failed"),
                                 QString());
                    m_failedItems.push_back(id);
                    QMetaObject::invokeMethod(this, &CliRunner::drive, Qt::QueuedConnection);
                    break;
                case Kind::Failed:
                    itemFinished(item, QStringLiteral("failed"), TerminalUserInterface::oneLine(outcome.text));
                    // A transfer that failed stays in the queue marked "Error": it is taken out
                    // once the queue has let go of it, and the rest goes on.
                    m_failedItems.push_back(id);
                    QMetaObject::invokeMethod(this, &CliRunner::drive, Qt::QueuedConnection);
                    break;
                case Kind::Interrupted:
                    if (item->verb() == QueueVerb::List) {
                        m_heldListingLine.clear();
                        if (m_listingPrinted) {
                            // Lines printed cannot be taken back: a second listing would
                            // print them again.
                            const QString why = TerminalUserInterface::oneLine(outcome.text) +
                                                QStringLiteral(" The listing printed so far is not the whole folder.");
                            TerminalUserInterface::printError(why);
                            itemFinished(item, QStringLiteral("failed"), why);
                            m_failedItems.push_back(id);
                            QMetaObject::invokeMethod(this, &CliRunner::drive, Qt::QueuedConnection);
                            break;
                        }
                    }
                    // It runs again after a reconnect; reported only if none is left.
                    m_interruptedItems.insert(id, TerminalUserInterface::oneLine(outcome.text));
                    break;
                }
            });
    connect(&m_controller->sessions(), &SessionSupervisor::progress, this,
            [this](tkftpclient *session, qint64 count, bool *abort) {
                if (m_interrupted)
                    *abort = true;
                else if (QueueItem *item = session->currentItem())
                    showProgress(item, count);
            });
    // Before the first login a failure is the login's; after it, a lost connection, which
    // the session loss (connected before these) has already answered with a reconnect or not.
    connect(&m_controller->queue(), &QueueController::mainSessionLoggedIn, this, [this] { m_loggedInOnce = true; });
    connect(&m_controller->queue(), &QueueController::loginFailed, this, [this](tkftpclient *s, int error) {
        if (!m_loggedInOnce) {
            m_loginFailed = true;
            m_loginError = error;
        } else if (s == m_controller->sessions().mainSession()) {
            connectionEnded();
        }
    });
    connect(&m_controller->sessions(), &SessionSupervisor::sessionConnected, this, [this](tkftpclient *s, int e) {
        if (e == 0)
            return;
        if (!m_loggedInOnce) {
            m_loginFailed = true;
            if (m_loginError == 0)
                m_loginError = e;
        } else if (s == m_controller->sessions().mainSession()) {
            connectionEnded();
        }
    });
    connect(&m_controller->sessions(), &SessionSupervisor::sessionClosed, this, [this](tkftpclient *s) {
        if (m_loggedInOnce && !m_disconnecting && s == m_controller->sessions().mainSession())
            connectionEnded();
    });
    // A completed transfer resets the attempts, and with them the delay.
    connect(&m_controller->sessions(), &SessionSupervisor::requestDone, this, [this] { setNextRetryDelay(); });
    // The waits look at their condition after every event that may change it: no timer.
    connect(&m_controller->sessions(), &SessionSupervisor::requestDone, this, &CliRunner::wakeLater);
    connect(&m_controller->sessions(), &SessionSupervisor::sessionConnected, this, &CliRunner::wakeLater);
    connect(&m_controller->sessions(), &SessionSupervisor::sessionClosed, this, &CliRunner::wakeLater);
    connect(&m_controller->queue(), &QueueController::itemFinished, this, &CliRunner::wakeLater);
    connect(&m_controller->queue(), &QueueController::loginFailed, this, &CliRunner::wakeLater);
    connect(&m_controller->queue(), &QueueController::mainSessionLoggedIn, this, &CliRunner::wakeLater);
    connect(&model, &QueueModel::queueEmptied, this, &CliRunner::wakeLater);
    watchSkippedEntries();

    int status = CliExit::kOk;
    if (!connectToServer()) {
        status = m_interrupted ? CliExit::kInterrupted : CliExit::kConnection;
    } else {
        const bool queued = queueVerb();
        if (queued)
            runQueue();
        drive();
        if (m_connectionLost && !m_interrupted)
            reportInterruptedItems();
        if (m_interrupted)
            status = CliExit::kInterrupted;
        else if (m_loginFailed || m_connectionLost)
            status = CliExit::kConnection;
        else if (!queued || m_failed > 0)
            status = CliExit::kItemFailed;
    }
    status = statusWithSkips(status);
    if (m_progressShown)
        std::fputs("\r\033[K", stderr);
    disconnectFromServer();
    m_controller.reset();
    return status;
}

// Every entry a folder transfer leaves out is said on stderr (also with -q: a script must
// learn that its copy is not whole); the window's message about them is not wanted here.
void CliRunner::watchSkippedEntries()
{
    QueueController &queue = m_controller->queue();
    queue.setShowsSkippedInWindow(false);
    connect(&queue, &QueueController::entrySkipped, this, [](const QString &path, const QString &reason) {
        TerminalUserInterface::printError(QStringLiteral("skipped ") + escapeControls(path) + QStringLiteral(": ") +
                                          reason);
    });
}

// A run whose items all succeeded but that left entries out ends with its own status.
int CliRunner::statusWithSkips(int status) const
{
    const int skipped = m_controller->queue().skippedCount();
    if (status != CliExit::kOk || skipped == 0)
        return status;
    TerminalUserInterface::printError(QStringLiteral("%1 entries were skipped").arg(skipped));
    return CliExit::kSkippedEntries;
}

QString CliRunner::profilesFolder()
{
    // The window's choice of a shared profiles folder, read and never written; the
    // program's own folder otherwise.
    const DataFolders folders = DataFolders::locate();
    tSetupClass setup(false);
    setup.load(folders.dataFile(QStringLiteral("setup.dat")));
    if (read(setup, Keys::sharedFavorites)) {
        const QString shared = read(setup, Keys::sharedFavoritesFolder);
        if (QFileInfo(shared).isDir())
            return shared;
    }
    return folders.sharedProfiles;
}

int CliRunner::prepareSite()
{
    const QString operand = m_options.operands.value(cliUrlOperand(m_options));
    QString error;
    if (m_options.site.isEmpty()) {
        if (!parseUrl(operand, m_url, &error) || m_url.host.isEmpty()) {
            TerminalUserInterface::printError(
                QStringLiteral("not an FTP URL: ") + displayUrl(m_url) +
                (error.isEmpty() ? QString() : QStringLiteral(" (") + error + QLatin1Char(')')));
            return CliExit::kUsage;
        }
        const QString scheme = m_url.scheme.isEmpty() ? QStringLiteral("ftp") : m_url.scheme;
        m_site.protocol = protocolOfScheme(scheme).value_or(SiteProtocol::Ftp);
        const std::optional<SiteEncryption> encryption =
            m_site.protocol == SiteProtocol::Sftp
                ? std::optional<SiteEncryption>(SiteEncryption::ExplicitIfAvailable)
                : encryptionOfScheme(scheme, m_options.tls.value_or(SiteEncryption::ExplicitIfAvailable));
        if (!encryption) {
            TerminalUserInterface::printError(QStringLiteral("not an FTP URL (ftp://, ftpes://, ftps://, sftp://): ") +
                                              displayUrl(m_url));
            return CliExit::kUsage;
        }
        // A URL's scheme is the user's word: "--tls off" does not turn ftps:// into plain FTP.
        m_site.encryption = *encryption;
        m_site.Host = m_url.host;
        m_site.name = m_url.host;
        m_site.Port = m_url.port.isEmpty() ? defaultPort(m_site.protocol, m_site.encryption) : m_url.port;
        m_site.User = m_url.user;
        m_site.Pass = m_url.password;
        if (m_site.protocol == SiteProtocol::Sftp) {
            // A host alias of ~/.ssh/config gives host, user, port and key, as for ssh; what
            // the URL names wins.
            const SshConfig::Host host = SshConfig::loadUsers().resolve(m_url.host, m_url.user, m_url.port);
            m_site.Host = host.hostName;
            m_site.User = host.user;
            m_site.Port = host.port;
            m_site.keyFile = host.identityFile;
        }
        if (!m_options.keyFile.isEmpty())
            m_site.keyFile = m_options.keyFile;
        return CliExit::kOk;
    }

    // A saved profile: "Folder/Name" as the site manager's tree shows it.
    const SiteProfiles profiles(profilesFolder(), false);
    QString nodePath = m_options.site;
    nodePath.replace(QLatin1Char('/'), QLatin1Char('\\'));
    const QString file = profiles.siteFile(nodePath);
    tSiteRecord site;
    if (file.isEmpty() || !QFileInfo(file).isFile()) {
        TerminalUserInterface::printError(QStringLiteral("no site profile \"") + m_options.site +
                                          QStringLiteral("\" in ") + profiles.folder());
        return CliExit::kUsage;
    }
    bool damaged = false;
    if (!SiteProfiles::readProfileFile(file, site, nullptr, &damaged)) {
        TerminalUserInterface::printError(QStringLiteral("cannot read the site profile ") + file);
        return CliExit::kUsage;
    }
    // The command line writes nothing in the profiles folder: the window keeps the copy
    // when it next reads the profile.
    if (damaged)
        TerminalUserInterface::printError(QStringLiteral("the site profile ") + file +
                                          QStringLiteral(" could not be read completely; what could be read is used"));
    if (site.Host.isEmpty() || site.Host == SiteProfiles::kPlaceholderHost) {
        TerminalUserInterface::printError(QStringLiteral("the site profile \"") + m_options.site +
                                          QStringLiteral("\" names no server"));
        return CliExit::kUsage;
    }
    if (m_options.tls)
        site.encryption = *m_options.tls;
    if (!m_options.keyFile.isEmpty())
        site.keyFile = m_options.keyFile;
    // A profile saved without a password asks for one the usual ways (netrc, environment,
    // terminal); an anonymous profile logs in as anonymous with the program's address.
    if (site.Pass == SiteProfiles::kPlaceholderPassword)
        site.Pass = QString();
    if (site.anonymous)
        site.User = QStringLiteral("anonymous");
    site.name = SiteProfiles::nodeName(nodePath);
    site.smartXfer = false;
    // --parallel given on the command line wins over the profile's own number.
    if (m_options.parallel)
        site.simultaneousTransfers = 0;
    m_site = site;
    m_url = {};
    m_url.host = site.Host;
    // Remote paths: absolute as they are, relative below the profile's remote folder.
    m_baseFolder = site.rFolder.text().isEmpty() ? QStringLiteral("/") : site.rFolder.text();
    if (!m_baseFolder.endsWith(QLatin1Char('/')))
        m_baseFolder += QLatin1Char('/');
    m_url.path = remotePath(operand);
    return CliExit::kOk;
}

bool CliRunner::connectToServer()
{
    tSiteRecord site = m_site;
    const QString host = site.Host.text();
    QString user = site.User.text();
    QString password = site.Pass.text();
    if (password.isEmpty()) {
        QString login, netrcPass, warning;
        if (netrcPassword(QDir::homePath() + QStringLiteral("/.netrc"), host, user, login, netrcPass, &warning)) {
            if (user.isEmpty())
                user = login;
            password = netrcPass;
        } else if (!warning.isEmpty()) {
            TerminalUserInterface::printError(warning);
        }
    }
    if (password.isEmpty() && !user.isEmpty() && qEnvironmentVariableIsSet("KESTRIN_FTP_PASSWORD"))
        password = qEnvironmentVariable("KESTRIN_FTP_PASSWORD");
    const bool sftp = site.protocol == SiteProtocol::Sftp;
    if (sftp) {
        // SSH logs in with the agent and keys first; the password is asked on the terminal
        // only when those fail and the server takes one. The login name is the user's own
        // when the URL names none.
        if (user.isEmpty())
            user = qEnvironmentVariable("USER");
    } else if (user.isEmpty() || user == QLatin1String("anonymous")) {
        user = QStringLiteral("anonymous");
        if (password.isEmpty())
            password = read(m_controller->setup(), Keys::anonPass);
        site.anonymous = true;
    } else if (password.isEmpty() &&
               !TerminalUserInterface::readPassword(
                   QStringLiteral("Password for ") + user + QLatin1Char('@') + host + QLatin1Char(':'), password)) {
        TerminalUserInterface::printError(
            QStringLiteral("no password for ") + user +
            QStringLiteral(" (no terminal to ask on; use ~/.netrc or KESTRIN_FTP_PASSWORD)"));
        return false;
    }
    site.User = user;
    site.Pass = password;

    SessionSupervisor &s = m_controller->sessions();
    s.setRavuzAro(false);
    s.setCurrentSite(site);
    m_controller->browsers().setRemoteFolder(QStringLiteral("/"));
    m_controller->queue().setDisconnecting(false);
    s.setConnectionWanted(true);
    s.timer_threads();
    const int bound = (m_options.timeoutSeconds + 5) * 1000;
    auto loggedIn = [&] { return m_loginFailed || (s.mainSession()->loggedIn && s.mainSession()->idleState()); };
    qint64 asked = m_ui.questionMs();
    // The controller's own words for a failed connect are the window's ("Recheck FTP login
    // information"); the line below says it for the command line.
    m_ui.holdErrors(true);
    bool in = waitUntil(loggedIn, bound);
    // Time a person spent on a certificate question does not count against the server.
    while (!in && !m_interrupted && m_ui.questionMs() > asked) {
        asked = m_ui.questionMs();
        in = waitUntil(loggedIn, bound);
    }
    if (!in || m_loginFailed || m_interrupted) {
        const QString general = m_ui.takeLastError();
        m_ui.holdErrors(false);
        if (!m_interrupted) {
            // The engine's own reason comes first (a refused certificate, TLS required and not
            // offered, a refused login); the queue's general message otherwise.
            tkftpclient *main = m_controller->sessions().mainSession();
            QString why = main->isSftp() ? main->lastReply() : main->ErrorMessage();
            if (why.isEmpty())
                why = general;
            // A socket error (10000 and up) means the server was never reached: no login was tried.
            const bool unreached = m_loginError >= 10000 && m_loginError < 20000;
            if (unreached && why.startsWith(QLatin1String("500 ")))
                why = why.mid(4);
            TerminalUserInterface::printError(
                (unreached ? QStringLiteral("could not connect to ") : QStringLiteral("could not log in to ")) +
                displayHost(host) +
                (why.isEmpty() ? (in ? QString() : QStringLiteral(" (no answer in time)"))
                               : QStringLiteral(": ") + why));
        }
        return false;
    }
    m_ui.holdErrors(false);
    // The login lists the site's folder; let that finish before the verb's work.
    waitUntil([&] { return m_controller->queue().model().isEmpty() && !s.mainSession()->busy(); }, bound);
    return !m_loginFailed;
}

void CliRunner::disconnectFromServer()
{
    SessionSupervisor &s = m_controller->sessions();
    m_disconnecting = true;
    m_retryTimer.stop();
    s.cancelRetry(true);
    m_controller->queue().setTerminating(true);
    s.setConnectionWanted(false);
    s.timer_threads();
    waitUntil([&] { return s.isFullyDisconnected(); }, 10000);
}

bool CliRunner::waitUntil(const std::function<bool()> &done, int ms)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (ms >= 0)
        deadline.start(ms);
    std::function<void()> outer = std::exchange(m_wake, [&] {
        if (done() || m_interrupted)
            loop.quit();
    });
    loop.exec();
    m_wake = std::move(outer);
    return done();
}

void CliRunner::wake()
{
    if (m_wake)
        m_wake();
}

void CliRunner::wakeLater()
{
    // After the event that emitted the signal has run to its end (a session is busy until
    // its completion handlers return). A wake already queued runs after this event too and
    // sees the same state: a second would only wake the event loop again for nothing.
    if (std::exchange(m_wakePosted, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_wakePosted = false;
            // The pump has told the pool how much work there is: extra sessions open (and
            // idle ones close) now, not at a supervisor tick the command line does not run.
            if (m_controller)
                m_controller->sessions().superviseTransferPool();
            wake();
        },
        Qt::QueuedConnection);
}

void CliRunner::drive()
{
    QueueController &queue = m_controller->queue();
    QueueModel &model = queue.model();
    if (!m_failedItems.empty() && !m_interrupted) {
        // A failed item paused the queue; it has been reported, and the rest goes on.
        for (const std::uint64_t id : std::exchange(m_failedItems, {})) {
            if (QueueItem *item = model.itemById(id))
                model.removeItem(item);
        }
        m_ui.takeLastError();
        model.setPaused(false);
    }
    if (m_interrupted)
        return;
    queue.timer_checkQueue();
    wakeLater();
}

void CliRunner::runQueue()
{
    SessionSupervisor &s = m_controller->sessions();
    QueueModel &model = m_controller->queue().model();
    // No bound of its own: every request the queue starts ends by the reply timeout, and a
    // lost connection ends the run. The pump runs here for what was just queued, then after
    // every completion.
    drive();
    waitUntil([&] { return m_loginFailed || m_connectionLost || (model.isEmpty() && !s.mainSession()->busy()); }, -1);
    if (m_interrupted) {
        // The aborted transfer ends through its completion; give it a bounded moment.
        waitUntil([&] { return !s.mainSession()->busy(); }, 5000);
    }
}

void CliRunner::interrupt()
{
    if (m_interrupted)
        return;
    m_interrupted = true;
    if (!m_controller)
        return;
    QueueModel &model = m_controller->queue().model();
    model.setPaused(true);
    for (int row = 0; row < model.itemCount(); ++row) {
        if (model.itemAt(row)->running())
            model.itemAt(row)->stopRequested = true;
    }
    note(QStringLiteral("interrupted: the queue stops; partial files are kept for --resume"));
    wakeLater();
}

bool CliRunner::listFolder(const QString &folder)
{
    QueueController &queue = m_controller->queue();
    const int before = m_failed;
    QString error;
    const QString command = buildCommand(QStringLiteral("list"), {folder, flagText(QueueFlag::Refresh)}, &error);
    if (command.isEmpty() || !queue.addToQueue(command)) {
        TerminalUserInterface::printError(error.isEmpty() ? QStringLiteral("cannot list ") + folder : error);
        return false;
    }
    runQueue();
    return m_failed == before && !m_interrupted && !m_loginFailed && !m_connectionLost;
}

bool CliRunner::remoteFileSize(const QString &path, qint64 &size)
{
    tkftpclient *s = m_controller->sessions().mainSession();
    if (!s->loggedIn || s->busy() || !s->idleState())
        return false;
    auto request = [this](const std::function<void()> &start) { return sessionRequest(start); };
    // Many servers answer SIZE only in binary mode, which every transfer here uses anyway.
    if (!s->binaryMode() && request([&] { s->setTextMode(false); }) != 0)
        return false;
    if (request([&] { s->querySize(path); }) != 0)
        return false;
    size = s->sizeResult();
    return size >= 0;
}

int CliRunner::sessionRequest(const std::function<void()> &start)
{
    // The queue has no job on the session and leaves its completion alone.
    SessionSupervisor &sessions = m_controller->sessions();
    tkftpclient *s = sessions.mainSession();
    std::optional<int> result;
    const QMetaObject::Connection c =
        connect(&sessions, &SessionSupervisor::requestDone, this, [&](tkftpclient *session, RemoteRequest, int error) {
            if (session == s)
                result = error;
        });
    start();
    waitUntil([&] { return result.has_value() || m_connectionLost; }, (m_options.timeoutSeconds + 5) * 1000);
    disconnect(c);
    return result.value_or(-1);
}

bool CliRunner::makeRemoteFolders(const QString &folder, QString *why)
{
    tkftpclient *s = m_controller->sessions().mainSession();
    if (!s->loggedIn || s->busy() || !s->idleState())
        return true; // the upload's own reply will tell
    auto exists = [&](const QString &path) { return sessionRequest([&] { s->changeFolder(path); }) == 0; };
    if (folder.isEmpty() || folder == QLatin1String("/") || exists(folder))
        return true;
    QString path;
    for (const QString &part : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/') + part;
        if (m_connectionLost)
            return false;
        if (exists(path))
            continue;
        if (sessionRequest([&] { s->makeFolder(path); }) != 0) {
            *why = QStringLiteral("cannot make the remote folder ") + path + QStringLiteral(": ") +
                   TerminalUserInterface::oneLine(s->lastReply().trimmed());
            return false;
        }
    }
    return true;
}

bool CliRunner::remoteEntry(const QString &path, tFolderEntryObject &entry)
{
    const QString folder = parentFolderOf(path);
    const QString name = lastComponent(path);
    if (!listFolder(folder))
        return false;
    const tFolderObject *cached = m_controller->browsers().state().findCachedFolder(folder);
    if (!cached)
        return false;
    for (const auto &named : cached->folderEntries) {
        if (named.entry.name == name) {
            entry = named.entry;
            return true;
        }
    }
    return false;
}

bool CliRunner::queueCommand(const QString &command)
{
    const QStringList fields = splitCommand(command);
    const QueueVerb verb = verbOf(fields.value(0));
    std::optional<tFolderEntryObject> entry;
    if (verbInfo(verb).needsEntry) {
        const QString source = fields.value(1);
        if (verb == QueueVerb::PutFile || verb == QueueVerb::PutFolder) {
            entry = localEntry(QFileInfo(source));
        } else {
            tFolderEntryObject found;
            if (!remoteEntry(source, found)) {
                found = {};
                found.name = lastComponent(source);
                found.isFolder = verb == QueueVerb::GetFolder;
            }
            entry = found;
        }
    }
    return m_controller->queue().addToQueue(command, entry ? &*entry : nullptr) != nullptr;
}

bool CliRunner::queueRun(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        TerminalUserInterface::printError(QStringLiteral("cannot read ") + file + QStringLiteral(": ") +
                                          f.errorString());
        return false;
    }
    const QByteArray bytes = f.readAll();
    QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    QueueController &queue = m_controller->queue();
    if (looksLikeQueueFile(lines)) {
        const QueueFileContents contents = decodeQueueFile(bytes);
        if (!contents.ok()) {
            TerminalUserInterface::printError(file + QStringLiteral(": ") + contents.error + QStringLiteral(" at ") +
                                              contents.failedPair);
            return false;
        }
        for (const QueueFileRecord &r : contents.records) {
            if (!queue.addToQueue(r.command, r.entry ? &*r.entry : nullptr))
                return false;
        }
        return true;
    }
    // Commands one a line; each is queued when its turn comes, so that a command may use
    // what the ones before it made.
    for (const QString &line : lines) {
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (!queueCommand(line))
            return false;
        runQueue();
        if (m_interrupted || m_loginFailed || m_connectionLost)
            return false;
    }
    return true;
}

bool CliRunner::queueVerb()
{
    const QString &verb = m_options.verb;
    const QStringList &ops = m_options.operands;
    QueueController &queue = m_controller->queue();
    QString error;
    QueueItem *added = nullptr;
    auto add = [&](const QString &v, const QStringList &fields, const tFolderEntryObject *entry) {
        const QString command = buildCommand(v, fields, &error);
        if (command.isEmpty() || !(added = queue.addToQueue(command, entry))) {
            TerminalUserInterface::printError(error.isEmpty() ? QStringLiteral("refused: ") + v : error);
            return false;
        }
        return true;
    };
    const QString path = remotePath(m_url.path);
    if (verb == QLatin1String("ls")) {
        QString folder = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
        // The lines are printed as they arrive, nothing of the folder is held. `ls --raw` shows
        // the reply of the listing command the session would use (MLSD where offered); `ls`
        // reads LIST, which shows links as links without a second listing.
        QueueController::ListingStream stream;
        stream.machine = m_options.raw && read(m_controller->setup(), Keys::useMlsd);
        stream.receive = [this](const QString &lines) { printListing(lines, false); };
        queue.setListingStream(std::move(stream));
        const bool listed = listFolder(folder);
        queue.setListingStream({});
        if (listed)
            printListing(QString(), true);
        std::fflush(stdout);
        return listed;
    }
    if (verb == QLatin1String("get")) {
        tFolderEntryObject entry;
        qint64 size = -1;
        if (path == QLatin1String("/")) {
            entry.isFolder = true;
            entry.name = QStringLiteral("/");
        } else if (!path.endsWith(QLatin1Char('/')) && remoteFileSize(path, size)) {
            // A file: its size is all the existing-target rules need, no listing of its folder.
            entry.name = lastComponent(path);
            entry.size = size;
        } else if (!remoteEntry(path, entry)) {
            if (!m_interrupted && !m_loginFailed && !m_connectionLost)
                TerminalUserInterface::printError(QStringLiteral("no such remote file or folder: ") + path);
            return false;
        }
        const QString local = ops.value(1, QStringLiteral("."));
        const bool toStdout = local == QLatin1String("-");
        if (toStdout && entry.isFolder) {
            TerminalUserInterface::printError(QStringLiteral("a folder cannot go to standard output: ") + path);
            return false;
        }
        QString target = toStdout ? kStdout : QFileInfo(local).absoluteFilePath();
        if (!toStdout && QFileInfo(local).isDir() && path != QLatin1String("/"))
            target = QDir(target).filePath(entry.name);
        QString source = path;
        while (source.size() > 1 && source.endsWith(QLatin1Char('/')))
            source.chop(1);
        if (!add(entry.isFolder ? QStringLiteral("getfolder") : QStringLiteral("getfile"), {source, target}, &entry))
            return false;
        if (!entry.isFolder && isStream(target))
            added->transferAction = TransferAction::Overwrite;
        return true;
    }
    if (verb == QLatin1String("put")) {
        const bool fromStdin = ops.value(0) == QLatin1String("-");
        const QFileInfo local(fromStdin ? kStdin : ops.value(0));
        if (!local.exists()) {
            TerminalUserInterface::printError(QStringLiteral("no such local file or folder: ") + ops.value(0));
            return false;
        }
        tFolderEntryObject entry = localEntry(local);
        QString target = path;
        if (target.endsWith(QLatin1Char('/'))) {
            if (fromStdin) {
                TerminalUserInterface::printError(QStringLiteral("put - needs the remote file's name in the URL"));
                return false;
            }
            target += local.fileName();
        }
        if (fromStdin) {
            entry.name = lastComponent(target);
            entry.size = -1; // known once it has all been read
        }
        QString source = fromStdin ? kStdin : local.absoluteFilePath();
        // Missing folders on the way are made first; a refused one fails the item.
        QString why;
        if (!makeRemoteFolders(parentFolderOf(target), &why)) {
            if (m_connectionLost)
                return false;
            TerminalUserInterface::printError(why);
            QJsonObject o;
            o.insert(QStringLiteral("verb"), entry.isFolder ? QStringLiteral("putfolder") : QStringLiteral("putfile"));
            o.insert(QStringLiteral("source"), source);
            o.insert(QStringLiteral("target"), target);
            o.insert(QStringLiteral("bytes"), 0);
            o.insert(QStringLiteral("seconds"), 0.0);
            o.insert(QStringLiteral("outcome"), QStringLiteral("failed"));
            o.insert(QStringLiteral("error"), why);
            report(o);
            return false;
        }
        return add(entry.isFolder ? QStringLiteral("putfolder") : QStringLiteral("putfile"), {source, target}, &entry);
    }
    if (verb == QLatin1String("rm")) {
        tFolderEntryObject entry;
        entry.name = lastComponent(path);
        return add(QStringLiteral("deletefile"), {path}, &entry);
    }
    if (verb == QLatin1String("rmdir")) {
        QString folder = path;
        while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
            folder.chop(1);
        if (m_options.recursive)
            return add(QStringLiteral("deletefolder"), {folder}, nullptr);
        return add(QStringLiteral("deletefolder"), {folder, flagText(QueueFlag::FolderEmpty)}, nullptr);
    }
    if (verb == QLatin1String("mkdir"))
        return add(QStringLiteral("makefolder"), {path}, nullptr);
    if (verb == QLatin1String("mv")) {
        FtpUrl to;
        QString newPath = ops.value(1);
        if (newPath.contains(QLatin1String("://")) && parseUrl(newPath, to))
            newPath = to.path;
        tFolderEntryObject entry;
        if (!remoteEntry(path, entry)) {
            if (!m_interrupted && !m_loginFailed && !m_connectionLost)
                TerminalUserInterface::printError(QStringLiteral("no such remote file or folder: ") + path);
            return false;
        }
        return add(entry.isFolder ? QStringLiteral("renamefolder") : QStringLiteral("renamefile"),
                   {path, remotePath(newPath)}, &entry);
    }
    if (verb == QLatin1String("chmod")) {
        static const QRegularExpression mode(QStringLiteral("^[0-7]{3,4}$"));
        if (!mode.match(ops.value(0)).hasMatch()) {
            TerminalUserInterface::printError(QStringLiteral("MODE must be three or four octal digits, as 644"));
            return false;
        }
        return add(QStringLiteral("chmodfile"), {path, ops.value(0)}, nullptr);
    }
    if (verb == QLatin1String("run"))
        return queueRun(ops.value(1));
    if (verb == QLatin1String("mirror"))
        return queueMirror();
    return false;
}

void CliRunner::printListing(const QString &block, bool end)
{
    QStringList lines = block.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the line end of the block's last line
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    m_listingOut.clear();
    if (m_options.raw) {
        for (const QString &line : lines) {
            m_listingOut += escapeControls(line).toUtf8();
            m_listingOut += '\n';
        }
    } else {
        // A VMS entry may take two lines: a last line of a block that cannot be read alone
        // waits for the next block, which may continue it (or is read alone at the end).
        if (!m_heldListingLine.isEmpty())
            lines.prepend(std::exchange(m_heldListingLine, QString()));
        if (lines.isEmpty())
            return;
        m_parsed.clear();
        parseListing(lines, m_parsed);
        qsizetype count = lines.size();
        if (!end && m_parsed.back().isError()) {
            m_heldListingLine = lines.last();
            --count;
        }
        char size[32];
        for (qsizetype i = 0; i < count; ++i) {
            const tTmbFtpEntry &e = m_parsed[static_cast<size_t>(i)];
            if (e.status != ListingStatus::Ok || e.name == QLatin1String(".") || e.name == QLatin1String("..") ||
                e.name.isEmpty() || e.name.contains(QLatin1Char('/')) || e.name.contains(QChar(0))) {
                if (e.isError() && !m_listingProblemSaid) {
                    m_listingProblemSaid = true;
                    note(QStringLiteral("a listing line that cannot be read is left out: ") +
                         escapeControls(e.rawLine));
                }
                continue;
            }
            m_listingOut += e.isLink ? 'l' : e.isFolder ? 'd' : '-';
            std::snprintf(size, sizeof size, " %12lld ", static_cast<long long>(e.size));
            m_listingOut += size;
            m_listingOut += listingTime(packFileTime(e.modified));
            m_listingOut += ' ';
            m_listingOut += escapeControls(e.name).toUtf8();
            m_listingOut += '\n';
        }
    }
    // One write per block as it arrives, not one per line.
    m_listingPrinted |= !m_listingOut.isEmpty();
    std::fwrite(m_listingOut.constData(), 1, static_cast<size_t>(m_listingOut.size()), stdout);
    std::fflush(stdout);
}

void CliRunner::itemStarted(QueueItem *item)
{
    if (m_started.contains(item->id()))
        return;
    Started s{QString::fromLatin1(verbInfo(item->verb()).name), item->field(1), item->field(2), {}};
    s.clock.start();
    m_started.insert(item->id(), s);
}

void CliRunner::itemFinished(QueueItem *item, const QString &outcome, const QString &error)
{
    m_reported.insert(item->id());
    if (outcome == QLatin1String("failed"))
        ++m_failed;
    if (item->verb() == QueueVerb::List && outcome == QLatin1String("ok"))
        return;
    const Started s = m_started.value(item->id());
    qint64 bytes = 0;
    if (item->verb() == QueueVerb::GetFile) {
        // What isStream() tells, from one look at the file: isFile() reads it, and QFileInfo
        // keeps what it read for the rest.
        const QString local = item->field(2);
        const QFileInfo info(local);
        const bool stream = local == kStdout || local == kStdin || (!info.isFile() && info.exists() && !info.isDir());
        bytes = !stream ? info.size() : outcome == QLatin1String("ok") ? item->entrySize() : item->progressBytes;
    } else if (item->verb() == QueueVerb::PutFile)
        bytes = outcome == QLatin1String("ok") && !isStream(item->field(1)) ? QFileInfo(item->field(1)).size()
                                                                            : item->progressBytes;
    const double seconds = s.clock.isValid() ? static_cast<double>(s.clock.elapsed()) / 1000.0 : 0.0;
    if (m_progressShown) {
        std::fputs("\r\033[K", stderr);
        m_progressShown = false;
    }
    QJsonObject o;
    o.insert(QStringLiteral("verb"), QString::fromLatin1(verbInfo(item->verb()).name));
    o.insert(QStringLiteral("source"), item->field(1));
    // A command's flags ("@ignoreerror") are the queue's own, not a target.
    const QString target = item->field(2).startsWith(QLatin1Char('@')) ? QString() : item->field(2);
    o.insert(QStringLiteral("target"), target);
    o.insert(QStringLiteral("bytes"), bytes);
    o.insert(QStringLiteral("seconds"), seconds);
    o.insert(QStringLiteral("outcome"), outcome);
    o.insert(QStringLiteral("error"), error);
    report(o);
}

void CliRunner::connectionEnded()
{
    SessionSupervisor &s = m_controller->sessions();
    if (!s.retryPending()) {
        // No reconnect left (or the server refused the login again): the run ends, and
        // what is still queued stays undone.
        m_connectionLost = true;
        m_retryTimer.stop();
        wakeLater();
        return;
    }
    // One line per attempt; the close of a session and the failed connect of the same
    // attempt both arrive here.
    if (s.retryTime() == m_announcedRetry)
        return;
    m_announcedRetry = s.retryTime();
    const qint64 wait = std::max<qint64>(0, QDateTime::currentDateTime().msecsTo(s.retryTime()));
    const tkftpclient *main = s.mainSession();
    QString why = TerminalUserInterface::oneLine(main->lastReply().trimmed());
    if (why.isEmpty() && !main->isSftp())
        why = TerminalUserInterface::oneLine(main->ErrorMessage());
    note(QStringLiteral("connection to %1 lost%2; reconnecting in %3 s (attempt %4 of %5)")
             .arg(displayHost(m_site.Host.text()),
                  why.isEmpty() ? QString() : QStringLiteral(" (") + why + QLatin1Char(')'))
             .arg((wait + 500) / 1000)
             .arg(s.retryCount())
             .arg(m_options.retries));
    setNextRetryDelay();
    m_retryTimer.start(static_cast<int>(wait) + 10);
}

void CliRunner::retryDue()
{
    SessionSupervisor &s = m_controller->sessions();
    if (m_interrupted || m_disconnecting || !s.retryPending())
        return;
    m_controller->sessionLoss().timer_retryConnect();
    // The old connection may still be closing: the attempt is made once it has.
    if (s.retryPending())
        m_retryTimer.start(100);
}

void CliRunner::setNextRetryDelay()
{
    const int base = m_options.retryDelaySeconds;
    const int cap = std::max(base, 30);
    int delay = base;
    for (int i = 0; i < m_controller->sessions().retryCount() && delay > 0 && delay < cap; ++i)
        delay *= 2;
    write(m_controller->setup(), Keys::retryDelay, std::min(delay, cap));
}

void CliRunner::reportInterruptedItems()
{
    QueueModel &model = m_controller->queue().model();
    for (auto it = m_interruptedItems.cbegin(); it != m_interruptedItems.cend(); ++it) {
        if (QueueItem *item = model.itemById(it.key()); item && !m_reported.contains(it.key()))
            itemFinished(item, QStringLiteral("interrupted"), it.value());
    }
    m_interruptedItems.clear();
}

void CliRunner::report(const QJsonObject &o)
{
    const QString outcome = o.value(QStringLiteral("outcome")).toString();
    if (m_options.json) {
        // With the download on standard output the lines go to stderr, beside the notes.
        printOut(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)),
                 m_options.verb == QLatin1String("get") && m_options.operands.value(1) == QLatin1String("-") ? stderr
                                                                                                             : stdout);
    } else if (outcome == QLatin1String("skipped")) {
        note(QStringLiteral("skipped (exists): ") + o.value(QStringLiteral("target")).toString());
    }
}

void CliRunner::showProgress(QueueItem *item, qint64 bytes)
{
    // Listings move bytes too; only file transfers have a line.
    if (!m_stderrIsTty || m_options.quiet || (item->verb() != QueueVerb::GetFile && item->verb() != QueueVerb::PutFile))
        return;
    if (m_progressClock.isValid() && m_progressClock.elapsed() < 200)
        return;
    m_progressClock.start();
    const Started s = m_started.value(item->id());
    const double seconds = s.clock.isValid() ? static_cast<double>(s.clock.elapsed()) / 1000.0 : 0.0;
    const double rate = seconds > 0 ? static_cast<double>(bytes) / seconds : 0.0;
    const qint64 total = item->entrySize();
    QString left = QStringLiteral("--:--");
    if (rate > 0 && total > bytes) {
        const qint64 secs = static_cast<qint64>(static_cast<double>(total - bytes) / rate);
        left = QStringLiteral("%1:%2").arg(secs / 60).arg(secs % 60, 2, 10, QLatin1Char('0'));
    }
    const QString line = QStringLiteral("\r%1  %2 bytes  %3 KiB/s  %4 left\033[K")
                             .arg(item->entry ? item->entry->name : QString())
                             .arg(bytes)
                             .arg(rate / 1024.0, 0, 'f', 1)
                             .arg(left);
    std::fputs(line.toUtf8().constData(), stderr);
    std::fflush(stderr);
    m_progressShown = true;
}
