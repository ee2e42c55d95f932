#pragma once

#include <QString>

#include <cstdint>

// The local file of a transfer: a plain descriptor with unbuffered reads and writes, so a
// transfer of any size streams through one fixed block. At most one file is open; close()
// is safe at any time. Sizes and offsets are 64-bit.
class TFtpLocalFile {
public:
    TFtpLocalFile() = default;
    ~TFtpLocalFile() { close(); }
    TFtpLocalFile(const TFtpLocalFile &) = delete;
    TFtpLocalFile &operator=(const TFtpLocalFile &) = delete;

    // For a download: opens the file (creating it when missing) and writes from offset. An
    // existing file is not cut here: the download cuts it with cutHere() once the server has
    // accepted the transfer, so a refused download never empties the user's file.
    // "/dev/stdout" (and "/dev/stdin" for openForRead) is the program's own standard stream,
    // used as it is, from its current position only.
    bool openForWrite(const QString &path, int64_t offset);
    // Whether openForWrite made the file.
    bool created() const { return m_created; }
    // Cuts the file at the current write position (drops an old tail); false on failure.
    // Anything but a regular file (a device, a pipe) is left as it is.
    bool cutHere();
    // For an upload: opens the existing file and reads from offset. Only a regular file
    // opens: a fifo, socket or device is refused (the open itself never waits for a writer).
    bool openForRead(const QString &path, int64_t offset);
    // An upload's file whose size or modification time differs from what it had when it was
    // opened: it was written to while it was being sent.
    bool changedSinceOpen() const;
    // Writes all of the block; false on any failure (the disk full included).
    bool write(const char *data, int64_t length);
    // Up to size bytes; 0 at the end, -1 on failure.
    int64_t read(char *data, int64_t size);
    // Cuts the open file back to length bytes; false on failure.
    bool truncate(int64_t length);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    // What a file opened for writing held when close() let go of it: a regular file's
    // length (for a file openForWrite made, what was written to it; otherwise read from the
    // descriptor), or -1 for a standard stream, a device or a pipe, which keep no length.
    int64_t lengthAtClose() const { return m_lengthAtClose; }
    // The system's reason for the last failure ("No space left on device"), or empty.
    QString errorText() const;

    // Size of a local file, or -1 when it does not exist.
    static int64_t sizeOf(const QString &path);

private:
    static constexpr int kNotRegular = -1; // an error of our own beside errno's
    bool fail(int error);
    int64_t currentLength() const;

    int m_fd = -1;
    bool m_stream = false; // a standard stream: never cut
    bool m_created = false;
    bool m_writing = false;
    // A file openForWrite made holds exactly what was written to it, until it is cut.
    bool m_lengthIsWritten = false;
    int64_t m_written = 0;
    int64_t m_lengthAtClose = -1;
    int m_error = 0;
    int64_t m_openedSize = -1;
    int64_t m_openedMtime = 0; // nanoseconds
};
