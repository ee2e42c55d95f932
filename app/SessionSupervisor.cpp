#include "app/SessionSupervisor.h"

#include "app/SftpRemote.h"
#include "app/UserInterface.h"
#include "base/Guard.h"
#include "settings/SettingsCatalogue.h"
#include "sftp/SftpSession.h"
#include "sites/FtpUrl.h"

#include <QCoreApplication>

#include <algorithm>

namespace {
const QString kSection = QString(tSetupClass::kSeparator);
} // namespace

SessionSupervisor::SessionSupervisor(tSetupClass &setup, UserInterface &ui, LogWriter writeLog, QObject *parent)
    : QObject(parent), m_setup(setup), m_ui(ui), m_writeLog(std::move(writeLog)),
      m_mainFTP(std::make_unique<tkftpclient>(QStringLiteral("mainFTP"))),
      m_xferFTP(std::make_unique<tkftpclient>(QStringLiteral("xferFTP")))
{
    for (int i = 2; i <= Keys::kMaxSimultaneousTransfers; ++i)
        m_extras.push_back(std::make_unique<tkftpclient>(QStringLiteral("xferFTP") + QString::number(i)));
    for (tkftpclient *s : allSessions()) {
        s->DataSocket().SetComponentOptions(wsoNoReceiveLoop | wsoTcpNoDelay);
        s->SetMultiThreaded(true);
        s->SetShareMode(TFtpShareMode::ftpShareDenyNone);
        s->SetDisplayFileFlag(false);
        // Listing data arrives in whole blocks, not as lines.
        s->SetDisplayFileMode(1);
        installHandlers(*s);
    }
    m_mainSession = m_mainFTP.get();
    m_xferSession = m_xferFTP.get();
}

SessionSupervisor::~SessionSupervisor()
{
    // Closing sockets may fire handlers; nothing may reach the owner any more.
    for (tkftpclient *s : allSessions()) {
        s->OnDisplay = nullptr;
        s->OnDisplayFile = nullptr;
        s->OnCommand = nullptr;
        s->OnProgress = nullptr;
        s->OnSessionConnected = nullptr;
        s->OnSessionClosed = nullptr;
        s->OnRequestDone = nullptr;
        s->OnBgException = nullptr;
        s->disconnect(this);
    }
}

std::vector<tkftpclient *> SessionSupervisor::allSessions() const
{
    std::vector<tkftpclient *> all{m_mainFTP.get(), m_xferFTP.get()};
    for (const auto &extra : m_extras)
        all.push_back(extra.get());
    return all;
}

std::vector<tkftpclient *> SessionSupervisor::transferSessions() const
{
    std::vector<tkftpclient *> pool{m_ravuzAro ? m_xferSession : m_mainSession};
    const int size = poolSize();
    for (int i = 0; i + 1 < size; ++i)
        pool.push_back(m_extras[static_cast<std::size_t>(i)].get());
    return pool;
}

bool SessionSupervisor::isExtra(const tkftpclient *session) const
{
    return std::any_of(m_extras.begin(), m_extras.end(), [session](const auto &e) { return e.get() == session; });
}

int SessionSupervisor::poolSize() const
{
    auto size = static_cast<int>(read(m_setup, Keys::simultaneousTransfers));
    if (m_connectedSite.simultaneousTransfers > 0)
        size = m_connectedSite.simultaneousTransfers;
    return std::clamp(std::min(size, m_poolCap), 1, Keys::kMaxSimultaneousTransfers);
}

void SessionSupervisor::extraRefused(tkftpclient &session, int error)
{
    // The members that are still connected (or on their way) are as many as the server takes.
    int connected = 0;
    for (tkftpclient *s : transferSessions())
        connected += s != &session && s->connectedOrResolving() ? 1 : 0;
    const int cap = std::max(1, connected);
    if (cap < m_poolCap) {
        m_poolCap = cap;
        if (!m_poolCapLogged) {
            m_poolCapLogged = true;
            m_writeLog(kSection + QStringLiteral("The server refused another connection (%1); transferring with %2 "
                                                 "session(s) from now on.")
                                      .arg(error)
                                      .arg(cap));
        }
    }
    if (session.connectedOrResolving())
        dropSession(session);
}

void SessionSupervisor::superviseTransferPool()
{
    if (m_connectionWanted)
        superviseExtras();
}

