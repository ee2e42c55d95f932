#include "app/ConnectController.h"

#include "app/Diagnostics.h"
#include "app/QueueController.h"
#include "app/SessionSupervisor.h"
#include "app/UserInterface.h"
#include "app/tkftpclient.h"
#include "settings/SettingsCatalogue.h"
#include "sites/SshConfig.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>

namespace {

const QString kInfo = QString(QChar(0xA7));
const QString kError = QString(QChar(0xA4));
const QString kExampleHost = QStringLiteral("ftp.example.com");
constexpr qsizetype kMaxClipboardText = 2048;

const QString kOnlyOurUrls = QStringLiteral("Only FTP and SFTP URLs (ftp://, ftps://, ftpes://, sftp://) can be "
                                            "connected to.");

bool looksLikeUrl(const QString &text)
{
    return text.contains(QLatin1String("://"));
}

} // namespace

const QString ConnectController::kAnonymousPassword = QStringLiteral("guest@kestrin-ftp.example");

ConnectController::ConnectController(tSetupClass &setup, UserInterface &ui, Diagnostics &diagnostics,
                                     SessionSupervisor &sessions, QueueController &queue, LogWriter writeLog,
                                     QObject *parent)
    : QObject(parent), m_setup(setup), m_ui(ui), m_diagnostics(diagnostics), m_sessions(sessions), m_queue(queue),
      m_writeLog(std::move(writeLog))
{
    // Lowering the history size in the options trims the list at once.
    connect(&m_setup, &tSetupClass::valueChanged, this, [this](const QString &key) {
        if (key.compare(Keys::connectionHistorySize.key(), Qt::CaseInsensitive) != 0)
            return;
        const qsizetype before = m_history.size();
        m_history.trim(static_cast<int>(read(m_setup, Keys::connectionHistorySize)));
        if (m_history.size() != before)
            emit historyChanged();
    });
}

bool ConnectController::loadHistory(const QString &path)
{
    // A missing file gives an empty history; a damaged one what could be read.
    m_history.load(path);
    emit historyChanged();
    return !m_history.damaged();
}

bool ConnectController::saveHistory(const QString &path, QString *error)
{
    if (read(m_setup, Keys::connectionHistoryDeleteOnExit))
        m_history.clear();
    return m_history.save(path, error);
}

void ConnectController::deleteHistoryEntries(const QList<qsizetype> &positions)
{
    m_history.remove(positions);
    emit historyChanged();
}

void ConnectController::setQuickConnect(const QuickConnect &boxes)
{
    const SiteProtocol before = m_quick.protocol;
    m_quick = boxes;
    // A URL being typed into the address names its protocol, as it will when it connects.
    const QString address = boxes.address.trimmed();
    if (const qsizetype prefix = connectSchemePrefixLength(address); prefix > 0)
        m_quick.protocol = protocolOfScheme(address.left(prefix - 3).toLower()).value_or(m_quick.protocol);
    if (m_quick.protocol == before)
        return;
    m_quick.port = portAfterProtocolChange(m_quick.port, before, m_quick.protocol, m_quick.encryption);
    dropAnonymousLogin();
    emit quickConnectChanged();
}

void ConnectController::dropAnonymousLogin()
{
    // The anonymous login the FTP rule put into the boxes means nothing to an SSH server.
    if (m_quick.protocol == SiteProtocol::Sftp && m_quick.user == QLatin1String("anonymous") &&
        (m_quick.password == read(m_setup, Keys::anonPass) || m_quick.password == kAnonymousPassword)) {
        m_quick.user.clear();
        m_quick.password.clear();
    }
}

void ConnectController::fillQuickConnectFromHistory()
{
    if (read(m_setup, Keys::DeleteQuickConnectData) || m_history.isEmpty())
        return;
    const ConnectionHistory::Entry e = m_history.entry(0);
    m_quick = {e.host, e.user, e.password, e.port, m_quick.encryption, e.protocol};
    emit quickConnectChanged();
}

bool ConnectController::fieldsFromUrl(const QString &url, SiteFields &fields, QString *error)
{
    FtpUrl parts;
    if (!parseUrl(url, parts, error))
        return false;
    const std::optional<SiteProtocol> protocol = protocolOfScheme(parts.scheme);
    if (!parts.scheme.isEmpty() && !protocol) {
        if (error)
            *error = kOnlyOurUrls;
        return false;
    }
    fields.protocol = protocol.value_or(SiteProtocol::Ftp);
    fields.encryption = encryptionOfScheme(parts.scheme, fields.encryption).value_or(fields.encryption);
    fields.host = parts.host;
    fields.port = parts.port.isEmpty() ? defaultPort(fields.protocol, fields.encryption) : parts.port;
    if (fields.protocol == SiteProtocol::Sftp) {
        // No anonymous login over SSH: an empty user is resolved when the site connects.
        fields.user = parts.user;
        fields.password = parts.password;
    } else {
        fields.user = parts.user.isEmpty() ? QStringLiteral("anonymous") : parts.user;
        fields.password = parts.password.isEmpty() ? kAnonymousPassword : parts.password;
    }
    fields.path = parts.path;
    return true;
}

