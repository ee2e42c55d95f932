#include "app/jobs/CommandJob.h"

#include "app/QueueController.h"
#include "app/tkftpclient.h"

void CommandJob::start()
{
    const QueueItem &it = item();
    tkftpclient &s = session();
    switch (it.verb()) {
    case QueueVerb::ChmodFile:
    case QueueVerb::ChmodFolder:
        s.SetLocalFileName(QStringLiteral("SITE CHMOD ") + it.field(2) + QLatin1Char(' ') + it.field(1));
        s.SetHostFileName(QStringLiteral("*chmod*"));
        expect(JobStep::Command);
        s.StartQuote();
        break;
    case QueueVerb::DeleteFile:
        s.SetHostFileName(it.field(1));
        expect(JobStep::Command);
        s.StartDele();
        break;
    case QueueVerb::DeleteFolder:
        s.SetHostFileName(it.field(1));
        expect(JobStep::Command);
        s.StartRmd();
        break;
    case QueueVerb::MakeFolder:
        s.SetHostFileName(it.field(1));
        expect(JobStep::Command);
        s.StartMkd();
        break;
    case QueueVerb::RenameFile:
    case QueueVerb::RenameFolder:
        s.SetLocalFileName(it.field(2));
        s.SetHostFileName(it.field(1));
        expect(JobStep::Command);
        s.StartRename();
        break;
    default:
        finish(QueueOutcome::failed(0, unknownQueueEntryMessage(it.command())), unknownQueueEntryMessage(it.command()));
        break;
    }
}

void CommandJob::requestDone(TFtpRequest request, int error)
{
    Q_UNUSED(request);
    const QueueItem &it = item();
    const QString path = it.field(1);
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
