#include "sites/SecretStore.h"
#include "app/DesktopSecrets.h"
#include "base/TextCodec.h"
#include "settings/SettingsCatalogue.h"
#include "settings/u_tmbSetup.h"
#include "sites/ConnectionHistory.h"
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

#include <algorithm>
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

// Every file below the folder whose bytes hold the password, plainly or base64-encoded, also
// inside a line that is base64-encoded as a whole.
QStringList filesHoldingPassword(const QString &folder, const QString &password)
{
    // As UTF-8 and in the stored encoding of the program's own files.
    const QList<QByteArray> forms{password.toUtf8(), password.toUtf8().toBase64(), TextCodec::encodeStored(password),
                                  TextCodec::encodeStored(password).toBase64()};
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        QByteArray bytes = fileBytes(file);
        for (const QByteArray &line : bytes.split('\n'))
            bytes += '\n' + QByteArray::fromBase64(line.trimmed());
        if (std::any_of(forms.begin(), forms.end(), [&bytes](const QByteArray &f) { return bytes.contains(f); }))
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

// Whether a settings file marks the launch password as held by the keyring.
bool launchPasswordMarked(const QString &file)
{
    tSetupClass setup;
    setup.load(file);
    return setup.getBool(QStringLiteral("launchPasswordInKeyring"), false);
}

const QString kOtherPassword = QStringLiteral("second pw \u00e9t\u00e9");
const QString kLaunchPassword = QStringLiteral("Open Sesame");

tSiteRecord historySite(const QString &host, const QString &password)
{
    tSiteRecord s = siteWithPassword(password);
    s.Host = host;
    s.Port = QStringLiteral("21");
    s.rFolder = QStringLiteral("/pub/");
    return s;
}

// A history of three logins (one without a password) and a launch password, saved into
// folder the way the program saves them at exit.
void saveHistoryAndLaunchPassword(DesktopSecrets &secrets, tSetupClass &setup, const QString &folder)
{
    ConnectionHistory history;
    secrets.attach(history);
    ASSERT_TRUE(history.add(historySite(QStringLiteral("anon.example"), QString()), true, 10));
    ASSERT_TRUE(history.add(historySite(QStringLiteral("two.example"), kOtherPassword), true, 10));
    ASSERT_TRUE(history.add(historySite(QStringLiteral("one.example"), kPassword), true, 10));
    ASSERT_TRUE(history.save(folder + QStringLiteral("connectionHistory.dat")));
    write(setup, Keys::askForLaunchPassword, true);
    write(setup, Keys::launchPassword, kLaunchPassword);
    ASSERT_TRUE(secrets.saveSettings(folder + QStringLiteral("setup.dat"), nullptr));
    EXPECT_EQ(read(setup, Keys::launchPassword), kLaunchPassword); // memory keeps it
}

// The passwords of the history's entries, newest first.
QStringList historyPasswords(const ConnectionHistory &history)
{
    QStringList passwords;
    for (qsizetype i = 0; i < history.size(); ++i)
        passwords << history.entry(i).password;
    return passwords;
}

// Reads back what saveHistoryAndLaunchPassword wrote, as a new start does.
struct NextStart {
    tSetupClass setup{false};
    DesktopSecrets secrets;
    ConnectionHistory history;
    NextStart(const QString &folder, std::function<std::unique_ptr<SecretStore>()> makeStore)
        : secrets(setup, {}, std::move(makeStore))
    {
        setup.load(folder + QStringLiteral("setup.dat"));
        secrets.loadLaunchPassword();
        secrets.attach(history);
        EXPECT_TRUE(history.load(folder + QStringLiteral("connectionHistory.dat")));
    }
};

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

TEST(SecretStoreChild, KeyringHoldsHistoryAndLaunchPasswords)
{
    if (qEnvironmentVariableIsEmpty("KESTRIN_TEST_SESSION_BUS"))
        GTEST_SKIP() << "runs only as the child of SecretServiceTest";
    TempHome home;
    const QString folder = home.path() + QStringLiteral("/data/");
    ASSERT_TRUE(QDir().mkpath(folder));
    auto makeStore = [] { return SecretStore::desktop(QStringLiteral("Kestrin FTP Pro test"), 10000); };
    tSetupClass setup{false};
    QStringList log;
    DesktopSecrets secrets(
        setup, [&log](const QString &line) { log << line; }, makeStore);
    saveHistoryAndLaunchPassword(secrets, setup, folder);
    EXPECT_EQ(log, QStringList());

    // No password in any file; the files still have their entries and say where the rest is.
    for (const QString &password : {kPassword, kOtherPassword, kLaunchPassword})
        EXPECT_EQ(filesHoldingPassword(home.path(), password), QStringList()) << password.toStdString();
    EXPECT_TRUE(launchPasswordMarked(folder + QStringLiteral("setup.dat")));

    // A new start reads them back from the keyring.
    {
        NextStart next(folder, makeStore);
        EXPECT_EQ(read(next.setup, Keys::launchPassword), kLaunchPassword);
        EXPECT_FALSE(next.secrets.launchPasswordUnreadable());
        EXPECT_EQ(historyPasswords(next.history), (QStringList{kPassword, kOtherPassword, QString()}));
        EXPECT_EQ(next.history.entry(1).host, QStringLiteral("two.example"));

        // Connecting again from the history reorders it; the next save keeps every password.
        tSiteRecord site;
        next.history.lookup(QStringLiteral("TWO.example"), QStringLiteral("alice"), kOtherPassword,
                            QStringLiteral("21"), site);
        ASSERT_TRUE(next.history.add(site, true, 10));
        ASSERT_TRUE(next.history.save(folder + QStringLiteral("connectionHistory.dat")));
        EXPECT_EQ(filesHoldingPassword(home.path(), kOtherPassword), QStringList());
    }

    // A reader without the store (an older version, or no keyring) still loads every entry,
    // with empty passwords.
    ConnectionHistory plain;
    ASSERT_TRUE(plain.load(folder + QStringLiteral("connectionHistory.dat")));
    EXPECT_EQ(historyPasswords(plain), (QStringList{QString(), QString(), QString()}));

    // The keyring switched off: the next save puts the passwords back in the files and takes
    // the keyring entries away.
    NextStart next(folder, makeStore);
    EXPECT_EQ(historyPasswords(next.history), (QStringList{kOtherPassword, kPassword, QString()}));
    write(next.setup, Keys::useKeyring, false);
    next.secrets.attach(next.history);
    ASSERT_TRUE(next.history.save(folder + QStringLiteral("connectionHistory.dat")));
    ASSERT_TRUE(next.secrets.saveSettings(folder + QStringLiteral("setup.dat"), nullptr));
    EXPECT_EQ(filesHoldingPassword(home.path(), kPassword),
              QStringList{folder + QStringLiteral("connectionHistory.dat")});
    EXPECT_EQ(filesHoldingPassword(home.path(), kLaunchPassword), QStringList{folder + QStringLiteral("setup.dat")});
    auto store = makeStore();
    QString secret;
    EXPECT_EQ(store->read(DesktopSecrets::kLaunchPasswordKey, secret), SecretStore::Status::NotFound);
    NextStart last(folder, {});
    EXPECT_EQ(read(last.setup, Keys::launchPassword), kLaunchPassword);
    EXPECT_EQ(historyPasswords(last.history), (QStringList{kOtherPassword, kPassword, QString()}));
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
    EXPECT_TRUE(out.contains("[  PASSED  ] 2 tests")) << out.toStdString();
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

    // The history and the launch password stay in their files too, and read back from them.
    saveHistoryAndLaunchPassword(secrets, setup, folder);
    EXPECT_EQ(log.size(), 1);
    EXPECT_EQ(filesHoldingPassword(home.path(), kLaunchPassword), QStringList{folder + QStringLiteral("setup.dat")});
    EXPECT_EQ(filesHoldingPassword(home.path(), kOtherPassword),
              QStringList{folder + QStringLiteral("connectionHistory.dat")});
    EXPECT_FALSE(launchPasswordMarked(folder + QStringLiteral("setup.dat")));
    NextStart next(folder, {});
    EXPECT_EQ(read(next.setup, Keys::launchPassword), kLaunchPassword);
    EXPECT_EQ(historyPasswords(next.history), (QStringList{kPassword, kOtherPassword, QString()}));

    // Switched off, the store is not asked and there is nothing to tell.
    write(setup, Keys::useKeyring, false);
    EXPECT_TRUE(secrets.notice().isEmpty());
}

// History entries and a launch password marked as held by the keyring, where no keyring
// answers: they load with empty passwords, the launch password is known to be unreadable,
// and saving again keeps the marks so that nothing held in the keyring is lost.
TEST(SecretServiceTest, MarkedHistoryAndLaunchPasswordSurviveARunWithoutAService)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/");
    const QString historyFile = folder + QStringLiteral("connectionHistory.dat");
    QFile f(historyFile);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    for (const QString &line :
         {QStringLiteral("h1\u00a7u\u00a7\u00a721\u00a7/a/"), QStringLiteral("h2\u00a7u\u00a7plain\u00a721\u00a7/b/"),
          QStringLiteral("PassInKeyring=k1,")})
        f.write(line.toUtf8().toBase64() + "\r\n");
    f.close();
    tSetupClass written;
    write(written, Keys::askForLaunchPassword, true);
    written.setBool(QStringLiteral("launchPasswordInKeyring"), true);
    ASSERT_TRUE(written.save(folder + QStringLiteral("setup.dat")));

    NextStart run(folder, [] { return SecretStore::none(QStringLiteral("none here")); });
    EXPECT_TRUE(run.secrets.launchPasswordUnreadable());
    EXPECT_EQ(historyPasswords(run.history), (QStringList{QString(), QStringLiteral("plain")}));
    ASSERT_TRUE(run.history.save(historyFile));
    ASSERT_TRUE(run.secrets.saveSettings(folder + QStringLiteral("setup.dat"), nullptr));

    const QByteArray saved = fileBytes(historyFile);
    EXPECT_TRUE(saved.contains(QStringLiteral("PassInKeyring=k1,").toUtf8().toBase64())) << saved.constData();
    EXPECT_TRUE(launchPasswordMarked(folder + QStringLiteral("setup.dat")));
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