void ConnectController::refuse(const QString &title, const QString &text)
{
    m_sessions.setConnectionWanted(false);
    m_sessions.forgetCurrentSite();
    m_diagnostics.showErrorMessage(title, text);
}

void ConnectController::fail(const QString &message)
{
    m_sessions.setConnectionWanted(false);
    m_sessions.forgetCurrentSite();
    m_ui.showMessage(message);
}

bool ConnectController::acConnect(Caller caller)
{
    if (!m_sessions.isFullyDisconnected()) {
        m_sessions.timer_threads();
        return false;
    }
    // Worked on as a copy and set as the current site once it is complete; a refusal on
    // the way forgets the current site.
    tSiteRecord site = m_sessions.currentSite();
    m_sessions.setConnectionWanted(true);
    m_queue.setDisconnecting(false);
    // A new connection ends a pending reconnect; only the reconnect itself keeps counting.
    m_sessions.cancelRetry(caller != Caller::ReconnectTimer);
    for (tkftpclient *session : m_sessions.allSessions())
        session->recentLines.clear();

    switch (caller) {
    case Caller::SiteManager:
    case Caller::VuzidIRA:
        if (!splitSiteHost(site))
            return false;
        m_quick = {site.Host.text(), site.User.text(), site.Pass.text(),
                   site.Port.text(), site.encryption,  site.protocol};
        m_urlFolder.clear();
        break;
    case Caller::ReconnectTimer:
        // A reconnect repeats the connection that was lost, with its own login and
        // encryption (the session loss made it the current site again); the history may
        // name another server, or not hold this login at all.
        m_quick = {site.Host.text(), site.User.text(), site.Pass.text(),
                   site.Port.text(), site.encryption,  site.protocol};
        m_urlFolder.clear();
        break;
    case Caller::ConnectAction:
        // An FTP URL in the address box is split into its parts, never taken as a host name.
        if (looksLikeUrl(m_quick.address.trimmed())) {
            FtpUrl url;
            QString why;
            if (!parseUrl(m_quick.address.trimmed(), url, &why)) {
                fail(QStringLiteral("The address is not a usable FTP URL.\r\r") + why);
                return false;
            }
            const std::optional<SiteProtocol> protocol = protocolOfScheme(url.scheme);
            if (!protocol) {
                fail(kOnlyOurUrls);
                return false;
            }
            // "sftp://" leaves the bar's encryption choice as it is: it does not apply.
            m_quick.protocol = *protocol;
            m_quick.encryption = encryptionOfScheme(url.scheme, m_quick.encryption).value_or(m_quick.encryption);
            m_quick.address = url.host;
            // A URL names its port or takes its scheme's default: the number left in the port
            // box (another protocol's, another server's) does not apply to it.
            m_quick.port = url.port.isEmpty() ? defaultPort(m_quick.protocol, m_quick.encryption) : url.port;
            if (!url.user.isEmpty()) {
                m_quick.user = url.user;
                m_quick.password = url.password;
            }
            m_urlFolder = url.path;
        } else if (!splitQuickAddress()) {
            return false;
        }
        break;
    }

    // FTP's anonymous rule; an SSH server has no anonymous login, and a key or the agent
    // logs in without a password.
    if (caller == Caller::ConnectAction)
        dropAnonymousLogin();
    if (m_quick.protocol == SiteProtocol::Ftp && (m_quick.user.isEmpty() || m_quick.password.isEmpty())) {
        m_quick.user = QStringLiteral("anonymous");
        m_quick.password = read(m_setup, Keys::anonPass);
        if (m_quick.password.isEmpty())
            m_quick.password = kAnonymousPassword;
    }
    site.User = m_quick.user;
    site.Pass = m_quick.password;
    site.encryption = m_quick.encryption;
    site.protocol = m_quick.protocol;
    if (m_quick.port.isEmpty())
        m_quick.port = defaultPort(m_quick.protocol, m_quick.encryption);
    m_quick.address = m_quick.address.trimmed();
    emit quickConnectChanged();

    if (caller == Caller::ConnectAction) {
        // An SFTP host may be an alias of ~/.ssh/config; the bar keeps what was typed.
        QString host = m_quick.address, user = m_quick.user, port = m_quick.port, configKey;
        if (m_quick.protocol == SiteProtocol::Sftp)
            resolveSshAlias(host, user, port, configKey);
        // The bar names no key file: the configuration or the history's entry for this login may.
        m_history.lookup(host, user, m_quick.password, port, site, m_quick.protocol);
        if (!configKey.isEmpty())
            site.keyFile = configKey;
        if (!m_urlFolder.isEmpty())
            site.rFolder = m_urlFolder;
        m_urlFolder.clear();
    } else if (caller != Caller::ReconnectTimer && site.protocol == SiteProtocol::Sftp) {
        QString host = site.Host.text(), user = site.User.text(), port = site.Port.text(), configKey;
        resolveSshAlias(host, user, port, configKey);
        site.Host = host;
        site.User = user;
        site.Port = port;
        if (site.keyFile.startsWith(QLatin1String("~/")))
            site.keyFile = QDir::homePath() + site.keyFile.mid(1);
        if (site.keyFile.isEmpty())
            site.keyFile = configKey;
    }

    if (site.Host.isEmpty()) {
        refuse(QStringLiteral("Missing FTP hostname"),
               QStringLiteral("Specify an FTP hostname in the site manager and try again. "
                              "Hostname could for example be ") +
                   kExampleHost + QLatin1Char('.'));
        return false;
    }
    if (site.Port.isEmpty()) {
        refuse(QStringLiteral("Missing FTP port"),
               QStringLiteral("Specify an FTP port and try again. The default FTP port is 21."));
        return false;
    }

    m_sessions.setCurrentSite(site);
    if (!m_history.add(site, read(m_setup, Keys::connectionHistorySaveRFolder),
                       static_cast<int>(read(m_setup, Keys::connectionHistorySize))))
        m_writeLog(kInfo + QStringLiteral("This login holds a line break or a \"") + kInfo +
                   QStringLiteral("\" and is not kept in the connection history."));
    emit historyChanged();
    m_sessions.timer_threads();
    return true;
}

