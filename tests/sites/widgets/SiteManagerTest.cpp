// The site manager and the links bar in the real main window against a pyftpdlib server:
// a site made in the window connects and fills the remote list, a profile in "[links bar]"
// becomes a button that connects, and the window's questions and refusals. Set
// KESTRIN_SITES_SHOTS to a folder to save site-manager.png and links-bar.png there.
#include "app/SessionSupervisor.h"
#include "app/widgets/Commands.h"
#include "app/widgets/MainWindow.h"
#include "settings/SettingsCatalogue.h"
#include "sites/SiteProfiles.h"
#include "sites/widgets/SiteManagerWindow.h"
#include "sites/widgets/SitesViews.h"
#include "support/FtpServers.h"
#include "support/RecordingUserInterface.h"
#include "support/TempHome.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct SitesParts {
    RecordingUserInterface ui;
    MainController controller{ui};
};

class SitesWindow : public SitesParts, public MainWindow {
public:
    SitesWindow() : MainWindow(SitesParts::controller) {}
};

QStringList remoteNames(MainWindow &w)
{
    QStringList names;
    QAbstractItemModel *m = w.remoteList()->model();
    for (int row = 0; row < m->rowCount(); ++row)
        names << m->index(row, 0).data().toString();
    return names;
}

QString shotPath(const char *name)
{
    const QByteArray folder = qgetenv("KESTRIN_SITES_SHOTS");
    return folder.isEmpty() ? QString() : QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name);
}

class SiteManager : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.failure().toStdString();
        QFile f(server.localWritable() + QStringLiteral("/readme.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        w = std::make_unique<SitesWindow>();
        w->MainWindow::controller().FormCreate({});
        w->resize(1100, 700);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        ASSERT_TRUE(QTest::qWaitFor([this] { return c().started(); }, 5000));
        views = w->findChild<SitesViews *>();
        ASSERT_NE(views, nullptr);
        // The first start opens the site manager (start-up action 1); the tests open their own.
        openedAtStartup = views->siteManager() != nullptr;
        if (openedAtStartup)
            views->siteManager()->close();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !views->siteManager(); }, 2000));
    }
    void TearDown() override
    {
        if (!w)
            return;
        write(c().setup(), Keys::neverShowAppFeedback, true);
        write(c().setup(), Keys::confirmCloseWhenConnected, false);
        EXPECT_TRUE(w->close());
    }
    MainController &c() { return w->MainWindow::controller(); }
    RecordingUserInterface &ui() { return w->ui; }
    SiteManagerWindow *open()
    {
        w->commands().acSiteMgr->trigger();
        SiteManagerWindow *sm = views->siteManager();
        EXPECT_TRUE(sm && QTest::qWaitForWindowExposed(sm));
        return sm;
    }
    template <typename T> static T *child(SiteManagerWindow *sm, const char *name)
    {
        return sm->findChild<T *>(QString::fromLatin1(name));
    }
    static void type(SiteManagerWindow *sm, const char *box, const QString &text)
    {
        QLineEdit *e = child<QLineEdit>(sm, box);
        e->selectAll();
        QTest::keyClicks(e, text);
    }
    tSiteRecord serverSite() const
    {
        tSiteRecord s;
        s.Host = QStringLiteral("127.0.0.1");
        s.Port = QString::number(server.port());
        s.User = server.user();
        s.Pass = server.password();
        return s;
    }
    bool showsRemote(const QString &name)
    {
        return QTest::qWaitFor([&] { return remoteNames(*w).contains(name); }, 15000);
    }

    TempHome home;
    PyftpdlibServer server;
    std::unique_ptr<SitesWindow> w;
    SitesViews *views = nullptr;
    bool openedAtStartup = false;
};

