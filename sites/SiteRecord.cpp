#include "sites/SiteRecord.h"

QString tShortText::cut(const QString &text)
{
    if (text.size() <= kMaxLength)
        return text;
    qsizetype length = kMaxLength;
    // Keep a surrogate pair whole: a lone half would turn into a replacement character on disk.
    if (text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

QString protocolChoiceText(SiteProtocol protocol)
{
    return protocol == SiteProtocol::Sftp ? QStringLiteral("SFTP") : QStringLiteral("FTP");
}

QString encryptionChoiceText(SiteEncryption encryption)
{
    switch (encryption) {
    case SiteEncryption::ExplicitRequired:
        return QStringLiteral("Require explicit TLS");
    case SiteEncryption::Implicit:
        return QStringLiteral("Require implicit TLS");
    case SiteEncryption::Plain:
        return QStringLiteral("Plain FTP (insecure)");
    case SiteEncryption::ExplicitIfAvailable:
        break;
    }
    return QStringLiteral("Use explicit TLS if available");
}
