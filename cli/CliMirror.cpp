// The mirror verb: one folder tree made like another, with the plan the window's
// Synchronize uses (browser/SyncPlan) and ordinary queue items.
#include "cli/CliRunner.h"

#include "app/MainController.h"
#include "app/ServerTimeOffset.h"
#include "app/tkftpclient.h"
#include "base/TextUtil.h"
#include "browser/SyncTrees.h"
#include "queue/QueueCommand.h"
#include "settings/SettingsCatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cstdio>

namespace {

QString asFolder(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

SyncRule ruleOf(CliOptions::MirrorRule rule)
{
    switch (rule) {
    case CliOptions::MirrorRule::Newer:
        return SyncRule::MissingOrNewer;
    case CliOptions::MirrorRule::SizeOnly:
        return SyncRule::MissingOrSize;
    case CliOptions::MirrorRule::SizeOrNewer:
        break;
    }
    return SyncRule::MissingSizeOrNewer;
}

// The word a --dry-run line starts with.
QString actionWord(const SyncStep &step)
{
    switch (step.action) {
    case SyncAction::MakeFolder:
        return QStringLiteral("mkdir");
    case SyncAction::Transfer:
        return step.replaces ? QStringLiteral("replace") : QStringLiteral("copy");
    case SyncAction::DeleteFile:
        return QStringLiteral("delete");
    case SyncAction::DeleteFolder:
        return QStringLiteral("rmdir");
    }
    return {};
}

// Whether any file is on both sides, where a rule may compare times.
bool filesOnBothSides(const SyncTree &a, const SyncTree &b)
{
    for (const auto &[folder, entries] : a) {
        const auto other = b.find(folder);
        if (other == b.end())
            continue;
        QSet<QString> names;
        for (const SyncEntry &e : other->second) {
            if (e.kind == SyncEntry::Kind::File)
                names.insert(e.name());
        }
        for (const SyncEntry &e : entries) {
            if (e.kind == SyncEntry::Kind::File && names.contains(e.name()))
                return true;
        }
    }
    return false;
}

} // namespace

std::optional<SyncTree> CliRunner::listRemoteTree(const QString &root, int depthLimit)
{
    // Level by level: every folder of a level is queued at once, so the listings follow one
    // another without a round of the event loop between them.
    QueueController &queue = m_controller->queue();
    QSet<QString> asked;
    QStringList todo{QString()};
    SyncTree tree;
    while (!todo.isEmpty()) {
        for (const QString &folder : std::as_const(todo)) {
            asked.insert(folder);
            QString error;
            const QString command =
                buildCommand(QStringLiteral("list"), {root + folder, flagText(QueueFlag::Refresh)}, &error);
            if (command.isEmpty()) {
                queue.reportSkipped(root + folder, error);
                continue;
            }
            queue.addToQueue(command);
        }
        runQueue();
        if (m_interrupted || m_loginFailed || m_connectionLost)
            return std::nullopt;
        tree = remoteSyncTree(m_controller->browsers().state(), root, depthLimit);
        todo.clear();
        // A folder whose listing failed stays unlisted: the plan leaves it out and says so.
        for (const QString &folder : unlistedFolders(tree, depthLimit)) {
            if (!asked.contains(folder))
                todo << folder;
        }
    }
    return tree;
}

std::int64_t CliRunner::serverTimeOffsetOf(const SyncTree &remote, const QString &root)
{
    tkftpclient *s = m_controller->sessions().mainSession();
    if (!s->loggedIn || s->busy() || !s->idleState())
        return 0;
    const bool machineListings =
        s->attributeListings() || (read(m_controller->setup(), Keys::useMlsd) && s->hasFeature(QStringLiteral("MLST")));
    const std::optional<std::int64_t> offset =
        probeServerTimeOffset(*s, machineListings, remote, root,
                              [this](const std::function<void()> &start) { return sessionRequest(start); });
    if (offset && *offset != 0 && m_options.verbose)
        TerminalUserInterface::printError(
            QStringLiteral("the server lists times %1 s ahead of this computer's clock").arg(*offset));
    return offset.value_or(0);
}

void CliRunner::reportPlanned(const SyncStep &step, const QString &source, const QString &target, bool upload)
{
    if (!m_options.json) {
        const QString line = actionWord(step) + QLatin1Char(' ') + escapeControls(step.path) +
                             (step.entry.isFolder ? QStringLiteral("/") : QString()) + QLatin1Char('\n');
        const QByteArray bytes = line.toUtf8();
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        return;
    }
    QString verb;
    switch (step.action) {
    case SyncAction::MakeFolder:
        verb = QStringLiteral("makefolder");
        break;
    case SyncAction::Transfer:
        verb = upload ? QStringLiteral("putfile") : QStringLiteral("getfile");
        break;
    case SyncAction::DeleteFile:
        verb = QStringLiteral("deletefile");
        break;
    case SyncAction::DeleteFolder:
        verb = QStringLiteral("deletefolder");
        break;
    }
    QJsonObject o;
    o.insert(QStringLiteral("verb"), verb);
    o.insert(QStringLiteral("source"), step.action == SyncAction::Transfer ? source : target);
    o.insert(QStringLiteral("target"), step.action == SyncAction::Transfer ? target : QString());
    o.insert(QStringLiteral("bytes"), step.action == SyncAction::Transfer ? static_cast<qint64>(step.entry.size) : 0);
    o.insert(QStringLiteral("seconds"), 0.0);
    o.insert(QStringLiteral("outcome"), QStringLiteral("planned"));
    o.insert(QStringLiteral("error"), QString());
    report(o);
}

void CliRunner::reportLocal(const QString &verb, const QString &path, const QString &error)
{
    if (!error.isEmpty()) {
        ++m_failed;
        TerminalUserInterface::printError(error);
    }
    QJsonObject o;
    o.insert(QStringLiteral("verb"), verb);
    o.insert(QStringLiteral("source"), path);
    o.insert(QStringLiteral("target"), QString());
    o.insert(QStringLiteral("bytes"), 0);
    o.insert(QStringLiteral("seconds"), 0.0);
    o.insert(QStringLiteral("outcome"), error.isEmpty() ? QStringLiteral("ok") : QStringLiteral("failed"));
    o.insert(QStringLiteral("error"), error);
    report(o);
}

bool CliRunner::queueMirror()
{
    const bool upload = m_options.reverse;
    const bool dryRun = m_options.dryRun;
    QueueController &queue = m_controller->queue();
    const QString remoteRoot = asFolder(remotePath(m_url.path));
    const QString localOperand = m_options.operands.value(upload ? 0 : 1);
    const QFileInfo localInfo(localOperand);
    const QString localRoot = asFolder(localInfo.absoluteFilePath());
    for (const QString &root : {localRoot, remoteRoot}) {
        if (!fieldIsQueueable(root)) {
            TerminalUserInterface::printError(QStringLiteral("a queue entry cannot carry this folder name: ") +
                                              escapeControls(root));
            return false;
        }
    }
    if (upload && !localInfo.isDir()) {
        TerminalUserInterface::printError(QStringLiteral("no such local folder: ") + localOperand);
        return false;
    }
    if (!upload && localInfo.exists() && !localInfo.isDir()) {
        TerminalUserInterface::printError(QStringLiteral("not a folder: ") + localOperand);
        return false;
    }

    SyncOptions options;
    options.direction = upload ? SyncDirection::Upload : SyncDirection::Download;
    options.rule = ruleOf(m_options.mirrorRule);
    options.deleteExtra = m_options.deleteExtra;
    options.depthLimit = static_cast<int>(read(m_controller->setup(), Keys::folderDepthLimit));

    // The remote side: a missing target folder of an upload is made (or, for a dry run,
    // taken as empty); a missing source folder of a download is an error.
    SyncTree remote;
    bool remoteExists = true;
    if (upload) {
        tkftpclient *s = m_controller->sessions().mainSession();
        remoteExists = sessionRequest([&] { s->changeFolder(remoteRoot); }) == 0;
        if (m_connectionLost)
            return false;
        if (!remoteExists && !dryRun) {
            QString why;
            if (!makeRemoteFolders(remoteRoot, &why)) {
                if (!m_connectionLost)
                    TerminalUserInterface::printError(why);
                return false;
            }
            remoteExists = true;
        }
    }
    if (remoteExists) {
        std::optional<SyncTree> listed = listRemoteTree(remoteRoot, options.depthLimit);
        if (!listed)
            return false;
        remote = std::move(*listed);
        if (!remote.contains(QString())) {
            if (!upload)
                TerminalUserInterface::printError(QStringLiteral("no such remote folder: ") + remoteRoot);
            return false;
        }
    } else {
        remote[QString()] = {};
    }

    // The local side: a missing target folder of a download is made (a dry run takes it
    // as empty).
    SyncTree local;
    if (!upload && !localInfo.exists()) {
        if (!dryRun && !QDir().mkpath(localRoot)) {
            TerminalUserInterface::printError(QStringLiteral("cannot make the local folder ") + localRoot);
            return false;
        }
        local[QString()] = {};
    } else {
        local = localSyncTree(localRoot, options.depthLimit);
    }

    // Times are compared only by the "newer" rules, and only where both sides have a file.
    if (options.rule != SyncRule::MissingOrSize && filesOnBothSides(remote, local))
        options.serverOffsetSecs = serverTimeOffsetOf(remote, remoteRoot);
    if (m_connectionLost || m_interrupted)
        return false;

    const SyncPlan plan = upload ? planSync(local, remote, options) : planSync(remote, local, options);
    const QString sourceRoot = upload ? localRoot : remoteRoot;
    const QString targetRoot = upload ? remoteRoot : localRoot;
    for (const SyncSkip &skip : plan.skipped)
        queue.reportSkipped(sourceRoot + skip.path, skip.reason);

    if (dryRun) {
        for (const SyncStep &step : plan.steps) {
            const bool onTarget = step.action != SyncAction::Transfer;
            reportPlanned(step, onTarget ? QString() : sourceRoot + step.path, targetRoot + step.path, upload);
        }
        std::fflush(stdout);
        note(QStringLiteral("plan: %1 to copy, %2 to replace (%3 bytes), %4 folders to make, %5 to delete, "
                            "%6 unchanged; nothing was changed")
                 .arg(std::count_if(plan.steps.begin(), plan.steps.end(),
                                    [](const SyncStep &s) { return s.action == SyncAction::Transfer && !s.replaces; }))
                 .arg(std::count_if(plan.steps.begin(), plan.steps.end(),
                                    [](const SyncStep &s) { return s.action == SyncAction::Transfer && s.replaces; }))
                 .arg(plan.bytes(SyncAction::Transfer))
                 .arg(plan.count(SyncAction::MakeFolder))
                 .arg(plan.deletions())
                 .arg(plan.unchanged));
        return true;
    }

    // Folders first (parents before children), then the transfers, then the deletions,
    // as the plan orders them. Local folders are made here; local deletions wait until
    // the queue has run.
    auto add = [&](const QString &verb, const QStringList &fields, const tFolderEntryObject *entry) {
        QString error;
        const QString command = buildCommand(verb, fields, &error);
        QueueItem *item = command.isEmpty() ? nullptr : queue.addToQueue(command, entry);
        if (!item) {
            ++m_failed;
            TerminalUserInterface::printError(error.isEmpty() ? QStringLiteral("refused: ") + verb : error);
        }
        return item;
    };
    for (const SyncStep &step : plan.steps) {
        const QString source = sourceRoot + step.path;
        const QString target = targetRoot + step.path;
        switch (step.action) {
        case SyncAction::MakeFolder:
            if (upload) {
                add(QStringLiteral("makefolder"), {target}, nullptr);
            } else if (!QDir().mkdir(target) && !QFileInfo(target).isDir()) {
                reportLocal(QStringLiteral("makefolder"), target,
                            QStringLiteral("cannot make the local folder ") + target);
            } else {
                reportLocal(QStringLiteral("makefolder"), target, QString());
            }
            break;
        case SyncAction::Transfer:
            // A replacement is the plan's choice; a target that turns up meanwhile gets the
            // answer of --skip, --overwrite or --resume.
            if (QueueItem *item =
                    add(upload ? QStringLiteral("putfile") : QStringLiteral("getfile"), {source, target}, &step.entry);
                item && step.replaces)
                item->transferAction = TransferAction::Overwrite;
            break;
        case SyncAction::DeleteFile:
            if (upload)
                add(QStringLiteral("deletefile"), {target}, &step.entry);
            break;
        case SyncAction::DeleteFolder:
            if (upload)
                add(QStringLiteral("deletefolder"), {target, flagText(QueueFlag::FolderEmpty)}, nullptr);
            break;
        }
    }
    runQueue();
    if (upload || m_interrupted || m_loginFailed || m_connectionLost)
        return true;
    // What the remote tree lacks goes from the local one: the names are ones no download of
    // the plan wrote, files first, then the folders they leave empty, deepest first.
    for (const SyncStep &step : plan.steps) {
        const QString target = localRoot + step.path;
        if (step.action == SyncAction::DeleteFile) {
            QFile f(target);
            reportLocal(QStringLiteral("deletefile"), target,
                        f.remove()
                            ? QString()
                            : QStringLiteral("cannot delete ") + target + QStringLiteral(": ") + f.errorString());
        } else if (step.action == SyncAction::DeleteFolder) {
            reportLocal(QStringLiteral("deletefolder"), target,
                        QDir().rmdir(target) ? QString() : QStringLiteral("cannot delete the folder ") + target);
        }
    }
    return true;
}
