#include "cli/CliOptions.h"

#include "base/Version.h"
#include "sites/FtpUrl.h"
#include "sites/TrustedCertificates.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

struct VerbHelp {
    const char *verb;
    int minOperands;
    int maxOperands;
    const char *usage;
    const char *text;
};

const VerbHelp kVerbs[] = {
    {"ls", 1, 1, "ls [--raw] URL",
     "Lists a remote folder: type, size, date and name, one entry a line. With --raw the\n"
     "server's own listing lines, as received."},
    {"get", 1, 2, "get URL [LOCAL]",
     "Downloads a file, or a whole folder tree when URL names a folder. LOCAL defaults to the\n"
     "current folder; an existing local folder receives the download under its remote name."},
    {"put", 2, 2, "put LOCAL URL",
     "Uploads a file, or a whole folder tree when LOCAL is a folder. A URL ending in \"/\"\n"
     "receives the upload under its local name."},
    {"rm", 1, 1, "rm URL", "Deletes a remote file."},
    {"rmdir", 1, 1, "rmdir [-r] URL", "Deletes an empty remote folder; with -r the folder and all it holds."},
    {"mkdir", 1, 1, "mkdir URL", "Makes a remote folder."},
    {"mv", 2, 2, "mv URL NEWPATH", "Renames a remote file or folder; NEWPATH is a path on the same server."},
    {"chmod", 2, 2, "chmod MODE URL", "Sets the permissions of a remote file (SITE CHMOD), MODE as 644."},
    {"run", 2, 2, "run URL FILE",
     "Runs the queue commands of FILE in order on the server of URL. FILE is either a saved\n"
     "queue file (pairs of lines: a command, then its entry \"time*size*attributes*name\" or an\n"
     "empty line) or a text of queue commands, one a line. It is read as a saved queue when it\n"
     "has an even number of lines and every second line is empty or such an entry."},
    {"mirror", 2, 2, "mirror [-R] [--delete] [--newer|--size-only] [--dry-run] SOURCE TARGET",
     "Makes TARGET hold what SOURCE holds: the remote folder URL into the local folder, or with\n"
     "-R the local folder onto the remote folder URL. A file is copied when the target lacks it,\n"
     "when the sizes differ, or when the source is newer (by more than a minute, with the\n"
     "server's time zone taken into account). --newer: only missing and newer files;\n"
     "--size-only: only missing files and different sizes. --delete removes what the source\n"
     "lacks from the target. --dry-run prints the plan, one action a line, and changes nothing.\n"
     "Links and names that cannot be file names are left out and said on stderr (status 5)."},
};

const VerbHelp *findVerb(const QString &verb)
{
    for (const VerbHelp &v : kVerbs) {
        if (verb == QLatin1String(v.verb))
            return &v;
    }
    return nullptr;
}

const char kOptionsHelp[] = "Options:\n"
                            "  --passive | --active        data connections (default passive)\n"
                            "  --proxy HOST:PORT           through a standard FTP proxy\n"
                            "  --socks5 HOST:PORT          through a SOCKS 5 proxy\n"
                            "  --overwrite | --resume | --skip\n"
                            "                              an existing target is replaced, continued or left alone\n"
                            "                              (default --skip, said on stderr)\n"
                            "  --retries N                 reconnects after a lost connection (default 3)\n"
                            "  --retry-delay S             seconds before the first reconnect (default 1),\n"
                            "                              doubled for each further one up to 30\n"
                            "  --parallel N                transfers side by side, 1 to 10 (default 2)\n"
                            "  --timeout S                 seconds a server may take to answer (default 30)\n"
                            "  --listing-limit MIB         the largest folder listing taken (default 1024)\n"
                            "  -p, --preserve              a file transferred whole gets its source's modification\n"
                            "                              time (where the server can tell or set it)\n"
                            "  -q, --quiet                 no notes on stderr, only errors\n"
                            "  -v, --verbose               the log lines on stderr (passwords masked)\n"
                            "  --json                      one JSON object per finished item on stdout\n"
                            "  --site \"Folder/Name\"        connect with a saved site profile; a remote path\n"
                            "                              stands where a URL would\n"
                            "  --tls auto|require|implicit|off\n"
                            "                              encryption for ftp:// (default auto: TLS when offered)\n"
                            "  --trust-fingerprint SHA256  accept the server certificate (64 hex digits) or SSH\n"
                            "                              host key (SHA256:...) with this fingerprint\n"
                            "  --key FILE                  sftp://: the private key to log in with (after the\n"
                            "                              ssh agent, before ~/.ssh/id_ed25519, id_ecdsa, id_rsa)\n"
                            "  --help, --version\n"
                            "\n"
                            "URLs: ftp://user@host:port/path, ftpes:// (TLS required), ftps:// (implicit TLS),\n"
                            "sftp://user@host:port/path (SSH, port 22 by default).\n"
                            "The password comes from the URL, ~/.netrc, KESTRIN_FTP_PASSWORD, or is asked on\n"
                            "the terminal without echo; an SFTP login without one uses the ssh agent and keys.\n"
                            "An SFTP server's host key must be in ~/.ssh/known_hosts, trusted with\n"
                            "--trust-fingerprint, or accepted on the terminal.\n"
                            "Exit status: 0 all done, 2 usage, 3 connection, login or certificate failed,\n"
                            "4 an item failed, 5 entries of a tree were left out (said on stderr),\n"
                            "130 interrupted.\n";