void SessionSupervisor::superviseExtras()
{
    const std::vector<tkftpclient *> pool = transferSessions();
    // Extras are opened only once the first member is logged in: the server has taken the
    // login data, and a refusal then says "too many", not "wrong password".
    const bool firstReady = pool.front()->loggedIn && m_mainSession->loggedIn;
    const int wanted = std::min(m_demand, static_cast<int>(pool.size()));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (std::size_t i = 0; i < m_extras.size(); ++i) {
        tkftpclient &extra = *m_extras[i];
        const bool member = i + 1 < pool.size();
        if (extra.busy()) {
            extra.idleSince = QDateTime();
            continue;
        }
        if (!extra.connectedOrResolving()) {
            if (member && firstReady && static_cast<int>(i) + 1 < wanted)
                connectSession(extra);
            continue;
        }
        if (!extra.idleState())
            continue;
        if (!extra.idleSince.isValid())
            extra.idleSince = now;
        // Beyond the pool's size, or idle for a while with nothing to do: closed.
        const bool spare = static_cast<int>(i) + 1 >= wanted;
        if (!member || (spare && extra.idleSince.secsTo(now) >= m_idleCloseSeconds))
            dropSession(extra);
    }
}

void SessionSupervisor::installHandlers(tkftpclient &session)
{
    tkftpclient *s = &session;
    s->OnDisplay = [this, s](TFtpClient *, QString &msg) { guarded("dsp001", [&] { emit displayLine(s, msg); }); };
    s->OnDisplayFile = [this, s](TFtpClient *, QString &msg) { emit listingReceived(s, msg); };
    s->OnCommand = [](TFtpClient *, QString &cmd) {
        guarded("cmd001", [&] {
            QCoreApplication::processEvents();
            stripTrailingSlash(cmd);
        });
    };
    s->OnProgress = [this, s](TFtpClient *, std::int64_t count, bool &abort) {
        guarded("prg001", [&] { emit progress(s, count, &abort); });
    };
    s->OnSessionConnected = [this, s](TFtpClient *, int error) {
        guarded("scn001", [&] {
            QCoreApplication::processEvents();
            emit sessionConnected(s, error);
        });
    };
    s->OnSessionClosed = [this, s](TFtpClient *, int error) {
        guarded("scl001", [&] { emit sessionClosed(s, error); });
    };
    s->OnRequestDone = [this, s](TFtpClient *, TFtpRequest rq, int error) {
        guarded("rqd001", [&] {
            const auto [request, code] = s->ftpCompletion(rq, error);
            emit requestDone(s, request, code);
        });
    };
    s->OnBgException = [](TFtpClient *, const std::exception &e, bool &) {
        reportBug(QStringLiteral("bgex001"), QString::fromLocal8Bit(e.what()));
    };
    // The SFTP side's events go out as the FTP engine's do.
    connect(s, &tkftpclient::sftpDisplay, this,
            [this, s](const QString &line) { guarded("dsp002", [&] { emit displayLine(s, line); }); });
    connect(s, &tkftpclient::sftpListing, this, [this, s](const QString &text) { emit listingReceived(s, text); });
    connect(s, &tkftpclient::sftpProgress, this,
            [this, s](std::int64_t count, bool *abort) { guarded("prg002", [&] { emit progress(s, count, abort); }); });
    connect(s, &tkftpclient::sftpRequestDone, this, [this, s](RemoteRequest rq, int error) {
        guarded("rqd002", [&] {
            if (rq == RemoteRequest::Connect)
                emit sessionConnected(s, error);
            emit requestDone(s, rq, error);
        });
    });
    connect(s, &tkftpclient::sftpClosed, this,
            [this, s](int error) { guarded("scl002", [&] { emit sessionClosed(s, error); }); });
}

void SessionSupervisor::stripTrailingSlash(QString &command)
{
    // Only a path loses its final "/": a password or user name is sent whole.
    static const char *const kPathCommands[] = {"CWD ",  "MKD ",  "RMD ",  "LIST ", "NLST ", "SIZE ",      "DELE ",
                                                "RNFR ", "RNTO ", "RETR ", "STOR ", "APPE ", "SITE CHMOD "};
    bool path = false;
    for (const char *verb : kPathCommands)
        path = path || command.startsWith(QLatin1String(verb), Qt::CaseInsensitive);
    if (path && command.size() >= 3 && command.endsWith(QLatin1Char('/')) &&
        command[command.size() - 2] != QLatin1Char(' '))
        command.chop(1);
}

