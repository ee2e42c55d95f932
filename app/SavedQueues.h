#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QueueController;
class tSetupClass;
class UserInterface;

// The queue written to files of the saved queue folder and read back: the queues the user
// saves, loads and deletes by name from the queue list's menu, and the recovery queue
// "[recovery].dat" that carries the queue across restarts, crashes and lost connections.
//
// The recovery file is loaded once at start-up (loadRecovery) and from then on rewritten
// whenever the queue's rows change: the changes are collected for a short delay and written
// in one go, so a long burst of additions costs a few writes per second at most. Every write
// goes to a temporary file renamed over the old one; a failed write leaves the old file and
// the queue as they were, and the next change tries again. Shut-down writes at once
// (finishRecovery) and nothing is written after that.
//
// User-interface thread only. The menu commands may open modal windows (nested event loops).
class SavedQueues : public QObject {
    Q_OBJECT
public:
    static constexpr const char *kRecoveryName = "[recovery].dat";
    // Where a recovery file that could not be read completely is copied at start-up, so the
    // rewrites that follow do not lose the items after the damage.
    static constexpr const char *kDamagedRecoveryName = "[recovery]-damaged.dat";
    static constexpr int kDefaultRecoveryDelayMs = 300;

    using LogWriter = std::function<void(const QString &line)>;

    SavedQueues(tSetupClass &setup, UserInterface &ui, QueueController &queue, LogWriter writeLog,
                QObject *parent = nullptr);
    ~SavedQueues() override;

    // The saved queue folder, ending in "/".
    void setFolder(const QString &folder) { m_folder = folder; }
    QString folder() const { return m_folder; }
    QString recoveryPath() const { return m_folder + QLatin1String(kRecoveryName); }

    // By name. A name that is not a plain file name ("/", "\", NUL, ".", "..", empty) or
    // is the recovery file's is refused with *error set and nothing touched.
    // Writes the queue's top-level items to the named file (replacing it).
    bool saveQueue(const QString &name, QString *error = nullptr);
    // Appends the file's items to the queue. On a damaged pair the items before it stay.
    bool loadQueue(const QString &name, QString *error = nullptr);
    bool deleteQueue(const QString &name, QString *error = nullptr);
    // The files of the saved queue folder whose names do not contain ".dat" (so the
    // recovery file is never among them), sorted by name.
    QStringList savedQueueNames() const;

    // The queue menu's commands, with their log lines and messages.
    void saveQueueCommand();
    void loadQueueCommand(const QString &name);
    void deleteQueueCommand(const QString &name);

    // Start-up: appends the recovery file's items to the queue (when "autoSaveQueue") and
    // from then on keeps the file up to date with the queue.
    void loadRecovery();
    // Writes the recovery file now (whatever "autoSaveQueue" says); a pending delayed
    // write is dropped. False with *error set when the file could not be written: the old
    // file is then unchanged. This is the save of the queue rebuild after a lost connection.
    bool saveRecoveryNow(QString *error = nullptr);
    // Appends the recovery file's items to the queue, as loadQueue does; the second half of
    // that rebuild.
    bool loadRecoveryFile(QString *error = nullptr);
    // Shut-down: writes the recovery file at once when "autoSaveQueue" and stops every
    // later write (the queue emptied by the program's end is not the user's queue).
    void finishRecovery();

    void setRecoveryDelay(int ms) { m_recoveryTimer.setInterval(ms); }
    bool recoveryWritePending() const { return m_recoveryTimer.isActive(); }

private:
    bool load(const QString &path, const QString &name, QString *error);
    void queueChanged();
    void writeRecovery();
    bool writeRecoveryBytes(const QByteArray &bytes, QString *error);

    tSetupClass &m_setup;
    UserInterface &m_ui;
    QueueController &m_queue;
    LogWriter m_writeLog;
    QString m_folder;
    QTimer m_recoveryTimer;
    // The bytes the recovery file holds since our last write, to skip writing the same.
    QByteArray m_recoveryBytes;
    bool m_recoveryKnown = false;
    bool m_writeFailed = false;
    // Writes follow the queue only between the start-up load and shut-down: before the
    // load the file still holds the last run's queue.
    bool m_following = false;
};
