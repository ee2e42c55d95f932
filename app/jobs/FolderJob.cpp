#include "app/jobs/FolderJob.h"

#include "app/BrowserController.h"
#include "app/QueueController.h"
#include "base/TextUtil.h"
#include "settings/SettingsCatalogue.h"

#include <QDir>
#include <QSet>

#include <algorithm>

namespace {

int depthOf(const QString &folder)
{
    return static_cast<int>(folder.count(QLatin1Char('/'))) - 1;
}

} // namespace

void FolderJob::start()
{
    m_queue.expansionOf(item());
    if (item().verb() == QueueVerb::GetFolder) {
        const QString local = item().field(2);
        if (!QDir().mkpath(local)) {
            fail(0, QStringLiteral("Unable to create local folder\r\r") + local);
            return;
        }
        m_queue.browsers().refreshLocalView();
    }
    ListingJob::start();
}

bool FolderJob::folderReached()
{
    const int limit = static_cast<int>(read(m_queue.setup(), Keys::folderDepthLimit));
    if (depthOf(m_folder) > limit) {
        fail(0, QStringLiteral("Folder \"%1\" lies more than %2 levels deep; the folder transfer stops here.")
                    .arg(m_folder)
                    .arg(limit));
        return false;
    }
    FolderExpansion &expansion = m_queue.expansionOf(item());
    const QString asked = normalizeRemotePath(item().field(1));
    if (expansion.listed.contains(m_folder) || QString::compare(asked, m_folder, Qt::CaseInsensitive) != 0) {
        fail(0, QStringLiteral("The server showed folder \"%1\" again (asked for \"%2\"); the folder transfer "
                               "stops here.")
                    .arg(m_folder, asked));
        return false;
    }
    expansion.listed.insert(m_folder);
    return true;
}

bool FolderJob::needsLinkCheck(const std::vector<tTmbFtpEntry> &entries) const
{
    return std::any_of(entries.begin(), entries.end(), [](const tTmbFtpEntry &e) {
        return e.status == ListingStatus::Ok && !e.isLink && e.name != QLatin1String(".") &&
               e.name != QLatin1String("..");
    });
}

void FolderJob::skip(const QString &name, const QString &why)
{
    m_queue.reportSkipped(name, why);
    m_skipped << escapeControls(name) + QStringLiteral(": ") + why;
}

void FolderJob::listed(const std::vector<tTmbFtpEntry> &entries)
{
    QueueItem &it = item();
    const bool download = it.verb() == QueueVerb::GetFolder;
    const std::uint64_t expansionId = it.expansionId;
    if (!download)
        m_queue.expansionOf(it).pendingDelete.append(m_folder);
    const QString remote = it.field(1);
    const QString local = it.field(2);
    QSet<QString> targets;
    for (const tTmbFtpEntry &e : entries) {
        if (e.status != ListingStatus::Ok)
            continue; // totals, headers, server messages and refused lines are no entries
        if (e.name == QLatin1String(".") || e.name == QLatin1String(".."))
            continue;
        if (!isSafeEntryName(e.name)) {
            skip(e.name, QStringLiteral("the name cannot be a file name here"));
            continue;
        }
        tFolderEntryObject entry;
        entry.name = e.name;
        entry.size = e.size;
        entry.isFolder = e.isFolder && !e.isLink;
        entry.attr = e.permissions;
        entry.time = packFileTime(e.modified);
        const QString remotePath = m_folder + e.name;
        if (!download) {
            // A link is removed itself, never entered.
            m_queue.queueQuietly((entry.isFolder ? QStringLiteral("deletefolder*") : QStringLiteral("deletefile*")) +
                                     remotePath,
                                 entry.isFolder ? nullptr : &entry, expansionId);
            continue;
        }
        if (e.isLink) {
            skip(remotePath, QStringLiteral("links are not followed"));
            continue;
        }
        if (e.isSpecial()) {
            skip(remotePath, QStringLiteral("a device, fifo or socket is not a file to download"));
            continue;
        }
        // Two listed names must not land on one local file.
        if (targets.contains(e.name)) {
            skip(remotePath, QStringLiteral("another entry of this folder has the same name"));
            continue;
        }
        targets.insert(e.name);
        const QString localPath = local + QLatin1Char('/') + e.name;
        m_queue.queueQuietly((entry.isFolder ? QStringLiteral("getfolder*") : QStringLiteral("getfile*")) + remote +
                                 QLatin1Char('/') + e.name + QLatin1Char('*') + localPath,
                             &entry, expansionId);
    }
    // The job is gone after finish: what the message needs is copied first.
    QueueController &queue = m_queue;
    const QString folder = m_folder;
    const QStringList skipped = std::exchange(m_skipped, {});
    finish(QueueOutcome::done());
    queue.showSkipped(folder, skipped);
}
