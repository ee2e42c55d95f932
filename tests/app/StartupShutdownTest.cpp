#include "app/MainController.h"
#include "base/Guard.h"
#include "base/TextCodec.h"
#include "settings/SettingsCatalogue.h"
#include "support/FtpServers.h"
#include "support/RecordingUserInterface.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A window stand-in: hands out a geometry and records what start-up and shut-down ask and
// tell.
class FakeView : public MainView {
public:
    WindowGeometry currentGeometry() const override { return current; }
    void applyGeometry(const WindowGeometry &g, bool keep) override
    {
        applied = g;
        keptPosition = keep;
    }
    void loadListLayouts(const QString &, bool includeQueue) override { queueLayoutLoaded = includeQueue; }

    WindowGeometry current = WindowGeometry::designed();
    WindowGeometry applied;
    bool keptPosition = false;
    bool queueLayoutLoaded = false;
    bool debugVisible = false;
    int closeRequests = 0;
};

void observe(MainController &c, FakeView &view)
{
    c.setView(&view);
    QObject::connect(&c, &MainController::debugModeChanged, &c, [&view](bool on) { view.debugVisible = on; });
    QObject::connect(&c, &MainController::closeRequested, &c, [&view] { ++view.closeRequests; });
}

class StartupShutdown : public ::testing::Test {
protected:
    void SetUp() override
    {
        setBugReporter([this](const QString &site, const QString &msg) { bugs << site + QLatin1Char(':') + msg; });
    }
    void TearDown() override { setBugReporter({}); }

    // FormCreate and the first tick, as the program does at launch.
    MainController &start(const QStringList &args = {})
    {
        view = std::make_unique<FakeView>();
        controller = std::make_unique<MainController>(ui);
        observe(*controller, *view);
        controller->FormCreate(args);
        EXPECT_TRUE(controller->tick().isEnabled());
        controller->tick().setEnabled(false); // ticks are driven by hand here
        controller->tick().timerTimer();
        return *controller;
    }
    QString dataFile(const char *name) const { return home.programData() + QString::fromLatin1(name); }

    TempHome home;
    RecordingUserInterface ui;
    std::unique_ptr<FakeView> view;
    std::unique_ptr<MainController> controller;
    QStringList bugs;
};

TEST_F(StartupShutdown, FirstRunUsesDefaultsAndASecondRunGetsBackWhatTheFirstSaved)
{
    MainController &first = start();
    EXPECT_TRUE(QDir(home.programData()).exists());
    EXPECT_TRUE(QDir(first.folders().savedQueue).exists());
    EXPECT_TRUE(QDir(first.folders().sharedProfiles).exists());
    EXPECT_EQ(first.browsers().lFolder(), QDir::homePath() + QLatin1Char('/'));
    EXPECT_EQ(first.asciiMasks(), (QStringList{QStringLiteral("*.*htm*"), QStringLiteral("*.php")}));
    EXPECT_FALSE(view->keptPosition);
    EXPECT_FALSE(view->queueLayoutLoaded);
    EXPECT_EQ(view->applied.width, 795);
    EXPECT_EQ(view->applied.lPanelWidth, 372);
    EXPECT_TRUE(first.started());

    first.browsers().setLocalFolder(QStringLiteral("/srv/data/"));
    first.setAsciiMasks(first.asciiMasks() + QStringList{QStringLiteral("*.txt")});
    first.setConnectionHistory({QStringLiteral("ftp.example.com\u00A7anna\u00A7secret\u00A72121\u00A7/pub/")});
    first.browsers().setFilterText(BrowserController::Side::Local, QStringLiteral("*.iso"));
    view->current = {40, 30, 1000, 700, 2, 150, 80, 200, 400};
    EXPECT_TRUE(first.FormCloseQuery());
    EXPECT_FALSE(first.tick().isEnabled());
    EXPECT_TRUE(bugs.isEmpty()) << bugs.join(QLatin1Char('\n')).toStdString();

    MainController &second = start();
    EXPECT_EQ(second.setup().getInt(QStringLiteral("lastRunVersion"), 0), 2800);
    EXPECT_EQ(second.setup().getInt(QStringLiteral("appRuns"), 0), 1);
    EXPECT_TRUE(view->keptPosition);
    EXPECT_TRUE(view->queueLayoutLoaded);
    EXPECT_EQ(view->applied.left, 40);
    EXPECT_EQ(view->applied.top, 30);
    EXPECT_EQ(view->applied.width, 1000);
    EXPECT_EQ(view->applied.height, 700);
    EXPECT_EQ(view->applied.windowState, 2);
    EXPECT_EQ(view->applied.panelBottomHeight, 150);
    EXPECT_EQ(view->applied.logHeight, 80);
    EXPECT_EQ(view->applied.gamePanelWidth, 200);
    EXPECT_EQ(view->applied.lPanelWidth, 400);
    EXPECT_EQ(second.browsers().lFolder(), QStringLiteral("/srv/data/"));
    EXPECT_EQ(second.browsers().localFolderHistory().value(1), QDir::homePath() + QLatin1Char('/'));
    EXPECT_EQ(second.asciiMasks().last(), QStringLiteral("*.txt"));
    EXPECT_EQ(second.browsers().filter(BrowserController::Side::Local).text, QStringLiteral("*.iso"));
    EXPECT_EQ(second.quickConnect().address, QStringLiteral("ftp.example.com"));
    EXPECT_EQ(second.quickConnect().password, QStringLiteral("secret"));
    EXPECT_EQ(second.quickConnect().port, QStringLiteral("2121"));
    second.FormCloseQuery();
    MainController &third = start();
    EXPECT_EQ(third.setup().getInt(QStringLiteral("appRuns"), 0), 2);
    EXPECT_EQ(third.browsers().localFolderHistory().count(QStringLiteral("/srv/data/")), 1);
}

