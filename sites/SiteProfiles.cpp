#include "sites/SiteProfiles.h"

#include "base/Files.h"
#include "base/TextCodec.h"
#include "sites/IniFile.h"
#include "sites/SecretStore.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>

const QString SiteProfiles::kExtension = QStringLiteral(".veze");
const QString SiteProfiles::kLinksBar = QStringLiteral("[links bar]");
const QString SiteProfiles::kRootName = QStringLiteral("[favorites]");
const QString SiteProfiles::kPlaceholderHost = QStringLiteral("ftp.example.com");
const QString SiteProfiles::kPlaceholderPassword = QStringLiteral("guest@kestrin-ftp.example");
const QString SiteProfiles::kSection = QStringLiteral("FTP");
const QString SiteProfiles::kKeyringMarker = QStringLiteral("PassInKeyring");

namespace {

const QChar kSep = QLatin1Char('\\');

bool readBool(const IniFile &ini, const QString &key)
{
    bool ok = false;
    const long long v = ini.value(SiteProfiles::kSection, key).toLongLong(&ok);
    return ok && v != 0;
}

QString fromBase64(const QString &text)
{
    return QString::fromUtf8(QByteArray::fromBase64(text.toLatin1()));
}

QString toBase64(const QString &text)
{
    return QString::fromLatin1(text.toUtf8().toBase64());
}

void sortTree(SiteProfiles::Node &node)
{
    std::sort(node.children.begin(), node.children.end(), [](const auto &a, const auto &b) {
        if (a.isFolder != b.isFolder)
            return a.isFolder;
        return QString::localeAwareCompare(a.name, b.name) < 0;
    });
    for (auto &child : node.children)
        sortTree(child);
}

SiteProfiles::Node &childNamed(SiteProfiles::Node &parent, const QString &name, bool isFolder)
{
    for (auto &child : parent.children)
        if (child.name == name && child.isFolder == isFolder)
            return child;
    parent.children.push_back({name, isFolder, {}});
    return parent.children.back();
}

bool exists(const QString &path)
{
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

} // namespace

SiteProfiles::SiteProfiles(const QString &folder, bool ownFolder) : m_folder(folder), m_ownFolder(ownFolder)
{
    if (!m_folder.endsWith(QLatin1Char('/')))
        m_folder += QLatin1Char('/');
}

bool SiteProfiles::isProfileFileName(const QString &fileName)
{
    return fileName.size() > kExtension.size() && fileName.endsWith(kExtension, Qt::CaseInsensitive);
}

bool SiteProfiles::isValidName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name)
        if (c.unicode() < 0x20 || QStringLiteral("\\/:*?\"<>|").contains(c))
            return false;
    return true;
}

QString SiteProfiles::siteNameMessage()
{
    return QStringLiteral("A site name cannot contain any of the following characters:\n           \\/:*?\"<>|");
}

QString SiteProfiles::folderNameMessage()
{
    return QStringLiteral("A foldername cannot contain any of the following characters:\n           \\/:*?\"<>|");
}

QString SiteProfiles::nodeName(const QString &nodePath)
{
    QString p = nodePath;
    if (p.endsWith(kSep))
        p.chop(1);
    return p.mid(p.lastIndexOf(kSep) + 1);
}

QString SiteProfiles::parentPath(const QString &nodePath)
{
    QString p = nodePath;
    if (p.endsWith(kSep))
        p.chop(1);
    const qsizetype at = p.lastIndexOf(kSep);
    return at < 0 ? QString() : p.left(at + 1);
}

QString SiteProfiles::childPath(const QString &folderPath, const QString &name, bool isFolder)
{
    return folderPath + name + (isFolder ? QString(kSep) : QString());
}

bool SiteProfiles::splitPath(const QString &nodePath, QStringList &parts)
{
    parts = nodePath.split(kSep, Qt::SkipEmptyParts);
    return std::all_of(parts.cbegin(), parts.cend(), [](const QString &p) { return isValidName(p); });
}

