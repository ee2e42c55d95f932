#include "app/widgets/SingleInstance.h"

#include "support/FtpServers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

// The program as a process of its own, killed by its id when the test ends.
struct Program {
    QProcess process;
    ~Program()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

// Waits (bounded) until the condition holds, handling events meanwhile.
bool waitFor(const std::function<bool()> &condition, int ms)
{
    for (QDeadlineTimer deadline(ms); !deadline.hasExpired();) {
        if (condition())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return condition();
}

int usersLoggedIn(const PyftpdlibServer &server)
{
    return static_cast<int>(server.receivedCommands().filter(QStringLiteral("USER anonymous")).size());
}

TEST(SingleInstanceTest, OnlyFtpLinksAreTakenFromTheCommandLine)
{
    const QStringList args{QStringLiteral("-tmbdebug"),
                           QStringLiteral("ftp://h/"),
                           QStringLiteral(" FTPS://h:990/ "),
                           QStringLiteral("ftpes://u@h/"),
                           QStringLiteral("http://h/"),
                           QStringLiteral("ftp://a\nb"),
                           QStringLiteral("ftp://") + QString(3000, QLatin1Char('x'))};
    EXPECT_EQ(SingleInstance::linksIn(args), (QStringList{QStringLiteral("ftp://h/"), QStringLiteral("FTPS://h:990/"),
                                                          QStringLiteral("ftpes://u@h/")}));
}

// A second start with an ftp:// link hands it to the running program and ends; the running
// program connects. A socket left behind by a program that was killed does not stop the
// next start: it takes the socket over and connects to its own link.
TEST(SingleInstanceTest, ASecondStartHandsItsLinkToTheRunningProgram)
{
    PyftpdlibServer server;
    server.setLogCommands(true);
    ASSERT_TRUE(server.start()) << server.failure().toStdString();
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString runtime = home.path() + QStringLiteral("/run");
    ASSERT_TRUE(QDir().mkdir(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString socket = runtime + QStringLiteral("/kestrin-ftp.socket");
    const QString link = QStringLiteral("ftp://anonymous@127.0.0.1:%1/").arg(server.port());

    Program first;
    first.process.setProcessEnvironment(env);
    first.process.start(QStringLiteral(KESTRIN_APP_PATH), {});
    ASSERT_TRUE(first.process.waitForStarted(10000));
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(socket); }, 30000)) << "the program made no socket";

    Program second;
    second.process.setProcessEnvironment(env);
    second.process.start(QStringLiteral(KESTRIN_APP_PATH), {link});
    ASSERT_TRUE(second.process.waitForFinished(20000)) << "the second start did not end";
    EXPECT_EQ(second.process.exitCode(), 0);
    ASSERT_TRUE(waitFor([&] { return usersLoggedIn(server) >= 1; }, 30000))
        << server.receivedCommands().join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(first.process.state(), QProcess::Running);

    // Killed, the program leaves its socket behind.
    first.process.kill();
    ASSERT_TRUE(first.process.waitForFinished(10000));
    ASSERT_TRUE(QFileInfo::exists(socket));
    Program third;
    third.process.setProcessEnvironment(env);
    third.process.start(QStringLiteral(KESTRIN_APP_PATH), {link});
    ASSERT_TRUE(third.process.waitForStarted(10000));
    EXPECT_TRUE(waitFor([&] { return usersLoggedIn(server) >= 2; }, 30000))
        << server.receivedCommands().join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(third.process.state(), QProcess::Running);
}

} // namespace
