#include "browser/LocalFileOps.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

bool lstatPath(const QString &path, struct stat &st)
{
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

using Visited = std::set<std::pair<dev_t, ino_t>>;

void removeTree(const QString &path, Visited &visited, QStringList &failed)
{
    struct stat st {};
    if (!lstatPath(path, st)) {
        if (errno != ENOENT)
            failed << path;
        return;
    }
    const QByteArray native = QFile::encodeName(path);
    if (!S_ISDIR(st.st_mode)) {
        if (::unlink(native.constData()) != 0)
            failed << path;
        return;
    }
    if (!visited.insert({st.st_dev, st.st_ino}).second)
        return;
    const QStringList names =
        QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString &name : names)
        removeTree(path + QLatin1Char('/') + name, visited, failed);
    if (::rmdir(native.constData()) != 0)
        failed << path;
}

} // namespace

LocalRenameResult renameNoReplace(const QString &from, const QString &to)
{
    const QByteArray a = QFile::encodeName(from);
    const QByteArray b = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0)
        return LocalRenameResult::Renamed;
    if (errno == EEXIST)
        return LocalRenameResult::TargetExists;
    if (errno != EINVAL && errno != ENOSYS)
        return LocalRenameResult::Failed;
    // The file system cannot refuse by itself: look first.
    struct stat st {};
    if (lstatPath(to, st))
        return LocalRenameResult::TargetExists;
    return ::rename(a.constData(), b.constData()) == 0 ? LocalRenameResult::Renamed : LocalRenameResult::Failed;
}

QStringList removeLocalTree(const QString &path)
{
    Visited visited;
    QStringList failed;
    QString clean = path;
    while (clean.size() > 1 && clean.endsWith(QLatin1Char('/')))
        clean.chop(1);
    removeTree(clean, visited, failed);
    return failed;
}

namespace {

// A folder of the trash that is a real folder of ours (a link there could send the item
// anywhere); made with mode 0700 when missing.
bool trashFolder(const QString &path, dev_t *device)
{
    QDir().mkpath(path);
    struct stat st {};
    if (!lstatPath(path, st) || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    if (device)
        *device = st.st_dev;
    return true;
}

} // namespace

bool moveToTrash(const QString &path)
{
    QString clean = QFileInfo(path).absoluteFilePath();
    while (clean.size() > 1 && clean.endsWith(QLatin1Char('/')))
        clean.chop(1);
    struct stat item {};
    if (!lstatPath(clean, item))
        return false;
    const QString trash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
    dev_t device = 0;
    if (!trashFolder(trash, nullptr) || !trashFolder(trash + QStringLiteral("/files"), &device) ||
        !trashFolder(trash + QStringLiteral("/info"), nullptr) || device != item.st_dev)
        return false;
    const QString name = clean.mid(clean.lastIndexOf(QLatin1Char('/')) + 1);
    const QByteArray record = "[Trash Info]\nPath=" + QUrl::toPercentEncoding(clean, "/") +
                              "\nDeletionDate=" + QDateTime::currentDateTime().toString(Qt::ISODate).left(19).toUtf8() +
                              "\n";
    for (int n = 1; n < 10000; ++n) {
        const QString slot = n == 1 ? name : name + QLatin1Char('.') + QString::number(n);
        const QByteArray info =
            QFile::encodeName(trash + QStringLiteral("/info/") + slot + QStringLiteral(".trashinfo"));
        // The info record claims the name first (O_EXCL), so two deletes of one name never share a slot.
        const int fd = ::open(info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        const bool written = ::write(fd, record.constData(), static_cast<size_t>(record.size())) == record.size();
        ::close(fd);
        const LocalRenameResult moved =
            written ? renameNoReplace(clean, trash + QStringLiteral("/files/") + slot) : LocalRenameResult::Failed;
        if (moved == LocalRenameResult::Renamed)
            return true;
        ::unlink(info.constData());
        if (moved != LocalRenameResult::TargetExists) // a stray file under that name: next slot
            return false;
    }
    return false;
}

bool isPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}
