#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

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
    QStringList addresses; // dotted IPv4 addresses, in the resolver's order, no repeats
};
// Blocking IPv4 lookup of a host name; used by the lookup thread.
WSocketLookupResult WSocketLookupHost(const QString &host);
