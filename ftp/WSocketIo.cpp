// Readiness dispatch, the receive loop and the send queue of TWSocket.
#include "ftp/WSocket.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <openssl/ssl.h>

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

// Runs one event's work; an exception escaping a handler goes to OnBgException and then
// aborts the socket, so that nothing escapes into the event loop.
void TWSocket::Dispatch(const std::function<void()> &body)
{
    try {
        body();
    } catch (const std::exception &e) {
        HandleBgException(e);
    }
}

void TWSocket::HandleBgException(const std::exception &e)
{
    bool canClose = true;
    if (OnBgException) {
        try {
            OnBgException(this, e, canClose);
        } catch (...) { // a failing exception handler must not take the event loop down
        }
    }
    if (canClose) {
        try {
            Abort();
        } catch (...) {
        }
    }
}

// --- readiness -----------------------------------------------------------------------------

void TWSocket::Watch(bool accepting)
{
    Unwatch();
    if (!m_readNotifier) {
        // Made without a descriptor: a notifier made for one is enabled at once, and the
        // write notifier would be registered and unregistered again for nothing.
        m_readNotifier = new QSocketNotifier(QSocketNotifier::Read, this);
        connect(m_readNotifier, &QSocketNotifier::activated, this,
                [this](QSocketDescriptor fd) { Dispatch([&] { OnReadReady(static_cast<int>(fd)); }); });
        m_writeNotifier = new QSocketNotifier(QSocketNotifier::Write, this);
        connect(m_writeNotifier, &QSocketNotifier::activated, this,
                [this](QSocketDescriptor fd) { Dispatch([&] { OnWriteReady(static_cast<int>(fd)); }); });
    }
    // setSocket leaves a notifier disabled; only reading is watched from the start.
    m_readNotifier->setSocket(m_handle);
    m_readNotifier->setEnabled(true);
    if (!accepting) {
        m_writeNotifier->setSocket(m_handle);
        m_writeWatched = true;
    }
}

void TWSocket::Unwatch()
{
    // Disabled, not deleted: this may run inside a notifier's own signal, and the next
    // connection points them at its descriptor.
    if (m_readNotifier)
        m_readNotifier->setEnabled(false);
    if (m_writeWatched)
        m_writeNotifier->setEnabled(false);
    m_writeWatched = false;
}

// Write readiness is watched only while it means something: a connect in progress or bytes
// waiting in the send queue. Otherwise a connected socket would report it endlessly.
void TWSocket::UpdateWriteWatch()
{
    if (m_writeWatched)
        m_writeNotifier->setEnabled(m_state == TSocketState::wsConnecting || m_sendQueue.HasUnsent() || m_tlsWantWrite);
}

int TWSocket::BytesPending() const
{
    int pending = 0;
    if (m_handle < 0 || ::ioctl(m_handle, FIONREAD, &pending) != 0)
        return -1;
    // Plain bytes TLS has already taken from the system count as well.
    if (m_ssl && m_tlsState == TTlsState::Established)
        pending += SSL_pending(m_ssl);
    return pending;
}

static int pendingSocketError(int fd)
{
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
        error = errno;
    return error;
}

void TWSocket::OnReadReady(int fd)
{
    if (fd != m_handle)
        return;
    if (m_state == TSocketState::wsConnecting) {
        CompleteConnect(WSocketErrnoToError(pendingSocketError(fd)));
        if (fd != m_handle || m_state != TSocketState::wsConnected)
            return;
    }
    if (m_state == TSocketState::wsListening) {
        if (OnSessionAvailable)
            OnSessionAvailable(this, 0);
        return;
    }
    if (TlsBusy()) {
        // A handshake reads its own records; after a TLS failure the connection is being
        // closed and what still comes is dropped.
        if (m_tlsState == TTlsState::Handshaking)
            return DriveTlsHandshake();
        char discard[4096];
        if (::recv(fd, discard, sizeof discard, MSG_DONTWAIT) == 0)
            HandlePeerClosed(0);
        return;
    }
    const int pending = BytesPending();
    if (pending > 0) {
        HandleReadable(0);
        return;
    }
    // Readable with nothing to read: the peer has closed (0) or reset the connection.
    char probe = 0;
    const ssize_t n = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0)
        HandlePeerClosed(0);
    else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        HandlePeerClosed(WSocketErrnoToError(errno));
}

