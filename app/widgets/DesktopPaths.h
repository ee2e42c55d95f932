#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QString>

// Where the program finds what is installed beside it.
namespace DesktopPaths {

// The freedesktop id of the program: its launcher's and its metainfo's name.
inline QString appId()
{
    return QStringLiteral("org.kestrinftp.KestrinFtpPro");
}

// The help pages: "manual/" beside the program in a build folder, or the installed
// share/kestrin-ftp/manual/ of the prefix the program was installed into.
inline QString manualFolder()
{
    const QString dir = QCoreApplication::applicationDirPath();
    const QString beside = dir + QStringLiteral("/manual/");
    const QString installed = QDir::cleanPath(dir + QStringLiteral("/../share/kestrin-ftp/manual")) + QLatin1Char('/');
    return QDir(beside).exists() || !QDir(installed).exists() ? beside : installed;
}

} // namespace DesktopPaths
