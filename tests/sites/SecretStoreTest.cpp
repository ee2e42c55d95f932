#include "sites/SecretStore.h"
#include "app/DesktopSecrets.h"
#include "settings/SettingsCatalogue.h"
#include "settings/u_tmbSetup.h"
#include "sites/SiteProfiles.h"

#include "support/TempHome.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/types.h>

namespace {

const QString kPassword = QStringLiteral("s3cret-P\u00e4ss w0rd");

// A file's bytes, line ends as "\n".
QByteArray fileBytes(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll().replace("\r\n", "\n") : QByteArray();
}

// Every file below the folder whose bytes hold the password, plainly or base64-encoded.
QStringList filesHoldingPassword(const QString &folder, const QString &password)
{
    const QByteArray plain = password.toUtf8();
    const QByteArray encoded = plain.toBase64();
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QByteArray bytes = fileBytes(file);
        if (bytes.contains(plain) || bytes.contains(encoded))
            found << file;
    }
    return found;
}

tSiteRecord siteWithPassword(const QString &password)
{
    tSiteRecord s;
    s.Host = QStringLiteral("127.0.0.1");
    s.User = QStringLiteral("alice");
    s.Pass = password;
    return s;
}

QString passwordOf(const SiteProfiles &profiles, const QString &sitePath)
{
    tSiteRecord s;
    EXPECT_TRUE(profiles.readProfile(sitePath, s)) << sitePath.toStdString();
    return s.Pass;
}

