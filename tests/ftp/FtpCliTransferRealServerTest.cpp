// The FTP engine's transfers against real servers (pyftpdlib and vsftpd), passive and active:
// byte-identical round trips, resumed transfers, listings, and offsets past 4 GiB.
#include "ftp/FtpCli.h"

#include "support/FtpRecorder.h"
#include "support/FtpServers.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

using Kind = ServerKind;

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator gen(static_cast<quint32>(size) + 17);
    for (qsizetype i = 0; i + 4 <= size; i += 4) {
        const quint32 v = gen.generate();
        memcpy(bytes.data() + i, &v, 4);
    }
    for (qsizetype i = size & ~qsizetype(3); i < size; ++i)
        bytes[i] = static_cast<char>(gen.generate());
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray readTail(const QString &path, qint64 offset)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(offset))
        return QByteArray("<missing>");
    return f.readAll();
}

// Writes bytes at offset of a file of the given size; the rest stays a hole (no disk).
bool writeSparse(const QString &path, qint64 size, qint64 offset, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !f.resize(size) || !f.seek(offset))
        return false;
    return f.write(bytes) == bytes.size();
}

class RealTransfer : public RealServerTest<std::tuple<Kind, bool>> {
protected:
    void SetUp() override
    {
        startServer(std::get<0>(GetParam()));
        if (!serverUp())
            return;
        ASSERT_TRUE(m_local.isValid());
        m_ftp.SetHostName(QStringLiteral("127.0.0.1"));
        m_ftp.SetPort(QString::number(m_server->port()));
        m_ftp.SetUserName(m_server->user());
        m_ftp.SetPassWord(m_server->password());
        m_ftp.SetPassive(std::get<1>(GetParam()));
        ASSERT_EQ(run([&] { m_ftp.StartConnect(); }), 0) << log();
        m_ftp.SetHostDirName(m_server->writablePath());
        ASSERT_EQ(run([&] { m_ftp.StartCwd(); }), 0) << log();
        ASSERT_EQ(run([&] { m_ftp.StartTypeBinary(); }), 0) << log();
    }
    int run(const std::function<void()> &start)
    {
        const qsizetype before = m_rec.done.size();
        start();
        return m_rec.waitDone(before + 1, 30000) ? m_rec.lastError() : -1;
    }
    std::string log() const
    {
        const QString text =
            m_rec.display.mid(std::max<qsizetype>(0, m_rec.display.size() - 30)).join(QLatin1Char('\n')) +
            QStringLiteral("\n") + m_server->log();
        return text.toStdString();
    }
    QString remote(const QString &name) const { return m_server->localWritable() + QLatin1Char('/') + name; }
    QString local(const QString &name) const { return m_local.filePath(name); }
    // A file placed on the server side, owned like the server's own uploads so that it may
    // overwrite or extend it.
    void ownLikeServer(const QString &path)
    {
        struct stat folder {};
        ASSERT_EQ(::stat(QFile::encodeName(m_server->localWritable()).constData(), &folder), 0);
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), folder.st_uid, folder.st_gid), 0);
    }
    int download(const QString &name, const QString &to, bool resume)
    {
        m_ftp.SetHostFileName(name);
        m_ftp.SetLocalFileName(to);
        return run([&] { resume ? m_ftp.StartRestGet() : m_ftp.StartReceive(); });
    }
    int upload(const QString &from, const QString &name, int64_t resumeAt = -1)
    {
        m_ftp.SetHostFileName(name);
        m_ftp.SetLocalFileName(from);
        if (resumeAt < 0)
            return run([&] { m_ftp.StartPut(); });
        m_ftp.ResumeAt = resumeAt;
        return run([&] { m_ftp.StartRestPut(); });
    }

    QTemporaryDir m_local;
    TFtpClient m_ftp;
    FtpRecorder m_rec{m_ftp};
};

