#include "ftp/WSocketResolve.h"

#include "ftp/WSocketErrors.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Splits a text that passes WSocketIsDottedIP into its four parts.
std::array<uint32_t, 4> dottedParts(const QString &text)
{
    std::array<uint32_t, 4> parts{};
    int index = 0;
    for (QChar c : text.trimmed()) {
        if (c == QLatin1Char('.'))
            ++index;
        else
            parts[static_cast<size_t>(index)] = parts[static_cast<size_t>(index)] * 10 + (c.unicode() - '0');
    }
    return parts;
}

} // namespace

bool WSocketIsDottedIP(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    if (i >= n || text[i] == QLatin1Char('.'))
        return false;
    int dots = 0;
    int part = 0;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('.')) {
            if (++dots > 3 || i + 1 >= n || !isDigit(text[i + 1]))
                return false;
            part = 0;
        } else if (isDigit(c)) {
            part = part * 10 + (c.unicode() - '0');
            if (part > 255)
                return false;
        } else if (c == QLatin1Char(' ')) {
            while (i < n && text[i] == QLatin1Char(' '))
                ++i;
            return i == n && dots == 3;
        } else {
            return false;
        }
    }
    return dots == 3;
}

QString WSocketIPToStr(uint32_t address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg((address >> 24) & 0xFF)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}

uint32_t WSocketResolveHost(const QString &host)
{
    if (host.isEmpty() || host.size() > 256)
        throw ESocketException(QStringLiteral("WSocketResolveHost: '") + host + QStringLiteral("' Invalid Hostname."));
    if (WSocketIsDottedIP(host)) {
        const auto p = dottedParts(host);
        return (p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    }
    const WSocketLookupResult r = WSocketLookupHost(host);
    if (r.error != 0)
        throw ESocketException(
            QStringLiteral("WSocketResolveHost: Cannot convert host address '%1', Error #%2").arg(host).arg(r.error));
    return WSocketResolveHost(r.addresses.first());
}

uint16_t WSocketResolvePort(const QString &port, const QString &proto)
{
    if (port.isEmpty() || port.size() >= 32)
        throw ESocketException(QStringLiteral("WSocketResolvePort: Invalid Port."));
    if (proto.isEmpty() || proto.size() >= 32)
        throw ESocketException(QStringLiteral("WSocketResolvePort: Invalid Proto."));
    const QString text = port.trimmed();
    if (!text.isEmpty() && isDigit(text[0])) {
        uint32_t value = 0;
        for (QChar c : text) {
            if (!isDigit(c))
                break;
            value = value * 10 + (c.unicode() - '0');
            if (value > 0xFFFF)
                break;
        }
        // Ports above 65535 do not exist: they would silently wrap to another port.
        if (value > 0xFFFF)
            throw ESocketException(QStringLiteral("WSocketResolvePort: Invalid Port."));
        return static_cast<uint16_t>(value);
    }
    servent entry{};
    servent *found = nullptr;
    std::array<char, 1024> buffer{};
    const QByteArray name = port.toLatin1();
    const QByteArray protoName = proto.toLatin1();
    const int rc =
        getservbyname_r(name.constData(), protoName.constData(), &entry, buffer.data(), buffer.size(), &found);
    if (rc != 0 || found == nullptr)
        throw ESocketException(
            QStringLiteral("WSocketResolvePort: Cannot convert port '%1', Error #%2").arg(port).arg(WsaError::NoData));
    return ntohs(static_cast<uint16_t>(found->s_port));
}

int WSocketResolveProto(const QString &proto)
{
    if (proto.isEmpty() || proto.size() >= 32)
        throw ESocketException(QStringLiteral("WSocketResolveProto: Invalid Protocol."));
    const QString text = proto.trimmed();
    if (!text.isEmpty() && isDigit(text[0])) {
        int value = 0;
        for (QChar c : text) {
            if (!isDigit(c) || value > 255)
                break;
            value = value * 10 + (c.unicode() - '0');
        }
        return value;
    }
    protoent entry{};
    protoent *found = nullptr;
    std::array<char, 1024> buffer{};
    const QByteArray name = text.toLower().toLatin1();
    const int rc = getprotobyname_r(name.constData(), &entry, buffer.data(), buffer.size(), &found);
    if (rc != 0 || found == nullptr) {
        // Minimal systems ship without /etc/protocols; the two names every caller uses are known.
        if (name == "tcp")
            return IPPROTO_TCP;
        if (name == "udp")
            return IPPROTO_UDP;
        throw ESocketException(QStringLiteral("WSocketResolveProto: Cannot convert protocol '%1', Error #%2")
                                   .arg(proto)
                                   .arg(WsaError::NoData));
    }
    return found->p_proto;
}

WSocketLookupResult WSocketLookupHost(const QString &host)
{
    WSocketLookupResult result;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    const QByteArray name = host.toUtf8();
    const int rc = getaddrinfo(name.constData(), nullptr, &hints, &list);
    if (rc != 0) {
        result.error = WSocketGaiToError(rc);
        return result;
    }
    for (addrinfo *ai = list; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET)
            continue;
        const auto *sin = reinterpret_cast<const sockaddr_in *>(ai->ai_addr);
        const QString text = WSocketIPToStr(ntohl(sin->sin_addr.s_addr));
        if (!result.addresses.contains(text))
            result.addresses.append(text);
    }
    freeaddrinfo(list);
    if (result.addresses.isEmpty())
        result.error = WsaError::NoData;
    return result;
}