QString SiteProfiles::pathOf(const QString &nodePath) const
{
    QStringList parts;
    if (!splitPath(nodePath, parts))
        return {};
    return m_folder + parts.join(QLatin1Char('/'));
}

QString SiteProfiles::siteFile(const QString &sitePath) const
{
    if (isFolderPath(sitePath))
        return {};
    const QString p = pathOf(sitePath);
    return p.isEmpty() ? p : p + kExtension;
}

QString SiteProfiles::folderOf(const QString &folderPath) const
{
    if (!isFolderPath(folderPath))
        return {};
    if (folderPath.isEmpty())
        return m_folder;
    const QString p = pathOf(folderPath);
    return p.isEmpty() ? p : p + QLatin1Char('/');
}

SiteProfiles::Node SiteProfiles::tree() const
{
    QDir().mkpath(m_folder + kLinksBar);
    Node root{kRootName, true, {}};
    QDirIterator it(m_folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const bool isFolder = info.isDir();
        if (!isFolder && !(info.isFile() && isProfileFileName(info.fileName())))
            continue;
        QString rel = info.filePath().mid(m_folder.size());
        if (!isFolder)
            rel.chop(kExtension.size());
        const QStringList parts = rel.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        // Names that no node path can carry (a "\" in a file name) are left out of the tree.
        if (parts.isEmpty() ||
            !std::all_of(parts.cbegin(), parts.cend(), [](const QString &p) { return isValidName(p); }))
            continue;
        Node *node = &root;
        for (qsizetype i = 0; i < parts.size(); ++i)
            node = &childNamed(*node, parts[i], i + 1 < parts.size() || isFolder);
    }
    sortTree(root);
    return root;
}

QStringList SiteProfiles::linkNames() const
{
    QStringList names;
    const QString base = m_folder + kLinksBar + QLatin1Char('/');
    QDirIterator it(base, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (!isProfileFileName(it.fileName()))
            continue;
        QString rel = it.filePath().mid(base.size());
        rel.chop(kExtension.size());
        const QStringList parts = rel.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (!std::all_of(parts.cbegin(), parts.cend(), [](const QString &p) { return isValidName(p); }))
            continue;
        names << parts.join(kSep);
    }
    names.sort(Qt::CaseInsensitive);
    return names;
}

void SiteProfiles::setSecretStore(SecretStore *store, bool storeNew)
{
    m_secrets = store;
    m_storeNew = store && storeNew;
}

QString SiteProfiles::secretKey(const QString &sitePath) const
{
    return QStringLiteral("site:") + m_folder + sitePath;
}

bool SiteProfiles::isDamagedProfile(const QByteArray &bytes)
{
    if (bytes.contains('\0') || !TextCodec::isValidUtf8(bytes))
        return true;
    bool inSection = false;
    for (const QByteArray &raw : bytes.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            inSection = true;
            continue;
        }
        if (!inSection || !line.contains('='))
            return true;
    }
    return false;
}

QString SiteProfiles::damagedCopyOf(const QString &file)
{
    return file + QStringLiteral("-damaged");
}