bool parseInt(const QString &text, int lo, int hi, int &out)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

// "SHA256:" and the unpadded base64 of 32 bytes, as OpenSSH shows a host key; empty when
// the text is not that.
QString sshFingerprint(const QString &text)
{
    const QByteArray encoded = text.mid(7).toLatin1();
    const auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors |
                                                                     QByteArray::OmitTrailingEquals);
    if (encoded.size() != 43 || !decoded || decoded.decoded.size() != 32)
        return {};
    return text;
}

} // namespace

int cliUrlOperand(const CliOptions &options)
{
    const QString &verb = options.verb;
    if (verb == QLatin1String("mirror"))
        return options.reverse ? 1 : 0;
    return verb == QLatin1String("put") || verb == QLatin1String("chmod") ? 1 : 0;
}

QString cliHelpText(const QString &verb)
{
    if (const VerbHelp *v = findVerb(verb)) {
        return QStringLiteral("Usage: kestrin-ftp-cli [OPTIONS] ") + QLatin1String(v->usage) + QStringLiteral("\n\n") +
               QLatin1String(v->text) + QStringLiteral("\n\n") + QLatin1String(kOptionsHelp);
    }
    QString text = QStringLiteral("Usage: kestrin-ftp-cli [OPTIONS] VERB ARGUMENTS\n\n"
                                  "Kestrin FTP Pro %1 on the command line. Verbs:\n")
                       .arg(QLatin1String(Version::kVersionText));
    for (const VerbHelp &v : kVerbs)
        text += QStringLiteral("  ") + QLatin1String(v.usage) + QLatin1Char('\n');
    text += QStringLiteral("\"kestrin-ftp-cli VERB --help\" tells more about a verb.\n\n");
    return text + QLatin1String(kOptionsHelp);
}

bool splitProxyAddress(const QString &text, QString &host, QString &port)
{
    return splitHostPort(text, host, port) && !host.isEmpty() && !port.isEmpty();
}