TEST_F(SiteManager, ASiteMadeInTheWindowConnectsWithItsSavedFields)
{
    EXPECT_TRUE(openedAtStartup);
    SiteManagerWindow *sm = open();
    ASSERT_NE(sm, nullptr);
    EXPECT_TRUE(sm->isModal()); // the main window waits while it is open
    ui().textAnswers.push_back({true, QStringLiteral("Local test server")});
    QTest::mouseClick(child<QPushButton>(sm, "newsite"), Qt::LeftButton);
    EXPECT_EQ(ui().textPrompts.value(0), QStringLiteral("Create new site|New site nickname:"));
    ASSERT_EQ(sm->selectedPath(), QStringLiteral("Local test server"));
    // The host box offers the name, selected, to be typed over.
    EXPECT_EQ(child<QLineEdit>(sm, "siteHost")->selectedText(), QStringLiteral("Local test server"));

    type(sm, "siteHost", QStringLiteral("127.0.0.1"));
    type(sm, "siteUsername", server.user());
    type(sm, "sitePassword", server.password());
    type(sm, "sitePort", QString::number(server.port()));
    QPushButton *save = child<QPushButton>(sm, "save");
    ASSERT_TRUE(save->isEnabled());
    QTest::mouseClick(save, Qt::LeftButton);
    EXPECT_FALSE(save->isEnabled());
    const QString file = c().sharedProfilesFolder() + QStringLiteral("Local test server.veze");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray saved = f.readAll();
    EXPECT_TRUE(saved.contains("Host=127.0.0.1\r\n")) << saved.constData();
    EXPECT_FALSE(saved.contains(server.password().toUtf8())) << "the password is stored encoded";
    // The tests have no secret store: the window says where the password went.
    QLabel *notice = child<QLabel>(sm, "keyringNotice");
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return notice->isVisibleTo(sm); }, 2000));
    EXPECT_TRUE(notice->text().contains(QStringLiteral("saved in the profile file"))) << notice->text().toStdString();
    // In plain words: what the keyring answered is only in the tooltip.
    EXPECT_FALSE(notice->text().contains(c().secrets().notice())) << notice->text().toStdString();
    EXPECT_TRUE(notice->toolTip().endsWith(c().secrets().notice()));
    EXPECT_FALSE(notice->text().contains(server.password()));

    // A host typed but not saved is not what Connect uses.
    type(sm, "siteHost", QStringLiteral("unsaved.invalid"));
    const QString shot = shotPath("site-manager.png");
    if (!shot.isEmpty()) {
        type(sm, "siteHost", QStringLiteral("127.0.0.1"));
        child<QLineEdit>(sm, "siteSRFolder")->setFocus();
        QTest::qWait(200);
        EXPECT_TRUE(sm->grab().save(shot));
    }
    QTest::mouseClick(child<QPushButton>(sm, "connect"), Qt::LeftButton);
    ASSERT_TRUE(showsRemote(QStringLiteral("readme.txt"))) << ui().messages.join(u'\n').toStdString();
    EXPECT_TRUE(ui().questions.isEmpty()) << ui().questions.join(u'\n').toStdString();
    EXPECT_EQ(views->siteManager(), nullptr);
    EXPECT_TRUE(w->isEnabled());
    const tSiteRecord &current = c().sessions().currentSite();
    EXPECT_EQ(current.Host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(current.name, QStringLiteral("Local test server"));
    EXPECT_TRUE(current.fromSiteManager);
    // Opening again selects the same node.
    sm = open();
    EXPECT_EQ(sm->selectedPath(), QStringLiteral("Local test server"));
    sm->close();
}