bool SessionSupervisor::isFullyDisconnected()
{
    bool result = false;
    guarded("kjbbkqkja",
            [&] { result = !m_connectionWanted && !m_mainSession->connectedNow() && m_mainSession->idleState(); });
    return result;
}

void SessionSupervisor::rescheduleKeepAlive(tkftpclient &session)
{
    auto start = static_cast<std::int32_t>(read(m_setup, Keys::keepAliveSecsStart));
    auto end = static_cast<std::int32_t>(read(m_setup, Keys::keepAliveSecsEnd));
    if (start < 1)
        start = 1;
    if (end < start)
        end = start;
    int extra = 0;
    if (end > start)
        extra = std::uniform_int_distribution<int>(0, end - start - 1)(m_random);
    session.keepAliveDue = QDateTime::currentDateTimeUtc().addSecs(start + extra + 1);
}

void SessionSupervisor::acRavuzAro()
{
    if (m_ravuzAro && m_xferSession->connectedNow() && m_xferSession->busy()) {
        m_ui.showMessage(QStringLiteral(
            "You cannot disable the RavuzAro feature right now, as it is currently being used to transfer a "
            "file.\r\r\nWith the Smart Transfer feature enabled, you can browse the FTP site even though a file is "
            "currently being transfered."));
        return;
    }
    m_ravuzAro = !m_ravuzAro;
    write(m_setup, Keys::ravuzAroEnabled, m_ravuzAro);
}

void SessionSupervisor::timer_threads()
{
    if (!m_connectionWanted) {
        for (tkftpclient *s : allSessions()) {
            if (s->connectedOrResolving())
                dropSession(*s);
        }
        return;
    }
    if (!m_xferSession->connectedOrResolving() || m_ravuzAro) {
        connectSession(*m_mainSession);
        if (m_ravuzAro && currentRemoteFolder && !currentRemoteFolder().isEmpty())
            connectSession(*m_xferSession);
    } else {
        dropSession(*m_xferSession);
    }
    superviseExtras();
}

void SessionSupervisor::connectSession(tkftpclient &session)
{
    if (session.connectedNow() || !session.idleState())
        return;
    // A session that could not be configured or started stays closed and idle, so the
    // next run tries again.
    if (!guarded(QStringLiteral("23js8 - ") + session.objectName(), [&] { configure(session); }))
        return;
    guarded(QStringLiteral("nnlqimajq-\"%1\"").arg(session.HostName()), [&] { session.startLogin(); });
}

TFtpTlsMode SessionSupervisor::tlsModeOf(SiteEncryption encryption)
{
    switch (encryption) {
    case SiteEncryption::ExplicitRequired:
        return TFtpTlsMode::ExplicitRequired;
    case SiteEncryption::Implicit:
        return TFtpTlsMode::Implicit;
    case SiteEncryption::Plain:
        return TFtpTlsMode::None;
    case SiteEncryption::ExplicitIfAvailable:
        break;
    }
    return TFtpTlsMode::Explicit;
}

void SessionSupervisor::scheduleRetry(std::int64_t delaySeconds)
{
    ++m_retryCount;
    m_retryTime = QDateTime::currentDateTime().addSecs(delaySeconds);
}

void SessionSupervisor::cancelRetry(bool resetCount)
{
    m_retryTime = QDateTime();
    if (resetCount)
        m_retryCount = 0;
}

void SessionSupervisor::applyDataConnection(tkftpclient &session)
{
    switch (read(m_setup, Keys::connectionType)) {
    case 0:
        session.SetPassive(false);
        break;
    case 1:
        session.SetPassive(true);
        break;
    default:
        break; // a proxy or SOCKS: set at connect, passive
    }
}

