#pragma once

#include <QString>
#include <QStringList>

#include <sys/socket.h>

#include <cstdint>
#include <optional>

// Name and number conversions of the socket layer. They raise ESocketException with the
// texts the layer reports; Connect and Listen catch and re-report them.

// True for text of the form "a.b.c.d" (leading blanks skipped, trailing blanks allowed,
// every part a decimal number up to 255).
bool WSocketIsDottedIP(const QString &text);

// IPv4 address (host byte order) of a dotted address or host name. A host name is looked
// up with a blocking query: callers on the event loop pass dotted addresses.
uint32_t WSocketResolveHost(const QString &host);
// Port number of a decimal text or a service name for the protocol.
uint16_t WSocketResolvePort(const QString &port, const QString &proto);
// Protocol number of a decimal text or a protocol name ("tcp" is 6).
int WSocketResolveProto(const QString &proto);

// "a.b.c.d" of an address in host byte order.
QString WSocketIPToStr(uint32_t address);

struct WSocketLookupResult {
    int error = 0;         // 0, or 11001..11004
    QStringList addresses; // IPv4 and IPv6 addresses in text form, in the resolver's order, no repeats
};
// Blocking lookup of a host name, both address families; used by the lookup thread.
WSocketLookupResult WSocketLookupHost(const QString &host);

// A socket address of either family, with its port.
struct WSocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family() const { return storage.ss_family; }
    const sockaddr *data() const { return reinterpret_cast<const sockaddr *>(&storage); }
    uint16_t port() const;
    void setPort(uint16_t port);
};

// "::1" or "[::1]" (a zone such as "%lo" allowed): an IPv6 address written as numbers.
bool WSocketIsIPv6Literal(const QString &text);
// A dotted IPv4 address or an IPv6 literal: an address that needs no lookup.
bool WSocketIsNumericAddress(const QString &text);
// The address of a numeric host text (dotted IPv4, or IPv6 with or without brackets).
std::optional<WSocketAddress> WSocketNumericAddress(const QString &text, uint16_t port);
// The address of a numeric host or, with a blocking lookup, the first address of a name.
WSocketAddress WSocketResolveAddress(const QString &host, uint16_t port);
// The wildcard address ("0.0.0.0" or "::") of a family, with a port.
WSocketAddress WSocketAnyAddress(int family, uint16_t port);
// "1.2.3.4" or "2001:db8::1" (an IPv4 address mapped into IPv6 is shown as IPv4).
QString WSocketAddressText(const sockaddr *address);
// A host with its port for the user and the log: "host:21", "1.2.3.4:21", "[2001:db8::1]:21".
QString WSocketHostPortText(const QString &host, const QString &port);
// The host without the brackets an IPv6 literal may be written in.
QString WSocketStripBrackets(const QString &host);