// Runs inside a child process that a SecretServiceTest started with a private session bus
// and an unlocked GNOME Keyring on it.
TEST(SecretStoreChild, KeyringHoldsProfilePasswordsAndFollowsTheirSites)
{
    if (qEnvironmentVariableIsEmpty("KESTRIN_TEST_SESSION_BUS"))
        GTEST_SKIP() << "runs only as the child of SecretServiceTest";
    TempHome home;
    const QString folder = home.path() + QStringLiteral("/profiles/");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("Work")));
    auto store = SecretStore::desktop(QStringLiteral("Kestrin FTP Pro test"), 10000);
    SiteProfiles profiles(folder);
    profiles.setSecretStore(store.get(), true);

    // A profile written before the secret store was used loads its password from the file.
    QFile old(folder + QStringLiteral("Work/Legacy.veze"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("[FTP]\nHost=h\nPass=" + QByteArrayLiteral("old-secret").toBase64() + "\n");
    old.close();
    EXPECT_EQ(passwordOf(profiles, QStringLiteral("Work\\Legacy")), QStringLiteral("old-secret"));

    // Saving puts the password in the keyring and leaves none in any file.
    ASSERT_TRUE(profiles.writeProfile(QStringLiteral("Work\\Legacy"), siteWithPassword(kPassword)));
    ASSERT_TRUE(profiles.writeProfile(QStringLiteral("Top"), siteWithPassword(kPassword)));
    EXPECT_TRUE(store->unavailableReason().isEmpty()) << store->unavailableReason().toStdString();
    EXPECT_EQ(filesHoldingPassword(home.path(), kPassword), QStringList());
    const QByteArray bytes = fileBytes(folder + QStringLiteral("Top.veze"));
    EXPECT_TRUE(bytes.contains("\nPass=\n")) << bytes.constData();
    EXPECT_TRUE(bytes.contains("\nPassInKeyring=1\n")) << bytes.constData();

    // Another run (a new store) reads it back.
    auto again = SecretStore::desktop(QStringLiteral("Kestrin FTP Pro test"), 10000);
    SiteProfiles fresh(folder);
    fresh.setSecretStore(again.get(), true);
    EXPECT_EQ(passwordOf(fresh, QStringLiteral("Work\\Legacy")), kPassword);

    // Rename a site, move its folder, delete it: the keyring entry follows each step.
    QString secret;
    ASSERT_EQ(profiles.rename(QStringLiteral("Work\\Legacy"), QStringLiteral("Renamed")), SiteProfiles::Result::Done);
    EXPECT_EQ(passwordOf(profiles, QStringLiteral("Work\\Renamed")), kPassword);
    EXPECT_EQ(store->read(profiles.secretKey(QStringLiteral("Work\\Legacy")), secret), SecretStore::Status::NotFound);
    ASSERT_EQ(profiles.createFolder(QString(), QStringLiteral("Clients")), SiteProfiles::Result::Done);
    ASSERT_EQ(profiles.move(QStringLiteral("Work\\"), QStringLiteral("Clients\\")), SiteProfiles::Result::Done);
    EXPECT_EQ(passwordOf(profiles, QStringLiteral("Clients\\Work\\Renamed")), kPassword);
    EXPECT_EQ(store->read(profiles.secretKey(QStringLiteral("Work\\Renamed")), secret), SecretStore::Status::NotFound);
    ASSERT_EQ(profiles.remove(QStringLiteral("Clients\\Work\\Renamed")), SiteProfiles::Result::Done);
    EXPECT_EQ(store->read(profiles.secretKey(QStringLiteral("Clients\\Work\\Renamed")), secret),
              SecretStore::Status::NotFound);

    // Switched off: the next save writes the file as before and takes the keyring entry away.
    profiles.setSecretStore(store.get(), false);
    ASSERT_TRUE(profiles.writeProfile(QStringLiteral("Top"), siteWithPassword(kPassword)));
    EXPECT_TRUE(fileBytes(folder + QStringLiteral("Top.veze")).contains("\nPassInKeyring=0\n"));
    EXPECT_EQ(passwordOf(profiles, QStringLiteral("Top")), kPassword);
    EXPECT_EQ(store->read(profiles.secretKey(QStringLiteral("Top")), secret), SecretStore::Status::NotFound);
}

// A process of its own, killed by its id when the test ends.
struct Child {
    QProcess process;
    ~Child()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

QByteArray askBus(const QString &address, const QString &method, const QString &name)
{
    QProcess send;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    send.setProcessEnvironment(env);
    send.start(QStringLiteral("dbus-send"),
               {QStringLiteral("--session"), QStringLiteral("--dest=org.freedesktop.DBus"),
                QStringLiteral("--print-reply"), QStringLiteral("/org/freedesktop/DBus"),
                QStringLiteral("org.freedesktop.DBus.") + method, QStringLiteral("string:") + name});
    return send.waitForFinished(5000) ? send.readAllStandardOutput() : QByteArray();
}

bool busHasOwner(const QString &address, const QString &name)
{
    return askBus(address, QStringLiteral("NameHasOwner"), name).contains("boolean true");
}

// The keyring daemon leaves the process the test started: it is found by the bus name it
// owns and ended by that id.
struct KeyringDaemon {
    qint64 pid = 0;
    ~KeyringDaemon()
    {
        if (pid > 0)
            ::kill(static_cast<pid_t>(pid), SIGTERM);
    }
};

// A real Secret Service: a session bus of the test's own and GNOME Keyring on it, unlocked
// with an empty password. The keyring test then runs in a child process, since a process
// keeps the first session bus it connected to.
TEST(SecretServiceTest, ProfilePasswordsGoToARealKeyring)
{
    for (const char *tool : {"dbus-daemon", "dbus-send", "gnome-keyring-daemon"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
    }
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));

    Child bus;
    bus.process.setProcessEnvironment(env);
    bus.process.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    ASSERT_TRUE(bus.process.waitForStarted(5000));
    QByteArray line;
    for (QDeadlineTimer deadline(10000); !line.contains('\n') && !deadline.hasExpired();)
        if (bus.process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            line += bus.process.readAllStandardOutput();
    const QString address = QString::fromUtf8(line.trimmed());
    ASSERT_FALSE(address.isEmpty()) << "dbus-daemon printed no address";
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);

    Child keyring;
    keyring.process.setProcessEnvironment(env);
    keyring.process.start(
        QStringLiteral("gnome-keyring-daemon"),
        {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    ASSERT_TRUE(keyring.process.waitForStarted(5000));
    keyring.process.write("\n"); // the empty password
    keyring.process.closeWriteChannel();
    QDeadlineTimer ready(15000);
    while (!busHasOwner(address, QStringLiteral("org.freedesktop.secrets")) && !ready.hasExpired())
        keyring.process.waitForFinished(100); // a bounded pause that also notices an early exit
    ASSERT_TRUE(busHasOwner(address, QStringLiteral("org.freedesktop.secrets")))
        << "gnome-keyring-daemon did not take the Secret Service name: "
        << keyring.process.readAllStandardError().toStdString();
    KeyringDaemon daemon;
    const QByteArray pidReply =
        askBus(address, QStringLiteral("GetConnectionUnixProcessID"), QStringLiteral("org.freedesktop.secrets"));
    daemon.pid = pidReply.mid(pidReply.lastIndexOf("uint32 ") + 7).trimmed().toLongLong();
    ASSERT_GT(daemon.pid, 1) << pidReply.constData();

    Child test;
    env.insert(QStringLiteral("KESTRIN_TEST_SESSION_BUS"), address);
    test.process.setProcessEnvironment(env);
    test.process.setProcessChannelMode(QProcess::MergedChannels);
    test.process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=SecretStoreChild.*")});
    ASSERT_TRUE(test.process.waitForFinished(120000)) << "the keyring test did not end in time";
    const QByteArray out = test.process.readAll();
    EXPECT_EQ(test.process.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
    EXPECT_FALSE(out.contains("SKIPPED")) << out.toStdString();
}

// No Secret Service answers (the tests' session bus does not exist): every call ends at
// once as unavailable, the profile keeps its password in the file as before, and the log
// hears about it once.
TEST(SecretServiceTest, WithoutAServiceThePasswordStaysInTheFileAndTheLogIsToldOnce)
{
    TempHome home;
    tSetupClass setup{false};
    QStringList log;
    DesktopSecrets secrets(setup, [&log](const QString &line) { log << line; });
    const QString folder = home.path() + QStringLiteral("/profiles/");
    ASSERT_TRUE(QDir().mkpath(folder));
    SiteProfiles profiles(folder);
    secrets.attach(profiles);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(profiles.writeProfile(QStringLiteral("One"), siteWithPassword(kPassword)));
    ASSERT_TRUE(profiles.writeProfile(QStringLiteral("Two"), siteWithPassword(kPassword)));
    EXPECT_LT(clock.elapsed(), 6000); // within the store's bound, not once per call
    EXPECT_EQ(passwordOf(profiles, QStringLiteral("One")), kPassword);
    const QByteArray bytes = fileBytes(folder + QStringLiteral("One.veze"));
    EXPECT_TRUE(bytes.contains(QByteArray("\nPass=" + kPassword.toUtf8().toBase64() + "\n"))) << bytes.constData();
    EXPECT_FALSE(bytes.contains("PassInKeyring")) << bytes.constData();
    ASSERT_EQ(log.size(), 1) << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(log.first().contains(kPassword));
    EXPECT_FALSE(secrets.notice().isEmpty());

    // Switched off, the store is not asked and there is nothing to tell.
    write(setup, Keys::useKeyring, false);
    EXPECT_TRUE(secrets.notice().isEmpty());
}

// A profile marked as held by the keyring, read where no keyring answers: it loads, with the
// file's empty password.
TEST(SecretServiceTest, AMarkedProfileLoadsWithAnEmptyPasswordWithoutAService)
{
    QTemporaryDir dir;
    QFile f(dir.path() + QStringLiteral("/Site.veze"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[FTP]\nHost=example.net\nPass=\nPassInKeyring=1\n");
    f.close();
    auto store = SecretStore::none(QStringLiteral("none here"));
    SiteProfiles profiles(dir.path());
    profiles.setSecretStore(store.get(), true);
    tSiteRecord s;
    ASSERT_TRUE(profiles.readProfile(QStringLiteral("Site"), s));
    EXPECT_EQ(s.Host, QStringLiteral("example.net"));
    EXPECT_EQ(s.Pass, QString());
}

} // namespace