TEST_P(RealTransfer, FilesOfEverySizeRoundTripByteIdentical)
{
    for (const qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(1460), qsizetype(10) << 20}) {
        SCOPED_TRACE(size);
        const QByteArray content = randomBytes(size);
        const QString name = QStringLiteral("f%1.bin").arg(size);
        {
            QFile f(local(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        ASSERT_EQ(upload(local(name), name), 0) << log();
        EXPECT_EQ(m_rec.lastType(), TFtpRequest::rqPut);
        EXPECT_EQ(m_ftp.ByteCount, size);
        ASSERT_EQ(readFile(remote(name)), content);
        ASSERT_EQ(download(name, local(name + QStringLiteral(".back")), false), 0) << log();
        EXPECT_EQ(m_rec.lastType(), TFtpRequest::rqReceive);
        EXPECT_EQ(m_ftp.ByteCount, size);
        EXPECT_EQ(readFile(local(name + QStringLiteral(".back"))), content);
    }
}

TEST_P(RealTransfer, ResumedDownloadAndUploadAreByteIdentical)
{
    const QByteArray content = randomBytes(3 * 1024 * 1024 + 123);
    const qsizetype part = 1024 * 1024 + 7;
    {
        QFile server(remote(QStringLiteral("down.bin")));
        ASSERT_TRUE(server.open(QIODevice::WriteOnly));
        server.write(content);
        QFile partial(local(QStringLiteral("down.bin")));
        ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
        partial.write(content.left(part));
    }
    ASSERT_EQ(download(QStringLiteral("down.bin"), local(QStringLiteral("down.bin")), true), 0) << log();
    EXPECT_EQ(m_rec.lastType(), TFtpRequest::rqRestGet);
    EXPECT_TRUE(m_rec.display.contains(QStringLiteral("> REST %1").arg(part)));
    EXPECT_EQ(m_ftp.ByteCount, content.size() - part);
    EXPECT_EQ(readFile(local(QStringLiteral("down.bin"))), content);

    {
        QFile whole(local(QStringLiteral("up.bin")));
        ASSERT_TRUE(whole.open(QIODevice::WriteOnly));
        whole.write(content);
        QFile partial(remote(QStringLiteral("up.bin")));
        ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
        partial.write(content.left(part));
    }
    ownLikeServer(remote(QStringLiteral("up.bin")));
    ASSERT_EQ(upload(local(QStringLiteral("up.bin")), QStringLiteral("up.bin"), part), 0) << log();
    EXPECT_EQ(m_rec.lastType(), TFtpRequest::rqPut);
    EXPECT_EQ(readFile(remote(QStringLiteral("up.bin"))), content);
}

TEST_P(RealTransfer, ListingIntoOnDisplayFileWritesNoFile)
{
    QFile(remote(QStringLiteral("listed-file.txt"))).open(QIODevice::WriteOnly);
    QString listing;
    m_ftp.OnDisplayFile = [&](TFtpClient *, QString &text) { listing += text; };
    m_ftp.SetDisplayFileFlag(true);
    m_ftp.SetDisplayFileMode(1);
    m_ftp.SetHostFileName(QString());
    m_ftp.SetLocalFileName(local(QStringLiteral("listing.txt"))); // ignored while DisplayFileFlag is set
    ASSERT_EQ(run([&] { m_ftp.StartDir(); }), 0) << log();
    EXPECT_EQ(m_rec.lastType(), TFtpRequest::rqDir);
    EXPECT_TRUE(listing.contains(QStringLiteral("listed-file.txt"))) << listing.toStdString();
    EXPECT_FALSE(QFile::exists(local(QStringLiteral("listing.txt"))));
}

// Offsets past 4 GiB: a 5 GiB sparse file on each side, resumed 1 MiB before its end, so
// only that last MiB travels.
TEST_P(RealTransfer, FiveGibFilesResumeNearTheirEnd)
{
    const qint64 size = qint64(5) << 30;
    const QByteArray tail = randomBytes(1 << 20);
    const qint64 offset = size - tail.size();

    ASSERT_TRUE(writeSparse(remote(QStringLiteral("big-down.bin")), size, offset, tail));
    ASSERT_TRUE(writeSparse(local(QStringLiteral("big-down.bin")), offset, 0, QByteArray()));
    ASSERT_EQ(download(QStringLiteral("big-down.bin"), local(QStringLiteral("big-down.bin")), true), 0) << log();
    EXPECT_TRUE(m_rec.display.contains(QStringLiteral("> REST %1").arg(offset)));
    EXPECT_EQ(m_ftp.ByteCount, tail.size());
    EXPECT_EQ(QFile(local(QStringLiteral("big-down.bin"))).size(), size);
    EXPECT_EQ(readTail(local(QStringLiteral("big-down.bin")), offset), tail);
    QFile::remove(remote(QStringLiteral("big-down.bin")));
    QFile::remove(local(QStringLiteral("big-down.bin")));

    ASSERT_TRUE(writeSparse(local(QStringLiteral("big-up.bin")), size, offset, tail));
    ASSERT_TRUE(writeSparse(remote(QStringLiteral("big-up.bin")), offset, 0, QByteArray()));
    ownLikeServer(remote(QStringLiteral("big-up.bin")));
    // The restart offset of an upload is the size of the partial remote file.
    m_ftp.SetHostFileName(QStringLiteral("big-up.bin"));
    ASSERT_EQ(run([&] { m_ftp.StartSize(); }), 0) << log();
    EXPECT_EQ(m_ftp.SizeResult(), offset);
    QList<int64_t> progress;
    m_ftp.OnProgress = [&](TFtpClient *, int64_t count, bool &) { progress << count; };
    ASSERT_EQ(upload(local(QStringLiteral("big-up.bin")), QStringLiteral("big-up.bin"), offset), 0) << log();
    EXPECT_TRUE(m_rec.display.contains(QStringLiteral("> REST %1").arg(offset)));
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.first(), offset); // progress counts from the restart offset
    EXPECT_EQ(progress.last(), size);
    EXPECT_EQ(QFile(remote(QStringLiteral("big-up.bin"))).size(), size);
    EXPECT_EQ(readTail(remote(QStringLiteral("big-up.bin")), offset), tail);
    QFile::remove(remote(QStringLiteral("big-up.bin")));
    QFile::remove(local(QStringLiteral("big-up.bin")));
}

INSTANTIATE_TEST_SUITE_P(Servers, RealTransfer,
                         ::testing::Combine(::testing::Values(Kind::Pyftpdlib, Kind::Vsftpd), ::testing::Bool()),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param) == Kind::Pyftpdlib ? "pyftpdlib" : "vsftpd") +
                                    (std::get<1>(info.param) ? "_passive" : "_active");
                         });

} // namespace
