#include "ftp/TlsSupport.h"

#include "ftp/WSocketResolve.h"

#include <QStringList>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <csignal>
#include <ctime>
#include <mutex>

namespace {

QString nameText(const X509_NAME *name)
{
    if (!name)
        return {};
    BIO *bio = BIO_new(BIO_s_mem());
    if (!bio)
        return {};
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253);
    QByteArray text;
    char chunk[256];
    for (int n; (n = BIO_read(bio, chunk, sizeof chunk)) > 0;)
        text.append(chunk, n);
    BIO_free(bio);
    return QString::fromUtf8(text);
}

QDateTime timeOf(const ASN1_TIME *t)
{
    std::tm parts{};
    if (!t || ASN1_TIME_to_tm(t, &parts) != 1)
        return {};
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
}

QString fingerprint(X509 *cert)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(cert, EVP_sha256(), md, &length) != 1)
        return {};
    QStringList bytes;
    for (unsigned int i = 0; i < length; ++i)
        bytes << QStringLiteral("%1").arg(md[i], 2, 16, QLatin1Char('0')).toUpper();
    return bytes.join(QLatin1Char(':'));
}

} // namespace

TTlsSessionCache::~TTlsSessionCache()
{
    for (SSL_SESSION *s : m_sessions)
        SSL_SESSION_free(s);
}

void TTlsSessionCache::Add(SSL_SESSION *session)
{
    constexpr size_t kKeep = 8;
    m_sessions.push_back(session);
    while (m_sessions.size() > kKeep) {
        SSL_SESSION_free(m_sessions.front());
        m_sessions.pop_front();
    }
}

SSL_SESSION *TTlsSessionCache::Take()
{
    if (m_sessions.empty())
        return nullptr;
    SSL_SESSION *newest = m_sessions.back();
    if (SSL_SESSION_get_protocol_version(newest) >= TLS1_3_VERSION) {
        m_sessions.pop_back();
        return newest;
    }
    SSL_SESSION_up_ref(newest);
    return newest;
}

QString TTlsCertificate::problems() const
{
    QStringList out;
    if (!chainTrusted)
        out << QStringLiteral("The certificate is not trusted (%1).").arg(chainProblem);
    if (!hostMatches)
        out << QStringLiteral("The certificate is not issued for %1.").arg(host);
    return out.join(QLatin1Char(' '));
}

namespace Tls {

SSL_CTX *ClientContext()
{
    static SSL_CTX *context = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        // OpenSSL writes to the socket with write(), which raises SIGPIPE when the peer has
        // gone; the socket layer reports that as an error instead of letting it end the
        // program. An application that installed its own handler keeps it.
        struct sigaction current {};
        if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            std::signal(SIGPIPE, SIG_IGN);
        context = SSL_CTX_new(TLS_client_method());
        if (!context)
            return;
        // SSL 3, TLS 1.0 and 1.1 have known breaks.
        SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
        SSL_CTX_set_default_verify_paths(context);
        // The handshake goes through whatever the chain is; the owner judges the
        // certificate afterwards and may ask the user.
        SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
        // A write retried after "would block" may come from another address (the send
        // queue's copy), with the same bytes.
        SSL_CTX_set_mode(context, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    });
    return context;
}

TTlsCertificate PeerCertificate(SSL *ssl, const QString &host)
{
    TTlsCertificate c;
    c.host = host;
    X509 *cert = ssl ? SSL_get1_peer_certificate(ssl) : nullptr;
    if (!cert)
        return c;
    c.subject = nameText(X509_get_subject_name(cert));
    c.issuer = nameText(X509_get_issuer_name(cert));
    c.notBefore = timeOf(X509_get0_notBefore(cert));
    c.notAfter = timeOf(X509_get0_notAfter(cert));
    c.sha256 = fingerprint(cert);
    const long verdict = SSL_get_verify_result(ssl);
    c.chainTrusted = verdict == X509_V_OK;
    if (!c.chainTrusted)
        c.chainProblem = QString::fromUtf8(X509_verify_cert_error_string(verdict));
    // An address (IPv4 or IPv6) is matched against the certificate's IP entries.
    const bool numeric = WSocketIsNumericAddress(host);
    const QByteArray name = (numeric ? WSocketStripBrackets(host) : host).toUtf8();
    if (numeric)
        c.hostMatches = X509_check_ip_asc(cert, name.constData(), 0) == 1;
    else
        c.hostMatches = !name.isEmpty() && X509_check_host(cert, name.constData(), static_cast<size_t>(name.size()),
                                                           X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS, nullptr) == 1;
    X509_free(cert);
    return c;
}

QString TakeErrorText(const QString &fallback)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return fallback;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromUtf8(text);
}

void SetServerName(SSL *ssl, const QString &host)
{
    if (host.isEmpty() || WSocketIsNumericAddress(host))
        return; // server name indication carries names only, never addresses
    QByteArray name = host.toUtf8();
    // The function form of SSL_set_tlsext_host_name (a macro with a C cast).
    SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, name.data());
}

QString Description(const SSL *ssl)
{
    if (!ssl)
        return {};
    return QStringLiteral("%1, %2").arg(QString::fromLatin1(SSL_get_version(ssl)),
                                        QString::fromLatin1(SSL_CIPHER_get_name(SSL_get_current_cipher(ssl))));
}

} // namespace Tls
