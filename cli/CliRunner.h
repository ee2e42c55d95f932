#pragma once

#include "cli/CliOptions.h"
#include "cli/TerminalUserInterface.h"
#include "sites/FtpUrl.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class MainController;
class QueueItem;
struct tFolderEntryObject;

// Runs one verb of the command line on a headless MainController: the very queue, pump
// and completion the window uses. It connects, turns the verb into queue commands (listing
// a remote folder first where a command needs the entry of a remote file), pumps the queue
// until it is empty, reports each finished item and disconnects.
class CliRunner : public QObject {
    Q_OBJECT
public:
    explicit CliRunner(const CliOptions &options);
    ~CliRunner() override;

    // The exit status (CliExit).
    int run();
    // Ctrl-C or a termination signal: the running transfer is aborted, the queue stops.
    void interrupt();

private:
    struct Started {
        QString verb, source, target;
        QElapsedTimer clock;
    };

    // The server to connect to, from the URL or the --site profile; a CliExit status.
    int prepareSite();
    static QString profilesFolder();
    bool connectToServer();
    void disconnectFromServer();
    void applySettings();
    bool queueVerb();
    bool queueRun(const QString &file);
    // Queues a command, finding a remote entry for verbs that need one. False when refused.
    bool queueCommand(const QString &command);
    // Lists a remote folder (fresh from the server) and waits for it. False on failure.
    bool listFolder(const QString &folder);
    // The entry of a remote path from a fresh listing of its folder; false when it is not there.
    bool remoteEntry(const QString &path, tFolderEntryObject &entry);
    // Pumps until the queue is empty; failed items are reported and the queue goes on.
    void runQueue();
    bool waitUntil(const std::function<bool()> &done, int ms);
    void drive();
    void itemStarted(QueueItem *item);
    void itemFinished(QueueItem *item, const QString &outcome, const QString &error);
    void report(const QJsonObject &o);
    void showProgress(QueueItem *item, qint64 bytes);
    void note(const QString &text) const;
    void watchSkippedEntries();
    int statusWithSkips(int status) const;
    QString remotePath(const QString &path) const;

    CliOptions m_options;
    TerminalUserInterface m_ui;
    std::unique_ptr<MainController> m_controller;
    FtpUrl m_url;                               // the server and, in path, the remote path the verb names
    tSiteRecord m_site;                         // where and how to connect; an empty password is looked up
    QString m_baseFolder = QStringLiteral("/"); // relative remote paths are below it (ends in "/")
    QTimer m_driver;
    bool m_interrupted = false;
    bool m_loginFailed = false;
    int m_failed = 0;
    int m_driveCount = 0;
    QHash<quint64, Started> m_started;
    QSet<quint64> m_reported;
    // Failed items reported and still in the queue, taken out by the next drive().
    std::vector<std::uint64_t> m_failedItems;
    QElapsedTimer m_progressClock;
    bool m_progressShown = false;
    bool m_stderrIsTty = false;
};