TEST_F(StartupShutdown, HeadlessControllerListsALocalFolderAndJoinsTheTransferSessionOnceAFolderIsShown)
{
    QTemporaryDir local;
    ASSERT_TRUE(QFile(local.filePath(QStringLiteral("one.txt"))).open(QIODevice::WriteOnly));
    PyftpdlibServer srv;
    ASSERT_TRUE(srv.start()) << srv.failure().toStdString();
    MainController &c = start();
    c.browsers().setLocalFolder(local.path());
    c.browsers().refreshLocalView();
    ASSERT_EQ(c.browsers().state().lEntries.size(), 1u);
    EXPECT_EQ(c.browsers().state().lEntries[0].name, QStringLiteral("one.txt"));

    c.setup().setBool(QStringLiteral("ravuzAroEnabled"), true);
    SessionSupervisor &s = c.sessions();
    s.setRavuzAro(true);
    s.setCurrentSite(siteOf(srv));
    s.setConnectionWanted(true);
    c.tick().timer_threads.execute();
    EXPECT_FALSE(s.xferSession()->connectedOrResolving()) << "no remote folder is shown yet";
    // The login lists the site's folder through the program's own completion handling, and
    // the supervisor learns from the browsers that a remote folder is shown.
    ASSERT_TRUE(waitFor([&] { return c.browsers().rFolder() == QStringLiteral("/"); }, 15000));
    EXPECT_TRUE(s.mainSession()->loggedIn);
    c.tick().timer_threads.execute();
    ASSERT_TRUE(waitFor([&] { return s.xferSession()->loggedIn && s.xferSession()->idleState(); }, 15000));
    ui.confirmAnswers = {true};
    EXPECT_TRUE(c.FormCloseQuery());
    EXPECT_FALSE(s.xferSession()->IsConnected());
}

TEST_F(StartupShutdown, ClosingWhileConnectedAsksFirstAndThenDisconnects)
{
    PyftpdlibServer srv;
    ASSERT_TRUE(srv.start()) << srv.failure().toStdString();
    MainController &c = start();
    SessionSupervisor &s = c.sessions();
    s.setCurrentSite(siteOf(srv));
    s.setConnectionWanted(true);
    c.tick().timer_threads.execute();
    ASSERT_TRUE(waitFor([&] { return s.mainSession()->IsConnected() && s.mainSession()->idleState(); }, 15000));
    s.mainSession()->loggedIn = true; // what the login completion records

    ui.confirmAnswers = {false};
    EXPECT_FALSE(c.FormCloseQuery());
    EXPECT_EQ(ui.questions, QStringList{QStringLiteral(
                                "You are currently connected to an FTP site. Still want to close application?")});
    EXPECT_TRUE(s.mainSession()->IsConnected());
    EXPECT_TRUE(s.connectionWanted());
    EXPECT_FALSE(QFile::exists(dataFile("setup.dat")));

    ui.confirmAnswers = {true};
    EXPECT_TRUE(c.FormCloseQuery());
    EXPECT_FALSE(s.mainSession()->IsConnected());
    EXPECT_TRUE(s.isFullyDisconnected());
    EXPECT_TRUE(QFile::exists(dataFile("setup.dat")));
    // The protocol lines reached the log through the display feed.
    bool sawUser = false;
    for (int i = 0; i < c.log().rowCount(); ++i)
        sawUser = sawUser || c.log().index(i).data().toString().contains(QStringLiteral("USER ") + srv.user());
    EXPECT_TRUE(sawUser);
}

