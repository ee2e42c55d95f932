// The command line's argument checks and the netrc reader.
#include "cli/CliOptions.h"

#include <gtest/gtest.h>

namespace {

TEST(CliOptions, ArgumentsAreCheckedBeforeAnythingConnects)
{
    struct Case {
        QStringList args;
        bool ok;
        QString error; // part of the message
    };
    const QString url = QStringLiteral("ftp://u@h/p");
    const Case cases[] = {
        {{QStringLiteral("get"), url}, true, {}},
        {{QStringLiteral("get"), url, QStringLiteral("dir"), QStringLiteral("extra")}, false, QStringLiteral("usage:")},
        {{QStringLiteral("rmdir"), QStringLiteral("-r"), url}, true, {}},
        {{QStringLiteral("rm"), QStringLiteral("-r"), url}, false, QStringLiteral("-r belongs to rmdir")},
        {{QStringLiteral("--overwrite"), QStringLiteral("--resume"), QStringLiteral("get"), url},
         false,
         QStringLiteral("choose one of --overwrite")},
        {{QStringLiteral("--socks5"), QStringLiteral("127.0.0.1"), QStringLiteral("ls"), url},
         false,
         QStringLiteral("HOST:PORT")},
        {{QStringLiteral("--socks5"), QStringLiteral("[::1]:1080"), QStringLiteral("ls"), url}, true, {}},
        {{QStringLiteral("--timeout"), QStringLiteral("0"), QStringLiteral("ls"), url},
         false,
         QStringLiteral("--timeout")},
        {{QStringLiteral("--site"), QStringLiteral("Work/Box"), QStringLiteral("ls"), QStringLiteral("/pub")},
         true,
         {}},
        {{QStringLiteral("--site"), QStringLiteral("Work/Box"), QStringLiteral("ls"), url},
         false,
         QStringLiteral("a remote path, not a URL")},
        {{QStringLiteral("--tls"), QStringLiteral("require"), QStringLiteral("ls"), url}, true, {}},
        {{QStringLiteral("--tls"), QStringLiteral("sometimes"), QStringLiteral("ls"), url},
         false,
         QStringLiteral("auto, require, implicit or off")},
        // Any spelling of a SHA-256 fingerprint; anything shorter is a mistake, not a wildcard.
        {{QStringLiteral("--trust-fingerprint"), QStringLiteral("ab").repeated(32), QStringLiteral("ls"), url},
         true,
         {}},
        {{QStringLiteral("--trust-fingerprint"), QStringLiteral("AB:CD"), QStringLiteral("ls"), url},
         false,
         QStringLiteral("64 hex digits")},
        // An SSH host key's fingerprint as ssh prints it, and one cut short.
        {{QStringLiteral("--trust-fingerprint"), QStringLiteral("SHA256:") + QString(43, QLatin1Char('A')),
          QStringLiteral("ls"), url},
         true,
         {}},
        {{QStringLiteral("--trust-fingerprint"), QStringLiteral("SHA256:AAAA"), QStringLiteral("ls"), url},
         false,
         QStringLiteral("SHA256:")},
        {{QStringLiteral("get"), QStringLiteral("--raw"), url}, false, QStringLiteral("--raw belongs to ls")},
        {{QStringLiteral("ls"), QStringLiteral("--frobnicate"), url}, false, QStringLiteral("unknown option")},
        {{QStringLiteral("chmod"), QStringLiteral("--help")}, true, {}},
        {{QStringLiteral("ls"), QStringLiteral("--"), QStringLiteral("-odd name")}, true, {}},
        {{QStringLiteral("mirror"), QStringLiteral("-R"), QStringLiteral("--delete"), QStringLiteral("--dry-run"),
          QStringLiteral("--size-only"), QStringLiteral("dir"), url},
         true,
         {}},
        {{QStringLiteral("mirror"), url}, false, QStringLiteral("usage:")},
        {{QStringLiteral("mirror"), QStringLiteral("--newer"), QStringLiteral("--size-only"), url,
          QStringLiteral("dir")},
         false,
         QStringLiteral("choose one of --newer and --size-only")},
        {{QStringLiteral("get"), QStringLiteral("--delete"), url}, false, QStringLiteral("--delete belongs to mirror")},
        {{QStringLiteral("put"), QStringLiteral("-R"), QStringLiteral("dir"), url},
         false,
         QStringLiteral("-R belongs to mirror")},
        // With --site the remote side is a path: which operand it is follows -R.
        {{QStringLiteral("--site"), QStringLiteral("Work/Box"), QStringLiteral("mirror"), QStringLiteral("-R"), url,
          QStringLiteral("/pub")},
         true,
         {}},
        {{QStringLiteral("--site"), QStringLiteral("Work/Box"), QStringLiteral("mirror"), QStringLiteral("-R"),
          QStringLiteral("dir"), url},
         false,
         QStringLiteral("a remote path, not a URL")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        CliOptions o;
        QString error;
        EXPECT_EQ(parseCliArguments(c.args, o, &error), c.ok) << error.toStdString();
        EXPECT_TRUE(error.contains(c.error)) << error.toStdString();
    }
}

TEST(CliOptions, NetrcGivesTheMachinesLoginOrTheDefault)
{
    const QByteArray text = "machine ftp.example.org login alice password a1\n"
                            "macdef init\nmachine evil.example login x password y\n\n"
                            "machine ftp.example.org login bob password b2\n"
                            "machine quoted.example login \"d q\" password \"with \\\"blank\\\" \"\n"
                            "default login anonymous password me@example.org\n";
    struct Case {
        QString host, user;
        bool found;
        QString login, password;
    };
    const Case cases[] = {
        {QStringLiteral("ftp.example.org"), {}, true, QStringLiteral("alice"), QStringLiteral("a1")},
        {QStringLiteral("FTP.example.org"), QStringLiteral("bob"), true, QStringLiteral("bob"), QStringLiteral("b2")},
        // A macro's body is not a machine entry.
        {QStringLiteral("evil.example"), {}, true, QStringLiteral("anonymous"), QStringLiteral("me@example.org")},
        {QStringLiteral("quoted.example"), {}, true, QStringLiteral("d q"), QStringLiteral("with \"blank\" ")},
        {QStringLiteral("other.example"), QStringLiteral("carol"), false, {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.host.toStdString());
        QString login, password;
        EXPECT_EQ(netrcLookup(text, c.host, c.user, login, password), c.found);
        EXPECT_EQ(login, c.login);
        EXPECT_EQ(password, c.password);
    }
}

} // namespace
