#include "browser/SyncPlan.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

using Kind = SyncEntry::Kind;

// A packed time as seconds of its wall clock (read as if it were UTC), so that two listed
// times compare without any time zone rules in between.
std::optional<std::int64_t> wallSeconds(std::int32_t packed)
{
    const QDateTime t = unpackFileTime(packed);
    if (!t.isValid())
        return std::nullopt;
    return t.date().toJulianDay() * 86400 + t.time().msecsSinceStartOfDay() / 1000;
}

QString kindText(Kind kind)
{
    switch (kind) {
    case Kind::Folder:
        return QStringLiteral("a folder");
    case Kind::Link:
        return QStringLiteral("a link");
    case Kind::Special:
        return QStringLiteral("a device, fifo or socket");
    case Kind::File:
        break;
    }
    return QStringLiteral("a file");
}

int depthOf(const QString &folder)
{
    return static_cast<int>(folder.count(QLatin1Char('/')));
}

class Planner {
public:
    Planner(const SyncTree &source, const SyncTree &target, const SyncOptions &options)
        : m_source(source), m_target(target), m_options(options)
    {
    }

    SyncPlan run()
    {
        walk(QString(), true);
        // Deletions: every file first, then folders, deepest first; the walk gave each
        // folder after its own contents, so a stable sort by depth keeps that.
        std::stable_sort(m_folderDeletes.begin(), m_folderDeletes.end(), [](const SyncStep &a, const SyncStep &b) {
            return a.path.count(QLatin1Char('/')) > b.path.count(QLatin1Char('/'));
        });
        SyncPlan plan;
        plan.steps = std::move(m_makes);
        plan.steps.insert(plan.steps.end(), m_transfers.begin(), m_transfers.end());
        plan.steps.insert(plan.steps.end(), m_fileDeletes.begin(), m_fileDeletes.end());
        plan.steps.insert(plan.steps.end(), m_folderDeletes.begin(), m_folderDeletes.end());
        plan.skipped = std::move(m_skipped);
        plan.unchanged = m_unchanged;
        return plan;
    }

private:
    const std::vector<SyncEntry> *listing(const SyncTree &tree, const QString &folder) const
    {
        const auto it = tree.find(folder);
        return it == tree.end() ? nullptr : &it->second;
    }

    void skip(const QString &path, const QString &reason) { m_skipped.push_back({path, reason}); }

    // `folder` exists on the source side; `targetExists` says whether the target has it
    // (else it is being made, and everything in it is new).
    void walk(const QString &folder, bool targetExists)
    {
        const std::vector<SyncEntry> *source = listing(m_source, folder);
        if (!source) {
            skip(folder, QStringLiteral("its contents are not listed"));
            return;
        }
        static const std::vector<SyncEntry> none;
        const std::vector<SyncEntry> *target = targetExists ? listing(m_target, folder) : &none;
        if (!target) {
            skip(folder, QStringLiteral("its contents are not listed on the target side"));
            return;
        }
        // With duplicate names (a listing may repeat one) the first entry stands for the name.
        QHash<QString, const SyncEntry *> targetByName;
        for (const SyncEntry &t : *target)
            if (!targetByName.contains(t.name()))
                targetByName.insert(t.name(), &t);
        QSet<QString> seen;
        // Subfolders are walked after the folder's own files, so transfers go folder by folder.
        std::vector<std::pair<QString, bool>> subfolders; // name, the target has it
        for (const SyncEntry &s : *source) {
            const QString path = folder + s.name();
            if (!syncableName(s.name())) {
                skip(path, QStringLiteral("the name cannot be a file name here"));
                continue;
            }
            if (seen.contains(s.name())) {
                skip(path, QStringLiteral("another entry of this folder has the same name"));
                continue;
            }
            seen.insert(s.name());
            if (s.kind == Kind::Link || s.kind == Kind::Special) {
                skip(path, s.kind == Kind::Link ? QStringLiteral("links are not followed")
                                                : QStringLiteral("a device, fifo or socket is not a file to copy"));
                continue;
            }
            const SyncEntry *t = targetByName.value(s.name(), nullptr);
            if (t && t->kind != s.kind) {
                skip(path, QStringLiteral("the target side has %1 of this name").arg(kindText(t->kind)));
                continue;
            }
            if (s.kind == Kind::Folder) {
                if (depthOf(path + QLatin1Char('/')) > m_options.depthLimit) {
                    skip(path + QLatin1Char('/'),
                         QStringLiteral("it lies more than %1 levels deep").arg(m_options.depthLimit));
                    continue;
                }
                if (!t)
                    m_makes.push_back({SyncAction::MakeFolder, path, s.entry, false});
                subfolders.emplace_back(s.name(), t != nullptr);
                continue;
            }
            if (!t)
                m_transfers.push_back({SyncAction::Transfer, path, s.entry, false});
            else if (differs(s, *t))
                m_transfers.push_back({SyncAction::Transfer, path, s.entry, true});
            else
                ++m_unchanged;
        }
        for (const auto &[name, exists] : subfolders)
            walk(folder + name + QLatin1Char('/'), exists);
        if (m_options.deleteExtra)
            deleteExtra(folder, *target, seen);
    }

