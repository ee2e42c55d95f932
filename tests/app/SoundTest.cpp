#include "app/Sound.h"

#include "support/WaitFor.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

// A player that keeps playing until it is stopped; it writes its process id first.
QString writePlayer(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("player.sh"));
    QFile script(path);
    EXPECT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho $$ > \"$1.pid\"\nexec sleep 30\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

TEST(Sound, PlayersAreChildrenThatShutDownStops)
{
    QTemporaryDir dir;
    const QString sound = dir.filePath(QStringLiteral("ding.wav"));
    QFile(sound).open(QIODevice::WriteOnly);
    setSoundPlayers({dir.filePath(QStringLiteral("missing-player")), writePlayer(dir)});

    playSoundFile(sound);
    playSoundFile(dir.filePath(QStringLiteral("no such sound.wav")));
    EXPECT_EQ(playingSounds(), 1);
    QFile pidFile(sound + QStringLiteral(".pid"));
    ASSERT_TRUE(waitFor([&] { return pidFile.exists() && pidFile.size() > 0; }, 5000));
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    const pid_t pid = static_cast<pid_t>(pidFile.readAll().trimmed().toLongLong());
    ASSERT_GT(pid, 0);
    EXPECT_EQ(::kill(pid, 0), 0);

    stopSounds();
    EXPECT_EQ(playingSounds(), 0);
    // Ended and reaped: no such process any more.
    EXPECT_NE(::kill(pid, 0), 0);
    setSoundPlayers({});
}

} // namespace