void TWSocket::OnWriteReady(int fd)
{
    if (fd != m_handle)
        return;
    if (m_state == TSocketState::wsConnecting) {
        CompleteConnect(WSocketErrnoToError(pendingSocketError(fd)));
        return;
    }
    if (m_tlsState == TTlsState::Handshaking)
        return DriveTlsHandshake();
    if (m_tlsWantWrite) {
        // A TLS read had to write first (a key update, say): reading goes on now.
        const uint64_t generation = m_generation;
        m_tlsWantWrite = false;
        UpdateWriteWatch();
        ReceiveLoop(0, false);
        if (generation != m_generation || m_handle < 0)
            return;
    }
    HandleWritable(0);
}

void TWSocket::CompleteConnect(int error)
{
    if (m_state == TSocketState::wsConnected)
        return;
    m_connectTimer.stop();
    if (error != 0 && ConnectNextFallback(error))
        return;
    m_addrFallbacks.clear();
    const uint64_t generation = m_generation;
    ChangeState(TSocketState::wsConnected);
    UpdateWriteWatch();
    if (m_socksState == TSocksState::NegotiatingMethods) {
        SocksSessionConnected(error);
    } else if (error == 0 && m_tlsOnConnect) {
        m_tlsConnectPending = true; // OnSessionConnected once the handshake is through
        BeginTlsHandshake();
    } else if (OnSessionConnected)
        OnSessionConnected(this, error);
    if (error != 0 && generation == m_generation && m_state != TSocketState::wsClosed)
        Close();
}

void TWSocket::HandleReadable(int error)
{
    if (m_state != TSocketState::wsConnected) {
        const uint64_t generation = m_generation;
        ChangeState(TSocketState::wsConnected);
        if (OnSessionConnected)
            OnSessionConnected(this, error);
        if (generation != m_generation)
            return;
    }
    ReceiveLoop(error, false);
}

void TWSocket::HandlePeerClosed(int error)
{
    if (m_state == TSocketState::wsConnecting)
        return;
    const uint64_t generation = m_generation;
    ReceiveLoop(0, true);
    if (generation != m_generation)
        return; // a handler closed or replaced the connection
    if (m_socksState == TSocksState::Authenticating && OnSocksAuthState)
        OnSocksAuthState(this, TSocksAuthState::authRejected);
    if (generation != m_generation)
        return;
    if (m_socksState != TSocksState::PassThrough) {
        // The proxy went away before the path to the destination was open.
        SocksFail(WsaError::ConnAborted, QStringLiteral("connection closed by socks server"));
        return;
    }
    FireSessionClosed(error);
    if (generation == m_generation && m_state != TSocketState::wsClosed)
        Close();
}

// --- receive ----------------------------------------------------------------------------------

// Hands the readable bytes to the owner (or to the SOCKS handshake). Returns false when the
// connection went away meanwhile.
bool TWSocket::DeliverData(int error)
{
    const uint64_t generation = m_generation;
    if (m_socksState != TSocksState::PassThrough) {
        SocksDataAvailable(error);
    } else if (OnDataAvailable) {
        OnDataAvailable(this, error);
    } else if (m_ssl) {
        char discard[4096];
        Receive(discard, sizeof discard);
    } else {
        char discard[1024];
        const ssize_t n = ::recv(m_handle, discard, sizeof discard, 0);
        if (n > 0) {
            m_consumed += static_cast<uint64_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            m_lastError = WSocketErrnoToError(errno);
        }
        m_socksHeld.clear();
    }
    return generation == m_generation && m_handle >= 0;
}

void TWSocket::ReceiveLoop(int error, bool forceLoop)
{
    for (;;) {
        m_lastError = 0;
        const uint64_t consumedBefore = m_consumed;
        const qsizetype heldBefore = m_socksHeld.size();
        if (!DeliverData(error))
            return;
        if ((m_options & wsoNoReceiveLoop) && !forceLoop)
            break;
        if (m_lastError != 0)
            break;
        const int pending = BytesPending();
        if (pending < 0 || (pending == 0 && m_socksHeld.isEmpty()))
            break;
        if (TlsBusy())
            break;
        // A handler that read nothing would be called forever and freeze the event loop;
        // the next readiness notification calls it again instead.
        if (m_consumed == consumedBefore && m_socksHeld.size() == heldBefore)
            break;
    }
    // Bytes that came with the proxy's reply, and plain bytes TLS took from the system
    // already, produce no readiness notification of their own.
    if ((!m_socksHeld.isEmpty() && m_socksState == TSocksState::PassThrough) ||
        (m_ssl && m_tlsState == TTlsState::Established && SSL_pending(m_ssl) > 0))
        PostWritable();
}

