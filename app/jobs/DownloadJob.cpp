#include "app/jobs/DownloadJob.h"

#include "app/BrowserCommands.h"
#include "app/QueueController.h"
#include "app/Sound.h"
#include "app/UserInterface.h"
#include "browser/LocalFiles.h"
#include "settings/SettingsCatalogue.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

bool DownloadJob::resumeMakesSense() const
{
    const QueueItem &it = item();
    if (m_queue.isAsciiFile(it.displayName()))
        return false;
    const std::int64_t local = localFileSize(it.field(2));
    return it.entry && local >= 0 && local < it.entry->size;
}

void DownloadJob::start()
{
    QueueItem &it = item();
    const QString local = it.field(2);
    const bool exists = QFileInfo::exists(local);
    if (exists && std::exchange(it.resumesOwnPartial, false)) {
        // The partial file is this item's own, from before the connection was lost.
        it.transferAction = resumeMakesSense() ? TransferAction::Resume : TransferAction::Overwrite;
    }
    // Resume only where the prompt would offer it; a stored "resume" that does not fit (the
    // local file is as large as the remote one, or a text transfer) asks again.
    const bool ask = it.transferAction == TransferAction::Ask ||
                     (it.transferAction == TransferAction::Resume && !resumeMakesSense());
    if (exists && ask) {
        expect(JobStep::OverwritePrompt);
        const QDateTime remoteModified = it.entry ? unpackFileTime(it.entry->time) : QDateTime();
        if (!m_queue.askOverwrite(*this, localFileSize(local), it.entrySize(), resumeMakesSense(),
                                  QFileInfo(local).lastModified(), remoteModified))
            return;
    }
    // Skip drops the item only when there is a local file to keep.
    if (it.transferAction == TransferAction::Skip && exists) {
        finish(QueueOutcome::skipped());
        return;
    }
    RemoteSession &s = session();
    if (!m_queue.typeIsRight(s, it.displayName())) {
        expect(JobStep::TypeSwitch);
        m_queue.toggleType(s);
        return;
    }
    startRetr();
}

void DownloadJob::startRetr()
{
    QueueItem &it = item();
    it.startTime = QDateTime::currentDateTimeUtc();
    prepareDataConnection();
    expect(JobStep::Transfer);
    setResumeAt(it.transferAction == TransferAction::Resume && resumeMakesSense() ? localFileSize(it.field(2)) : 0);
    session().getFile(it.field(1), it.field(2), resumeAt(), it.entrySize());
}

void DownloadJob::requestDone(RemoteRequest request, int error)
{
    Q_UNUSED(request);
    switch (step()) {
    case JobStep::TypeSwitch:
        if (error != 0)
            return fail(error, QStringLiteral("Unable to set transfer type"));
        return startRetr();
    case JobStep::Transfer:
        transferDone(error);
        break;
    case JobStep::SizeCheck:
        sizeCheckDone(error);
        break;
    case JobStep::FileTime:
        fileTimeDone(error);
        break;
    default:
        return;
    }
}

QueueOutcome DownloadJob::abandonOutcome() const
{
    return QueueOutcome::failed(0, QStringLiteral("The transfer could not go on."));
}

void DownloadJob::failTransfer(int code, const QString &why)
{
    const QString local = item().field(2);
    if (item().stopRequested) {
        finish(QueueOutcome::stopped());
    } else {
        // The partial file stays for a resume; it is not counted as received.
        const QString message = QStringLiteral("Unable to download file\r\r") + item().displayName() +
                                (why.isEmpty() ? QString() : QStringLiteral(" (") + why + QLatin1Char(')'));
        fail(code, message);
    }
    m_queue.refreshLocal(local);
}

void DownloadJob::transferDone(int error)
{
    RemoteSession &s = session();
    if (error != 0 || item().stopRequested)
        return failTransfer(error, error != 0 ? s.lastReply() : QString());
    // Text transfers change line ends: their length says nothing about completeness.
    if (!s.binaryMode())
        return whole();
    // A device or a pipe keeps no length: what the session wrote to it counts.
    m_written = s.downloadedLength();
    const std::int64_t announced = s.announcedSize();
    if (announced >= 0) {
        if (m_written == announced)
            return whole();
        return failTransfer(426, QStringLiteral("partial file, %1 of %2 bytes").arg(m_written).arg(announced));
    }
    const std::int64_t listed = item().entrySize();
    if (listed < 0 || m_written == listed)
        return whole();
    // The listing may be older than the file: the server's size now decides.
    expect(JobStep::SizeCheck);
    s.querySize(item().field(1));
}

