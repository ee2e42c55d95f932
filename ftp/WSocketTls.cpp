// TLS inside TWSocket: OpenSSL works on the non-blocking handle itself and reads one record
// at a time, so bytes not yet taken stay in the system's buffer and the read notifier
// keeps meaning "something to read". "Would block" in either direction waits for the
// matching notifier.
#include "ftp/WSocket.h"

#include <QMetaObject>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/uio.h>

namespace {

// One TLS record holds at most 16 KiB: writes of that size fill whole records.
constexpr int kRecord = 16 * 1024;

} // namespace

void TWSocket::SetTlsOnConnect(bool value)
{
    if (!RequireClosed(QStringLiteral("Cannot change TlsOnConnect if not closed")))
        return;
    m_tlsOnConnect = value;
}

bool TWSocket::TlsSessionReused() const
{
    return m_ssl && SSL_session_reused(m_ssl) == 1;
}

QString TWSocket::TlsDescription() const
{
    return m_tlsState == TTlsState::Established ? Tls::Description(m_ssl) : QString();
}

TTlsCertificate TWSocket::PeerCertificate() const
{
    return Tls::PeerCertificate(m_ssl, m_tlsHostName);
}

void TWSocket::StartTls()
{
    if (m_state != TSocketState::wsConnected || m_handle < 0)
        return RaiseException(QStringLiteral("StartTls: not connected"));
    if (m_ssl)
        return RaiseException(QStringLiteral("StartTls: TLS already started"));
    m_tlsConnectPending = false;
    BeginTlsHandshake();
}

void TWSocket::BeginTlsHandshake()
{
    ERR_clear_error();
    m_tlsCloseNotify = false;
    m_tlsRetryLength = 0;
    m_tlsWantWrite = false;
    SSL_CTX *context = Tls::ClientContext();
    m_ssl = context ? SSL_new(context) : nullptr;
    if (!m_ssl || SSL_set_fd(m_ssl, m_handle) != 1)
        return FailTls(TlsError::HandshakeFailed, Tls::TakeErrorText(QStringLiteral("TLS could not be set up")));
    Tls::SetServerName(m_ssl, m_tlsHostName);
    if (!m_tlsSessions)
        m_tlsSessions = std::make_shared<TTlsSessionCache>();
    m_tlsTicketSeen = false;
    m_closeAfterTicket = false;
    SSL_CTX_sess_set_new_cb(context, &TWSocket::TlsNewSession);
    SSL_set_ex_data(m_ssl, 0, this);
    if (SSL_SESSION *session = m_tlsSessions->Take()) {
        SSL_set_session(m_ssl, session);
        SSL_SESSION_free(session);
    }
    SSL_set_connect_state(m_ssl);
    m_tlsState = TTlsState::Handshaking;
    if (m_tlsHandshakeTimeoutMs > 0)
        m_tlsTimer.start(m_tlsHandshakeTimeoutMs);
    DriveTlsHandshake();
}

void TWSocket::DriveTlsHandshake()
{
    if (!m_ssl || m_tlsState != TTlsState::Handshaking)
        return;
    ERR_clear_error();
    const int r = SSL_do_handshake(m_ssl);
    if (r == 1) {
        m_tlsState = TTlsState::Established;
        m_tlsWantWrite = false;
        m_tlsTimer.stop();
        UpdateWriteWatch();
        return FinishTlsHandshake(0);
    }
    const int e = SSL_get_error(m_ssl, r);
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
        m_tlsWantWrite = e == SSL_ERROR_WANT_WRITE;
        UpdateWriteWatch();
        return;
    }
    const QString fallback = e == SSL_ERROR_SYSCALL || e == SSL_ERROR_ZERO_RETURN
                                 ? QStringLiteral("the server closed the connection during the TLS handshake")
                                 : QStringLiteral("TLS handshake failed");
    FailTls(TlsError::HandshakeFailed, Tls::TakeErrorText(fallback));
}

// The end of a handshake, either way: OnTlsDone, then the connect event a TLS-on-connect
// socket held back. A failed connection is closed afterwards, like a failed connect.
void TWSocket::FinishTlsHandshake(int error)
{
    const uint64_t generation = m_generation;
    const bool connectPending = m_tlsConnectPending;
    m_tlsConnectPending = false;
    if (OnTlsDone)
        OnTlsDone(this, error);
    if (generation != m_generation)
        return;
    if (connectPending && OnSessionConnected)
        OnSessionConnected(this, error);
    if (generation != m_generation)
        return;
    if (error != 0) {
        if (m_state != TSocketState::wsClosed)
            Close();
        return;
    }
    // Whatever the owner queued while the handshake ran goes out now.
    if (m_sendQueue.HasUnsent())
        HandleWritable(0);
    if (generation == m_generation && m_closeAfterHandshake) {
        m_closeAfterHandshake = false;
        CloseDelayed();
    }
}

void TWSocket::FailTls(int code, const QString &text)
{
    m_tlsTimer.stop();
    m_tlsState = TTlsState::Failed;
    m_tlsWantWrite = false;
    m_lastError = code;
    m_lastErrorMessage = text;
    UpdateWriteWatch();
    FinishTlsHandshake(code);
}

// notifyPeer: send the close notify first, so the peer knows the stream ended here and
// was not cut off.
void TWSocket::ReleaseTls(bool notifyPeer)
{
    m_tlsTimer.stop();
    if (m_ssl) {
        if (notifyPeer && m_tlsState == TTlsState::Established) {
            // Records that came in and were never read may hold a TLS 1.3 ticket, which the
            // next connection to the server needs to resume the session: they are read
            // (and their data dropped) before the end.
            char scratch[4096];
            ERR_clear_error();
            while (SSL_read(m_ssl, scratch, sizeof scratch) > 0) {
            }
            ERR_clear_error();
            SSL_shutdown(m_ssl); // non-blocking: one small alert, no wait for the answer
        }
        SSL_free(m_ssl);
        m_ssl = nullptr;
        ERR_clear_error();
    }
    m_tlsState = TTlsState::None;
    m_tlsWantWrite = false;
    m_tlsRetryLength = 0;
    m_tlsConnectPending = false;
    m_closeAfterHandshake = false;
    m_closeAfterTicket = false;
}