// The protocol choice on the profile page: SFTP moves a default port to 22 (and back) but
// keeps a port of the user's own, turns the FTP-only fields off and the key file on; the key
// file comes from the file picker, and protocol and key file are saved and connected with.
TEST_F(SiteManager, AnSftpSiteKeepsItsProtocolPortAndKeyFile)
{
    const SiteProfiles profiles(c().sharedProfilesFolder());
    tSiteRecord shell;
    shell.Host = QStringLiteral("127.0.0.1");
    shell.Port = QStringLiteral("21");
    shell.User = QStringLiteral("anna");
    ASSERT_TRUE(profiles.writeProfile(QStringLiteral("Shell"), shell));
    SiteManagerWindow *sm = open();
    ASSERT_NE(sm, nullptr);
    sm->selectPath(QStringLiteral("Shell"));
    auto *protocol = child<QComboBox>(sm, "siteProtocol");
    auto *encryption = child<QComboBox>(sm, "encryption");
    QLineEdit *port = child<QLineEdit>(sm, "sitePort");
    QLineEdit *keyFile = child<QLineEdit>(sm, "siteKeyFile");
    auto *browse = child<QPushButton>(sm, "siteKeyFileBrowse");
    ASSERT_TRUE(protocol && encryption && keyFile && browse);
    EXPECT_EQ(protocol->currentText(), QStringLiteral("FTP"));
    EXPECT_FALSE(keyFile->isEnabled());
    EXPECT_FALSE(browse->isEnabled());

    protocol->setCurrentIndex(static_cast<int>(SiteProtocol::Sftp));
    EXPECT_EQ(port->text(), QStringLiteral("22"));
    EXPECT_FALSE(encryption->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(sm, "anonymous")->isEnabled());
    EXPECT_TRUE(keyFile->isEnabled());
    EXPECT_TRUE(child<QPushButton>(sm, "save")->isEnabled());

    // Back and forth with the implicit-TLS default, then with a port of the user's own.
    encryption->setCurrentIndex(static_cast<int>(SiteEncryption::Implicit));
    protocol->setCurrentIndex(static_cast<int>(SiteProtocol::Ftp));
    EXPECT_EQ(port->text(), QStringLiteral("990"));
    EXPECT_TRUE(encryption->isEnabled());
    protocol->setCurrentIndex(static_cast<int>(SiteProtocol::Sftp));
    EXPECT_EQ(port->text(), QStringLiteral("22"));
    type(sm, "sitePort", QStringLiteral("2222"));
    protocol->setCurrentIndex(static_cast<int>(SiteProtocol::Ftp));
    EXPECT_EQ(port->text(), QStringLiteral("2222"));
    protocol->setCurrentIndex(static_cast<int>(SiteProtocol::Sftp));
    EXPECT_EQ(port->text(), QStringLiteral("2222"));

    // Cancelled, the picker changes nothing; a chosen file fills the box.
    QTest::mouseClick(browse, Qt::LeftButton);
    EXPECT_EQ(ui().filePickerStarts,
              QStringList{QStringLiteral("SSH key file|") + QDir::homePath() + QStringLiteral("/.ssh")});
    EXPECT_TRUE(keyFile->text().isEmpty());
    const QString key = home.path() + QStringLiteral("/keys/id_ed25519");
    ui().pickedFile = key;
    QTest::mouseClick(browse, Qt::LeftButton);
    EXPECT_EQ(keyFile->text(), key);
    type(sm, "sitePort", QStringLiteral("1"));

    const QString shot = shotPath("site-manager-sftp.png");
    if (!shot.isEmpty()) {
        QTest::qWait(200);
        EXPECT_TRUE(sm->grab().save(shot));
    }
    QTest::mouseClick(child<QPushButton>(sm, "save"), Qt::LeftButton);
    tSiteRecord back;
    ASSERT_TRUE(profiles.readProfile(QStringLiteral("Shell"), back));
    EXPECT_EQ(back.protocol, SiteProtocol::Sftp);
    EXPECT_EQ(back.keyFile, key);
    EXPECT_EQ(back.Port, QStringLiteral("1"));
    EXPECT_EQ(back.User, QStringLiteral("anna"));

    // Opened again, the page shows what was saved; Connect takes protocol and key file along.
    sm->close();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !views->siteManager(); }, 2000));
    sm = open();
    ASSERT_NE(sm, nullptr);
    ASSERT_EQ(sm->selectedPath(), QStringLiteral("Shell"));
    EXPECT_EQ(child<QComboBox>(sm, "siteProtocol")->currentText(), QStringLiteral("SFTP"));
    EXPECT_EQ(child<QLineEdit>(sm, "siteKeyFile")->text(), key);
    EXPECT_FALSE(child<QComboBox>(sm, "encryption")->isEnabled());
    QTest::mouseClick(child<QPushButton>(sm, "connect"), Qt::LeftButton);
    const tSiteRecord &current = c().sessions().currentSite();
    EXPECT_EQ(current.protocol, SiteProtocol::Sftp);
    EXPECT_EQ(current.keyFile, key);
    EXPECT_EQ(current.User, QStringLiteral("anna"));
    EXPECT_TRUE(c().connection().acDisconnect());
    EXPECT_TRUE(QTest::qWaitFor([&] { return c().sessions().isFullyDisconnected(); }, 15000));
}