void DownloadJob::sizeCheckDone(int error)
{
    RemoteSession &s = session();
    if (error == 0 && s.sizeResult() == m_written)
        return whole();
    const std::int64_t want = error == 0 ? s.sizeResult() : item().entrySize();
    failTransfer(426, QStringLiteral("partial file, %1 of %2 bytes").arg(m_written).arg(want));
}

void DownloadJob::whole()
{
    if (!read(m_queue.setup(), Keys::preserveFileTimes))
        return complete();
    RemoteSession &s = session();
    if (!s.canQueryModifiedTime())
        return timeNotSet(QStringLiteral("the server tells no file times (it offers no MDTM)"));
    // A pipe or a device keeps no time.
    if (!keepsLength(item().field(2)))
        return timeNotSet(QStringLiteral("the target is not a regular file"));
    expect(JobStep::FileTime);
    s.queryModifiedTime(item().field(1));
}

void DownloadJob::fileTimeDone(int error)
{
    const QDateTime remote = error == 0 ? session().modifiedTimeResult() : QDateTime();
    if (!remote.isValid())
        return timeNotSet(QStringLiteral("the server gave none (%1)").arg(session().lastReply().trimmed()));
    QString why;
    if (!setLocalModifiedTime(item().field(2), remote, &why))
        return timeNotSet(why);
    complete();
}

void DownloadJob::timeNotSet(const QString &why)
{
    m_queue.writeLog(QString(QChar(0xA7)) +
                     QStringLiteral("The time of %1 was left as it is: %2").arg(item().field(2), why));
    complete();
}

bool DownloadJob::endAfterLoss()
{
    if (step() != JobStep::FileTime)
        return false;
    // The file is whole; only its time is missing.
    timeNotSet(QStringLiteral("the connection was lost"));
    return true;
}

void DownloadJob::complete()
{
    QueueItem &it = item();
    tSetupClass &setup = m_queue.setup();
    write(setup, Keys::statFilesReceived, read(setup, Keys::statFilesReceived) + 1);
    const QString sound = read(setup, Keys::sndOnXferDone);
    if (!read(setup, Keys::disableSound) && !sound.isEmpty())
        playSoundFile(sound);
    const QString local = it.field(2);
    const QString remote = it.field(1);
    m_queue.announceDownload(it, local);
    // The listed time, to two seconds in local time; an exact time preserved above wins.
    if (read(setup, Keys::setOriginalFileDate) && !read(setup, Keys::preserveFileTimes) && it.entry &&
        it.entry->time > 1)
        setLocalFileTimes(local, unpackFileTime(it.entry->time));
    const QueueVerb verb = it.verb();
    const std::optional<tFolderEntryObject> entry = it.entry;
    // The item leaves the queue first: opening and editing run event loops.
    finish(QueueOutcome::done());
    m_queue.refreshLocal(local);
    if (verb == QueueVerb::OpenFile)
        m_queue.ui().openWithDesktop(local);
    else if (verb == QueueVerb::EditFile)
        edit(local, remote, entry);
}

void DownloadJob::edit(const QString &local, const QString &remote, const std::optional<tFolderEntryObject> &entry)
{
    UserInterface &ui = m_queue.ui();
    ui.showMessage(QStringLiteral("Press OK to edit the received file"));
    if (!BrowserCommands::launchEditor(m_queue.setup(), ui, local)) {
        m_queue.writeLog(QString(QChar(0xA7)) + QStringLiteral("File editing canceled."));
        return;
    }
    if (ui.confirm(QStringLiteral("When you are finished editing the file, press the OK button to save the file "
                                  "changes to the FTP server.\r\r\nRemember to save the file in the editor and close "
                                  "it before pressing OK."))) {
        if (QueueItem *upload = m_queue.addToQueue(QStringLiteral("putFile*") + local + QLatin1Char('*') + remote,
                                                   entry ? &*entry : nullptr))
            upload->transferAction = TransferAction::Overwrite;
    } else {
        m_queue.writeLog(QString(QChar(0xA7)) + QStringLiteral("File editing canceled."));
        QFile::remove(local);
    }
}
