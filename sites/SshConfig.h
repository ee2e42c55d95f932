#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The user's OpenSSH client configuration (~/.ssh/config), read for what an SFTP site needs:
// the host, user, port and key file a host alias stands for.
//
// Read as OpenSSH reads it: "Keyword value" or "Keyword=value" lines, keywords in any letter
// case, values in double quotes where they hold spaces, "#" comments. "Host" starts a block
// that applies when one of its patterns matches the alias (letter case ignored; "*" and "?"
// wildcards) and none of its "!" patterns does. "Match" blocks are skipped: their conditions
// are not evaluated, so nothing in them applies. "Include" reads further files (relative
// paths from ~/.ssh, "~" for home, wildcards in the file name) up to kMaxIncludeDepth files
// deep; an Include inside a Host block applies only when that block does. For each keyword
// the first value that applies wins. A file that others may write, or that someone other than
// the user (or root) owns, is not read: it could send the user's logins elsewhere.
class SshConfig {
public:
    static constexpr int kMaxIncludeDepth = 16;

    // What an alias resolves to. Every field is filled: the alias itself, the user typed, the
    // local user name and port 22 where the file says nothing.
    struct Host {
        QString hostName, user, port;
        QString identityFile; // empty: the file names none ("IdentityFile none" included)
    };

    // An empty configuration: every alias is its own host.
    SshConfig() = default;
    // Reads `file` and what it includes. home is the local home folder ("~", "%d") and
    // localUser the local user name ("%u", and the user when nothing names one). A missing
    // or unreadable file reads as empty.
    static SshConfig load(const QString &file, const QString &home, const QString &localUser);
    // The user's own: ~/.ssh/config under QDir::homePath(), for the local user.
    static SshConfig loadUsers();

    // What `alias` stands for. typedUser and typedPort are what the user gave with it (empty
    // for nothing): they win over the file. The key file has "~" and the tokens %d (home), %u
    // (local user), %h (host name), %r (remote user), %p (port), %n (the alias) and %%
    // replaced.
    Host resolve(const QString &alias, const QString &typedUser = QString(),
                 const QString &typedPort = QString()) const;

    // The files that were read (the first, then the included ones in order).
    const QStringList &filesRead() const { return m_filesRead; }

    // The local user's login name.
    static QString localUserName();

private:
    struct Line {
        // Every pattern list of the Host blocks this line is under (an Include inside a Host
        // block adds one); the line applies when each of them matches. A line under a Match
        // block never applies.
        std::vector<QStringList> conditions;
        bool never = false;
        QString keyword; // in small letters
        QStringList arguments;
    };

    void readFile(const QString &file, const std::vector<QStringList> &outer, bool outerNever, int depth);
    static bool patternsMatch(const QStringList &patterns, const QString &host);

    QString m_home, m_localUser;
    std::vector<Line> m_lines;
    QStringList m_filesRead;
};
