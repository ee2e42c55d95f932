#include "ftp/FtpLocalFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool TFtpLocalFile::openForWrite(const QString &path, int64_t offset)
{
    close();
    const QByteArray name = QFile::encodeName(path);
    m_created = false;
    // Most downloads make a new file: it is created exclusively first, and only a file that
    // is there already is opened as it is (never emptied here).
    if (offset <= 0) {
        m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        m_created = m_fd >= 0;
    }
    if (m_fd < 0 && (offset > 0 || errno == EEXIST))
        m_fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    if (offset > 0 && ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        close();
        return false;
    }
    return true;
}

bool TFtpLocalFile::openForRead(const QString &path, int64_t offset)
{
    close();
    const QByteArray name = QFile::encodeName(path);
    m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    struct stat st {};
    // A folder opens for reading but cannot be read: refuse it here, not halfway.
    if (::fstat(m_fd, &st) != 0 || S_ISDIR(st.st_mode) ||
        (offset > 0 && ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0)) {
        close();
        return false;
    }
    return true;
}

bool TFtpLocalFile::write(const char *data, int64_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(m_fd, data, static_cast<size_t>(length));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        length -= n;
    }
    return true;
}

int64_t TFtpLocalFile::read(char *data, int64_t size)
{
    for (;;) {
        const ssize_t n = ::read(m_fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        return n;
    }
}

bool TFtpLocalFile::truncate(int64_t length)
{
    return m_fd >= 0 && ::ftruncate(m_fd, static_cast<off_t>(length)) == 0;
}

void TFtpLocalFile::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

int64_t TFtpLocalFile::sizeOf(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return static_cast<int64_t>(st.st_size);
}

bool TFtpLocalFile::cutHere()
{
    if (m_fd < 0)
        return false;
    // A file this download made holds only what it wrote: there is no older tail to cut.
    if (m_created)
        return true;
    const off_t here = ::lseek(m_fd, 0, SEEK_CUR);
    return here >= 0 && ::ftruncate(m_fd, here) == 0;
}
