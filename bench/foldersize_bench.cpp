// sizeOfFolderAtURL over a generated tree of 50,000 files, against summing
// the sizes that `find DIR -type f -printf '%s\n'` prints, in the same run.
//
// Usage: foldersize_bench [FILES]   (the tree is made in a temporary folder)
#include "Marrowkit/platform/foldersize.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// An app-like tree: folders of folders of files of a few kilobytes at most.
qint64 makeTree(const QString &root, int files)
{
    QRandomGenerator random(50000);
    qint64 total = 0;
    const int perFolder = 100;
    for (int i = 0; i < files; ++i) {
        const QString folder = QStringLiteral("%1/app%2/Library/c%3")
                                   .arg(root)
                                   .arg(i / (perFolder * 10))
                                   .arg((i / perFolder) % 10);
        if (i % perFolder == 0) {
            QDir().mkpath(folder);
        }
        QFile file(QStringLiteral("%1/f%2").arg(folder).arg(i));
        const int size = random.bounded(4096);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(size, 'x')) != size) {
            (void)std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return -1;
        }
        total += size;
    }
    return total;
}

qint64 sumWithFind(const QString &root)
{
    QProcess find;
    find.start(QStringLiteral("find"), {root, QStringLiteral("-type"), QStringLiteral("f"),
                                        QStringLiteral("-printf"), QStringLiteral("%s\\n")});
    find.waitForFinished(-1);
    qint64 total = 0;
    for (const QByteArray &line : find.readAllStandardOutput().split('\n')) {
        total += line.toLongLong();
    }
    return total;
}

template<typename F> double medianMs(int runs, F &&work, qint64 &result)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        result = work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 50000;
    QTemporaryDir dir;
    std::printf("making a tree of %d files...\n", files);
    const qint64 expected = makeTree(dir.path(), files);
    if (expected < 0) {
        return 1;
    }
    const QUrl url = QUrl::fromLocalFile(dir.path());
    qint64 ours = 0;
    qint64 baseline = 0;
    // Warm the caches once, then alternate so both see the same conditions.
    sizeOfFolderAtURL(url);
    sumWithFind(dir.path());
    double oursMs = 0;
    double findMs = 0;
    for (int round = 0; round < 3; ++round) {
        oursMs += medianMs(
            3, [&] { return sizeOfFolderAtURL(url); }, ours);
        findMs += medianMs(
            3, [&] { return sumWithFind(dir.path()); }, baseline);
    }
    oursMs /= 3;
    findMs /= 3;
    std::printf("bytes: expected %lld, sizeOfFolderAtURL %lld, find %lld\n",
                static_cast<long long>(expected), static_cast<long long>(ours),
                static_cast<long long>(baseline));
    std::printf("sizeOfFolderAtURL: %8.2f ms\n", oursMs);
    std::printf("find -printf sum:  %8.2f ms\n", findMs);
    std::printf("ratio (ours / find): %.2f  (target <= 1.5)\n", oursMs / findMs);
    return ours == expected && baseline == expected ? 0 : 1;
}
