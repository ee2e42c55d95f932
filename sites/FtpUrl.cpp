#include "sites/FtpUrl.h"

#include <QByteArray>

namespace {

bool schemeChar(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' ||
           c == u'.';
}

bool hasControl(const QString &text)
{
    for (QChar c : text) {
        if (c == u'\r' || c == u'\n' || c == u'\0')
            return true;
    }
    return false;
}

// Percent-escapes decoded as UTF-8; a "%" that does not start an escape stays as it is.
QString decode(const QString &text)
{
    if (!text.contains(u'%'))
        return text;
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toUtf8()));
}

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// Splits the authority (user part, host, port) into url.
bool splitAuthority(const QString &authority, FtpUrl &url, QString *error)
{
    const qsizetype at = authority.lastIndexOf(u'@');
    QString hostPort = at >= 0 ? authority.mid(at + 1) : authority;
    if (at >= 0) {
        const QString userPart = authority.left(at);
        const qsizetype colon = userPart.indexOf(u':');
        url.user = colon >= 0 ? userPart.left(colon) : userPart;
        url.password = colon >= 0 ? userPart.mid(colon + 1) : QString();
    }
    if (hostPort.startsWith(u'[')) {
        const qsizetype close = hostPort.indexOf(u']');
        if (close < 0)
            return fail(error, QStringLiteral("The IPv6 address has no closing \"]\"."));
        url.host = hostPort.mid(1, close - 1);
        const QString rest = hostPort.mid(close + 1);
        if (rest.startsWith(u':'))
            url.port = rest.mid(1);
        else if (!rest.isEmpty())
            return fail(error, QStringLiteral("Unexpected text after the IPv6 address."));
    } else {
        const qsizetype colon = hostPort.lastIndexOf(u':');
        url.host = colon >= 0 ? hostPort.left(colon) : hostPort;
        url.port = colon >= 0 ? hostPort.mid(colon + 1) : QString();
    }
    if (!url.port.isEmpty()) {
        bool ok = false;
        const uint number = url.port.toUInt(&ok);
        bool digitsOnly = true;
        for (QChar c : url.port)
            digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
        if (!ok || !digitsOnly || number < 1 || number > 65535)
            return fail(error, QStringLiteral("The port must be a number from 1 to 65535."));
    }
    return true;
}

} // namespace

bool splitHostPort(const QString &text, QString &host, QString &port, QString *error)
{
    const QString trimmed = text.trimmed();
    FtpUrl parts;
    // An IPv6 address without brackets: every colon belongs to the address. A text with a
    // user part or a path is no address: it is left whole.
    if ((!trimmed.startsWith(u'[') && trimmed.count(u':') > 1) || trimmed.contains(u'@') || trimmed.contains(u'/')) {
        host = trimmed;
        port.clear();
        return true;
    }
    if (!splitAuthority(trimmed, parts, error))
        return false;
    host = parts.host;
    port = parts.port;
    return true;
}

QString displayHost(const QString &host)
{
    if (host.contains(u':') && !host.startsWith(u'['))
        return u'[' + host + u']';
    return host;
}

