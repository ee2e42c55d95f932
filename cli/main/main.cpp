// kestrin-ftp-cli: the program's queue and engine on the command line, without a window.
#include "base/Version.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "cli/TerminalUserInterface.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler only writes a byte; the event loop reads it and stops the queue.
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[0], &byte, 1);
}

} // namespace

int main(int argc, char *argv[])
{
    // Qt's plain Unix event loop rather than GLib's: GLib's wakes itself up (a write to its
    // event descriptor, one more poll) for every posted event and each time a socket is
    // watched or no longer watched, several times for each file of a tree. Nothing here
    // needs GLib. The setting is taken back at once, so programs started later do not get it.
    const bool loopChosen = qEnvironmentVariableIsSet("QT_NO_GLIB");
    if (!loopChosen)
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    if (!loopChosen)
        qunsetenv("QT_NO_GLIB");
    QCoreApplication::setApplicationName(QStringLiteral("kestrin-ftp-cli"));
    QCoreApplication::setApplicationVersion(QLatin1String(Version::kVersionText));

    CliOptions options;
    QString error;
    if (!parseCliArguments(QCoreApplication::arguments().mid(1), options, &error)) {
        TerminalUserInterface::printError(error);
        TerminalUserInterface::printError(QStringLiteral("\"kestrin-ftp-cli --help\" lists the verbs and options"));
        return CliExit::kUsage;
    }
    if (options.version) {
        std::printf("kestrin-ftp-cli (Kestrin FTP Pro) %s\n", Version::kVersionText);
        return CliExit::kOk;
    }
    if (options.help) {
        std::fputs(cliHelpText(options.verb).toUtf8().constData(), stdout);
        return CliExit::kOk;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        std::perror("socketpair");
        return 1;
    }
    CliRunner runner(options);
    QSocketNotifier notifier(g_signalPipe[1], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &runner, [&runner] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[1], &byte, 1);
        runner.interrupt();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return runner.run();
}
