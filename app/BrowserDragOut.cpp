// Remote entries dragged out to the desktop's file manager: the drag carries file URLs that
// are made only when the drop target asks for them, by downloading the entries through the
// queue into a private folder and waiting for them.
#include "app/BrowserCommands.h"

#include "app/BrowserController.h"
#include "app/QueueController.h"
#include "app/SessionSupervisor.h"
#include "app/UserInterface.h"
#include "browser/DeferredUrlMimeData.h"
#include "browser/LocalFileOps.h"
#include "queue/QueueCommand.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <map>

namespace {

// The name directly below `target` that a local path belongs to; empty when outside it.
QString topNameUnder(const QString &target, const QString &localPath)
{
    if (!localPath.startsWith(target) || localPath.size() == target.size())
        return {};
    const QString rest = localPath.mid(target.size());
    return rest.left(rest.indexOf(QLatin1Char('/')));
}

// The local target of a download item, empty for other verbs.
QString downloadTarget(const QueueItem &item)
{
    if (item.verb() != QueueVerb::GetFile && item.verb() != QueueVerb::GetFolder)
        return {};
    return item.field(2);
}

} // namespace

QMimeData *BrowserCommands::remoteDragData(const Selection &remote)
{
    const std::vector<tFolderEntryObject> entries = entriesAt(Side::Remote, remote);
    const QString folder = m_browsers.rFolder();
    if (!loggedIn() || entries.empty() || folder.isEmpty())
        return new QMimeData;
    // The folder and entries are taken now: the list may show another folder by the drop.
    QPointer<BrowserCommands> self(this);
    return new DeferredUrlMimeData([self, folder, entries]() -> QList<QUrl> {
        return self ? self->downloadForDrop(folder, entries) : QList<QUrl>();
    });
}