TEST_F(SiteManager, AProfileInTheLinksBarFolderIsAButtonThatConnects)
{
    const SiteProfiles profiles(c().sharedProfilesFolder());
    ASSERT_TRUE(profiles.writeProfile(QStringLiteral("Mine"), serverSite()));
    EXPECT_FALSE(w->findChild<QToolBar *>(QStringLiteral("tbLinks"))->isVisible()) << "an empty links bar is hidden";

    // Dropping the site on "[links bar]" moves its profile there; the bar follows at once.
    SiteManagerWindow *sm = open();
    sm->moveNode(QStringLiteral("Mine"), SiteProfiles::kLinksBar + QLatin1Char('\\'));
    EXPECT_TRUE(QFileInfo::exists(c().sharedProfilesFolder() + QStringLiteral("[links bar]/Mine.veze")));
    EXPECT_EQ(sm->selectedPath(), QStringLiteral("[links bar]\\Mine"));
    sm->close();
    QToolBar *bar = w->findChild<QToolBar *>(QStringLiteral("tbLinks"));
    ASSERT_TRUE(QTest::qWaitFor([bar] { return bar->isVisible(); }, 2000));
    QList<QToolButton *> buttons = views->linkButtons();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), QStringLiteral("Mine"));
    EXPECT_EQ(buttons[0]->toolTip(), QStringLiteral("Click to connect to: Mine"));

    const QString shot = shotPath("links-bar.png");
    if (!shot.isEmpty()) {
        // The picture shows a fuller bar (a link in a sub-folder too); the extra links go again.
        const QStringList extra{QStringLiteral("Web host"), QStringLiteral("backup\\nas")};
        QDir().mkpath(c().sharedProfilesFolder() + QStringLiteral("[links bar]/backup"));
        for (const QString &name : extra)
            profiles.writeProfile(SiteProfiles::kLinksBar + QLatin1Char('\\') + name, serverSite());
        views->rebuildLinksBar();
        QTest::qWait(300);
        EXPECT_TRUE(w->grab(QRect(0, 0, w->width(), bar->geometry().bottom() + 4)).save(shot));
        for (const QString &name : extra)
            profiles.remove(SiteProfiles::kLinksBar + QLatin1Char('\\') + name);
        views->rebuildLinksBar();
        buttons = views->linkButtons();
    }
    write(c().setup(), Keys::siteMgrSelNodePath, QString());
    QTest::mouseClick(buttons[0], Qt::LeftButton);
    ASSERT_TRUE(showsRemote(QStringLiteral("readme.txt"))) << ui().messages.join(u'\n').toStdString();
    EXPECT_EQ(c().sessions().currentSite().name, QStringLiteral("Mine"));
    EXPECT_EQ(read(c().setup(), Keys::siteMgrSelNodePath), QStringLiteral("[links bar]\\Mine"));

    // A link clicked while connected closes that connection first, then connects to its own
    // site (here: the same server, opening another folder).
    ASSERT_TRUE(QDir().mkpath(server.localWritable() + QStringLiteral("/sub")));
    QFile inner(server.localWritable() + QStringLiteral("/sub/inner.txt"));
    ASSERT_TRUE(inner.open(QIODevice::WriteOnly));
    tSiteRecord second = serverSite();
    second.rFolder = QStringLiteral("/sub");
    ASSERT_TRUE(profiles.writeProfile(SiteProfiles::kLinksBar + QStringLiteral("\\Second"), second));
    views->rebuildLinksBar();
    buttons = views->linkButtons();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_EQ(buttons[1]->text(), QStringLiteral("Second"));
    QTest::mouseClick(buttons[1], Qt::LeftButton);
    ASSERT_TRUE(showsRemote(QStringLiteral("inner.txt"))) << ui().messages.join(u'\n').toStdString();
    EXPECT_EQ(c().sessions().currentSite().name, QStringLiteral("Second"));
}

// A damaged profile shown in the site manager: what could be read fills the boxes, a copy
// of the file is kept before a save could write over it, and the user is told once.
TEST_F(SiteManager, ADamagedProfileIsCopiedAsideAndNamedOnce)
{
    const SiteProfiles profiles(c().sharedProfilesFolder());
    ASSERT_TRUE(profiles.writeProfile(QStringLiteral("Good"), serverSite()));
    const QString file = c().sharedProfilesFolder() + QStringLiteral("Cut.veze");
    const QByteArray damaged("[FTP]\r\nHost=cut.example\r\n\0\0\0\0", 29);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(damaged), damaged.size());
    }
    write(c().setup(), Keys::siteMgrSelNodePath, QStringLiteral("Good"));
    SiteManagerWindow *sm = open();
    ui().messages.clear();
    sm->selectPath(QStringLiteral("Cut"));
    EXPECT_EQ(child<QLineEdit>(sm, "siteHost")->text(), QStringLiteral("cut.example"));
    QFile copy(file + QStringLiteral("-damaged"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), damaged);
    sm->selectPath(QStringLiteral("Good"));
    sm->selectPath(QStringLiteral("Cut"));
    ASSERT_EQ(ui().messages.size(), 1) << ui().messages.join(u'\n').toStdString();
    EXPECT_TRUE(ui().messages[0].contains(file + QStringLiteral(", copied to ") + file + QStringLiteral("-damaged")))
        << ui().messages[0].toStdString();
}

