#include "app/DataFolders.h"

#include <QDir>
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
    return ok;
}