int TWSocket::Receive(void *buffer, int size)
{
    if (size <= 0)
        return 0;
    if (!m_socksHeld.isEmpty()) {
        const int n = static_cast<int>(std::min<qsizetype>(size, m_socksHeld.size()));
        std::memcpy(buffer, m_socksHeld.constData(), static_cast<size_t>(n));
        m_socksHeld.remove(0, n);
        m_readCount += static_cast<uint32_t>(n);
        m_consumed += static_cast<uint64_t>(n);
        return n;
    }
    if (m_handle < 0) {
        m_lastError = WsaError::NotConnected;
        return -1;
    }
    if (m_ssl)
        return TlsReceive(static_cast<char *>(buffer), size);
    const ssize_t n = ::recv(m_handle, buffer, static_cast<size_t>(size), 0);
    if (n < 0) {
        m_lastError = WSocketErrnoToError(errno);
        return -1;
    }
    m_readCount += static_cast<uint32_t>(n);
    m_consumed += static_cast<uint64_t>(n);
    return static_cast<int>(n);
}

QByteArray TWSocket::ReceiveStr()
{
    QByteArray out;
    char buffer[4096];
    for (;;) {
        const int n = Receive(buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, n);
    }
    return out;
}

// --- send ---------------------------------------------------------------------------------------

int TWSocket::Send(const void *data, int length)
{
    if (m_state != TSocketState::wsConnected) {
        SocketError(QStringLiteral("Send"), WsaError::NotConnected);
        return -1;
    }
    if (length > 0)
        m_sendQueue.Append(static_cast<const char *>(data), length);
    m_sentSinceDrained = true;
    TryToSend();
    if (m_handle >= 0 && !m_sendQueue.HasUnsent()) {
        // All of it went out at once. The drained queue is reported from the event loop;
        // with no OnDataSent (a control connection's commands) and nothing held by TLS or a
        // proxy, that event would have nothing to do, and none is posted.
        if (OnDataSent || m_ssl || !m_socksHeld.isEmpty() || m_socksState != TSocksState::PassThrough)
            PostWritable();
        else
            m_sentSinceDrained = false;
    }
    UpdateWriteWatch();
    return length;
}

int TWSocket::SendStr(const QByteArray &text)
{
    if (text.isEmpty())
        return 0;
    return Send(text.constData(), static_cast<int>(text.size()));
}

void TWSocket::PostWritable()
{
    if (m_writablePosted)
        return;
    m_writablePosted = true;
    const uint64_t generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            m_writablePosted = false;
            if (generation != m_generation || m_handle < 0)
                return;
            Dispatch([&] {
                if ((!m_socksHeld.isEmpty() && m_socksState == TSocksState::PassThrough) ||
                    (m_ssl && m_tlsState == TTlsState::Established && SSL_pending(m_ssl) > 0))
                    ReceiveLoop(0, false);
                if (generation == m_generation && m_handle >= 0)
                    HandleWritable(0);
            });
        },
        Qt::QueuedConnection);
}

void TWSocket::HandleWritable(int error)
{
    TryToSend();
    if (m_handle < 0)
        return;
    UpdateWriteWatch();
    // OnDataSent reports a drained queue to the owner; the proxy's own messages are not his.
    if (!m_sendQueue.HasUnsent() && m_sentSinceDrained && m_socksState == TSocksState::PassThrough) {
        m_sentSinceDrained = false;
        if (OnDataSent)
            OnDataSent(this, error);
    }
}

void TWSocket::TryToSend()
{
    if (m_handle < 0)
        return;
    if (m_ssl)
        return TlsTryToSend();
    // Many queued chunks go out in one gathered call: a large block costs one system call,
    // not one per 1460-byte chunk.
    constexpr int kPieces = 64;
    for (;;) {
        iovec pieces[kPieces];
        const int count = m_sendQueue.Gather(pieces, kPieces);
        if (count == 0)
            return;
        size_t offered = 0;
        for (int i = 0; i < count; ++i)
            offered += pieces[i].iov_len;
        msghdr message{};
        message.msg_iov = pieces;
        message.msg_iovlen = static_cast<size_t>(count);
        const ssize_t n = ::sendmsg(m_handle, &message, MSG_NOSIGNAL);
        if (n > 0) {
            m_sendQueue.ConsumeBytes(static_cast<size_t>(n));
            if (static_cast<size_t>(n) < offered)
                return; // the system's buffer is full: go on at write readiness
            continue;
        }
        const int error = WSocketErrnoToError(errno);
        if (error == WsaError::WouldBlock)
            return;
        if (error == 10022 || error == 10038 || error == 10053 || error == 10054 || error == 10057) {
            m_lastError = error;
            m_sendQueue.Clear();
            CloseHandleAndReset(error, true);
            return;
        }
        SocketError(QStringLiteral("TryToSend failed"), error);
        return;
    }
}
