#include "sites/SshConfig.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class SshConfigTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(ssh())); }
    QString home() const { return m_home.path(); }
    QString ssh() const { return home() + QStringLiteral("/.ssh"); }
    void put(const QString &relative, const QByteArray &text)
    {
        const QString file = ssh() + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(file).path());
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        ASSERT_TRUE(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    }
    SshConfig load() const { return SshConfig::load(ssh() + QStringLiteral("/config"), home(), QStringLiteral("me")); }

    QTemporaryDir m_home;
};

// One small configuration with each rule: first value wins, patterns with wildcards and
// negation, quotes and "=", Match blocks skipped, Includes (wildcards, inside a Host block,
// one that includes itself), tokens in HostName and IdentityFile, and what the user typed
// winning over the file.
TEST_F(SshConfigTest, AliasesResolveAsOpenSshReadsTheFile)
{
    put(QStringLiteral("config"), R"(# the user's aliases
Include conf.d/*.conf
Include ~/.ssh/deep

Match all
    User matched
    Port 1

Host work
    HostName work.example.com
    User anna
    Port 2222
    IdentityFile ~/.ssh/id_work
    Port 3333
    IdentityFile ~/.ssh/id_second

Host *.internal !secret.internal
    User ops
    IdentityFile %d/.ssh/%r@%h-%p-%u-%n%%

Host "quoted"
  Port=2200
  HostName = %h.example.net   # a trailing comment
  IdentityFile "~/my keys/id quoted"

HOST db?
    identityfile none
    Port 99999

Host gated
    Include gated.conf

Host *
    User everyone
    IdentityFile ~/.ssh/id_default
)");
    put(QStringLiteral("conf.d/a.conf"), "Host inc\n  HostName included.example.com\n");
    put(QStringLiteral("conf.d/b.conf"), "Host inc\n  User from-b\n");
    put(QStringLiteral("conf.d/skip.txt"), "Host inc\n  Port 5555\n");
    put(QStringLiteral("gated.conf"), "Port 2022\nHost other\n  User from-gated\n");
    put(QStringLiteral("deep"), "Include ~/.ssh/deep\nHost loop\n  Port 3000\n");

    const SshConfig config = load();
    const QString h = home();
    const struct {
        const char *alias, *user, *port, *hostName, *resolvedUser, *resolvedPort;
        QString key;
    } cases[] = {
        {"work", "", "", "work.example.com", "anna", "2222", h + QLatin1String("/.ssh/id_work")},
        {"WORK", "", "", "work.example.com", "anna", "2222", h + QLatin1String("/.ssh/id_work")},
        {"work", "bob", "2200", "work.example.com", "bob", "2200", h + QLatin1String("/.ssh/id_work")},
        {"a.internal", "", "", "a.internal", "ops", "22", h + QLatin1String("/.ssh/ops@a.internal-22-me-a.internal%")},
        {"a.internal", "root", "", "a.internal", "root", "22",
         h + QLatin1String("/.ssh/root@a.internal-22-me-a.internal%")},
        {"secret.internal", "", "", "secret.internal", "everyone", "22", h + QLatin1String("/.ssh/id_default")},
        {"quoted", "", "", "quoted.example.net", "everyone", "2200", h + QLatin1String("/my keys/id quoted")},
        {"db1", "", "", "db1", "everyone", "22", QString()},
        {"db10", "", "", "db10", "everyone", "22", h + QLatin1String("/.ssh/id_default")},
        {"inc", "", "", "included.example.com", "from-b", "22", h + QLatin1String("/.ssh/id_default")},
        {"gated", "", "", "gated", "everyone", "2022", h + QLatin1String("/.ssh/id_default")},
        {"other", "", "", "other", "everyone", "22", h + QLatin1String("/.ssh/id_default")},
        {"loop", "", "", "loop", "everyone", "3000", h + QLatin1String("/.ssh/id_default")},
        {"elsewhere", "", "", "elsewhere", "everyone", "22", h + QLatin1String("/.ssh/id_default")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.alias) + " " + c.user + " " + c.port);
        const SshConfig::Host r =
            config.resolve(QString::fromLatin1(c.alias), QString::fromLatin1(c.user), QString::fromLatin1(c.port));
        EXPECT_EQ(r.hostName, QLatin1String(c.hostName));
        EXPECT_EQ(r.user, QLatin1String(c.resolvedUser));
        EXPECT_EQ(r.port, QLatin1String(c.resolvedPort));
        EXPECT_EQ(r.identityFile, c.key);
    }
    // The self-including file is read a bounded number of times.
    EXPECT_EQ(config.filesRead().filter(QStringLiteral("/deep")).size(), SshConfig::kMaxIncludeDepth - 1);
    EXPECT_TRUE(config.filesRead().filter(QStringLiteral("skip.txt")).isEmpty());
}

// No file, or one that others may write: every alias is its own host, the user is the local
// one (unless typed), the port 22.
TEST_F(SshConfigTest, AMissingOrUnsafeFileChangesNothing)
{
    const auto expectPlain = [](const SshConfig &config) {
        SshConfig::Host r = config.resolve(QStringLiteral("work"));
        EXPECT_EQ(r.hostName, QStringLiteral("work"));
        EXPECT_EQ(r.user, QStringLiteral("me"));
        EXPECT_EQ(r.port, QStringLiteral("22"));
        EXPECT_TRUE(r.identityFile.isEmpty());
        r = config.resolve(QStringLiteral("work"), QStringLiteral("anna"), QStringLiteral("2022"));
        EXPECT_EQ(r.user, QStringLiteral("anna"));
        EXPECT_EQ(r.port, QStringLiteral("2022"));
    };
    expectPlain(load());

    put(QStringLiteral("config"), "Host work\n  HostName evil.example\n  User mallory\n");
    QFile::setPermissions(ssh() + QStringLiteral("/config"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup);
    expectPlain(load());
    // An Include of a file others may write is left out the same way.
    put(QStringLiteral("config"), "Include shared\n");
    put(QStringLiteral("shared"), "Host work\n  HostName evil.example\n");
    QFile::setPermissions(ssh() + QStringLiteral("/shared"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther);
    expectPlain(load());
}

} // namespace
