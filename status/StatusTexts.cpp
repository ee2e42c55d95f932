#include "status/StatusTexts.h"

#include "sites/FtpUrl.h"
#include "status/TransferStats.h"

namespace StatusTexts {

namespace {

QString kb(std::int64_t bytes)
{
    return QString::number(TransferStats::divideRounded(bytes, 1024));
}

// "%d files (%d kb)" up to 1 MiB, "(%d mb)" above.
QString filesAndSize(const tListCounters &c)
{
    const bool megabytes = c.fileBytes > 1048576;
    const std::int64_t value = megabytes ? TransferStats::divideRounded(c.fileBytes, 1048576)
                                         : TransferStats::divideRounded(c.fileBytes, 1024);
    return QStringLiteral("%1 files (%2 %3)  -  %4 folders")
        .arg(c.files)
        .arg(value)
        .arg(megabytes ? QStringLiteral("mb") : QStringLiteral("kb"))
        .arg(c.folders);
}

} // namespace

QString statusLine(const StatusInput &in)
{
    using A = StatusInput::Activity;
    QString s;
    switch (in.activity) {
    case A::NotConnected:
        if (in.reconnect) {
            const auto [seconds, attempts] = *in.reconnect;
            return QStringLiteral("Retry #%1 in %2 seconds - Retrying to connect to server in %2 seconds. %1 attempts "
                                  "so far")
                .arg(attempts)
                .arg(seconds);
        }
        return QStringLiteral("Not connected");
    case A::Connecting:
        s = QStringLiteral("Connecting");
        break;
    case A::Idle:
        s = in.siteName;
        break;
    case A::Working:
        s = QStringLiteral("Working");
        break;
    case A::Stopping:
        s = QStringLiteral("Stopping");
        break;
    case A::Transferring:
        s = TransferStats::percentDoneText(in.done, in.size);
        break;
    }
    return s + QStringLiteral(" - ") + in.siteName + QStringLiteral(" (") + displayHost(in.hostName) +
           QStringLiteral(")");
}

QString title(const QString &statusLine)
{
    return statusLine + QStringLiteral(" - ") + QLatin1String(kProductTitle);
}

QString queueCaption(const QueueTotals &t, WhenEmpty whenEmpty)
{
    QString text =
        QStringLiteral(" ftp queue  -  %1 files in queue (%2 kb)  -  %3 from ftp (%4 kb)  -  %5 to ftp (%6 kb)")
            .arg(t.downloads + t.uploads)
            .arg(kb(t.downloadBytes + t.uploadBytes))
            .arg(t.downloads)
            .arg(kb(t.downloadBytes))
            .arg(t.uploads)
            .arg(kb(t.uploadBytes));
    if (whenEmpty == WhenEmpty::Disconnect)
        text += QStringLiteral("  -  [disconnects when empty]");
    else if (whenEmpty == WhenEmpty::CloseApplication)
        text += QStringLiteral("  -  [terminates when empty]");
    return text;
}

QString localCaption(const tListCounters &counters)
{
    return QStringLiteral("my computer  -  ") + filesAndSize(counters);
}

QString remoteCaption(RemoteState state, const tListCounters &counters)
{
    switch (state) {
    case RemoteState::Closed:
        return QStringLiteral("ftp server  -  not connected");
    case RemoteState::Connecting:
        return QStringLiteral("ftp server  -  connecting, please wait ...");
    case RemoteState::Shown:
        break;
    }
    return QStringLiteral("ftp server  -  ") + filesAndSize(counters);
}

} // namespace StatusTexts
