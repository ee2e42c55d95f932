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

namespace {

QString dateText(const QDateTime &t)
{
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("date unknown");
}

// The source first, as in the message above it.
QString datesLine(bool download, const QDateTime &localModified, const QDateTime &remoteModified)
{
    if (!localModified.isValid() && !remoteModified.isValid())
        return QString();
    const QString server = QStringLiteral("server copy: ") + dateText(remoteModified);
    const QString local = QStringLiteral("local copy: ") + dateText(localModified);
    QString line = download ? server + QStringLiteral(", ") + local : local + QStringLiteral(", ") + server;
    line[0] = line[0].toUpper();
    // Minutes are what both sides show; within the same minute neither is called newer.
    if (localModified.isValid() && remoteModified.isValid()) {
        const qint64 apart = remoteModified.secsTo(localModified);
        if (apart >= 60)
            line += QStringLiteral(" (the local copy is newer)");
        else if (apart <= -60)
            line += QStringLiteral(" (the server copy is newer)");
    }
    return line;
}

} // namespace

OverwriteQuestion overwriteQuestion(const QueueItem &item, std::int64_t localSize, std::int64_t remoteSize,
                                    const QDateTime &localModified, const QDateTime &remoteModified)
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
        q.dates = datesLine(true, localModified, remoteModified);
        break;
    case QueueVerb::PutFile:
        q.message =
            QStringLiteral("The file \"%1\" (%2b) already exists on FTP server as \"%1\" (%3b).  -  Select Action ...")
                .arg(name, formatBytes(localSize), formatBytes(remoteSize));
        q.resumeEnabled = remoteSize >= 0 && remoteSize < localSize;
        q.dates = datesLine(false, localModified, remoteModified);
        break;
    default:
        q.message = QStringLiteral("Unknown transfer type (direction");
        break;
    }
    q.defaultChoice = q.resumeEnabled ? OverwriteChoice::Resume : OverwriteChoice::Skip;
    return q;
}
