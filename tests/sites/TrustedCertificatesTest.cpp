#include "sites/TrustedCertificates.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QString kFp =
    QStringLiteral("45:CE:EE:11:F8:22:02:BB:63:A5:FE:09:77:C2:34:2A:C7:09:BF:B3:8C:43:1D:A4:30:F6:BD:8E:"
                   "3D:6B:94:8F");
const QString kOther = QStringLiteral("00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:00:11:22:33:44:55:66:77:88:99:"
                                      "AA:BB:CC:DD:EE:FF");

TEST(TrustedCertificates, TrustedFingerprintSurvivesReloadPerServerAndOwnerOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trusted-certificates"));
    TrustedCertificates store(path);
    ASSERT_TRUE(store.load()); // no file yet: empty
    // Any spelling of the same fingerprint is the same certificate.
    QString noColons = kFp.toLower();
    noColons.remove(QLatin1Char(':'));
    ASSERT_TRUE(store.trust(QStringLiteral("FTP.Example.org"), 21, noColons));
    ASSERT_TRUE(store.trust(QStringLiteral("ftp.example.org"), 21, kFp));

    TrustedCertificates again(path);
    ASSERT_TRUE(again.load());
    EXPECT_EQ(again.fingerprints(QStringLiteral("ftp.example.org"), 21), QStringList{kFp});
    EXPECT_TRUE(again.fingerprints(QStringLiteral("ftp.example.org"), 990).isEmpty());
    EXPECT_TRUE(again.fingerprints(QStringLiteral("other.example.org"), 21).isEmpty());
    EXPECT_FALSE(again.changedFor(QStringLiteral("ftp.example.org"), 21, kFp));
    EXPECT_TRUE(again.changedFor(QStringLiteral("ftp.example.org"), 21, kOther));
    EXPECT_FALSE(again.changedFor(QStringLiteral("new.example.org"), 21, kOther)); // first meeting

    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    ASSERT_TRUE(again.forget(QStringLiteral("ftp.example.org"), 21, kFp));
    TrustedCertificates third(path);
    ASSERT_TRUE(third.load());
    EXPECT_TRUE(third.fingerprints(QStringLiteral("ftp.example.org"), 21).isEmpty());
}

TEST(TrustedCertificates, MalformedInputIsNeverTrusted)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trusted-certificates"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("ftp.example.org:21 not-a-fingerprint\n"
            "ftp.example.org:21 " +
            kOther.left(20).toUtf8() +
            "\n"
            "just-a-line\n"
            "ftp.example.org:21 " +
            kFp.toUtf8() + "\n");
    f.close();
    TrustedCertificates store(path);
    ASSERT_TRUE(store.load());
    EXPECT_EQ(store.fingerprints(QStringLiteral("ftp.example.org"), 21), QStringList{kFp});

    QString error;
    EXPECT_FALSE(store.trust(QStringLiteral("ftp.example.org"), 21, QStringLiteral("AB:CD"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(store.trust(QStringLiteral("evil host\nx:1"), 21, kOther));
    EXPECT_EQ(store.fingerprints(QStringLiteral("ftp.example.org"), 21), QStringList{kFp});
}

} // namespace
