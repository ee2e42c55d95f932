#include "app/VersionCheck.h"

#include "base/Guard.h"
#include "ftp/WSocket.h"
#include "peripheral/ReleaseNumber.h"
#include "settings/SettingsCatalogue.h"

#include <QUrlQuery>

VersionCheck::VersionCheck(std::int64_t ownRelease, QObject *parent) : QObject(parent), m_own(ownRelease)
{
    // Tests and development point the check at a server of their own.
    const QByteArray endpoint = qgetenv("KESTRIN_VERSION_CHECK_URL");
    if (!endpoint.isEmpty())
        m_endpoint = QUrl(QString::fromUtf8(endpoint));
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { finish(std::nullopt); });
}

VersionCheck::~VersionCheck()
{
    // Not inside a socket event here: the socket can go at once.
    if (m_socket) {
        unhook(*m_socket);
        m_socket.reset();
    }
}

void VersionCheck::unhook(TWSocket &s)
{
    s.OnDnsLookupDone = nullptr;
    s.OnSessionConnected = nullptr;
    s.OnDataAvailable = nullptr;
    s.OnSessionClosed = nullptr;
}

void VersionCheck::loadChoices(const QString &path)
{
    // Loaded once: a second call would drop choices made since.
    if (path == m_choicesPath)
        return;
    m_choicesPath = path;
    m_choices.load(path);
}

bool VersionCheck::saveChoices()
{
    return m_choicesPath.isEmpty() || m_choices.save(m_choicesPath);
}

bool VersionCheck::notifyNonBeta() const
{
    return read(m_choices, Keys::notifyNewNonBeta);
}

bool VersionCheck::notifyBeta() const
{
    return read(m_choices, Keys::notifyNewBeta);
}

void VersionCheck::setNotifyNonBeta(bool on)
{
    write(m_choices, Keys::notifyNewNonBeta, on);
}

void VersionCheck::setNotifyBeta(bool on)
{
    write(m_choices, Keys::notifyNewBeta, on);
}

bool VersionCheck::newerAvailable() const
{
    return m_latest > 0 && ReleaseNumber::isNewer(m_latest, m_own);
}

void VersionCheck::timer_checkForNewVersion(bool allowed)
{
    if (m_latest != kUnchecked || !allowed)
        return;
    emit logLine(QString(QChar(0xA7)) + QStringLiteral("Checking if new version has been released."));
    checkClick(true);
}

void VersionCheck::checkClick(bool background)
{
    if (running())
        return;
    m_background = background;
    m_latest = kChecking;
    m_redirects = 0;
    emit stateChanged();
    QUrl url = m_endpoint;
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("prod"), QStringLiteral("kftp"));
    query.addQueryItem(QStringLiteral("relnr"), QString::number(m_own));
    url.setQuery(query);
    m_deadline.start(m_timeoutMs);
    request(url);
}

void VersionCheck::request(const QUrl &url)
{
    dropSocket();
    // Only plain http can be spoken here; https and anything else count as no answer.
    if (!url.isValid() || url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0 ||
        url.host().isEmpty()) {
        finish(std::nullopt);
        return;
    }
    m_current = url;
    m_reader = std::make_unique<HttpReplyReader>(kMaxBody);
    m_socket = std::make_unique<TWSocket>();
    TWSocket *s = m_socket.get();
    s->OnDnsLookupDone = [this](TWSocket *, int error) { guarded("vchk01", [&] { onLookupDone(error); }); };
    s->OnSessionConnected = [this](TWSocket *, int error) { guarded("vchk02", [&] { onConnected(error); }); };
    s->OnDataAvailable = [this](TWSocket *, int) { guarded("vchk03", [&] { onData(); }); };
    s->OnSessionClosed = [this](TWSocket *, int) { guarded("vchk04", [&] { onClosed(); }); };
    try {
        s->DnsLookup(url.host());
    } catch (const std::exception &) {
        finish(std::nullopt);
    }
}

void VersionCheck::onLookupDone(int error)
{
    if (!m_socket)
        return;
    if (error != 0 || m_socket->DnsResult().isEmpty()) {
        finish(std::nullopt);
        return;
    }
    try {
        m_socket->SetAddr(m_socket->DnsResult());
        m_socket->SetPort(QString::number(m_current.port(80)));
        m_socket->SetProto(QStringLiteral("tcp"));
        m_socket->Connect();
    } catch (const std::exception &) {
        finish(std::nullopt);
    }
}

void VersionCheck::onConnected(int error)
{
    if (!m_socket)
        return;
    if (error != 0) {
        finish(std::nullopt);
        return;
    }
    const QByteArray path = m_current.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    const QByteArray request = "GET " + (path.isEmpty() ? QByteArray("/") : path) + " HTTP/1.0\r\n" +
                               "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n" +
                               "User-Agent: Mozilla/3.0 (compatible)\r\n" + "Host: " + m_current.host().toUtf8() +
                               "\r\nPragma: no-cache\r\n\r\n";
    m_socket->SendStr(request);
}

void VersionCheck::onData()
{
    if (!m_socket || !m_reader)
        return;
    switch (m_reader->feed(m_socket->ReceiveStr())) {
    case HttpReplyReader::State::Header:
        return;
    case HttpReplyReader::State::Body:
        // An error status has no answer in it: no need to wait for the body.
        if (m_reader->status() >= 400)
            finish(std::nullopt);
        return;
    case HttpReplyReader::State::Redirect: {
        if (++m_redirects > kMaxRedirects) {
            finish(std::nullopt);
            return;
        }
        const QUrl next = m_current.resolved(QUrl(m_reader->location()));
        // Leave the socket's own event first; the next request replaces the socket.
        QMetaObject::invokeMethod(
            this,
            [this, next] {
                // The time limit may have ended the check meanwhile.
                if (running())
                    request(next);
            },
            Qt::QueuedConnection);
        m_socket->OnDataAvailable = nullptr;
        return;
    }
    case HttpReplyReader::State::TooLarge:
    case HttpReplyReader::State::Malformed:
        finish(std::nullopt);
        return;
    }
}

void VersionCheck::onClosed()
{
    if (!m_reader || !running())
        return;
    if (m_reader->state() == HttpReplyReader::State::Redirect)
        return;
    if (m_reader->state() == HttpReplyReader::State::Body && m_reader->status() < 400)
        finish(ReleaseNumber::parseAnswer(m_reader->body()));
    else
        finish(std::nullopt);
}

void VersionCheck::finish(std::optional<std::int64_t> answer)
{
    if (!running())
        return;
    m_deadline.stop();
    dropSocket();
    m_lastCheck = QDateTime::currentDateTime();
    m_latest = answer.value_or(m_own);
    if (m_background && newerAvailable()) {
        const bool wanted = ReleaseNumber::isBeta(m_latest) ? notifyBeta() : notifyNonBeta();
        if (wanted)
            emit newVersionFound();
    }
    emit stateChanged();
}

void VersionCheck::dropSocket()
{
    if (!m_socket)
        return;
    // The socket may be inside one of its own events: unhook it and let it go later.
    TWSocket *s = m_socket.release();
    unhook(*s);
    try {
        if (s->State() != TSocketState::wsClosed)
            s->Abort();
    } catch (const std::exception &) {
        // Already gone: nothing to close.
    }
    s->deleteLater();
}
