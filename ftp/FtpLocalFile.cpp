#include "ftp/FtpLocalFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The standard streams the program was started with are used as they are: never opened
// again by name (that would start a file behind ">>" at its first byte), never cut.
int standardStream(const QString &path, int fd)
{
    if (path != (fd == STDIN_FILENO ? QLatin1String("/dev/stdin") : QLatin1String("/dev/stdout")))
        return -2;
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

int64_t mtimeOf(const struct stat &st)
{
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

} // namespace

// Keeps errno of the failure and closes the file; always false.
bool TFtpLocalFile::fail(int error)
{
    close();
    m_error = error;
    return false;
}

QString TFtpLocalFile::errorText() const
{
    if (m_error == kNotRegular)
        return QStringLiteral("Not a regular file (a fifo, socket or device)");
    return m_error == 0 ? QString() : QString::fromLocal8Bit(std::strerror(m_error));
}

bool TFtpLocalFile::openForWrite(const QString &path, int64_t offset)
{
    close();
    m_error = 0;
    m_lengthAtClose = -1;
    m_writing = true;
    m_written = 0;
    m_lengthIsWritten = false;
    const QByteArray name = QFile::encodeName(path);
    m_created = false;
    m_fd = standardStream(path, STDOUT_FILENO);
    m_stream = m_fd != -2;
    if (m_stream)
        return m_fd >= 0 && offset <= 0;
    // Most downloads make a new file: it is created exclusively first, and only a file that
    // is there already is opened as it is (never emptied here). Not blocking: a fifo nobody
    // reads fails here instead of stopping the program.
    m_fd = -1;
    if (offset <= 0) {
        m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NONBLOCK | O_CLOEXEC, 0666);
        m_created = m_fd >= 0;
    }
    m_lengthIsWritten = m_created;
    // A file made here is regular: O_NONBLOCK means nothing to it, and it stays.
    if (m_created)
        return true;
    if (m_fd < 0 && (offset > 0 || errno == EEXIST))
        m_fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return fail(errno);
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK) < 0)
        return fail(errno);
    if (offset > 0 && ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0)
        return fail(errno);
    return true;
}

bool TFtpLocalFile::openForRead(const QString &path, int64_t offset)
{
    close();
    m_error = 0;
    m_lengthAtClose = -1;
    m_writing = false;
    m_fd = standardStream(path, STDIN_FILENO);
    m_stream = m_fd != -2;
    if (m_stream)
        return m_fd >= 0 && offset <= 0;
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: opening a fifo without a writer would otherwise wait for ever. A regular
    // file ignores the flag.
    m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0)
        return fail(errno);
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return fail(errno);
    // A folder, fifo, socket or device: nothing with a size that a transfer could finish.
    if (!S_ISREG(st.st_mode))
        return fail(S_ISDIR(st.st_mode) ? EISDIR : kNotRegular);
    if (offset > 0 && ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0)
        return fail(errno);
    m_openedSize = static_cast<int64_t>(st.st_size);
    m_openedMtime = mtimeOf(st);
    return true;
}

bool TFtpLocalFile::changedSinceOpen() const
{
    // A pipe or terminal has no size to compare: what it gives is what was sent.
    struct stat st {};
    if (m_stream || m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return false;
    return static_cast<int64_t>(st.st_size) != m_openedSize || mtimeOf(st) != m_openedMtime;
}

bool TFtpLocalFile::write(const char *data, int64_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(m_fd, data, static_cast<size_t>(length));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_error = errno;
            return false;
        }
        data += n;
        length -= n;
        m_written += n;
    }
    return true;
}

int64_t TFtpLocalFile::read(char *data, int64_t size)
{
    for (;;) {
        const ssize_t n = ::read(m_fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            m_error = errno;
        return n;
    }
}

bool TFtpLocalFile::truncate(int64_t length)
{
    m_lengthIsWritten = false;
    return m_fd >= 0 && ::ftruncate(m_fd, static_cast<off_t>(length)) == 0;
}

void TFtpLocalFile::close()
{
    if (m_fd >= 0) {
        m_lengthAtClose = m_writing ? currentLength() : -1;
        ::close(m_fd);
        m_fd = -1;
    }
}

int64_t TFtpLocalFile::currentLength() const
{
    if (m_stream)
        return -1;
    if (m_lengthIsWritten)
        return m_written;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<int64_t>(st.st_size);
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
    // A device, a pipe or a terminal has no tail to drop; a file this download made holds
    // only what it wrote.
    if (m_stream || m_created)
        return true;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode))
        return true;
    const off_t here = ::lseek(m_fd, 0, SEEK_CUR);
    return here >= 0 && ::ftruncate(m_fd, here) == 0;
}