bool parseCliArguments(const QStringList &args, CliOptions &o, QString *error)
{
    auto fail = [error](const QString &text) {
        *error = text;
        return false;
    };
    QString mirrorOnly; // the last option given that only mirror takes
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        auto value = [&](QString &out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        if (a == QLatin1String("--")) {
            o.operands += args.mid(i + 1);
            break;
        }
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o.help = true;
        } else if (a == QLatin1String("--version")) {
            o.version = true;
        } else if (a == QLatin1String("--passive")) {
            o.passive = true;
        } else if (a == QLatin1String("--active")) {
            o.passive = false;
        } else if (a == QLatin1String("--proxy") || a == QLatin1String("--socks5")) {
            QString v, h, p;
            if (!value(v) || !splitProxyAddress(v, h, p))
                return fail(a + QStringLiteral(" needs HOST:PORT"));
            (a == QLatin1String("--proxy") ? o.proxy : o.socks5) = v;
        } else if (a == QLatin1String("--overwrite") || a == QLatin1String("--resume") ||
                   a == QLatin1String("--skip")) {
            const CliOptions::Existing e = a == QLatin1String("--overwrite") ? CliOptions::Existing::Overwrite
                                           : a == QLatin1String("--resume")  ? CliOptions::Existing::Resume
                                                                             : CliOptions::Existing::Skip;
            if (o.existingGiven && o.existing != e)
                return fail(QStringLiteral("choose one of --overwrite, --resume and --skip"));
            o.existing = e;
            o.existingGiven = true;
        } else if (a == QLatin1String("--retries")) {
            QString v;
            int n = 0;
            if (!value(v) || !parseInt(v, 0, 1000, n))
                return fail(QStringLiteral("--retries needs a number from 0 to 1000"));
            o.retries = n;
        } else if (a == QLatin1String("--retry-delay")) {
            QString v;
            if (!value(v) || !parseInt(v, 0, 3600, o.retryDelaySeconds))
                return fail(QStringLiteral("--retry-delay needs seconds from 0 to 3600"));
        } else if (a == QLatin1String("--parallel")) {
            QString v;
            int n = 0;
            if (!value(v) || !parseInt(v, 1, 10, n))
                return fail(QStringLiteral("--parallel needs a number from 1 to 10"));
            o.parallel = n;
        } else if (a == QLatin1String("--timeout")) {
            QString v;
            if (!value(v) || !parseInt(v, 1, 86400, o.timeoutSeconds))
                return fail(QStringLiteral("--timeout needs seconds from 1 to 86400"));
        } else if (a == QLatin1String("--listing-limit")) {
            QString v;
            if (!value(v) || !parseInt(v, 1, 1048576, o.listingLimitMiB))
                return fail(QStringLiteral("--listing-limit needs MiB from 1 to 1048576"));
        } else if (a == QLatin1String("-q") || a == QLatin1String("--quiet")) {
            o.quiet = true;
        } else if (a == QLatin1String("-v") || a == QLatin1String("--verbose")) {
            o.verbose = true;
        } else if (a == QLatin1String("--json")) {
            o.json = true;
        } else if (a == QLatin1String("-r")) {
            o.recursive = true;
        } else if (a == QLatin1String("-p") || a == QLatin1String("--preserve")) {
            o.preserve = true;
        } else if (a == QLatin1String("--raw")) {
            o.raw = true;
        } else if (a == QLatin1String("-R")) {
            o.reverse = true;
            mirrorOnly = a;
        } else if (a == QLatin1String("--delete")) {
            o.deleteExtra = true;
            mirrorOnly = a;
        } else if (a == QLatin1String("--dry-run")) {
            o.dryRun = true;
            mirrorOnly = a;
        } else if (a == QLatin1String("--newer") || a == QLatin1String("--size-only")) {
            const auto rule =
                a == QLatin1String("--newer") ? CliOptions::MirrorRule::Newer : CliOptions::MirrorRule::SizeOnly;
            if (o.mirrorRule != CliOptions::MirrorRule::SizeOrNewer && o.mirrorRule != rule)
                return fail(QStringLiteral("choose one of --newer and --size-only"));
            o.mirrorRule = rule;
            mirrorOnly = a;
        } else if (a == QLatin1String("--key")) {
            if (!value(o.keyFile) || o.keyFile.isEmpty())
                return fail(QStringLiteral("--key needs a private key file"));
        } else if (a == QLatin1String("--site")) {
            QString v;
            if (!value(v))
                return fail(QStringLiteral("--site needs \"Folder/Name\""));
            o.site = v;
        } else if (a == QLatin1String("--tls")) {
            QString v;
            if (!value(v))
                return fail(QStringLiteral("--tls needs auto, require, implicit or off"));
            if (v == QLatin1String("auto"))
                o.tls = SiteEncryption::ExplicitIfAvailable;
            else if (v == QLatin1String("require"))
                o.tls = SiteEncryption::ExplicitRequired;
            else if (v == QLatin1String("implicit"))
                o.tls = SiteEncryption::Implicit;
            else if (v == QLatin1String("off"))
                o.tls = SiteEncryption::Plain;
            else
                return fail(QStringLiteral("--tls needs auto, require, implicit or off"));
        } else if (a == QLatin1String("--trust-fingerprint")) {
            QString v;
            const bool given = value(v);
            // A certificate's fingerprint in hex, or an SSH host key's as ssh shows it.
            const QString fingerprint = !given                                   ? QString()
                                        : v.startsWith(QLatin1String("SHA256:")) ? sshFingerprint(v)
                                                                                 : TrustedCertificates::normalise(v);
            if (fingerprint.isEmpty())
                return fail(QStringLiteral("--trust-fingerprint needs a SHA-256 fingerprint (64 hex digits, or "
                                           "SHA256: and 43 base64 characters for an SSH host key)"));
            o.trustFingerprints << fingerprint;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return fail(QStringLiteral("unknown option ") + a);
        } else if (o.verb.isEmpty()) {
            o.verb = a;
        } else {
            o.operands << a;
        }
    }
    if (o.version || (o.help && o.verb.isEmpty()))
        return true;
    if (o.verb.isEmpty())
        return fail(QStringLiteral("no verb given"));
    const VerbHelp *v = findVerb(o.verb);
    if (!v)
        return fail(QStringLiteral("unknown verb \"") + o.verb + QLatin1Char('"'));
    if (o.help)
        return true;
    if (o.quiet && o.verbose)
        return fail(QStringLiteral("choose one of -q and -v"));
    if (!o.proxy.isEmpty() && !o.socks5.isEmpty())
        return fail(QStringLiteral("choose one of --proxy and --socks5"));
    if (o.recursive && o.verb != QLatin1String("rmdir"))
        return fail(QStringLiteral("-r belongs to rmdir"));
    if (o.raw && o.verb != QLatin1String("ls"))
        return fail(QStringLiteral("--raw belongs to ls"));
    if (!mirrorOnly.isEmpty() && o.verb != QLatin1String("mirror"))
        return fail(mirrorOnly + QStringLiteral(" belongs to mirror"));
    if (o.operands.size() < v->minOperands || o.operands.size() > v->maxOperands)
        return fail(QStringLiteral("usage: kestrin-ftp-cli ") + QLatin1String(v->usage));
    if (!o.site.isEmpty() && o.operands.value(cliUrlOperand(o)).contains(QLatin1String("://")))
        return fail(QStringLiteral("with --site give a remote path, not a URL"));
    return true;
}

