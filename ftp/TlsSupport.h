#pragma once

#include <QDateTime>
#include <QString>

#include <openssl/types.h>

#include <deque>
#include <memory>

// What the program shows about a server's certificate and what the engine decides on.
struct TTlsCertificate {
    QString subject;
    QString issuer;
    QDateTime notBefore;
    QDateTime notAfter;
    QString sha256; // "AB:CD:..." (32 bytes in hex, upper case)
    // The chain leads to an authority the system trusts and every certificate in it is
    // valid now.
    bool chainTrusted = false;
    QString chainProblem; // why not, in OpenSSL's words; empty when trusted
    // The certificate names the host the user asked for.
    bool hostMatches = false;
    QString host;

    bool isNull() const { return sha256.isEmpty(); }
    bool trusted() const { return chainTrusted && hostMatches; }
    // What is wrong, one sentence per problem; empty when trusted.
    QString problems() const;
};

// The TLS sessions of one server, shared by its control connection and its data
// connections: every session the server hands out (at a handshake, or later as a TLS 1.3
// ticket) lands here, and a new connection resumes the newest. A TLS 1.3 ticket serves
// once (servers refuse a second use), so it leaves the cache when taken; a TLS 1.2 session
// stays.
struct ssl_session_st; // OpenSSL's SSL_SESSION
using SSL_SESSION = ssl_session_st;

class TTlsSessionCache {
public:
    TTlsSessionCache() = default;
    ~TTlsSessionCache();
    TTlsSessionCache(const TTlsSessionCache &) = delete;
    TTlsSessionCache &operator=(const TTlsSessionCache &) = delete;

    void Add(SSL_SESSION *session); // takes the reference
    // A session to resume (a new reference for the caller), or nullptr.
    SSL_SESSION *Take();
    size_t Size() const { return m_sessions.size(); }

private:
    std::deque<SSL_SESSION *> m_sessions;
};
using TTlsSessionCachePtr = std::shared_ptr<TTlsSessionCache>;

namespace Tls {

// The one client context of the program: TLS 1.2 at least, the system's trusted
// authorities. Created on first use.
SSL_CTX *ClientContext();
// The certificate the peer of ssl presented, judged against host.
TTlsCertificate PeerCertificate(SSL *ssl, const QString &host);
// The oldest error on this thread's OpenSSL error queue as text (the queue is cleared), or
// fallback when the queue is empty.
QString TakeErrorText(const QString &fallback);
// SNI: tells the server which host name the client wants (not sent for an address).
void SetServerName(SSL *ssl, const QString &host);
// "TLSv1.3, TLS_AES_256_GCM_SHA384"
QString Description(const SSL *ssl);

} // namespace Tls