void SessionSupervisor::configure(tkftpclient &s)
{
    if (&s == m_mainSession) {
        m_connectedSite = m_currentSite;
        // A new connection may find the server less crowded.
        m_poolCap = Keys::kMaxSimultaneousTransfers;
        m_poolCapLogged = false;
    }
    s.idleSince = QDateTime();
    s.useSftp(m_currentSite.protocol == SiteProtocol::Sftp);
    s.SetHostName(m_currentSite.Host);
    s.SetPort(m_currentSite.Port);
    s.SetUserName(m_currentSite.User);
    s.SetPassWord(m_currentSite.Pass);
    rescheduleKeepAlive(s);
    s.SetBinary(false);
    // Every wait on the server ends; read at each connect, so a changed setting takes effect.
    s.SetReplyTimeoutMs(static_cast<int>(read(m_setup, Keys::replyTimeout)) * 1000);
    // Names go back with the bytes they came with: UTF-8 where the server offers it.
    s.SetNegotiateUtf8(true);
    s.SetLocalFileName(QString());
    s.SetHostFileName(QString());
    s.loginMessages.clear();
    s.SetTlsMode(tlsModeOf(m_currentSite.encryption));
    if (s.isSftp())
        return configureSftp(s);

    // A site named after its host shows an IPv6 address in brackets, as addresses are written.
    const QString name = m_currentSite.name == m_currentSite.Host.text() ? displayHost(m_currentSite.name.text())
                                                                         : m_currentSite.name.text();
    const QString address = read(m_setup, Keys::ConnectionTypeAddress);
    const QString port = read(m_setup, Keys::ConnectionTypePort);
    switch (read(m_setup, Keys::connectionType)) {
    case 0:
        m_writeLog(kSection + QStringLiteral("Connecting to ") + name + QStringLiteral(". Please wait ..."));
        s.SetSocksServer(QString());
        s.SetConnectionType(TFtpConnectionType::ftpDirect);
        s.SetPassive(false);
        break;
    case 1:
        m_writeLog(kSection + QStringLiteral("Connecting to ") + name +
                   QStringLiteral(" in passive mode. Please wait ..."));
        s.SetSocksServer(QString());
        s.SetConnectionType(TFtpConnectionType::ftpDirect);
        s.SetPassive(true);
        break;
    case 2:
        m_writeLog(kSection + QStringLiteral("Connecting to ") + name +
                   QStringLiteral(" through standard proxy server. Please wait ..."));
        s.SetSocksServer(QString());
        s.SetConnectionType(TFtpConnectionType::ftpProxy);
        s.SetPassive(true);
        s.ProxyPort = port;
        s.SetProxyServer(address);
        break;
    default:
        m_writeLog(kSection + QStringLiteral("Connecting to ") + name +
                   QStringLiteral(" through SOCKS. Please wait ..."));
        s.SetConnectionType(TFtpConnectionType::ftpSocks5);
        s.SetSocksPort(port);
        s.SetSocksServer(address);
        s.SetPassive(true);
        break;
    }
    if (prepareConnect)
        prepareConnect(s);
}

void SessionSupervisor::configureSftp(tkftpclient &s)
{
    SftpSession &sftp = s.sftp()->session();
    if (s.sftpJustMade() && prepareSftp)
        prepareSftp(sftp);
    bool numeric = false;
    const int port = m_currentSite.Port.text().trimmed().toInt(&numeric);
    sftp.setHost(m_currentSite.Host.text(), numeric && port > 0 && port < 65536 ? port : 22);
    sftp.setUser(m_currentSite.User.text());
    sftp.setPassword(m_currentSite.Pass.text());
    sftp.setKeyFile(m_currentSite.keyFile);
    sftp.setOwnKnownHostsFile(ownKnownHostsFile ? ownKnownHostsFile() : QString());
    // Every wait on the server ends; read at each connect, so a changed setting takes effect.
    sftp.setTimeoutMs(static_cast<int>(read(m_setup, Keys::replyTimeout)) * 1000);
    const QString name = m_currentSite.name == m_currentSite.Host.text() ? displayHost(m_currentSite.name.text())
                                                                         : m_currentSite.name.text();
    // A standard FTP proxy carries no SSH; only SOCKS stands between us and the server. A
    // connection set to go through an FTP proxy is not made directly behind the user's back.
    const auto type = read(m_setup, Keys::connectionType);
    s.sftp()->setConnectRefusal(type == 2 ? QStringLiteral("SFTP cannot go through a standard FTP proxy; choose a "
                                                           "direct connection or SOCKS in the options")
                                          : QString());
    if (type >= 3) {
        m_writeLog(kSection + QStringLiteral("Connecting to ") + name +
                   QStringLiteral(" (SFTP) through SOCKS. Please wait ..."));
        sftp.setSocks(read(m_setup, Keys::ConnectionTypeAddress), read(m_setup, Keys::ConnectionTypePort),
                      QStringLiteral("5"));
    } else {
        m_writeLog(kSection + QStringLiteral("Connecting to ") + name + QStringLiteral(" (SFTP). Please wait ..."));
        sftp.setSocks(QString(), QString(), QString());
    }
}

void SessionSupervisor::dropSession(tkftpclient &session)
{
    guarded("2js8", [&] { session.closeNow(); });
}