// Fills the buffer with as many records as are there; 0 at the end of the stream.
int TWSocket::TlsReceive(char *buffer, int size)
{
    if (m_tlsState != TTlsState::Established) {
        m_lastError = m_tlsState == TTlsState::Failed ? TlsError::Protocol : WsaError::WouldBlock;
        return -1;
    }
    int total = 0;
    while (total < size) {
        ERR_clear_error();
        const int n = SSL_read(m_ssl, buffer + total, size - total);
        if (n > 0) {
            total += n;
            continue;
        }
        const int e = SSL_get_error(m_ssl, n);
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
            if (e == SSL_ERROR_WANT_WRITE) {
                m_tlsWantWrite = true;
                UpdateWriteWatch();
            }
            if (total > 0)
                break;
            m_lastError = WsaError::WouldBlock;
            return -1;
        }
        if (e == SSL_ERROR_ZERO_RETURN) {
            m_tlsCloseNotify = true;
            AfterTlsCloseNotify();
            break;
        }
        const unsigned long code = ERR_peek_error();
        if (ERR_GET_REASON(code) == SSL_R_UNEXPECTED_EOF_WHILE_READING ||
            (e == SSL_ERROR_SYSCALL && code == 0 && errno == 0)) {
            // The peer closed the connection without a close notify: the end of the stream,
            // which its owner may or may not accept (TlsCloseNotifyReceived tells).
            ERR_clear_error();
            break;
        }
        if (total > 0)
            break; // the error comes again at the next read
        m_tlsState = TTlsState::Failed;
        m_lastError = TlsError::Protocol;
        m_lastErrorMessage = Tls::TakeErrorText(QStringLiteral("TLS protocol error"));
        CloseDelayed();
        return -1;
    }
    m_readCount += static_cast<uint32_t>(total);
    m_consumed += static_cast<uint64_t>(total);
    return total;
}

// The peer ended the TLS stream: the connection is over for reading even when the TCP
// close is still to come. The close event is posted so the read that found it returns
// first.
void TWSocket::AfterTlsCloseNotify()
{
    const uint64_t generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == m_generation && m_state == TSocketState::wsConnected)
                Dispatch([&] { HandlePeerClosed(0); });
        },
        Qt::QueuedConnection);
}

// Every session the server hands out goes to the cache the connection shares.
int TWSocket::TlsNewSession(SSL *ssl, SSL_SESSION *session)
{
    auto *socket = static_cast<TWSocket *>(SSL_get_ex_data(ssl, 0));
    if (!socket || !socket->m_tlsSessions)
        return 0; // not kept: OpenSSL frees it
    socket->m_tlsSessions->Add(session);
    socket->m_tlsTicketSeen = true;
    if (socket->m_closeAfterTicket) {
        socket->m_closeAfterTicket = false;
        socket->m_tlsTimer.stop();
        socket->PostClose();
    }
    return 1;
}

// A TLS 1.3 server sends its ticket for the next connection just after the handshake. An
// upload that ends at once would close before it came, and a server that insists on
// resumed sessions (vsftpd's require_ssl_reuse) would refuse the next data connection:
// the close waits for the ticket, at most a second.
bool TWSocket::TlsCloseWaitsForTicket()
{
    if (!m_ssl || m_tlsState != TTlsState::Established || m_tlsTicketSeen || SSL_version(m_ssl) < TLS1_3_VERSION)
        return false;
    if (!m_closeAfterTicket) {
        m_closeAfterTicket = true;
        m_tlsTimer.start(1000);
    }
    return true;
}

void TWSocket::TlsTryToSend()
{
    if (m_tlsState != TTlsState::Established)
        return; // the queue waits for the handshake
    while (m_sendQueue.HasUnsent()) {
        const int length =
            m_tlsRetryLength > 0 ? m_tlsRetryLength : static_cast<int>(std::min<size_t>(m_sendQueue.Unsent(), kRecord));
        m_tlsWriteCopy.resize(length);
        iovec pieces[16];
        const int count = m_sendQueue.Gather(pieces, 16);
        int copied = 0;
        for (int i = 0; i < count && copied < length; ++i) {
            const int take = std::min(length - copied, static_cast<int>(pieces[i].iov_len));
            std::memcpy(m_tlsWriteCopy.data() + copied, pieces[i].iov_base, static_cast<size_t>(take));
            copied += take;
        }
        ERR_clear_error();
        const int n = SSL_write(m_ssl, m_tlsWriteCopy.constData(), copied);
        if (n > 0) {
            m_tlsRetryLength = 0;
            m_sendQueue.ConsumeBytes(static_cast<size_t>(n));
            continue;
        }
        const int e = SSL_get_error(m_ssl, n);
        if (e == SSL_ERROR_WANT_WRITE || e == SSL_ERROR_WANT_READ) {
            m_tlsRetryLength = copied; // OpenSSL wants the same write again
            return;
        }
        m_tlsState = TTlsState::Failed;
        m_lastError = e == SSL_ERROR_SYSCALL && errno != 0 ? WSocketErrnoToError(errno) : TlsError::Protocol;
        m_lastErrorMessage = Tls::TakeErrorText(QStringLiteral("TLS write failed"));
        m_sendQueue.Clear();
        CloseHandleAndReset(m_lastError, true);
        return;
    }
}
