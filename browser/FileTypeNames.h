#pragma once

#include "listing/FolderEntries.h"

#include <QHash>
#include <QMimeDatabase>
#include <QString>

// Type descriptions for the Type column, looked up once per key for the whole run
// (typeCache). A file's key is the text after its name's last "." (the whole name when it has
// none), compared without regard to letter case. Folders have a slot of their own, so a file
// named x.folder can never give every folder its description.
class FileTypeNames {
public:
    QString typeText(const tFolderEntryObject &entry);

private:
    QString describeFile(const QString &key, const tFolderEntryObject &entry) const;

    QMimeDatabase m_mimeDatabase;
    QString m_folderText;
    QHash<QString, QString> m_typeCache; // lower-cased key -> description
};
