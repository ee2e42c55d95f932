#pragma once

#include "base/Errors.h"

// Usage errors of the FTP engine, raised when no OnUsageError handler is set.
class FtpException : public KestrinError {
public:
    using KestrinError::KestrinError;
};

// Request types; the numbers are part of the interface (the program switches on them).
enum class TFtpRequest {
    rqNone = 0,
    rqOpen = 1,
    rqUser = 2,
    rqPass = 3,
    rqCwd = 4,
    rqConnect = 5,
    rqGetSession = 6,
    rqDir = 7,
    rqLs = 8,
    rqPort = 9,
    rqReceive = 10,
    rqDirSession = 11,
    rqLsSession = 12,
    rqSystemSession = 13,
    rqSyst = 14,
    rqQuit = 15,
    rqAbor = 16,
    rqSize = 17,
    rqPut = 18,
    rqAppend = 19,
    rqMkd = 22,
    rqRmd = 23,
    rqRenameSession = 24,
    rqDele = 25,
    rqRename = 26,
    rqRnto = 27,
    rqRnfr = 28,
    rqDeleteSession = 29,
    rqMkdSession = 30,
    rqRmdSession = 31,
    rqPwd = 32,
    rqQuote = 33,
    rqCdup = 34,
    rqQuoteSession = 35,
    rqPutSession = 36,
    rqTypeSet = 37,
    rqRest = 38,
    rqRestGet = 39,
    rqRestGetSession = 40,
    rqRestPut = 41,
    rqRestPutSession = 42,
};

// Engine states; the program tests stReady (1) and stDnsLookup (3).
enum class TFtpEngineState {
    stNotConnected = 0,
    stReady = 1,
    stInternalReady = 2,
    stDnsLookup = 3,
    stConnected = 4,
    stAbort = 5,
    stWaitingBanner = 7,
    stWaitingResponse = 8,
};

enum class TFtpConnectionType { ftpDirect, ftpProxy, ftpSocks4, ftpSocks4A, ftpSocks5 };

// Encryption of a connection (FTP over TLS, RFC 4217).
enum class TFtpTlsMode {
    None,             // plain FTP
    Explicit,         // AUTH TLS when the server offers it, else plain (and the log says so)
    ExplicitRequired, // AUTH TLS or no login
    Implicit,         // TLS from the first byte (port 990 unless another is set)
};

// The program's answer about a certificate the engine could not trust by itself.
enum class TCertificateAnswer { Pending, TrustOnce, TrustAlways, Refuse };

enum class TFtpShareMode { ftpShareCompat, ftpShareExclusive, ftpShareDenyWrite, ftpShareDenyRead, ftpShareDenyNone };

enum TFtpOption : unsigned {
    ftpAcceptLF = 1u << 0,       // a bare LF ends a reply line
    ftpNoAutoResumeAt = 1u << 1, // see the transfer side
};

// The steps a composite request is made of, in the fixed order the scheduler runs them.
enum class TFtpStep {
    Open,
    User,
    Pass,
    Feat,     // after a login, when the engine negotiates UTF-8
    OptsUtf8, // added by the FEAT reply when the server offers UTF8
    OptsMlst, // added by the FEAT reply when MLST offers facts we read that are not sent yet
    Cwd,
    Cdup,
    TypeSet,
    Port,
    Rest,
    Get,
    Put,
    Append,
    Dir,
    Ls,
    Mlsd, // the machine listing (RFC 3659) instead of LIST
    Syst,
    Mkd,
    Rmd,
    Rnfr,
    Rnto,
    Size,
    Dele,
    Pwd,
    Abor,
    Quote,
    Quit,
    None,
};
