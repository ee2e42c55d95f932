#include "ftp/WSocketResolve.h"

#include "ftp/WSocketErrors.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <net/if.h>

#include <array>
#include <cerrno>
#include <cstring>

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
    // This conversion gives IPv4 only: the first address of that family.
    for (const QString &address : r.addresses) {
        if (WSocketIsDottedIP(address))
            return WSocketResolveHost(address);
    }
    throw ESocketException(QStringLiteral("WSocketResolveHost: Cannot convert host address '%1', Error #%2")
                               .arg(host)
                               .arg(WsaError::NoData));
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
    const QByteArray name = text.toLower().toLatin1();
    // The numbers of TCP and UDP are fixed; looking them up read /etc/protocols twice for
    // every data connection.
    if (name == "tcp")
        return IPPROTO_TCP;
    if (name == "udp")
        return IPPROTO_UDP;
    protoent entry{};
    protoent *found = nullptr;
    std::array<char, 1024> buffer{};
    const int rc = getprotobyname_r(name.constData(), &entry, buffer.data(), buffer.size(), &found);
    if (rc != 0 || found == nullptr) {
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
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    const QByteArray name = host.toUtf8();
    const int rc = getaddrinfo(name.constData(), nullptr, &hints, &list);
    if (rc != 0) {
        result.error = WSocketGaiToError(rc);
        return result;
    }
    for (addrinfo *ai = list; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET && ai->ai_family != AF_INET6)
            continue;
        const QString text = WSocketAddressText(ai->ai_addr);
        if (!text.isEmpty() && !result.addresses.contains(text))
            result.addresses.append(text);
    }
    freeaddrinfo(list);
    if (result.addresses.isEmpty())
        result.error = WsaError::NoData;
    return result;
}

uint16_t WSocketAddress::port() const
{
    if (family() == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 *>(&storage)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in *>(&storage)->sin_port);
}

void WSocketAddress::setPort(uint16_t port)
{
    if (family() == AF_INET6)
        reinterpret_cast<sockaddr_in6 *>(&storage)->sin6_port = htons(port);
    else
        reinterpret_cast<sockaddr_in *>(&storage)->sin_port = htons(port);
}

QString WSocketStripBrackets(const QString &host)
{
    const QString text = host.trimmed();
    if (text.size() >= 2 && text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
        return text.mid(1, text.size() - 2);
    return text;
}

namespace {

std::optional<WSocketAddress> ipv6Literal(const QString &text, uint16_t port)
{
    const QString bare = WSocketStripBrackets(text);
    if (!bare.contains(QLatin1Char(':')))
        return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo *list = nullptr;
    const QByteArray name = bare.toLatin1();
    if (getaddrinfo(name.constData(), nullptr, &hints, &list) != 0 || list == nullptr)
        return std::nullopt;
    WSocketAddress result;
    std::memcpy(&result.storage, list->ai_addr, list->ai_addrlen);
    result.length = list->ai_addrlen;
    freeaddrinfo(list);
    result.setPort(port);
    return result;
}

} // namespace

bool WSocketIsIPv6Literal(const QString &text)
{
    return ipv6Literal(text, 0).has_value();
}

bool WSocketIsNumericAddress(const QString &text)
{
    return WSocketIsDottedIP(text) || WSocketIsIPv6Literal(text);
}

WSocketAddress WSocketAnyAddress(int family, uint16_t port)
{
    WSocketAddress result;
    if (family == AF_INET6) {
        auto *sin6 = reinterpret_cast<sockaddr_in6 *>(&result.storage);
        sin6->sin6_family = AF_INET6;
        sin6->sin6_addr = in6addr_any;
        result.length = sizeof(sockaddr_in6);
    } else {
        auto *sin = reinterpret_cast<sockaddr_in *>(&result.storage);
        sin->sin_family = AF_INET;
        sin->sin_addr.s_addr = htonl(INADDR_ANY);
        result.length = sizeof(sockaddr_in);
    }
    result.setPort(port);
    return result;
}

std::optional<WSocketAddress> WSocketNumericAddress(const QString &text, uint16_t port)
{
    if (WSocketIsDottedIP(text)) {
        WSocketAddress result = WSocketAnyAddress(AF_INET, port);
        reinterpret_cast<sockaddr_in *>(&result.storage)->sin_addr.s_addr = htonl(WSocketResolveHost(text));
        return result;
    }
    return ipv6Literal(text, port);
}

WSocketAddress WSocketResolveAddress(const QString &host, uint16_t port)
{
    if (auto numeric = WSocketNumericAddress(host, port))
        return *numeric;
    if (host.isEmpty() || host.size() > 256)
        throw ESocketException(QStringLiteral("WSocketResolveHost: '") + host + QStringLiteral("' Invalid Hostname."));
    const WSocketLookupResult r = WSocketLookupHost(host);
    if (r.error != 0)
        throw ESocketException(
            QStringLiteral("WSocketResolveHost: Cannot convert host address '%1', Error #%2").arg(host).arg(r.error));
    if (auto numeric = WSocketNumericAddress(r.addresses.first(), port))
        return *numeric;
    throw ESocketException(QStringLiteral("WSocketResolveHost: Cannot convert host address '%1'").arg(host));
}

QString WSocketAddressText(const sockaddr *address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET) {
        const auto *sin = reinterpret_cast<const sockaddr_in *>(address);
        return WSocketIPToStr(ntohl(sin->sin_addr.s_addr));
    }
    if (address->sa_family != AF_INET6)
        return {};
    const auto *sin6 = reinterpret_cast<const sockaddr_in6 *>(address);
    if (IN6_IS_ADDR_V4MAPPED(&sin6->sin6_addr)) {
        uint32_t v4 = 0;
        std::memcpy(&v4, &sin6->sin6_addr.s6_addr[12], sizeof v4);
        return WSocketIPToStr(ntohl(v4));
    }
    if (!::inet_ntop(AF_INET6, &sin6->sin6_addr, text, sizeof text))
        return {};
    QString result = QString::fromLatin1(text);
    if (sin6->sin6_scope_id != 0) {
        char name[IF_NAMESIZE] = {};
        result +=
            QLatin1Char('%') + (::if_indextoname(sin6->sin6_scope_id, name) ? QString::fromLatin1(name)
                                                                            : QString::number(sin6->sin6_scope_id));
    }
    return result;
}

QString WSocketHostPortText(const QString &host, const QString &port)
{
    const QString bare = WSocketStripBrackets(host);
    const QString shown = bare.contains(QLatin1Char(':')) ? QLatin1Char('[') + bare + QLatin1Char(']') : bare;
    return port.isEmpty() ? shown : shown + QLatin1Char(':') + port;
}