bool SiteProfiles::readProfileFile(const QString &file, tSiteRecord &site, bool *inKeyring, bool *damaged)
{
    QByteArray bytes;
    if (QFileInfo::exists(file)) {
        bool ok = false;
        bytes = readWholeFile(file, &ok);
        if (!ok)
            return false;
    }
    if (damaged)
        *damaged = isDamagedProfile(bytes);
    const IniFile ini = IniFile::fromBytes(bytes);
    const auto get = [&ini](const char *key, const QString &def) {
        return ini.value(kSection, QString::fromLatin1(key), def);
    };
    site.Host = get("Host", kPlaceholderHost);
    site.Port = get("Port", QStringLiteral("21"));
    site.User = get("User", QStringLiteral("anonymous"));
    site.lFolder = get("lFolder", QString());
    site.rFolder = get("rFolder", QString());
    site.anonymous = readBool(ini, QStringLiteral("anonymous"));
    site.desc = fromBase64(get("desc", QString()));
    site.Pass =
        ini.contains(kSection, QStringLiteral("Pass")) ? fromBase64(get("Pass", QString())) : kPlaceholderPassword;
    site.smartXfer = readBool(ini, QStringLiteral("smartXfer"));
    bool ok = false;
    const int enc = ini.value(kSection, QStringLiteral("Encryption")).toInt(&ok);
    site.encryption = ok && enc >= 0 && enc <= static_cast<int>(SiteEncryption::Plain)
                          ? static_cast<SiteEncryption>(enc)
                          : SiteEncryption::ExplicitIfAvailable;
    const int protocol = ini.value(kSection, QStringLiteral("Protocol")).toInt(&ok);
    site.protocol = ok && protocol == static_cast<int>(SiteProtocol::Sftp) ? SiteProtocol::Sftp : SiteProtocol::Ftp;
    site.keyFile = get("KeyFile", QString());
    const int parallel = ini.value(kSection, QStringLiteral("SimultaneousTransfers")).toInt(&ok);
    site.simultaneousTransfers = ok && parallel >= 1 && parallel <= 10 ? parallel : 0; // 1 to 10
    if (inKeyring)
        *inKeyring = readBool(ini, kKeyringMarker);
    return true;
}

bool SiteProfiles::readProfile(const QString &sitePath, tSiteRecord &site) const
{
    const QString file = siteFile(sitePath);
    bool inKeyring = false;
    bool damaged = false;
    if (file.isEmpty() || !readProfileFile(file, site, &inKeyring, &damaged))
        return false;
    if (damaged)
        keepDamagedProfile(file);
    if (inKeyring && m_secrets) {
        // Not found or no store: the file's empty password stays, the user types it again.
        QString secret;
        if (m_secrets->read(secretKey(sitePath), secret) == SecretStore::Status::Ok)
            site.Pass = secret;
    }
    return true;
}

bool SiteProfiles::writeProfile(const QString &sitePath, const tSiteRecord &site, QString *error) const
{
    const QString file = siteFile(sitePath);
    if (file.isEmpty()) {
        if (error)
            *error = QStringLiteral("The site name is not valid.");
        return false;
    }
    QByteArray bytes;
    if (QFileInfo::exists(file)) {
        bool ok = false;
        bytes = readWholeFile(file, &ok);
        if (!ok) {
            // Writing over a file that could not be read would lose its other lines.
            if (error)
                *error = QStringLiteral("The site profile could not be read.");
            return false;
        }
    }
    if (isDamagedProfile(bytes))
        keepDamagedProfile(file);
    IniFile ini = IniFile::fromBytes(bytes);
    const bool wasInKeyring = readBool(ini, kKeyringMarker);
    const QString key = secretKey(sitePath);
    bool inKeyring = false;
    if (m_storeNew)
        inKeyring = m_secrets->write(key, site.Pass) == SecretStore::Status::Ok;
    const auto flag = [](bool b) { return b ? QStringLiteral("1") : QStringLiteral("0"); };
    const std::pair<const char *, QString> values[] = {
        {"Host", site.Host},
        {"Port", site.Port},
        {"User", site.User},
        {"lFolder", site.lFolder},
        {"rFolder", site.rFolder},
        {"anonymous", flag(site.anonymous)},
        {"desc", toBase64(site.desc)},
        {"Pass", inKeyring ? QString() : toBase64(site.Pass)},
        {"smartXfer", flag(site.smartXfer)},
        {"Encryption", QString::number(static_cast<int>(site.encryption))},
    };
    for (const auto &[key, value] : values) {
        if (!ini.setValue(kSection, QString::fromLatin1(key), value)) {
            if (error)
                *error = QStringLiteral("The field \"%1\" holds a line break.").arg(QString::fromLatin1(key));
            return false;
        }
    }
    // Written only for an SFTP site (or one that was): older versions read FTP profiles as before.
    if ((site.protocol != SiteProtocol::Ftp || ini.contains(kSection, QStringLiteral("Protocol"))) &&
        !ini.setValue(kSection, QStringLiteral("Protocol"), QString::number(static_cast<int>(site.protocol))))
        return false;
    // The same for the key file: only a site that names one (or did) gets the key.
    if ((!site.keyFile.isEmpty() || ini.contains(kSection, QStringLiteral("KeyFile"))) &&
        !ini.setValue(kSection, QStringLiteral("KeyFile"), site.keyFile)) {
        if (error)
            *error = QStringLiteral("The field \"KeyFile\" holds a line break.");
        return false;
    }
    // Written only for a site that has its own number (or had one): other files keep their keys.
    if ((site.simultaneousTransfers > 0 || ini.contains(kSection, QStringLiteral("SimultaneousTransfers"))) &&
        !ini.setValue(kSection, QStringLiteral("SimultaneousTransfers"),
                      site.simultaneousTransfers > 0 ? QString::number(site.simultaneousTransfers) : QString()))
        return false;
    // The marker is written only where the keyring is or was used: other files keep the
    // keys they always had.
    if ((inKeyring || ini.contains(kSection, kKeyringMarker)) &&
        !ini.setValue(kSection, kKeyringMarker, flag(inKeyring)))
        return false;
    if (!saveFileAtomically(file, ini.toBytes(), error, m_ownFolder ? FileAccess::OwnerOnly : FileAccess::Default))
        return false;
    // The password now lives in the file: the store's old copy goes.
    if (wasInKeyring && !inKeyring && m_secrets)
        m_secrets->remove(key);
    return true;
}

