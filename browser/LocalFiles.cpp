#include "browser/LocalFiles.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct DirCloser {
    void operator()(DIR *dir) const { closedir(dir); }
};

struct FolderId {
    dev_t device;
    ino_t inode;
};

std::int64_t nanoseconds(const timespec &t)
{
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::int32_t packedLocalTime(time_t seconds)
{
    tm local{};
    if (!localtime_r(&seconds, &local))
        return 0;
    return packFileTime(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                        QTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59)));
}

void appendItem(tLocalEntryList &target, QString text, const QString &name, const struct stat &st, bool isFolder)
{
    tNamedEntry<tFolderEntryObject> &item = target.emplace_back();
    item.name = std::move(text);
    tFolderEntryObject &entry = item.entry;
    entry.size = isFolder ? -1 : static_cast<std::int64_t>(st.st_size);
    entry.isFolder = isFolder;
    entry.time = packedLocalTime(st.st_mtim.tv_sec);
    entry.attr = permissionDigits(st.st_mode);
    entry.name = name;
    entry.findData = {st.st_mode, static_cast<std::int64_t>(st.st_size), nanoseconds(st.st_mtim),
                      nanoseconds(st.st_atim), nanoseconds(st.st_ctim)};
}

void appendItem(QStringList &target, QString text, const QString &, const struct stat &, bool)
{
    target.append(std::move(text));
}

bool isBeingScanned(const std::vector<FolderId> &scanning, const struct stat &st)
{
    for (const FolderId &id : scanning) {
        if (id.device == st.st_dev && id.inode == st.st_ino)
            return true;
    }
    return false;
}

template <typename Target>
void scanInto(const QString &folder, Target &target, bool recursive, const QString &mask,
              std::vector<FolderId> &scanning)
{
    // An empty folder text enumerates the working folder with bare names.
    const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.isEmpty() ? "." : QFile::encodeName(folder).constData()));
    if (!dir)
        return;
    const int fd = dirfd(dir.get());
    const bool everything = mask == u"*.*";
    while (const dirent *item = readdir(dir.get())) {
        const char *raw = item->d_name;
        if (std::strcmp(raw, ".") == 0 || std::strcmp(raw, "..") == 0)
            continue;
        // Symbolic links count as what they point to; a dangling one as itself.
        struct stat st {};
        if (fstatat(fd, raw, &st, 0) != 0 && fstatat(fd, raw, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const QString name = QFile::decodeName(raw);
        const bool included = everything || wildcardMatch(name, mask);
        if (!S_ISDIR(st.st_mode)) {
            if (included)
                appendItem(target, folder + name, name, st, false);
            continue;
        }
        QString path = folder + name + u'/';
        if (recursive && !isBeingScanned(scanning, st)) {
            if (included)
                appendItem(target, path, name, st, true);
            scanning.push_back({st.st_dev, st.st_ino});
            scanInto(path, target, recursive, mask, scanning);
            scanning.pop_back();
        } else if (included) {
            appendItem(target, std::move(path), name, st, true);
        }
    }
}

template <typename Target> void scan(const QString &folder, Target &target, bool recursive, const QString &mask)
{
    QString start = folder;
    if (!start.isEmpty() && !start.endsWith(u'/'))
        start += u'/';
    std::vector<FolderId> scanning;
    struct stat st {};
    if (recursive && stat(start.isEmpty() ? "." : QFile::encodeName(start).constData(), &st) == 0)
        scanning.push_back({st.st_dev, st.st_ino});
    scanInto(start, target, recursive, mask, scanning);
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Why an upload cannot take this entry, or empty when it can.
QString uploadRefusal(const QString &name, const struct stat &st)
{
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("a symbolic link, not followed");
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode))
        return QStringLiteral("a fifo, socket or device, not a regular file");
    if (name.contains(u'\r') || name.contains(u'\n') || name.contains(u'*'))
        return QStringLiteral("the name holds CR, LF or \"*\", which a transfer cannot carry");
    return QString();
}

void scanUploadInto(const QString &folder, tLocalEntryList &target, std::vector<SkippedLocalEntry> &skipped)
{
    const std::unique_ptr<DIR, DirCloser> dir(opendir(QFile::encodeName(folder).constData()));
    if (!dir) {
        skipped.push_back({folder, QStringLiteral("the folder cannot be read: ") + systemReason(errno)});
        return;
    }
    const int fd = dirfd(dir.get());
    while (const dirent *item = readdir(dir.get())) {
        const char *raw = item->d_name;
        if (std::strcmp(raw, ".") == 0 || std::strcmp(raw, "..") == 0)
            continue;
        const QString name = QFile::decodeName(raw);
        struct stat st {};
        if (fstatat(fd, raw, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            skipped.push_back({folder + name, systemReason(errno)});
            continue;
        }
        const QString refusal = uploadRefusal(name, st);
        if (!refusal.isEmpty()) {
            skipped.push_back({folder + name, refusal});
            continue;
        }
        if (S_ISREG(st.st_mode)) {
            appendItem(target, folder + name, name, st, false);
            continue;
        }
        const QString path = folder + name + u'/';
        appendItem(target, path, name, st, true);
        scanUploadInto(path, target, skipped);
    }
}

// The thousands marks of a signed decimal text: "." before every third digit from the right
// that has a digit to its left.

} // namespace

void scanFolder(const QString &folder, tLocalEntryList &target, bool recursive, const QString &mask)
{
    scan(folder, target, recursive, mask);
}

void scanFolder(const QString &folder, QStringList &target, bool recursive, const QString &mask)
{
    scan(folder, target, recursive, mask);
}

void scanUploadTree(const QString &folder, tLocalEntryList &target, std::vector<SkippedLocalEntry> &skipped)
{
    QString start = folder;
    if (!start.endsWith(u'/'))
        start += u'/';
    scanUploadInto(start, target, skipped);
}

std::int64_t localFileSize(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(name.constData(), R_OK) != 0)
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool keepsLength(const QString &path)
{
    if (path == QLatin1String("/dev/stdout") || path == QLatin1String("/dev/stdin"))
        return false;
    return QFileInfo(path).isFile();
}

void setLocalFileTimes(const QString &path, const QDateTime &localTime)
{
    if (!localTime.isValid())
        return;
    const int fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    const qint64 ms = localTime.toMSecsSinceEpoch();
    timespec stamp{};
    stamp.tv_sec = static_cast<time_t>(ms / 1000);
    stamp.tv_nsec = static_cast<long>(ms % 1000) * 1'000'000;
    if (stamp.tv_nsec < 0) {
        stamp.tv_sec -= 1;
        stamp.tv_nsec += 1'000'000'000;
    }
    const timespec times[2] = {stamp, stamp};
    futimens(fd, times);
    close(fd);
}

bool setLocalModifiedTime(const QString &path, const QDateTime &modified, QString *why)
{
    const auto failed = [why](const QString &text) {
        if (why)
            *why = text;
        return false;
    };
    if (!modified.isValid())
        return failed(QStringLiteral("no time"));
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (lstat(name.constData(), &st) != 0)
        return failed(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(st.st_mode))
        return failed(QStringLiteral("not a regular file"));
    timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(modified.toSecsSinceEpoch());
    if (utimensat(AT_FDCWD, name.constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return failed(QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}
