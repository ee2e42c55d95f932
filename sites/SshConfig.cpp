#include "sites/SshConfig.h"

#include "base/Files.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <pwd.h>
#include <unistd.h>

namespace {

// The words of a line: split at blanks, double quotes keep blanks inside a word (and are
// dropped), a word starting with an unquoted "#" ends the line. The keyword may be joined to
// its value by "=" ("Port=22", "Port = 22").
QStringList wordsOf(const QString &line)
{
    QStringList words;
    QString word;
    bool inWord = false, quoted = false, equalsTaken = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == u'"')
                quoted = false;
            else
                word += c;
            continue;
        }
        if (c == u'"') {
            quoted = inWord = true;
            continue;
        }
        // One "=" between the keyword and its value separates them.
        const bool equals = c == u'=' && !equalsTaken && (words.isEmpty() || (words.size() == 1 && !inWord));
        if (equals)
            equalsTaken = true;
        if (c.isSpace() || equals) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
            continue;
        }
        if (c == u'#' && !inWord)
            break;
        word += c;
        inWord = true;
    }
    if (inWord)
        words << word;
    return words;
}

// "*" any run of characters, "?" one character; both texts in small letters already.
bool wildcardMatch(QStringView pattern, QStringView text)
{
    qsizetype p = 0, t = 0, starP = -1, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starT = t;
        } else if (starP >= 0) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

// Not read: a file someone else could have written.
bool safeToRead(const QFileInfo &info)
{
    if (!info.isFile())
        return false;
    const uint owner = info.ownerId();
    if (owner != ::getuid() && owner != 0)
        return false;
    return (info.permissions() & (QFile::WriteGroup | QFile::WriteOther)) == 0;
}

QString expandHome(const QString &path, const QString &home)
{
    if (path == QLatin1String("~"))
        return home;
    if (path.startsWith(QLatin1String("~/")))
        return home + path.mid(1);
    return path;
}

// Replaces "%x" for the letters in tokens and "%%"; an unknown token stays as it is.
QString expandTokens(const QString &text, const QHash<QChar, QString> &tokens)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'%' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const QChar letter = text.at(i + 1);
        if (letter == u'%') {
            out += u'%';
            ++i;
        } else if (tokens.contains(letter)) {
            out += tokens.value(letter);
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

bool validPort(const QString &port)
{
    bool ok = false;
    const int number = port.toInt(&ok);
    return ok && number >= 1 && number <= 65535 && !port.startsWith(u'+');
}

} // namespace

QString SshConfig::localUserName()
{
    if (const passwd *pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

SshConfig SshConfig::load(const QString &file, const QString &home, const QString &localUser)
{
    SshConfig config;
    config.m_home = home;
    config.m_localUser = localUser;
    config.readFile(file, {}, false, 1);
    return config;
}

SshConfig SshConfig::loadUsers()
{
    const QString home = QDir::homePath();
    return load(home + QStringLiteral("/.ssh/config"), home, localUserName());
}

void SshConfig::readFile(const QString &file, const std::vector<QStringList> &outer, bool outerNever, int depth)
{
    if (depth > kMaxIncludeDepth || !safeToRead(QFileInfo(file)))
        return;
    bool ok = false;
    const QByteArray bytes = readWholeFile(file, &ok);
    if (!ok)
        return;
    m_filesRead << file;
    std::vector<QStringList> conditions = outer;
    bool never = outerNever;
    for (const QByteArray &raw : bytes.split('\n')) {
        QStringList words = wordsOf(QString::fromUtf8(raw));
        if (words.isEmpty())
            continue;
        const QString keyword = words.takeFirst().toLower();
        if (keyword == QLatin1String("host")) {
            conditions = outer;
            conditions.push_back(words);
            never = outerNever;
        } else if (keyword == QLatin1String("match")) {
            never = true; // until the next Host line
        } else if (keyword == QLatin1String("include")) {
            for (const QString &word : std::as_const(words)) {
                QString path = expandHome(word, m_home);
                if (QFileInfo(path).isRelative())
                    path = m_home + QStringLiteral("/.ssh/") + path;
                const QFileInfo info(path);
                const QString name = info.fileName();
                if (!name.contains(u'*') && !name.contains(u'?')) {
                    readFile(path, conditions, never, depth + 1);
                    continue;
                }
                const QDir folder = info.dir();
                for (const QString &found : folder.entryList({name}, QDir::Files | QDir::Hidden, QDir::Name))
                    readFile(folder.filePath(found), conditions, never, depth + 1);
            }
        } else {
            m_lines.push_back({conditions, never, keyword, words});
        }
    }
}

bool SshConfig::patternsMatch(const QStringList &patterns, const QString &host)
{
    bool matched = false;
    for (const QString &pattern : patterns) {
        const bool negated = pattern.startsWith(u'!');
        const QString p = (negated ? pattern.mid(1) : pattern).toLower();
        if (!wildcardMatch(p, host))
            continue;
        if (negated)
            return false; // a negated match rules the block out, whatever else matches
        matched = true;
    }
    return matched;
}

SshConfig::Host SshConfig::resolve(const QString &alias, const QString &typedUser, const QString &typedPort) const
{
    const QString host = alias.toLower();
    QHash<QString, QString> first;
    for (const Line &line : m_lines) {
        if (line.never || line.arguments.isEmpty() || first.contains(line.keyword))
            continue;
        bool applies = true;
        for (const QStringList &patterns : line.conditions)
            applies = applies && patternsMatch(patterns, host);
        if (applies)
            first.insert(line.keyword, line.arguments.first());
    }

    Host resolved;
    const QString hostName = first.value(QStringLiteral("hostname"));
    resolved.hostName = hostName.isEmpty() ? alias : expandTokens(hostName, {{u'h', alias}});
    const QString user = first.value(QStringLiteral("user"));
    resolved.user = !typedUser.isEmpty() ? typedUser : !user.isEmpty() ? user : m_localUser;
    const QString port = first.value(QStringLiteral("port"));
    resolved.port = !typedPort.isEmpty() ? typedPort : validPort(port) ? port : QStringLiteral("22");
    const QString identity = first.value(QStringLiteral("identityfile"));
    if (!identity.isEmpty() && identity.compare(QLatin1String("none"), Qt::CaseInsensitive) != 0) {
        resolved.identityFile = expandTokens(expandHome(identity, m_home), {{u'd', m_home},
                                                                            {u'u', m_localUser},
                                                                            {u'h', resolved.hostName},
                                                                            {u'r', resolved.user},
                                                                            {u'p', resolved.port},
                                                                            {u'n', alias}});
    }
    return resolved;
}
