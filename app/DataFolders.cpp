#include "app/DataFolders.h"

#include <QDir>
#include <QFile>
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
    for (const QString *path : {&programData, &temporary, &savedQueue, &sharedProfiles})
        ok = QDir().mkpath(*path) && ok;
    // The program's own folders hold passwords (settings, connection history): only the
    // user may enter them. The shared profiles folder keeps the permissions it was given.
    for (const QString *path : {&base, &programData, &temporary, &savedQueue})
        QFile::setPermissions(*path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return ok;
}
