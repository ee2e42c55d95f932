#include "app/jobs/CommandJob.h"

#include "app/QueueController.h"

void CommandJob::start()
{
    const QueueItem &it = item();
    RemoteSession &s = session();
    switch (it.verb()) {
    case QueueVerb::ChmodFile:
    case QueueVerb::ChmodFolder:
        expect(JobStep::Command);
        s.changeMode(it.field(1), it.field(2));
        break;
    case QueueVerb::DeleteFile:
        expect(JobStep::Command);
        s.deleteFile(it.field(1));
        break;
    case QueueVerb::DeleteFolder:
        expect(JobStep::Command);
        s.removeFolder(it.field(1));
        break;
    case QueueVerb::MakeFolder:
        expect(JobStep::Command);
        s.makeFolder(it.field(1));
        break;
    case QueueVerb::RenameFile:
    case QueueVerb::RenameFolder:
        expect(JobStep::Command);
        s.rename(it.field(1), it.field(2));
        break;
    default:
        finish(QueueOutcome::failed(0, unknownQueueEntryMessage(it.command())), unknownQueueEntryMessage(it.command()));
        break;
    }
}

void CommandJob::requestDone(RemoteRequest request, int error)
{
    Q_UNUSED(request);
    const QueueItem &it = item();
    const QString path = it.field(1);
    if (it.verb() == QueueVerb::MakeFolder && error == 0)
        m_queue.noteRemoteFolderMade(path);
    else if (it.verb() == QueueVerb::RenameFile || it.verb() == QueueVerb::RenameFolder)
        m_queue.noteRemotePathWritten(it.field(2)); // whatever the reply, something may be there now
    const bool accepted = error == 0 || (it.has(QueueFlag::IgnoreError) &&
                                         (it.verb() == QueueVerb::MakeFolder || it.verb() == QueueVerb::RenameFile ||
                                          it.verb() == QueueVerb::RenameFolder));
    if (accepted) {
        // RMD of an emptied folder refreshes nothing itself: the deletion lists the shown folder.
        const bool refresh = it.verb() != QueueVerb::DeleteFolder;
        finish(QueueOutcome::done());
        if (refresh)
            m_queue.refreshAfterChange(parentFolderOf(path));
        return;
    }
    QString message;
    switch (it.verb()) {
    case QueueVerb::MakeFolder:
        message = QStringLiteral("Unable to create folder\r\r") + path;
        break;
    case QueueVerb::DeleteFolder:
        message = QStringLiteral("Unable to delete folder\r\r") + path;
        break;
    case QueueVerb::DeleteFile:
        message = QStringLiteral("Unable to delete file \r\r") + it.displayName();
        break;
    case QueueVerb::RenameFile:
        message = QStringLiteral("Unable to rename file \r\r") + path;
        break;
    case QueueVerb::RenameFolder:
        message = QStringLiteral("Unable to rename folder \r\r") + path;
        break;
    default:
        message = QStringLiteral("Unable to change permission\r\r") + path;
        break;
    }
    fail(error, message);
}
