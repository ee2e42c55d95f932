#include "browser/FileTypeNames.h"

QString FileTypeNames::typeText(const tFolderEntryObject &entry)
{
    if (entry.isFolder) {
        if (m_folderText.isEmpty()) {
            m_folderText = m_mimeDatabase.mimeTypeForName(QStringLiteral("inode/directory")).comment();
            if (m_folderText.isEmpty())
                m_folderText = QStringLiteral("Folder");
        }
        return m_folderText;
    }
    const qsizetype dot = entry.name.lastIndexOf(u'.');
    const QString key = (dot < 0 ? entry.name : entry.name.mid(dot + 1)).toLower();
    const auto it = m_typeCache.constFind(key);
    if (it != m_typeCache.constEnd())
        return *it;
    const QString description = describeFile(key, entry);
    m_typeCache.insert(key, description);
    return description;
}

QString FileTypeNames::describeFile(const QString &key, const tFolderEntryObject &entry) const
{
    // Only a real extension has a registered description; a name without "." gets the
    // fallback text (readme gives "README file").
    if (entry.name.contains(u'.')) {
        const QList<QMimeType> types = m_mimeDatabase.mimeTypesForFileName(QStringLiteral("x.") + key);
        if (!types.isEmpty() && !types.first().comment().isEmpty())
            return types.first().comment();
    }
    return key.toUpper() + QStringLiteral(" file");
}