void SiteProfiles::keepDamagedProfile(const QString &file) const
{
    if (m_damagedKept.contains(file))
        return;
    m_damagedKept.insert(file);
    // A copy made before (in an earlier run, or another window) holds the file as it was
    // first found, and the user was told about it then. A profile written since keeps its
    // damaged lines, so copying again would replace the first copy with a later state.
    const QString copy = damagedCopyOf(file);
    if (QFileInfo::exists(copy))
        return;
    bool ok = false;
    const QByteArray bytes = readWholeFile(file, &ok);
    const bool copied = ok && saveFileAtomically(copy, bytes, nullptr, FileAccess::OwnerOnly);
    m_damageNotices << (copied ? QStringLiteral("%1, copied to %2").arg(file, copy)
                               : QStringLiteral("%1 (no copy could be made)").arg(file));
}

QString SiteProfiles::takeDamageNotice() const
{
    if (m_damageNotices.isEmpty())
        return QString();
    return QStringLiteral("This site profile could not be read completely; what could be read is used, and a copy "
                          "of the file was kept:\r\r") +
           std::exchange(m_damageNotices, {}).join(QStringLiteral("\r"));
}

QStringList SiteProfiles::keyringSites(const QString &nodePath) const
{
    QStringList sites;
    if (!m_secrets)
        return sites;
    const auto marked = [](const QString &file) {
        tSiteRecord site;
        bool inKeyring = false;
        return readProfileFile(file, site, &inKeyring) && inKeyring;
    };
    if (!isFolderPath(nodePath)) {
        const QString file = siteFile(nodePath);
        if (!file.isEmpty() && marked(file))
            sites << QString();
        return sites;
    }
    const QString folder = folderOf(nodePath);
    if (folder.isEmpty())
        return sites;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        if (!isProfileFileName(it.fileName()) || !marked(file))
            continue;
        QString rel = file.mid(folder.size());
        rel.chop(kExtension.size());
        rel.replace(QLatin1Char('/'), kSep);
        sites << rel;
    }
    return sites;
}

void SiteProfiles::moveSecrets(const QString &from, const QString &to, const QStringList &sites) const
{
    for (const QString &rel : sites)
        m_secrets->move(secretKey(from + rel), secretKey(to + rel));
}

SiteProfiles::Result SiteProfiles::createSite(const QString &folderPath, const QString &name) const
{
    const QString n = name.trimmed();
    if (n.isEmpty())
        return Result::Ignored;
    if (!isValidName(n))
        return Result::BadName;
    const QString folder = folderOf(folderPath);
    if (folder.isEmpty())
        return Result::Failed;
    const QString file = folder + n + kExtension;
    if (QFileInfo(file).isFile())
        return Result::Done; // an existing profile keeps its contents
    if (exists(file))
        return Result::FolderExists;
    QFile f(file);
    // NewOnly: created here or not at all, never truncating something that appeared meanwhile.
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return Result::Failed;
    if (m_ownFolder)
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return Result::Done;
}

