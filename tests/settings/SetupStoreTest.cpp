#include "base/Errors.h"
#include "base/TextCodec.h"
#include "settings/u_tmbSetup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QChar kSep = tSetupClass::kSeparator;

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray encodedLine(const QString &text)
{
    return Base64::encode(TextCodec::encodeStored(text));
}

class SetupStore : public ::testing::Test {
protected:
    QString file(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

TEST_F(SetupStore, TypedReadsFallBackToTheCallersDefault)
{
    tSetupClass s;
    s.setString(QStringLiteral("empty"), QString());
    s.setString(QStringLiteral("upperTrue"), QStringLiteral("TRUE"));
    s.setString(QStringLiteral("one"), QStringLiteral("1"));
    s.setString(QStringLiteral("trailing"), QStringLiteral("12abc"));
    s.setString(QStringLiteral("negative"), QStringLiteral("-5"));
    s.setString(QStringLiteral("padded"), QStringLiteral("  +42"));
    s.setString(QStringLiteral("huge"), QStringLiteral("9223372036854775808"));
    s.setInt(QStringLiteral("min"), std::numeric_limits<std::int64_t>::min());
    s.setString(QStringLiteral("marker"), QStringLiteral("\u00A7na\u00A7"));

    EXPECT_EQ(s.getString(QStringLiteral("neverWritten"), QStringLiteral("def")), QStringLiteral("def"));
    EXPECT_EQ(s.getString(QStringLiteral("empty"), QStringLiteral("def")), QString());
    EXPECT_TRUE(s.getBool(QStringLiteral("upperTrue"), false));
    EXPECT_TRUE(s.getBool(QStringLiteral("one"), true));
    EXPECT_FALSE(s.getBool(QStringLiteral("one"), false));
    EXPECT_EQ(s.getInt(QStringLiteral("trailing"), 7), 7);
    EXPECT_EQ(s.getInt(QStringLiteral("negative"), 7), -5);
    EXPECT_EQ(s.getInt(QStringLiteral("padded"), 7), 42);
    EXPECT_EQ(s.getInt(QStringLiteral("huge"), 7), 7);
    EXPECT_EQ(s.getInt(QStringLiteral("min"), 7), std::numeric_limits<std::int64_t>::min());
    // A stored value equal to the missing marker reads as missing.
    EXPECT_EQ(s.getString(QStringLiteral("marker"), QStringLiteral("def")), QStringLiteral("def"));
    EXPECT_EQ(s.getRaw(QStringLiteral("neverWritten")), tSetupClass::kMissing);
}

TEST_F(SetupStore, KeysIgnoreCaseAndTakeTheLastSpelling)
{
    tSetupClass s;
    s.setString(QStringLiteral("lastrunversion"), QStringLiteral("1"));
    s.setString(QStringLiteral("lastRunVersion"), QStringLiteral("2"));
    ASSERT_EQ(s.settingEntries().size(), 1u);
    EXPECT_EQ(s.settingEntries()[0].key, QStringLiteral("lastRunVersion"));
    EXPECT_EQ(s.settingEntries()[0].line, QStringLiteral("lastRunVersion") + kSep + QStringLiteral("2"));
    EXPECT_EQ(s.getInt(QStringLiteral("LASTRUNVERSION"), 0), 2);
}

TEST_F(SetupStore, UnsortedStoreAppendsUntilAnExistingKeyIsWritten)
{
    tSetupClass s(false);
    s.setString(QStringLiteral("zeta"), QStringLiteral("1"));
    s.setString(QStringLiteral("Alpha"), QStringLiteral("2"));
    s.setString(QStringLiteral("mid"), QStringLiteral("3"));
    auto keys = [&s] {
        QStringList k;
        for (const auto &e : s.settingEntries())
            k << e.key;
        return k.join(QLatin1Char(','));
    };
    EXPECT_EQ(keys(), QStringLiteral("zeta,Alpha,mid"));
    s.setString(QStringLiteral("ZETA"), QStringLiteral("4"));
    EXPECT_EQ(keys(), QStringLiteral("Alpha,mid,ZETA"));
    s.setString(QStringLiteral("beta"), QStringLiteral("5"));
    EXPECT_EQ(keys(), QStringLiteral("Alpha,beta,mid,ZETA"));
}

TEST_F(SetupStore, LookupsFollowEveryReorderAndChangesAreAnnouncedOnce)
{
    tSetupClass s(false);
    QStringList announced;
    QObject::connect(&s, &tSetupClass::valueChanged, &s, [&announced](const QString &key) { announced << key; });
    const QStringList keys{QStringLiteral("zeta"), QStringLiteral("\u00C4rger"), QStringLiteral("mid"),
                           QStringLiteral("alpha")};
    for (int i = 0; i < keys.size(); ++i)
        s.setInt(keys[i], i);
    s.setInt(QStringLiteral("MID"), 2);         // same value: the store turns sorted, nothing changed
    s.setInt(QStringLiteral("\u00E4RGER"), 10); // another spelling of an existing key
    s.setInt(QStringLiteral("beta"), 11);       // a new key lands inside the sorted entries
    const QStringList expectedKeys = keys + QStringList{QStringLiteral("\u00E4RGER"), QStringLiteral("beta")};
    EXPECT_EQ(announced, expectedKeys);
    const std::pair<const char16_t *, int> expected[] = {
        {u"ZETA", 0}, {u"\u00E4rger", 10}, {u"Mid", 2}, {u"ALPHA", 3}, {u"Beta", 11}};
    for (const auto &[key, value] : expected)
        EXPECT_EQ(s.getInt(QString::fromUtf16(key), -1), value) << QString::fromUtf16(key).toStdString();
    EXPECT_EQ(s.settingEntries().size(), 5u);
}

TEST_F(SetupStore, SaveAndLoadKeepLongValuesLineBreaksAndSeparators)
{
    tSetupClass s;
    s.encoded = true;
    const QString tricky = QStringLiteral("line1\r\nline2\rline3\n") + kSep + QStringLiteral("after \u00A7 sign");
    const QString longValue = QString(1500, QLatin1Char('x')) + QStringLiteral("END");
    const QString nonLatin = QStringLiteral("/home/\u0438\u0432\u0430\u043D/\u65E5\u672C");
    s.setString(QStringLiteral("tricky"), tricky);
    s.setString(QStringLiteral("long"), longValue);
    s.setString(QStringLiteral("nonLatin"), nonLatin);
    s.save(file("setup.dat"));

    tSetupClass back;
    back.encoded = true;
    back.load(file("setup.dat"));
    EXPECT_EQ(back.getString(QStringLiteral("tricky"), QString()), tricky);
    EXPECT_EQ(back.getString(QStringLiteral("long"), QString()), longValue.left(999));
    EXPECT_EQ(back.settingEntries()[0].line.size(), 4 + 1 + longValue.size()); // kept whole in memory
    EXPECT_EQ(back.getString(QStringLiteral("nonLatin"), QString()), nonLatin);

    // Each entry is one base64 line ended by CR LF, the Latin ones byte-exact in Windows-1252.
    const QByteArray bytes = readBytes(file("setup.dat"));
    EXPECT_EQ(bytes.count("\r\n"), 3);
    EXPECT_TRUE(bytes.contains(QByteArray(encodedLine(QStringLiteral("tricky") + kSep + tricky) + "\r\n")));
}

TEST_F(SetupStore, LoadToleratesDamagedLinesAndAnyLineEnding)
{
    const QByteArray data =
        encodedLine(QStringLiteral("first") + kSep + QStringLiteral("1")) + "\r" +
        encodedLine(QStringLiteral("no separator here")) + "\n" + "!!not*base64??\r\n" +    // garbage decodes to junk
        encodedLine(QStringLiteral("Dup") + kSep + QStringLiteral("a")) + "\r\n" + "\r\n" + // empty line
        encodedLine(QStringLiteral("DUP") + kSep + QStringLiteral("b")) + "\r\n" +
        encodedLine(QStringLiteral("last") + kSep + QStringLiteral("no ending"));
    writeBytes(file("setup.dat"), data);
    tSetupClass s(false);
    s.encoded = true;
    s.load(file("setup.dat"));
    ASSERT_EQ(s.settingEntries().size(), 7u);
    EXPECT_EQ(s.getInt(QStringLiteral("first"), 0), 1);
    EXPECT_EQ(s.settingEntries()[1].key, QString());
    EXPECT_EQ(s.settingEntries()[1].line, QStringLiteral("no separator here"));
    EXPECT_EQ(s.getString(QStringLiteral("dup"), QString()), QStringLiteral("a"));
    EXPECT_EQ(s.getString(QStringLiteral("last"), QString()), QStringLiteral("no ending"));

    // A missing file leaves the store empty without a complaint.
    tSetupClass none;
    none.load(file("missing.dat"));
    EXPECT_TRUE(none.settingEntries().empty());
}

TEST_F(SetupStore, HugeLineLoadsAndReadsItsFirst999Characters)
{
    const QString value(10 * 1024 * 1024, QLatin1Char('v'));
    writeBytes(file("setup.dat"), encodedLine(QStringLiteral("big") + kSep + value) + "\r\n" +
                                      encodedLine(QStringLiteral("small") + kSep + QStringLiteral("ok")));
    tSetupClass s;
    s.encoded = true;
    s.load(file("setup.dat"));
    EXPECT_EQ(s.getString(QStringLiteral("big"), QString()).size(), 999);
    EXPECT_EQ(s.getString(QStringLiteral("small"), QString()), QStringLiteral("ok"));
}

TEST_F(SetupStore, UnencodedStoreWritesPlainLines)
{
    tSetupClass s;
    s.setString(QStringLiteral("k"), QStringLiteral("v"));
    s.save(file("plain.dat"));
    EXPECT_EQ(readBytes(file("plain.dat")), QByteArray("k\xA7v\r\n"));
}

TEST_F(SetupStore, SaveIsOwnerOnlyAndAFailedSaveIsReportedWithTheStoreUnchanged)
{
    tSetupClass s;
    s.setString(QStringLiteral("launchPassword"), QStringLiteral("secret"));
    ASSERT_TRUE(s.save(file("setup.dat")));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file("setup.dat")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    QString reason;
    EXPECT_FALSE(s.save(file("no-such-folder/setup.dat"), &reason));
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(s.getString(QStringLiteral("launchPassword"), QString()), QStringLiteral("secret"));
}

TEST_F(SetupStore, EncodedListsRoundTripAndReportErrors)
{
    const QStringList list = {QStringLiteral("*.*htm*"), QString(),
                              QStringLiteral("ftp.example.com\u00A7user\u00A7\u00A721"),
                              QStringLiteral("\u65E5\u672C")};
    saveEncodedList(list, file("list.dat"));
    EXPECT_EQ(readBytes(file("list.dat")),
              encodedLine(list[0]) + "\r\n\r\n" + encodedLine(list[2]) + "\r\n" + encodedLine(list[3]) + "\r\n");
    QStringList back = {QStringLiteral("kept")};
    loadEncodedList(back, file("list.dat"));
    EXPECT_EQ(back, QStringList{QStringLiteral("kept")} + list);

    QStringList none;
    EXPECT_THROW(loadEncodedList(none, file("missing.dat")), FileError);
    EXPECT_THROW(saveEncodedList(list, file("no-such-folder/list.dat")), FileError);
}

TEST_F(SetupStore, OldFormatConversionPairsSortsDropsRepeatsAndDeletesTheFiles)
{
    // Three keys but only two value lines: the pairing stops at the shorter list.
    saveEncodedList({QStringLiteral("zoom"), QStringLiteral("Alpha"), QStringLiteral("zoom"), QStringLiteral("extra")},
                    file("setupIDs.dat"));
    saveEncodedList({QStringLiteral("zoom") + kSep + QStringLiteral("1"),
                     QStringLiteral("Alpha") + kSep + QStringLiteral("2"),
                     QStringLiteral("zoom") + kSep + QStringLiteral("3")},
                    file("setupValues.dat"));
    tSetupClass s(false);
    QStringList log;
    convertOldFormat(s, dir.path(), [&log](const QString &line) { log << line; });
    EXPECT_EQ(log, QStringList{kSep + QStringLiteral("Converting setup file from Kestrin FTP Pro 2.6 format ...")});
    ASSERT_EQ(s.settingEntries().size(), 2u);
    EXPECT_EQ(s.settingEntries()[0].key, QStringLiteral("Alpha"));
    EXPECT_EQ(s.getInt(QStringLiteral("zoom"), 0), 1);
    EXPECT_TRUE(s.isSorted());
    EXPECT_FALSE(QFile::exists(file("setupIDs.dat")));
    EXPECT_FALSE(QFile::exists(file("setupValues.dat")));
}

TEST_F(SetupStore, OldFormatConversionWithAMissingValuesFileKeepsTheFiles)
{
    saveEncodedList({QStringLiteral("a")}, file("setupIDs.dat"));
    tSetupClass s(false);
    convertOldFormat(s, dir.path());
    EXPECT_TRUE(s.settingEntries().empty());
    EXPECT_TRUE(QFile::exists(file("setupIDs.dat")));
}

} // namespace
