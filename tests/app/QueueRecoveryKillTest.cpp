// The program killed with SIGKILL in the middle of a queue of 200 downloads and started
// again on the same data folder: every unfinished item is back, the partial file resumes,
// the queue completes and every file is byte-identical to the server's.
#include "queue/QueueFile.h"
#include "support/ServerProcess.h"
#include "support/TempHome.h"
#include "support/TestFiles.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

constexpr int kFiles = 200;
// Most files go in one burst of the throttled server; the two large ones take seconds, so
// the program is certainly in the middle of one when it is killed.
constexpr int kRate = 64 * 1024;
constexpr int kLargeA = 40;
constexpr int kLargeB = 140;

QString fileName(int i)
{
    return QStringLiteral("f%1.bin").arg(i, 3, 10, QLatin1Char('0'));
}

QByteArray contentOf(int i)
{
    const int size = (i == kLargeA || i == kLargeB) ? 320 * 1024 : 1500 + 37 * i;
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator gen(static_cast<quint32>(i + 1));
    for (char &b : bytes)
        b = static_cast<char>(gen.bounded(256));
    return bytes;
}

class Child {
public:
    void start(const QString &mode, uint16_t port, const QString &local, const QString &serverRoot)
    {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(QStringLiteral(KESTRIN_QUEUE_RECOVERY_CHILD),
                        {mode, QString::number(port), QStringLiteral("kestrin"), QStringLiteral("s3cret"), local,
                         QString::number(kFiles), serverRoot});
    }
    // The value printed after `word`, once the child has printed it (bounded wait).
    int valueAfter(const QString &word, int timeoutMs = 20000)
    {
        int value = -1;
        waitFor(
            [&] {
                m_out += QString::fromUtf8(m_process.readAllStandardOutput());
                for (const QString &line : m_out.split(QLatin1Char('\n'))) {
                    if (line.startsWith(word + QLatin1Char(' ')))
                        value = line.mid(word.size() + 1).toInt();
                }
                return value >= 0 || m_process.state() == QProcess::NotRunning;
            },
            timeoutMs);
        return value;
    }
    QProcess &process() { return m_process; }
    QString output() { return m_out + QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QProcess m_process;
    QString m_out;
};

TEST(QueueRecoveryKill, AKilledProgramFinishesTheQueueAfterARestart)
{
    TempHome home;
    QTemporaryDir root;
    for (int i = 0; i < kFiles; ++i) {
        QFile f(root.filePath(fileName(i)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(contentOf(i));
    }
    ServerProcess server;
    const uint16_t port = ServerProcess::freePort();
    ASSERT_TRUE(server.start(QStringLiteral("/usr/bin/python3"),
                             {QStringLiteral(KESTRIN_SOURCE_DIR "/tests/support/pyftpdlib_slow_server.py"),
                              QString::number(port), root.path(), QStringLiteral("kestrin"), QStringLiteral("s3cret"),
                              QString::number(kRate)},
                             port))
        << server.readLog().toStdString();
    const QString local = home.path() + QStringLiteral("/downloads/");
    ASSERT_TRUE(QDir().mkpath(local));
    const QString recovery = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                             QStringLiteral("/Tamberlyn/Kestrin FTP Pro/Saved Queue/[recovery].dat");

    Child first;
    first.start(QStringLiteral("fill"), port, local, root.path());
    ASSERT_EQ(first.valueAfter(QStringLiteral("loaded")), 0) << first.output().toStdString();
    // Killed while the first large file is half there, once the recovery file has followed
    // the queue past its first state.
    const QString large = local + fileName(kLargeA);
    const qint64 largeSize = contentOf(kLargeA).size();
    ASSERT_TRUE(waitFor(
        [&] {
            const qint64 size = QFileInfo(large).size();
            const bool partial = size > 0 && size < largeSize;
            // A recovery file not written yet holds no records: that is not "past its first state".
            const size_t saved = decodeQueueFile(readAll(recovery)).records.size();
            return (partial && saved > 0 && saved < static_cast<size_t>(kFiles)) ||
                   first.process().state() == QProcess::NotRunning;
        },
        60000))
        << first.output().toStdString();
    ASSERT_EQ(first.process().state(), QProcess::Running) << first.output().toStdString();
    first.process().kill(); // SIGKILL
    ASSERT_TRUE(waitFor([&] { return first.process().state() == QProcess::NotRunning; }, 10000));
    ASSERT_LT(QFileInfo(large).size(), largeSize);

    // Every file that is not complete is in the recovery file.
    const QueueFileContents saved = decodeQueueFile(readAll(recovery));
    ASSERT_TRUE(saved.ok()) << saved.error.toStdString();
    QStringList savedCommands;
    for (const QueueFileRecord &r : saved.records)
        savedCommands << r.command;
    int unfinished = 0;
    for (int i = 0; i < kFiles; ++i) {
        if (readAll(local + fileName(i)) == contentOf(i))
            continue;
        ++unfinished;
        EXPECT_TRUE(
            savedCommands.contains(QStringLiteral("getfile*/") + fileName(i) + QLatin1Char('*') + local + fileName(i)))
            << fileName(i).toStdString();
    }
    std::printf("killed with %d of %d files unfinished, %d items in the recovery file\n", unfinished, kFiles,
                static_cast<int>(savedCommands.size()));
    EXPECT_GT(unfinished, kFiles - kLargeA - 5);
    EXPECT_LT(unfinished, kFiles);

    Child second;
    second.start(QStringLiteral("resume"), port, local, root.path());
    EXPECT_GE(second.valueAfter(QStringLiteral("loaded")), unfinished) << second.output().toStdString();
    // The partial large file is offered for resuming (the default answer).
    EXPECT_GE(second.valueAfter(QStringLiteral("prompts"), 120000), 1) << second.output().toStdString();
    ASSERT_TRUE(waitFor([&] { return second.process().state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0) << second.output().toStdString();
    for (int i = 0; i < kFiles; ++i) {
        const QByteArray got = readAll(local + fileName(i));
        const QByteArray want = contentOf(i);
        qsizetype diff = 0;
        while (diff < got.size() && diff < want.size() && got[diff] == want[diff])
            ++diff;
        EXPECT_TRUE(got == want) << fileName(i).toStdString() << " size " << got.size() << " of " << want.size()
                                 << ", first difference at " << diff;
    }
    // The finished queue leaves an empty recovery file behind.
    EXPECT_TRUE(readAll(recovery).isEmpty()) << readAll(recovery).left(300).toStdString();
}

} // namespace
