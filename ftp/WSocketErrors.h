#pragma once

#include "base/Errors.h"

#include <QString>

// Usage and conversion errors of the socket layer, raised when no OnError handler is set.
class ESocketException : public KestrinError {
public:
    using KestrinError::KestrinError;
};

// The socket layer reports errors with the classic WinSock numbers, whatever the platform
// says, so that every message and every code a user or the FTP engine sees is the same.
namespace WsaError {
constexpr int NoError = 0;
constexpr int Interrupted = 10004;     // EINTR, also a cancelled lookup
constexpr int BadFile = 10009;         // EBADF
constexpr int Access = 10013;          // EACCES
constexpr int Fault = 10014;           // EFAULT
constexpr int InvalidArgument = 10022; // EINVAL
constexpr int TooManyFiles = 10024;    // EMFILE
constexpr int WouldBlock = 10035;      // EWOULDBLOCK / EAGAIN
constexpr int InProgress = 10036;      // EINPROGRESS
constexpr int Already = 10037;         // EALREADY
constexpr int NotSocket = 10038;       // ENOTSOCK
constexpr int AddrInUse = 10048;       // EADDRINUSE
constexpr int AddrNotAvail = 10049;    // EADDRNOTAVAIL
constexpr int NetUnreach = 10051;      // ENETUNREACH
constexpr int ConnAborted = 10053;     // ECONNABORTED
constexpr int ConnReset = 10054;       // ECONNRESET
constexpr int NotConnected = 10057;    // ENOTCONN
constexpr int TimedOut = 10060;        // ETIMEDOUT
constexpr int ConnRefused = 10061;     // ECONNREFUSED
constexpr int HostUnreach = 10065;     // EHOSTUNREACH
constexpr int NotInitialised = 10093;
constexpr int HostNotFound = 11001;
constexpr int TryAgain = 11002;
constexpr int NoRecovery = 11003;
constexpr int NoData = 11004;
} // namespace WsaError

// SOCKS handshake failure codes.
namespace SocksError {
constexpr int LogicError = 20001; // also "too much data"
constexpr int VersionError = 20002;
constexpr int MethodNotAcceptable = 20003;
constexpr int GeneralFailure = 20004; // reply codes 1..8 map onto 20004..20011
constexpr int ConnectionRefused = 20008;
constexpr int AddressTypeNotSupported = 20011;
constexpr int UnassignedError = 20012;
constexpr int InternalError = 20013;
constexpr int AuthenticationFailed = 20015;
constexpr int RequestRejected = 20016;
constexpr int UnresolvableDestination = 20017;
} // namespace SocksError

// TLS failures on a connection (the OpenSSL reason is in the socket's LastErrorMessage).
namespace TlsError {
constexpr int HandshakeFailed = 20101;
constexpr int HandshakeTimeout = 20102;
constexpr int Protocol = 20103; // a broken record or alert after the handshake
} // namespace TlsError

// The text shown for a socket error number ("Not a WinSock error" for unknown numbers).
QString WSocketErrorDesc(int error);
// Maps an errno value onto the numbering above.
int WSocketErrnoToError(int err);
// Maps a getaddrinfo() result onto 11001..11004.
int WSocketGaiToError(int gaiError);
