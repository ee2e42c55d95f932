#pragma once

#include "sites/SiteRecord.h"

#include <QString>
#include <QStringList>

#include <optional>

// Exit status of the command line; docs/command-line.md lists them for script writers.
namespace CliExit {
inline constexpr int kOk = 0;
inline constexpr int kUsage = 2;
inline constexpr int kConnection = 3;     // no connection, or the login was refused
inline constexpr int kItemFailed = 4;     // an item failed: refused command, remote error, partial file
inline constexpr int kSkippedEntries = 5; // every item succeeded, but entries of a tree were left out
inline constexpr int kInterrupted = 130;
} // namespace CliExit

// What the command line asked for, after checking. The verb's operands stay as given.
struct CliOptions {
    enum class Existing { Skip, Overwrite, Resume };

    enum class MirrorRule { SizeOrNewer, Newer, SizeOnly };

    QString verb; // ls get put rm rmdir mkdir mv chmod run mirror; empty with --help/--version
    QStringList operands;
    bool help = false;
    bool version = false;
    bool passive = true;
    QString proxy;  // host:port of a standard FTP proxy
    QString socks5; // host:port of a SOCKS 5 proxy
    Existing existing = Existing::Skip;
    bool existingGiven = false;
    int retries = 3;             // reconnects after a lost connection
    int retryDelaySeconds = 1;   // before the first reconnect; doubled for each further one, up to 30
    std::optional<int> parallel; // sessions carrying transfers side by side, 1 to 10
    int timeoutSeconds = 30;
    int listingLimitMiB = 1024; // a listing that never ends is cut here
    bool quiet = false;
    bool verbose = false;
    bool json = false;
    bool recursive = false; // rmdir -r
    bool raw = false;       // ls --raw
    bool preserve = false;  // -p: a whole transfer's target gets its source's modification time
    // mirror: -R (local folder to the server), --delete, --newer / --size-only, --dry-run
    bool reverse = false;
    bool deleteExtra = false;
    MirrorRule mirrorRule = MirrorRule::SizeOrNewer;
    bool dryRun = false;
    QString site; // "Folder/Name" of a saved site profile
    // --tls: the encryption of ftp:// URLs (and of a profile, when given); none means "auto"
    // for URLs and the profile's own choice for --site.
    std::optional<SiteEncryption> tls;
    QStringList trustFingerprints; // --trust-fingerprint, each as "AB:CD:..."
    QString keyFile;               // --key: the private key an SFTP login tries after the agent
};

// The operand that names the server (a URL, or a remote path with --site).
int cliUrlOperand(const CliOptions &options);

// Parses the arguments (without the program name). Returns false with *error naming the
// mistake; a verb's --help is not an error.
bool parseCliArguments(const QStringList &args, CliOptions &options, QString *error);

// The help text: the program's with an empty verb, else the verb's.
QString cliHelpText(const QString &verb);

// Splits a proxy's "host:port" (an IPv6 host in brackets); false without a port or for
// anything splitHostPort refuses.
bool splitProxyAddress(const QString &text, QString &host, QString &port);

// The login of a machine in a netrc file's text: "machine NAME login USER password PASS",
// "default" as the fallback. Returns false when no entry names the host (and user, when one
// is given).
bool netrcLookup(const QByteArray &text, const QString &host, const QString &user, QString &login, QString &password);

// Reads ~/.netrc for the host. A netrc that others may read or write is refused, as other
// FTP tools do, with *warning saying so; nothing is then taken from it.
bool netrcPassword(const QString &path, const QString &host, const QString &user, QString &login, QString &password,
                   QString *warning);
