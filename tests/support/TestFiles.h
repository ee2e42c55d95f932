#pragma once

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <gtest/gtest.h>

#include <map>

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

// Every file and folder below root by its path from root: a file's bytes, "/" for a folder,
// "->" for a link (never followed).
inline std::map<QString, QByteArray> fileTree(const QString &root)
{
    std::map<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        tree[path.mid(root.size())] = info.isSymLink() ? QByteArray("->")
                                      : info.isDir()   ? QByteArray("/")
                                                       : readAll(path);
    }
    return tree;
}

// `size` bytes of a pattern that repeats only after a long stretch: a cut or a shifted
// block shows in a comparison.
inline QByteArray patternBytes(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((static_cast<quint64>(i) * 7919u) >> 3);
    return bytes;
}