    bool differs(const SyncEntry &source, const SyncEntry &target) const
    {
        switch (m_options.rule) {
        case SyncRule::MissingOnly:
            return false;
        case SyncRule::MissingOrSize:
            return source.entry.size != target.entry.size;
        case SyncRule::MissingOrNewer:
        case SyncRule::MissingSizeOrNewer:
            break;
        }
        if (m_options.rule == SyncRule::MissingSizeOrNewer && source.entry.size != target.entry.size)
            return true;
        std::optional<std::int64_t> s = wallSeconds(source.entry.time);
        std::optional<std::int64_t> t = wallSeconds(target.entry.time);
        // Without both times there is no "newer": the sizes decide.
        if (!s || !t)
            return source.entry.size != target.entry.size;
        // Remote times run on the server's clock; bring them onto the local one.
        if (m_options.direction == SyncDirection::Download)
            *s -= m_options.serverOffsetSecs;
        else
            *t -= m_options.serverOffsetSecs;
        return *s > *t + m_options.timeToleranceSecs;
    }

    // Target entries of a folder that the source lacks: files (and links, which are removed
    // themselves) directly, folders with everything in them, but only where all of it is listed.
    void deleteExtra(const QString &folder, const std::vector<SyncEntry> &target, const QSet<QString> &sourceNames)
    {
        QSet<QString> done;
        for (const SyncEntry &t : target) {
            if (sourceNames.contains(t.name()) || done.contains(t.name()))
                continue;
            done.insert(t.name());
            deleteEntry(folder, t);
        }
    }

    void deleteEntry(const QString &folder, const SyncEntry &t)
    {
        const QString path = folder + t.name();
        if (!syncableName(t.name())) {
            skip(path, QStringLiteral("the name cannot be a file name here"));
            return;
        }
        if (t.kind != Kind::Folder) {
            m_fileDeletes.push_back({SyncAction::DeleteFile, path, t.entry, false});
            return;
        }
        const QString inside = path + QLatin1Char('/');
        if (!wholeTreeListed(inside)) {
            skip(inside, QStringLiteral("not deleted: its contents are not all listed"));
            return;
        }
        for (const SyncEntry &child : *listing(m_target, inside))
            deleteEntry(inside, child);
        m_folderDeletes.push_back({SyncAction::DeleteFolder, path, t.entry, false});
    }

    bool wholeTreeListed(const QString &folder) const
    {
        if (depthOf(folder) > m_options.depthLimit)
            return false;
        const std::vector<SyncEntry> *entries = listing(m_target, folder);
        if (!entries)
            return false;
        return std::all_of(entries->begin(), entries->end(), [&](const SyncEntry &e) {
            return e.kind != Kind::Folder || !syncableName(e.name()) ||
                   wholeTreeListed(folder + e.name() + QLatin1Char('/'));
        });
    }

    const SyncTree &m_source;
    const SyncTree &m_target;
    const SyncOptions &m_options;
    std::vector<SyncStep> m_makes, m_transfers, m_fileDeletes, m_folderDeletes;
    std::vector<SyncSkip> m_skipped;
    int m_unchanged = 0;
};

} // namespace

SyncEntry syncEntryOf(const tFtpFolderEntryObject &listed)
{
    SyncEntry e;
    e.entry = listed;
    if (listed.isLink) {
        e.kind = Kind::Link;
        e.entry.isFolder = false;
    } else {
        e.kind = listed.isFolder ? Kind::Folder : Kind::File;
    }
    return e;
}

bool SyncPlan::operator==(const SyncPlan &other) const
{
    return steps == other.steps && skipped == other.skipped && unchanged == other.unchanged;
}

int SyncPlan::count(SyncAction action) const
{
    return static_cast<int>(
        std::count_if(steps.begin(), steps.end(), [action](const SyncStep &s) { return s.action == action; }));
}

std::int64_t SyncPlan::bytes(SyncAction action) const
{
    std::int64_t total = 0;
    for (const SyncStep &s : steps)
        if (s.action == action && !s.entry.isFolder && s.entry.size > 0)
            total += s.entry.size;
    return total;
}

SyncPlan planSync(const SyncTree &source, const SyncTree &target, const SyncOptions &options)
{
    return Planner(source, target, options).run();
}

QStringList unlistedFolders(const SyncTree &tree, int depthLimit)
{
    QStringList result;
    for (const auto &[folder, entries] : tree) {
        for (const SyncEntry &e : entries) {
            if (e.kind != Kind::Folder || !syncableName(e.name()))
                continue;
            const QString sub = folder + e.name() + QLatin1Char('/');
            if (depthOf(sub) <= depthLimit && !tree.contains(sub) && !result.contains(sub))
                result << sub;
        }
    }
    return result;
}

bool syncableName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    return std::none_of(name.begin(), name.end(), [](QChar c) {
        return c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char('*') || c.unicode() < 0x20 ||
               c.unicode() == 0x7F;
    });
}

std::optional<std::int64_t> serverTimeOffset(std::int32_t listedTime, const QDateTime &mdtmUtc,
                                             const QTimeZone &localZone)
{
    const QDateTime listed = unpackFileTime(listedTime);
    if (!listed.isValid() || !mdtmUtc.isValid() || listed.time().msecsSinceStartOfDay() == 0)
        return std::nullopt;
    const std::optional<std::int64_t> l = wallSeconds(listedTime);
    const QDateTime local = mdtmUtc.toTimeZone(localZone);
    std::int64_t m = local.date().toJulianDay() * 86400 + local.time().msecsSinceStartOfDay() / 1000;
    m -= m % 60;
    const std::int64_t minutes = (*l - *l % 60) - m;
    constexpr std::int64_t quarter = 15 * 60;
    const std::int64_t rounded =
        (minutes >= 0 ? (minutes + quarter / 2) / quarter : -((-minutes + quarter / 2) / quarter)) * quarter;
    if (rounded > 86400 || rounded < -86400)
        return std::nullopt;
    return rounded;
}