void ConnectController::resolveSshAlias(QString &host, QString &user, QString &port, QString &keyFile) const
{
    // Port 22 is what the boxes hold by default: the configuration's port wins over it.
    const SshConfig::Host resolved =
        SshConfig::loadUsers().resolve(host, user, port == QLatin1String("22") ? QString() : port);
    host = resolved.hostName;
    user = resolved.user;
    port = resolved.port;
    keyFile = resolved.identityFile;
}

// "[2001:db8::1]:21", "[::1]" or "host:2121" in the address box: the host goes to the
// engine without brackets, and a port typed with it wins over the port box.
bool ConnectController::splitQuickAddress()
{
    QString host, port, why;
    if (!splitHostPort(m_quick.address, host, port, &why)) {
        fail(QStringLiteral("The address is not usable.\r\r") + why);
        return false;
    }
    m_quick.address = host;
    if (!port.isEmpty())
        m_quick.port = port;
    return true;
}

// A site's host may be written "[2001:db8::1]" or "[2001:db8::1]:21"; the session takes it
// apart (the stored site is left as it is).
bool ConnectController::splitSiteHost(tSiteRecord &site)
{
    QString host, port, why;
    if (!splitHostPort(site.Host.text(), host, port, &why)) {
        fail(QStringLiteral("The site's host name is not usable.\r\r") + why);
        return false;
    }
    site.Host = host;
    if (!port.isEmpty())
        site.Port = port;
    return true;
}

bool ConnectController::connectQuick(const QuickConnect &boxes)
{
    m_quick = boxes;
    return acConnect(Caller::ConnectAction);
}

