#include "app/DataFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

DataFolders DataFolders::locate()
{
    QString appData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!appData.endsWith(QLatin1Char('/')))
        appData += QLatin1Char('/');
    DataFolders f;
    f.base = appData + QStringLiteral("Tamberlyn/Kestrin FTP Pro/");
    f.programData = f.base + QStringLiteral("Program Data/");
    f.temporary = f.base + QStringLiteral("Temporary/");
    f.savedQueue = f.base + QStringLiteral("Saved Queue/");
    f.sharedProfiles = appData + QStringLiteral("Tamberlyn/Shared/FTP Profiles/");
    return f;
}

bool DataFolders::create() const
{
    bool ok = true;
    const bool newProfilesFolder = !QFileInfo::exists(sharedProfiles);
    for (const QString *path : {&programData, &temporary, &savedQueue, &sharedProfiles})
        ok = QDir().mkpath(*path) && ok;
    // Profiles hold passwords: a profiles folder made here is the user's alone. One that
    // already existed keeps its modes (it may have been made to be shared).
    if (newProfilesFolder)
        QFile::setPermissions(sharedProfiles, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The program's own folders hold passwords (settings, connection history): only the
    // user may enter them. The shared profiles folder keeps the permissions it was given.
    for (const QString *path : {&base, &programData, &temporary, &savedQueue})
        QFile::setPermissions(*path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return ok;
}
