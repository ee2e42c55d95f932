#include "ftp/SocksMessages.h"

#include "ftp/WSocketErrors.h"
#include "ftp/WSocketResolve.h"

#include <netinet/in.h>

#include <cstring>

namespace Socks {

namespace {

void appendPort(QByteArray &out, uint16_t port)
{
    out.append(static_cast<char>(port >> 8));
    out.append(static_cast<char>(port & 0xFF));
}

void appendAddress(QByteArray &out, uint32_t address)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(static_cast<char>((address >> shift) & 0xFF));
}

uint8_t byteAt(QByteArrayView v, qsizetype i)
{
    return static_cast<uint8_t>(v[i]);
}

Verdict versionError()
{
    return Fail(SocksError::VersionError, QStringLiteral("socks version error"));
}

} // namespace

Verdict Fail(int code, const QString &text)
{
    Verdict v;
    v.kind = Verdict::Kind::Fail;
    v.code = code;
    v.text = text;
    return v;
}

QByteArray Greeting(Method method)
{
    QByteArray out;
    out.append('\x05').append('\x01').append(static_cast<char>(method));
    return out;
}

QByteArray AuthRequest(const QByteArray &user, const QByteArray &password)
{
    QByteArray out;
    out.append('\x01');
    out.append(static_cast<char>(user.size())).append(user);
    out.append(static_cast<char>(password.size())).append(password);
    return out;
}

QByteArray Connect4(uint16_t port, uint32_t address, const QByteArray &userCode)
{
    QByteArray out;
    out.append('\x04').append('\x01');
    appendPort(out, port);
    appendAddress(out, address);
    out.append(userCode).append('\0');
    return out;
}

QByteArray Connect4A(uint16_t port, const QByteArray &userCode, const QByteArray &host)
{
    QByteArray out = Connect4(port, 1, userCode);
    out.append(host).append('\0');
    return out;
}

QByteArray Connect5(const QByteArray &host, uint16_t port)
{
    QByteArray out;
    out.append('\x05').append('\x01').append('\0').append('\x03');
    out.append(static_cast<char>(host.size())).append(host);
    appendPort(out, port);
    return out;
}

QByteArray Connect5IPv6(const uint8_t (&address)[16], uint16_t port)
{
    QByteArray out;
    out.append('\x05').append('\x01').append('\0').append('\x04');
    for (uint8_t byte : address)
        out.append(static_cast<char>(byte));
    appendPort(out, port);
    return out;
}

Verdict JudgeGreetingReply(QByteArrayView reply)
{
    if (reply.size() < 2)
        return {};
    if (byteAt(reply, 0) != 5)
        return versionError();
    if (reply.size() > 2)
        return Fail(SocksError::LogicError, QStringLiteral("too much data availaible"));
    const uint8_t method = byteAt(reply, 1);
    if (method != 0 && method != 2)
        return Fail(SocksError::MethodNotAcceptable, QStringLiteral("authentication method not acceptable"));
    Verdict v;
    v.kind = Verdict::Kind::Ok;
    v.used = 2;
    v.method = method;
    return v;
}

Verdict JudgeAuthReply(QByteArrayView reply)
{
    if (reply.isEmpty())
        return {};
    if (byteAt(reply, 0) != 1)
        return versionError();
    if (reply.size() < 2)
        return {};
    if (reply.size() > 2)
        return Fail(SocksError::LogicError, QStringLiteral("too much data availaible"));
    if (byteAt(reply, 1) != 0)
        return Fail(SocksError::AuthenticationFailed, QStringLiteral("socks authentication failed"));
    Verdict v;
    v.kind = Verdict::Kind::Ok;
    v.used = 2;
    return v;
}

Verdict JudgeConnect4Reply(QByteArrayView reply)
{
    if (reply.size() < 8)
        return {};
    if (byteAt(reply, 0) != 0)
        return versionError();
    const uint8_t status = byteAt(reply, 1);
    switch (status) {
    case 90: {
        Verdict v;
        v.kind = Verdict::Kind::Ok;
        v.used = 8;
        v.boundPort = static_cast<uint16_t>((byteAt(reply, 2) << 8) | byteAt(reply, 3));
        v.boundAddress = WSocketIPToStr((uint32_t(byteAt(reply, 4)) << 24) | (uint32_t(byteAt(reply, 5)) << 16) |
                                        (uint32_t(byteAt(reply, 6)) << 8) | byteAt(reply, 7));
        return v;
    }
    case 91:
        return Fail(SocksError::RequestRejected, QStringLiteral("request rejected or failed"));
    case 92:
        return Fail(SocksError::ConnectionRefused, QStringLiteral("connection refused"));
    case 93:
        return Fail(SocksError::AuthenticationFailed, QStringLiteral("authentification failed"));
    default:
        return Fail(SocksError::UnassignedError, QStringLiteral("unassigned error #%1").arg(status));
    }
}

Verdict JudgeConnect5Reply(QByteArrayView reply)
{
    static const char *const kReplyTexts[] = {
        "general SOCKS server failure", "connection not allowed by ruleset",
        "network unreachable",          "host unreachable",
        "connection refused",           "time to live expired",
        "command not supported",        "address type not supported",
    };
    if (reply.size() < 2)
        return {};
    if (byteAt(reply, 0) != 5)
        return versionError();
    const uint8_t status = byteAt(reply, 1);
    if (status >= 1 && status <= 8)
        return Fail(SocksError::GeneralFailure + status - 1, QString::fromLatin1(kReplyTexts[status - 1]));
    if (status != 0)
        return Fail(SocksError::UnassignedError, QStringLiteral("unassigned error #%1").arg(status));
    if (reply.size() < 5)
        return {};
    const uint8_t type = byteAt(reply, 3);
    qsizetype needed = 5;
    if (type == 1)
        needed = 10;
    else if (type == 3)
        needed = 7 + byteAt(reply, 4);
    else if (type == 4)
        needed = 22;
    if (reply.size() < needed)
        return {};
    if (type != 1 && type != 3 && type != 4)
        return Fail(SocksError::AddressTypeNotSupported, QString::fromLatin1(kReplyTexts[7]));
    Verdict v;
    v.kind = Verdict::Kind::Ok;
    v.used = static_cast<int>(needed);
    if (type == 1) {
        v.boundAddress = WSocketIPToStr((uint32_t(byteAt(reply, 4)) << 24) | (uint32_t(byteAt(reply, 5)) << 16) |
                                        (uint32_t(byteAt(reply, 6)) << 8) | byteAt(reply, 7));
    } else if (type == 4) {
        sockaddr_in6 sin6{};
        sin6.sin6_family = AF_INET6;
        std::memcpy(sin6.sin6_addr.s6_addr, reply.data() + 4, 16);
        v.boundAddress = WSocketAddressText(reinterpret_cast<const sockaddr *>(&sin6));
    } else {
        v.boundAddress = QString::fromLatin1(reply.sliced(5, byteAt(reply, 4)));
    }
    v.boundPort = static_cast<uint16_t>((byteAt(reply, needed - 2) << 8) | byteAt(reply, needed - 1));
    return v;
}

} // namespace Socks