TEST_F(StartupShutdown, DebugSwitchIsRecognisedInAnyLetterCase)
{
    start({QStringLiteral("-TMBdebug")});
    EXPECT_TRUE(view->debugVisible);
    EXPECT_TRUE(controller->debugMode());
    start({QStringLiteral("--tmbdebug"), QStringLiteral("x")});
    EXPECT_FALSE(view->debugVisible);
}

TEST_F(StartupShutdown, LaunchPasswordIgnoresLetterCaseAndClosesOnAnythingElse)
{
    struct Row {
        const char *name;
        const char *stored;
        bool accept;
        const char *typed;
        bool closes;
        bool wrongMessage;
    };
    const Row rows[] = {
        {"same-text-other-case", "Secret", true, "sECRET", false, false},
        {"empty-matches-empty", "", true, "", false, false},
        {"wrong-text", "Secret", true, "secret1", true, true},
        {"cancelled", "Secret", false, "", true, false},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        {
            MainController &c = start();
            c.setup().setBool(QStringLiteral("askForLaunchPassword"), true);
            c.setup().setString(QStringLiteral("launchPassword"), QString::fromUtf8(r.stored));
            c.FormCloseQuery();
        }
        ui.messages.clear();
        ui.textPrompts.clear();
        ui.textAnswers = {{r.accept, QString::fromUtf8(r.typed)}};
        start();
        EXPECT_EQ(ui.textPrompts,
                  QStringList{QStringLiteral("Password - Kestrin FTP Pro|What is the launch password:|masked")});
        EXPECT_EQ(view->closeRequests, r.closes ? 1 : 0);
        EXPECT_EQ(ui.messages.contains(QStringLiteral("Wrong password")), r.wrongMessage);
        controller->setup().setBool(QStringLiteral("askForLaunchPassword"), false);
        controller->FormCloseQuery();
    }
}

// The settings say the keyring holds the launch password, and no keyring answers: the
// password cannot be checked, so the program does not open (an empty answer would pass).
TEST_F(StartupShutdown, LaunchPasswordHeldByAnUnreachableKeyringKeepsTheProgramClosed)
{
    {
        MainController &c = start();
        c.setup().setBool(QStringLiteral("askForLaunchPassword"), true);
        c.FormCloseQuery();
    }
    tSetupClass saved;
    saved.encoded = true;
    saved.load(dataFile("setup.dat"));
    saved.setString(QStringLiteral("launchPassword"), QString());
    saved.setBool(QStringLiteral("launchPasswordInKeyring"), true);
    ASSERT_TRUE(saved.save(dataFile("setup.dat")));
    ui.messages.clear();
    ui.textAnswers = {{true, QString()}};
    start();
    EXPECT_EQ(ui.textPrompts, QStringList());
    EXPECT_EQ(view->closeRequests, 1);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages.first().contains(QStringLiteral("keyring"))) << ui.messages.first().toStdString();
}