SiteProfiles::Result SiteProfiles::createFolder(const QString &folderPath, const QString &name) const
{
    const QString n = name.trimmed();
    if (n.isEmpty() || n.startsWith(QLatin1Char('[')))
        return Result::Ignored;
    if (!isValidName(n))
        return Result::BadName;
    const QString folder = folderOf(folderPath);
    if (folder.isEmpty())
        return Result::Failed;
    if (exists(folder + n))
        return QFileInfo(folder + n).isDir() ? Result::FolderExists : Result::SiteExists;
    return QDir().mkdir(folder + n) ? Result::Done : Result::Failed;
}

SiteProfiles::Result SiteProfiles::rename(const QString &nodePath, const QString &newName) const
{
    const QString n = newName.trimmed();
    if (nodePath.isEmpty() || n.isEmpty() || nodePath == kLinksBar + kSep)
        return Result::Ignored;
    if (!isValidName(n))
        return Result::BadName;
    const bool isFolder = isFolderPath(nodePath);
    if (isFolder && n.startsWith(QLatin1Char('[')))
        return Result::Ignored;
    const QString to = childPath(parentPath(nodePath), n, isFolder);
    if (to == nodePath)
        return Result::Ignored;
    return move(nodePath, to, isFolder);
}

SiteProfiles::Result SiteProfiles::move(const QString &nodePath, const QString &targetFolderPath) const
{
    if (nodePath.isEmpty() || nodePath == kLinksBar + kSep || !isFolderPath(targetFolderPath))
        return Result::Ignored;
    const bool isFolder = isFolderPath(nodePath);
    const QString to = childPath(targetFolderPath, nodeName(nodePath), isFolder);
    if (to == nodePath)
        return Result::Ignored;
    // A folder cannot go into itself or below itself.
    if (isFolder && targetFolderPath.startsWith(nodePath))
        return Result::Failed;
    return move(nodePath, to, isFolder);
}

SiteProfiles::Result SiteProfiles::move(const QString &from, const QString &to, bool isFolder) const
{
    const QString source = isFolder ? folderOf(from) : siteFile(from);
    QString target = isFolder ? folderOf(to) : siteFile(to);
    if (source.isEmpty() || target.isEmpty())
        return Result::BadName;
    if (isFolder) {
        target.chop(1);
        if (!QFileInfo(source).isDir())
            return Result::Failed;
    } else if (!QFileInfo(source).isFile()) {
        return Result::Failed;
    }
    // Never over anything: a file rename would replace, a folder rename would replace an
    // empty folder.
    if (exists(target))
        return QFileInfo(target).isDir() ? Result::FolderExists : Result::SiteExists;
    if (!QFileInfo(QFileInfo(target).path()).isDir())
        return Result::Failed;
    QString src = source;
    if (isFolder)
        src.chop(1);
    const QStringList secrets = keyringSites(from);
    if (!QDir().rename(src, target))
        return Result::Failed;
    moveSecrets(from, to, secrets);
    return Result::Done;
}

SiteProfiles::Result SiteProfiles::remove(const QString &nodePath) const
{
    if (nodePath.isEmpty() || nodePath == kLinksBar + kSep)
        return Result::Ignored;
    if (isFolderPath(nodePath)) {
        const QString folder = folderOf(nodePath);
        if (folder.isEmpty())
            return Result::BadName;
        return QDir().rmdir(folder) ? Result::Done : Result::Failed;
    }
    const QString file = siteFile(nodePath);
    if (file.isEmpty())
        return Result::BadName;
    if (!QFileInfo(file).isFile())
        return Result::Failed;
    const bool inKeyring = !keyringSites(nodePath).isEmpty();
    if (!QFile::remove(file))
        return Result::Failed;
    if (inKeyring)
        m_secrets->remove(secretKey(nodePath));
    return Result::Done;
}
