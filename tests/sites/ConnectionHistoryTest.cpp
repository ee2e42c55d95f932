#include "sites/ConnectionHistory.h"

#include "base/TextCodec.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString q(const char *text)
{
    return QString::fromUtf8(text);
}
QString q(const QString &text)
{
    return text;
}

tSiteRecord site(const auto &host, const auto &user, const auto &pass, const auto &port, const auto &rFolder)
{
    tSiteRecord s;
    s.Host = q(host);
    s.User = q(user);
    s.Pass = q(pass);
    s.Port = q(port);
    s.rFolder = q(rFolder);
    return s;
}
tSiteRecord site(const auto &host, const auto &user, const auto &pass, const auto &port)
{
    return site(host, user, pass, port, "");
}

const QString S = QString(ConnectionHistory::kSeparator);

TEST(ConnectionHistory, RepeatedLoginMovesToTopOtherPasswordOrPortIsANewEntry)
{
    ConnectionHistory h;
    ASSERT_TRUE(h.add(site("a.example", "anna", "pw", "21", "/one/"), true, 10));
    ASSERT_TRUE(h.add(site("b.example", "bob", "pw", "21"), true, 10));
    ASSERT_TRUE(h.add(site("a.example", "anna", "pw", "21", "/two/"), true, 10));
    ASSERT_EQ(h.size(), 2);
    EXPECT_EQ(h.lines()[0], QStringLiteral("a.example") + S + u"anna" + S + u"pw" + S + u"21" + S + u"/two/");
    EXPECT_EQ(h.entry(1).host, QStringLiteral("b.example"));

    h.add(site("a.example", "anna", "other", "21"), true, 10);
    h.add(site("a.example", "anna", "pw", "2121"), true, 10);
    h.add(site("a.example", "Anna", "pw", "21"), true, 10); // user names are case-sensitive
    EXPECT_EQ(h.size(), 5);
    // The host alone ignores letter case: this replaces the first entry.
    h.add(site("A.EXAMPLE", "anna", "pw", "21", "/three/"), true, 10);
    EXPECT_EQ(h.size(), 5);
    EXPECT_EQ(h.entry(0).rFolder, QStringLiteral("/three/"));
}

TEST(ConnectionHistory, SizeLimitAndSaveRFolderSetting)
{
    ConnectionHistory h;
    for (const char *host : {"one", "two", "three", "four"})
        h.add(site(host, "u", "p", "21", "/f/"), false, 3);
    ASSERT_EQ(h.size(), 3);
    EXPECT_EQ(h.entry(0).host, QStringLiteral("four"));
    EXPECT_EQ(h.entry(2).host, QStringLiteral("two"));
    // Without the remote folder the line ends with the separator.
    EXPECT_TRUE(h.lines()[0].endsWith(S));
    EXPECT_TRUE(h.entry(0).rFolder.isEmpty());
    h.trim(1);
    EXPECT_EQ(h.size(), 1);
}

TEST(ConnectionHistory, LookupTakesTheStoredSpellingAndFolder)
{
    ConnectionHistory h;
    h.add(site("ftp.example.com", "anna", "pw", "21", "/pub/"), true, 10);
    tSiteRecord s;
    s.lFolder = QStringLiteral("/home/anna/");
    h.lookup(QStringLiteral("FTP.Example.COM"), QStringLiteral("anna"), QStringLiteral("pw"), QStringLiteral("21"), s);
    EXPECT_EQ(s.Host, QStringLiteral("ftp.example.com"));
    EXPECT_EQ(s.name, QStringLiteral("ftp.example.com"));
    EXPECT_EQ(s.rFolder, QStringLiteral("/pub/"));
    EXPECT_EQ(s.lFolder, QStringLiteral("/home/anna/")); // untouched

    // Any difference outside the host's letter case is no match.
    for (const auto &[user, pass, port] :
         {std::tuple{"Anna", "pw", "21"}, {"anna", "PW", "21"}, {"anna", "pw", "2121"}}) {
        h.lookup(QStringLiteral("ftp.example.com"), q(user), q(pass), q(port), s);
        EXPECT_TRUE(s.rFolder.isEmpty()) << user << pass << port;
        EXPECT_EQ(s.User, QString::fromLatin1(user));
        EXPECT_EQ(s.Port, QString::fromLatin1(port));
    }
}

TEST(ConnectionHistory, FieldsThatWouldSplitWronglyAreNotRecorded)
{
    ConnectionHistory h;
    EXPECT_FALSE(h.add(site("host", "user", QStringLiteral("pa") + S + QStringLiteral("ss"), "21"), true, 10));
    EXPECT_FALSE(h.add(site("host", "user\r\nQUIT", "pw", "21"), true, 10));
    EXPECT_FALSE(h.add(site("host", "user", "pw", "21", "/a\nb/"), true, 10));
    EXPECT_TRUE(h.isEmpty());
}

