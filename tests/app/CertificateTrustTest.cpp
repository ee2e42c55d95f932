// The program's side of server certificates: an untrusted certificate is put to the user
// through the user-interaction port; "always" is kept in a private file and not asked
// again, "once" is not kept, Cancel logs nothing in, and a certificate that differs from
// the one trusted before is shown as a change. Against vsftpd with TLS and a certificate
// the test makes (no authority the system trusts has signed it).

#include "app/MainController.h"
#include "settings/SettingsCatalogue.h"
#include "support/FtpServers.h"
#include "support/RecordingUserInterface.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>

namespace {

class CertificateTrustTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_server = std::make_unique<VsftpdServer>();
        m_server->setTls(VsftpdServer::Tls::Explicit);
        if (!m_server->start()) {
            if (!m_server->skipReason().isEmpty())
                GTEST_SKIP() << m_server->skipReason().toStdString();
            FAIL() << m_server->failure().toStdString();
        }
    }

    void startProgram()
    {
        m_controller = std::make_unique<MainController>(ui);
        QObject::connect(m_controller.get(), &MainController::logWritten, [this](const QString &l) { log << l; });
        QObject::connect(&m_controller->status(), &StatusController::encryptionChanged,
                         [this](const QString &d) { encryption = d; });
        m_controller->FormCreate({});
        ASSERT_TRUE(waitFor([&] { return m_controller->started(); }));
    }

    // Connects with an "ftpes://" address; true when the main session logged in.
    bool connect()
    {
        MainController &c = *m_controller;
        ConnectController::QuickConnect boxes;
        boxes.address = QStringLiteral("ftpes://localhost:%1/").arg(m_server->port());
        boxes.user = m_server->user();
        boxes.password = m_server->password();
        boxes.encryption = SiteEncryption::Plain; // the scheme overrides the bar's choice
        if (!c.connection().connectQuick(boxes))
            return false;
        // Logged in and the first listing shown (the queue is empty again), or gone.
        waitFor(
            [&] {
                return (c.mainSessionLoggedIn() && !c.browsers().rFolder().isEmpty() && c.queue().model().isEmpty()) ||
                       c.sessions().isFullyDisconnected();
            },
            30000);
        return c.mainSessionLoggedIn();
    }
    void disconnect()
    {
        MainController &c = *m_controller;
        if (!c.sessions().isFullyDisconnected())
            c.connection().acDisconnect();
        ASSERT_TRUE(waitFor([&] { return c.sessions().isFullyDisconnected(); }, 15000)) << context();
    }
    QString storeFile() const { return home.programData() + QStringLiteral("trustedCertificates.dat"); }
    std::string context() const { return log.join(u'\n').toStdString(); }

    TempHome home;
    RecordingUserInterface ui;
    std::unique_ptr<VsftpdServer> m_server;
    std::unique_ptr<MainController> m_controller;
    QStringList log;
    QString encryption;
};

} // namespace

TEST_F(CertificateTrustTest, CancelRefusesAlwaysIsKeptAndNotAskedAgain)
{
    startProgram();
    ui.certificateAnswers = {CertificateChoice::Cancel};
    EXPECT_FALSE(connect()) << context();
    ASSERT_EQ(ui.certificateQuestions.size(), 1u);
    const CertificateQuestion first = ui.certificateQuestions[0];
    EXPECT_EQ(first.host, QStringLiteral("localhost"));
    EXPECT_EQ(first.port, static_cast<int>(m_server->port()));
    EXPECT_FALSE(first.changed);
    EXPECT_FALSE(first.certificate.chainTrusted);
    EXPECT_EQ(first.certificate.sha256.size(), 95); // 32 bytes as "AB:" pairs
    EXPECT_FALSE(first.certificate.problems().isEmpty());
    EXPECT_EQ(log.filter(QStringLiteral("USER ")).size(), 0) << context();
    disconnect();
    EXPECT_FALSE(QFile::exists(storeFile()));

    ui.certificateAnswers = {CertificateChoice::TrustAlways};
    ASSERT_TRUE(connect()) << context();
    EXPECT_EQ(ui.certificateQuestions.size(), 2u);
    ASSERT_TRUE(waitFor([&] { return !encryption.isEmpty(); }));
    EXPECT_TRUE(encryption.contains(QLatin1String("TLSv1."))) << encryption.toStdString();
    EXPECT_TRUE(encryption.contains(QLatin1String("data connections encrypted"))) << encryption.toStdString();
    disconnect();
    ASSERT_TRUE(waitFor([&] { return encryption.isEmpty(); }));
    QFile store(storeFile());
    ASSERT_TRUE(store.open(QIODevice::ReadOnly));
    EXPECT_TRUE(store.readAll().contains(first.certificate.sha256.toLatin1()));
    EXPECT_EQ(QFileInfo(storeFile()).permissions() &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());

    // The next run trusts it without asking.
    EXPECT_TRUE(m_controller->FormCloseQuery());
    m_controller.reset();
    startProgram();
    ASSERT_TRUE(connect()) << context();
    EXPECT_EQ(ui.certificateQuestions.size(), 2u);
    disconnect();
}

TEST_F(CertificateTrustTest, AChangedCertificateIsAWarningAndTrustOnceIsNotKept)
{
    // The server was trusted before with another certificate.
    QDir().mkpath(home.programData());
    const QString other = QStringLiteral("AA:").repeated(31) + QStringLiteral("AA");
    {
        QFile f(storeFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("localhost:%1 %2\n").arg(m_server->port()).arg(other).toLatin1());
    }
    const QByteArray before = [&] {
        QFile f(storeFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    startProgram();
    ui.certificateAnswers = {CertificateChoice::TrustOnce};
    ASSERT_TRUE(connect()) << context();
    ASSERT_EQ(ui.certificateQuestions.size(), 1u);
    EXPECT_TRUE(ui.certificateQuestions[0].changed);
    EXPECT_FALSE(log.filter(QStringLiteral("is not the one trusted before")).isEmpty()) << context();
    disconnect();
    QFile f(storeFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);

    // "Once" holds for this run: connecting again does not ask.
    ASSERT_TRUE(connect()) << context();
    EXPECT_EQ(ui.certificateQuestions.size(), 1u);
    disconnect();
}
