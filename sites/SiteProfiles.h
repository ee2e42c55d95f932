#pragma once

#include "sites/SiteRecord.h"

class SecretStore;

#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

// The site profiles: one small INI file per site (name + ".veze") in a tree of ordinary
// folders under the profiles folder. The folder tree is the file system itself, so several
// users can share one set of profiles by pointing their programs at the same folder.
//
// Nodes are named by node paths: the names from below the profiles folder down to the
// node, joined with "\". A folder's path ends with "\", a site's path has no ending
// separator and no extension, the profiles folder itself is the empty path. Every path
// and name is checked before it touches the file system: nothing is created, moved or
// renamed outside the profiles folder, and nothing existing is ever replaced.
class SiteProfiles {
public:
    // Outcome of a change to the tree.
    enum class Result {
        Done,
        Ignored,      // an empty name, a reserved name, the root: nothing to do, nothing to say
        BadName,      // a name with a character no profile or folder name may hold
        SiteExists,   // a site profile of that name is already there
        FolderExists, // a folder of that name is already there
        Failed,       // the file system refused (a folder into itself, no permission, not empty)
    };

    static const QString kExtension;           // ".veze"
    static const QString kLinksBar;            // "[links bar]", the links bar's folder
    static const QString kRootName;            // "[favorites]", the tree's root
    static const QString kPlaceholderHost;     // the host of a profile without "Host"
    static const QString kPlaceholderPassword; // the password of a profile without "Pass"
    static const QString kSection;             // "FTP"
    static const QString kKeyringMarker;       // "PassInKeyring": "1" when the secret store holds "Pass"

    // folder: the profiles folder (with or without the ending "/"). ownFolder: the
    // program's default folder, whose profiles only their owner may read; a shared folder
    // chosen by the user keeps the modes its owners gave it.
    explicit SiteProfiles(const QString &folder, bool ownFolder = true);
    const QString &folder() const { return m_folder; }

    // Passwords in a secret store. With storeNew, a saved password goes to the store and
    // the file keeps an empty "Pass" and the marker "PassInKeyring=1"; when the store is
    // unavailable (or storeNew is off) the password is written into the file as before and
    // the marker is "0". Profiles marked as held by the store are read from it whatever
    // storeNew says. Renames, moves and deletes carry the store's entries along.
    // The store must outlive this object; null means files only.
    void setSecretStore(SecretStore *store, bool storeNew);
    // The store's key of a site's password: the profiles folder and the site's node path.
    QString secretKey(const QString &sitePath) const;

    struct Node {
        QString name;
        bool isFolder = false;
        std::vector<Node> children; // folders first, then sites, each by locale-aware order
    };
    // The whole tree under the root. Creates "[links bar]" when it is missing.
    Node tree() const;
    // The links bar's names: every profile under "[links bar]" relative to it, "\" between
    // the parts, without extension, sorted without regard to letter case.
    QStringList linkNames() const;

    // True for file names that are profiles: ending in ".veze" (any letter case).
    static bool isProfileFileName(const QString &fileName);
    // True when a typed name may name a site or a folder: not empty, not "." or "..", and
    // none of \ / : * ? " < > | nor a control character.
    static bool isValidName(const QString &name);
    static QString siteNameMessage();
    static QString folderNameMessage();

    // Node path helpers.
    static bool isFolderPath(const QString &nodePath)
    {
        return nodePath.isEmpty() || nodePath.endsWith(QLatin1Char('\\'));
    }
    static QString nodeName(const QString &nodePath);
    static QString parentPath(const QString &nodePath); // the folder holding the node ("" for top level)

    // The file of a site, or the folder of a folder path; empty when the path has a part
    // that is not a valid name (it could lead outside the profiles folder).
    QString siteFile(const QString &sitePath) const;
    QString folderOf(const QString &folderPath) const;

    // Reads a profile. A missing file reads as all defaults; false only when the file
    // exists and cannot be read.
    // inKeyring (optional) tells whether the file marks its password as held by the
    // secret store (the record's Pass is then the file's, empty). damaged (optional) tells
    // whether the file's text is damaged (isDamagedProfile); what could be read is read.
    static bool readProfileFile(const QString &file, tSiteRecord &site, bool *inKeyring = nullptr,
                                bool *damaged = nullptr);
    // The same for a site of the tree. A damaged profile is copied aside (damagedCopyOf)
    // before anything can write over it, and a notice about it waits for takeDamageNotice.
    bool readProfile(const QString &sitePath, tSiteRecord &site) const;
    // Writes the record's profile fields into the site's file, keeping every line the
    // program does not write, and replaces the file atomically. A damaged file is copied
    // aside first, as readProfile does.
    bool writeProfile(const QString &sitePath, const tSiteRecord &site, QString *error = nullptr) const;

    // Text that is not UTF-8, holds NUL bytes, or has a line that is neither a section
    // header, a key=value line (inside a section), a comment nor a blank line: a file cut
    // or overwritten by something else. Writing it back would lose or change those lines.
    static bool isDamagedProfile(const QByteArray &bytes);
    // Where the copy of a damaged profile goes: "Name.veze-damaged" beside it, which the
    // tree does not show as a profile (so the copy is never read, copied or written again).
    static QString damagedCopyOf(const QString &file);
    // The damaged profiles found since the last call, each named with its copy when the copy
    // was made (once: a copy that exists already is kept and not named again); empty when
    // there are none. The caller shows it to the user.
    QString takeDamageNotice() const;

    // New site in a folder: an existing profile of that name is kept as it is.
    Result createSite(const QString &folderPath, const QString &name) const;
    // New folder; names beginning with "[" are reserved and ignored.
    Result createFolder(const QString &folderPath, const QString &name) const;
    // Renames a site or folder within its parent; never replaces anything.
    Result rename(const QString &nodePath, const QString &newName) const;
    // Moves a site or folder into another folder under the same name; never replaces anything.
    Result move(const QString &nodePath, const QString &targetFolderPath) const;
    // Deletes a site's file, or a folder only when it is empty. The root and "[links bar]"
    // stay.
    Result remove(const QString &nodePath) const;

    // The node path a site or folder named `name` in the folder `folderPath` would have.
    static QString childPath(const QString &folderPath, const QString &name, bool isFolder);

private:
    // The parts of a node path, or false when one of them is not a valid name.
    static bool splitPath(const QString &nodePath, QStringList &parts);
    QString pathOf(const QString &nodePath) const; // file or folder, "" when invalid
    Result move(const QString &from, const QString &to, bool isFolder) const;
    // The node paths of the sites whose passwords the store holds, at or below nodePath.
    QStringList keyringSites(const QString &nodePath) const;
    // After a rename or move: the store's entries follow their sites (relative paths).
    void moveSecrets(const QString &from, const QString &to, const QStringList &sites) const;

    // Copies a damaged profile aside unless a copy exists, and queues its notice.
    void keepDamagedProfile(const QString &file) const;

    QString m_folder; // ends in "/"
    bool m_ownFolder;
    SecretStore *m_secrets = nullptr;
    bool m_storeNew = false;
    // Damaged profiles copied aside this run, and the notices not yet taken.
    mutable QSet<QString> m_damagedKept;
    mutable QStringList m_damageNotices;
};
