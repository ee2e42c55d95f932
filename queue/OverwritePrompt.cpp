#include "queue/OverwritePrompt.h"

#include "base/TextUtil.h"
#include "queue/QueueItem.h"

#include <algorithm>

QString OverwriteQuestion::countdownText(int seconds)
{
    return QStringLiteral("Close this window in %1 second(s), and select default choice").arg(seconds);
}

int OverwriteQuestion::countdownFor(std::int64_t settingSeconds)
{
    // Below 5 seconds nobody could read the question.
    if (settingSeconds < 5)
        return 6;
    return static_cast<int>(std::min<std::int64_t>(settingSeconds, 24 * 3600)) + 1;
}

OverwriteQuestion overwriteQuestion(const QueueItem &item, std::int64_t localSize, std::int64_t remoteSize)
{
    OverwriteQuestion q;
    const QString name = item.entry ? item.entry->name : QString();
    // Sizes stay 64-bit: a file over 4 GiB must not look small enough to resume.
    switch (item.verb()) {
    case QueueVerb::GetFile:
    case QueueVerb::OpenFile:
    case QueueVerb::EditFile:
        q.message =
            QStringLiteral("The file \"%1\" (%2b) already exists locally as \"%1\" (%3b).  -  Select Action ...")
                .arg(name, formatBytes(remoteSize), formatBytes(localSize));
        q.resumeEnabled = item.verb() == QueueVerb::GetFile && localSize >= 0 && localSize < remoteSize;
        break;
    case QueueVerb::PutFile:
        q.message =
            QStringLiteral("The file \"%1\" (%2b) already exists on FTP server as \"%1\" (%3b).  -  Select Action ...")
                .arg(name, formatBytes(localSize), formatBytes(remoteSize));
        q.resumeEnabled = remoteSize >= 0 && remoteSize < localSize;
        break;
    default:
        q.message = QStringLiteral("Unknown transfer type (direction");
        break;
    }
    q.defaultChoice = q.resumeEnabled ? OverwriteChoice::Resume : OverwriteChoice::Skip;
    return q;
}
