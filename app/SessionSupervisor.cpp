#include "app/SessionSupervisor.h"

#include "app/UserInterface.h"
#include "base/Guard.h"
#include "settings/SettingsCatalogue.h"
#include "sites/FtpUrl.h"

#include <QCoreApplication>

namespace {
const QString kSection = QString(tSetupClass::kSeparator);
} // namespace

SessionSupervisor::SessionSupervisor(tSetupClass &setup, UserInterface &ui, LogWriter writeLog, QObject *parent)
    : QObject(parent), m_setup(setup), m_ui(ui), m_writeLog(std::move(writeLog)),
      m_mainFTP(std::make_unique<tkftpclient>(QStringLiteral("mainFTP"))),
      m_xferFTP(std::make_unique<tkftpclient>(QStringLiteral("xferFTP")))
{
    for (tkftpclient *s : {m_mainFTP.get(), m_xferFTP.get()}) {
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
    for (tkftpclient *s : {m_mainFTP.get(), m_xferFTP.get()}) {
        s->OnDisplay = nullptr;
        s->OnDisplayFile = nullptr;
        s->OnCommand = nullptr;
        s->OnProgress = nullptr;
        s->OnSessionConnected = nullptr;
        s->OnSessionClosed = nullptr;
        s->OnRequestDone = nullptr;
        s->OnBgException = nullptr;
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
        guarded("rqd001", [&] { emit requestDone(s, rq, error); });
    };
    s->OnBgException = [](TFtpClient *, const std::exception &e, bool &) {
        reportBug(QStringLiteral("bgex001"), QString::fromLocal8Bit(e.what()));
    };
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
            [&] { result = !m_connectionWanted && !m_mainSession->IsConnected() && m_mainSession->idleState(); });
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
    session.keepAliveDue = QDateTime::currentDateTime().addSecs(start + extra + 1);
}

void SessionSupervisor::acRavuzAro()
{
    if (m_ravuzAro && m_xferSession->IsConnected() && m_xferSession->busy()) {
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
        for (tkftpclient *s : {m_mainSession, m_xferSession}) {
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
}

void SessionSupervisor::connectSession(tkftpclient &session)
{
    if (session.IsConnected() || !session.idleState())
        return;
    // A session that could not be configured or started stays closed and idle, so the
    // next run tries again.
    if (!guarded(QStringLiteral("23js8 - ") + session.objectName(), [&] { configure(session); }))
        return;
    guarded(QStringLiteral("nnlqimajq-\"%1\"").arg(session.HostName()), [&] { session.StartConnect(); });
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
    if (&s == m_mainSession)
        m_connectedSite = currentSite;
    s.SetHostName(currentSite.Host);
    s.SetPort(currentSite.Port);
    s.SetUserName(currentSite.User);
    s.SetPassWord(currentSite.Pass);
    rescheduleKeepAlive(s);
    s.SetBinary(false);
    // Every wait on the server ends; read at each connect, so a changed setting takes effect.
    s.SetReplyTimeoutMs(static_cast<int>(read(m_setup, Keys::replyTimeout)) * 1000);
    // Names go back with the bytes they came with: UTF-8 where the server offers it.
    s.SetNegotiateUtf8(true);
    s.SetLocalFileName(QString());
    s.SetHostFileName(QString());
    s.loginMessages.clear();
    s.SetTlsMode(tlsModeOf(currentSite.encryption));

    // A site named after its host shows an IPv6 address in brackets, as addresses are written.
    const QString name =
        currentSite.name == currentSite.Host.text() ? displayHost(currentSite.name.text()) : currentSite.name.text();
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

void SessionSupervisor::dropSession(tkftpclient &session)
{
    guarded("2js8", [&] { session.AbortAndWait(); });
}
