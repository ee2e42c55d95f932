#include "browser/FileFilter.h"

#include "browser/LocalFiles.h"

PreparedFilter::PreparedFilter(const FileFilter &filter, bool rowShown)
    : m_passAll(!rowShown || filter.text.isEmpty()), m_alwaysFolders(filter.alwaysFolders), m_wildcard(filter.wildcard),
      m_text(filter.wildcard ? filter.text.toLower() : filter.text)
{
}

bool PreparedFilter::accepts(const tFolderEntryObject &entry) const
{
    if (m_passAll || (entry.isFolder && m_alwaysFolders))
        return true;
    if (m_wildcard)
        return wildcardMatch(entry.name.toLower(), m_text);
    return entry.name.contains(m_text, Qt::CaseInsensitive);
}