TEST(ConnectionHistory, FileRoundTripIsPrivateAndSurvivesNonAsciiText)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("connectionHistory.dat"));
    ConnectionHistory h;
    h.add(site("b.example", "bob", "pw2", "21"), true, 10);
    // "ç" is C3 A7 in UTF-8; A7 is also the separator's byte.
    h.add(site(QStringLiteral("a.example"), QStringLiteral("fran\u00E7ois\u20AC\u4E2D"), QStringLiteral("p\u00E7w"),
               QStringLiteral("2121"), QStringLiteral("/d\u00E7/")),
          true, 10);
    QString error;
    ASSERT_TRUE(h.save(path, &error)) << error.toStdString();
    EXPECT_EQ(QFileInfo(path).permissions() &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray raw = f.readAll();
    EXPECT_EQ(raw.count("\r\n"), 2);
    EXPECT_FALSE(raw.contains("pw2")); // stored encoded

    ConnectionHistory back;
    ASSERT_TRUE(back.load(path));
    EXPECT_EQ(back.lines(), h.lines());
    EXPECT_EQ(back.entry(0).user, QStringLiteral("fran\u00E7ois\u20AC\u4E2D"));
    EXPECT_EQ(back.entry(0).rFolder, QStringLiteral("/d\u00E7/"));

    // An older file written in Windows-1252 reads the same way.
    const QByteArray oldLine = Base64::encode(QByteArray("h\xA7u\xE7\xA7p\xA7"
                                                         "21\xA7/x/"));
    QFile old(dir.filePath(QStringLiteral("old.dat")));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(oldLine + "\r\n");
    old.close();
    ASSERT_TRUE(back.load(old.fileName()));
    EXPECT_EQ(back.entry(0).user, QStringLiteral("u\u00E7"));

    // No file: an empty history.
    ASSERT_TRUE(back.load(dir.filePath(QStringLiteral("missing.dat"))));
    EXPECT_TRUE(back.isEmpty());
}

// SFTP logins keep their protocol and key file; an FTP entry keeps the five fields older
// files hold, so every older file reads as FTP and nothing in it is lost.
TEST(ConnectionHistory, SftpEntriesKeepProtocolAndKeyFileOlderFilesReadAsFtp)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("connectionHistory.dat"));
    ConnectionHistory h;
    tSiteRecord sftp = site("host", "anna", "", "2200", "/home/anna/");
    sftp.protocol = SiteProtocol::Sftp;
    sftp.keyFile = QStringLiteral("/home/anna/.ssh/id_work");
    ASSERT_TRUE(h.add(site("host", "anna", "", "2200", "/pub/"), true, 10));
    ASSERT_TRUE(h.add(sftp, true, 10));
    ASSERT_EQ(h.size(), 2); // the same login over another protocol is another entry
    EXPECT_EQ(h.lines()[1], QStringLiteral("host") + S + u"anna" + S + S + u"2200" + S + u"/pub/");
    EXPECT_EQ(h.lines()[0], QStringLiteral("host") + S + u"anna" + S + S + u"2200" + S + u"/home/anna/" + S + u"sftp" +
                                S + u"/home/anna/.ssh/id_work");

    tSiteRecord found;
    h.lookup(QStringLiteral("HOST"), QStringLiteral("anna"), QString(), QStringLiteral("2200"), found,
             SiteProtocol::Sftp);
    EXPECT_EQ(found.protocol, SiteProtocol::Sftp);
    EXPECT_EQ(found.rFolder, QStringLiteral("/home/anna/"));
    EXPECT_EQ(found.keyFile, sftp.keyFile);
    h.lookup(QStringLiteral("host"), QStringLiteral("anna"), QString(), QStringLiteral("2200"), found);
    EXPECT_EQ(found.protocol, SiteProtocol::Ftp);
    EXPECT_EQ(found.rFolder, QStringLiteral("/pub/"));
    EXPECT_TRUE(found.keyFile.isEmpty());

    ASSERT_TRUE(h.save(path));
    ConnectionHistory back;
    ASSERT_TRUE(back.load(path));
    EXPECT_FALSE(back.damaged());
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back.entry(0).protocol, SiteProtocol::Sftp);
    EXPECT_EQ(back.entry(0).keyFile, sftp.keyFile);
    EXPECT_EQ(back.entry(1).protocol, SiteProtocol::Ftp);

    // Lines that are neither entry are no entries; the entries around them stay.
    const QString lines[] = {
        QStringLiteral("old") + S + u"u" + S + u"p" + S + u"21" + S + u"/x/",
        QStringLiteral("six") + S + u"u" + S + u"p" + S + u"22" + S + u"/x/" + S + u"sftp",
        QStringLiteral("seven") + S + u"u" + S + u"p" + S + u"22" + S + u"/x/" + S + u"scp" + S,
        QStringLiteral("new") + S + u"u" + S + u"p" + S + u"22" + S + u"/x/" + S + u"sftp" + S,
    };
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    for (const QString &line : lines)
        f.write(Base64::encode(line.toUtf8()) + "\r\n");
    f.close();
    ASSERT_TRUE(back.load(path));
    EXPECT_TRUE(back.damaged());
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back.entry(0).host, QStringLiteral("old"));
    EXPECT_EQ(back.entry(0).protocol, SiteProtocol::Ftp);
    EXPECT_EQ(back.entry(1).host, QStringLiteral("new"));
    EXPECT_EQ(back.entry(1).protocol, SiteProtocol::Sftp);

    // A key file that would split the line is refused like any other field.
    sftp.keyFile = QStringLiteral("/keys/a") + S + u"b";
    EXPECT_FALSE(h.add(sftp, true, 10));
}

TEST(ConnectionHistory, DeletesExactlyTheChosenRows)
{
    ConnectionHistory h;
    for (const char *host : {"e", "d", "c", "b", "a"})
        h.add(site(host, "u", "p", "21"), true, 10);
    h.remove({0, 4, 2, 2});
    ASSERT_EQ(h.size(), 2);
    EXPECT_EQ(h.entry(0).host, QStringLiteral("b"));
    EXPECT_EQ(h.entry(1).host, QStringLiteral("d"));
}

} // namespace
