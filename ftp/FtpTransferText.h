#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// Texts of the data side of the FTP engine: reading a 227 reply, building a PORT line, the
// transfer statistics line. Pure: no sockets, no files.

struct FtpPasvAddress {
    QString host; // dotted IPv4 address
    uint16_t port = 0;
};

// Reads "(h1,h2,h3,h4,p1,p2)" out of a 227 reply. Anything else (a missing bracket, fewer or
// more than six numbers, a number above 255, text inside a number) gives no address.
std::optional<FtpPasvAddress> FtpParsePasv(const QString &line);

// "PORT a,b,c,d,p1,p2" for a listener on address (host byte order) and port.
QString FtpPortLine(uint32_t address, uint16_t port);

// "! N bytes received/sent in S seconds (R Bytes/sec)"; the rate part is left out when no
// time passed. Small counts multiply first for precision, large ones divide first.
QString FtpTransferStatsLine(int64_t bytes, int64_t elapsedMs);