bool netrcLookup(const QByteArray &text, const QString &host, const QString &user, QString &login, QString &password)
{
    // Tokens separated by blanks; a token in double quotes may hold blanks and takes "\\"
    // escapes (as curl reads it). "macdef" bodies end at an empty line and are skipped.
    QList<QByteArray> tokens;
    const QList<QByteArray> lines = text.split('\n');
    bool inMacro = false;
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        if (inMacro) {
            inMacro = !line.trimmed().isEmpty();
            continue;
        }
        qsizetype i = 0;
        while (i < line.size()) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
                ++i;
            if (i >= line.size())
                break;
            QByteArray token;
            if (line[i] == '"') {
                for (++i; i < line.size() && line[i] != '"'; ++i) {
                    if (line[i] == '\\' && i + 1 < line.size())
                        ++i;
                    token += line[i];
                }
                ++i;
            } else {
                while (i < line.size() && line[i] != ' ' && line[i] != '\t')
                    token += line[i++];
            }
            if (token == "macdef") {
                inMacro = true;
                break;
            }
            tokens << token;
        }
    }
    struct Entry {
        bool isDefault = false;
        QString machine, login, password;
    };
    QList<Entry> entries;
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const QByteArray &t = tokens[i];
        const QString next = i + 1 < tokens.size() ? QString::fromUtf8(tokens[i + 1]) : QString();
        if (t == "machine") {
            entries.append({false, next, {}, {}});
            ++i;
        } else if (t == "default") {
            entries.append({true, {}, {}, {}});
        } else if (!entries.isEmpty() && (t == "login" || t == "password" || t == "account")) {
            if (t == "login")
                entries.last().login = next;
            else if (t == "password")
                entries.last().password = next;
            ++i;
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (const Entry &e : entries) {
            const bool hostMatches =
                pass == 0 ? !e.isDefault && e.machine.compare(host, Qt::CaseInsensitive) == 0 : e.isDefault;
            if (!hostMatches || (!user.isEmpty() && !e.login.isEmpty() && e.login != user))
                continue;
            login = e.login;
            password = e.password;
            return true;
        }
    }
    return false;
}

bool netrcPassword(const QString &path, const QString &host, const QString &user, QString &login, QString &password,
                   QString *warning)
{
    struct stat st {};
    const QByteArray local = QFile::encodeName(path);
    if (::stat(local.constData(), &st) != 0)
        return false;
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        *warning = path + QStringLiteral(" may be read or changed by others (chmod 600 it); it is not used");
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return netrcLookup(f.readAll(), host, user, login, password);
}
