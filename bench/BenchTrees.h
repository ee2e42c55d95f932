#pragma once
// The file trees the tree benchmarks transfer: 20 folders of 100 files by default, each file
// 4 KiB or, for the mixed tree, from 1 KiB to 1 MiB. The same seed gives the same tree in
// every benchmark, so their figures compare.
#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>

#include <cmath>
#include <random>
#include <vector>

#include <sys/resource.h>

namespace bench {

// The size of each file of the tree, file after file: 4 KiB, or from 1 KiB to 1 MiB
// (2^(10 + 10u) bytes, u even in [0, 1), from a fixed seed).
inline std::vector<qint64> treeSizes(int count, bool mixed)
{
    std::vector<qint64> sizes;
    std::mt19937 random(20261211);
    for (int i = 0; i < count; ++i) {
        const double u = static_cast<double>(random()) / 4294967296.0;
        sizes.push_back(mixed ? static_cast<qint64>(std::llround(std::exp2(10.0 + 10.0 * u))) : 4096);
    }
    return sizes;
}

inline bool makeTree(const QString &root, int folders, int files, const std::vector<qint64> &sizes)
{
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (int k = 0; k < block.size(); ++k)
        block[k] = static_cast<char>((static_cast<unsigned>(k) * 2654435761u) >> 24);
    for (int d = 0; d < folders; ++d) {
        const QString folder = root + QStringLiteral("/d%1").arg(d);
        if (!QDir().mkpath(folder))
            return false;
        for (int f = 0; f < files; ++f) {
            const qint64 size = sizes[static_cast<size_t>(d * files + f)];
            QFile file(folder + QStringLiteral("/f%1.bin").arg(f));
            if (!file.open(QIODevice::WriteOnly) || file.write(block.constData(), size) != size)
                return false;
        }
    }
    return true;
}

// The files below root and their bytes, to check a transfer brought the whole tree.
struct Count {
    int files = 0;
    qint64 bytes = 0;
};

inline Count filesBelow(const QString &root)
{
    Count n;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++n.files;
        n.bytes += it.fileInfo().size();
    }
    return n;
}

// CPU seconds (user + system) of every finished child so far.
inline double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace bench