QList<QUrl> BrowserCommands::downloadForDrop(const QString &folder, const std::vector<tFolderEntryObject> &entries)
{
    if (entries.empty())
        return {};
    const QString intro = QStringLiteral("These items were not copied to the drop target:\r\n");
    if (!loggedIn()) {
        tellLater(intro + QStringLiteral("(not connected to the FTP server)"));
        return {};
    }
    const QString target = makePrivateFolder(QStringLiteral("drag"));
    if (target.isEmpty()) {
        tellLater(QStringLiteral("Could not create a folder for the downloads in ") + m_temporaryFolder);
        return {};
    }

    // Per dragged name: why it is not whole, empty while nothing went wrong.
    std::map<QString, QString> problem;
    std::map<QString, bool> arrived; // files only: the download finished with all its bytes
    // At the front, in the dragged order: each is put before the one queued before it.
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        QString error;
        const QString command = buildCommand(it->isFolder ? QStringLiteral("getFolder") : QStringLiteral("getFile"),
                                             {folder + it->name, target + it->name}, &error);
        QueueItem *item = command.isEmpty() ? nullptr : m_queue.addToQueue(command, &*it, true);
        if (!item) {
            problem[it->name] = error.isEmpty() ? QStringLiteral("it could not be queued") : error;
            continue;
        }
        item->transferAction = TransferAction::Overwrite; // the folder is new: nothing there to ask about
    }

    QObject context;
    connect(&m_queue, &QueueController::downloadFinished, &context, [&](const QueueItem &, const QString &localFile) {
        const QString name = topNameUnder(target, localFile);
        if (!name.isEmpty() && target + name == localFile)
            arrived[name] = true;
    });
    connect(&m_queue, &QueueController::itemFinished, &context, [&](std::uint64_t id, const QueueOutcome &outcome) {
        const QueueItem *item = m_queue.model().itemById(id);
        if (!item || outcome.ok())
            return;
        const QString name = topNameUnder(target, downloadTarget(*item));
        if (!name.isEmpty() && problem[name].isEmpty())
            problem[name] = outcome.kind == QueueOutcome::Kind::Failed ? QStringLiteral("the download failed")
                                                                       : QStringLiteral("the download was interrupted");
    });

    // Ours: download items whose target lies in the private folder (folder downloads add
    // items of their own for their content).
    const auto oursLeft = [&](bool *running) {
        bool left = false;
        *running = false;
        for (int row = 0; row < m_queue.model().itemCount(); ++row) {
            const QueueItem *item = m_queue.model().itemAt(row);
            if (topNameUnder(target, downloadTarget(*item)).isEmpty())
                continue;
            left = true;
            *running = *running || item->running();
        }
        return left;
    };
    QString stopReason;
    const auto finished = [&] {
        bool running = false;
        if (!oursLeft(&running))
            return true;
        if (running)
            return false;
        if (!loggedIn())
            stopReason = QStringLiteral("the connection was lost");
        else if (m_queue.model().isPaused())
            stopReason = QStringLiteral("the queue is paused");
        return !stopReason.isEmpty();
    };
    m_queue.timer_checkQueue();
    if (!finished()) {
        // Judged again whenever the queue or the connection changes, after the change is
        // complete (an item that finished has left the queue by then).
        QEventLoop loop;
        const auto recheck = [&] {
            QMetaObject::invokeMethod(
                &context,
                [&] {
                    if (finished())
                        loop.quit();
                },
                Qt::QueuedConnection);
        };
        connect(&m_queue, &QueueController::itemFinished, &context, recheck);
        connect(&m_queue.model(), &QueueModel::itemRemoved, &context, recheck);
        connect(&m_queue.model(), &QueueModel::pausedChanged, &context, recheck);
        connect(&m_sessions, &SessionSupervisor::sessionClosed, &context, recheck);
        QTimer::singleShot(m_dropTimeoutMs, &loop, [&] {
            stopReason = QStringLiteral("the download took too long");
            loop.quit();
        });
        loop.exec();
    }
    context.disconnect();

    // What is left is taken out of the queue: its target is a folder nobody will look at. A
    // transfer still running (the wait timed out) ends with its item: its data connection is
    // closed.
    std::vector<std::uint64_t> leftOver;
    for (int row = 0; row < m_queue.model().itemCount(); ++row) {
        const QueueItem *item = m_queue.model().itemAt(row);
        const QString name = topNameUnder(target, downloadTarget(*item));
        if (name.isEmpty())
            continue;
        if (problem[name].isEmpty())
            problem[name] = stopReason.isEmpty() ? QStringLiteral("the download did not end") : stopReason;
        leftOver.push_back(item->id());
    }
    for (const std::uint64_t id : leftOver) {
        if (QueueItem *item = m_queue.model().itemById(id))
            m_queue.model().removeItem(item);
    }

    QList<QUrl> urls;
    QStringList notCopied;
    for (const tFolderEntryObject &e : entries) {
        const QString local = target + e.name;
        QString &why = problem[e.name];
        if (why.isEmpty()) {
            const QFileInfo info(local);
            const bool whole =
                e.isFolder ? info.isDir() && !info.isSymLink() : arrived[e.name] && info.isFile() && !info.isSymLink();
            if (!whole)
                why = QStringLiteral("the download did not complete");
        }
        if (why.isEmpty()) {
            urls << QUrl::fromLocalFile(local);
            continue;
        }
        notCopied << e.name + QStringLiteral(" (") + why + QLatin1Char(')');
        // Never handed out: a partial copy is removed.
        if (QFileInfo::exists(local))
            removeLocalTree(local);
    }
    if (urls.isEmpty())
        QDir().rmdir(target);
    if (!notCopied.isEmpty())
        tellLater(intro + notCopied.join(QStringLiteral("\r\n")));
    return urls;
}

void BrowserCommands::tellLater(const QString &text)
{
    // The drop target waits for the answer; the message must not hold it up.
    QMetaObject::invokeMethod(
        this, [this, text] { m_ui.showMessage(text); }, Qt::QueuedConnection);
}
