// The site profile store in a temporary folder: reading and writing profiles (keeping what
// the program does not write), the tree, the links bar's names, and the changes to the
// tree with their refusals.
#include "sites/SiteProfiles.h"

#include "base/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string_view>

namespace {

using Result = SiteProfiles::Result;

class SiteProfilesTest : public ::testing::Test {
protected:
    QString root() const { return dir.path() + QLatin1Char('/'); }
    void put(const QString &rel, const QByteArray &bytes = {})
    {
        QDir().mkpath(QFileInfo(root() + rel).path());
        QFile f(root() + rel);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray content(const QString &rel) const
    {
        bool ok = false;
        return readWholeFile(root() + rel, &ok);
    }
    bool has(const QString &rel) const { return QFileInfo::exists(root() + rel); }
    // The tree as lines "depth name/" for folders and "depth name" for sites.
    QStringList flatTree() const
    {
        QStringList out;
        std::function<void(const SiteProfiles::Node &, int)> walk = [&](const SiteProfiles::Node &n, int depth) {
            for (const auto &c : n.children) {
                out << QString::number(depth) + QLatin1Char(' ') + c.name +
                           (c.isFolder ? QStringLiteral("/") : QString());
                walk(c, depth + 1);
            }
        };
        walk(store.tree(), 0);
        return out;
    }

    QTemporaryDir dir;
    SiteProfiles store{dir.path()};
};

TEST_F(SiteProfilesTest, AProfileWithoutKeysOrWithoutFileReadsAsDefaults)
{
    put(QStringLiteral("Empty.veze"));
    for (const QString &path : {QStringLiteral("Empty"), QStringLiteral("Missing")}) {
        tSiteRecord site;
        site.rFolder = QStringLiteral("left over");
        ASSERT_TRUE(store.readProfile(path, site));
        EXPECT_EQ(site.Host, SiteProfiles::kPlaceholderHost);
        EXPECT_EQ(site.Port, QStringLiteral("21"));
        EXPECT_EQ(site.User, QStringLiteral("anonymous"));
        EXPECT_EQ(site.Pass, SiteProfiles::kPlaceholderPassword);
        EXPECT_TRUE(site.lFolder.isEmpty() && site.rFolder.isEmpty() && site.desc.isEmpty());
        EXPECT_FALSE(site.anonymous || site.smartXfer);
        EXPECT_EQ(site.encryption, SiteEncryption::ExplicitIfAvailable);
    }
}

TEST_F(SiteProfilesTest, AnUnreadableProfileIsAFailureNotDefaults)
{
    // Something that cannot be read as a file (here a folder, which stops root as well).
    ASSERT_TRUE(QDir().mkpath(root() + QStringLiteral("Locked.veze")));
    tSiteRecord site;
    EXPECT_FALSE(store.readProfile(QStringLiteral("Locked"), site));
    // Nor is it written over: what it holds could not be kept.
    site.Host = QStringLiteral("h");
    EXPECT_FALSE(store.writeProfile(QStringLiteral("Locked"), site));
    EXPECT_TRUE(QFileInfo(root() + QStringLiteral("Locked.veze")).isDir());
}

// A damaged profile is read as far as it can be, copied aside (beside it, where the tree
// does not show it) before anything writes over it, and named once in a notice; the first
// copy is never replaced.
TEST_F(SiteProfilesTest, ADamagedProfileIsCopiedAsideBeforeItIsWrittenAndNamedOnce)
{
    struct Case {
        const char *what;
        QByteArray bytes;
        bool damaged;
    };
    const Case cases[] = {
        {"not UTF-8", QByteArray("[FTP]\r\nHost=h.example\r\nUser=\xff\xfe\r\n"), true},
        {"NUL bytes of a cut write", QByteArray("[FTP]\r\nHost=h.example\r\n\0\0\0\0", 27), true},
        {"a line that is no key", QByteArray("[FTP]\r\nHost=h.example\r\ngarbage line\r\n"), true},
        {"a key before any section", QByteArray("Port=21\r\n[FTP]\r\nHost=h.example\r\n"), true},
        {"comments, blank lines and unknown keys",
         QByteArray("; by hand\r\n# too\r\n\r\n[FTP]\r\nHost=h.example\r\nColour=blue\r\n[Other]\r\nx=\r\n"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const SiteProfiles profiles(dir.path());
        put(QStringLiteral("Site.veze"), c.bytes);
        QFile::remove(root() + QStringLiteral("Site.veze-damaged"));
        EXPECT_EQ(SiteProfiles::isDamagedProfile(c.bytes), c.damaged);
        tSiteRecord site;
        ASSERT_TRUE(profiles.readProfile(QStringLiteral("Site"), site));
        EXPECT_EQ(site.Host, QStringLiteral("h.example"));
        site.Port = QStringLiteral("2121");
        ASSERT_TRUE(profiles.writeProfile(QStringLiteral("Site"), site));
        ASSERT_TRUE(profiles.readProfile(QStringLiteral("Site"), site));
        EXPECT_EQ(site.Port, QStringLiteral("2121"));
        const QString notice = profiles.takeDamageNotice();
        if (!c.damaged) {
            EXPECT_TRUE(notice.isEmpty()) << notice.toStdString();
            EXPECT_FALSE(has(QStringLiteral("Site.veze-damaged")));
            continue;
        }
        // The copy holds the file as it was before the write, also after a later reading of
        // the written file (which keeps its damaged lines), and is no profile of the tree.
        const SiteProfiles later(dir.path());
        ASSERT_TRUE(later.readProfile(QStringLiteral("Site"), site));
        EXPECT_EQ(content(QStringLiteral("Site.veze-damaged")), c.bytes);
        EXPECT_EQ(flatTree(), (QStringList{QStringLiteral("0 [links bar]/"), QStringLiteral("0 Site")}));
        EXPECT_EQ(notice.count(root() + QStringLiteral("Site.veze, copied to ")), 1) << notice.toStdString();
    }
}

TEST_F(SiteProfilesTest, SavingKeepsUnknownLinesAndAppendsMissingKeysInOrder)
{
    put(QStringLiteral("Work.veze"),
        "; written by hand\r\n[ftp]\r\nhost=old.example\r\nColour=blue\r\n\r\n[Other]\r\nx=1\r\n");
    tSiteRecord site;
    site.Host = QStringLiteral("127.0.0.1");
    site.Port = QStringLiteral("2121");
    site.User = QStringLiteral("ann");
    site.Pass = QStringLiteral("p=ss word\u00e9");
    site.desc = QStringLiteral("first line\nsecond line");
    site.lFolder = QStringLiteral("/home/ann/up");
    site.rFolder = QStringLiteral("/pub");
    site.anonymous = true;
    site.smartXfer = true;
    site.encryption = SiteEncryption::Implicit;
    ASSERT_TRUE(store.writeProfile(QStringLiteral("Work"), site));

    EXPECT_EQ(content(QStringLiteral("Work.veze")),
              QByteArray("; written by hand\r\n[ftp]\r\nHost=127.0.0.1\r\nColour=blue\r\nPort=2121\r\nUser=ann\r\n"
                         "lFolder=/home/ann/up\r\nrFolder=/pub\r\nanonymous=1\r\n"
                         "desc=Zmlyc3QgbGluZQpzZWNvbmQgbGluZQ==\r\nPass=cD1zcyB3b3Jkw6k=\r\nsmartXfer=1\r\n"
                         "Encryption=2\r\n\r\n[Other]\r\nx=1\r\n"));
    // It holds a password: neither the group nor others may read it.
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_FALSE(QFileInfo(root() + QStringLiteral("Work.veze")).permissions() & others);

    tSiteRecord back;
    ASSERT_TRUE(store.readProfile(QStringLiteral("Work"), back));
    EXPECT_EQ(back.Host, site.Host);
    EXPECT_EQ(back.Pass, site.Pass);
    EXPECT_EQ(back.desc, site.desc);
    EXPECT_EQ(back.Port, site.Port);
    EXPECT_EQ(back.lFolder, site.lFolder);
    EXPECT_TRUE(back.anonymous && back.smartXfer);
    EXPECT_EQ(back.encryption, SiteEncryption::Implicit);

    // A value with a line break would make a line of its own: refused, the file stays.
    const QByteArray before = content(QStringLiteral("Work.veze"));
    site.Host = QStringLiteral("a\r\nPass=x");
    EXPECT_FALSE(store.writeProfile(QStringLiteral("Work"), site));
    EXPECT_EQ(content(QStringLiteral("Work.veze")), before);
}

TEST_F(SiteProfilesTest, FlagsAndEncryptionReadOnlyWhatTheyCanMean)
{
    struct Case {
        const char *value;
        bool flag;
        SiteEncryption encryption;
        int transfers; // the site's own number of simultaneous transfers; 0 is the global one
    } cases[] = {
        {"1", true, SiteEncryption::ExplicitRequired, 1},     {"2", true, SiteEncryption::Implicit, 2},
        {"0", false, SiteEncryption::ExplicitIfAvailable, 0}, {"yes", false, SiteEncryption::ExplicitIfAvailable, 0},
        {"", false, SiteEncryption::ExplicitIfAvailable, 0},  {"-1", true, SiteEncryption::ExplicitIfAvailable, 0},
        {"7", true, SiteEncryption::ExplicitIfAvailable, 7},  {"10", true, SiteEncryption::ExplicitIfAvailable, 10},
        {"11", true, SiteEncryption::ExplicitIfAvailable, 0},
    };
    for (const Case &c : cases) {
        put(QStringLiteral("F.veze"), QByteArray("[FTP]\nanonymous=") + c.value + "\nsmartXfer=" + c.value +
                                          "\nEncryption=" + c.value + "\nSimultaneousTransfers=" + c.value +
                                          "\nProtocol=" + c.value + "\n");
        tSiteRecord site;
        ASSERT_TRUE(store.readProfile(QStringLiteral("F"), site));
        EXPECT_EQ(site.anonymous, c.flag) << c.value;
        EXPECT_EQ(site.smartXfer, c.flag) << c.value;
        EXPECT_EQ(site.encryption, c.encryption) << c.value;
        EXPECT_EQ(site.simultaneousTransfers, c.transfers) << c.value;
        // Only "1" is SFTP: anything else a file may hold reads as FTP.
        EXPECT_EQ(site.protocol, std::string_view(c.value) == "1" ? SiteProtocol::Sftp : SiteProtocol::Ftp) << c.value;
    }
}

// A site's own number of simultaneous transfers, its protocol and its key file are kept; set
// back to "global" the number is emptied, and profiles that never had them get no such key.
TEST_F(SiteProfilesTest, ASitesOwnTransferCountProtocolAndKeyFileAreKeptAndDefaultsWriteNothing)
{
    tSiteRecord site;
    site.Host = QStringLiteral("ftp.example.org");
    ASSERT_TRUE(store.writeProfile(QStringLiteral("Plain"), site));
    for (const char *key : {"SimultaneousTransfers", "Protocol", "KeyFile"})
        EXPECT_FALSE(content(QStringLiteral("Plain.veze")).contains(key)) << key;
    site.simultaneousTransfers = 4;
    site.protocol = SiteProtocol::Sftp;
    const QString key = QStringLiteral("/home/j\u00F6rg/.ssh/id work");
    site.keyFile = key;
    ASSERT_TRUE(store.writeProfile(QStringLiteral("Own"), site));
    tSiteRecord back;
    ASSERT_TRUE(store.readProfile(QStringLiteral("Own"), back));
    EXPECT_EQ(back.simultaneousTransfers, 4);
    EXPECT_EQ(back.protocol, SiteProtocol::Sftp);
    EXPECT_EQ(back.keyFile, key);
    site.simultaneousTransfers = 0;
    site.protocol = SiteProtocol::Ftp;
    site.keyFile.clear();
    ASSERT_TRUE(store.writeProfile(QStringLiteral("Own"), site));
    ASSERT_TRUE(store.readProfile(QStringLiteral("Own"), back));
    EXPECT_EQ(back.simultaneousTransfers, 0);
    EXPECT_EQ(back.protocol, SiteProtocol::Ftp);
    EXPECT_TRUE(back.keyFile.isEmpty());

    // A key file that would start a line of its own is refused; the file stays as it was.
    const QByteArray before = content(QStringLiteral("Own.veze"));
    site.keyFile = QStringLiteral("/keys/a\nHost=evil.example");
    QString error;
    EXPECT_FALSE(store.writeProfile(QStringLiteral("Own"), site, &error));
    EXPECT_TRUE(error.contains(QLatin1String("KeyFile"))) << error.toStdString();
    EXPECT_EQ(content(QStringLiteral("Own.veze")), before);
}

TEST_F(SiteProfilesTest, TheTreeListsFoldersFirstAndOnlyProfiles)
{
    put(QStringLiteral("zeta.veze"));
    put(QStringLiteral("Alpha.VEZE"));
    put(QStringLiteral("notes.txt"));
    put(QStringLiteral("old.veze.bak"));
    put(QStringLiteral("Clients/Work.veze"));
    put(QStringLiteral("Clients/Deep/Inner.veze"));
    QDir().mkpath(root() + QStringLiteral("Empty"));
    EXPECT_EQ(flatTree(),
              (QStringList{QStringLiteral("0 Clients/"), QStringLiteral("1 Deep/"), QStringLiteral("2 Inner"),
                           QStringLiteral("1 Work"), QStringLiteral("0 Empty/"), QStringLiteral("0 [links bar]/"),
                           QStringLiteral("0 Alpha"), QStringLiteral("0 zeta")}));
    EXPECT_TRUE(QFileInfo(root() + SiteProfiles::kLinksBar).isDir());
}

TEST_F(SiteProfilesTest, LinkNamesComeFromTheLinksBarFolderSorted)
{
    EXPECT_TRUE(store.linkNames().isEmpty());
    put(QStringLiteral("[links bar]/work/server.veze"));
    put(QStringLiteral("[links bar]/Home.veze"));
    put(QStringLiteral("[links bar]/zoo.veze"));
    put(QStringLiteral("[links bar]/old.veze.bak"));
    QDir().mkpath(root() + QStringLiteral("[links bar]/nothing here"));
    put(QStringLiteral("Elsewhere.veze"));
    EXPECT_EQ(store.linkNames(),
              (QStringList{QStringLiteral("Home"), QStringLiteral("work\\server"), QStringLiteral("zoo")}));
}

TEST_F(SiteProfilesTest, NamesThatCouldLeaveTheFolderOrBreakPathsAreRefused)
{
    put(QStringLiteral("Site.veze"), "[FTP]\r\nHost=h\r\n");
    QDir().mkpath(root() + QStringLiteral("Folder"));
    const QString bad[] = {QStringLiteral("a/b"),          QStringLiteral("a\\b"),     QStringLiteral("."),
                           QStringLiteral(".."),           QStringLiteral("a:b"),      QStringLiteral("../x"),
                           QString::fromUtf16(u"a\0b", 3), QStringLiteral("tab\there")};
    for (const QString &name : bad) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(store.createSite(QString(), name), Result::BadName);
        EXPECT_EQ(store.createFolder(QString(), name), Result::BadName);
        EXPECT_EQ(store.rename(QStringLiteral("Site"), name), Result::BadName);
        EXPECT_EQ(store.rename(QStringLiteral("Folder\\"), name), Result::BadName);
    }
    // Node paths that come from the settings are checked the same way.
    tSiteRecord site;
    EXPECT_FALSE(store.readProfile(QStringLiteral("..\\..\\outside"), site));
    EXPECT_FALSE(store.writeProfile(QStringLiteral("..\\outside"), site));
    EXPECT_EQ(store.createSite(QStringLiteral("..\\"), QStringLiteral("x")), Result::Failed);
    EXPECT_EQ(store.move(QStringLiteral("Site"), QStringLiteral("..\\")), Result::BadName);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/../outside.veze")));
    EXPECT_EQ(QDir(root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("Folder"), QStringLiteral("Site.veze")}));

    // Empty names and folder names beginning with "[" are ignored without a message.
    EXPECT_EQ(store.createSite(QString(), QStringLiteral("   ")), Result::Ignored);
    EXPECT_EQ(store.createFolder(QString(), QStringLiteral("[mine]")), Result::Ignored);
}

TEST_F(SiteProfilesTest, CreatingASiteThatExistsKeepsItsContents)
{
    put(QStringLiteral("Clients/Work.veze"), "[FTP]\r\nHost=keep.example\r\n");
    EXPECT_EQ(store.createSite(QStringLiteral("Clients\\"), QStringLiteral("  Work ")), Result::Done);
    EXPECT_EQ(content(QStringLiteral("Clients/Work.veze")), QByteArray("[FTP]\r\nHost=keep.example\r\n"));
    EXPECT_EQ(store.createSite(QStringLiteral("Clients\\"), QStringLiteral("New")), Result::Done);
    EXPECT_TRUE(has(QStringLiteral("Clients/New.veze")));
    EXPECT_EQ(store.createFolder(QStringLiteral("Clients\\"), QStringLiteral("Sub")), Result::Done);
    EXPECT_TRUE(QFileInfo(root() + QStringLiteral("Clients/Sub")).isDir());
    EXPECT_EQ(store.createFolder(QStringLiteral("Clients\\"), QStringLiteral("Sub")), Result::FolderExists);
}

TEST_F(SiteProfilesTest, RenameAndMoveNeverReplaceAnything)
{
    put(QStringLiteral("A.veze"), "a");
    put(QStringLiteral("B.veze"), "b");
    put(QStringLiteral("Dir/A.veze"), "dir a");
    QDir().mkpath(root() + QStringLiteral("Empty"));
    QDir().mkpath(root() + QStringLiteral("Dir/Empty"));
    QDir().mkpath(root() + QStringLiteral("Full/Inner"));

    EXPECT_EQ(store.rename(QStringLiteral("A"), QStringLiteral("B")), Result::SiteExists);
    EXPECT_EQ(store.move(QStringLiteral("A"), QStringLiteral("Dir\\")), Result::SiteExists);
    EXPECT_EQ(store.rename(QStringLiteral("Full\\"), QStringLiteral("Empty")), Result::FolderExists);
    EXPECT_EQ(store.move(QStringLiteral("Empty\\"), QStringLiteral("Dir\\")), Result::FolderExists);
    EXPECT_EQ(store.move(QStringLiteral("Full\\"), QStringLiteral("Full\\Inner\\")), Result::Failed);
    EXPECT_EQ(content(QStringLiteral("A.veze")), QByteArray("a"));
    EXPECT_EQ(content(QStringLiteral("B.veze")), QByteArray("b"));
    EXPECT_EQ(content(QStringLiteral("Dir/A.veze")), QByteArray("dir a"));
    EXPECT_TRUE(has(QStringLiteral("Empty")) && has(QStringLiteral("Full/Inner")));

    EXPECT_EQ(store.rename(QStringLiteral("A"), QStringLiteral("C")), Result::Done);
    EXPECT_EQ(content(QStringLiteral("C.veze")), QByteArray("a"));
    EXPECT_EQ(store.move(QStringLiteral("C"), QStringLiteral("Full\\Inner\\")), Result::Done);
    EXPECT_EQ(content(QStringLiteral("Full/Inner/C.veze")), QByteArray("a"));
    EXPECT_EQ(store.move(QStringLiteral("Full\\"), QStringLiteral("Dir\\")), Result::Done);
    EXPECT_EQ(content(QStringLiteral("Dir/Full/Inner/C.veze")), QByteArray("a"));
    EXPECT_EQ(store.rename(QStringLiteral("Dir\\Full\\"), QStringLiteral("Moved")), Result::Done);
    EXPECT_TRUE(has(QStringLiteral("Dir/Moved/Inner/C.veze")));
    // The links bar's folder stays where the links bar looks for it.
    store.tree();
    EXPECT_EQ(store.rename(SiteProfiles::kLinksBar + QLatin1Char('\\'), QStringLiteral("x")), Result::Ignored);
    EXPECT_EQ(store.move(SiteProfiles::kLinksBar + QLatin1Char('\\'), QStringLiteral("Dir\\")), Result::Ignored);
}

TEST_F(SiteProfilesTest, DeleteRemovesSitesAndOnlyEmptyFolders)
{
    put(QStringLiteral("Keep/Site.veze"), "x");
    put(QStringLiteral("Gone.veze"), "x");
    QDir().mkpath(root() + QStringLiteral("Empty"));
    store.tree();
    EXPECT_EQ(store.remove(QStringLiteral("Keep\\")), Result::Failed);
    EXPECT_TRUE(has(QStringLiteral("Keep/Site.veze")));
    EXPECT_EQ(store.remove(QStringLiteral("Empty\\")), Result::Done);
    EXPECT_FALSE(has(QStringLiteral("Empty")));
    EXPECT_EQ(store.remove(QStringLiteral("Gone")), Result::Done);
    EXPECT_FALSE(has(QStringLiteral("Gone.veze")));
    EXPECT_EQ(store.remove(QString()), Result::Ignored);
    EXPECT_EQ(store.remove(SiteProfiles::kLinksBar + QLatin1Char('\\')), Result::Ignored);
    EXPECT_TRUE(has(SiteProfiles::kLinksBar));
}

} // namespace