TEST_F(StartupShutdown, OldSettingsFilesReplaceSetupDatForOneStart)
{
    QDir().mkpath(home.programData());
    tSetupClass current;
    current.encoded = true;
    current.setString(QStringLiteral("detailedLog"), QStringLiteral("true"));
    current.setString(QStringLiteral("fromNewFile"), QStringLiteral("yes"));
    current.save(dataFile("setup.dat"));
    const QString sep(tSetupClass::kSeparator);
    saveEncodedList({QStringLiteral("detailedLog"), QStringLiteral("fromOldFiles")}, dataFile("setupIDs.dat"));
    saveEncodedList({QStringLiteral("detailedLog") + sep + QStringLiteral("false"),
                     QStringLiteral("fromOldFiles") + sep + QStringLiteral("yes")},
                    dataFile("setupValues.dat"));

    QStringList log;
    view = std::make_unique<FakeView>();
    controller = std::make_unique<MainController>(ui);
    observe(*controller, *view);
    QObject::connect(controller.get(), &MainController::logWritten, [&log](const QString &l) { log << l; });
    controller->FormCreate({});
    EXPECT_TRUE(log.contains(sep + QStringLiteral("Converting setup file from Kestrin FTP Pro 2.6 format ...")));
    EXPECT_EQ(controller->setup().getString(QStringLiteral("fromOldFiles"), QString()), QStringLiteral("yes"));
    EXPECT_EQ(controller->setup().getString(QStringLiteral("fromNewFile"), QStringLiteral("absent")),
              QStringLiteral("absent"));
    EXPECT_FALSE(QFile::exists(dataFile("setupIDs.dat")));
    EXPECT_FALSE(QFile::exists(dataFile("setupValues.dat")));
    controller->FormCloseQuery();
    tSetupClass written;
    written.encoded = true;
    written.load(dataFile("setup.dat"));
    EXPECT_EQ(written.getString(QStringLiteral("fromOldFiles"), QString()), QStringLiteral("yes"));
    EXPECT_FALSE(written.getBool(QStringLiteral("detailedLog"), true));
}

TEST_F(StartupShutdown, GarbageFilesStartWithDefaults)
{
    QDir().mkpath(home.programData());
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(static_cast<char>((i * 7919) & 0xFF));
    for (const char *name : {"setup.dat", "asciiFiles.dat", "connectionHistory.dat", "lFolderHistory.dat"}) {
        QFile f(dataFile(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(garbage);
    }
    MainController &c = start();
    EXPECT_TRUE(c.started());
    EXPECT_EQ(read(c.setup(), Keys::startupAction), 1);
    EXPECT_TRUE(bugs.isEmpty()) << bugs.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(c.FormCloseQuery());
}

TEST_F(StartupShutdown, UnwritableFilesAtCloseAreReportedAndTheOthersStillSaved)
{
    MainController &c = start();
    c.setAsciiMasks({QStringLiteral("*.cfg")});
    // A folder where the history file should be: that one write fails.
    QDir().mkpath(dataFile("lFolderHistory.dat"));
    EXPECT_TRUE(c.FormCloseQuery());
    EXPECT_EQ(bugs.size(), 1);
    EXPECT_TRUE(bugs.value(0).startsWith(QStringLiteral("nnlqlks:")));
    EXPECT_TRUE(QFile::exists(dataFile("setup.dat")));
    QStringList masks;
    loadEncodedList(masks, dataFile("asciiFiles.dat"));
    EXPECT_EQ(masks, QStringList{QStringLiteral("*.cfg")});
}

TEST_F(StartupShutdown, ASettingsFileThatCannotBeWrittenIsToldToTheUser)
{
    MainController &c = start();
    // A folder with something in it where setup.dat should be: the rename over it fails.
    QDir().mkpath(dataFile("setup.dat/keep"));
    EXPECT_TRUE(c.FormCloseQuery());
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages[0].startsWith(QStringLiteral("Could not save the settings")))
        << ui.messages[0].toStdString();
    EXPECT_TRUE(QFileInfo(dataFile("setup.dat/keep")).isDir());
    // The other files are still written.
    EXPECT_TRUE(QFile::exists(dataFile("asciiFiles.dat")));
}

TEST_F(StartupShutdown, AnUnusableDataFolderAtCloseIsReportedAndTheNextStartUsesDefaults)
{
    MainController &c = start();
    // The program data folder disappears and a plain file takes its name: nothing can be written.
    const QString folder = home.programData();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    QFile blocker(folder.chopped(1));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_TRUE(c.FormCloseQuery());
    EXPECT_FALSE(bugs.isEmpty());
    for (const QString &bug : std::as_const(bugs))
        EXPECT_TRUE(bug.startsWith(QStringLiteral("nnlqlks:"))) << bug.toStdString();

    ASSERT_TRUE(QFile::remove(folder.chopped(1)));
    bugs.clear();
    MainController &next = start();
    EXPECT_TRUE(next.started());
    EXPECT_EQ(read(next.setup(), Keys::lastRunVersion), -1);
    EXPECT_TRUE(bugs.isEmpty());
}

} // namespace
