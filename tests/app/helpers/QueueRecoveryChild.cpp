// The program without a window, run as a child process by the recovery tests so that it
// can be killed like a real one:
//   kestrin_queue_recovery_child fill|resume PORT USER PASSWORD LOCAL_FOLDER COUNT SERVER_ROOT
// Both modes start the controller on the data folder of the inherited HOME (which loads
// the recovery queue), print "loaded N", and log in to 127.0.0.1:PORT. "fill" then queues
// the downloads of f000.bin ... of COUNT files into LOCAL_FOLDER, with the sizes a listing
// would show (read from the server's folder SERVER_ROOT). Both then run until the
// queue is empty, print "prompts N" (overwrite questions, answered with their default:
// resume for a partial file) and shut down; the exit code is 0 when the queue emptied.
#include "app/MainController.h"
#include "settings/SettingsCatalogue.h"
#include "support/RecordingUserInterface.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 8)
        return 2;
    const bool fill = args[1] == QLatin1String("fill");
    QTextStream out(stdout);
    RecordingUserInterface ui;
    MainController c(ui);
    c.FormCreate({});
    write(c.setup(), Keys::startupAction, 0);
    // One transfer at a time: the kill then finds the files behind the large one unfinished,
    // the case this program is made for.
    write(c.setup(), Keys::simultaneousTransfers, 1);
    if (!waitFor([&] { return c.started(); }, 10000))
        return 3;
    out << "loaded " << c.queue().model().itemCount() << Qt::endl;

    SessionSupervisor &s = c.sessions();
    tSiteRecord site;
    site.name = QStringLiteral("recovery");
    site.Host = QStringLiteral("127.0.0.1");
    site.Port = args[2];
    site.User = args[3];
    site.Pass = args[4];
    s.setCurrentSite(site);
    s.setConnectionWanted(true);
    c.browsers().setRemoteFolder(QStringLiteral("/"));
    if (!waitFor([&] { return s.mainSession()->loggedIn; }, 20000))
        return 4;
    if (fill) {
        const QString local = args[5];
        for (int i = 0; i < args[6].toInt(); ++i) {
            const QString name = QStringLiteral("f%1.bin").arg(i, 3, 10, QLatin1Char('0'));
            tFolderEntryObject entry;
            entry.name = name;
            entry.size = QFileInfo(args[7] + QLatin1Char('/') + name).size();
            c.queue().addToQueue(QStringLiteral("getfile*/") + name + QLatin1Char('*') + local + name, &entry);
        }
        out << "queued" << Qt::endl;
    }
    const bool emptied = waitFor([&] { return c.queue().model().isEmpty(); }, 120000);
    out << "prompts " << ui.overwriteQuestions.size() << Qt::endl;
    // "Still want to close application?" while connected: yes.
    ui.confirmAnswers.push_back(true);
    if (!c.FormCloseQuery())
        return 5;
    return emptied ? 0 : 1;
}