bool ConnectController::waitForDisconnect()
{
    if (m_sessions.connectionWanted() && !acDisconnect())
        return false; // the user kept the old connection: this attempt ends here
    const QDeadlineTimer deadline(kDisconnectWaitMs);
    while (!m_sessions.isFullyDisconnected() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (m_sessions.isFullyDisconnected())
        return true;
    m_ui.showMessage(QStringLiteral("The previous connection did not close in time. Please try again."));
    return false;
}

bool ConnectController::connectSite(const SiteFields &fields)
{
    if (!waitForDisconnect())
        return false;
    tSiteRecord site = m_sessions.currentSite();
    site.Host = fields.host.trimmed();
    site.Port = fields.port.trimmed();
    site.User = fields.user;
    site.Pass = fields.password;
    site.rFolder = fields.path;
    site.encryption = fields.encryption;
    site.protocol = fields.protocol;
    // Only the key the window names: another site's key is not offered to this server.
    site.keyFile = fields.protocol == SiteProtocol::Sftp ? fields.keyFile.trimmed() : QString();
    site.name = site.Host.text();
    m_sessions.setCurrentSite(site);
    return acConnect(Caller::VuzidIRA);
}

bool ConnectController::connectLink(const QString &url)
{
    SiteFields fields;
    QString why;
    if (!fieldsFromUrl(url, fields, &why)) {
        m_ui.showMessage(QStringLiteral("The link is not a usable FTP URL.\r\r") + why);
        return false;
    }
    return connectSite(fields);
}

bool ConnectController::connectHistoryEntry(qsizetype position)
{
    if (position < 0 || position >= m_history.size())
        return false;
    // The entry is read before the wait: the list may change while events run.
    const ConnectionHistory::Entry e = m_history.entry(position);
    if (!waitForDisconnect())
        return false;
    m_quick = {e.host, e.user, e.password, e.port, m_quick.encryption, e.protocol};
    m_urlFolder.clear();
    return acConnect(Caller::ConnectAction);
}

bool ConnectController::acDisconnect()
{
    // A pending reconnect is cancelled even when nothing else is open.
    m_sessions.cancelRetry(true);
    if (m_sessions.isFullyDisconnected())
        return false;
    if (!m_queue.model().isEmpty() && read(m_setup, Keys::confirmDisconnectWhenQueueNotEmpty) &&
        !m_ui.confirm(QStringLiteral("The queue is not empty. Still want to disconnect?")))
        return false;
    m_writeLog(kInfo + QStringLiteral("Connection to server closed."));
    m_queue.setDisconnecting(true);
    m_sessions.setConnectionWanted(false);
    m_sessions.timer_threads();
    return true;
}

void ConnectController::acPasteUrl(const QString &clipboardText)
{
    if (!m_sessions.isFullyDisconnected()) {
        m_ui.showMessage(QStringLiteral("You must disconnect before pasting a URL"));
        return;
    }
    const QString clip = clipboardText.trimmed();
    QString text = connectSchemePrefixLength(clip) > 0 && !clip.contains(u'\n') && !clip.contains(u'\r') &&
                           clip.size() <= kMaxClipboardText
                       ? clip
                       : QStringLiteral("ftp://") + kExampleHost + QLatin1Char('/');
    if (!m_ui.askText(QStringLiteral("Paste FTP URL"), QStringLiteral("URL Name:"), text, false))
        return;
    // The address box takes the URL; Connect splits it into host, port, user and password.
    m_quick.address = text.trimmed();
    acConnect(Caller::ConnectAction);
}

void ConnectController::clipboardChanged(const QString &text)
{
    if (!read(m_setup, Keys::monitorClipboardForFTPUrls))
        return;
    if (text.size() <= 12 || text.size() > kMaxClipboardText || text.contains(u'\r') || text.contains(u'\n'))
        return;
    const QString trimmed = text.trimmed();
    const qsizetype prefix = connectSchemePrefixLength(trimmed);
    if (prefix == 0)
        return;
    // Only the scheme is lowered: user, password, host and path keep their letter case.
    const QString url = trimmed.left(prefix).toLower() + trimmed.mid(prefix);
    if (url == m_lastOfferedUrl)
        return;
    FtpUrl parts;
    if (!parseUrl(url, parts) || parts.host.isEmpty())
        return;
    m_lastOfferedUrl = url;
    if (!m_ui.confirmDefaultNo(QStringLiteral("Kestrin FTP Pro has detected an FTP URL in the clipboard.\r\n\r\n"
                                              "FTP URL: ") +
                               displayUrl(parts) + QStringLiteral("\r\n\r\nConnect to FTP site?")))
        return;
    emit vuzidiraRequested(url);
}

void ConnectController::runStartupAction(int action)
{
    switch (action) {
    case 1:
        emit siteManagerRequested();
        break;
    case 2:
        acConnect(Caller::ConnectAction);
        break;
    case 3:
        emit vuzidiraRequested(QString());
        break;
    case 4:
        emit historyWindowRequested();
        break;
    default:
        break;
    }
}

void ConnectController::recordCurrentSite()
{
    const tSiteRecord &site = m_sessions.currentSite();
    if (site.Host.isEmpty())
        return;
    if (m_history.add(site, read(m_setup, Keys::connectionHistorySaveRFolder),
                      static_cast<int>(read(m_setup, Keys::connectionHistorySize))))
        emit historyChanged();
}

void ConnectController::loginFailed(tkftpclient *session, int error)
{
    // A refused login ends the attempt: dropping the wish to be connected keeps the
    // supervisor from logging in again and again with the same data.
    m_sessions.setConnectionWanted(false);
    m_sessions.timer_threads();
    const bool network = error >= 10000;
    m_writeLog(kError + (network ? QStringLiteral("Unable to connect to server.")
                                 : QStringLiteral("Unable to login on server.")));
    m_diagnostics.showErrorWindow(
        QStringLiteral("Unable to connect to FTP site. Recheck FTP login information and try again"),
        session->lastReply(), session->recentLines);
}

void ConnectController::sessionClosed(tkftpclient *session)
{
    session->loggedIn = false;
}
