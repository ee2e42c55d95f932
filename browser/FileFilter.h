#pragma once

#include "listing/FolderEntries.h"

#include <QString>

// The filter row of a file list: its text and its two check boxes.
struct FileFilter {
    QString text;
    bool alwaysFolders = true; // "Always show folders"
    bool wildcard = false;     // "Wildcard": the text is a pattern instead of a substring
};

// A filter made ready for testing many entries: the pattern is lower-cased once.
class PreparedFilter {
public:
    // rowShown: whether the list's filter row is visible; a hidden row filters nothing.
    PreparedFilter(const FileFilter &filter, bool rowShown);

    // An entry passes when nothing filters, when it is a folder and folders always show,
    // when the lower-cased name matches the lower-cased pattern (wildcard), or when the name
    // contains the text in any letter case (substring).
    bool accepts(const tFolderEntryObject &entry) const;

private:
    bool m_passAll;
    bool m_alwaysFolders;
    bool m_wildcard;
    QString m_text; // lower-cased when wildcard
};