bool parseUrl(const QString &text, FtpUrl &url, QString *error)
{
    url = {};
    if (hasControl(text))
        return fail(error, QStringLiteral("The URL holds a line break or a NUL character."));
    if (text.isEmpty())
        return true;

    FtpUrl parts;
    if (text.startsWith(QLatin1String("./")) || text.startsWith(QLatin1String("../"))) {
        QString rest = text;
        if (rest.startsWith(QLatin1String("./")))
            rest = rest.mid(2);
        else
            while (rest.startsWith(QLatin1String("../")))
                rest = rest.mid(3);
        parts.path = QStringLiteral("/") + rest;
    } else {
        qsizetype authorityStart = -1;
        bool pathOnly = false;
        const qsizetype sep = text.indexOf(QLatin1String("://"));
        bool schemeFound = false;
        if (sep > 0) {
            schemeFound = true;
            for (qsizetype i = 0; i < sep; ++i)
                schemeFound = schemeFound && schemeChar(text.at(i));
            if (schemeFound) {
                parts.scheme = text.left(sep).toLower();
                authorityStart = sep + 3;
            } else {
                parts.scheme = QStringLiteral("http");
            }
        }
        if (!schemeFound) {
            if (text.startsWith(u'/')) {
                parts.scheme = QStringLiteral("http");
                if (text.size() < 2 || text.at(1) != u'/') {
                    parts.path = text;
                    pathOnly = true;
                } else {
                    authorityStart = 2;
                }
            } else if (text.startsWith(QLatin1String("http:"), Qt::CaseInsensitive)) {
                parts.scheme = QStringLiteral("http");
                if (text.size() < 7 || text.at(6) != u'/') {
                    parts.path = text.mid(5);
                    pathOnly = true;
                } else {
                    authorityStart = 7;
                }
            } else if (text.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive)) {
                parts.scheme = QStringLiteral("mailto");
                authorityStart = 7;
            } else {
                authorityStart = 0;
            }
        }
        if (!pathOnly) {
            const QString rest = text.mid(authorityStart);
            qsizetype end = rest.size();
            for (QChar stop : {u'/', u'?'}) {
                const qsizetype at = rest.indexOf(stop);
                if (at >= 0 && at < end)
                    end = at;
            }
            parts.path = rest.mid(end);
            if (!splitAuthority(rest.left(end), parts, error))
                return false;
        }
    }
    parts.user = decode(parts.user);
    parts.password = decode(parts.password);
    parts.path = decode(parts.path);
    if (hasControl(parts.user) || hasControl(parts.password) || hasControl(parts.path))
        return fail(error, QStringLiteral("The URL holds an encoded line break or NUL character."));
    url = parts;
    return true;
}

QString displayUrl(const FtpUrl &url)
{
    QString text;
    if (!url.scheme.isEmpty())
        text += url.scheme + QStringLiteral("://");
    if (!url.user.isEmpty() || !url.password.isEmpty()) {
        text += url.user;
        if (!url.password.isEmpty())
            text += QStringLiteral(":***");
        text += u'@';
    }
    text += url.host.contains(u':') ? u'[' + url.host + u']' : url.host;
    if (!url.port.isEmpty())
        text += u':' + url.port;
    return text + url.path;
}

std::optional<SiteEncryption> encryptionOfScheme(const QString &scheme, SiteEncryption forFtp)
{
    if (scheme == QLatin1String("ftp"))
        return forFtp;
    if (scheme == QLatin1String("ftps"))
        return SiteEncryption::Implicit;
    if (scheme == QLatin1String("ftpes"))
        return SiteEncryption::ExplicitRequired;
    return std::nullopt;
}

QString defaultFtpPort(SiteEncryption encryption)
{
    return encryption == SiteEncryption::Implicit ? QStringLiteral("990") : QStringLiteral("21");
}

std::optional<SiteProtocol> protocolOfScheme(const QString &scheme)
{
    if (scheme == QLatin1String("sftp"))
        return SiteProtocol::Sftp;
    if (encryptionOfScheme(scheme, SiteEncryption::ExplicitIfAvailable))
        return SiteProtocol::Ftp;
    return std::nullopt;
}

QString defaultPort(SiteProtocol protocol, SiteEncryption encryption)
{
    return protocol == SiteProtocol::Sftp ? QStringLiteral("22") : defaultFtpPort(encryption);
}

QString portAfterProtocolChange(const QString &port, SiteProtocol from, SiteProtocol to, SiteEncryption encryption)
{
    if (from == to)
        return port;
    const QString typed = port.trimmed();
    const bool isDefault =
        typed.isEmpty() || (from == SiteProtocol::Sftp ? typed == QLatin1String("22")
                                                       : typed == QLatin1String("21") || typed == QLatin1String("990"));
    return isDefault ? defaultPort(to, encryption) : port;
}

qsizetype connectSchemePrefixLength(const QString &text)
{
    for (const QLatin1String prefix :
         {QLatin1String("ftp://"), QLatin1String("ftps://"), QLatin1String("ftpes://"), QLatin1String("sftp://")}) {
        if (text.startsWith(prefix, Qt::CaseInsensitive))
            return prefix.size();
    }
    return 0;
}
