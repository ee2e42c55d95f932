#include "app/DebugReports.h"
#include "app/MainController.h"
#include "settings/u_tmbSetup.h"

#include <QFile>
#include <QTemporaryDir>

#include "support/QtPrinters.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

namespace {

TEST(DebugReports, InfoLinesPadTheLabelToTwentySixCharacters)
{
    DebugInfo info;
    info.width = 795;
    info.height = 500;
    info.appRuns = QStringLiteral("7");
    const QStringList lines = DebugReports::infoLines(info);
    ASSERT_EQ(lines.size(), 13);
    EXPECT_EQ(lines[0], QStringLiteral("form widthXheight         : 795x500"));
    EXPECT_EQ(lines[5], QStringLiteral("FTPCli Version            : 282"));
    EXPECT_EQ(lines[6], QStringLiteral("App Runs                  : 7"));
    for (const QString &line : lines)
        EXPECT_EQ(line.indexOf(QStringLiteral(": ")), 26) << line.toStdString();
}

TEST(DebugReports, WritesSetupVariablesIntoTheTemporaryFolderWithCrLf)
{
    tSetupClass setup;
    setup.setString(QStringLiteral("toolbarTheme"), QStringLiteral("1"));
    setup.setString(QStringLiteral("detailedLog"), QStringLiteral("false"));
    QTemporaryDir temp;
    const ScopedEnv temporary("TMPDIR", temp.path().toLocal8Bit());
    const QString path = DebugReports::writeTempFile(QStringLiteral("kftpdebug.txt"), DebugReports::setupKeys(setup));
    EXPECT_EQ(path, temp.filePath(QStringLiteral("kftpdebug.txt")));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("detailedLog\r\ntoolbarTheme\r\n"));
    const QStringList entries = DebugReports::setupEntryLines(setup);
    EXPECT_EQ(entries, (QStringList{QStringLiteral("detailedLog\u00A7false"), QStringLiteral("toolbarTheme\u00A71")}));
    // The launch password, in whatever letter case the key was written, is masked.
    setup.setString(QStringLiteral("launchpassword"), QStringLiteral("hunter2"));
    EXPECT_FALSE(DebugReports::setupEntryLines(setup).join(QString()).contains(QStringLiteral("hunter2")));
}

class NoUi : public UserInterface {
public:
    void showMessage(const QString &) override {}
    bool confirm(const QString &) override { return false; }
    bool askText(const QString &, const QString &, QString &, bool) override { return false; }
    void showBugWindow(const QString &, const QString &) override {}
};

TEST(ControllerLog, WriteLogFillsTheLogModelMasked)
{
    NoUi ui;
    MainController controller(ui);
    controller.writeLog(QStringLiteral(">PASS secret"));
    // A protocol line of the transfer session reaches the log through the controller's wiring.
    SessionSupervisor &sessions = controller.sessions();
    sessions.xferSession()->loggedIn = true;
    emit sessions.displayLine(sessions.xferSession(), QStringLiteral("< 226 ok"));
    EXPECT_EQ(controller.log().lines(),
              (QStringList{QStringLiteral(">PASS [*** hidden ***]"), QStringLiteral("<(SmartTransfer) 226 ok")}));
}

} // namespace
