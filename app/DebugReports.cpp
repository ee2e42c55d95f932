#include "app/DebugReports.h"

#include "base/Files.h"
#include "base/TextCodec.h"
#include "settings/SettingsCatalogue.h"
#include "settings/u_tmbSetup.h"

#include <QDir>

namespace DebugReports {

QString writeTempFile(const QString &name, const QStringList &lines)
{
    const QString path = QDir(QDir::tempPath()).filePath(name);
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += TextCodec::encodeStored(line) + "\r\n";
    saveFileAtomicallyOrThrow(path, bytes, QStringLiteral("Cannot write"));
    return path;
}

QStringList setupKeys(const tSetupClass &setup)
{
    QStringList keys;
    for (const auto &entry : setup.settingEntries())
        keys << entry.key;
    return keys;
}

QStringList setupEntryLines(const tSetupClass &setup)
{
    QStringList lines;
    for (const auto &entry : setup.settingEntries()) {
        // The launch password is never written out where others could read it.
        if (entry.key.compare(Keys::launchPassword.key(), Qt::CaseInsensitive) == 0)
            lines << entry.key + tSetupClass::kSeparator + QStringLiteral("********");
        else
            lines << entry.line;
    }
    return lines;
}

QString infoLine(const QString &label, const QString &value)
{
    return label.leftJustified(26, QLatin1Char(' ')) + QStringLiteral(": ") + value;
}

QStringList infoLines(const DebugInfo &info)
{
    const auto yesNo = [](bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); };
    return {
        infoLine(QStringLiteral("form widthXheight"), QStringLiteral("%1x%2").arg(info.width).arg(info.height)),
        infoLine(QStringLiteral("rFolder"), info.rFolder),
        infoLine(QStringLiteral("LLV.TAG"), QString::number(info.llvTag)),
        infoLine(QStringLiteral("RLV.TAG"), QString::number(info.rlvTag)),
        infoLine(QStringLiteral("rFolder"), info.rFolder),
        infoLine(QStringLiteral("FTPCli Version"), QString::number(kFtpCliVersion)),
        infoLine(QStringLiteral("App Runs"), info.appRuns),
        infoLine(QStringLiteral("AppDataFolder"), info.appDataFolder),
        infoLine(QStringLiteral("DataFolder"), info.dataFolder),
        infoLine(QStringLiteral("Site From SiteManager"), yesNo(info.siteFromSiteManager)),
        infoLine(QStringLiteral("lastSelectedTn_local"), info.lastSelectedLocal),
        infoLine(QStringLiteral("lastSelectedTn_remote"), info.lastSelectedRemote),
        infoLine(QStringLiteral("mFTP.tag"), QString::number(info.mainSessionTag)),
    };
}

QStringList entriesLines(const QStringList &localEntries, const QStringList &remoteEntries)
{
    const QString rule(40, QLatin1Char('-'));
    QStringList lines{QStringLiteral("LOCAL ENTRIES"), rule};
    lines << localEntries << QString() << QStringLiteral("REMOTE ENTRIES") << rule << remoteEntries;
    return lines;
}

namespace {

template <typename List> QStringList namesOf(const List &entries)
{
    QStringList names;
    names.reserve(static_cast<qsizetype>(entries.size()));
    for (const auto &item : entries)
        names << item.entry.name;
    return names;
}

} // namespace

QStringList entryNames(const tLocalEntryList &entries)
{
    return namesOf(entries);
}

QStringList entryNames(const tRemoteEntryList &entries)
{
    return namesOf(entries);
}

QStringList cachedFolderLines(const tFolderMap &folders)
{
    const QString rule(40, QLatin1Char('-'));
    QStringList lines;
    for (const auto &[path, folder] : folders) {
        lines << path + (folder->needsRefresh ? QStringLiteral(" (NEEDS REFRESH)")
                                              : QStringLiteral(" (NO REFRESH NEEDED)"));
        for (const auto &item : folder->folderEntries) {
            lines << QStringLiteral("  -  %1 - Size: %2 - Attr: %3")
                         .arg(item.entry.name)
                         .arg(item.entry.size)
                         .arg(item.entry.attr);
        }
        lines << rule;
    }
    return lines;
}

} // namespace DebugReports
