#include "app/jobs/UploadJob.h"

#include "app/BrowserController.h"
#include "app/QueueController.h"
#include "app/jobs/JobTexts.h"
#include "browser/LocalFiles.h"
#include "settings/SettingsCatalogue.h"

#include <QDateTime>
#include <QFileInfo>

#include <utility>

void UploadJob::start()
{
    QueueItem &it = item();
    QString remote = it.field(2);
    if (read(m_queue.setup(), Keys::forceRemoteLowercase) && it.entry) {
        // Only the name goes to small letters; the folder keeps its case.
        const qsizetype nameLength = it.entry->name.size();
        if (nameLength <= remote.size())
            remote = remote.left(remote.size() - nameLength) + it.entry->name.toLower();
    }
    m_remote = remote;
    // The remote file's size tells where its own partial upload stopped. Otherwise it
    // matters only when an existing file is not simply overwritten, and only where one
    // may exist: a tree sent into folders made for it asks nothing per file.
    m_asksSize = it.resumesOwnPartial ||
                 (read(m_queue.setup(), Keys::xferAction) != 0 && !m_queue.remotePathKnownFree(m_remote));
    if (m_asksSize)
        return startSize();
    startPut();
}

void UploadJob::startSize()
{
    RemoteSession &s = session();
    // Many servers answer SIZE only in binary mode; an ASCII session switches first.
    if (!s.binaryMode()) {
        expect(JobStep::TypeSwitch);
        s.setTextMode(false);
        return;
    }
    expect(JobStep::SizeQuery);
    s.querySize(m_remote);
}

void UploadJob::requestDone(RemoteRequest request, int error)
{
    Q_UNUSED(request);
    switch (step()) {
    case JobStep::TypeSwitch:
        if (error != 0)
            return fail(error, QStringLiteral("Unable to set transfer type"));
        if (m_asksSize && !m_remoteSizeKnown)
            return startSize();
        return startPut();
    case JobStep::SizeQuery:
        return sizeDone(error);
    case JobStep::Transfer:
        return putDone(error);
    case JobStep::FileTime:
        return fileTimeDone(error);
    default:
        return;
    }
}

QueueOutcome UploadJob::abandonOutcome() const
{
    return QueueOutcome::failed(0, QStringLiteral("The transfer could not go on."));
}

bool UploadJob::resumeMakesSense() const
{
    if (m_queue.isAsciiFile(item().displayName()))
        return false;
    const std::int64_t local = localFileSize(item().field(1));
    return m_remoteSizeKnown && m_remoteSize >= 0 && m_remoteSize < local;
}

void UploadJob::sizeDone(int error)
{
    QueueItem &it = item();
    m_remoteSizeKnown = true;
    m_remoteSize = error == 0 ? session().sizeResult() : -1;
    // The cached listing of the folder gives the remote file's time for the question, and its
    // size when the server gave none, so an existing file is never overwritten unasked.
    QDateTime remoteModified;
    const QString &remote = m_remote;
    if (const tFolderObject *cached = m_queue.browsers().state().findCachedFolder(parentFolderOf(remote))) {
        const QString name = remote.mid(remote.lastIndexOf(QLatin1Char('/')) + 1);
        for (const auto &e : cached->folderEntries) {
            if (e.entry.name != name || e.entry.isFolder)
                continue;
            if (m_remoteSize < 0)
                m_remoteSize = e.entry.size;
            remoteModified = unpackFileTime(e.entry.time);
        }
    }
    if (m_remoteSize >= 0 && std::exchange(it.resumesOwnPartial, false)) {
        // The remote file is this item's own, from before the connection was lost: it is
        // continued where it stopped, or sent again when it cannot be.
        it.transferAction = resumeMakesSense() ? TransferAction::Resume : TransferAction::Overwrite;
    }
    it.resumesOwnPartial = false;
    if (m_remoteSize >= 0 && (it.transferAction == TransferAction::Ask ||
                              (it.transferAction == TransferAction::Resume && !resumeMakesSense()))) {
        expect(JobStep::OverwritePrompt);
        if (!m_queue.askOverwrite(*this, localFileSize(it.field(1)), m_remoteSize, resumeMakesSense(),
                                  QFileInfo(it.field(1)).lastModified(), remoteModified))
            return;
    }
    if (it.transferAction == TransferAction::Skip && m_remoteSize >= 0)
        return finish(QueueOutcome::skipped());
    startPut();
}

void UploadJob::startPut()
{
    QueueItem &it = item();
    RemoteSession &s = session();
    if (!m_queue.typeIsRight(s, it.entry ? it.entry->name : m_remote)) {
        expect(JobStep::TypeSwitch);
        m_queue.toggleType(s);
        return;
    }
    it.startTime = QDateTime::currentDateTimeUtc();
    prepareDataConnection();
    expect(JobStep::Transfer);
    setResumeAt(it.transferAction == TransferAction::Resume && resumeMakesSense() ? m_remoteSize : 0);
    m_queue.noteRemotePathWritten(m_remote);
    s.putFile(it.field(1), m_remote, resumeAt());
}

void UploadJob::putDone(int error)
{
    QueueItem &it = item();
    if (error == 0 && !it.stopRequested)
        return whole();
    const QString folder = remoteFolder();
    if (it.stopRequested) {
        finish(QueueOutcome::stopped());
    } else {
        // The reason (the server's reply, or this side's: a local file that could not be
        // read or changed while it was sent) goes into the message the user sees too.
        const QString reply = session().lastReply();
        const QString message = QStringLiteral("Unable to upload file\r\r") + it.displayName() +
                                (reply.isEmpty() ? QString() : QStringLiteral(" (") + reply + QLatin1Char(')'));
        finish(QueueOutcome::failed(error, message), message + kQueueDisabled);
    }
    m_queue.refreshAfterChange(folder);
}

void UploadJob::whole()
{
    if (!read(m_queue.setup(), Keys::preserveFileTimes))
        return complete();
    RemoteSession &s = session();
    const QString local = item().field(1);
    if (!s.canSetModifiedTime())
        return complete(QStringLiteral("the server cannot set file times (it offers no MFMT)"));
    // A pipe or a device has no time of its own to keep.
    if (!keepsLength(local))
        return complete(QStringLiteral("the source is not a regular file"));
    expect(JobStep::FileTime);
    s.setModifiedTime(m_remote, QFileInfo(local).lastModified().toUTC());
}

void UploadJob::fileTimeDone(int error)
{
    complete(error == 0 ? QString() : QStringLiteral("refused (%1)").arg(session().lastReply().trimmed()));
}

bool UploadJob::endAfterLoss()
{
    if (step() != JobStep::FileTime)
        return false;
    // The remote file is whole; only its time is missing.
    complete(QStringLiteral("the connection was lost"));
    return true;
}

void UploadJob::complete(const QString &timeNote)
{
    if (!timeNote.isEmpty())
        m_queue.writeLog(QString(QChar(0xA7)) +
                         QStringLiteral("The time of %1 was left as it is: %2").arg(m_remote, timeNote));
    tSetupClass &setup = m_queue.setup();
    write(setup, Keys::statFilesSent, read(setup, Keys::statFilesSent) + 1);
    const QString folder = remoteFolder();
    finish(QueueOutcome::done());
    m_queue.refreshAfterChange(folder);
}

QString UploadJob::remoteFolder() const
{
    const QString &target = item().field(2);
    return parentFolderOf(target.startsWith(QLatin1Char('/')) ? target : QLatin1Char('/') + target);
}
