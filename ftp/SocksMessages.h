#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

// SOCKS 4, 4A and 5 client messages: building requests and judging replies. Pure functions
// over bytes; the socket feeds them whatever has arrived so far. Numbers travel in network
// byte order.
namespace Socks {

enum class Method : uint8_t { NoAuthentication = 0, UserPassword = 2 };

// SOCKS 5 greeting offering one method: 5, 1, method.
QByteArray Greeting(Method method);
// Username/password sub-negotiation: 1, len, user, len, password. Both at most 255 bytes.
QByteArray AuthRequest(const QByteArray &user, const QByteArray &password);
// SOCKS 4 connect: 4, 1, port, IPv4, user code, 0.
QByteArray Connect4(uint16_t port, uint32_t address, const QByteArray &userCode);
// SOCKS 4A connect: address 0.0.0.1, user code, 0, host name, 0.
QByteArray Connect4A(uint16_t port, const QByteArray &userCode, const QByteArray &host);
// SOCKS 5 connect by name: 5, 1, 0, 3, len, host, port. At most 255 bytes of host.
QByteArray Connect5(const QByteArray &host, uint16_t port);
// SOCKS 5 connect to an IPv6 address: 5, 1, 0, 4, 16 address bytes, port.
QByteArray Connect5IPv6(const uint8_t (&address)[16], uint16_t port);

// What the bytes received so far amount to.
struct Verdict {
    enum class Kind { NeedMore, Ok, Fail };
    Kind kind = Kind::NeedMore;
    int code = 0;         // the failure code (200xx) when kind is Fail
    QString text;         // its text
    int used = 0;         // bytes that belong to the reply when kind is Ok
    uint8_t method = 0;   // greeting reply: the method the server chose
    QString boundAddress; // SOCKS 5 connect reply: dotted or IPv6 address, or name
    uint16_t boundPort = 0;

    bool needMore() const { return kind == Kind::NeedMore; }
    bool ok() const { return kind == Kind::Ok; }
    bool failed() const { return kind == Kind::Fail; }
};

Verdict Fail(int code, const QString &text);

// SOCKS 5 method choice: 5, method. Any byte beyond the two is an error, since the server
// must wait for our next message.
Verdict JudgeGreetingReply(QByteArrayView reply);
// Sub-negotiation result: 1, status (0 success).
Verdict JudgeAuthReply(QByteArrayView reply);
// SOCKS 4 / 4A reply: 8 bytes, 0, status (90 granted). Bytes beyond belong to the destination.
Verdict JudgeConnect4Reply(QByteArrayView reply);
// SOCKS 5 reply: 5, status, 0, type, bound address, bound port. Bytes beyond belong to the
// destination.
Verdict JudgeConnect5Reply(QByteArrayView reply);

} // namespace Socks