TEST_F(SiteManager, LeavingAnEditedProfileAsksAndRefusalsExplainThemselves)
{
    const SiteProfiles profiles(c().sharedProfilesFolder());
    ASSERT_TRUE(profiles.writeProfile(QStringLiteral("One"), serverSite()));
    ASSERT_TRUE(profiles.writeProfile(QStringLiteral("Two"), serverSite()));
    ASSERT_EQ(profiles.createFolder(QString(), QStringLiteral("Box")), SiteProfiles::Result::Done);
    ASSERT_TRUE(profiles.writeProfile(QStringLiteral("Box\\Two"), serverSite()));
    write(c().setup(), Keys::siteMgrSelNodePath, QStringLiteral("One"));
    SiteManagerWindow *sm = open();
    ASSERT_EQ(sm->selectedPath(), QStringLiteral("One"));

    // Anonymous greys out the login boxes.
    child<QCheckBox>(sm, "anonymous")->setChecked(true);
    EXPECT_FALSE(child<QLineEdit>(sm, "siteUsername")->isEnabled());
    type(sm, "siteSRFolder", QStringLiteral("/pub"));
    ui().confirmAnswers.push_back(true);
    sm->selectPath(QStringLiteral("Two"));
    ASSERT_EQ(ui().questions.size(), 1);
    EXPECT_EQ(ui().questions[0], QStringLiteral("Would you like to save changes to the current site profile before "
                                                "continuing?\n\nCurrent site profile: One"));
    tSiteRecord one;
    ASSERT_TRUE(profiles.readProfile(QStringLiteral("One"), one));
    EXPECT_EQ(one.rFolder, QStringLiteral("/pub"));
    EXPECT_TRUE(one.anonymous);

    // A drop onto a folder that holds the same name moves nothing and says why.
    sm->moveNode(QStringLiteral("Two"), QStringLiteral("Box\\"));
    EXPECT_EQ(ui().messages.value(0), QStringLiteral("A site profile with that name already exists in that folder!"));
    // A folder name the file system would take but another system would not.
    ui().textAnswers.push_back({true, QStringLiteral("a:b")});
    sm->newFolder();
    EXPECT_TRUE(ui().messages.value(1).startsWith(QStringLiteral("A foldername cannot contain")));
    // Deleting a site asks, naming it; No keeps it.
    sm->selectPath(QStringLiteral("Two"));
    ui().confirmAnswers.push_back(false);
    sm->deleteNode();
    EXPECT_TRUE(ui().questions.constLast().contains(QStringLiteral("\"Two\"")));
    EXPECT_TRUE(QFileInfo::exists(c().sharedProfilesFolder() + QStringLiteral("Two.veze")));
    ui().confirmAnswers.push_back(true);
    sm->deleteNode();
    EXPECT_FALSE(QFileInfo::exists(c().sharedProfilesFolder() + QStringLiteral("Two.veze")));
    EXPECT_EQ(sm->selectedPath(), QString());
    // A folder with profiles in it stays.
    sm->selectPath(QStringLiteral("Box\\"));
    sm->deleteNode();
    EXPECT_TRUE(QFileInfo::exists(c().sharedProfilesFolder() + QStringLiteral("Box/Two.veze")));
    // "New site" with the name of an existing profile selects it and shows what it holds.
    sm->selectPath(QString());
    ui().textAnswers.push_back({true, QStringLiteral("One")});
    sm->newSite();
    EXPECT_EQ(sm->selectedPath(), QStringLiteral("One"));
    EXPECT_EQ(child<QLineEdit>(sm, "siteHost")->text(), QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(profiles.readProfile(QStringLiteral("One"), one) && one.rFolder == QStringLiteral("/pub"));
    sm->close();
}

} // namespace
