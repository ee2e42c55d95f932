#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <gtest/gtest.h>

// Files for tests: made with their folders, read back whole.

// Writes `bytes` to path, making the folders on the way; a file that cannot be made fails
// the test.
inline void makeFile(const QString &path, const QByteArray &bytes = QByteArray("data"))
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size()) << path.toStdString();
}

// The file's bytes; "<missing>" when it cannot be read, so that a missing file never
// compares equal to an empty one.
inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
