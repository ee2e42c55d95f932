#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// Texts of the data side of the FTP engine: reading a 227 reply, building a PORT line, the
// transfer statistics line. Pure: no sockets, no files.

struct FtpPasvAddress {
    QString host; // the address to connect to
    uint16_t port = 0;
};

// Reads "(h1,h2,h3,h4,p1,p2)" out of a 227 reply. Anything else (a missing bracket, fewer or
// more than six numbers, a number above 255, text inside a number) gives no address.
std::optional<FtpPasvAddress> FtpParsePasv(const QString &line);

// The port of a 229 reply, "(|||port|)": the three delimiters before the port and the one
// after it are one and the same character (33..126, not a digit), the port is 1..65535
// in decimal. Anything else gives no port: a malformed reply is never guessed at.
std::optional<uint16_t> FtpParseEpsv(const QString &line);

// "EPRT |1|a.b.c.d|port|" or "EPRT |2|ipv6|port|" for a listener on address and port.
QString FtpEprtLine(const QString &address, uint16_t port);

// "PORT a,b,c,d,p1,p2" for a listener on address (host byte order) and port.
QString FtpPortLine(uint32_t address, uint16_t port);

// "! N bytes received/sent in S seconds (R Bytes/sec)"; the rate part is left out when no
// time passed. Small counts multiply first for precision, large ones divide first.
QString FtpTransferStatsLine(int64_t bytes, int64_t elapsedMs);
